#pragma once
// The command-line link ~/.local/bin/tindra to this executable.

namespace CommandLineTool {

void install();
void uninstall();

}  // namespace CommandLineTool

#include "app/CommandLineTool.h"

namespace CommandLineTool {

void install() {}
void uninstall() {}

}  // namespace CommandLineTool

#pragma once
// The application's temporary files: their names, ".tindra-" (or "tindra-" in a private folder) +
// an upper-case UUID + an extension.

#include <string>
#include <string_view>

namespace TemporaryFiles {

// Whether `name` (a file name, no folder) is one of the application's temporary names.
bool isTemporaryName(std::string_view name);

// `text` with every temporary name in it replaced by `name`: the sentence of a failure names the
// document the user asked for, not the file it was being written to.
std::string replaceTemporaryNames(std::string_view text, std::string_view name);

}  // namespace TemporaryFiles

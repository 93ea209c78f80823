#pragma once
// Whole-file writes that never leave a partial file under the final name: the bytes go to a
// temporary file in the destination's folder, are flushed to disk, and the temporary file is then
// renamed over the destination in one step. A crash at any moment leaves either the old file (or
// none) or the complete new one, plus at most a stray temporary file.

#include <filesystem>
#include <string>
#include <string_view>

namespace AtomicFile {

// Writes `bytes` to `target`. A file already at `target` is replaced and its permission bits are
// kept; a new file gets 0666 less the umask. Throws std::runtime_error with a Spanish sentence when
// the file cannot be written; the temporary file is then removed and `target` is untouched.
void write(const std::filesystem::path& target, std::string_view bytes);

// The temporary file used for `target`: in its folder, "tindra-" (".tindra-" when a file is being
// replaced) + an upper-case UUID + the target's extension.
std::filesystem::path temporaryPath(const std::filesystem::path& target, bool replacing);

// A new random (version 4) UUID, upper-case with hyphens.
std::string uuid();

}  // namespace AtomicFile

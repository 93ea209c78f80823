#pragma once
// Whole-file writes that never leave a partial file under the final name: the bytes go to a
// temporary file in the destination's folder, are flushed to disk, and the temporary file is then
// renamed over the destination in one step. A crash at any moment leaves either the old file (or
// none) or the complete new one, plus at most a stray temporary file.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace AtomicFile {

// Writes `bytes` to `target`. A file already at `target` is replaced and its permission bits are
// kept; a new file gets 0666 less the umask. With `mode`, the file gets those bits less the umask
// in both cases, from the moment it is created. Throws std::runtime_error with a Spanish sentence
// when the file cannot be written; the temporary file is then removed and `target` is untouched.
void write(const std::filesystem::path& target, std::string_view bytes,
           std::optional<unsigned> mode = std::nullopt);

// Receives the bytes of the file being written, piece by piece, in order.
using Sink = std::function<void(std::string_view)>;
// Writes what `produce` hands to its sink, in order, with the guarantees of write(): a large file
// made of pieces (a file copied from where it is, then something appended) never has to be
// assembled in memory. An exception from `produce` (or from the sink) passes through; the
// temporary file is then removed and `target` is untouched.
void write(const std::filesystem::path& target, const std::function<void(const Sink&)>& produce,
           std::optional<unsigned> mode = std::nullopt);

// Moves `finished`, a complete file in `target`'s folder, over `target` in one step, with the
// permission bits of the file it replaces: a copy the user made private stays private. Throws
// std::runtime_error with a Spanish sentence naming `target` when it cannot; `target` is then
// untouched.
void replace(const std::filesystem::path& target, const std::filesystem::path& finished);

// The temporary file used for `target`: in its folder, ".tindra-" + an upper-case UUID + the
// target's extension (hidden whether or not a file is being replaced). write() lists it with
// TemporaryFiles while it exists.
std::filesystem::path temporaryPath(const std::filesystem::path& target, bool replacing);

// A new random (version 4) UUID, upper-case with hyphens.
std::string uuid();

}  // namespace AtomicFile

#pragma once
// Names of the files a signing run writes beside their source documents: Solicitud.pdf gives
// Solicitud-firmado.pdf, then Solicitud-firmado-2.pdf, -3 ... while those names are taken; a copy
// saved without a signature takes "rellenado". The extension is always the lower-case "pdf".
//
// A name chosen by looking for a free one can be taken before the file is written. The writers
// therefore put their output in a hidden temporary file of the destination folder first and then
// claim the name with `claim`, which never replaces a file: a name taken meanwhile moves on to
// the next counter.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// OutputNames::copy(source, "firmado").
std::filesystem::path signedCopy(const std::filesystem::path& source);
// OutputNames::copy(source, "rellenado").
std::filesystem::path filledCopy(const std::filesystem::path& source);

namespace OutputNames {

// The first free name for the source with the suffix (see above). In this namespace so that a
// call is never confused with std::filesystem::copy.
std::filesystem::path copy(const std::filesystem::path& source, const std::string& suffix);

// More numbered names than anybody keeps beside one document; past it the folder is taken as
// unusable rather than searched without end.
inline constexpr std::uint32_t maxCounter = 100000;

// The longest file name the file systems take, in bytes.
inline constexpr std::size_t maxNameBytes = 255;

// The name with counter n for the source: n = 1 is "base-suffix.pdf", n >= 2 "base-suffix-n.pdf".
// A base too long for the name to fit maxNameBytes is cut at a character boundary.
std::filesystem::path candidate(const std::filesystem::path& source, const std::string& suffix,
                                std::uint32_t n);

// Moves the finished file `temporary` (in the source's folder) to the first free name of the
// source with the suffix, without ever replacing an existing file, and returns that name.
// Throws std::filesystem::filesystem_error when the move fails for another reason than a taken
// name; `temporary` is then left where it was.
std::filesystem::path claim(const std::filesystem::path& temporary,
                            const std::filesystem::path& source, const std::string& suffix);

// Moves `from` to `to` only when nothing is at `to`: renameat2 with RENAME_NOREPLACE, or a hard
// link and an unlink on file systems without it. Returns false when `to` exists; throws
// std::filesystem::filesystem_error for any other failure.
bool moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);

// The hidden temporary file an output is first written to: in `folder`,
// ".tindra-" + an upper-case UUID + ".pdf".
std::filesystem::path hiddenTemporary(const std::filesystem::path& folder);

}  // namespace OutputNames

#pragma once
// Limits of PDFFile. Every limit keeps a damaged or hostile file from recursing, looping or
// allocating without end.

#include <cstddef>
#include <cstdint>

namespace PDFFileLimits {

// "%PDF-" must lie wholly inside the file's first bytes.
inline constexpr std::int64_t kHeaderWindow = 1024;
// A chain of indirect references is followed for at most this many lookups.
inline constexpr int kMaxLookups = 32;
// At most this many objects may be loading inside one another.
inline constexpr std::size_t kMaxLoading = 32;
// The page tree is walked to this depth (the root has depth 0, a node at this depth is ignored).
inline constexpr int kMaxTreeDepth = 64;
// An inherited page attribute is looked for in at most this many dictionaries.
inline constexpr int kMaxParentChain = 64;
// Entries whose objects the consistency check parses (the first ones of the table).
inline constexpr int kConsistencySamples = 20;
// Entries of a linearized file's first-page section whose headers are checked as well. That
// section lists the objects of one page; a longer one is checked this far.
inline constexpr std::size_t kFirstPageSectionChecks = 4096;
// Cross-reference entries one file may hold: what its size can hold (a stream row takes at least
// 3 bytes), and never fewer than this many. A decompressed cross-reference stream of 256 MB could
// otherwise list hundreds of millions of rows. A file past its bound is refused, never opened
// with a subset of its objects.
inline constexpr std::int64_t kMinEntryBound = std::int64_t{1} << 21;
inline constexpr std::int64_t kBytesPerEntry = 3;
// Parsing and decompression work (in bytes) allowed per byte of file, plus a fixed allowance.
// A sound file costs about its own size plus its decompressed object streams.
inline constexpr std::int64_t kWorkPerByte = 16;
inline constexpr std::int64_t kWorkAllowance = std::int64_t{64} << 20;
// The repair loads every object it finds only to see which are object streams; in a sound file
// those parses cover the file about once, so their own budget is smaller.
inline constexpr std::int64_t kRepairScanWorkPerByte = 2;
inline constexpr std::int64_t kRepairScanAllowance = std::int64_t{16} << 20;

}  // namespace PDFFileLimits

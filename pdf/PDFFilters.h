#pragma once
// The stream codec: FlateDecode (with PNG predictors) in, zlib streams out.

#include "pdf/PDFObject.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace PDFFilters {

// The largest decompressed size of one Flate filter application (256 MiB).
inline constexpr std::int64_t maxInflatedSize = 268435456;

// The decoded bytes of a stream following its /Filter and /DecodeParms (taken as they stand:
// references are not resolved). Throws PDFError.
std::string decode(std::string_view data, const PDFDictionary& dictionary);

// Undoes the PNG prediction of one row in place: `type` is the row's tag byte, `above` the row
// before it as decoded (zeros for the first), `bytesPerPixel` at least 1.
void unpredictPNGRow(int type, unsigned char* row, const unsigned char* above, std::size_t length,
                     std::size_t bytesPerPixel);

// zlib (header skipped when present) or raw DEFLATE bytes, decompressed. Throws PDFError.
std::string inflate(std::string_view data);

// A complete zlib stream (78 9C, raw DEFLATE, big-endian Adler-32) of the bytes.
// Throws PDFError when the compressor fails.
std::string deflate(std::string_view data);

}  // namespace PDFFilters

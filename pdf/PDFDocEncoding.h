#pragma once
// PDFDocEncoding: the single-byte character set of PDF text strings without a byte-order mark.

#include <cstdint>

namespace PDFDocEncoding {

// The Unicode scalar of one byte. Undefined codes map to U+0020.
char32_t scalar(std::uint8_t byte);

}  // namespace PDFDocEncoding

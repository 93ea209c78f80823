#pragma once
// Small UTF-8 helpers of the PDF engine.

#include <cstddef>
#include <string>
#include <string_view>

namespace UTF8 {

// Appends the UTF-8 form of a Unicode scalar (surrogates and values above U+10FFFF become U+FFFD).
void append(std::string& out, char32_t scalar);

// Decodes the next scalar at `pos` and advances it. An invalid sequence gives U+FFFD and advances
// past its longest valid-looking prefix (at least one byte).
char32_t next(std::string_view bytes, std::size_t& pos);

// The bytes as valid UTF-8: invalid sequences replaced by U+FFFD. Valid input is returned as is.
std::string sanitize(std::string_view bytes);

}  // namespace UTF8

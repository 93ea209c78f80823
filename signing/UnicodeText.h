#pragma once
// Text operations of the placement search that need Unicode rules: lower case, folding for
// comparison, user-perceived characters (grapheme clusters), and UTF-8 / UTF-16 conversion.

#include <cstddef>
#include <string>
#include <string_view>

namespace UnicodeText {

std::string utf8(std::u16string_view text);
std::u16string utf16(std::string_view utf8);

// Full Unicode lower case, independent of any locale.
std::u16string lower(std::u16string_view text);

// Case- and diacritic-insensitive form for comparison (decomposed, marks removed, case folded).
std::u16string fold(std::u16string_view text);

// Number of characters (grapheme clusters).
std::size_t characterCount(std::u16string_view text);
// The first / last `count` characters (the whole text when it has fewer).
std::u16string_view prefix(std::u16string_view text, std::size_t count);
std::u16string_view suffix(std::u16string_view text, std::size_t count);
// The number of characters before UTF-16 offset `offset`.
std::size_t characterIndex(std::u16string_view text, std::size_t offset);

}  // namespace UnicodeText

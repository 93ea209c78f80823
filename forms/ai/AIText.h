#pragma once
// Small text checks of the AI labeller.

#include <cstddef>
#include <string>
#include <string_view>

namespace AIText {

// No control character (a line break in a header would inject headers or break the request).
bool fitsHeader(std::string_view text);
bool isUTF8(std::string_view text);
// White space and line breaks off both ends (ASCII, no-break space, Unicode line separators).
std::string trimmed(std::string_view text);
// The last `count` user-perceived characters of UTF-8 text; all of it when shorter.
std::string lastCharacters(std::string_view text, std::size_t count);
// Whether JSON text nests arrays and objects deeper than `limit` (strings are skipped).
bool nestsDeeperThan(std::string_view json, std::size_t limit);

}  // namespace AIText

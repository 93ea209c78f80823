#pragma once
// Character work of the fill planner: the letters and digits of a text (Unicode general
// categories L and N) cut into user-perceived characters, so positions and lengths count what the
// user sees, never bytes or UTF-16 units.

#include <string>
#include <string_view>
#include <vector>

namespace PlanText {

// The letters and digits of the text, in order, one user-perceived character per entry; every
// other character (spaces, dots, hyphens, marks) is dropped.
std::vector<std::string> lettersAndDigits(std::string_view text);

// The user-perceived characters of the text.
std::vector<std::string> characters(std::string_view text);

// The entries [from, to) joined; positions past the end are ignored.
std::string join(const std::vector<std::string>& characters, std::size_t from, std::size_t to);

// Upper case under the root locale (no locale of the host).
std::string upper(std::string_view text);

// Lower case of ASCII letters only; other bytes unchanged.
std::string asciiLower(std::string_view text);

// A whole decimal number: an optional leading "+" or "-", then one or more ASCII digits and
// nothing else. Gives false for anything else or for a number too large to matter (more than nine
// digits after leading zeros).
bool wholeNumber(std::string_view text, long& value);

}  // namespace PlanText

#pragma once
// Turns pasted personal or company data into facts. Pure functions: no state, no failures.
// Positions are UTF-16 offsets of the text; lengths are counted in user-perceived characters.

#include "profile/ProfileFact.h"
#include "profile/TextRange.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ProfileParser {

struct Match {
    std::string whole;
    std::vector<std::string> groups;  // groups 1..n; "" for a group that took no part
    TextRange range;
};

// Every non-overlapping match of an ICU pattern, in order. A pattern that does not compile gives
// an empty list; a match whose ends fall inside a user-perceived character is skipped. `options`
// are URegexpFlag bits (the program's own patterns carry their flags inline and pass none).
std::vector<Match> matches(std::string_view pattern, std::string_view text, uint32_t options = 0);

// Company when the text holds a valid CIF anywhere, person otherwise.
ProfileFact::Owner mainOwner(std::string_view text);

struct Line {
    std::string text;
    TextRange range;  // without the line end
};

// The lines of the text; LF, CR, CR LF, NEL, U+2028 and U+2029 each end a line. Empty lines are
// included; a final line end does not start another line.
std::vector<Line> lines(std::string_view text);

// The facts of the text, in the order they were accepted.
std::vector<ProfileFact> facts(std::string_view text);

}  // namespace ProfileParser

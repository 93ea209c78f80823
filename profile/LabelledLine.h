#pragma once
// A line of a label, a colon and a value ("NIF: B12345674"), with the fact kind of its label.

#include "profile/ProfileFact.h"
#include "profile/TextRange.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct LabelledLine {
    std::string label;        // before the first colon, blanks trimmed, as written
    std::string value;        // after the colon, blanks trimmed; may be empty
    TextRange valueRange;     // from just after the colon to the end of the line
    bool isContainer = false; // the line heads a block ("Datos fiscales:")
    std::optional<std::string> kind;

    // Container headings, matched against the folded label.
    static const char* const containers;
    // Label patterns and their kinds, searched in order in the folded label.
    static const std::vector<std::pair<std::string, std::string>>& known();

    // The labelled line, or none when the line has no colon or its label is empty, longer than
    // 40 characters or holds a digit. `range` is the line's range in `text`.
    static std::optional<LabelledLine> from(std::string_view line, TextRange range, std::string_view text);

    // The owner of a fact of this line: by kind, or the text's main owner.
    ProfileFact::Owner owner(ProfileFact::Owner main) const;
};

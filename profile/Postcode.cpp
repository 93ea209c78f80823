#include "profile/Postcode.h"

#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"

namespace {

bool isTownEdge(UChar32 c) { return c == ',' || c == '-' || UnicodeText::isBlank(c); }

// The town after a postcode. A bracketed part at its end is taken whole or left whole: the
// article of an official name stays ("Rozas de Madrid (Las)"), a province or region after the
// town goes ("Madrid (Madrid)" gives Madrid); a town written in brackets is its content. A lone
// bracket at either end is dropped.
std::string readTown(std::string_view text) {
    icu::UnicodeString town = UnicodeText::trimmedU(UnicodeText::fromUtf8(text), isTownEdge);
    if (town.endsWith(u")")) {
        const int32_t open = town.lastIndexOf(u'(');
        if (open >= 0) {
            const icu::UnicodeString inner = UnicodeText::trimmedU(
                icu::UnicodeString(town, open + 1, town.length() - open - 2), isTownEdge);
            const icu::UnicodeString head =
                UnicodeText::trimmedU(icu::UnicodeString(town, 0, open), isTownEdge);
            const std::string folded = UnicodeText::fold(UnicodeText::toUtf8(inner));
            static const char* const articles[] = {"el", "la", "los", "las", "l'", "els", "les", "o", "a", "os", "as"};
            bool article = false;
            for (const char* a : articles) article = article || folded == a;
            if (head.isEmpty()) {
                town = inner;
            } else if (!article) {
                town = head;
            }
        }
    }
    const bool opens = town.indexOf(u'(') >= 0;
    const bool closes = town.indexOf(u')') >= 0;
    if (opens != closes) {
        town = UnicodeText::trimmedU(town, [](UChar32 c) { return c == '(' || c == ')' || isTownEdge(c); });
    }
    return UnicodeText::toUtf8(town);
}

}  // namespace

std::string Postcode::townOf(std::string_view text) { return readTown(text); }

std::optional<Postcode> Postcode::from(std::string_view line) {
    auto found = ProfileParser::matches(R"re(^(0[1-9]|[1-4]\d|5[0-2])(\d{3})\b\s*(.*)$)re", line);
    if (found.empty() || found.front().groups.size() != 3) return std::nullopt;
    const ProfileParser::Match& m = found.front();
    return Postcode{m.groups[0] + m.groups[1], readTown(m.groups[2])};
}

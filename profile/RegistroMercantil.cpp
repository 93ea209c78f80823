#include "profile/RegistroMercantil.h"

#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"

#include <algorithm>

std::optional<RegistroMercantil> RegistroMercantil::from(std::string_view text) {
    static const char* const keywords[] = {"Tomo", "Folio", "Secci[oó]n", "Hoja", "Inscripci[oó]n", "Libro"};
    std::string value;
    int found = 0;
    TextRange range;
    for (const char* keyword : keywords) {
        std::string pattern = std::string(R"re((?i)\b()re") + keyword + R"re()\s*[:.]?\s*([A-Z]{0,2}-?[\d.]+))re";
        auto all = ProfileParser::matches(pattern, text);
        if (all.empty() || all.front().groups.size() < 2) continue;
        const ProfileParser::Match& m = all.front();
        if (found > 0) value += " · ";
        value += UnicodeText::capitalized(m.groups[0]) + " " + m.groups[1];
        range = found == 0 ? m.range
                           : TextRange{std::min(range.start, m.range.start), std::max(range.end, m.range.end)};
        ++found;
    }
    if (found < 3) return std::nullopt;
    return RegistroMercantil{std::move(value), range};
}

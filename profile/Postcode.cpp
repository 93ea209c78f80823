#include "profile/Postcode.h"

#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"

std::optional<Postcode> Postcode::from(std::string_view line) {
    auto found = ProfileParser::matches(R"re(^(0[1-9]|[1-4]\d|5[0-2])(\d{3})\b\s*(.*)$)re", line);
    if (found.empty() || found.front().groups.size() != 3) return std::nullopt;
    const ProfileParser::Match& m = found.front();
    auto dropped = [](UChar32 c) { return c == ' ' || c == ',' || c == '-' || c == '(' || c == ')'; };
    return Postcode{m.groups[0] + m.groups[1], UnicodeText::trimmed(m.groups[2], dropped)};
}

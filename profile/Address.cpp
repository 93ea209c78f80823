#include "profile/Address.h"

#include "profile/Postcode.h"
#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"

namespace {

// Lines this long without any number are prose, not addresses.
constexpr std::size_t kProseLength = 50;

bool isBlankOrComma(UChar32 c) { return c == ',' || UnicodeText::isBlank(c); }

std::string withoutBlanks(std::string_view text) {
    return UnicodeText::filtered(text, [](UChar32 c) { return !UnicodeText::isBlank(c); });
}

}  // namespace

std::optional<Address> Address::from(std::string_view line) {
    static const char* const streetType =
        R"re((?i)^(c/|c\.|calle|avda\.?|av\.?|avenida|plaza|pza\.?|pl\.|paseo|p[ºo]\.?|ctra\.?|carretera|camino|ronda|traves[ií]a|glorieta|v[ií]a|rambla|urb\.?|urbanizaci[oó]n|pol[ií]gono|pasaje|pje\.?)\s*\S)re";
    if (ProfileParser::matches(streetType, line).empty()) return std::nullopt;
    if (!UnicodeText::hasDecimalDigit(line) && UnicodeText::graphemeCount(line) >= kProseLength) return std::nullopt;
    return Address{std::string(line)};
}

std::map<std::string, std::string> Address::parts(std::string_view text) {
    std::map<std::string, std::string> result;
    // A clause's address may end at the comma before what follows it ("…, 28013 Madrid, en su
    // calidad de…"): without it the postcode and town still end the address.
    const std::string trimmed = UnicodeText::trimmed(text, isBlankOrComma);
    const std::string_view address = trimmed;
    std::string rest(address);
    auto town = ProfileParser::matches(R"re(\b((?:0[1-9]|[1-4]\d|5[0-2])\d{3})\s+([^\d,]+)$)re", address);
    if (!town.empty() && town.front().groups.size() == 2) {
        const ProfileParser::Match& m = town.front();
        result["cp"] = m.groups[0];
        // The town reads as on a postcode line of its own: "Madrid (Madrid)" gives Madrid.
        const std::string name = Postcode::townOf(m.groups[1]);
        if (!name.empty()) result["municipio"] = name;
        rest = UnicodeText::toUtf8(icu::UnicodeString(UnicodeText::fromUtf8(address), 0,
                                                      static_cast<int32_t>(m.range.start)));
    }
    rest = UnicodeText::trimBlanks(rest);

    auto number = ProfileParser::matches(R"re(^(.+?)[,\s]+(?:n[ºo°]\.?\s*)?(\d+\s?[A-Za-z]?)\b[,\s]*(.*)$)re", rest);
    if (number.empty() || number.front().groups.size() != 3) {
        result["via"] = UnicodeText::trimmed(rest, isBlankOrComma);
        return result;
    }
    const ProfileParser::Match& m = number.front();
    result["via"] = UnicodeText::trimmed(m.groups[0], isBlankOrComma);
    result["numero"] = withoutBlanks(m.groups[1]);
    const std::string tail = UnicodeText::trimmed(m.groups[2], isBlankOrComma);

    auto floor = ProfileParser::matches(
        R"re((?i)^(\d{1,2}\s?[ºª°o]?|bajo|entresuelo|[aá]tico|principal)\s*[-,]?\s*(.*)$)re", tail);
    if (!floor.empty() && floor.front().groups.size() == 2) {
        result["piso"] = withoutBlanks(floor.front().groups[0]);
        if (!floor.front().groups[1].empty()) result["puerta"] = floor.front().groups[1];
    } else if (!tail.empty()) {
        result["resto"] = tail;
    }
    return result;
}

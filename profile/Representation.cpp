#include "profile/Representation.h"

#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"

namespace {

enum class Shape { asIs, sentence, firstUpper };

struct FieldRule {
    std::optional<LocatedValue> Representation::*field;
    const char* pattern;
    Shape shape;
};

// The first match of `pattern` in the clause, placed in the whole text.
std::optional<LocatedValue> locate(const FieldRule& rule, const std::string& clause, std::size_t clauseStart) {
    auto found = ProfileParser::matches(rule.pattern, clause);
    if (found.empty() || found.front().groups.empty() || found.front().groups[0].empty()) return std::nullopt;
    const ProfileParser::Match& m = found.front();
    std::string value = UnicodeText::trimBlanks(m.groups[0]);
    switch (rule.shape) {
        case Shape::asIs: break;
        case Shape::sentence: value = UnicodeText::upperFirst(value, true); break;
        case Shape::firstUpper: value = UnicodeText::upperFirst(value, false); break;
    }
    return LocatedValue{std::move(value), {clauseStart + m.range.start, clauseStart + m.range.end}};
}

}  // namespace

Representation::Representation(std::string_view text) {
    auto opening = ProfileParser::matches(R"re((?i)en nombre y representaci[oó]n de)re", text);
    if (opening.empty()) return;
    found = true;

    // The clause is the line that holds the opening phrase; every line end bounds it.
    const icu::UnicodeString s = UnicodeText::fromUtf8(text);
    const int32_t length = s.length();
    int32_t start = static_cast<int32_t>(opening.front().range.start);
    while (start > 0 && !UnicodeText::isLineEnd(s.charAt(start - 1))) --start;
    int32_t end = static_cast<int32_t>(opening.front().range.end);
    while (end < length && !UnicodeText::isLineEnd(s.charAt(end))) ++end;
    range = TextRange{static_cast<std::size_t>(start), static_cast<std::size_t>(end)};
    const std::string clause = UnicodeText::toUtf8(icu::UnicodeString(s, start, end - start));
    const std::size_t clauseStart = static_cast<std::size_t>(start);

    static const FieldRule rules[] = {
        {&Representation::name,
         R"re((?:D\.|Dª\.?|Dña\.?|Don|Doña)\s+([A-ZÁÉÍÓÚÑ][\wÁÉÍÓÚÑáéíóúñ]+(?:\s+(?:de\s+|del\s+|la\s+)?[A-ZÁÉÍÓÚÑ][\wÁÉÍÓÚÑáéíóúñ]+){1,5}))re",
         Shape::asIs},
        {&Representation::role, R"re((?i)en (?:su )?calidad de\s+([^.,;]+))re", Shape::sentence},
        {&Representation::company,
         // The company's legal form belongs to its name, also after a comma ("Río Tajo, S.L.,").
         R"re((?i)en nombre y representaci[oó]n de\s+(.+?(?:,?\s*\bs\.?\s?(?:l\.?(?:\s?[ulp]\.?)?|a\.?(?:\s?u\.?)?|coop\.?|c\.)(?=[\s,;]|$))?)(?:,|\s+con\s|\s+y\s+CIF|\s+en su))re",
         Shape::asIs},
        {&Representation::registeredAddress,
         R"re((?i)domicilio social en\s+(.+?)(?:\s+y\s+(?:con\s+)?(?:CIF|NIF)|,\s*(?:con\s+)?(?:CIF|NIF)|\s+en su calidad|$))re",
         Shape::asIs},
        {&Representation::deed,
         R"re((?i)(otorgada ante (?:el|la) notari[oa].+?(?:protocolo|n[uú]mero)\s*[\d/]+))re", Shape::firstUpper},
    };
    for (const FieldRule& rule : rules) this->*(rule.field) = locate(rule, clause, clauseStart);

    for (const ProfileParser::Match& m : ProfileParser::matches(R"re(\b([XYZ]?\d{7,8}[A-Z])\b)re", clause)) {
        if (!m.groups.empty() && !m.groups[0].empty()) personIDs.insert(m.groups[0]);
    }
}

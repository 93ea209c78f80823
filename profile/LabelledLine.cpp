#include "profile/LabelledLine.h"

#include "profile/ProfileParser.h"
#include "profile/UnicodeText.h"

namespace {

constexpr std::size_t kMaxLabelLength = 40;

}  // namespace

const char* const LabelledLine::containers =
    R"re(^(contacto|datos( fiscales| de contacto| bancarios)?|notario|representaci[oó]n|representante|registro( mercantil)?)$)re";

const std::vector<std::pair<std::string, std::string>>& LabelledLine::known() {
    static const std::vector<std::pair<std::string, std::string>> table = {
        {R"re(^nombre comercial$)re", "nombre_comercial"},
        {R"re(^(raz[oó]n social|denominaci[oó]n( social)?|empresa|entidad)$)re", "razon_social"},
        {R"re(^(n\.?i\.?f\.?|c\.?i\.?f\.?|dni|nie|nif/cif)$)re", "nif"},
        {R"re(^(domicilio|direcci[oó]n)( fiscal)?$)re", "domicilio"},
        {R"re(^domicilio social$)re", "domicilio_social"},
        {R"re(^(tel[eé]fono|tfno\.?|tel\.?)$)re", "telefono"},
        {R"re(^m[oó]vil$)re", "movil"},
        {R"re(^(e-?mail|correo( electr[oó]nico)?)$)re", "email"},
        {R"re(^iban$)re", "iban"},
        {R"re(^(bic|swift)$)re", "bic"},
        {R"re(^cnae$)re", "cnae"},
        {R"re(^i\.?a\.?e\.?$)re", "iae"},
        {R"re(^(duns|d-u-n-s)$)re", "duns"},
        {R"re(^fecha de constituci[oó]n$)re", "fecha_constitucion"},
        {R"re(^(web|p[aá]gina web)$)re", "web"},
        {R"re(^(fecha de nacimiento)$)re", "fecha_nacimiento"},
        {R"re(^nacionalidad$)re", "nacionalidad"},
        {R"re(^(cargo|en calidad de)$)re", "cargo"},
        {R"re(^(epígrafe|epigrafe)$)re", "iae"},
    };
    return table;
}

std::optional<LabelledLine> LabelledLine::from(std::string_view line, TextRange range, std::string_view) {
    // The first user-perceived character that is a colon; a colon carrying a combining mark is
    // another character.
    const icu::UnicodeString s = UnicodeText::fromUtf8(line);
    UnicodeText::GraphemeBounds bounds(s);
    int32_t colon = -1;
    for (int32_t i = s.indexOf(u':'); i >= 0; i = s.indexOf(u':', i + 1)) {
        if (bounds.isBoundary(i) && bounds.isBoundary(i + 1)) {
            colon = i;
            break;
        }
    }
    if (colon < 0) return std::nullopt;

    LabelledLine result;
    result.label = UnicodeText::toUtf8(UnicodeText::trimmedU(icu::UnicodeString(s, 0, colon), UnicodeText::isBlank));
    std::size_t length = UnicodeText::graphemeCount(result.label);
    if (length < 1 || length > kMaxLabelLength || UnicodeText::hasDecimalDigit(result.label)) return std::nullopt;
    result.value = UnicodeText::toUtf8(UnicodeText::trimmedU(icu::UnicodeString(s, colon + 1), UnicodeText::isBlank));
    result.valueRange = {range.start + static_cast<std::size_t>(colon) + 1, range.end};

    const std::string key = UnicodeText::fold(result.label);
    result.isContainer = result.value.empty() || !ProfileParser::matches(containers, key).empty();
    for (const auto& [pattern, kind] : known()) {
        if (!ProfileParser::matches(pattern, key).empty()) {
            result.kind = kind;
            break;
        }
    }
    return result;
}

ProfileFact::Owner LabelledLine::owner(ProfileFact::Owner main) const {
    if (!kind) return main;
    const std::string& k = *kind;
    if (k == "nombre_comercial" || k == "razon_social" || k == "cnae" || k == "iae" || k == "duns" ||
        k == "fecha_constitucion" || k == "domicilio_social") {
        return ProfileFact::Owner::company;
    }
    if (k == "fecha_nacimiento" || k == "nacionalidad") return ProfileFact::Owner::person;
    if (k == "cargo") return ProfileFact::Owner::representative;
    return main;
}

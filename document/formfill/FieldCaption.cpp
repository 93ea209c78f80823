#include "document/formfill/FieldCaption.h"

#include <map>
#include <vector>

#include "platform/Regex.h"
#include "profile/UnicodeText.h"

namespace FieldCaption {

namespace {

// Replaces every match of the pattern by one blank.
std::u16string blankOut(const Regex& pattern, const std::u16string& text) {
    const std::vector<Regex::Match> matches = pattern.matches(text);
    if (matches.empty()) return text;
    std::u16string out;
    out.reserve(text.size());
    std::size_t at = 0;
    for (const Regex::Match& m : matches) {
        out.append(text, at, m.range.start - at);
        out.push_back(u' ');
        at = m.range.end;
    }
    out.append(text, at, std::u16string::npos);
    return out;
}

std::u16string utf16(std::string_view utf8) {
    const icu::UnicodeString s = UnicodeText::fromUtf8(utf8);
    return std::u16string(reinterpret_cast<const char16_t*>(s.getBuffer()),
                          static_cast<std::size_t>(s.length()));
}

std::string utf8(const std::u16string& text) {
    return UnicodeText::toUtf8(icu::UnicodeString(reinterpret_cast<const UChar*>(text.data()),
                                                  static_cast<int32_t>(text.size())));
}

bool longEnough(const std::string& text) { return UnicodeText::graphemeCount(text) > shortText; }

}  // namespace

std::string tidy(std::string_view text) {
    static const Regex fillLines("[_.…]{2,}");
    static const Regex spaces("\\s+");
    std::u16string s = blankOut(spaces, blankOut(fillLines, utf16(text)));
    auto dropped = [](char16_t c) { return c == u' ' || c == u':' || c == u'-' || c == u'\t'; };
    std::size_t start = 0;
    std::size_t end = s.size();
    while (start < end && dropped(s[start])) ++start;
    while (end > start && dropped(s[end - 1])) --end;
    return utf8(s.substr(start, end - start));
}

std::optional<std::string> named(std::string_view label) {
    static const std::map<std::string, std::string, std::less<>> names{
        {"firma.lugar", "Lugar de la firma"},
        {"firma.dia", "Día de la firma"},
        {"firma.mes", "Mes de la firma"},
        {"firma.anio", "Año de la firma"},
        {"firma.fecha", "Fecha de la firma"},
        {"firma.nombre", "Nombre de quien firma"},
        {"titular.nif", "NIF"},
        {"titular.nombre_completo", "Nombre"},
        {"domicilio.cp", "Código postal"},
        {"banco.iban", "IBAN"},
        {"domicilio.numero", "Número"},
        {"domicilio.piso", "Piso"},
        {"domicilio.puerta", "Puerta"},
        {"domicilio.escalera", "Escalera"},
    };
    const auto found = names.find(label);
    if (found == names.end()) return std::nullopt;
    return found->second;
}

std::string lastCharacters(std::string_view text, std::size_t count) {
    const std::vector<std::string> characters = UnicodeText::graphemes(text);
    if (characters.size() <= count) return std::string(text);
    std::string out;
    for (std::size_t i = characters.size() - count; i < characters.size(); ++i) out += characters[i];
    return out;
}

std::string caption(const FillItem& item) {
    const FormField& field = item.field;

    // The nearest text on the left: the last piece after a colon that is not empty.
    std::string left;
    {
        std::string_view rest = field.left;
        while (true) {
            const std::size_t colon = rest.find(':');
            const std::string piece = tidy(rest.substr(0, colon));
            if (!piece.empty()) left = piece;
            if (colon == std::string_view::npos) break;
            rest.remove_prefix(colon + 1);
        }
    }

    std::optional<std::string> best;
    auto consider = [&best](const std::string& candidate) {
        if (!best && longEnough(candidate)) best = candidate;
    };
    consider(left);
    consider(tidy(field.above));
    for (const std::string& c : field.captions) consider(tidy(c));
    consider(tidy(field.tooltip.value_or("")));

    const std::optional<std::string> name = item.label ? named(item.label->label) : std::nullopt;
    const bool hasLeft = longEnough(left);

    std::string text;
    if (name && item.label->label.starts_with("firma."))
        text = *name;
    else if (name && hasLeft)
        text = left;
    else if (name)
        text = *name;
    else
        text = best.value_or(field.name);

    if (field.pageIndex > 0) text += " · pág. " + std::to_string(field.pageIndex + 1);
    return lastCharacters(text, maxCharacters);
}

}  // namespace FieldCaption

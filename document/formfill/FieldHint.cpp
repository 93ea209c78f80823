#include "document/formfill/FieldHint.h"

#include <map>

namespace FieldHint {

namespace {

constexpr const char* unknown = "Tindra no tiene este dato: escríbelo tú.";

std::string joined(const std::optional<std::string>& a, const std::optional<std::string>& b) {
    if (a && b) return *a + " · " + *b;
    return a ? *a : b.value_or("");
}

}  // namespace

std::optional<std::string> whoPart(const FillItem& item) {
    if (!item.label) return std::nullopt;
    std::string_view rest = item.label->label;
    while (!rest.empty()) {
        const std::size_t dot = rest.find('.');
        const std::string_view piece = rest.substr(0, dot);
        if (!piece.empty()) return std::string(piece);
        if (dot == std::string_view::npos) break;
        rest.remove_prefix(dot + 1);
    }
    return std::nullopt;
}

std::optional<std::string> group(std::string_view who) {
    static const std::map<std::string, std::string, std::less<>> groups{
        {"titular", "Tus datos"},
        {"representante", "Datos del representante"},
        {"domicilio", "Tu domicilio"},
        {"contacto", "Tu contacto"},
        {"banco", "Tu cuenta bancaria"},
        {"firma", "La firma"},
        {"tramite", "Del trámite"},
        {"otra_persona", "De otra persona"},
        {"no_rellenar", "No lo rellenas tú"},
    };
    const auto found = groups.find(who);
    if (found == groups.end()) return std::nullopt;
    return found->second;
}

std::string hint(const FillItem& item) {
    const std::optional<std::string> who = whoPart(item);
    const std::optional<std::string> name = who ? group(*who) : std::nullopt;
    if (item.source && !item.value.empty()) return joined(name, item.source);
    if (!who) return unknown;
    if (*who == "tramite") return "Depende del trámite: escríbelo tú.";
    if (*who == "otra_persona" || *who == "no_rellenar")
        return name.value_or("") + ": normalmente se deja en blanco.";
    return joined(name, std::string(unknown));
}

}  // namespace FieldHint

#include "document/formfill/FormStatus.h"

#include <algorithm>
#include <array>
#include <utility>

namespace FormStatus {

std::vector<Segment> segments(int written, int suggested, int yours) {
    std::vector<Segment> out;
    if (written > 0) out.push_back({written, "rellenados", Tone::green});
    if (suggested > 0) out.push_back({suggested, "por confirmar", Tone::orange});
    if (yours > 0) out.push_back({yours, "a tu cargo", Tone::tertiary});
    return out;
}

std::string plain(const std::vector<Segment>& segments) {
    if (segments.empty()) return nothing;
    std::string out;
    for (const Segment& s : segments) {
        if (!out.empty()) out += separator;
        out += bullet + std::to_string(s.count) + " " + s.word;
    }
    return out;
}

std::string confirmTitle(int suggested) {
    if (suggested == 1) return "Revisar la sugerencia…";
    return "Revisar las " + std::to_string(suggested) + " sugerencias…";
}

std::vector<std::string> missingPhrases(const std::vector<FillItem>& items) {
    static const std::array<std::pair<const char*, const char*>, 5> table{{
        {"domicilio.", "tu domicilio"},
        {"contacto.telefono", "tu teléfono"},
        {"contacto.movil", "tu teléfono"},
        {"contacto.email", "tu correo"},
        {"banco.", "tu cuenta bancaria"},
    }};
    std::vector<std::string> out;
    for (const FillItem& item : items) {
        if (item.state != FillItem::State::yours || !item.label) continue;
        for (const auto& [prefix, phrase] : table) {
            if (!item.label->label.starts_with(prefix)) continue;
            if (std::find(out.begin(), out.end(), phrase) == out.end()) out.push_back(phrase);
            break;
        }
    }
    return out;
}

std::string missingSentence(const std::vector<std::string>& phrases) {
    if (phrases.empty()) return {};
    std::string list = phrases.front();
    for (std::size_t i = 1; i < phrases.size(); ++i)
        list += (i + 1 == phrases.size() ? " ni " : ", ") + phrases[i];
    return "Mis datos no tiene " + list + ".";
}

std::string note(bool aiAnswered, bool aiOn) {
    if (aiAnswered) return "Reconocido con IA: se envía la estructura del formulario, no tus datos.";
    if (aiOn) return "Reconocido en este equipo: no se pudo usar la IA.";
    return "Reconocido en este equipo.";
}

std::string partial(int lastWholePage, int pageCount) {
    if (lastWholePage <= 0)
        return "Formulario leído en parte: ninguna página entera de " + std::to_string(pageCount) +
               ".";
    return "Formulario leído en parte: hasta la página " + std::to_string(lastWholePage) + " de " +
           std::to_string(pageCount) + ".";
}

}  // namespace FormStatus

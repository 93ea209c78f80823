// One batch's decisions request: the description of the units around the batch, the two questions
// per unit, and the decoding of the answer's probabilities into labels.
#include "forms/ai/JevLabeler.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "forms/ai/AIText.h"

namespace {

using nlohmann::json;

// A coordinate truncated towards zero, written in decimal; a value no page has reads 0.
std::string coordinate(double value) {
    if (!std::isfinite(value)) return "0";
    constexpr double kLimit = 1e15;  // far beyond any page, well inside a 64-bit integer
    value = std::clamp(value, -kLimit, kLimit);
    return std::to_string(static_cast<long long>(std::trunc(value)));
}

const char* kindName(FormField::Kind kind) {
    switch (kind) {
        case FormField::Kind::text:
            return "texto";
        case FormField::Kind::check:
            return "casilla";
        case FormField::Kind::choice:
            return "lista";
    }
    return "texto";
}

json describe(const FormUnit& unit, const AIPrivacyMask& mask) {
    const FormField& f = unit.first();
    json d = json::object();
    d["campo"] = "#" + std::to_string(unit.id());
    d["pagina"] = static_cast<long long>(f.pageIndex) + 1;
    d["tipo"] = kindName(f.kind);
    d["posicion"] = "x=" + coordinate(f.rect.minX()) + " y=" + coordinate(f.rect.minY()) +
                    " (y mayor = más arriba)";
    // Masked before it is cut, so that no piece of a token survives the cut.
    d["nombre_interno"] = AIText::lastCharacters(mask(f.name), JevLabeler::maxNameCharacters);
    if (unit.isBoxes()) {
        d["cajitas"] = std::to_string(unit.fields.size()) + " cajitas de un carácter en fila";
    }
    auto optional = [&](const char* key, const std::optional<std::string>& value) {
        if (value && !value->empty()) d[key] = mask(*value);
    };
    auto text = [&](const char* key, const std::string& value) {
        if (!value.empty()) d[key] = mask(value);
    };
    optional("apartado", f.section);
    optional("cabecera", f.header);
    optional("tooltip", f.tooltip);
    text("texto_izquierda", f.left);
    text("texto_encima", f.above);
    text("texto_derecha", f.right);
    text("texto_mas_arriba", f.context);
    optional("valor_casilla", f.exportValue);
    if (!f.captions.empty()) {
        json captions = json::array();
        for (const std::string& caption : f.captions) captions.push_back(mask(caption));
        d["rotulos_encima"] = std::move(captions);
    }
    if (f.maxLength >= 1) d["max_caracteres"] = f.maxLength;
    return d;
}

json table(const Catalogue::Table& entries) {
    json object = json::object();
    for (const auto& [key, description] : entries) object[key] = description;
    return object;
}

// The units described around the batch: on the batch's page, near it or in one of its sections,
// highest first, at most maxContextUnits.
std::vector<const FormUnit*> context(const std::vector<FormUnit>& batch, const std::vector<FormUnit>& all) {
    double low = INFINITY;
    double high = -INFINITY;
    std::set<std::string, std::less<>> sections;
    for (const FormUnit& unit : batch) {
        low = std::min(low, unit.first().rect.minY());
        high = std::max(high, unit.first().rect.maxY());
        if (unit.first().section) sections.insert(*unit.first().section);
    }
    low -= JevLabeler::contextBand;
    high += JevLabeler::contextBand;
    const int page = batch.front().first().pageIndex;
    std::vector<const FormUnit*> kept;
    for (const FormUnit& unit : all) {
        if (unit.fields.empty()) continue;
        const FormField& f = unit.first();
        if (f.pageIndex != page) continue;
        const double y = f.rect.minY();
        if ((y >= low && y <= high) || (f.section && sections.count(*f.section) > 0)) {
            kept.push_back(&unit);
        }
    }
    std::stable_sort(kept.begin(), kept.end(), [](const FormUnit* a, const FormUnit* b) {
        const Rect& ra = a->first().rect;
        const Rect& rb = b->first().rect;
        if (ra.minY() != rb.minY()) return ra.minY() > rb.minY();
        return ra.minX() < rb.minX();
    });
    if (kept.size() > JevLabeler::maxContextUnits) kept.resize(JevLabeler::maxContextUnits);
    return kept;
}

std::string groupSuffix(const FormUnit& unit) {
    if (!unit.isBoxes()) return "";
    return " (grupo de " + std::to_string(unit.fields.size()) + " cajitas)";
}

// A question's probabilities: the answer's entry when it is an object whose "probabilities" is an
// object of numbers; an empty map otherwise.
Catalogue::Probabilities probabilities(const json& answers, const std::string& question) {
    Catalogue::Probabilities result;
    auto entry = answers.find(question);
    if (entry == answers.end() || !entry->is_object()) return result;
    auto found = entry->find("probabilities");
    if (found == entry->end() || !found->is_object()) return result;
    for (auto it = found->begin(); it != found->end(); ++it) {
        if (!it.value().is_number()) return {};
        result[it.key()] = it.value().get<double>();
    }
    return result;
}

}  // namespace

nlohmann::json JevLabeler::request(const std::vector<FormUnit>& batch, const std::vector<FormUnit>& all,
                                   const std::string& formName, const Catalogue::Table& who,
                                   const AIPrivacyMask& mask) {
    json units = json::array();
    if (!batch.empty()) {
        for (const FormUnit* unit : context(batch, all)) units.push_back(describe(*unit, mask));
    }
    json state = json::object();
    state["documento"] = "Formulario administrativo español «" + mask(formName) +
                         "». Hay que decidir, para cada campo, de quién es el dato que va en él y qué dato es.";
    state["campos_cercanos"] = std::move(units);

    const json whoCriteria = table(who);
    const json whatCriteria = table(Catalogue::what());
    json questions = json::object();
    for (const FormUnit& unit : batch) {
        const std::string id = std::to_string(unit.id());
        const std::string suffix = groupSuffix(unit);
        questions["quien_" + id] = {
            {"type", "choice"},
            {"instructions", "¿De quién es el dato que va en el campo #" + id + suffix + "?"},
            {"criteria", whoCriteria},
        };
        questions["que_" + id] = {
            {"type", "choice"},
            {"instructions", "¿Qué dato va en el campo #" + id + suffix + "?"},
            {"criteria", whatCriteria},
        };
    }
    json body = json::object();
    body["model"] = std::string(model);
    body["state"] = std::move(state);
    body["questions"] = std::move(questions);
    body["provider"] = {{"data_collection", "deny"}};
    return body;
}

Labels JevLabeler::ask(const std::vector<FormUnit>& batch, const std::vector<FormUnit>& all,
                       const std::string& formName, const Catalogue::Table& who,
                       std::stop_token stop) const {
    Labels labels;
    if (batch.empty()) return labels;
    const auto answers = post(request(batch, all, formName, who, mask_), formName,
                              static_cast<int>(batch.size()), stop);
    if (!answers || !answers->is_object()) return labels;
    for (const FormUnit& unit : batch) {
        const std::string id = std::to_string(unit.id());
        const auto decoded = Catalogue::decode(probabilities(*answers, "quien_" + id),
                                               probabilities(*answers, "que_" + id));
        if (!decoded) continue;
        for (std::size_t i = 0; i < unit.fields.size(); ++i) {
            FieldLabel label;
            label.label = decoded->first;
            if (unit.isBoxes()) label.part = static_cast<int>(i) + 1;
            label.p = decoded->second;
            labels[unit.fields[i].id] = std::move(label);
        }
    }
    return labels;
}

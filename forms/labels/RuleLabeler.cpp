// The rule labeller's labels: filters, the rule table, rows of boxes, the representative rewrite,
// the signature line and the signing date.

#include "forms/labels/RuleLabeler.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>

#include "forms/reader/FormUnit.h"
#include "platform/Regex.h"
#include "profile/UnicodeText.h"

namespace {

constexpr double kRuleConfidence = 0.6;
// A label at least this confident is kept over the signature line and the signing date.
constexpr double kConfident = 0.5;
// Fields of the signature line lie on one row: vertical centres closer than this.
constexpr double kSignatureRowTolerance = 6;
// Boxes that are always an IBAN, a NIF or a postal code by their count alone.
constexpr std::size_t kIbanBoxes = 20;
constexpr std::size_t kNifBoxes = 9;
constexpr std::size_t kPostcodeBoxes = 5;

struct Rule {
    std::string_view key;
    Regex pattern;
};

// First match wins: the order matters ("apellidos y nombre" before "^apellidos").
const std::array<Rule, 24>& rules() {
    static const std::array<Rule, 24> table{{
        {"banco.bic", Regex::constant(R"(\bbic\b|swift)")},
        {"banco.iban", Regex::constant("iban")},
        {"banco.nombre_entidad",
         Regex::constant(
             R"(nombre (de la )?entidad (bancaria|financiera)|^entidad bancaria$|^banco$)")},
        {"titular.nombre_completo",
         Regex::constant(
             "apellidos y nombre|nombre y apellidos|nombre o razon|razon social o nombre|"
             "nom i cognoms|cognoms i nom|^nombre (de la )?sociedad$")},
        {"titular.nombre_completo",
         Regex::constant(R"(^(d|don|sr)\.? ?/ ?(d\.? ?ª|dª|dna|dona|sra)\.?$)")},
        {"titular.razon_social", Regex::constant("razon social|denominacion social")},
        {"titular.nombre_comercial", Regex::constant("nombre comercial")},
        {"titular.apellido1", Regex::constant("(1er|primer|1o) (apellido|cognom)|apellido ?1")},
        {"titular.apellido2", Regex::constant("(2o|segundo|segon) (apellido|cognom)|apellido ?2")},
        {"titular.apellidos", Regex::constant("^apellidos|^cognoms")},
        {"titular.nif",
         Regex::constant(
             R"(\bn\.? ?i\.? ?f|\bc\.? ?i\.? ?f|\bn\.? ?i\.? ?e\b|\bdni\b|\bd\.? ?n\.? ?i\b|^nif)")},
        {"titular.nombre", Regex::constant("^nombre$|^nom$")},
        {"domicilio.cp", Regex::constant(R"(cod(igo)?\.? ?postal|codi postal|^c\.? ?p\.?$|^cp$)")},
        {"domicilio.municipio",
         Regex::constant("poblacion|localidad|municipio|localitat|municipi")},
        {"domicilio.provincia", Regex::constant("provinc")},
        {"domicilio.completo",
         Regex::constant("^(domicilio|direccion|adreca|domicili)( fiscal| social| a efectos de "
                         "notificacion(es)?)?$")},
        {"domicilio.via",
         Regex::constant(R"(^(calle|avda|avenida|plaza|carrer|via publica|nombre de la via)\b|)"
                         R"(domicilio en( la)?( calle| c/ ?(plaza)?)?$)")},
        {"domicilio.numero", Regex::constant(R"(^(n\.? ?º|n\.?º|num\.?|numero|nro\.?)$)")},
        {"firma.lugar", Regex::constant("^en$")},
        {"contacto.movil", Regex::constant("movil|mobil")},
        {"contacto.telefono", Regex::constant("telef|tfno|^tlf")},
        {"contacto.fax", Regex::constant("^fax$")},
        {"contacto.email", Regex::constant("e-?mail|correo electronico|correu electronic")},
        {"contacto.persona", Regex::constant("persona de contacto")},
    }};
    return table;
}

// Parts of the form the applicant does not fill in (the administration's or the bank's boxes).
const Regex& skipPattern() {
    static const Regex pattern = Regex::constant(
        "a (cumplimentar|rellenar) por|reservado|entidad (bancaria|financiera)|sello");
    return pattern;
}

// Sections about someone other than the titular and the representative.
const Regex& otherPersonPattern() {
    static const Regex pattern = Regex::constant(
        "conductor|conyuge|testigo|antiguo titular|anterior titular|titular anterior|transmitente|"
        "cedente|miembro|conviviente|persona [2-9]|contrayente 2|segundo firmante|progenitor|hijo");
    return pattern;
}

// Names that an authoring tool made up ("Texto12", "Check Box3"): they say nothing. The first
// run is possessive, which matches the same names without trying every split of a run of dots.
const Regex& genericNamePattern() {
    static const Regex pattern = Regex::constant(
        R"(^(texto|text|campo|casilla|check ?box|boton|button|fill_|untitled|undefined|group|grupo)[\s_.]*+[\d.]*$)");
    return pattern;
}

// "Datos del solicitante o su representante" is about the titular, not a representative.
const Regex& titularOrRepresentativePattern() {
    static const Regex pattern =
        Regex::constant("(afectado|interesado|solicitante|titular) o (su )?representante");
    return pattern;
}

const Regex& nifBoxesPattern() {
    static const Regex pattern = Regex::constant(R"(n\.? ?i\.? ?f|dni|nie)");
    return pattern;
}

const Regex& signingDatePattern() {
    static const Regex pattern = Regex::constant("^(lugar y )?fecha( de (la )?firma)?$");
    return pattern;
}

std::u16string_view utf16(const icu::UnicodeString& text) {
    return {text.getBuffer(), static_cast<std::size_t>(text.length())};
}

void appendJoined(std::string& text, std::string_view piece) {
    if (!text.empty()) text += ' ';
    text += piece;
}

// Section, header, captions and the wider band above the field, folded.
std::string contextText(const FormField& field) {
    std::string text;
    if (field.section) appendJoined(text, *field.section);
    if (field.header) appendJoined(text, *field.header);
    for (const std::string& caption : field.captions) appendJoined(text, caption);
    appendJoined(text, field.context);
    return RuleLabeler::norm(text);
}

std::string trimmedPunctuation(std::string_view text) {
    const std::size_t start = text.find_first_not_of(".: ");
    if (start == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(".: ");
    return std::string(text.substr(start, end - start + 1));
}

// The field's texts in the order they are tried: name, tool tip, the caption segment on the
// left, a drawn field's whole left caption, the caption above; bilingual ones with their
// Spanish half after them.
std::vector<std::string> candidates(const FormField& field) {
    std::string name = RuleLabeler::norm(field.name);
    if (genericNamePattern().search(name)) name.clear();
    const std::array<std::string, 5> texts{
        std::move(name),
        field.tooltip ? RuleLabeler::norm(*field.tooltip) : std::string(),
        RuleLabeler::nearest(field.left),
        field.drawn ? trimmedPunctuation(RuleLabeler::norm(field.left)) : std::string(),
        RuleLabeler::norm(field.above),
    };
    std::vector<std::string> result;
    for (const std::string& text : texts) {
        for (std::string& piece : RuleLabeler::languages(text)) result.push_back(std::move(piece));
    }
    return result;
}

std::optional<std::string_view> boxesKey(const FormUnit& unit,
                                         const std::vector<std::string>& texts,
                                         const FormField& first) {
    std::string boxText;
    for (const std::string& text : texts) appendJoined(boxText, text);
    boxText += ' ';
    boxText += RuleLabeler::norm(first.context);
    const std::size_t count = unit.fields.size();
    if (boxText.find("iban") != std::string::npos || count >= kIbanBoxes) return "banco.iban";
    if (nifBoxesPattern().search(boxText) || count == kNifBoxes) return "titular.nif";
    if (boxText.find("postal") != std::string::npos || count == kPostcodeBoxes)
        return "domicilio.cp";
    return std::nullopt;
}

std::optional<std::string_view> tableKey(const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        if (text.empty()) continue;
        const icu::UnicodeString unicode = UnicodeText::fromUtf8(text);
        for (const Rule& rule : rules()) {
            if (rule.pattern.search(utf16(unicode))) return rule.key;
        }
    }
    return std::nullopt;
}

// In a representative's section the person keys are the representative's; bank and signature
// keys there belong to nobody.
std::optional<std::string> representativeKey(std::string_view key) {
    constexpr std::string_view titular = "titular.";
    if (key.starts_with(titular)) return "representante." + std::string(key.substr(titular.size()));
    if (key.starts_with("domicilio.")) return "representante.domicilio";
    if (key.starts_with("contacto.")) return "representante.contacto";
    return std::nullopt;
}

std::optional<std::string> unitKey(const FormUnit& unit) {
    const FormField& first = unit.first();
    const std::string context = contextText(first);
    const icu::UnicodeString contextUnicode = UnicodeText::fromUtf8(context);
    if (skipPattern().search(utf16(contextUnicode)) ||
        otherPersonPattern().search(utf16(contextUnicode))) {
        return std::nullopt;
    }
    const bool representative = context.find("represent") != std::string::npos &&
                                !titularOrRepresentativePattern().search(utf16(contextUnicode));
    const std::vector<std::string> texts = candidates(first);
    std::optional<std::string_view> key;
    if (unit.isBoxes()) {
        key = boxesKey(unit, texts, first);
    } else if (first.kind != FormField::Kind::check) {
        key = tableKey(texts);
    }
    if (!key) return std::nullopt;
    if (representative) return representativeKey(*key);
    return std::string(*key);
}

double centreY(const FormField& field) {
    return field.rect.midY();
}

// The signature line "En [lugar] a [día] de [mes] de [año]": found by its day field, the one
// right after a caption "a". Gives the labels of its fields, keyed by id.
Labels signatureLineLabels(const std::vector<FormUnit>& units) {
    std::vector<const FormField*> singles;
    for (const FormUnit& unit : units) {
        if (!unit.isBoxes() && unit.first().kind != FormField::Kind::check) {
            singles.push_back(&unit.first());
        }
    }
    auto isDay = [](const FormField* field) {
        return RuleLabeler::nearest(field->left) == "a" || field->left.ends_with(" a");
    };
    auto day = std::find_if(singles.begin(), singles.end(), isDay);
    if (day == singles.end()) return {};
    const FormField& dayField = **day;
    std::vector<const FormField*> row;
    for (const FormField* field : singles) {
        if (field->pageIndex == dayField.pageIndex && std::isfinite(field->rect.minX()) &&
            std::abs(centreY(*field) - centreY(dayField)) < kSignatureRowTolerance) {
            row.push_back(field);
        }
    }
    // Left to right: on one line, fields of different heights differ in minimum y, so the
    // reading order (top first) could put a field of the right before one of the left.
    std::stable_sort(row.begin(), row.end(), [](const FormField* a, const FormField* b) {
        return a->rect.minX() < b->rect.minX();
    });
    const auto inRow = std::find(row.begin(), row.end(), &dayField);
    if (inRow == row.end()) return {};  // a day field without a finite place has no row
    const auto at = inRow - row.begin();
    Labels labels;
    if (at > 0) labels[row[at - 1]->id] = FieldLabel{"firma.lugar", std::nullopt, kRuleConfidence};
    constexpr std::array<std::string_view, 3> date{"firma.dia", "firma.mes", "firma.anio"};
    for (std::size_t i = 0; i < date.size() && at + i < row.size(); ++i) {
        labels[row[at + i]->id] = FieldLabel{std::string(date[i]), std::nullopt, kRuleConfidence};
    }
    return labels;
}

}  // namespace

namespace RuleLabeler {

Labels labels(const std::vector<FormUnit>& units) {
    Labels result;
    for (const FormUnit& unit : units) {
        const std::optional<std::string> key = unitKey(unit);
        if (!key) continue;
        const bool boxes = unit.isBoxes();
        for (std::size_t i = 0; i < unit.fields.size(); ++i) {
            std::optional<int> part;
            if (boxes) part = static_cast<int>(i) + 1;
            result[unit.fields[i].id] = FieldLabel{*key, part, kRuleConfidence};
        }
    }
    for (auto& [id, label] : signatureLineLabels(units)) result[id] = std::move(label);
    return result;
}

void signatureOrder(const std::vector<FormUnit>& units, Labels& labels) {
    const Labels line = signatureLineLabels(units);
    std::unordered_map<int, const FormField*> fields;
    for (const FormUnit& unit : units) fields.emplace(unit.id(), &unit.first());
    std::vector<const FormField*> months;
    for (const auto& [id, label] : line) {
        if (label.label == "firma.mes") months.push_back(fields.at(id));
    }
    for (const auto& [id, lineLabel] : line) {
        const FormField& field = *fields.at(id);
        const bool besideMonth =
            std::any_of(months.begin(), months.end(), [&](const FormField* month) {
                return month->pageIndex == field.pageIndex &&
                       std::abs(centreY(*month) - centreY(field)) < kSignatureRowTolerance;
            });
        if (!besideMonth) continue;
        auto held = labels.find(id);
        if (held == labels.end()) {
            labels.emplace(id, lineLabel);
        } else if (held->second.label.starts_with("firma.")) {
            held->second = FieldLabel{lineLabel.label, std::nullopt, held->second.p};
        } else if (!(held->second.p >= kConfident)) {
            held->second = lineLabel;
        }
    }
}

void signingDate(const std::vector<FormUnit>& units, Labels& labels) {
    for (const FormUnit& unit : units) {
        if (unit.isBoxes() || unit.first().kind != FormField::Kind::text) continue;
        auto held = labels.find(unit.id());
        if (held != labels.end() && held->second.p >= kConfident) continue;
        if (signingDatePattern().search(nearest(unit.first().left))) {
            labels[unit.id()] = FieldLabel{"firma.fecha", std::nullopt, kRuleConfidence};
        }
    }
}

}  // namespace RuleLabeler

// Value derivation: the text a label asks for, from the parties, the signer and the date, with the
// caption of its origin; and the option of a choice field that a value names.

#include "forms/plan/Banks.h"
#include "forms/plan/FormPlan.h"
#include "forms/plan/PlanText.h"
#include "forms/plan/Provinces.h"

#include "forms/labels/RuleLabeler.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <initializer_list>

namespace {

using Result = std::pair<std::string, std::string>;

const Result nothing{};

constexpr std::array<const char*, 12> monthNames = {
    "enero", "febrero", "marzo", "abril", "mayo", "junio",
    "julio", "agosto", "septiembre", "octubre", "noviembre", "diciembre",
};

// Spain as the Spanish locale writes the region ES.
constexpr const char* spain = "España";

// Words that stay with the surname they precede ("de la Fuente").
constexpr std::array<std::string_view, 6> particles = {"de", "del", "la", "las", "los", "y"};

constexpr const char* contactJoiner = " · ";

// A field narrower than this (in points), or limited to two characters, takes the month as two
// digits and the year without its century.
constexpr double wideField = 26;
constexpr int shortLength = 2;

// Spanish IBAN: 24 letters and digits; the pieces as [from, to) over them.
constexpr std::size_t ibanLength = 24;
struct IBANPiece {
    std::string_view what;
    std::size_t from;
    std::size_t to;
};
constexpr std::array<IBANPiece, 5> ibanPieces = {{
    {"iban_pais", 0, 4}, {"entidad", 4, 8}, {"oficina", 8, 12}, {"dc", 12, 14}, {"cuenta", 14, 24},
}};

Result firstFact(const std::optional<FormPlan::Party>& party, std::initializer_list<std::string_view> kinds) {
    if (!party) return nothing;
    const FormPlan::Facts& facts = party->facts();
    for (std::string_view kind : kinds) {
        const auto found = facts.find(std::string(kind));
        if (found != facts.end()) return {found->second.value, FormPlan::Source::profile};
    }
    return nothing;
}

std::string joined(const std::vector<std::string>& words, std::string_view separator, std::size_t from = 0,
                   std::size_t to = std::string::npos) {
    std::string out;
    to = std::min(to, words.size());
    for (std::size_t i = from; i < to; ++i) {
        if (i > from) out += separator;
        out += words[i];
    }
    return out;
}

std::vector<std::string> words(std::string_view text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string_view::npos) end = text.size();
        if (end > start) out.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// "de la Fuente García" gives ("de la Fuente", "García"); "Pérez y Gómez" gives ("Pérez", "y Gómez").
std::pair<std::string, std::string> splitSurnames(const std::optional<std::string>& surnames) {
    const std::vector<std::string> all = words(surnames.value_or(""));
    if (all.size() < 2) return {all.empty() ? "" : all.front(), ""};
    std::size_t taken = 0;
    while (taken < all.size()) {
        const std::string lower = PlanText::asciiLower(all[taken]);
        ++taken;
        bool particle = false;
        for (std::string_view p : particles) particle = particle || lower == p;
        if (!particle) break;
    }
    return {joined(all, " ", 0, taken), joined(all, " ", taken)};
}

Result identity(const std::optional<FormPlan::Party>& party, const std::string& what) {
    if (!party) return nothing;
    const std::string certificate = FormPlan::Source::certificate;
    if (const FormPlan::Company* company = party->company()) {
        if (what == "nif") return {company->id.value_or(""), certificate};
        if (what == "nombre_completo" || what == "razon_social" || what == "nombre") return {company->name, certificate};
        if (what == "nombre_comercial") return firstFact(party, {"nombre_comercial"});
        if (what == "actividad") return firstFact(party, {"cnae", "iae"});
        return nothing;
    }
    const FormPlan::Person& person = *party->person();
    if (what == "nif") return {person.id.value_or(""), certificate};
    if (what == "nombre_completo" || what == "razon_social") return {person.name, certificate};
    if (what == "nombre") return {person.given.value_or(""), certificate};
    if (what == "apellidos") return {person.surnames.value_or(""), certificate};
    if (what == "apellido1") return {splitSurnames(person.surnames).first, certificate};
    if (what == "apellido2") return {splitSurnames(person.surnames).second, certificate};
    if (what == "cargo" || what == "fecha_nacimiento" || what == "nacionalidad" || what == "lugar_nacimiento")
        return firstFact(party, {what});
    return nothing;
}

const std::string* part(const std::map<std::string, std::string>& parts, const char* name) {
    const auto found = parts.find(name);
    return found == parts.end() ? nullptr : &found->second;
}

// The present, non-empty parts of the list joined by the separator.
std::string presentParts(const std::map<std::string, std::string>& parts, std::initializer_list<const char*> names,
                         std::string_view separator) {
    std::vector<std::string> present;
    for (const char* name : names)
        if (const std::string* value = part(parts, name); value && !value->empty()) present.push_back(*value);
    return joined(present, separator);
}

Result address(const std::optional<FormPlan::Party>& holder, const std::string& what, const FormPlan::Asked& asked) {
    if (!holder) return nothing;
    const std::optional<SavedFact> fact = holder->address();
    if (!fact) return nothing;
    const std::string& v = fact->value;
    const std::map<std::string, std::string>& p = fact->parts;
    const std::string profile = FormPlan::Source::profile;

    if (what == "completo") {
        const std::string place = presentParts(p, {"cp", "municipio"}, " ");
        // An address without postcode gets its place appended unless it holds a "~".
        const std::string* cp = part(p, "cp");
        const bool holdsPostcode = v.find(cp ? *cp : std::string("~")) != std::string::npos;
        if (!place.empty() && !holdsPostcode) return {v + ", " + place, profile};
        return {v, profile};
    }
    if (what == "via") {
        const std::string* via = part(p, "via");
        if (!via) return {"", profile};
        if (asked.contains("domicilio.numero")) return {*via, profile};
        std::vector<std::string> entries;
        const std::string* numero = part(p, "numero");
        for (const std::string& entry :
             {*via, numero ? *numero : std::string(), presentParts(p, {"escalera", "piso", "puerta", "resto"}, " ")})
            if (!entry.empty()) entries.push_back(entry);
        return {joined(entries, ", "), profile};
    }
    for (const char* plain : {"numero", "piso", "puerta", "escalera", "cp", "municipio"}) {
        if (what == plain) {
            const std::string* value = part(p, plain);
            return {value ? *value : std::string(), profile};
        }
    }
    if (what == "resto") return {presentParts(p, {"piso", "puerta", "resto"}, " "), profile};
    if (what == "provincia") {
        const std::string* cp = part(p, "cp");
        return {Provinces::name(cp ? std::optional<std::string>(*cp) : std::nullopt).value_or(""), profile};
    }
    if (what == "pais") return {spain, profile};
    return nothing;
}

Result ibanPiece(const std::optional<FormPlan::Party>& holder, const std::string& what) {
    const Result iban = firstFact(holder, {"iban"});
    const std::vector<std::string> characters = PlanText::lettersAndDigits(iban.first);
    if (characters.size() != ibanLength || PlanText::upper(characters[0] + characters[1]) != "ES") return nothing;
    for (const IBANPiece& piece : ibanPieces)
        if (what == piece.what) return {PlanText::join(characters, piece.from, piece.to), iban.second};
    return nothing;
}

std::string format(const char* pattern, int a, int b = 0, int c = 0) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, pattern, a, b, c);
    return buffer;
}

bool isWide(const FormField& field) { return field.maxLength != shortLength && field.rect.width >= wideField; }

std::string month(const FormField& field, int number) {
    const std::string name = monthNames[static_cast<std::size_t>(number - 1)];
    if (!field.options.empty()) {
        for (const std::string& option : field.options) {
            long value = 0;
            if (RuleLabeler::norm(option) == name || (PlanText::wholeNumber(option, value) && value == number))
                return option;
        }
        return "";
    }
    return isWide(field) ? name : format("%02d", number);
}

Result dateParts(const std::string& what, const FormField& field, std::chrono::system_clock::time_point when) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) return nothing;
    const int day = local.tm_mday;
    const int number = local.tm_mon + 1;
    const int year = local.tm_year + 1900;
    const std::string today = FormPlan::Source::today;
    if (what == "fecha") return {format("%02d/%02d/%04d", day, number, year), today};
    if (what == "dia") return {format("%d", day), today};
    if (what == "mes") return {month(field, number), today};
    if (what == "anio") return {format("%d", isWide(field) ? year : year % 100), today};
    return nothing;
}

Result contact(const std::optional<FormPlan::Party>& holder, const FormPlan::Person& signer, const std::string& what, const FormPlan::Asked& asked) {
    if (what == "telefono")
        return asked.contains("contacto.movil") ? firstFact(holder, {"telefono"}) : firstFact(holder, {"telefono", "movil"});
    if (what == "movil")
        return asked.contains("contacto.telefono") ? firstFact(holder, {"movil"}) : firstFact(holder, {"movil", "telefono"});
    if (what == "email" || what == "fax" || what == "web") return firstFact(holder, {what});
    if (what == "completo") {
        std::vector<std::string> present;
        for (const Result& r : {firstFact(holder, {"email"}), firstFact(holder, {"telefono", "movil"})})
            if (!r.first.empty()) present.push_back(r.first);
        return {joined(present, contactJoiner), FormPlan::Source::profile};
    }
    if (what == "persona") {
        if (holder && holder->company()) return {signer.name, FormPlan::Source::certificate};
        return nothing;
    }
    return nothing;
}

Result bank(const std::optional<FormPlan::Party>& holder, const std::string& what) {
    if (what == "iban" || what == "bic") return firstFact(holder, {what});
    if (what == "nombre_entidad")
        return {Banks::name(firstFact(holder, {"iban"}).first).value_or(""), FormPlan::Source::profile};
    for (const IBANPiece& piece : ibanPieces)
        if (what == piece.what) return ibanPiece(holder, what);
    return nothing;
}

}  // namespace

std::pair<std::string, std::string> FormPlan::value(std::string_view label, const FormField& field,
                                                    const std::optional<Party>& holder,
                                                    const std::optional<Party>& representative, const Person& signer,
                                                    std::chrono::system_clock::time_point date,
                                                    const Asked& asked) {
    const std::size_t dot = label.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot + 1 == label.size()) return nothing;
    const std::string_view who = label.substr(0, dot);
    const std::string what(label.substr(dot + 1));

    if (who == "titular") return identity(holder, what);
    if (who == "representante") {
        if (what == "cargo") return firstFact(representative, {"cargo"});
        return identity(representative, what);
    }
    if (who == "domicilio") return address(holder, what, asked);
    if (who == "contacto") return contact(holder, signer, what, asked);
    if (who == "banco") return bank(holder, what);
    if (who == "firma") {
        if (what == "lugar") {
            if (holder)
                if (const std::optional<SavedFact> place = holder->address())
                    if (const std::string* municipio = part(place->parts, "municipio")) return {*municipio, Source::profile};
            return {"", Source::profile};
        }
        if (what == "nombre") return {signer.name, Source::certificate};
        return dateParts(what, field, date);
    }
    return nothing;
}

std::optional<std::string> FormPlan::option(std::string_view matching, const std::vector<std::string>& in) {
    if (in.empty()) return std::nullopt;
    const std::string value = RuleLabeler::norm(matching);
    const std::string prefix = value + " ";
    const std::string* firstPrefix = nullptr;
    for (const std::string& option : in) {
        const std::string normalised = RuleLabeler::norm(option);
        if (normalised == value) return option;
        if (!firstPrefix && normalised.starts_with(prefix)) firstPrefix = &option;
    }
    if (firstPrefix) return *firstPrefix;
    return std::nullopt;
}

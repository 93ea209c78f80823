#include "profile/ProfileStore.h"

#include "platform/Log.h"
#include "profile/UnicodeText.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <map>

namespace ProfileStore {

namespace {

using Clock = std::chrono::system_clock;
using Json = nlohmann::json;

// 2001-01-01 00:00:00 UTC, the origin of stored dates, in Unix time.
constexpr std::time_t kReferenceDate = 978307200;
// Stored dates further than this from the origin (about 3000 years) cannot be real.
constexpr double kMaxStoredSeconds = 1e11;

constexpr const char* kUnavailable =
    "No se ha encontrado ningún depósito de claves (Secret Service) en este equipo, así que no se han podido "
    "cambiar tus datos.";
constexpr const char* kUnreadable =
    "No se han podido leer tus datos guardados en el depósito de claves, así que no se ha cambiado nada; "
    "desbloquea el depósito de claves y vuelve a intentarlo.";
constexpr const char* kUndecodable =
    "Tus datos guardados en el depósito de claves están dañados y no se pueden leer; no se ha cambiado nada para "
    "no perderlos.";
constexpr const char* kWriteFailed = "No se han podido guardar tus datos en el depósito de claves.";
constexpr const char* kRemoveFailed = "No se han podido borrar tus datos del depósito de claves.";

// Whole seconds and the rest are converted apart, and the rest is rounded to the nearest tick,
// so that a date read back and written again gives the same number: a stored fact keeps the
// exact date that removing it asks for, however often the list is rewritten.
double storedSeconds(Clock::time_point t) {
    using namespace std::chrono;
    const auto since = t - Clock::from_time_t(kReferenceDate);
    const auto whole = floor<seconds>(since);
    return static_cast<double>(whole.count()) + duration<double>(since - whole).count();
}

std::optional<Clock::time_point> fromStoredSeconds(double value) {
    using namespace std::chrono;
    if (!std::isfinite(value) || std::fabs(value) > kMaxStoredSeconds) return std::nullopt;
    const double whole = std::floor(value);
    return Clock::from_time_t(kReferenceDate) + seconds(static_cast<long long>(whole)) +
           round<Clock::duration>(duration<double>(value - whole));
}

const std::string* stringAt(const Json& object, const char* key) {
    auto it = object.find(key);
    if (it == object.end() || !it->is_string()) return nullptr;
    return it->get_ptr<const std::string*>();
}

// The stored list as read, or an Error after a log line when it cannot be trusted.
std::vector<SavedFact> readForChange(SecretStore& store, const LogLine& log) {
    Loaded loaded = load(store);
    auto refuse = [&](const char* message, const std::string& why) {
        if (log) log("Mis datos: no se cambia el depósito de claves: " + why);
        throw Error(message);
    };
    switch (loaded.status) {
        case Loaded::Status::stored: return std::move(loaded.facts);
        case Loaded::Status::absent: return {};
        case Loaded::Status::unavailable: refuse(kUnavailable, "no hay Secret Service (" + loaded.detail + ")"); break;
        case Loaded::Status::unreadable: refuse(kUnreadable, "no se ha podido leer (" + loaded.detail + ")"); break;
        case Loaded::Status::undecodable: refuse(kUndecodable, "los datos guardados no se pueden interpretar"); break;
    }
    return {};
}

}  // namespace

std::optional<std::string> message(Loaded::Status status) {
    switch (status) {
        case Loaded::Status::stored:
        case Loaded::Status::absent: return std::nullopt;
        case Loaded::Status::unavailable: return kUnavailable;
        case Loaded::Status::unreadable: return kUnreadable;
        case Loaded::Status::undecodable: return kUndecodable;
    }
    return std::nullopt;
}

namespace {

void store(SecretStore& secrets, const std::vector<SavedFact>& facts, const LogLine& log) {
    try {
        secrets.write(service(), account, label, encode(facts));
    } catch (const SecretStoreError& e) {
        if (log) log(std::string("Mis datos: no se ha podido escribir en el depósito de claves: ") + e.what());
        throw Error(e.unavailable() ? kUnavailable : kWriteFailed);
    }
}

}  // namespace

void logToFile(std::string_view line) { Log::write(line); }

const std::string& service() {
    static const std::string value = std::string(bundleIdentifier) + ".misdatos";
    return value;
}

std::string encode(const std::vector<SavedFact>& facts) {
    Json array = Json::array();
    for (const SavedFact& f : facts) {
        Json object = {{"owner", f.owner}, {"kind", f.kind}, {"value", f.value}, {"parts", Json::object()}};
        for (const auto& [key, value] : f.parts) object["parts"][key] = value;
        if (f.subject) object["subject"] = *f.subject;
        object["updated"] = storedSeconds(f.updated);
        array.push_back(std::move(object));
    }
    return array.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<std::vector<SavedFact>> decode(std::string_view data) {
    Json array = Json::parse(data, nullptr, false);
    if (array.is_discarded() || !array.is_array()) return std::nullopt;
    std::vector<SavedFact> facts;
    facts.reserve(array.size());
    for (const Json& object : array) {
        if (!object.is_object()) return std::nullopt;
        const std::string* owner = stringAt(object, "owner");
        const std::string* kind = stringAt(object, "kind");
        const std::string* value = stringAt(object, "value");
        auto parts = object.find("parts");
        auto updated = object.find("updated");
        if (!owner || !kind || !value || parts == object.end() || !parts->is_object() || updated == object.end() ||
            !updated->is_number()) {
            return std::nullopt;
        }
        SavedFact fact{*owner, *kind, *value, {}, std::nullopt, {}};
        for (const auto& [key, part] : parts->items()) {
            if (!part.is_string()) return std::nullopt;
            fact.parts[key] = part.get<std::string>();
        }
        if (auto subject = object.find("subject"); subject != object.end() && !subject->is_null()) {
            if (!subject->is_string()) return std::nullopt;
            fact.subject = subject->get<std::string>();
        }
        auto when = fromStoredSeconds(updated->get<double>());
        if (!when) return std::nullopt;
        fact.updated = *when;
        facts.push_back(std::move(fact));
    }
    return facts;
}

Loaded load(SecretStore& secrets) {
    SecretRead read = secrets.read(service(), account);
    switch (read.status) {
        case SecretRead::Status::absent: return {Loaded::Status::absent, {}, {}};
        case SecretRead::Status::unavailable: return {Loaded::Status::unavailable, {}, read.detail};
        case SecretRead::Status::failed: return {Loaded::Status::unreadable, {}, read.detail};
        case SecretRead::Status::found: break;
    }
    auto decoded = decode(read.data);
    if (!decoded) return {Loaded::Status::undecodable, {}, {}};
    return {Loaded::Status::stored, std::move(*decoded), {}};
}

std::vector<SavedFact> facts(SecretStore& secrets) { return load(secrets).facts; }

void save(SecretStore& secrets, const std::vector<SavedFact>& facts, const LogLine& log) {
    std::vector<SavedFact> list = readForChange(secrets, log);
    for (const SavedFact& fact : facts) {
        std::erase_if(list, [&](const SavedFact& stored) { return stored.sameSlot(fact); });
        list.push_back(fact);
    }
    store(secrets, list, log);
}

void remove(SecretStore& secrets, const SavedFact& fact, const LogLine& log) {
    std::vector<SavedFact> list = readForChange(secrets, log);
    std::erase_if(list, [&](const SavedFact& stored) { return stored == fact; });
    store(secrets, list, log);
}

void reset(SecretStore& secrets, const LogLine& log) {
    try {
        secrets.remove(service(), account);
    } catch (const SecretStoreError& e) {
        if (log) log(std::string("Mis datos: no se ha podido borrar del depósito de claves: ") + e.what());
        throw Error(e.unavailable() ? kUnavailable : kRemoveFailed);
    }
    if (log) log("Mis datos: borrados del depósito de claves");
}

std::vector<SavedFact> candidates(const std::vector<ProfileFact>& facts, Clock::time_point now) {
    std::map<ProfileFact::Owner, std::string> subjects;
    for (const ProfileFact& f : facts) {
        if (f.kind == "nif") subjects.try_emplace(f.owner, f.value);
    }
    std::vector<SavedFact> result;
    result.reserve(facts.size());
    for (const ProfileFact& f : facts) {
        SavedFact saved{std::string(ProfileFact::rawValue(f.owner)), f.kind, f.value, f.parts, std::nullopt, now};
        if (f.owner != ProfileFact::Owner::text) {
            if (auto it = subjects.find(f.owner); it != subjects.end()) saved.subject = it->second;
        }
        result.push_back(std::move(saved));
    }
    return result;
}

std::optional<SavedFact> previous(const std::vector<SavedFact>& stored, const SavedFact& fact) {
    for (const SavedFact& s : stored) {
        if (s.sameSlot(fact) && !UnicodeText::sameText(s.value, fact.value)) return s;
    }
    return std::nullopt;
}

std::optional<SavedFact> previous(SecretStore& secrets, const SavedFact& fact) {
    return previous(facts(secrets), fact);
}

std::string name(std::string_view kind, std::string_view owner) {
    if (kind == "nif") return owner == "empresa" ? "NIF" : "DNI o NIE";
    static const std::map<std::string, std::string, std::less<>> titles = {
        {"razon_social", "Razón social"},
        {"nombre_comercial", "Nombre comercial"},
        {"nombre_completo", "Nombre"},
        {"domicilio", "Domicilio"},
        {"domicilio_fiscal", "Domicilio fiscal"},
        {"domicilio_social", "Domicilio social"},
        {"cp", "Código postal"},
        {"municipio", "Municipio"},
        {"email", "Correo electrónico"},
        {"telefono", "Teléfono"},
        {"movil", "Móvil"},
        {"iban", "Cuenta (IBAN)"},
        {"bic", "BIC"},
        {"registro_mercantil", "Registro Mercantil"},
        {"fecha_constitucion", "Fecha de constitución"},
        {"duns", "DUNS"},
        {"cnae", "CNAE"},
        {"iae", "IAE"},
        {"web", "Web"},
        {"cargo", "Cargo"},
        {"poder", "Poder de representación"},
        {"fecha_nacimiento", "Fecha de nacimiento"},
        {"nacionalidad", "Nacionalidad"},
        {"clausula_representacion", "Cláusula de representación"},
        {"parrafo", "Texto"},
    };
    if (auto it = titles.find(kind); it != titles.end()) return it->second;
    return UnicodeText::upperFirst(kind, false);
}

std::optional<std::string> detail(const SavedFact& fact) {
    if (fact.parts.empty()) return std::nullopt;
    auto group = [&](const char* first, const char* second, const char* separator) {
        std::string out;
        bool any = false;
        for (const char* key : {first, second}) {
            auto it = fact.parts.find(key);
            if (it == fact.parts.end()) continue;
            if (any) out += separator;
            out += it->second;
            any = true;
        }
        return out;
    };
    std::string line;
    for (const std::string& g : {group("via", "numero", ", "), group("piso", "puerta", " "), group("cp", "municipio", " ")}) {
        if (g.empty()) continue;
        if (!line.empty()) line += " · ";
        line += g;
    }
    return line;
}

}  // namespace ProfileStore

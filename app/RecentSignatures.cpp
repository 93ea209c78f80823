#include "app/RecentSignatures.h"

#include <sys/stat.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "platform/Log.h"
#include "profile/UnicodeText.h"

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

[[noreturn]] void invalid(const std::string& what) {
    throw RecentSignatures::CodingError("La lista de firmas recientes no es válida: " + what + ".");
}

const json* find(const json& object, const char* key, bool required) {
    auto it = object.find(key);
    if (it == object.end() || it->is_null()) {
        if (required) invalid(std::string("falta «") + key + "»");
        return nullptr;
    }
    return &*it;
}

std::string string(const json& object, const char* key) {
    const json* value = find(object, key, true);
    if (!value->is_string()) invalid(std::string("«") + key + "» no es un texto");
    return value->get<std::string>();
}

bool boolean(const json& object, const char* key) {
    const json* value = find(object, key, true);
    if (!value->is_boolean()) invalid(std::string("«") + key + "» no es un valor lógico");
    return value->get<bool>();
}

double number(const json& value, const char* key) {
    if (!value.is_number()) invalid(std::string("«") + key + "» no es un número");
    return value.get<double>();
}

// An integer written either way (3 or 3.0), within the range of int.
int integer(const json& value, const char* key) {
    double v = value.is_number_integer() && !value.is_number_unsigned()
                   ? static_cast<double>(value.get<std::int64_t>())
                   : number(value, key);
    if (std::trunc(v) != v || v < std::numeric_limits<int>::min() ||
        v > std::numeric_limits<int>::max()) {
        invalid(std::string("«") + key + "» no es un número entero");
    }
    return static_cast<int>(v);
}

json rectJSON(const Rect& rect) {
    return json::array({json::array({rect.x, rect.y}), json::array({rect.width, rect.height})});
}

Rect rectFromJSON(const json& value) {
    auto pair = [](const json& element) {
        if (!element.is_array() || element.size() != 2)
            invalid("«rect» no tiene la forma [[x, y], [ancho, alto]]");
        return std::pair{number(element[0], "rect"), number(element[1], "rect")};
    };
    if (!value.is_array() || value.size() != 2)
        invalid("«rect» no tiene la forma [[x, y], [ancho, alto]]");
    auto [x, y] = pair(value[0]);
    auto [width, height] = pair(value[1]);
    return {x, y, width, height};
}

bool finite(const Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

// Every number of the record is finite, so that it survives the JSON text unchanged (a JSON
// writer turns the others into null, which would then make the whole list unreadable).
bool finite(const SigningRecord& record) {
    if (record.rect && !finite(*record.rect)) return false;
    for (const FormFill& fill : record.fills) {
        if (!finite(fill.rect) || (fill.size && !std::isfinite(*fill.size))) return false;
    }
    if (record.copies) {
        for (const SignatureCopy& copy : *record.copies)
            if (!finite(copy.rect)) return false;
    }
    return true;
}

bool validUTF8(std::string_view text) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) return false;
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return false;
    }
    return true;
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
}

std::vector<RecentSignature> stored(const Defaults& defaults) {
    std::optional<Defaults::Data> data = defaults.data(RecentSignatures::key);
    if (!data) return {};
    std::string_view text(reinterpret_cast<const char*>(data->data()), data->size());
    std::vector<RecentSignature> list =
        RecentSignatures::decode(text).value_or(std::vector<RecentSignature>{});
    // A list written elsewhere may be longer than any this code stores: the home window builds a
    // row for each entry, so only the first `limit` are ever used.
    if (list.size() > RecentSignatures::limit) list.resize(RecentSignatures::limit);
    return list;
}

void store(Defaults& defaults, const std::vector<RecentSignature>& list) {
    std::string text = RecentSignatures::encode(list);
    defaults.setData(RecentSignatures::key, Defaults::Data(text.begin(), text.end()));
}

}  // namespace

bool RecentSignature::canSignAgain() const { return original && fileExists(*original); }

namespace RecentSignatures {

void logToFile(std::string_view line) { Log::write(line); }

std::optional<std::vector<RecentSignature>>& testing() {
    static std::optional<std::vector<RecentSignature>> list;
    return list;
}

double referenceSeconds(std::chrono::system_clock::time_point date) {
    using namespace std::chrono;
    double unix = duration_cast<duration<double>>(date.time_since_epoch()).count();
    return unix - referenceDateOffset;
}

std::chrono::system_clock::time_point dateFromReferenceSeconds(double seconds) {
    using namespace std::chrono;
    // Dates beyond what the clock holds (about ±292 years around 1970) are clamped to its range.
    double unix = seconds + referenceDateOffset;
    constexpr double bound = 9.0e9;  // seconds: well inside the clock's range in nanoseconds
    if (!(unix > -bound)) unix = -bound;
    if (unix > bound) unix = bound;
    return system_clock::time_point(
        duration_cast<system_clock::duration>(duration<double>(unix)));
}

json toJSON(const SigningRecord& record) {
    if (!finite(record)) throw CodingError("El registro de la firma tiene un número no finito.");
    json object = json::object();
    object["certificate"] = record.certificate;
    object["visible"] = record.visible;
    object["showFullID"] = record.showFullID;
    object["showBranding"] = record.showBranding;
    if (record.pageIndex) object["pageIndex"] = *record.pageIndex;
    if (record.rect) object["rect"] = rectJSON(*record.rect);
    object["fills"] = FormFill::toJSON(record.fills);
    if (record.copies) {
        json copies = json::array();
        for (const SignatureCopy& copy : *record.copies) copies.push_back(copy.toJSON());
        object["copies"] = std::move(copies);
    }
    return object;
}

SigningRecord recordFromJSON(const json& object) {
    if (!object.is_object()) invalid("«how» no es un objeto");
    SigningRecord record;
    record.certificate = string(object, "certificate");
    record.visible = boolean(object, "visible");
    record.showFullID = boolean(object, "showFullID");
    record.showBranding = boolean(object, "showBranding");
    if (const json* page = find(object, "pageIndex", false)) record.pageIndex = integer(*page, "pageIndex");
    if (const json* rect = find(object, "rect", false)) record.rect = rectFromJSON(*rect);
    try {
        record.fills = FormFill::listFromJSON(*find(object, "fills", true));
        if (const json* copies = find(object, "copies", false)) {
            if (!copies->is_array()) invalid("«copies» no es una lista");
            std::vector<SignatureCopy> list;
            list.reserve(copies->size());
            for (const json& copy : *copies) list.push_back(SignatureCopy::fromJSON(copy));
            record.copies = std::move(list);
        }
    } catch (const CodingError&) {
        throw;
    } catch (const std::exception& error) {
        invalid(error.what());
    }
    return record;
}

json toJSON(const RecentSignature& entry) {
    double date = referenceSeconds(entry.date);
    if (!std::isfinite(date)) throw CodingError("La fecha de la firma no es un número finito.");
    json object = json::object();
    object["path"] = entry.path;
    object["date"] = date;
    object["signer"] = entry.signer;
    if (entry.original) object["original"] = *entry.original;
    if (entry.how) object["how"] = toJSON(*entry.how);
    return object;
}

RecentSignature entryFromJSON(const json& object) {
    if (!object.is_object()) invalid("una entrada no es un objeto");
    RecentSignature entry;
    entry.path = string(object, "path");
    entry.date = dateFromReferenceSeconds(number(*find(object, "date", true), "date"));
    entry.signer = string(object, "signer");
    if (const json* original = find(object, "original", false)) {
        if (!original->is_string()) invalid("«original» no es un texto");
        entry.original = original->get<std::string>();
    }
    if (const json* how = find(object, "how", false)) entry.how = recordFromJSON(*how);
    return entry;
}

std::string encode(const std::vector<RecentSignature>& list) {
    json array = json::array();
    for (const RecentSignature& entry : list) array.push_back(toJSON(entry));
    try {
        return array.dump();
    } catch (const json::exception&) {
        throw CodingError("La lista de firmas recientes tiene un texto que no es UTF-8.");
    }
}

std::optional<std::vector<RecentSignature>> decode(std::string_view data) {
    try {
        json array = json::parse(data);
        if (!array.is_array()) return std::nullopt;
        std::vector<RecentSignature> list;
        list.reserve(std::min<std::size_t>(array.size(), limit * 4));
        for (const json& entry : array) list.push_back(entryFromJSON(entry));
        return list;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

bool samePath(std::string_view a, std::string_view b) {
    if (a == b) return true;
    // Canonical forms only mean something for text; other byte strings must match exactly.
    if (!validUTF8(a) || !validUTF8(b)) return false;
    return UnicodeText::canonical(a) == UnicodeText::canonical(b);
}

std::vector<RecentSignature> all(const Defaults& defaults) {
    if (testing()) return *testing();
    std::vector<RecentSignature> list = stored(defaults);
    std::erase_if(list, [](const RecentSignature& entry) { return !fileExists(entry.path); });
    return list;
}

void add(const fs::path& url, const std::string& signer, const std::optional<fs::path>& original,
         const std::optional<SigningRecord>& how, Defaults& defaults,
         std::chrono::system_clock::time_point now, const LogLine& log) {
    RecentSignature entry;
    entry.path = url.string();
    entry.date = now;
    entry.signer = signer;
    if (original) entry.original = original->string();
    entry.how = how;

    std::vector<RecentSignature> list = stored(defaults);
    std::erase_if(list, [&](const RecentSignature& e) { return samePath(e.path, entry.path); });
    list.insert(list.begin(), std::move(entry));
    if (list.size() > limit) list.resize(limit);
    try {
        store(defaults, list);
    } catch (const std::exception& error) {
        // A record that cannot be coded, or a defaults file that cannot be written: the stored
        // list stays as it was.
        if (log) log("No se ha guardado la firma reciente de " + url.filename().string() + ": " +
                     error.what());
    }
}

void remove(const fs::path& url, Defaults& defaults) {
    std::vector<RecentSignature> list = stored(defaults);
    std::string path = url.string();
    std::erase_if(list, [&](const RecentSignature& e) { return samePath(e.path, path); });
    try {
        store(defaults, list);
    } catch (const std::exception& error) {
        logToFile("No se ha quitado la firma reciente de " + url.filename().string() + ": " +
                  error.what());
    }
}

}  // namespace RecentSignatures

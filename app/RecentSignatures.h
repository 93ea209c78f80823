#pragma once
// The documents signed recently, newest first, at most 30: what the home window lists and what a
// sign-again request starts from. The list is stored in the user defaults under
// "recentSignatures" as data holding a compact UTF-8 JSON array:
//
//   [{"date":786000000.5,"how":{...},"original":"/home/ana/Solicitud.pdf",
//     "path":"/home/ana/Solicitud-firmado.pdf","signer":"Ana Pérez"}]
//
// Dates are seconds since 2001-01-01 00:00:00 UTC; rectangles [[x, y], [width, height]]; absent
// fields are left out and a null reads as absent. A list that does not decode reads as empty and
// is replaced by the next add. Paths are compared as exact texts, canonically equivalent Unicode
// counting as equal.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "ui/SigningRecord.h"
#include "platform/Defaults.h"

struct RecentSignature {
    std::string path;  // the signed document; identifies the entry
    std::chrono::system_clock::time_point date;
    std::string signer;
    std::optional<std::string> original;  // the source document it was made from
    std::optional<SigningRecord> how;

    std::filesystem::path url() const { return path; }
    std::optional<std::filesystem::path> originalURL() const {
        if (!original) return std::nullopt;
        return std::filesystem::path(*original);
    }
    // The source document is known and a file exists there now.
    bool canSignAgain() const;
};

namespace RecentSignatures {

inline constexpr char key[] = "recentSignatures";
// Entries kept; older ones fall off the end.
inline constexpr std::size_t limit = 30;
// Seconds between the Unix epoch and 2001-01-01 00:00:00 UTC, the origin of stored dates.
inline constexpr double referenceDateOffset = 978307200;

using LogLine = std::function<void(std::string_view)>;

// The application's log.
void logToFile(std::string_view line);

// Replaces the stored list for `all` while present (nothing in the application sets it).
std::optional<std::vector<RecentSignature>>& testing();

// The stored entries whose file exists, newest first.
std::vector<RecentSignature> all(const Defaults& defaults = Defaults::standard());
// Puts the signed document at the front (dropping an entry of the same path) with the date
// `now`. A record holding a number that is not finite cannot be stored: the list stays as it is
// and one log line says why.
void add(const std::filesystem::path& url, const std::string& signer,
         const std::optional<std::filesystem::path>& original,
         const std::optional<SigningRecord>& how, Defaults& defaults = Defaults::standard(),
         std::chrono::system_clock::time_point now = std::chrono::system_clock::now(),
         const LogLine& log = logToFile);
// Drops every entry of the path and writes the list back.
void remove(const std::filesystem::path& url, Defaults& defaults = Defaults::standard());

// Whether two paths name the same entry: byte-equal, or canonically equivalent UTF-8.
bool samePath(std::string_view a, std::string_view b);

// The stored coding. Decoding throws CodingError (a Spanish sentence) for a missing required
// key or a value of the wrong type; encoding throws CodingError for a number that is not finite.
class CodingError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
nlohmann::json toJSON(const SigningRecord& record);
SigningRecord recordFromJSON(const nlohmann::json& json);
nlohmann::json toJSON(const RecentSignature& entry);
RecentSignature entryFromJSON(const nlohmann::json& json);
// The whole list as stored text; nothing when it does not decode.
std::string encode(const std::vector<RecentSignature>& list);
std::optional<std::vector<RecentSignature>> decode(std::string_view data);

// Stored dates.
double referenceSeconds(std::chrono::system_clock::time_point date);
std::chrono::system_clock::time_point dateFromReferenceSeconds(double seconds);

}  // namespace RecentSignatures

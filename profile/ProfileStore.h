#pragma once
// The user's saved facts: one JSON array in one secret item (service
// "es.calverin.Tindra.misdatos", account "datos"). Every call reads the whole item; every change
// rewrites it. A change is written only over an item that was read and decoded, or that is
// confirmed absent: an item that cannot be read or decoded is never overwritten.

#include "platform/SecretStore.h"
#include "profile/ProfileFact.h"
#include "profile/SavedFact.h"

#include <chrono>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ProfileStore {

using LogLine = std::function<void(std::string_view)>;

// The application's log.
void logToFile(std::string_view line);

// A change that could not be made; what() is a complete Spanish sentence for the user. The
// stored item is unchanged.
class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* bundleIdentifier = "es.calverin.Tindra";
const std::string& service();  // bundleIdentifier + ".misdatos"
inline constexpr const char* account = "datos";
inline constexpr const char* label = "Tindra: mis datos";

struct Loaded {
    enum class Status {
        stored,       // the item was read and decoded
        absent,       // there is no item
        unavailable,  // no secret service
        unreadable,   // the item exists but could not be read
        undecodable,  // the item's data is not a list of saved facts
    };
    Status status = Status::absent;
    std::vector<SavedFact> facts;  // empty unless stored
    std::string detail;            // why it could not be read, for the log
};

// The stored facts with the outcome of the read.
Loaded load(SecretStore& store);
// The sentence that says why a stored list of this status cannot be used; nothing for a list
// that was read (stored) or is not there (absent).
std::optional<std::string> message(Loaded::Status status);
// The stored facts; empty when nothing is stored or the item cannot be read or decoded.
std::vector<SavedFact> facts(SecretStore& store);

// Adds the facts: each replaces the stored fact of its slot and lands at the end of the list.
// Throws Error, after one log line, when the stored list cannot be read or decoded or the write
// fails.
void save(SecretStore& store, const std::vector<SavedFact>& facts, const LogLine& log = logToFile);
// Removes the stored fact equal to `fact` in all six fields. Throws like save.
void remove(SecretStore& store, const SavedFact& fact, const LogLine& log = logToFile);

// Deletes the stored item whatever it holds: only on the user's explicit choice to start again
// after an item that cannot be read or decoded. Throws Error, after one log line, when it fails.
void reset(SecretStore& store, const LogLine& log = logToFile);

// Saved facts for parsed facts, keyed by the first identity number of each owner.
std::vector<SavedFact> candidates(const std::vector<ProfileFact>& facts,
                                  std::chrono::system_clock::time_point now = std::chrono::system_clock::now());
// The stored fact of the same slot with another value.
std::optional<SavedFact> previous(SecretStore& store, const SavedFact& fact);
std::optional<SavedFact> previous(const std::vector<SavedFact>& stored, const SavedFact& fact);

// The title of a kind: "Razón social", "DNI o NIE", ...
std::string name(std::string_view kind, std::string_view owner);
// "Calle Mayor, 5 · 3º B · 28013 Madrid" from an address's parts; none without parts.
std::optional<std::string> detail(const SavedFact& fact);

// The stored form: a compact JSON array; dates as seconds since 2001-01-01 00:00:00 UTC.
std::string encode(const std::vector<SavedFact>& facts);
// None when the data is not such an array.
std::optional<std::vector<SavedFact>> decode(std::string_view data);

}  // namespace ProfileStore

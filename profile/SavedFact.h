#pragma once
// A fact kept in the user's profile.

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <tuple>

struct SavedFact {
    std::string owner;  // "empresa", "persona", "representante" or "texto"
    std::string kind;   // "nif", "razon_social", "domicilio_fiscal", ...
    std::string value;
    std::map<std::string, std::string> parts;  // address parts; empty for plain values
    std::optional<std::string> subject;        // the identity number the fact belongs to
    std::chrono::system_clock::time_point updated;

    // Same owner, kind and subject (and, for free texts, the same value): a new fact replaces
    // the old one of its slot.
    bool sameSlot(const SavedFact& other) const;
    // The slot as a value: equal for two facts exactly when they are in the same slot (canonical
    // owner, kind, subject, and the value of a free text).
    using Slot = std::tuple<std::string, std::string, std::optional<std::string>, std::string>;
    Slot slot() const;
    // All six fields equal; texts compare up to canonical equivalence.
    bool operator==(const SavedFact& other) const;
};

#pragma once
// One fact found in pasted text: whose data it is, what kind, its value, where it was found and,
// for addresses, the named parts of the value.

#include "profile/TextRange.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct ProfileFact {
    enum class Owner { company, person, representative, text };

    // "empresa", "persona", "representante", "texto".
    static std::string_view rawValue(Owner owner);
    // The owner with that raw value; any other text gives none.
    static std::optional<Owner> ownerNamed(std::string_view raw);

    Owner owner = Owner::text;
    std::string kind;
    std::string value;
    TextRange range;
    std::map<std::string, std::string> parts;

    bool operator==(const ProfileFact&) const = default;
};

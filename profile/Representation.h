#pragma once
// The first "en nombre y representación de" clause of a text, taken apart: the representative's
// name, role and deed of power, the company's registered address and name, and the identity
// numbers written in the clause.

#include "profile/TextRange.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>

struct LocatedValue {
    std::string value;
    TextRange range;  // the whole match of the value's pattern, title or keywords included
    bool operator==(const LocatedValue&) const = default;
};

struct Representation {
    bool found = false;
    std::optional<TextRange> range;  // the whole line that holds the clause
    std::optional<LocatedValue> name;
    std::optional<LocatedValue> role;
    std::optional<LocatedValue> deed;
    std::optional<LocatedValue> registeredAddress;
    std::optional<LocatedValue> company;
    std::set<std::string> personIDs;  // DNI and NIE numbers as written, unchecked

    Representation() = default;
    explicit Representation(std::string_view text);
};

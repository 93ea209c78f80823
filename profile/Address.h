#pragma once
// Street lines ("C/ Mayor, 12 3º Dcha") and their named parts.

#include <map>
#include <optional>
#include <string>
#include <string_view>

struct Address {
    std::string street;  // the line as given

    // An address when the line starts with a street type and holds a digit or is short.
    static std::optional<Address> from(std::string_view line);

    // "via", "numero", "piso", "puerta", "resto", "cp", "municipio", each only when found.
    static std::map<std::string, std::string> parts(std::string_view address);
};

#pragma once
// An entry of the mercantile registry (tome, folio, section, sheet, entry, book) in a text.

#include "profile/TextRange.h"

#include <optional>
#include <string>
#include <string_view>

struct RegistroMercantil {
    std::string value;  // "Tomo 1234 · Folio 56 · Hoja M-7890"
    TextRange range;    // from the first to the last part found

    // The entry of the text, when at least three of its six keywords are found.
    static std::optional<RegistroMercantil> from(std::string_view text);
};

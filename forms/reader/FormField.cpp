#include "forms/reader/FormField.h"

std::optional<FormField::Kind> FormField::kindFromRawValue(std::string_view raw) {
    if (raw == "Tx") return Kind::text;
    if (raw == "Btn") return Kind::check;
    if (raw == "Ch") return Kind::choice;
    return std::nullopt;
}

std::string_view FormField::rawValue(Kind kind) {
    switch (kind) {
        case Kind::text:
            return "Tx";
        case Kind::check:
            return "Btn";
        case Kind::choice:
            return "Ch";
    }
    return "";
}

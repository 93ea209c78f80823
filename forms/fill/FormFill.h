#pragma once
// One text to write into a PDF: the value of an existing text, choice or check-box field, found by
// its full name, page and rectangle, or (drawn) a new text widget of its own at a rectangle of a
// page. The filler (FormFiller) takes a list of these besides the document bytes.
//
// The JSON coding is stored inside the recent-signature records and must stay exactly as it is:
//   {"name": "datos.nombre", "pageIndex": 0, "rect": [[100, 700], [200, 20]], "text": "Ana",
//    "drawn": true, "size": 10.5, "centered": false}
// where "drawn", "size" and "centered" appear only when present; a list is a JSON array in order.

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pages/Geometry.h"

struct FormFill {
    // The name free text boxes of the document window carry.
    static constexpr const char* freeTextName = "tindra.texto";

    // A stored fill that cannot be read back; what() is a Spanish sentence.
    class DecodeError : public std::runtime_error {
    public:
        explicit DecodeError(const std::string& message) : std::runtime_error(message) {}
    };

    std::string name;            // full dotted field name ("tindra.texto" for free text boxes)
    std::int64_t pageIndex = 0;  // counted from 0
    Rect rect;                   // page space: points of the unrotated page, y upward
    std::string text;            // the value to write (UTF-8)
    // True: a new text widget is made instead of filling a field.
    std::optional<bool> drawn = std::nullopt;
    // Font size of a new widget (absent: 10); ignored for existing fields.
    std::optional<double> size = std::nullopt;
    // A new widget is centred (quadding 1); ignored for existing fields.
    std::optional<bool> centered = std::nullopt;

    nlohmann::json toJSON() const;
    // Throws DecodeError when a required key is missing or a key has the wrong type.
    static FormFill fromJSON(const nlohmann::json& json);

    // A list as a JSON array, in order, and back (DecodeError when it is not an array).
    static nlohmann::json toJSON(const std::vector<FormFill>& fills);
    static std::vector<FormFill> listFromJSON(const nlohmann::json& json);

    friend bool operator==(const FormFill&, const FormFill&) = default;
};

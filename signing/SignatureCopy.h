#pragma once
// One extra copy of the signature placed on a page: a picture of the card or of the handwritten
// signature, with no cryptographic signature of its own. Recent-signature records keep the copies
// as JSON: {"pageIndex": 0, "rect": [[x, y], [width, height]], "handwritten": true}.

#include <nlohmann/json.hpp>
#include <optional>

#include "pages/Geometry.h"

struct SignatureCopy {
    int pageIndex = 0;  // 0-based, in the order of PDFFile::pageRefs()
    Rect rect;          // page space: the page's unrotated user space, points
    // True: the handwritten signature image; false or nothing: the signature card.
    std::optional<bool> handwritten = std::nullopt;

    friend bool operator==(const SignatureCopy&, const SignatureCopy&) = default;

    // "handwritten" is written only when present. Decoding requires "pageIndex" (an integer) and
    // "rect"; a rectangle with a negative width or height is read with its corner moved so that
    // its size is positive. Throws std::runtime_error (a Spanish sentence) for anything else.
    nlohmann::json toJSON() const;
    static SignatureCopy fromJSON(const nlohmann::json& json);
};

void to_json(nlohmann::json& json, const SignatureCopy& copy);
void from_json(const nlohmann::json& json, SignatureCopy& copy);

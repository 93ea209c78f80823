#pragma once
// One fillable field of a PDF page with the printed texts around it, as the form reader gives it:
// a widget of the document's interactive form or, in a flat form, a box, fill line or tick cell
// drawn on the page. Every later step (units, labels, plan, filler) reads fields and keys its own
// data by `id`; nobody changes a field after the reader made it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pages/Geometry.h"

struct FormField {
    // The PDF field types that give a field; the raw values are the /FT names.
    enum class Kind { text, check, choice };

    // "Tx", "Btn" or "Ch" (case-sensitive); nothing for any other text.
    static std::optional<Kind> kindFromRawValue(std::string_view raw);
    static std::string_view rawValue(Kind kind);

    // Position in one reading of the document, counted from 1.
    int id = 0;
    // Page of the field, counted from 0.
    int pageIndex = 0;
    // The widget's full field name (partial names from the root down, joined by "."), under which
    // the filler finds it again; "" when it has none, and for drawn fields.
    std::string name{};
    Kind kind = Kind::text;
    // Page space: unrotated page coordinates in points, origin bottom left, y upwards.
    Rect rect{};
    // Maximum length in characters; 0 when the field sets none.
    int maxLength = 0;
    bool comb = false;
    // A choice field's option texts in document order; empty for the other kinds.
    std::vector<std::string> options{};
    // For a check field, the name of its on state ("" when the widget names none); absent for
    // text and choice fields.
    std::optional<std::string> exportValue{};
    // The tool tip (alternate field name) after FormReader::clean; absent when that leaves nothing.
    std::optional<std::string> tooltip{};
    // The current value of a text or choice field after FormReader::clean; "" for check fields.
    std::string value{};
    bool readOnly = false;

    // Set by the reader: a box or line drawn on the page rather than a widget.
    bool drawn = false;
    // Printed text to the left, just above, to the right and in a wider band above the field.
    std::string left{};
    std::string above{};
    std::string right{};
    std::string context{};
    // The nearest numbered heading above the field.
    std::optional<std::string> section{};
    // The nearest unnumbered heading close above the field.
    std::optional<std::string> header{};
    // Up to three short headings above the field, nearest first.
    std::vector<std::string> captions{};

    // A tick box found in the page's ink (ticked by writing "X"), as opposed to a widget check box.
    bool isTick() const { return drawn && kind == Kind::check; }

    friend bool operator==(const FormField&, const FormField&) = default;

    // Poppler's shared library exports a class of the same name, whose destructor has the same
    // symbol as this one. Exported from an executable, ours would take the place of Poppler's
    // when Poppler destroys its own form fields; hidden, it stays inside the program. (The type
    // stays an aggregate; copies stand in for moves.)
    __attribute__((visibility("hidden"))) ~FormField() = default;
};

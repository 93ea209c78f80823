#pragma once
// What one form unit asks for: a fact key ("titular.nif", "domicilio.cp", "firma.dia"), the box
// it belongs to inside a unit of boxes, and the confidence in it.

#include <map>
#include <optional>
#include <string>

struct FieldLabel {
    std::string label;  // who-part, a full stop, what-part
    std::optional<int>
        part;      // box position inside a unit of boxes, from 1; absent for the whole unit
    double p = 0;  // confidence, 0 to 1

    bool operator==(const FieldLabel& other) const = default;
};

// Labels of a form, keyed by FormField::id. A field without an entry is unlabelled.
using Labels = std::map<int, FieldLabel>;

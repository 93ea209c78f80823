#pragma once
// Fields that the user answers together: one field, or a row of one-character boxes that takes a
// single value spread over them (left to right). Made by FormReader::units, never empty.

#include <vector>

#include "forms/reader/FormField.h"

struct FormUnit {
    std::vector<FormField> fields;

    // The first field's id: the key of the unit for labels and edits.
    int id() const { return fields.front().id; }
    const FormField& first() const { return fields.front(); }
    // Two or more fields: boxes that take one value.
    bool isBoxes() const { return fields.size() >= 2; }

    friend bool operator==(const FormUnit&, const FormUnit&) = default;
};

#pragma once
// A line of a page that reads as a heading (FormReader::headings): a section title, a block header
// or a short label above a group of fields.

#include <string>

struct FormTitle {
    double y = 0;           // minimum y of the line's bounds, page space
    std::string text;       // after FormReader::clean
    bool numbered = false;  // carries a numbering ("1.", "II.-", "B)", "(2)")

    friend bool operator==(const FormTitle&, const FormTitle&) = default;
};

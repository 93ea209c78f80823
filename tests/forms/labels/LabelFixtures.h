#pragma once
// Fields and units made by hand for the labeller tests.

#include <string>
#include <vector>

#include "forms/reader/FormUnit.h"

namespace LabelFixtures {

inline FormField field(int id, double x, double y, double width = 100, double height = 14,
                       int page = 0) {
    FormField f;
    f.id = id;
    f.pageIndex = page;
    f.name = "Texto" + std::to_string(id);
    f.rect = Rect{x, y, width, height};
    return f;
}

inline FormField captioned(int id, std::string left, double x = 100, double y = 500) {
    FormField f = field(id, x, y);
    f.left = std::move(left);
    return f;
}

inline FormUnit unit(FormField f) {
    return FormUnit{{std::move(f)}};
}

// A row of one-character boxes, 14 points wide and 2 apart, ids from `firstId`.
inline FormUnit boxes(int firstId, int count, double y = 400, double x = 100) {
    FormUnit u;
    for (int i = 0; i < count; ++i) {
        FormField f = field(firstId + i, x + i * 16, y, 14, 14);
        f.maxLength = 1;
        u.fields.push_back(std::move(f));
    }
    return u;
}

}  // namespace LabelFixtures

#pragma once
// A fill-in line printed on a page (a run of underscores, dots or ellipses) with the caption
// written before it (FormReader::fillLines).

#include <string>

#include "pages/Geometry.h"

struct FillLine {
    Rect rect;          // page space: the bounds of the run of fill characters
    std::string label;  // at most 40 characters

    friend bool operator==(const FillLine&, const FillLine&) = default;
};

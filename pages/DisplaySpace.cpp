#include "pages/DisplaySpace.h"

#include <algorithm>

#include "pdf/PDFFile.h"
#include "pages/content/PageAnnotation.h"

int DisplaySpace::normalizedRotation(long long degrees) {
    long long r = degrees % 360;
    if (r < 0) r += 360;
    return r % 90 == 0 ? static_cast<int>(r) : 0;
}

DisplaySpace::DisplaySpace(const Rect& cropBox, int rotation) {
    double x0 = cropBox.minX(), y0 = cropBox.minY();
    double w = cropBox.width, h = cropBox.height;
    switch (normalizedRotation(rotation)) {
        case 90:  // the page's top turns to the right: X = y - y0, Y = w - (x - x0)
            toDisplay = {0, -1, 1, 0, -y0, w + x0};
            bounds = {0, 0, h, w};
            break;
        case 180:  // X = w - (x - x0), Y = h - (y - y0)
            toDisplay = {-1, 0, 0, -1, w + x0, h + y0};
            bounds = {0, 0, w, h};
            break;
        case 270:  // X = h - (y - y0), Y = x - x0
            toDisplay = {0, 1, -1, 0, h + y0, -x0};
            bounds = {0, 0, h, w};
            break;
        default:
            toDisplay = {1, 0, 0, 1, -x0, -y0};
            bounds = {0, 0, w, h};
            break;
    }
}

Rect DisplaySpace::page(const Rect& displayRect) const {
    // Quarter turns and translations are always invertible.
    return toDisplay.inverted().value_or(AffineTransform{}).apply(displayRect);
}

std::optional<DisplaySpace> DisplaySpace::of(PDFFile& file, PDFRef page) {
    if (!file.dictionary(file.object(page))) return std::nullopt;
    auto usable = [](const std::optional<Rect>& r) { return r && r->width > 0 && r->height > 0; };
    std::optional<Rect> media = PageAnnotation::rectangle(file, file.inherited("MediaBox", page));
    if (!usable(media)) media = Rect{0, 0, 612, 792};
    Rect box = *media;
    if (std::optional<Rect> crop =
            PageAnnotation::rectangle(file, file.inherited("CropBox", page))) {
        double x0 = std::max(crop->minX(), media->minX()),
               y0 = std::max(crop->minY(), media->minY());
        double x1 = std::min(crop->maxX(), media->maxX()),
               y1 = std::min(crop->maxY(), media->maxY());
        if (x1 > x0 && y1 > y0) box = Rect{x0, y0, x1 - x0, y1 - y0};
    }
    long long rotation = 0;
    const PDFObject* rotate = file.inherited("Rotate", page);
    if (std::optional<std::int64_t> r = rotate ? rotate->integer() : std::nullopt) rotation = *r;
    return DisplaySpace(box, normalizedRotation(rotation));
}

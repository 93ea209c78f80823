#pragma once
// The frame in which a page is seen upright: its crop box moved to the origin and turned by the
// page's /Rotate (clockwise, in quarter turns). Display space is in points, origin at the
// lower-left corner of the upright page, y upwards; page space is the page's own unrotated user
// space.

#include <optional>

#include "pdf/PDFRef.h"
#include "pages/PageText.h"
#include "pages/AffineTransform.h"
#include "pages/Geometry.h"

class PDFFile;

struct DisplaySpace {
    AffineTransform toDisplay;  // page space -> display space
    Rect bounds;                // the upright page, origin (0, 0)

    DisplaySpace() = default;
    // From the page's crop box (page space) and its /Rotate in degrees. A rotation that is not a
    // multiple of 90 counts as 0.
    DisplaySpace(const Rect& cropBox, int rotation);

    // The frame of a page of the file: its crop box (inherited; clipped to the media box; the
    // media box when absent; US Letter when neither is usable) and its inherited /Rotate. Nothing
    // when the page is not a dictionary.
    static std::optional<DisplaySpace> of(PDFFile& file, PDFRef page);

    // Page-space rectangle -> display space (bounding box of the transformed rectangle).
    Rect display(const Rect& pageRect) const { return toDisplay.apply(pageRect); }
    // Display-space rectangle -> page space.
    Rect page(const Rect& displayRect) const;
    // A page-text box (top-down on the upright page) in display space.
    Rect textBox(const PageTextBox& box) const {
        return {box.x, bounds.maxY() - box.y - box.height, box.width, box.height};
    }

    // A rotation reduced to 0, 90, 180 or 270.
    static int normalizedRotation(long long degrees);
};

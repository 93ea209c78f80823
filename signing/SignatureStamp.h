#pragma once
// The visible signature card: a rounded card naming the certificate holder, the identity number
// (masked or in full), the issuing authority, the serial number, the signing time and a public
// validation service, optionally ending with a branding line. It draws itself into any rectangle,
// choosing its layout from the rectangle's shape; the layout arithmetic is in CardLayout.h.
//
// Drawing functions take a cairo context whose user space is in points with y growing upward
// (PDF page space). A y-down surface (an image for a Qt view) is turned with
// Rendering::useUpwardY() first; any scale of the context is fine.

#include <cairo.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "signing/CardLayout.h"
#include "signing/Certificate.h"
#include "pages/Geometry.h"
#include "signing/RasterImage.h"

struct SignatureStamp {
    Certificate certificate;
    std::chrono::system_clock::time_point date;  // the signing time shown on the card
    bool showFullID = false;                     // identity number in full; masked otherwise
    bool showBranding = true;                    // draw the branding line

    // Pixels per point of the bitmap renderings.
    static constexpr double bitmapScale = 4;

    // The whole layout of the card in `rect`: which layout, its rectangles, its lines with their
    // font sizes. Dates are formatted in ICU's default time zone.
    CardLayout layout(Rect rect, const TextMeasurer& measurer) const;

    // Draws the card filling `rect`. Nothing without a context, or for an empty rectangle or one
    // larger than 14400 points a side.
    void draw(cairo_t* cr, Rect rect) const;
    // Draws the card reading upright on a page shown with that /Rotate; `rect` in page space.
    void draw(cairo_t* cr, Rect rect, int pageRotation) const;

    // A one-page PDF of exactly `size` points with the card over the whole page. Nothing for a
    // width or height outside 1...14400 points.
    std::optional<std::string> pdfData(Size size) const;
    // The card as a bitmap of 4 pixels per point; nothing for a size outside 1...14400 points or
    // a bitmap too large to allocate (see Rendering::maxBitmapPixels).
    std::optional<RasterImage> image(Size size) const;
    // The same bitmap encoded as PNG.
    std::optional<std::string> pngData(Size size) const;

    // "***" then the 4th to 7th characters, then one "*" per further character; fewer than 7
    // characters come back unchanged. Characters are grapheme clusters.
    static std::string mask(std::string_view idNumber);

    // "DNI " and the identity number (masked unless showFullID); nothing without one.
    std::optional<std::string> identityText() const;
};

// Calls `draw` once with the rectangle to draw in, under a coordinate system turned so that what
// it draws reads upright on a page shown with `pageRotation` (normalised into 0...359: 90, 180,
// every other non-zero value as 270). Rotation 0, a null context or a rectangle with a
// non-finite edge: `draw(rect)` unchanged.
void drawUpright(cairo_t* cr, Rect rect, int pageRotation, const std::function<void(Rect)>& draw);

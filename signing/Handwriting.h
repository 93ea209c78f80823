#pragma once
// The user's handwritten signature once decoded from its stored PNG: its default box on a page,
// its aspect-fitted drawing (also upright on a rotated page) and its one-page PDF appearance.

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pages/Geometry.h"
#include "signing/RasterImage.h"

class Handwriting {
public:
    // Decoding refuses pictures larger than this, a side or in total, so hostile data cannot make
    // it allocate without bound.
    static constexpr std::uint32_t maxSide = 16384;
    static constexpr std::uint64_t maxPixels = 40'000'000;

    // Wraps a decoded picture unchanged. A picture whose pixel data does not match its size is
    // taken as empty.
    explicit Handwriting(RasterImage image);

    // Decodes PNG data; nothing when the data is not a readable PNG, is too large, or is too short
    // to hold the picture its header claims.
    static std::optional<Handwriting> fromPNG(std::string_view data);

    const RasterImage& image() const { return pixels_->image; }

    // Pixel width over pixel height; a height below 2 pixels counts as 1.
    double aspect() const;

    // The default box of a new copy centred on `centre`: 36 points high, unless that makes it
    // wider than 170 points; then 170 points wide.
    Rect box(Point centre) const;

    // Draws the picture aspect-fitted and centred in `rect` of a y-up context (see Rendering.h).
    void draw(cairo_t* cr, Rect rect) const;
    // The same, reading upright on a page shown with that /Rotate; `rect` in page space.
    void draw(cairo_t* cr, Rect rect, int pageRotation) const;

    // A one-page PDF of exactly `size` points with the picture drawn in it; nothing for a width or
    // height outside 1...14400 points.
    std::optional<std::string> pdfData(Size size) const;

private:
    struct Pixels {
        RasterImage image;
        std::vector<std::uint32_t> argb;  // the same picture in cairo's ARGB32 words
    };
    std::shared_ptr<const Pixels> pixels_;  // shared by copies: the value never changes
};

#pragma once
// Off-screen renderings shared by the signature card and the handwriting image: a one-page PDF,
// a bitmap and its PNG. Each sets up its own cairo surface for the call, hands the drawing a
// context in points with y growing upward, and keeps nothing afterwards.

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pages/Geometry.h"
#include "signing/RasterImage.h"

namespace Rendering {

// Page sizes outside 1...14400 points in either direction are refused (the PDF limit).
inline constexpr double minSize = 1;
inline constexpr double maxSize = 14400;
// Bitmaps are refused beyond this many pixels (256 MB of RGBA) and beyond cairo's 32767 pixels
// a side, so a large page at 4 pixels per point fails cleanly instead of exhausting memory.
inline constexpr std::int64_t maxBitmapPixels = 64LL * 1024 * 1024;
inline constexpr int maxBitmapSide = 32767;

using Drawing = std::function<void(cairo_t*)>;

bool acceptsSize(Size size);

// Turns a y-down context (image surfaces, Qt views) so that y grows upward over `height` units.
void useUpwardY(cairo_t* cr, double height);

// A one-page PDF whose media box is (0, 0, width, height), drawn by `draw`.
std::optional<std::string> pdfPage(Size size, const Drawing& draw);

// A transparent bitmap of trunc(scale * width) by trunc(scale * height) pixels, drawn by `draw`
// in points (the context is scaled by `scale`).
std::optional<RasterImage> bitmap(Size size, double scale, const Drawing& draw);
// The same bitmap as PNG bytes (8-bit RGBA, not premultiplied).
std::optional<std::string> png(Size size, double scale, const Drawing& draw);

// The picture as cairo ARGB32 pixels (premultiplied, native-endian 32-bit words, rows of
// 4 * width bytes), ready for cairo_image_surface_create_for_data.
std::vector<std::uint32_t> argbPixels(const RasterImage& image);

}  // namespace Rendering

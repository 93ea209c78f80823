// Decoding a stored handwritten signature from arbitrary bytes: every input ends in a picture or
// in nothing, within the decoder's size limits; a decoded picture also draws and makes its box.

#include <cairo.h>

#include <cstdint>
#include <string_view>

#include "signing/Handwriting.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto handwriting =
        Handwriting::fromPNG(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!handwriting) return 0;
    const RasterImage& image = handwriting->image();
    if (image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) __builtin_trap();
    (void)handwriting->box({100, 100});
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 32, 16);
    cairo_t* cr = cairo_create(surface);
    handwriting->draw(cr, Rect{0, 0, 32, 16}, 90);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return 0;
}

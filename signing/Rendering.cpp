#include "signing/Rendering.h"

#include <cairo-pdf.h>

#include <cmath>
#include <memory>

namespace {

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// Runs `draw` on a fresh context over `surface`; false when cairo reports an error.
bool drawOn(cairo_surface_t* surface, const Rendering::Drawing& draw,
            const std::function<void(cairo_t*)>& setUp) {
    cairo_t* cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
        cairo_destroy(cr);
        return false;
    }
    setUp(cr);
    draw(cr);
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    return ok;
}

Surface renderBitmap(Size size, double scale, const Rendering::Drawing& draw) {
    if (!Rendering::acceptsSize(size) || !(scale > 0) || !std::isfinite(scale)) return nullptr;
    const double w = std::trunc(scale * size.width);
    const double h = std::trunc(scale * size.height);
    if (w < 1 || h < 1 || w > Rendering::maxBitmapSide || h > Rendering::maxBitmapSide ||
        w * h > static_cast<double>(Rendering::maxBitmapPixels)) {
        return nullptr;
    }
    Surface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, static_cast<int>(w),
                                               static_cast<int>(h)));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    const bool ok = drawOn(surface.get(), draw, [&](cairo_t* cr) {
        cairo_translate(cr, 0, h);
        cairo_scale(cr, scale, -scale);
    });
    cairo_surface_flush(surface.get());
    if (!ok) return nullptr;
    return surface;
}

}  // namespace

namespace Rendering {

bool acceptsSize(Size size) {
    return size.width >= minSize && size.width <= maxSize && size.height >= minSize &&
           size.height <= maxSize;
}

void useUpwardY(cairo_t* cr, double height) {
    cairo_translate(cr, 0, height);
    cairo_scale(cr, 1, -1);
}

std::optional<std::string> pdfPage(Size size, const Drawing& draw) {
    if (!acceptsSize(size)) return std::nullopt;
    std::string bytes;
    Surface surface(
        cairo_pdf_surface_create_for_stream(appendToString, &bytes, size.width, size.height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    const bool ok =
        drawOn(surface.get(), draw, [&](cairo_t* cr) { useUpwardY(cr, size.height); });
    cairo_surface_finish(surface.get());
    if (!ok || cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return std::nullopt;
    return bytes;
}

std::optional<RasterImage> bitmap(Size size, double scale, const Drawing& draw) {
    Surface surface = renderBitmap(size, scale, draw);
    if (!surface) return std::nullopt;
    RasterImage image;
    image.width = cairo_image_surface_get_width(surface.get());
    image.height = cairo_image_surface_get_height(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    image.rgba.resize(static_cast<std::size_t>(image.width) * image.height * 4);
    std::uint8_t* out = image.rgba.data();
    for (int row = 0; row < image.height; ++row) {
        const auto* pixels =
            reinterpret_cast<const std::uint32_t*>(data + static_cast<std::size_t>(row) * stride);
        for (int column = 0; column < image.width; ++column) {
            const std::uint32_t p = pixels[column];
            *out++ = static_cast<std::uint8_t>(p >> 16);
            *out++ = static_cast<std::uint8_t>(p >> 8);
            *out++ = static_cast<std::uint8_t>(p);
            *out++ = static_cast<std::uint8_t>(p >> 24);
        }
    }
    return image;
}

std::optional<std::string> png(Size size, double scale, const Drawing& draw) {
    Surface surface = renderBitmap(size, scale, draw);
    if (!surface) return std::nullopt;
    std::string bytes;
    if (cairo_surface_write_to_png_stream(surface.get(), appendToString, &bytes) !=
        CAIRO_STATUS_SUCCESS) {
        return std::nullopt;
    }
    return bytes;
}

std::vector<std::uint32_t> argbPixels(const RasterImage& image) {
    if (image.isEmpty() ||
        image.rgba.size() != static_cast<std::size_t>(image.width) * image.height * 4) {
        return {};
    }
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.width) * image.height);
    const std::uint8_t* in = image.rgba.data();
    for (std::uint32_t& p : pixels) {
        p = static_cast<std::uint32_t>(in[3]) << 24 | static_cast<std::uint32_t>(in[0]) << 16 |
            static_cast<std::uint32_t>(in[1]) << 8 | in[2];
        in += 4;
    }
    return pixels;
}

}  // namespace Rendering

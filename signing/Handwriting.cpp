#include "signing/Handwriting.h"

#include <png.h>

#include <algorithm>
#include <cmath>

#include "signing/Rendering.h"
#include "signing/SignatureStamp.h"

namespace {

// Default copy box: this high, unless that makes it wider than the widest default.
constexpr double defaultHeight = 36;
constexpr double defaultMaxWidth = 170;

// Whether cairo accepts the matrix as a transform. A rectangle too small or too large for the
// doubles gives one it refuses, and a refused transform stops every later drawing into the
// caller's context.
bool invertible(const cairo_matrix_t& m) {
    const double determinant = m.xx * m.yy - m.xy * m.yx;
    return std::isfinite(determinant) && determinant != 0 && std::isfinite(m.x0) &&
           std::isfinite(m.y0);
}

// Whether `size` bytes can hold the rows the header claims. Deflate expands at most 1032-fold
// and every row is at least a filter byte and a bit per pixel (three bytes in colour files without
// a palette), so shorter data are broken and refused before the picture is allocated.
bool holdsRows(const png_image& png, std::size_t size) {
    constexpr std::uint64_t maxDeflateRatio = 1032;
    const bool colour = (png.format & PNG_FORMAT_FLAG_COLOR) != 0 &&
                        (png.format & PNG_FORMAT_FLAG_COLORMAP) == 0;
    const std::uint64_t bitsPerPixel = colour ? 24 : 1;
    const std::uint64_t rowBytes = 1 + (png.width * bitsPerPixel + 7) / 8;
    return static_cast<std::uint64_t>(size) * maxDeflateRatio >= png.height * rowBytes;
}

}  // namespace

Handwriting::Handwriting(RasterImage image) {
    auto pixels = std::make_shared<Pixels>();
    pixels->argb = Rendering::argbPixels(image);
    if (pixels->argb.empty()) image = RasterImage{};
    pixels->image = std::move(image);
    pixels_ = std::move(pixels);
}

std::optional<Handwriting> Handwriting::fromPNG(std::string_view data) {
    if (data.empty()) return std::nullopt;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, data.data(), data.size())) {
        png_image_free(&png);
        return std::nullopt;
    }
    if (png.width == 0 || png.height == 0 || png.width > maxSide || png.height > maxSide ||
        static_cast<std::uint64_t>(png.width) * png.height > maxPixels ||
        !holdsRows(png, data.size())) {
        png_image_free(&png);
        return std::nullopt;
    }
    png.format = PNG_FORMAT_RGBA;
    RasterImage image;
    image.width = static_cast<int>(png.width);
    image.height = static_cast<int>(png.height);
    image.rgba.resize(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    // libpng gives straight alpha; the picture is kept premultiplied.
    for (std::size_t i = 0; i + 3 < image.rgba.size(); i += 4) {
        const unsigned alpha = image.rgba[i + 3];
        if (alpha == 255) continue;
        for (std::size_t c = 0; c < 3; ++c) {
            image.rgba[i + c] = static_cast<std::uint8_t>((image.rgba[i + c] * alpha + 127) / 255);
        }
    }
    return Handwriting(std::move(image));
}

double Handwriting::aspect() const {
    const RasterImage& picture = image();
    const double height = picture.height < 2 ? 1.0 : picture.height;
    return picture.width / height;
}

Rect Handwriting::box(Point centre) const {
    const double a = aspect();
    double width = defaultHeight * a;
    double height = defaultHeight;
    if (width > defaultMaxWidth) {
        width = defaultMaxWidth;
        height = defaultMaxWidth / a;
    }
    return Rect{centre.x - width / 2, centre.y - height / 2, width, height};
}

void Handwriting::draw(cairo_t* cr, Rect rect) const {
    const RasterImage& picture = image();
    if (!cr || picture.isEmpty() || rect.isEmpty() || !std::isfinite(rect.width) ||
        !std::isfinite(rect.height)) {
        return;
    }
    const double k = std::min(rect.width / picture.width, rect.height / picture.height);
    const double width = picture.width * k;
    const double height = picture.height * k;
    // The picture's rows run from the top: its top-left corner goes to the box's upper left and
    // y is turned back downward for it.
    cairo_matrix_t placement;
    cairo_matrix_init(&placement, k, 0, 0, -k, rect.midX() - width / 2, rect.midY() + height / 2);
    if (!invertible(placement)) return;
    cairo_matrix_t combined;
    cairo_get_matrix(cr, &combined);
    cairo_matrix_multiply(&combined, &placement, &combined);
    if (!invertible(combined)) return;

    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<std::uint32_t*>(pixels_->argb.data())),
        CAIRO_FORMAT_ARGB32, picture.width, picture.height, picture.width * 4);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return;
    }
    cairo_save(cr);
    cairo_transform(cr, &placement);
    cairo_set_source_surface(cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_rectangle(cr, 0, 0, picture.width, picture.height);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_surface_destroy(surface);
}

void Handwriting::draw(cairo_t* cr, Rect rect, int pageRotation) const {
    drawUpright(cr, rect, pageRotation, [&](Rect upright) { draw(cr, upright); });
}

std::optional<std::string> Handwriting::pdfData(Size size) const {
    return Rendering::pdfPage(size,
                              [&](cairo_t* cr) { draw(cr, Rect{0, 0, size.width, size.height}); });
}

#include "document/HandwritingPhoto.h"

#include <QColorSpace>
#include <QImageReader>
#include <QPainter>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace HandwritingPhoto {

namespace {

// The paper level is the luminance of the brightest tenth of the picture.
constexpr double paperPercentile = 0.9;
// Darker than this the picture cannot be white paper.
constexpr float minPaper = 0.3f;
// Ink is darker than darkRatio × paper; paper lighter than lightRatio × paper is dropped.
constexpr float darkRatio = 0.55f;
constexpr float lightRatio = 0.85f;
// The ink keeps its hue, darkened to this.
constexpr float inkDarkening = 0.7f;
// A pixel above this alpha belongs to the ink box.
constexpr float boxAlpha = 0.3f;
// A signature spans at least this many columns and rows (max − min).
constexpr int minColumnsSpan = 8;
constexpr int minRowsSpan = 4;
// Megabytes a decoded photo may take: an 8000 × 6000 phone photo (about 190 MB) fits; larger
// pictures are refused by the reader rather than filling memory.
constexpr int readLimitMegabytes = 256;

}  // namespace

std::optional<QImage> read(const std::filesystem::path& path) {
    // The reader's limit is process-wide; older toolkits default to half of this.
    if (QImageReader::allocationLimit() < readLimitMegabytes) QImageReader::setAllocationLimit(readLimitMegabytes);
    QImageReader reader(QString::fromStdString(path.string()));
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    return image;
}

QSize workingSize(QSize size) {
    const double longest = std::max(size.width(), size.height());
    const double scale = longest > 0 ? std::min(maxWorkingSide / longest, 1.0) : 1.0;
    return {std::max(1, static_cast<int>(size.width() * scale)), std::max(1, static_cast<int>(size.height() * scale))};
}

std::optional<QImage> ink(const QImage& photo) {
    if (photo.isNull() || photo.width() <= 0 || photo.height() <= 0) return std::nullopt;
    const QSize size = workingSize(photo.size());
    const int w = size.width();
    const int h = size.height();

    // The picture in sRGB, reduced smoothly when it is larger than the working size.
    QImage source = photo;
    if (source.size() != size) source = source.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QColorSpace srgb(QColorSpace::SRgb);
    if (source.colorSpace().isValid() && source.colorSpace() != srgb) source.convertToColorSpace(srgb);

    QImage canvas(size, QImage::Format_RGBA8888_Premultiplied);
    if (canvas.isNull()) return std::nullopt;
    canvas.setColorSpace(srgb);
    canvas.fill(Qt::white);
    {
        QPainter painter(&canvas);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(0, 0, w, h), source);
    }

    // Luminance of every pixel, in memory order.
    const size_t n = static_cast<size_t>(w) * static_cast<size_t>(h);
    std::vector<float> luminance(n);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = canvas.constScanLine(y);
        float* out = luminance.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = row + 4 * x;
            out[x] = (0.2126f * p[0] + 0.7152f * p[1] + 0.0722f * p[2]) / 255.0f;
        }
    }

    // The paper level.
    std::vector<float> sorted = luminance;
    const size_t at = static_cast<size_t>(static_cast<double>(n - 1) * paperPercentile);
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(at), sorted.end());
    const float paper = sorted[at];
    if (paper <= minPaper) return std::nullopt;

    const float dark = darkRatio * paper;
    const size_t darkCount =
        static_cast<size_t>(std::count_if(luminance.begin(), luminance.end(), [dark](float l) { return l < dark; }));
    if (darkCount >= n / 4) return std::nullopt;

    // Alpha ramps from the light threshold down to the dark one; the pixels are rewritten in place.
    const float light = lightRatio * paper;
    int minColumn = w, maxColumn = -1, minRow = h, maxRow = -1;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = canvas.scanLine(y);
        const float* lum = luminance.data() + static_cast<size_t>(y) * static_cast<size_t>(w);
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = row + 4 * x;
            const float a = (light - lum[x]) / (light - dark);
            const float alpha = a <= 0 ? 0.0f : std::min(a, 1.0f);
            for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(p[c] * inkDarkening * alpha);
            p[3] = static_cast<std::uint8_t>(alpha * 255.0f);
            if (alpha > boxAlpha) {
                minColumn = std::min(minColumn, x);
                maxColumn = std::max(maxColumn, x);
                minRow = std::min(minRow, y);
                maxRow = std::max(maxRow, y);
            }
        }
    }
    if (maxColumn - minColumn < minColumnsSpan || maxRow - minRow < minRowsSpan) return std::nullopt;

    const int x0 = std::max(0, minColumn - cropMargin);
    const int y0 = std::max(0, minRow - cropMargin);
    const int x1 = std::min(w - 1, maxColumn + cropMargin);
    const int y1 = std::min(h - 1, maxRow + cropMargin);
    QImage cropped = canvas.copy(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    if (cropped.isNull()) return std::nullopt;
    cropped.setColorSpace(srgb);
    return cropped;
}

}  // namespace HandwritingPhoto

#pragma once
// Outside programs as oracles for filled documents: poppler's raster and text, qpdf's JSON.

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "pages/Geometry.h"
#include "support/TestUtil.h"

namespace filloracles {

// A grey picture of one page, rows from the top.
struct Gray {
    int width = 0;
    int height = 0;
    double dpi = 72;
    std::vector<unsigned char> pixels;

    // Dark pixels inside a rectangle of page space (points, y upward) of a page `pageHeight` high.
    int inkIn(const Rect& r, double pageHeight) const {
        const double scale = dpi / 72;
        int count = 0;
        const int x0 = std::max(0, static_cast<int>(r.minX() * scale));
        const int x1 = std::min(width, static_cast<int>(r.maxX() * scale));
        const int y0 = std::max(0, static_cast<int>((pageHeight - r.maxY()) * scale));
        const int y1 = std::min(height, static_cast<int>((pageHeight - r.minY()) * scale));
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (pixels[static_cast<std::size_t>(y) * width + x] < 128) ++count;
        return count;
    }
};

// `pdftoppm -gray` of page `page` (from 1).
inline Gray raster(const std::string& pdf, int page = 1, double dpi = 72) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", pdf);
    auto result =
        testutil::run({"pdftoppm", "-r", std::to_string(static_cast<int>(dpi)), "-gray",
                       "-singlefile", "-f", std::to_string(page), "-l", std::to_string(page),
                       (dir / "in.pdf").string(), (dir / "out").string()});
    if (result.exitCode != 0) throw std::runtime_error("pdftoppm: " + result.err);
    std::string bytes = testutil::readFile(dir / "out.pgm");
    std::istringstream header(bytes);
    std::string magic;
    int maxValue = 0;
    Gray gray;
    gray.dpi = dpi;
    header >> magic >> gray.width >> gray.height >> maxValue;
    const auto start = static_cast<std::size_t>(header.tellg()) + 1;
    if (magic != "P5" || maxValue != 255) throw std::runtime_error("pdftoppm: no PGM");
    gray.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
    if (gray.pixels.size() < static_cast<std::size_t>(gray.width) * gray.height)
        throw std::runtime_error("pdftoppm: short PGM");
    return gray;
}

// `pdftotext -layout` of the whole document.
inline std::string text(const std::string& pdf) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", pdf);
    auto result = testutil::run({"pdftotext", "-layout", (dir / "in.pdf").string(), "-"});
    if (result.exitCode != 0) throw std::runtime_error("pdftotext: " + result.err);
    return result.out;
}

// `qpdf --json --json-key=acroform` output.
inline std::string acroFormJSON(const std::string& pdf) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", pdf);
    auto result =
        testutil::run({"qpdf", "--json", "--json-key=acroform", (dir / "in.pdf").string()});
    if (result.exitCode != 0 && result.exitCode != 3)
        throw std::runtime_error("qpdf --json: " + result.err);
    return result.out;
}

}  // namespace filloracles

#pragma once
// Synthetic pages for the ink-map and cue tests: text laid out in a fixed-pitch grid with a box per
// character, and a grey bitmap at 2 px/pt in which every character box and every rule is solid
// ink. Coordinates are display space (points, y upwards).

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

#include "pages/PageText.h"
#include "pages/DisplaySpace.h"
#include "pages/InkMap.h"
#include "signing/SignatureCues.h"
#include "signing/UnicodeText.h"
#include "support/PDFFixtures.h"

namespace placementtest {

inline constexpr double charWidth = 6;
inline constexpr double charHeight = 10;

inline void paint(GreyImage& image, double pageHeight, const Rect& r, std::uint8_t grey) {
    auto clampTo = [](double v, int n) {
        return std::clamp(static_cast<int>(std::lround(v)), 0, n);
    };
    int x0 = clampTo(r.minX() * 2, image.width), x1 = clampTo(r.maxX() * 2, image.width);
    int y0 = clampTo((pageHeight - r.maxY()) * 2, image.height);
    int y1 = clampTo((pageHeight - r.minY()) * 2, image.height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            image.pixels[static_cast<std::size_t>(y) * image.width + x] = grey;
}

inline GreyImage whiteImage(double width, double height) {
    GreyImage image;
    image.width = static_cast<int>(std::ceil(width * 2));
    image.height = static_cast<int>(std::ceil(height * 2));
    image.pixels.assign(static_cast<std::size_t>(image.width) * image.height, 255);
    return image;
}

struct SyntheticPage {
    double width;
    double height;
    PageText text;
    GreyImage image;
    std::vector<Rect> signatureWidgets;

    explicit SyntheticPage(double w = 595, double h = 842)
        : width(w), height(h), image(whiteImage(w, h)) {}

    // Appends a line of text (after a line feed unless it is the first) whose character cells
    // start at (x, y) and are charWidth x charHeight; blanks leave no ink. Returns the line's box.
    Rect write(double x, double y, const std::string& utf8) {
        if (!text.text.empty()) {
            text.text.push_back(u'\n');
            text.boxes.push_back({});
        }
        std::u16string s = UnicodeText::utf16(utf8);
        for (std::size_t i = 0; i < s.size(); ++i) {
            Rect cell{x + charWidth * static_cast<double>(i), y, charWidth, charHeight};
            text.text.push_back(s[i]);
            text.boxes.push_back({cell.x, height - cell.maxY(), cell.width, cell.height});
            if (s[i] != u' ' && s[i] != u'\t' && s[i] != u'_') paint(image, height, cell, 0);
        }
        return {x, y, charWidth * static_cast<double>(s.size()), charHeight};
    }

    void rule(const Rect& r, std::uint8_t grey = 0) { paint(image, height, r, grey); }

    // The outline of a rectangle, 1 pt lines inside its edges.
    void frame(const Rect& r) {
        rule({r.x, r.y, r.width, 1});
        rule({r.x, r.maxY() - 1, r.width, 1});
        rule({r.x, r.y, 1, r.height});
        rule({r.maxX() - 1, r.y, 1, r.height});
    }

    DisplaySpace space() const { return DisplaySpace({0, 0, width, height}, 0); }

    InkMap ink() const { return *InkMap::make(image, text, space(), {}); }

    std::vector<SignaturePlacement> cues(int pageIndex = 0) const {
        SignatureCues::CuePage page;
        page.pageIndex = pageIndex;
        page.space = space();
        page.text = &text;
        page.signatureWidgets = signatureWidgets;
        page.inkMap = [this] { return InkMap::make(image, text, space(), {}); };
        return SignatureCues::placements(page);
    }
};

inline bool near(double a, double b, double tolerance = 1.5) {
    return std::abs(a - b) <= tolerance;
}

inline bool near(const Rect& a, const Rect& b, double tolerance = 1.5) {
    return near(a.minX(), b.minX(), tolerance) && near(a.minY(), b.minY(), tolerance) &&
           near(a.maxX(), b.maxX(), tolerance) && near(a.maxY(), b.maxY(), tolerance);
}

inline bool inside(const Rect& inner, const Rect& outer, double slack = 0.01) {
    return inner.minX() >= outer.minX() - slack && inner.minY() >= outer.minY() - slack &&
           inner.maxX() <= outer.maxX() + slack && inner.maxY() <= outer.maxY() + slack;
}

inline bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

// A hand-made PDF: catalog 1 (with `catalogKeys`), page tree 2, Helvetica 3 as /F1, page i as
// object 10 + 2i with its content 11 + 2i, then the extra objects (numbers from 100 up are free).
struct HandPage {
    std::string keys = "/MediaBox [0 0 595 842]";  // further page keys (/CropBox, /Rotate, /Annots)
    std::string content;
};

inline std::string handPDF(const std::vector<HandPage>& pages, const std::string& catalogKeys = "",
                           const std::vector<std::pair<int, std::string>>& objects = {}) {
    fixtures::FixtureWriter w;
    std::string kids;
    for (std::size_t i = 0; i < pages.size(); ++i) kids += std::to_string(10 + 2 * i) + " 0 R ";
    w.object(1, "<</Type /Catalog /Pages 2 0 R " + catalogKeys + ">>");
    w.object(2,
             "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + ">>");
    w.object(3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding>>");
    for (std::size_t i = 0; i < pages.size(); ++i) {
        int n = static_cast<int>(10 + 2 * i);
        w.object(n, "<</Type /Page /Parent 2 0 R /Resources <</Font <</F1 3 0 R>>>> /Contents " +
                        std::to_string(n + 1) + " 0 R " + pages[i].keys + ">>");
        w.stream(n + 1, "", pages[i].content);
    }
    for (const auto& [number, body] : objects) w.object(number, body);
    return w.finishClassic("/Root 1 0 R");
}

}  // namespace placementtest

#include "signing/CardLayout.h"

#include <algorithm>

#include "signing/ProductSite.h"

#ifndef TINDRA_VALIDATION_HOST
#define TINDRA_VALIDATION_HOST "valide.redsara.es"
#endif

namespace {

// Line boxes are 1.2 times their font size high.
constexpr double lineHeightFactor = 1.2;
// A line that is too wide is shrunk at most this many times, each by its excess and 2 % more.
constexpr int maxShrinkSteps = 6;
constexpr double shrinkMargin = 0.98;
// Branding geometry in units of the font size: the pen-stroke mark's width and height, the
// distance from the mark's left edge to the text, and the mark's lift above the box bottom.
constexpr double markWidth = 1.5;
constexpr double markHeight = 0.78;
constexpr double markToText = 1.9;
constexpr double markLift = 0.18;

}  // namespace

namespace CardHosts {
std::string_view validation() { return TINDRA_VALIDATION_HOST; }
std::string_view website() { return ProductSite::host; }
}  // namespace CardHosts

std::vector<TextRun> brandingRuns(double fontSize) {
    return {TextRun{"Firmado con ", FontWeight::regular, fontSize, 0},
            TextRun{std::string(CardHosts::website()), FontWeight::semibold, fontSize, 0}};
}

TextRun lineRun(const CardLine& line, double fontSize) {
    return TextRun{line.text, line.weight, fontSize, line.kern * fontSize};
}

FittedLines fitLines(std::vector<CardLine> lines, Rect area, bool widthFirst, Branding branding,
                     const TextMeasurer& measurer) {
    FittedLines fitted;
    if (lines.empty() || area.isEmpty()) return fitted;

    if (branding == Branding::ownLine) {
        lines.push_back(CardLine{"", lines.back().size, FontWeight::regular, CardColours::accent, 0});
    }
    const std::ptrdiff_t brandingIndex =
        branding == Branding::none ? -1 : static_cast<std::ptrdiff_t>(lines.size()) - 1;
    const double H = area.height;

    double total = 0;
    for (const CardLine& line : lines) total += line.size * H * lineHeightFactor;
    double scale = total > 0 ? std::min(H / total, 1.0) : 1.0;

    auto textWidth = [&](const CardLine& line, double f) {
        return line.text.empty() ? 0.0 : measurer.measure({lineRun(line, f)}).width;
    };
    auto width = [&](std::size_t i, double s) {
        const CardLine& line = lines[i];
        const double f = line.size * H * s;
        if (static_cast<std::ptrdiff_t>(i) != brandingIndex) return textWidth(line, f);
        const double b = measurer.measure(brandingRuns(f)).width;
        if (branding == Branding::ownLine) return b + markToText * f;
        return textWidth(line, f) + markWidth * f + b + markToText * f;
    };
    auto shrink = [&](std::size_t i, double s) {
        for (int step = 0; step < maxShrinkSteps; ++step) {
            const double w = width(i, s);
            if (w <= area.width) break;
            s *= area.width / w * shrinkMargin;
        }
        return s;
    };

    if (widthFirst) {
        for (std::size_t i = 0; i < lines.size(); ++i) scale = shrink(i, scale);
    }
    fitted.scale = scale;

    double top = area.midY() + total * scale / 2;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const CardLine& line = lines[i];
        PlacedLine placed;
        placed.line = line;
        const double boxHeight = scale * line.size * H * lineHeightFactor;
        placed.box = Rect{area.x, top - boxHeight, area.width, boxHeight};
        top -= boxHeight;

        const double f = line.size * H * shrink(i, scale);
        placed.fontSize = f;
        placed.textBox = placed.box;
        if (static_cast<std::ptrdiff_t>(i) == brandingIndex) {
            const double b = measurer.measure(brandingRuns(f)).width;
            const double x0 =
                branding == Branding::endOfLastLine ? area.maxX() - (b + markToText * f) : area.x;
            placed.isBranding = true;
            placed.markBox = Rect{x0, placed.box.y + markLift * f, markWidth * f, markHeight * f};
            placed.markLineWidth = std::max(0.12 * f, 0.3);
            placed.brandingBox = Rect{x0 + markToText * f, placed.box.y, area.width, placed.box.height};
            if (branding == Branding::ownLine) {
                placed.drawsText = false;
            } else {
                placed.textBox.width =
                    std::max(placed.box.width - (markWidth * f + b + markToText * f), 0.0);
            }
        }
        fitted.lines.push_back(std::move(placed));
    }
    return fitted;
}

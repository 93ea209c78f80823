#pragma once
// The arithmetic of the signature card, kept apart from drawing: which layout a rectangle gets,
// the rectangles of its parts, its text lines and the font size each line is drawn at. Text is
// measured through a TextMeasurer, so the arithmetic runs with any measurer (tests use a fixed
// one; drawing uses PangoText).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pages/Geometry.h"

// An sRGB colour with alpha.
struct Colour {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;

    Colour withAlpha(double a) const { return {red, green, blue, a}; }
    friend bool operator==(const Colour&, const Colour&) = default;
};

namespace CardColours {
inline constexpr Colour accent{0.141, 0.275, 0.847, 1};  // tint, border, bands, seal, branding
inline constexpr Colour ink{0.09, 0.09, 0.12, 1};        // holder and company name
inline constexpr Colour muted{0.33, 0.33, 0.38, 1};      // smaller detail lines
}  // namespace CardColours

// The host names the card prints: the public signature-validation service (a build setting,
// TINDRA_VALIDATION_HOST) and the product's web site (ProductSite::host).
namespace CardHosts {
std::string_view validation();
std::string_view website();
}  // namespace CardHosts

enum class FontWeight { regular, medium, semibold, bold };

// One piece of text in one font.
struct TextRun {
    std::string text;
    FontWeight weight = FontWeight::regular;
    double fontSize = 0;       // points
    double letterSpacing = 0;  // points added between characters
};

// Measures the natural (unwrapped, untruncated) size of runs laid out one after another.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    virtual Size measure(const std::vector<TextRun>& runs) const = 0;
};

// A text line of the card, before fitting.
struct CardLine {
    std::string text;
    double size = 0;  // font size as a fraction of the height of the text area
    FontWeight weight = FontWeight::regular;
    Colour colour;
    double kern = 0;  // letter spacing as a fraction of the final font size

    friend bool operator==(const CardLine&, const CardLine&) = default;
};

// Where the branding goes among a block of lines.
enum class Branding { none, endOfLastLine, ownLine };

// A line after fitting: its box, its font size and where its parts go.
struct PlacedLine {
    CardLine line;
    Rect box;             // spans the text area's width; height = scale * size * H * 1.2
    double fontSize = 0;  // after this line's own shrinking
    Rect textBox;         // where the text is laid out from its top-left corner (may be empty)
    bool drawsText = true;
    // The branding line only: the pen-stroke mark box, its stroke width and the branding text box.
    bool isBranding = false;
    Rect markBox;
    double markLineWidth = 0;
    Rect brandingBox;
};

struct FittedLines {
    double scale = 1;  // the common scale after fitting
    std::vector<PlacedLine> lines;
};

// The branding text "Firmado con " + the product web site's host as runs at a font size.
std::vector<TextRun> brandingRuns(double fontSize);
// The runs of a card line at a font size.
TextRun lineRun(const CardLine& line, double fontSize);

// Fits `lines` into `area`: a common scale by the block's height (and by every line's width when
// widthFirst), then each line shrunk alone until it fits, at most six times.
FittedLines fitLines(std::vector<CardLine> lines, Rect area, bool widthFirst, Branding branding,
                     const TextMeasurer& measurer);

struct CardLayout {
    enum class Kind { wide, stacked, compact };
    Kind kind = Kind::compact;
    bool narrow = false;  // stacked with three reference lines (w/h < 3.2)

    Rect rect;                 // the whole card
    double margin = 0;         // p
    Rect outline;              // rounded outline: rect inset by 0.5
    double cornerRadius = 0;
    double outlineWidth = 0;
    std::optional<Rect> band;  // the tinted reference band (not in the compact layout)
    std::optional<Rect> rule;  // the rule along the band's inner edge
    Rect holderArea;
    Rect seal;                 // the seal's square; empty when there is no room
    Rect holderTextArea;
    Rect referenceTextArea;    // empty in the compact layout
    Branding referenceBranding = Branding::none;
    FittedLines holder;
    FittedLines references;
};

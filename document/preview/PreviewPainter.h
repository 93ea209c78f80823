#pragma once
// Draws the page preview from its model: background, page sheets with their shadows, page
// rasters from the tile cache, field marks, copies of the signature, the ghost, text boxes,
// outlines and handles, and the page labels, in that order. It paints in the model's y-up view
// points (the painter is turned once); text and images are turned back upright where drawn.
//
// It keeps the bitmaps that are costly to make: the look of a copy per (look, pixel size,
// rotation) and the sheet's shadow per device pixel ratio.

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPalette>
#include <QString>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <tuple>
#include <vector>

#include "document/PreviewGeometry.h"
#include "document/preview/PreviewTiles.h"

class QPainter;

class PreviewPainter {
public:
    struct Input {
        QColor background;
        QPalette palette;
        double height = 0;  // the view's height, points
        double devicePixelRatio = 1;
        Rect visible;  // the part of the view to paint, y-up view space
    };

    struct Output {
        std::vector<TileKey> wanted;  // visible tiles missing at the shown scale, most wanted first
        std::vector<TileKey> urgent;  // those of them on pages with nothing cached to show instead
    };

    // Names and measures of the drawing, exposed for tests.
    // "Página n", "Página n · firma", "Página n · k firmas".
    static QString pageLabel(int pageIndex, int copies);
    // The note centred on a page that is too heavy to draw (the page stays blank).
    static QString heavyPageNote();
    // The font size of a field mark's text in its shrunk view rectangle `r`: a tick mark's text is
    // 10 page points at the current scale; others are 0.6 of the height, at least 6.
    static double fieldFontSize(const PreviewGeometry::FieldMark& mark, const Rect& r);
    // Whether the text is centred in `r` rather than left-aligned 3 points in.
    static bool fieldTextCentred(const PreviewGeometry::FieldMark& mark, const Rect& r,
                                 double size);
    // Whether a field mark is drawn at all: `other` marks only when drawn and empty.
    static bool fieldMarkVisible(const PreviewGeometry::FieldMark& mark);
    // The system font of a size in points (pixels at scale 1) and weight, for a device of that
    // logical resolution (fractional sizes are set in points).
    static QFont systemFont(double size, QFont::Weight weight, double logicalDpi = 96);

    Output paint(QPainter& painter, const PreviewGeometry& model, PreviewTiles* tiles,
                 const Input& input);

    // How many look bitmaps are cached (tests).
    std::size_t cachedLooks() const { return looks_.size(); }

private:
    struct LookKey {
        std::uint64_t generation = 0;
        int width = 0;
        int height = 0;
        int rotation = 0;
        friend auto operator<=>(const LookKey&, const LookKey&) = default;
    };

    static void drawHandles(QPainter& painter, const Rect& rect, const QColor& accent);
    void drawShadow(QPainter& painter, const Rect& frame, double dpr);
    static void drawHeavyPageNote(QPainter& painter, const Rect& frame, const QColor& color,
                                  double dpi);
    void drawPageContent(QPainter& painter, const PreviewGeometry::Layout& layout,
                         PreviewTiles* tiles, const Input& input, Output& output);
    void drawLook(QPainter& painter, const PreviewGeometry::Look& look, std::uint64_t generation,
                  const Rect& box, int rotation, double dpr, double opacity);
    const QImage& lookImage(const PreviewGeometry::Look& look, const LookKey& key,
                            const Rect& pageRect);

    // Bitmaps of looks, most recently used first.
    std::list<std::pair<LookKey, QImage>> looks_;
    std::int64_t lookBytes_ = 0;
    // The blurred shadow of a large square (nine-patch source) and the ratio it was made for.
    QImage shadow_;
    double shadowRatio_ = 0;
};

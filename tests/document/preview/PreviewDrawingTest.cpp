// Drawing: labels, field-mark rules, the page raster under the overlays, and screenshots of the
// main states.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLayout>

#include "PreviewTestSupport.h"
#include "document/PagesPreview.h"
#include "document/preview/PreviewPainter.h"
#include "qtsupport/Screenshots.h"
#include "support/HeavyPages.h"

using previewtest::ink;
using previewtest::waitForTiles;
using FieldMark = PagesPreview::FieldMark;
using State = FillItem::State;

namespace {

const QColor backdrop(196, 202, 208);

std::unique_ptr<PagesPreview> preview(const std::string& pdf, int width = 1000, int height = 700) {
    auto view = std::make_unique<PagesPreview>();
    view->resize(width, height);
    view->setBackground(backdrop);
    view->setDocument(PreviewDocument::fromData(pdf));
    view->show();
    QApplication::processEvents();
    return view;
}

// Pixels in `r` whose blue clearly exceeds their red: the accent colour, not grey or black.
int accentInk(const QImage& image, const QRectF& r) {
    int count = 0;
    QRect inside = r.toAlignedRect().intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x) {
            QColor c = image.pixelColor(x, y);
            if (c.blue() - c.red() > 50) ++count;
        }
    return count;
}

QRectF labelStrip(const PagesPreview& view, const PagesPreview::Layout& layout) {
    const Rect& f = layout.frame;
    return view.toWidget(Rect{f.minX(), f.minY() - 22, f.width, 20});
}

}  // namespace

TEST(PreviewDrawing, PageLabels) {
    EXPECT_EQ(PreviewPainter::pageLabel(0, 0), QStringLiteral("Página 1"));
    EXPECT_EQ(PreviewPainter::pageLabel(0, 1), QStringLiteral("Página 1 · firma"));
    EXPECT_EQ(PreviewPainter::pageLabel(0, 2), QStringLiteral("Página 1 · 2 firmas"));
    EXPECT_EQ(PreviewPainter::pageLabel(11, 3), QStringLiteral("Página 12 · 3 firmas"));
}

TEST(PreviewDrawing, FieldMarkVisibilityAndText) {
    FieldMark other{1, 0, {0, 0, 30, 8}, "", State::other};
    EXPECT_FALSE(PreviewPainter::fieldMarkVisible(other));
    other.drawn = true;
    EXPECT_TRUE(PreviewPainter::fieldMarkVisible(other));
    other.text = "x";
    EXPECT_FALSE(PreviewPainter::fieldMarkVisible(other));
    EXPECT_TRUE(PreviewPainter::fieldMarkVisible({2, 0, {}, "", State::yours}));

    // A 30 x 8 view rectangle: r is 29 x 7, size 6, 9.6 <= 29: left-aligned.
    FieldMark mark{3, 0, {0, 0, 30, 8}, "ab", State::filled};
    Rect r = Rect{0, 0, 30, 8}.insetBy(0.5, 0.5);
    EXPECT_DOUBLE_EQ(PreviewPainter::fieldFontSize(mark, r), 6);
    EXPECT_FALSE(PreviewPainter::fieldTextCentred(mark, r, 6));
    Rect narrow = Rect{0, 0, 9, 8}.insetBy(0.5, 0.5);
    EXPECT_TRUE(PreviewPainter::fieldTextCentred(mark, narrow, 6));
    // A tall field: 0.6 of its height.
    EXPECT_DOUBLE_EQ(PreviewPainter::fieldFontSize(mark, {0, 0, 100, 20}), 12);
}

TEST(PreviewDrawing, TickTextIsTenPagePointsAtAnyZoom) {
    auto view = preview(fixtures::textPDF(1));
    FieldMark tick{4, 0, {300, 400, 12, 12}, "X", State::filled, false, true, true};
    for (double zoom : {1.0, 4.0}) {
        view->setZoom(zoom);
        auto layout = view->geometry().layouts().at(0);
        double scale = layout.frame.width / layout.displaySize.width;
        Rect r = layout.transform.apply(tick.rect).insetBy(0.5, 0.5);
        double size = PreviewPainter::fieldFontSize(tick, r);
        EXPECT_NEAR(size, 10 * (12 * scale - 1) / 12, 1e-9);
        EXPECT_NEAR(size, 10 * scale, 1.0);
        EXPECT_TRUE(PreviewPainter::fieldTextCentred(tick, r, size));
    }
}

// A page whose crop box is off the origin, with a black square at page (200, 300, 80, 60), turned a
// quarter by qpdf: the raster and the model's transform must agree to the pixel.
TEST(PreviewDrawing, OverlayMatchesTheRasterOnATurnedCroppedPage) {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3,
             "<</Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /CropBox [50 100 550 700] "
             "/Contents 4 0 R >>");
    w.stream(4, "", "0 g 200 300 80 60 re f\n");
    std::string turned = fixtures::qpdf(w.finishClassic("/Root 1 0 R"), {"--rotate=+90"});
    auto view = preview(turned);
    ASSERT_EQ(view->geometry().layouts().at(0).rotation, 90);
    const Rect square{200, 300, 80, 60};
    for (double zoom : {1.0, 3.0}) {
        // Zoom about the square so that it stays in sight.
        Rect before = view->geometry().layouts().at(0).transform.apply(square);
        view->setZoom(zoom, view->toWidget(Point{before.midX(), before.midY()}));
        ASSERT_TRUE(waitForTiles(*view)) << zoom;
        QImage image = Screenshots::grab(*view);
        QRectF box = view->toWidget(view->geometry().layouts().at(0).transform.apply(square));
        // Turned: 60 wide, 80 high, scaled.
        EXPECT_GT(box.height(), box.width());
        QPointF inside[] = {box.center(), box.topLeft() + QPointF(3, 3),
                            box.bottomRight() - QPointF(3, 3)};
        for (QPointF p : inside) EXPECT_LT(previewtest::grey(image, p), 60) << zoom;
        QPointF outside[] = {
            QPointF(box.left() - 3, box.center().y()), QPointF(box.right() + 3, box.center().y()),
            QPointF(box.center().x(), box.top() - 3), QPointF(box.center().x(), box.bottom() + 3)};
        for (QPointF p : outside) EXPECT_GT(previewtest::grey(image, p), 235) << zoom;
        Screenshots::save(image, QStringLiteral("preview-turned-crop-zoom%1").arg(zoom));
    }
}

TEST(PreviewDrawing, ScreenshotThreePagesWithMarks) {
    auto view = preview(previewtest::textPages(3), 1100, 640);
    view->setLook(PagesPreview::Look::card(previewtest::stamp()));
    view->setSignatures({{0, {330, 120, 220, 64}}});
    view->setFieldMarks({
        {1, 0, {72, 640, 220, 18}, "Lucía Pérez Nadal", State::filled},
        {2, 0, {72, 610, 220, 18}, "12345678Z", State::suggested},
        {3, 0, {72, 580, 220, 18}, "", State::yours},
        {4, 0, {320, 580, 120, 18}, "", State::other, true, false, true},
        {5, 0, {320, 640, 120, 18}, "oculto", State::other},
        {6, 0, {320, 612, 12, 12}, "X", State::filled, false, true, true},
    });
    view->setTexts({{100001, 1, {72, 400, 200, 16}, "Texto libre añadido", 11}});
    view->geometry().setGhost(SignatureCopy{2, {100, 220, 250, 72}});
    EXPECT_EQ(view->visiblePages(), (std::vector<int>{0, 1, 2}));

    for (double zoom : {1.0, 2.5, 8.0}) {
        auto copy = view->geometry().signatureFrames().at(0);
        view->setZoom(zoom, view->toWidget(Point{copy.box.midX(), copy.box.midY()}));
        ASSERT_TRUE(waitForTiles(*view));
        QImage image =
            Screenshots::save(*view, QStringLiteral("preview-three-pages-zoom%1").arg(zoom));
        QRectF box = view->toWidget(view->geometry().signatureFrames().at(0).box);
        EXPECT_GT(ink(image, box.intersected(QRectF(view->rect())), backdrop), 50) << zoom;
        if (zoom == 1.0) {
            EXPECT_EQ(image.pixelColor(3, 3), backdrop);
            auto layouts = view->geometry().layouts();
            // Above the gap between the pages, clear of the shadows, only the background.
            QPointF gap =
                view->toWidget(Point{(layouts[0].frame.maxX() + layouts[1].frame.minX()) / 2,
                                     layouts[0].frame.maxY() + 40});
            EXPECT_EQ(image.pixelColor(gap.toPoint()), backdrop);
            // "Página 1 · firma" in the accent colour, "Página 2" not.
            EXPECT_GT(accentInk(image, labelStrip(*view, layouts[0])), 20);
            EXPECT_EQ(accentInk(image, labelStrip(*view, layouts[1])), 0);
            // The `other` mark with text is not drawn: its blank spot stays white.
            QRectF hidden = view->toWidget(layouts[0].transform.apply(Rect{320, 640, 120, 18}));
            EXPECT_EQ(ink(image, hidden), 0);
            // The filled mark shows its text.
            QRectF filled = view->toWidget(layouts[0].transform.apply(Rect{72, 640, 220, 18}));
            EXPECT_GT(ink(image, filled), 30);
            // The ghost shows on page 3.
            QRectF ghost = view->toWidget(layouts[2].transform.apply(Rect{100, 220, 250, 72}));
            EXPECT_GT(ink(image, ghost), 30);
        }
    }
}

TEST(PreviewDrawing, ScreenshotSixPagesOneAtATime) {
    auto view = preview(previewtest::textPages(6), 800, 700);
    view->setLook(PagesPreview::Look::card(previewtest::stamp()));
    view->setSignatures({{3, {330, 100, 200, 60}}, {3, {60, 100, 200, 60}}});
    view->setCurrentPage(3);
    EXPECT_FALSE(view->showsAllPages());
    EXPECT_EQ(view->visiblePages(), std::vector<int>{3});
    ASSERT_TRUE(waitForTiles(*view));
    QImage image = Screenshots::save(*view, QStringLiteral("preview-six-pages-page4"));
    auto layout = view->geometry().layouts().at(0);
    EXPECT_GT(accentInk(image, labelStrip(*view, layout)), 20);  // "Página 4 · 2 firmas"
    for (const auto& f : view->geometry().signatureFrames())
        EXPECT_GT(ink(image, view->toWidget(f.box), backdrop), 50);
    EXPECT_EQ(image.pixelColor(3, 3), backdrop);
    // The page's own text came through the tiles.
    QRectF heading = view->toWidget(layout.transform.apply(Rect{72, 842 - 100, 300, 24}));
    EXPECT_GT(ink(image, heading), 30);
}

TEST(PreviewDrawing, ScreenshotTurnedPageWithUprightCard) {
    std::string pdf =
        fixtures::pagesPDF({{595, 842, 90, fixtures::textContent({"Hoja apaisada"})}});
    auto view = preview(pdf, 900, 640);
    view->setLook(PagesPreview::Look::card(previewtest::stamp()));
    // 60 x 220 in page space reads 220 x 60 on the page as shown.
    view->setSignatures({{0, {400, 300, 60, 220}}});
    ASSERT_TRUE(waitForTiles(*view));
    QImage image = Screenshots::save(*view, QStringLiteral("preview-turned-page-card"));
    QRectF box = view->toWidget(view->geometry().signatureFrames().at(0).box);
    EXPECT_GT(box.width(), box.height());
    EXPECT_GT(ink(image, box, backdrop), 50);
    EXPECT_EQ(view->visiblePages(), std::vector<int>{0});
    EXPECT_EQ(image.pixelColor(3, 3), backdrop);
}

TEST(PreviewDrawing, ScreenshotDocumentPaneWithoutLook) {
    auto view = preview(previewtest::textPages(2), 900, 640);
    view->setInsets(QMarginsF(32, 40, 32, 72));
    view->setSignatures({{0, {330, 100, 200, 60}}});  // not shown: no look
    ASSERT_TRUE(waitForTiles(*view));
    QImage image = Screenshots::save(*view, QStringLiteral("preview-document-pane"));
    auto layouts = view->geometry().layouts();
    ASSERT_EQ(layouts.size(), 2u);
    EXPECT_EQ(view->visiblePages(), (std::vector<int>{0, 1}));
    QRectF copy = view->toWidget(layouts[0].transform.apply(Rect{330, 100, 200, 60}));
    EXPECT_EQ(ink(image, copy), 0);
    EXPECT_EQ(accentInk(image, labelStrip(*view, layouts[0])), 0);  // "Página 1", no count
    EXPECT_GT(ink(image, labelStrip(*view, layouts[0]), backdrop), 10);
    EXPECT_EQ(image.pixelColor(3, 3), backdrop);
}

TEST(PreviewDrawing, WithoutADocumentOnlyTheBackground) {
    PagesPreview view;
    view.resize(300, 200);
    view.setBackground(backdrop);
    QImage image = Screenshots::grab(view);
    EXPECT_EQ(image.pixelColor(150, 100), backdrop);
    EXPECT_EQ(image.pixelColor(1, 1), backdrop);
}

TEST(PreviewDrawing, ZoomShowsTheCachedScaleUntilTheExactOneArrives) {
    auto view = preview(previewtest::textPages(1));
    ASSERT_TRUE(waitForTiles(*view));
    const Rect headingRect{72, 842 - 100, 300, 24};
    Rect before = view->geometry().layouts().at(0).transform.apply(headingRect);
    view->setZoom(2, view->toWidget(Point{before.midX(), before.midY()}));
    // No event has run: the exact scale is not even asked for while the zoom settles, and the
    // page shows its raster at zoom 1, stretched.
    view->repaint();
    EXPECT_TRUE(view->tilesPending());
    QImage image = Screenshots::grab(*view);
    auto layout = view->geometry().layouts().at(0);
    QRectF heading = view->toWidget(layout.transform.apply(headingRect));
    EXPECT_GT(ink(image, heading.intersected(QRectF(view->rect()))), 30);
    ASSERT_TRUE(waitForTiles(*view));
    EXPECT_FALSE(view->tilesPending());
}

// A signed document's card is an annotation's appearance: the page raster includes annotations.
TEST(PreviewDrawing, AnnotationAppearancesAreOnThePage) {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [4 0 R] >>");
    w.object(4,
             "<</Type /Annot /Subtype /Widget /FT /Sig /T (Firma1) /F 4 /P 3 0 R "
             "/Rect [300 100 500 160] /AP <</N 5 0 R>> >>");
    w.stream(5, "/Type /XObject /Subtype /Form /BBox [0 0 200 60]", "0 g 0 0 200 60 re f\n");
    auto view = preview(w.finishClassic("/Root 1 0 R"));
    ASSERT_TRUE(waitForTiles(*view));
    QImage image = Screenshots::grab(*view);
    auto layout = view->geometry().layouts().at(0);
    QRectF card = view->toWidget(layout.transform.apply(Rect{300, 100, 200, 60}));
    EXPECT_LT(previewtest::grey(image, card.center()), 60);
    EXPECT_GT(previewtest::grey(image, card.center() - QPointF(0, card.height())), 235);
}

// A page too heavy to draw is shown blank with a note at its middle; nothing more is awaited.
TEST(PreviewDrawing, APageTooHeavyToDrawIsBlankWithANote) {
    auto view = preview(heavypages::pdf({heavypages::Kind::inlineImage}));
    ASSERT_TRUE(waitForTiles(*view)) << "The heavy page's tiles were still awaited after 15 s.";
    QImage image = Screenshots::grab(*view);
    auto layout = view->geometry().layouts().at(0);
    auto widget = [&](const Rect& r) {
        return view->toWidget(layout.transform.apply(r)).intersected(QRectF(view->rect()));
    };
    // The image would cover 100..500 x 200..600 in black; the note sits across the middle.
    EXPECT_EQ(ink(image, widget({120, 220, 360, 150})), 0);
    EXPECT_GT(ink(image, widget({0, 391, 595, 60})), 30);
    EXPECT_FALSE(view->tilesPending());
}

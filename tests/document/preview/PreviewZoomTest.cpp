// Zoom and scrolling: the anchor arithmetic on the model, then the wheel and gesture events as the
// widget receives them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QWheelEvent>
#include <cmath>

#include "document/PagesPreview.h"
#include "document/PreviewGeometry.h"
#include "support/PDFFixtures.h"

namespace {

PreviewGeometry model(int count) {
    PreviewGeometry g;
    g.setSize({1000, 700});
    g.setDocument(std::vector<std::optional<DisplaySpace>>(static_cast<std::size_t>(count),
                                                           DisplaySpace(Rect{0, 0, 595, 842}, 0)));
    return g;
}

// A preview of 1000 x 700 showing a document of `count` A4 pages.
std::unique_ptr<PagesPreview> preview(int count) {
    auto view = std::make_unique<PagesPreview>();
    view->resize(1000, 700);
    view->setDocument(PreviewDocument::fromData(fixtures::textPDF(count)));
    view->show();
    QApplication::processEvents();
    return view;
}

// Sends a wheel event at the view's centre; returns whether the view took it.
bool wheel(PagesPreview& view, QPoint pixels, QPoint angle, Qt::KeyboardModifiers modifiers = {},
           Qt::ScrollPhase phase = Qt::NoScrollPhase, bool inverted = false) {
    QPointF at(500, 350);
    QWheelEvent event(at, view.mapToGlobal(at), pixels, angle, Qt::NoButton, modifiers, phase,
                      inverted);
    event.setAccepted(false);
    QApplication::sendEvent(&view, &event);
    return event.isAccepted();
}

bool touchpad(PagesPreview& view, int dy, Qt::ScrollPhase phase) {
    return wheel(view, QPoint(0, dy), QPoint(0, dy * 4), {}, phase);
}

void gesture(PagesPreview& view, Qt::NativeGestureType type, double value, QPointF at) {
    QNativeGestureEvent event(type, QPointingDevice::primaryPointingDevice(), 2, at, at,
                              view.mapToGlobal(at), value, QPointF());
    QApplication::sendEvent(&view, &event);
}

}  // namespace

TEST(PreviewZoom, ClampsAndIgnoresNoChange) {
    PreviewGeometry g = model(1);
    int calls = 0;
    g.onZoomChange = [&] { ++calls; };
    g.setZoom(0.5);
    EXPECT_EQ(g.zoom(), 1);
    EXPECT_EQ(calls, 0);
    g.setZoom(9);
    EXPECT_EQ(g.zoom(), 8);
    EXPECT_EQ(calls, 1);
    g.setZoom(std::nan(""));
    EXPECT_EQ(g.zoom(), 8);
    EXPECT_EQ(calls, 1);
}

TEST(PreviewZoom, BackToOneLeavesNoPan) {
    PreviewGeometry g = model(1);
    g.setZoom(2, Point{200, 150});
    EXPECT_NE(g.pan(), (Point{0, 0}));
    g.setZoom(1, Point{900, 600});
    EXPECT_EQ(g.pan(), (Point{0, 0}));
}

TEST(PreviewZoom, KeepsTheContentUnderTheAnchor) {
    PreviewGeometry g = model(1);
    g.setZoom(2);
    ASSERT_EQ(g.pan(), (Point{0, 0}));
    Rect a = g.area();
    g.setZoom(4, Point{a.midX() + 100, a.midY()});
    EXPECT_DOUBLE_EQ(g.pan().x, -100);
    EXPECT_DOUBLE_EQ(g.pan().y, 0);
}

TEST(PreviewZoom, AnOuterPageSideBySideStaysUnderTheAnchor) {
    PreviewGeometry g = model(3);
    const Point onPage{400, 200};  // page space of the first page
    for (double zoom : {2.5, 8.0}) {
        Point at = g.layouts().at(0).transform.apply(onPage);
        g.setZoom(zoom, at);
        Point now = g.layouts().at(0).transform.apply(onPage);
        EXPECT_NEAR(now.x, at.x, 1e-9) << zoom;
        EXPECT_NEAR(now.y, at.y, 1e-9) << zoom;
    }
}

TEST(PreviewZoom, ZoomByStepsAndClamps) {
    PreviewGeometry g = model(1);
    double expected[] = {1.5, 2.25, 3.375, 5.0625, 7.59375, 8};
    for (double e : expected) {
        g.zoomBy(1.5);
        EXPECT_DOUBLE_EQ(g.zoom(), e);
    }
    g.zoomBy(1 / 1.5);
    EXPECT_DOUBLE_EQ(g.zoom(), 8 / 1.5);
}

TEST(PreviewZoom, ZoomByBringsTheCurrentCopyToTheMiddle) {
    PreviewGeometry g = model(1);
    g.setLook(PreviewGeometry::Look::card(SignatureStamp{}));
    g.setSignatures({{0, {300, 450, 120, 40}}});
    int calls = 0;
    g.onZoomChange = [&] { ++calls; };
    // At 1.5 the page is still narrower than the area: no room to move it sideways.
    g.zoomBy(1.5);
    EXPECT_EQ(g.pan().x, 0);
    g.zoomBy(1.5);
    g.zoomBy(1.5);
    auto frame = g.currentFrame();
    ASSERT_TRUE(frame);
    EXPECT_NEAR(frame->box.midX(), g.area().midX(), 1e-9);
    EXPECT_NEAR(frame->box.midY(), g.area().midY(), 1e-9);
    EXPECT_EQ(calls, 3);
}

TEST(PreviewZoom, PinchAndSmartMagnify) {
    auto view = preview(1);
    QPointF at(400, 300);
    gesture(*view, Qt::ZoomNativeGesture, 0.5, at);
    EXPECT_DOUBLE_EQ(view->zoom(), 1.5);
    gesture(*view, Qt::ZoomNativeGesture, std::nan(""), at);
    EXPECT_DOUBLE_EQ(view->zoom(), 1.5);
    gesture(*view, Qt::SmartZoomNativeGesture, 0, at);
    EXPECT_DOUBLE_EQ(view->zoom(), 1);
    gesture(*view, Qt::SmartZoomNativeGesture, 0, at);
    EXPECT_DOUBLE_EQ(view->zoom(), 2.5);
    // The anchor is given in widget coordinates: y flipped into the model's view space.
    EXPECT_EQ(view->toView(QPointF(10, 100)), (Point{10, 600}));
}

TEST(PreviewZoom, ControlScrollZoomsByExponentialSteps) {
    auto view = preview(1);
    ASSERT_TRUE(wheel(*view, QPoint(0, 10), QPoint(0, 40), Qt::ControlModifier));
    EXPECT_NEAR(view->zoom(), std::exp(0.1), 1e-12);
    view->setZoom(1);
    ASSERT_TRUE(wheel(*view, QPoint(), QPoint(0, 1200), Qt::ControlModifier));
    EXPECT_NEAR(view->zoom(), std::exp(1.0), 1e-12);
    view->setZoom(4);
    wheel(*view, QPoint(0, 10), QPoint(0, 40), Qt::ControlModifier, Qt::NoScrollPhase, true);
    EXPECT_NEAR(view->zoom(), 4 * std::exp(-0.1), 1e-12);
    view->setZoom(4);
    wheel(*view, QPoint(), QPoint(0, 1200), Qt::ControlModifier, Qt::NoScrollPhase, true);
    EXPECT_NEAR(view->zoom(), 4 * std::exp(-1.0), 1e-12);
}

TEST(PreviewZoom, ScrollPansAZoomedView) {
    auto view = preview(1);
    view->setZoom(3);
    Point before = view->geometry().pan();
    ASSERT_TRUE(wheel(*view, QPoint(0, -30), QPoint(0, -120)));
    EXPECT_DOUBLE_EQ(view->geometry().pan().y, before.y + 30);
    // A notch without pixel deltas is 48 points.
    ASSERT_TRUE(wheel(*view, QPoint(), QPoint(0, -120)));
    EXPECT_DOUBLE_EQ(view->geometry().pan().y, before.y + 78);
}

TEST(PreviewZoom, ThreePagesPassTheScrollOn) {
    auto view = preview(3);
    int changes = 0;
    view->onPageChange = [&] { ++changes; };
    EXPECT_FALSE(wheel(*view, QPoint(0, -100), QPoint(0, -400), {}, Qt::ScrollUpdate));
    EXPECT_FALSE(wheel(*view, QPoint(), QPoint(0, -1200)));
    EXPECT_EQ(view->currentPage(), 0);
    EXPECT_EQ(changes, 0);
}

TEST(PreviewZoom, TenPagesTurnAtFortyPoints) {
    auto view = preview(10);
    touchpad(*view, -20, Qt::ScrollBegin);
    touchpad(*view, -20, Qt::ScrollUpdate);
    EXPECT_EQ(view->currentPage(), 0);  // -40 is not past the threshold
    touchpad(*view, -1, Qt::ScrollUpdate);
    EXPECT_EQ(view->currentPage(), 1);
    EXPECT_EQ(view->geometry().scrollAccumulator(), 0);
    // Another turn in the same gesture needs another 40 points beyond.
    touchpad(*view, -30, Qt::ScrollUpdate);
    EXPECT_EQ(view->currentPage(), 1);
    touchpad(*view, -11, Qt::ScrollUpdate);
    EXPECT_EQ(view->currentPage(), 2);
    touchpad(*view, 41, Qt::ScrollUpdate);
    EXPECT_EQ(view->currentPage(), 1);
    // The end of the gesture drops what was collected and turns nothing.
    touchpad(*view, -30, Qt::ScrollUpdate);
    touchpad(*view, -30, Qt::ScrollEnd);
    EXPECT_EQ(view->currentPage(), 1);
    EXPECT_EQ(view->geometry().scrollAccumulator(), 0);
    // One wheel notch turns a page.
    EXPECT_TRUE(wheel(*view, QPoint(), QPoint(0, -120)));
    EXPECT_EQ(view->currentPage(), 2);
}

TEST(PreviewZoom, AtTheLastPageAGestureSumGrowsUntilItEnds) {
    auto view = preview(10);
    view->setCurrentPage(9);
    touchpad(*view, -50, Qt::ScrollBegin);
    touchpad(*view, -50, Qt::ScrollUpdate);
    EXPECT_EQ(view->currentPage(), 9);
    EXPECT_EQ(view->geometry().scrollAccumulator(), -100);
    touchpad(*view, 0, Qt::ScrollEnd);
    EXPECT_EQ(view->geometry().scrollAccumulator(), 0);
}

TEST(PreviewZoom, AtTheLastPageAWheelKeepsNothing) {
    auto view = preview(10);
    view->setCurrentPage(9);
    for (int i = 0; i < 5; ++i) wheel(*view, QPoint(), QPoint(0, -120));
    EXPECT_EQ(view->currentPage(), 9);
    EXPECT_EQ(view->geometry().scrollAccumulator(), 0);
    // So one notch back turns back at once.
    wheel(*view, QPoint(), QPoint(0, 120));
    EXPECT_EQ(view->currentPage(), 8);
    // The same at the first page.
    view->setCurrentPage(0);
    wheel(*view, QPoint(), QPoint(0, 120));
    wheel(*view, QPoint(), QPoint(0, 120));
    EXPECT_EQ(view->geometry().scrollAccumulator(), 0);
    wheel(*view, QPoint(), QPoint(0, -120));
    EXPECT_EQ(view->currentPage(), 1);
}

TEST(PreviewZoom, PageViewerOpensAndRefuses) {
    PagesPreview view;
    PageViewer& viewer = view;
    int pages = 0;
    viewer.onPageChange = [&] { ++pages; };
    EXPECT_FALSE(viewer.open("/nonexistent/file.pdf"));
    EXPECT_FALSE(view.document());
    EXPECT_EQ(viewer.pageCount(), 0);
    EXPECT_TRUE(viewer.showsAllPages());
    EXPECT_EQ(PagesPreview::zoomRange.upperBound, 8);
    EXPECT_EQ(viewer.widget(), &view);
    EXPECT_EQ(pages, 1);  // clearing the document sets the page too
}

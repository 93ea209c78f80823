// The drawing pad, driven by synthetic mouse and pen events.
#include "document/HandwritingPad.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTabletEvent>
#include <gtest/gtest.h>

namespace {

void send(QWidget& w, QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, w.mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}
void press(QWidget& w, QPointF at) { send(w, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
void move(QWidget& w, QPointF at) { send(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
void release(QWidget& w, QPointF at) { send(w, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }

void drag(QWidget& w, std::initializer_list<QPointF> points) {
    press(w, *points.begin());
    for (auto it = points.begin() + 1; it != points.end(); ++it) move(w, *it);
    release(w, *(points.end() - 1));
}

struct Pad {
    HandwritingPadView view;
    int changes = 0;
    Pad() {
        view.resize(476, 170);
        view.onChange = [this] { ++changes; };
    }
};

QImage decoded(const QByteArray& png) { return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32); }

// Pixels in `area` of the pad's drawing that are not white.
int marked(HandwritingPadView& pad, QRect area) {
    const QImage image = pad.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (qGray(image.pixel(x, y)) < 240) ++count;
    return count;
}

}  // namespace

TEST(HandwritingPad, SingleClickLeavesADotButNoSignature) {
    Pad pad;
    const QRect placeholder(190, 60, 100, 26);
    EXPECT_GT(marked(pad.view, placeholder), 20);  // "Firma aquí"
    EXPECT_EQ(marked(pad.view, QRect(96, 36, 9, 9)), 0);

    press(pad.view, {100, 40});
    release(pad.view, {100, 40});
    EXPECT_EQ(pad.changes, 1);
    EXPECT_TRUE(pad.view.strokes().hasStrokes());
    EXPECT_TRUE(pad.view.isEmpty());
    EXPECT_FALSE(pad.view.png());
    EXPECT_EQ(marked(pad.view, placeholder), 0);
    EXPECT_GT(marked(pad.view, QRect(96, 36, 9, 9)), 2);  // the dot
}

TEST(HandwritingPad, StepsUnderOnePointAddNothing) {
    Pad pad;
    press(pad.view, {10, 10});
    move(pad.view, {10.5, 10});
    move(pad.view, {10.9, 10.3});
    EXPECT_EQ(pad.view.strokes().strokes().back().size(), 1u);
    EXPECT_EQ(pad.changes, 0);  // a drag does not announce
    move(pad.view, {11.0, 10});
    ASSERT_EQ(pad.view.strokes().strokes().back().size(), 2u);
    // y up from the pad's bottom.
    EXPECT_EQ(pad.view.strokes().strokes().back()[1], (Point{11.0, 160.0}));
    release(pad.view, {11, 10});
    EXPECT_FALSE(pad.view.isEmpty());
}

TEST(HandwritingPad, PictureIsThreePixelsPerPointAroundTheInk) {
    Pad pad;
    drag(pad.view, {{50, 100}, {80, 95}, {120, 85}, {150, 80}});
    press(pad.view, {300, 20});  // a dot: never in the picture
    release(pad.view, {300, 20});
    const auto png = pad.view.png();
    ASSERT_TRUE(png);
    const QImage image = decoded(*png);
    EXPECT_EQ(image.size(), QSize(331, 91));  // 110.4 × 3 and 30.4 × 3, truncated
    for (QPoint corner : {QPoint(0, 0), QPoint(330, 0), QPoint(0, 90), QPoint(330, 90)})
        EXPECT_EQ(qAlpha(image.pixel(corner)), 0);
    // Solid ink of the ink colour; the stroke's start (50, 70 up) sits at the bottom left.
    const QColor ink = HandwritingPadView::inkColor();
    int solid = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qAlpha(p) == 255 && std::abs(qRed(p) - ink.red()) <= 1 && std::abs(qGreen(p) - ink.green()) <= 1 &&
                std::abs(qBlue(p) - ink.blue()) <= 1)
                ++solid;
        }
    EXPECT_GT(solid, 300);
    EXPECT_EQ(qAlpha(image.pixel(16, 75)), 255);  // (50 − 44.8) × 3, (100 − 80 + 5.2) × 3
    EXPECT_EQ(qAlpha(image.pixel(315, 16)), 255);
}

TEST(HandwritingPad, PointsAreClampedIntoThePad) {
    Pad pad;
    drag(pad.view, {{100, 100}, {5000, -3000}});
    const auto png = pad.view.png();
    ASSERT_TRUE(png);
    const QImage image = decoded(*png);
    EXPECT_LE(image.width(), static_cast<int>((476 + 10.4) * 3));
    EXPECT_LE(image.height(), static_cast<int>((170 + 10.4) * 3));
    EXPECT_EQ(pad.view.strokes().strokes().back().back(), (Point{476, 170}));
}

TEST(HandwritingPad, ImportAndDrawingReplaceEachOther) {
    Pad pad;
    drag(pad.view, {{10, 10}, {60, 40}});
    QImage photo(40, 20, QImage::Format_RGBA8888_Premultiplied);
    photo.fill(QColor(20, 20, 60));
    pad.view.setImported(photo);
    EXPECT_FALSE(pad.view.strokes().hasStrokes());
    EXPECT_FALSE(pad.view.isEmpty());
    EXPECT_EQ(decoded(*pad.view.png()).size(), QSize(40, 20));  // at its own size
    const int before = pad.changes;
    press(pad.view, {30, 30});
    EXPECT_FALSE(pad.view.imported());
    EXPECT_EQ(pad.changes, before + 1);
    EXPECT_EQ(pad.view.strokes().strokes().size(), 1u);
    release(pad.view, {30, 30});
    pad.view.clear();
    EXPECT_FALSE(pad.view.strokes().hasStrokes());
}

TEST(HandwritingPad, PenDrawsLikeTheMouse) {
    Pad pad;
    const QPointingDevice* pen = QPointingDevice::primaryPointingDevice();
    auto tablet = [&](QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QTabletEvent event(type, pen, at, pad.view.mapToGlobal(at), 0.5, 0, 0, 0, 0, 0, Qt::NoModifier, button,
                           buttons);
        QApplication::sendEvent(&pad.view, &event);
        EXPECT_TRUE(event.isAccepted());
    };
    tablet(QEvent::TabletMove, {5, 5}, Qt::NoButton, Qt::NoButton);  // hovering draws nothing
    EXPECT_FALSE(pad.view.strokes().hasStrokes());
    tablet(QEvent::TabletPress, {20, 20}, Qt::LeftButton, Qt::LeftButton);
    tablet(QEvent::TabletMove, {60, 30}, Qt::NoButton, Qt::LeftButton);
    tablet(QEvent::TabletRelease, {60, 30}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(pad.changes, 1);
    EXPECT_FALSE(pad.view.isEmpty());
}

#pragma once
// The drawing pad of the handwriting sheet: records strokes from the mouse or a pen, draws them on
// a white card with a baseline, or shows a signature taken from a photo, and renders the signature
// as a PNG (three pixels per point, cropped to the ink, transparent around it).

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

#include "document/HandwritingStrokes.h"

class HandwritingPadView : public QWidget {
public:
    explicit HandwritingPadView(QWidget* parent = nullptr);

    // Called when a stroke ends and after every change of the imported image.
    std::function<void()> onChange;

    // An ink image taken from a photo; nothing while the user draws. Setting one discards the
    // strokes; every set redraws and calls onChange.
    const std::optional<QImage>& imported() const { return imported_; }
    void setImported(std::optional<QImage> image);

    // Nothing would be stored: no imported image and no stroke of two or more points.
    bool isEmpty() const { return !imported_ && strokes_.isEmpty(); }
    // Empties the strokes and drops the imported image.
    void clear();

    // The signature as PNG bytes: the imported image at its own size, else the strokes of two or
    // more points; nothing when there is neither or encoding fails.
    std::optional<QByteArray> png() const;

    // The strokes, in y-up pad points.
    const HandwritingStrokes& strokes() const { return strokes_; }

    // The ink of a photo (see HandwritingPhoto::ink).
    static std::optional<QImage> ink(const QImage& photo);
    // The ink colour, sRGB (0.07, 0.12, 0.33).
    static QColor inkColor();
    static constexpr double lineWidth = 2.6;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void tabletEvent(QTabletEvent* event) override;

private:
    // Widget position (y down) to pad points (y up).
    Point toPad(QPointF position);
    void begin(QPointF position);
    void extend(QPointF position);
    void end();

    std::optional<QImage> imported_;
    HandwritingStrokes strokes_;
    bool penDown_ = false;
};

#pragma once
// The strokes drawn on the handwriting pad, in pad points with y growing upward (origin at the
// pad's lower-left corner). Every point is clamped into the pad, so a drag far outside it cannot
// make a huge picture. Plain values; the pad converts its events into this space once.

#include <optional>
#include <utility>
#include <vector>

#include "pages/Geometry.h"

class HandwritingStrokes {
public:
    // A drag step shorter than this adds no point (it would only add noise to the curve).
    static constexpr double minStep = 1.0;
    // The ink's margin in the picture: half the line width and then some, so round caps fit.
    static constexpr double margin = 5.2;
    // Pixels per point of the stored picture.
    static constexpr double pictureScale = 3.0;

    explicit HandwritingStrokes(Size bounds = {}) : bounds_(bounds) {}

    // The pad's size; later points are clamped into (0, 0) ... (width, height).
    void setBounds(Size bounds) { bounds_ = bounds; }
    Size bounds() const { return bounds_; }

    // A press starts a stroke holding only this point.
    void press(Point p);
    // Adds the point to the last stroke when it is at least minStep from its last point; false when
    // nothing was added (no stroke yet, or too short a step).
    bool drag(Point p);
    void clear() { strokes_.clear(); }

    const std::vector<std::vector<Point>>& strokes() const { return strokes_; }
    // Some stroke exists, even a single click.
    bool hasStrokes() const { return !strokes_.empty(); }
    // No stroke has two or more points: nothing would reach the picture.
    bool isEmpty() const;

    // The box of every point of the strokes with two or more points, grown by `margin`; nothing
    // when there are none.
    std::optional<Rect> inkRect() const;
    // The picture's size in pixels for that box: its size times pictureScale, truncated.
    static std::pair<int, int> pixelSize(const Rect& inkRect);

private:
    Point clamped(Point p) const;

    Size bounds_;
    std::vector<std::vector<Point>> strokes_;
};

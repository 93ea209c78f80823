#pragma once
// Plain geometry of the welcome illustrations: points, rectangles and the handwriting strokes,
// which are drawn progressively: strokeEnd e shows the first e of the path's length.

#include <vector>

struct ScenePoint {
    double x = 0;
    double y = 0;
};

struct SceneRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
};

// A path of one move and cubic curves, kept as a fine polyline with its running length.
class ScenePath {
public:
    ScenePath() = default;

    // The first point is the move; every following group of three is a cubic curve (control 1,
    // control 2, end). A trailing incomplete group is ignored.
    static ScenePath cubic(const std::vector<ScenePoint>& points);

    ScenePoint start() const;
    ScenePoint end() const;
    double length() const { return lengths_.empty() ? 0 : lengths_.back(); }

    // The polyline of the first `fraction` (clamped to 0…1) of the length; empty at 0.
    std::vector<ScenePoint> prefix(double fraction) const;
    const std::vector<ScenePoint>& polyline() const { return points_; }

private:
    std::vector<ScenePoint> points_;
    std::vector<double> lengths_;  // running length at each polyline point
};

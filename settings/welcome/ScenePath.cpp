#include "settings/welcome/ScenePath.h"

#include <algorithm>
#include <cmath>

namespace {

// Straight pieces per cubic curve: finer than a pixel for the strokes' sizes.
constexpr int piecesPerCurve = 48;

ScenePoint cubicAt(ScenePoint a, ScenePoint b, ScenePoint c, ScenePoint d, double t) {
    const double u = 1 - t;
    const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
    return {w0 * a.x + w1 * b.x + w2 * c.x + w3 * d.x, w0 * a.y + w1 * b.y + w2 * c.y + w3 * d.y};
}

}  // namespace

ScenePath ScenePath::cubic(const std::vector<ScenePoint>& points) {
    ScenePath path;
    if (points.empty()) return path;
    path.points_.push_back(points.front());
    path.lengths_.push_back(0);
    for (std::size_t i = 1; i + 2 < points.size(); i += 3) {
        const ScenePoint from = path.points_.back();
        for (int k = 1; k <= piecesPerCurve; ++k) {
            const ScenePoint p = cubicAt(from, points[i], points[i + 1], points[i + 2],
                                         double(k) / piecesPerCurve);
            const ScenePoint q = path.points_.back();
            path.lengths_.push_back(path.lengths_.back() + std::hypot(p.x - q.x, p.y - q.y));
            path.points_.push_back(p);
        }
    }
    return path;
}

ScenePoint ScenePath::start() const { return points_.empty() ? ScenePoint{} : points_.front(); }
ScenePoint ScenePath::end() const { return points_.empty() ? ScenePoint{} : points_.back(); }

std::vector<ScenePoint> ScenePath::prefix(double fraction) const {
    fraction = std::clamp(fraction, 0.0, 1.0);
    if (points_.empty() || fraction <= 0) return {};
    if (fraction >= 1) return points_;
    const double target = fraction * length();
    const auto after = std::upper_bound(lengths_.begin(), lengths_.end(), target);
    const std::size_t index = std::size_t(after - lengths_.begin());  // first point beyond
    std::vector<ScenePoint> out(points_.begin(), points_.begin() + std::ptrdiff_t(index));
    if (index < points_.size()) {
        const double span = lengths_[index] - lengths_[index - 1];
        const double t = span > 0 ? (target - lengths_[index - 1]) / span : 0;
        const ScenePoint a = points_[index - 1], b = points_[index];
        out.push_back({a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t});
    }
    return out;
}

#include "document/HandwritingStrokes.h"

#include <algorithm>
#include <cmath>

Point HandwritingStrokes::clamped(Point p) const {
    return {std::clamp(p.x, 0.0, std::max(bounds_.width, 0.0)), std::clamp(p.y, 0.0, std::max(bounds_.height, 0.0))};
}

void HandwritingStrokes::press(Point p) { strokes_.push_back({clamped(p)}); }

bool HandwritingStrokes::drag(Point p) {
    if (strokes_.empty() || strokes_.back().empty()) return false;
    const Point point = clamped(p);
    const Point last = strokes_.back().back();
    if (std::hypot(point.x - last.x, point.y - last.y) < minStep) return false;
    strokes_.back().push_back(point);
    return true;
}

bool HandwritingStrokes::isEmpty() const {
    return std::none_of(strokes_.begin(), strokes_.end(), [](const auto& s) { return s.size() >= 2; });
}

std::optional<Rect> HandwritingStrokes::inkRect() const {
    bool any = false;
    double minX = 0, minY = 0, maxX = 0, maxY = 0;
    for (const auto& stroke : strokes_) {
        if (stroke.size() < 2) continue;
        for (const Point& p : stroke) {
            if (!any) {
                minX = maxX = p.x;
                minY = maxY = p.y;
                any = true;
            }
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
    }
    if (!any) return std::nullopt;
    return Rect{minX - margin, minY - margin, maxX - minX + 2 * margin, maxY - minY + 2 * margin};
}

std::pair<int, int> HandwritingStrokes::pixelSize(const Rect& r) {
    return {static_cast<int>(r.width * pictureScale), static_cast<int>(r.height * pictureScale)};
}

#pragma once
// An affine map of the plane: x' = a x + c y + tx, y' = b x + d y + ty.

#include <algorithm>
#include <cmath>
#include <optional>

#include "pages/Geometry.h"

struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }

    // The axis-aligned bounding box of the transformed rectangle.
    Rect apply(const Rect& r) const {
        Point corners[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                            apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
        double x0 = corners[0].x, x1 = corners[0].x, y0 = corners[0].y, y1 = corners[0].y;
        for (const Point& p : corners) {
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }

    // Nothing for a singular map.
    std::optional<AffineTransform> inverted() const {
        double det = a * d - b * c;
        if (det == 0 || !std::isfinite(det)) return std::nullopt;
        AffineTransform inv;
        inv.a = d / det;
        inv.b = -b / det;
        inv.c = -c / det;
        inv.d = a / det;
        inv.tx = -(inv.a * tx + inv.c * ty);
        inv.ty = -(inv.b * tx + inv.d * ty);
        return inv;
    }

    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

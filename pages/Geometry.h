#pragma once
// Plane geometry in points for drawing and page placement: y grows upward, as in PDF page space.

#include <algorithm>

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle by its lower-left corner and its size (width and height are not negative).
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }
    double midY() const { return y + height / 2; }
    Point origin() const { return {x, y}; }
    Size size() const { return {width, height}; }
    bool isEmpty() const { return width <= 0 || height <= 0; }

    // Shrunk by dx on the left and right and by dy at the bottom and top; never below zero size.
    Rect insetBy(double dx, double dy) const {
        return {x + dx, y + dy, std::max(width - 2 * dx, 0.0), std::max(height - 2 * dy, 0.0)};
    }
    bool contains(Point p) const { return p.x >= x && p.x <= maxX() && p.y >= y && p.y <= maxY(); }

    friend bool operator==(const Rect&, const Rect&) = default;
};

#pragma once
// The welcome window's fixed geometry, from the visible size of the primary screen (its available
// geometry) when the window is first made: the window's size, the width of every page's text
// column and the margin on each side of it.

#include <optional>

struct WelcomeGeometry {
    struct Size {
        double width = 0;
        double height = 0;
    };

    double width = 1240;
    double height = 850;
    double column = 720;
    double margin = 260;

    // The geometry for a screen whose visible area is `visible`; without a screen, 1240 × 850.
    static WelcomeGeometry make(std::optional<Size> visible);

    // The process's geometry: made once, on first use, from the primary screen of that moment
    // (needs the application object; main thread).
    static const WelcomeGeometry& current();
};

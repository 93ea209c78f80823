#include "settings/welcome/WelcomeGeometry.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

constexpr double maxWidth = 1240;
constexpr double maxHeight = 900;
constexpr double screenlessHeight = 850;
// Room left round the window on the screen.
constexpr double sideRoom = 100;
constexpr double topRoom = 50;
constexpr double maxColumn = 720;
constexpr double columnRoom = 160;

}  // namespace

WelcomeGeometry WelcomeGeometry::make(std::optional<Size> visible) {
    WelcomeGeometry g;
    if (visible) {
        g.width = std::min(visible->width - sideRoom, maxWidth);
        g.height = std::min(visible->height - topRoom, maxHeight);
    } else {
        g.width = maxWidth;
        g.height = screenlessHeight;
    }
    g.column = std::min(g.width - columnRoom, maxColumn);
    g.margin = std::round((g.width - g.column) / 2);  // halves away from zero
    return g;
}

const WelcomeGeometry& WelcomeGeometry::current() {
    static const WelcomeGeometry geometry = [] {
        std::optional<Size> visible;
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            visible = Size{double(area.width()), double(area.height())};
        }
        return make(visible);
    }();
    return geometry;
}

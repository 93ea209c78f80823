#pragma once
// Colours of the welcome window beyond the brand's.

#include <QColor>

namespace WelcomeColors {

// The welcome accent: kicker lines, links, the page indicator, the info mark.
inline QColor accent() { return QColor::fromRgbF(0.17f, 0.75f, 0.8f); }
// The pill button while pressed.
inline QColor pressed() { return QColor::fromRgbF(0.02f, 0.38f, 0.42f); }
// White at an alpha.
inline QColor white(double alpha) { return QColor::fromRgbF(1, 1, 1, float(alpha)); }
// The system green and orange of the dark appearance.
inline QColor green() { return QColor(48, 209, 88); }
inline QColor orange() { return QColor(255, 159, 10); }

}  // namespace WelcomeColors

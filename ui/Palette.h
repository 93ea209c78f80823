#pragma once
// The system colours the windows share, taken from a palette: the accent, label levels,
// separator and the fixed status colours with their dark variants. Dark means the palette's
// window colour has a lightness below 128 (Brand::isDark). Widgets resolve these when painting and
// repaint on QEvent::PaletteChange.

#include <QColor>
#include <QGuiApplication>
#include <QPalette>

#include <functional>

class QWidget;

namespace Palette {

// The application's palette.
inline QPalette application() { return QGuiApplication::palette(); }

bool isDark(const QPalette& palette = application());

QColor accent(const QPalette& palette = application());          // QPalette::Highlight
QColor label(const QPalette& palette = application());           // window text
QColor secondaryLabel(const QPalette& palette = application());  // window text at alpha 0.5
QColor tertiaryLabel(const QPalette& palette = application());   // window text at alpha 0.26
QColor quaternaryLabel(const QPalette& palette = application()); // window text at alpha 0.1
QColor separator(const QPalette& palette = application());       // window text at alpha 0.1
QColor windowBackground(const QPalette& palette = application());
QColor controlBackground(const QPalette& palette = application());  // QPalette::Base
QColor text(const QPalette& palette = application());            // QPalette::Text

// Fixed sRGB status colours, light or dark variant by the palette.
QColor green(const QPalette& palette = application());
QColor yellow(const QPalette& palette = application());
QColor orange(const QPalette& palette = application());
QColor red(const QPalette& palette = application());
QColor blue(const QPalette& palette = application());
QColor gray(const QPalette& palette = application());

// `color` with its alpha replaced.
QColor withAlpha(QColor color, double alpha);

// Gives `widget` the colour `colour(palette)` in `role`, now and after every change of appearance.
// The palette it is worked out from is the parent's (the application's for a window), since the
// widget's own holds the colour set before.
using Colour = QColor (*)(const QPalette&);
void follow(QWidget* widget, QPalette::ColorRole role, Colour colour);

// Runs `action` after every change of appearance `widget` sees (not for the changes `action`
// itself makes), for what a palette role cannot carry: a style sheet, colours written into a text.
void onChange(QWidget* widget, std::function<void()> action);

}  // namespace Palette

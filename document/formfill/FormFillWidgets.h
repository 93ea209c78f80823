#pragma once
// Small widget makers the form section and its popovers share: labels in the system font with a
// label colour, push buttons of the small size.

#include <QColor>
#include <QString>
#include <string>

class QLabel;
class QPushButton;
class QWidget;

namespace FormFillWidgets {

enum class Level { primary, secondary, tertiary };

QString qs(const std::string& utf8);

// A plain-text label in the system font of `size` points.
QLabel* label(const QString& text, double size, Level level, QWidget* parent, bool semibold = false);
// The same, wrapping at `width` points.
QLabel* wrapping(const QString& text, double size, Level level, int width, QWidget* parent);
// A small push button.
QPushButton* button(const QString& title, QWidget* parent);

}  // namespace FormFillWidgets

#include "settings/TagLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

#include "ui/Brand.h"
#include "ui/Palette.h"

namespace {
constexpr double fontSize = 10;
constexpr double kern = 0.6;
constexpr int vertical = 3;
constexpr int horizontal = 7;
constexpr double backgroundAlpha = 0.18;
}  // namespace

TagLabel::TagLabel(const QString& text, QWidget* parent) : QWidget(parent), text_(text.toUpper()) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(text_);
}

QFont TagLabel::font_() const {
    QFont font = Brand::titleFont(fontSize, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, kern);
    return font;
}

QColor TagLabel::textColor() const {
    return Palette::isDark(palette()) ? Brand::yellow.dark : QColor::fromRgbF(0.54f, 0.38f, 0.f, 1.f);
}

QColor TagLabel::backgroundColor() const {
    return Palette::withAlpha(Brand::yellow.at(palette()), backgroundAlpha);
}

QSize TagLabel::sizeHint() const {
    const QFontMetricsF metrics(font_());
    const double width = metrics.horizontalAdvance(text_);
    return {static_cast<int>(std::ceil(width)) + 2 * horizontal,
            static_cast<int>(std::ceil(metrics.height())) + 2 * vertical};
}

void TagLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    const double radius = bounds.height() / 2;
    painter.setPen(Qt::NoPen);
    painter.setBrush(backgroundColor());
    painter.drawRoundedRect(bounds, radius, radius);
    painter.setFont(font_());
    painter.setPen(textColor());
    painter.drawText(bounds.adjusted(horizontal, vertical, -horizontal, -vertical),
                     Qt::AlignCenter | Qt::TextSingleLine, text_);
}

void TagLabel::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::FontChange) {
        updateGeometry();
        update();
    }
    QWidget::changeEvent(event);
}

#include "ui/ColorView.h"

#include <QEvent>
#include <QPainter>

ColorView::ColorView(const QColor& color, QWidget* parent)
    : ColorView(Brand::DynamicColor{color, color}, parent) {}

ColorView::ColorView(const Brand::DynamicColor& color, QWidget* parent)
    : QWidget(parent), color_(color) {}

void ColorView::setColor(const QColor& color) { setColor(Brand::DynamicColor{color, color}); }

void ColorView::setColor(const Brand::DynamicColor& color) {
    color_ = color;
    update();
}

void ColorView::setCornerRadius(double radius) {
    cornerRadius_ = radius;
    update();
}

void ColorView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (cornerRadius_ > 0) {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color());
        painter.drawRoundedRect(QRectF(rect()), cornerRadius_, cornerRadius_);
    } else {
        painter.fillRect(rect(), color());
    }
}

void ColorView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) update();
}

#include "ui/FloatingBar.h"

#include <QPainter>
#include <QPalette>

FloatingBar::FloatingBar(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
    // The heads-up material is dark in both appearances; its contents are light.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    dark.setColor(QPalette::WindowText, QColor(245, 245, 247));
    dark.setColor(QPalette::ButtonText, QColor(245, 245, 247));
    dark.setColor(QPalette::Text, QColor(245, 245, 247));
    dark.setColor(QPalette::Button, QColor(58, 58, 60));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(245, 245, 247, 90));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(245, 245, 247, 90));
    setPalette(dark);
}

void FloatingBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(255, 255, 255, 40), 1));
    p.setBrush(QColor(30, 30, 32, 205));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

#include "ui/CardView.h"

#include <QEvent>
#include <QPainter>
#include <QPainterPath>

#include "ui/Brand.h"

CardView::CardView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_StyledBackground, false);
}

void CardView::setRadius(double radius) {
    radius_ = radius;
    update();
}

QColor CardView::fillColor() const { return Brand::card(this); }
QColor CardView::borderColor() const { return Brand::cardLine(this); }

void CardView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double r = radius();
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    // Shadow: black at 0.05, 6 points soft, 1 point below; drawn as a few widening rings inside
    // the widget's margin so the card never paints outside itself.
    QPainterPath shape;
    shape.addRoundedRect(box.adjusted(0, 0, 0, -1), r, r);
    QPainterPath shadow;
    shadow.addRoundedRect(box.translated(0, 1).adjusted(0, 0, 0, -1), r, r);
    painter.fillPath(shadow, QColor(0, 0, 0, 13));
    painter.fillPath(shape, fillColor());
    QPen pen(borderColor());
    pen.setWidthF(1);
    painter.setPen(pen);
    painter.drawPath(shape);
}

void CardView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) update();
}

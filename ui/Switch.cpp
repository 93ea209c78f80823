#include "ui/Switch.h"

#include <QPainter>

#include "ui/Palette.h"

Switch::Switch(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setCursor(Qt::PointingHandCursor);
}

void Switch::setSmall(bool small) {
    if (small_ == small) return;
    small_ = small;
    updateGeometry();
    update();
}

void Switch::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QSize s = sizeHint();
    const QRectF track(0.5, (height() - s.height()) / 2.0 + 0.5, s.width() - 1, s.height() - 1);
    QColor fill = isChecked() ? Palette::accent(palette())
                              : Palette::withAlpha(Palette::label(palette()), 0.18);
    if (!isEnabled()) fill = Palette::withAlpha(fill, fill.alphaF() * 0.45);
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const double knob = track.height() - 4;
    const double x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    const QRectF knobRect(x, track.top() + 2, knob, knob);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(knobRect.translated(0, 0.7));
    p.setBrush(Qt::white);
    p.drawEllipse(knobRect);
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::withAlpha(Palette::accent(palette()), 0.5), 2));
        p.drawRoundedRect(track.adjusted(-1, -1, 1, 1), track.height() / 2 + 1, track.height() / 2 + 1);
    }
}

#include "settings/welcome/PillButton.h"

#include <QPainter>

#include <algorithm>

#include "ui/Brand.h"
#include "settings/welcome/WelcomeColors.h"

namespace {

constexpr int height_ = 38;
constexpr int minWidth = 130;
constexpr int titlePadding = 44;

}  // namespace

PillButton::PillButton(QWidget* parent) : QPushButton(parent) {
    setFlat(true);
    setAutoDefault(false);
    setCursor(Qt::PointingHandCursor);
    setFont(Brand::systemFont(14, QFont::DemiBold));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PillButton::setTitle(const QString& title) {
    setText(title);
    updateGeometry();
    update();
}

QColor PillButton::fillColor() const { return isDown() ? WelcomeColors::pressed() : Brand::teal(this); }

QSize PillButton::sizeHint() const {
    const int standard = fontMetrics().horizontalAdvance(text());
    return {std::max(minWidth, standard + titlePadding), height_};
}

void PillButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(fillColor());
    const QRectF r = QRectF(rect());
    const double radius = std::min(r.height(), r.width()) / 2;
    p.drawRoundedRect(r, radius, radius);
    p.setPen(Qt::white);
    p.setFont(font());
    p.drawText(r, Qt::AlignCenter, text());
}

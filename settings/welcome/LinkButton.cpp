#include "settings/welcome/LinkButton.h"

#include <QPainter>

#include <cmath>

#include "ui/Brand.h"
#include "ui/Symbols.h"
#include "settings/welcome/WelcomeColors.h"

namespace {
constexpr double symbolSize = 11;
constexpr int symbolGap = 5;
constexpr int height_ = 22;
}  // namespace

LinkButton::LinkButton(const QString& title, const QString& symbol, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol) {
    setText(title);
    setFont(Brand::systemFont(14, QFont::Medium));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize LinkButton::sizeHint() const {
    const int symbol = Symbols::exists(symbol_) ? symbolGap + int(std::ceil(symbolSize)) : 0;
    return {fontMetrics().horizontalAdvance(text()) + symbol + 2, height_};
}

void LinkButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QColor tint = WelcomeColors::accent();
    if (isDown()) tint = tint.darker(130);
    p.setFont(font());
    p.setPen(tint);
    const int textWidth = fontMetrics().horizontalAdvance(text());
    p.drawText(QRect(0, 0, textWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter, text());
    const QPixmap image = Symbols::pixmap(symbol_, tint, symbolSize, devicePixelRatioF(), QFont::DemiBold);
    if (image.isNull()) return;
    const QSizeF size = QSizeF(image.size()) / image.devicePixelRatio();
    p.drawPixmap(QPointF(textWidth + symbolGap, (height() - size.height()) / 2), image);
}

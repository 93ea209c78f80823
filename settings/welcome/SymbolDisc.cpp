#include "settings/welcome/SymbolDisc.h"

#include <QPainter>

#include "ui/Symbols.h"

namespace {
constexpr int discSize = 32;
constexpr double symbolSize = 14;
}  // namespace

SymbolDisc::SymbolDisc(const QString& symbol, const QColor& color, QWidget* parent)
    : QWidget(parent), symbol_(symbol), color_(color) {
    setFixedSize(discSize, discSize);
}

void SymbolDisc::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QColor disc = color_;
    disc.setAlphaF(0.22f);
    p.setPen(Qt::NoPen);
    p.setBrush(disc);
    p.drawEllipse(QRectF(0, 0, discSize, discSize));
    const QPixmap image = Symbols::pixmap(symbol_, color_, symbolSize, devicePixelRatioF(), QFont::Bold);
    if (image.isNull()) return;
    const QSizeF size = QSizeF(image.size()) / image.devicePixelRatio();
    p.drawPixmap(QPointF((discSize - size.width()) / 2, (discSize - size.height()) / 2), image);
}

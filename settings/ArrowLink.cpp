#include "settings/ArrowLink.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"

namespace {
constexpr double gap = 4;  // between the symbol and the title
}

ArrowLink::ArrowLink(const QString& title, const QString& symbol, double symbolSize, Side side,
                       const QFont& font, QWidget* parent)
    : QAbstractButton(parent), symbol_(symbol), symbolSize_(symbolSize), side_(side) {
    setText(title);
    setFont(font);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

QSize ArrowLink::sizeHint() const {
    const QFontMetricsF metrics(font());
    const double width = metrics.horizontalAdvance(text()) + gap + symbolSize_;
    const double height = std::max(metrics.height(), symbolSize_) + 2;
    return {static_cast<int>(std::ceil(width)) + 1, static_cast<int>(std::ceil(height))};
}

QColor ArrowLink::tint() const {
    return isEnabled() ? Brand::teal(this) : Palette::tertiaryLabel(palette());
}

void ArrowLink::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colour = isDown() ? tint().darker(130) : tint();
    const QFontMetricsF metrics(font());
    const double textWidth = metrics.horizontalAdvance(text());
    const double symbolTop = (height() - symbolSize_) / 2;
    double textLeft = 0;
    double symbolLeft = textWidth + gap;
    if (side_ == Side::leading) {
        symbolLeft = 0;
        textLeft = symbolSize_ + gap;
    }
    const QPixmap image = Symbols::pixmap(symbol_, colour, symbolSize_, devicePixelRatioF(), QFont::DemiBold);
    if (!image.isNull()) painter.drawPixmap(QPointF(symbolLeft, symbolTop), image);
    painter.setFont(font());
    painter.setPen(colour);
    painter.drawText(QRectF(textLeft, 0, textWidth + 1, height()), Qt::AlignLeft | Qt::AlignVCenter,
                     text());
    if (hasFocus()) {
        painter.setPen(QPen(Palette::withAlpha(colour, 0.5), 1, Qt::DotLine));
        painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }
}

void ArrowLink::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange) update();
    if (event->type() == QEvent::FontChange) updateGeometry();
    QAbstractButton::changeEvent(event);
}

#include "app/DropZone.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"

namespace {

constexpr double symbolPoints = 34;

}  // namespace

DropZone::DropZone(QWidget* parent) : QWidget(parent) {
    Brand::initResources();
    setCursor(Qt::PointingHandCursor);
    setFixedHeight(zoneHeight);

    symbol_ = new QLabel(this);
    symbol_->setAlignment(Qt::AlignCenter);
    title_ = new QLabel(QStringLiteral("Arrastra aquí los PDF que quieras firmar"), this);
    title_->setFont(Brand::titleFont(20, QFont::DemiBold));
    title_->setAlignment(Qt::AlignCenter);
    subtitle_ = new QLabel(QStringLiteral("o"), this);
    subtitle_->setFont(Brand::systemFont(13));
    subtitle_->setAlignment(Qt::AlignCenter);
    button_ = new QPushButton(QStringLiteral("Elegir PDF…"), this);
    button_->setCursor(Qt::PointingHandCursor);
    button_->setFont(Brand::systemFont(14, QFont::Medium));
    connect(button_, &QPushButton::clicked, this, [this] { clicked(); });

    auto* stack = new QVBoxLayout(this);
    stack->setSpacing(8);
    stack->addStretch(1);
    stack->addWidget(symbol_, 0, Qt::AlignHCenter);
    stack->addSpacing(14 - 8);
    stack->addWidget(title_, 0, Qt::AlignHCenter);
    stack->addWidget(subtitle_, 0, Qt::AlignHCenter);
    stack->addWidget(button_, 0, Qt::AlignHCenter);
    stack->addStretch(1);
    updateSymbol();
    styleButton();
}

void DropZone::setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    updateSymbol();
    update();
}

QColor DropZone::symbolTint() const {
    const QColor teal = Brand::teal(this);
    return highlighted_ ? teal : Palette::withAlpha(teal, 0.75);
}

void DropZone::updateSymbol() {
    symbol_->setPixmap(Symbols::pixmap(QStringLiteral("signature"), symbolTint(), symbolPoints,
                                       devicePixelRatioF()));
    QPalette secondary = subtitle_->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryLabel(palette()));
    subtitle_->setPalette(secondary);
}

void DropZone::styleButton() {
    // The large rounded button in the brand's teal.
    const QColor teal = Brand::teal(this);
    button_->setStyleSheet(QStringLiteral(
        "QPushButton { background: %1; color: white; border: none; border-radius: 8px;"
        " padding: 7px 20px; }"
        "QPushButton:pressed { background: %2; }")
                               .arg(teal.name(), teal.darker(115).name()));
}

void DropZone::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), cornerRadius, cornerRadius);
    const QColor teal = Brand::teal(this);
    painter.fillPath(path, highlighted_ ? Palette::withAlpha(teal, 0.1) : Brand::card(this));
    const double width = highlighted_ ? 2 : 1.5;
    QPen pen(highlighted_ ? teal : Brand::tealLine(this), width);
    pen.setDashPattern({dashOn / width, dashOff / width});
    pen.setDashOffset(0);
    painter.strokePath(path, pen);
}

void DropZone::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        clicked();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void DropZone::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) {
        updateSymbol();
        styleButton();
        update();
    }
    QWidget::changeEvent(event);
}

void DropZone::clicked() {
    if (onClick) onClick();
}

#include "app/TipCard.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "ui/ColorView.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"

namespace {

constexpr int inset = 20;
constexpr int badgeSide = 32;
constexpr double badgeRadius = 9;
constexpr double symbolPoints = 15;

}  // namespace

TipCard::TipCard(const QString& symbol, const Brand::DynamicColor& color, const QString& title,
                 const QString& text, QWidget* parent)
    : CardView(parent), symbol_(symbol), color_(color) {
    Brand::initResources();
    const Brand::DynamicColor badgeColor{Palette::withAlpha(color.light, 0.14),
                                         Palette::withAlpha(color.dark, 0.14)};
    auto* badge = new ColorView(badgeColor, this);
    badge->setCornerRadius(badgeRadius);
    badge->setFixedSize(badgeSide, badgeSide);
    badgeSymbol_ = new QLabel(badge);
    badgeSymbol_->setAlignment(Qt::AlignCenter);
    auto* badgeLayout = new QHBoxLayout(badge);
    badgeLayout->setContentsMargins(0, 0, 0, 0);
    badgeLayout->addWidget(badgeSymbol_, 0, Qt::AlignCenter);

    // Both wrap within the card's width, which the tip row decides.
    QSizePolicy wrapping(QSizePolicy::Ignored, QSizePolicy::Preferred);
    wrapping.setHeightForWidth(true);
    title_ = new QLabel(title, this);
    title_->setFont(Brand::titleFont(15, QFont::DemiBold));
    title_->setWordWrap(true);
    title_->setSizePolicy(wrapping);
    text_ = new QLabel(text, this);
    text_->setFont(Brand::systemFont(13));
    text_->setWordWrap(true);
    text_->setSizePolicy(wrapping);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(inset, inset, inset, inset);
    stack->setSpacing(6);
    stack->addWidget(badge, 0, Qt::AlignLeft);
    stack->addSpacing(12 - 6);
    stack->addWidget(title_);
    stack->addWidget(text_);
    stack->addStretch(1);
    applyColors();
}

void TipCard::applyColors() {
    badgeSymbol_->setPixmap(Symbols::pixmap(symbol_, color_(this), symbolPoints,
                                            devicePixelRatioF(), QFont::DemiBold));
    QPalette secondary = text_->palette();
    secondary.setColor(QPalette::WindowText, Palette::secondaryLabel(palette()));
    text_->setPalette(secondary);
}

void TipCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) applyColors();
    CardView::changeEvent(event);
}

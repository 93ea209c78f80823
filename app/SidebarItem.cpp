#include "app/SidebarItem.h"

#include <algorithm>

#include <QEnterEvent>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QResizeEvent>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"

namespace {

constexpr double iconPoints = 14;
constexpr int iconWidth = 20;
constexpr double arrowPoints = 9;
constexpr int leadingInset = 8;
constexpr int spacing = 9;

void setTextColor(QLabel* label, const QColor& color) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
}

}  // namespace

SidebarItem::SidebarItem(const QString& title, const QString& symbol, bool opensWeb, QWidget* parent)
    : QAbstractButton(parent), title_(title), symbol_(symbol), opensWeb_(opensWeb) {
    Brand::initResources();
    setText(title);
    setAccessibleName(title);
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover);
    setFixedHeight(itemHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    icon_ = new QLabel(this);
    icon_->setFixedWidth(iconWidth);
    icon_->setAlignment(Qt::AlignCenter);
    label_ = new QLabel(title, this);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(leadingInset, 0, 0, 0);
    row->setSpacing(spacing);
    row->addWidget(icon_, 0, Qt::AlignVCenter);
    row->addWidget(label_, 0, Qt::AlignVCenter);
    if (opensWeb_) {
        arrow_ = new QLabel(this);
        arrow_->setAccessibleDescription(QStringLiteral("Abre la web"));
        row->addWidget(arrow_, 0, Qt::AlignVCenter);
    }
    row->addStretch(1);
    for (QLabel* child : {icon_, label_, arrow_}) {
        if (child) child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    applyLook();
}

void SidebarItem::setSelected(bool selected) {
    selected_ = selected;
    applyLook();
    update();
}

void SidebarItem::applyLook() {
    label_->setFont(Brand::systemFont(13, selected_ ? QFont::DemiBold : QFont::Normal));
    setTextColor(label_, selected_ ? Brand::tealDeep(this) : Palette::label(palette()));
    const QColor tint = selected_ ? Brand::teal(this) : Palette::secondaryLabel(palette());
    // An unknown symbol gives a null pixmap: the icon stays empty.
    icon_->setPixmap(Symbols::pixmap(symbol_, tint, iconPoints, devicePixelRatioF(), QFont::Medium));
    if (arrow_) {
        arrow_->setPixmap(Symbols::pixmap(QStringLiteral("arrow.up.right"),
                                          Palette::tertiaryLabel(palette()), arrowPoints,
                                          devicePixelRatioF(), QFont::DemiBold));
    }
    fitTitle();
}

void SidebarItem::fitTitle() {
    if (width() <= 0) return;
    int room = width() - leadingInset - iconWidth - spacing;
    if (arrow_) room -= arrow_->sizeHint().width() + spacing;
    const QFontMetrics metrics(label_->font());
    const bool wraps = room > 0 && metrics.horizontalAdvance(title_) > room;
    int height = itemHeight;
    if (wraps) {
        label_->setWordWrap(true);
        label_->setFixedWidth(room);
        const int textHeight =
            metrics.boundingRect(QRect(0, 0, room, QWIDGETSIZE_MAX), Qt::TextWordWrap, title_).height();
        height = std::max(itemHeight, textHeight + itemHeight - metrics.height());
    } else {
        label_->setWordWrap(false);
        label_->setMinimumWidth(0);
        label_->setMaximumWidth(QWIDGETSIZE_MAX);
    }
    // The width never depends on the height, so this settles after one more layout pass.
    if (height != this->height()) setFixedHeight(height);
}

void SidebarItem::resizeEvent(QResizeEvent* event) {
    QAbstractButton::resizeEvent(event);
    if (event->size().width() != event->oldSize().width()) fitTitle();
}

QSize SidebarItem::sizeHint() const {
    return QSize(layout() ? layout()->sizeHint().width() : 100, itemHeight);
}

void SidebarItem::paintEvent(QPaintEvent*) {
    QColor fill;
    if (selected_) {
        fill = Palette::withAlpha(Brand::teal(this), 0.14);
    } else if (hovering_) {
        fill = Palette::withAlpha(Palette::label(palette()), 0.05);
    } else {
        return;
    }
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), cornerRadius, cornerRadius);
    painter.fillPath(shape, fill);
}

void SidebarItem::enterEvent(QEnterEvent* event) {
    hovering_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void SidebarItem::leaveEvent(QEvent* event) {
    hovering_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void SidebarItem::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) applyLook();
    QAbstractButton::changeEvent(event);
}

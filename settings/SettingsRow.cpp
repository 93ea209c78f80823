#include "settings/SettingsRow.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/ColorView.h"
#include "ui/Switch.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"
#include "settings/ToneLabel.h"

namespace {

// The chevron, tinted at paint time so it follows the palette.
class Chevron : public QWidget {
public:
    Chevron() { setFixedSize(12, 12); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QPixmap image = Symbols::pixmap(QStringLiteral("chevron.right"),
                                              Palette::tertiaryLabel(palette()), 12,
                                              devicePixelRatioF(), QFont::DemiBold);
        if (!image.isNull()) painter.drawPixmap(0, 0, image);
    }
};

}  // namespace

SettingsRow::SettingsRow(const QString& title, const QString& detail, QWidget* accessory,
                         QWidget* below, QWidget* parent)
    : SettingsRow(title, SettingsRow::detail(detail), accessory, below, parent) {}

SettingsRow::SettingsRow(const QString& title, QLabel* detailLabel, QWidget* accessory,
                         QWidget* below, QWidget* parent)
    : QWidget(parent), detail_(detailLabel), accessory_(accessory), below_(below) {
    title_ = new QLabel(title);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(Brand::systemFont(13, QFont::Medium));
    title_->setWordWrap(true);

    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(title_);
    column->addWidget(detail_);

    auto* top = new QHBoxLayout;
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(20);
    top->addLayout(column, 1);
    if (accessory_) {
        // A switch takes the small size; any other control keeps its own.
        if (auto* toggle = qobject_cast<Switch*>(accessory_)) toggle->setSmall(true);
        accessory_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        top->addWidget(accessory_, 0, Qt::AlignVCenter);
    }

    auto* content = new QVBoxLayout(this);
    content->setContentsMargins(inset, 14, inset, 14);
    content->setSpacing(12);
    content->addLayout(top);
    if (below_) content->addWidget(below_);
}

void SettingsRow::setOnClick(std::function<void()> onClick) {
    onClick_ = std::move(onClick);
    if (onClick_) {
        setCursor(Qt::PointingHandCursor);
    } else {
        unsetCursor();
    }
}

void SettingsRow::mousePressEvent(QMouseEvent* event) {
    pressed_ = onClick_ && event->button() == Qt::LeftButton;
    if (pressed_) {
        event->accept();
    } else {
        QWidget::mousePressEvent(event);
    }
}

void SettingsRow::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click && onClick_) {
        event->accept();
        // A copy: the owner may replace the row's contents from inside.
        const auto call = onClick_;
        call();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

QLabel* SettingsRow::detail(const QString& text) {
    auto* label = new ToneLabel(text, ToneLabel::Tone::secondary);
    label->setFont(Brand::systemFont(12));
    label->setWordWrap(true);
    return label;
}

QWidget* SettingsRow::separator() {
    auto* holder = new QWidget;
    holder->setFixedHeight(1);
    holder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    auto* layout = new QHBoxLayout(holder);
    layout->setContentsMargins(inset, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(new ColorView(Brand::cardLine));
    return holder;
}

QWidget* SettingsRow::chevron() { return new Chevron; }

QWidget* SettingsRow::padded(QWidget* view) {
    auto* holder = new QWidget;
    auto* layout = new QVBoxLayout(holder);
    layout->setContentsMargins(inset, 16, inset, 16);
    layout->setSpacing(0);
    layout->addWidget(view);
    return holder;
}

#include "document/formfill/SuggestionsReview.h"

#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "document/formfill/FieldCaption.h"
#include "document/formfill/FormFillWidgets.h"

using FormFillWidgets::qs;

namespace {

constexpr int captionIndent = 30;   // caption and separator, from the row's leading edge
constexpr int rowMargin = 10;       // left and right inside a row
constexpr int boxWidth = 360;       // widest check box
constexpr int captionWidth = 340;   // widest caption
constexpr int indicatorRoom = 24;   // the check box's square and its gap

// The frame round the list: rounded, in the control background, with a separator-coloured line.
class ListFrame : public QFrame {
public:
    using QFrame::QFrame;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Palette::separator(palette()), 1));
        p.setBrush(Palette::controlBackground(palette()));
        p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

}  // namespace

int SuggestionsReview::frameHeight(std::size_t items) {
    const std::size_t grown = std::min<std::size_t>(items * rowHeight, maxListHeight);
    return static_cast<int>(grown) + 2;
}

std::string SuggestionsReview::caption(const FillItem& item) { return FieldCaption::caption(item); }

SuggestionsReview::SuggestionsReview(std::vector<FillItem> items, QWidget* parent)
    : QWidget(parent), items_(std::move(items)) {
    using FormFillWidgets::Level;
    auto* content = new QVBoxLayout(this);
    content->setContentsMargins(inset, inset, inset, inset);
    content->setSpacing(8);

    content->addWidget(FormFillWidgets::label(QStringLiteral("Por confirmar"), 13, Level::primary, this, true));
    content->addWidget(FormFillWidgets::wrapping(
        QStringLiteral("Desmarca lo que no esté bien: se queda en amarillo."), 12, Level::secondary,
        listWidth, this));
    content->addSpacing(12 - content->spacing());

    auto* list = new QWidget;
    list->setAutoFillBackground(false);
    auto* rows = new QVBoxLayout(list);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(0);
    for (std::size_t offset = 0; offset < items_.size(); ++offset) {
        const FillItem& item = items_[offset];
        if (offset > 0) {
            auto* line = new QWidget(list);
            line->setFixedHeight(1);
            auto* lineLayout = new QHBoxLayout(line);
            lineLayout->setContentsMargins(captionIndent, 0, 0, 0);
            auto* rule = new QFrame(line);
            rule->setFixedHeight(1);
            rule->setAutoFillBackground(true);
            QPalette palette = rule->palette();
            palette.setColor(QPalette::Window, Palette::separator(palette));
            rule->setPalette(palette);
            lineLayout->addWidget(rule);
            rows->addWidget(line);
        }
        auto* row = new QWidget(list);
        auto* rowLayout = new QVBoxLayout(row);
        // A row and its separator take the frame's step of 46 points.
        row->setFixedHeight(rowHeight - 1);
        rowLayout->setContentsMargins(rowMargin, 6, rowMargin, 5);
        rowLayout->setSpacing(2);

        auto* box = new QCheckBox(row);
        box->setFont(Brand::systemFont(13));
        box->setText(box->fontMetrics().elidedText(qs(item.value), Qt::ElideRight, boxWidth - indicatorRoom));
        box->setChecked(true);
        if (item.source) box->setToolTip(qs(*item.source));
        box->setMaximumWidth(boxWidth);
        box->setFixedHeight(18);
        connect(box, &QCheckBox::toggled, this, [this] { ticked(); });
        boxes_.push_back(box);

        QLabel* caption = FormFillWidgets::label({}, 11, Level::secondary, row);
        caption->setText(caption->fontMetrics().elidedText(qs(SuggestionsReview::caption(item)),
                                                           Qt::ElideRight, captionWidth));
        caption->setMaximumWidth(captionWidth);
        caption->setFixedHeight(14);
        caption->setContentsMargins(captionIndent - rowMargin, 0, 0, 0);

        rowLayout->addWidget(box);
        rowLayout->addWidget(caption);
        rows->addWidget(row);
    }
    rows->addStretch(1);

    auto* scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setWidgetResizable(true);
    scroll->setWidget(list);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->setStyleSheet(QStringLiteral("QScrollArea { background: transparent; }"));

    frame_ = new ListFrame(this);
    frame_->setFixedSize(listWidth, frameHeight(items_.size()));
    auto* frameLayout = new QVBoxLayout(frame_);
    frameLayout->setContentsMargins(1, 1, 1, 1);
    frameLayout->addWidget(scroll);
    content->addWidget(frame_);
    content->addSpacing(14 - content->spacing());

    cancelButton_ = FormFillWidgets::button(QStringLiteral("Cancelar"), this);
    confirmButton_ = FormFillWidgets::button({}, this);
    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancelPressed(); });
    connect(confirmButton_, &QPushButton::clicked, this, [this] { confirmPressed(); });
    auto* buttons = new QWidget(this);
    buttons->setFixedWidth(listWidth);
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->setContentsMargins(0, 0, 0, 0);
    buttonLayout->addStretch(1);
    buttonLayout->addWidget(cancelButton_);
    buttonLayout->addWidget(confirmButton_);
    content->addWidget(buttons);

    // Return and keypad Enter confirm wherever the focus is in the popover. As shortcuts they
    // come before the focused widget sees the key: some platform themes let a focused check box
    // take Return or Enter and toggle itself.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        shortcut->setContext(Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (confirmButton_->isEnabled()) confirmPressed();
        });
    }

    setFixedWidth(listWidth + 2 * inset);
    ticked();
}

void SuggestionsReview::ticked() {
    const auto n = std::count_if(boxes_.begin(), boxes_.end(), [](const QCheckBox* b) { return b->isChecked(); });
    confirmButton_->setText(QStringLiteral("Confirmar %1").arg(n));
    confirmButton_->setEnabled(n >= 1);
}

void SuggestionsReview::confirmPressed() {
    if (!onDone) return;
    std::set<int> ids;
    const std::size_t n = std::min(items_.size(), boxes_.size());
    for (std::size_t i = 0; i < n; ++i)
        if (boxes_[i]->isChecked()) ids.insert(items_[i].field.id);
    onDone(std::move(ids));
}

void SuggestionsReview::cancelPressed() {
    if (onDone) onDone(std::nullopt);
}

void SuggestionsReview::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (confirmButton_->isEnabled()) confirmPressed();
            event->accept();
            return;
        case Qt::Key_Escape:
            cancelPressed();
            event->accept();
            return;
        default:
            QWidget::keyPressEvent(event);
    }
}

#include "profilepane/FactRow.h"

#include <QCheckBox>
#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QResizeEvent>
#include <QTextBoundaryFinder>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"
#include "profilepane/WrapLabel.h"

namespace {

constexpr int rowInset = 3;
constexpr int columnGap = 8;
constexpr int textSize = 13;
constexpr int detailSize = 12;
constexpr double removeSymbolPoints = 16;

// A label whose every line is cut at its end with an ellipsis where it does not fit; text()
// stays the whole text.
class ElidedLines : public QLabel {
public:
    using QLabel::QLabel;

    QSize minimumSizeHint() const override { return QSize(0, sizeHint().height()); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect area = contentsRect();
        const QFontMetrics metrics = fontMetrics();
        int y = area.top();
        for (const QString& line : text().split(QLatin1Char('\n'))) {
            painter.drawText(QRect(area.left(), y, area.width(), metrics.height()), Qt::AlignLeft | Qt::AlignTop,
                             metrics.elidedText(line, Qt::ElideRight, area.width()));
            y += metrics.lineSpacing();
        }
    }
};

// The value: wraps at word boundaries, and inside a word that is wider than the column, so
// nothing of it is cut; the whole value is then also its tooltip. Stays selectable as a label.
class ValueLabel : public BreakingLabel {
public:
    using BreakingLabel::BreakingLabel;

protected:
    void resizeEvent(QResizeEvent* event) override {
        BreakingLabel::resizeEvent(event);
        const QString tip = needsBreaks(contentsRect().width()) ? text() : QString();
        if (toolTip() != tip) setToolTip(tip);
    }
};

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

}  // namespace

QString FactRow::shownValue(const QString& value, bool isLong) {
    if (!isLong) return value;
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, value);
    int count = 0;
    qsizetype cut = 0;  // where the first longValueKept characters end
    while (graphemes.toNextBoundary() != -1) {
        ++count;
        if (count == longValueKept) cut = graphemes.position();
        if (count > longValueLimit) return value.left(cut) + QChar(0x2026);
    }
    return value;
}

FactRow::FactRow(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("factRow"));
    check_ = new QCheckBox(this);
    check_->setObjectName(QStringLiteral("check"));
    remove_ = new QToolButton(this);
    remove_->setObjectName(QStringLiteral("remove"));
    kind_ = new WrapLabel(QString(), this);
    kind_->setObjectName(QStringLiteral("kind"));
    value_ = new ValueLabel(QString(), this);
    value_->setObjectName(QStringLiteral("value"));
    detail_ = new ElidedLines(this);
    detail_->setObjectName(QStringLiteral("detail"));
    for (QLabel* label : {kind_, value_, detail_}) label->setTextFormat(Qt::PlainText);
}

void FactRow::configure(const QString& kind, const QString& value, const std::optional<QString>& detail,
                        const std::optional<QString>& previous, std::optional<bool> checked, bool isLong) {
    const QPalette colors = palette();

    kind_->setText(kind);
    kind_->setFont(Brand::systemFont(textSize));
    kind_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    kind_->setFixedWidth(kindWidth);
    QSizePolicy fixedWidth(QSizePolicy::Fixed, QSizePolicy::Preferred);
    fixedWidth.setHeightForWidth(true);
    kind_->setSizePolicy(fixedWidth);
    setTextColor(kind_, Palette::secondaryLabel(colors));

    value_->setText(shownValue(value, isLong));
    value_->setFont(Brand::systemFont(textSize));
    value_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    detailText_ = detail;
    previous_ = previous;
    detail_->setFont(Brand::systemFont(detailSize));
    detail_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    showDetail();

    QWidget* control = nullptr;
    if (checked) {
        control = check_;
        check_->setChecked(*checked);
        connect(check_, &QCheckBox::clicked, this, [this](bool on) {
            if (onCheck) onCheck(on);
        });
        remove_->hide();
    } else {
        control = remove_;
        remove_->setIcon(Symbols::icon(QStringLiteral("minus.circle"), Palette::tertiaryLabel(colors),
                                       removeSymbolPoints));
        remove_->setIconSize(QSize(static_cast<int>(removeSymbolPoints), static_cast<int>(removeSymbolPoints)));
        remove_->setAutoRaise(true);
        remove_->setStyleSheet(QStringLiteral("QToolButton { border: none; padding: 0; }"));
        remove_->setAccessibleName(QStringLiteral("Quitar"));
        remove_->setToolTip(QStringLiteral("Quitar este dato"));
        remove_->setCursor(Qt::PointingHandCursor);
        connect(remove_, &QToolButton::clicked, this, [this] {
            if (onRemove) onRemove();
        });
        check_->hide();
    }
    control->setFixedWidth(controlWidth);

    auto* column = new QVBoxLayout;
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(1);
    column->addWidget(value_);
    column->addWidget(detail_);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, rowInset, 0, rowInset);
    row->setSpacing(columnGap);
    row->addWidget(control, 0, Qt::AlignTop);
    texts_ = new QBoxLayout(QBoxLayout::LeftToRight);
    texts_->setSpacing(columnGap);
    texts_->addWidget(kind_, 0, Qt::AlignTop);
    texts_->addLayout(column, 1);
    row->addLayout(texts_, 1);
}

void FactRow::setNote(const std::optional<QString>& note) {
    if (note == note_) return;
    note_ = note;
    showDetail();
}

void FactRow::showDetail() {
    const std::optional<QString>& warning = note_ ? note_ : previous_;
    QStringList lines;
    if (detailText_) lines << *detailText_;
    if (warning) lines << *warning;
    detail_->setText(lines.join(QLatin1Char('\n')));
    // The line is cut where the column ends: the tooltip says it whole.
    detail_->setToolTip(detail_->text());
    const QPalette colors = palette();
    setTextColor(detail_, warning ? Palette::orange(colors) : Palette::tertiaryLabel(colors));
    detail_->setVisible(!lines.isEmpty());
}

void FactRow::fit(int width) {
    if (!texts_) return;
    // Beside the kind while the value keeps a readable width, under it in a narrow list.
    const int valueWidth = width - controlWidth - 2 * columnGap - kindWidth;
    const auto direction = valueWidth >= minimumValueWidth ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
    if (texts_->direction() != direction) {
        const bool beside = direction == QBoxLayout::LeftToRight;
        texts_->setDirection(direction);
        texts_->setSpacing(beside ? columnGap : 1);
        // Under it the kind takes the row's width too.
        kind_->setMinimumWidth(beside ? kindWidth : 0);
        kind_->setMaximumWidth(beside ? kindWidth : QWIDGETSIZE_MAX);
        QSizePolicy policy(beside ? QSizePolicy::Fixed : QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        kind_->setSizePolicy(policy);
        texts_->setAlignment(kind_, beside ? Qt::AlignTop : Qt::Alignment());
    }
}

bool FactRow::hasHeightForWidth() const { return true; }

int FactRow::heightForWidth(int width) const {
    const_cast<FactRow*>(this)->fit(width);
    return layout() ? layout()->totalHeightForWidth(width) : QWidget::heightForWidth(width);
}

void FactRow::resizeEvent(QResizeEvent* event) {
    fit(event->size().width());
    QWidget::resizeEvent(event);
}

void FactRow::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (onHover) onHover(true);
}

void FactRow::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (onHover) onHover(false);
}

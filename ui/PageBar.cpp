#include "ui/PageBar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include <algorithm>
#include <cmath>

#include "ui/Brand.h"
#include "ui/Symbols.h"

namespace {

const QColor barInk{245, 245, 247};
const QColor fadedInk{245, 245, 247, 90};

// The widest figure's advance: every figure's cell.
qreal figureCell(const QFontMetricsF& metrics) {
    qreal widest = 0;
    for (char16_t d = u'0'; d <= u'9'; ++d) widest = std::max(widest, metrics.horizontalAdvance(QChar(d)));
    return widest;
}

// Lays `text` out with every figure in a cell of the widest figure's width: calls `draw` with
// each run of other characters and each figure, at its x; returns the whole width.
template <class Draw>
qreal setFigures(const QFontMetricsF& metrics, const QString& text, Draw draw) {
    const qreal cell = figureCell(metrics);
    qreal x = 0;
    QString run;
    auto flush = [&] {
        if (run.isEmpty()) return;
        draw(x, run);
        x += metrics.horizontalAdvance(run);
        run.clear();
    };
    for (const QChar c : text) {
        if (!c.isDigit()) {
            run += c;
            continue;
        }
        flush();
        draw(x + (cell - metrics.horizontalAdvance(c)) / 2, QString(c));
        x += cell;
    }
    flush();
    return x;
}

int figureWidth(const QFont& font, const QString& text) {
    return static_cast<int>(std::ceil(setFigures(QFontMetricsF(font), text, [](qreal, const QString&) {})));
}

// A one-line label whose figures each take the room of the widest one (tabular figures), so a
// page number changing never moves the words round it: the fonts cannot be asked for that
// feature here, so the label sets the figures itself.
class FigureLabel final : public QLabel {
public:
    using QLabel::QLabel;

    QSize sizeHint() const override {
        return {figureWidth(font(), text()) + 2, QFontMetrics(font()).height()};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(palette().color(foregroundRole()));
        const QFontMetricsF metrics(font());
        const qreal left = (width() - figureWidth(font(), text())) / 2.0;
        const qreal baseline = (height() - metrics.height()) / 2 + metrics.ascent();
        setFigures(metrics, text(), [&](qreal x, const QString& part) {
            painter.drawText(QPointF(left + x, baseline), part);
        });
    }
};

}  // namespace

PageBar::PageBar(QWidget* parent, const Look& look) : FloatingBar(parent) {
    previousPage_ = button(QStringLiteral("chevron.left"), QStringLiteral("Página anterior"), look);
    nextPage_ = button(QStringLiteral("chevron.right"), QStringLiteral("Página siguiente"), look);
    zoomOut_ = button(QStringLiteral("minus.magnifyingglass"), QStringLiteral("Reducir"), look);
    zoomIn_ = button(QStringLiteral("plus.magnifyingglass"), QStringLiteral("Ampliar"), look);
    zoomFit_ = button(QString(), QString(), look);
    zoomFit_->setText(QStringLiteral("Ajustar"));
    zoomFit_->setFont(Brand::systemFont(12, QFont::Medium));

    pageLabel_ = look.monospaceDigits ? new FigureLabel(this) : new QLabel(this);
    pageLabel_->setFont(Brand::systemFont(12, QFont::Medium));
    pageLabel_->setAlignment(Qt::AlignCenter);

    pageNavigation_ = new QWidget(this);
    auto* navigation = new QHBoxLayout(pageNavigation_);
    navigation->setContentsMargins(0, 0, 0, 0);
    navigation->setSpacing(10);
    navigation->addWidget(previousPage_);
    navigation->addWidget(pageLabel_);
    navigation->addWidget(nextPage_);

    auto* zoom = new QHBoxLayout;
    zoom->setSpacing(6);
    zoom->addWidget(zoomOut_);
    zoom->addWidget(zoomFit_);
    zoom->addWidget(zoomIn_);

    auto* bar = new QHBoxLayout(this);
    bar->setContentsMargins(10, 6, 10, 6);
    bar->setSpacing(14);
    bar->addWidget(pageNavigation_);
    bar->addLayout(zoom);
    if (look.fixedSize) bar->setSizeConstraint(QLayout::SetFixedSize);
}

QString PageBar::labelText(int page, int pageCount) {
    return QStringLiteral("Página %1 de %2").arg(page + 1).arg(pageCount);
}

int PageBar::labelWidth(const QFont& font, int pageCount) {
    // The longest text of the document: the page count on both sides, every figure the widest
    // one, so no page's number is ever cut and the bar keeps its size from page to page.
    // Each figure of the count on both sides as wide as the widest one.
    const QFontMetrics metrics(font);
    QString text = labelText(std::max(pageCount, 1) - 1, std::max(pageCount, 1));
    QChar widest = u'0';
    for (char16_t d = u'1'; d <= u'9'; ++d)
        if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(widest)) widest = QChar(d);
    for (QChar& c : text)
        if (c.isDigit()) c = widest;
    return std::max(metrics.horizontalAdvance(text), figureWidth(font, text)) + 2;
}

void PageBar::setState(const State& state) {
    // Shown as it was made: showing it again before the window is shown would lay the window out
    // for nothing.
    if (pageNavigation_->isVisibleTo(this) == state.allPages)
        pageNavigation_->setVisible(!state.allPages);
    pageLabel_->setMinimumWidth(labelWidth(pageLabel_->font(), state.pageCount));
    pageLabel_->setText(labelText(state.page, state.pageCount));
    previousPage_->setEnabled(state.page > 0);
    nextPage_->setEnabled(state.page < state.pageCount - 1);
    zoomOut_->setEnabled(state.canZoomOut);
    zoomIn_->setEnabled(state.canZoomIn);
    zoomFit_->setEnabled(state.canZoomToFit);
}

QToolButton* PageBar::button(const QString& symbol, const QString& description, const Look& look) {
    auto* button = new QToolButton(this);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    if (look.arrowCursor) button->setCursor(Qt::ArrowCursor);
    if (symbol.isEmpty()) return button;
    QIcon icon = Symbols::icon(symbol, barInk, look.symbolPoints);
    if (look.fadedWhenDisabled) {
        icon.addPixmap(Symbols::pixmap(symbol, fadedInk, look.symbolPoints, 1), QIcon::Disabled);
        icon.addPixmap(Symbols::pixmap(symbol, fadedInk, look.symbolPoints, 2), QIcon::Disabled);
    }
    button->setIcon(icon);
    const int side = static_cast<int>(look.symbolPoints);
    button->setIconSize(QSize(side, side));
    button->setAccessibleName(description);
    button->setToolTip(description);
    return button;
}

#include "ui/PageBar.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

#include "ui/Brand.h"
#include "ui/Symbols.h"

namespace {

const QColor barInk{245, 245, 247};
const QColor fadedInk{245, 245, 247, 90};

}  // namespace

PageBar::PageBar(QWidget* parent, const Look& look) : FloatingBar(parent) {
    previousPage_ = button(QStringLiteral("chevron.left"), QStringLiteral("Página anterior"), look);
    nextPage_ = button(QStringLiteral("chevron.right"), QStringLiteral("Página siguiente"), look);
    zoomOut_ = button(QStringLiteral("minus.magnifyingglass"), QStringLiteral("Reducir"), look);
    zoomIn_ = button(QStringLiteral("plus.magnifyingglass"), QStringLiteral("Ampliar"), look);
    zoomFit_ = button(QString(), QString(), look);
    zoomFit_->setText(QStringLiteral("Ajustar"));
    zoomFit_->setFont(Brand::systemFont(12, QFont::Medium));

    pageLabel_ = new QLabel(this);
    QFont digits = Brand::systemFont(12, QFont::Medium);
    if (look.monospaceDigits) digits.setStyleHint(QFont::Monospace);
    pageLabel_->setFont(digits);
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
    const QFontMetrics metrics(font);
    QChar widest = u'0';
    for (char16_t d = u'0'; d <= u'9'; ++d)
        if (metrics.horizontalAdvance(QChar(d)) > metrics.horizontalAdvance(widest)) widest = QChar(d);
    QString text = labelText(std::max(pageCount, 1) - 1, std::max(pageCount, 1));
    for (QChar& c : text)
        if (c.isDigit()) c = widest;
    return metrics.horizontalAdvance(text) + 2;
}

void PageBar::setState(const State& state) {
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

#pragma once
// A plain-text label that wraps at word boundaries and takes no minimum height beyond one line:
// its layout gives it the height its text needs at the width it gets (height for width), so a
// list of such labels never claims the height of its narrowest possible wrapping.
// BreakingLabel also breaks inside a word that is wider than the label (an address of the net,
// an IBAN written without blanks), so nothing of its text is cut.

#include <QLabel>
#include <QPainter>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QTextLayout>

#include <cmath>

class WrapLabel : public QLabel {
public:
    explicit WrapLabel(const QString& text = {}, QWidget* parent = nullptr) : QLabel(text, parent) {
        setTextFormat(Qt::PlainText);
        setWordWrap(true);
        // Any width, the height following from it (setting a policy clears the flag that
        // setWordWrap had set).
        QSizePolicy policy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    QSize minimumSizeHint() const override { return QSize(0, fontMetrics().height()); }
};

class BreakingLabel : public WrapLabel {
public:
    using WrapLabel::WrapLabel;

    int heightForWidth(int width) const override {
        const QMargins margins = contentsMargins();
        const int inner = width - margins.left() - margins.right();
        if (!needsBreaks(inner)) return WrapLabel::heightForWidth(width);
        QTextLayout layout(laidOutText(), font());
        return fill(layout, inner) + margins.top() + margins.bottom();
    }

protected:
    // Whether a word of the text is wider than `width`, so that it is broken inside.
    bool needsBreaks(int width) const {
        if (width <= 0) return false;
        const QFontMetrics metrics = fontMetrics();
        for (const QString& word : text().split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
            if (metrics.horizontalAdvance(word) > width) return true;
        }
        return false;
    }

    void resizeEvent(QResizeEvent* event) override {
        WrapLabel::resizeEvent(event);
        const bool breaks = needsBreaks(contentsRect().width());
        if (breaks != broken_) {
            broken_ = breaks;
            updateGeometry();
        }
    }
    void paintEvent(QPaintEvent* event) override {
        if (!needsBreaks(contentsRect().width())) return WrapLabel::paintEvent(event);
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        QTextLayout layout(laidOutText(), font());
        fill(layout, contentsRect().width());
        layout.draw(&painter, contentsRect().topLeft());
    }

private:
    // The text with its line feeds as the line separators a text layout breaks at.
    QString laidOutText() const {
        QString laid = text();
        laid.replace(QLatin1Char('\n'), QChar::LineSeparator);
        return laid;
    }
    // Lays the text out in lines of `width`, at word boundaries where it can and anywhere inside
    // a longer word; returns the height of the lines.
    int fill(QTextLayout& layout, int width) const {
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        qreal y = 0;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            line.setPosition(QPointF(0, y));
            y += line.height();
        }
        layout.endLayout();
        return static_cast<int>(std::ceil(y));
    }

    bool broken_ = false;
};

#pragma once
// A borderless link in the brand's teal with a symbol beside its title: after it ("arrow.up.right"
// for a page that opens elsewhere) or before it ("chevron.left" for going back). Painted, so the
// colour follows the palette; disabled links are drawn in the tertiary label colour.

#include <QAbstractButton>

class ArrowLink : public QAbstractButton {
    Q_OBJECT
public:
    enum class Side { leading, trailing };

    ArrowLink(const QString& title, const QString& symbol, double symbolSize, Side side,
               const QFont& font, QWidget* parent = nullptr);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }
    // The colour the title is drawn in now.
    QColor tint() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString symbol_;
    double symbolSize_;
    Side side_;
};

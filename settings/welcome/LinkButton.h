#pragma once
// A text link of the welcome pages: the title in the welcome accent colour, medium 14, followed by
// a small symbol (semibold 11). A plain button: clicked() fires on a press and release.

#include <QAbstractButton>

class LinkButton : public QAbstractButton {
    Q_OBJECT
public:
    LinkButton(const QString& title, const QString& symbol, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
};

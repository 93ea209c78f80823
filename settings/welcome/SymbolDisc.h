#pragma once
// The mark of a check row on the welcome pages: a 32-point disc in the row's colour at alpha 0.22
// with the row's symbol, bold 14, in the full colour. An unknown symbol leaves the disc empty.

#include <QColor>
#include <QString>
#include <QWidget>

class SymbolDisc : public QWidget {
    Q_OBJECT
public:
    SymbolDisc(const QString& symbol, const QColor& color, QWidget* parent = nullptr);

    QString symbol() const { return symbol_; }
    QColor color() const { return color_; }

    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    QColor color_;
};

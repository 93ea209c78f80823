#pragma once
// A card of the home window's signing section: a tinted badge with a symbol, a title and a short
// wrapping text.

#include <QString>

#include "ui/Brand.h"
#include "ui/CardView.h"

class QLabel;

class TipCard : public CardView {
    Q_OBJECT
public:
    TipCard(const QString& symbol, const Brand::DynamicColor& color, const QString& title,
            const QString& text, QWidget* parent = nullptr);

    QLabel* title() const { return title_; }
    QLabel* text() const { return text_; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void applyColors();

    QString symbol_;
    Brand::DynamicColor color_;
    QLabel* badgeSymbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* text_ = nullptr;
};

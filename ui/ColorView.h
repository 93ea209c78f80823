#pragma once
// A flat fill of one colour, for separators and status dots. The colour may be dynamic (light
// and dark variants), resolved at paint time.

#include <QWidget>

#include "ui/Brand.h"

class ColorView : public QWidget {
    Q_OBJECT
public:
    explicit ColorView(const QColor& color, QWidget* parent = nullptr);
    explicit ColorView(const Brand::DynamicColor& color, QWidget* parent = nullptr);

    // The colour in the current appearance.
    QColor color() const { return color_.at(palette()); }
    // Setting, even to the same colour, repaints.
    void setColor(const QColor& color);
    void setColor(const Brand::DynamicColor& color);
    // Rounds the corners (a status dot: half its side). 0: square.
    void setCornerRadius(double radius);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    Brand::DynamicColor color_;
    double cornerRadius_ = 0;
};

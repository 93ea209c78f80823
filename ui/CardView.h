#pragma once
// The rounded card that groups content on the home window, the options pane and the profile
// pane: fill Brand::card, a 1-pixel Brand::cardLine border, corner radius `radius` (14) and a faint
// shadow below. Colours are resolved at paint time, so the card follows light and dark.

#include <QWidget>

class CardView : public QWidget {
    Q_OBJECT
public:
    explicit CardView(QWidget* parent = nullptr);

    virtual double radius() const { return radius_; }
    void setRadius(double radius);

    // The fill and border in the current appearance.
    QColor fillColor() const;
    QColor borderColor() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    double radius_ = 14;
};

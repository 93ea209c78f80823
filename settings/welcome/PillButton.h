#pragma once
// The welcome window's next button: a teal capsule 38 points high, at least 130 wide, with its
// title in white semibold 14; darker while pressed.

#include <QPushButton>

class PillButton : public QPushButton {
    Q_OBJECT
public:
    explicit PillButton(QWidget* parent = nullptr);

    // Sets the title and resizes to it.
    void setTitle(const QString& title);
    QString title() const { return text(); }

    // The fill now: Brand::teal, or the pressed colour while held down.
    QColor fillColor() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

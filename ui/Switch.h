#pragma once
// An on-off switch (the form section's "Rellenar con mis datos", the settings rows): a rounded
// track in the accent colour when on, grey when off, with a white knob. A checkable button:
// clicks and the space bar toggle it and emit toggled().

#include <QAbstractButton>

class Switch : public QAbstractButton {
    Q_OBJECT
public:
    explicit Switch(QWidget* parent = nullptr);

    // The regular size, or the small one that rows of settings give their switches.
    void setSmall(bool small);
    bool isSmall() const { return small_; }

    QSize sizeHint() const override { return small_ ? QSize(32, 18) : QSize(38, 22); }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& point) const override { return rect().contains(point); }

private:
    bool small_ = false;
};

#pragma once
// Paints a widget (with its children) with the values of its MotionTarget: opacity, a translation
// (positive y lower) and a scale about the widget's centre. At rest it paints the widget as it is.

#include <QGraphicsEffect>

class MotionTarget;

class MotionEffect : public QGraphicsEffect {
    Q_OBJECT
public:
    explicit MotionEffect(QObject* parent = nullptr);

    MotionTarget* target() const { return target_; }

    QRectF boundingRectFor(const QRectF& rect) const override;

protected:
    void draw(QPainter* painter) override;

private:
    MotionTarget* target_;
};

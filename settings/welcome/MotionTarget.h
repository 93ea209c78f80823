#pragma once
// What an entrance animation moves: a view of the welcome window or an element of one of its
// illustrations. It keeps the resting ("model") values and the running animations, each in a slot
// named by its key ("appear.opacity", "appear.transform.translation.x", "draw", "pop", …); a new
// animation replaces the one in its slot, and an animation frees its slot when it ends. The
// values to paint are the model values with the animations applied: an additive animation adds
// to the model value, the others replace it.
//
// Translations are in the sense of the element's parent: for a widget of a page column a positive
// y is lower; in an illustration's scene, whose y grows upwards, a positive y is higher.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <vector>

class MotionAnimation;

class MotionTarget : public QObject {
    Q_OBJECT
public:
    enum class Property { opacity, translationX, translationY, scale, strokeEnd };

    explicit MotionTarget(QObject* parent = nullptr);
    ~MotionTarget() override;

    // The resting opacity (1 unless set); an appearance fades in to it.
    double modelOpacity() const { return modelOpacity_; }
    void setModelOpacity(double opacity);

    // The values to paint now.
    double value(Property property) const;
    double opacity() const { return value(Property::opacity); }
    double translationX() const { return value(Property::translationX); }
    double translationY() const { return value(Property::translationY); }
    double scale() const { return value(Property::scale); }
    double strokeEnd() const { return value(Property::strokeEnd); }

    // Puts `animation` into the slot `key`, replacing (and stopping) the slot's animation, and
    // starts it. The target takes ownership.
    void add(const QString& key, MotionAnimation* animation);
    // The animation in a slot; null when the slot is free.
    MotionAnimation* animation(const QString& key) const;
    // The occupied slots, in the order they were filled.
    QStringList keys() const;
    bool animating() const { return !slots_.empty(); }
    // Stops every animation: the target shows its model values.
    void removeAll();

signals:
    // A painted value changed.
    void changed();

private:
    struct Slot {
        QString key;
        QPointer<MotionAnimation> animation;
    };

    void release(MotionAnimation* animation);
    static double modelValue(Property property, double opacity);

    double modelOpacity_ = 1;
    std::vector<Slot> slots_;
};

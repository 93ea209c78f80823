#include "settings/welcome/MotionTarget.h"

#include <algorithm>

#include "settings/welcome/MotionAnimation.h"

MotionTarget::MotionTarget(QObject* parent) : QObject(parent) {}

MotionTarget::~MotionTarget() {
    // The animations are children: stop them quietly before they go.
    for (Slot& slot : slots_) {
        if (slot.animation) slot.animation->disconnect(this);
    }
}

void MotionTarget::setModelOpacity(double opacity) {
    modelOpacity_ = opacity;
    emit changed();
}

double MotionTarget::modelValue(Property property, double opacity) {
    switch (property) {
        case Property::opacity: return opacity;
        case Property::scale:
        case Property::strokeEnd: return 1;
        case Property::translationX:
        case Property::translationY: return 0;
    }
    return 0;
}

double MotionTarget::value(Property property) const {
    double value = modelValue(property, modelOpacity_);
    for (const Slot& slot : slots_) {
        const MotionAnimation* animation = slot.animation;
        if (!animation || animation->property() != property) continue;
        value = animation->additive() ? value + animation->value() : animation->value();
    }
    return value;
}

void MotionTarget::add(const QString& key, MotionAnimation* animation) {
    if (!animation) return;
    animation->setParent(this);
    const auto same = std::find_if(slots_.begin(), slots_.end(),
                                   [&](const Slot& slot) { return slot.key == key; });
    if (same != slots_.end()) {
        if (MotionAnimation* old = same->animation) {
            old->disconnect(this);
            old->stop();
            old->deleteLater();
        }
        slots_.erase(same);
    }
    slots_.push_back({key, animation});
    connect(animation, &QVariantAnimation::valueChanged, this, &MotionTarget::changed);
    connect(animation, &QAbstractAnimation::finished, this, [this, animation] { release(animation); });
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    emit changed();
}

MotionAnimation* MotionTarget::animation(const QString& key) const {
    for (const Slot& slot : slots_) {
        if (slot.key == key) return slot.animation;
    }
    return nullptr;
}

QStringList MotionTarget::keys() const {
    QStringList keys;
    for (const Slot& slot : slots_) keys << slot.key;
    return keys;
}

void MotionTarget::removeAll() {
    std::vector<Slot> running;
    running.swap(slots_);
    for (Slot& slot : running) {
        if (MotionAnimation* animation = slot.animation) {
            animation->disconnect(this);
            animation->stop();
        }
    }
    emit changed();
}

void MotionTarget::release(MotionAnimation* animation) {
    const auto slot = std::find_if(slots_.begin(), slots_.end(),
                                   [&](const Slot& s) { return s.animation == animation; });
    if (slot == slots_.end()) return;
    slots_.erase(slot);
    emit changed();
}

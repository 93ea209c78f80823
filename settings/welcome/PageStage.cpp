#include "settings/welcome/PageStage.h"

#include <QEasingCurve>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace {

// The old page's picture, painted at an opacity.
class Snapshot : public QWidget {
public:
    Snapshot(QPixmap pixmap, QWidget* parent) : QWidget(parent), pixmap_(std::move(pixmap)) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    double opacity = 1;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setOpacity(opacity);
        p.drawPixmap(0, 0, pixmap_);
    }

private:
    QPixmap pixmap_;
};

// The page change: progress 0 → 1 on the transition's curve.
class PageTransition : public QVariantAnimation {
public:
    PageTransition(double seconds, QObject* parent) : QVariantAnimation(parent) {
        setDuration(int(std::lround(seconds * 1000)));
        setStartValue(0.0);
        setEndValue(1.0);
        QEasingCurve curve(QEasingCurve::BezierSpline);
        curve.addCubicBezierSegment(QPointF(0.32, 0.72), QPointF(0, 1), QPointF(1, 1));
        setEasingCurve(curve);
    }
};

}  // namespace

PageStage::PageStage(QWidget* parent) : QWidget(parent) {}

PageStage::~PageStage() {
    if (animation_) animation_->disconnect(this);
}

void PageStage::addPage(QWidget* page) {
    page->setParent(this);
    page->hide();
}

bool PageStage::transitioning() const { return animation_ && snapshot_; }

QWidget* PageStage::outgoing() const { return snapshot_; }

double PageStage::outgoingOpacity() const {
    auto* snapshot = static_cast<Snapshot*>(snapshot_);
    return snapshot ? snapshot->opacity : 0;
}

void PageStage::show(QWidget* page, Transition transition) {
    if (!page) return;
    finish();
    QWidget* old = current_;
    if (old && old != page && transition != Transition::none && isVisible() && width() > 0) {
        // The page without a background of its own: the window's background shows through.
        const qreal ratio = devicePixelRatioF();
        QPixmap picture((QSizeF(old->size()) * ratio).toSize());
        picture.setDevicePixelRatio(ratio);
        picture.fill(Qt::transparent);
        old->render(&picture, QPoint(), QRegion(), QWidget::DrawChildren);
        snapshot_ = new Snapshot(std::move(picture), this);
        snapshot_->show();
    }
    if (old && old != page) old->hide();
    current_ = page;
    page->setParent(this);
    page->show();
    if (!snapshot_) {
        transition_ = Transition::none;
        place(1);
        return;
    }
    transition_ = transition;
    auto* animation = new PageTransition(transition == Transition::fade ? fadeSeconds : pushSeconds, this);
    animation_ = animation;
    connect(animation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { place(value.toDouble()); });
    connect(animation, &QAbstractAnimation::finished, this, [this] { finish(); });
    place(0);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
    snapshot_->raise();
}

void PageStage::finish() {
    if (animation_) {
        animation_->disconnect(this);
        animation_->stop();
        animation_ = nullptr;
    }
    if (snapshot_) {
        snapshot_->hide();
        snapshot_->deleteLater();
        snapshot_ = nullptr;
    }
    transition_ = Transition::none;
    place(1);
}

void PageStage::place(double progress) {
    progress_ = progress;
    const int w = width(), h = height();
    double newX = 0, oldX = 0;
    switch (transition_) {
        case Transition::fromRight:
            newX = w * (1 - progress);
            oldX = -w * progress;
            break;
        case Transition::fromLeft:
            newX = -w * (1 - progress);
            oldX = w * progress;
            break;
        case Transition::fade:
        case Transition::none: break;
    }
    if (current_) current_->setGeometry(int(std::lround(newX)), 0, w, h);
    if (auto* snapshot = static_cast<Snapshot*>(snapshot_)) {
        snapshot->setGeometry(int(std::lround(oldX)), 0, w, h);
        snapshot->opacity = transition_ == Transition::fade ? 1 - progress : 1;
        snapshot->update();
    }
}

void PageStage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place(progress_);
}

#include "settings/welcome/PageDots.h"

#include <QPainter>

#include <algorithm>

#include "settings/welcome/WelcomeColors.h"

namespace {

constexpr double dotHeight = 8;
constexpr double dotWidth = 8;
constexpr double pillWidth = 22;
constexpr double gap = 6;
// A page is at most this many dots wide: a bogus count must not make a huge widget.
constexpr int maxCount = 64;

}  // namespace

PageDots::PageDots(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void PageDots::setCount(int count) {
    count_ = std::clamp(count, 0, maxCount);
    updateGeometry();
    update();
}

void PageDots::setCurrent(int current) {
    current_ = current;
    update();
}

QSize PageDots::sizeHint() const { return {std::max(count_, 1) * 14 + 12, int(dotHeight)}; }

void PageDots::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    double x = 0;
    for (int i = 0; i < count_; ++i) {
        const bool current = i == current_;
        const double width = current ? pillWidth : dotWidth;
        p.setBrush(current ? WelcomeColors::accent() : QColor::fromRgbF(1, 1, 1, 0.25f));
        p.drawRoundedRect(QRectF(x, 0, width, dotHeight), dotHeight / 2, dotHeight / 2);
        x += width + gap;
    }
}

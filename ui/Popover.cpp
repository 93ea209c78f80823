#include "ui/Popover.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "ui/Palette.h"

namespace {

constexpr int margin = 1;  // inside the border

Popover::Edge opposite(Popover::Edge e) {
    switch (e) {
        case Popover::Edge::top: return Popover::Edge::bottom;
        case Popover::Edge::bottom: return Popover::Edge::top;
        case Popover::Edge::left: return Popover::Edge::right;
        case Popover::Edge::right: return Popover::Edge::left;
    }
    return e;
}

QPoint origin(const QRect& r, const QSize& s, Popover::Edge e) {
    switch (e) {
        case Popover::Edge::top:
            return {r.x() + (r.width() - s.width()) / 2, r.top() - Popover::gap - s.height()};
        case Popover::Edge::bottom: return {r.x() + (r.width() - s.width()) / 2, r.bottom() + 1 + Popover::gap};
        case Popover::Edge::left:
            return {r.left() - Popover::gap - s.width(), r.y() + (r.height() - s.height()) / 2};
        case Popover::Edge::right: return {r.right() + 1 + Popover::gap, r.y() + (r.height() - s.height()) / 2};
    }
    return r.topLeft();
}

}  // namespace

Popover::Popover(QWidget* content, QWidget* parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint), content_(content) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(margin, margin, margin, margin);
    if (content) layout->addWidget(content);
}

std::pair<QPoint, Popover::Edge> Popover::place(const QRect& rect, const QSize& size,
                                                const QRect& screen, Edge preferred) {
    return place(rect, size, screen, QRect(), preferred);
}

std::pair<QPoint, Popover::Edge> Popover::place(const QRect& rect, const QSize& size,
                                                const QRect& screen, const QRect& window,
                                                Edge preferred) {
    // Only the axis it opens along decides the side; the other one is fixed by sliding.
    auto fitsAlong = [&](const QPoint& at, Edge e) {
        if (e == Edge::top || e == Edge::bottom)
            return at.y() >= screen.top() && at.y() + size.height() - 1 <= screen.bottom();
        return at.x() >= screen.left() && at.x() + size.width() - 1 <= screen.right();
    };
    Edge edge = preferred;
    QPoint at = origin(rect, size, edge);
    if (!fitsAlong(at, edge)) {
        const QPoint other = origin(rect, size, opposite(edge));
        if (fitsAlong(other, opposite(edge))) {
            edge = opposite(edge);
            at = other;
        }
    }
    // Slide along the other axis to stay over the anchor's window where it fits there, else on
    // the screen.
    const QRect inside = window.intersected(screen);
    auto slide = [](int v, int size, int low, int high, int innerLow, int innerHigh) {
        if (innerHigh - innerLow + 1 >= size) v = std::clamp(v, innerLow, innerHigh + 1 - size);
        return std::clamp(v, low, std::max(low, high + 1 - size));
    };
    const bool vertical = edge == Edge::top || edge == Edge::bottom;
    if (vertical && !inside.isEmpty())
        at.setX(slide(at.x(), size.width(), screen.left(), screen.right(), inside.left(), inside.right()));
    else
        at.setX(std::clamp(at.x(), screen.left(), std::max(screen.left(), screen.right() + 1 - size.width())));
    if (!vertical && !inside.isEmpty())
        at.setY(slide(at.y(), size.height(), screen.top(), screen.bottom(), inside.top(), inside.bottom()));
    else
        at.setY(std::clamp(at.y(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - size.height())));
    return {at, edge};
}

void Popover::show(QWidget* anchor, const QRect& rect, Edge preferred) {
    adjustSize();
    QRect global = rect;
    QRect screen(0, 0, 1440, 900);
    QRect window;
    if (anchor) {
        global.moveTopLeft(anchor->mapToGlobal(rect.topLeft()));
        if (QScreen* s = anchor->screen()) screen = s->availableGeometry();
        window = anchor->window()->frameGeometry();
    } else if (QScreen* s = QGuiApplication::primaryScreen()) {
        screen = s->availableGeometry();
    }
    const auto [at, edge] = place(global, size(), screen, window, preferred);
    edge_ = edge;
    move(at);
    // A window of the anchor's window, so the system places it relative to that window (where
    // windows cannot place themselves) and keeps it above it.
    if (anchor) {
        create();
        QWindow* own = windowHandle();
        QWindow* parent = anchor->window()->windowHandle();
        if (own && parent && own != parent) own->setTransientParent(parent);
    }
    QFrame::show();
    raise();
    activateWindow();
}

void Popover::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Palette::separator(palette()), 1));
    p.setBrush(palette().color(QPalette::Window));
    p.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

void Popover::hideEvent(QHideEvent* event) {
    QFrame::hideEvent(event);
    if (onClose) onClose();
}

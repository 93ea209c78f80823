#include "ui/SegmentedControl.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

namespace {

constexpr int segmentHeight = 26;      // a regular segmented control
constexpr int padding = 10;      // title inset at each side of a sized-to-fit segment
constexpr int iconSize = 16;
constexpr int iconGap = 5;
constexpr double radius = 6;

bool isDark(const QPalette& palette) { return palette.color(QPalette::Window).lightness() < 128; }

}  // namespace

SegmentedControl::SegmentedControl(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_Hover);
}

int SegmentedControl::addSegment(const QString& title, const QIcon& icon, const QString& toolTip,
                                 int width) {
    segments_.push_back({title, icon, toolTip, width, true});
    updateGeometry();
    update();
    return count() - 1;
}

QString SegmentedControl::title(int index) const {
    return index >= 0 && index < count() ? segments_[static_cast<std::size_t>(index)].title
                                         : QString();
}

QString SegmentedControl::toolTip(int index) const {
    return index >= 0 && index < count() ? segments_[static_cast<std::size_t>(index)].toolTip
                                         : QString();
}

void SegmentedControl::setSegmentEnabled(int index, bool enabled) {
    if (index < 0 || index >= count()) return;
    segments_[static_cast<std::size_t>(index)].enabled = enabled;
    update();
}

bool SegmentedControl::isSegmentEnabled(int index) const {
    return index >= 0 && index < count() && segments_[static_cast<std::size_t>(index)].enabled;
}

void SegmentedControl::setSegmentWidth(int index, int width) {
    if (index < 0 || index >= count()) return;
    segments_[static_cast<std::size_t>(index)].width = width;
    updateGeometry();
    update();
}

void SegmentedControl::setSelected(int index) {
    if (index < -1 || index >= count()) index = -1;
    if (index == selected_) return;
    selected_ = index;
    update();
}

int SegmentedControl::naturalWidth(const Segment& segment) const {
    if (segment.width > 0) return segment.width;
    int w = fontMetrics().horizontalAdvance(segment.title) + 2 * padding;
    if (!segment.icon.isNull()) w += iconSize + (segment.title.isEmpty() ? 0 : iconGap);
    return w;
}

QRect SegmentedControl::segmentRect(int index) const {
    int x = 0;
    for (int i = 0; i < count(); ++i) {
        const int w = naturalWidth(segments_[static_cast<std::size_t>(i)]);
        if (i == index) return {x, 0, w, segmentHeight};
        x += w;
    }
    return {};
}

int SegmentedControl::segmentAt(const QPoint& point) const {
    for (int i = 0; i < count(); ++i)
        if (segmentRect(i).contains(point)) return i;
    return -1;
}

QSize SegmentedControl::sizeHint() const {
    int w = 0;
    for (const Segment& s : segments_) w += naturalWidth(s);
    return {std::max(w, 1), segmentHeight};
}

void SegmentedControl::choose(int index) {
    if (!isSegmentEnabled(index) || index == selected_) return;
    selected_ = index;
    update();
    emit activated(index);
}

void SegmentedControl::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    choose(segmentAt(event->position().toPoint()));
    event->accept();
}

void SegmentedControl::keyPressEvent(QKeyEvent* event) {
    const int step = event->key() == Qt::Key_Left ? -1 : event->key() == Qt::Key_Right ? 1 : 0;
    if (step == 0 || count() == 0) return QWidget::keyPressEvent(event);
    for (int i = selected_ + step; i >= 0 && i < count(); i += step) {
        if (isSegmentEnabled(i)) {
            choose(i);
            break;
        }
    }
    event->accept();
}

bool SegmentedControl::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = toolTip(segmentAt(help->pos()));
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this, segmentRect(segmentAt(help->pos())));
        }
        return true;
    }
    return QWidget::event(event);
}

void SegmentedControl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool dark = isDark(palette());
    const QRectF all = QRectF(0, 0, sizeHint().width(), segmentHeight).adjusted(0.5, 0.5, -0.5, -0.5);

    // The track, then the selected segment raised on it.
    p.setPen(Qt::NoPen);
    p.setBrush(dark ? QColor(255, 255, 255, 38) : QColor(0, 0, 0, 22));
    p.drawRoundedRect(all, radius, radius);

    const QColor text = palette().color(QPalette::WindowText);
    for (int i = 0; i < count(); ++i) {
        const Segment& s = segments_[static_cast<std::size_t>(i)];
        const QRectF r = QRectF(segmentRect(i)).adjusted(2, 2, -2, -2);
        if (i == selected_) {
            p.setBrush(dark ? QColor(255, 255, 255, 70) : QColor(255, 255, 255));
            p.setPen(dark ? Qt::NoPen : QPen(QColor(0, 0, 0, 30), 0.5));
            p.drawRoundedRect(r, radius - 1.5, radius - 1.5);
        } else if (i > 0 && i - 1 != selected_) {
            p.setPen(QPen(dark ? QColor(255, 255, 255, 50) : QColor(0, 0, 0, 40), 1));
            const double x = segmentRect(i).left();
            p.drawLine(QPointF(x, 7), QPointF(x, segmentHeight - 7));
        }
        QColor ink = text;
        if (!s.enabled || !isEnabled()) ink.setAlphaF(0.3);
        p.setPen(ink);
        int contentWidth = fontMetrics().horizontalAdvance(s.title);
        const bool hasIcon = !s.icon.isNull();
        if (hasIcon) contentWidth += iconSize + (s.title.isEmpty() ? 0 : iconGap);
        contentWidth = std::min(contentWidth, static_cast<int>(r.width()) - 4);
        double x = r.center().x() - contentWidth / 2.0;
        if (hasIcon) {
            const QIcon::Mode mode = s.enabled && isEnabled() ? QIcon::Normal : QIcon::Disabled;
            const QPixmap pixmap = s.icon.pixmap(QSize(iconSize, iconSize), devicePixelRatioF(), mode);
            p.drawPixmap(QRectF(x, r.center().y() - iconSize / 2.0, iconSize, iconSize), pixmap,
                         QRectF(pixmap.rect()));
            x += iconSize + iconGap;
        }
        const QRectF textRect(x, r.top(), r.right() - x, r.height());
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                   fontMetrics().elidedText(s.title, Qt::ElideRight, static_cast<int>(textRect.width())));
    }
    if (hasFocus()) {
        QColor ring = palette().color(QPalette::Highlight);
        ring.setAlphaF(0.5);
        p.setPen(QPen(ring, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(all.adjusted(1, 1, -1, -1), radius, radius);
    }
}

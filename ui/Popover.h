#pragma once
// A transient panel attached to a rectangle of a view (the form section's review and field
// editor, help): a rounded popup on the preferred side of the rectangle, turned to the opposite
// side when it does not fit on the screen there. A click outside closes it and calls nothing but
// `onClose`. Its owner closes the previous one before it opens another.

#include <QFrame>
#include <QPointer>

#include <functional>

class Popover : public QFrame {
    Q_OBJECT
public:
    enum class Edge { top, bottom, left, right };  // the side of the rectangle it appears on

    static constexpr int gap = 6;         // between the rectangle and the popover
    static constexpr double radius = 10;

    explicit Popover(QWidget* content, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }

    // Shows it beside `rect` (coordinates of `anchor`) on `preferred`, or on the opposite side
    // when it does not fit in the anchor's screen; over the anchor's window where it fits.
    void show(QWidget* anchor, const QRect& rect, Edge preferred);
    // The side it was last shown on.
    Edge edge() const { return edge_; }

    // Where a popover of `size` goes beside `rect` (global coordinates) within `screen`, and on
    // which side. Kept within the screen along the other axis.
    static std::pair<QPoint, Edge> place(const QRect& rect, const QSize& size, const QRect& screen,
                                         Edge preferred);
    // The same, kept over `window` (the anchor's window, global coordinates) along the other axis
    // when it fits within it there.
    static std::pair<QPoint, Edge> place(const QRect& rect, const QSize& size, const QRect& screen,
                                         const QRect& window, Edge preferred);

    // Called once each time it closes, whatever closed it.
    std::function<void()> onClose;

protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QPointer<QWidget> content_;
    Edge edge_ = Edge::bottom;
};

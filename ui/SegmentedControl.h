#pragma once
// A row of segments of which exactly one is selected (the mode and tool choices of the signing
// window, the settings screens' choices): each segment has a title, an optional symbol, a tooltip
// and a width. Painted, following the palette of its parent (light or dark). Clicks and the left
// and right arrow keys select; `activated` reports a selection made by the user, never one made
// with setSelected.

#include <QIcon>
#include <QString>
#include <QWidget>

#include <vector>

class SegmentedControl : public QWidget {
    Q_OBJECT
public:
    explicit SegmentedControl(QWidget* parent = nullptr);

    // Adds a segment; width 0 sizes it to its contents. Returns its index.
    int addSegment(const QString& title, const QIcon& icon = {}, const QString& toolTip = {},
                   int width = 0);
    int count() const { return static_cast<int>(segments_.size()); }
    QString title(int index) const;
    QString toolTip(int index) const;
    void setSegmentEnabled(int index, bool enabled);
    bool isSegmentEnabled(int index) const;
    void setSegmentWidth(int index, int width);

    // The selected segment, -1 when none.
    int selected() const { return selected_; }
    void setSelected(int index);

    // The segment under a point of the widget, -1 when none.
    int segmentAt(const QPoint& point) const;
    // The rectangle of a segment in widget coordinates.
    QRect segmentRect(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void activated(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Segment {
        QString title;
        QIcon icon;
        QString toolTip;
        int width = 0;
        bool enabled = true;
    };
    int naturalWidth(const Segment& segment) const;
    void choose(int index);

    std::vector<Segment> segments_;
    int selected_ = -1;
};

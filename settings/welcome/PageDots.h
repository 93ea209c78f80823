#pragma once
// The welcome window's page indicator: one dot per page, the current one drawn as a longer pill in
// the welcome accent colour. The owner sets `count` and `current` and asks for a redraw.

#include <QWidget>

class PageDots : public QWidget {
    Q_OBJECT
public:
    explicit PageDots(QWidget* parent = nullptr);

    int count() const { return count_; }
    int current() const { return current_; }
    void setCount(int count);
    void setCurrent(int current);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int count_ = 0;
    int current_ = 0;
};

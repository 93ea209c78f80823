#pragma once
// A translucent rounded bar floating over a page view (the page-and-zoom bar and the tools bar of
// the signing window, the document pane's page bar): a dark heads-up material with a corner
// radius of 16, painted behind whatever layout its owner gives it. Its children read light text
// from its own dark palette.

#include <QWidget>

class FloatingBar : public QWidget {
    Q_OBJECT
public:
    static constexpr double cornerRadius = 16;

    explicit FloatingBar(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

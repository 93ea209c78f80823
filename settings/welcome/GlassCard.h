#pragma once
// A frosted card of the welcome pages round one content widget: white at alpha 0.07, a 1-point
// border of white at alpha 0.12, corner radius 16; the content inset by the given padding.

#include <QMargins>
#include <QWidget>

class GlassCard : public QWidget {
    Q_OBJECT
public:
    GlassCard(QWidget* content, QMargins padding, QWidget* parent = nullptr);

    QWidget* content() const { return content_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* content_;
};

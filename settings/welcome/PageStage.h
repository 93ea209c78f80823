#pragma once
// The welcome window's stage: shows one page at a time, filling the stage. A change of page can
// push: a picture of the old page slides out while the live new page slides in from the right
// (forward) or the left (back), 0.42 s on the curve (0.32, 0.72), (0, 1); or fade: the old page's
// picture fades out over the new page in 0.2 s, nothing moves. A new change ends a running one.

#include <QPixmap>
#include <QPointer>
#include <QWidget>

class QVariantAnimation;

class PageStage : public QWidget {
    Q_OBJECT
public:
    enum class Transition { none, fromRight, fromLeft, fade };

    static constexpr double pushSeconds = 0.42;
    static constexpr double fadeSeconds = 0.2;

    explicit PageStage(QWidget* parent = nullptr);
    ~PageStage() override;

    // Adds a page, hidden, to the stage (which owns it).
    void addPage(QWidget* page);
    // Puts `page` on the stage.
    void show(QWidget* page, Transition transition);

    QWidget* current() const { return current_; }
    // The running change, if any: its kind, the old page's picture and its place and opacity.
    bool transitioning() const;
    Transition transition() const { return transition_; }
    QWidget* outgoing() const;
    double outgoingOpacity() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void place(double progress);
    void finish();

    QPointer<QWidget> current_;
    QWidget* snapshot_ = nullptr;
    QPointer<QVariantAnimation> animation_;
    Transition transition_ = Transition::none;
    double progress_ = 1;
};

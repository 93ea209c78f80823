#pragma once
// The first welcome page's illustration: the file manager's context menu with "Firmar con …"
// highlighted, beside a sheet that is signed in three coloured strokes and stamped "Firmado".
// Painted from SignSceneModel; each element has its MotionTarget, which play() animates. At rest
// it shows the finished drawing.

#include <QWidget>

#include <array>

#include "settings/welcome/SignSceneModel.h"

class MotionTarget;

class SignScene : public QWidget {
    Q_OBJECT
public:
    explicit SignScene(QWidget* parent = nullptr);

    // The drawing is 270 points high; the turned sheet and its shadow reach beyond that, so the
    // view is this much taller above and below and draws the scene this much lower.
    static constexpr int overhang = 20;

    const SignSceneModel& model() const { return model_; }

    MotionTarget* pellon() const { return pellon_; }
    MotionTarget* highlight() const { return highlight_; }
    MotionTarget* paper() const { return paper_; }
    MotionTarget* stroke(std::size_t i) const { return strokes_.at(i); }
    MotionTarget* stamp() const { return stamp_; }

    // The entrance: the menu slides in, the item lights up, the sheet rises, the strokes are
    // written one after the other and the stamp pops.
    void play();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MotionTarget* makeTarget();

    SignSceneModel model_;
    MotionTarget* pellon_;
    MotionTarget* highlight_;
    MotionTarget* paper_;
    std::array<MotionTarget*, 3> strokes_{};
    MotionTarget* stamp_;
};

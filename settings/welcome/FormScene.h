#pragma once
// The forms page's illustration: a sample application form whose five fields fill in one after
// the other, four confirmed in green and the IBAN waiting in yellow with a "Por confirmar" tag.
// Painted from FormSceneModel; each element has its MotionTarget, which play() animates. At rest
// it shows the filled form.

#include <QWidget>

#include <utility>
#include <vector>

#include "settings/welcome/FormSceneModel.h"

class MotionTarget;

class FormScene : public QWidget {
    Q_OBJECT
public:
    // `width`: the page's column.
    explicit FormScene(double width, QWidget* parent = nullptr);

    const FormSceneModel& model() const { return model_; }

    struct Row {
        MotionTarget* field;
        MotionTarget* value;
    };
    const std::vector<Row>& rows() const { return rows_; }
    MotionTarget* card() const { return card_; }
    MotionTarget* chip() const { return chip_; }

    // The entrance: the card rises, the fields fill in turn and the tag pops.
    void play();

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    MotionTarget* makeTarget();

    FormSceneModel model_;
    std::vector<Row> rows_;
    MotionTarget* card_;
    MotionTarget* chip_;
};

#pragma once
// The editor of one form field, shown in a popover above the field: its caption, a hint on where
// the value comes from, a text field and, for values the profile can keep, "Recordar en Mis
// datos". "Usar" (also Return) hands back the text trimmed of blanks and tabs (nothing when that
// is empty) and the remember flag; "Dejar en blanco" hands back nothing. It never closes its own
// popover.

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "forms/plan/FillItem.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class FieldEditor : public QWidget {
    Q_OBJECT
public:
    static constexpr int fieldWidth = 300;

    explicit FieldEditor(FillItem item, QWidget* parent = nullptr);

    // The text or nothing, and whether to remember it.
    std::function<void(std::optional<std::string>, bool)> onDone;

    const FillItem& item() const { return item_; }
    QLabel* title() const { return title_; }
    QLabel* hint() const { return hint_; }
    QLineEdit* field() const { return field_; }
    QCheckBox* rememberBox() const { return remember_; }
    QPushButton* useButton() const { return use_; }
    QPushButton* clearButton() const { return clear_; }

    void usePressed();
    void clearPressed();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    FillItem item_;
    QLabel* title_ = nullptr;
    QLabel* hint_ = nullptr;
    QLineEdit* field_ = nullptr;
    QCheckBox* remember_ = nullptr;
    QPushButton* clear_ = nullptr;
    QPushButton* use_ = nullptr;
};

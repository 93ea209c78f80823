#pragma once
// The review of the values that wait for the user's confirmation, shown in a popover beside the
// form section's review button: one check box per value with the field's caption under it, all
// ticked at first. "Confirmar N" hands back the field ids of the ticked values, "Cancelar"
// nothing; Return and Escape press them. It never closes its own popover.

#include <QWidget>

#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "forms/plan/FillItem.h"

class QCheckBox;
class QFrame;
class QPushButton;

class SuggestionsReview : public QWidget {
    Q_OBJECT
public:
    static constexpr int listWidth = 380;  // the frame's width
    static constexpr int inset = 16;       // round the content
    static constexpr int rowHeight = 46;   // the frame grows by this per value…
    static constexpr int maxListHeight = 322;  // …up to seven values; more scroll

    // The frame's height for a number of values: min(46 n, 322) + 2.
    static int frameHeight(std::size_t items);

    explicit SuggestionsReview(std::vector<FillItem> items, QWidget* parent = nullptr);

    // The short caption of a field that both popovers show.
    static std::string caption(const FillItem& item);

    // Field ids of the ticked values for "Confirmar", nothing for "Cancelar".
    std::function<void(std::optional<std::set<int>>)> onDone;

    const std::vector<FillItem>& items() const { return items_; }
    const std::vector<QCheckBox*>& boxes() const { return boxes_; }
    QPushButton* confirmButton() const { return confirmButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QFrame* frame() const { return frame_; }

    // A box changed: "Confirmar N", enabled from one ticked value.
    void ticked();
    void confirmPressed();
    void cancelPressed();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::vector<FillItem> items_;
    std::vector<QCheckBox*> boxes_;
    QPushButton* confirmButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
    QFrame* frame_ = nullptr;
};

#pragma once
// One fact on one line of the profile pane's list: a check box (a found fact) or a remove button
// (a saved one), the kind's title 128 wide, and a column with the selectable value over an
// elided detail line. Filled once by configure(), right after it is made; its orange line may
// change later (setNote). Reports hover, the check box and the remove button through its
// callbacks.

#include <QWidget>

#include <functional>
#include <optional>

class QBoxLayout;
class QCheckBox;
class QLabel;
class QToolButton;

class FactRow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kindWidth = 128;
    static constexpr int controlWidth = 18;
    // Narrower than this beside the kind, the value goes under it.
    static constexpr int minimumValueWidth = 160;
    // Long free texts are cut past this many user-perceived characters, to this many and "…".
    static constexpr int longValueLimit = 260;
    static constexpr int longValueKept = 257;

    // A value as a row shows it.
    static QString shownValue(const QString& value, bool isLong);

    std::function<void(bool inside)> onHover;
    std::function<void(bool checked)> onCheck;
    std::function<void()> onRemove;

    explicit FactRow(QWidget* parent = nullptr);

    // `checked` absent shows the remove button, present the check box in that state. `isLong`
    // cuts a value longer than 260 characters to 257 and "…". The detail line joins `detail` and
    // `previous` with a line feed, orange when `previous` is there, hidden when neither is.
    void configure(const QString& kind, const QString& value, const std::optional<QString>& detail,
                   const std::optional<QString>& previous, std::optional<bool> checked, bool isLong);
    // Shows `note` in orange in place of the `previous` line; absent: that line again.
    void setNote(const std::optional<QString>& note);

    QCheckBox* check() const { return check_; }
    QToolButton* removeButton() const { return remove_; }
    QLabel* kind() const { return kind_; }
    QLabel* value() const { return value_; }
    QLabel* detail() const { return detail_; }

    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void fit(int width);
    void showDetail();

    QBoxLayout* texts_ = nullptr;  // the kind and the value's column
    QCheckBox* check_ = nullptr;
    QToolButton* remove_ = nullptr;
    QLabel* kind_ = nullptr;
    QLabel* value_ = nullptr;
    QLabel* detail_ = nullptr;
    std::optional<QString> detailText_;
    std::optional<QString> previous_;
    std::optional<QString> note_;
};

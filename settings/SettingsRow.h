#pragma once
// A row of a settings card: a title over a wrapping detail, an optional control at the trailing
// edge (kept at its size; the texts take the free width and wrap) and an optional view below the
// texts. 14 from the top and bottom, 18 from the sides. With an onClick the whole row is a
// button with the pointing-hand cursor. The static helpers make the other pieces of the cards.

#include <QWidget>

#include <functional>

class QLabel;

class SettingsRow : public QWidget {
    Q_OBJECT
public:
    // Leading inset of rows and separators.
    static constexpr int inset = 18;

    SettingsRow(const QString& title, QLabel* detailLabel, QWidget* accessory = nullptr,
                QWidget* below = nullptr, QWidget* parent = nullptr);
    SettingsRow(const QString& title, const QString& detail, QWidget* accessory = nullptr,
                QWidget* below = nullptr, QWidget* parent = nullptr);

    // Set once by the owner; a press and release inside the row calls it.
    void setOnClick(std::function<void()> onClick);
    const std::function<void()>& onClick() const { return onClick_; }

    QLabel* titleLabel() const { return title_; }
    QLabel* detailLabel() const { return detail_; }
    QWidget* accessory() const { return accessory_; }
    QWidget* below() const { return below_; }

    // A wrapping label in the system font 12 and the secondary label colour.
    static QLabel* detail(const QString& text);
    // A hairline in Brand::cardLine from `inset` to the trailing edge, 1 high.
    static QWidget* separator();
    // The "chevron.right" symbol, 12, semibold, tertiary label colour.
    static QWidget* chevron();
    // `view` 16 from the top and bottom and 18 from the sides of a plain view.
    static QWidget* padded(QWidget* view);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QLabel* title_ = nullptr;
    QLabel* detail_ = nullptr;
    QWidget* accessory_ = nullptr;
    QWidget* below_ = nullptr;
    std::function<void()> onClick_;
    bool pressed_ = false;
};

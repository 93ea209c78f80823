#pragma once
// The dashed zone of the home window's signing section: a symbol, "Arrastra aquí los PDF que
// quieras firmar", "o" and the button "Elegir PDF…". A click anywhere on it, or on the button,
// calls onClick. Highlighted while a drag carrying PDFs is over the window.

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

class DropZone : public QWidget {
    Q_OBJECT
public:
    static constexpr int zoneHeight = 290;
    static constexpr double cornerRadius = 18;
    // The outline's dash in points; Qt counts dashes in pen widths.
    static constexpr double dashOn = 7;
    static constexpr double dashOff = 5;

    explicit DropZone(QWidget* parent = nullptr);

    std::function<void()> onClick;

    bool isHighlighted() const { return highlighted_; }
    // Repaints and retints the symbol.
    void setHighlighted(bool highlighted);

    QLabel* title() const { return title_; }
    QLabel* subtitle() const { return subtitle_; }
    QPushButton* button() const { return button_; }
    // The symbol's tint now.
    QColor symbolTint() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void clicked();
    void updateSymbol();
    void styleButton();

    bool highlighted_ = false;
    QLabel* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* subtitle_ = nullptr;
    QPushButton* button_ = nullptr;
};

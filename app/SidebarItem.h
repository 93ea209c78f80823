#pragma once
// A clickable row of the home window's sidebar: a symbol, a title and, for links that open a web
// page, a small arrow. A button for accessibility, named by its title. It acts on a release inside
// it (a press does nothing), tints a rounded background when selected or under the pointer. A title
// too long for the sidebar's width wraps onto a second line and the row grows to hold it.

#include <QAbstractButton>
#include <QString>

class QLabel;

class SidebarItem : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int itemHeight = 32;
    static constexpr double cornerRadius = 7;

    SidebarItem(const QString& title, const QString& symbol, bool opensWeb,
                QWidget* parent = nullptr);

    QString title() const { return title_; }
    bool opensWeb() const { return opensWeb_; }

    bool isSelected() const { return selected_; }
    // Applies the selected or plain look (font, colours) and repaints.
    void setSelected(bool selected);
    bool isHovering() const { return hovering_; }

    QLabel* label() const { return label_; }
    QLabel* icon() const { return icon_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void applyLook();
    // Wraps the title and sets the row's height for the current width.
    void fitTitle();

    QString title_;
    QString symbol_;
    bool opensWeb_ = false;
    bool selected_ = false;
    bool hovering_ = false;
    QLabel* icon_ = nullptr;
    QLabel* label_ = nullptr;
    QLabel* arrow_ = nullptr;
};

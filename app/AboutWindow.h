#pragma once
// "Acerca de Tindra": a small non-modal window with the icon, the name, the version and the
// credits ("Un proyecto de Calverin" and the web site's host, 11 points, secondary label colour,
// centred). Each time it opens it is centred on the window it was asked from (the active one), or
// on the screen when there is none. It has no menu bar: Ctrl+W ("Cerrar") and Escape close it.

#include <QWidget>

class QKeyEvent;
class QLabel;

class AboutWindow : public QWidget {
    Q_OBJECT
public:
    explicit AboutWindow(QWidget* parent = nullptr);

    // The credits' two lines.
    static QString credits();
    QString versionText() const;

    void setVisible(bool visible) override;

protected:
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void applyColors();
    void placeOver(QWidget* opener);
    QLabel* icon_ = nullptr;
    QLabel* name_ = nullptr;
    QLabel* version_ = nullptr;
    QLabel* credits_ = nullptr;
    bool applying_ = false;
};

#include "app/AboutWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>

#include "ui/Brand.h"
#include "ui/MainMenu.h"
#include "ui/Palette.h"

AboutWindow::AboutWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Acerca de ") + Brand::name);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setSpacing(6);
    icon_ = new QLabel(this);
    icon_->setPixmap(Brand::mark().pixmap(64, 64));
    icon_->setFixedSize(64, 64);
    name_ = new QLabel(Brand::name, this);
    name_->setFont(Brand::systemFont(14, QFont::Bold));
    version_ = new QLabel(versionText(), this);
    version_->setFont(Brand::systemFont(11));
    credits_ = new QLabel(credits(), this);
    credits_->setFont(Brand::systemFont(11));
    credits_->setObjectName(QStringLiteral("credits"));
    for (QLabel* label : {name_, version_, credits_}) label->setAlignment(Qt::AlignCenter);
    layout->addWidget(icon_, 0, Qt::AlignHCenter);
    layout->addSpacing(6);
    layout->addWidget(name_);
    layout->addWidget(version_);
    layout->addSpacing(8);
    layout->addWidget(credits_);
    applyColors();
    setFixedSize(280, 240);
    MainMenu::addCloseKeys(this);
}

QString AboutWindow::credits() {
    return QStringLiteral("Un proyecto de Calverin\n") + Brand::websiteHost;
}

QString AboutWindow::versionText() const {
    QString version = QCoreApplication::applicationVersion();
    if (version.isEmpty()) version = QStringLiteral(TINDRA_VERSION);
    return QStringLiteral("Versión ") + version;
}

void AboutWindow::setVisible(bool visible) {
    // Opening, not raising an open one: next to what the user was looking at.
    if (visible && !isVisible()) {
        QWidget* opener = QApplication::activeWindow();
        placeOver(opener && opener != this ? opener : nullptr);
    }
    QWidget::setVisible(visible);
}

void AboutWindow::placeOver(QWidget* opener) {
    QScreen* screen = opener ? opener->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    const QPoint centre = opener ? opener->frameGeometry().center() : area.center();
    QRect frame(QPoint(), frameGeometry().size().expandedTo(size()));
    frame.moveCenter(centre);
    if (!area.isEmpty()) {
        frame.moveLeft(std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - frame.width())));
        frame.moveTop(std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height())));
    }
    move(frame.topLeft());
    // A window of the opener, so the system keeps it above it and centres it there where
    // windows cannot place themselves.
    create();
    if (QWindow* own = windowHandle())
        own->setTransientParent(opener ? opener->windowHandle() : nullptr);
}

void AboutWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && !applying_) applyColors();
}

void AboutWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void AboutWindow::applyColors() {
    applying_ = true;
    for (QLabel* label : {version_, credits_}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Palette::secondaryLabel(palette()));
        label->setPalette(p);
    }
    applying_ = false;
}

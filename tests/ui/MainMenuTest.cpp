// The menu bar: its six menus, shortcuts through the chain of responders, enabled states.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QtTest>
#include <gtest/gtest.h>

#include <vector>

#include "ui/MainMenu.h"
#include "qtsupport/Screenshots.h"

namespace {

// Counts commands on an undo stack.
class Step : public QUndoCommand {
public:
    explicit Step(int& value) : value_(value) {}
    void redo() override { ++value_; }
    void undo() override { --value_; }

private:
    int& value_;
};

// A window responder with zoom and an undo stack.
class Zooming : public MenuResponder {
public:
    bool respondsTo(MenuAction action) const override {
        return action == MenuAction::zoomInDocument || action == MenuAction::zoomOutDocument ||
               action == MenuAction::zoomToFitDocument;
    }
    void perform(MenuAction action) override { performed.push_back(action); }
    bool validateMenuItem(const QAction& item) const override {
        seen.push_back(item.objectName());
        if (item.objectName() == QLatin1String("zoomToFitDocument")) return zoom > 1.0;
        if (item.objectName() == QLatin1String("zoomInDocument")) return zoom < 8.0;
        return zoom > 1.0;
    }
    QUndoStack* undoStack() const override { return &stack; }

    double zoom = 1.0;
    std::vector<MenuAction> performed;
    mutable QStringList seen;
    mutable QUndoStack stack;
};

struct Recorder {
    std::vector<MenuAction> actions;
    int updates = 0;
    MainMenu::Handlers handlers() {
        MainMenu::Handlers h;
        h.application = [this](MenuAction a) { actions.push_back(a); };
        h.checkForUpdates = [this] { ++updates; };
        return h;
    }
};

struct Window {
    QWidget widget;
    QLineEdit* field = nullptr;
    QMenuBar* bar = nullptr;
    explicit Window(MenuResponder* responder) {
        auto* layout = new QVBoxLayout(&widget);
        field = new QLineEdit(&widget);
        layout->addWidget(field);
        layout->addStretch();
        widget.setWindowTitle(QStringLiteral("Ventana de prueba"));
        bar = MainMenu::attach(&widget, responder);
        widget.resize(500, 300);
        widget.show();
        widget.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&widget));
        widget.setFocus();
    }
};

QMenu* menuTitled(QMenuBar* bar, const QString& title) {
    for (QAction* action : bar->actions()) {
        if (action->text() == title) return action->menu();
    }
    return nullptr;
}

}  // namespace

TEST(MainMenu, SixMenusWithTheirItems) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    Window window(nullptr);
    EXPECT_EQ(MainMenu::menuTitles(),
              (QStringList{"Tindra", "Archivo", "Edición", "Visualización", "Ventana", "Ayuda"}));
    ASSERT_EQ(window.bar->actions().size(), 6);
    EXPECT_EQ(MainMenu::action(MenuAction::showAbout)->text(), QStringLiteral("Acerca de Tindra"));
    EXPECT_EQ(MainMenu::action(MenuAction::zoomInDocument)->objectName(), QStringLiteral("zoomInDocument"));
    EXPECT_EQ(MainMenu::action(MenuAction::openHelp)->shortcuts(),
              (QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+?")), QKeySequence(Qt::Key_F1)}));
    EXPECT_EQ(MainMenu::action(MenuAction::redo)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    EXPECT_EQ(MainMenu::action(MenuAction::hide)->text(), QStringLiteral("Ocultar Tindra"));
    EXPECT_FALSE(MainMenu::isEnabled(MenuAction::hideOtherApplications, &window.widget));
    EXPECT_EQ(MenuActions::fromSelector(QStringLiteral("zoomToFitDocument")), MenuAction::zoomToFitDocument);
    EXPECT_FALSE(MenuActions::fromSelector(QStringLiteral("nothing")).has_value());
}

TEST(MainMenu, ShortcutsAct) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    Zooming responder;
    Window window(&responder);
    QTest::keyClick(&window.widget, Qt::Key_O, Qt::ControlModifier);
    QTest::keyClick(&window.widget, Qt::Key_Comma, Qt::ControlModifier);
    QTest::keyClick(&window.widget, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(recorder.actions, (std::vector<MenuAction>{MenuAction::openDocument, MenuAction::showSettings,
                                                         MenuAction::showHomeWindow}));
    // Undo and redo on the window's stack; Ctrl+Shift+Z redoes.
    int value = 0;
    responder.stack.push(new Step(value));
    EXPECT_EQ(value, 1);
    QTest::keyClick(&window.widget, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(value, 0);
    QTest::keyClick(&window.widget, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(value, 1);
    // Zoom: the responder gets it while its validation allows it.
    QTest::keyClick(&window.widget, Qt::Key_9, Qt::ControlModifier);
    EXPECT_TRUE(responder.performed.empty());  // fit at zoom 1.0 is disabled
    responder.zoom = 2.0;
    QTest::keyClick(&window.widget, Qt::Key_9, Qt::ControlModifier);
    EXPECT_EQ(responder.performed, std::vector<MenuAction>{MenuAction::zoomToFitDocument});
    EXPECT_TRUE(responder.seen.contains(QStringLiteral("zoomToFitDocument")));
    EXPECT_EQ(recorder.actions.size(), 3u);
}

TEST(MainMenu, EditActionsGoToTheFocusedField) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    Zooming responder;
    Window window(&responder);
    window.field->setFocus();
    window.field->setText(QStringLiteral("Solicitud"));
    EXPECT_TRUE(MainMenu::isEnabled(MenuAction::selectAll, &window.widget));
    EXPECT_FALSE(MainMenu::isEnabled(MenuAction::copy, &window.widget));
    MainMenu::send(MenuAction::selectAll, &window.widget);
    EXPECT_EQ(window.field->selectedText(), QStringLiteral("Solicitud"));
    EXPECT_TRUE(MainMenu::isEnabled(MenuAction::cut, &window.widget));
    MainMenu::send(MenuAction::cut, &window.widget);
    EXPECT_TRUE(window.field->text().isEmpty());
    MainMenu::send(MenuAction::undo, &window.widget);
    EXPECT_EQ(window.field->text(), QStringLiteral("Solicitud"));
}

TEST(MainMenu, ZoomItemsOffWithoutAResponder) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    Window window(nullptr);
    for (MenuAction zoom : {MenuAction::zoomInDocument, MenuAction::zoomOutDocument, MenuAction::zoomToFitDocument}) {
        EXPECT_FALSE(MainMenu::isEnabled(zoom, &window.widget));
    }
    QMenu* view = menuTitled(window.bar, QStringLiteral("Visualización"));
    ASSERT_NE(view, nullptr);
    view->popup(window.widget.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitFor([view] { return view->isVisible(); }, 30000))
        << "The menu did not open within 30 s.";
    for (QAction* item : view->actions()) EXPECT_FALSE(item->isEnabled()) << item->text().toStdString();
    view->hide();
    // Closed again, the items take their shortcuts back; acting checks the chain first.
    EXPECT_TRUE(MainMenu::action(MenuAction::zoomInDocument)->isEnabled());
    QTest::keyClick(&window.widget, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_TRUE(recorder.actions.empty());
}

// A named step on the window's stack names the Edit menu's items while the menu is open.
class Named : public QUndoCommand {
public:
    explicit Named(const QString& name) : QUndoCommand(name) {}
    void redo() override {}
    void undo() override {}
};

TEST(MainMenu, UndoAndRedoNameTheStepsOfTheWindowsStack) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    Zooming responder;
    Window window(&responder);
    QMenu* edit = menuTitled(window.bar, QStringLiteral("Edición"));
    ASSERT_NE(edit, nullptr);
    auto titlesWhenOpen = [&] {
        edit->popup(window.widget.mapToGlobal(QPoint(10, 10)));
        EXPECT_TRUE(QTest::qWaitFor([edit] { return edit->isVisible(); }, 30000))
            << "The menu did not open within 30 s.";
        const QStringList titles{MainMenu::action(MenuAction::undo)->text(),
                                 MainMenu::action(MenuAction::redo)->text()};
        edit->hide();
        return titles;
    };
    EXPECT_EQ(titlesWhenOpen(), (QStringList{"Deshacer", "Rehacer"}));
    responder.stack.push(new Named(QStringLiteral("Poner la firma")));
    responder.stack.push(new Named(QStringLiteral("Mover la firma")));
    EXPECT_EQ(titlesWhenOpen(), (QStringList{"Deshacer Mover la firma", "Rehacer"}));
    responder.stack.undo();
    EXPECT_EQ(titlesWhenOpen(),
              (QStringList{"Deshacer Poner la firma", "Rehacer Mover la firma"}));
    // A focused text field takes the items: its own undo has no name.
    window.field->setFocus();
    window.field->setText(QStringLiteral("Solicitud"));
    EXPECT_EQ(titlesWhenOpen(), (QStringList{"Deshacer", "Rehacer"}));
}

TEST(MainMenu, UpdateItemReachesItsController) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    EXPECT_TRUE(MainMenu::isEnabled(MenuAction::checkForUpdates));
    MainMenu::action(MenuAction::checkForUpdates)->trigger();
    EXPECT_EQ(recorder.updates, 1);
    MainMenu::send(MenuAction::showProfile);
    EXPECT_EQ(recorder.actions, std::vector<MenuAction>{MenuAction::showProfile});
}

TEST(MainMenu, HideAndShowAll) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    Window window(nullptr);
    MainMenu::send(MenuAction::hide, &window.widget);
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.widget.isMinimized(); }, 30000))
        << "The window was not minimised within 30 s.";
    MainMenu::send(MenuAction::unhideAllApplications, &window.widget);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.widget.isMinimized(); }, 30000))
        << "The window did not come back within 30 s.";
}

TEST(MainMenu, EachMenuOpen) {
    Recorder recorder;
    MainMenu::make(recorder.handlers());
    Zooming responder;
    responder.zoom = 2.0;
    Window window(&responder);
    const QStringList titles = MainMenu::menuTitles();
    const QList<QStringList> expected = {
        {"Acerca de Tindra", "Buscar actualizaciones…", "", "Opciones…", "Mis datos…", "", "Ocultar Tindra",
         "Ocultar otros", "Mostrar todo", "", "Salir de Tindra"},
        {"Firmar PDF…", "", "Cerrar"},
        {"Deshacer", "Rehacer", "", "Cortar", "Copiar", "Pegar", "Seleccionar todo"},
        {"Ampliar", "Reducir", "Ajustar a la ventana"},
        {"Minimizar", "Zoom", "", "Tindra", "", "Traer todo al frente", "", "Ventana de prueba"},
        {"Ayuda de Tindra", "Bienvenida a Tindra", "", "Web de Tindra"},
    };
    for (int i = 0; i < titles.size(); ++i) {
        QMenu* menu = menuTitled(window.bar, titles[i]);
        ASSERT_NE(menu, nullptr);
        menu->popup(window.widget.mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 30000))
            << "The menu did not open within 30 s.";
        QStringList texts;
        for (QAction* item : menu->actions()) texts << (item->isSeparator() ? QString() : item->text());
        EXPECT_EQ(texts, expected[i]) << titles[i].toStdString();
        EXPECT_GT(menu->width(), 100);
        Screenshots::save(*menu, QStringLiteral("menu-%1").arg(i + 1));
        if (titles[i] == QLatin1String("Tindra")) {
            EXPECT_FALSE(MainMenu::action(MenuAction::hideOtherApplications)->isEnabled());
            EXPECT_TRUE(MainMenu::action(MenuAction::showAbout)->isEnabled());
        }
        if (titles[i] == QLatin1String("Visualización")) {
            EXPECT_TRUE(MainMenu::action(MenuAction::zoomToFitDocument)->isEnabled());
            EXPECT_TRUE(MainMenu::action(MenuAction::zoomOutDocument)->isEnabled());
        }
        if (titles[i] == QLatin1String("Edición")) {
            EXPECT_FALSE(MainMenu::action(MenuAction::undo)->isEnabled());  // empty stack
        }
        menu->hide();
    }
}

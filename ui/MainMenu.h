#pragma once
// The application's menu bar: six menus (Tindra, Archivo, Edición, Visualización, Ventana, Ayuda)
// whose actions are made once per process and shared by every window that attaches a bar.
//
// An action goes, in order, to the focused text widget (edit actions), then to the responder of
// the active window (its undo stack for undo and redo), then to the application's handlers.
// Items are enabled by the same chain when a menu opens and checked again before acting, so a
// shortcut never performs a disabled action.
//
// The shortcuts belong to the windows that attach a bar, except "Salir de Tindra" (Ctrl+Q): its
// keys quit from every window of the application, those without a bar included.

#include <QString>

#include <functional>

#include "ui/MenuAction.h"
#include "ui/MenuResponder.h"

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace MainMenu {

struct Handlers {
    // The application's actions: about, settings, profile, open, home window, help, welcome, web
    // site and terminate. Empty: those items stay disabled (terminate still quits).
    std::function<void(MenuAction)> application;
    // Which application actions are available now; empty: all of them.
    std::function<bool(MenuAction)> applicationEnabled;
    // "Buscar actualizaciones…", handled by the update controller even with no window.
    std::function<void()> checkForUpdates;
};

// Makes the actions (once per application object) and sets the handlers; a later call only
// replaces the handlers.
void make(Handlers handlers);

// The shared action; made with empty handlers when make() has not run.
QAction* action(MenuAction action);

// Gives `window` a menu bar of the six menus (through its QMainWindow or its layout, which must
// be set before) and registers `responder` (may be null) as the window's part of the chain until
// the window is destroyed. Returns the bar, owned by the window.
QMenuBar* attach(QWidget* window, MenuResponder* responder = nullptr);
// Gives a window without a menu bar (a small window, a sheet, a dialog) the keys of "Cerrar"
// (Ctrl+W): they close it as the window manager's close would, while it is the active window.
void addCloseKeys(QWidget* window);
// Changes or removes (null) the responder of an attached window.
void setResponder(QWidget* window, MenuResponder* responder);

// Whether the action is enabled now, by the chain above.
bool isEnabled(MenuAction action, QWidget* from = nullptr);
// Sends the action through the chain, as if its item were chosen, starting at `from`'s window
// (the active window when null). Nothing happens when it is not enabled.
void send(MenuAction action, QWidget* from = nullptr);

// Item titles that name the product ("Acerca de Tindra", …) and the menu titles, in order.
QStringList menuTitles();

}  // namespace MainMenu

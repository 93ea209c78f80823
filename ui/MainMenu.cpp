#include "ui/MainMenu.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QUndoStack>
#include <QWindow>

#include "ui/Brand.h"

// Selectors.

namespace MenuActions {

namespace {

struct Named {
    MenuAction action;
    const char* selector;
};

constexpr Named selectors[] = {
    {MenuAction::showAbout, "showAbout"},
    {MenuAction::checkForUpdates, "checkForUpdates"},
    {MenuAction::showSettings, "showSettings"},
    {MenuAction::showProfile, "showProfile"},
    {MenuAction::hide, "hide"},
    {MenuAction::hideOtherApplications, "hideOtherApplications"},
    {MenuAction::unhideAllApplications, "unhideAllApplications"},
    {MenuAction::terminate, "terminate"},
    {MenuAction::openDocument, "openDocument"},
    {MenuAction::performClose, "performClose"},
    {MenuAction::undo, "undo"},
    {MenuAction::redo, "redo"},
    {MenuAction::cut, "cut"},
    {MenuAction::copy, "copy"},
    {MenuAction::paste, "paste"},
    {MenuAction::selectAll, "selectAll"},
    {MenuAction::zoomInDocument, "zoomInDocument"},
    {MenuAction::zoomOutDocument, "zoomOutDocument"},
    {MenuAction::zoomToFitDocument, "zoomToFitDocument"},
    {MenuAction::performMiniaturize, "performMiniaturize"},
    {MenuAction::performZoom, "performZoom"},
    {MenuAction::showHomeWindow, "showHomeWindow"},
    {MenuAction::arrangeInFront, "arrangeInFront"},
    {MenuAction::openHelp, "openHelp"},
    {MenuAction::showWelcomeWindow, "showWelcomeWindow"},
    {MenuAction::openWebsite, "openWebsite"},
};

}  // namespace

QString selector(MenuAction action) {
    for (const Named& n : selectors) {
        if (n.action == action) return QString::fromLatin1(n.selector);
    }
    return {};
}

std::optional<MenuAction> fromSelector(const QString& name) {
    for (const Named& n : selectors) {
        if (name == QLatin1String(n.selector)) return n.action;
    }
    return std::nullopt;
}

bool isEdit(MenuAction action) {
    switch (action) {
        case MenuAction::undo:
        case MenuAction::redo:
        case MenuAction::cut:
        case MenuAction::copy:
        case MenuAction::paste:
        case MenuAction::selectAll: return true;
        default: return false;
    }
}

bool isApplication(MenuAction action) {
    switch (action) {
        case MenuAction::showAbout:
        case MenuAction::showSettings:
        case MenuAction::showProfile:
        case MenuAction::terminate:
        case MenuAction::openDocument:
        case MenuAction::showHomeWindow:
        case MenuAction::openHelp:
        case MenuAction::showWelcomeWindow:
        case MenuAction::openWebsite: return true;
        default: return false;
    }
}

}  // namespace MenuActions

namespace MainMenu {

namespace {

constexpr char actionProperty[] = "tindraMenuAction";

void dispatch(MenuAction action, QWidget* from);

// The process's menu: the shared actions, the handlers and the windows' responders. Owned by the
// application object, so it goes with it.
//
// It also watches the application's key presses for the keys of "Salir": a window without the
// menu bar (the progress window, an alert, a dialog) has none of the menu's shortcuts, and a key
// press reaches its widgets only when no shortcut took it, so quitting works from every window.
class Model : public QObject {
public:
    explicit Model(QObject* parent) : QObject(parent) {}
    QHash<int, QAction*> actions;
    Handlers handlers;
    QHash<QWidget*, MenuResponder*> responders;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
        const QAction* quit = actions.value(static_cast<int>(MenuAction::terminate));
        if (!quit) return false;
        const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
        if (!quit->shortcuts().contains(pressed)) return false;
        dispatch(MenuAction::terminate, static_cast<QWidget*>(watched));
        return true;
    }
};

QPointer<Model>& modelPointer() {
    static QPointer<Model> model;
    return model;
}

struct Item {
    MenuAction action;
    QString title;
    QList<QKeySequence> keys;
};

// One menu: items, with a null title meaning a separator.
struct MenuDefinition {
    QString title;
    std::vector<std::optional<Item>> items;
};

QKeySequence ctrl(const QString& key) { return QKeySequence(QStringLiteral("Ctrl+") + key); }

std::vector<MenuDefinition> definitions() {
    const QString& name = Brand::name;
    const auto sep = std::optional<Item>();
    return {
        {name,
         {Item{MenuAction::showAbout, QStringLiteral("Acerca de ") + name, {}},
          Item{MenuAction::checkForUpdates, QStringLiteral("Buscar actualizaciones…"), {}}, sep,
          Item{MenuAction::showSettings, QStringLiteral("Opciones…"), {ctrl(QStringLiteral(","))}},
          Item{MenuAction::showProfile, QStringLiteral("Mis datos…"), {}}, sep,
          Item{MenuAction::hide, QStringLiteral("Ocultar ") + name, {ctrl(QStringLiteral("H"))}},
          Item{MenuAction::hideOtherApplications, QStringLiteral("Ocultar otros"),
               {QKeySequence(QStringLiteral("Ctrl+Alt+H"))}},
          Item{MenuAction::unhideAllApplications, QStringLiteral("Mostrar todo"), {}}, sep,
          Item{MenuAction::terminate, QStringLiteral("Salir de ") + name, {ctrl(QStringLiteral("Q"))}}}},
        {QStringLiteral("Archivo"),
         {Item{MenuAction::openDocument, QStringLiteral("Firmar PDF…"), {ctrl(QStringLiteral("O"))}}, sep,
          Item{MenuAction::performClose, QStringLiteral("Cerrar"), {ctrl(QStringLiteral("W"))}}}},
        {QStringLiteral("Edición"),
         {Item{MenuAction::undo, QStringLiteral("Deshacer"), {ctrl(QStringLiteral("Z"))}},
          Item{MenuAction::redo, QStringLiteral("Rehacer"), {QKeySequence(QStringLiteral("Ctrl+Shift+Z"))}},
          sep,
          Item{MenuAction::cut, QStringLiteral("Cortar"), {ctrl(QStringLiteral("X"))}},
          Item{MenuAction::copy, QStringLiteral("Copiar"), {ctrl(QStringLiteral("C"))}},
          Item{MenuAction::paste, QStringLiteral("Pegar"), {ctrl(QStringLiteral("V"))}},
          Item{MenuAction::selectAll, QStringLiteral("Seleccionar todo"), {ctrl(QStringLiteral("A"))}}}},
        {QStringLiteral("Visualización"),
         {Item{MenuAction::zoomInDocument, QStringLiteral("Ampliar"),
               {ctrl(QStringLiteral("+")), ctrl(QStringLiteral("="))}},
          Item{MenuAction::zoomOutDocument, QStringLiteral("Reducir"), {ctrl(QStringLiteral("-"))}},
          Item{MenuAction::zoomToFitDocument, QStringLiteral("Ajustar a la ventana"),
               {ctrl(QStringLiteral("9"))}}}},
        {QStringLiteral("Ventana"),
         {Item{MenuAction::performMiniaturize, QStringLiteral("Minimizar"), {ctrl(QStringLiteral("M"))}},
          Item{MenuAction::performZoom, QStringLiteral("Zoom"), {}}, sep,
          Item{MenuAction::showHomeWindow, name, {ctrl(QStringLiteral("0"))}}, sep,
          Item{MenuAction::arrangeInFront, QStringLiteral("Traer todo al frente"), {}}}},
        {QStringLiteral("Ayuda"),
         {Item{MenuAction::openHelp, QStringLiteral("Ayuda de ") + name,
               {ctrl(QStringLiteral("?")), QKeySequence(Qt::Key_F1)}},
          Item{MenuAction::showWelcomeWindow, QStringLiteral("Bienvenida a ") + name, {}}, sep,
          Item{MenuAction::openWebsite, QStringLiteral("Web de ") + name, {}}}},
    };
}

Model* model() {
    QPointer<Model>& pointer = modelPointer();
    if (pointer) return pointer;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return nullptr;
    auto* made = new Model(app);
    for (const MenuDefinition& definition : definitions()) {
        for (const auto& item : definition.items) {
            if (!item) continue;
            auto* act = new QAction(item->title, made);
            act->setObjectName(MenuActions::selector(item->action));
            act->setProperty(actionProperty, static_cast<int>(item->action));
            act->setShortcuts(item->keys);
            act->setShortcutContext(Qt::WindowShortcut);
            act->setMenuRole(QAction::NoRole);
            if (item->action == MenuAction::hideOtherApplications) act->setEnabled(false);
            const MenuAction which = item->action;
            QObject::connect(act, &QAction::triggered, made, [which] { dispatch(which, nullptr); });
            made->actions.insert(static_cast<int>(item->action), act);
        }
    }
    app->installEventFilter(made);
    pointer = made;
    return made;
}

// The window a chain starts at.
QWidget* startWindow(QWidget* from) {
    if (from) return from->window();
    return QApplication::activeWindow();
}

MenuResponder* responderFor(QWidget* window) {
    Model* m = model();
    if (!m) return nullptr;
    for (QWidget* w = window; w; w = w->parentWidget() ? w->parentWidget()->window() : nullptr) {
        auto it = m->responders.constFind(w);
        if (it != m->responders.constEnd() && *it) return *it;
    }
    return nullptr;
}

// The focused text widget of the chain's window.
struct TextTarget {
    QLineEdit* line = nullptr;
    QTextEdit* rich = nullptr;
    QPlainTextEdit* plain = nullptr;
    explicit operator bool() const { return line || rich || plain; }
};

TextTarget textTarget(QWidget* window) {
    TextTarget target;
    QWidget* focus = window ? window->focusWidget() : QApplication::focusWidget();
    if (!focus) return target;
    if (auto* combo = qobject_cast<QComboBox*>(focus)) {
        target.line = combo->lineEdit();
        return target;
    }
    target.line = qobject_cast<QLineEdit*>(focus);
    target.rich = qobject_cast<QTextEdit*>(focus);
    target.plain = qobject_cast<QPlainTextEdit*>(focus);
    return target;
}

bool textEnabled(const TextTarget& t, MenuAction action) {
    if (t.line) {
        const bool editable = !t.line->isReadOnly();
        const bool visibleText = t.line->echoMode() == QLineEdit::Normal;
        switch (action) {
            case MenuAction::undo: return editable && t.line->isUndoAvailable();
            case MenuAction::redo: return editable && t.line->isRedoAvailable();
            case MenuAction::cut: return editable && visibleText && t.line->hasSelectedText();
            case MenuAction::copy: return visibleText && t.line->hasSelectedText();
            case MenuAction::paste: return editable;
            case MenuAction::selectAll: return !t.line->text().isEmpty();
            default: return false;
        }
    }
    const bool editable = t.rich ? !t.rich->isReadOnly() : !t.plain->isReadOnly();
    const QTextDocument* doc = t.rich ? t.rich->document() : t.plain->document();
    const bool selection = t.rich ? t.rich->textCursor().hasSelection() : t.plain->textCursor().hasSelection();
    switch (action) {
        case MenuAction::undo: return editable && doc->isUndoAvailable();
        case MenuAction::redo: return editable && doc->isRedoAvailable();
        case MenuAction::cut: return editable && selection;
        case MenuAction::copy: return selection;
        case MenuAction::paste: return editable && (t.rich ? t.rich->canPaste() : t.plain->canPaste());
        case MenuAction::selectAll: return !doc->isEmpty();
        default: return false;
    }
}

void textPerform(const TextTarget& t, MenuAction action) {
    if (t.line) {
        switch (action) {
            case MenuAction::undo: t.line->undo(); break;
            case MenuAction::redo: t.line->redo(); break;
            case MenuAction::cut: t.line->cut(); break;
            case MenuAction::copy: t.line->copy(); break;
            case MenuAction::paste: t.line->paste(); break;
            case MenuAction::selectAll: t.line->selectAll(); break;
            default: break;
        }
        return;
    }
    auto run = [action](auto* edit) {
        switch (action) {
            case MenuAction::undo: edit->undo(); break;
            case MenuAction::redo: edit->redo(); break;
            case MenuAction::cut: edit->cut(); break;
            case MenuAction::copy: edit->copy(); break;
            case MenuAction::paste: edit->paste(); break;
            case MenuAction::selectAll: edit->selectAll(); break;
            default: break;
        }
    };
    if (t.rich) run(t.rich); else run(t.plain);
}

// The application's visible ordinary windows.
QList<QWidget*> appWindows(bool includeMinimized) {
    QList<QWidget*> result;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isWindow() || qobject_cast<QMenu*>(w)) continue;
        const Qt::WindowType type = w->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip || type == Qt::SplashScreen || type == Qt::Desktop) continue;
        if (!w->isVisible()) continue;
        if (!includeMinimized && w->isMinimized()) continue;
        result << w;
    }
    return result;
}

bool enabledIn(MenuAction action, QWidget* window) {
    Model* m = model();
    if (!m) return false;
    QAction* item = m->actions.value(static_cast<int>(action));
    if (action == MenuAction::hideOtherApplications) return false;  // other applications are not ours
    if (MenuActions::isEdit(action)) {
        const TextTarget text = textTarget(window);
        if (text) return textEnabled(text, action);
    }
    MenuResponder* responder = responderFor(window);
    if (responder) {
        if ((action == MenuAction::undo || action == MenuAction::redo) && responder->undoStack()) {
            QUndoStack* stack = responder->undoStack();
            return action == MenuAction::undo ? stack->canUndo() : stack->canRedo();
        }
        if (responder->respondsTo(action)) return !item || responder->validateMenuItem(*item);
    }
    switch (action) {
        case MenuAction::checkForUpdates: return static_cast<bool>(m->handlers.checkForUpdates);
        case MenuAction::terminate: return true;
        case MenuAction::performClose:
        case MenuAction::performMiniaturize:
        case MenuAction::performZoom: return window != nullptr;
        case MenuAction::hide:
        case MenuAction::arrangeInFront: return !appWindows(false).isEmpty();
        case MenuAction::unhideAllApplications: return true;
        default: break;
    }
    if (MenuActions::isApplication(action)) {
        if (!m->handlers.application) return false;
        return !m->handlers.applicationEnabled || m->handlers.applicationEnabled(action);
    }
    return false;  // edit and zoom actions with nobody to take them
}

void dispatch(MenuAction action, QWidget* from) {
    Model* m = model();
    if (!m) return;
    QWidget* window = startWindow(from);
    if (!enabledIn(action, window)) return;
    if (MenuActions::isEdit(action)) {
        const TextTarget text = textTarget(window);
        if (text) {
            textPerform(text, action);
            return;
        }
    }
    if (MenuResponder* responder = responderFor(window)) {
        if ((action == MenuAction::undo || action == MenuAction::redo) && responder->undoStack()) {
            if (action == MenuAction::undo) responder->undoStack()->undo();
            else responder->undoStack()->redo();
            return;
        }
        if (responder->respondsTo(action)) {
            responder->perform(action);
            return;
        }
    }
    switch (action) {
        case MenuAction::checkForUpdates:
            m->handlers.checkForUpdates();
            return;
        case MenuAction::performClose:
            if (window) window->close();
            return;
        case MenuAction::performMiniaturize:
            if (window) window->showMinimized();
            return;
        case MenuAction::performZoom:
            if (window) {
                if (window->isMaximized()) window->showNormal(); else window->showMaximized();
            }
            return;
        case MenuAction::hide:
            for (QWidget* w : appWindows(false)) w->showMinimized();
            return;
        case MenuAction::unhideAllApplications:
            for (QWidget* w : appWindows(true)) {
                if (w->isMinimized()) w->showNormal();
            }
            return;
        case MenuAction::arrangeInFront: {
            QWidget* active = QApplication::activeWindow();
            for (QWidget* w : appWindows(false)) w->raise();
            if (active) active->raise();
            return;
        }
        case MenuAction::terminate:
            if (m->handlers.application) {
                m->handlers.application(action);
            } else {
                QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                          Qt::QueuedConnection);
            }
            return;
        default: break;
    }
    if (MenuActions::isApplication(action) && m->handlers.application) m->handlers.application(action);
}

// Brings the items' states up to date while a menu is open; afterwards they are enabled again so
// their shortcuts reach dispatch, which checks again before acting.
// "Deshacer" and "Rehacer", followed by the name of the step they would act on when the
// window's undo stack takes them (a focused text field's own undo has no name).
QString undoTitle(MenuAction action, QWidget* window) {
    const QString plain =
        action == MenuAction::undo ? QStringLiteral("Deshacer") : QStringLiteral("Rehacer");
    if (textTarget(window)) return plain;
    MenuResponder* responder = responderFor(window);
    QUndoStack* stack = responder ? responder->undoStack() : nullptr;
    if (!stack) return plain;
    const QString step = action == MenuAction::undo ? stack->undoText() : stack->redoText();
    return step.isEmpty() ? plain : plain + QLatin1Char(' ') + step;
}

void validate(QMenu* menu) {
    QWidget* window = QApplication::activeWindow();
    for (QAction* act : menu->actions()) {
        const QVariant which = act->property(actionProperty);
        if (!which.isValid()) continue;
        const auto action = static_cast<MenuAction>(which.toInt());
        act->setEnabled(enabledIn(action, window));
        if (action == MenuAction::undo || action == MenuAction::redo)
            act->setText(undoTitle(action, window));
    }
}

void release(QMenu* menu) {
    for (QAction* act : menu->actions()) {
        const QVariant which = act->property(actionProperty);
        if (!which.isValid()) continue;
        const auto action = static_cast<MenuAction>(which.toInt());
        act->setEnabled(action != MenuAction::hideOtherApplications);
        if (action == MenuAction::undo) act->setText(QStringLiteral("Deshacer"));
        if (action == MenuAction::redo) act->setText(QStringLiteral("Rehacer"));
    }
}

// The "Ventana" menu ends with one item per open window.
void listWindows(QMenu* menu) {
    for (QAction* act : menu->actions()) {
        if (act->property("tindraWindowItem").toBool()) {
            menu->removeAction(act);
            act->deleteLater();
        }
    }
    const QList<QWidget*> windows = appWindows(true);
    QList<QWidget*> titled;
    for (QWidget* w : windows) {
        if (!w->windowTitle().isEmpty()) titled << w;
    }
    if (titled.isEmpty()) return;
    QAction* separator = menu->addSeparator();
    separator->setProperty("tindraWindowItem", true);
    QWidget* active = QApplication::activeWindow();
    for (QWidget* w : titled) {
        QAction* item = menu->addAction(w->windowTitle());
        item->setProperty("tindraWindowItem", true);
        item->setCheckable(true);
        item->setChecked(w == active);
        QPointer<QWidget> target(w);
        QObject::connect(item, &QAction::triggered, item, [target] {
            if (!target) return;
            if (target->isMinimized()) target->showNormal();
            target->raise();
            target->activateWindow();
        });
    }
}

}  // namespace

void make(Handlers handlers) {
    Model* m = model();
    if (m) m->handlers = std::move(handlers);
}

QAction* action(MenuAction which) {
    Model* m = model();
    return m ? m->actions.value(static_cast<int>(which)) : nullptr;
}

void addCloseKeys(QWidget* window) {
    if (!window) return;
    if (QAction* item = action(MenuAction::performClose)) window->addAction(item);
}

QMenuBar* attach(QWidget* window, MenuResponder* responder) {
    Model* m = model();
    if (!m || !window) return nullptr;
    auto* bar = new QMenuBar(window);
    bar->setNativeMenuBar(false);
    for (const MenuDefinition& definition : definitions()) {
        QMenu* menu = bar->addMenu(definition.title);
        menu->setObjectName(definition.title);
        for (const auto& item : definition.items) {
            if (!item) {
                menu->addSeparator();
                continue;
            }
            menu->addAction(m->actions.value(static_cast<int>(item->action)));
        }
        QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, title = definition.title] {
            if (title == QLatin1String("Ventana")) listWindows(menu);
            validate(menu);
        });
        QObject::connect(menu, &QMenu::aboutToHide, menu, [menu] { release(menu); });
    }
    if (auto* main = qobject_cast<QMainWindow*>(window)) {
        main->setMenuBar(bar);
    } else if (window->layout()) {
        window->layout()->setMenuBar(bar);
    } else {
        bar->setGeometry(0, 0, window->width(), bar->sizeHint().height());
    }
    setResponder(window, responder);
    QObject::connect(window, &QObject::destroyed, m, [window] {
        if (Model* current = model()) current->responders.remove(window);
    });
    return bar;
}

void setResponder(QWidget* window, MenuResponder* responder) {
    Model* m = model();
    if (!m || !window) return;
    if (responder) m->responders.insert(window, responder);
    else m->responders.remove(window);
}

bool isEnabled(MenuAction which, QWidget* from) { return enabledIn(which, startWindow(from)); }

void send(MenuAction which, QWidget* from) { dispatch(which, from); }

QStringList menuTitles() {
    QStringList titles;
    for (const MenuDefinition& definition : definitions()) titles << definition.title;
    return titles;
}

}  // namespace MainMenu

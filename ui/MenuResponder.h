#pragma once
// A window's part in the menu's chain of responders: the actions it handles (the document zoom,
// undo and redo, …) and whether each of its items is enabled. A window registers its responder
// with MainMenu::attach.

#include <QAction>

#include "ui/MenuAction.h"

class QUndoStack;

class MenuResponder {
public:
    virtual ~MenuResponder() = default;

    // Whether this window handles `action`; the chain goes on to the application when not.
    virtual bool respondsTo(MenuAction action) const {
        (void)action;
        return false;
    }
    // Performs an action it responds to.
    virtual void perform(MenuAction action) { (void)action; }
    // Whether an item whose action this window handles is enabled; the item's objectName is its
    // selector ("zoomInDocument", …).
    virtual bool validateMenuItem(const QAction& item) const {
        (void)item;
        return true;
    }
    // The window's undo stack: "Deshacer" and "Rehacer" act on it (when the focused widget is not
    // a text field) and are enabled by its state. Null: undo and redo go to respondsTo/perform.
    virtual QUndoStack* undoStack() const { return nullptr; }
};

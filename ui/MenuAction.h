#pragma once
// The actions of the main menu. Each item carries its action's selector name as its objectName
// ("zoomInDocument", "showSettings", …), which responders read to validate it.

#include <QString>

#include <optional>

enum class MenuAction {
    showAbout,
    checkForUpdates,
    showSettings,
    showProfile,
    hide,
    hideOtherApplications,
    unhideAllApplications,
    terminate,
    openDocument,
    performClose,
    undo,
    redo,
    cut,
    copy,
    paste,
    selectAll,
    zoomInDocument,
    zoomOutDocument,
    zoomToFitDocument,
    performMiniaturize,
    performZoom,
    showHomeWindow,
    arrangeInFront,
    openHelp,
    showWelcomeWindow,
    openWebsite,
};

namespace MenuActions {

// The selector name, e.g. "zoomInDocument".
QString selector(MenuAction action);
// The action of a selector name (an item's objectName); nothing for another name.
std::optional<MenuAction> fromSelector(const QString& selector);

// Edit actions go to the focused text widget first.
bool isEdit(MenuAction action);
// Actions the application delegate answers (about, settings, profile, open, home window, help,
// welcome, web site, quit).
bool isApplication(MenuAction action);

}  // namespace MenuActions

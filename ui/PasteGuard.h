#pragma once
// Pastes from a clipboard that holds nothing are dropped before they reach a text widget.
//
// Under X11 a clipboard whose owner has gone (the program copied from was closed, or nothing was
// ever copied on the display) hands Qt an empty offer, and Qt 6.4's text controls end the process
// when they are asked to insert it (a plain or rich text edit, by Ctrl+V or a middle click). The
// guard watches the application's key presses and middle clicks aimed at an editable text
// widget: when the clipboard they would paste from offers no data at all, the event is swallowed
// and the paste does nothing. A clipboard with data is pasted as before.

#include <QObject>

namespace PasteGuard {

// Installs the guard on the application object, once; later calls do nothing. Needs the
// application object.
void install();

}  // namespace PasteGuard

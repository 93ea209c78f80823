#pragma once
// The file manager's menu entries that hand PDFs to the application, the desktop entry and the
// link that makes the application the handler of tindra:// links.

#include "app/ui/QuickActionName.h"

namespace QuickAction {

// Registers the entries; true when this copy had not been registered before.
bool install();
void uninstall();
// Makes the file managers read their menus again.
void relaunchFinder();

}  // namespace QuickAction

#include "app/QuickAction.h"

namespace QuickAction {

bool install() { return false; }
void uninstall() {}
void relaunchFinder() {}

}  // namespace QuickAction

#pragma once
// The file manager's menu entries that hand PDFs to the application, the desktop entry and the
// link that makes the application the handler of tindra:// links.
//
// An installed copy lives in <prefix>/lib/tindra/ with its helpers beside it: ostrel (run by the
// Nautilus script "Firmar con Tindra", a symbolic link to it) and pellon (run by the Dolphin
// service menu and the Nemo action). Everything is written under $XDG_DATA_HOME:
//
//   applications/es.calverin.Tindra.desktop        the desktop entry (PDFs, tindra:// links)
//   kio/servicemenus/tindra-firmar.desktop         Dolphin, when pellon is present
//   nemo/actions/tindra-firmar.nemo_action         Nemo, when pellon is present
//   nautilus/scripts/Firmar con Tindra             -> <prefix>/lib/tindra/ostrel
//
// Files are ours when they hold the line "X-Tindra-Generated=true", links when their target ends
// with "/lib/tindra/ostrel"; anything else at those paths is the user's and is never replaced or
// removed. The defaults key "quickActionMenu" records that the Nautilus script was switched on
// once: a user who removed the link later keeps it removed.
//
// The desktop entry is made the first handler of tindra:// links in $XDG_CONFIG_HOME/mimeapps.list,
// with the handlers named before kept behind it (MimeApps). Every copy installed writes the same
// entries, each naming its own programs, and the last one started holds them: an uninstallation
// removes only the entries that name its own copy, and leaves the handler line while a desktop
// entry is left.

#include <filesystem>
#include <string>

#include "ui/QuickActionName.h"

class Defaults;
class ProcessRunner;

namespace QuickAction {

inline constexpr char desktopFileName[] = "es.calverin.Tindra.desktop";
inline constexpr char generatedLine[] = "X-Tindra-Generated=true";
inline constexpr char registeredPathKey[] = "quickActionRegisteredPath";
inline constexpr char menuKey[] = "quickActionMenu";
// The end of the target of a Nautilus script link of ours.
inline constexpr char ownScriptSuffix[] = "/lib/tindra/ostrel";

// Where the entries go and what runs the system tools.
struct Environment {
    // The folder of tindra, ostrel and pellon.
    std::filesystem::path executableFolder;
    // $XDG_DATA_HOME.
    std::filesystem::path dataHome;
    // $XDG_CONFIG_HOME, where the tindra:// handler line goes; empty: no handler line is written.
    std::filesystem::path configHome;
    Defaults* defaults = nullptr;
    ProcessRunner* runner = nullptr;

    // This executable's folder, Paths::dataHome(), Paths::configHome(), Defaults::standard(),
    // ProcessRunner::system().
    static Environment standard();
};

// The paths of the entries under a data home.
struct Entries {
    std::filesystem::path desktopEntry;
    std::filesystem::path serviceMenu;
    std::filesystem::path nemoAction;
    std::filesystem::path nautilusScript;
};
Entries entries(const std::filesystem::path& dataHome);

// The texts of the generated files.
std::string desktopEntry(const std::filesystem::path& tindra);
std::string serviceMenu(const std::filesystem::path& pellon);
std::string nemoAction(const std::filesystem::path& pellon);
// One argument of an Exec line: quoted when it holds a reserved character, with the escapes of
// freedesktop.org desktop entries (quoting, then "%" as "%%", then the string escapes).
std::string execArgument(const std::string& argument);

// Registers the entries; true when this copy had not been registered before (no recorded folder,
// or another one). False at once when ostrel is not beside the executable.
bool install();
bool install(const Environment& environment);
// Removes the entries that name this copy; the recorded state too, unless another copy is the one
// recorded. With no desktop entry left, the desktop entry leaves the tindra:// handler lines of
// $XDG_CONFIG_HOME/mimeapps.list and $XDG_DATA_HOME/applications/mimeapps.list.
void uninstall();
void uninstall(const Environment& environment);
// Refreshes what the desktop caches of the entries: the desktop database and, when the desktop
// entry is ours, the tindra:// handler. The file managers read their menu entries whenever a
// menu opens, so none of them is restarted and the user's windows stay open.
void relaunchFinder();
void relaunchFinder(const Environment& environment);

}  // namespace QuickAction

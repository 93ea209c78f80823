#include "app/QuickAction.h"

#include <sys/stat.h>

#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include "app/MimeApps.h"
#include "app/PellonRequest.h"
#include "platform/AtomicFile.h"
#include "platform/Defaults.h"
#include "platform/Paths.h"
#include "platform/ProcessRunner.h"

namespace fs = std::filesystem;

namespace QuickAction {

namespace {

// Our entries are a few hundred bytes; a larger file at one of our paths is not ours, and we never
// read more than this of it.
constexpr std::streamsize maxEntrySize = 64 * 1024;
// Characters that make an Exec argument need quotes in a freedesktop.org desktop entry.
constexpr std::string_view reservedCharacters = " \t\n\"'\\><~|&;$*?#()`";

const char* const updateDatabase = "update-desktop-database";
constexpr char schemeType[] = "x-scheme-handler/tindra";

// The executable's folder through /proc/self/exe (no application object is needed).
fs::path ownFolder() {
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error && self.is_absolute()) return self.parent_path();
    return fs::current_path(error);
}

bool isFile(const fs::path& path) {
    std::error_code error;
    return fs::is_regular_file(path, error);
}

// What is at one of our paths: nothing; ours, naming this copy's programs; ours, naming another
// copy's; or something of the user's.
enum class Slot { empty, own, otherCopy, foreign };

// A generated file of ours: a regular file (not a link) holding the generated line; this copy's
// when it also holds `exec`, the Exec line this copy writes there.
Slot fileSlot(const fs::path& path, std::string_view exec) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error) return error == std::errc::no_such_file_or_directory ? Slot::empty : Slot::foreign;
    if (status.type() == fs::file_type::not_found) return Slot::empty;
    if (status.type() != fs::file_type::regular) return Slot::foreign;
    std::ifstream in(path, std::ios::binary);
    if (!in) return Slot::foreign;
    std::string text(static_cast<std::size_t>(maxEntrySize) + 1, '\0');
    in.read(text.data(), maxEntrySize + 1);
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > static_cast<std::size_t>(maxEntrySize)) return Slot::foreign;
    bool generated = false;
    bool named = false;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        generated = generated || line == generatedLine;
        named = named || line == exec;
        start = end + 1;
    }
    if (!generated) return Slot::foreign;
    return named ? Slot::own : Slot::otherCopy;
}

// A Nautilus script link of ours: a symbolic link whose target ends with the own suffix; this
// copy's when it is `ostrel`.
Slot linkSlot(const fs::path& path, const fs::path& ostrel) {
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (error) return error == std::errc::no_such_file_or_directory ? Slot::empty : Slot::foreign;
    if (status.type() == fs::file_type::not_found) return Slot::empty;
    if (status.type() != fs::file_type::symlink) return Slot::foreign;
    const fs::path pointed = fs::read_symlink(path, error);
    if (error || !pointed.string().ends_with(ownScriptSuffix)) return Slot::foreign;
    return pointed == ostrel ? Slot::own : Slot::otherCopy;
}

// Writes a generated file unless something of the user's is there; `mode` 0 keeps the default.
void writeEntry(const fs::path& path, const std::string& text, mode_t mode = 0) {
    if (fileSlot(path, {}) == Slot::foreign) return;
    try {
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        AtomicFile::write(path, text);
        if (mode != 0) ::chmod(path.c_str(), mode);
    } catch (const std::exception&) {
        // An entry that cannot be written is left out; the others still are.
    }
}

// Removes a generated file that names this copy (its Exec line is `exec`).
void removeEntry(const fs::path& path, std::string_view exec) {
    std::error_code error;
    if (fileSlot(path, exec) == Slot::own) fs::remove(path, error);
}

fs::path configList(const Environment& environment) { return environment.configHome / "mimeapps.list"; }

// The desktop entry first among the handlers of tindra:// links, the others kept behind it.
void becomeHandler(const Environment& environment) {
    if (environment.configHome.empty()) return;
    try {
        MimeApps::putFirst(configList(environment), schemeType, desktopFileName);
    } catch (const std::exception&) {
        // Links then open with whatever handled them before; the entries still work.
    }
}

// The desktop entry out of the handlers of tindra:// links: the user's own list and the one
// beside the desktop entries, where other tools write it.
void leaveHandler(const Environment& environment) {
    std::vector<fs::path> lists{environment.dataHome / "applications" / "mimeapps.list"};
    if (!environment.configHome.empty()) lists.insert(lists.begin(), configList(environment));
    for (const fs::path& list : lists) {
        try {
            MimeApps::remove(list, schemeType, desktopFileName);
        } catch (const std::exception&) {
        }
    }
}

// Points `link` at `target`, replacing whatever link of ours is there in one rename.
void pointLink(const fs::path& link, const fs::path& target) {
    std::error_code error;
    fs::create_directories(link.parent_path(), error);
    const fs::path temporary = AtomicFile::temporaryPath(link, true);
    fs::create_symlink(target, temporary, error);
    if (error) return;
    fs::rename(temporary, link, error);
    if (error) fs::remove(temporary, error);
}

// A system tool; its output and status are not looked at, a missing tool is skipped.
void runTool(ProcessRunner& runner, const char* program, const std::vector<std::string>& arguments) {
    try {
        runner.run(program, arguments);
    } catch (const std::exception&) {
    }
}

void setDefault(Defaults& defaults, const std::string& key, const nlohmann::json& value) {
    try {
        defaults.set(key, value);
    } catch (const std::exception&) {
    }
}

void removeDefault(Defaults& defaults, const std::string& key) {
    try {
        defaults.remove(key);
    } catch (const std::exception&) {
    }
}

std::string escapeString(const std::string& value) {
    std::string out;
    out.reserve(value.size());
    for (const char c : value) {
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

Environment Environment::standard() {
    Environment environment;
    environment.executableFolder = ownFolder();
    environment.dataHome = Paths::dataHome();
    environment.configHome = Paths::configHome();
    environment.defaults = &Defaults::standard();
    environment.runner = &ProcessRunner::system();
    return environment;
}

Entries entries(const fs::path& dataHome) {
    return {dataHome / "applications" / desktopFileName,
            dataHome / "kio" / "servicemenus" / "tindra-firmar.desktop",
            dataHome / "nemo" / "actions" / "tindra-firmar.nemo_action",
            dataHome / "nautilus" / "scripts" / name.toStdString()};
}

namespace {

// Double quotes around an argument that holds a reserved character, with " ` $ \ escaped: the
// quoting both desktop entries and shell-style splitting read.
std::string quoteArgument(const std::string& argument) {
    if (argument.find_first_of(reservedCharacters) == std::string::npos) return argument;
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    return quoted;
}

}  // namespace

std::string execArgument(const std::string& argument) {
    const std::string quoted = quoteArgument(argument);
    std::string fieldSafe;
    fieldSafe.reserve(quoted.size());
    for (const char c : quoted) {
        fieldSafe += c;
        if (c == '%') fieldSafe += '%';
    }
    return escapeString(fieldSafe);
}

namespace {

// The Exec lines of the generated files, which also tell whose they are.
std::string desktopExec(const fs::path& tindra) { return "Exec=" + execArgument(tindra.string()) + " %U"; }
std::string serviceMenuExec(const fs::path& pellon) { return "Exec=" + execArgument(pellon.string()) + " %F"; }
std::string nemoExec(const fs::path& pellon) {
    return "Exec=" + escapeString(quoteArgument(pellon.string())) + " %U";
}

}  // namespace

std::string desktopEntry(const fs::path& tindra) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Tindra\n" +
           desktopExec(tindra) + "\n"
           "Icon=es.calverin.Tindra\n"
           "MimeType=application/pdf;x-scheme-handler/tindra;\n"
           "Categories=Office;\n" +
           std::string(generatedLine) + "\n";
}

// Dolphin offers a service menu only when every selected item matches its types, so the entry
// is listed for all of them and pellon keeps the PDFs. Each path of %F is one argument.
std::string serviceMenu(const fs::path& pellon) {
    return "[Desktop Entry]\n"
           "Type=Service\n"
           "MimeType=all/all;\n"
           "Actions=firmar;\n"
           "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n" +
           std::string(generatedLine) + "\n"
           "\n"
           "[Desktop Action firmar]\n"
           "Name=" + name.toStdString() + "\n"
           "Icon=tindra-firmar\n" +
           serviceMenuExec(pellon) + "\n";
}

// Nemo puts the selection into the Exec line as text and then splits the line like a shell, so
// the items are file: URIs (%U: no blank, quote or backslash is left unencoded) between the
// double quotes of Quote=double, which also keep an apostrophe whole. Nemo knows no "%%": the
// program's path is quoted for the split only. Nemo too offers an action only when every item
// matches; "any" lists it for every selection.
std::string nemoAction(const fs::path& pellon) {
    return "[Nemo Action]\n"
           "Name=" + name.toStdString() + "\n" +
           nemoExec(pellon) + "\n"
           "Quote=double\n"
           "Icon-Name=tindra-firmar\n"
           "Selection=notnone\n"
           "Extensions=any;\n" +
           std::string(generatedLine) + "\n";
}

bool install() { return install(Environment::standard()); }

bool install(const Environment& environment) {
    Defaults& defaults = *environment.defaults;
    ProcessRunner& runner = *environment.runner;
    try {
        PellonRequest::prepareKey(defaults);
    } catch (const std::exception&) {
        // pellon then sends an empty key, which the application refuses; the rest still works.
    }

    const fs::path folder = environment.executableFolder;
    const fs::path ostrel = folder / "ostrel";
    const fs::path pellon = folder / "pellon";
    if (!isFile(ostrel)) return false;

    const Entries paths = entries(environment.dataHome);
    writeEntry(paths.desktopEntry, desktopEntry(folder / "tindra"));
    runTool(runner, updateDatabase, {paths.desktopEntry.parent_path().string()});
    // The handler names the desktop entry only when it is ours, never a file of the user's.
    if (fileSlot(paths.desktopEntry, desktopExec(folder / "tindra")) == Slot::own) becomeHandler(environment);
    if (isFile(pellon)) {
        writeEntry(paths.serviceMenu, serviceMenu(pellon), 0755);
        writeEntry(paths.nemoAction, nemoAction(pellon));
    }

    // The Nautilus script. A link is made only when it will be recognised as ours later, so that a
    // later copy can point it at itself and the uninstallation can remove it.
    const bool linkable = ostrel.string().ends_with(ownScriptSuffix);
    const Slot script = linkSlot(paths.nautilusScript, ostrel);
    if (!defaults.contains(menuKey)) {
        if (linkable && (script == Slot::empty || script == Slot::otherCopy)) pointLink(paths.nautilusScript, ostrel);
        setDefault(defaults, menuKey, true);
    } else if (linkable && script == Slot::otherCopy) {
        pointLink(paths.nautilusScript, ostrel);
    }

    const std::optional<std::string> previous = defaults.string(registeredPathKey);
    setDefault(defaults, registeredPathKey, folder.string());
    return !previous || *previous != folder.string();
}

void uninstall() { uninstall(Environment::standard()); }

void uninstall(const Environment& environment) {
    const fs::path& folder = environment.executableFolder;
    const Entries paths = entries(environment.dataHome);
    removeEntry(paths.desktopEntry, desktopExec(folder / "tindra"));
    removeEntry(paths.serviceMenu, serviceMenuExec(folder / "pellon"));
    removeEntry(paths.nemoAction, nemoExec(folder / "pellon"));
    if (linkSlot(paths.nautilusScript, folder / "ostrel") == Slot::own) {
        std::error_code error;
        fs::remove(paths.nautilusScript, error);
    }
    // Another copy's desktop entry still opens the links.
    if (fileSlot(paths.desktopEntry, {}) == Slot::empty) leaveHandler(environment);
    // The state belongs to the copy recorded: another copy keeps it.
    Defaults& defaults = *environment.defaults;
    const std::optional<std::string> recorded = defaults.string(registeredPathKey);
    if (!recorded || *recorded == folder.string()) {
        removeDefault(defaults, registeredPathKey);
        removeDefault(defaults, menuKey);
    }
    runTool(*environment.runner, updateDatabase, {paths.desktopEntry.parent_path().string()});
}

void relaunchFinder() { relaunchFinder(Environment::standard()); }

void relaunchFinder(const Environment& environment) {
    // Nautilus, Nemo and Dolphin read their scripts, actions and service menus each time a menu
    // opens, so nothing of theirs is restarted: only the desktop database and, when the desktop
    // entry is ours, the tindra:// handler are renewed.
    ProcessRunner& runner = *environment.runner;
    const Entries paths = entries(environment.dataHome);
    runTool(runner, updateDatabase, {paths.desktopEntry.parent_path().string()});
    const Slot entry = fileSlot(paths.desktopEntry, {});
    if (entry == Slot::own || entry == Slot::otherCopy) becomeHandler(environment);
}

}  // namespace QuickAction

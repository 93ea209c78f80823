// The written menu entries run as the file managers run them: the Nemo action expanded with its
// quote rule and split like a shell line (GLib's own parser), the Dolphin service menu's Exec line
// split and its field codes expanded as desktop entries say, and the Nautilus script started with
// the selection as arguments and NAUTILUS_SCRIPT_SELECTED_FILE_PATHS. Each selected name must reach
// the helper, and then the application, as one argument. Which selections get the entry follows
// each file manager's type rules.
#include <gio/gio.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <QMimeDatabase>

#include <optional>

#include "app/desktop/DesktopFixtures.h"
#include "HelperFixtures.h"
#include "app/PellonRequest.h"
#include "app/QuickAction.h"
#include "platform/Defaults.h"

using namespace helpers;

namespace {

// The awkward names of the selection.
const std::vector<std::string> awkwardNames = {
    "Solicitud de ayuda 2024.pdf",
    "Carta \"urgente\" de 'Ana'.pdf",
    "copia\\final \\\" $HOME `id`.pdf",
    "Año – Núñez.pdf",
    "dos\nlíneas.pdf",
};

// One start of the stand-in application: its arguments (NUL-separated, so a name may hold a line
// feed) and the link it found in its environment.
struct Start {
    std::vector<std::string> arguments;
    std::string environmentLink;
};

// A stand-in tindra that records every start in a file of its own.
void recordingTindra(const fs::path& folder) {
    fs::remove(folder / "tindra");
    testutil::writeFile(folder / "tindra",
                        "#!/bin/sh\nf=\"$(dirname \"$0\")/start-$$\"\n"
                        "printf '%s' \"$TINDRA_LINK\" > \"$f.link\"\n"
                        "printf '%s\\0' \"$@\" > \"$f.tmp\" && mv \"$f.tmp\" \"$f.args\"\n");
    ::chmod((folder / "tindra").c_str(), 0755);
}

std::vector<Start> starts(const fs::path& folder, std::size_t count, int milliseconds = 5000) {
    std::vector<Start> result;
    (void)QTest::qWaitFor(
        [&] {
            result.clear();
            for (const auto& entry : fs::directory_iterator(folder)) {
                if (entry.path().extension() != ".args") continue;
                Start start;
                const std::string all = testutil::readFile(entry.path());
                std::size_t at = 0;
                while (at < all.size()) {
                    const std::size_t end = all.find('\0', at);
                    start.arguments.push_back(all.substr(at, end - at));
                    at = end + 1;
                }
                fs::path link = entry.path();
                link.replace_extension(".link");
                if (fs::exists(link)) start.environmentLink = testutil::readFile(link);
                result.push_back(start);
            }
            return result.size() >= count;
        },
        milliseconds);
    return result;
}

void clearStarts(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        const auto extension = entry.path().extension();
        if (extension == ".args" || extension == ".link") fs::remove(entry.path());
    }
}

// The hand-over link of a start of pellon's: in the environment, or else its one argument.
QString linkOf(const Start& start) {
    if (!start.environmentLink.empty()) return QString::fromStdString(start.environmentLink);
    return start.arguments.size() == 1 ? QString::fromStdString(start.arguments[0]) : QString();
}

std::vector<std::string> strings(gchar** vector) {
    std::vector<std::string> result;
    for (gchar** p = vector; p && *p; ++p) result.emplace_back(*p);
    return result;
}

std::optional<std::string> keyFileString(const fs::path& file, const char* group, const char* key) {
    GKeyFile* keys = g_key_file_new();
    std::optional<std::string> result;
    if (g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
        if (gchar* value = g_key_file_get_string(keys, group, key, nullptr)) {
            result = value;
            g_free(value);
        }
    }
    g_key_file_free(keys);
    return result;
}

std::vector<std::string> keyFileList(const fs::path& file, const char* group, const char* key) {
    GKeyFile* keys = g_key_file_new();
    std::vector<std::string> result;
    if (g_key_file_load_from_file(keys, file.c_str(), G_KEY_FILE_NONE, nullptr)) {
        gchar** list = g_key_file_get_string_list(keys, group, key, nullptr, nullptr);
        result = strings(list);
        g_strfreev(list);
    }
    g_key_file_free(keys);
    return result;
}

std::string fileURI(const fs::path& path) {
    gchar* uri = g_filename_to_uri(path.c_str(), nullptr, nullptr);
    std::string result = uri ? uri : "";
    g_free(uri);
    return result;
}

// GLib's shell-style split, as g_spawn_command_line_async does it; nothing when it fails.
std::optional<std::vector<std::string>> shellSplit(const std::string& line) {
    gint count = 0;
    gchar** argv = nullptr;
    if (!g_shell_parse_argv(line.c_str(), &count, &argv, nullptr)) return std::nullopt;
    std::vector<std::string> result = strings(argv);
    g_strfreev(argv);
    return result;
}

// Nemo: the first "%" of the Exec line names the token (%F paths, %U URIs); each item goes in
// between the Quote= characters, separated by blanks; then the line is split like a shell line.
std::optional<std::vector<std::string>> nemoCommand(const fs::path& action, const std::vector<fs::path>& selection) {
    const std::string group = "Nemo Action";
    std::string exec = keyFileString(action, group.c_str(), "Exec").value_or("");
    const std::string quoteType = keyFileString(action, group.c_str(), "Quote").value_or("");
    const std::string quote = quoteType == "double" ? "\"" : quoteType == "single" ? "'" : quoteType == "backtick" ? "`" : "";
    const std::size_t percent = exec.find('%');
    if (percent == std::string::npos || percent + 1 >= exec.size()) return shellSplit(exec);
    const char token = exec[percent + 1];
    if (token != 'F' && token != 'U') return shellSplit(exec);
    std::string insertion;
    for (std::size_t i = 0; i < selection.size(); ++i) {
        if (i > 0) insertion += ' ';
        insertion += quote + (token == 'U' ? fileURI(selection[i]) : selection[i].string()) + quote;
    }
    exec.replace(percent, 2, insertion);
    return shellSplit(exec);
}

// Dolphin (a desktop entry's Exec): split by the quoting rules, then %F is one argument per path,
// %U one per URI, and "%%" a percent sign.
std::optional<std::vector<std::string>> dolphinCommand(const fs::path& menu, const std::vector<fs::path>& selection) {
    const auto exec = keyFileString(menu, "Desktop Action firmar", "Exec");
    if (!exec) return std::nullopt;
    const auto words = shellSplit(*exec);
    if (!words) return std::nullopt;
    std::vector<std::string> result;
    for (std::string word : *words) {
        if (word == "%F" || word == "%U") {
            for (const fs::path& path : selection) result.push_back(word == "%F" ? path.string() : fileURI(path));
            continue;
        }
        for (std::size_t at = word.find("%%"); at != std::string::npos; at = word.find("%%", at + 1)) word.erase(at, 1);
        result.push_back(word);
    }
    return result;
}

// Nemo shows an action when every selected item matches: Extensions=any matches everything,
// otherwise an extension suffix or one of the Mimetypes (GIO's subclass rules).
bool nemoOffers(const fs::path& action, const std::vector<fs::path>& selection) {
    const auto extensions = keyFileList(action, "Nemo Action", "Extensions");
    const auto types = keyFileList(action, "Nemo Action", "Mimetypes");
    if (extensions.size() == 1 && extensions[0] == "any") return true;
    for (const fs::path& path : selection) {
        bool match = false;
        std::string name = path.filename().string();
        for (char& c : name) c = static_cast<char>(g_ascii_tolower(c));
        const bool folder = fs::is_directory(path);
        for (const std::string& extension : extensions) {
            if ((extension == "dir" && folder) || (extension == "nodirs" && !folder) ||
                (!extension.empty() && name.ends_with(extension))) {
                match = true;
            }
        }
        GFile* file = g_file_new_for_path(path.c_str());
        GFileInfo* info = g_file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE, G_FILE_QUERY_INFO_NONE,
                                            nullptr, nullptr);
        const char* type = info ? g_file_info_get_content_type(info) : nullptr;
        for (const std::string& wanted : types) {
            if (type && g_content_type_is_a(type, wanted.c_str())) match = true;
        }
        if (info) g_object_unref(info);
        g_object_unref(file);
        if (!match) return false;
    }
    return true;
}

// Dolphin shows a service menu when every selected item's type is in its MimeType list: the
// type itself or one it inherits, "all/all", or for a file "all/allfiles".
bool dolphinOffers(const fs::path& menu, const std::vector<fs::path>& selection) {
    const auto types = keyFileList(menu, "Desktop Entry", "MimeType");
    static const QMimeDatabase database;
    for (const fs::path& path : selection) {
        const QMimeType type = database.mimeTypeForFile(QString::fromStdString(path.string()));
        const bool file = !fs::is_directory(path);
        bool match = false;
        for (const std::string& wanted : types) {
            const QString name = QString::fromStdString(wanted);
            if (name == QLatin1String("all/all") || (file && name == QLatin1String("all/allfiles")) ||
                type.inherits(name)) {
                match = true;
            }
        }
        if (!match) return false;
    }
    return true;
}

// Runs a command line the file manager made, as the user, in the working folder.
Finished runCommand(const User& user, const std::vector<std::string>& command) {
    QStringList arguments;
    for (std::size_t i = 1; i < command.size(); ++i) arguments << QString::fromStdString(command[i]);
    return run(user, command.at(0), arguments);
}

struct Installed {
    User user;
    Copy copy{user.root / "prefijo con espacio", false};
    desktop::RecordingRunner runner;
    Defaults defaults{user.defaultsFile()};
    QuickAction::Entries paths = QuickAction::entries(user.data);
    Installed() {
        recordingTindra(copy.folder);
        EXPECT_TRUE(QuickAction::install({copy.folder, user.data, user.config, &defaults, &runner}));
    }
    std::vector<fs::path> select(const std::vector<std::string>& names) {
        std::vector<fs::path> result;
        for (const std::string& name : names) result.push_back(user.file(name));
        return result;
    }
    std::vector<fs::path> handedOver(const Start& start) {
        std::vector<std::string> log;
        return PellonRequest::files(linkOf(start), defaults, [&log](std::string_view line) { log.emplace_back(line); });
    }
};

}  // namespace

TEST(FileManagerEntries, NemoAndDolphinHandEveryAwkwardNameOverWhole) {
    Installed installed;
    const std::vector<fs::path> selection = installed.select(awkwardNames);
    for (const auto& [name, command] :
         {std::pair{"Nemo", nemoCommand(installed.paths.nemoAction, selection)},
          std::pair{"Dolphin", dolphinCommand(installed.paths.serviceMenu, selection)}}) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(command) << "the command line does not split";
        ASSERT_FALSE(command->empty());
        EXPECT_EQ(command->front(), (installed.copy.folder / "pellon").string());
        EXPECT_EQ(command->size(), selection.size() + 1);
        clearStarts(installed.copy.folder);
        EXPECT_EQ(runCommand(installed.user, *command).exitCode, 0);
        const auto recorded = starts(installed.copy.folder, 1);
        ASSERT_EQ(recorded.size(), 1u);
        EXPECT_EQ(installed.handedOver(recorded[0]), selection);
    }
}

TEST(FileManagerEntries, TheNautilusScriptHandsEveryAwkwardNameOverWhole) {
    Installed installed;
    const std::vector<fs::path> selection = installed.select(awkwardNames);
    // Nautilus runs the script in the folder it shows, with the names relative to it.
    QStringList names;
    std::string paths;
    for (const fs::path& path : selection) {
        names << QString::fromStdString(path.filename().string());
        paths += path.string() + "\n";
    }
    QProcess process;
    QProcessEnvironment environment = installed.user.environment();
    environment.insert(QStringLiteral("NAUTILUS_SCRIPT_SELECTED_FILE_PATHS"), QString::fromStdString(paths));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(QString::fromStdString(installed.user.work.string()));
    process.start(QString::fromStdString(installed.paths.nautilusScript.string()), names);
    ASSERT_TRUE(process.waitForFinished(30000)) << "The Nautilus script did not end within 30 s.";
    EXPECT_EQ(process.exitCode(), 0);
    const auto recorded = starts(installed.copy.folder, 1);
    ASSERT_EQ(recorded.size(), 1u);
    std::vector<std::string> expected;
    for (const fs::path& path : selection) expected.push_back(path.string());
    EXPECT_EQ(recorded[0].arguments, expected);
}

TEST(FileManagerEntries, AMixedSelectionGetsTheEntryAndOnlyItsPDFsGoOver) {
    Installed installed;
    const fs::path pdf = installed.user.file("Solicitud.pdf");
    testutil::writeFile(installed.user.work / "notas.txt", "Notas de la reunión\n");
    const fs::path text = installed.user.work / "notas.txt";
    const fs::path folder = installed.user.work / "Anexos";
    fs::create_directories(folder);
    const std::vector<fs::path> mixed = {pdf, text, folder};
    EXPECT_TRUE(nemoOffers(installed.paths.nemoAction, {pdf}));
    EXPECT_TRUE(dolphinOffers(installed.paths.serviceMenu, {pdf}));
    EXPECT_TRUE(nemoOffers(installed.paths.nemoAction, mixed));
    EXPECT_TRUE(dolphinOffers(installed.paths.serviceMenu, mixed));

    const auto command = nemoCommand(installed.paths.nemoAction, mixed);
    ASSERT_TRUE(command);
    EXPECT_EQ(runCommand(installed.user, *command).exitCode, 0);
    const auto recorded = starts(installed.copy.folder, 1);
    ASSERT_EQ(recorded.size(), 1u);
    EXPECT_EQ(installed.handedOver(recorded[0]), std::vector<fs::path>{pdf});

    // A selection without a PDF starts nothing and says why.
    clearStarts(installed.copy.folder);
    const auto none = dolphinCommand(installed.paths.serviceMenu, {text, folder});
    ASSERT_TRUE(none);
    const Finished done = runCommand(installed.user, *none);
    EXPECT_EQ(done.exitCode, 0);
    EXPECT_NE(done.err.find("ningún PDF"), std::string::npos) << done.err;
    QTest::qWait(300);
    EXPECT_TRUE(starts(installed.copy.folder, 0, 0).empty());
}

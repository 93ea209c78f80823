#pragma once
// The process's entry: the two installation switches, read before any application object exists,
// or the application with its one delegate.

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace Entry {

enum class Switch { none, install, uninstall };

inline constexpr char installSwitch[] = "--install-quick-action";
inline constexpr char uninstallSwitch[] = "--uninstall-quick-action";

// The switch among the arguments (exact, case counting); the installation wins when both are
// given.
Switch switchIn(const std::vector<std::string>& arguments);

// Qt's own texts (standard buttons, file dialog) in Spanish, for the life of the application
// object, and Spanish (Spain) as the default locale, so that what Qt words by locale (file type
// names in the open panel, dates in its list) matches the interface whatever the session's
// language; false when the translation is not installed.
bool installSpanishTranslation();

// The text of one argument as the process got it; nothing when it, or the path a file: URL in it
// names, is not UTF-8.
std::optional<QString> argumentText(const QByteArray& raw);
// The Spanish sentence that refuses such an argument.
QString notUTF8Sentence(const QByteArray& raw);

// Runs the process; returns its exit status.
int run(int argc, char** argv);

}  // namespace Entry

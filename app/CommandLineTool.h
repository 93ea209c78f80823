#pragma once
// The command-line link ~/.local/bin/tindra to this executable. A link is ours when its target
// ends with "/lib/tindra/tindra" (any installed copy): each copy points it at itself, and removes
// it only while it points to itself. A file, folder or other link there is the user's and is left
// alone. Only the link's creation is logged.

#include <filesystem>
#include <functional>
#include <string_view>

namespace CommandLineTool {

inline constexpr char ownSuffix[] = "/lib/tindra/tindra";
inline constexpr char linkedLine[] = "Línea de comandos enlazada en ";
inline constexpr char failedLine[] = "No se ha podido enlazar la línea de comandos: ";

struct Environment {
    // The executable the link points to.
    std::filesystem::path tool;
    // The user's home folder; the link is home/.local/bin/tindra.
    std::filesystem::path home;
    std::function<void(std::string_view)> log;

    // This executable (/proc/self/exe), Paths::home(), Log::write.
    static Environment standard();
};

// Creates or refreshes the link; an own link to another copy is pointed at this one.
void install();
void install(const Environment& environment);
// Removes the link when it points to this executable; a link to another copy, and the folder, stay.
void uninstall();
void uninstall(const Environment& environment);

}  // namespace CommandLineTool

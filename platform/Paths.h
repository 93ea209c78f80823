#pragma once
// Where Tindra keeps its files on a Linux desktop (XDG base directories).
// Every function reads the environment when called, so tests can point it at temporary folders.

#include <filesystem>

namespace Paths {

// $HOME, or the password database's home folder when HOME is unset.
std::filesystem::path home();
// $XDG_CONFIG_HOME, $XDG_STATE_HOME, $XDG_DATA_HOME when set to an absolute path; else the defaults
// under home (~/.config, ~/.local/state, ~/.local/share).
std::filesystem::path configHome();
std::filesystem::path stateHome();
std::filesystem::path dataHome();
// $XDG_RUNTIME_DIR when absolute; else the system's temporary folder.
std::filesystem::path runtimeDir();

// The application's own files.
std::filesystem::path defaultsFile();  // configHome()/tindra/defaults.json
std::filesystem::path logFolder();     // stateHome()/tindra
std::filesystem::path logFile();       // logFolder()/Tindra.log
std::filesystem::path aiLogFile();     // logFolder()/Tindra-IA.jsonl

}  // namespace Paths

#pragma once
// Starting the application from a helper: the program runs on its own (a new session, not a child
// of the helper), so the helper can exit at once while the application goes on.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace DetachedLaunch {

// The folder of the running executable (through /proc/self/exe, so a symbolic link that started
// it, such as the Nautilus script, counts as its target).
std::filesystem::path ownFolder();

// Starts `program` (a path, no PATH lookup, no shell) with `arguments` and does not wait for it.
// `variables` ("NAME=value") are added to this process's environment for it, each replacing a
// variable of the same name. Nothing when it started; otherwise the Spanish reason, a clause
// such as "no se ha podido iniciar el programa «/opt/x/tindra»: no existe".
std::optional<std::string> start(const std::filesystem::path& program,
                                 const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& variables = {});

}  // namespace DetachedLaunch

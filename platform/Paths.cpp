#include "platform/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace Paths {
namespace {

std::filesystem::path fromEnvironment(const char* name, const std::filesystem::path& fallback) {
    const char* value = std::getenv(name);
    if (value && value[0] == '/') return value;
    return fallback;
}

}  // namespace

std::filesystem::path home() {
    const char* value = std::getenv("HOME");
    if (value && value[0] != '\0') return value;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result &&
        result->pw_dir) {
        return result->pw_dir;
    }
    return "/";
}

std::filesystem::path configHome() { return fromEnvironment("XDG_CONFIG_HOME", home() / ".config"); }
std::filesystem::path stateHome() { return fromEnvironment("XDG_STATE_HOME", home() / ".local/state"); }
std::filesystem::path dataHome() { return fromEnvironment("XDG_DATA_HOME", home() / ".local/share"); }

std::filesystem::path runtimeDir() {
    std::error_code ec;
    return fromEnvironment("XDG_RUNTIME_DIR", std::filesystem::temp_directory_path(ec));
}

std::filesystem::path defaultsFile() { return configHome() / "tindra" / "defaults.json"; }
std::filesystem::path logFolder() { return stateHome() / "tindra"; }
std::filesystem::path logFile() { return logFolder() / "Tindra.log"; }
std::filesystem::path aiLogFile() { return logFolder() / "Tindra-IA.jsonl"; }

}  // namespace Paths

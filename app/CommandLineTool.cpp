#include "app/CommandLineTool.h"

#include <unistd.h>

#include <string>
#include <system_error>

#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"

namespace fs = std::filesystem;

namespace CommandLineTool {

namespace {

fs::path linkPath(const fs::path& home) { return home / ".local" / "bin" / "tindra"; }

bool isOwnTarget(const fs::path& target) { return target.string().ends_with(ownSuffix); }

void write(const Environment& environment, const std::string& line) {
    if (environment.log) environment.log(line);
}

}  // namespace

Environment Environment::standard() {
    Environment environment;
    std::error_code error;
    const fs::path self = fs::read_symlink("/proc/self/exe", error);
    if (!error) environment.tool = self;
    environment.home = Paths::home();
    environment.log = [](std::string_view line) { Log::write(line); };
    return environment;
}

void install() { install(Environment::standard()); }

void install(const Environment& environment) {
    const fs::path& tool = environment.tool;
    std::error_code error;
    if (tool.empty() || !fs::is_regular_file(tool, error) || ::access(tool.c_str(), X_OK) != 0) return;
    // A link to a copy that is not installed (a build tree) would not be recognised as ours later:
    // nothing could refresh or remove it.
    if (!isOwnTarget(tool)) return;

    const fs::path link = linkPath(environment.home);
    const fs::path target = fs::read_symlink(link, error);
    if (!error) {
        if (isOwnTarget(target)) {
            if (target == tool) return;
            fs::remove(link, error);
        } else {
            return;  // someone else's link
        }
    } else {
        // Something of the user's is there; an error (a missing folder, say) means nothing is.
        const fs::file_status status = fs::symlink_status(link, error);
        if (!error && fs::exists(status)) return;
    }

    error.clear();
    fs::create_directories(link.parent_path(), error);
    if (!error) fs::create_symlink(tool, link, error);
    if (error) {
        write(environment, failedLine + SystemError::describe(error.value()) + ".");
        return;
    }
    write(environment, linkedLine + link.string());
}

void uninstall() { uninstall(Environment::standard()); }

void uninstall(const Environment& environment) {
    const fs::path link = linkPath(environment.home);
    std::error_code error;
    const fs::path target = fs::read_symlink(link, error);
    // A link to another installed copy is that copy's command.
    if (error || environment.tool.empty() || target != environment.tool) return;
    fs::remove(link, error);
}

}  // namespace CommandLineTool

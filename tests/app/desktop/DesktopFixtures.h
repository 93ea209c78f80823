#pragma once
// A user of the tests' own: a temporary root holding an installed prefix (lib/tindra with stand-in
// executables), the data home and the defaults; a runner that records the tools it is asked for.

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "platform/Defaults.h"
#include "platform/ProcessRunner.h"
#include "support/TestUtil.h"

namespace desktop {

namespace fs = std::filesystem;

class RecordingRunner : public ProcessRunner {
public:
    std::vector<std::vector<std::string>> calls;  // program, then its arguments
    std::set<std::string> missing;                // programs that cannot be started

    ProcessResult run(const fs::path& program, const std::vector<std::string>& arguments,
                      const ProcessOptions& = {}) override {
        std::vector<std::string> call{program.string()};
        call.insert(call.end(), arguments.begin(), arguments.end());
        calls.push_back(call);
        if (missing.count(program.string())) throw ProcessLaunchError("No se ha podido iniciar.", ENOENT);
        return {};
    }
};

// An executable stand-in at `path`.
inline void makeExecutable(const fs::path& path) {
    fs::create_directories(path.parent_path());
    testutil::writeFile(path, "#!/bin/sh\nexit 0\n");
    ::chmod(path.c_str(), 0755);
}

// A copy installed under `prefix`: prefix/lib/tindra/{tindra, ostrel, pellon}.
inline fs::path installCopy(const fs::path& prefix, bool ostrel = true, bool pellon = true) {
    const fs::path folder = prefix / "lib" / "tindra";
    makeExecutable(folder / "tindra");
    if (ostrel) makeExecutable(folder / "ostrel");
    if (pellon) makeExecutable(folder / "pellon");
    return folder;
}

inline bool isLink(const fs::path& path) {
    std::error_code error;
    return fs::is_symlink(fs::symlink_status(path, error));
}

inline bool present(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found && !error;
}

}  // namespace desktop

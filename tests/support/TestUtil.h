#pragma once
// Helpers shared by the test programs: temporary folders, files and child processes.

#include <filesystem>
#include <string>
#include <vector>

namespace testutil {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

struct RunResult {
    int exitCode = -1;  // the child's exit code; 128 + signal when it was killed
    std::string out;
    std::string err;
};

// Runs argv[0] (looked up in PATH) with the arguments, no shell, feeding `input` to its standard
// input; collects both outputs.
RunResult run(const std::vector<std::string>& argv, const std::string& input = {});

// True when the program is found in PATH.
bool haveProgram(const std::string& name);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// The folder of the test-only tools (pdfinspect, pdfsign, ...).
std::filesystem::path toolsDir();

}  // namespace testutil

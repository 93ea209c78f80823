#pragma once
// Helpers shared by the test programs: temporary folders, files and child processes.

#include <chrono>
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
    std::string err;      // ends with a sentence saying so when the time limit ended the child
    bool timedOut = false;  // the child was killed at the time limit
};

// How long run() lets a child work before it kills it.
inline constexpr std::chrono::seconds childLimit{240};

// Runs argv[0] (looked up in PATH) with the arguments, no shell, feeding `input` to its standard
// input; collects both outputs. At `limit` the child is killed and the result says so. Once the
// child has ended, what it left running (a daemon that kept its outputs open) is read from for a
// moment only.
RunResult run(const std::vector<std::string>& argv, const std::string& input = {},
              std::chrono::milliseconds limit = childLimit);

// True when the program is found in PATH.
bool haveProgram(const std::string& name);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// The folder of the test-only tools (pdfinspect, pdfsign, ...).
std::filesystem::path toolsDir();

}  // namespace testutil

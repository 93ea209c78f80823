#pragma once
// Helpers shared by the test programs: temporary folders, files and child processes.

#include <sys/types.h>

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

// How long a forked child of a test may take before waitForChild() kills it.
inline constexpr std::chrono::seconds forkedChildLimit{60};

struct ChildEnd {
    int status = 0;         // waitpid's status
    bool timedOut = false;  // the child was still running at the limit and was killed
    std::string sentence;   // says which child did not end, when it was killed
};

// Waits for the forked child `pid`, described by `what` ("the child that writes past the size
// limit"). At `limit` the child is killed and reaped, and the result says so in a sentence.
ChildEnd waitForChild(pid_t pid, const std::string& what,
                      std::chrono::milliseconds limit = forkedChildLimit);

// Reads what a forked child writes to `fd` until the child closes its end or `atMost` bytes have
// come. False when `limit` came first, with a sentence naming `what` in `sentence`.
bool readFromChild(int fd, std::string& into, const std::string& what, std::string& sentence,
                   std::chrono::milliseconds limit = forkedChildLimit,
                   std::size_t atMost = static_cast<std::size_t>(-1));

// True when the program is found in PATH.
bool haveProgram(const std::string& name);

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// The folder of the test-only tools (pdfinspect, pdfsign, ...).
std::filesystem::path toolsDir();

// The processor time the calling thread has used, in seconds: work measured as a loaded machine
// does not stretch it, unlike the wall clock.
double threadSeconds();

}  // namespace testutil

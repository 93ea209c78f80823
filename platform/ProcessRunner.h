#pragma once
// Child processes: a program started directly with an argument vector (never through a shell), its
// output captured, and the caller blocked until it exits. The engines take a ProcessRunner& so
// tests can stand a fake in for the real program.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// The program could not be started. what() is a complete Spanish sentence.
class ProcessLaunchError : public std::runtime_error {
public:
    ProcessLaunchError(const std::string& message, int error)
        : std::runtime_error(message), error_(error) {}
    int error() const { return error_; }  // the errno of the failed start

private:
    int error_;
};

struct ProcessResult {
    // The exit code; 128 + the signal number when the process was killed by a signal.
    int status = -1;
    // Standard output and standard error as they arrived through one shared pipe, or only the
    // standard output when `mergeErrors` was false. At most ProcessRunner::maxOutput bytes are
    // kept; the rest is read and dropped.
    std::string output;
    // The standard error when it was not merged.
    std::string errors;
};

struct ProcessOptions {
    bool mergeErrors = true;           // one pipe for both outputs
    std::optional<std::string> input;  // fed to the standard input; else /dev/null
};

class ProcessRunner {
public:
    // Output kept per stream; a misbehaving child cannot make us hold unbounded memory.
    static constexpr std::size_t maxOutput = std::size_t{16} << 20;

    virtual ~ProcessRunner() = default;

    // Runs `program` with `arguments` (not including the program itself) and returns when it has
    // exited, after reading its output to the end. A program without a slash is looked up in PATH.
    // Throws ProcessLaunchError when it cannot be started.
    virtual ProcessResult run(const std::filesystem::path& program,
                              const std::vector<std::string>& arguments,
                              const ProcessOptions& options = {}) = 0;

    // The real runner (posix_spawn).
    static ProcessRunner& system();

    // The argument vector of exec and posix_spawn: the path, the arguments, a null end. It points
    // into `path` and `arguments`, which must outlive it; made before a fork, as it allocates.
    static std::vector<char*> argumentVector(const std::string& path,
                                             const std::vector<std::string>& arguments);
};

class SystemProcessRunner : public ProcessRunner {
public:
    ProcessResult run(const std::filesystem::path& program,
                      const std::vector<std::string>& arguments,
                      const ProcessOptions& options = {}) override;
};

#include "extensions/DetachedLaunch.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/ProcessRunner.h"
#include "platform/SystemError.h"

extern char** environ;

namespace DetachedLaunch {

namespace {

std::string reason(const std::filesystem::path& program, int error) {
    return "no se ha podido iniciar el programa «" + program.string() + "»: " + SystemError::describe(error);
}

// Writes an errno to the report pipe; only async-signal-safe calls, as it runs after fork().
void report(int fd, int error) {
    const char* bytes = reinterpret_cast<const char*>(&error);
    std::size_t left = sizeof error;
    while (left > 0) {
        const ssize_t n = ::write(fd, bytes, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        bytes += n;
        left -= static_cast<std::size_t>(n);
    }
}

}  // namespace

std::filesystem::path ownFolder() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && self.is_absolute()) return self.parent_path();
    return std::filesystem::current_path(error);
}

std::optional<std::string> start(const std::filesystem::path& program,
                                 const std::vector<std::string>& arguments,
                                 const std::vector<std::string>& variables) {
    // Everything the children need is made before fork(): after it, only async-signal-safe calls.
    const std::string path = program.string();
    std::vector<char*> argv = ProcessRunner::argumentVector(path, arguments);
    std::vector<char*> envp;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view current(*entry);
        const std::string_view name = current.substr(0, current.find('='));
        bool replaced = false;
        for (const std::string& variable : variables) {
            replaced = replaced || std::string_view(variable).substr(0, variable.find('=')) == name;
        }
        if (!replaced) envp.push_back(*entry);
    }
    for (const std::string& variable : variables) envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);

    // The grandchild reports a failed exec through this pipe; a successful exec closes it empty.
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return reason(program, errno);

    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return reason(program, error);
    }
    if (child == 0) {
        // The middle process: a new session, one more fork so the program is nobody's child, exit.
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            report(pipeFds[1], errno);
            ::_exit(1);
        }
        if (grandchild == 0) {
            ::execve(argv[0], argv.data(), envp.data());
            report(pipeFds[1], errno);
            ::_exit(127);
        }
        ::_exit(0);
    }

    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    std::size_t got = 0;
    char* bytes = reinterpret_cast<char*>(&error);
    while (got < sizeof error) {
        const ssize_t n = ::read(pipeFds[0], bytes + got, sizeof error - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    ::close(pipeFds[0]);
    if (got == sizeof error) return reason(program, error);
    return std::nullopt;
}

}  // namespace DetachedLaunch

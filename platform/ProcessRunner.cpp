#include "platform/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/SystemError.h"

extern char** environ;

namespace {

// Closes a descriptor once; -1 means closed.
void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

std::string launchMessage(const std::filesystem::path& program, int error) {
    return "No se ha podido iniciar el programa «" + program.string() +
           "»: " + SystemError::describe(error) + ".";
}

// Appends what fits under the limit; the rest is read by the caller and dropped here.
void keep(std::string& into, const char* bytes, size_t count) {
    if (into.size() >= ProcessRunner::maxOutput) return;
    into.append(bytes, std::min(count, ProcessRunner::maxOutput - into.size()));
}

// Blocks SIGPIPE on this thread while we write to the child's input, so a child that exits early
// gives EPIPE instead of killing us; a SIGPIPE we caused is consumed before the mask is restored.
class SigpipeGuard {
public:
    SigpipeGuard() {
        sigemptyset(&pipe_);
        sigaddset(&pipe_, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe_, &old_);
    }
    ~SigpipeGuard() {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) && !sigismember(&old_, SIGPIPE)) {
            timespec zero{0, 0};
            sigtimedwait(&pipe_, nullptr, &zero);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

private:
    sigset_t pipe_;
    sigset_t old_;
};

}  // namespace

std::vector<char*> ProcessRunner::argumentVector(const std::string& path,
                                                 const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

ProcessRunner& ProcessRunner::system() {
    static SystemProcessRunner runner;
    return runner;
}

ProcessResult SystemProcessRunner::run(const std::filesystem::path& program,
                                       const std::vector<std::string>& arguments,
                                       const ProcessOptions& options) {
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    int inPipe[2] = {-1, -1};
    auto closeAll = [&] {
        for (int* p : {outPipe, errPipe, inPipe}) {
            closeFd(p[0]);
            closeFd(p[1]);
        }
    };
    if (::pipe2(outPipe, O_CLOEXEC) != 0 ||
        (!options.mergeErrors && ::pipe2(errPipe, O_CLOEXEC) != 0) ||
        (options.input && ::pipe2(inPipe, O_CLOEXEC) != 0)) {
        int error = errno;
        closeAll();
        throw ProcessLaunchError(launchMessage(program, error), error);
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (options.input) {
        posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    } else {
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    }
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, options.mergeErrors ? outPipe[1] : errPipe[1], 2);

    // The child starts with default signal handling and an empty mask, whatever ours are.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals, defaults;
    sigemptyset(&noSignals);
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    const std::string path = program.string();
    std::vector<char*> argv = ProcessRunner::argumentVector(path, arguments);

    pid_t pid = 0;
    const bool searchPath = path.find('/') == std::string::npos;
    int rc = searchPath
                 ? posix_spawnp(&pid, path.c_str(), &actions, &attributes, argv.data(), environ)
                 : posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (rc != 0) {
        closeAll();
        throw ProcessLaunchError(launchMessage(program, rc), rc);
    }
    closeFd(outPipe[1]);
    closeFd(errPipe[1]);
    closeFd(inPipe[0]);

    ProcessResult result;
    {
        SigpipeGuard guard;
        size_t written = 0;
        const std::string& input = options.input ? *options.input : std::string();
        if (inPipe[1] >= 0) {
            if (input.empty()) {
                closeFd(inPipe[1]);
            } else {
                ::fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
            }
        }
        char buffer[65536];
        while (outPipe[0] >= 0 || errPipe[0] >= 0) {
            pollfd fds[3];
            nfds_t count = 0;
            int outAt = -1, errAt = -1, inAt = -1;
            if (outPipe[0] >= 0) {
                fds[count] = {outPipe[0], POLLIN, 0};
                outAt = static_cast<int>(count++);
            }
            if (errPipe[0] >= 0) {
                fds[count] = {errPipe[0], POLLIN, 0};
                errAt = static_cast<int>(count++);
            }
            if (inPipe[1] >= 0) {
                fds[count] = {inPipe[1], POLLOUT, 0};
                inAt = static_cast<int>(count++);
            }
            if (::poll(fds, count, -1) < 0) {
                if (errno == EINTR) continue;
                break;
            }
            auto drain = [&](int at, int& fd, std::string& into) {
                if (at < 0 || fds[at].revents == 0) return;
                ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n > 0) {
                    keep(into, buffer, static_cast<size_t>(n));
                } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                    closeFd(fd);
                }
            };
            drain(outAt, outPipe[0], result.output);
            drain(errAt, errPipe[0], result.errors);
            if (inAt >= 0 && fds[inAt].revents != 0) {
                ssize_t n = ::write(inPipe[1], input.data() + written, input.size() - written);
                if (n > 0) {
                    written += static_cast<size_t>(n);
                    if (written == input.size()) closeFd(inPipe[1]);
                } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
                    closeFd(inPipe[1]);
                }
            }
        }
        closeFd(inPipe[1]);
    }
    closeAll();

    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            result.status = -1;
            return result;
        }
    }
    if (WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.status = 128 + WTERMSIG(status);
    }
    return result;
}

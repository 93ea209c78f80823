#include "support/TestUtil.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace testutil {

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
                         ("tindra-test-" + std::to_string(rd()) + std::to_string(attempt));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

RunResult run(const std::vector<std::string>& argv, const std::string& input,
              std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    // Outputs a child's leftovers keep open are read this long after the child has ended.
    constexpr std::chrono::milliseconds leftoverGrace{2000};
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe2(inPipe, O_CLOEXEC) || pipe2(outPipe, O_CLOEXEC) || pipe2(errPipe, O_CLOEXEC)) {
        throw std::runtime_error("pipe failed");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    RunResult result;
    if (rc != 0) {
        close(inPipe[1]);
        close(outPipe[0]);
        close(errPipe[0]);
        result.exitCode = 127;
        result.err = "cannot start " + argv[0];
        return result;
    }
    const Clock::time_point deadline = Clock::now() + limit;
    size_t written = 0;
    if (input.empty()) {
        close(inPipe[1]);
        inPipe[1] = -1;
    } else {
        fcntl(inPipe[1], F_SETFL, O_NONBLOCK);
    }
    bool outOpen = true, errOpen = true;
    bool ended = false;
    int status = 0;
    std::optional<Clock::time_point> endedAt;
    char buffer[65536];
    while (outOpen || errOpen || !ended) {
        if (!ended) {
            const pid_t got = waitpid(pid, &status, WNOHANG);
            if (got == pid || (got < 0 && errno != EINTR)) {
                ended = true;
                endedAt = Clock::now();
            }
        }
        const Clock::time_point now = Clock::now();
        if (ended && endedAt && now - *endedAt > leftoverGrace) break;
        if (now >= deadline) {
            if (!ended) {
                kill(pid, SIGKILL);
                while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
                }
                ended = true;
            }
            result.timedOut = true;
            result.err += "\n" + argv[0] + " did not end within " +
                          std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limit).count()) +
                          " s and was killed.";
            break;
        }
        pollfd fds[3];
        int n = 0;
        int outIdx = -1, errIdx = -1, inIdx = -1;
        if (outOpen) { fds[n] = {outPipe[0], POLLIN, 0}; outIdx = n++; }
        if (errOpen) { fds[n] = {errPipe[0], POLLIN, 0}; errIdx = n++; }
        if (inPipe[1] >= 0) { fds[n] = {inPipe[1], POLLOUT, 0}; inIdx = n++; }
        // Short slices: the child's end is seen by waitpid, not by the pipes.
        if (poll(fds, n, 50) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        auto drain = [&](int idx, int fd, std::string& into, bool& open) {
            if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
            ssize_t got = read(fd, buffer, sizeof buffer);
            if (got > 0) into.append(buffer, static_cast<size_t>(got));
            else if (got == 0 || errno != EINTR) open = false;
        };
        drain(outIdx, outPipe[0], result.out, outOpen);
        drain(errIdx, errPipe[0], result.err, errOpen);
        if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t put = write(inPipe[1], input.data() + written, input.size() - written);
            if (put > 0) written += static_cast<size_t>(put);
            if (put < 0 && errno != EAGAIN && errno != EINTR) written = input.size();
            if (written >= input.size()) {
                close(inPipe[1]);
                inPipe[1] = -1;
            }
        }
    }
    if (inPipe[1] >= 0) close(inPipe[1]);
    close(outPipe[0]);
    close(errPipe[0]);
    if (!ended) {
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status)) result.exitCode = 128 + WTERMSIG(status);
    return result;
}

namespace {

std::string limitText(std::chrono::milliseconds limit) {
    const auto ms = limit.count();
    return ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s";
}

}  // namespace

ChildEnd waitForChild(pid_t pid, const std::string& what, std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limit;
    ChildEnd end;
    for (;;) {
        const pid_t got = waitpid(pid, &end.status, WNOHANG);
        if (got == pid) return end;
        if (got < 0 && errno != EINTR) {
            end.sentence = "Waiting for " + what + " failed: " + std::strerror(errno) + ".";
            end.timedOut = true;
            return end;
        }
        if (Clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    while (waitpid(pid, &end.status, 0) < 0 && errno == EINTR) {
    }
    end.timedOut = true;
    end.sentence = what + " did not end within " + limitText(limit) + " and was killed.";
    end.sentence[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(end.sentence[0])));
    return end;
}

bool readFromChild(int fd, std::string& into, const std::string& what, std::string& sentence,
                   std::chrono::milliseconds limit, std::size_t atMost) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limit;
    char buffer[4096];
    std::size_t got = 0;
    while (got < atMost) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            sentence = "Nothing more came from " + what + " within " + limitText(limit) + ".";
            return false;
        }
        pollfd ready{fd, POLLIN, 0};
        const int polled = poll(&ready, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (polled < 0 && errno != EINTR) break;
        if (polled <= 0) continue;
        const ssize_t n = read(fd, buffer, std::min(sizeof buffer, atMost - got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        into.append(buffer, static_cast<std::size_t>(n));
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool haveProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
    }
    return false;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw std::runtime_error("cannot write " + path.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path toolsDir() {
#ifdef TINDRA_TOOLS_DIR
    return TINDRA_TOOLS_DIR;
#else
    return "tests/tools";
#endif
}

double threadSeconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace testutil

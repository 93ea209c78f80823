#include "pages/PageSpawn.h"

#include <fcntl.h>
#include <linux/landlock.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "pages/PageProcessMemory.h"
#include "pages/PageProtocol.h"
#include "platform/Log.h"

namespace PageSpawn {

namespace {

// What the page process is given of the application's environment: where the user's fonts and
// font configuration are, nothing else (no display, session bus, agent or any other address of
// the user's), and in a sanitizer build the sanitizers' options.
std::vector<std::string> environment() {
    static constexpr const char* kept[] = {
        "HOME",
        "XDG_DATA_HOME",
        "XDG_CONFIG_HOME",
        "XDG_CACHE_HOME",
        "FONTCONFIG_FILE",
        "FONTCONFIG_PATH",
        "FONTCONFIG_SYSROOT",
    };
    static constexpr const char* sanitizers[] = {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"};
    std::vector<std::string> out;
    auto keep = [&](const char* name) {
        if (const char* value = std::getenv(name)) out.push_back(std::string(name) + "=" + value);
    };
    for (const char* name : kept) keep(name);
    if (PageProcessMemory::watchedByParent) {
        for (const char* name : sanitizers) keep(name);
        // A page process that fails reports it and exits, as the build users run does, rather
        // than abort as a test program asks of its own failures.
        auto asan = std::find_if(out.begin(), out.end(), [](const std::string& e) {
            return e.starts_with("ASAN_OPTIONS=");
        });
        if (asan == out.end())
            out.push_back("ASAN_OPTIONS=abort_on_error=0");
        else
            *asan += ":abort_on_error=0";
    }
    return out;
}

// The page process restricts its files with Landlock where the kernel has it; where it has not,
// the log says so, once.
void noteWithoutLandlock() {
    static std::once_flag once;
    std::call_once(once, [] {
        const long version =
            ::syscall(SYS_landlock_create_ruleset, nullptr, 0U, LANDLOCK_CREATE_RULESET_VERSION);
        if (version <= 0)
            Log::write(
                "El núcleo no ofrece Landlock: el proceso de páginas no puede limitar los "
                "archivos que lee; sus demás límites se mantienen.");
    });
}

}  // namespace

Started start(const std::filesystem::path& program, std::string& failure, Role role,
              const std::vector<std::string>& alsoPass) {
    noteWithoutLandlock();
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        failure = "No se ha podido abrir el canal del proceso de páginas.";
        return {};
    }
    const std::string path = program.string();
    const std::string parent = std::to_string(::getpid());
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_adddup2(&actions, pair[1], 3);
    // Nothing it says reaches the application's outputs (and a write to a file would end
    // it: it may not grow files).
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int sig : {SIGPIPE, SIGCHLD, SIGINT, SIGTERM, SIGXCPU, SIGSEGV, SIGABRT})
        sigaddset(&defaults, sig);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string zygoteFlag = "--zygote";
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    if (role == Role::zygote) argv.push_back(zygoteFlag.data());
    argv.push_back(const_cast<char*>(parent.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> variables = environment();
    variables.insert(variables.end(), alsoPass.begin(), alsoPass.end());
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    pid_t child = 0;
    const int rc = posix_spawn(&child, path.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        failure = "No se ha podido iniciar el proceso de páginas (" + path +
                  "): " + std::strerror(rc) + ".";
        return {};
    }
    return {child, pair[0]};
}

Started forkReader(int zygoteSocket, std::chrono::milliseconds wait, std::string& failure) {
    const auto until = std::chrono::steady_clock::now() + wait;
    failure = "No se ha podido iniciar el proceso de páginas.";
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        failure = "No se ha podido abrir el canal del proceso de páginas.";
        return {};
    }
    // One byte, with the new process's end of its socket.
    const char ask = 'R';
    const bool sent = PageProtocol::sendDescriptor(zygoteSocket, pair[1], &ask, 1);
    ::close(pair[1]);
    if (!sent) {
        ::close(pair[0]);
        return {};
    }
    // Its answer: the new process's id, 4 bytes.
    std::int32_t pid = 0;
    std::size_t got = 0;
    while (got < sizeof pid) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        pollfd ready{zygoteSocket, POLLIN, 0};
        const int polled =
            ::poll(&ready, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (polled < 0 && errno == EINTR) continue;
        if (polled <= 0) break;
        const ssize_t n =
            ::read(zygoteSocket, reinterpret_cast<char*>(&pid) + got, sizeof pid - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    // Only a child of this process is one: any other id is not the zygote's to give.
    siginfo_t info{};
    if (got != sizeof pid || pid <= 0 ||
        ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        ::close(pair[0]);
        return {};
    }
    failure.clear();
    return {static_cast<pid_t>(pid), pair[0]};
}

}  // namespace PageSpawn

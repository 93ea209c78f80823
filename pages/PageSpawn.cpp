#include "pages/PageSpawn.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <vector>

extern char** environ;

namespace PageSpawn {

Started start(const std::filesystem::path& program, std::string& failure) {
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
    std::vector<char*> argv{const_cast<char*>(path.c_str()), const_cast<char*>(parent.c_str()),
                            nullptr};
    pid_t child = 0;
    const int rc = posix_spawn(&child, path.c_str(), &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(pair[1]);
    if (rc != 0) {
        ::close(pair[0]);
        failure = "No se ha podido iniciar el proceso de páginas (" + path + "): " +
                  std::strerror(rc) + ".";
        return {};
    }
    return {child, pair[0]};
}

}  // namespace PageSpawn

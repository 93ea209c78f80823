#pragma once
// Starting the page process's program: a new socket's end as its descriptor 3, its outputs on
// /dev/null, signals at their defaults, and of the environment only where the user's fonts and
// font configuration are. Every page process, and each test program that stands in
// for one, is started through here, so that what it is given at its start is the same for all.
//
// The program is started once as a zygote: it loads and warms up Poppler and the font
// configuration without any document, then makes each page process as a copy of itself, made the
// application's own child, which puts its sandbox in force and reads one document. A page process
// thus starts in a millisecond, and what a document did to its process never reaches the zygote
// or another document.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace PageSpawn {

struct Started {
    pid_t pid = 0;
    int socket = -1;  // the application's end of the socket
};

enum class Role {
    reader,  // reads one document
    zygote,  // makes readers (forkReader)
};

// Starts `program` with this process's id as its argument ("--zygote" before it for a zygote).
// `alsoPass` are variables given on top of the allowed ones (a test's preloaded probe). A pid of 0
// when it cannot be started, and `failure` says why.
Started start(const std::filesystem::path& program, std::string& failure,
              Role role = Role::reader, const std::vector<std::string>& alsoPass = {});

// Asks a zygote (its socket) for a new page process, a child of this process as if started here,
// waiting at most `wait` for it. A pid of 0 when the zygote does not make one (it has ended,
// or answers late or wrong; it is then of no further use), and `failure` says why.
Started forkReader(int zygoteSocket, std::chrono::milliseconds wait, std::string& failure);

}  // namespace PageSpawn

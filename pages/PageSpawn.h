#pragma once
// Starting the page process's program: a new socket's end as its descriptor 3, its outputs on
// /dev/null, signals at their defaults, and of the environment only where the user's fonts and
// font configuration are. Every page process, and each test program that stands in
// for one, is started through here, so that what it is given at its start is the same for all.

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace PageSpawn {

struct Started {
    pid_t pid = 0;
    int socket = -1;  // the application's end of the socket
};

// Starts `program` with this process's id as its argument. A pid of 0 when it cannot be started,
// and `failure` says why.
Started start(const std::filesystem::path& program, std::string& failure);

}  // namespace PageSpawn

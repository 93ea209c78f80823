#include "platform/FileData.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

#include "platform/SystemError.h"

namespace FileData {

std::string read(const std::filesystem::path& path) {
    auto fail = [&](int error) {
        throw std::runtime_error("No se ha podido leer «" + path.filename().string() +
                                 "»: " + SystemError::describe(error) + ".");
    };
    // Non-blocking, so that a named pipe cannot hold us at the open; only regular files are
    // read, never a pipe or a device that could go on for ever.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) fail(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        fail(error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        if (S_ISDIR(info.st_mode)) fail(EISDIR);
        throw std::runtime_error("No se ha podido leer «" + path.filename().string() +
                                 "»: no es un archivo.");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::string bytes;
    if (info.st_size > 0) bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            int error = errno;
            ::close(fd);
            fail(error);
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return bytes;
}

}  // namespace FileData

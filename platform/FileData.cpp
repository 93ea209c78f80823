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
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) fail(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        fail(error);
    }
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

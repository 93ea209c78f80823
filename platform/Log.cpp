#include "platform/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <mutex>
#include <string>

#include "platform/Paths.h"

namespace {

// One lock for every log in the process: the size check, the append and the restart are one step.
std::mutex& logMutex() {
    static std::mutex mutex;
    return mutex;
}

bool writeAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

void TextLog::write(std::string_view message) const noexcept {
    try {
        std::string line = Log::timestamp();
        line += ' ';
        line.append(message);
        line += '\n';

        std::lock_guard lock(logMutex());
        struct stat info {};
        bool full = ::stat(path_.c_str(), &info) == 0 &&
                    static_cast<std::uintmax_t>(info.st_size) >= restartSize;
        if (!full) {
            int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
            if (fd >= 0) {
                writeAll(fd, line);
                ::close(fd);
                return;
            }
        }
        std::error_code ec;
        std::filesystem::create_directories(path_.parent_path(), ec);
        int fd = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            writeAll(fd, line);
            ::close(fd);
        }
    } catch (...) {
        // Logging never fails its caller.
    }
}

namespace Log {

const std::filesystem::path& url() {
    static const std::filesystem::path path = Paths::logFile();
    return path;
}

void write(std::string_view message) noexcept {
    try {
        static const TextLog log(url());
        log.write(message);
    } catch (...) {
    }
}

std::string timestamp() {
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char buffer[32];
    size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return std::string(buffer, n);
}

}  // namespace Log

#include "platform/Log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <mutex>
#include <string>

#include "platform/Paths.h"
#include "platform/PrivateFolder.h"

namespace {

// One lock for every log in the process: the size check, the append and the restart are one step.
// The log's lock, path and file outlive the program's static objects (they are never destroyed):
// a worker thread still ending as the program exits may write a last line.
std::mutex& logMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
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

// Owner only, whatever mode an earlier version gave the file.
void keepPrivate(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0)
        ::fchmod(fd, info.st_mode & 0600);
}

}  // namespace

void TextLog::write(std::string_view message) const noexcept {
    try {
        std::string line = Log::timestamp();
        line += ' ';
        line.append(message);
        line += '\n';

        std::lock_guard lock(logMutex());
        // The log names the user's documents: its folder is its own and private (this also
        // closes one left open by an earlier version).
        if (!folderChecked_) {
            PrivateFolder::make(path_.parent_path());
            folderChecked_ = true;
        }
        struct stat info {};
        bool full = ::stat(path_.c_str(), &info) == 0 &&
                    static_cast<std::uintmax_t>(info.st_size) >= restartSize;
        if (!full) {
            int fd = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
            if (fd >= 0) {
                keepPrivate(fd);
                writeAll(fd, line);
                ::close(fd);
                return;
            }
        }
        PrivateFolder::make(path_.parent_path());
        int fd = ::open(path_.c_str(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
        if (fd >= 0) {
            keepPrivate(fd);
            writeAll(fd, line);
            ::close(fd);
        }
    } catch (...) {
        // Logging never fails its caller.
    }
}

namespace Log {

const std::filesystem::path& url() {
    static const std::filesystem::path* path = new std::filesystem::path(Paths::logFile());
    return *path;
}

void write(std::string_view message) noexcept {
    try {
        static const TextLog* log = new TextLog(url());
        log->write(message);
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

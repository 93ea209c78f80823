#include "forms/ai/AILog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/Paths.h"

namespace {

// Orders every append of the process, so that lines never interleave.
std::mutex& appendLock() {
    static std::mutex lock;
    return lock;
}

// Creates the missing folders of `folder`, each with mode 0700; failures are left to the open.
void makeFolders(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (partial.empty() || partial == partial.root_path()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

// Non-blocking, so that a special file put in the log's place never holds a labelling thread.
int openForAppend(const std::filesystem::path& path) {
    return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

namespace AILog {

std::filesystem::path url() { return Paths::aiLogFile(); }

void add(const AICall& call, const std::filesystem::path& path) {
    std::string line;
    try {
        // Compact JSON: line breaks inside texts are escaped, so the record is one line. Bytes
        // that are not UTF-8 are replaced rather than failing the record.
        line = call.json().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        line.push_back('\n');
    } catch (...) {
        return;
    }
    std::lock_guard<std::mutex> guard(appendLock());
    int fd = openForAppend(path);
    if (fd < 0 && errno == ENOENT) {
        makeFolders(path.parent_path());
        fd = openForAppend(path);
    }
    if (fd < 0) return;  // the record is dropped; an existing log is never replaced
    writeAll(fd, line);
    close(fd);
}

std::vector<AICall> calls(const std::filesystem::path& path) {
    std::vector<AICall> result;
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return result;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return result;
    }
    auto take = [&](const std::string& line) {
        if (line.empty()) return;
        nlohmann::json parsed = nlohmann::json::parse(line, nullptr, false);
        if (parsed.is_discarded()) return;
        if (auto call = AICall::fromJSON(parsed)) result.push_back(std::move(*call));
    };
    std::string line;
    bool skipping = false;  // inside a line over the limit: dropped up to its line feed
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        std::size_t start = 0;
        const std::size_t size = static_cast<std::size_t>(n);
        while (start < size) {
            const void* found = memchr(buffer + start, '\n', size - start);
            const std::size_t end = found ? static_cast<std::size_t>(static_cast<const char*>(found) - buffer) : size;
            if (!skipping) {
                if (line.size() + (end - start) > maxLineBytes) {
                    skipping = true;
                    line.clear();
                    line.shrink_to_fit();
                } else {
                    line.append(buffer + start, end - start);
                }
            }
            if (!found) break;
            if (!skipping) take(line);
            line.clear();
            skipping = false;
            start = end + 1;
        }
    }
    close(fd);
    if (!skipping) take(line);  // a last line without its line feed
    std::reverse(result.begin(), result.end());
    return result;
}

}  // namespace AILog

#include "platform/TemporaryFiles.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <unordered_map>

#include "platform/Paths.h"
#include "platform/PrivateFolder.h"

namespace TemporaryFiles {

namespace {

constexpr std::string_view kPrefix = "tindra-";
constexpr std::size_t kUUIDLength = 36;
constexpr std::size_t kMaxExtension = 8;  // after the dot

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool isUUID(std::string_view text) {
    if (text.size() != kUUIDLength) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text[i] != '-' : !isUpperHex(text[i])) return false;
    }
    return true;
}

bool isExtensionCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The length of the temporary name that starts at `at` of `text` (at its "tindra-", or at the
// dot before it), 0 when none starts there; the extension is the longest that fits.
std::size_t nameAt(std::string_view text, std::size_t at) {
    std::size_t start = at;
    if (start < text.size() && text[start] == '.') ++start;
    if (text.substr(start, kPrefix.size()) != kPrefix) return 0;
    const std::size_t uuid = start + kPrefix.size();
    if (!isUUID(text.substr(uuid, kUUIDLength))) return 0;
    std::size_t end = uuid + kUUIDLength;
    if (end < text.size() && text[end] == '.') {
        std::size_t extension = end + 1;
        while (extension < text.size() && extension - end - 1 < kMaxExtension &&
               isExtensionCharacter(text[extension]))
            ++extension;
        if (extension > end + 1) end = extension;
    }
    return end - at;
}

}  // namespace

bool isTemporaryName(std::string_view name) {
    // The extension may be missing; nothing else may follow the UUID.
    return !name.empty() && nameAt(name, 0) == name.size();
}

std::string replaceTemporaryNames(std::string_view text, std::string_view name) {
    std::string result;
    result.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        // A name starts a word: "mitindra-…" is not one.
        const bool starts = at == 0 || !isExtensionCharacter(text[at - 1]);
        const std::size_t length = starts ? nameAt(text, at) : 0;
        if (length > 0) {
            result.append(name);
            at += length;
        } else {
            result.push_back(text[at++]);
        }
    }
    return result;
}

namespace {

// More than any run has in flight; a longer list is not the application's and is read no further.
constexpr std::size_t kMaxListBytes = std::size_t{4} << 20;

struct Kept {
    std::mutex mutex;
    int fd = -1;
    std::unordered_map<std::string, int> inFlight;
    // Set by removeInFlight(): the process is ending and lists nothing more.
    bool ending = false;
    std::condition_variable never;
};

// Holds the caller for good once the process is ending (the lock is released meanwhile).
void holdIfEnding(Kept& state, std::unique_lock<std::mutex>& lock) {
    if (state.ending) state.never.wait(lock, [] { return false; });
}

// Never destroyed: the application's last moments (a quit that abandons a run, from a thread of
// its own) may still list or remove files after the program's static objects are gone.
Kept& kept() {
    static Kept& state = *new Kept;
    return state;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Removes `path` when it is a regular file (not followed if it is a link) with a temporary name.
void removeIfTemporary(const std::filesystem::path& path) {
    if (!isTemporaryName(path.filename().string())) return;
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

// The paths listed and not taken off again: complete records only (a record cut short by a kill
// has no NUL).
std::unordered_map<std::string, int> listed(int fd) {
    std::string bytes;
    char buffer[65536];
    while (bytes.size() < kMaxListBytes) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    std::unordered_map<std::string, int> paths;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\0', at);
        if (end == std::string::npos) break;
        const std::string_view record(bytes.data() + at, end - at);
        at = end + 1;
        if (record.size() < 2 || record[1] != '/') continue;
        const std::string path(record.substr(1));
        if (record[0] == '+') {
            ++paths[path];
        } else if (record[0] == '-') {
            auto it = paths.find(path);
            if (it != paths.end() && --it->second <= 0) paths.erase(it);
        }
    }
    return paths;
}

std::string wholePath(const std::filesystem::path& path) {
    std::error_code ignored;
    std::filesystem::path whole = std::filesystem::absolute(path, ignored);
    return (whole.empty() ? path : whole).lexically_normal().string();
}

}  // namespace

std::filesystem::path listFile() { return Paths::logFolder() / "temporales"; }
std::filesystem::path preparedFolder() { return Paths::logFolder() / "preparados"; }

bool keep(const std::filesystem::path& list, const std::filesystem::path& prepared) {
    Kept& state = kept();
    std::lock_guard lock(state.mutex);
    if (state.fd >= 0) return true;
    PrivateFolder::make(list.parent_path());
    const int fd = ::open(list.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW |
                                            O_NOCTTY | O_NONBLOCK, 0600);
    if (fd < 0) return false;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    if ((info.st_mode & 077) != 0) ::fchmod(fd, 0600);
    for (const auto& [path, count] : listed(fd)) removeIfTemporary(path);
    std::error_code ignored;
    for (std::filesystem::directory_iterator entries(prepared, ignored), end;
         !ignored && entries != end; entries.increment(ignored))
        removeIfTemporary(entries->path());
    if (::ftruncate(fd, 0) != 0) {
        // A list that cannot be emptied would have its old records taken for new ones.
        ::close(fd);
        return false;
    }
    state.fd = fd;
    state.inFlight.clear();
    return true;
}

void stopKeeping() {
    Kept& state = kept();
    std::lock_guard lock(state.mutex);
    if (state.fd >= 0) ::close(state.fd);
    state.fd = -1;
    state.inFlight.clear();
}

void add(const std::filesystem::path& path) {
    Kept& state = kept();
    std::unique_lock lock(state.mutex);
    holdIfEnding(state, lock);
    if (state.fd < 0) return;
    try {
        const std::string whole = wholePath(path);
        ++state.inFlight[whole];
        std::string record = "+" + whole;
        record.push_back('\0');
        writeAll(state.fd, record);
    } catch (...) {
        // Listing is a help for the next start; the file is written anyway.
    }
}

void remove(const std::filesystem::path& path) {
    Kept& state = kept();
    std::unique_lock lock(state.mutex);
    holdIfEnding(state, lock);
    if (state.fd < 0) return;
    try {
        const std::string whole = wholePath(path);
        auto it = state.inFlight.find(whole);
        if (it == state.inFlight.end()) return;
        if (--it->second <= 0) state.inFlight.erase(it);
        if (state.inFlight.empty()) {
            // Nothing in flight: the list starts again, so that it never grows.
            if (::ftruncate(state.fd, 0) == 0) return;
        }
        std::string record = "-" + whole;
        record.push_back('\0');
        writeAll(state.fd, record);
    } catch (...) {
    }
}

void removeInFlight() {
    Kept& state = kept();
    std::lock_guard lock(state.mutex);
    state.ending = true;
    if (state.fd < 0) return;
    // Twice: a listed file renamed onto another listed name while the first pass ran is found by
    // the second, the file it came from being gone by then.
    for (int pass = 0; pass < 2; ++pass)
        for (const auto& [path, count] : state.inFlight) removeIfTemporary(path);
    bool left = false;
    for (const auto& [path, count] : state.inFlight) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0) left = true;
    }
    if (!left && ::ftruncate(state.fd, 0) == 0) state.inFlight.clear();
}

}  // namespace TemporaryFiles

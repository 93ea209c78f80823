#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <openssl/rand.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <stdexcept>

#include "platform/SystemError.h"
#include "platform/TemporaryFiles.h"

namespace AtomicFile {

namespace {

[[noreturn]] void fail(const std::filesystem::path& target, int error) {
    throw std::runtime_error("No se ha podido guardar «" + target.filename().string() +
                             "»: " + SystemError::describe(error) + ".");
}

// Removes the temporary file unless the rename consumed it.
class TemporaryFile {
public:
    // Listed before it exists, so that a process killed at any moment leaves nothing unlisted.
    explicit TemporaryFile(std::filesystem::path path) : path_(std::move(path)) {
        TemporaryFiles::add(path_);
    }
    ~TemporaryFile() {
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) {
            ::unlink(path_.c_str());
            TemporaryFiles::remove(path_);
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;

    int& fd() { return fd_; }
    const std::filesystem::path& path() const { return path_; }
    void renamed() {
        TemporaryFiles::remove(path_);
        path_.clear();
    }

private:
    std::filesystem::path path_;
    int fd_ = -1;
};

}  // namespace

std::string uuid() {
    unsigned char bytes[16];
    if (RAND_bytes(bytes, sizeof bytes) != 1) {
        std::random_device device;
        for (auto& byte : bytes) byte = static_cast<unsigned char>(device());
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

std::filesystem::path temporaryPath(const std::filesystem::path& target, bool replacing) {
    // Hidden in both cases: a file left by a process killed half-way never shows beside the
    // user's documents.
    (void)replacing;
    return target.parent_path() / (".tindra-" + uuid() + target.extension().string());
}

namespace {

// Makes a rename in `target`'s folder durable; a failure no longer affects the file's contents.
void syncFolder(const std::filesystem::path& target) {
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

}  // namespace

void replace(const std::filesystem::path& target, const std::filesystem::path& finished) {
    struct stat existing {};
    if (::stat(target.c_str(), &existing) != 0) fail(target, errno);
    if (!S_ISREG(existing.st_mode)) fail(target, S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);
    int fd = ::open(finished.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) fail(target, errno);
    const bool ready = ::fchmod(fd, existing.st_mode & 07777) == 0 && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!ready) fail(target, error);
    if (::rename(finished.c_str(), target.c_str()) != 0) fail(target, errno);
    syncFolder(target);
}

void write(const std::filesystem::path& target, std::string_view bytes,
           std::optional<unsigned> mode) {
    write(target, [bytes](const Sink& sink) { sink(bytes); }, mode);
}

void write(const std::filesystem::path& target, const std::function<void(const Sink&)>& produce,
           std::optional<unsigned> mode) {
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && !S_ISREG(existing.st_mode))
        fail(target, S_ISDIR(existing.st_mode) ? EISDIR : EINVAL);

    TemporaryFile temporary(temporaryPath(target, replacing));
    int& fd = temporary.fd();
    // Created with the bits it keeps (or narrower, through the umask), so that it is never open
    // to others for a moment.
    const mode_t created = mode ? static_cast<mode_t>(*mode & 07777)
                           : replacing ? static_cast<mode_t>(existing.st_mode & 0777)
                                       : 0666;
    fd = ::open(temporary.path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, created);
    if (fd < 0) fail(target, errno);
    if (!mode && replacing && ::fchmod(fd, existing.st_mode & 07777) != 0) fail(target, errno);

    produce([&](std::string_view bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0) {
                if (errno == EINTR) continue;
                fail(target, errno);
            }
            done += static_cast<size_t>(n);
        }
    });
    if (::fsync(fd) != 0) fail(target, errno);
    int closing = fd;
    fd = -1;
    if (::close(closing) != 0) fail(target, errno);

    if (::rename(temporary.path().c_str(), target.c_str()) != 0) fail(target, errno);
    temporary.renamed();

    syncFolder(target);
}

}  // namespace AtomicFile

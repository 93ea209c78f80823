#include "platform/FileData.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "platform/SystemError.h"

namespace FileData {

namespace {

[[noreturn]] void fail(const std::filesystem::path& path, int error) {
    throw std::runtime_error("No se ha podido leer «" + path.filename().string() +
                             "»: " + SystemError::describe(error) + ".");
}

// Opens a regular file for reading. Non-blocking, so that a named pipe cannot hold us at the
// open; only regular files are read, never a pipe or a device that could go on for ever.
int openRegular(const std::filesystem::path& path, struct stat& info) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) fail(path, errno);
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        fail(path, error);
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(fd);
        if (S_ISDIR(info.st_mode)) fail(path, EISDIR);
        throw std::runtime_error("No se ha podido leer «" + path.filename().string() +
                                 "»: no es un archivo.");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::string readOpen(const std::filesystem::path& path, int fd, const struct stat& info) {
    std::string bytes;
    if (info.st_size > 0) bytes.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(path, errno);
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
}

std::int64_t nanoseconds(const struct timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// The maps the SIGBUS handler answers for. A fixed table read without locks, so that the
// handler stays async-signal-safe; a file that finds no free slot is read into memory instead.
struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0};
    std::atomic<bool> vanished{false};
};
constexpr std::size_t kSlots = 256;
std::array<Slot, kSlots> slots;
std::mutex slotsMutex;
std::uintptr_t pageSize = 4096;
struct sigaction previousAction {};

// A page of one of our maps that no longer exists in the file (it was truncated under us) is
// replaced with a page of zeros and the map marked; the read that faulted then goes on. Any
// other SIGBUS goes to the handler that was there before, or ends the process as it would have.
void onBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (Slot& slot : slots) {
        const std::uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        if (begin == 0 || address < begin ||
            address >= slot.end.load(std::memory_order_acquire))
            continue;
        void* page = reinterpret_cast<void*>(address & ~(pageSize - 1));
        if (::mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) !=
            MAP_FAILED) {
            slot.vanished.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    if ((previousAction.sa_flags & SA_SIGINFO) && previousAction.sa_sigaction) {
        previousAction.sa_sigaction(signal, info, context);
    } else if (previousAction.sa_handler != SIG_DFL && previousAction.sa_handler != SIG_IGN) {
        previousAction.sa_handler(signal);
    } else {
        // The default action: the faulting access repeats and ends the process.
        struct sigaction fallback {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        ::sigaction(SIGBUS, &fallback, nullptr);
    }
}

bool installHandler() {
    static const bool installed = [] {
        const long size = ::sysconf(_SC_PAGESIZE);
        if (size > 0) pageSize = static_cast<std::uintptr_t>(size);
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &previousAction) == 0;
    }();
    return installed;
}

int claimSlot(const void* address, std::size_t length) {
    if (!installHandler()) return -1;
    std::lock_guard lock(slotsMutex);
    for (std::size_t i = 0; i < kSlots; ++i) {
        Slot& slot = slots[i];
        if (slot.begin.load(std::memory_order_relaxed) != 0) continue;
        const auto begin = reinterpret_cast<std::uintptr_t>(address);
        slot.vanished.store(false, std::memory_order_relaxed);
        slot.end.store(begin + length, std::memory_order_release);
        slot.begin.store(begin, std::memory_order_release);
        return static_cast<int>(i);
    }
    return -1;
}

void releaseSlot(int index) {
    std::lock_guard lock(slotsMutex);
    Slot& slot = slots[static_cast<std::size_t>(index)];
    slot.begin.store(0, std::memory_order_release);
    slot.end.store(0, std::memory_order_release);
}

// The page cache keeps a large file in pieces of up to 2 MB, and the kernel maps such a piece
// whole, at the first touch, into a map whose address lines up with it. One object read in each
// 2 MB of a file would then make all of it resident. A map placed one page off that boundary
// is filled a few pages at a time around what is read.
constexpr std::uintptr_t kLargePiece = std::uintptr_t{2} << 20;

// Maps `size` bytes of the file read-only at an address that is not a multiple of kLargePiece,
// or returns MAP_FAILED. The address range is reserved first, so that nothing else can take it
// between the calls.
void* mapOffBoundary(int fd, std::size_t size) {
    const std::size_t pages = (size + pageSize - 1) & ~(pageSize - 1);
    const std::size_t span = pages + pageSize;
    void* reserved = ::mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                            -1, 0);
    if (reserved == MAP_FAILED) return MAP_FAILED;
    const auto base = reinterpret_cast<std::uintptr_t>(reserved);
    const std::uintptr_t at = base % kLargePiece == 0 ? base + pageSize : base;
    void* address = ::mmap(reinterpret_cast<void*>(at), size, PROT_READ, MAP_PRIVATE | MAP_FIXED,
                           fd, 0);
    if (address == MAP_FAILED) {
        ::munmap(reserved, span);
        return MAP_FAILED;
    }
    // The page of the reservation that the map does not cover, before or after it.
    ::munmap(reinterpret_cast<void*>(at == base ? base + pages : base), pageSize);
    return address;
}

}  // namespace

std::string read(const std::filesystem::path& path) {
    struct stat info {};
    const int fd = openRegular(path, info);
    try {
        std::string bytes = readOpen(path, fd, info);
        ::close(fd);
        return bytes;
    } catch (...) {
        ::close(fd);
        throw;
    }
}

Mapping::~Mapping() {
    if (slot_ >= 0) releaseSlot(slot_);
    if (address_) ::munmap(address_, length_);
    if (fd_ >= 0) ::close(fd_);
}

bool Mapping::changed() const {
    if (fd_ < 0) return false;  // an owned copy
    const Slot& slot = slots[static_cast<std::size_t>(slot_)];
    if (slot.vanished.load(std::memory_order_acquire)) return true;
    struct stat info {};
    if (::fstat(fd_, &info) != 0) return true;
    return info.st_size != size_ || nanoseconds(info.st_mtim) != modified_ ||
           static_cast<std::int64_t>(info.st_dev) != device_ ||
           static_cast<std::int64_t>(info.st_ino) != inode_;
}

std::string Mapping::changedMessage() const {
    return "No se ha podido leer «" + path_.filename().string() +
           "»: el archivo ha cambiado mientras se leía.";
}

std::size_t Mapping::read(std::size_t offset, char* buffer, std::size_t size) const {
    if (offset >= bytes_.size()) return 0;
    size = std::min(size, bytes_.size() - offset);
    if (fd_ < 0) {
        std::memcpy(buffer, bytes_.data() + offset, size);
        return size;
    }
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, buffer + done, size - done,
                                  static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(path_, errno);
        }
        if (n == 0) throw std::runtime_error(changedMessage());
        done += static_cast<std::size_t>(n);
    }
    return done;
}

namespace {

bool writeAll(int fd, const char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

bool Mapping::copyTo(int fd) const {
    if (fd_ < 0) return writeAll(fd, bytes_.data(), bytes_.size());
    off_t at = 0;
    const auto end = static_cast<off_t>(bytes_.size());
    while (at < end) {
        const ssize_t n = ::sendfile(fd, fd_, &at, static_cast<std::size_t>(end - at));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EINVAL || errno == ENOSYS)) break;  // by reads and writes
        if (n == 0) errno = ENODATA;  // the file was cut short
        if (n <= 0) return false;
    }
    // Where the kernel cannot copy between these two files.
    std::array<char, 1 << 16> buffer;
    while (at < end) {
        const auto want = std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(end - at));
        const ssize_t n = ::pread(fd_, buffer.data(), want, at);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = ENODATA;
        if (n <= 0 || !writeAll(fd, buffer.data(), static_cast<std::size_t>(n))) return false;
        at += n;
    }
    return true;
}

void Mapping::release() const {
    if (address_) ::madvise(address_, length_, MADV_DONTNEED);
}

std::shared_ptr<const Mapping> map(const std::filesystem::path& path) {
    std::shared_ptr<Mapping> mapping(new Mapping());
    mapping->path_ = path;
    struct stat info {};
    const int fd = openRegular(path, info);
    const auto size = static_cast<std::size_t>(info.st_size);
    void* address = MAP_FAILED;
    if (size >= kSmallFile && installHandler()) address = mapOffBoundary(fd, size);
    int slot = address != MAP_FAILED ? claimSlot(address, size) : -1;
    if (address != MAP_FAILED && slot < 0) {
        ::munmap(address, size);
        address = MAP_FAILED;
    }
    if (address == MAP_FAILED) {
        try {
            mapping->owned_ = readOpen(path, fd, info);
        } catch (...) {
            ::close(fd);
            throw;
        }
        ::close(fd);
        mapping->bytes_ = mapping->owned_;
        return mapping;
    }
    ::madvise(address, size, MADV_RANDOM);
    mapping->address_ = address;
    mapping->length_ = size;
    mapping->fd_ = fd;
    mapping->slot_ = slot;
    mapping->size_ = info.st_size;
    mapping->modified_ = nanoseconds(info.st_mtim);
    mapping->device_ = static_cast<std::int64_t>(info.st_dev);
    mapping->inode_ = static_cast<std::int64_t>(info.st_ino);
    mapping->bytes_ = std::string_view(static_cast<const char*>(address), size);
    return mapping;
}

}  // namespace FileData

#include "app/OutputNames.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

bool isPresent(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

[[noreturn]] void fail(const char* what, const fs::path& from, const fs::path& to, int error) {
    throw fs::filesystem_error(what, from, to, std::error_code(error, std::generic_category()));
}

}  // namespace

namespace OutputNames {

fs::path candidate(const fs::path& source, const std::string& suffix, std::uint32_t n) {
    std::string tail = "-" + suffix;
    if (n >= 2) tail += "-" + std::to_string(n);
    tail += ".pdf";
    std::string stem = source.stem().string();
    // A name holds at most 255 bytes: a stem too long for the suffix and the counter loses its
    // last characters, never part of one (UTF-8 continuation bytes go with their lead byte).
    if (stem.size() + tail.size() > maxNameBytes) {
        std::size_t keep = tail.size() < maxNameBytes ? maxNameBytes - tail.size() : 0;
        while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
        stem.resize(keep);
    }
    return source.parent_path() / (stem + tail);
}

bool moveWithoutReplacing(const fs::path& from, const fs::path& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    int error = errno;
    if (error == EEXIST) return false;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        fail("rename", from, to, error);

    // The file system does not know the flag: a hard link claims the name just as atomically.
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    error = errno;
    if (error == EEXIST) return false;
    if (error != EPERM && error != EOPNOTSUPP && error != ENOSYS) fail("link", from, to, error);

    // Neither (FAT-like file systems): the best left is a look just before the rename.
    if (isPresent(to)) return false;
    if (::rename(from.c_str(), to.c_str()) != 0) fail("rename", from, to, errno);
    return true;
}

fs::path claim(const fs::path& temporary, const fs::path& source, const std::string& suffix) {
    for (std::uint32_t n = 1; n <= maxCounter; ++n) {
        fs::path target = candidate(source, suffix, n);
        // Skipping names already seen taken saves a failed system call each; the move below is
        // what decides.
        if (isPresent(target)) continue;
        if (moveWithoutReplacing(temporary, target)) return target;
    }
    fail("claim", temporary, candidate(source, suffix, maxCounter), EEXIST);
}

fs::path hiddenTemporary(const fs::path& folder) {
    return folder / (".tindra-" + AtomicFile::uuid() + ".pdf");
}

fs::path copy(const fs::path& source, const std::string& suffix) {
    for (std::uint32_t n = 1; n < OutputNames::maxCounter; ++n) {
        fs::path target = OutputNames::candidate(source, suffix, n);
        if (!isPresent(target)) return target;
    }
    return OutputNames::candidate(source, suffix, OutputNames::maxCounter);
}

}  // namespace OutputNames

fs::path signedCopy(const fs::path& source) { return OutputNames::copy(source, "firmado"); }

fs::path filledCopy(const fs::path& source) { return OutputNames::copy(source, "rellenado"); }

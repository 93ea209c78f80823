#include "platform/PrivateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace PrivateFolder {

int createMissing(const std::filesystem::path& folder, std::filesystem::path* failed) noexcept {
    try {
        std::filesystem::path partial;
        for (const auto& part : folder) {
            partial /= part;
            struct stat info {};
            if (::lstat(partial.c_str(), &info) == 0) continue;
            if (errno != ENOENT || (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)) {
                const int error = errno;
                if (failed) *failed = partial;
                return error;
            }
        }
        return 0;
    } catch (...) {
        return ENOMEM;
    }
}

bool make(const std::filesystem::path& folder) noexcept {
    try {
        if (folder.empty() || createMissing(folder) != 0) return false;
        struct stat info {};
        if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid())
            return false;
        if ((info.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) return false;
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace PrivateFolder

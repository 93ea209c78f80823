#include "platform/PrivateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace PrivateFolder {

bool make(const std::filesystem::path& folder) noexcept {
    try {
        if (folder.empty()) return false;
        std::filesystem::path partial;
        for (const auto& part : folder) {
            partial /= part;
            if (partial == partial.root_path()) continue;
            if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
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

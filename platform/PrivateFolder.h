#pragma once
// Folders that only their owner may enter, for the files that hold the user's document names and
// data (the logs, the list of temporary files, prepared inputs).

#include <filesystem>

namespace PrivateFolder {

// Makes `folder` a folder of this user with mode 0700: the missing folders of its path are created
// with that mode, and the folder itself, when it is already there, loses any permission of its
// group and of others. False, with nothing changed, when it cannot be created, is not a folder (a
// symbolic link is not followed) or belongs to another user.
bool make(const std::filesystem::path& folder) noexcept;

// Creates the missing folders of `folder`'s path with mode 0700, leaving those already there as
// they are: 0, or the errno of the folder that could not be created (its path in `failed`).
int createMissing(const std::filesystem::path& folder, std::filesystem::path* failed = nullptr) noexcept;

}  // namespace PrivateFolder

#pragma once
// The default applications of a freedesktop.org mimeapps.list: for each type, the desktop entries
// that open it, in order of preference (the first one installed wins). The application's own entry
// goes first and the entries named before stay behind it, so that taking ours out later gives the
// type back to the program the user had chosen.
//
// A list that is a symbolic link (kept in a dotfiles folder, say) is written where it leads, in
// one rename, and stays a link; a link that leads nowhere is left alone. A list larger than
// maxSize is not ours to rewrite and is left alone too.

#include <cstddef>
#include <filesystem>
#include <string_view>

namespace MimeApps {

inline constexpr char defaultsGroup[] = "[Default Applications]";
// mimeapps.list files are a few kilobytes.
inline constexpr std::size_t maxSize = 1 << 20;

// Puts `entry` first among the default applications of `type` in the list at `file`, which is made
// with its folder when missing. Nothing is written when `entry` is first already. Throws
// std::runtime_error with a Spanish sentence when the list cannot be written.
void putFirst(const std::filesystem::path& file, std::string_view type, std::string_view entry);

// Takes `entry` out of every line for `type`, in any group; a line left without entries goes.
// Nothing is written when no line names it, or when there is no list. Throws as putFirst.
void remove(const std::filesystem::path& file, std::string_view type, std::string_view entry);

}  // namespace MimeApps

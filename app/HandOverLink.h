#pragma once
// A tindra:// link handed to a starting process through its environment instead of its command
// line: the file manager's helper puts the link, with its key, in TINDRA_LINK. A command line can
// be read by every local user in /proc; the environment only by the same user.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace HandOverLink {

inline constexpr char variable[] = "TINDRA_LINK";
// A link longer than this is no hand-over of ours.
inline constexpr std::size_t maxLength = std::size_t{1} << 20;

// Takes the link out of this process's environment: removed, so no child inherits it, and its
// text blanked where the process received it. Nothing when the variable is absent, empty, longer
// than maxLength or not a "tindra:" link (any letter case); it is removed all the same.
std::optional<std::string> take();

// The arguments of the process (its program first) followed by the link taken from the
// environment, when there is one. `storage` keeps the link's text for the returned pointers.
std::vector<char*> arguments(int argc, char** argv, std::string& storage);

}  // namespace HandOverLink

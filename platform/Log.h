#pragma once
// The application's plain-text log: one line per message, "<ISO-8601 UTC time> <message>\n".
// The file grows until a write finds it at 200000 bytes or more; that write starts it again with
// its own line. Failures to log are ignored.

#include <filesystem>
#include <cstdint>
#include <string>
#include <string_view>

// A log file at a given path. Writes from any number of threads are serialised, so lines never
// interleave and the restart is never lost. The file is the owner's only (0600), in a folder of
// its own that is made private (0700) on the first write.
class TextLog {
public:
    static constexpr std::uintmax_t restartSize = 200000;  // bytes, not KiB

    explicit TextLog(std::filesystem::path path) : path_(std::move(path)) {}
    const std::filesystem::path& path() const { return path_; }
    void write(std::string_view message) const noexcept;

private:
    std::filesystem::path path_;
    mutable bool folderChecked_ = false;  // under the log's lock
};

namespace Log {

// The application's log, $XDG_STATE_HOME/tindra/Tindra.log; fixed on first use.
const std::filesystem::path& url();
void write(std::string_view message) noexcept;

// The time stamp of a line: "2026-05-04T09:15:02Z".
std::string timestamp();

}  // namespace Log

#pragma once
// The AI call log: a file of JSON lines ($XDG_STATE_HOME/tindra/Tindra-IA.jsonl) that only grows,
// one AICall per line, oldest first. Appends from any thread are serialised so lines never
// interleave; the file is never truncated or rewritten.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "forms/ai/AICall.h"

namespace AILog {

// Longer lines are skipped on reading, without being held in memory.
inline constexpr std::size_t maxLineBytes = std::size_t(16) << 20;
// A record keeps at most this much of the request it sent and of the answer it got: a longer text
// keeps its beginning followed by a marker ("… [recortado: N bytes más]"), all within this size.
inline constexpr std::size_t maxTextBytes = std::size_t(256) << 10;

// What a reading keeps of the records' request and answer texts.
enum class Texts {
    kept,     // each cut to maxTextBytes, as `bounded` does
    dropped,  // none (request and response absent): what the usage figures need
};

// The text as a record keeps it: unchanged up to maxTextBytes, else its first bytes (whole UTF-8
// characters) and the marker, maxTextBytes in all.
std::string bounded(std::string_view text);

// The process's log file, Paths::aiLogFile().
std::filesystem::path url();

// Appends the record, its request and response bounded, as one line and returns when it is
// written. The file is opened for appending (created with mode 0600, missing folders with 0700)
// and written with one write() under a process-wide lock; any failure drops the record silently.
void add(const AICall& call, const std::filesystem::path& path = url());

// Every record of the file, oldest first, handed to `each` as it is read: the file is read line by
// line, and the texts of a long line are cut as they are read, so a reading holds one short line
// at a time whatever the size of the log (older logs kept the texts whole). A missing or
// unreadable file gives nothing; a line that does not decode (or is longer than maxLineBytes) is
// skipped.
void read(const std::function<void(AICall&&)>& each, const std::filesystem::path& path = url(),
          Texts texts = Texts::kept);

// Every record of the file, newest first (read() gathered and reversed).
std::vector<AICall> calls(const std::filesystem::path& path = url(), Texts texts = Texts::kept);

}  // namespace AILog

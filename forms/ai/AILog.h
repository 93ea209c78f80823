#pragma once
// The AI call log: a file of JSON lines ($XDG_STATE_HOME/tindra/Tindra-IA.jsonl) that only grows,
// one AICall per line, oldest first. Appends from any thread are serialised so lines never
// interleave; the file is never truncated or rewritten.

#include <cstddef>
#include <filesystem>
#include <vector>

#include "forms/ai/AICall.h"

namespace AILog {

// Longer lines are skipped on reading, without being held in memory.
inline constexpr std::size_t maxLineBytes = std::size_t(16) << 20;

// The process's log file, Paths::aiLogFile().
std::filesystem::path url();

// Appends the record as one line and returns when it is written. The file is opened for
// appending (created with mode 0600, missing folders with 0700) and written with one write()
// under a process-wide lock; any failure drops the record silently.
void add(const AICall& call, const std::filesystem::path& path = url());

// Every record of the file, newest first. A missing or unreadable file gives an empty list; a
// line that does not decode (or is longer than maxLineBytes) is skipped.
std::vector<AICall> calls(const std::filesystem::path& path = url());

}  // namespace AILog

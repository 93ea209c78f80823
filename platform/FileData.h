#pragma once
// Whole files read into memory.

#include <filesystem>
#include <string>

namespace FileData {

// The file's bytes. Throws std::runtime_error with a Spanish sentence naming the file when it
// cannot be read.
std::string read(const std::filesystem::path& path);

}  // namespace FileData

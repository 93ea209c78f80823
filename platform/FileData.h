#pragma once
// Whole files read into memory, or mapped read-only.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace FileData {

// The file's bytes. Throws std::runtime_error with a Spanish sentence naming the file when it
// cannot be read.
std::string read(const std::filesystem::path& path);

// A regular file's bytes, mapped read-only (small files are read into memory instead). Opening
// touches none of the bytes: the pages that are read are loaded as they are first used, and the
// page cache holds them, not the process's heap.
//
//   std::shared_ptr<const FileData::Mapping> input = FileData::map(path);
//   PDFFile file(input->bytes(), input);
//
// The file may change or shrink on disk while it is mapped. A page that no longer exists reads
// as zeros instead of ending the process with SIGBUS (a handler installed on first use replaces
// it with a zero page); changed() then tells that the bytes read may not be the file's, and
// callers that write something derived from them check it before they commit.
class Mapping {
public:
    ~Mapping();
    Mapping(const Mapping&) = delete;
    Mapping& operator=(const Mapping&) = delete;

    std::string_view bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }
    const std::filesystem::path& path() const { return path_; }
    // True when the file on disk is no longer the one mapped (other size, modification time or
    // identity), or a page of the map had vanished. Cheap: one fstat.
    bool changed() const;
    // The Spanish sentence for a file that changed while it was being read.
    std::string changedMessage() const;
    // Copies up to `size` bytes from `offset` into `buffer` by reading the file, not the map, so
    // that a pass over the whole file (a copy, a hash) does not make all of it resident in the
    // process. Returns the bytes copied: fewer than asked only at the end of the mapped bytes.
    // Throws std::runtime_error (changedMessage()) when the file no longer holds them, and the
    // sentence of read() when reading fails.
    std::size_t read(std::size_t offset, char* buffer, std::size_t size) const;
    // Writes the bytes to `fd` at its offset, copied by the kernel from the file rather than
    // through the map, so that none of them becomes resident in the process. False when the file
    // no longer holds them all or a read or write fails (errno says why); what was written then
    // stays.
    bool copyTo(int fd) const;
    // Lets go of the pages of the map that have been read: the process stops holding them, and
    // they are loaded again from the file when next used. The bytes stay what they were (a page
    // that had vanished still reads as zeros). Nothing happens for a file read into memory. A
    // long pass over the map (a walk over objects spread through the whole file) calls it now and
    // then to keep the process's resident size from growing with the file.
    void release() const;

private:
    friend std::shared_ptr<const Mapping> map(const std::filesystem::path& path);
    Mapping() = default;

    std::filesystem::path path_;
    std::string_view bytes_;
    std::string owned_;      // the bytes of a small file
    void* address_ = nullptr;
    std::size_t length_ = 0;  // of the map
    int fd_ = -1;
    int slot_ = -1;           // in the table of the SIGBUS handler
    std::int64_t size_ = 0, modified_ = 0, device_ = 0, inode_ = 0;
};

// Files smaller than this are read into memory rather than mapped: a map costs more to set up
// than such a read, and an owned copy cannot vanish under the reader.
inline constexpr std::size_t kSmallFile = 256 * 1024;

// Maps the file (or reads it, when small). Throws std::runtime_error with the same sentences as
// read() when it cannot be opened or is not a regular file.
std::shared_ptr<const Mapping> map(const std::filesystem::path& path);

}  // namespace FileData

#pragma once
// The application's temporary files: their names, ".tindra-" (or "tindra-" in a private folder) +
// an upper-case UUID + an extension; and the list of those in flight, so that a process killed
// half-way has its leftovers removed at the next start.
//
// The list is kept by one process at a time (the application; helpers and tools keep none), in
// the private state folder, as records appended while files come and go ("+path" and "-path",
// each ended by a NUL byte), emptied whenever nothing is in flight.

#include <filesystem>
#include <string>
#include <string_view>

namespace TemporaryFiles {

// Whether `name` (a file name, no folder) is one of the application's temporary names.
bool isTemporaryName(std::string_view name);

// `text` with every temporary name in it replaced by `name`: the sentence of a failure names the
// document the user asked for, not the file it was being written to.
std::string replaceTemporaryNames(std::string_view text, std::string_view name);

// The application's list, Paths::logFolder()/"temporales", and its private folder of prepared
// inputs, Paths::logFolder()/"preparados".
std::filesystem::path listFile();
std::filesystem::path preparedFolder();

// Starts keeping the list at `list` in this process, unless another process keeps it (then false,
// and nothing is removed or listed). First removes what an earlier process left: every file it
// listed that is still there, is a regular file and still has a temporary name (nothing else,
// whatever the list says), and every temporary file in the private folder `prepared`.
bool keep(const std::filesystem::path& list, const std::filesystem::path& prepared);
// Stops keeping the list (the file stays as it is).
void stopKeeping();

// Lists a temporary file before it is created, and takes it off once it was removed or renamed.
// Nothing happens while no list is kept; failures to write the list are ignored. After
// removeInFlight() both hold their caller for good.
void add(const std::filesystem::path& path);
void remove(const std::filesystem::path& path);

// For a process about to end while its workers still write: removes every listed file in flight
// now (regular files with a temporary name only, as keep() does), and from then on holds for good
// any thread that would list or take off another, so that no worker goes on to make a new one
// before the process ends. A file a worker was creating meanwhile is removed by a second call just
// before the end. The list keeps what could not be removed, for the next start.
void removeInFlight();

}  // namespace TemporaryFiles

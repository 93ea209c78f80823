// tindra-pages: the page process. The application starts one for each reader of an open
// document and talks to it over a socket; it reads and draws that document's pages with Poppler
// under hard limits, so that a page that would take too long, too much memory or crash the
// renderer ends this process, never the application.
//
//   tindra-pages PARENT-PID    descriptor 3: the socket; descriptor 4: the document's bytes

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <climits>
#include <cstring>
#include <exception>
#include <memory>
#include <string_view>

#include "pages/server/PageSandbox.h"
#include "pages/server/PageServer.h"
#include "pages/server/PopplerPages.h"

namespace {

constexpr int socketFd = 3;
constexpr int documentFd = 4;

}  // namespace

int main(int argc, char** argv) {
    int parent = 0;
    if (argc != 2) _exit(2);
    std::string_view arg = argv[1];
    if (std::from_chars(arg.data(), arg.data() + arg.size(), parent).ec != std::errc() ||
        parent <= 1)
        _exit(2);
    if (!PageSandbox::attachToParent(parent, documentFd + 1)) _exit(0);

    struct stat info {};
    if (fstat(documentFd, &info) != 0 || info.st_size <= 0 || info.st_size > INT_MAX) _exit(2);
    const auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, documentFd, 0);
    if (mapped == MAP_FAILED) _exit(2);
    close(documentFd);

    PageSandbox::limitResources(static_cast<std::int64_t>(size));
    try {
        PageSandbox::forbidSideEffects();
    } catch (const std::exception&) {
        // A kernel without seccomp filters: the process does not read pages unguarded.
        _exit(3);
    }

    std::unique_ptr<PopplerPages> pages;
    try {
        pages = PopplerPages::borrow(std::string_view(static_cast<const char*>(mapped), size));
    } catch (const std::exception&) {
        pages.reset();
    }
    PageServer(socketFd, pages.get()).serve();
    // Ended without running destructors or exit handlers: nothing here is worth their time.
    _exit(0);
}

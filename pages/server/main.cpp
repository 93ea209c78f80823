// tindra-pages: the page process. The application keeps one started ahead, warmed up (Poppler,
// its fonts and their configuration loaded) and sandboxed; it is then given ONE document and reads
// and draws that document's pages with Poppler under hard limits, so that a page that would take
// too long, too much memory or crash the renderer ends this process, never the application. Once
// the document is let go (or the socket closes) the process ends: whatever a document did to it
// never meets another document.
//
//   tindra-pages PARENT-PID    descriptor 3: the socket, over which the document comes (a memory
//                              file passed with its size) and the requests follow

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <optional>
#include <utility>
#include <string_view>

#include "pages/server/PageSandbox.h"
#include "pages/server/PageServer.h"
#include "pages/server/PopplerPages.h"

namespace {

constexpr int socketFd = 3;

// A page with a line of text in the standard font: reading and drawing it loads what every
// document needs (Poppler's tables, the font configuration, the standard fonts).
constexpr char warmUpPage[] =
    "%PDF-1.4\n"
    "1 0 obj <</Type /Catalog /Pages 2 0 R>> endobj\n"
    "2 0 obj <</Type /Pages /Kids [3 0 R] /Count 1>> endobj\n"
    "3 0 obj <</Type /Page /Parent 2 0 R /MediaBox [0 0 200 50] /Contents 4 0 R "
    "/Resources <</Font <</F1 5 0 R>>>>>> endobj\n"
    "4 0 obj <</Length 44>> stream\n"
    "BT /F1 12 Tf 10 20 Td (Firma Fdo. 12) Tj ET\n"
    "endstream endobj\n"
    "5 0 obj <</Type /Font /Subtype /Type1 /BaseFont /Helvetica>> endobj\n"
    "trailer <</Root 1 0 R>>\n%%EOF\n";

void warmUp() {
    try {
        std::unique_ptr<PopplerPages> pages = PopplerPages::borrow(warmUpPage);
        if (!pages) return;
        pages->text(0);
        pages->render(0, 1.0, 1'000'000);
    } catch (const std::exception&) {
    }
}

// The document: its size in 8 bytes and its memory file as the message's descriptor. Nothing
// when the socket closes first or the message is not that.
std::optional<std::pair<int, std::int64_t>> receiveDocument() {
    std::int64_t size = 0;
    iovec data{&size, sizeof size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = recvmsg(socketFd, &message, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof size) || (message.msg_flags & MSG_CTRUNC)) return std::nullopt;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (!header || header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS ||
        header->cmsg_len != CMSG_LEN(sizeof(int)))
        return std::nullopt;
    int fd = -1;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return std::make_pair(fd, size);
}

}  // namespace

int main(int argc, char** argv) {
    int parent = 0;
    if (argc != 2) _exit(2);
    std::string_view arg = argv[1];
    if (std::from_chars(arg.data(), arg.data() + arg.size(), parent).ec != std::errc() ||
        parent <= 1)
        _exit(2);
    int landlock = PageSandbox::noLandlock;
    try {
        // The warm-up runs before files and calls are restricted, so that the filter need not
        // allow what only loading the configuration and caches does.
        const bool entered = PageSandbox::enter(parent, socketFd, [] {
            PopplerPages::keepSettings();
            warmUp();
        }, landlock);
        if (!entered) _exit(0);
    } catch (const std::exception&) {
        // A kernel without system-call filters: the process does not read pages unguarded.
        _exit(3);
    }

    // The document comes only now, with the sandbox in force.
    std::optional<std::pair<int, std::int64_t>> document = receiveDocument();
    if (!document) _exit(0);
    const auto [documentFd, declared] = *document;
    struct stat info {};
    if (fstat(documentFd, &info) != 0 || info.st_size <= 0 || info.st_size > INT_MAX ||
        info.st_size != declared)
        _exit(2);
    const auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, documentFd, 0);
    if (mapped == MAP_FAILED) _exit(2);
    close(documentFd);
    try {
        PageSandbox::limitMemory(static_cast<std::int64_t>(size));
    } catch (const std::exception&) {
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

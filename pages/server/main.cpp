// tindra-pages: the page process. A page process reads and draws ONE document's pages with
// Poppler, sandboxed and under hard limits, so that a page that would take too long, too much
// memory or crash the renderer ends this process, never the application. Once the document is
// let go (or the socket closes) the process ends: whatever a document did to it never meets
// another document.
//
//   tindra-pages PARENT-PID            a page process: warms up, enters its sandbox, then takes
//                                      its document over descriptor 3 (a memory file passed with
//                                      its size) and the requests that follow
//   tindra-pages --zygote PARENT-PID   the zygote: warms up once, without any document, and for
//                                      each socket end the application passes over descriptor 3
//                                      makes a page process as a copy of itself (a child of the
//                                      application's) and answers with its id
//
// The zygote never reads a document nor any request a document's reader could send: it is
// spared what a document does, and its copies start warm, in a millisecond.

#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include "pages/PageProtocol.h"
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
    const int fd = PageProtocol::receiveDescriptor(socketFd, &size, sizeof size);
    if (fd < 0) return std::nullopt;
    return std::make_pair(fd, size);
}

// Reads and draws the document that comes over the socket, with the whole sandbox in force, then
// ends the process.
[[noreturn]] void serveOneDocument(int parent, const std::function<void()>& warm) {
    int landlock = PageSandbox::noLandlock;
    try {
        // The warm-up runs before files and calls are restricted, so that the filter need not
        // allow what only loading the configuration and caches does.
        if (!PageSandbox::enter(parent, socketFd, warm, landlock)) _exit(0);
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

// The socket end of a page process to make, passed with one byte; -1 when the application closed
// its end (the zygote then ends) or sent something else.
int receiveReaderSocket() {
    char ask = 0;
    return PageProtocol::receiveDescriptor(socketFd, &ask, 1);
}

bool answer(std::int32_t pid) {
    const char* bytes = reinterpret_cast<const char*>(&pid);
    for (std::size_t done = 0; done < sizeof pid;) {
        const ssize_t n = send(socketFd, bytes + done, sizeof pid - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The zygote: warmed up, it makes one page process for each socket end it is given, until the
// application closes its socket. Its copies are children of the application's (CLONE_PARENT):
// the application reaps them, learns how they ended and ends them as it ends, and each one's
// death signal is tied to the application, as a process the application started would be.
[[noreturn]] void runZygote(int parent) {
    try {
        if (!PageSandbox::prepare(parent, socketFd)) _exit(0);
    } catch (const std::exception&) {
        _exit(3);
    }
    PopplerPages::keepSettings();
    warmUp();
    for (;;) {
        const int reader = receiveReaderSocket();
        if (reader < 0) _exit(0);
        // A copy made by the kernel's clone, which fork() cannot ask to be the application's
        // child. The zygote has a single thread, so no lock is held in the copy; the C library's
        // record of the thread's id keeps the zygote's, which nothing in a page process relies
        // on (the library asks the kernel for it where it matters).
        const long pid = syscall(SYS_clone, CLONE_PARENT | SIGCHLD, nullptr, nullptr, nullptr, 0);
        if (pid == 0) {
            // Its socket becomes descriptor 3, in place of the zygote's.
            if (dup2(reader, socketFd) != socketFd) _exit(2);
            close(reader);
            serveOneDocument(parent, {});
        }
        close(reader);
        if (!answer(pid > 0 ? static_cast<std::int32_t>(pid) : 0)) _exit(0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    int parent = 0;
    const bool zygote = argc == 3 && std::string_view(argv[1]) == "--zygote";
    if (argc != 2 && !zygote) _exit(2);
    std::string_view arg = argv[argc - 1];
    if (std::from_chars(arg.data(), arg.data() + arg.size(), parent).ec != std::errc() ||
        parent <= 1)
        _exit(2);
    if (zygote) runZygote(parent);
    serveOneDocument(parent, [] {
        PopplerPages::keepSettings();
        warmUp();
    });
}

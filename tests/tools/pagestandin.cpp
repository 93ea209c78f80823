// pagestandin: a page program for tests, started where tindra-pages would be. It speaks the page
// protocol without Poppler: the hello with the document's page count (its largest /Count), then
// "Pagina buena N" for a page's text or words and white pixels for its drawings, except for the
// pages that answer badly on purpose:
//
//   page 11  a tile or grey page whose pixels are one row fewer than its head says
//   page 12  an image wider than was asked for (a tile), or longer than its limit (a grey page)
//   page 13  an answer of another kind (words for a drawing, a tile for words or text)
//   page 14  a frame cut short: its length, a few bytes, then the process ends
//   page 15  a good answer, one byte every 100 ms
//   page 16  a good answer followed by bytes nobody asked for
//   page 17  the length of an answer just under the text bound, then nothing
//   page 18  "1 GiB follows", then nothing
//   page 19  nothing at all
//
// It never asks to end with its parent and ignores SIGTERM, as a taken-over page process may. It
// ends when its socket closes, except when it is run under the name tindra-pages: then it stays
// on for a minute after, so that a test can see whether the application ended it.
//
// Each document it is given is noted, when the folder /tmp/tindra-pagestandin-PARENT exists, as a
// line "SIZE HASH" in a file named after its own process id there.
//
//   pagestandin PARENT-PID             descriptor 3: the socket
//   pagestandin --zygote PARENT-PID    descriptor 3: the socket over which the application asks
//                                      for page processes, each made as a copy of this one, a
//                                      child of the application's (as the page program's zygote
//                                      makes them)

#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>

#include "pages/PageLimits.h"
#include "pages/PageProtocol.h"

namespace {

constexpr int socketFd = 3;
bool stubborn = false;

[[noreturn]] void leave() {
    if (stubborn) {
        // Outlives its parent, as a process that cleared its death signal would.
        for (int i = 0; i < 60; ++i) ::sleep(1);
    }
    _exit(0);
}

bool sendAll(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(socketFd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void sendOrLeave(std::string_view bytes) {
    if (!sendAll(bytes)) leave();
}

bool readExactly(char* out, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(socketFd, out, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Waits, saying nothing, until the application closes the socket.
[[noreturn]] void silence() {
    char scratch[256];
    for (;;) {
        const ssize_t n = ::read(socketFd, scratch, sizeof scratch);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) leave();
    }
}

std::string lengthOf(std::uint64_t bytes) {
    std::string out(sizeof bytes, '\0');
    std::memcpy(out.data(), &bytes, sizeof bytes);
    return out;
}

// The largest number after `key` in the document, or `fallback`.
double largestAfter(std::string_view document, std::string_view key, double fallback) {
    double best = -1;
    for (std::size_t at = document.find(key); at != std::string_view::npos;
         at = document.find(key, at + 1)) {
        const std::string tail(document.substr(at + key.size(), 32));
        char* end = nullptr;
        const double value = std::strtod(tail.c_str(), &end);
        if (end != tail.c_str()) best = std::max(best, value);
    }
    return best < 0 ? fallback : best;
}

struct Page {
    double width = 595, height = 842;
};

std::string goodText(int page, bool boxes) {
    const std::string ascii = "Pagina buena " + std::to_string(page + 1);
    const std::u16string text(ascii.begin(), ascii.end());
    if (!boxes) return PageProtocol::encodeWords(text);
    PageText out;
    out.text = text;
    for (std::size_t i = 0; i < text.size(); ++i)
        out.boxes.push_back({72.0 + 7 * double(i), 760, 7, 12});
    return PageProtocol::encode(out);
}

// An image payload: its head, then `rows` rows of white.
std::string image(int width, int height, int rows, std::size_t bytesPerPixel) {
    std::string out = PageProtocol::encodeImageHead(width, height);
    out.append(std::size_t(width) * std::size_t(std::max(rows, 0)) * bytesPerPixel, '\xff');
    return out;
}

// The good answer's payload, or nothing for a grey page past its pixel limit.
std::string goodAnswer(const PageProtocol::Request& r, const Page& page) {
    using PageProtocol::Kind;
    switch (r.kind) {
        case Kind::text: return goodText(r.page, true);
        case Kind::words: return goodText(r.page, false);
        case Kind::tile: return image(r.width, r.height, r.height, 4);
        case Kind::slice: return image(r.width, r.height, r.height, 1);
        case Kind::grey: {
            const auto w = static_cast<std::int64_t>(std::ceil(page.width * r.scale));
            const auto h = static_cast<std::int64_t>(std::ceil(page.height * r.scale));
            if (w <= 0 || h <= 0 || w * h >= r.maxPixels || w > 100000 || h > 100000)
                return PageProtocol::encodeNothing();
            return image(int(w), int(h), int(h), 1);
        }
        case Kind::release: break;
    }
    return PageProtocol::encodeNothing();
}

void answer(const PageProtocol::Request& r, const Page& page) {
    using PageProtocol::Kind;
    const bool sliced = r.kind == Kind::tile || r.kind == Kind::slice;
    const bool drawing = sliced || r.kind == Kind::grey;
    const std::size_t bpp = r.kind == Kind::tile ? 4 : 1;
    const int misbehaviour = stubborn ? 0 : r.page;
    switch (misbehaviour) {
        case 11:
            if (drawing) {
                const int w = sliced ? r.width : 10;
                const int h = sliced ? r.height : 10;
                sendOrLeave(PageProtocol::frame(image(w, h, h - 1, bpp)));
                return;
            }
            break;
        case 12:
            if (sliced) {
                // No more pixels than asked for, but a row wider than the slice.
                const int h = r.height > 1 ? r.height - 1 : 1;
                sendOrLeave(PageProtocol::frame(image(r.width + 1, h, h, bpp)));
                return;
            }
            if (r.kind == Kind::grey) {
                // More pixels than the page may have: its length says so before any of them.
                sendOrLeave(lengthOf(PageProtocol::imageHeadBytes + 2 * std::uint64_t(r.maxPixels) + 1));
                silence();
            }
            break;
        case 13:
            if (drawing)
                sendOrLeave(PageProtocol::frame(PageProtocol::encodeWords(u"otra cosa")));
            else
                sendOrLeave(PageProtocol::frame(image(2, 2, 2, 4)));
            return;
        case 14:
            sendAll(lengthOf(100000) + std::string(10, 'x'));
            _exit(0);
        case 15: {
            const std::string framed = PageProtocol::frame(goodAnswer(r, page));
            for (char byte : framed) {
                sendOrLeave(std::string_view(&byte, 1));
                ::usleep(100'000);
            }
            return;
        }
        case 16:
            sendOrLeave(PageProtocol::frame(goodAnswer(r, page)) + std::string(4096, '\xab'));
            return;
        case 17:
            sendOrLeave(lengthOf(PageLimits::maxTextAnswerBytes - 1));
            silence();
        case 18:
            sendOrLeave(lengthOf(std::uint64_t(1) << 30));
            silence();
        case 19:
            silence();
        default:
            break;
    }
    sendOrLeave(PageProtocol::frame(goodAnswer(r, page)));
}

void note(int parent, std::string_view document) {
    const std::filesystem::path folder =
        "/tmp/tindra-pagestandin-" + std::to_string(parent);
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return;
    std::uint64_t hash = 1469598103934665603ull;
    for (unsigned char c : document) hash = (hash ^ c) * 1099511628211ull;
    std::ofstream out(folder / std::to_string(::getpid()), std::ios::app);
    out << document.size() << ' ' << hash << '\n';
}

// As the page program's zygote: a copy of itself for each socket end passed over descriptor 3,
// answered with the copy's id. Returns in the copy, its socket as descriptor 3.
void makeCopies() {
    for (;;) {
        char ask = 0;
        const int reader = PageProtocol::receiveDescriptor(socketFd, &ask, 1);
        if (reader < 0) leave();
        const long pid = ::syscall(SYS_clone, CLONE_PARENT | SIGCHLD, nullptr, nullptr, nullptr, 0);
        if (pid == 0) {
            ::dup2(reader, socketFd);
            ::close(reader);
            return;
        }
        ::close(reader);
        const std::int32_t id = pid > 0 ? static_cast<std::int32_t>(pid) : 0;
        if (::send(socketFd, &id, sizeof id, MSG_NOSIGNAL) != sizeof id) leave();
    }
}

}  // namespace

int main(int argc, char** argv) {
    const bool zygote = argc == 3 && std::string_view(argv[1]) == "--zygote";
    if (argc != 2 && !zygote) return 2;
    stubborn = std::filesystem::path(argv[0]).filename() == "tindra-pages";
    ::signal(SIGTERM, SIG_IGN);
    ::signal(SIGHUP, SIG_IGN);
    ::signal(SIGINT, SIG_IGN);
    const int parent = std::atoi(argv[argc - 1]);
    if (zygote) makeCopies();

    // The document: its size, and its memory file passed with it.
    std::int64_t size = 0;
    const int fd = PageProtocol::receiveDescriptor(socketFd, &size, sizeof size);
    if (fd < 0 || size <= 0) leave();
    void* mapped = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) leave();
    const std::string_view document(static_cast<const char*>(mapped), static_cast<std::size_t>(size));
    note(parent, document);

    Page page;
    const std::size_t box = document.find("/MediaBox");
    if (box != std::string_view::npos) {
        double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        const std::string tail(document.substr(box, 96));
        if (std::sscanf(tail.c_str(), "/MediaBox [%lf %lf %lf %lf]", &x0, &y0, &x1, &y1) == 4 &&
            x1 > x0 && y1 > y0) {
            page.width = x1 - x0;
            page.height = y1 - y0;
        }
    }
    const int count = static_cast<int>(largestAfter(document, "/Count ", 1));
    sendOrLeave(PageProtocol::frame(PageProtocol::encodeHello(count)));

    for (;;) {
        std::uint64_t length = 0;
        if (!readExactly(reinterpret_cast<char*>(&length), sizeof length) || length > 256) leave();
        std::string payload(static_cast<std::size_t>(length), '\0');
        if (!readExactly(payload.data(), payload.size())) leave();
        const std::optional<PageProtocol::Request> request = PageProtocol::decodeRequest(payload);
        if (!request || request->kind == PageProtocol::Kind::release) leave();
        answer(*request, page);
    }
}

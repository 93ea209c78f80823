#include "pages/server/PageServer.h"

#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>

#include "pages/PageProtocol.h"
#include "pages/server/PageSandbox.h"

namespace {

// Requests are a few dozen bytes: anything longer is not one.
constexpr std::uint64_t maxRequestBytes = 256;

bool readExactly(int fd, char* out, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::read(fd, out, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string answer(const PopplerPages* pages, const PageProtocol::Request& r) {
    using PageProtocol::Kind;
    if (!pages) return PageProtocol::encodeNothing();
    switch (r.kind) {
        case Kind::text:
            if (auto text = pages->text(r.page)) return PageProtocol::encode(*text);
            break;
        case Kind::words:
            if (auto words = pages->words(r.page)) return PageProtocol::encodeWords(*words);
            break;
        case Kind::grey:
            if (auto image = pages->render(r.page, r.scale, r.maxPixels))
                return PageProtocol::encode(*image);
            break;
        case Kind::tile:
            if (auto image = pages->tile(r.page, r.scale, r.x, r.y, r.width, r.height))
                return PageProtocol::encode(*image);
            break;
        case Kind::release:
            break;
    }
    return PageProtocol::encodeNothing();
}

}  // namespace

bool PageServer::send(const std::string& payload) {
    // The length, then the payload, without copying the payload (a page's pixels) into a frame.
    const std::uint64_t length = payload.size();
    char header[PageProtocol::headerBytes];
    std::memcpy(header, &length, sizeof header);
    iovec parts[2] = {{header, sizeof header},
                      {const_cast<char*>(payload.data()), payload.size()}};
    std::size_t left = sizeof header + payload.size();
    int first = 0;
    while (left > 0) {
        msghdr message{};
        message.msg_iov = parts + first;
        message.msg_iovlen = static_cast<std::size_t>(2 - first);
        const ssize_t n = ::sendmsg(socket_, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        left -= static_cast<std::size_t>(n);
        // Past what was sent.
        for (std::size_t done = static_cast<std::size_t>(n); done > 0 && first < 2;) {
            iovec& part = parts[first];
            const std::size_t step = std::min(done, part.iov_len);
            part.iov_base = static_cast<char*>(part.iov_base) + step;
            part.iov_len -= step;
            done -= step;
            if (part.iov_len == 0) ++first;
        }
    }
    return true;
}

bool PageServer::serve() {
    std::optional<int> count;
    if (pages_) count = pages_->pageCount();
    if (!send(PageProtocol::encodeHello(count))) return false;
    for (;;) {
        std::uint64_t length = 0;
        if (!readExactly(socket_, reinterpret_cast<char*>(&length), sizeof length)) return false;
        if (length > maxRequestBytes) return false;
        std::string payload(static_cast<std::size_t>(length), '\0');
        if (!readExactly(socket_, payload.data(), payload.size())) return false;
        std::optional<PageProtocol::Request> request = PageProtocol::decodeRequest(payload);
        if (!request) return false;
        if (request->kind == PageProtocol::Kind::release) return true;
        PageSandbox::grantProcessorTime();
        std::string out;
        try {
            out = answer(pages_, *request);
        } catch (const std::bad_alloc&) {
            // The renderer's state after a failed allocation cannot be trusted (what it held is
            // not always given back): the process ends, and the application starts a fresh one.
            _exit(PageProtocol::exitOutOfMemory);
        } catch (const std::exception&) {
            _exit(PageProtocol::exitFailure);
        }
        if (!send(out)) return false;
    }
}

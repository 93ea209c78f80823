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

}  // namespace

PageServer::Reply PageServer::answer(const PageProtocol::Request& r) const {
    using PageProtocol::Kind;
    Reply reply;
    if (pages_) {
        auto image = [&](const std::optional<PopplerPages::Drawn>& drawn) {
            if (!drawn) return false;
            reply.head = PageProtocol::encodeImageHead(drawn->width, drawn->height);
            reply.body = drawn->pixels;
            return true;
        };
        switch (r.kind) {
            case Kind::text:
                if (auto text = pages_->text(r.page)) reply.head = PageProtocol::encode(*text);
                break;
            case Kind::words:
                if (auto words = pages_->words(r.page))
                    reply.head = PageProtocol::encodeWords(*words);
                break;
            case Kind::grey:
                image(pages_->grey(r.page, r.scale, r.maxPixels));
                break;
            case Kind::tile:
                image(pages_->tile(r.page, r.scale, r.x, r.y, r.width, r.height));
                break;
            case Kind::slice:
                image(pages_->greySlice(r.page, r.scale, r.x, r.y, r.width, r.height));
                break;
            case Kind::release:
                break;
        }
    }
    if (reply.head.empty()) reply.head = PageProtocol::encodeNothing();
    return reply;
}

bool PageServer::send(const Reply& reply) {
    // The length, then the payload, without copying a page's pixels into a frame.
    const std::uint64_t length = reply.head.size() + reply.body.size();
    char header[PageProtocol::headerBytes];
    std::memcpy(header, &length, sizeof header);
    iovec parts[3] = {{header, sizeof header},
                      {const_cast<char*>(reply.head.data()), reply.head.size()},
                      {const_cast<char*>(reply.body.data()), reply.body.size()}};
    std::size_t left = sizeof header + length;
    int first = 0;
    while (left > 0) {
        msghdr message{};
        message.msg_iov = parts + first;
        message.msg_iovlen = static_cast<std::size_t>(3 - first);
        const ssize_t n = ::sendmsg(socket_, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        left -= static_cast<std::size_t>(n);
        // Past what was sent.
        for (std::size_t done = static_cast<std::size_t>(n); done > 0 && first < 3;) {
            iovec& part = parts[first];
            const std::size_t step = std::min(done, part.iov_len);
            part.iov_base = static_cast<char*>(part.iov_base) + step;
            part.iov_len -= step;
            done -= step;
            if (part.iov_len == 0) ++first;
        }
        while (first < 3 && parts[first].iov_len == 0) ++first;
    }
    return true;
}

void PageServer::serve() {
    std::optional<int> count;
    if (pages_) count = pages_->pageCount();
    if (!send({PageProtocol::encodeHello(count), {}})) return;
    for (;;) {
        std::uint64_t length = 0;
        if (!readExactly(socket_, reinterpret_cast<char*>(&length), sizeof length)) return;
        if (length > maxRequestBytes) return;
        std::string payload(static_cast<std::size_t>(length), '\0');
        if (!readExactly(socket_, payload.data(), payload.size())) return;
        std::optional<PageProtocol::Request> request = PageProtocol::decodeRequest(payload);
        if (!request) return;
        if (request->kind == PageProtocol::Kind::release) return;
        Reply out;
        try {
            out = answer(*request);
        } catch (const std::bad_alloc&) {
            // The renderer's state after a failed allocation cannot be trusted (what it held is
            // not always given back): the process ends, and the application starts a fresh one.
            _exit(PageProtocol::exitOutOfMemory);
        } catch (const std::exception&) {
            _exit(PageProtocol::exitFailure);
        }
        const bool sent = send(out);
        if (pages_) pages_->forgetLargeBitmaps();
        if (!sent) return;
    }
}

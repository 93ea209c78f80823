#include "support/StubHTTPServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kMaxRequestBytes = 64u << 20;

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string trim(const std::string& text) {
    std::size_t b = text.find_first_not_of(" \t");
    std::size_t e = text.find_last_not_of(" \t");
    return b == std::string::npos ? std::string() : text.substr(b, e - b + 1);
}

void sendAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

const char* reason(int status) {
    switch (status) {
        case 200: return "OK";
        case 401: return "Unauthorized";
        case 402: return "Payment Required";
        case 403: return "Forbidden";
        case 500: return "Internal Server Error";
        default: return "Status";
    }
}

}  // namespace

std::string StubHTTPServer::Request::header(const std::string& lowerName) const {
    auto it = headers.find(lowerName);
    return it == headers.end() ? std::string() : it->second;
}

StubHTTPServer::StubHTTPServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener_ < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 256) != 0) {
        ::close(listener_);
        throw std::runtime_error("bind/listen");
    }
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

StubHTTPServer::~StubHTTPServer() {
    stopping_ = true;
    released_.notify_all();
    acceptor_.join();
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        threads.swap(connections_);
    }
    for (auto& thread : threads) thread.join();
    ::close(listener_);
}

std::string StubHTTPServer::baseURL() const { return "http://127.0.0.1:" + std::to_string(port_); }

void StubHTTPServer::setHandler(Handler handler) {
    std::lock_guard<std::mutex> guard(mutex_);
    handler_ = std::move(handler);
}

void StubHTTPServer::enqueue(Reply reply) {
    std::lock_guard<std::mutex> guard(mutex_);
    queue_.push_back(std::move(reply));
}

std::vector<StubHTTPServer::Request> StubHTTPServer::requests() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return requests_;
}

std::size_t StubHTTPServer::requestCount() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return requests_.size();
}

void StubHTTPServer::acceptLoop() {
    while (!stopping_) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> guard(mutex_);
        connections_.emplace_back([this, fd] { serve(fd); });
    }
}

StubHTTPServer::Reply StubHTTPServer::replyFor(const Request& request) {
    Handler handler;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        requests_.push_back(request);
        if (!handler_) {
            if (queue_.empty()) return Reply::json(200, "{}");
            Reply reply = std::move(queue_.front());
            queue_.pop_front();
            return reply;
        }
        handler = handler_;
    }
    return handler(request);
}

void StubHTTPServer::serve(int fd) {
    // Reads until the headers end, then the body of Content-Length bytes; gives up on the
    // server's stop or a silent client.
    std::string data;
    std::size_t headerEnd = std::string::npos;
    std::size_t needed = 0;
    char buffer[65536];
    auto readMore = [&]() -> bool {
        while (!stopping_) {
            pollfd p{fd, POLLIN, 0};
            const int ready = ::poll(&p, 1, 20);
            if (ready < 0) return false;
            if (ready == 0) continue;
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0) return false;
            data.append(buffer, static_cast<std::size_t>(n));
            return data.size() <= kMaxRequestBytes;
        }
        return false;
    };
    while ((headerEnd = data.find("\r\n\r\n")) == std::string::npos) {
        if (!readMore()) {
            ::close(fd);
            return;
        }
    }
    Request request;
    {
        std::size_t lineEnd = data.find("\r\n");
        request.requestLine = data.substr(0, lineEnd);
        std::size_t at = lineEnd + 2;
        while (at < headerEnd) {
            std::size_t end = data.find("\r\n", at);
            std::string line = data.substr(at, end - at);
            request.headerLines.push_back(line);
            std::size_t colon = line.find(':');
            if (colon != std::string::npos) {
                request.headers[lower(trim(line.substr(0, colon)))] = trim(line.substr(colon + 1));
            }
            at = end + 2;
        }
        std::size_t space = request.requestLine.find(' ');
        request.method = request.requestLine.substr(0, space);
        std::size_t second = request.requestLine.find(' ', space + 1);
        request.target = request.requestLine.substr(space + 1, second - space - 1);
        needed = request.headers.count("content-length") ? std::stoul(request.headers["content-length"]) : 0;
    }
    while (data.size() - (headerEnd + 4) < needed) {
        if (!readMore()) {
            ::close(fd);
            return;
        }
    }
    request.body = data.substr(headerEnd + 4, needed);

    const int now = ++inFlight_;
    for (int seen = maxInFlight_.load(); now > seen && !maxInFlight_.compare_exchange_weak(seen, now);) {
    }
    Reply reply = replyFor(request);
    if (reply.delay.count() > 0 || reply.action == Reply::Action::hold) {
        std::unique_lock<std::mutex> lock(mutex_);
        auto done = [&] { return stopping_.load(); };
        if (reply.action == Reply::Action::hold) {
            released_.wait(lock, done);
        } else {
            released_.wait_for(lock, reply.delay, done);
        }
    }
    --inFlight_;
    if (reply.action == Reply::Action::answer && !stopping_) {
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " " + reason(reply.status) +
                           "\r\nContent-Type: application/json\r\nContent-Length: " +
                           std::to_string(reply.body.size()) + "\r\nConnection: close\r\n\r\n";
        sendAll(fd, head + reply.body);
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

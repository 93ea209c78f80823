#pragma once
// A small HTTP/1.1 server on 127.0.0.1 for tests that talk to a web service: it records every
// request (request line, headers, body) and answers each with a scripted reply, which can also
// close the socket at once or hold it open without answering. One thread per connection; every
// connection is closed after its reply.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class StubHTTPServer {
public:
    struct Request {
        std::string method;
        std::string target;       // the path and query as sent
        std::string requestLine;  // "POST /api/alpha/decisions HTTP/1.1"
        // Header lines as sent ("Authorization: Bearer K"), and by lower-case name.
        std::vector<std::string> headerLines;
        std::map<std::string, std::string> headers;
        std::string body;

        std::string header(const std::string& lowerName) const;
    };

    struct Reply {
        enum class Action { answer, close, hold };
        int status = 200;
        std::string body;
        Action action = Action::answer;
        // Waited before answering (the request counts as in flight meanwhile).
        std::chrono::milliseconds delay{0};

        static Reply json(int status, std::string body) { return Reply{status, std::move(body)}; }
        static Reply closeSocket() { return Reply{0, {}, Action::close}; }
        static Reply holdSocket() { return Reply{0, {}, Action::hold}; }
    };

    using Handler = std::function<Reply(const Request&)>;

    StubHTTPServer();
    ~StubHTTPServer();
    StubHTTPServer(const StubHTTPServer&) = delete;
    StubHTTPServer& operator=(const StubHTTPServer&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>"
    std::string baseURL() const;

    // Replies are taken from the handler when one is set, else from the queue, else 200 "{}".
    void setHandler(Handler handler);
    void enqueue(Reply reply);

    std::vector<Request> requests() const;
    std::size_t requestCount() const;
    // The most requests that were being answered at one time.
    int maxInFlight() const { return maxInFlight_.load(); }

private:
    void acceptLoop();
    void serve(int fd);
    Reply replyFor(const Request& request);

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> inFlight_{0};
    std::atomic<int> maxInFlight_{0};
    mutable std::mutex mutex_;
    std::condition_variable released_;
    Handler handler_;
    std::deque<Reply> queue_;
    std::vector<Request> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

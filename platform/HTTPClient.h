#pragma once
// Plain HTTP(S) requests through libcurl, one at a time per call: http and https only, TLS
// verified, no redirects, a capped response, a time-out, and a stop token that ends the transfer
// promptly. Blocks the calling thread.

#include <chrono>
#include <cstddef>
#include <optional>
#include <stop_token>
#include <string>
#include <utility>
#include <vector>

struct HTTPRequest {
    enum class Timeout {
        total,       // the whole exchange must end within `timeout`
        noProgress,  // connecting, and every stretch without a byte moving, within `timeout`
    };

    std::string method = "GET";
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::optional<std::string> body;  // sent as it is
    std::chrono::milliseconds timeout{30000};
    Timeout timeoutKind = Timeout::noProgress;
    // Bodies larger than this are not kept: the response counts as too large.
    std::size_t maxResponseBytes = std::size_t(4) << 20;
};

struct HTTPResponse {
    // The status line's code; nothing when no HTTP response came (no connection, time-out, a
    // stop request, a refused URL).
    std::optional<int> status;
    std::string body;
    // The body went over maxResponseBytes: `body` is empty and the transfer was cut.
    bool tooLarge = false;
    bool stopped = false;  // ended by the stop token
    std::string error;     // libcurl's description of a transport failure, for the log
};

namespace HTTPClient {

// Sends the request and waits for the answer. Never throws for a transport failure; a header name
// or value holding a line break or other control character is refused without sending anything.
HTTPResponse send(const HTTPRequest& request, std::stop_token stop = {});

}  // namespace HTTPClient

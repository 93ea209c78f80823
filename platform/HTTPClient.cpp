#include "platform/HTTPClient.h"

#include <curl/curl.h>

#include <algorithm>

namespace {

// How often a waiting transfer looks at its stop token, in milliseconds.
constexpr int kStopPollMilliseconds = 100;

// libcurl, and the TLS library it sets up, are made ready as the program starts, on its main
// thread before any other thread runs, as libcurl asks. Made ready by a first request on a worker
// thread instead, the TLS library would keep state of that thread's own, released only once the
// thread has finished ending, which a process that ends at the same moment does not wait for.
const bool curlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;

struct Transfer {
    std::string body;
    std::size_t cap = 0;
    bool tooLarge = false;
    std::stop_token stop;
};

std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* transfer = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    if (n > transfer->cap - transfer->body.size()) {
        transfer->tooLarge = true;
        transfer->body.clear();
        transfer->body.shrink_to_fit();
        return 0;  // anything but n ends the transfer
    }
    transfer->body.append(data, n);
    return n;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(user)->stop.stop_requested() ? 1 : 0;
}

bool hasControl(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Frees the handles and the header list whatever way the call ends.
struct Handles {
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    curl_slist* headers = nullptr;
    bool added = false;
    ~Handles() {
        if (added) curl_multi_remove_handle(multi, easy);
        if (multi) curl_multi_cleanup(multi);
        if (easy) curl_easy_cleanup(easy);
        curl_slist_free_all(headers);
    }
};

}  // namespace

namespace HTTPClient {

HTTPResponse send(const HTTPRequest& request, std::stop_token stop) {
    HTTPResponse response;
    for (const auto& [name, value] : request.headers) {
        if (name.empty() || hasControl(name) || hasControl(value) ||
            name.find(':') != std::string::npos) {
            response.error = "cabecera no válida";
            return response;
        }
    }
    if (hasControl(request.method) || request.method.empty()) {
        response.error = "método no válido";
        return response;
    }
    Handles h;
    if (!curlReady || !h.easy || !h.multi) {
        response.error = "libcurl no disponible";
        return response;
    }
    Transfer transfer;
    transfer.cap = request.maxResponseBytes;
    transfer.stop = stop;

    CURL* easy = h.easy;
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    // A proxy of the user's environment is honoured, but never for the loopback host.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, onData);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE,
                     static_cast<curl_off_t>(request.maxResponseBytes));

    const long millis = static_cast<long>(std::max<std::chrono::milliseconds::rep>(1, request.timeout.count()));
    if (request.timeoutKind == HTTPRequest::Timeout::total) {
        curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, millis);
    } else {
        curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, millis);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, (millis + 999) / 1000));
    }

    if (request.method == "GET") {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (request.method == "POST") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    }
    if (request.body) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                         static_cast<curl_off_t>(request.body->size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body->data());
    } else if (request.method == "POST") {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(0));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, "");
    }
    for (const auto& [name, value] : request.headers) {
        const std::string line = value.empty() ? name + ";" : name + ": " + value;
        curl_slist* grown = curl_slist_append(h.headers, line.c_str());
        if (!grown) {
            response.error = "sin memoria";
            return response;
        }
        h.headers = grown;
    }
    // No "Expect: 100-continue" round trip before a large body.
    if (curl_slist* grown = curl_slist_append(h.headers, "Expect:")) h.headers = grown;
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, h.headers);

    if (curl_multi_add_handle(h.multi, easy) != CURLM_OK) {
        response.error = "libcurl no disponible";
        return response;
    }
    h.added = true;

    CURLcode result = CURLE_OK;
    bool finished = false;
    for (;;) {
        int running = 0;
        if (curl_multi_perform(h.multi, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            finished = true;
            break;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(h.multi, &queued)) {
            if (message->msg == CURLMSG_DONE && message->easy_handle == easy) {
                result = message->data.result;
                finished = true;
            }
        }
        if (finished || running == 0) break;
        if (stop.stop_requested()) break;
        curl_multi_poll(h.multi, nullptr, 0, kStopPollMilliseconds, nullptr);
    }
    if (!finished || result == CURLE_ABORTED_BY_CALLBACK) {
        response.stopped = stop.stop_requested();
        response.error = response.stopped ? "detenida" : "transferencia interrumpida";
        return response;
    }

    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    if (transfer.tooLarge || result == CURLE_FILESIZE_EXCEEDED) {
        response.tooLarge = true;
        if (status > 0) response.status = static_cast<int>(status);
        response.error = "respuesta demasiado grande";
        return response;
    }
    if (result != CURLE_OK) {
        response.error = curl_easy_strerror(result);
        return response;
    }
    if (status > 0) response.status = static_cast<int>(status);
    response.body = std::move(transfer.body);
    return response;
}

}  // namespace HTTPClient

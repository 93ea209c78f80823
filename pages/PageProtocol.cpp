#include "pages/PageProtocol.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace PageProtocol {

namespace {

constexpr std::uint8_t result = 0;
constexpr std::uint8_t nothing = 1;

template <typename T>
void put(std::string& out, T value) {
    static_assert(std::is_trivially_copyable_v<T>);
    char bytes[sizeof(T)];
    std::memcpy(bytes, &value, sizeof(T));
    out.append(bytes, sizeof(T));
}

// Reads values off the front of a payload; every read checks what is left.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    template <typename T>
    bool get(T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (bytes_.size() < sizeof(T)) return false;
        std::memcpy(&value, bytes_.data(), sizeof(T));
        bytes_.remove_prefix(sizeof(T));
        return true;
    }
    // `count` items of `size` bytes, when exactly that many are left.
    std::optional<std::string_view> rest(std::uint64_t count, std::size_t size) {
        if (size == 0 || count > bytes_.size() / size || count * size != bytes_.size())
            return std::nullopt;
        std::string_view out = bytes_;
        bytes_ = {};
        return out;
    }
    std::string_view left() const { return bytes_; }

private:
    std::string_view bytes_;
};

// The status byte of an answer that carries a result, and the reader after it.
std::optional<Reader> resultOf(std::string_view payload) {
    if (payload.empty() || static_cast<std::uint8_t>(payload[0]) != result) return std::nullopt;
    return Reader(payload.substr(1));
}

std::string resultHeader() {
    std::string out;
    put<std::uint8_t>(out, result);
    return out;
}

std::u16string unitsOf(std::string_view bytes) {
    std::u16string out(bytes.size() / sizeof(char16_t), u'\0');
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(char16_t));
    return out;
}

double finiteOr0(double v) { return std::isfinite(v) ? v : 0; }

}  // namespace

std::string encode(const Request& r) {
    std::string out;
    put<std::uint8_t>(out, static_cast<std::uint8_t>(r.kind));
    put(out, r.page);
    put(out, r.scale);
    put(out, r.maxPixels);
    put(out, r.x);
    put(out, r.y);
    put(out, r.width);
    put(out, r.height);
    return out;
}

std::optional<Request> decodeRequest(std::string_view payload) {
    Reader in(payload);
    Request r;
    std::uint8_t kind = 0;
    if (!in.get(kind) || !in.get(r.page) || !in.get(r.scale) || !in.get(r.maxPixels) ||
        !in.get(r.x) || !in.get(r.y) || !in.get(r.width) || !in.get(r.height) ||
        !in.left().empty())
        return std::nullopt;
    if (kind < 1 || kind > 6) return std::nullopt;
    r.kind = static_cast<Kind>(kind);
    return r;
}

std::string encodeHello(std::optional<int> pageCount) {
    std::string out;
    put<std::uint8_t>(out, pageCount ? 1 : 0);
    if (pageCount) put<std::int32_t>(out, *pageCount);
    return out;
}

std::optional<int> decodeHello(std::string_view payload) {
    Reader in(payload);
    std::uint8_t opened = 0;
    if (!in.get(opened) || opened > 1) return std::nullopt;
    if (opened == 0) {
        if (!in.left().empty()) return std::nullopt;
        return -1;
    }
    std::int32_t count = 0;
    if (!in.get(count) || count < 0 || !in.left().empty()) return std::nullopt;
    return count;
}

std::string encodeNothing() {
    std::string out;
    put<std::uint8_t>(out, nothing);
    return out;
}

bool isNothing(std::string_view payload) {
    return payload.size() == 1 && static_cast<std::uint8_t>(payload[0]) == nothing;
}

std::string encode(const PageText& text) {
    std::string out = resultHeader();
    const std::uint64_t units = text.text.size();
    out.reserve(1 + 8 + units * (sizeof(char16_t) + 4 * sizeof(double)));
    put(out, units);
    out.append(reinterpret_cast<const char*>(text.text.data()), units * sizeof(char16_t));
    for (std::size_t i = 0; i < units; ++i) {
        const PageTextBox box = i < text.boxes.size() ? text.boxes[i] : PageTextBox{};
        put(out, box.x);
        put(out, box.y);
        put(out, box.width);
        put(out, box.height);
    }
    return out;
}

std::string encodeWords(const std::u16string& words) {
    std::string out = resultHeader();
    put<std::uint64_t>(out, words.size());
    out.append(reinterpret_cast<const char*>(words.data()), words.size() * sizeof(char16_t));
    return out;
}

std::string encodeImageHead(int width, int height) {
    std::string out = resultHeader();
    put<std::int32_t>(out, width);
    put<std::int32_t>(out, height);
    return out;
}

std::optional<PageText> decodeText(std::string_view payload) {
    std::optional<Reader> in = resultOf(payload);
    std::uint64_t units = 0;
    if (!in || !in->get(units)) return std::nullopt;
    constexpr std::size_t perUnit = sizeof(char16_t) + 4 * sizeof(double);
    std::optional<std::string_view> rest = in->rest(units, perUnit);
    if (!rest) return std::nullopt;
    PageText out;
    out.text = unitsOf(rest->substr(0, units * sizeof(char16_t)));
    Reader boxes(rest->substr(units * sizeof(char16_t)));
    out.boxes.resize(units);
    for (PageTextBox& box : out.boxes) {
        boxes.get(box.x);
        boxes.get(box.y);
        boxes.get(box.width);
        boxes.get(box.height);
        box = {finiteOr0(box.x), finiteOr0(box.y), finiteOr0(box.width), finiteOr0(box.height)};
    }
    return out;
}

std::optional<std::u16string> decodeWords(std::string_view payload) {
    std::optional<Reader> in = resultOf(payload);
    std::uint64_t units = 0;
    if (!in || !in->get(units)) return std::nullopt;
    if (units == 0) return in->left().empty() ? std::optional<std::u16string>(u"") : std::nullopt;
    std::optional<std::string_view> rest = in->rest(units, sizeof(char16_t));
    if (!rest) return std::nullopt;
    return unitsOf(*rest);
}

std::optional<std::pair<int, int>> decodeImageHead(std::string_view head,
                                                   std::size_t bytesPerPixel,
                                                   std::int64_t maxPixels,
                                                   std::uint64_t pixelBytes) {
    if (head.size() != imageHeadBytes || bytesPerPixel == 0) return std::nullopt;
    std::optional<Reader> in = resultOf(head);
    std::int32_t width = 0, height = 0;
    if (!in || !in->get(width) || !in->get(height) || width <= 0 || height <= 0)
        return std::nullopt;
    const std::int64_t pixels = std::int64_t(width) * height;
    if (pixels > maxPixels || pixelBytes / bytesPerPixel != static_cast<std::uint64_t>(pixels) ||
        pixelBytes % bytesPerPixel != 0)
        return std::nullopt;
    return std::make_pair(int(width), int(height));
}

std::string frame(std::string_view payload) {
    std::string out;
    out.reserve(headerBytes + payload.size());
    put<std::uint64_t>(out, payload.size());
    out.append(payload);
    return out;
}

bool sendDescriptor(int socket, int fd, const void* bytes, std::size_t size) {
    iovec data{const_cast<void*>(bytes), size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    ssize_t n;
    do {
        n = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (n < 0 && errno == EINTR);
    return n == static_cast<ssize_t>(size);
}

int receiveDescriptor(int socket, void* bytes, std::size_t size) {
    iovec data{bytes, size};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};
    message.msg_iov = &data;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t n;
    do {
        n = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return -1;
    int fd = -1;
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (header && header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_RIGHTS &&
        header->cmsg_len == CMSG_LEN(sizeof(int)))
        std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    if (n != static_cast<ssize_t>(size) || (message.msg_flags & MSG_CTRUNC)) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace PageProtocol

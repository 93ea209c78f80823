#include "forms/ai/AILog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

#include "platform/Paths.h"

namespace {

// Orders every append of the process, so that lines never interleave.
std::mutex& appendLock() {
    static std::mutex lock;
    return lock;
}

// Creates the missing folders of `folder`, each with mode 0700; failures are left to the open.
void makeFolders(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (partial.empty() || partial == partial.root_path()) continue;
        if (mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) return;
    }
}

// Non-blocking, so that a special file put in the log's place never holds a labelling thread.
int openForAppend(const std::filesystem::path& path) {
    return open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0600);
}

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// The marker that ends a cut text, naming how much was left out.
std::string cutMarker(std::size_t dropped) {
    return "\n… [recortado: " + std::to_string(dropped) + " bytes más]";
}
constexpr std::size_t kMarkerRoom = 64;  // bytes kept free for the marker

// One line of the log as it is read, its JSON strings kept to their first kStringBytes bytes as
// written (escapes whole, UTF-8 characters whole); the rest of a longer string is dropped as it
// comes and a marker takes its place. The line itself is given up past maxLineBytes.
class LineCutter {
public:
    // A kept string holds at least the bytes of a bounded text, escaped.
    static constexpr std::size_t kStringBytes = 4 * AILog::maxTextBytes;

    void append(const char* bytes, std::size_t size) {
        for (std::size_t i = 0; i < size && !tooLong_; ++i) put(static_cast<unsigned char>(bytes[i]));
    }
    bool tooLong() const { return tooLong_; }
    const std::string& text() const { return line_; }
    // Ready for the next line; a long line's storage is given back.
    void clear() {
        line_.clear();
        if (line_.capacity() > kStringBytes) line_.shrink_to_fit();
        tooLong_ = inString_ = dropping_ = highSurrogate_ = false;
        escape_ = 0;
    }

private:
    void keep(char c) {
        if (line_.size() >= AILog::maxLineBytes) {
            tooLong_ = true;
            line_.clear();
            line_.shrink_to_fit();
            return;
        }
        line_.push_back(c);
    }

    void put(unsigned char c) {
        if (!inString_) {
            if (c == '"') {
                inString_ = true;
                length_ = 0;
                dropping_ = false;
                dropped_ = 0;
                escape_ = 0;
                highSurrogate_ = false;
            }
            keep(static_cast<char>(c));
            return;
        }
        // A cut may fall before any character that starts a code point outside an escape, and
        // not between the two halves of an escaped surrogate pair.
        if (!dropping_ && length_ >= kStringBytes && escape_ == 0 && c != '"' &&
            (c & 0xC0) != 0x80 && !highSurrogate_)
            dropping_ = true;
        if (escape_ == -1) {
            escape_ = c == 'u' ? 4 : 0;
            code_ = 0;
            if (escape_ == 0) highSurrogate_ = false;
        } else if (escape_ > 0) {
            code_ = code_ * 16 + (std::isxdigit(c) ? (std::isdigit(c) ? c - '0' : (c | 0x20) - 'a' + 10) : 0);
            if (--escape_ == 0) highSurrogate_ = code_ >= 0xD800 && code_ <= 0xDBFF;
        } else if (c == '\\') {
            escape_ = -1;
        } else if (c == '"') {
            inString_ = false;
            if (dropping_)
                for (char m : cutMarker(dropped_)) {
                    if (m == '\n') {  // escaped, as a JSON string holds it
                        keep('\\');
                        keep('n');
                    } else {
                        keep(m);
                    }
                }
            keep('"');
            return;
        } else {
            highSurrogate_ = false;
        }
        if (dropping_) {
            ++dropped_;
        } else {
            keep(static_cast<char>(c));
            ++length_;
        }
    }

    std::string line_;
    bool tooLong_ = false;
    bool inString_ = false;
    bool dropping_ = false;
    bool highSurrogate_ = false;
    int escape_ = 0;  // -1 after a backslash, 1 to 4: hex digits of \u still to come
    unsigned code_ = 0;
    std::size_t length_ = 0;
    std::size_t dropped_ = 0;
};

// The top-level object of a line, without what its members nest: a member that holds an object or
// an array keeps an empty one, enough to tell its type. A line that is no object is no record.
class TopLevel : public nlohmann::json_sax<nlohmann::json> {
public:
    nlohmann::json object = nlohmann::json::object();
    bool isObject = false;

    bool null() override { return put(nullptr); }
    bool boolean(bool value) override { return put(value); }
    bool number_integer(number_integer_t value) override { return put(value); }
    bool number_unsigned(number_unsigned_t value) override { return put(value); }
    bool number_float(number_float_t value, const string_t&) override { return put(value); }
    bool string(string_t& value) override { return put(std::move(value)); }
    bool binary(binary_t&) override { return put(nlohmann::json::object()); }
    bool start_object(std::size_t) override {
        if (depth_ == 0) isObject = true;
        if (depth_ == 1) put(nlohmann::json::object());
        ++depth_;
        return true;
    }
    bool key(string_t& name) override {
        if (depth_ == 1) key_ = std::move(name);
        return true;
    }
    bool end_object() override {
        --depth_;
        return true;
    }
    bool start_array(std::size_t) override {
        if (depth_ == 1) put(nlohmann::json::array());
        ++depth_;
        return true;
    }
    bool end_array() override {
        --depth_;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override {
        isObject = false;
        return false;
    }

private:
    template <typename Value>
    bool put(Value&& value) {
        if (depth_ == 1) object[key_] = std::forward<Value>(value);
        return true;
    }

    int depth_ = 0;
    std::string key_;
};

}  // namespace

namespace AILog {

std::string bounded(std::string_view text) {
    if (text.size() <= maxTextBytes) return std::string(text);
    std::size_t kept = maxTextBytes - kMarkerRoom;
    while (kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80) --kept;
    std::string out(text.substr(0, kept));
    out += cutMarker(text.size() - kept);
    return out;
}

std::filesystem::path url() { return Paths::aiLogFile(); }

void add(const AICall& call, const std::filesystem::path& path) {
    std::string line;
    try {
        // Compact JSON: line breaks inside texts are escaped, so the record is one line. Bytes
        // that are not UTF-8 are replaced rather than failing the record.
        nlohmann::json record = call.json();
        for (const char* key : {"request", "response"}) {
            auto found = record.find(key);
            if (found != record.end() && found->is_string() &&
                found->get_ref<const std::string&>().size() > maxTextBytes)
                *found = bounded(found->get_ref<const std::string&>());
        }
        line = record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        line.push_back('\n');
    } catch (...) {
        return;
    }
    std::lock_guard<std::mutex> guard(appendLock());
    int fd = openForAppend(path);
    if (fd < 0 && errno == ENOENT) {
        makeFolders(path.parent_path());
        fd = openForAppend(path);
    }
    if (fd < 0) return;  // the record is dropped; an existing log is never replaced
    writeAll(fd, line);
    close(fd);
}

void read(const std::function<void(AICall&&)>& each, const std::filesystem::path& path,
          Texts texts) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return;
    struct stat info {};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return;
    }
    auto take = [&](const std::string& line) {
        if (line.empty()) return;
        TopLevel top;
        if (!nlohmann::json::sax_parse(line, &top) || !top.isObject) return;
        std::optional<AICall> call = AICall::fromJSON(top.object);
        if (!call) return;
        for (std::optional<std::string>* text : {&call->request, &call->response}) {
            if (texts == Texts::dropped)
                text->reset();
            else if (*text && (*text)->size() > maxTextBytes)
                **text = bounded(**text);
        }
        each(std::move(*call));
    };
    LineCutter line;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        std::size_t start = 0;
        const std::size_t size = static_cast<std::size_t>(n);
        while (start < size) {
            const void* found = memchr(buffer + start, '\n', size - start);
            const std::size_t end =
                found ? static_cast<std::size_t>(static_cast<const char*>(found) - buffer) : size;
            line.append(buffer + start, end - start);
            if (!found) break;
            if (!line.tooLong()) take(line.text());
            line.clear();
            start = end + 1;
        }
    }
    close(fd);
    if (!line.tooLong()) take(line.text());  // a last line without its line feed
}

std::vector<AICall> calls(const std::filesystem::path& path, Texts texts) {
    std::vector<AICall> result;
    read([&](AICall&& call) { result.push_back(std::move(call)); }, path, texts);
    std::reverse(result.begin(), result.end());
    return result;
}

}  // namespace AILog

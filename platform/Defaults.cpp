#include "platform/Defaults.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/AtomicFile.h"
#include "platform/Log.h"
#include "platform/Paths.h"

namespace {

// Where a damaged file is kept: the first free of "<name>.corrupt", "<name>.corrupt-2" ...; when
// every one of them is taken, the oldest.
std::filesystem::path rescueName(const std::filesystem::path& file) {
    std::filesystem::path oldest;
    timespec oldestTime{};
    for (int n = 1; n <= Defaults::maxRescues; ++n) {
        std::filesystem::path aside = file;
        aside += n == 1 ? std::string(".corrupt") : ".corrupt-" + std::to_string(n);
        struct stat info {};
        if (::lstat(aside.c_str(), &info) != 0) return aside;
        const timespec& time = info.st_mtim;
        if (oldest.empty() || time.tv_sec < oldestTime.tv_sec ||
            (time.tv_sec == oldestTime.tv_sec && time.tv_nsec < oldestTime.tv_nsec)) {
            oldest = aside;
            oldestTime = time;
        }
    }
    return oldest;
}

constexpr char kDataKey[] = "$data";
// Defaults files are small; anything larger is not ours and reads as empty.
constexpr std::uintmax_t kMaxFileSize = 64u << 20;

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const Defaults::Data& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        unsigned v = bytes[i] << 16 | bytes[i + 1] << 8 | bytes[i + 2];
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += kBase64[(v >> 6) & 63];
        out += kBase64[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = bytes[i] << 16;
        if (i + 1 < bytes.size()) v |= bytes[i + 1] << 8;
        out += kBase64[v >> 18];
        out += kBase64[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<Defaults::Data> unbase64(const std::string& text) {
    Defaults::Data out;
    unsigned buffer = 0;
    int bits = 0;
    size_t padding = 0;
    for (char c : text) {
        if (c == '=') {
            ++padding;
            continue;
        }
        if (padding) return std::nullopt;
        const char* p = std::char_traits<char>::find(kBase64, 64, c);
        if (!p) return std::nullopt;
        buffer = (buffer << 6) | static_cast<unsigned>(p - kBase64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>((buffer >> bits) & 0xFF));
        }
    }
    if (padding > 2 || (text.size() % 4) != 0) return std::nullopt;
    return out;
}

// NSString-style Boolean value of a string.
bool stringBoolean(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    while (i < s.size() && s[i] == '0') ++i;
    if (i >= s.size()) return false;
    char c = s[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
}

}  // namespace

Defaults::Defaults(std::filesystem::path file) : file_(std::move(file)) {}

Defaults& Defaults::standard() {
    static Defaults defaults(Paths::defaultsFile());
    return defaults;
}

void Defaults::removeStrayWrites(const std::filesystem::path& file) {
    std::error_code error;
    std::filesystem::directory_iterator entries(file.parent_path(), error);
    if (error) return;
    constexpr std::string_view prefix = "tindra-";
    constexpr std::string_view suffix = ".tmp";
    for (const auto& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) || !name.ends_with(suffix)) continue;
        const std::string_view digits(name.data() + prefix.size(), name.size() - prefix.size() - suffix.size());
        if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
        if (entry.is_regular_file(error) && !entry.is_symlink(error)) std::filesystem::remove(entry.path(), error);
    }
}

void Defaults::refresh() const {
    struct stat info {};
    if (::stat(file_.c_str(), &info) != 0) {
        values_ = nlohmann::json::object();
        corrupt_ = false;
        seenStamp_ = -1;
        seenSize_ = 0;
        return;
    }
    std::int64_t stamp = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                         info.st_mtim.tv_nsec;
    auto size = static_cast<std::uintmax_t>(info.st_size);
    if (stamp == seenStamp_ && size == seenSize_) return;
    seenStamp_ = stamp;
    seenSize_ = size;
    values_ = nlohmann::json::object();
    corrupt_ = false;
    if (size > kMaxFileSize) {
        corrupt_ = true;
        return;
    }
    std::ifstream in(file_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    auto parsed = nlohmann::json::parse(text.str(), nullptr, false);
    if (parsed.is_discarded() || !parsed.is_object()) {
        corrupt_ = true;
        return;
    }
    values_ = std::move(parsed);
}

nlohmann::json Defaults::object(const std::string& key) const {
    std::lock_guard lock(mutex_);
    refresh();
    if (auto kept = unsaved_.find(key); kept != unsaved_.end()) return *kept;
    auto it = values_.find(key);
    return it == values_.end() ? nlohmann::json() : *it;
}

std::optional<std::string> Defaults::string(const std::string& key) const {
    auto value = object(key);
    if (!value.is_string()) return std::nullopt;
    return value.get<std::string>();
}

bool Defaults::boolean(const std::string& key) const {
    auto value = object(key);
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number_integer()) return value.get<std::int64_t>() != 0;
    if (value.is_number()) return value.get<double>() != 0.0;
    if (value.is_string()) return stringBoolean(value.get<std::string>());
    return false;
}

std::int64_t Defaults::integer(const std::string& key) const {
    double r = real(key);
    if (!std::isfinite(r) || r >= 9.2e18 || r <= -9.2e18) return 0;
    auto value = object(key);
    if (value.is_number_integer()) return value.get<std::int64_t>();
    return static_cast<std::int64_t>(r);
}

double Defaults::real(const std::string& key) const {
    auto value = object(key);
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_number()) return value.get<double>();
    if (value.is_string()) {
        const std::string s = value.get<std::string>();
        std::istringstream in(s);
        in.imbue(std::locale::classic());
        double r = 0;
        if (in >> r) return r;
    }
    return 0;
}

std::optional<Defaults::Data> Defaults::data(const std::string& key) const {
    return decodeData(object(key));
}

nlohmann::json Defaults::encodeData(const Data& bytes) {
    return nlohmann::json{{kDataKey, base64(bytes)}};
}

std::optional<Defaults::Data> Defaults::decodeData(const nlohmann::json& value) {
    if (!value.is_object() || value.size() != 1) return std::nullopt;
    auto it = value.find(kDataKey);
    if (it == value.end() || !it->is_string()) return std::nullopt;
    return unbase64(it->get<std::string>());
}

void Defaults::set(const std::string& key, const nlohmann::json& value) {
    std::lock_guard lock(mutex_);
    refresh();
    nlohmann::json next = values_;
    for (const auto& [kept, keptValue] : unsaved_.items()) {
        if (keptValue.is_null()) next.erase(kept);
        else next[kept] = keptValue;
    }
    if (value.is_null()) next.erase(key);
    else next[key] = value;
    store(next);
    unsaved_ = nlohmann::json::object();
}

bool Defaults::trySet(const std::string& key, const nlohmann::json& value) {
    try {
        set(key, value);
        return true;
    } catch (const std::exception& error) {
        std::lock_guard lock(mutex_);
        unsaved_[key] = value;
        Log::write(std::string("No se ha podido guardar el ajuste «") + key + "»: " + error.what());
        return false;
    }
}

void Defaults::setData(const std::string& key, const Data& value) { set(key, encodeData(value)); }

void Defaults::remove(const std::string& key) { set(key, nullptr); }

void Defaults::store(const nlohmann::json& values) {
    std::error_code ec;
    std::filesystem::create_directories(file_.parent_path(), ec);
    if (corrupt_) {
        // Keep what could not be read for the user to recover.
        auto aside = rescueName(file_);
        std::filesystem::rename(file_, aside, ec);
        Log::write("No se pudo leer " + file_.string() + "; se ha guardado como " +
                   aside.string() + ".");
        corrupt_ = false;
    }
    // A write cut short leaves a listed temporary file, which the next start removes.
    try {
        AtomicFile::write(file_, values.dump(2) + "\n", 0600);
    } catch (const std::exception&) {
        throw std::runtime_error("No se pudo guardar la configuración en " + file_.string() + ".");
    }
    values_ = values;
    struct stat info {};
    if (::stat(file_.c_str(), &info) == 0) {
        seenStamp_ = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
        seenSize_ = static_cast<std::uintmax_t>(info.st_size);
    }
}

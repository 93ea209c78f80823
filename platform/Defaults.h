#pragma once
// The application's user defaults: a typed key-value store kept as a JSON file
// ($XDG_CONFIG_HOME/tindra/defaults.json), written atomically with mode 0600.
//
// Values keep their types: Booleans, numbers, strings, data (bytes), arrays and dictionaries of
// these. Data is stored as {"$data": "<base64>"}. Reads of a missing or ill-typed value give the
// caller's default, never an error. A file that does not parse reads as empty; it is moved aside
// before the first write, never silently overwritten: to "<name>.corrupt", then "<name>.corrupt-2"
// and on, up to maxRescues files, past which the oldest of them gives way.

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

class Defaults {
public:
    using Data = std::vector<std::uint8_t>;

    explicit Defaults(std::filesystem::path file);

    // How many damaged files are kept aside.
    static constexpr int maxRescues = 10;

    // The process's defaults at Paths::defaultsFile(), fixed on first use.
    static Defaults& standard();

    // Removes the temporary files that writes of earlier versions of the application left beside
    // `file` when they were cut short: regular files named "tindra-", digits, ".tmp". This class
    // writes through AtomicFile, whose temporary files TemporaryFiles lists for the next start to
    // remove. Run at start by the process that keeps that list; failures are ignored.
    static void removeStrayWrites(const std::filesystem::path& file);

    const std::filesystem::path& file() const { return file_; }

    // The stored value as it is (null when absent).
    nlohmann::json object(const std::string& key) const;
    bool contains(const std::string& key) const { return !object(key).is_null(); }

    // A string value; absent for a missing key or one holding another type.
    std::optional<std::string> string(const std::string& key) const;
    // The platform's Boolean reading: a Boolean as it is; a number true when non-zero; a string
    // true when, after blanks, an optional sign and zeros, it starts with Y, y, T, t or 1-9;
    // anything else (or nothing) false.
    bool boolean(const std::string& key) const;
    // A number (a Boolean reads 0 or 1, a numeric string its value); 0 otherwise.
    std::int64_t integer(const std::string& key) const;
    double real(const std::string& key) const;
    // Bytes stored as data; absent otherwise.
    std::optional<Data> data(const std::string& key) const;

    // Each set replaces the file atomically. A write that fails throws std::runtime_error.
    void set(const std::string& key, const nlohmann::json& value);
    void setBoolean(const std::string& key, bool value) { set(key, value); }
    void setString(const std::string& key, const std::string& value) { set(key, value); }
    void setData(const std::string& key, const Data& value);
    void remove(const std::string& key);

    // A set for settings that must not stop the application: when the file cannot be written,
    // the value is kept for the running process (reads see it, the next successful write stores
    // it too), one line goes to the log, and the result is false.
    bool trySet(const std::string& key, const nlohmann::json& value);

    // The encoding of bytes in the file.
    static nlohmann::json encodeData(const Data& bytes);
    static std::optional<Data> decodeData(const nlohmann::json& value);

private:
    // Reads the file again when it changed on disk since the last read.
    void refresh() const;
    void store(const nlohmann::json& values);

    std::filesystem::path file_;
    mutable std::mutex mutex_;
    mutable nlohmann::json values_ = nlohmann::json::object();
    // Values set while the file could not be written (null: removed), ahead of the file's.
    nlohmann::json unsaved_ = nlohmann::json::object();
    mutable bool corrupt_ = false;
    mutable std::int64_t seenStamp_ = -1;
    mutable std::uintmax_t seenSize_ = 0;
};

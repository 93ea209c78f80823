#include "app/MimeApps.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

namespace MimeApps {

namespace {

constexpr std::string_view blanks = " \t\r";

std::string_view trimmed(std::string_view text) {
    const std::size_t start = text.find_first_not_of(blanks);
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(blanks) - start + 1);
}

// The list as it stands: where it is written (a link's destination) and its lines.
struct List {
    fs::path target;
    std::vector<std::string> lines;
    bool exists = false;
};

// Nothing when the list is a link that leads nowhere, is not a regular file or is too large.
std::optional<List> read(const fs::path& file) {
    std::error_code error;
    List list;
    list.target = file;
    const fs::file_status status = fs::symlink_status(file, error);
    if (error || status.type() == fs::file_type::not_found) {
        if (error && error != std::errc::no_such_file_or_directory) return std::nullopt;
        return list;
    }
    if (status.type() == fs::file_type::symlink) {
        list.target = fs::canonical(file, error);
        if (error) return std::nullopt;
    }
    if (!fs::is_regular_file(list.target, error)) return std::nullopt;
    std::ifstream in(list.target, std::ios::binary);
    if (!in) return std::nullopt;
    std::string text(maxSize + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(maxSize + 1));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > maxSize) return std::nullopt;
    list.exists = true;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        list.lines.emplace_back(text, start, end - start);
        start = end + 1;
    }
    return list;
}

void write(const List& list) {
    std::string text;
    for (const std::string& line : list.lines) text += line + '\n';
    std::error_code error;
    fs::create_directories(list.target.parent_path(), error);
    AtomicFile::write(list.target, text);
}

bool isGroup(std::string_view line) { return trimmed(line).starts_with('['); }

// The entries of a line for `type`; nothing for a line of another key, a comment or a group.
std::optional<std::vector<std::string>> entriesFor(std::string_view line, std::string_view type) {
    const std::string_view text = trimmed(line);
    if (text.empty() || text.front() == '#' || text.front() == '[') return std::nullopt;
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos || trimmed(text.substr(0, equals)) != type) return std::nullopt;
    std::vector<std::string> entries;
    std::string_view rest = text.substr(equals + 1);
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find(';'), rest.size());
        const std::string_view entry = trimmed(rest.substr(0, end));
        if (!entry.empty()) entries.emplace_back(entry);
        rest.remove_prefix(std::min(end + 1, rest.size()));
    }
    return entries;
}

std::string line(std::string_view type, const std::vector<std::string>& entries) {
    std::string text(type);
    text += '=';
    for (const std::string& entry : entries) text += entry + ';';
    return text;
}

}  // namespace

void putFirst(const fs::path& file, std::string_view type, std::string_view entry) {
    std::optional<List> list = read(file);
    if (!list) return;
    std::vector<std::string>& lines = list->lines;
    std::optional<std::size_t> group;
    std::optional<std::size_t> found;
    bool inDefaults = false;
    for (std::size_t i = 0; i < lines.size() && !found; ++i) {
        if (isGroup(lines[i])) {
            inDefaults = trimmed(lines[i]) == defaultsGroup;
            if (inDefaults && !group) group = i;
        } else if (inDefaults && entriesFor(lines[i], type)) {
            found = i;
        }
    }
    if (found) {
        std::vector<std::string> entries = *entriesFor(lines[*found], type);
        if (!entries.empty() && entries.front() == entry &&
            std::count(entries.begin(), entries.end(), entry) == 1) {
            return;
        }
        std::erase(entries, std::string(entry));
        entries.insert(entries.begin(), std::string(entry));
        lines[*found] = line(type, entries);
    } else if (group) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*group) + 1, line(type, {std::string(entry)}));
    } else {
        if (!lines.empty() && !trimmed(lines.back()).empty()) lines.emplace_back();
        lines.emplace_back(defaultsGroup);
        lines.push_back(line(type, {std::string(entry)}));
    }
    write(*list);
}

void remove(const fs::path& file, std::string_view type, std::string_view entry) {
    std::optional<List> list = read(file);
    if (!list || !list->exists) return;
    std::vector<std::string>& lines = list->lines;
    bool changed = false;
    for (auto it = lines.begin(); it != lines.end();) {
        auto entries = entriesFor(*it, type);
        if (!entries || std::erase(*entries, std::string(entry)) == 0) {
            ++it;
            continue;
        }
        changed = true;
        if (entries->empty()) {
            it = lines.erase(it);
        } else {
            *it = line(type, *entries);
            ++it;
        }
    }
    if (changed) write(*list);
}

}  // namespace MimeApps

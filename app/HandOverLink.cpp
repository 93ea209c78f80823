#include "app/HandOverLink.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace HandOverLink {

std::optional<std::string> take() {
    char* value = std::getenv(variable);
    if (!value) return std::nullopt;
    const std::size_t length = ::strnlen(value, maxLength + 1);
    std::optional<std::string> link;
    if (length > 0 && length <= maxLength) link = std::string(value, length);
    // The text /proc/<pid>/environ shows is where the process received it: blanked there too.
    std::memset(value, 0, length);
    ::unsetenv(variable);
    if (!link) return std::nullopt;
    const std::string_view scheme = "tindra:";
    if (link->size() < scheme.size()) return std::nullopt;
    for (std::size_t i = 0; i < scheme.size(); ++i) {
        const char c = (*link)[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != scheme[i]) return std::nullopt;
    }
    return link;
}

std::vector<char*> arguments(int argc, char** argv, std::string& storage) {
    std::vector<char*> result(argv, argv + (argc > 0 ? argc : 0));
    if (auto link = take()) {
        storage = std::move(*link);
        result.push_back(storage.data());
    }
    result.push_back(nullptr);
    return result;
}

}  // namespace HandOverLink

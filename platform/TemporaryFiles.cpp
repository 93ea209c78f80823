#include "platform/TemporaryFiles.h"

namespace TemporaryFiles {

namespace {

constexpr std::string_view kPrefix = "tindra-";
constexpr std::size_t kUUIDLength = 36;
constexpr std::size_t kMaxExtension = 8;  // after the dot

bool isUpperHex(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

bool isUUID(std::string_view text) {
    if (text.size() != kUUIDLength) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? text[i] != '-' : !isUpperHex(text[i])) return false;
    }
    return true;
}

bool isExtensionCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The length of the temporary name that starts at `at` of `text` (at its "tindra-", or at the
// dot before it), 0 when none starts there; the extension is the longest that fits.
std::size_t nameAt(std::string_view text, std::size_t at) {
    std::size_t start = at;
    if (start < text.size() && text[start] == '.') ++start;
    if (text.substr(start, kPrefix.size()) != kPrefix) return 0;
    const std::size_t uuid = start + kPrefix.size();
    if (!isUUID(text.substr(uuid, kUUIDLength))) return 0;
    std::size_t end = uuid + kUUIDLength;
    if (end < text.size() && text[end] == '.') {
        std::size_t extension = end + 1;
        while (extension < text.size() && extension - end - 1 < kMaxExtension &&
               isExtensionCharacter(text[extension]))
            ++extension;
        if (extension > end + 1) end = extension;
    }
    return end - at;
}

}  // namespace

bool isTemporaryName(std::string_view name) {
    // The extension may be missing; nothing else may follow the UUID.
    return !name.empty() && nameAt(name, 0) == name.size();
}

std::string replaceTemporaryNames(std::string_view text, std::string_view name) {
    std::string result;
    result.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        // A name starts a word: "mitindra-…" is not one.
        const bool starts = at == 0 || !isExtensionCharacter(text[at - 1]);
        const std::size_t length = starts ? nameAt(text, at) : 0;
        if (length > 0) {
            result.append(name);
            at += length;
        } else {
            result.push_back(text[at++]);
        }
    }
    return result;
}

}  // namespace TemporaryFiles

// Pasted profile text and stored profile data: the parser and the decoder must never crash, hang
// or give a range outside the text.
#include "profile/ProfileParser.h"
#include "profile/ProfileStore.h"
#include "profile/UnicodeText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto length = static_cast<std::size_t>(UnicodeText::fromUtf8(text).length());
    for (const ProfileFact& fact : ProfileParser::facts(text)) {
        if (fact.range.start > fact.range.end || fact.range.end > length || fact.value.empty()) std::abort();
    }
    if (auto decoded = ProfileStore::decode(text)) ProfileStore::encode(*decoded);
    return 0;
}

#include "signing/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace UnicodeText {
namespace {

icu::UnicodeString alias(std::u16string_view text) {
    return icu::UnicodeString(false, text.data(), static_cast<int32_t>(text.size()));
}

std::u16string toU16(const icu::UnicodeString& s) {
    return std::u16string(s.getBuffer(), static_cast<std::size_t>(s.length()));
}

// Text without combining characters or CR is one character per code unit; most page text is.
bool simple(std::u16string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char16_t c) { return c < 0x0300 && c != u'\r'; });
}

// UTF-16 offsets where characters start, followed by the text's length.
std::vector<std::size_t> boundaries(std::u16string_view text) {
    std::vector<std::size_t> out;
    if (simple(text)) {
        out.resize(text.size() + 1);
        for (std::size_t i = 0; i <= text.size(); ++i) out[i] = i;
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status)) it.reset();
    if (!it) {  // without ICU data: code points
        for (std::size_t i = 0; i < text.size(); ++i)
            if (!(text[i] >= 0xDC00 && text[i] <= 0xDFFF && i > 0)) out.push_back(i);
        out.push_back(text.size());
        return out;
    }
    icu::UnicodeString s = alias(text);
    it->setText(s);
    for (int32_t p = it->first(); p != icu::BreakIterator::DONE; p = it->next())
        out.push_back(static_cast<std::size_t>(p));
    if (out.empty() || out.back() != text.size()) out.push_back(text.size());
    return out;
}

}  // namespace

std::string utf8(std::u16string_view text) {
    std::string out;
    alias(text).toUTF8String(out);
    return out;
}

std::u16string utf16(std::string_view utf8) {
    return toU16(icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size()))));
}

std::u16string lower(std::u16string_view text) {
    icu::UnicodeString s(text.data(), static_cast<int32_t>(text.size()));
    s.toLower(icu::Locale::getRoot());
    return toU16(s);
}

std::u16string fold(std::u16string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    icu::UnicodeString s(text.data(), static_cast<int32_t>(text.size()));
    if (U_SUCCESS(status) && nfd) {
        icu::UnicodeString decomposed = nfd->normalize(s, status);
        if (U_SUCCESS(status)) s = decomposed;
    }
    icu::UnicodeString kept;
    for (int32_t i = 0; i < s.length();) {
        UChar32 c = s.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) kept.append(c);
        i += U16_LENGTH(c);
    }
    kept.foldCase();
    return toU16(kept);
}

std::size_t characterCount(std::u16string_view text) {
    if (simple(text)) return text.size();
    return boundaries(text).size() - 1;
}

std::u16string_view prefix(std::u16string_view text, std::size_t count) {
    if (simple(text)) return text.substr(0, std::min(count, text.size()));
    std::vector<std::size_t> b = boundaries(text);
    if (count + 1 >= b.size()) return text;
    return text.substr(0, b[count]);
}

std::u16string_view suffix(std::u16string_view text, std::size_t count) {
    if (simple(text)) return text.substr(text.size() - std::min(count, text.size()));
    std::vector<std::size_t> b = boundaries(text);
    if (count + 1 >= b.size()) return text;
    return text.substr(b[b.size() - 1 - count]);
}

std::size_t characterIndex(std::u16string_view text, std::size_t offset) {
    offset = std::min(offset, text.size());
    if (simple(text)) return offset;
    std::vector<std::size_t> b = boundaries(text);
    return static_cast<std::size_t>(std::upper_bound(b.begin(), b.end(), offset) - b.begin()) - 1;
}

}  // namespace UnicodeText

#include "profile/UnicodeText.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace UnicodeText {

namespace {

const icu::Locale& spanish() {
    static const icu::Locale locale("es", "ES");
    return locale;
}

const icu::Normalizer2* nfc() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) ? n : nullptr;
}

const icu::Normalizer2* nfd() {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* n = icu::Normalizer2::getNFDInstance(status);
    return U_SUCCESS(status) ? n : nullptr;
}

// A new iterator over user-perceived characters, cloned from one made once per thread: making
// one from the rules costs far more than copying one, and the recognisers need one per call.
std::unique_ptr<icu::BreakIterator> characterIterator() {
    thread_local const std::unique_ptr<icu::BreakIterator> prototype = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) it.reset();
        return it;
    }();
    return prototype ? std::unique_ptr<icu::BreakIterator>(prototype->clone()) : nullptr;
}

}  // namespace

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(std::min<std::size_t>(text.size(), INT32_MAX))));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::size_t graphemeCount(const icu::UnicodeString& text) {
    if (text.isEmpty()) return 0;
    std::unique_ptr<icu::BreakIterator> it = characterIterator();
    if (!it) return static_cast<std::size_t>(text.countChar32());
    it->setText(text);
    std::size_t count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next()) ++count;
    return count;
}

std::size_t graphemeCount(std::string_view text) { return graphemeCount(fromUtf8(text)); }

std::vector<std::string> graphemes(std::string_view text) {
    std::vector<std::string> out;
    icu::UnicodeString s = fromUtf8(text);
    if (s.isEmpty()) return out;
    std::unique_ptr<icu::BreakIterator> it = characterIterator();
    if (!it) {
        for (int32_t i = 0; i < s.length();) {
            int32_t next = s.moveIndex32(i, 1);
            out.push_back(toUtf8(icu::UnicodeString(s, i, next - i)));
            i = next;
        }
        return out;
    }
    it->setText(s);
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        out.push_back(toUtf8(icu::UnicodeString(s, start, end - start)));
    }
    return out;
}

GraphemeBounds::GraphemeBounds(const icu::UnicodeString& text) : text_(text) {
    iterator_ = characterIterator().release();
    if (iterator_) iterator_->setText(text_);
}

GraphemeBounds::~GraphemeBounds() { delete iterator_; }

bool GraphemeBounds::isBoundary(int32_t offset) {
    if (offset <= 0 || offset >= text_.length()) return offset == 0 || offset == text_.length();
    if (!iterator_) return !U16_IS_TRAIL(text_.charAt(offset)) || !U16_IS_LEAD(text_.charAt(offset - 1));
    return iterator_->isBoundary(offset);
}

bool isBlank(UChar32 c) { return c == 0x09 || u_charType(c) == U_SPACE_SEPARATOR; }

bool isLineEnd(UChar32 c) { return c == 0x0A || c == 0x0D || c == 0x85 || c == 0x2028 || c == 0x2029; }

bool isWhitespaceOrNewline(UChar32 c) {
    if (c >= 0x09 && c <= 0x0D) return true;
    if (c == 0x85) return true;
    int8_t type = u_charType(c);
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

std::string trimBlanks(std::string_view text) { return trimmed(text, isBlank); }

std::string fold(std::string_view text) {
    icu::UnicodeString s = fromUtf8(text);
    s.toLower(spanish());
    const icu::Normalizer2* decompose = nfd();
    const icu::Normalizer2* compose = nfc();
    if (!decompose || !compose) return toUtf8(s);
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString decomposed = decompose->normalize(s, status);
    if (U_FAILURE(status)) return toUtf8(s);
    icu::UnicodeString bare;
    for (int32_t i = 0; i < decomposed.length();) {
        UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
    }
    icu::UnicodeString result = compose->normalize(bare, status);
    return toUtf8(U_SUCCESS(status) ? result : bare);
}

std::string capitalized(std::string_view text) {
    icu::UnicodeString s = fromUtf8(text);
    s.toTitle(nullptr, spanish());
    return toUtf8(s);
}

std::string upperFirst(std::string_view text, bool lowerRest) {
    icu::UnicodeString s = fromUtf8(text);
    if (s.isEmpty()) return {};
    std::unique_ptr<icu::BreakIterator> it = characterIterator();
    int32_t cut = s.moveIndex32(0, 1);
    if (it) {
        it->setText(s);
        int32_t next = it->following(0);
        if (next != icu::BreakIterator::DONE) cut = next;
    }
    icu::UnicodeString head(s, 0, cut);
    icu::UnicodeString rest(s, cut);
    head.toUpper(spanish());
    if (lowerRest) rest.toLower(spanish());
    return toUtf8(head + rest);
}

std::string upper(std::string_view text) {
    icu::UnicodeString s = fromUtf8(text);
    s.toUpper(icu::Locale::getRoot());
    return toUtf8(s);
}

std::string canonical(std::string_view text) {
    const icu::Normalizer2* compose = nfc();
    icu::UnicodeString s = fromUtf8(text);
    if (!compose) return toUtf8(s);
    UErrorCode status = U_ZERO_ERROR;
    icu::UnicodeString n = compose->normalize(s, status);
    return toUtf8(U_SUCCESS(status) ? n : s);
}

bool sameText(std::string_view a, std::string_view b) { return a == b || canonical(a) == canonical(b); }

bool hasDecimalDigit(std::string_view text) {
    icu::UnicodeString s = fromUtf8(text);
    for (int32_t i = 0; i < s.length();) {
        UChar32 c = s.char32At(i);
        if (u_isdigit(c)) return true;
        i += U16_LENGTH(c);
    }
    return false;
}

}  // namespace UnicodeText

#include "forms/ai/AIPrivacyMask.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uspoof.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "profile/Address.h"

namespace {

// ---- Text as code points --------------------------------------------------------------------

// One code point and the bytes it came from. A byte that is no UTF-8 becomes U+FFFD, one byte
// long, so that the bytes around it are copied unchanged.
struct Char {
    char32_t c;
    std::size_t begin;
    std::size_t end;
};
using Chars = std::vector<Char>;

Chars decode(std::string_view text) {
    Chars out;
    out.reserve(text.size());
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
        } else {
            out.push_back({0xFFFD, i, i + 1});
            ++i;
            continue;
        }
        bool valid = extra < n - i;
        for (std::size_t k = 1; valid && k <= extra; ++k) {
            const auto d = static_cast<unsigned char>(text[i + k]);
            if ((d & 0xC0) != 0x80) valid = false;
            cp = (cp << 6) | (d & 0x3F);
        }
        if (valid && ((extra == 1 && cp < 0x80) || (extra == 2 && cp < 0x800) ||
                      (extra == 3 && cp < 0x10000) || cp > 0x10FFFF ||
                      (cp >= 0xD800 && cp <= 0xDFFF))) {
            valid = false;
        }
        if (!valid) {
            out.push_back({0xFFFD, i, i + 1});
            ++i;
            continue;
        }
        out.push_back({cp, i, i + extra + 1});
        i += extra + 1;
    }
    return out;
}

bool isDigit(char32_t c) { return c >= '0' && c <= '9'; }
bool isUpper(char32_t c) { return c >= 'A' && c <= 'Z'; }
bool isLower(char32_t c) { return c >= 'a' && c <= 'z'; }
bool isLetter(char32_t c) { return isUpper(c) || isLower(c); }
char32_t upper(char32_t c) { return isLower(c) ? c - 'a' + 'A' : c; }

bool isMark(char32_t c) {
    if (c < 0x300) return false;
    const auto type = u_charType(static_cast<UChar32>(c));
    return type == U_NON_SPACING_MARK || type == U_COMBINING_SPACING_MARK || type == U_ENCLOSING_MARK;
}

bool isAlnum(char32_t c) {
    if (c < 0x80) return isDigit(c) || isLetter(c);
    return u_isalnum(static_cast<UChar32>(c)) != 0;
}

// Part of a word: letters, digits and the marks that ride on them.
bool isWord(char32_t c) { return isAlnum(c) || isMark(c); }

// Blanks that may stand inside a grouped number.
bool isBlank(char32_t c) {
    return c == ' ' || c == '\t' || c == 0xA0 || c == 0x2007 || c == 0x2009 || c == 0x202F;
}

bool capital(char32_t c) { return c < 0x80 ? isUpper(c) : u_isupper(static_cast<UChar32>(c)) != 0; }
bool small(char32_t c) { return c < 0x80 ? isLower(c) : u_islower(static_cast<UChar32>(c)) != 0; }

// ---- The normal form ------------------------------------------------------------------------

// Every space and every format character (zero-width spaces and joiners, soft hyphens, marks of
// direction) is a blank; every dash and hyphen (non-breaking hyphen, en and em dashes, minus
// signs, their small and full-width forms) is "-"; a decimal digit of any script is its ASCII
// digit.
char32_t plain(char32_t c) {
    const auto type = u_charType(static_cast<UChar32>(c));
    if (type == U_SPACE_SEPARATOR || type == U_FORMAT_CHAR) return ' ';
    if (type == U_DASH_PUNCTUATION || c == 0x2212 || c == 0x2796 || c == 0x02D7 || c == 0x2043) return '-';
    if (type == U_DECIMAL_DIGIT_NUMBER) {
        const int32_t value = u_charDigitValue(static_cast<UChar32>(c));
        if (value >= 0 && value <= 9) return static_cast<char32_t>('0' + value);
    }
    return c;
}

// The Latin letter that a letter of another script (or a rare Latin one) is drawn like, through
// the confusable skeleton of Unicode's security mechanisms: Cyrillic "А" reads "A", Greek "ο"
// reads "o", Cyrillic "Х" reads "X". Letters with a canonical decomposition (accented Latin
// letters) and letters whose skeleton is no single ASCII letter stay themselves; so do digits
// (a Cyrillic "З" is not taken for a 3). The case of the letter is kept: a capital drawn like
// "I" reads "I", though its skeleton is "l".
char32_t latinLookalike(char32_t c) {
    const auto cp = static_cast<UChar32>(c);
    if (c < 0x80 || !u_isalpha(cp)) return c;
    static const icu::Normalizer2* const nfd = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFDInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    icu::UnicodeString decomposition;
    if (!nfd || nfd->getDecomposition(cp, decomposition)) return c;
    // Opened once and only read afterwards: a skeleton is safe to take on several threads.
    static const USpoofChecker* const checker = [] {
        UErrorCode status = U_ZERO_ERROR;
        USpoofChecker* opened = uspoof_open(&status);
        return U_SUCCESS(status) ? opened : nullptr;
    }();
    if (!checker) return c;
    const icu::UnicodeString letter(cp);
    UChar skeleton[8];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uspoof_getSkeleton(checker, 0, letter.getBuffer(), letter.length(), skeleton,
                                              static_cast<int32_t>(std::size(skeleton)), &status);
    if (U_FAILURE(status) || length != 1 || !isLetter(skeleton[0])) return c;
    char32_t latin = skeleton[0];
    if (u_isupper(cp) && isLower(latin)) return latin == 'l' ? U'I' : latin - 'a' + 'A';
    if (u_islower(cp) && isUpper(latin)) return latin - 'A' + 'a';
    return latin;
}

// The text's code points as they are compared: each in its compatibility composition (NFKC:
// full-width letters and digits, ligatures, circled numbers), then made plain, and a look-alike
// letter of another script as the Latin letter it is drawn like. Each keeps the bytes of the code
// point it came from, so that a masked stretch replaces the bytes as they were written; the code
// points that one composes into all keep its bytes.
Chars normalized(std::string_view text) {
    static const icu::Normalizer2* const nfkc = [] {
        UErrorCode status = U_ZERO_ERROR;
        const icu::Normalizer2* n = icu::Normalizer2::getNFKCInstance(status);
        return U_SUCCESS(status) ? n : nullptr;
    }();
    Chars chars = decode(text);
    Chars out;
    out.reserve(chars.size());
    for (const Char& ch : chars) {
        if (ch.c < 0x80 || ch.c == 0xFFFD) {
            out.push_back(ch);
            continue;
        }
        const char32_t p = plain(ch.c);
        icu::UnicodeString mapping;
        if (p != ch.c || !nfkc || !nfkc->getDecomposition(static_cast<UChar32>(ch.c), mapping)) {
            out.push_back({latinLookalike(p), ch.begin, ch.end});
            continue;
        }
        UErrorCode status = U_ZERO_ERROR;
        const icu::UnicodeString composed = nfkc->normalize(icu::UnicodeString(static_cast<UChar32>(ch.c)), status);
        if (U_FAILURE(status) || composed.isEmpty()) {
            out.push_back(ch);
            continue;
        }
        for (int32_t k = 0; k < composed.length(); k = composed.moveIndex32(k, 1)) {
            const char32_t q = plain(static_cast<char32_t>(composed.char32At(k)));
            out.push_back({latinLookalike(q), ch.begin, ch.end});
        }
    }
    return out;
}

// A word of a joined name starts at i ("nif87654321XTitular", "nombreAnaMaria"): a capital after a
// small letter, or a capital followed by a small letter after another capital or a digit.
bool jointAt(const Chars& s, std::size_t i) {
    if (i == 0 || i >= s.size()) return false;
    const char32_t a = s[i - 1].c;
    const char32_t b = s[i].c;
    if (small(a) && capital(b)) return true;
    return (capital(a) || isDigit(a)) && capital(b) && i + 1 < s.size() && small(s[i + 1].c);
}

// ---- The shapes -----------------------------------------------------------------------------

// A masked stretch of code points [from, to).
struct Span {
    std::size_t from;
    std::size_t to;
    std::string_view placeholder;
};

// The registered length of the IBANs of a country; 0 when the country is not known here.
int ibanLength(char32_t a, char32_t b) {
    static constexpr std::pair<std::string_view, int> kLengths[] = {
        {"AD", 24}, {"AE", 23}, {"AL", 28}, {"AT", 20}, {"AZ", 28}, {"BA", 20}, {"BE", 16},
        {"BG", 22}, {"BH", 22}, {"BR", 29}, {"BY", 28}, {"CH", 21}, {"CR", 22}, {"CY", 28},
        {"CZ", 24}, {"DE", 22}, {"DK", 18}, {"DO", 28}, {"EE", 20}, {"EG", 29}, {"ES", 24},
        {"FI", 18}, {"FO", 18}, {"FR", 27}, {"GB", 22}, {"GE", 22}, {"GI", 23}, {"GL", 18},
        {"GR", 27}, {"GT", 28}, {"HR", 21}, {"HU", 28}, {"IE", 22}, {"IL", 23}, {"IQ", 23},
        {"IS", 26}, {"IT", 27}, {"JO", 30}, {"KW", 30}, {"KZ", 20}, {"LB", 28}, {"LC", 32},
        {"LI", 21}, {"LT", 20}, {"LU", 20}, {"LV", 21}, {"LY", 25}, {"MC", 27}, {"MD", 24},
        {"ME", 22}, {"MK", 19}, {"MR", 27}, {"MT", 31}, {"MU", 30}, {"NL", 18}, {"NO", 15},
        {"PK", 24}, {"PL", 28}, {"PS", 29}, {"PT", 25}, {"QA", 29}, {"RO", 24}, {"RS", 22},
        {"SA", 24}, {"SC", 31}, {"SE", 24}, {"SI", 19}, {"SK", 24}, {"SM", 27}, {"ST", 25},
        {"SV", 28}, {"TL", 23}, {"TN", 24}, {"TR", 26}, {"UA", 29}, {"VA", 22}, {"VG", 24},
        {"XK", 20},
    };
    const char32_t ua = upper(a);
    const char32_t ub = upper(b);
    for (const auto& [code, length] : kLengths) {
        if (static_cast<char32_t>(code[0]) == ua && static_cast<char32_t>(code[1]) == ub) return length;
    }
    return 0;
}

// IBANs are 15 to 34 characters long; the account part holds at least this many digits.
constexpr std::size_t kIbanMin = 15;
constexpr std::size_t kIbanMax = 34;
constexpr std::size_t kIbanMinDigits = 8;
// An identity number has at most 8 digits.
constexpr std::size_t kMaxIdentityDigits = 8;
// A Spanish account number has 20 digits. What a text cut short at its left leaves of one is
// looked for in this many groups of four, and this many are enough to mask.
constexpr std::size_t kAccountDigits = 20;
constexpr std::size_t kMaxAccountFours = 8;
constexpr std::size_t kMinAccountFours = 4;
// A card number has 13 to 19 digits.
constexpr std::size_t kCardMin = 13;
constexpr std::size_t kCardMax = 19;
// A Spanish phone number has 9 digits.
constexpr std::size_t kPhoneDigits = 9;
// A phone number is looked for in at most this many digit groups from where it starts.
constexpr std::size_t kMaxPhoneGroups = 8;
// A run of at most this many blanks separates two groups of one number.
constexpr std::size_t kMaxBlanks = 3;
// An e-mail address's domain is read up to this many labels.
constexpr std::size_t kMaxDomainLabels = 16;
// Box numbers in a row differ by at most this much from one to the next.
constexpr long kMaxBoxStep = 10;

class Scanner {
public:
    explicit Scanner(const Chars& chars) : s_(chars), n_(chars.size()) {}

    std::vector<Span> spans() {
        std::vector<Span> out;
        const std::vector<Span> emails = this->emails();
        std::size_t nextEmail = 0;
        std::size_t i = 0;
        while (i < n_) {
            if (nextEmail < emails.size() && emails[nextEmail].from == i) {
                out.push_back(emails[nextEmail]);
                i = emails[nextEmail].to;
                ++nextEmail;
                continue;
            }
            const std::size_t limit = nextEmail < emails.size() ? emails[nextEmail].from : n_;
            std::optional<Span> found = at(i, out.empty() ? 0 : out.back().to);
            if (found && found->to <= limit) {
                out.push_back(*found);
                i = found->to;
                continue;
            }
            ++i;
        }
        return out;
    }

private:
    char32_t c(std::size_t i) const { return i < n_ ? s_[i].c : 0; }
    bool wordAt(std::size_t i) const { return i < n_ && isWord(s_[i].c); }
    bool digitAt(std::size_t i) const { return i < n_ && isDigit(s_[i].c); }
    // Nothing of a word goes on at i.
    bool endsWord(std::size_t i) const { return !wordAt(i); }
    // A token of a text or of a joined name starts, or ends, at i.
    bool startsToken(std::size_t i) const { return i == 0 || !wordAt(i - 1) || jointAt(s_, i); }
    bool endsToken(std::size_t i) const { return !wordAt(i) || jointAt(s_, i); }

    // ---- E-mail addresses ----

    static bool isLocal(char32_t ch) {
        return isWord(ch) || ch == '.' || ch == '_' || ch == '%' || ch == '+' || ch == '-';
    }

    static char32_t lowerAscii(char32_t ch) { return isUpper(ch) ? ch - 'A' + 'a' : ch; }

    // One of `words` spelled out at k for "@" or "." ("(arroba)", "[at]", "{dot}", "<punto>", or,
    // where `bare` allows it, the word alone between blanks: "arroba", "punto"), blanks before and
    // after it included: where it ends.
    std::optional<std::size_t> spelledAt(std::size_t k, std::initializer_list<std::u32string_view> words,
                                         bool bare) const {
        static constexpr std::u32string_view kOpen = U"([{<";
        static constexpr std::u32string_view kClose = U")]}>";
        std::size_t b = k;
        while (isBlank(c(b)) && b - k < kMaxBlanks) ++b;
        const std::size_t bracket = kOpen.find(c(b));
        if (bracket == std::u32string_view::npos && (!bare || b == k)) return std::nullopt;
        const std::size_t from = bracket == std::u32string_view::npos ? b : b + 1;
        for (const std::u32string_view word : words) {
            std::size_t e = from;
            while (e - from < word.size() && lowerAscii(c(e)) == word[e - from]) ++e;
            if (e - from != word.size()) continue;
            if (bracket != std::u32string_view::npos) {
                if (c(e) != kClose[bracket]) continue;
                ++e;
            } else if (!isBlank(c(e))) {
                continue;
            }
            const std::size_t after = e;
            while (isBlank(c(e)) && e - after < kMaxBlanks) ++e;
            return e;
        }
        return std::nullopt;
    }

    // The domain of an address from k: labels of letters, digits and inner dashes behind "." or a
    // spelled dot (bare words too where `bare` says), two labels or more, the last of two letters
    // or more. Where it ends.
    std::optional<std::size_t> domainFrom(std::size_t k, bool bare) const {
        std::size_t labels = 0;
        std::size_t end = k;
        std::size_t length = 0;
        bool letters = false;
        std::size_t p = k;
        while (labels < kMaxDomainLabels) {
            std::size_t q = p;
            while (q < n_ && (isWord(c(q)) || c(q) == '-')) ++q;
            while (q > p && c(q - 1) == '-') --q;
            if (q == p) break;
            ++labels;
            end = q;
            length = q - p;
            letters = true;
            for (std::size_t x = p; x < q; ++x) {
                if (!((isAlnum(c(x)) && !isDigit(c(x))) || isMark(c(x)))) letters = false;
            }
            if (c(q) == '.' && wordAt(q + 1)) {
                p = q + 1;
                continue;
            }
            const auto dot = spelledAt(q, {U"dot", U"punto"}, bare);
            if (!dot || !wordAt(*dot)) break;
            p = *dot;
        }
        if (labels < 2 || length < 2 || !letters) return std::nullopt;
        return end;
    }

    // Addresses with "@", or with the at sign and the dots spelled out ("ana.blanco (arroba)
    // correo.es", "ana[at]correo[dot]es", "ana arroba correo punto es").
    std::vector<Span> emails() const {
        std::vector<Span> out;
        std::size_t floor = 0;
        for (std::size_t a = 1; a < n_; ++a) {
            if (a < floor || !isLocal(c(a - 1))) continue;
            std::size_t domain = a + 1;
            bool spelled = false;
            if (c(a) != '@') {
                if (!isBlank(c(a)) && c(a) != '(' && c(a) != '[' && c(a) != '{' && c(a) != '<') continue;
                const auto at = spelledAt(a, {U"arroba", U"at"}, true);
                if (!at) continue;
                domain = *at;
                spelled = true;
            }
            std::size_t j = a;
            while (j > floor && isLocal(c(j - 1))) --j;
            while (j < a && c(j) == '.') ++j;
            if (j == a) continue;
            const auto end = domainFrom(domain, spelled);
            if (!end) continue;
            out.push_back({j, *end, AIPrivacyMask::email});
            floor = *end;
        }
        return out;
    }

    // ---- Everything else, at one position ----

    std::optional<Span> at(std::size_t i, std::size_t free) const {
        const char32_t ch = c(i);
        if (isLetter(ch) && startsToken(i)) {
            if (auto end = ibanAt(i)) return Span{i, *end, AIPrivacyMask::iban};
            if (auto end = prefixedNifAt(i)) return Span{i, *end, AIPrivacyMask::nif};
            return std::nullopt;
        }
        if (!isDigit(ch) || !startsNumber(i)) return std::nullopt;
        if (auto end = dniAt(i)) return Span{i, *end, AIPrivacyMask::nif};
        if (auto end = accountAt(i)) return Span{i, *end, AIPrivacyMask::iban};
        // An IBAN's check digits apart from its account, their country code apart too or cut off
        // with the start of the text ("91 2100 0418 …").
        if (digitsEnd(i) == i + 2 && isBlank(c(i + 2))) {
            std::size_t k = i + 2;
            while (isBlank(c(k)) && k - (i + 2) < kMaxBlanks) ++k;
            if (digitAt(k)) {
                if (auto end = accountAt(k)) return Span{i, *end, AIPrivacyMask::iban};
            }
        }
        if (auto end = cardAt(i)) return Span{i, *end, AIPrivacyMask::card};
        if (auto span = phoneAt(i, free)) return span;
        return std::nullopt;
    }

    // A number starts at i: no digit before it, nor a dot or comma that follows a digit (the
    // decimals or thousands of a number that started earlier).
    bool startsNumber(std::size_t i) const {
        if (i == 0) return true;
        if (digitAt(i - 1)) return false;
        if ((c(i - 1) == '.' || c(i - 1) == ',') && i >= 2 && digitAt(i - 2)) return false;
        return true;
    }

    // The end of the run of digits from i.
    std::size_t digitsEnd(std::size_t i) const {
        while (digitAt(i)) ++i;
        return i;
    }

    // A group of digits [begin, end).
    struct Group {
        std::size_t begin;
        std::size_t end;
        std::size_t size() const { return end - begin; }
    };

    // Where a separator between two groups of digits that starts at i ends: a dot, a dash, a slash
    // (where `slash` says) or a few blanks; i when there is none.
    std::size_t separatorEnd(std::size_t i, bool slash) const {
        const char32_t ch = c(i);
        if (ch == '.' || ch == '-' || (slash && ch == '/')) return i + 1;
        std::size_t k = i;
        while (isBlank(c(k)) && k - i < kMaxBlanks) ++k;
        return k;
    }

    // The groups of digits from i, one separator between each two, until `most` digits are read.
    std::vector<Group> groupsFrom(std::size_t i, std::size_t most, bool slash) const {
        std::vector<Group> groups;
        std::size_t k = i;
        std::size_t count = 0;
        for (;;) {
            const std::size_t e = digitsEnd(k);
            groups.push_back({k, e});
            count += e - k;
            if (count >= most) break;
            const std::size_t next = separatorEnd(e, slash);
            if (next == e || !digitAt(next)) break;
            k = next;
        }
        return groups;
    }

    // The first `count` groups are one piece, or thousands ("87.654.321", "1 234 567"): one to
    // three digits, then groups of three behind one and the same one-character separator.
    bool thousands(const std::vector<Group>& groups, std::size_t count) const {
        if (count == 1) return true;
        if (groups[0].size() > 3) return false;
        for (std::size_t g = 1; g < count; ++g) {
            if (groups[g].size() != 3 || groups[g].begin - groups[g - 1].end != 1 ||
                c(groups[g].begin - 1) != c(groups[0].end)) {
                return false;
            }
        }
        return true;
    }

    // The value of the digits in [from, to), whatever stands between them (at most 18 digits).
    std::uint64_t number(std::size_t from, std::size_t to) const {
        std::uint64_t value = 0;
        for (std::size_t k = from; k < to; ++k) {
            if (digitAt(k)) value = value * 10 + static_cast<std::uint64_t>(c(k) - '0');
        }
        return value;
    }

    // Numbers of boxes in a row ("612 613 614", "0435 0436 0437 0438", "800 800 800"): the first
    // `count` groups, three or more, all of one size, each the one before plus one small step.
    bool boxRow(const std::vector<Group>& groups, std::size_t count) const {
        if (count < 3 || groups[0].size() > 4) return false;
        long step = 0;
        for (std::size_t g = 1; g < count; ++g) {
            if (groups[g].size() != groups[0].size()) return false;
            const long difference = static_cast<long>(number(groups[g].begin, groups[g].end)) -
                                    static_cast<long>(number(groups[g - 1].begin, groups[g - 1].end));
            if (g == 1) step = difference;
            if (difference != step) return false;
        }
        return step >= -kMaxBoxStep && step <= kMaxBoxStep;
    }

    // ---- IBAN ----

    std::optional<std::size_t> ibanAt(std::size_t i) const {
        if (!isLetter(c(i)) || !isLetter(c(i + 1))) return std::nullopt;
        const int known = ibanLength(c(i), c(i + 1));
        // The country code stands apart from the check digits only in the capitals of a country
        // whose IBAN is known ("ES 91 2100 0418 …").
        const bool glued = digitAt(i + 2) && digitAt(i + 3);
        if (!glued) {
            std::size_t k = i + 2;
            while (isBlank(c(k)) && k - (i + 2) < kMaxBlanks) ++k;
            if (!known || !isUpper(c(i)) || !isUpper(c(i + 1)) || k == i + 2 || !digitAt(k) ||
                !digitAt(k + 1) || digitAt(k + 2)) {
                return std::nullopt;
            }
        }
        // Written in one piece, in a name joined to the word after it ("ibanES91…Titular").
        if (known && glued) {
            const std::size_t end = i + static_cast<std::size_t>(known);
            std::size_t k = i;
            std::size_t digits = 0;
            while (k < end && (isLetter(c(k)) || isDigit(c(k)))) {
                if (k >= i + 4 && isDigit(c(k))) ++digits;
                ++k;
            }
            if (k == end && jointAt(s_, end) && digits >= kIbanMinDigits) return end;
        }
        // Written in one piece.
        std::size_t k = i;
        std::size_t digits = 0;
        while (glued && k < n_ && k - i < kIbanMax + 1 && (isLetter(c(k)) || isDigit(c(k)))) {
            if (k >= i + 4 && isDigit(c(k))) ++digits;
            ++k;
        }
        if (glued && k - i >= kIbanMin && k - i <= kIbanMax && endsWord(k) && digits >= kIbanMinDigits) return k;
        if (!isUpper(c(i)) && known == 0) return std::nullopt;
        // Grouped: pieces of capitals and digits, one dash, dot or slash or a few blanks between
        // them.
        std::vector<std::pair<std::size_t, std::size_t>> pieces;  // [begin, end)
        std::size_t p = i;
        std::size_t length = 0;
        for (;;) {
            std::size_t q = p;
            while (q < n_ && (isUpper(c(q)) || isDigit(c(q)) || (p == i && isLetter(c(q))))) ++q;
            if (q == p || !endsWord(q)) break;
            pieces.emplace_back(p, q);
            length += q - p;
            if (length >= kIbanMax || (known && length >= static_cast<std::size_t>(known))) break;
            const char32_t separator = c(q);
            std::size_t next = q + 1;
            if (isBlank(separator)) {
                while (isBlank(c(next)) && next - q < kMaxBlanks) ++next;
            } else if (!(separator == '-' || separator == '.' || separator == '/')) {
                break;
            }
            if (!(isUpper(c(next)) || isDigit(c(next)))) break;
            p = next;
        }
        // A country code apart from its check digits is followed by the four digits of a bank,
        // not by a row of short numbers.
        if (!glued && (pieces.size() < 3 || pieces[0].second - pieces[0].first != 2 ||
                       pieces[1].second - pieces[1].first != 2 || pieces[2].second - pieces[2].first < 4)) {
            return std::nullopt;
        }
        // The digits of the account: those after the country code and the check digits.
        auto digitsIn = [&](std::size_t count) {
            std::size_t d = 0;
            std::size_t skipped = 0;
            for (std::size_t k2 = 0; k2 < count; ++k2) {
                for (std::size_t x = pieces[k2].first; x < pieces[k2].second; ++x) {
                    if (skipped < 4) {
                        ++skipped;
                    } else if (isDigit(c(x))) {
                        ++d;
                    }
                }
            }
            return d;
        };
        if (known) {
            std::size_t total = 0;
            for (std::size_t k2 = 0; k2 < pieces.size(); ++k2) {
                total += pieces[k2].second - pieces[k2].first;
                if (total == static_cast<std::size_t>(known)) {
                    if (digitsIn(k2 + 1) >= kIbanMinDigits) return pieces[k2].second;
                    break;
                }
                if (total > static_cast<std::size_t>(known)) break;
            }
        }
        // Any other country: groups of four, the last one shorter or not; trailing groups
        // without a digit are words that follow, not the account.
        std::size_t count = 0;
        for (; count < pieces.size(); ++count) {
            const std::size_t size = pieces[count].second - pieces[count].first;
            if (size > 4 && count > 0) break;
            if (size < 4) {
                ++count;
                break;
            }
        }
        while (count > 1) {
            bool hasDigit = false;
            for (std::size_t x = pieces[count - 1].first; x < pieces[count - 1].second; ++x) {
                if (isDigit(c(x))) hasDigit = true;
            }
            if (hasDigit) break;
            --count;
        }
        std::size_t total = 0;
        for (std::size_t k2 = 0; k2 < count; ++k2) total += pieces[k2].second - pieces[k2].first;
        if (count > 1 && total >= kIbanMin && total <= kIbanMax && digitsIn(count) >= kIbanMinDigits) {
            return pieces[count - 1].second;
        }
        return std::nullopt;
    }

    // ---- NIF, NIE, CIF ----

    // The check letter of a DNI's number (of a NIE's, with X, Y or Z read as 0, 1 or 2).
    static char32_t dniLetter(std::uint64_t number) {
        static constexpr std::string_view kLetters = "TRWAGMYFPDXBNJZSQVHLCKE";
        return static_cast<char32_t>(kLetters[number % 23]);
    }

    // A separator between the parts of an identity number: one blank or dash (a dot too after
    // the first letter). `blank` says whether it was a blank.
    bool separatorAt(std::size_t i, bool dotToo, bool& blank) const {
        const char32_t ch = c(i);
        blank = isBlank(ch);
        return blank || ch == '-' || (dotToo && ch == '.');
    }

    // The check letter of an identity number whose digits end at j, straight after them or behind
    // one blank, dash or slash; where it ends. `expected` is the right letter: it is taken wherever
    // it stands, even glued to the word after it. Any other letter is taken when `anyLetter` says
    // so, unless it stands behind a slash, or behind a blank in small print.
    std::optional<std::size_t> checkLetterAt(std::size_t j, bool required, bool anyLetter, char32_t expected) const {
        const char32_t separator = c(j);
        const bool behind = (isBlank(separator) || separator == '-' || separator == '/') && isLetter(c(j + 1));
        const std::size_t k = behind ? j + 1 : j;
        if (isLetter(c(k))) {
            const bool valid = upper(c(k)) == expected;
            const bool slash = behind && separator == '/';
            const bool blank = behind && isBlank(separator);
            if ((valid || (anyLetter && !slash && (!blank || isUpper(c(k))))) && endsToken(k + 1)) return k + 1;
            if (valid && !behind && isLetter(c(k + 1))) return k + 1;
        }
        if (!required && endsWord(j)) return j;
        return std::nullopt;
    }

    // "ES" in front of an identity number (the form of a VAT number), or none.
    std::optional<std::size_t> prefixedNifAt(std::size_t i) const {
        if (upper(c(i)) == 'E' && upper(c(i + 1)) == 'S') {
            if (auto end = letterNifAt(i + 2)) return end;
            if (digitAt(i + 2)) {
                if (auto end = dniAt(i + 2)) return end;
            }
        }
        return letterNifAt(i);
    }

    // A NIE (X, Y or Z, 7 digits, a check letter) or a CIF (a letter, 7 digits, a check digit or
    // letter) from the letter at i. Digits in groups other than thousands make a NIE only with its
    // right check letter.
    std::optional<std::size_t> letterNifAt(std::size_t i) const {
        const char32_t first = c(i);
        if (!isLetter(first)) return std::nullopt;
        const char32_t letter = upper(first);
        const bool nie = letter == 'X' || letter == 'Y' || letter == 'Z';
        static constexpr std::string_view kCifLetters = "ABCDEFGHJKLMNPQRSUVW";
        const bool cif = kCifLetters.find(static_cast<char>(letter)) != std::string_view::npos;
        if (!nie && !cif) return std::nullopt;
        std::size_t j = i + 1;
        bool blank = false;
        if (separatorAt(j, true, blank) && digitAt(j + 1)) {
            if (blank && !isUpper(first)) return std::nullopt;
            ++j;
        } else if (!digitAt(j)) {
            return std::nullopt;
        }
        const std::vector<Group> groups = groupsFrom(j, kMaxIdentityDigits + 1, false);
        std::size_t count = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            count += groups[g].size();
            const std::size_t end = groups[g].end;
            const bool regular = thousands(groups, g + 1);
            if (nie && count == 7) {
                const std::uint64_t prefix = static_cast<std::uint64_t>(letter - 'X') * 10000000;
                return checkLetterAt(end, !regular, regular, dniLetter(prefix + number(j, end)));
            }
            if (!cif || !regular) continue;
            if (count == 8 && endsToken(end)) return end;
            if (count == 7) {
                std::size_t k = end;
                bool sepBlank = false;
                if (separatorAt(k, false, sepBlank) && wordAt(k + 1)) ++k;
                const char32_t check = upper(c(k));
                if ((isDigit(check) || (check >= 'A' && check <= 'J')) && endsToken(k + 1) &&
                    (!sepBlank || k == end || isUpper(c(k)) || isDigit(c(k)))) {
                    return k + 1;
                }
            }
        }
        return std::nullopt;
    }

    // A DNI: 7 or 8 digits and a check letter; any letter after digits in one piece or in
    // thousands, only the right one after digits grouped otherwise ("8765 4321X").
    std::optional<std::size_t> dniAt(std::size_t i) const {
        const std::vector<Group> groups = groupsFrom(i, kMaxIdentityDigits + 1, false);
        std::size_t count = 0;
        for (std::size_t g = 0; g < groups.size(); ++g) {
            count += groups[g].size();
            if (count != 7 && count != 8) continue;
            const std::size_t end = groups[g].end;
            if (auto found = checkLetterAt(end, true, thousands(groups, g + 1), dniLetter(number(i, end)))) {
                return found;
            }
        }
        return std::nullopt;
    }

    // ---- Groups of digits ----

    // The groups of a number written in groups: the first of `firstSize` digits ending at
    // `first`, then the groups after it, each behind the same blank or dash, `most` at most.
    struct DigitGroups {
        std::vector<std::size_t> sizes;
        std::vector<std::size_t> ends;
        // The end of the first `count` groups, unless the number goes on there.
        std::optional<std::size_t> take(std::size_t count, const Scanner& scanner) const {
            if (scanner.numberGoesOn(ends[count - 1])) return std::nullopt;
            return ends[count - 1];
        }
    };
    // No groups when the first is followed by neither a blank nor a dash.
    DigitGroups digitGroups(std::size_t first, std::size_t firstSize, std::size_t most) const {
        const char32_t separator = c(first);
        if (!(isBlank(separator) || separator == '-')) return {};
        DigitGroups groups{{firstSize}, {first}};
        std::size_t k = first;
        while (groups.sizes.size() < most && c(k) == separator && digitAt(k + 1)) {
            const std::size_t e = digitsEnd(k + 1);
            groups.sizes.push_back(e - (k + 1));
            groups.ends.push_back(e);
            k = e;
        }
        return groups;
    }

    // ---- Account numbers without their country code ----

    // The control digit of a Spanish account over `digits` (the entity and office behind two
    // zeros, or the ten digits of the number).
    static int cccControl(const std::array<int, 10>& digits) {
        static constexpr std::array<int, 10> kWeights = {1, 2, 4, 8, 5, 10, 9, 7, 3, 6};
        int sum = 0;
        for (std::size_t k = 0; k < digits.size(); ++k) sum += digits[k] * kWeights[k];
        const int control = 11 - sum % 11;
        return control == 11 ? 0 : control == 10 ? 1 : control;
    }

    // The 20 digits of a Spanish account (entity, office, two control digits, number), in one
    // piece or in groups ("2100 0418 45 0200051332", "2100.0418.4502.0005.1332"), whose control
    // digits are right: this is also all of an IBAN but its first four characters.
    std::optional<std::size_t> accountAt(std::size_t i) const {
        if (auto end = cutAccountAt(i)) return end;
        const std::vector<Group> groups = groupsFrom(i, kAccountDigits, true);
        std::size_t total = 0;
        for (const Group& g : groups) total += g.size();
        const std::size_t end = groups.back().end;
        if (total != kAccountDigits || numberGoesOn(end) || boxRow(groups, groups.size())) return std::nullopt;
        std::array<int, kAccountDigits> digits{};
        std::size_t count = 0;
        for (std::size_t k = i; k < end; ++k) {
            if (digitAt(k)) digits[count++] = static_cast<int>(c(k) - '0');
        }
        std::array<int, 10> office{};
        std::array<int, 10> account{};
        std::copy(digits.begin(), digits.begin() + 8, office.begin() + 2);
        std::copy(digits.begin() + 10, digits.end(), account.begin());
        if (cccControl(office) != digits[8] || cccControl(account) != digits[9]) return std::nullopt;
        return end;
    }

    // What a text cut short at its left (a caption taken over a field's width) leaves of an
    // account or an IBAN: four groups of four digits or more opening the text, the last group
    // shorter or not; not a row of box numbers or years, nor sixteen digits of a card.
    std::optional<std::size_t> cutAccountAt(std::size_t i) const {
        std::size_t start = i;
        while (start > 0 && isBlank(c(start - 1))) --start;
        if (start > 0) return std::nullopt;
        const std::vector<Group> groups = groupsFrom(i, kMaxAccountFours * 4, true);
        std::size_t fours = 0;
        while (fours < groups.size() && groups[fours].size() == 4) ++fours;
        if (fours < kMinAccountFours || boxRow(groups, fours)) return std::nullopt;
        if (fours * 4 < kAccountDigits && issuerAt(i)) return std::nullopt;
        bool years = true;
        for (std::size_t g = 0; g < fours; ++g) {
            const std::size_t begin = groups[g].begin;
            if (!((c(begin) == '1' && c(begin + 1) == '9') || (c(begin) == '2' && c(begin + 1) == '0'))) years = false;
        }
        if (years) return std::nullopt;
        const std::size_t count = fours < groups.size() && groups[fours].size() < 4 ? fours + 1 : fours;
        const std::size_t end = groups[count - 1].end;
        if (numberGoesOn(end)) return std::nullopt;
        return end;
    }

    // ---- Card numbers ----

    static bool luhn(const std::vector<int>& digits) {
        int sum = 0;
        bool twice = false;
        for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
            int d = *it;
            if (twice) {
                d *= 2;
                if (d > 9) d -= 9;
            }
            sum += d;
            twice = !twice;
        }
        return sum % 10 == 0;
    }

    // A number goes on after `end`: a decimal comma or a dot and more digits.
    bool numberGoesOn(std::size_t end) const {
        return (c(end) == ',' || c(end) == '.') && digitAt(end + 1);
    }

    // The first digits name a card issuer: 3 to 6, or 2221 to 2720.
    bool issuerAt(std::size_t i) const {
        if (c(i) >= '3' && c(i) <= '6') return true;
        if (c(i) != '2') return false;
        int prefix = 0;
        for (std::size_t k = i; k < i + 4; ++k) {
            if (!digitAt(k)) return false;
            prefix = prefix * 10 + static_cast<int>(c(k) - '0');
        }
        return prefix >= 2221 && prefix <= 2720;
    }

    std::optional<std::size_t> cardAt(std::size_t i) const {
        if (!issuerAt(i)) return std::nullopt;
        const std::size_t first = digitsEnd(i);
        const std::size_t size = first - i;
        if (size >= kCardMin && size <= kCardMax) {
            if (numberGoesOn(first)) return std::nullopt;
            std::vector<int> digits;
            for (std::size_t k = i; k < first; ++k) digits.push_back(static_cast<int>(c(k) - '0'));
            if (luhn(digits)) return first;
            return std::nullopt;
        }
        if (size != 4) return std::nullopt;
        // Grouped as cards print: 4-4-4-4 (and a short group more), 4-6-5 or 4-6-4.
        const DigitGroups groups = digitGroups(first, size, 5);
        if (groups.sizes.empty()) return std::nullopt;
        const std::vector<std::size_t>& sizes = groups.sizes;
        auto take = [&](std::size_t count) { return groups.take(count, *this); };
        if (sizes.size() >= 4 && sizes[1] == 4 && sizes[2] == 4 && sizes[3] == 4) {
            std::vector<Group> row;
            for (std::size_t g = 0; g < 4; ++g) row.push_back({groups.ends[g] - 4, groups.ends[g]});
            if (boxRow(row, row.size())) return std::nullopt;
            if (sizes.size() == 5 && sizes[4] >= 1 && sizes[4] <= 3) return take(5);
            return take(4);
        }
        if (sizes.size() >= 3 && sizes[1] == 6 && (sizes[2] == 5 || sizes[2] == 4)) return take(3);
        return std::nullopt;
    }

    // ---- Phone numbers ----

    // An amount follows `end`: optional blanks, then "€", "EUR" or "euros".
    bool amountAfter(std::size_t end) const {
        std::size_t k = end;
        while (isBlank(c(k)) && k - end < 2) ++k;
        if (c(k) == 0x20AC) return true;
        if (upper(c(k)) == 'E' && upper(c(k + 1)) == 'U' && upper(c(k + 2)) == 'R') {
            return endsWord(k + 3) || (upper(c(k + 3)) == 'O' && upper(c(k + 4)) == 'S' && endsWord(k + 5));
        }
        return false;
    }

    std::optional<Span> phoneAt(std::size_t i, std::size_t free) const {
        // The digit groups from i, one separator between them; a first group in brackets
        // ("(612) 345 678", "(91) 234 56 78") is one of them.
        const bool bracket = i > 0 && c(i - 1) == '(' && i - 1 >= free;
        std::vector<Group> groups;
        std::size_t k = i;
        std::size_t total = 0;
        while (groups.size() < kMaxPhoneGroups) {
            const std::size_t e = digitsEnd(k);
            groups.push_back({k, e});
            total += e - k;
            if (total > kPhoneDigits + 4) break;
            std::size_t next = separatorEnd(e, true);
            if (bracket && groups.size() == 1 && c(e) == ')') {
                next = e + 1;
                while (isBlank(c(next)) && next - e <= kMaxBlanks) ++next;
            }
            if (next == e || !digitAt(next)) break;
            k = next;
        }
        const bool bracketed = bracket && groups.size() > 1 && c(groups[0].end) == ')';
        auto digitsAre = [&](const Group& g, std::string_view text) {
            if (g.end - g.begin < text.size()) return false;
            for (std::size_t x = 0; x < text.size(); ++x) {
                if (c(g.begin + x) != static_cast<char32_t>(text[x])) return false;
            }
            return true;
        };
        const bool plus = i > 0 && c(i - 1) == '+' && i - 1 >= free;
        // Where the nine digits may start: (group, offset in it), and whether a prefix comes first.
        std::vector<std::pair<std::size_t, std::size_t>> starts;
        const Group& g0 = groups[0];
        const std::size_t size0 = g0.end - g0.begin;
        if (plus && size0 == 2 && digitsAre(g0, "34") && groups.size() > 1) starts.emplace_back(1, 0);
        if (size0 == 4 && digitsAre(g0, "0034") && groups.size() > 1) starts.emplace_back(1, 0);
        if (plus && size0 > 2 && digitsAre(g0, "34")) starts.emplace_back(0, 2);
        if (size0 > 4 && digitsAre(g0, "0034")) starts.emplace_back(0, 4);
        starts.emplace_back(0, 0);
        for (const auto& [group, offset] : starts) {
            const std::size_t from = groups[group].begin + offset;
            if (c(from) < '6' || c(from) > '9') continue;
            std::size_t count = 0;
            std::size_t g = group;
            bool shortGroup = false;
            for (; g < groups.size(); ++g) {
                const std::size_t size = groups[g].end - (g == group ? from : groups[g].begin);
                if (size < 2) shortGroup = true;
                count += size;
                if (count >= kPhoneDigits) break;
            }
            if (count != kPhoneDigits || shortGroup || g == groups.size()) continue;
            const std::size_t end = groups[g].end;
            if (numberGoesOn(end) || amountAfter(end)) return std::nullopt;
            const bool prefixed = group > 0 || offset > 0;
            if (!prefixed && boxRow(groups, g + 1)) return std::nullopt;
            return Span{(prefixed && plus) || bracketed ? i - 1 : i, end, AIPrivacyMask::phone};
        }
        return std::nullopt;
    }

    const Chars& s_;
    std::size_t n_;
};

std::string rebuilt(std::string_view text, const Chars& chars, const std::vector<Span>& spans) {
    if (spans.empty()) return std::string(text);
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (const Span& span : spans) {
        // A code point that composes into several may be masked in part: it goes whole.
        const std::size_t begin = std::max(chars[span.from].begin, copied);
        out.append(text.substr(copied, begin - copied));
        out.append(span.placeholder);
        copied = chars[span.to - 1].end;
    }
    out.append(text.substr(copied));
    return out;
}

// ---- Saved values ---------------------------------------------------------------------------

// Lower case without accents (the base letter of the canonical decomposition).
char32_t folded(char32_t c) {
    if (c < 0x80) return isUpper(c) ? c - 'A' + 'a' : c;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_SUCCESS(status) && nfd) {
        icu::UnicodeString decomposition;
        if (nfd->getDecomposition(static_cast<UChar32>(c), decomposition) && decomposition.length() > 0) {
            c = static_cast<char32_t>(decomposition.char32At(0));
        }
    }
    return static_cast<char32_t>(u_tolower(static_cast<UChar32>(c)));
}

// The letters and digits of the text, folded, each with the index of its code point.
std::u32string foldedLetters(const Chars& chars, std::vector<std::size_t>* positions) {
    std::u32string out;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        if (!isAlnum(chars[i].c)) continue;
        out.push_back(folded(chars[i].c));
        if (positions) positions->push_back(i);
    }
    return out;
}

// A value shorter than this (letters and digits) would mask too much.
constexpr std::size_t kMinValueLetters = 3;
// Values longer than this are not looked for: no saved name or address is that long.
constexpr std::size_t kMaxValueLetters = 200;

// Kinds of saved facts whose values are masked.
bool isMaskedKind(std::string_view kind) {
    static const std::set<std::string_view> kinds = {
        "nombre_completo", "nombre", "apellidos", "apellido1", "apellido2", "razon_social",
        "nombre_comercial", "nif", "telefono", "movil", "email", "iban"};
    return kinds.count(kind) > 0 || kind.starts_with("domicilio");
}

bool isPersonName(std::string_view kind) {
    return kind == "nombre_completo" || kind == "nombre" || kind == "apellidos" ||
           kind.starts_with("apellido");
}

// Words of a name that are no name by themselves.
bool isParticle(const std::u32string& word) {
    static const std::set<std::u32string> particles = {U"del", U"las", U"los", U"san", U"santa",
                                                        U"van", U"von", U"der", U"dos", U"das"};
    return particles.count(word) > 0;
}

// Words of the language that people also carry as given names or surnames, folded. Saved alone,
// such a word is masked only where it is written as a name.
bool isCommonWord(const std::u32string& word) {
    static const std::set<std::u32string> words = [] {
        static constexpr const char* kWords[] = {
            "abad", "abril", "alba", "alegre", "alegria", "amado", "amor", "amparo", "angel",
            "angeles", "arroyo", "aurora", "azucena", "barba", "barrios", "bello", "blanca",
            "blanco", "bravo", "bueno", "caballero", "cabello", "cabeza", "cabrera", "calle",
            "calvo", "campo", "campos", "candela", "cano", "caridad", "carrasco", "casa", "casado",
            "casas", "castillo", "castro", "celeste", "clara", "clemente", "concepcion", "conde",
            "consuelo", "cordero", "corral", "cortes", "costa", "crespo", "cruz", "cuesta", "cueva",
            "cuevas", "delgado", "dolores", "domingo", "duque", "escalera", "escudero",
            "esperanza", "estrella", "flor", "flores", "franco", "fuente", "fuentes", "gallego",
            "gallo", "gloria", "gracia", "guerra", "guerrero", "herrera", "herrero", "hidalgo",
            "hierro", "huerta", "iglesia", "iglesias", "justo", "lago", "leal", "leon", "llano",
            "llanos", "lobo", "lozano", "luna", "luz", "manzano", "mar", "marina", "marques",
            "marzo", "mayo", "mayor", "medina", "menor", "mercedes", "merino", "mesa", "milagros",
            "modesto", "monte", "montes", "moral", "morales", "moreno", "navarro", "nieto",
            "nieves", "noble", "olivares", "olivo", "oro", "palacio", "palacios", "pardo",
            "pareja", "parra", "pascual", "pastor", "paz", "pena", "peral", "piedra", "pilar",
            "pino", "plata", "plaza", "portal", "pozo", "prado", "prieto", "puerta", "ramos",
            "reina", "remedios", "rey", "reyes", "ribera", "rico", "rio", "rios", "roble",
            "robles", "roca", "rocio", "rojo", "romero", "rosa", "rosales", "rosario", "rubio",
            "rueda", "sala", "salas", "salvador", "santos", "serrano", "sierra", "socorro", "sol",
            "soledad", "soto", "toro", "torre", "torres", "valle", "vega", "victoria", "villa",
        };
        std::set<std::u32string> set;
        for (const char* w : kWords) set.insert(std::u32string(w, w + std::char_traits<char>::length(w)));
        return set;
    }();
    return words.count(word) > 0;
}

// A name starts at `from`, or ends at `to`, in the text: no letter or digit of the same word
// beside it, or a joint of a joined name ("nombreAna", "AnaMaria"), or letters meeting digits.
bool startsName(const Chars& s, std::size_t from) {
    if (from == 0 || !isWord(s[from - 1].c) || jointAt(s, from)) return true;
    return isDigit(s[from - 1].c) != isDigit(s[from].c) && !isMark(s[from].c);
}
bool endsName(const Chars& s, std::size_t to) {
    if (to >= s.size() || !isWord(s[to].c) || jointAt(s, to)) return true;
    return isDigit(s[to - 1].c) != isDigit(s[to].c) && !isMark(s[to].c);
}

// A sentence starts at `from`: only blanks and opening marks stand between it and the start of the
// text or the end of a sentence before (a dot after a word of four letters or more, not after an
// abbreviation such as "Sr." or "Fdo.").
bool startsSentence(const Chars& s, std::size_t from) {
    static constexpr std::u32string_view kOpening = U" \t\"'([«“‘¿¡";
    std::size_t k = from;
    while (k > 0 && kOpening.find(s[k - 1].c) != std::u32string_view::npos) --k;
    if (k == 0) return true;
    const char32_t before = s[k - 1].c;
    if (before == '!' || before == '?' || before == '\n' || before == '\r') return true;
    if (before != '.') return false;
    std::size_t letters = 0;
    for (std::size_t x = k - 1; x > 0 && isWord(s[x - 1].c) && letters < 4; --x) ++letters;
    return letters == 0 || letters >= 4;
}

// Written as a name: a capital and then small letters ("Blanco", not "BLANCO" nor "blanco"), and
// not the capital of the first word of a sentence.
bool writtenAsName(const Chars& s, std::size_t from, std::size_t to) {
    if (!capital(s[from].c)) return false;
    std::size_t k = from + 1;
    while (k < to && isMark(s[k].c)) ++k;
    if (k < to && !small(s[k].c)) return false;
    return !startsSentence(s, from);
}

// The digits in [from, to) are one number of their own: no digit, decimal comma or thousands dot
// of a longer number on either side, only blanks, dots or dashes between them.
bool numberAlone(const Chars& s, std::size_t from, std::size_t to) {
    auto digit = [&](std::size_t k) { return k < s.size() && isDigit(s[k].c); };
    auto mark = [&](std::size_t k) { return k < s.size() && (s[k].c == '.' || s[k].c == ','); };
    if (from > 0 && (digit(from - 1) || (from > 1 && mark(from - 1) && digit(from - 2)))) return false;
    if (digit(to) || (mark(to) && digit(to + 1))) return false;
    for (std::size_t k = from; k < to; ++k) {
        const char32_t ch = s[k].c;
        if (!isDigit(ch) && !isBlank(ch) && ch != '.' && ch != '-' && !(k == from && isLetter(ch))) return false;
    }
    return true;
}

// Nothing but blanks, commas, dashes or underscores in [from, to).
bool onlySeparators(const Chars& s, std::size_t from, std::size_t to) {
    for (std::size_t k = from; k < to; ++k) {
        const char32_t ch = s[k].c;
        if (!isBlank(ch) && ch != ',' && ch != '-' && ch != '_') return false;
    }
    return true;
}

// The usual writings of each street type of Spanish addresses, the full word first, folded (lower
// case, no accents) as the text's code points compare: "º" reads "o" there.
const std::vector<std::vector<std::u32string>>& streetTypes() {
    static const std::vector<std::vector<std::u32string>> types = {
        {U"calle", U"c/", U"c.", U"cl.", U"cl", U"cll.", U"clle."},
        {U"avenida", U"avda.", U"avda", U"av.", U"avd.", U"avd", U"av"},
        {U"plaza", U"pza.", U"pza", U"pl.", U"plza.", U"plza", U"pz."},
        {U"carretera", U"ctra.", U"ctra", U"crta.", U"carret."},
        {U"paseo", U"p.o", U"po", U"p.\u00B0", U"p\u00B0", U"pso.", U"ps."},
        {U"camino", U"cno.", U"cno", U"cmno.", U"cam."},
        {U"travesia", U"trva.", U"trva", U"trav.", U"tra."},
        {U"urbanizacion", U"urb.", U"urb"},
        {U"barrio", U"b.o", U"bo", U"b.\u00B0", U"b\u00B0", U"bo."},
        {U"ronda", U"rda.", U"rda"},
        {U"glorieta", U"gta.", U"gta", U"glta."},
        {U"pasaje", U"pje.", U"pje", U"psje."},
        {U"callejon", U"cjon.", U"cllon."},
        {U"poligono", U"pol.", U"polig.", U"pg."},
        {U"alameda", U"alda."},
        {U"rambla", U"rbla."},
    };
    return types;
}

// The folded code points of `chars` from `at` start with `writing`, which ends there as a word.
bool writtenAt(const Chars& chars, std::size_t at, std::u32string_view writing) {
    if (chars.size() - at < writing.size()) return false;
    for (std::size_t k = 0; k < writing.size(); ++k) {
        if (folded(chars[at + k].c) != writing[k]) return false;
    }
    const std::size_t end = at + writing.size();
    return !isWord(writing.back()) || end == chars.size() || !isWord(chars[end].c);
}

}  // namespace

AIPrivacyMask::AIPrivacyMask(const std::vector<SavedFact>& facts) {
    // Whose value each is: the parts of one person's name belong together.
    std::map<std::string, std::size_t> owners;
    for (std::size_t index = 0; index < facts.size(); ++index) {
        const SavedFact& fact = facts[index];
        if (!isMaskedKind(fact.kind)) continue;
        const bool name = isPersonName(fact.kind) && fact.owner != "empresa";
        const std::string key = name ? fact.owner + "\n" + fact.subject.value_or("") : "#" + std::to_string(index);
        const std::size_t owner = owners.emplace(key, owners.size()).first->second;
        auto add = [&](const Chars& chars) {
            std::size_t words = 0;
            for (std::size_t k = 0; k < chars.size(); ++k) {
                if (isAlnum(chars[k].c) && (k == 0 || !isWord(chars[k - 1].c))) ++words;
            }
            this->add(foldedLetters(chars, nullptr), words, owner);
        };
        const Chars value = normalized(fact.value);
        add(value);
        if (fact.kind == "nif") addIdentity(fact.value, owner);
        if (fact.subject) addIdentity(*fact.subject, owner);
        if (fact.kind.starts_with("domicilio")) {
            // The street alone and with its number, as the parts of the address name them (read
            // from the value when the fact was saved without them).
            const std::map<std::string, std::string> parts = fact.parts.empty() ? Address::parts(fact.value) : fact.parts;
            addStreet(fact.value, owner);
            auto street = parts.find("via");
            if (street != parts.end()) {
                add(normalized(street->second));
                addStreet(street->second, owner);
                auto number = parts.find("numero");
                if (number != parts.end()) addStreet(street->second + " " + number->second, owner);
            }
        }
        // The name and each surname on their own too ("García López, Ana").
        if (name) {
            Chars word;
            for (const Char& ch : value) {
                if (isWord(ch.c)) {
                    word.push_back(ch);
                    continue;
                }
                if (!word.empty()) add(word);
                word.clear();
            }
            if (!word.empty()) add(word);
        }
    }
    std::stable_sort(values_.begin(), values_.end(),
                     [](const Value& a, const Value& b) { return a.letters.size() > b.letters.size(); });
}

void AIPrivacyMask::add(std::u32string f, std::size_t words, std::size_t owner, std::u32string lead, bool number) {
    if (f.size() < kMinValueLetters || f.size() > kMaxValueLetters || isParticle(f)) return;
    // A value that reads as a placeholder would mask the placeholders themselves.
    static const std::set<std::u32string> placeholders = {U"nif", U"iban", U"telefono", U"correo",
                                                           U"tarjeta", U"dato"};
    if (placeholders.count(f) > 0) return;
    auto same = std::find_if(values_.begin(), values_.end(), [&](const Value& v) {
        return v.letters == f && v.lead == lead && v.number == number;
    });
    if (same == values_.end()) {
        const bool common = !number && words < 2 && isCommonWord(f);
        values_.push_back({std::move(f), words >= 2, common, {owner}, std::move(lead), number});
        return;
    }
    same->joined = same->joined || words >= 2;
    same->common = same->common && words < 2;
    if (std::find(same->owners.begin(), same->owners.end(), owner) == same->owners.end()) same->owners.push_back(owner);
}

void AIPrivacyMask::addStreet(const std::string& text, std::size_t owner) {
    const Chars value = normalized(text);
    std::size_t start = 0;
    while (start < value.size() && !isWord(value[start].c)) ++start;
    for (const std::vector<std::u32string>& writings : streetTypes()) {
        // The longest writing the value starts with.
        const std::u32string* found = nullptr;
        for (const std::u32string& writing : writings) {
            if (writtenAt(value, start, writing) && (!found || writing.size() > found->size())) found = &writing;
        }
        if (!found) continue;
        const Chars rest(value.begin() + static_cast<std::ptrdiff_t>(start + found->size()), value.end());
        const std::u32string name = foldedLetters(rest, nullptr);
        if (name.empty()) return;
        for (const std::u32string& writing : writings) {
            Chars lead;
            for (char32_t ch : writing) lead.push_back({ch, 0, 0});
            // Found as whole words, like a value of one word: "C/ Mayor" is not the start of
            // "C/ Mayoral".
            add(foldedLetters(lead, nullptr) + name, 1, owner, writing);
        }
        return;
    }
}

void AIPrivacyMask::addIdentity(const std::string& text, std::size_t owner) {
    std::u32string letters = foldedLetters(normalized(text), nullptr);
    if (!letters.empty() && !isDigit(letters.back())) letters.pop_back();
    const auto digits = static_cast<std::size_t>(std::count_if(letters.begin(), letters.end(), isDigit));
    // A DNI's eight digits, or a NIE's letter and seven digits.
    if (digits < 7 || digits + 1 < letters.size()) return;
    add(std::move(letters), 1, owner, {}, true);
}

std::string AIPrivacyMask::shapes(std::string_view text) {
    const Chars chars = normalized(text);
    return rebuilt(text, chars, Scanner(chars).spans());
}

std::string AIPrivacyMask::operator()(std::string_view text) const {
    const std::string masked = shapes(text);
    if (values_.empty()) return masked;
    return maskValues(masked);
}

std::string AIPrivacyMask::maskValues(std::string_view text) const {
    const Chars chars = normalized(text);
    std::vector<std::size_t> positions;
    const std::u32string letters = foldedLetters(chars, &positions);
    if (letters.empty()) return std::string(text);
    // Every place where a value stands, longest values first; a value of several words also
    // inside a joined name, a value of one word as a whole word or a word of a joined name.
    struct Hit {
        std::size_t from;
        std::size_t to;
        const Value* value;
    };
    std::vector<Hit> hits;
    std::vector<bool> taken(chars.size(), false);
    for (const Value& value : values_) {
        for (std::size_t at = letters.find(value.letters); at != std::u32string::npos;
             at = letters.find(value.letters, at + 1)) {
            const std::size_t from = positions[at];
            std::size_t to = positions[at + value.letters.size() - 1] + 1;
            while (to < chars.size() && isMark(chars[to].c)) ++to;
            if (!value.joined && (!startsName(chars, from) || !endsName(chars, to))) continue;
            if (!value.lead.empty() && !writtenAt(chars, from, value.lead)) continue;
            if (value.number && !numberAlone(chars, from, to)) continue;
            const auto first = taken.begin() + static_cast<std::ptrdiff_t>(from);
            const auto last = taken.begin() + static_cast<std::ptrdiff_t>(to);
            if (std::find(first, last, true) != last) continue;
            std::fill(first, last, true);
            hits.push_back({from, to, &value});
        }
    }
    std::sort(hits.begin(), hits.end(), [](const Hit& a, const Hit& b) { return a.from < b.from; });
    // A word of the language stays unless it is written as a name or stands beside another part
    // of the same person's name.
    auto together = [&](const Hit& a, const Hit& b) {
        if (!onlySeparators(chars, a.to, b.from)) return false;
        for (std::size_t owner : a.value->owners) {
            const auto& others = b.value->owners;
            if (std::find(others.begin(), others.end(), owner) != others.end()) return true;
        }
        return false;
    };
    std::vector<Span> spans;
    for (std::size_t h = 0; h < hits.size(); ++h) {
        const Hit& hit = hits[h];
        const bool masked = !hit.value->common || writtenAsName(chars, hit.from, hit.to) ||
                            (h > 0 && together(hits[h - 1], hit)) ||
                            (h + 1 < hits.size() && together(hit, hits[h + 1]));
        if (masked) spans.push_back({hit.from, hit.to, hit.value->number ? nif : datum});
    }
    return rebuilt(text, chars, spans);
}

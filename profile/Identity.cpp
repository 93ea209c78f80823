#include "profile/Identity.h"

#include "profile/UnicodeText.h"

#include <unicode/uchar.h>

#include <string>
#include <vector>

namespace Identity {

namespace {

// The DNI control letters by the remainder modulo 23.
constexpr std::string_view kLetters = "TRWAGMYFPDXBNJZSQVHLCKE";
// The CIF control letter by the control number.
constexpr std::string_view kCifLetters = "JABCDEFGHI";
constexpr std::string_view kCifFirst = "ABCDEFGHJNPQRSUVW";

bool isAsciiDigit(const std::string& c) { return c.size() == 1 && c[0] >= '0' && c[0] <= '9'; }
bool isAsciiUpper(const std::string& c) { return c.size() == 1 && c[0] >= 'A' && c[0] <= 'Z'; }

// A user-perceived character that is one letter, of any script.
bool isLetter(const std::string& c) {
    icu::UnicodeString s = UnicodeText::fromUtf8(c);
    if (s.isEmpty()) return false;
    UChar32 first = s.char32At(0);
    return u_isalpha(first) != 0;
}

}  // namespace

bool isCIF(std::string_view candidate) {
    std::vector<std::string> c = UnicodeText::graphemes(UnicodeText::upper(candidate));
    if (c.size() != 9) return false;
    if (!isAsciiUpper(c[0]) || kCifFirst.find(c[0][0]) == std::string_view::npos) return false;
    int sum = 0;
    for (int i = 1; i <= 7; ++i) {
        if (!isAsciiDigit(c[i])) return false;
        int d = c[i][0] - '0';
        if (i % 2 == 1) {
            int twice = 2 * d;
            sum += twice / 10 + twice % 10;
        } else {
            sum += d;
        }
    }
    int control = (10 - sum % 10) % 10;
    const std::string& last = c[8];
    if (last.size() != 1) return false;
    return last[0] == static_cast<char>('0' + control) || last[0] == kCifLetters[static_cast<std::size_t>(control)];
}

bool isDNI(std::string_view candidate) {
    std::vector<std::string> c = UnicodeText::graphemes(UnicodeText::upper(candidate));
    if (c.empty() || !isLetter(c.back())) return false;
    std::string letter = c.back();
    c.pop_back();
    if (!c.empty()) {
        if (c[0] == "X") c[0] = "0";
        else if (c[0] == "Y") c[0] = "1";
        else if (c[0] == "Z") c[0] = "2";
    }
    if (c.size() != 8) return false;
    unsigned long n = 0;
    for (const std::string& digit : c) {
        if (!isAsciiDigit(digit)) return false;
        n = n * 10 + static_cast<unsigned long>(digit[0] - '0');
    }
    return letter.size() == 1 && letter[0] == kLetters[n % 23];
}

bool isIBAN(std::string_view candidate) {
    std::vector<std::string> c = UnicodeText::graphemes(UnicodeText::upper(candidate));
    if (c.size() < 15 || c.size() > 34) return false;
    if (!isLetter(c[0]) || !isLetter(c[1])) return false;
    unsigned remainder = 0;
    for (std::size_t k = 0; k < c.size(); ++k) {
        const std::string& ch = c[(k + 4) % c.size()];
        unsigned value = 0;
        if (isAsciiDigit(ch)) value = static_cast<unsigned>(ch[0] - '0');
        else if (isAsciiUpper(ch)) value = static_cast<unsigned>(ch[0] - 'A' + 10);
        else return false;
        if (value >= 10) remainder = (remainder * 10 + value / 10) % 97;
        remainder = (remainder * 10 + value % 10) % 97;
    }
    return remainder == 1;
}

std::string grouped(std::string_view text) {
    std::vector<std::string> c = UnicodeText::graphemes(text);
    std::string out;
    for (std::size_t i = 0; i < c.size(); ++i) {
        if (i > 0 && i % 4 == 0) out += ' ';
        out += c[i];
    }
    return out;
}

std::string phone(std::string_view digits) {
    std::vector<std::string> c = UnicodeText::graphemes(digits);
    std::size_t from = c.size() > 9 ? c.size() - 9 : 0;
    std::string out;
    for (std::size_t i = from; i < c.size(); ++i) {
        std::size_t k = i - from;
        if (k == 3 || k == 6) out += ' ';
        out += c[i];
    }
    return out;
}

}  // namespace Identity

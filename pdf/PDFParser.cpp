#include "pdf/PDFParser.h"

#include "pdf/PDFError.h"
#include "pdf/UTF8.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <locale.h>

namespace {

// Byte classes: 1 = white space, 2 = delimiter, 0 = regular.
constexpr auto kClasses = [] {
    struct Table {
        unsigned char c[256];
    } table{};
    for (unsigned char b : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20}) table.c[b] = 1;
    for (unsigned char b : {'%', '(', ')', '/', '<', '>', '[', ']', '{', '}'}) table.c[b] = 2;
    return table;
}();

inline bool isRegular(unsigned char b) { return kClasses.c[b] == 0; }

// White space and comments between a stream's declared end and its "endstream" are skipped for
// at most this many bytes (beyond the first "endstream", when that lies farther).
constexpr std::size_t kEndstreamGap = 256;

// An optional sign and at least one digit, within the signed 64-bit range.
std::optional<std::int64_t> plainInteger(std::string_view token) {
    std::size_t i = 0;
    bool negative = false;
    if (!token.empty() && (token[0] == '+' || token[0] == '-')) {
        negative = token[0] == '-';
        i = 1;
    }
    if (i == token.size()) return std::nullopt;
    // Up to 18 digits cannot overflow: no check per digit.
    if (token.size() - i <= 18) {
        std::int64_t value = 0;
        for (; i < token.size(); ++i) {
            const auto digit = static_cast<unsigned>(token[i] - '0');
            if (digit > 9) return std::nullopt;
            value = value * 10 + static_cast<std::int64_t>(digit);
        }
        return negative ? -value : value;
    }
    // Accumulate as a negative number so that INT64_MIN fits.
    std::int64_t value = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (c < '0' || c > '9') return std::nullopt;
        const int digit = c - '0';
        if (value < (INT64_MIN + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == INT64_MIN) return std::nullopt;
        value = -value;
    }
    return value;
}

locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// The C library's conversion in the C locale, accepted only when it takes the whole token.
std::optional<double> convertDouble(std::string_view token) {
    if (token.empty()) return std::nullopt;
    // strtod would skip leading white space (vertical tab is a regular byte here).
    const auto first = static_cast<unsigned char>(token[0]);
    if (first == '\v' || first == ' ' || (first >= '\t' && first <= '\r')) return std::nullopt;
    if (std::memchr(token.data(), 0, token.size())) return std::nullopt;
    std::string text(token);
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, cLocale());
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

PDFParser::PDFParser(std::string_view bytes, std::int64_t position, ResolveLength resolveLength)
    : bytes_(bytes), position_(position), resolveLength_(std::move(resolveLength)) {}

std::optional<std::int64_t> PDFParser::integerToken(std::string_view token) { return plainInteger(token); }

bool PDFParser::isWhitespace(unsigned char byte) { return kClasses.c[byte] == 1; }
bool PDFParser::isDelimiter(unsigned char byte) { return kClasses.c[byte] == 2; }

std::optional<std::uint8_t> PDFParser::hexValue(unsigned char b) {
    if (b >= '0' && b <= '9') return static_cast<std::uint8_t>(b - '0');
    if (b >= 'A' && b <= 'F') return static_cast<std::uint8_t>(b - 'A' + 10);
    if (b >= 'a' && b <= 'f') return static_cast<std::uint8_t>(b - 'a' + 10);
    return std::nullopt;
}

bool PDFParser::atEnd() const {
    return position_ < 0 || position_ >= static_cast<std::int64_t>(bytes_.size());
}

void PDFParser::skipWhitespace() {
    if (position_ < 0) return;
    const std::size_t n = bytes_.size();
    std::size_t p = pos();
    while (p < n) {
        const auto b = static_cast<unsigned char>(bytes_[p]);
        if (kClasses.c[b] == 1) {
            ++p;
        } else if (b == '%') {
            while (p < n && bytes_[p] != '\n' && bytes_[p] != '\r') ++p;
        } else {
            break;
        }
    }
    position_ = static_cast<std::int64_t>(p);
}

std::string_view PDFParser::readRawToken(std::int64_t& start) {
    skipWhitespace();
    start = position_;
    if (atEnd()) return {};
    const std::size_t n = bytes_.size();
    std::size_t p = pos();
    while (p < n && isRegular(static_cast<unsigned char>(bytes_[p]))) ++p;
    position_ = static_cast<std::int64_t>(p);
    return bytes_.substr(static_cast<std::size_t>(start), p - static_cast<std::size_t>(start));
}

std::string PDFParser::readToken() {
    std::int64_t start;
    return UTF8::sanitize(readRawToken(start));
}

bool PDFParser::consume(std::string_view token) {
    const std::int64_t saved = position_;
    std::int64_t start;
    // A raw token equals the text exactly when its UTF-8 decoding does, for valid UTF-8 text.
    if (readRawToken(start) == token) return true;
    backTo(saved);
    return false;
}

PDFObject PDFParser::parseObject() {
    skipWhitespace();
    if (atEnd()) throw PDFError("Fin inesperado del PDF");
    if (nesting_ >= maxNesting)
        throw PDFError("Demasiados objetos anidados en la posición " + std::to_string(position_));
    struct Depth {
        std::int64_t& n;
        explicit Depth(std::int64_t& n) : n(n) { ++n; }
        ~Depth() { --n; }
    } depth(nesting_);

    const char c = bytes_[pos()];
    switch (c) {
    case '(':
        ++position_;
        return parseLiteralString();
    case '/':
        return PDFObject::name(parseName());
    case '<':
        if (pos() + 1 < bytes_.size() && bytes_[pos() + 1] == '<') {
            position_ += 2;
            return parseDictionaryOrStream();
        }
        ++position_;
        return parseHexString();
    case '[':
        ++position_;
        return parseArray();
    default:
        return parseNumberOrKeyword();
    }
}

std::optional<PDFObject> PDFParser::quickIntegerOrReference() {
    const std::size_t n = bytes_.size();
    const auto regular = [&](std::size_t at) {
        return at < n && isRegular(static_cast<unsigned char>(bytes_[at]));
    };
    const auto blank = [&](std::size_t at) {
        while (at < n && kClasses.c[static_cast<unsigned char>(bytes_[at])] == 1) ++at;
        return at;
    };
    // Up to 18 digits that make a whole token; `at` moves past them.
    const auto digits = [&](std::size_t& at, std::int64_t& value) {
        const std::size_t from = at;
        value = 0;
        for (; at < n && at - from < 18; ++at) {
            const auto digit = static_cast<unsigned>(static_cast<unsigned char>(bytes_[at]) - '0');
            if (digit > 9) break;
            value = value * 10 + static_cast<std::int64_t>(digit);
        }
        return at > from && !regular(at);
    };
    std::size_t end = pos();
    std::int64_t number = 0;
    if (!digits(end, number)) return std::nullopt;
    // Comments between the tokens, and second tokens other than plain digits, are left to the
    // tokenizer.
    const std::size_t second = blank(end);
    if (second < n && bytes_[second] == '%') return std::nullopt;
    std::size_t reached = second;
    if (regular(second)) {
        std::size_t afterSecond = second;
        std::int64_t generation = 0;
        if (!digits(afterSecond, generation)) return std::nullopt;
        const std::size_t third = blank(afterSecond);
        if (third < n && bytes_[third] == '%') return std::nullopt;
        if (third < n && bytes_[third] == 'R' && !regular(third + 1)) {
            position_ = static_cast<std::int64_t>(third + 1);
            return PDFObject::reference(PDFRef(number, generation));
        }
        reached = third;
        while (regular(reached)) ++reached;
    }
    // What the look-ahead read counts as read, as the tokenizer's would.
    reach_ = std::max(reach_, static_cast<std::int64_t>(reached));
    position_ = static_cast<std::int64_t>(end);
    return PDFObject::integer(number);
}

PDFObject PDFParser::parseNumberOrKeyword() {
    // The commonest tokens, a plain integer and a reference, are read in place.
    if (std::optional<PDFObject> quick = quickIntegerOrReference()) return std::move(*quick);
    std::int64_t start;
    const std::string_view token = readRawToken(start);
    if (token == "true") return PDFObject::boolean(true);
    if (token == "false") return PDFObject::boolean(false);
    if (token == "null") return PDFObject::null();
    if (token.empty()) throw PDFError("Carácter inesperado en la posición " + std::to_string(start));

    if (auto n = plainInteger(token)) {
        // Reference look-ahead: "n g R".
        const std::int64_t afterNumber = position_;
        std::int64_t s;
        if (auto g = plainInteger(readRawToken(s))) {
            if (readRawToken(s) == "R") return PDFObject::reference(PDFRef(*n, *g));
        }
        backTo(afterNumber);
        return PDFObject::integer(*n);
    }
    std::optional<double> value = convertDouble(token);
    if (!value && token[0] == '.') {
        std::string padded(token.size() + 1, '0');
        token.copy(padded.data() + 1, token.size());
        value = convertDouble(padded);
    }
    if (!value)
        throw PDFError("Token inesperado «" + UTF8::sanitize(token) + "» en la posición " + std::to_string(start));
    // A plain integer is handled above, so what is left (a point, an exponent, a word, an integer
    // beyond 64 bits) is a real.
    return PDFObject::real(*value);
}

PDFObject PDFParser::parseLiteralString() {
    const std::size_t n = bytes_.size();
    std::size_t p = pos();
    std::string out;
    std::int64_t depth = 1;
    while (true) {
        // Copy runs of ordinary bytes at once.
        std::size_t run = p;
        while (run < n) {
            const char b = bytes_[run];
            if (b == '(' || b == ')' || b == '\\' || b == '\r') break;
            ++run;
        }
        out.append(bytes_.data() + p, run - p);
        p = run;
        if (p >= n) break;
        const char b = bytes_[p++];
        if (b == '(') {
            ++depth;
            out.push_back(b);
        } else if (b == ')') {
            if (--depth == 0) {
                position_ = static_cast<std::int64_t>(p);
                return PDFObject::string(std::move(out));
            }
            out.push_back(b);
        } else if (b == '\r') {
            if (p < n && bytes_[p] == '\n') ++p;
            out.push_back('\n');
        } else {  // backslash
            if (p >= n) break;
            const char e = bytes_[p++];
            switch (e) {
            case 'n': out.push_back('\n'); break;
            case 'r': out.push_back('\r'); break;
            case 't': out.push_back('\t'); break;
            case 'b': out.push_back('\b'); break;
            case 'f': out.push_back('\f'); break;
            case '\n': break;
            case '\r':
                if (p < n && bytes_[p] == '\n') ++p;
                break;
            default:
                if (e >= '0' && e <= '7') {
                    int value = e - '0';
                    for (int k = 0; k < 2 && p < n && bytes_[p] >= '0' && bytes_[p] <= '7'; ++k)
                        value = value * 8 + (bytes_[p++] - '0');
                    out.push_back(static_cast<char>(value & 0xFF));
                } else {
                    out.push_back(e);
                }
            }
        }
    }
    position_ = static_cast<std::int64_t>(n);
    throw PDFError("Cadena sin cerrar");
}

PDFObject PDFParser::parseHexString() {
    const std::size_t n = bytes_.size();
    std::size_t p = pos();
    std::string out;
    int high = -1;
    while (p < n) {
        const auto b = static_cast<unsigned char>(bytes_[p++]);
        if (b == '>') {
            if (high >= 0) out.push_back(static_cast<char>(high << 4));
            position_ = static_cast<std::int64_t>(p);
            return PDFObject::string(std::move(out));
        }
        const auto digit = hexValue(b);
        if (!digit) continue;
        if (high < 0) {
            high = *digit;
        } else {
            out.push_back(static_cast<char>((high << 4) | *digit));
            high = -1;
        }
    }
    position_ = static_cast<std::int64_t>(n);
    throw PDFError("Cadena hexadecimal sin cerrar");
}

std::string PDFParser::parseName() {
    const std::size_t n = bytes_.size();
    std::size_t p = pos() + 1;  // past "/"
    std::string raw;
    while (p < n) {
        const auto b = static_cast<unsigned char>(bytes_[p]);
        if (!isRegular(b)) break;
        if (b == '#' && p + 2 < n) {
            const auto hi = hexValue(static_cast<unsigned char>(bytes_[p + 1]));
            const auto lo = hexValue(static_cast<unsigned char>(bytes_[p + 2]));
            if (hi && lo) {
                raw.push_back(static_cast<char>((*hi << 4) | *lo));
                p += 3;
                continue;
            }
        }
        raw.push_back(static_cast<char>(b));
        ++p;
    }
    position_ = static_cast<std::int64_t>(p);
    return UTF8::sanitize(raw);
}

PDFObject PDFParser::parseArray() {
    std::vector<PDFObject> elements;
    while (true) {
        skipWhitespace();
        if (atEnd()) throw PDFError("Array sin cerrar");
        if (bytes_[pos()] == ']') {
            ++position_;
            return PDFObject::array(std::move(elements));
        }
        elements.push_back(parseObject());
    }
}

PDFObject PDFParser::parseDictionaryOrStream() {
    PDFDictionary dictionary;
    const auto remaining = [this] {
        return atEnd() ? std::int64_t{0} : static_cast<std::int64_t>(bytes_.size()) - position_;
    };
    const auto atClose = [this] {
        return !atEnd() && pos() + 1 < bytes_.size() && bytes_[pos()] == '>' && bytes_[pos() + 1] == '>';
    };
    skipWhitespace();
    bool closed = false;
    while (remaining() >= 2) {
        if (atClose()) {
            position_ += 2;
            closed = true;
            break;
        }
        if (bytes_[pos()] == '/') {
            std::string key = parseName();
            skipWhitespace();
            if (atClose())
                dictionary.set(std::move(key), PDFObject::null());
            else
                dictionary.set(std::move(key), parseObject());
        } else {
            parseObject();  // a stray value where a key belongs
        }
        skipWhitespace();
    }
    if (!closed) throw PDFError("Diccionario sin cerrar");

    // A stream follows when the next token is "stream".
    const std::int64_t afterDictionary = position_;
    std::int64_t tokenStart;
    if (readRawToken(tokenStart) != "stream") {
        backTo(afterDictionary);
        return PDFObject::dictionary(std::move(dictionary));
    }
    const std::size_t n = bytes_.size();
    std::size_t dataStart = pos();
    if (dataStart < n && bytes_[dataStart] == '\r') ++dataStart;
    if (dataStart < n && bytes_[dataStart] == '\n') ++dataStart;

    std::optional<std::int64_t> declared;
    if (const PDFObject* length = dictionary.get("Length")) {
        if (length->kind() == PDFObject::Kind::integer)
            declared = length->integer();
        else if (auto ref = length->reference(); ref && resolveLength_)
            declared = resolveLength_(*ref);
    }
    // The first "endstream" at or after the data start, searched for at most once.
    std::optional<std::int64_t> found;
    bool searched = false;
    if (declared && *declared >= 0 && static_cast<std::uint64_t>(*declared) <= n - dataStart) {
        const std::size_t dataEnd = dataStart + static_cast<std::size_t>(*declared);
        // Skip white space and comments after the declared end, for at most kEndstreamGap bytes
        // or up to kEndstreamGap bytes past the first "endstream" when that lies farther. A
        // /Length that points far from the data then costs no more than the search below, which
        // the position passes anyway; an unbounded skip would rescan the same stretch for every
        // such stream.
        std::size_t p = dataEnd;
        std::size_t limit = std::min(n, dataEnd + kEndstreamGap);
        bool inComment = false;
        while (true) {
            while (p < limit) {
                const auto b = static_cast<unsigned char>(bytes_[p]);
                if (inComment) {
                    if (b != '\n' && b != '\r') {
                        ++p;
                        continue;
                    }
                    inComment = false;
                }
                if (kClasses.c[b] == 1) {
                    ++p;
                } else if (b == '%') {
                    inComment = true;
                    ++p;
                } else {
                    break;
                }
            }
            if (p < limit || limit == n || searched) break;
            found = find("endstream", bytes_, static_cast<std::int64_t>(dataStart));
            searched = true;
            if (!found) break;
            limit = std::max(limit, std::min(n, static_cast<std::size_t>(*found) + kEndstreamGap));
        }
        reach_ = std::max(reach_, static_cast<std::int64_t>(p));
        if (!inComment && n - p >= 9 && bytes_.compare(p, 9, "endstream") == 0 &&
            (n - p == 9 || !isRegular(static_cast<unsigned char>(bytes_[p + 9])))) {
            position_ = static_cast<std::int64_t>(p + 9);
            return PDFObject::stream(std::move(dictionary), std::string(bytes_.substr(dataStart, dataEnd - dataStart)));
        }
    }
    // The declared length is missing or wrong: the data end at the first "endstream".
    if (!searched) found = find("endstream", bytes_, static_cast<std::int64_t>(dataStart));
    if (!found) {
        position_ = static_cast<std::int64_t>(n);
        throw PDFError("Stream sin endstream");
    }
    std::size_t dataEnd = static_cast<std::size_t>(*found);
    if (dataEnd > dataStart && bytes_[dataEnd - 1] == '\n') --dataEnd;
    if (dataEnd > dataStart && bytes_[dataEnd - 1] == '\r') --dataEnd;
    position_ = *found + 9;
    return PDFObject::stream(std::move(dictionary), std::string(bytes_.substr(dataStart, dataEnd - dataStart)));
}

std::pair<PDFRef, PDFObject> PDFParser::parseIndirectObject() {
    std::int64_t start;
    const auto number = plainInteger(readRawToken(start));
    std::optional<std::int64_t> generation;
    if (number) generation = plainInteger(readRawToken(start));
    if (!number || !generation || readRawToken(start) != "obj")
        throw PDFError("No hay un objeto en la posición " + std::to_string(position_));
    PDFObject object = parseObject();
    const std::int64_t afterObject = position_;
    if (readRawToken(start) != "endobj") backTo(afterObject);
    return {PDFRef(*number, *generation), std::move(object)};
}

std::optional<std::int64_t> PDFParser::find(std::string_view needle, std::string_view haystack, std::int64_t from) {
    if (needle.empty() || from < 0) return std::nullopt;
    if (static_cast<std::uint64_t>(from) > haystack.size() ||
        needle.size() > haystack.size() - static_cast<std::size_t>(from))
        return std::nullopt;
    const std::size_t at = haystack.find(needle, static_cast<std::size_t>(from));
    if (at == std::string_view::npos) return std::nullopt;
    return static_cast<std::int64_t>(at);
}

std::optional<std::int64_t> PDFParser::findLast(std::string_view needle, std::string_view haystack, std::int64_t limit) {
    if (needle.empty() || limit < 0) return std::nullopt;
    const std::size_t stretch = std::min(static_cast<std::uint64_t>(limit), static_cast<std::uint64_t>(haystack.size()));
    if (needle.size() > stretch) return std::nullopt;
    const std::size_t at = haystack.substr(0, stretch).rfind(needle);
    if (at == std::string_view::npos) return std::nullopt;
    return static_cast<std::int64_t>(at);
}

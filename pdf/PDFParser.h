#pragma once
// Reader of PDF syntax over a byte buffer: tokenizer, object parser, indirect-object frame.
// The parser only views the buffer; the caller keeps it alive.

#include "pdf/PDFObject.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class PDFParser {
public:
    // Answers the value of an indirect stream /Length, or nothing.
    using ResolveLength = std::function<std::optional<std::int64_t>(PDFRef)>;

    // At most this many objects nest inside one another (the outermost counts).
    static constexpr std::int64_t maxNesting = 100;

    explicit PDFParser(std::string_view bytes, std::int64_t position = 0, ResolveLength resolveLength = {});

    std::string_view bytes() const { return bytes_; }
    // Index of the next byte to read; callers may set it to jump.
    std::int64_t position() const { return position_; }
    void setPosition(std::int64_t position) { position_ = position; }
    void setResolveLength(ResolveLength resolveLength) { resolveLength_ = std::move(resolveLength); }
    // Just past the farthest byte the parser has read, look-ahead included. Reading ahead (for a
    // reference, "stream", "endobj") and going back leaves the position behind what was scanned;
    // a caller that bounds its work charges reach() rather than position().
    std::int64_t reach() const { return std::max(reach_, position_); }

    static bool isWhitespace(unsigned char byte);
    static bool isDelimiter(unsigned char byte);
    // The value of a plain decimal integer token (optional sign, digits only, within 64 bits).
    static std::optional<std::int64_t> integerToken(std::string_view token);
    // 0..15 for a hexadecimal digit, else nothing.
    static std::optional<std::uint8_t> hexValue(unsigned char byte);

    bool atEnd() const;
    // Skips white space and comments.
    void skipWhitespace();
    // The next run of regular bytes after white space (UTF-8, invalid sequences as U+FFFD); empty
    // at a delimiter or at the end, the position then staying on it.
    std::string readToken();
    // Reads one token; keeps it consumed only when it equals `token`.
    bool consume(std::string_view token);

    // One object at the position; on return the position is just past it. Throws PDFError.
    PDFObject parseObject();
    // "N G obj <object> [endobj]". Throws PDFError.
    std::pair<PDFRef, PDFObject> parseIndirectObject();

    // First index >= from where needle occurs in haystack.
    static std::optional<std::int64_t> find(std::string_view needle, std::string_view haystack, std::int64_t from);
    // Last index where needle occurs ending at or before min(limit, haystack size).
    static std::optional<std::int64_t> findLast(std::string_view needle, std::string_view haystack, std::int64_t limit);

private:
    PDFObject parseLiteralString();
    PDFObject parseHexString();
    std::string parseName();
    PDFObject parseArray();
    PDFObject parseDictionaryOrStream();
    PDFObject parseNumberOrKeyword();
    // A plain integer of up to 18 digits, or a reference "n g R" of two such, read without the
    // tokenizer; nothing (and nothing read) where the tokenizer must decide.
    std::optional<PDFObject> quickIntegerOrReference();
    // Returns the token's bytes without UTF-8 decoding; `start` receives where it began.
    std::string_view readRawToken(std::int64_t& start);
    std::size_t pos() const { return static_cast<std::size_t>(position_); }
    // Goes back to an earlier position, remembering how far reading went.
    void backTo(std::int64_t position) {
        reach_ = std::max(reach_, position_);
        position_ = position;
    }

    std::string_view bytes_;
    std::int64_t position_ = 0;
    ResolveLength resolveLength_;
    std::int64_t nesting_ = 0;
    std::int64_t reach_ = 0;
};

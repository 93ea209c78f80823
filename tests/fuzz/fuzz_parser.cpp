// Object parser on arbitrary bytes: every input ends in a value or a PDFError, and whatever parses
// writes back to bytes that parse again to the same value.

#include "pdf/PDFError.h"
#include "pdf/PDFParser.h"
#include "pdf/PDFSerializer.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // The first byte chooses how an indirect /Length is answered.
    const std::uint8_t mode = data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    PDFParser::ResolveLength resolve;
    if (mode & 1)
        resolve = [mode](PDFRef ref) -> std::optional<std::int64_t> {
            if (mode & 2) return std::nullopt;
            return ref.number * ((mode & 4) ? -1 : 1);
        };

    PDFParser parser(bytes, 0, resolve);
    for (int i = 0; i < 16 && !parser.atEnd(); ++i) {
        const std::int64_t before = parser.position();
        try {
            const PDFObject object = (mode & 8) ? parser.parseIndirectObject().second : parser.parseObject();
            // A written real such as -0 reads back as an integer, so the bytes settle after one
            // more round; a parse failure of our own output escapes as an uncaught error.
            const std::string first = PDFSerializer::data(PDFParser(PDFSerializer::data(object)).parseObject());
            if (PDFSerializer::data(PDFParser(first).parseObject()) != first) std::abort();
        } catch (const PDFError&) {
            parser.setPosition(before + 1);
        }
        if (parser.position() <= before) parser.setPosition(before + 1);
    }
    PDFParser tokens(bytes);
    for (int i = 0; i < 256 && !tokens.atEnd(); ++i) {
        if (tokens.readToken().empty()) tokens.setPosition(tokens.position() + 1);
    }
    PDFParser::find("endstream", bytes, mode);
    PDFParser::findLast("startxref", bytes, static_cast<std::int64_t>(bytes.size()) - mode);
    return 0;
}

// Stream decoding on arbitrary bytes with parameters taken from the input: every input ends in
// bytes or a PDFError, within the inflate limit.

#include "pdf/PDFError.h"
#include "pdf/PDFFilters.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6) return 0;
    const std::uint8_t shape = data[0];
    const auto param = [&](int i) { return static_cast<std::int64_t>(static_cast<std::int8_t>(data[i])); };
    std::string_view bytes(reinterpret_cast<const char*>(data + 6), size - 6);

    PDFDictionary parms;
    if (shape & 1) parms.set("Predictor", PDFObject::integer((shape & 2) ? 10 + (param(1) & 7) : param(1)));
    if (shape & 4) parms.set("Colors", PDFObject::integer(param(2)));
    if (shape & 8) parms.set("BitsPerComponent", PDFObject::integer(param(3)));
    if (shape & 16) parms.set("Columns", PDFObject::integer(param(4) * (param(5) + 1)));

    PDFDictionary dictionary;
    switch (shape >> 5) {
    case 0: dictionary.set("Filter", PDFObject::name("FlateDecode")); break;
    case 1: dictionary.set("Filter", PDFObject::name("Fl")); break;
    case 2:
        dictionary.set("Filter", PDFObject::array({PDFObject::name("Fl"), PDFObject::name("FlateDecode")}));
        dictionary.set("DecodeParms", PDFObject::array({PDFObject::null(), PDFObject::dictionary(parms)}));
        break;
    case 3: dictionary.set("Filter", PDFObject::array({PDFObject::name("FlateDecode"), PDFObject::name("LZW")})); break;
    default: dictionary.set("Filter", PDFObject::name("FlateDecode")); break;
    }
    if (!dictionary.contains("DecodeParms")) dictionary.set("DecodeParms", PDFObject::dictionary(parms));

    try {
        const std::string out = PDFFilters::decode(bytes, dictionary);
        if (static_cast<std::int64_t>(out.size()) > PDFFilters::maxInflatedSize) std::abort();
    } catch (const PDFError&) {
    }
    // Whatever comes in, deflate and inflate give it back.
    if (bytes.size() < 4096) {
        const std::string packed = PDFFilters::deflate(bytes);
        if (PDFFilters::inflate(packed) != bytes) std::abort();
    }
    return 0;
}

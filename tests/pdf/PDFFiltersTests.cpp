#include "pdf/PDFErrorText.h"
#include "pdf/PDFError.h"
#include "pdf/PDFFilters.h"
#include "pdf/PDFParser.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <random>
#include <regex>
#include <sstream>

// Live and peak bytes allocated through operator new, to show how much memory inflating holds.
namespace {
std::atomic<long long> gLive{0};
std::atomic<long long> gPeak{0};

void* counted(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p) throw std::bad_alloc();
    const long long now = gLive += static_cast<long long>(malloc_usable_size(p));
    long long peak = gPeak.load();
    while (now > peak && !gPeak.compare_exchange_weak(peak, now)) {
    }
    return p;
}

void release(void* p) noexcept {
    if (!p) return;
    gLive -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
}  // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
// The standard library's temporary buffers (std::stable_sort) take the nothrow forms.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace {

using testutil::run;

PDFObject N(const char* s) { return PDFObject::name(s); }
PDFObject I(std::int64_t v) { return PDFObject::integer(v); }


std::string flate(std::string_view data) { return PDFFilters::deflate(data); }

// Raw DEFLATE without any zlib framing.
std::string rawDeflate(std::string_view data) {
    z_stream s{};
    deflateInit2(&s, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&s, data.size()), '\0');
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    s.avail_in = static_cast<uInt>(data.size());
    s.next_out = reinterpret_cast<Bytef*>(out.data());
    s.avail_out = static_cast<uInt>(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

// A zlib stream of `count` zero bytes, made without holding them.
std::string zerosCompressed(std::size_t count) {
    z_stream s{};
    deflateInit(&s, 1);
    static const std::string zeros(1 << 20, '\0');
    std::string out;
    std::string buffer(1 << 16, '\0');
    std::size_t left = count;
    int status = Z_OK;
    while (status != Z_STREAM_END) {
        if (s.avail_in == 0 && left > 0) {
            const std::size_t chunk = std::min(left, zeros.size());
            s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
            s.avail_in = static_cast<uInt>(chunk);
            left -= chunk;
        }
        s.next_out = reinterpret_cast<Bytef*>(buffer.data());
        s.avail_out = static_cast<uInt>(buffer.size());
        status = deflate(&s, left == 0 ? Z_FINISH : Z_NO_FLUSH);
        out.append(buffer.data(), buffer.size() - s.avail_out);
    }
    deflateEnd(&s);
    return out;
}

TEST(PDFFilters, DeflateFraming) {
    const std::string empty = flate("");
    ASSERT_GE(empty.size(), 6u);
    EXPECT_EQ(empty.substr(0, 2), "\x78\x9C");
    EXPECT_EQ(empty.substr(empty.size() - 4), std::string("\0\0\0\1", 4));
    const std::string abc = flate("abc");
    EXPECT_EQ(abc.substr(abc.size() - 4), "\x02\x4D\x01\x27");
    EXPECT_EQ(PDFFilters::inflate(abc), "abc");
    EXPECT_EQ(PDFFilters::inflate(empty), "");
}

TEST(PDFFilters, ZlibFlateReadsOurDeflate) {
    if (!testutil::haveProgram("zlib-flate")) GTEST_SKIP() << "zlib-flate (qpdf) missing";
    std::mt19937 rng(7);
    std::string data;
    for (int i = 0; i < 200000; ++i) data.push_back(static_cast<char>(i % 7 == 0 ? rng() : 'a' + i % 13));
    for (const std::string& input : {std::string(), std::string("abc"), data}) {
        const auto r = run({"zlib-flate", "-uncompress"}, flate(input));
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, input);
    }
}

TEST(PDFFilters, InflateVariants) {
    const std::string text = "Hola, mundo. Hola, mundo. Hola, mundo.";
    EXPECT_EQ(PDFFilters::inflate(rawDeflate(text)), text);
    std::string badAdler = flate(text);
    badAdler.back() ^= 0x55;
    EXPECT_EQ(PDFFilters::inflate(badAdler), text);
    EXPECT_EQ(PDFFilters::inflate(flate(text) + "trailing garbage"), text);
    const std::string failure = "No se ha podido descomprimir un stream";
    const std::string whole = flate(text);
    EXPECT_EQ(pdfErrorOf([&] { PDFFilters::inflate(whole.substr(0, whole.size() - 8)); }), failure);
    EXPECT_EQ(pdfErrorOf([&] { PDFFilters::inflate(""); }), failure);
    EXPECT_EQ(pdfErrorOf([&] { PDFFilters::inflate("\x78\x9C\xFF\xFF\xFF"); }), failure);
    // Cut short exactly at a 64 KiB boundary of the output.
    const std::string big = flate(std::string(65536 * 3, 'x'));
    EXPECT_EQ(PDFFilters::inflate(big).size(), 65536u * 3);
    EXPECT_EQ(pdfErrorOf([&] { PDFFilters::inflate(big.substr(0, big.size() - 6)); }), failure);
    // Larger than the one-pass size: decoded in two passes, same bytes.
    std::string large(33 << 20, '\0');
    for (std::size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>((i * 31) >> 7);
    EXPECT_EQ(PDFFilters::inflate(flate(large)), large);
}

TEST(PDFFilters, SizeLimitWithoutHoldingMoreThanTheLimit) {
    constexpr long long limit = PDFFilters::maxInflatedSize;
    const std::string over = zerosCompressed(static_cast<std::size_t>(limit) + 1);
    gPeak = gLive.load();
    long long base = gLive.load();
    EXPECT_EQ(pdfErrorOf([&] { PDFFilters::inflate(over); }), "Un stream ocupa más de 256 MB descomprimido");
    // At most the one-pass part (32 MiB) and its last reallocation are held, never the stream.
    EXPECT_LT(gPeak.load() - base, 64LL << 20) << "a stream over the limit was held in memory";

    const std::string exact = zerosCompressed(static_cast<std::size_t>(limit));
    base = gLive.load();
    gPeak = base;
    {
        const std::string out = PDFFilters::inflate(exact);
        EXPECT_EQ(static_cast<long long>(out.size()), limit);
        EXPECT_EQ(out.find_first_not_of('\0'), std::string::npos);
    }
    EXPECT_LT(gPeak.load() - base, limit + (1LL << 20));
}

PDFDictionary flateDictionary(PDFObject parms) {
    PDFDictionary d{{"Filter", N("FlateDecode")}};
    if (!parms.isNull()) d.set("DecodeParms", std::move(parms));
    return d;
}

TEST(PDFFilters, FilterList) {
    const std::string raw = "stored bytes";
    EXPECT_EQ(PDFFilters::decode(raw, {}), raw);
    EXPECT_EQ(PDFFilters::decode(raw, {{"Filter", PDFObject::array({})}}), raw);
    EXPECT_EQ(PDFFilters::decode(raw, {{"Filter", I(3)}}), raw);
    EXPECT_EQ(PDFFilters::decode(raw, {{"Filter", PDFObject::reference(PDFRef(4))}}), raw);
    EXPECT_EQ(PDFFilters::decode(raw, {{"Filter", PDFObject::array({I(1), PDFObject::null()})}}), raw);

    EXPECT_EQ(PDFFilters::decode(flate(flate("twice")), {{"Filter", PDFObject::array({N("FlateDecode"), N("Fl")})}}),
              "twice");
    EXPECT_EQ(PDFFilters::decode(flate("x"), {{"Filter", N("Fl")}}), "x");
    EXPECT_EQ(pdfErrorOf([&] {
                  PDFFilters::decode(flate("x"), {{"Filter", PDFObject::array({N("FlateDecode"), N("DCTDecode")})}});
              }),
              "Filtro no soportado: DCTDecode");
    EXPECT_EQ(pdfErrorOf([&] { PDFFilters::decode(flate("x"), {{"Filter", N("flatedecode")}}); }),
              "Filtro no soportado: flatedecode");
}

TEST(PDFFilters, Predictors) {
    // Two rows of 5 bytes, Up-predicted.
    const std::string rows = std::string("\x02\x01\x02\x03\x04\x05\x02\x01\x01\x01\x01\x01", 12);
    const PDFDictionary up{{"Predictor", I(15)}, {"Columns", I(5)}};
    EXPECT_EQ(PDFFilters::decode(flate(rows), flateDictionary(PDFObject::dictionary(up))),
              std::string("\x01\x02\x03\x04\x05\x02\x03\x04\x05\x06", 10));
    // /Predictor 1, parameters given as an array beside a single name, or a reference: none.
    EXPECT_EQ(PDFFilters::decode(flate(rows), flateDictionary(PDFObject::dictionary({{"Predictor", I(1)}}))), rows);
    EXPECT_EQ(PDFFilters::decode(flate(rows), flateDictionary(PDFObject::array({PDFObject::dictionary(up)}))), rows);
    EXPECT_EQ(PDFFilters::decode(flate(rows), flateDictionary(PDFObject::reference(PDFRef(9)))), rows);
    // Parameters by position beside a filter array.
    EXPECT_EQ(PDFFilters::decode(flate(rows), {{"Filter", PDFObject::array({N("Fl")})},
                                               {"DecodeParms", PDFObject::array({PDFObject::dictionary(up)})}}),
              std::string("\x01\x02\x03\x04\x05\x02\x03\x04\x05\x06", 10));
    EXPECT_EQ(PDFFilters::decode(flate(rows), flateDictionary(PDFObject::dictionary({{"Predictor", PDFObject::real(12.7)},
                                                                                     {"Columns", I(5)}}))),
              std::string("\x01\x02\x03\x04\x05\x02\x03\x04\x05\x06", 10));

    const auto withParms = [&](const std::string& data, PDFDictionary parms) {
        return PDFFilters::decode(flate(data), flateDictionary(PDFObject::dictionary(std::move(parms))));
    };
    EXPECT_EQ(pdfErrorOf([&] { withParms(rows, {{"Predictor", I(2)}}); }), "Predictor no soportado: 2");
    EXPECT_EQ(pdfErrorOf([&] { withParms(rows, {{"Predictor", I(-3)}}); }), "Predictor no soportado: -3");
    const std::string invalid = "Parámetros de predictor no válidos";
    EXPECT_EQ(pdfErrorOf([&] { withParms(rows, {{"Predictor", I(12)}, {"BitsPerComponent", I(3)}}); }), invalid);
    EXPECT_EQ(pdfErrorOf([&] { withParms(rows, {{"Predictor", I(12)}, {"Colors", I(0)}}); }), invalid);
    EXPECT_EQ(pdfErrorOf([&] { withParms(rows, {{"Predictor", I(12)}, {"Columns", I(-1)}}); }), invalid);
    EXPECT_EQ(pdfErrorOf([&] {
                  withParms(rows, {{"Predictor", I(12)}, {"Colors", I(INT64_MAX / 4)}, {"BitsPerComponent", I(8)}});
              }),
              invalid);
    EXPECT_EQ(pdfErrorOf([&] {
                  withParms(rows, {{"Predictor", I(12)}, {"Colors", I(1 << 30)}, {"Columns", I(1LL << 40)}});
              }),
              invalid);
    // Huge but valid rows: no complete row, empty result, nothing allocated for them.
    EXPECT_EQ(withParms(rows, {{"Predictor", I(12)}, {"Colors", I(1 << 20)}, {"Columns", I(1LL << 30)}}), "");

    // 12 bits per pixel: one byte per pixel and rows of 5 bytes.
    const std::string sub = std::string("\x01\x01\x01\x01\x01\x01", 6);
    EXPECT_EQ(withParms(sub, {{"Predictor", I(10)}, {"Colors", I(3)}, {"BitsPerComponent", I(4)}, {"Columns", I(3)}}),
              "\x01\x02\x03\x04\x05");
    // 11 bytes with 5 columns: one row, the last 5 bytes dropped; 5 bytes: empty.
    EXPECT_EQ(withParms(sub + "\x00\x01\x01\x01\x01", {{"Predictor", I(10)}, {"Columns", I(5)}}).size(), 5u);
    EXPECT_EQ(withParms("\x00\x01\x01\x01\x01", {{"Predictor", I(10)}, {"Columns", I(5)}}), "");
    // Unknown row type: the row passes unchanged.
    EXPECT_EQ(withParms("\x07\x09\x08\x07\x06\x05", {{"Predictor", I(10)}, {"Columns", I(5)}}), "\x09\x08\x07\x06\x05");
    // Average and Paeth against hand-computed rows (2 bytes per pixel).
    const PDFDictionary two{{"Predictor", I(14)}, {"Colors", I(2)}, {"Columns", I(2)}};
    const std::string avg = std::string("\x00\x10\x20\x30\x40\x03\x02\x02\x02\x02", 10);
    EXPECT_EQ(withParms(avg, two), std::string("\x10\x20\x30\x40\x0A\x12\x1F\x2B", 8));
    const std::string paethRows = std::string("\x00\x10\x20\x30\x40\x04\x01\x01\x01\x01", 10);
    // Row 2: left 0, up 0x10 -> 0x11; up 0x20 -> 0x21; then left 0x11, up 0x30, upper-left 0x10:
    // p = 0x31, distances 0x20, 1, 0x21 -> up 0x30 -> 0x31; likewise 0x41.
    EXPECT_EQ(withParms(paethRows, two), std::string("\x10\x20\x30\x40\x11\x21\x31\x41", 8));
}

// A small classic PDF with a few objects, offsets computed as written.
std::string smallPDF() {
    std::string extra;
    for (int i = 5; i < 305; ++i) extra += std::to_string(i) + " 0 R ";
    std::vector<std::string> bodies = {
        "<< /Type /Catalog /Pages 2 0 R /Extra [" + extra + "] >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>",
        "<< /Length 11 >>\nstream\n0 0 m 1 1 l\nendstream",
    };
    for (int i = 0; i < 300; ++i) bodies.push_back("<< /N " + std::to_string(i) + " /S (x) >>");
    std::string out = "%PDF-1.7\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + bodies[i] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(bodies.size() + 1) + "\n0000000000 65535 f \n";
    char entry[32];
    for (std::size_t off : offsets) {
        std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", off);
        out += entry;
    }
    out += "trailer\n<< /Size " + std::to_string(bodies.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

TEST(PDFFilters, PNGRowsOfQpdfCrossReferenceStream) {
    if (!testutil::haveProgram("qpdf")) GTEST_SKIP() << "qpdf missing";
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", smallPDF());
    const auto gen = run({"qpdf", "--object-streams=generate", (dir / "in.pdf").string(), (dir / "out.pdf").string()});
    ASSERT_EQ(gen.exitCode, 0) << gen.err;
    const std::string pdf = testutil::readFile(dir / "out.pdf");

    const auto sx = PDFParser::findLast("startxref", pdf, static_cast<std::int64_t>(pdf.size()));
    ASSERT_TRUE(sx);
    PDFParser p(pdf, *sx + 9);
    const std::int64_t xrefOffset = std::stoll(p.readToken());
    PDFParser at(pdf, xrefOffset);
    const PDFObject xref = at.parseIndirectObject().second;
    ASSERT_NE(xref.stream(), nullptr);
    const PDFDictionary& dict = xref.stream()->dictionary;
    ASSERT_NE(dict.get("DecodeParms"), nullptr) << "qpdf wrote no predictor";
    EXPECT_GE(*dict.get("DecodeParms")->dictionary()->get("Predictor")->integer(), 10);
    const std::string rows = PDFFilters::decode(xref.stream()->data, dict);

    std::vector<int> w;
    for (const auto& e : *dict.get("W")->array()) w.push_back(static_cast<int>(*e.integer()));
    std::vector<std::int64_t> index = {0, *dict.get("Size")->integer()};
    if (const PDFObject* ix = dict.get("Index")) {
        index.clear();
        for (const auto& e : *ix->array()) index.push_back(*e.integer());
    }
    const int rowSize = w[0] + w[1] + w[2];
    std::ostringstream mine;
    std::size_t r = 0;
    for (std::size_t k = 0; k + 1 < index.size(); k += 2) {
        for (std::int64_t n = index[k]; n < index[k] + index[k + 1]; ++n, ++r) {
            ASSERT_LE((r + 1) * rowSize, rows.size());
            std::int64_t f[3] = {w[0] == 0 ? 1 : 0, 0, 0};
            std::size_t pos = r * rowSize;
            for (int i = 0; i < 3; ++i) {
                if (w[i] == 0) continue;
                f[i] = 0;
                for (int b = 0; b < w[i]; ++b) f[i] = (f[i] << 8) | static_cast<unsigned char>(rows[pos++]);
            }
            if (f[0] == 1) mine << n << "/" << f[2] << ": uncompressed; offset = " << f[1] << "\n";
            if (f[0] == 2) mine << n << "/0: compressed; stream = " << f[1] << ", index = " << f[2] << "\n";
        }
    }
    const auto shown = run({"qpdf", "--show-xref", (dir / "out.pdf").string()});
    ASSERT_EQ(shown.exitCode, 0) << shown.err;
    EXPECT_EQ(mine.str(), shown.out);
    EXPECT_NE(shown.out.find("compressed; stream"), std::string::npos);
}

}  // namespace

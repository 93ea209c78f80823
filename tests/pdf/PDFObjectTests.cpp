#include "pdf/PDFDocEncoding.h"
#include "pdf/PDFObject.h"
#include "pdf/PDFRef.h"
#include "pdf/PDFSerializer.h"

#include "support/PDFFixtures.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <unordered_set>

namespace {

PDFObject I(std::int64_t v) { return PDFObject::integer(v); }

TEST(PDFDictionary, KeepsInsertionOrderThroughReplaceAndRemove) {
    PDFDictionary d{{"A", I(1)}, {"B", I(2)}, {"C", I(3)}};
    d.set("B", I(20));
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(*d.get("B"), I(20));
    d.remove("B");
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"A", "C"}));
    EXPECT_EQ(d.get("B"), nullptr);
    const PDFDictionary before = d;
    d.remove("Z");
    EXPECT_EQ(d, before);
    d.set("B", I(5));
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"A", "C", "B"}));
}

TEST(PDFDictionary, RepeatedPairKeepsFirstPlaceAndLastValue) {
    PDFDictionary d{{"A", I(1)}, {"B", I(2)}, {"A", I(3)}};
    EXPECT_EQ(d.keys(), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(*d.get("A"), I(3));
    auto entries = d.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].first, "A");
}

TEST(PDFDictionary, LargeDictionaryStaysConsistentWithItsIndex) {
    // Past the linear-search size the dictionary keeps a hash index: removals must reindex.
    PDFDictionary d;
    for (int i = 0; i < 100; ++i) d.set("K" + std::to_string(i), I(i));
    for (int i = 0; i < 100; i += 3) d.remove("K" + std::to_string(i));
    d.set("K1", I(-1));
    PDFDictionary copy = d;
    for (int i = 0; i < 100; ++i) {
        const PDFObject* v = copy.get("K" + std::to_string(i));
        if (i % 3 == 0) {
            EXPECT_EQ(v, nullptr) << i;
        } else {
            ASSERT_NE(v, nullptr) << i;
            EXPECT_EQ(*v, I(i == 1 ? -1 : i));
        }
    }
    EXPECT_EQ(copy.keys().front(), "K1");
    EXPECT_EQ(copy.size(), 66u);
}

TEST(PDFObject, NumericAccessors) {
    EXPECT_EQ(PDFObject::real(2.9).integer(), 2);
    EXPECT_EQ(PDFObject::real(-2.9).integer(), -2);
    EXPECT_EQ(PDFObject::real(1e300).integer(), std::nullopt);
    EXPECT_EQ(PDFObject::real(9223372036854775808.0).integer(), std::nullopt);
    EXPECT_EQ(PDFObject::real(-9223372036854775808.0).integer(), INT64_MIN);
    EXPECT_EQ(PDFObject::real(std::nan("")).integer(), std::nullopt);
    EXPECT_EQ(I(7).number(), 7.0);
    EXPECT_EQ(PDFObject::name("A").integer(), std::nullopt);
    EXPECT_EQ(PDFObject::name("A").number(), std::nullopt);
}

TEST(PDFObject, CaseMismatchGivesNothing) {
    const PDFObject s = PDFObject::string("x");
    EXPECT_EQ(s.name(), nullptr);
    EXPECT_EQ(s.array(), nullptr);
    EXPECT_EQ(s.dictionary(), nullptr);
    EXPECT_EQ(s.reference(), std::nullopt);
    EXPECT_EQ(PDFObject::name("x").stringData(), nullptr);
    EXPECT_EQ(PDFObject::name("x").text(), std::nullopt);
    const PDFObject stream = PDFObject::stream(PDFDictionary{{"Type", PDFObject::name("XObject")}}, "abc");
    ASSERT_NE(stream.dictionary(), nullptr);
    EXPECT_EQ(*stream.dictionary()->get("Type")->name(), "XObject");
    EXPECT_EQ(PDFObject().kind(), PDFObject::Kind::null);
    EXPECT_EQ(static_cast<int>(PDFObject::reference(PDFRef(1)).kind()), 8);
}

TEST(PDFObject, TextGetter) {
    EXPECT_EQ(PDFObject::string("\x41\x80\x42").text(), "A\u2022B");
    EXPECT_EQ(PDFObject::string(std::string("A\0B", 3)).text(), "A B");
    EXPECT_EQ(PDFObject::string("\xFE\xFF").text(), "");
    EXPECT_EQ(PDFObject::string(std::string("\xFE\xFF\x00\xF1\xD8\x3D\xDE\x00", 8)).text(), "\u00F1\U0001F600");
    EXPECT_EQ(PDFObject::string("\xFE\xFF\xDC\x00").text(), std::nullopt);  // lone low surrogate
    EXPECT_EQ(PDFObject::string("\xFE\xFF\xD8\x00").text(), std::nullopt);  // cut pair
    EXPECT_EQ(PDFObject::string(std::string("\xFE\xFF\x00", 3)).text(), std::nullopt);      // odd length
    // No other byte-order mark: FF FE is two PDFDocEncoding characters.
    EXPECT_EQ(PDFObject::string("\xFF\xFE").text(), "\u00FF\u00FE");
    EXPECT_EQ(PDFObject::string("\xA0\x18\x9F\xAD\x7F").text(), "\u20AC\u02D8   ");
}

TEST(PDFObject, TextFactory) {
    EXPECT_EQ(*PDFObject::text("Firma").stringData(), "Firma");
    EXPECT_EQ(*PDFObject::text("").stringData(), "");
    EXPECT_EQ(*PDFObject::text("\x7F").stringData(), "\x7F");
    EXPECT_EQ(*PDFObject::text("Firma\n").stringData(),
              std::string("\xFE\xFF\0F\0i\0r\0m\0a\0\n", 14));
    EXPECT_EQ(*PDFObject::text("C\u00E1diz").stringData(), std::string("\xFE\xFF\0C\0\xE1\0d\0i\0z", 12));
    EXPECT_EQ(*PDFObject::text("\U0001F600").stringData(), std::string("\xFE\xFF\xD8\x3D\xDE\x00", 6));
    EXPECT_EQ(PDFObject::text("Firmado en C\u00E1diz \u00B7 \u00F1").text(), "Firmado en C\u00E1diz \u00B7 \u00F1");
}

TEST(PDFDocEncoding, Table) {
    EXPECT_EQ(PDFDocEncoding::scalar(0x41), U'A');
    EXPECT_EQ(PDFDocEncoding::scalar(0x09), U'\t');
    EXPECT_EQ(PDFDocEncoding::scalar(0x01), U' ');
    EXPECT_EQ(PDFDocEncoding::scalar(0x1F), U'\u02DC');
    EXPECT_EQ(PDFDocEncoding::scalar(0x9E), U'\u017E');
    EXPECT_EQ(PDFDocEncoding::scalar(0xE9), U'\u00E9');
}

TEST(PDFDocEncoding, DefinedCodesAgreeWithPoppler) {
    // The 40 codes that differ from Latin-1, read by pdfinfo from a document title.
    if (!testutil::haveProgram("pdfinfo")) GTEST_SKIP() << "pdfinfo missing";
    std::string codes;
    for (int b = 0x18; b <= 0x1F; ++b) codes.push_back(static_cast<char>(b));
    for (int b = 0x80; b <= 0x9E; ++b) codes.push_back(static_cast<char>(b));
    codes.push_back('\xA0');
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 10 10] >>");
    w.object(4, "<</Title " + PDFSerializer::string(codes) + " >>");
    testutil::TempDir dir;
    testutil::writeFile(dir / "doc.pdf", w.finishClassic("/Root 1 0 R /Info 4 0 R"));
    const auto info = testutil::run({"pdfinfo", "-enc", "UTF-8", (dir / "doc.pdf").string()});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const std::size_t at = info.out.find("Title:");
    ASSERT_NE(at, std::string::npos) << info.out;
    const std::size_t start = info.out.find_first_not_of(' ', at + 6);
    const std::string shown = info.out.substr(start, info.out.find('\n', start) - start);
    EXPECT_EQ(PDFObject::string(codes).text(), shown);
}

TEST(PDFRef, EqualityHashAndText) {
    EXPECT_EQ(PDFRef(5), PDFRef(5, 0));
    EXPECT_NE(PDFRef(5, 1), PDFRef(5, 0));
    EXPECT_LT(PDFRef(4, 9), PDFRef(5, 0));
    EXPECT_EQ(PDFRef(5).description(), "5 0 R");
    std::unordered_set<PDFRef> set{PDFRef(1), PDFRef(1, 0), PDFRef(1, 1)};
    EXPECT_EQ(set.size(), 2u);
}

}  // namespace

#include "pdf/PDFParser.h"
#include "pdf/PDFSerializer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace {

PDFObject N(const char* s) { return PDFObject::name(s); }
PDFObject I(std::int64_t v) { return PDFObject::integer(v); }

TEST(PDFSerializer, Numbers) {
    const std::pair<double, const char*> cases[] = {
        {100.0, "100"},   {0.1, "0.1"},       {2.0000049, "2"},    {3.0, "3"},
        {-0.0, "0"},      {0.5, "0.5"},       {1.234567, "1.23457"}, {12.1, "12.1"},
        {1e15, "1000000000000000"}, {0.000001, "0"}, {-0.000001, "-0"}, {-2.5, "-2.5"},
        {999999999999999.0, "999999999999999"}, {1e16, "10000000000000000"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(PDFSerializer::format(value), text) << value;
    // Not PDF syntax: written as 0.
    EXPECT_EQ(PDFSerializer::format(std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(PDFSerializer::format(-std::numeric_limits<double>::infinity()), "0");
    EXPECT_EQ(PDFSerializer::format(std::nan("")), "0");
    EXPECT_EQ(PDFSerializer::format(1e300).size(), 301u);
    EXPECT_EQ(PDFSerializer::data(PDFObject::real(100.0)), "100");
    EXPECT_EQ(PDFSerializer::data(I(INT64_MIN)), "-9223372036854775808");
}

TEST(PDFSerializer, NumbersIgnoreTheProcessLocale) {
    // A desktop session may run with a decimal comma.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "es_ES.UTF-8") && !std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
        GTEST_SKIP() << "no locale with a decimal comma";
    EXPECT_EQ(PDFSerializer::format(0.5), "0.5");
    EXPECT_EQ(PDFParser("0.25").parseObject(), PDFObject::real(0.25));
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(PDFSerializer, Names) {
    EXPECT_EQ(PDFSerializer::data(N("A B")), "/A#20B");
    EXPECT_EQ(PDFSerializer::data(N("Adobe.PPKLite")), "/Adobe.PPKLite");
    EXPECT_EQ(PDFSerializer::data(N("\u00F1")), "/#C3#B1");
    EXPECT_EQ(PDFSerializer::data(N("")), "/");
    EXPECT_EQ(PDFSerializer::name("#%()/<>[]{}"), "/#23#25#28#29#2F#3C#3E#5B#5D#7B#7D");
    EXPECT_EQ(PDFSerializer::name("a\x7F~!"), "/a#7F~!");
}

TEST(PDFSerializer, Strings) {
    EXPECT_EQ(PDFSerializer::data(PDFObject::string("a(b)c")), "(a\\(b\\)c)");
    EXPECT_EQ(PDFSerializer::data(PDFObject::string(std::string("\0A", 2))), "<0041>");
    EXPECT_EQ(PDFSerializer::data(PDFObject::string("")), "()");
    EXPECT_EQ(PDFSerializer::string("a\\b"), "(a\\\\b)");
    EXPECT_EQ(PDFSerializer::string(std::string_view("\xFE\xFF\x00\xE1", 4)), "<FEFF00E1>");
    EXPECT_EQ(PDFSerializer::string("a\nb"), "<610A62>");
}

TEST(PDFSerializer, ContainersAndReferences) {
    EXPECT_EQ(PDFSerializer::data(PDFObject::array({I(1), N("N"), PDFObject::reference(PDFRef(3))})), "[1 /N 3 0 R]");
    EXPECT_EQ(PDFSerializer::data(PDFObject::array({})), "[]");
    EXPECT_EQ(PDFSerializer::data(PDFObject::dictionary({})), "<<>>");
    EXPECT_EQ(PDFSerializer::data(PDFObject::dictionary(
                  PDFDictionary{{"Type", N("Catalog")}, {"Pages", PDFObject::reference(PDFRef(3))}})),
              "<</Type /Catalog /Pages 3 0 R >>");
    EXPECT_EQ(PDFSerializer::data(PDFObject::boolean(true)) + PDFSerializer::data(PDFObject::boolean(false)) +
                  PDFSerializer::data(PDFObject::null()),
              "truefalsenull");
    EXPECT_EQ(PDFSerializer::data(PDFObject::reference(PDFRef(12, 3))), "12 3 R");
}

TEST(PDFSerializer, StreamLength) {
    // Missing /Length goes last; an existing one (even a reference) is replaced in place.
    EXPECT_EQ(PDFSerializer::data(PDFObject::stream(PDFDictionary{{"Filter", N("FlateDecode")}}, "12345")),
              "<</Filter /FlateDecode /Length 5 >>\nstream\n12345\nendstream");
    const PDFObject withRef = PDFObject::stream(
        PDFDictionary{{"Length", PDFObject::reference(PDFRef(9))}, {"A", I(1)}}, "xy");
    EXPECT_EQ(PDFSerializer::data(withRef), "<</Length 2 /A 1 >>\nstream\nxy\nendstream");
    EXPECT_EQ(*withRef.dictionary()->get("Length"), PDFObject::reference(PDFRef(9)));  // caller's value unchanged
    std::string out = "x";
    PDFSerializer::write(PDFDictionary{{"K", N("V")}}, out);
    EXPECT_EQ(out, "x<</K /V >>");
}

// Random objects whose serialization must parse back to the same value.
class RandomObjects {
public:
    explicit RandomObjects(unsigned seed) : rng_(seed) {}

    PDFObject make(int depth) {
        const int kind = pick(depth > 3 ? 7 : 10);
        switch (kind) {
        case 0: return PDFObject::boolean(pick(2) == 1);
        case 1: return PDFObject::integer(integer());
        case 2: return PDFObject::real(real());
        case 3: return PDFObject::name(bytes(true));
        case 4: return PDFObject::string(bytes(false));
        case 5: return PDFObject::reference(PDFRef(pick(100000), pick(3) == 0 ? pick(65536) : 0));
        case 6: return PDFObject::null();
        case 7: {
            std::vector<PDFObject> elements;
            for (int i = pick(6); i > 0; --i) elements.push_back(make(depth + 1));
            return PDFObject::array(std::move(elements));
        }
        case 8: return PDFObject::dictionary(dictionary(depth));
        default: return PDFObject::stream(dictionary(depth), bytes(false));
        }
    }

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    std::int64_t integer() {
        switch (pick(3)) {
        case 0: return pick(200) - 100;
        case 1: return std::uniform_int_distribution<std::int64_t>(INT64_MIN, INT64_MAX)(rng_);
        default: return pick(2) ? INT64_MIN : INT64_MAX;
        }
    }
    // Reals that survive five decimals and are not integral (an integral real writes as an int).
    double real() {
        const std::int64_t whole = std::uniform_int_distribution<std::int64_t>(-1000000000, 1000000000)(rng_);
        int frac = pick(99999) + 1;
        if (frac % 10 == 0) ++frac;
        char text[40];
        std::snprintf(text, sizeof text, "%lld.%05d", static_cast<long long>(whole), frac);
        return std::strtod(text, nullptr);
    }
    std::string bytes(bool name) {
        std::string out;
        for (int i = pick(12); i > 0; --i) {
            if (name) {
                // Names are UTF-8 text: pick printable ASCII, delimiters, controls, or a 2-byte letter.
                const int c = pick(4) == 0 ? pick(33) : 33 + pick(94);
                if (pick(8) == 0) out += "\u00F1";
                else if (c != 0) out.push_back(static_cast<char>(c));
            } else {
                out.push_back(static_cast<char>(pick(3) == 0 ? pick(256) : 32 + pick(95)));
            }
        }
        return out;
    }
    PDFDictionary dictionary(int depth) {
        PDFDictionary d;
        for (int i = pick(5); i > 0; --i) {
            PDFObject value = make(depth + 1);
            // A null value before ">>" reads back as null anyway; keep it.
            d.set(bytes(true), std::move(value));
        }
        return d;
    }
    std::mt19937 rng_;
};

PDFObject normalisedStream(const PDFObject& object);

// The serializer sets /Length on streams; apply the same to the expectation.
PDFObject normalised(const PDFObject& object) {
    if (object.stream()) return normalisedStream(object);
    if (const auto* elements = object.array()) {
        std::vector<PDFObject> out;
        for (const auto& e : *elements) out.push_back(normalised(e));
        return PDFObject::array(std::move(out));
    }
    if (const auto* d = object.dictionary()) {
        PDFDictionary out;
        for (const auto& [key, value] : *d) out.set(key, normalised(value));
        return PDFObject::dictionary(std::move(out));
    }
    return object;
}

PDFObject normalisedStream(const PDFObject& object) {
    const PDFStream& s = *object.stream();
    PDFDictionary d;
    for (const auto& [key, value] : s.dictionary) d.set(key, normalised(value));
    d.set("Length", PDFObject::integer(static_cast<std::int64_t>(s.data.size())));
    return PDFObject::stream(std::move(d), s.data);
}

TEST(PDFSerializer, RandomRoundTrip) {
    RandomObjects random(20240611);
    for (int i = 0; i < 3000; ++i) {
        const PDFObject object = random.make(0);
        const std::string bytes = PDFSerializer::data(object);
        PDFParser parser(bytes);
        PDFObject parsed;
        ASSERT_NO_THROW(parsed = parser.parseObject()) << bytes;
        EXPECT_EQ(parsed, normalised(object)) << bytes;
        EXPECT_EQ(parser.position(), static_cast<std::int64_t>(bytes.size())) << bytes;
        // Deterministic: the parsed value writes the same bytes again.
        EXPECT_EQ(PDFSerializer::data(parsed), bytes);
    }
}

}  // namespace

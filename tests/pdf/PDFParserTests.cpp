#include "pdf/PDFError.h"
#include "pdf/PDFParser.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

PDFObject I(std::int64_t v) { return PDFObject::integer(v); }
PDFObject R(std::int64_t n, std::int64_t g = 0) { return PDFObject::reference(PDFRef(n, g)); }

PDFObject parse(std::string_view text) { return PDFParser(text).parseObject(); }

std::string errorOf(std::string_view text) {
    try {
        PDFParser(text).parseObject();
    } catch (const PDFError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(PDFParser, ReferenceLookAhead) {
    EXPECT_EQ(parse("1 0 R"), R(1));
    PDFParser p("1 0 obj");
    EXPECT_EQ(p.parseObject(), I(1));
    EXPECT_EQ(p.position(), 1);
    EXPECT_EQ(parse("[1 2 R 3]"), PDFObject::array({R(1, 2), I(3)}));
    EXPECT_EQ(parse("[1 2 3]"), PDFObject::array({I(1), I(2), I(3)}));
    EXPECT_EQ(parse("[1 -2 R]"), PDFObject::array({R(1, -2)}));
    EXPECT_EQ(errorOf("[1 2.0 R]"), "Token inesperado «R» en la posición 7");
    // Comments and NUL between the tokens, leading zeros, a glued "R", the widest integers.
    EXPECT_EQ(parse("[12 % a\n 0 % b\r R]"), PDFObject::array({R(12)}));
    EXPECT_EQ(parse(std::string_view("[12\0" "0\0R]", 8)), PDFObject::array({R(12)}));
    EXPECT_EQ(parse("[0012 00 R]"), PDFObject::array({R(12)}));
    for (const char* notReference : {"12 0R", "12 0 Rx", "12 0 R2"}) {
        PDFParser q(notReference);
        EXPECT_EQ(q.parseObject(), I(12)) << notReference;
        EXPECT_EQ(q.position(), 2) << notReference;
    }
    EXPECT_EQ(parse("[123456789012345678 1 R]"), PDFObject::array({R(123456789012345678, 1)}));
    EXPECT_EQ(parse("[1234567890123456789 1 R]"), PDFObject::array({R(1234567890123456789, 1)}));
}

TEST(PDFParser, Numbers) {
    EXPECT_EQ(parse("3.0"), PDFObject::real(3.0));
    EXPECT_EQ(parse("-.5"), PDFObject::real(-0.5));
    EXPECT_EQ(parse("."), PDFObject::real(0));
    EXPECT_EQ(parse("1e2"), PDFObject::real(100));
    EXPECT_EQ(parse("12345678901234567890"), PDFObject::real(12345678901234567890.0));
    EXPECT_EQ(parse("-9223372036854775808"), I(INT64_MIN));
    EXPECT_EQ(parse("9223372036854775807"), I(INT64_MAX));
    EXPECT_EQ(parse("9223372036854775808").kind(), PDFObject::Kind::real);
    EXPECT_EQ(parse("+17"), I(17));
    EXPECT_TRUE(std::isinf(*parse("inf").number()));
    EXPECT_TRUE(std::isnan(*parse("nan").number()));
    EXPECT_EQ(parse("true"), PDFObject::boolean(true));
    EXPECT_EQ(parse("false"), PDFObject::boolean(false));
    EXPECT_EQ(parse("null"), PDFObject::null());
}

TEST(PDFParser, LiteralStrings) {
    EXPECT_EQ(*parse("(a\\)b)").stringData(), "a)b");
    EXPECT_EQ(*parse("(a(b)c)").stringData(), "a(b)c");
    EXPECT_EQ(*parse("(\\101)").stringData(), "A");
    EXPECT_EQ(*parse("(a\r\nb\rc\nd)").stringData(), "a\nb\nc\nd");
    EXPECT_EQ(*parse("(\\777)").stringData(), "\xFF");
    EXPECT_EQ(*parse("(\\1014)").stringData(), "A4");
    EXPECT_EQ(*parse("(\\0)").stringData(), std::string(1, '\0'));
    EXPECT_EQ(*parse("(\\n\\r\\t\\b\\f\\(\\)\\\\\\q)").stringData(), "\n\r\t\b\f()\\q");
    EXPECT_EQ(*parse("(a\\\nb\\\r\nc\\\rd)").stringData(), "abcd");
    EXPECT_EQ(*parse("()").stringData(), "");
}

TEST(PDFParser, HexStrings) {
    EXPECT_EQ(*parse("<48656C6C6F>").stringData(), "Hello");
    EXPECT_EQ(*parse("<414>").stringData(), "A@");
    EXPECT_EQ(*parse("<41 4 2>").stringData(), "AB");
    EXPECT_EQ(*parse("<6a6B zz>").stringData(), "jk");
    EXPECT_EQ(*parse("<>").stringData(), "");
}

TEST(PDFParser, Names) {
    EXPECT_EQ(*parse("/A#20B").name(), "A B");
    PDFParser p("/A#2 x");
    EXPECT_EQ(*p.parseObject().name(), "A#2");
    EXPECT_EQ(*parse("/A#2").name(), "A#2");
    EXPECT_EQ(*parse("/ x").name(), "");
    EXPECT_EQ(*parse("/#C3#B1").name(), "\u00F1");
    EXPECT_EQ(*parse("/\xFF").name(), "\uFFFD");
    EXPECT_EQ(*parse("/A/B").name(), "A");
}

TEST(PDFParser, Dictionaries) {
    PDFObject d = parse("<</A>>");
    EXPECT_EQ(*d.dictionary()->get("A"), PDFObject::null());
    d = parse("<< /A 1 /A 2 >>");
    EXPECT_EQ(d.dictionary()->size(), 1u);
    EXPECT_EQ(*d.dictionary()->get("A"), I(2));
    d = parse("<</B 1 7 /C (x) %comment\n>>");  // the stray 7 is skipped
    EXPECT_EQ(d.dictionary()->keys(), (std::vector<std::string>{"B", "C"}));
    d = parse("<</Type/Page/Kids[3 0 R 4 0 R]/Res<</F<</F1 5 0 R>>>>>>");
    EXPECT_EQ(*d.dictionary()->get("Kids"), PDFObject::array({R(3), R(4)}));
    EXPECT_EQ(*d.dictionary()->get("Res")->dictionary()->get("F")->dictionary()->get("F1"), R(5));
}

TEST(PDFParser, StreamWithCorrectLength) {
    const std::string text = "<</Length 5>>stream\r\nab\ncd\nendstream endobj";
    PDFParser p(text);
    const PDFObject s = p.parseObject();
    EXPECT_EQ(s.stream()->data, "ab\ncd");
    EXPECT_EQ(p.position(), static_cast<std::int64_t>(text.find(" endobj")));
    EXPECT_EQ(*s.dictionary()->get("Length"), I(5));
}

TEST(PDFParser, StreamWithWrongLengthIsSearched) {
    const std::string text = "<</Length 10>>\nstream\n123456789012\nendstream";
    const PDFObject s = parse(text);
    EXPECT_EQ(s.stream()->data, "123456789012");
    EXPECT_EQ(*s.dictionary()->get("Length"), I(10));
    EXPECT_EQ(parse("<</Length 1.0>>stream\nab\r\nendstream").stream()->data, "ab");
    EXPECT_EQ(parse("<</Length -3>>stream\nab\rendstream").stream()->data, "ab");
    EXPECT_EQ(parse("<<>>stream\nendstream").stream()->data, "");
    // The line end before "endstream" is never taken from before the data.
    EXPECT_EQ(parse("<<>>stream\r\nendstream").stream()->data, "");
    EXPECT_EQ(parse("<</Length 99999>>stream\nabc\nendstream").stream()->data, "abc");
}

TEST(PDFParser, EndstreamAfterTheDeclaredLength) {
    // White space and comments may stand between the data and "endstream".
    const std::string text = "<</Length 2>>stream\nab \r\n% endstream in a comment\n\t endstream 7";
    PDFParser p(text);
    EXPECT_EQ(p.parseObject().stream()->data, "ab");
    EXPECT_EQ(p.position(), static_cast<std::int64_t>(text.size()) - 2);
    // "endstream" must be a whole token there.
    EXPECT_EQ(parse("<</Length 2>>stream\nabendstreamX\nendstream").stream()->data, "ab");
    EXPECT_EQ(parse("<</Length 2>>stream\nab%\nendstreamX endstream").stream()->data, "ab%");
    // A long gap is followed as far as the first "endstream" after the data start.
    const std::string gap(5000, ' ');
    EXPECT_EQ(parse("<</Length 2>>stream\nab" + gap + "endstream").stream()->data, "ab");
    EXPECT_EQ(parse("<</Length 2>>stream\nab%" + gap + "\nendstream").stream()->data, "ab");
    // Data holding "endstream" are read by their length when it leads to "endstream" soon after.
    EXPECT_EQ(parse("<</Length 12>>stream\nxx endstream\r\n endstream").stream()->data, "xx endstream");
    EXPECT_EQ(parse("<</Length 12>>stream\nxx endstream" + gap + "endstream").stream()->data, "xx ");
    EXPECT_EQ(errorOf("<</Length 2>>stream\nab" + gap), "Stream sin endstream");
}

TEST(PDFParser, FarLengthsDoNotRescanTheBuffer) {
    // Every stream's /Length points into the same long run of white space, while each stream's
    // own "endstream" follows its data. Skipping that run once per stream would take seconds.
    const int count = 5000;
    const std::size_t run = 2 << 20;
    const std::string item = "<</Length 0000000000>>stream\nX\nendstream ";
    const std::size_t total = 2 + count * item.size();
    std::string text = "[";
    for (int i = 0; i < count; ++i) {
        std::string next = item;
        const std::size_t dataStart = text.size() + item.find("stream\n") + 7;
        const std::string length = std::to_string(total + 100 - dataStart);
        next.replace(20 - length.size(), length.size(), length);
        text += next;
    }
    text += "]" + std::string(run, ' ') + "x";
    const double start = testutil::processorSeconds();
    const PDFObject array = parse(text);
    const double seconds = testutil::processorSeconds() - start;
    ASSERT_EQ(array.array()->size(), static_cast<std::size_t>(count));
    EXPECT_EQ(array.array()->back().stream()->data, "X");
    EXPECT_LT(seconds, 1.0);
}

TEST(PDFParser, ReachCountsWhatLookAheadRead) {
    // Each look-ahead goes back, but reach() reports how far it read.
    const std::string gap(1000, ' ');
    // The parser views its buffer: each text is kept alive beside it.
    const std::string numberText = "5" + gap + "X";
    PDFParser number(numberText);
    EXPECT_EQ(number.parseObject(), I(5));
    EXPECT_EQ(number.position(), 1);
    EXPECT_EQ(number.reach(), 1002);
    const std::string dictionaryText = "<<>>" + gap + "X";
    PDFParser dictionary(dictionaryText);
    dictionary.parseObject();
    EXPECT_EQ(dictionary.position(), 4);
    EXPECT_EQ(dictionary.reach(), 1005);
    const std::string indirectText = "1 0 obj (a)" + gap + "X";
    PDFParser indirect(indirectText);
    indirect.parseIndirectObject();
    EXPECT_EQ(indirect.position(), 11);
    EXPECT_EQ(indirect.reach(), 1012);
    const std::string tokenText = gap + "abc";
    PDFParser token(tokenText, 10);
    EXPECT_FALSE(token.consume("xyz"));
    EXPECT_EQ(token.position(), 10);
    EXPECT_EQ(token.reach(), 1003);
    // A parser that only moves forward reaches its position.
    PDFParser plain("(abc) 7", 0);
    plain.parseObject();
    EXPECT_EQ(plain.reach(), plain.position());
}

TEST(PDFParser, IndirectLengthGoesThroughTheCallback) {
    const std::string text = "<</Length 8 0 R>>stream\nab endstream\nendstream";
    std::vector<PDFRef> asked;
    PDFParser p(text, 0, [&](PDFRef ref) -> std::optional<std::int64_t> {
        asked.push_back(ref);
        return 12;
    });
    EXPECT_EQ(p.parseObject().stream()->data, "ab endstream");
    EXPECT_EQ(asked, std::vector<PDFRef>{PDFRef(8)});
    // Without a callback, or with no answer, the first "endstream" ends the data.
    EXPECT_EQ(parse(text).stream()->data, "ab ");
    PDFParser q(text, 0, [](PDFRef) { return std::optional<std::int64_t>(); });
    EXPECT_EQ(q.parseObject().stream()->data, "ab ");
}

TEST(PDFParser, Nesting) {
    EXPECT_NO_THROW(parse(std::string(100, '[') + std::string(100, ']')));
    EXPECT_EQ(errorOf(std::string(101, '[') + std::string(101, ']')), "Demasiados objetos anidados en la posición 100");
    std::string dicts;
    for (int i = 0; i < 100; ++i) dicts += "<</A ";
    dicts += "1";
    for (int i = 0; i < 100; ++i) dicts += ">>";
    EXPECT_EQ(errorOf(dicts), "Demasiados objetos anidados en la posición 500");
    // The depth is restored after a failure, so the same parser goes on.
    const std::string deep = std::string(101, '[') + " 5";
    PDFParser p(deep);
    EXPECT_THROW(p.parseObject(), PDFError);
    p.setPosition(102);
    EXPECT_EQ(p.parseObject(), I(5));
}

TEST(PDFParser, Errors) {
    EXPECT_EQ(errorOf(""), "Fin inesperado del PDF");
    EXPECT_EQ(errorOf("  % only a comment"), "Fin inesperado del PDF");
    EXPECT_EQ(errorOf("  {"), "Carácter inesperado en la posición 2");
    EXPECT_EQ(errorOf(")"), "Carácter inesperado en la posición 0");
    EXPECT_EQ(errorOf("[1 >]"), "Carácter inesperado en la posición 3");
    EXPECT_EQ(errorOf(" abc"), "Token inesperado «abc» en la posición 1");
    EXPECT_EQ(errorOf("[1 2 Rx]"), "Token inesperado «Rx» en la posición 5");
    EXPECT_EQ(errorOf("1.2.3"), "Token inesperado «1.2.3» en la posición 0");
    EXPECT_EQ(errorOf("\v5"), "Token inesperado «\v5» en la posición 0");
    EXPECT_EQ(errorOf("\xFF"), "Token inesperado «\uFFFD» en la posición 0");
    EXPECT_EQ(errorOf("[1 2"), "Array sin cerrar");
    EXPECT_EQ(errorOf("(abc"), "Cadena sin cerrar");
    EXPECT_EQ(errorOf("(abc\\"), "Cadena sin cerrar");
    EXPECT_EQ(errorOf("<414"), "Cadena hexadecimal sin cerrar");
    EXPECT_EQ(errorOf("<</A 1"), "Diccionario sin cerrar");
    EXPECT_EQ(errorOf("<</A 1>"), "Diccionario sin cerrar");
    EXPECT_EQ(errorOf("<</A (x)"), "Diccionario sin cerrar");
    EXPECT_EQ(errorOf("<</A"), "Fin inesperado del PDF");
    EXPECT_EQ(errorOf("<</Length 3>>stream\nabc"), "Stream sin endstream");

    const auto indirectError = [](std::string_view text) {
        try {
            PDFParser(text).parseIndirectObject();
        } catch (const PDFError& e) {
            return std::string(e.what());
        }
        return std::string("(no error)");
    };
    EXPECT_EQ(indirectError("12 0 ob"), "No hay un objeto en la posición 7");
    EXPECT_EQ(indirectError("x 0 obj"), "No hay un objeto en la posición 1");
    EXPECT_EQ(indirectError("12 (a) obj 1"), "No hay un objeto en la posición 3");
    EXPECT_EQ(indirectError("1 0 obj {"), "Carácter inesperado en la posición 8");
}

TEST(PDFParser, IndirectObjects) {
    PDFParser p("7 1 obj\n<</A 1>>\nendobj\n8 0 obj 5 9 0 obj");
    auto [ref, object] = p.parseIndirectObject();
    EXPECT_EQ(ref, PDFRef(7, 1));
    EXPECT_EQ(*object.dictionary()->get("A"), I(1));
    EXPECT_EQ(p.position(), 23);
    auto [ref2, object2] = p.parseIndirectObject();  // no "endobj": accepted
    EXPECT_EQ(ref2, PDFRef(8));
    EXPECT_EQ(object2, I(5));
    EXPECT_EQ(p.position(), 33);
}

TEST(PDFParser, Tokenizer) {
    PDFParser p("  %c1\r\n%c2\n  xref\n0 6\ntrailer<<");
    EXPECT_FALSE(p.consume("trailer"));
    EXPECT_EQ(p.position(), 0);
    EXPECT_TRUE(p.consume("xref"));
    EXPECT_EQ(p.readToken(), "0");
    EXPECT_EQ(p.readToken(), "6");
    EXPECT_EQ(p.readToken(), "trailer");
    EXPECT_EQ(p.readToken(), "");
    EXPECT_EQ(p.position(), 29);  // stays on "<"
    PDFParser end("abc %x");
    EXPECT_EQ(end.readToken(), "abc");
    end.skipWhitespace();
    EXPECT_TRUE(end.atEnd());
    EXPECT_EQ(end.readToken(), "");
    EXPECT_TRUE(PDFParser::isWhitespace(0) && PDFParser::isWhitespace('\f') && !PDFParser::isWhitespace('\v'));
    EXPECT_TRUE(PDFParser::isDelimiter('{') && !PDFParser::isDelimiter('#'));
    EXPECT_EQ(PDFParser::integerToken("-0"), 0);
    EXPECT_EQ(PDFParser::integerToken("+12"), 12);
    EXPECT_EQ(PDFParser::integerToken("-9223372036854775808"), INT64_MIN);
    EXPECT_EQ(PDFParser::integerToken("9223372036854775808"), std::nullopt);
    EXPECT_EQ(PDFParser::integerToken("+"), std::nullopt);
    EXPECT_EQ(PDFParser::integerToken("1.0"), std::nullopt);
    EXPECT_EQ(PDFParser::hexValue('f'), 15);
    EXPECT_EQ(PDFParser::hexValue('g'), std::nullopt);
    PDFParser negative("1", -5);
    EXPECT_TRUE(negative.atEnd());
    EXPECT_THROW(negative.parseObject(), PDFError);
}

TEST(PDFParser, Find) {
    const std::string hay = "abcabc";
    EXPECT_EQ(PDFParser::find("bc", hay, 0), 1);
    EXPECT_EQ(PDFParser::find("bc", hay, 2), 4);
    EXPECT_EQ(PDFParser::find("bc", hay, 5), std::nullopt);
    EXPECT_EQ(PDFParser::find("bc", hay, 99), std::nullopt);
    EXPECT_EQ(PDFParser::find("", hay, 0), std::nullopt);
    EXPECT_EQ(PDFParser::find("a", hay, -1), std::nullopt);
    EXPECT_EQ(PDFParser::findLast("bc", hay, 6), 4);
    EXPECT_EQ(PDFParser::findLast("bc", hay, 5), 1);
    EXPECT_EQ(PDFParser::findLast("bc", hay, 100), 4);
    EXPECT_EQ(PDFParser::findLast("bc", hay, 1), std::nullopt);
    EXPECT_EQ(PDFParser::findLast("bc", hay, -1), std::nullopt);
    EXPECT_EQ(PDFParser::findLast("", hay, 6), std::nullopt);
}

}  // namespace

#include "profile/ProfileParser.h"

#include <gtest/gtest.h>

#include <unicode/regex.h>

#include <atomic>
#include <thread>

using ProfileParser::matches;

TEST(Matching, GroupsAndRanges) {
    auto m = matches("(a)(x)?(b)", "--ab--ab");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].whole, "ab");
    EXPECT_EQ(m[0].groups, (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(m[0].range, (TextRange{2, 4}));
    EXPECT_EQ(m[1].range, (TextRange{6, 8}));
    EXPECT_TRUE(matches("a(b", "ab").empty());
    EXPECT_TRUE(matches("ab", "ab")[0].groups.empty());
}

TEST(Matching, IcuFeaturesTheRecognisersNeed) {
    EXPECT_EQ(matches(R"((?i)razón)", "RAZÓN").size(), 1u);
    EXPECT_EQ(matches(R"((?<!\d)\d{3}(?!\d))", "1234 567").size(), 1u);
    EXPECT_EQ(matches(R"(^\p{L}+$)", "Peñíscola").size(), 1u);
    EXPECT_EQ(matches(R"(\bcalle\b)", "ñcalle").size(), 0u);  // ñ is a word character
    EXPECT_EQ(matches("a+?", "aaa").size(), 3u);
}

TEST(Matching, PositionsAreUtf16Offsets) {
    // "😀" is two UTF-16 units; "é" one.
    auto m = matches("x", "é😀x");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].range, (TextRange{3, 4}));
}

TEST(Matching, NeverSplitsAUserPerceivedCharacter) {
    // e + COMBINING ACUTE: a pattern for the bare e must not cut the character in two.
    const std::string decomposed = "cafe\xCC\x81 y te";
    auto m = matches("e", decomposed);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].range, (TextRange{9, 10}));
    // A flag emoji is two regional indicators: half of it is no match.
    EXPECT_TRUE(matches("\\x{1F1EA}", "\xF0\x9F\x87\xAA\xF0\x9F\x87\xB8").empty());
    EXPECT_EQ(matches("\\x{1F1EA}\\x{1F1F8}", "\xF0\x9F\x87\xAA\xF0\x9F\x87\xB8").size(), 1u);
}

TEST(Matching, ReusedPatternsKeepTheirOptionsAndFaults) {
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(matches("abc", "ABC").empty());
        EXPECT_EQ(matches("abc", "ABC", UREGEX_CASE_INSENSITIVE).size(), 1u);
        EXPECT_TRUE(matches("a(b", "ab").empty());
    }
    // Far more distinct patterns than are kept compiled: each still gives its own matches.
    for (int i = 0; i < 600; ++i) {
        const std::string n = std::to_string(i);
        auto found = matches("x" + n + "(y)?", "x" + n + "y");
        ASSERT_EQ(found.size(), 1u) << n;
        EXPECT_EQ(found[0].groups, (std::vector<std::string>{"y"}));
    }
}

// The parse shares compiled patterns between threads; concurrent parses give the serial result.
TEST(Matching, ConcurrentParsesAgree) {
    const std::string text =
        "Pruebas SL\nNIF: B12345674\nC/ Mayor, 12 3º Dcha\n28013 Madrid\nTeléfono: 912 345 678\n"
        "IBAN ES91 2100 0418 4502 0005 1332\ninfo@pruebas.es\nTomo 1, folio 2, hoja M-3";
    const auto expected = ProfileParser::facts(text);
    ASSERT_GE(expected.size(), 8u);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 20; ++i) {
                if (ProfileParser::facts(text) != expected) ++mismatches;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

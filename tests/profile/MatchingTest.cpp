#include "profile/ProfileParser.h"

#include <gtest/gtest.h>

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

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

#include "platform/Regex.h"

// search() keeps one matcher per pattern and thread: patterns searched in turn, a pattern made
// after another was destroyed, and other threads must all see their own pattern's answers.
TEST(Regex, SearchReusesMatchersWithoutMixingPatterns) {
    const Regex word(R"(\bfirma\b)", Regex::caseInsensitive);
    const Regex anchored("^en$");
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(word.search(u"Lugar y FIRMA"));
        EXPECT_FALSE(anchored.search(u"Lugar y FIRMA"));
        EXPECT_TRUE(anchored.search(std::string_view("en")));
        EXPECT_FALSE(word.search(std::string_view("firmante")));
    }
    {
        const Regex gone("nunca");
        EXPECT_TRUE(gone.search(u"nunca"));
    }
    const Regex next("otra");  // may take the destroyed pattern's place in the cache
    EXPECT_FALSE(next.search(u"nunca"));
    EXPECT_TRUE(next.search(u"otra vez"));

    bool other = false;
    std::thread([&] { other = word.search(u"firma") && !anchored.search(u"firma"); }).join();
    EXPECT_TRUE(other);
}

TEST(Regex, ConstantPatternsMustCompile) {
    EXPECT_FALSE(Regex("(sin cerrar").isValid());
    EXPECT_FALSE(Regex("(sin cerrar").search(u"(sin cerrar"));
    EXPECT_THROW(Regex::constant("(sin cerrar"), std::logic_error);
    EXPECT_TRUE(Regex::constant("a+").search(u"caa"));
}

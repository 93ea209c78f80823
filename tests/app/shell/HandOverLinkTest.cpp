// A link handed over in the environment becomes the process's last argument and leaves the
// environment; anything else there is dropped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/HandOverLink.h"

TEST(HandOverLink, ALinkInTheEnvironmentBecomesTheLastArgumentAndLeavesTheEnvironment) {
    const std::string link = "tindra://firmar?clave=0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0&ruta=%2Fa%20b.pdf";
    ::setenv(HandOverLink::variable, link.c_str(), 1);
    char program[] = "tindra";
    char* argv[] = {program, nullptr};
    std::string storage;
    const auto arguments = HandOverLink::arguments(1, argv, storage);
    ASSERT_EQ(arguments.size(), 3u);
    EXPECT_STREQ(arguments[0], "tindra");
    EXPECT_EQ(std::string(arguments[1]), link);
    EXPECT_EQ(arguments[2], nullptr);
    EXPECT_EQ(std::getenv(HandOverLink::variable), nullptr);

    // Nothing there: the arguments as they were.
    const auto unchanged = HandOverLink::arguments(1, argv, storage);
    ASSERT_EQ(unchanged.size(), 2u);
    EXPECT_EQ(unchanged[1], nullptr);

    // Any letter case of the scheme is a link; a path, an empty value or an overlong text is not,
    // and is removed all the same.
    ::setenv(HandOverLink::variable, "TINDRA://firmar?clave=x", 1);
    EXPECT_EQ(HandOverLink::take(), "TINDRA://firmar?clave=x");
    for (const std::string& other : {std::string("/home/ana/contrato.pdf"), std::string(),
                                     "tindra://" + std::string(HandOverLink::maxLength, 'a')}) {
        ::setenv(HandOverLink::variable, other.c_str(), 1);
        EXPECT_EQ(HandOverLink::take(), std::nullopt);
        EXPECT_EQ(std::getenv(HandOverLink::variable), nullptr);
    }
}

#include "forms/plan/Banks.h"
#include "forms/plan/Provinces.h"

#include <gtest/gtest.h>

TEST(Provinces, FirstTwoCharactersOfAFiveCharacterPostcode) {
    EXPECT_EQ(Provinces::name(std::string("28013")), "Madrid");
    EXPECT_EQ(Provinces::name(std::string("52001")), "Melilla");
    EXPECT_EQ(Provinces::name(std::string("01001")), "Álava");
    EXPECT_EQ(Provinces::name(std::string("38001")), "Santa Cruz de Tenerife");
    EXPECT_EQ(Provinces::name(std::string("28A1B")), "Madrid");  // the last three are not read
    EXPECT_EQ(Provinces::name(std::string("+1234")), "Álava");   // a sign is accepted
}

TEST(Provinces, NoProvinceForOtherTexts) {
    for (const char* postcode : {"00123", "53000", "2801", "280134", "-1234", "A8013", " 2801", ""})
        EXPECT_EQ(Provinces::name(std::string(postcode)), std::nullopt) << postcode;
    EXPECT_EQ(Provinces::name(std::nullopt), std::nullopt);
    // Five user-perceived characters, more code points: a combining accent joins its letter.
    EXPECT_EQ(Provinces::name(std::string("28e\xCC\x81" "13")), "Madrid");
}

TEST(Banks, NameFromTheBankCodeOfASpanishIBAN) {
    EXPECT_EQ(Banks::names().size(), 24u);
    EXPECT_EQ(Banks::name("ES91 2100 0418 4502 0005 1332"), "CaixaBank");
    EXPECT_EQ(Banks::name("es91-2100-0418-4502-0005-1332"), "CaixaBank");
    EXPECT_EQ(Banks::name("ES9121000418450200051332"), "CaixaBank");
    EXPECT_EQ(Banks::name("ES79 3025 0001 1914 3340 0001"), "Caixa d'Enginyers");
    EXPECT_EQ(Banks::name("ES91 9999 0418 4502 0005 1332"), std::nullopt);  // unknown code
    EXPECT_EQ(Banks::name("FR91 2100 0418 4502 0005 1332"), std::nullopt);  // another country
    EXPECT_EQ(Banks::name("ES91 2100 0418 4502 0005 133"), std::nullopt);   // 23 characters
    EXPECT_EQ(Banks::name(""), std::nullopt);
}

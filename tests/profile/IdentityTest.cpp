#include "profile/Identity.h"
#include "profile/ProfileParser.h"

#include <gtest/gtest.h>

TEST(Identity, CifAcceptsDigitOrLetterControl) {
    for (const char* valid : {"B12345674", "B1234567D", "b12345674", "A0000000J", "A00000000", "Q2826000H"}) {
        EXPECT_TRUE(Identity::isCIF(valid)) << valid;
    }
    for (const char* invalid : {"I12345674", "K12345674", "X12345674", "B-1234567-4", "B12345675", "B1234567",
                                "B123456744", "B1234567Ñ", "", "B12345 674"}) {
        EXPECT_FALSE(Identity::isCIF(invalid)) << invalid;
    }
}

TEST(Identity, DniAndNie) {
    for (const char* valid : {"12345678Z", "12345678z", "X1234567L", "Y1234567X", "Z1234567R", "00000000T"}) {
        EXPECT_TRUE(Identity::isDNI(valid)) << valid;
    }
    for (const char* invalid : {"1234567Z", "12345678A", "X1234567A", "123456789", "", "Z", "12345678Ñ",
                                "W1234567L", "١٢٣٤٥٦٧٨Z"}) {
        EXPECT_FALSE(Identity::isDNI(invalid)) << invalid;
    }
}

TEST(Identity, Iban) {
    EXPECT_TRUE(Identity::isIBAN("ES9121000418450200051332"));
    EXPECT_TRUE(Identity::isIBAN("GB82WEST12345698765432"));
    EXPECT_TRUE(Identity::isIBAN("es9121000418450200051332"));
    EXPECT_FALSE(Identity::isIBAN("ES9221000418450200051332"));  // changed check digit
    EXPECT_FALSE(Identity::isIBAN("ES91210004184"));             // 13
    EXPECT_FALSE(Identity::isIBAN("ES9121000418450"));           // 15 but wrong
    EXPECT_FALSE(Identity::isIBAN("ES912100041845"));            // 14
    EXPECT_FALSE(Identity::isIBAN(std::string("ES91") + std::string(31, '0')));  // 35
    EXPECT_FALSE(Identity::isIBAN("ES91 2100 0418 4502 0005 1332"));
    EXPECT_FALSE(Identity::isIBAN("ES91-2100-0418-4502-0005-1332"));
    EXPECT_FALSE(Identity::isIBAN("ÉS9121000418450200051332"));
    EXPECT_FALSE(Identity::isIBAN("129121000418450200051332"));
}

TEST(Identity, DisplayForms) {
    EXPECT_EQ(Identity::grouped("ES9121000418450200051332"), "ES91 2100 0418 4502 0005 1332");
    EXPECT_EQ(Identity::grouped("ABCDEFGHIJ"), "ABCD EFGH IJ");
    EXPECT_EQ(Identity::grouped(""), "");
    EXPECT_EQ(Identity::grouped("ÁÉÍÓÚ"), "ÁÉÍÓ Ú");
    EXPECT_EQ(Identity::phone("912345678"), "912 345 678");
    EXPECT_EQ(Identity::phone("34912345678"), "912 345 678");
}

TEST(Identity, MainOwnerNeedsAValidCif) {
    EXPECT_EQ(ProfileParser::mainOwner("Empresa\nCIF B-1234567-4"), ProfileFact::Owner::company);
    EXPECT_EQ(ProfileParser::mainOwner("CIF B12345675, DNI 12345678Z"), ProfileFact::Owner::person);
    EXPECT_EQ(ProfileParser::mainOwner(""), ProfileFact::Owner::person);
}

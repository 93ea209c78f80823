#include <gtest/gtest.h>

#include "signing/SignatureCopy.h"

namespace {

using nlohmann::json;

TEST(SignatureCopyCoding, RoundTripsWithTheExactKeys) {
    SignatureCopy card{2, Rect{10.5, 20, 150, 40.25}};
    json encoded = card;
    EXPECT_EQ(encoded.dump(), R"({"pageIndex":2,"rect":[[10.5,20.0],[150.0,40.25]]})");
    EXPECT_EQ(encoded.get<SignatureCopy>(), card);

    SignatureCopy handwritten{0, Rect{1, 2, 3, 4}, true};
    EXPECT_EQ(json(handwritten).dump(),
              R"({"handwritten":true,"pageIndex":0,"rect":[[1.0,2.0],[3.0,4.0]]})");
    EXPECT_EQ(json(handwritten).get<SignatureCopy>(), handwritten);
    SignatureCopy notHandwritten{0, Rect{1, 2, 3, 4}, false};
    EXPECT_EQ(json(notHandwritten).get<SignatureCopy>().handwritten, std::optional<bool>(false));
    EXPECT_NE(notHandwritten, (SignatureCopy{0, Rect{1, 2, 3, 4}}));  // false is not absent

    // A list as the recent-signature records keep it.
    std::vector<SignatureCopy> copies = {card, handwritten};
    EXPECT_EQ(json::parse(json(copies).dump()).get<std::vector<SignatureCopy>>(), copies);
}

TEST(SignatureCopyCoding, ReadsWhatOtherWritersProduce) {
    auto copy =
        json::parse(R"({"rect":[[5,6],[-7,8]],"pageIndex":3.0,"extra":1,"handwritten":null})")
            .get<SignatureCopy>();
    EXPECT_EQ(copy.pageIndex, 3);
    EXPECT_EQ(copy.rect, (Rect{-2, 6, 7, 8}));
    EXPECT_EQ(copy.handwritten, std::nullopt);
}

TEST(SignatureCopyCoding, RejectsIncompleteOrIllTypedCopies) {
    for (const char* text : {
             R"({"rect":[[0,0],[1,1]]})",                // no pageIndex
             R"({"pageIndex":0})",                       // no rect
             R"({"PageIndex":0,"rect":[[0,0],[1,1]]})",  // keys match exactly
             R"({"pageIndex":"0","rect":[[0,0],[1,1]]})",
             R"({"pageIndex":1.5,"rect":[[0,0],[1,1]]})",
             R"({"pageIndex":99999999999,"rect":[[0,0],[1,1]]})",
             R"({"pageIndex":0,"rect":[0,0,1,1]})",
             R"({"pageIndex":0,"rect":[[0,0],[1,"1"]]})",
             R"({"pageIndex":0,"rect":[[0,0],[1,1]],"handwritten":1})",
             R"([0,[[0,0],[1,1]]])",
         }) {
        EXPECT_THROW(json::parse(text).get<SignatureCopy>(), std::runtime_error) << text;
    }
    try {
        json::parse(R"({"rect":[[0,0],[1,1]]})").get<SignatureCopy>();
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "La copia de la firma guardada no es válida: falta «pageIndex».");
    }
}

}  // namespace

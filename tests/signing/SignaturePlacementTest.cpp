#include <gtest/gtest.h>

#include "CardTestSupport.h"
#include "signing/SignaturePlacement.h"
#include "signing/VisibleSignature.h"

namespace {

TEST(SignaturePlacement, FirstPageAreaAndDefaults) {
    const Rect rect{100, 80, 250, 72};
    const SignaturePlacement placement{SignaturePlacement::Target::area(1, rect), 0, rect,
                                       "Después del texto de la página 1", "", false};
    EXPECT_EQ(placement.pageIndex, 0);
    ASSERT_TRUE(placement.target.isArea());
    EXPECT_FALSE(placement.target.asField());
    EXPECT_EQ(placement.target.asArea()->page, 1);
    EXPECT_EQ(placement.target.asArea()->rect, rect);
    EXPECT_FALSE(placement.isSignatureBox);
    EXPECT_EQ(placement.rank, 1);

    SignaturePlacement field{SignaturePlacement::Target::field("Firmas.Solicitante"), 2, rect,
                             "Campo de firma", "Firmas.Solicitante", true, true, 1};
    field.rank = 3;
    ASSERT_TRUE(field.target.isField());
    EXPECT_EQ(field.target.asField()->name, "Firmas.Solicitante");
    EXPECT_EQ(field.rank, 3);

    const VisibleSignature visible{placement, SignatureStamp{cardtest::personalCertificate(),
                                                             cardtest::sampleDate(), false, true}};
    const VisibleSignature copy = visible;
    EXPECT_EQ(copy.placement.rect, rect);
    EXPECT_EQ(copy.stamp.certificate.holder, "Juan Español Pérez");
}

}  // namespace

// A widget without /P listed in an /Annots array that several pages share: the reader and the
// filler give it the same page, the first page that lists it.

#include <gtest/gtest.h>

#include "forms/fill/FormFiller.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"

TEST(SharedAnnots, AWidgetWithoutPageLiesOnTheFirstPageListingIt) {
    // Field x has two widgets: 10 in the array 20 that pages 0 and 1 share, 11 on page 2.
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [9 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>");
    for (int page = 3; page <= 4; ++page)
        w.object(page, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots 20 0 R >>");
    w.object(5, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [11 0 R] >>");
    w.object(9, "<< /FT /Tx /T (x) /Kids [10 0 R 11 0 R] >>");
    w.object(10, "<< /Type /Annot /Subtype /Widget /Parent 9 0 R /Rect [100 700 300 716] >>");
    w.object(11, "<< /Type /Annot /Subtype /Widget /Parent 9 0 R /Rect [100 500 300 516] >>");
    w.object(20, "[10 0 R]");
    const std::string pdf = w.finishClassic("/Root 1 0 R");

    PDFFile file(pdf);
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].pageIndex, 0);
    EXPECT_EQ(fields[1].pageIndex, 2);
    const std::vector<FormFiller::Widget> widgets = FormFiller::collect(file);
    ASSERT_EQ(widgets.size(), 2u);
    EXPECT_EQ(widgets[0].pageIndex, 0);
    EXPECT_EQ(widgets[1].pageIndex, 2);

    // The reader's field fills the widget it read, and only that one gets an appearance.
    const std::string out =
        FormFiller::fill(pdf, {{fields[0].name, fields[0].pageIndex, fields[0].rect, "Uno"}});
    PDFFile filled(out);
    const PDFDictionary* first = filled.dictionary(filled.object(PDFRef{10, 0}));
    const PDFDictionary* second = filled.dictionary(filled.object(PDFRef{11, 0}));
    ASSERT_TRUE(first && second);
    EXPECT_TRUE(first->contains("AP"));
    EXPECT_FALSE(second->contains("AP"));
}

TEST(SharedAnnots, AWidgetListedOnTwoPagesIsOneFieldOfTheFirst) {
    // Widget 10 is listed by page 0 and again, in another array, by page 1.
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [9 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [10 0 R] >>");
    w.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [10 0 R 11 0 R] >>");
    w.object(9, "<< /FT /Tx /T (x) /Kids [10 0 R 11 0 R] >>");
    w.object(10, "<< /Type /Annot /Subtype /Widget /Parent 9 0 R /Rect [100 700 300 716] >>");
    w.object(11, "<< /Type /Annot /Subtype /Widget /Parent 9 0 R /Rect [100 500 300 516] >>");
    const std::string pdf = w.finishClassic("/Root 1 0 R");

    PDFFile file(pdf);
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].pageIndex, 0);
    EXPECT_EQ(fields[1].pageIndex, 1);
    const std::vector<FormFiller::Widget> widgets = FormFiller::collect(file);
    ASSERT_EQ(widgets.size(), 2u);
    EXPECT_EQ(widgets[0].pageIndex, 0);
    EXPECT_EQ(widgets[1].pageIndex, 1);
    std::vector<FormFill> fills;
    for (const FormField& f : fields) fills.push_back({f.name, f.pageIndex, f.rect, "Uno"});
    EXPECT_NO_THROW(FormFiller::fill(pdf, fills));
}

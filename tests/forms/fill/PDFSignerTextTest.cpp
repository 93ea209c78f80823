// Field appearances: the /DA size, the text's size and layout, the rotated form XObject.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "FillFixtures.h"
#include "FillOracles.h"
#include "FillTestSupport.h"
#include "forms/fill/FormFiller.h"
#include "forms/fill/PDFSignerText.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFSerializer.h"

using namespace fillfixtures;

namespace {

FormFiller::Widget widget(std::int64_t flags = 0, std::int64_t maxLength = 0, double fontSize = 0,
                          std::int64_t alignment = 0) {
    FormFiller::Widget w;
    w.flags = flags;
    w.maxLength = maxLength;
    w.fontSize = fontSize;
    w.alignment = alignment;
    return w;
}

std::string entry(const PDFDictionary& dictionary, const char* key) {
    const PDFObject* value = dictionary.get(key);
    return value ? PDFSerializer::data(*value) : std::string();
}

}  // namespace

TEST(PDFSignerText, ReadsTheSizeOfTheFirstTfOperator) {
    EXPECT_EQ(PDFSignerText::fontSize("/Helv 12 Tf 0 g"), 12.0);
    EXPECT_EQ(PDFSignerText::fontSize("0 g /Helv 9.5 Tf"), 9.5);
    EXPECT_EQ(PDFSignerText::fontSize("/Helv 0 Tf 0 g"), 0.0);
    EXPECT_EQ(PDFSignerText::fontSize("/Helv  1e1   Tf"), 10.0);
    EXPECT_EQ(PDFSignerText::fontSize("/Helv -3 Tf /Helv 4 Tf"), -3.0);
    EXPECT_EQ(PDFSignerText::fontSize("Tf 12"), std::nullopt);
    EXPECT_EQ(PDFSignerText::fontSize("/Helv Tf"), std::nullopt);
    EXPECT_EQ(PDFSignerText::fontSize("/Helv\t12 Tf"), std::nullopt);
    EXPECT_EQ(PDFSignerText::fontSize(""), std::nullopt);
}

TEST(PDFSignerText, ChoosesTheSizeByKindAndBox) {
    // 0.62 x 20 = 12.4, capped at 12; the line (about 13.4 points) fits 19.
    EXPECT_EQ(PDFSignerText::drawingSize("Ana", {200, 20}, widget()), 12);
    // 5 points high: starts at 6, the line does not fit 4 points, ends at the minimum.
    EXPECT_EQ(PDFSignerText::drawingSize("Ana", {200, 5}, widget()), 5);
    // Multiline: 10 without fitting, even in a low box.
    EXPECT_EQ(PDFSignerText::drawingSize("Ana", {200, 8}, widget(PDFSignerText::multilineFlag)),
              10);
    // A /DA size is kept when the line fits, lowered to the line height when it does not.
    EXPECT_EQ(PDFSignerText::drawingSize("Ana", {200, 30}, widget(0, 0, 9)), 9);
    EXPECT_LT(PDFSignerText::drawingSize("Ana", {200, 12}, widget(0, 0, 20)), 10.5);
    // A long text in a narrow field shrinks to 5 and overflows; a shorter one shrinks by halves.
    const std::string longText(60, 'W');
    EXPECT_EQ(PDFSignerText::drawingSize(longText, {60, 20}, widget()), 5);
    const double shrunk = PDFSignerText::drawingSize("Ayuntamiento", {60, 20}, widget());
    EXPECT_GT(shrunk, 5);
    EXPECT_LT(shrunk, 12);
    EXPECT_EQ(std::fmod(shrunk, 0.5), 0);
    // A huge size from /DA comes down to the box quickly.
    EXPECT_LE(PDFSignerText::drawingSize(longText, {14400, 30}, widget(0, 0, 1e9)), 29);
}

TEST(PDFSignerText, RendersNothingOutsideTheRenderingLimits) {
    EXPECT_FALSE(PDFSignerText::render("x", {0.5, 20}, widget()));
    EXPECT_FALSE(PDFSignerText::render("x", {20000, 20}, widget()));
    EXPECT_TRUE(PDFSignerText::render("x", {20, 20}, widget()));
}

TEST(PDFSignerText, CombPutsOneCharacterInEachCell) {
    auto pdf = PDFSignerText::render("1234567", {100, 20}, widget(PDFSignerText::combFlag, 5));
    ASSERT_TRUE(pdf);
    std::string shown = filloracles::text(*pdf);
    shown.erase(std::remove_if(shown.begin(), shown.end(), ::isspace), shown.end());
    EXPECT_EQ(shown, "12345");
    auto gray = filloracles::raster(*pdf, 1, 288);
    for (int cell = 0; cell < 5; ++cell) {
        // Ink around the middle of each fifth, none at its borders.
        EXPECT_GT(gray.inkIn({cell * 20.0 + 5, 0, 10, 20}, 20), 0) << cell;
        EXPECT_EQ(gray.inkIn({cell * 20.0, 0, 2, 20}, 20), 0) << cell;
        EXPECT_EQ(gray.inkIn({cell * 20.0 + 18, 0, 2, 20}, 20), 0) << cell;
    }
}

TEST(PDFSignerText, MultilineWrapsFromTheTopAndDropsWhatDoesNotFit) {
    std::string words;
    for (int i = 0; i < 60; ++i) words += "palabra ";
    auto pdf = PDFSignerText::render(words, {200, 50}, widget(PDFSignerText::multilineFlag));
    ASSERT_TRUE(pdf);
    auto gray = filloracles::raster(*pdf, 1, 144);
    EXPECT_GT(gray.inkIn({2, 36, 196, 12}, 50), 0);  // the first line under the top margin
    EXPECT_EQ(gray.inkIn({0, 0, 200, 2}, 50), 0);    // nothing in the bottom margin
    EXPECT_EQ(gray.inkIn({0, 0, 2, 50}, 50), 0);     // nor the left one
}

TEST(FieldAppearance, FollowsThePageRotation) {
    auto filled = [](const std::string& rotate) {
        FormSpec spec;
        spec.pages = {"/Annots [100 0 R] /Rotate " + rotate};
        spec.acroForm = "/Fields [100 0 R]";
        spec.objects[100] = textWidget("campo", {100, 500, 20, 100});
        auto out = FormFiller::fill(formPDF(spec), {{"campo", 0, {100, 500, 20, 100}, "Ana"}});
        auto appearance = filltest::appearanceOf(out, 100);
        EXPECT_TRUE(appearance);
        return appearance ? std::pair{entry(appearance->dictionary, "BBox"),
                                      entry(appearance->dictionary, "Matrix")}
                          : std::pair<std::string, std::string>{};
    };
    EXPECT_EQ(filled("90"),
              (std::pair<std::string, std::string>{"[0 0 100 20]", "[0 1 -1 0 0 0]"}));
    EXPECT_EQ(filled("-90").second, "[0 -1 1 0 0 0]");
    EXPECT_EQ(filled("180").second, "[-1 0 0 -1 0 0]");
    EXPECT_EQ(filled("45"), (std::pair<std::string, std::string>{"[0 0 20 100]", "[1 0 0 1 0 0]"}));
    EXPECT_EQ(filled("90.7").second, "[0 1 -1 0 0 0]");  // a real /Rotate is truncated
}

TEST(FieldAppearance, IsMarkedTextWithKeysInOrder) {
    FormSpec spec;
    spec.pages = {"/Annots [100 0 R]"};
    spec.acroForm = "/Fields [100 0 R]";
    spec.objects[100] = textWidget("campo", {100, 500, 150, 20});
    auto out = FormFiller::fill(formPDF(spec), {{"campo", 0, {100, 500, 150, 20}, "Pérez"}});
    auto appearance = filltest::appearanceOf(out, 100);
    ASSERT_TRUE(appearance);
    EXPECT_EQ(appearance->content.rfind("/Tx BMC\n", 0), 0u);
    ASSERT_GE(appearance->content.size(), 4u);
    EXPECT_EQ(appearance->content.substr(appearance->content.size() - 4), "\nEMC");
    EXPECT_EQ(appearance->dictionary.keys(),
              (std::vector<std::string>{"Type", "Subtype", "BBox", "Matrix", "Resources", "Filter",
                                        "Length"}));
    EXPECT_EQ(entry(appearance->dictionary, "BBox"), "[0 0 150 20]");
}

TEST(FieldAppearance, DegenerateOrHugeBoxesKeepTheValueWithoutAppearance) {
    FormSpec spec;
    spec.pages = {"/Annots [100 0 R 101 0 R]"};
    spec.acroForm = "/Fields [100 0 R 101 0 R]";
    spec.objects[100] = textWidget("fino", {100, 500, 1, 50}, 0, "/AP << /N 102 0 R >>");
    spec.objects[101] = textWidget("enorme", {0, 0, 20000, 20});
    spec.objects[102] = "<< >>";
    auto out = FormFiller::fill(formPDF(spec), {{"fino", 0, {100, 500, 1, 50}, "a"},
                                                {"enorme", 0, {0, 0, 20000, 20}, "b"}});
    EXPECT_NE(filltest::objectText(out, 100).find("/V (a)"), std::string::npos);
    EXPECT_NE(filltest::objectText(out, 100).find("/AP <</N 102 0 R"), std::string::npos)
        << filltest::objectText(out, 100);
    EXPECT_NE(filltest::objectText(out, 101).find("/V (b)"), std::string::npos);
    EXPECT_EQ(filltest::objectText(out, 101).find("/AP"), std::string::npos);
}

TEST(FieldAppearance, LongValuesAreKeptWholeButDrawnInPart) {
    FormSpec spec;
    spec.pages = {"/Annots [100 0 R 101 0 R]"};
    spec.acroForm = "/Fields [100 0 R 101 0 R]";
    spec.objects[100] = textWidget("linea", {100, 700, 200, 20});
    spec.objects[101] = textWidget("notas", {100, 400, 300, 200}, 0, "/Ff 4096");
    std::string value;
    for (int i = 0; i < 20000; ++i) value += "dato ";
    auto out = FormFiller::fill(formPDF(spec), {{"linea", 0, {100, 700, 200, 20}, value},
                                                {"notas", 0, {100, 400, 300, 200}, value}});
    PDFFile file(out);
    for (std::int64_t n : {100, 101}) {
        const PDFObject* v = file.dictionary(file.object({n, 0}))->get("V");
        ASSERT_TRUE(v && v->text());
        EXPECT_EQ(v->text()->size(), value.size());
        auto appearance = filltest::appearanceOf(out, n);
        ASSERT_TRUE(appearance);
        // At most 4,000 characters drawn: the whole text would take megabytes.
        EXPECT_LT(appearance->content.size(), 300000u);
    }
}

// A line break typed into a field that shows one line is no character of its own: the line, the
// comb and a drawn box too low for two lines show it as a blank.
TEST(FieldAppearance, LineBreaksOfOneLineFieldsShowAsBlanks) {
    auto filled = [](const std::string& line, const std::string& comb, const std::string& box) {
        FormSpec spec;
        spec.pages = {"/Annots [100 0 R 101 0 R]"};
        spec.acroForm = "/Fields [100 0 R 101 0 R]";
        spec.objects[100] = textWidget("linea", {100, 700, 300, 20});
        spec.objects[101] = textWidget("peine", {100, 600, 200, 20}, 0, "/Ff 16777216 /MaxLen 8");
        FormFill drawn{"", 0, {100, 500, 300, 20}, box};
        drawn.drawn = true;
        return FormFiller::fill(formPDF(spec), {{"linea", 0, {100, 700, 300, 20}, line},
                                                {"peine", 0, {100, 600, 200, 20}, comb}, drawn});
    };
    const std::string typed = filled("Calle\nMayor\u20283", "AB\nCD", "Plaza\r\nMayor");
    const std::string blanks = filled("Calle Mayor 3", "AB CD", "Plaza Mayor");
    EXPECT_EQ(filloracles::raster(typed, 1, 144).pixels, filloracles::raster(blanks, 1, 144).pixels);
    const std::string shown = filloracles::text(typed);
    EXPECT_NE(shown.find("Calle Mayor 3"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Plaza Mayor"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("\u21B5"), std::string::npos) << shown;
    // The value keeps what was typed.
    PDFFile file(typed);
    EXPECT_EQ(file.dictionary(file.object({100, 0}))->get("V")->text(), "Calle\nMayor\u20283");
}

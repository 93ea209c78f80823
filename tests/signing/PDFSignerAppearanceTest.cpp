#include "pdf/PDFError.h"
#include "pdf/PDFFile.h"
#include "pdf/PDFFilters.h"
#include "signing/PDFSigner.h"
#include "support/PDFFixtures.h"
#include "support/TestUtil.h"
#include "TestDatabase.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

PDFDictionary rectDictionary(const std::string& values) {
    std::vector<PDFObject> numbers;
    std::istringstream in(values);
    double value;
    while (in >> value) numbers.push_back(PDFObject::real(value));
    return PDFDictionary{{"Rect", PDFObject::array(numbers)}};
}

TEST(PDFSignerAppearance, RectOfAnnotation) {
    auto r = PDFSigner::rect(rectDictionary("300 700 100 650"));
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, (Rect{100, 650, 200, 50}));
    EXPECT_FALSE(PDFSigner::rect(rectDictionary("1 2 3")));
    EXPECT_FALSE(PDFSigner::rect(PDFDictionary{{"Rect", PDFObject::reference(PDFRef(4))}}));
    PDFDictionary mixed{{"Rect", PDFObject::array({PDFObject::integer(1), PDFObject::name("x"),
                                                   PDFObject::integer(2), PDFObject::real(3.5),
                                                   PDFObject::integer(4)})}};
    EXPECT_EQ(*PDFSigner::rect(mixed), (Rect{1, 2, 2.5, 2}));
}

struct Made {
    std::vector<Size> sizes;
    std::optional<PDFRef> form;
    std::string written;
};

Made appearanceOn(int rotate, Rect rect, const PDFSigner::Render& render) {
    fixtures::PageSpec page;
    page.rotate = rotate;
    PDFFile file(fixtures::pagesPDF({page}));
    PDFUpdate update(file);
    Made made;
    auto recording = [&](Size size) {
        made.sizes.push_back(size);
        return render(size);
    };
    made.form = PDFSigner::addAppearance(rect, file.pageRefs()[0], file, update, recording);
    made.written = update.write().data;
    return made;
}

PDFSigner::Render pixels(std::vector<std::uint8_t> rgba, int width, int height) {
    return [=](Size) {
        RasterImage image;
        image.width = width;
        image.height = height;
        image.rgba = rgba;
        return std::optional(PDFSigner::Appearance::image(image));
    };
}

TEST(PDFSignerAppearance, RotationBoxAndMatrix) {
    auto black = pixels({0, 0, 0, 255}, 1, 1);
    struct Case {
        int rotate;
        std::vector<double> matrix;
        bool swapped;
    };
    for (const auto& c : std::vector<Case>{{0, {1, 0, 0, 1, 0, 0}, false},
                                           {90, {0, 1, -1, 0, 0, 0}, true},
                                           {180, {-1, 0, 0, -1, 0, 0}, false},
                                           {270, {0, -1, 1, 0, 0, 0}, true},
                                           {-90, {0, -1, 1, 0, 0, 0}, true},
                                           {45, {1, 0, 0, 1, 0, 0}, false},
                                           {450, {0, 1, -1, 0, 0, 0}, true}}) {
        SCOPED_TRACE(c.rotate);
        Made made = appearanceOn(c.rotate, {100, 100, 80, 250}, black);
        ASSERT_TRUE(made.form);
        ASSERT_EQ(made.sizes.size(), 1u);
        EXPECT_EQ(made.sizes[0], c.swapped ? (Size{250, 80}) : (Size{80, 250}));
        PDFFile out(made.written);
        const PDFObject* form = out.object(*made.form);
        const PDFDictionary& d = form->stream()->dictionary;
        EXPECT_EQ(d.keys(), (std::vector<std::string>{"Type", "Subtype", "BBox", "Matrix",
                                                      "Resources", "Filter", "Length"}));
        auto bbox = *d.get("BBox")->array();
        EXPECT_EQ(bbox[0].kind(), PDFObject::Kind::integer);
        EXPECT_EQ(bbox[2].number(), c.swapped ? 250 : 80);
        EXPECT_EQ(bbox[3].number(), c.swapped ? 80 : 250);
        auto matrix = *d.get("Matrix")->array();
        for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(matrix[i].number(), c.matrix[i]);
        std::string content = PDFFilters::decode(form->stream()->data, d);
        EXPECT_EQ(content, c.swapped ? "q 250 0 0 80 0 0 cm /Im0 Do Q" : "q 80 0 0 250 0 0 cm /Im0 Do Q");
    }
    Made thin = appearanceOn(0, {10, 10, 1, 50}, black);
    EXPECT_FALSE(thin.form);
    EXPECT_TRUE(thin.sizes.empty());
    Made none = appearanceOn(0, {10, 10, 50, 50}, [](Size) { return std::nullopt; });
    EXPECT_FALSE(none.form);
    Made broken = appearanceOn(0, {10, 10, 50, 50}, pixels({1, 2, 3}, 2, 2));
    EXPECT_FALSE(broken.form);
}

TEST(PDFSignerAppearance, ImagePixelsAndSoftMask) {
    // transparent; half-transparent red (premultiplied); opaque blue.
    Made made = appearanceOn(0, {10, 10, 60, 20},
                             pixels({0, 0, 0, 0, 128, 0, 0, 128, 0, 0, 255, 255}, 3, 1));
    ASSERT_TRUE(made.form);
    PDFFile out(made.written);
    const PDFDictionary* resources =
        out.dictionary(out.object(*made.form)->stream()->dictionary.get("Resources"));
    const PDFObject* image = out.resolve(out.dictionary(resources->get("XObject"))->get("Im0"));
    ASSERT_TRUE(image && image->stream());
    const PDFDictionary& imageDictionary = image->stream()->dictionary;
    EXPECT_EQ(imageDictionary.keys(),
              (std::vector<std::string>{"Type", "Subtype", "Width", "Height", "ColorSpace",
                                        "BitsPerComponent", "Filter", "SMask", "Length"}));
    EXPECT_EQ(PDFFilters::decode(image->stream()->data, imageDictionary),
              std::string("\xFF\xFF\xFF\xFF\x00\x00\x00\x00\xFF", 9));
    const PDFObject* mask = out.resolve(imageDictionary.get("SMask"));
    EXPECT_EQ(*mask->stream()->dictionary.get("ColorSpace")->name(), "DeviceGray");
    EXPECT_EQ(PDFFilters::decode(mask->stream()->data, mask->stream()->dictionary),
              std::string("\x00\x80\xFF", 3));
}

TEST(PDFSignerAppearance, ImportPage) {
    fixtures::FixtureWriter w;
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [3 0 R] /Count 1 /Resources 6 0 R >>");
    w.object(3, "<</Type /Page /Parent 2 0 R /Contents [4 0 R 5 0 R 9 0 R] >>");
    w.stream(4, "", "0 0 m 10 10 l S", true);
    w.stream(5, "", "BT ET");
    w.object(6, "<</XObject <</A 7 0 R >> /ExtGState <</G 8 0 R >> >>");
    w.object(7, "<</Next 8 0 R /Kind (a) >>");
    w.object(8, "<</Next 7 0 R /Kind (b) >>");
    w.object(9, "(not a stream)");
    std::string appearance = w.finishClassic("/Root 1 0 R");

    PDFFile target(fixtures::textPDF(1));
    PDFUpdate update(target);
    auto [content, resources] = PDFSigner::importPage(appearance, update);
    EXPECT_EQ(content, "0 0 m 10 10 l S\nBT ET\n");
    ASSERT_TRUE(resources.reference());  // the page's /Resources was indirect
    PDFFile out(update.write().data);
    const PDFDictionary* copied = out.dictionary(&resources);
    ASSERT_TRUE(copied);
    const PDFObject* a = out.dictionary(copied->get("XObject"))->get("A");
    const PDFObject* b = out.dictionary(copied->get("ExtGState"))->get("G");
    EXPECT_EQ(*out.dictionary(out.dictionary(a)->get("Next"))->get("Kind")->stringData(), "b");
    EXPECT_EQ(*out.dictionary(b)->get("Next")->reference(), *a->reference());
    EXPECT_EQ(update.nextNumber(), target.size() + 3);  // resources, A and B, once each

    PDFUpdate other(target);
    fixtures::FixtureWriter empty;
    empty.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    empty.object(2, "<</Type /Pages /Kids [] /Count 0 >>");
    try {
        PDFSigner::importPage(empty.finishClassic("/Root 1 0 R"), other);
        FAIL();
    } catch (const PDFError& error) {
        EXPECT_STREQ(error.what(), "La apariencia no tiene página");
    }
}

// Dark pixels of a page rendered by pdftoppm (gray, 72 dpi): their bounding box in pixels from the
// top-left corner.
struct Ink {
    int minX = 1 << 30, minY = 1 << 30, maxX = -1, maxY = -1;
};

Ink inkOf(const std::string& pdf) {
    testutil::TempDir dir;
    testutil::writeFile(dir / "in.pdf", pdf);
    auto result = testutil::run({"pdftoppm", "-gray", "-r", "72", "-f", "1", "-l", "1",
                                 (dir / "in.pdf").string(), (dir / "page").string()});
    std::string pgm;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        if (entry.path().extension() == ".pgm") pgm = testutil::readFile(entry.path());
    std::istringstream in(pgm);
    std::string magic;
    int width = 0, height = 0, maxValue = 0;
    in >> magic >> width >> height >> maxValue;
    in.get();
    std::string pixels((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Ink ink;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (static_cast<unsigned char>(pixels[static_cast<std::size_t>(y * width + x)]) < 100) {
                ink.minX = std::min(ink.minX, x);
                ink.maxX = std::max(ink.maxX, x);
                ink.minY = std::min(ink.minY, y);
                ink.maxY = std::max(ink.maxY, y);
            }
    return ink;
}

TEST(PDFSignerAppearance, RotatedPageShowsInkInsideTheRectangle) {
    fixtures::PageSpec page;
    page.rotate = 90;
    page.content = " ";  // no text: only the signature makes ink
    const std::string input = fixtures::pagesPDF({page});
    std::vector<Size> sizes;
    PDFSigner signer(SigningIdentity(testDatabase().rsaSHA1, testDatabase().dir), "Firmante",
                     std::chrono::system_clock::now(),
                     [&](Size box) {
                         sizes.push_back(box);
                         RasterImage image;
                         image.width = 4;
                         image.height = 2;
                         image.rgba.assign(32, 0);
                         for (std::size_t i = 3; i < 32; i += 4) image.rgba[i] = 255;
                         return std::optional(PDFSigner::Appearance::image(image));
                     });
    const Rect rect{100, 200, 80, 250};
    std::string out = signer.sign(input, PDFSigner::Placement::area(0, rect));
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0], (Size{250, 80}));
    Ink ink = inkOf(out);
    // Turned a quarter clockwise, page point (x, y) shows at (y, x) from the top-left corner.
    EXPECT_NEAR(ink.minX, rect.minY(), 2);
    EXPECT_NEAR(ink.maxX, rect.maxY(), 2);
    EXPECT_NEAR(ink.minY, rect.minX(), 2);
    EXPECT_NEAR(ink.maxY, rect.maxX(), 2);
}

}  // namespace

// Renderings of the signature card and the handwriting image, read back by outside tools.
#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <regex>
#include <thread>

#include "CardTestSupport.h"
#include "signing/Handwriting.h"
#include "signing/PangoText.h"
#include "signing/Rendering.h"
#include "signing/SignatureStamp.h"
#include "support/TestUtil.h"

namespace {

using testutil::run;

std::string pageSize(const std::string& pdf, const testutil::TempDir& dir) {
    const auto path = dir / "page.pdf";
    testutil::writeFile(path, pdf);
    const auto info = run({"pdfinfo", path.string()});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    std::smatch match;
    if (std::regex_search(info.out, match, std::regex("Page size:\\s+([^\\n]*?) pts"))) {
        return match[1];
    }
    return {};
}

std::string pageCount(const std::string& pdf, const testutil::TempDir& dir) {
    const auto path = dir / "count.pdf";
    testutil::writeFile(path, pdf);
    std::smatch match;
    const std::string out = run({"pdfinfo", path.string()}).out;
    return std::regex_search(out, match, std::regex("Pages:\\s+(\\d+)")) ? std::string(match[1]) : "";
}

SignatureStamp sampleStamp() {
    return SignatureStamp{cardtest::personalCertificate(), cardtest::sampleDate(), false, true};
}

TEST(CardRendering, PdfDataIsOnePageOfTheRequestedSizeWithTheCardOnIt) {
    cardtest::MadridTime madrid;
    testutil::TempDir dir;
    const auto pdf = sampleStamp().pdfData({250, 72});
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pageSize(*pdf, dir), "250 x 72");
    EXPECT_EQ(pageCount(*pdf, dir), "1");
    EXPECT_EQ(run({"qpdf", "--check", (dir / "page.pdf").string()}).exitCode, 0);

    const auto ppm = run({"pdftoppm", "-r", "72", (dir / "page.pdf").string()});
    ASSERT_EQ(ppm.exitCode, 0);
    EXPECT_GT(cardtest::readPPM(ppm.out).nonWhite(), 1000);

    const auto text = run({"pdftotext", "-layout", (dir / "page.pdf").string(), "-"});
    EXPECT_NE(text.out.find("FIRMADO DIGITALMENTE"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Juan Español Pérez"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("DNI ***4567**"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Firmado con"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("11:30:45 CET"), std::string::npos) << text.out;
}

// A long holder name is shrunk until it fits the holder text area, and is drawn whole there;
// text that still does not fit its box ends in an ellipsis.
TEST(CardRendering, LongHolderNameShrinksIntoItsAreaAndOverlongTextEndsInAnEllipsis) {
    cardtest::MadridTime madrid;
    testutil::TempDir dir;
    Certificate certificate = cardtest::personalCertificate();
    certificate.holder.clear();
    for (int i = 0; i < 12; ++i) certificate.holder += "Nombre" + std::to_string(i) + " ";
    certificate.holder += "Final";
    const SignatureStamp stamp{certificate, cardtest::sampleDate(), false, true};
    const auto pdf = stamp.pdfData({250, 72});
    ASSERT_TRUE(pdf);
    testutil::writeFile(dir / "long.pdf", *pdf);
    const auto text = run({"pdftotext", "-raw", (dir / "long.pdf").string(), "-"});
    EXPECT_NE(text.out.find(certificate.holder), std::string::npos) << text.out;
    const CardLayout layout = stamp.layout(Rect{0, 0, 250, 72}, PangoText());
    EXPECT_LT(layout.holder.lines[1].fontSize, 0.26 * layout.holderTextArea.height);

    // The ellipsis: the text stops inside its 60-point box, where it would run on to about 170.
    const TextRun overlong{"Nombre demasiado largo para la caja", FontWeight::regular, 10, 0};
    ASSERT_GT(PangoText().measure({overlong}).width, 150);
    const auto cut = Rendering::bitmap({200, 20}, 1, [&](cairo_t* cr) {
        PangoText().draw(cr, {overlong}, Rect{0, 0, 60, 20}, CardColours::ink, true);
    });
    ASSERT_TRUE(cut);
    EXPECT_GT(cardtest::inkCount(*cut, 0, 0, 60, 20), 50);
    EXPECT_EQ(cardtest::inkCount(*cut, 61, 0, 200, 20), 0);

    const auto image = stamp.image({250, 72});
    ASSERT_TRUE(image);
    const Rect name = layout.holder.lines[1].box;
    const int top = static_cast<int>((72 - name.maxY()) * 4);
    const int bottom = static_cast<int>((72 - name.minY()) * 4);
    const int right = static_cast<int>(std::ceil(layout.holderTextArea.maxX() * 4));
    int inkPastTheArea = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = right + 1; x < 994; ++x) {
            const std::uint8_t* p = &image->rgba[(static_cast<std::size_t>(y) * 1000 + x) * 4];
            if (p[0] < 150) ++inkPastTheArea;  // darker than the card's tint: text
        }
    EXPECT_EQ(inkPastTheArea, 0);
}

TEST(CardRendering, BitmapIsFourPixelsPerPoint) {
    cardtest::MadridTime madrid;
    const SignatureStamp stamp = sampleStamp();
    const auto png = stamp.pngData({250, 72});
    ASSERT_TRUE(png);
    ASSERT_GT(png->size(), 24u);
    EXPECT_EQ(png->substr(1, 3), "PNG");
    auto be32 = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>((*png)[at])) << 24 |
               static_cast<unsigned>(static_cast<unsigned char>((*png)[at + 1])) << 16 |
               static_cast<unsigned>(static_cast<unsigned char>((*png)[at + 2])) << 8 |
               static_cast<unsigned>(static_cast<unsigned char>((*png)[at + 3]));
    };
    EXPECT_EQ(be32(16), 1000u);
    EXPECT_EQ(be32(20), 288u);

    const auto image = stamp.image({250, 72});
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 1000);
    EXPECT_EQ(image->height, 288);
    // The card fills its box: the corners stay clear of the rounded outline, the middle is inked.
    EXPECT_EQ(cardtest::inkCount(*image, 0, 0, 2, 2), 0);
    EXPECT_GT(cardtest::inkCount(*image, 400, 100, 600, 200), 100 * 100);
    // A fractional size truncates the pixel count.
    const auto odd = stamp.image({10.3, 20.49});
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->width, 41);
    EXPECT_EQ(odd->height, 81);
}

TEST(CardRendering, SizesOutOfRangeGiveNothing) {
    const SignatureStamp stamp = sampleStamp();
    for (Size size : {Size{0.5, 40}, Size{20000, 40}, Size{40, 0.5}, Size{40, 20000}, Size{-5, 40}}) {
        EXPECT_FALSE(stamp.pdfData(size)) << size.width << "x" << size.height;
        EXPECT_FALSE(stamp.image(size));
        EXPECT_FALSE(stamp.pngData(size));
    }
    EXPECT_TRUE(stamp.pdfData({1, 1}));
    EXPECT_TRUE(stamp.pdfData({14400, 14400}));
    // A page-sized bitmap is fine; one beyond the pixel budget is refused before allocating.
    EXPECT_TRUE(stamp.image({595, 842}));
    EXPECT_FALSE(stamp.image({14400, 14400}));
}

// The darkest pixel (red, green, blue) of at least `minAlpha` in a box given in points of a y-up
// card of `cardHeight` points rendered at 4 pixels per point.
std::array<int, 3> darkest(const RasterImage& image, Rect box, double cardHeight, int minAlpha = 255) {
    std::array<int, 3> best{255, 255, 255};
    const int x0 = static_cast<int>(box.minX() * 4);
    const int x1 = static_cast<int>(box.maxX() * 4);
    const int y0 = static_cast<int>((cardHeight - box.maxY()) * 4);
    const int y1 = static_cast<int>((cardHeight - box.minY()) * 4);
    for (int y = std::max(y0, 0); y < std::min(y1, image.height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, image.width); ++x) {
            const std::uint8_t* p = &image.rgba[(static_cast<std::size_t>(y) * image.width + x) * 4];
            if (p[3] >= minAlpha && p[0] + p[1] + p[2] < best[0] + best[1] + best[2]) best = {p[0], p[1], p[2]};
        }
    return best;
}

// The card's colours and tints as they land in the bitmap, computed independently: each fill is
// composed over the ones beneath it (premultiplied, over a transparent start).
TEST(CardRendering, ColoursAndTintsAsDrawn) {
    cardtest::MadridTime madrid;
    const SignatureStamp stamp = sampleStamp();
    const auto image = stamp.image({250, 72});
    ASSERT_TRUE(image);
    auto pixel = [&](double x, double y) {
        const std::uint8_t* p =
            &image->rgba[(static_cast<std::size_t>((72 - y) * 4) * 1000 + static_cast<std::size_t>(x * 4)) * 4];
        return std::array<double, 4>{double(p[0]), double(p[1]), double(p[2]), double(p[3])};
    };
    auto expectPixel = [](std::array<double, 4> actual, std::array<double, 4> expected, double tolerance) {
        for (int i = 0; i < 4; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "channel " << i;
    };
    const std::array<double, 3> accent{0.141 * 255, 0.275 * 255, 0.847 * 255};
    auto over = [](std::array<double, 4> below, std::array<double, 3> colour, double alpha) {
        return std::array<double, 4>{colour[0] * alpha + below[0] * (1 - alpha),
                                     colour[1] * alpha + below[1] * (1 - alpha),
                                     colour[2] * alpha + below[2] * (1 - alpha),
                                     255 * alpha + below[3] * (1 - alpha)};
    };
    const std::array<double, 4> card = over(over({0, 0, 0, 0}, {255, 255, 255}, 0.94), accent, 0.05);
    const std::array<double, 4> band = over(card, accent, 0.06);
    expectPixel(pixel(230, 64), card, 1);          // right of the holder lines
    expectPixel(pixel(125, 1.5), band, 1);         // under the reference lines
    expectPixel(pixel(125, 21.35), over(band, accent, 0.3), 1.5);  // the rule on the band's top
    // The seal: a solid accent disc with a white check mark.
    expectPixel(pixel(24.4, 56.8), {accent[0], accent[1], accent[2], 255}, 1);
    expectPixel(pixel(22.5, 41.9), {255, 255, 255, 255}, 1);

    // Text: the header in accent, the holder in ink, the identity line and references muted, the
    // branding text in accent at 80 % over the band.
    const PangoText text;
    const CardLayout layout = stamp.layout(Rect{0, 0, 250, 72}, text);
    ASSERT_EQ(layout.holder.lines.size(), 3u);
    auto expectColour = [](std::array<int, 3> actual, std::array<double, 3> expected, double tolerance) {
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], tolerance) << "channel " << i;
    };
    const std::array<double, 3> muted{0.33 * 255, 0.33 * 255, 0.38 * 255};
    expectColour(darkest(*image, layout.holder.lines[0].box, 72), accent, 1);
    expectColour(darkest(*image, layout.holder.lines[1].box, 72), {0.09 * 255, 0.09 * 255, 0.12 * 255}, 1);
    expectColour(darkest(*image, layout.holder.lines[2].box, 72), muted, 1);
    expectColour(darkest(*image, layout.references.lines[0].box, 72), muted, 1);
    const PlacedLine& last = layout.references.lines.back();
    ASSERT_TRUE(last.isBranding);
    const Rect brandingText{last.brandingBox.x, last.box.y, layout.referenceTextArea.maxX() - last.brandingBox.x,
                            last.box.height};
    const std::array<double, 4> branding = over(band, accent, 0.8);
    const auto brandingColour = darkest(*image, brandingText, 72, 250);
    expectColour(brandingColour, {branding[0], branding[1], branding[2]}, 3);
    expectColour(darkest(*image, last.markBox, 72), accent, 1);
}

// The signing run renders cards on its own thread while the window draws them on the main one.
TEST(CardRendering, CardsRenderOnSeveralThreadsAtOnce) {
    const SignatureStamp stamp = sampleStamp();
    const auto expected = stamp.image({250, 72});
    ASSERT_TRUE(expected);
    std::vector<std::optional<RasterImage>> images(4);
    std::vector<std::thread> threads;
    for (auto& image : images) {
        threads.emplace_back([&stamp, &image] {
            for (int i = 0; i < 3; ++i) {
                ASSERT_TRUE(stamp.pdfData({250, 72}));
                image = stamp.image({250, 72});
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (const auto& image : images) {
        ASSERT_TRUE(image);
        EXPECT_EQ(image->rgba, expected->rgba);
    }
}

TEST(CardRendering, DrawingWithoutAContextOrIntoNothingIsHarmless) {
    const SignatureStamp stamp = sampleStamp();
    stamp.draw(nullptr, Rect{0, 0, 250, 72});
    stamp.draw(nullptr, Rect{0, 0, 250, 72}, 90);
    const auto image = Rendering::bitmap({20, 20}, 1, [&](cairo_t* cr) {
        stamp.draw(cr, Rect{0, 0, 0, 72});
        stamp.draw(cr, Rect{0, 0, 1e300, 1e300});
        stamp.draw(cr, Rect{1e300, -1e300, 250, 72});
        stamp.draw(cr, Rect{0, 0, 14400, 14400});
        stamp.draw(cr, Rect{5, 5, 1, 1});
        stamp.draw(cr, Rect{0, 0, std::nan(""), 72});
        stamp.draw(cr, Rect{std::numeric_limits<double>::infinity(), 0, 250, 72}, 90);
        stamp.draw(cr, Rect{std::nan(""), 0, 250, 72}, 180);
    });
    // A refused transform would have left the context in error, and the bitmap with it.
    ASSERT_TRUE(image);
}

// The card drawn upright on a rotated page: in a y-up bitmap of the rotated page, the card's
// header (its first text line, near the top of the unrotated card) ends up where the reader sees
// the top.
TEST(CardRendering, UprightDrawingKeepsTheCardInsideItsRectangle) {
    cardtest::MadridTime madrid;
    const SignatureStamp stamp = sampleStamp();
    const Rect portrait{20, 30, 72, 250};  // a 250 x 72 card on a page turned by 90 or 270
    for (int rotation : {90, 270}) {
        const auto image = Rendering::bitmap({120, 300}, 1, [&](cairo_t* cr) {
            stamp.draw(cr, portrait, rotation);
        });
        ASSERT_TRUE(image);
        const int top = 300 - static_cast<int>(portrait.maxY());
        const int bottom = 300 - static_cast<int>(portrait.minY());
        EXPECT_GT(cardtest::inkCount(*image, 20, top, 92, bottom), 72 * 250 * 9 / 10);
        const int total = cardtest::inkCount(*image, 0, 0, 120, 300);
        EXPECT_LE(total - cardtest::inkCount(*image, 19, top - 1, 93, bottom + 1), 0) << rotation;
    }
}

// --- Handwriting

std::string pngOf(int width, int height, const std::function<void(cairo_t*)>& paint) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    paint(cr);
    cairo_destroy(cr);
    std::string bytes;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(surface);
    return bytes;
}

std::string solidPNG(int width, int height) {
    return pngOf(width, height, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_paint(cr);
    });
}

TEST(HandwritingImage, DefaultBoxIs36HighOr170Wide) {
    const auto wide = Handwriting::fromPNG(solidPNG(300, 100));
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->image().width, 300);
    EXPECT_EQ(wide->box({100, 100}), (Rect{46, 82, 108, 36}));
    const auto wider = Handwriting::fromPNG(solidPNG(1000, 100));
    ASSERT_TRUE(wider);
    EXPECT_EQ(wider->box({0, 0}), (Rect{-85, -8.5, 170, 17}));
    const auto line = Handwriting::fromPNG(solidPNG(5, 1));
    ASSERT_TRUE(line);
    EXPECT_EQ(line->aspect(), 5);
    EXPECT_EQ(Handwriting(RasterImage{}).aspect(), 0);
    // Pixel data that does not match the size is taken as no picture.
    EXPECT_TRUE(Handwriting(RasterImage{2, 2, {1, 2, 3}}).image().isEmpty());
}

TEST(HandwritingImage, DrawsAspectFittedCentredAndTheRightWayUp) {
    // Top half red, bottom half blue.
    const auto handwriting = Handwriting::fromPNG(pngOf(200, 100, [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_rectangle(cr, 0, 0, 200, 50);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 0, 0, 1);
        cairo_rectangle(cr, 0, 50, 200, 50);
        cairo_fill(cr);
    }));
    ASSERT_TRUE(handwriting);
    const auto image = Rendering::bitmap({100, 100}, 1, [&](cairo_t* cr) {
        handwriting->draw(cr, Rect{0, 0, 100, 100});
    });
    ASSERT_TRUE(image);
    EXPECT_EQ(cardtest::inkCount(*image, 0, 0, 100, 24), 0);
    EXPECT_EQ(cardtest::inkCount(*image, 0, 76, 100, 100), 0);
    EXPECT_EQ(cardtest::inkCount(*image, 0, 26, 100, 74), 100 * 48);
    auto pixel = [&](int x, int y) { return &image->rgba[(static_cast<std::size_t>(y) * 100 + x) * 4]; };
    EXPECT_GT(pixel(50, 30)[0], 200);  // red on top
    EXPECT_LT(pixel(50, 30)[2], 50);
    EXPECT_GT(pixel(50, 70)[2], 200);  // blue below
    EXPECT_LT(pixel(50, 70)[0], 50);

    // Upright on a page shown turned by 90 degrees clockwise: the picture's top faces the page's
    // left edge, which the reader sees at the top. In a 100 x 200 box it fills the box.
    const auto turned = Rendering::bitmap({100, 200}, 1, [&](cairo_t* cr) {
        handwriting->draw(cr, Rect{0, 0, 100, 200}, 90);
    });
    ASSERT_TRUE(turned);
    EXPECT_EQ(cardtest::inkCount(*turned, 0, 0, 100, 200), 100 * 200);
    const std::uint8_t* left = &turned->rgba[(100 * 100 + 10) * 4];
    const std::uint8_t* right = &turned->rgba[(100 * 100 + 90) * 4];
    EXPECT_GT(left[0], 200);
    EXPECT_GT(right[2], 200);
}

TEST(HandwritingImage, DrawingIntoARectangleBeyondTheDoublesLeavesTheContextUsable) {
    const auto handwriting = Handwriting::fromPNG(solidPNG(30, 10));
    ASSERT_TRUE(handwriting);
    const auto image = Rendering::bitmap({20, 20}, 1, [&](cairo_t* cr) {
        handwriting->draw(cr, Rect{0, 0, 1e-200, 1e-200});
        handwriting->draw(cr, Rect{0, 0, 1e300, 1e300});
        handwriting->draw(cr, Rect{std::numeric_limits<double>::infinity(), 0, 10, 10});
        handwriting->draw(cr, Rect{std::nan(""), 0, 10, 10}, 90);
        handwriting->draw(cr, Rect{1e308, 1e308, 1e308, 1e308}, 270);
        handwriting->draw(cr, Rect{0, 0, 20, 20});
    });
    ASSERT_TRUE(image);
    EXPECT_GT(cardtest::inkCount(*image, 0, 0, 20, 20), 100);
}

TEST(HandwritingImage, AppearanceIsAOnePagePdfOfTheBox) {
    testutil::TempDir dir;
    const auto handwriting = Handwriting::fromPNG(solidPNG(300, 100));
    ASSERT_TRUE(handwriting);
    const auto pdf = handwriting->pdfData({120, 36});
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pageSize(*pdf, dir), "120 x 36");
    EXPECT_EQ(pageCount(*pdf, dir), "1");
    const auto ppm = run({"pdftoppm", "-r", "72", (dir / "page.pdf").string()});
    EXPECT_GT(cardtest::readPPM(ppm.out).nonWhite(), 100 * 30);
    EXPECT_FALSE(handwriting->pdfData({120, 0.5}));
    EXPECT_FALSE(handwriting->pdfData({20000, 36}));
}

TEST(HandwritingImage, DataThatIsNotAReadablePngGivesNothing) {
    const std::string good = solidPNG(40, 20);
    EXPECT_FALSE(Handwriting::fromPNG(""));
    EXPECT_FALSE(Handwriting::fromPNG("not an image at all"));
    EXPECT_FALSE(Handwriting::fromPNG(good.substr(0, good.size() / 2)));
    std::string flipped = good;
    flipped[flipped.size() / 2] ^= 0x55;
    EXPECT_FALSE(Handwriting::fromPNG(flipped));
    // The PNG with its header claiming another size, its checksum fixed so only the size is at
    // fault.
    auto claiming = [&](std::uint32_t width, std::uint32_t height) {
        std::string png = good;
        for (int k = 0; k < 4; ++k) {
            png[16 + k] = static_cast<char>(width >> (24 - 8 * k));
            png[20 + k] = static_cast<char>(height >> (24 - 8 * k));
        }
        unsigned long crc = 0xFFFFFFFFUL;
        for (std::size_t i = 12; i < 29; ++i) {
            crc ^= static_cast<unsigned char>(png[i]);
            for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320UL & (0UL - (crc & 1)));
        }
        crc ^= 0xFFFFFFFFUL;
        for (int k = 0; k < 4; ++k) png[29 + k] = static_cast<char>(crc >> (24 - 8 * k));
        return png;
    };
    // 100000 x 100000 pixels is refused before any pixel is allocated.
    EXPECT_FALSE(Handwriting::fromPNG(claiming(100000, 100000)));
    // 6000 x 6000 is within the limits, but no data this short can hold so many rows.
    EXPECT_FALSE(Handwriting::fromPNG(claiming(6000, 6000)));
    EXPECT_TRUE(Handwriting::fromPNG(claiming(40, 20)));
    EXPECT_TRUE(Handwriting::fromPNG(good));
    // The most compressible picture, all transparent, still decodes.
    const auto blank = Handwriting::fromPNG(pngOf(1000, 1000, [](cairo_t*) {}));
    ASSERT_TRUE(blank);
    EXPECT_EQ(blank->image().width, 1000);
}

}  // namespace

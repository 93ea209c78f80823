#pragma once
// Documents whose pages declare more than a renderer can draw soon: an image of 200,000 x 200,000
// grey samples held in a few bytes of Flate data, drawn in the ways a page can draw it; and
// ordinary pages to set beside them.

#include <string>
#include <vector>

#include "support/PDFFixtures.h"

namespace heavypages {

enum class Kind {
    xobject,     // an image XObject of the page's resources
    inlineImage, // an inline image in the page's content (BI ... ID ... EI)
    inForm,      // an image XObject drawn by a form XObject that the page draws
    inPattern,   // an image drawn by a tiling pattern of the page's resources
    hugePage,    // no image, a media box of 14,400 x 14,400 points, the largest PDF allows
    scan,        // an ordinary scanned page: a 2000 x 3000 RGB image and a line of text
};

// The data of the image: a few hundred bytes that inflate to zeros.
inline std::string tinyImageData() { return fixtures::deflate(std::string(1000, '\0')); }

inline std::string hugeImageKeys() {
    return "/Type /XObject /Subtype /Image /Width 200000 /Height 200000 /BitsPerComponent 8 "
           "/ColorSpace /DeviceGray /Filter /FlateDecode";
}

// A PDF of the pages in order (catalog 1, page tree 2, font 3; page k from object 10 * (k + 1)).
// Every page writes "Firma del interesado" near its top: signature words that make the placement
// search want the page's ink.
inline std::string pdf(const std::vector<Kind>& pages) {
    fixtures::FixtureWriter w;
    std::string kids;
    for (std::size_t k = 0; k < pages.size(); ++k)
        kids += (k ? " " : "") + std::to_string(10 * (k + 1)) + " 0 R";
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) +
                    " >>");
    w.object(3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    const std::string text = "BT /F1 12 Tf 72 770 Td (Firma del interesado) Tj ET\n";
    const std::string draw = "q 400 0 0 400 100 200 cm /Im0 Do Q\n";
    for (std::size_t k = 0; k < pages.size(); ++k) {
        const int n = static_cast<int>(10 * (k + 1));
        const std::string ref = [](int o) { return std::to_string(o) + " 0 R"; }(n + 2);
        std::string box = "[0 0 595 842]";
        std::string resources = "/Font <</F1 3 0 R >>";
        std::string content = text;
        switch (pages[k]) {
            case Kind::xobject:
                w.stream(n + 2, hugeImageKeys(), tinyImageData());
                resources += " /XObject <</Im0 " + ref + " >>";
                content += draw;
                break;
            case Kind::inlineImage:
                content += "q 400 0 0 400 100 200 cm BI /W 200000 /H 200000 /BPC 8 /CS /G /F /Fl "
                           "ID " +
                           tinyImageData() + " EI Q\n";
                break;
            case Kind::inForm:
                w.stream(n + 3, hugeImageKeys(), tinyImageData());
                w.stream(n + 2,
                         "/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources <</XObject "
                         "<</Big " + std::to_string(n + 3) + " 0 R >> >>",
                         "/Big Do");
                resources += " /XObject <</Im0 " + ref + " >>";
                content += draw;
                break;
            case Kind::inPattern:
                w.stream(n + 3, hugeImageKeys(), tinyImageData());
                w.stream(n + 2,
                         "/Type /Pattern /PatternType 1 /PaintType 1 /TilingType 1 /BBox [0 0 1 1] "
                         "/XStep 1 /YStep 1 /Resources <</XObject <</Big " +
                             std::to_string(n + 3) + " 0 R >> >>",
                         "/Big Do");
                resources += " /Pattern <</P0 " + ref + " >>";
                content += "/Pattern cs /P0 scn 100 200 400 400 re f\n";
                break;
            case Kind::hugePage:
                box = "[0 0 14400 14400]";
                break;
            case Kind::scan:
                w.stream(n + 2,
                         "/Type /XObject /Subtype /Image /Width 2000 /Height 3000 "
                         "/BitsPerComponent 8 /ColorSpace /DeviceRGB /Filter /FlateDecode",
                         fixtures::deflate(std::string(2000 * 3000 * 3, '\xF0')));
                resources += " /XObject <</Im0 " + ref + " >>";
                content += draw;
                break;
        }
        w.object(n, "<</Type /Page /Parent 2 0 R /MediaBox " + box + " /Resources <<" +
                        resources + " >> /Contents " + std::to_string(n + 1) + " 0 R >>");
        w.stream(n + 1, "", content, true);
    }
    return w.finishClassic("/Root 1 0 R");
}

}  // namespace heavypages

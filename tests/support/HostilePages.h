#pragma once
// Small files whose first page costs a renderer far more than the page declares: each shape
// passes the page weight's cheap filter and is bounded only by the page process. The second page
// of every file is an ordinary page of text, read after the first to show that the reader goes
// on. A light page of 10,000 small images stands beside them: it must be drawn.

#include <zlib.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/PDFFixtures.h"

namespace hostilepages {

enum class Shape {
    repeatedImage,   // one image of 256 million samples drawn 40 times by name
    nestedForms,     // forms nested nine deep, each drawing the next ten times
    progressiveJpeg, // a JPEG declared 16 x 16 in the PDF, 30,000 x 30,000 in its own header
    jpeg2000,        // a JPEG 2000 codestream declared 16 x 16, 40,000 x 40,000 in its header
    jbig2,           // a JBIG2 page and region declared 16 x 16, 40,000 x 40,000 in their data
    type3Image,      // a Type 3 glyph that draws a huge image, shown many times
    backwardGlyphs,  // a million glyphs, each drawn back over the one before
    pathFlood,       // 400 MB of path operators behind Flate
    inlineInForm,    // an inline image of 40,000 million samples in a form drawn three times
};

inline const std::vector<Shape>& allShapes() {
    static const std::vector<Shape> shapes{
        Shape::repeatedImage, Shape::nestedForms,    Shape::progressiveJpeg,
        Shape::jpeg2000,      Shape::jbig2,          Shape::type3Image,
        Shape::backwardGlyphs, Shape::pathFlood,     Shape::inlineInForm};
    return shapes;
}

inline std::string nameOf(Shape shape) {
    switch (shape) {
        case Shape::repeatedImage: return "repeatedImage";
        case Shape::nestedForms: return "nestedForms";
        case Shape::progressiveJpeg: return "progressiveJpeg";
        case Shape::jpeg2000: return "jpeg2000";
        case Shape::jbig2: return "jbig2";
        case Shape::type3Image: return "type3Image";
        case Shape::backwardGlyphs: return "backwardGlyphs";
        case Shape::pathFlood: return "pathFlood";
        case Shape::inlineInForm: return "inlineInForm";
    }
    return "?";
}

inline std::string be16(unsigned v) { return {char(v >> 8), char(v & 0xFF)}; }
inline std::string be32(unsigned v) { return be16(v >> 16) + be16(v & 0xFFFF); }

// `unit` repeated `times`, Flate-compressed without holding the whole.
inline std::string deflateRepeated(const std::string& unit, std::size_t times) {
    std::string block;
    while (block.size() < (1u << 20)) block += unit;
    const std::size_t perBlock = block.size() / unit.size();
    z_stream z{};
    deflateInit(&z, 6);
    std::string out;
    char buffer[1 << 16];
    for (std::size_t done = 0; done < times;) {
        const std::size_t n = std::min(perBlock, times - done);
        done += n;
        z.next_in = reinterpret_cast<Bytef*>(block.data());
        z.avail_in = static_cast<uInt>(n * unit.size());
        const int flush = done == times ? Z_FINISH : Z_NO_FLUSH;
        do {
            z.next_out = reinterpret_cast<Bytef*>(buffer);
            z.avail_out = sizeof buffer;
            deflate(&z, flush);
            out.append(buffer, sizeof buffer - z.avail_out);
        } while (z.avail_out == 0);
    }
    deflateEnd(&z);
    return out;
}

// A 16 x 16 progressive JPEG made by ImageMagick, its frame header then set to 30,000 square.
inline std::string bigProgressiveJpeg() {
    FILE* pipe = popen("convert -size 16x16 xc:gray -interlace Plane jpeg:- 2>/dev/null", "r");
    if (!pipe) throw std::runtime_error("convert");
    std::string jpeg;
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) jpeg.append(buffer, n);
    pclose(pipe);
    const std::size_t sof = jpeg.find("\xFF\xC2");
    if (sof == std::string::npos || sof + 9 > jpeg.size())
        throw std::runtime_error("convert made no progressive JPEG");
    jpeg.replace(sof + 5, 4, be16(30000) + be16(30000));
    return jpeg;
}

// A JPEG 2000 codestream: one 40,000 x 40,000 grey tile, then a few bytes of tile data.
inline std::string bigJpeg2000() {
    std::string c = "\xFF\x4F";                                        // SOC
    c += "\xFF\x51" + be16(41) + be16(0) + be32(40000) + be32(40000)   // SIZ
         + be32(0) + be32(0) + be32(40000) + be32(40000) + be32(0) + be32(0) + be16(1) +
         std::string("\x07\x01\x01", 3);
    c += "\xFF\x52" + be16(12) + std::string("\x00\x00", 2) + be16(1) + std::string(1, '\0') +
         std::string("\x05\x04\x04\x00\x01", 5);                       // COD
    c += "\xFF\x5C" + be16(19) + std::string(1, '\x40') + std::string(16, '\x40');  // QCD
    const std::string data(64, '\x5A');
    c += "\xFF\x90" + be16(10) + be16(0) + be32(12 + 2 + static_cast<unsigned>(data.size())) +
         std::string("\x00\x01", 2);                                   // SOT
    c += "\xFF\x93" + data;                                            // SOD
    c += "\xFF\xD9";                                                   // EOC
    return c;
}

// Embedded JBIG2 segments: a 40,000 x 40,000 page, then a generic region as large.
inline std::string bigJbig2() {
    std::string s;
    // Page information: segment 0, type 48, no referred segments, page 1.
    s += be32(0) + "\x30" + std::string(1, '\0') + "\x01" + be32(19);
    s += be32(40000) + be32(40000) + be32(0) + be32(0) + std::string(1, '\0') + be16(0);
    // Immediate lossless generic region: segment 1, type 38.
    std::string region = be32(40000) + be32(40000) + be32(0) + be32(0) + std::string(1, '\0');
    region += std::string(1, '\0');                       // arithmetic, template 0
    region += std::string("\x03\xFF\xFD\xFF\x02\xFE\xFE\xFE", 8);
    region += std::string(256, '\x9C');
    s += be32(1) + "\x26" + std::string(1, '\0') + "\x01" +
         be32(static_cast<unsigned>(region.size())) + region;
    return s;
}

// The two-page PDF of a shape.
inline std::string pdf(Shape shape) {
    fixtures::FixtureWriter w("%PDF-1.5");
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [10 0 R 20 0 R] /Count 2 >>");
    w.object(3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    std::string resources = "/Font <</F1 3 0 R >>";
    std::string content = "BT /F1 12 Tf 72 770 Td (Firma del interesado) Tj ET\n";
    const std::string small = "/Type /XObject /Subtype /Image /Width 16 /Height 16 "
                              "/BitsPerComponent 8 /ColorSpace /DeviceGray ";
    const std::string drawSmall = "q 400 0 0 400 100 200 cm /Im0 Do Q\n";
    switch (shape) {
        case Shape::repeatedImage:
            w.stream(11, "/Type /XObject /Subtype /Image /Width 16000 /Height 16000 "
                         "/BitsPerComponent 8 /ColorSpace /DeviceGray /Filter /FlateDecode",
                     fixtures::deflate(std::string(4096, '\x80')));
            resources += " /XObject <</Im0 11 0 R >>";
            for (int k = 0; k < 40; ++k)
                content += "q 400 0 0 400 " + std::to_string(100 + k) + " 200 cm /Im0 Do Q\n";
            break;
        case Shape::nestedForms: {
            // Form 19 fills a square; form 18 draws 19 ten times, ... form 11 draws 12.
            w.stream(19, "/Type /XObject /Subtype /Form /BBox [0 0 1 1]", "0 0 1 1 re f");
            for (int f = 18; f >= 11; --f) {
                std::string draws;
                for (int k = 0; k < 10; ++k) draws += "/X Do ";
                w.stream(f,
                         "/Type /XObject /Subtype /Form /BBox [0 0 1 1] /Resources <</XObject "
                         "<</X " + std::to_string(f + 1) + " 0 R >> >>",
                         draws);
            }
            resources += " /XObject <</Im0 11 0 R >>";
            for (int k = 0; k < 10; ++k) content += "q 400 0 0 400 100 200 cm /Im0 Do Q\n";
            break;
        }
        case Shape::progressiveJpeg:
            w.stream(11, small + "/Filter /DCTDecode", bigProgressiveJpeg());
            resources += " /XObject <</Im0 11 0 R >>";
            content += drawSmall;
            break;
        case Shape::jpeg2000:
            w.stream(11, "/Type /XObject /Subtype /Image /Width 16 /Height 16 /Filter /JPXDecode",
                     bigJpeg2000());
            resources += " /XObject <</Im0 11 0 R >>";
            content += drawSmall;
            break;
        case Shape::jbig2:
            w.stream(11,
                     "/Type /XObject /Subtype /Image /Width 16 /Height 16 /BitsPerComponent 1 "
                     "/ImageMask true /Filter /JBIG2Decode",
                     bigJbig2());
            resources += " /XObject <</Im0 11 0 R >>";
            content += "0 g " + drawSmall;
            break;
        case Shape::type3Image:
            w.stream(12, "/Type /XObject /Subtype /Image /Width 200000 /Height 200000 "
                         "/BitsPerComponent 8 /ColorSpace /DeviceGray /Filter /FlateDecode",
                     fixtures::deflate(std::string(1000, '\0')));
            w.stream(13, "", "1000 0 d0 q 1000 0 0 1000 0 0 cm /Big Do Q");
            w.object(11, "<</Type /Font /Subtype /Type3 /FontBBox [0 0 1000 1000] "
                         "/FontMatrix [0.001 0 0 0.001 0 0] /CharProcs <</a 13 0 R >> "
                         "/Encoding <</Type /Encoding /Differences [97 /a] >> /FirstChar 97 "
                         "/LastChar 97 /Widths [1000] /Resources <</XObject <</Big 12 0 R >> >> >>");
            resources += " /F3 11 0 R";
            content += "BT /F3 40 Tf 100 400 Td (aaaaaaaaaa) Tj ET\n";
            break;
        case Shape::backwardGlyphs:
            // Each glyph's advance taken back and a little more: a million glyphs on top of one
            // another, which a text layout compares with each other.
            w.stream(11, "", "BT /F1 10 Tf -5.56 Tc 100 400 Td (" + std::string(1000000, 'a') +
                                 ") Tj ET\n", true);
            break;
        case Shape::pathFlood:
            w.stream(11, "/Filter /FlateDecode", deflateRepeated("0 0 m 1 1 l\n", 400'000'000 / 12));
            break;
        case Shape::inlineInForm:
            w.stream(11,
                     "/Type /XObject /Subtype /Form /BBox [0 0 1 1]",
                     "q BI /W 200000 /H 200000 /BPC 8 /CS /G /F /Fl ID " +
                         fixtures::deflate(std::string(1000, '\0')) + " EI Q");
            resources += " /XObject <</Im0 11 0 R >>";
            for (int k = 0; k < 3; ++k) content += drawSmall;
            break;
    }
    std::string contents = "21 0 R";
    if (shape == Shape::backwardGlyphs || shape == Shape::pathFlood)
        contents = "[21 0 R 11 0 R]";
    w.object(10, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources <<" + resources +
                     " >> /Contents " + contents + " >>");
    w.stream(21, "", content, true);
    w.object(20, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources <</Font <</F1 3 "
                 "0 R >> >> /Contents 22 0 R >>");
    w.stream(22, "", "BT /F1 12 Tf 72 700 Td (Pagina corriente) Tj ET\n", true);
    return w.finishClassic("/Root 1 0 R");
}

// One page drawing 10,000 images of 8 x 8 grey samples in a grid: light, though it names many
// objects.
inline std::string manySmallImages() {
    fixtures::FixtureWriter w("%PDF-1.5");
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [10 0 R] /Count 1 >>");
    std::string names, content;
    const std::string data = fixtures::deflate(std::string(64, '\x40'));
    for (int k = 0; k < 10000; ++k) {
        const int n = 100 + k;
        w.stream(n, "/Type /XObject /Subtype /Image /Width 8 /Height 8 /BitsPerComponent 8 "
                    "/ColorSpace /DeviceGray /Filter /FlateDecode",
                 data);
        names += "/I" + std::to_string(k) + " " + std::to_string(n) + " 0 R ";
        content += "q 5 0 0 5 " + std::to_string(10 + (k % 100) * 5.7) + " " +
                   std::to_string(10 + (k / 100) * 8.2) + " cm /I" + std::to_string(k) + " Do Q\n";
    }
    w.object(10, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources <</XObject <<" +
                     names + ">> >> /Contents 11 0 R >>");
    w.stream(11, "", content, true);
    return w.finishClassic("/Root 1 0 R");
}

}  // namespace hostilepages

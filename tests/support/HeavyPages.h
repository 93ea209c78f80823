#pragma once
// Documents whose pages declare more than a renderer can draw soon: an image of 200,000 x 200,000
// grey samples held in a few bytes of Flate data, drawn in the ways a page can draw it; and
// ordinary pages to set beside them. Encoders of the content filters, for pages whose content
// goes through them.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
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

// ---------------------------------------------------------------------------------------------
// Content filters.

// Pairs of hex digits, a line break every 32 bytes, then '>'.
inline std::string asciiHex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 15];
        if (i % 32 == 31) out += '\n';
    }
    return out + ">";
}

// Groups of five base-85 digits ('z' for four zero bytes), a short last group, then "~>".
inline std::string ascii85(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const std::size_t n = std::min<std::size_t>(4, bytes.size() - i);
        std::uint32_t v = 0;
        for (std::size_t k = 0; k < 4; ++k)
            v = (v << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        if (n == 4 && v == 0) {
            out += 'z';
            continue;
        }
        char group[5];
        for (int k = 4; k >= 0; --k) {
            group[k] = static_cast<char>('!' + v % 85);
            v /= 85;
        }
        out.append(group, n + 1);
    }
    return out + "~>";
}

// LZW codes packed most significant bit first, 9 to 12 bits wide as the decoder's table grows
// (one code early unless `earlyChange` is false). 256 clears the table, 257 ends.
inline std::string lzwPack(const std::vector<int>& codes, bool earlyChange = true) {
    std::string out;
    std::uint32_t held = 0;
    int bits = 0;
    int next = 258;  // the decoder's next entry
    bool first = true;
    for (int code : codes) {
        const int reach = next + (earlyChange ? 1 : 0);
        const int width = reach >= 2048 ? 12 : reach >= 1024 ? 11 : reach >= 512 ? 10 : 9;
        held = (held << width) | static_cast<std::uint32_t>(code);
        bits += width;
        while (bits >= 8) {
            out += static_cast<char>(held >> (bits - 8));
            bits -= 8;
        }
        held &= (1u << bits) - 1;
        if (code == 256) {
            next = 258;
            first = true;
        } else {
            if (!first && next < 4096) ++next;
            first = false;
        }
    }
    if (bits > 0) out += static_cast<char>(held << (8 - bits));
    return out;
}

// The bytes LZW-encoded, the table cleared before it would fill.
inline std::string lzw(const std::string& bytes, bool earlyChange = true) {
    std::vector<int> codes{256};
    std::map<std::string, int> table;
    int next = 258;
    auto codeOf = [&](const std::string& s) {
        return s.size() == 1 ? static_cast<int>(static_cast<unsigned char>(s[0])) : table.at(s);
    };
    std::string w;
    for (char c : bytes) {
        std::string wc = w + c;
        if (wc.size() == 1 || table.count(wc)) {
            w = wc;
            continue;
        }
        codes.push_back(codeOf(w));
        if (next < 4095) {
            table[wc] = next++;
        } else {
            codes.push_back(256);
            table.clear();
            next = 258;
        }
        w = std::string(1, c);
    }
    if (!w.empty()) codes.push_back(codeOf(w));
    codes.push_back(257);
    return lzwPack(codes, earlyChange);
}

// LZW data that decode to `blocks` x 7,370,880 zero bytes: after each clear, 0 and then every code
// of the table in turn, each one byte longer than the one before.
inline std::string lzwBomb(int blocks) {
    std::vector<int> codes;
    for (int b = 0; b < blocks; ++b) {
        codes.push_back(256);
        codes.push_back(0);
        for (int c = 258; c < 4096; ++c) codes.push_back(c);
    }
    codes.push_back(257);
    return lzwPack(codes);
}
inline constexpr std::int64_t lzwBombBlock = 7'370'880;

// Runs of equal bytes as repeats, the rest as literals, then the end mark.
inline std::string runLength(const std::string& bytes) {
    std::string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        std::size_t run = 1;
        while (i + run < bytes.size() && run < 128 && bytes[i + run] == bytes[i]) ++run;
        if (run >= 2) {
            out += static_cast<char>(257 - run);
            out += bytes[i];
            i += run;
            continue;
        }
        std::size_t n = 1;
        while (i + n < bytes.size() && n < 128 &&
               !(i + n + 1 < bytes.size() && bytes[i + n] == bytes[i + n + 1]))
            ++n;
        out += static_cast<char>(n - 1);
        out.append(bytes, i, n);
        i += n;
    }
    return out + '\x80';
}

// PNG predictor rows of `columns` bytes (one grey 8-bit sample each), the row filters taken in
// turn (none, Sub, Up, Average, Paeth); the bytes are padded with spaces to whole rows.
inline std::string pngRows(std::string bytes, std::size_t columns) {
    bytes.append((columns - bytes.size() % columns) % columns, ' ');
    std::string out;
    std::string above(columns, '\0');
    for (std::size_t r = 0; r * columns < bytes.size(); ++r) {
        const std::string row = bytes.substr(r * columns, columns);
        const int tag = static_cast<int>(r % 5);
        out += static_cast<char>(tag);
        for (std::size_t i = 0; i < columns; ++i) {
            const int a = i ? static_cast<unsigned char>(row[i - 1]) : 0;
            const int b = static_cast<unsigned char>(above[i]);
            const int c = i ? static_cast<unsigned char>(above[i - 1]) : 0;
            const int p = a + b - c;
            const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
            const int paeth = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            const int predicted[] = {0, a, b, (a + b) / 2, paeth};
            out += static_cast<char>(static_cast<unsigned char>(row[i]) - predicted[tag]);
        }
        above = row;
    }
    return out;
}

// A page's content stream as stored: its dictionary's filter entries and its bytes.
struct StoredContent {
    std::string keys;  // e.g. "/Filter [/ASCII85Decode /FlateDecode]"
    std::string data;
};

// A PDF whose page k has the content stream k (object 10 * (k + 1) + 1) on an A4 page with
// Helvetica as /F1.
inline std::string pdfWithContents(const std::vector<StoredContent>& pages) {
    fixtures::FixtureWriter w;
    std::string kids;
    for (std::size_t k = 0; k < pages.size(); ++k)
        kids += (k ? " " : "") + std::to_string(10 * (k + 1)) + " 0 R";
    w.object(1, "<</Type /Catalog /Pages 2 0 R >>");
    w.object(2, "<</Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) +
                    " >>");
    w.object(3, "<</Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    for (std::size_t k = 0; k < pages.size(); ++k) {
        const int n = static_cast<int>(10 * (k + 1));
        w.object(n, "<</Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources <</Font "
                    "<</F1 3 0 R >> >> /Contents " + std::to_string(n + 1) + " 0 R >>");
        w.stream(n + 1, pages[k].keys, pages[k].data);
    }
    return w.finishClassic("/Root 1 0 R");
}

}  // namespace heavypages

#pragma once
// A one-page «Solicitud» written from readable parts: applicant, representative, bank account and
// the signature line. The widget form has an AcroForm text field beside every caption (generic
// names, so only the printed captions tell what they ask for), a row of 24 one-character boxes
// for the IBAN and four fields on the line «En … a … de … de …». Its flat twin prints a box
// beside every caption, one wide IBAN box and fill lines of underscores for the signature line.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "pages/Geometry.h"
#include "support/PDFFixtures.h"

namespace solicitud {

struct Caption {
    std::string text;
    double y;  // field's minimum y; the caption's baseline is 4 points above it
};

// Captions at x 60, fields at x 200, 300 wide and 16 high.
inline const std::vector<Caption>& applicant() {
    static const std::vector<Caption> rows{{"NIF", 740},
                                           {"Nombre", 716},
                                           {"Primer apellido", 692},
                                           {"Segundo apellido", 668},
                                           {"Domicilio", 644},
                                           {"Código postal", 620},
                                           {"Municipio", 596},
                                           {"Provincia", 572},
                                           {"Teléfono", 548},
                                           {"Correo electrónico", 524}};
    return rows;
}

inline const std::vector<Caption>& representative() {
    static const std::vector<Caption> rows{{"NIF", 450}, {"Nombre y apellidos", 426}};
    return rows;
}

constexpr double kIbanY = 270;
constexpr double kSignatureY = 200;
constexpr int kIbanBoxes = 24;

inline std::string number(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", value);
    return buffer;
}

// UTF-8 (Latin-1 range) to WinAnsi bytes inside a PDF literal string.
inline std::string literal(const std::string& utf8) {
    std::string out = "(";
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            c = static_cast<unsigned char>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F));
        }
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += static_cast<char>(c);
    }
    return out + ")";
}

inline std::string text(double x, double baseline, const std::string& utf8, double size = 10) {
    return "BT /F1 " + number(size) + " Tf " + number(x) + " " + number(baseline) + " Td " +
           literal(utf8) + " Tj ET\n";
}

inline std::string frame(const Rect& r) {
    return "0.8 w " + number(r.x) + " " + number(r.y) + " " + number(r.width) + " " +
           number(r.height) + " re S\n";
}

struct Field {
    Rect rect;
    int maxLength = 0;
};

// The printed texts both twins share.
inline std::string printedText() {
    std::string content = text(60, 800, "Solicitud", 16);
    content += text(60, 770, "DATOS DEL SOLICITANTE", 11);
    for (const Caption& row : applicant()) content += text(60, row.y + 4, row.text);
    content += text(60, 480, "DATOS DEL REPRESENTANTE", 11);
    for (const Caption& row : representative()) content += text(60, row.y + 4, row.text);
    content += text(60, 300, "DATOS BANCARIOS", 11);
    content += text(60, kIbanY + 3, "IBAN");
    return content;
}

// The fields of the widget form, in the order of the page's /Annots.
inline std::vector<Field> widgetFields() {
    std::vector<Field> fields;
    for (const Caption& row : applicant()) fields.push_back({{200, row.y, 300, 16}});
    for (const Caption& row : representative()) fields.push_back({{200, row.y, 300, 16}});
    for (int i = 0; i < kIbanBoxes; ++i) fields.push_back({{150.0 + i * 16, kIbanY, 14, 14}, 1});
    fields.push_back({{80, kSignatureY, 120, 16}});
    fields.push_back({{215, kSignatureY, 40, 16}});
    fields.push_back({{280, kSignatureY, 110, 16}});
    fields.push_back({{415, kSignatureY, 60, 16}});
    return fields;
}

inline std::string onePage(const std::string& content, const std::string& pageExtra,
                           const std::string& acroForm, const std::vector<std::string>& objects) {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R " + acroForm + " >>");
    w.object(2, "<< /Type /Pages /Kids [10 0 R] /Count 1 >>");
    w.object(3,
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    w.object(10,
             "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 "
             "3 0 R >> >> /Contents 11 0 R " +
                 pageExtra + " >>");
    w.stream(11, "", content);
    for (std::size_t i = 0; i < objects.size(); ++i)
        w.object(static_cast<int64_t>(100 + i), objects[i]);
    return w.finishClassic("/Root 1 0 R");
}

inline std::string widgetPDF() {
    std::string content = printedText();
    content += text(60, kSignatureY + 4, "En");
    content += text(205, kSignatureY + 4, "a");
    content += text(262, kSignatureY + 4, "de");
    content += text(396, kSignatureY + 4, "de");
    std::vector<std::string> objects;
    std::string refs;
    const std::vector<Field> fields = widgetFields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const Rect& r = fields[i].rect;
        std::string body = "<< /Type /Annot /Subtype /Widget /FT /Tx /T (Texto" +
                           std::to_string(i + 1) + ") /Rect [" + number(r.x) + " " + number(r.y) +
                           " " + number(r.maxX()) + " " + number(r.maxY()) + "] /P 10 0 R /F 4";
        if (fields[i].maxLength > 0) body += " /MaxLen " + std::to_string(fields[i].maxLength);
        objects.push_back(body + " >>");
        refs += std::to_string(100 + i) + " 0 R ";
    }
    return onePage(content, "/Annots [" + refs + "]",
                   "/AcroForm << /Fields [" + refs + "] /DA (/Helv 0 Tf 0 g) >>", objects);
}

inline std::string flatPDF() {
    std::string content = printedText();
    for (const Caption& row : applicant()) content += frame({200, row.y, 300, 16});
    for (const Caption& row : representative()) content += frame({200, row.y, 300, 16});
    content += frame({150, kIbanY, 384, 16});
    content +=
        text(60, kSignatureY + 4, "En ______________ a ______ de ______________ de ________");
    return onePage(content, "", "", {});
}

}  // namespace solicitud

#pragma once
// Hand-made AcroForm documents for the filler's tests.
//
// Object numbers: catalog 1, page tree 2, Helvetica 3, page i (from 0) is 10 + i with its content
// stream 40 + i; the test numbers its fields, widgets and arrays from 100 on.
//
//   FormSpec spec;
//   spec.pages = {"/Annots [100 0 R]"};
//   spec.acroForm = "/Fields [100 0 R] /DA (/Helv 0 Tf 0 g)";
//   spec.objects[100] = textWidget("nombre", {100, 700, 200, 20});
//   std::string pdf = formPDF(spec);

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "pages/Geometry.h"
#include "support/PDFFixtures.h"

namespace fillfixtures {

struct FormSpec {
    // Extra entries of each page dictionary ("/Annots [100 0 R] /Rotate 90"); one per page.
    std::vector<std::string> pages{""};
    // Entries of the catalog's direct /AcroForm; "-" for none; a "ref:" prefix makes the rest the
    // catalog's /AcroForm value as written (e.g. "ref:90 0 R").
    std::string acroForm = "-";
    std::map<int64_t, std::string> objects;
    double width = 595;
    double height = 842;
};

inline std::string number(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

// "[x y maxX maxY]"
inline std::string rectArray(const Rect& r) {
    return "[" + number(r.x) + " " + number(r.y) + " " + number(r.maxX()) + " " + number(r.maxY()) +
           "]";
}

// A merged text field and widget on page `page` (object 10 + page).
inline std::string textWidget(const std::string& name, const Rect& rect, int page = 0,
                              const std::string& extra = "") {
    return "<< /Type /Annot /Subtype /Widget /FT /Tx /T (" + name + ") /Rect " + rectArray(rect) +
           " /P " + std::to_string(10 + page) + " 0 R /F 4 " + extra + " >>";
}

inline std::string formPDF(const FormSpec& spec) {
    fixtures::FixtureWriter w;
    std::string catalog = "<< /Type /Catalog /Pages 2 0 R";
    if (spec.acroForm.rfind("ref:", 0) == 0)
        catalog += " /AcroForm " + spec.acroForm.substr(4);
    else if (spec.acroForm != "-")
        catalog += " /AcroForm << " + spec.acroForm + " >>";
    w.object(1, catalog + " >>");
    std::string kids;
    for (std::size_t i = 0; i < spec.pages.size(); ++i) kids += std::to_string(10 + i) + " 0 R ";
    w.object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(spec.pages.size()) +
                    " >>");
    w.object(3,
             "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>");
    for (std::size_t i = 0; i < spec.pages.size(); ++i) {
        w.object(static_cast<int64_t>(10 + i),
                 "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(spec.width) + " " +
                     number(spec.height) + "] /Resources << /Font << /F1 3 0 R >> >> /Contents " +
                     std::to_string(40 + i) + " 0 R " + spec.pages[i] + " >>");
        w.stream(static_cast<int64_t>(40 + i), "",
                 "BT /F1 12 Tf 72 " + number(spec.height - 40) + " Td (Formulario " +
                     std::to_string(i + 1) + ") Tj ET");
    }
    for (const auto& [n, body] : spec.objects) w.object(n, body);
    return w.finishClassic("/Root 1 0 R");
}

}  // namespace fillfixtures

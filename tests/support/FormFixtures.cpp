#include "support/FormFixtures.h"

#include <cstdio>
#include <map>
#include <stdexcept>

#include "support/PDFFixtures.h"

namespace formfixtures {
namespace {

std::u32string codePoints(std::string_view utf8) {
    std::u32string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        std::size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            n = 2;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            n = 3;
        } else {
            cp = c & 0x07;
            n = 4;
        }
        for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

std::string number(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.4f", v);
    std::string s = buffer;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    if (s == "-0") s = "0";
    return s;
}

std::string rectArray(const Rect& r) {
    return "[" + number(r.minX()) + " " + number(r.minY()) + " " + number(r.maxX()) + " " +
           number(r.maxY()) + "]";
}

std::string literal(const std::string& bytes) {
    std::string out = "(";
    for (char c : bytes) {
        if (c == '(' || c == ')' || c == '\\') out += '\\';
        out += c;
    }
    return out + ")";
}

std::string ref(std::int64_t n) {
    return std::to_string(n) + " 0 R";
}

// A PDF name from a UTF-8 text: bytes outside printable ASCII and delimiters as #xx.
std::string name(std::string_view utf8) {
    std::string out = "/";
    for (char ch : utf8) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c >= 0x7F ||
            std::string_view("#()<>[]{}/%").find(ch) != std::string_view::npos) {
            char buffer[4];
            std::snprintf(buffer, sizeof buffer, "#%02X", c);
            out += buffer;
        } else {
            out += ch;
        }
    }
    return out;
}

}  // namespace

std::string pdfText(std::string_view utf8) {
    bool ascii = true;
    for (char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x7F || static_cast<unsigned char>(c) < 0x20)
            ascii = false;
    if (ascii) return literal(std::string(utf8));
    std::string out = "<FEFF";
    char buffer[8];
    for (char32_t cp : codePoints(utf8)) {
        if (cp >= 0x10000) {
            char32_t v = cp - 0x10000;
            std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(0xD800 + (v >> 10)));
            out += buffer;
            std::snprintf(buffer, sizeof buffer, "%04X",
                          static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
        } else {
            std::snprintf(buffer, sizeof buffer, "%04X", static_cast<unsigned>(cp));
        }
        out += buffer;
    }
    return out + ">";
}

std::string textOperators(const TextSpec& text) {
    std::string bytes;
    for (char32_t cp : codePoints(text.text)) bytes += cp < 0x100 ? static_cast<char>(cp) : '?';
    return "BT /F1 " + number(text.size) + " Tf " + number(text.x) + " " + number(text.y) + " Td " +
           literal(bytes) + " Tj ET\n";
}

std::string formPDF(const FormSpec& spec) {
    std::map<std::int64_t, std::string> objects;                          // number -> body
    std::map<std::int64_t, std::pair<std::string, std::string>> streams;  // keys, data
    std::int64_t next = 5;

    std::vector<std::int64_t> parentNumbers;
    for (std::size_t i = 0; i < spec.parents.size(); ++i) parentNumbers.push_back(next++);

    struct PageNumbers {
        std::int64_t page = 0, content = 0;
        std::vector<std::int64_t> widgets, xobjects;
        std::vector<std::vector<std::int64_t>> appearances;
    };
    std::vector<PageNumbers> pages;
    for (const FormPageSpec& p : spec.pages) {
        PageNumbers n;
        n.page = next++;
        n.content = next++;
        for (const WidgetSpec& w : p.widgets) {
            n.widgets.push_back(next++);
            std::vector<std::int64_t> ap;
            for (std::size_t k = 0; k < w.states.size(); ++k) ap.push_back(next++);
            n.appearances.push_back(std::move(ap));
        }
        for (std::size_t k = 0; k < p.xobjects.size(); ++k) n.xobjects.push_back(next++);
        pages.push_back(std::move(n));
    }

    std::vector<std::vector<std::int64_t>> kids(spec.parents.size());
    std::vector<std::int64_t> roots;
    for (std::size_t i = 0; i < spec.parents.size(); ++i) {
        int parent = spec.parents[i].parent;
        if (parent >= 0)
            kids.at(static_cast<std::size_t>(parent)).push_back(parentNumbers[i]);
        else
            roots.push_back(parentNumbers[i]);
    }
    for (std::size_t p = 0; p < spec.pages.size(); ++p)
        for (std::size_t k = 0; k < spec.pages[p].widgets.size(); ++k) {
            int parent = spec.pages[p].widgets[k].parent;
            if (parent >= 0)
                kids.at(static_cast<std::size_t>(parent)).push_back(pages[p].widgets[k]);
            else
                roots.push_back(pages[p].widgets[k]);
        }

    for (std::size_t i = 0; i < spec.parents.size(); ++i) {
        const ParentSpec& f = spec.parents[i];
        std::string body = "<<";
        if (!f.name.empty()) body += " /T " + pdfText(f.name);
        if (!f.type.empty()) body += " /FT /" + f.type;
        if (f.flags) body += " /Ff " + std::to_string(f.flags);
        if (f.parent >= 0)
            body += " /Parent " + ref(parentNumbers.at(static_cast<std::size_t>(f.parent)));
        body += " /Kids [";
        for (std::int64_t k : kids[i]) body += " " + ref(k);
        body += " ] " + f.extra + " >>";
        objects[parentNumbers[i]] = body;
    }

    std::string kidsList;
    for (std::size_t p = 0; p < spec.pages.size(); ++p) {
        const FormPageSpec& page = spec.pages[p];
        const PageNumbers& n = pages[p];
        kidsList += " " + ref(n.page);
        std::string content;
        for (const TextSpec& t : page.texts) content += textOperators(t);
        content += page.graphics;
        streams[n.content] = {"", content};

        std::string annots;
        for (std::size_t k = 0; k < page.widgets.size(); ++k) {
            const WidgetSpec& w = page.widgets[k];
            annots += " " + ref(n.widgets[k]);
            std::string body = "<< /Type /Annot /Subtype /Widget /F 4 /P " + ref(n.page);
            body += " /Rect " + (w.rectText.empty() ? rectArray(w.rect) : w.rectText);
            if (!w.type.empty()) body += " /FT /" + w.type;
            if (!w.name.empty()) body += " /T " + pdfText(w.name);
            if (w.flags) body += " /Ff " + std::to_string(w.flags);
            if (w.maxLength > 0) body += " /MaxLen " + std::to_string(w.maxLength);
            if (w.value) body += " /V " + pdfText(*w.value);
            if (!w.values.empty()) {
                body += " /V [";
                for (const std::string& v : w.values) body += " " + pdfText(v);
                body += " ]";
            }
            if (!w.options.empty()) {
                body += " /Opt [";
                for (const auto& [exported, shown] : w.options)
                    body += exported.empty()
                                ? " " + pdfText(shown)
                                : " [" + pdfText(exported) + " " + pdfText(shown) + "]";
                body += " ]";
            }
            if (w.tooltip) body += " /TU " + pdfText(*w.tooltip);
            if (!w.states.empty()) {
                body += " /AP << /N <<";
                for (std::size_t s = 0; s < w.states.size(); ++s) {
                    body += " " + name(w.states[s]) + " " + ref(n.appearances[k][s]);
                    std::string draw = w.states[s] == "Off" ? "" : "0 g 2 2 m 8 8 l S\n";
                    streams[n.appearances[k][s]] = {"/Type /XObject /Subtype /Form /BBox [0 0 " +
                                                        number(w.rect.width) + " " +
                                                        number(w.rect.height) + "]",
                                                    draw};
                }
                body += " >> >>";
                if (!w.state.empty()) body += " /AS " + name(w.state);
            }
            if (w.type == "Tx" || w.type == "Ch") body += " /DA (/Helv 10 Tf 0 g)";
            if (w.parent >= 0)
                body += " /Parent " + ref(parentNumbers.at(static_cast<std::size_t>(w.parent)));
            body += " " + w.extra + " >>";
            objects[n.widgets[k]] = body;
        }
        std::string pageBody = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(page.width) +
                               " " + number(page.height) + "]";
        if (page.cropBox) pageBody += " /CropBox " + rectArray(*page.cropBox);
        if (page.rotate) pageBody += " /Rotate " + std::to_string(page.rotate);
        std::string xobjects;
        for (std::size_t k = 0; k < page.xobjects.size(); ++k) {
            const XObjectSpec& x = page.xobjects[k];
            xobjects += " " + name(x.name) + " " + ref(n.xobjects[k]);
            std::string keys = "/Type /XObject /Subtype /Form /BBox " + rectArray(x.bbox);
            if (!x.matrix.empty()) keys += " /Matrix [" + x.matrix + "]";
            streams[n.xobjects[k]] = {keys, x.content};
        }
        pageBody += " /Resources << /Font << /F1 3 0 R >>";
        if (!xobjects.empty()) pageBody += " /XObject <<" + xobjects + " >>";
        pageBody += " >> /Contents " + ref(n.content);
        if (!annots.empty()) pageBody += " /Annots [" + annots + " ]";
        objects[n.page] = pageBody + " >>";
    }

    std::string rootList;
    for (std::int64_t r : roots) rootList += " " + ref(r);
    objects[1] = spec.acroForm ? "<< /Type /Catalog /Pages 2 0 R /AcroForm 4 0 R >>"
                               : "<< /Type /Catalog /Pages 2 0 R >>";
    objects[2] = "<< /Type /Pages /Kids [" + kidsList + " ] /Count " +
                 std::to_string(spec.pages.size()) + " >>";
    objects[3] =
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>";
    objects[4] =
        "<< /Fields [" + rootList + " ] /DA (/Helv 0 Tf 0 g) /DR << /Font << /Helv 3 0 R >> >> >>";

    fixtures::FixtureWriter writer;
    for (std::int64_t k = 1; k < next; ++k) {
        if (auto o = objects.find(k); o != objects.end()) {
            writer.object(k, o->second);
        } else if (auto s = streams.find(k); s != streams.end()) {
            writer.stream(k, s->second.first, s->second.second);
        } else {
            throw std::logic_error("form fixture: object " + std::to_string(k) + " not written");
        }
    }
    return writer.finishClassic("/Root 1 0 R");
}

const std::vector<std::string>& printedFormLabels() {
    static const std::vector<std::string> labels = {
        "Nombre",    "Primer apellido", "Segundo apellido", "NIF / NIE",
        "Domicilio", "Municipio",       "Provincia",        "Telefono"};
    return labels;
}

FormSpec printedFlatForm(int pageCount) {
    FormSpec spec;
    spec.acroForm = false;
    for (int p = 0; p < pageCount; ++p) {
        FormPageSpec& page = spec.pages.emplace_back();
        // Drawn in order, bands under their texts.
        std::string& g = page.graphics;
        auto text = [&](double x, double y, const std::string& s, double size) {
            g += textOperators({x, y, s, size});
        };
        auto band = [&](double x, double y, double width, double height, const char* grey) {
            g += std::string(grey) + " g " + number(x) + " " + number(y) + " " + number(width) +
                 " " + number(height) + " re f 0 g\n";
        };
        // The logo: a disc of four curves and a leaf of two, filled in colour.
        g += "0.1 0.3 0.6 rg 70 800 m 70 811.05 61.05 820 50 820 c 38.95 820 30 811.05 30 800 c "
             "30 788.95 38.95 780 50 780 c 61.05 780 70 788.95 70 800 c f\n"
             "0.8 0.6 0.1 rg 80 785 m 95 815 110 815 120 785 c 105 795 95 795 80 785 c f 0 g\n";
        text(130, 806, "MINISTERIO DE EJEMPLO", 9);
        text(130, 788, "SOLICITUD DE AYUDA - HOJA " + std::to_string(p + 1), 12);

        // A box stroked with rounded corners of radius r, each corner a Bézier curve.
        auto rounded = [&](double x, double y, double width, double height, double r) {
            const double k = 0.5523 * r, x1 = x + width, y1 = y + height;
            auto n = [](double v) { return number(v) + " "; };
            g += "0.5 w " + n(x + r) + n(y) + "m " + n(x1 - r) + n(y) + "l " + n(x1 - r + k) +
                 n(y) + n(x1) + n(y + r - k) + n(x1) + n(y + r) + "c " + n(x1) + n(y1 - r) + "l " +
                 n(x1) + n(y1 - r + k) + n(x1 - r + k) + n(y1) + n(x1 - r) + n(y1) + "c " +
                 n(x + r) + n(y1) + "l " + n(x + r - k) + n(y1) + n(x) + n(y1 - r + k) + n(x) +
                 n(y1 - r) + "c " + n(x) + n(y + r) + "l " + n(x) + n(y + r - k) + n(x + r - k) +
                 n(y) + n(x + r) + n(y) + "c h S\n";
        };

        band(40, 750, 515, 16, "0.75");
        text(44, 754, "1. DATOS DEL SOLICITANTE", 10);
        // Labels on grey bands against their boxes; the lower half of the boxes rounded.
        for (std::size_t i = 0; i < printedFormLabels().size(); ++i) {
            const double y = 720 - 26.0 * static_cast<double>(i);
            band(40, y, 150, 18, "0.85");
            if (i < 4)
                g += "0.5 w 190 " + number(y) + " 365 18 re S\n";
            else
                rounded(190, y, 365, 18, 2);
            text(44, y + 5, printedFormLabels()[i], 9);
        }

        band(40, 500, 515, 16, "0.75");
        text(44, 504, "2. OBSERVACIONES", 10);
        band(40, 430, 150, 50, "0.85");
        rounded(190, 430, 365, 50, 2);
        text(44, 462, "Observaciones", 9);
        text(44, 400, "Localidad: ______________________", 9);
        text(300, 400, "Fecha: ______________", 9);

        band(40, 360, 515, 16, "0.75");
        text(44, 364, "3. DECLARACIONES", 10);
        text(480, 338, "Si", 9);
        text(515, 338, "No", 9);
        const char* questions[] = {"Declaro que los datos son ciertos",
                                   "Autorizo la consulta de mis datos",
                                   "Solicito la ayuda en plazo"};
        for (int k = 0; k < 3; ++k) {
            const double y = 315 - 20.0 * k;
            text(44, y + 1, questions[k], 9);
            g += "0.5 w 480 " + number(y) + " 10 10 re 515 " + number(y) + " 10 10 re S\n";
        }
        // The notice on data protection, in small print.
        const char* notice[] = {
            "INFORMACION BASICA SOBRE PROTECCION DE DATOS",
            "Responsable: la unidad gestora del procedimiento. Finalidad: tramitar la solicitud y",
            "comprobar los requisitos de la ayuda. Legitimacion: el cumplimiento de una obligacion",
            "legal y el ejercicio de poderes publicos. Destinatarios: no se cederan datos,",
            "salvo obligacion legal. Derechos: acceder, rectificar y suprimir los datos, asi como",
            "otros derechos, como se explica en la informacion adicional. Informacion adicional:",
            "puede consultarla en la sede electronica del organismo, en el apartado de proteccion",
            "de datos, o solicitarla en cualquiera de sus oficinas de asistencia en materia de",
            "registros. Los datos se conservaran durante el tiempo necesario para cumplir con la",
            "finalidad para la que se recabaron y para determinar las posibles responsabilidades.",
            "La presentacion de esta solicitud implica la aceptacion de las bases de la ayuda",
            "y la declaracion de que todos los datos consignados son veraces."};
        for (int k = 0; k < 12; ++k) text(44, 230 - 10.0 * k, notice[k], 7);
    }
    return spec;
}

namespace {

// A box stroked 0.5 pt wide with corners rounded to radius r, each corner one Bézier curve.
std::string roundedBox(double x, double y, double width, double height, double r) {
    const double k = 0.5523 * r, x1 = x + width, y1 = y + height;
    auto n = [](double v) { return number(v) + " "; };
    return "0.5 w " + n(x + r) + n(y) + "m " + n(x1 - r) + n(y) + "l " + n(x1 - r + k) + n(y) +
           n(x1) + n(y + r - k) + n(x1) + n(y + r) + "c " + n(x1) + n(y1 - r) + "l " + n(x1) +
           n(y1 - r + k) + n(x1 - r + k) + n(y1) + n(x1 - r) + n(y1) + "c " + n(x + r) + n(y1) +
           "l " + n(x + r - k) + n(y1) + n(x) + n(y1 - r + k) + n(x) + n(y1 - r) + "c " + n(x) +
           n(y + r) + "l " + n(x) + n(y + r - k) + n(x + r - k) + n(y) + n(x + r) + n(y) +
           "c h S\n";
}

std::string filled(double x, double y, double width, double height, const char* grey) {
    return std::string(grey) + " g " + number(x) + " " + number(y) + " " + number(width) + " " +
           number(height) + " re f 0 g\n";
}

// The logo of the forms: a disc of four curves and a leaf of two, filled in colour.
std::string logo(double x, double y) {
    auto n = [](double v) { return number(v) + " "; };
    const double cx = x + 20, cy = y + 20, r = 20, k = 11.05;
    return "0.1 0.3 0.6 rg " + n(cx + r) + n(cy) + "m " + n(cx + r) + n(cy + k) + n(cx + k) +
           n(cy + r) + n(cx) + n(cy + r) + "c " + n(cx - k) + n(cy + r) + n(cx - r) + n(cy + k) +
           n(cx - r) + n(cy) + "c " + n(cx - r) + n(cy - k) + n(cx - k) + n(cy - r) + n(cx) +
           n(cy - r) + "c " + n(cx + k) + n(cy - r) + n(cx + r) + n(cy - k) + n(cx + r) + n(cy) +
           "c f\n0.8 0.6 0.1 rg " + n(x + 50) + n(y + 5) + "m " + n(x + 65) + n(y + 35) +
           n(x + 80) + n(y + 35) + n(x + 90) + n(y + 5) + "c " + n(x + 75) + n(y + 15) +
           n(x + 65) + n(y + 15) + n(x + 50) + n(y + 5) + "c f 0 g\n";
}

const std::vector<std::string>& tableLabels() {
    static const std::vector<std::string> labels = {
        "Nombre",        "Primer apellido", "Segundo apellido", "NIF / NIE",
        "Nacionalidad",  "Domicilio",       "Codigo postal",    "Municipio",
        "Provincia",     "Telefono",        "Correo electronico"};
    return labels;
}

FormPageSpec roundedPage(int p) {
    FormPageSpec page;
    std::string& g = page.graphics;
    auto text = [&](double x, double y, const std::string& s, double size) {
        g += textOperators({x, y, s, size});
    };
    g += logo(30, 780);
    text(130, 806, "MINISTERIO DE EJEMPLO", 9);
    text(130, 788, "SOLICITUD DE AYUDA - HOJA " + std::to_string(p + 1), 12);
    g += filled(40, 750, 515, 16, "0.75");
    text(44, 754, "1. DATOS DEL SOLICITANTE", 10);
    // Boxes of 18, 20 and 24 pt, their corners from 4 pt to a quarter of their height, each
    // label centred on its grey band.
    const double heights[] = {18, 18, 18, 18, 20, 20, 24, 24};
    const double radii[] = {4, 4, 4.5, 4.5, 5, 4, 6, 5};
    double y = 744;
    for (std::size_t i = 0; i < printedFormLabels().size(); ++i) {
        const double h = heights[i];
        y -= h + 6;
        g += filled(40, y, 150, h, "0.85");
        g += roundedBox(190, y, 365, h, radii[i]);
        text(44, y + (h - 6.5) / 2, printedFormLabels()[i], 9);
    }
    g += filled(40, 500, 515, 16, "0.75");
    text(44, 504, "2. OBSERVACIONES", 10);
    g += filled(40, 430, 150, 50, "0.85");
    g += roundedBox(190, 430, 365, 50, 8);
    text(44, 462, "Observaciones", 9);
    text(44, 400, "Localidad: ______________________", 9);
    text(300, 400, "Fecha: ______________", 9);
    g += filled(40, 360, 515, 16, "0.75");
    text(44, 364, "3. DECLARACIONES", 10);
    text(480, 338, "Si", 9);
    text(515, 338, "No", 9);
    const char* questions[] = {"Declaro que los datos son ciertos",
                               "Autorizo la consulta de mis datos",
                               "Solicito la ayuda en plazo"};
    for (int k = 0; k < 3; ++k) {
        const double ty = 314 - 20.0 * k;
        text(44, ty + 2, questions[k], 9);
        // Tick boxes of 11 pt with corners of 2.5 pt.
        g += roundedBox(479, ty, 11, 11, 2.5) + roundedBox(514, ty, 11, 11, 2.5);
    }
    for (int k = 0; k < 6; ++k)
        text(44, 230 - 10.0 * k,
             "Texto informativo sobre el tratamiento de los datos personales del solicitante.", 7);
    return page;
}

FormPageSpec tablesPage(int p) {
    FormPageSpec page;
    // The crop box, offset inside a larger media box; the content drawn on it and clipped to it.
    page.width = 660;
    page.height = 920;
    page.cropBox = Rect{31.5, 41.25, 595, 842};
    std::string g = "q 1 0 0 1 31.5 41.25 cm 0 0 595 842 re W n\n";
    auto text = [&](double x, double y, const std::string& s, double size) {
        g += textOperators({x, y, s, size});
    };
    auto rule = [&](double x0, double y0, double x1, double y1) {
        g += number(x0) + " " + number(y0) + " m " + number(x1) + " " + number(y1) + " l\n";
    };
    g += logo(30, 780);
    text(130, 806, "AGENCIA DE EJEMPLO", 9);
    text(130, 788, "DECLARACION RESPONSABLE - HOJA " + std::to_string(p + 1), 12);

    // Two tables of two columns, rows 20 pt high: labels on a grey column, the values right.
    // The first has its grey header row drawn under the rules, the second its section bar drawn
    // over them.
    const std::vector<std::string>& labels = tableLabels();
    auto table = [&](double top, std::size_t from, std::size_t to, const std::string& title,
                     bool headerOver) {
        const double rows = static_cast<double>(to - from), bottom = top - 20 * (rows + 1);
        if (!headerOver) g += filled(40, top - 20, 515, 20, "0.8");
        g += filled(40, bottom, 160, 20 * rows, "0.9");
        g += "0.5 w 0 G\n";
        for (std::size_t k = 0; k <= to - from + 1; ++k)
            rule(40, top - 20.0 * k, 555, top - 20.0 * k);
        rule(40, bottom, 40, top);
        rule(555, bottom, 555, top);
        rule(200, bottom, 200, top - 20);
        g += "S\n";
        if (headerOver) g += filled(40, top - 20, 515, 20, "0.7");
        text(44, top - 14, title, 10);
        for (std::size_t k = from; k < to; ++k)
            text(44, top - 20.0 * static_cast<double>(k - from + 2) + 6.5, labels[k], 9);
    };
    table(760, 0, 5, "1. DATOS DEL SOLICITANTE", false);
    table(620, 5, 11, "2. DOMICILIO A EFECTOS DE NOTIFICACIONES", true);
    // A logo of curves beside the second table.
    g += "0.2 0.5 0.3 rg 575 560 m 575 571 566 580 560 580 c 554 580 560 571 560 560 c "
         "560 549 566 540 575 560 c f 0 g\n";

    // The account: 24 boxes in groups of four.
    text(44, 465, "IBAN", 9);
    g += "0.5 w\n";
    for (int k = 0; k < 24; ++k)
        g += number(100 + 13.0 * k + 5.0 * (k / 4)) + " 459 13 18 re\n";
    g += "S\n";

    // A ruled tick column under a grey section bar: a question in each row, its cells under
    // «Sí» and «No».
    g += filled(40, 436, 515, 18, "0.75");
    text(44, 441, "3. DECLARACIONES", 10);
    text(437, 416, "Sí", 9);
    text(487, 416, "No", 9);
    const char* questions[] = {"Declaro que los datos son ciertos",
                               "Autorizo la consulta de mis datos",
                               "Solicito la ayuda en plazo"};
    g += "0.5 w\n";
    for (int k = 0; k <= 4; ++k) rule(40, 430 - 20.0 * k, 520, 430 - 20.0 * k);
    for (double x : {40.0, 420.0, 470.0, 520.0}) rule(x, 350, x, 430);
    g += "S\n";
    for (int k = 0; k < 3; ++k) text(44, 396 - 20.0 * k, questions[k], 9);
    for (int k = 0; k < 6; ++k)
        text(44, 300 - 10.0 * k,
             "Texto informativo sobre el tratamiento de los datos personales del declarante.", 7);
    page.graphics = g + "Q\n";
    return page;
}

}  // namespace

FormSpec flatForm(FlatDesign design, int pageCount) {
    if (design == FlatDesign::printed) return printedFlatForm(pageCount);
    FormSpec spec;
    spec.acroForm = false;
    for (int p = 0; p < pageCount; ++p)
        spec.pages.push_back(design == FlatDesign::rounded ? roundedPage(p) : tablesPage(p));
    return spec;
}

const std::vector<std::string>& designFormLabels(FlatDesign design) {
    if (design == FlatDesign::tables) return tableLabels();
    return printedFormLabels();
}

std::optional<FlatDesign> flatDesign(std::string_view name) {
    if (name == "impreso") return FlatDesign::printed;
    if (name == "redondeado") return FlatDesign::rounded;
    if (name == "tablas") return FlatDesign::tables;
    return std::nullopt;
}

}  // namespace formfixtures

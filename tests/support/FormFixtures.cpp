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

}  // namespace formfixtures

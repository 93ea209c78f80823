#pragma once
// Interactive-form fixtures: pages with Helvetica text at known places, drawn graphics and widget
// annotations of every kind, with their field tree and /AcroForm, written through FixtureWriter.
//
//   formfixtures::FormSpec spec;
//   auto& page = spec.pages.emplace_back();
//   page.texts.push_back({72, 700, "Nombre y apellidos"});        // baseline at y = 700
//   page.widgets.push_back({.name = "nombre", .rect = {180, 696, 200, 16}});  // text by default
//   std::string pdf = formfixtures::formPDF(spec);
//
// Objects: 1 catalog, 2 page tree, 3 font (Helvetica, WinAnsiEncoding, also /Helv of the form's
// resources), 4 /AcroForm; then the parent fields; then per page its page object, its content
// stream and its widgets (each followed by its appearance streams). /Fields lists the roots.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "forms/reader/FormReader.h"
#include "pages/Geometry.h"

namespace formfixtures {

// A field without a widget of its own: a node of the field tree (/T, /FT, /Ff, /Kids).
struct ParentSpec {
    std::string name{};      // /T; "" writes none
    std::string type{};      // /FT; "" writes none
    std::int64_t flags = 0;  // /Ff, written when not 0
    int parent = -1;         // index in FormSpec::parents; -1: a root of /Fields
    std::string extra{};     // further keys, as written ("/TU (Ayuda)")
};

// A widget annotation, merged with its field when it has a /T or no parent.
struct WidgetSpec {
    std::string type = "Tx";  // /FT: "Tx", "Btn", "Ch", "Sig"; "" writes none (inherited)
    std::string name{};       // /T; "" writes none
    Rect rect{};              // /Rect, page space
    std::int64_t flags = 0;   // /Ff, written when not 0
    int maxLength = 0;        // /MaxLen, written when > 0
    std::optional<std::string> value{};  // /V as a text string
    std::vector<std::string> values{};   // /V as an array of text strings (when not empty)
    // /Opt entries: (export, shown) pairs; an empty export writes the shown text alone.
    std::vector<std::pair<std::string, std::string>> options{};
    std::optional<std::string> tooltip{};  // /TU
    std::vector<std::string> states{};     // /AP /N appearance states, in order ("Sí", "Off")
    std::string state{};                   // /AS, written when not empty
    int parent = -1;                       // index in FormSpec::parents
    std::string extra{};                   // further keys, as written
    std::string rectText{};                // written instead of `rect` when not empty ("[0 0 1]")
};

// Text shown in Helvetica, its baseline starting at (x, y) in page space. Characters of Latin-1
// are written in WinAnsi bytes.
struct TextSpec {
    double x = 0;
    double y = 0;
    std::string text{};
    double size = 10;
};

// A Form XObject of the page's resources, drawn by its content with "/Name Do".
struct XObjectSpec {
    std::string name{};     // resource name, without the slash
    Rect bbox{};            // /BBox, form space
    std::string matrix{};   // /Matrix entries ("1 0 0 1 20 30"); "" writes none
    std::string content{};  // its own operators (the page's resources serve it)
};

struct FormPageSpec {
    double width = 595;  // media box [0 0 width height]
    double height = 842;
    int rotate = 0;                 // /Rotate, written when not 0
    std::optional<Rect> cropBox{};  // /CropBox
    std::vector<TextSpec> texts{};
    std::string graphics{};  // further content operators (rules: "0 0 0 rg 72 600 200 0.8 re f")
    std::vector<WidgetSpec> widgets{};
    std::vector<XObjectSpec> xobjects{};
};

struct FormSpec {
    std::vector<FormPageSpec> pages{};
    std::vector<ParentSpec> parents{};
    bool acroForm = true;  // write /AcroForm (with /Fields) in the catalog
};

std::string formPDF(const FormSpec& spec);

// A flat form of `pageCount` pages as administrations print them, every page alike: a logo drawn
// with curves, a title, section headings on grey bands, eight labels each on a grey band against
// its box (the last four with rounded corners, Bézier curves), a box with rounded corners for
// remarks, two fill lines, a tick column of three questions under «Si» and «No», and a notice in
// small print. Its fields: a box right of each of printedFormLabels and of «Observaciones», the
// fill lines «Localidad» and «Fecha», and three tick cells under each of «Si» and «No».
FormSpec printedFlatForm(int pageCount);
const std::vector<std::string>& printedFormLabels();

// Other designs of flat forms, every page alike:
//  - rounded: the printed form's layout with every box rounded, radii from 4 pt to a quarter of
//    the box's smaller side (18, 20 and 24 pt boxes), and tick boxes of 11 pt with corners of
//    2.5 pt;
//  - tables: two-column tables of ruled rows (labels on a grey column, a grey header row drawn
//    under the rules, a grey section bar drawn over them), a row of 24 boxes in groups of four, a
//    ruled tick column, a logo of curves beside the table, on a crop box offset inside a larger
//    media box and clipped to it.
// Their fields: designFormLabels(design) as text cells, in order; the rounded one adds the fill
// lines «Localidad» and «Fecha» and three ticks under each of «Si» and «No»; the tables one adds
// three cells under each of «Sí» and «No».
enum class FlatDesign { printed, rounded, tables };
FormSpec flatForm(FlatDesign design, int pageCount);
const std::vector<std::string>& designFormLabels(FlatDesign design);
// The design named «impreso», «redondeado» or «tablas»; nothing for another name.
std::optional<FlatDesign> flatDesign(std::string_view name);

// A PDF text string: a literal string for printable ASCII, else <FEFF…> in UTF-16BE hex.
std::string pdfText(std::string_view utf8);

// The content operators that show one text (BT … ET), Helvetica as /F1.
std::string textOperators(const TextSpec& text);

// Sets the time each page adds to the form reader's time limit for a scope and puts the one
// before back when it ends.
class PageTimeLimit {
public:
    explicit PageTimeLimit(std::chrono::milliseconds limit) : saved_(FormReader::pageTimeLimit()) {
        FormReader::pageTimeLimit() = limit;
    }
    ~PageTimeLimit() { FormReader::pageTimeLimit() = saved_; }
    PageTimeLimit(const PageTimeLimit&) = delete;
    PageTimeLimit& operator=(const PageTimeLimit&) = delete;

private:
    std::chrono::milliseconds saved_;
};

}  // namespace formfixtures

#pragma once
// The text of a form field's appearance: the font size in a default-appearance (/DA) string, and
// a one-page PDF of the widget's size showing the value as a viewer would, drawn with Pango in a
// face with Helvetica's metrics (PangoText::fontFamily) through Rendering::pdfPage.
//
// Single-line fields are sized to their box (a size from /DA, else 0.62 of the height between 6
// and 12, shrunk to the line height and then by half points down to 5 until the text fits), comb
// fields put one character in each of /MaxLen cells, multiline fields wrap inside a 2-point
// margin from the top. A line break in the value of a single-line or comb field shows as a blank.

#include <optional>
#include <string>
#include <string_view>

#include "forms/fill/FormFiller.h"
#include "pages/Geometry.h"

struct PDFSignerText {
    // Field flags read by the layout.
    static constexpr std::int64_t multilineFlag = 0x1000;
    static constexpr std::int64_t combFlag = 0x1000000;
    // Smallest size a single line is shrunk to, and the sizes without one from /DA.
    static constexpr double minimumSize = 5;
    static constexpr double multilineSize = 10;

    // The operand of the first "Tf" of a /DA string, parts split at spaces only: "/Helv 12 Tf 0 g"
    // gives 12, "/Helv 0 Tf 0 g" gives 0; nothing when there is no "Tf" with a number before it.
    static std::optional<double> fontSize(std::string_view da);

    // The font size the text is drawn at in a box of `size` (for comb and multiline fields the
    // starting size; a single line also shrinks to fit the width).
    static double drawingSize(const std::string& text, Size size, const FormFiller::Widget& widget);

    // A one-page PDF of `size` showing the text in black; reads the widget's flags, maxLength,
    // fontSize and alignment. Nothing when the size is outside Rendering's limits or the PDF
    // cannot be made. Only the first FormFiller::maxDrawnCharacters characters are drawn.
    static std::optional<std::string> render(const std::string& text, Size size,
                                             const FormFiller::Widget& widget);
};

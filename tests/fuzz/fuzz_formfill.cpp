// The form filler over arbitrary files: the field collection (names, pages, inherited attributes,
// bounded trees), then a fill of the first fields found plus a drawn text box, with appearances.
// Hostile input gives an exception, never a crash, a hang or a short output.

#include "forms/fill/FormFiller.h"
#include "pdf/PDFFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::uint8_t mode = data[0];
    const std::string pdf(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<FormFill> fills;
    try {
        PDFFile file(pdf);
        for (const FormFiller::Widget& widget : FormFiller::collect(file)) {
            if (fills.size() == 3) break;
            FormFill fill;
            fill.name = widget.name;
            fill.pageIndex = widget.pageIndex.value_or(0);
            fill.rect = widget.rect;
            fill.text = mode & 1 ? "Ana García López" : "X";
            fills.push_back(fill);
        }
    } catch (const std::exception&) {
        return 0;
    }
    if (mode & 2) {
        FormFill box;
        box.name = "tindra.texto";
        box.pageIndex = mode >> 4;
        box.rect = {20, 20, 120, 18};
        box.text = "Expediente 2026/0142";
        box.drawn = true;
        fills.push_back(box);
    }
    try {
        const std::string out = FormFiller::fill(pdf, fills);
        if (!fills.empty() && out.size() < pdf.size()) __builtin_trap();
    } catch (const std::exception&) {
    }
    return 0;
}

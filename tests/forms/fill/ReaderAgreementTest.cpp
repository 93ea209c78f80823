// The reader's fields fill through the filler: both name widgets with the same function and
// read the same pages and rectangles.

#include <gtest/gtest.h>

#include "forms/fill/FormFiller.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "support/FormFixtures.h"

namespace {

formfixtures::WidgetSpec widget(const std::string& type, const std::string& name, Rect rect,
                                int parent = -1) {
    formfixtures::WidgetSpec w;
    w.type = type;
    w.name = name;
    w.rect = rect;
    w.parent = parent;
    return w;
}

formfixtures::ParentSpec parent(const std::string& name, int above = -1) {
    formfixtures::ParentSpec p;
    p.name = name;
    p.type = "Tx";
    p.parent = above;
    return p;
}

}  // namespace

TEST(ReaderAgreement, EveryFieldTheReaderFindsIsFilled) {
    formfixtures::FormSpec spec;
    spec.parents = {parent("datos"), parent("telefono", 0)};
    auto& first = spec.pages.emplace_back();
    first.texts.push_back({72, 700, "Nombre", 10});
    first.widgets.push_back(widget("", "nombre", {180, 696, 200, 16}, 0));
    auto dni = widget("", "dni", {180, 660, 90, 16}, 0);
    dni.flags = 1 << 24;
    dni.maxLength = 9;
    first.widgets.push_back(dni);
    first.widgets.push_back(widget("", "", {180, 620, 90, 16}, 1));
    first.widgets.push_back(widget("", "", {300, 620, 90, 16}, 1));
    auto province = widget("Ch", "provincia", {180, 580, 120, 16});
    province.flags = 1 << 17;
    province.options = {{"", "Madrid"}, {"", "Cádiz"}};
    first.widgets.push_back(province);
    auto box = widget("Btn", "acepto", {180, 540, 12, 12});
    box.states = {"Off", "Sí"};
    box.state = "Off";
    first.widgets.push_back(box);
    auto& second = spec.pages.emplace_back();
    second.rotate = 90;
    second.cropBox = Rect{20, 20, 500, 800};
    second.widgets.push_back(widget("Tx", "otro", {100, 300, 20, 150}));
    const std::string pdf = formfixtures::formPDF(spec);

    PDFFile file(pdf);
    std::vector<FormFill> fills;
    for (const FormField& field : FormReader::fields(file)) {
        if (field.drawn) continue;
        fills.push_back({field.name, field.pageIndex, field.rect, "X"});
    }
    ASSERT_EQ(fills.size(), 7u);
    const std::string out = FormFiller::fill(pdf, fills);
    PDFFile filled(out);
    const auto widgets = FormFiller::collect(filled);
    ASSERT_EQ(widgets.size(), 7u);
    for (const auto& w : widgets) {
        const PDFDictionary* field = filled.dictionary(filled.object(w.fieldRef));
        ASSERT_TRUE(field && field->get("V")) << w.name;
    }
}

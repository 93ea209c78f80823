// A form already filled with the user's data, read and labelled through the stub service: the
// values its widgets show are no printed text, so none of them reaches a request or the texts the
// rules read.
#include <gtest/gtest.h>

#include "AIFixtures.h"
#include "forms/ai/JevLabeler.h"
#include "forms/fill/FormFiller.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "support/FormFixtures.h"

namespace {

struct Entry {
    std::string caption;
    double captionX, captionY;
    std::string name;
    Rect rect;
    std::string value;
};

// Captions to the left on the field's line, then captions above the field, under a heading.
const std::vector<Entry>& entries() {
    static const std::vector<Entry> list = {
        {"NIF:", 72, 700, "nif", {180, 696, 150, 16}, "12345678Z"},
        {"Nombre y apellidos:", 72, 670, "nombre", {180, 666, 250, 16}, "María Olmedilla Fuentes"},
        {"Domicilio:", 72, 640, "domicilio", {180, 636, 300, 16}, "Avenida Valdezarza 17"},
        {"Teléfono", 72, 590, "telefono", {72, 570, 150, 16}, "612345678"},
        {"Correo electrónico", 260, 590, "correo", {260, 570, 200, 16}, "maria@olmedilla.es"},
        {"IBAN", 72, 540, "iban", {72, 520, 300, 16}, "ES9121000418450200051332"},
    };
    return list;
}

// Pieces of the values that a caption could carry.
const std::vector<std::string> secrets = {"12345678Z", "Olmedilla", "Fuentes", "Valdezarza",
                                          "612345678", "olmedilla.es", "ES9121000418450200051332",
                                          "21000418"};

std::string filledForm() {
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts.push_back({72, 740, "DATOS DEL SOLICITANTE", 12});
    for (const Entry& e : entries()) {
        page.texts.push_back({e.captionX, e.captionY, e.caption, 10});
        formfixtures::WidgetSpec w;
        w.name = e.name;
        w.rect = e.rect;
        page.widgets.push_back(w);
    }
    std::vector<FormFill> fills;
    for (const Entry& e : entries()) fills.push_back({e.name, 0, e.rect, e.value});
    return FormFiller::fill(formfixtures::formPDF(spec), fills);
}

TEST(AIPrivacy, ValuesShownByWidgetsReachNoRequestAndNoCaption) {
    const std::string pdf = filledForm();
    PDFFile file(pdf);
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), entries().size());
    // The form is read as filled: the values are the fields' own.
    EXPECT_EQ(fields[0].value, "12345678Z");
    EXPECT_EQ(fields[1].left, "Nombre y apellidos:");
    EXPECT_EQ(fields[3].above, "Teléfono");

    for (const FormField& f : fields) {
        std::string texts = f.left + "|" + f.above + "|" + f.right + "|" + f.context + "|" +
                            f.section.value_or("") + "|" + f.header.value_or("");
        for (const std::string& c : f.captions) texts += "|" + c;
        for (const std::string& secret : secrets)
            EXPECT_EQ(texts.find(secret), std::string::npos) << f.name << ": " << texts;
    }

    AISandbox box;
    JevLabeler("K", box.settings()).labels(FormReader::units(fields), "Solicitud");
    const auto requests = box.stub.requests();
    ASSERT_FALSE(requests.empty());
    for (const auto& request : requests) {
        EXPECT_NE(request.body.find("DATOS DEL SOLICITANTE"), std::string::npos);
        for (const std::string& secret : secrets)
            EXPECT_EQ(request.body.find(secret), std::string::npos) << secret << " in a request";
    }
}

}  // namespace

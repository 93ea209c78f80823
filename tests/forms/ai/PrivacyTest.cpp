// A form already filled with the user's data, read and labelled through the stub service: the
// values its widgets show are no printed text, so none of them reaches a request or the texts the
// rules read.
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/uspoof.h>

#include "AIFixtures.h"
#include "forms/ai/AILog.h"
#include "forms/ai/JevLabeler.h"
#include "forms/labels/FieldLabeler.h"
#include "forms/fill/FormFiller.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "support/FormFixtures.h"
#include "support/PDFFixtures.h"

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

// A value longer than its widget, drawn by another program without shrinking: the text engine
// reads the letters past the widget's edge too, and they are the widget's, not printed text.
TEST(AIPrivacy, AValueRunningPastItsWidgetIsNoCaption) {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [10 0 R 12 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [4 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    w.object(4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Resources << /Font << /F1 "
                "3 0 R >> >> /Contents 5 0 R /Annots [10 0 R 12 0 R] >>");
    w.stream(5, "",
             "BT /F1 10 Tf 72 700 Td (Domicilio:) Tj ET BT /F1 10 Tf 270 700 Td (Portal) Tj ET\n"
             "BT /F1 10 Tf 72 660 Td (Piso) Tj ET\n",
             false);
    w.object(10, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (domicilio) /V (Avenida Valdezarza "
                 "Olmedo) /Rect [130 696 190 712] /AP << /N 11 0 R >> /DA (/Helv 10 Tf 0 g) >>");
    w.stream(11, "/Type /XObject /Subtype /Form /BBox [0 0 60 16] /Resources << /Font << /Helv 3 0 R >> >>",
             "/Tx BMC q 1 1 58 14 re W n BT /Helv 10 Tf 2 4 Td (Avenida Valdezarza Olmedo) Tj ET Q EMC",
             false);
    w.object(12, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (piso) /Rect [130 656 190 672] >>");
    const std::string pdf = w.finishClassic("/Root 1 0 R");

    PDFFile file(pdf);
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(fields[0].left, "Domicilio:");
    EXPECT_EQ(fields[0].right, "Portal");
    EXPECT_EQ(fields[1].left, "Piso");
    AISandbox box;
    JevLabeler("K", box.settings()).labels(FormReader::units(fields), "Solicitud");
    ASSERT_FALSE(box.stub.requests().empty());
    for (const auto& request : box.stub.requests()) {
        EXPECT_NE(request.body.find("Portal"), std::string::npos);
        for (const std::string secret : {"Valdezarza", "Olmedo", "Avenida"})
            EXPECT_EQ(request.body.find(secret), std::string::npos) << secret << " in a request";
    }
}

// A form whose file name, field names, tool tips and printed text hold the user's data, labelled
// by the real labeller through the stub service as the application does it, with the user's saved
// facts at hand: no token of that data reaches a request or the call log, and the words that say
// what the fields are still do.
TEST(AIPrivacy, PersonalDataInTheFormItselfReachesNoRequestAndNoLog) {
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts.push_back({72, 780, "SOLICITUD DE DEVOLUCIÓN - Modelo 030", 12});
    // The first two lines lie within the texts above the first field; the start of the last one
    // (from x = 72) lies outside them, so it reaches the request cut short at its left.
    page.texts.push_back({150, 732, "Titular: Ana García López, DNI 87654321X, NIE X1234567L,", 9});
    page.texts.push_back({150, 722, "IBAN ES91 2100 0418 4502 0005 1332", 9});
    page.texts.push_back({72, 712, "612 345 678 - ana.garcia@correo.es", 9});
    page.texts.push_back({72, 702, "Cuenta de cargo: ES91 2100 0418 4502 0005 1332", 9});
    auto widget = [&](const char* caption, double y, const char* name, const char* tooltip) {
        page.texts.push_back({72, y + 4, caption, 10});
        formfixtures::WidgetSpec w;
        w.name = name;
        w.rect = {200, y, 250, 16};
        if (*tooltip) w.tooltip = tooltip;
        page.widgets.push_back(w);
    };
    widget("NIF", 680, "nif_87654321X", "NIF 87654321X (Modelo 030, artículo 12.3)");
    widget("IBAN", 666, "iban", "Cuenta ES9121000418450200051332");
    widget("Teléfono", 636, "tel_612345678", "");
    widget("Correo electrónico", 606, "correo", "ana.garcia@correo.es");
    widget("Domicilio", 576, "domicilio", "Domicilio del titular: calle valdezarza, 17");
    PDFFile file(formfixtures::formPDF(spec));
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 5u);

    AISandbox box;
    (*box.env)[std::string(AISettings::keyVariable)] = "K";
    auto facts = [] {
        SavedFact name;
        name.owner = "persona";
        name.kind = "nombre_completo";
        name.value = "Ana García López";
        SavedFact street;
        street.owner = "persona";
        street.kind = "domicilio";
        street.value = "Calle Valdezarza 17";
        return std::vector<SavedFact>{name, street};
    };
    FieldLabeler::labelling(FormReader::units(fields), "solicitud-87654321X.pdf",
                            JevLabeler::labeler(box.settings(), facts));

    // The pieces of the user's data, as written anywhere in the form.
    const std::vector<std::string> tokens = {
        "87654321", "X1234567", "1234567L", "ES91", "ES 91", "21000418", "2100 0418", "0005 1332",
        "612345678", "612 345 678", "ana.garcia", "correo.es", "García", "Garcia", "López",
        "Valdezarza"};
    const auto requests = box.stub.requests();
    ASSERT_FALSE(requests.empty());
    std::string sent;
    for (const auto& request : requests) {
        for (const std::string& token : tokens)
            EXPECT_EQ(request.body.find(token), std::string::npos) << token << " in a request";
        sent += request.body;
    }
    // What the fields are is still told, and where the data was the sentence still reads.
    for (const std::string word :
         {"\"NIF\"", "\"IBAN\"", "Teléfono", "Correo electrónico", "(Modelo 030, artículo 12.3)",
          "«solicitud-[NIF].pdf»", "nif_[NIF]", "tel_[teléfono]", "Cuenta [IBAN]", "\"[correo]\"",
          "Titular: [dato], DNI [NIF], NIE [NIF], IBAN [IBAN]", "Domicilio del titular: [dato]"}) {
        EXPECT_NE(sent.find(word), std::string::npos) << word << " missing from the requests";
    }

    const std::vector<AICall> calls = AILog::calls(box.settings().logPath);
    ASSERT_EQ(calls.size(), requests.size());
    for (const AICall& call : calls) {
        ASSERT_TRUE(call.request.has_value());
        EXPECT_EQ(call.form, "solicitud-[NIF].pdf");
        for (const std::string& token : tokens) {
            EXPECT_EQ(call.request->find(token), std::string::npos) << token << " in the log";
            EXPECT_EQ(call.form.find(token), std::string::npos) << token << " in the log";
        }
        EXPECT_NE(call.request->find("IBAN"), std::string::npos);
    }
}

// The letters and digits of a text as a reader of it would take them, whatever their writing:
// compatibility forms composed and case folded, accents dropped, digits of any script as ASCII
// digits, and nothing else (no blanks, zero-width spaces or punctuation).
std::string readable(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* fold = icu::Normalizer2::getNFKCCasefoldInstance(status);
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::UnicodeString folded = nfd->normalize(fold->normalize(icu::UnicodeString::fromUTF8(text), status), status);
    EXPECT_TRUE(U_SUCCESS(status));
    std::string out;
    for (int32_t i = 0; i < folded.length(); i = folded.moveIndex32(i, 1)) {
        const UChar32 c = folded.char32At(i);
        if (u_charType(c) == U_DECIMAL_DIGIT_NUMBER) {
            out += static_cast<char>('0' + u_charDigitValue(c));
        } else if (c < 0x80 && std::isalpha(c)) {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// The same data written otherwise in a form's printed text, tool tips, field names and file name:
// full-width and Arabic-Indic digits, accounts with dots or slashes, a NIE with blanks inside, a
// NIF with a slash, phones in brackets or with slashes, zero-width and no-break spaces, a NIF and a
// saved name glued into field names. None of it reaches a request or the call log in any writing,
// while rows of box numbers and words that are also the user's surnames still do.
TEST(AIPrivacy, OtherWritingsOfTheDataReachNoRequestAndNoLog) {
    struct Row {
        const char* caption;
        const char* name;
        const char* tooltip;
    };
    const Row rows[] = {
        {"CCC 2100.0418.45.0200051332", "nif87654321XTitular", "NIF \uFF18\uFF17\uFF16\uFF15\uFF14\uFF13\uFF12\uFF11\uFF38"},
        {"Cuenta 2100/0418/45/0200051332", "nombreAnaMariaBlancoCampos",
         "Tel \uFF16\uFF11\uFF12\uFF13\uFF14\uFF15\uFF16\uFF17\uFF18 o \u0666\u0661\u0662\u0663\u0664\u0665\u0666\u0667\u0668"},
        {"NIE X 123 4567 L o 87654321/X", "iban", "IBAN ES91.2100.0418.4502.0005.1332"},
        {"Tel. (612) 345 678 o 612/345/678", "telefono", "M\u00F3vil 612\u00A0345\u200B678, NIF 8765\u200B4321X"},
        {"NIF 8765\u00A04321X", "casillas", "Casilla 0435 0436 0437 0438"},
        {"Casillas 612 613 614", "codigo", "C\u00F3digo 800 800 800"},
        {"Mayor de edad", "blanco", "Deje en blanco esta casilla. Rellene los campos"},
    };
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts.push_back({72, 780, "SOLICITUD", 12});
    double y = 740;
    for (const Row& row : rows) {
        page.texts.push_back({72, y + 4, row.caption, 9});
        formfixtures::WidgetSpec w;
        w.name = row.name;
        w.rect = {250, y, 250, 16};
        w.tooltip = row.tooltip;
        page.widgets.push_back(w);
        y -= 30;
    }
    PDFFile file(formfixtures::formPDF(spec));
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), std::size(rows));

    AISandbox box;
    (*box.env)[std::string(AISettings::keyVariable)] = "K";
    auto facts = [] {
        std::vector<SavedFact> saved;
        for (auto [owner, kind, value] : {std::array<const char*, 3>{"persona", "nombre_completo", "Ana María Blanco Campos"},
                                          {"representante", "apellidos", "Mayor Calle"},
                                          {"persona", "nif", "87654321X"},
                                          {"persona", "telefono", "612345678"}}) {
            SavedFact& fact = saved.emplace_back();
            fact.owner = owner;
            fact.kind = kind;
            fact.value = value;
        }
        return saved;
    };
    FieldLabeler::labelling(FormReader::units(fields), "solicitud-\uFF18\uFF17\uFF16\uFF15\uFF14\uFF13\uFF12\uFF11\uFF38.pdf",
                            JevLabeler::labeler(box.settings(), facts));

    const std::vector<std::string> tokens = {"87654321", "612345678", "21000418", "0200051332",
                                             "1234567", "anamaria", "blancocampos"};
    const auto requests = box.stub.requests();
    ASSERT_FALSE(requests.empty());
    std::string sent;
    for (const auto& request : requests) {
        const std::string read = readable(request.body);
        for (const std::string& token : tokens)
            EXPECT_EQ(read.find(token), std::string::npos) << token << " in a request";
        sent += request.body;
    }
    for (const std::string text :
         {"CCC [IBAN]", "Cuenta [IBAN]", "NIE [NIF] o [NIF]", "Tel. [teléfono] o [teléfono]", "nif[NIF]Titular",
          "nombre[dato]", "IBAN [IBAN]", "Casillas 612 613 614", "Código 800 800 800", "Casilla 0435 0436 0437 0438",
          "Mayor de edad", "Deje en blanco esta casilla. Rellene los campos"}) {
        EXPECT_NE(sent.find(text), std::string::npos) << text << " missing from the requests";
    }

    const std::vector<AICall> calls = AILog::calls(box.settings().logPath);
    ASSERT_EQ(calls.size(), requests.size());
    for (const AICall& call : calls) {
        ASSERT_TRUE(call.request.has_value());
        EXPECT_EQ(call.form, "solicitud-[NIF].pdf");
        const std::string read = readable(*call.request);
        for (const std::string& token : tokens)
            EXPECT_EQ(read.find(token), std::string::npos) << token << " in the log";
    }
}

// The letters and digits of a text as a reader takes them whatever letters draw them: the
// confusable skeleton of the text (a Cyrillic "А" reads as a Latin "A"), case folded and taken
// through the skeleton again (so that a small letter and its capital read alike), accents, blanks
// and punctuation dropped, digits of any script as ASCII.
std::string drawn(const std::string& text) {
    UErrorCode status = U_ZERO_ERROR;
    USpoofChecker* checker = uspoof_open(&status);
    auto skeleton = [&](const icu::UnicodeString& s) {
        icu::UnicodeString out;
        uspoof_getSkeletonUnicodeString(checker, 0, s, out, &status);
        return out;
    };
    const icu::Normalizer2* fold = icu::Normalizer2::getNFKCCasefoldInstance(status);
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::UnicodeString first = skeleton(icu::UnicodeString::fromUTF8(text));
    const icu::UnicodeString read = nfd->normalize(skeleton(fold->normalize(first, status)), status);
    uspoof_close(checker);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    std::string out;
    for (int32_t i = 0; i < read.length(); i = read.moveIndex32(i, 1)) {
        const UChar32 c = read.char32At(i);
        if (u_charType(c) == U_DECIMAL_DIGIT_NUMBER) {
            out += static_cast<char>('0' + u_charDigitValue(c));
        } else if (u_isalpha(c)) {
            icu::UnicodeString(c).toUTF8String(out);
        }
    }
    return out;
}

// A form whose printed text, tool tips and file name carry the user's data in writings that are
// easy to miss: a saved NIF by its digits or with a Cyrillic letter, typographic dashes, saved
// streets with their type abbreviated, an e-mail address with its at sign spelled out, a saved
// name in Cyrillic look-alikes, an IBAN whose country code stands apart. Labelled through the stub
// service with the saved facts as the application passes them, no request and no line of the call
// log holds any of it, and the words the form needs still reach the service.
TEST(AIPrivacy, DataWrittenWithDashesLookalikesAbbreviationsOrSpelledSignsReachNoRequestAndNoLog) {
    struct Row {
        const char* caption;
        const char* name;
        const char* tooltip;
    };
    const Row rows[] = {
        {"DNI 87654321", "dni", "DNI/NIF 87654321 letra X"},
        {"NIF", "nif", "NIF 87654321\u0425 o 12345678\u2013Z"},
        {"Tel\u00E9fono", "telefono", "Tel 699\u2013111\u2013222, 699\u2011111\u2011222 o 699\u2212111\u2212222"},
        {"Domicilio: C/ Mayor 12", "domicilio", "C/ Mayor, 12, Villaviciosa de Od\u00F3n"},
        {"Avda. Valdezarza 17", "via", "P.\u00BA de la Castellana 100"},
        {"ana.blanco (arroba) correo.es", "correo", "ana.blanco [at] correo [dot] es"},
        {"Titular", "titular", "Titular: \u0410na \u0412lanco"},
        {"IBAN ES 91 2100 0418 4502 0005 1332", "iban", "ES91  2100  0418  4502  0005  1332"},
        {"Mayor de edad", "edad", "Deje en blanco esta casilla"},
        {"Casilla 0435 0436 0437 0438", "importe", "Importe: 1.234,56 \u20AC. Fecha: 15/06/2024"},
    };
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.texts.push_back({72, 780, "SOLICITUD", 12});
    // Each caption whole within the reach of its field's texts to the left.
    double y = 740;
    for (const Row& row : rows) {
        page.texts.push_back({130, y + 4, row.caption, 9});
        formfixtures::WidgetSpec w;
        w.name = row.name;
        w.rect = {330, y, 200, 16};
        w.tooltip = row.tooltip;
        page.widgets.push_back(w);
        y -= 30;
    }
    PDFFile file(formfixtures::formPDF(spec));
    const std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), std::size(rows));

    AISandbox box;
    (*box.env)[std::string(AISettings::keyVariable)] = "K";
    auto facts = [] {
        std::vector<SavedFact> saved;
        for (auto [owner, kind, value] : {std::array<const char*, 3>{"persona", "nombre_completo", "Ana Blanco Ruiz"},
                                          {"persona", "nif", "87654321X"},
                                          {"persona", "telefono", "699111222"},
                                          {"persona", "email", "ana.blanco@correo.es"},
                                          {"persona", "domicilio", "Calle Mayor 12, 28670 Villaviciosa de Od\u00F3n"},
                                          {"empresa", "domicilio_fiscal", "Avenida Valdezarza 17"},
                                          {"empresa", "domicilio_fiscal", "Paseo de la Castellana 100"}}) {
            SavedFact& fact = saved.emplace_back();
            fact.owner = owner;
            fact.kind = kind;
            fact.value = value;
        }
        saved[4].parts = {{"via", "Calle Mayor"}, {"numero", "12"}, {"cp", "28670"}, {"municipio", "Villaviciosa de Od\u00F3n"}};
        return saved;
    };
    FieldLabeler::labelling(FormReader::units(fields), "solicitud-87654321", JevLabeler::labeler(box.settings(), facts));

    const std::vector<std::string> tokens = {"87654321", "12345678", "699111222", "cmayor", "valdezarza",
                                             "castellana", "anablanco", "arroba", "correoes", "es91",
                                             "21000418"};
    const auto requests = box.stub.requests();
    ASSERT_FALSE(requests.empty());
    std::string sent;
    for (const auto& request : requests) {
        const std::string read = drawn(request.body);
        for (const std::string& token : tokens)
            EXPECT_EQ(read.find(drawn(token)), std::string::npos) << token << " in a request";
        sent += request.body;
    }
    for (const std::string text :
         {"DNI [NIF]", "DNI/NIF [NIF] letra X", "NIF [NIF] o [NIF]", "Tel [tel\u00E9fono], [tel\u00E9fono] o [tel\u00E9fono]",
          "Domicilio: [dato]", "[dato], Villaviciosa de Od\u00F3n", "[correo]", "Titular: [dato] [dato]",
          "IBAN [IBAN]", "Mayor de edad", "Deje en blanco esta casilla", "Casilla 0435 0436 0437 0438",
          "Importe: 1.234,56 \u20AC. Fecha: 15/06/2024", "\u00ABsolicitud-[NIF]\u00BB"}) {
        EXPECT_NE(sent.find(text), std::string::npos) << text << " missing from the requests";
    }

    const std::vector<AICall> calls = AILog::calls(box.settings().logPath);
    ASSERT_EQ(calls.size(), requests.size());
    for (const AICall& call : calls) {
        ASSERT_TRUE(call.request.has_value());
        EXPECT_EQ(call.form, "solicitud-[NIF]");
        const std::string read = drawn(*call.request);
        for (const std::string& token : tokens)
            EXPECT_EQ(read.find(drawn(token)), std::string::npos) << token << " in the log";
    }
}

}  // namespace

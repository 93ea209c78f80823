// The section's rules without a window: captions, hints, the status and its sentences, writing
// and ticking, tab order.
#include <gtest/gtest.h>

#include "FormFillRig.h"
#include "document/formfill/FieldCaption.h"
#include "document/formfill/FieldHint.h"
#include "document/formfill/FieldWriting.h"
#include "document/formfill/FormFillModel.h"
#include "document/formfill/FormStatus.h"
#include "document/formfill/TabOrder.h"
#include "forms/reader/FormReader.h"
#include "profile/UnicodeText.h"

using namespace formfillrig;

TEST(FieldCaption, NamedCaptionsLeftTextsAndCandidates) {
    FormField day = text(1, {100, 100, 20, 12}, "Día, mes y año de la firma: ____");
    EXPECT_EQ(FieldCaption::caption(item(day, "firma.dia")), "Día de la firma");

    FormField nif = text(2, {100, 100, 80, 12}, "NIF / NIE:");
    EXPECT_EQ(FieldCaption::caption(item(nif, "titular.nif")), "NIF / NIE");
    nif.left = "Nº:";
    EXPECT_EQ(FieldCaption::caption(item(nif, "titular.nif")), "NIF");

    // Without a label: the first candidate longer than three characters, else the full name.
    FormField plain = text(3, {100, 100, 80, 12}, "Nº:");
    plain.above = "Cód";
    plain.captions = {"DATOS  DEL\tSOLICITANTE ....", "Otro"};
    EXPECT_EQ(FieldCaption::caption(item(plain, std::nullopt)), "DATOS DEL SOLICITANTE");
    plain.captions.clear();
    plain.name = "form1[0].datos.nombre_completo";
    EXPECT_EQ(FieldCaption::caption(item(plain, std::nullopt)), "form1[0].datos.nombre_completo");
    // The left text after the last colon, fill lines tidied.
    FormField town = text(4, {100, 100, 80, 12}, "Domicilio: Localidad ……… - ");
    EXPECT_EQ(FieldCaption::caption(item(town, std::nullopt)), "Localidad");
}

TEST(FieldCaption, PageSuffixAndTheCutAtFortyEightCharacters) {
    FormField first = text(1, {100, 100, 80, 12}, "Municipio");
    EXPECT_EQ(FieldCaption::caption(item(first, std::nullopt)), "Municipio");
    FormField third = text(2, {100, 100, 80, 12}, "Municipio", 2);
    EXPECT_EQ(FieldCaption::caption(item(third, std::nullopt)), "Municipio · pág. 3");

    const std::string longText = "Denominación completa de la entidad solicitante de la subvención";
    FormField long3 = text(3, {100, 100, 80, 12}, longText, 2);
    const std::string caption = FieldCaption::caption(item(long3, std::nullopt));
    EXPECT_EQ(caption, "la entidad solicitante de la subvención · pág. 3");
    EXPECT_TRUE(caption.ends_with(" · pág. 3"));
    EXPECT_EQ(UnicodeText::graphemeCount(caption), 48u);

    // A decomposed ñ (n + combining tilde) is one character.
    const std::string decomposed = "n\xCC\x83";
    std::string text48;
    for (int i = 0; i < 47; ++i) text48 += "a";
    text48 = decomposed + text48;  // 48 characters, 49 code points
    EXPECT_EQ(FieldCaption::lastCharacters(text48, 48), text48);
    EXPECT_EQ(FieldCaption::lastCharacters("x" + text48, 48), text48);
}

TEST(FieldHint, SourcesGroupsAndWhoShouldWrite) {
    FormField f = text(1, {100, 100, 80, 12});
    EXPECT_EQ(FieldHint::hint(item(f, "domicilio.via", "Calle Mayor 3", "De Mis datos")), "Tu domicilio · De Mis datos");
    EXPECT_EQ(FieldHint::hint(item(f, std::nullopt, "12345678Z", "De tu certificado")), "De tu certificado");
    EXPECT_EQ(FieldHint::hint(item(f, std::nullopt)), "Tindra no tiene este dato: escríbelo tú.");
    EXPECT_EQ(FieldHint::hint(item(f, "tramite.expediente")), "Depende del trámite: escríbelo tú.");
    EXPECT_EQ(FieldHint::hint(item(f, "otra_persona.nombre")), "De otra persona: normalmente se deja en blanco.");
    EXPECT_EQ(FieldHint::hint(item(f, "no_rellenar.registro")), "No lo rellenas tú: normalmente se deja en blanco.");
    EXPECT_EQ(FieldHint::hint(item(f, "contacto.telefono")), "Tu contacto · Tindra no tiene este dato: escríbelo tú.");
    // A source with an empty value does not count.
    EXPECT_EQ(FieldHint::hint(item(f, "titular.nif", "", "De tu certificado")),
              "Tus datos · Tindra no tiene este dato: escríbelo tú.");
    EXPECT_EQ(FieldHint::whoPart(item(f, ".banco.iban")), "banco");
}

TEST(FormStatus, CountsTitlesAndMissingSentence) {
    EXPECT_EQ(FormStatus::plain(FormStatus::segments(0, 0, 0)), "No hay campos que Tindra sepa rellenar.");
    const auto two = FormStatus::segments(2, 0, 1);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0].tone, FormStatus::Tone::green);
    EXPECT_EQ(two[1].tone, FormStatus::Tone::tertiary);
    EXPECT_EQ(FormStatus::plain(two), "● 2 rellenados   ● 1 a tu cargo");

    EXPECT_EQ(FormStatus::confirmTitle(1), "Revisar la sugerencia…");
    EXPECT_EQ(FormStatus::confirmTitle(3), "Revisar las 3 sugerencias…");

    std::vector<FillItem> items;
    for (const char* label : {"contacto.telefono", "contacto.movil", "titular.nif"}) {
        FillItem i = item(text(1, {}), std::string(label));
        i.state = FillItem::State::yours;
        items.push_back(i);
    }
    EXPECT_EQ(FormStatus::missingSentence(FormStatus::missingPhrases(items)), "Mis datos no tiene tu teléfono.");
    EXPECT_EQ(FormStatus::missingSentence({"tu domicilio", "tu teléfono", "tu correo"}),
              "Mis datos no tiene tu domicilio, tu teléfono ni tu correo.");
    EXPECT_EQ(FormStatus::missingSentence({"tu domicilio", "tu correo"}), "Mis datos no tiene tu domicilio ni tu correo.");
    EXPECT_EQ(FormStatus::missingSentence({}), "");
    EXPECT_EQ(FormStatus::note(false), "Reconocido en este equipo.");
    EXPECT_EQ(FormStatus::note(false, true), "Reconocido en este equipo: no se pudo usar la IA.");
}

TEST(FieldWriting, SingleFieldsAndBoxes) {
    EXPECT_EQ(FieldWriting::spread("  ab c ", 4), (std::vector<std::string>{"a", "b", "c", ""}));
    EXPECT_EQ(FieldWriting::spread("12345", 2), (std::vector<std::string>{"1", "2"}));
    EXPECT_EQ(FieldWriting::spread(" \tZaragoza  ", 1), (std::vector<std::string>{"Zaragoza"}));
    EXPECT_EQ(FieldWriting::spread("a\nb", 1), (std::vector<std::string>{"a\nb"}));
    EXPECT_EQ(FieldWriting::spread("n\xCC\x83" "o\n1", 3), (std::vector<std::string>{"n\xCC\x83", "o", "1"}));
}

TEST(TabOrder, BandsRowsAndEnds) {
    EXPECT_EQ(TabOrder::band(50), 6);
    EXPECT_EQ(TabOrder::band(53), 7);
    EXPECT_EQ(TabOrder::band(52), 7);
    EXPECT_EQ(TabOrder::band(-52), -7);

    // Centres 50 and 53: different bands, the higher first. Centres 52 and 59: one band, by x.
    std::vector<FormField> fields{text(1, {300, 44, 100, 12}), text(2, {100, 47, 100, 12}),
                                  text(3, {300, 46, 100, 12}, {}, 1), text(4, {100, 53, 100, 12}, {}, 1)};
    FormField readOnly = text(5, {100, 300, 100, 12});
    readOnly.readOnly = true;
    fields.push_back(readOnly);
    fields.push_back(checkBox(6, {100, 400, 10, 10}));
    const auto units = FormReader::units(fields);
    EXPECT_EQ(TabOrder::order(units), (std::vector<int>{2, 1, 4, 3}));
    EXPECT_EQ(TabOrder::next(units, 2, true), 1);
    EXPECT_EQ(TabOrder::next(units, 1, false), 2);
    EXPECT_EQ(TabOrder::next(units, 3, true), std::nullopt);  // no wrap
    EXPECT_EQ(TabOrder::next(units, 2, false), std::nullopt);
    EXPECT_EQ(TabOrder::next(units, 5, true), std::nullopt);  // read-only
    EXPECT_EQ(TabOrder::next(units, 6, true), std::nullopt);  // check box
    EXPECT_EQ(TabOrder::next(units, 99, true), std::nullopt);
}

TEST(FormFillModel, RestoreMatchesTheOriginWithinOnePoint) {
    std::vector<FormField> fields{text(1, {100, 700, 100, 12}), text(2, {100, 650, 100, 12})};
    fields[1].name = fields[0].name = "fecha";
    FormFillModel model(fields, "f", ana());
    model.setOn(true);
    FormFill near{"fecha", 0, {100.5, 650.9, 100, 12}, "hoy"};
    EXPECT_TRUE(model.restore({near}));
    EXPECT_EQ(model.restored(), (std::map<int, std::string>{{2, "hoy"}}));
    FormFill far{"fecha", 0, {100, 651, 100, 12}, "ayer"};
    FormFill otherPage{"fecha", 1, {100, 650, 100, 12}, "nunca"};
    EXPECT_TRUE(model.restore({far, otherPage}));
    EXPECT_EQ(model.restored(), (std::map<int, std::string>{{1, "ayer"}, {2, "hoy"}}));
    EXPECT_FALSE(model.restore({}));
}

// The review and field editor popovers, on their own and opened by the controller, and the
// screenshots of the section and both popovers.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "FormFillRig.h"
#include "ui/Popover.h"
#include "ui/Switch.h"
#include "document/formfill/FieldEditor.h"
#include "document/formfill/SuggestionsReview.h"
#include "qtsupport/Screenshots.h"
#include "forms/fill/FormFiller.h"
#include "forms/reader/FormReader.h"
#include "pdf/PDFFile.h"
#include "support/PDFFixtures.h"

using namespace formfillrig;

namespace {

std::vector<FillItem> items(std::size_t n) {
    std::vector<FillItem> out;
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(item(text(static_cast<int>(i) + 1, {100, 700, 100, 14}, "Campo " + std::to_string(i + 1)),
                           std::nullopt, "valor"));
    return out;
}

std::vector<FillItem> threeSuggestions() {
    FillItem name = item(text(1, {150, 700, 200, 14}, "Nombre y apellidos:"), "titular.nombre_completo",
                         "ANA GARCIA LOPEZ", "De tu certificado");
    FillItem nif = item(text(2, {150, 670, 100, 14}, "NIF / NIE:"), "titular.nif", "12345678Z", "De tu certificado");
    FillItem town = item(text(3, {150, 640, 180, 14}, "En ____________", 2), "firma.lugar", "Zaragoza", "De Mis datos");
    return {name, nif, town};
}

// Counts Return presses that reach a window.
class ReturnCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return) ++count;
        return false;
    }
};

// Counts presses of Return or Enter that reach a widget.
class KeyCounter : public QObject {
public:
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) ++count;
        return false;
    }
};

std::string text(const QWidget* w) {
    if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text().toStdString();
    return shown(qobject_cast<const QLabel*>(w));
}

}  // namespace

TEST(SuggestionsReview, FrameSizesTitlesAndAnswers) {
    EXPECT_EQ(SuggestionsReview(items(0)).frame()->height(), 2);
    EXPECT_EQ(SuggestionsReview(items(7)).frame()->height(), 324);
    EXPECT_EQ(SuggestionsReview(items(8)).frame()->height(), 324);
    EXPECT_EQ(SuggestionsReview(items(8)).frame()->width(), 380);

    SuggestionsReview review(threeSuggestions());
    EXPECT_EQ(review.width(), 412);
    EXPECT_EQ(review.confirmButton()->text().toStdString(), "Confirmar 3");
    std::vector<std::optional<std::set<int>>> answers;
    review.onDone = [&](std::optional<std::set<int>> ids) { answers.push_back(ids); };
    review.boxes()[1]->click();
    EXPECT_EQ(review.confirmButton()->text().toStdString(), "Confirmar 2");
    QTest::keyClick(&review, Qt::Key_Return);
    review.cancelButton()->click();
    QTest::keyClick(&review, Qt::Key_Escape);
    review.boxes()[0]->click();
    review.boxes()[2]->click();
    EXPECT_EQ(review.confirmButton()->text().toStdString(), "Confirmar 0");
    EXPECT_FALSE(review.confirmButton()->isEnabled());
    QTest::keyClick(&review, Qt::Key_Return);  // nothing to confirm
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_EQ(answers[0], (std::set<int>{1, 3}));
    EXPECT_EQ(answers[1], std::nullopt);
    EXPECT_EQ(answers[2], std::nullopt);
}

// Where the platform lets a focused check box take Return or Enter (GNOME's theme presses it, so
// it ticks and unticks instead), the popover would not confirm: the key never reaches the box.
TEST(SuggestionsReview, ReturnAndEnterConfirmFromACheckBox) {
    Rig rig(true, {{1, {"titular.nombre_completo", std::nullopt, 0.7}}, {2, {"titular.nif", std::nullopt, 0.7}}});
    auto c = rig.make({text(1, {150, 700, 200, 14}, "Nombre"), text(2, {150, 670, 100, 14}, "NIF")});
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    KeyCounter seen;
    // Return with the first value unticked confirms the second; keypad Enter then the first.
    int suggested = 2;
    for (auto [key, modifiers] : {std::pair{Qt::Key_Return, Qt::NoModifier}, std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
        c->reviewSuggestions();
        ASSERT_TRUE(c->popover());
        auto* review = qobject_cast<SuggestionsReview*>(c->popover()->content());
        ASSERT_TRUE(review);
        ASSERT_EQ(review->boxes().size(), static_cast<std::size_t>(suggested));
        if (suggested == 2) review->boxes()[0]->click();
        QCheckBox* box = review->boxes().back();
        box->setFocus();
        box->installEventFilter(&seen);
        ASSERT_TRUE(waitFor([&] { return QApplication::focusWidget() == box; })) << "La casilla no toma el foco.";
        QTest::keyClick(box, key, modifiers);
        EXPECT_EQ(seen.count, 0) << "La casilla recibe la tecla " << key << ".";
        EXPECT_EQ(c->popover(), nullptr) << "La tecla " << key << " no confirma.";
        ASSERT_EQ(c->model().plan()->count(FillItem::State::suggested), --suggested);
    }
    EXPECT_EQ(c->fills().size(), 2u);
}

TEST(FieldEditor, UseClearAndTheRememberBox) {
    FieldEditor phone(item(text(1, {100, 700, 100, 14}, "Teléfono"), "contacto.telefono"));
    EXPECT_FALSE(phone.rememberBox()->isHidden());
    std::vector<std::pair<std::optional<std::string>, bool>> answers;
    phone.onDone = [&](std::optional<std::string> t, bool remember) { answers.push_back({t, remember}); };
    phone.field()->setText(QStringLiteral(" \t "));
    phone.useButton()->click();
    phone.field()->setText(QStringLiteral("  976 123 456\t"));
    phone.useButton()->click();
    phone.rememberBox()->setChecked(false);
    phone.useButton()->click();
    phone.clearButton()->click();
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0], std::make_pair(std::optional<std::string>(), true));
    EXPECT_EQ(answers[1], std::make_pair(std::optional<std::string>("976 123 456"), true));
    EXPECT_EQ(answers[2], std::make_pair(std::optional<std::string>("976 123 456"), false));
    EXPECT_EQ(answers[3], std::make_pair(std::optional<std::string>(), false));

    FieldEditor nif(item(text(2, {100, 700, 100, 14}, "NIF"), "titular.nif", "12345678Z", "De tu certificado"));
    EXPECT_TRUE(nif.rememberBox()->isHidden());
    EXPECT_TRUE(nif.rememberBox()->isChecked());
    bool flag = true;
    nif.onDone = [&](std::optional<std::string>, bool remember) { flag = remember; };
    nif.useButton()->click();
    EXPECT_FALSE(flag);
    EXPECT_EQ(shown(nif.hint()), "Tus datos · De tu certificado");
    EXPECT_EQ(nif.field()->placeholderText().toStdString(), "Lo que va en este campo");
}

TEST(FormFillPopovers, ReviewConfirmsThroughTheController) {
    Rig rig(true, {{1, {"titular.nombre_completo", std::nullopt, 0.7}}, {2, {"titular.nif", std::nullopt, 0.7}}});
    auto c = rig.make({text(1, {150, 700, 200, 14}, "Nombre"), text(2, {150, 670, 100, 14}, "NIF")});
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_EQ(c->confirmButton()->text().toStdString(), "Revisar las 2 sugerencias…");
    c->reviewSuggestions();
    ASSERT_TRUE(c->popover());
    auto* review = qobject_cast<SuggestionsReview*>(c->popover()->content());
    ASSERT_TRUE(review);
    EXPECT_EQ(c->popover()->edge(), Popover::Edge::right);
    EXPECT_EQ(review->items().size(), 2u);
    // One popover at a time: the editor closes the review, the review the editor.
    QWidget window;
    c->edit(1, {10, 200, 100, 20}, &window);
    EXPECT_TRUE(qobject_cast<FieldEditor*>(c->popover()->content()));
    c->reviewSuggestions();
    review = qobject_cast<SuggestionsReview*>(c->popover()->content());
    ASSERT_TRUE(review);
    review->boxes()[0]->click();
    review->confirmButton()->click();
    EXPECT_EQ(c->popover(), nullptr);
    EXPECT_EQ(c->model().plan()->count(FillItem::State::suggested), 1);
    EXPECT_EQ(c->confirmButton()->text().toStdString(), "Revisar la sugerencia…");
    ASSERT_EQ(c->fills().size(), 1u);
    EXPECT_EQ(c->fills()[0].text, "12345678Z");
}

TEST(FormFillPopovers, EditorWithTheSwitchOffAndAnOutsideClick) {
    Rig rig(false);
    std::vector<FormField> fields{text(1, {150, 700, 200, 14}, "Teléfono")};
    auto c = rig.make(fields);
    QWidget window;
    window.resize(600, 400);
    ReturnCounter returns;
    window.installEventFilter(&returns);
    int changes = 0;
    c->onChange = [&] { ++changes; };

    c->edit(99, {10, 10, 100, 20}, &window);
    EXPECT_EQ(c->popover(), nullptr);
    c->edit(1, {10, 200, 100, 20}, &window);
    ASSERT_TRUE(c->popover());
    EXPECT_EQ(c->popover()->edge(), Popover::Edge::top);
    auto* editor = qobject_cast<FieldEditor*>(c->popover()->content());
    ASSERT_TRUE(editor);
    // An outside click closes it and calls nothing.
    QTest::mouseClick(c->popover(), Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_FALSE(c->popover()->isVisible());
    EXPECT_EQ(changes, 0);
    EXPECT_TRUE(c->model().typed().empty());

    c->edit(1, {10, 200, 100, 20}, &window);
    editor = qobject_cast<FieldEditor*>(c->popover()->content());
    EXPECT_TRUE(editor->rememberBox()->isHidden());  // no label with the switch off
    editor->field()->setText(QStringLiteral("976123456"));
    QTest::keyClick(editor->field(), Qt::Key_Return);
    EXPECT_EQ(returns.count, 0);
    EXPECT_EQ(c->popover(), nullptr);
    EXPECT_EQ(changes, 1);
    ASSERT_EQ(c->fills().size(), 1u);
    EXPECT_EQ(c->fills()[0].text, "976123456");
    EXPECT_TRUE(c->remembered().empty());
}

TEST(FormFillPopovers, RememberedWhileOn) {
    Rig rig(true, {{1, {"contacto.telefono", std::nullopt, 0.95}}});
    auto c = rig.make({text(1, {150, 700, 200, 14}, "Teléfono")});
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    QWidget window;
    c->edit(1, {10, 200, 100, 20}, &window);
    auto* editor = qobject_cast<FieldEditor*>(c->popover()->content());
    ASSERT_TRUE(editor);
    EXPECT_EQ(shown(editor->hint()), "Tu contacto · Tindra no tiene este dato: escríbelo tú.");
    editor->field()->setText(QStringLiteral("976123456"));
    editor->useButton()->click();
    ASSERT_EQ(c->remembered().size(), 1u);
    c->toggleSwitch()->click();
    EXPECT_TRUE(c->remembered().empty());
}

// A check box whose look is one appearance stream, set in the field editor: its value is written
// and the document signs.
TEST(FormFillPopovers, ACheckBoxOfOneAppearanceSetInTheEditorSigns) {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 6 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [4 0 R 6 0 R] >>");
    w.object(4, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (nombre) /Rect [150 700 350 716] >>");
    w.object(6, "<< /Type /Annot /Subtype /Widget /FT /Btn /T (casilla) /Rect [150 650 162 662] "
                "/F 4 /AP << /N 5 0 R >> >>");
    w.stream(5, "/Type /XObject /Subtype /Form /BBox [0 0 12 12]", "0 g 1 1 10 10 re S\n", false);
    const std::string pdf = w.finishClassic("/Root 1 0 R");
    PDFFile file(pdf);
    std::vector<FormField> fields = FormReader::fields(file);
    ASSERT_EQ(fields.size(), 2u);
    ASSERT_EQ(fields[1].kind, FormField::Kind::check);

    Rig rig(true);
    auto c = rig.make(fields);
    ASSERT_TRUE(c);
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    QWidget window;
    c->edit(fields[1].id, {10, 200, 100, 20}, &window);
    auto* editor = qobject_cast<FieldEditor*>(c->popover()->content());
    ASSERT_TRUE(editor);
    editor->field()->setText(QStringLiteral("X"));
    editor->useButton()->click();
    const std::vector<FormFill> fills = c->fills();
    ASSERT_EQ(fills.size(), 1u);
    EXPECT_EQ(fills[0].name, "casilla");

    testutil::TempDir dir;
    testutil::writeFile(dir / "relleno.pdf", FormFiller::fill(pdf, fills));
    static const testutil::TempDir nss;
    static const testpki::NSSDatabase database = testpki::makeNSSDatabase(nss.path() / "nssdb");
    const auto signing = testutil::run({(testutil::toolsDir() / "pdfsign").string(), "--nssdb",
                                        database.dir.string(), "--cert", database.rsaSHA1,
                                        (dir / "relleno.pdf").string(), (dir / "firmado.pdf").string()});
    ASSERT_EQ(signing.exitCode, 0) << signing.err;
    const auto report = testutil::run({"pdfsig", "-nssdir", "sql:" + database.dir.string(), "-no-ocsp",
                                       (dir / "firmado.pdf").string()});
    EXPECT_NE(report.out.find("Signature is Valid."), std::string::npos) << report.out;
    EXPECT_NE(report.out.find("Total document signed"), std::string::npos) << report.out;
    PDFFile signedFile(testutil::readFile(dir / "firmado.pdf"));
    const PDFDictionary* box = signedFile.dictionary(signedFile.object({6, 0}));
    ASSERT_TRUE(box && box->get("AS") && box->get("AS")->name());
    EXPECT_NE(*box->get("AS")->name(), "Off");
}

TEST(FormFillScreenshots, SectionOffAnalysingAndPlanned) {
    const std::vector<FormField> fields{text(1, {150, 700, 200, 14}, "Nombre y apellidos"),
                                        text(2, {150, 670, 100, 14}, "NIF"),
                                        text(3, {150, 640, 100, 14}, "Teléfono"),
                                        text(4, {150, 610, 200, 14}, "Domicilio"),
                                        text(5, {150, 580, 100, 14}, "NIF del representante")};
    Gate gate({{{1, {"titular.nombre_completo", std::nullopt, 0.95}},
                {2, {"titular.nif", std::nullopt, 0.7}},
                {3, {"contacto.telefono", std::nullopt, 0.95}},
                {4, {"domicilio.completo", std::nullopt, 0.95}},
                {5, {"representante.nif", std::nullopt, 0.95}}}});
    Rig rig(false);
    rig.context.labeller = gate.labeller();
    auto c = rig.make(fields);
    QWidget* view = c->view();
    view->setFixedWidth(FormFillController::sectionWidth);

    QImage off = Screenshots::save(*view, "formfill-section-off");
    EXPECT_FALSE(off.isNull());
    EXPECT_TRUE(c->status()->isHidden());
    EXPECT_TRUE(c->note()->isHidden());

    c->toggleSwitch()->click();
    ASSERT_TRUE(gate.started(1));
    view->adjustSize();
    QImage analysing = Screenshots::save(*view, "formfill-section-analysing");
    EXPECT_GT(analysing.height(), off.height());
    EXPECT_EQ(shown(c->status()), "Reconociendo los campos del formulario…");

    gate.open(0);
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    view->adjustSize();
    QImage planned = Screenshots::save(*view, "formfill-section-planned");
    EXPECT_GT(planned.height(), analysing.height());
    EXPECT_EQ(shown(c->status()), "● 1 rellenados   ● 1 por confirmar   ● 2 a tu cargo");
    EXPECT_EQ(c->confirmButton()->text().toStdString(), "Revisar la sugerencia…");
    EXPECT_FALSE(c->roleRow()->isHidden());
    EXPECT_EQ(shown(c->missing()), "Mis datos no tiene tu teléfono ni tu domicilio.");
    EXPECT_EQ(shown(c->note()), "Reconocido en este equipo.");
}

TEST(FormFillScreenshots, ReviewAndEditors) {
    SuggestionsReview review(threeSuggestions());
    review.adjustSize();
    EXPECT_FALSE(Screenshots::save(review, "formfill-review").isNull());
    ASSERT_EQ(review.boxes().size(), 3u);
    EXPECT_EQ(review.boxes()[0]->text().toStdString(), "ANA GARCIA LOPEZ");
    EXPECT_EQ(review.boxes()[0]->toolTip().toStdString(), "De tu certificado");
    std::vector<std::string> captions;
    for (const FillItem& i : review.items()) captions.push_back(SuggestionsReview::caption(i));
    EXPECT_EQ(captions, (std::vector<std::string>{"Nombre y apellidos", "NIF / NIE", "Lugar de la firma · pág. 3"}));

    FieldEditor remembered(item(text(1, {100, 700, 100, 14}, "Domicilio:"), "domicilio.completo",
                                "Calle Mayor 3, 50001 Zaragoza", "De Mis datos"));
    remembered.adjustSize();
    EXPECT_FALSE(Screenshots::save(remembered, "formfill-editor-remember").isNull());
    EXPECT_EQ(text(remembered.title()), "Domicilio");
    EXPECT_EQ(text(remembered.hint()), "Tu domicilio · De Mis datos");
    EXPECT_EQ(text(remembered.rememberBox()), "Recordar en Mis datos");
    EXPECT_FALSE(remembered.rememberBox()->isHidden());
    EXPECT_EQ(remembered.field()->width(), 300);

    FieldEditor plain(item(text(2, {100, 700, 100, 14}, "Nombre del cónyuge"), "otra_persona.nombre"));
    plain.adjustSize();
    EXPECT_FALSE(Screenshots::save(plain, "formfill-editor-plain").isNull());
    EXPECT_EQ(text(plain.hint()), "De otra persona: normalmente se deja en blanco.");
    EXPECT_EQ(text(plain.useButton()), "Usar");
    EXPECT_EQ(text(plain.clearButton()), "Dejar en blanco");
    EXPECT_TRUE(plain.rememberBox()->isHidden());
    EXPECT_LT(plain.sizeHint().height(), remembered.sizeHint().height());
}

// The form-fill controller: the switch and its section, the plan under the typed and restored
// values, the outputs, single-field edits, and labelling on a worker.
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>

#include "FormFillRig.h"
#include "ui/MainMenu.h"
#include "ui/SegmentedControl.h"
#include "ui/Switch.h"
#include "document/PreviewDocument.h"
#include "platform/Log.h"
#include "support/CairoPages.h"
#include "support/FormFixtures.h"
#include "forms/ai/AIFixtures.h"
#include "forms/ai/JevLabeler.h"

using namespace formfillrig;
using State = FillItem::State;

namespace {

// The log goes to a folder of the test's own, read back below.
const testutil::TempDir& stateHome() {
    static const testutil::TempDir dir;
    return dir;
}
const bool logHere = [] { return setenv("XDG_STATE_HOME", stateHome().path().c_str(), 1) == 0; }();

FieldLabel sure(const std::string& label) { return {label, std::nullopt, 0.95}; }
FieldLabel unsure(const std::string& label) { return {label, std::nullopt, 0.7}; }

// Name and NIF (filled from the certificate), phone and mobile (the user's), three ticks about
// one row (centres 585, 587.9 and 582) and one on the next page.
std::vector<FormField> form() {
    return {text(1, {150, 700, 200, 14}, "Nombre y apellidos"),
            text(2, {150, 670, 100, 14}, "NIF"),
            text(3, {150, 640, 100, 14}, "Teléfono"),
            text(4, {150, 610, 100, 14}, "Móvil"),
            tick(5, {400, 580, 10, 10}),
            tick(6, {450, 582.9, 10, 10}),
            tick(7, {500, 577, 10, 10}),
            tick(8, {400, 580, 10, 10}, 1)};
}

Labels formLabels() {
    return {{1, sure("titular.nombre_completo")},
            {2, sure("titular.nif")},
            {3, sure("contacto.telefono")},
            {4, sure("contacto.movil")}};
}

std::string valueOf(const std::vector<FormFill>& fills, const std::string& name) {
    for (const FormFill& f : fills)
        if (f.name == name) return f.text;
    return "<none>";
}

PreviewGeometry::FieldMark markOf(const FormFillController& c, int id) {
    for (const auto& m : c.marks())
        if (m.id == id) return m;
    return {-1, 0, {}, "<none>"};
}

}  // namespace

TEST(FormFillController, OnlyTextChoiceOrDrawnTicksGiveASection) {
    Rig rig(false);
    EXPECT_EQ(rig.make({checkBox(1, {100, 100, 10, 10}), checkBox(2, {120, 100, 10, 10})}), nullptr);
    EXPECT_NE(rig.make({checkBox(1, {100, 100, 10, 10}), tick(2, {120, 100, 10, 10})}), nullptr);

    // A document whose only fields are widget check boxes.
    formfixtures::FormSpec spec;
    auto& page = spec.pages.emplace_back();
    page.widgets.push_back({.type = "Btn", .name = "acepto", .rect = {100, 700, 12, 12}, .states = {"Sí", "Off"}});
    page.widgets.push_back({.type = "Btn", .name = "otro", .rect = {130, 700, 12, 12}, .states = {"Sí", "Off"}});
    auto checks = PreviewDocument::fromData(formfixtures::formPDF(spec));
    ASSERT_TRUE(checks);
    EXPECT_EQ(FormFillController::make(*checks, "casillas", ana(), rig.context), nullptr);

    // A flat page with a drawn tick column.
    cairopages::Document flat;
    auto& p = flat.page(595, 842);
    p.text(400, 420, "Sí");
    for (int i = 0; i < 2; ++i) p.frame({400, 398 - 18.0 * i, 12, 12});
    auto ticks = PreviewDocument::fromData(flat.pdf());
    ASSERT_TRUE(ticks);
    auto controller = FormFillController::make(*ticks, "marcas", ana(), rig.context);
    ASSERT_NE(controller, nullptr);
    EXPECT_TRUE(controller->isTick(controller->model().fields().front().id));
}

TEST(FormFillController, SwitchedOffShowsNothingAndLabelsNothing) {
    Rig rig(false, formLabels());
    auto c = rig.make(form());
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->isOn());
    EXPECT_TRUE(c->status()->isHidden());
    EXPECT_TRUE(c->note()->isHidden());
    EXPECT_TRUE(c->confirmButton()->isHidden());
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.labelCalls, 0);
    const auto marks = c->marks();
    ASSERT_EQ(marks.size(), 8u);
    EXPECT_EQ(marks[0].state, State::other);
    EXPECT_TRUE(marks[0].editable);
    EXPECT_EQ(marks[4].state, State::yours);
    EXPECT_TRUE(marks[4].tick);
    EXPECT_FALSE(marks[4].editable);
    EXPECT_TRUE(c->fills().empty());
    c->write("Zaragoza", {3});
    ASSERT_EQ(c->fills().size(), 1u);
    EXPECT_EQ(c->fills()[0].text, "Zaragoza");
    EXPECT_EQ(c->marks()[2].state, State::filled);
}

TEST(FormFillController, SwitchingOnLabelsOnceAndOffAndOnRebuilds) {
    Rig rig(false, formLabels());
    auto c = rig.make(form());
    int changes = 0;
    c->onChange = [&] { ++changes; };
    c->toggleSwitch()->click();
    EXPECT_TRUE(Preferences::fillForms(rig.defaults));
    EXPECT_FALSE(c->status()->isHidden());
    EXPECT_EQ(shown(c->status()), "Reconociendo los campos del formulario…");
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_EQ(rig.labelCalls, 1);
    EXPECT_EQ(shown(c->status()), "● 2 rellenados   ● 2 a tu cargo");
    EXPECT_EQ(shown(c->missing()), "Mis datos no tiene tu teléfono.");
    EXPECT_FALSE(c->missingRow()->isHidden());
    EXPECT_EQ(shown(c->note()), "Reconocido en este equipo.");
    EXPECT_EQ(valueOf(c->fills(), "campo2"), "12345678Z");
    EXPECT_GT(changes, 0);

    c->toggleSwitch()->click();
    EXPECT_FALSE(Preferences::fillForms(rig.defaults));
    EXPECT_TRUE(c->status()->isHidden());
    EXPECT_TRUE(c->missingRow()->isHidden());
    EXPECT_TRUE(c->fills().empty());
    EXPECT_TRUE(c->remembered().empty());
    // A rebuild while off leaves the plan's rows hidden.
    c->certificateChanged(luis());
    EXPECT_TRUE(c->missingRow()->isHidden());
    c->toggleSwitch()->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(rig.labelCalls, 1);
    EXPECT_EQ(valueOf(c->fills(), "campo2"), "87654321X");
    EXPECT_FALSE(c->missingRow()->isHidden());
}

TEST(FormFillController, CountsButtonTitlesAndRole) {
    Rig rig(true, {{1, unsure("titular.nombre_completo")}, {2, sure("titular.nif")}, {3, sure("representante.nif")}});
    auto c = rig.make({text(1, {150, 700, 200, 14}), text(2, {150, 670, 100, 14}), text(3, {150, 640, 100, 14})});
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_EQ(c->model().plan()->count(State::suggested), 1);
    EXPECT_FALSE(c->confirmButton()->isHidden());
    EXPECT_EQ(c->confirmButton()->text().toStdString(), "Revisar la sugerencia…");
    EXPECT_FALSE(c->roleRow()->isHidden());
    EXPECT_EQ(c->roleControl()->selected(), 0);

    c->roleControl()->setSelected(1);
    c->roleChanged();
    EXPECT_EQ(c->model().plan()->role, FormPlan::Role::representative);
    EXPECT_EQ(c->roleControl()->selected(), 1);
    c->certificateChanged(luis());
    EXPECT_EQ(c->model().role(), std::nullopt);
    EXPECT_EQ(c->model().plan()->role, FormPlan::Role::holder);
    EXPECT_EQ(c->roleControl()->selected(), 0);
}

// The note names the AI service only when its answers labelled the form: with the service on and
// every request refused, the rules labelled it on this computer.
TEST(FormFillController, TheNoteSaysWhetherTheAIAnswered) {
    AISandbox service;
    (*service.env)["OPENROUTER_API_KEY"] = "K";
    const AISettings settings = service.settings();
    auto section = [&] {
        Rig rig(true);
        rig.context.labeller = [settings](const std::vector<FormUnit>& units, const std::string& name,
                                          std::stop_token stop) {
            return FieldLabeler::labelling(units, name, JevLabeler::labeler(settings), stop);
        };
        auto c = rig.make({text(1, {150, 700, 200, 14}, "NIF"), text(2, {150, 670, 200, 14}, "Nombre")});
        c->aiOn = [settings] { return JevLabeler::isOn(settings); };
        EXPECT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
        return shown(c->note());
    };

    service.stub.setHandler([](const StubHTTPServer::Request&) { return StubHTTPServer::Reply::json(401, "{}"); });
    EXPECT_EQ(section(), "Reconocido en este equipo: no se pudo usar la IA.");
    EXPECT_GT(service.stub.requestCount(), 0u);

    service.stub.setHandler([](const StubHTTPServer::Request&) {
        return StubHTTPServer::Reply::json(200, answerFor({{1, {"titular", "nif"}}}));
    });
    EXPECT_EQ(section(), "Reconocido con IA: se envía la estructura del formulario, no tus datos.");
}

TEST(FormFillController, NothingRecognisedAndALabellerThatThrows) {
    Rig rig(true);
    rig.context.labeller = [](const std::vector<FormUnit>&, const std::string&, std::stop_token) -> Labels {
        throw std::runtime_error("sin servicio");
    };
    auto c = rig.make(form());
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_EQ(shown(c->status()), "No hay campos que Tindra sepa rellenar.");
    ASSERT_TRUE(logHere);
    if (Log::url().string().starts_with(stateHome().path().string())) {
        EXPECT_NE(testutil::readFile(Log::url()).find("No se pudo reconocer el formulario «solicitud»: sin servicio"),
                  std::string::npos);
    }
    EXPECT_TRUE(c->confirmButton()->isHidden());
    EXPECT_TRUE(c->missingRow()->isHidden());
}

TEST(FormFillController, TypedBeatsRestoredAndRestoreTurnsTheSwitchOn) {
    Rig rig(false, formLabels());
    auto c = rig.make(form());
    c->restore({});
    EXPECT_FALSE(c->isOn());
    c->write("", {1});  // emptied by the user
    c->restore({{"campo1", 0, {150, 700, 200, 14}, "Otra Persona"}, {"campo3", 0, {150, 640, 100, 14}, "976000000"}});
    EXPECT_TRUE(c->isOn());
    EXPECT_FALSE(Preferences::fillForms(rig.defaults));
    EXPECT_FALSE(c->status()->isHidden());
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    const auto fills = c->fills();
    EXPECT_EQ(valueOf(fills, "campo1"), "<none>");
    EXPECT_EQ(valueOf(fills, "campo3"), "976000000");
    c->certificateChanged(luis());
    EXPECT_EQ(valueOf(c->fills(), "campo1"), "<none>");
    EXPECT_EQ(valueOf(c->fills(), "campo3"), "976000000");
    EXPECT_EQ(c->inlineTarget(1)->text, "");
}

TEST(FormFillController, TicksOfARow) {
    Rig rig(true, formLabels());
    auto c = rig.make(form());
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_TRUE(c->isTick(5));
    EXPECT_FALSE(c->isTick(1));
    EXPECT_FALSE(c->isTick(99));
    c->toggle(7);
    c->toggle(8);
    c->toggle(6);  // unticks 5 (2.9 pt), keeps 7 (3.0 pt) and 8 (another page)
    c->toggle(5);
    auto value = [&](int id) { return markOf(*c, id).text; };
    EXPECT_EQ(value(5), "X");
    EXPECT_EQ(value(6), "");
    EXPECT_EQ(value(7), "X");
    EXPECT_EQ(value(8), "X");
    c->toggle(5);  // a ticked box unticks alone
    EXPECT_EQ(value(5), "");
    EXPECT_EQ(value(7), "X");
    // Unticked values stay unticked through a rebuild; ticks are written centred.
    c->certificateChanged(luis());
    EXPECT_EQ(value(6), "");
    EXPECT_EQ(markOf(*c, 6).state, State::yours);
    int centred = 0;
    for (const FormFill& f : c->fills())
        if (f.text == "X") centred += f.centered == true && f.drawn == true;
    EXPECT_EQ(centred, 2);
}

TEST(FormFillController, WritingBoxesAndInlineTargets) {
    Rig rig(true, formLabels());
    std::vector<FormField> fields = form();
    for (int i = 0; i < 4; ++i) fields.push_back(text(20 + i, {100.0 + 16 * i, 500, 14, 16}));
    auto c = rig.make(fields);
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    const auto target = c->inlineTarget(22);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->ids, (std::vector<int>{20, 21, 22, 23}));
    EXPECT_EQ(target->rect, (Rect{100, 500, 62, 16}));
    c->write("  ab c ", target->ids);
    EXPECT_EQ(c->inlineTarget(20)->text, "abc");
    EXPECT_EQ(valueOf(c->fills(), "campo23"), "<none>");
    EXPECT_EQ(markOf(*c, 23).state, State::yours);
    c->write("12345", {20, 21});
    EXPECT_EQ(c->inlineTarget(20)->text, "12c");
    c->write(" Zaragoza ", {3});
    EXPECT_EQ(valueOf(c->fills(), "campo3"), "Zaragoza");
    c->write("", {2});
    EXPECT_EQ(valueOf(c->fills(), "campo2"), "<none>");
    EXPECT_EQ(markOf(*c, 2).state, State::yours);
    EXPECT_EQ(c->inlineTarget(5), std::nullopt);  // ticks are clicked, not typed
    EXPECT_EQ(c->nextEditable(4, true), 20);
    EXPECT_EQ(c->nextEditable(23, false), 4);  // any box of the row steps from the row
    EXPECT_EQ(c->nextEditable(23, true), std::nullopt);
}

TEST(FormFillController, LabellingOnAWorkerLeavesTheWindowUsable) {
    Gate gate({formLabels()});
    Rig rig(true);
    rig.context.labeller = gate.labeller();
    auto c = rig.make(form());
    ASSERT_TRUE(gate.started(1));
    EXPECT_TRUE(c->isAnalysing());
    EXPECT_TRUE(c->confirmButton()->isHidden());
    bool fired = false;
    QTimer::singleShot(5, [&] { fired = true; });
    EXPECT_TRUE(waitFor([&] { return fired; }));
    c->write("Ana", {1});
    c->toggle(5);
    EXPECT_EQ(valueOf(c->fills(), "campo1"), "Ana");
    EXPECT_EQ(c->fills().size(), 2u);
    // The field editor waits for the plan.
    QWidget window;
    c->edit(1, {0, 0, 100, 20}, &window);
    EXPECT_EQ(c->popover(), nullptr);
    gate.open(0);
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_EQ(valueOf(c->fills(), "campo1"), "Ana");
    EXPECT_EQ(valueOf(c->fills(), "campo2"), "12345678Z");
}

TEST(FormFillController, TheLastAnalysisToEndWins) {
    Gate gate({{{2, sure("titular.nif")}}, {{1, sure("titular.nombre_completo")}}});
    Rig rig(true);
    rig.context.labeller = gate.labeller();
    auto c = rig.make(form());
    ASSERT_TRUE(gate.started(1));
    c->toggleSwitch()->click();
    c->toggleSwitch()->click();
    ASSERT_TRUE(gate.started(2));
    gate.open(1);
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_EQ(valueOf(c->fills(), "campo2"), "<none>");
    gate.open(0);
    ASSERT_TRUE(waitFor([&] { return valueOf(c->fills(), "campo2") != "<none>"; }));
    EXPECT_EQ(valueOf(c->fills(), "campo1"), "<none>");
    EXPECT_EQ(c->model().labels()->size(), 1u);
}

TEST(FormFillController, AControllerGoneBeforeItsLabelsGetsNothing) {
    Gate gate({formLabels()});
    Rig rig(true);
    rig.context.labeller = gate.labeller();
    auto c = rig.make(form());
    int changes = 0;
    c->onChange = [&] { ++changes; };
    ASSERT_TRUE(gate.started(1));
    c.reset();
    gate.open(0);
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(workerLimitMs))
        << "The labelling worker did not end within " << workerLimitMs / 1000 << " s of its gate opening.";
    QCoreApplication::processEvents();
    EXPECT_EQ(gate.ended(), 1u);
    EXPECT_EQ(changes, 0);
}

TEST(FormFillController, TheProfileButtonAsksForMisDatos) {
    Rig rig(true, formLabels());
    auto c = rig.make(form());
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    std::vector<MenuAction> sent;
    MainMenu::Handlers handlers;
    handlers.application = [&](MenuAction a) { sent.push_back(a); };
    MainMenu::make(handlers);
    c->profileButton()->click();
    MainMenu::make(MainMenu::Handlers());
    EXPECT_EQ(sent, (std::vector<MenuAction>{MenuAction::showProfile}));
}

// A reading cut by its bounds is named under the section's note, with the last page read whole.
TEST(FormFillController, ACutReadingNamesTheLastPageReadWhole) {
    Rig rig(true, formLabels());
    auto c = rig.make(form());
    c->readInPart(455, 1000);
    ASSERT_TRUE(waitFor([&] { return c->model().plan().has_value(); }));
    EXPECT_FALSE(c->note()->isHidden());
    EXPECT_EQ(shown(c->note()),
              "Reconocido en este equipo. Formulario leído en parte: hasta la página 455 de 1000.");
}

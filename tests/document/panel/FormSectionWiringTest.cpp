// The form section as the signing window drives it, through a fake section: where it sits, what
// it is told, and what the preview's field callbacks do with it.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <future>
#include <thread>

#include "PanelFixtures.h"
#include "support/FormFixtures.h"
#include "qtsupport/Screenshots.h"
#include "ui/SegmentedControl.h"
#include "document/FormSection.h"
#include "document/PagesPreview.h"
#include "document/SigningPanel.h"
#include "platform/Preferences.h"

namespace {

using panelfixtures::Context;

class FakeForm : public FormSection {
public:
    QWidget* view() override { return &view_; }
    void certificateChanged(const Certificate& c) override { told.push_back(c.sha1); }
    std::vector<FormFill> fills() const override { return values; }
    std::vector<SavedFact> remembered() const override { return facts; }
    std::vector<PreviewGeometry::FieldMark> marks() const override {
        std::vector<PreviewGeometry::FieldMark> out;
        for (const FormFill& f : values) out.push_back({7, 0, f.rect, f.text});
        return out;
    }
    void restore(const std::vector<FormFill>& fills) override { restored = fills; }
    bool isTick(int id) const override { return id == 9; }
    void toggle(int id) override { toggled.push_back(id); }
    std::optional<Target> inlineTarget(int id) const override {
        if (id != 7 && id != 8) return std::nullopt;
        return Target{{id}, id == 8 ? 2 : 0, {100, 700, 200, 20}, "Ana"};
    }
    void write(const std::string& text, const std::vector<int>& ids) override {
        written.push_back({text, ids});
    }
    std::optional<int> nextEditable(int id, bool forward) const override {
        if (id == 7 && forward) return 8;
        return std::nullopt;
    }
    void edit(int id, const QRectF&, QWidget*) override { edited.push_back(id); }
    void readInPart(int lastWholePage, int pageCount) override {
        inPart.emplace_back(lastWholePage, pageCount);
    }

    // Changes a value as the user would in the section.
    void type(const std::string& text) {
        FormFill f;
        f.name = "nombre";
        f.rect = {100, 700, 200, 20};
        f.text = text;
        values = {f};
        if (onChange) onChange();
    }

    QLabel view_{"Sección del formulario"};
    std::vector<FormFill> values;
    std::vector<SavedFact> facts;
    std::vector<std::string> told;
    std::vector<FormFill> restored;
    std::vector<int> toggled;
    std::vector<int> edited;
    std::vector<std::pair<std::string, std::vector<int>>> written;
    std::vector<std::pair<int, int>> inPart;
};

class FormSectionWiring : public ::testing::Test {
protected:
    FormSectionWiring() {
        ctx.context.formSection = [this](std::vector<FormField>, const std::string& name, const Certificate& c,
                                         DocumentContext&) -> std::unique_ptr<FormSection> {
            formName = name;
            made = c.sha1;
            auto form = std::make_unique<FakeForm>();
            fake = form.get();
            return form;
        };
    }
    Context ctx;
    FakeForm* fake = nullptr;
    std::string formName;
    std::string made;
};

TEST_F(FormSectionWiring, TheSectionSitsUnderFormularioAndHandsOverItsValues) {
    Preferences::setLastCertificate(panelfixtures::certificates()[1].sha1, ctx.defaults);
    const auto file = ctx.write("Solicitud licencia.pdf", panelfixtures::threePages());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    ASSERT_TRUE(fake);
    EXPECT_EQ(formName, "Solicitud licencia");
    EXPECT_EQ(made, panelfixtures::certificates()[0].sha1);  // made with the first
    EXPECT_EQ(fake->told, std::vector<std::string>{panelfixtures::certificates()[1].sha1});
    const auto items = panel.sidebarItems();
    EXPECT_NE(std::find(items.begin(), items.end(), fake->view()), items.end());
    EXPECT_EQ(panel.signButton()->text(), "Firmar");

    fake->type("Ana García");
    EXPECT_EQ(panel.signButton()->text(), "Rellenar y firmar");
    ASSERT_EQ(panel.preview()->fieldMarks().size(), 1u);
    panel.preview()->onTextAdd(0, {100, 100});
    panel.preview()->onFieldEdit({TextBoxes::firstID}, "Nota");
    const SigningOptions o = panel.options();
    ASSERT_EQ(o.fills.size(), 2u);
    EXPECT_EQ(o.fills[0].name, "nombre");
    EXPECT_EQ(o.fills[1].name, "tindra.texto");

    // Without the certificate mode the popup moves under the form, after "Tus datos...".
    panel.modeControl()->setSelected(2);
    panel.modeChanged();
    const auto none = panel.sidebarItems();
    const auto popup = std::find(none.begin(), none.end(), panel.certificatePopup());
    ASSERT_NE(popup, none.end());
    EXPECT_EQ(static_cast<QLabel*>(*(popup - 1))->text(), "Tus datos, del certificado");
    EXPECT_EQ(*(popup + 1), fake->view());
    EXPECT_TRUE(panel.signButton()->isEnabled());
}

TEST_F(FormSectionWiring, FieldCallbacksReachTheSection) {
    const auto file = ctx.write("s.pdf", panelfixtures::plainPages(6));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    PagesPreview& preview = *panel.preview();
    preview.onFieldClick(9, {});
    EXPECT_EQ(fake->toggled, std::vector<int>{9});
    preview.onFieldClick(7, {});
    ASSERT_TRUE(panel.editorTarget());
    EXPECT_EQ(panel.editorTarget()->text, "Ana");
    preview.onFieldClick(5, {});  // no inline target: the field editor
    preview.onFieldMenu(7, {});
    preview.onFieldMenu(9, {});  // ticks have no editor
    EXPECT_EQ(fake->edited, (std::vector<int>{5, 7}));
    preview.onFieldEdit({7}, "Eva");
    ASSERT_EQ(fake->written.size(), 1u);
    EXPECT_EQ(fake->written[0].first, "Eva");
    // Tab to a field on another page turns to it.
    preview.setCurrentPage(0);
    preview.onFieldTab(7, true);
    EXPECT_EQ(preview.currentPage(), 2);
    EXPECT_EQ(panel.editorTarget()->ids, std::vector<int>{8});
    // A certificate change is told.
    panel.certificatePopup()->setCurrentIndex(1);
    panel.certificateChanged();
    EXPECT_EQ(fake->told.back(), panelfixtures::certificates()[1].sha1);
}

TEST_F(FormSectionWiring, RestoreGivesTheSectionItsValuesAndTheBoxesTheirs) {
    SigningRecord record;
    record.certificate = panelfixtures::certificates()[1].sha1;
    FormFill value;
    value.name = "nombre";
    value.text = "Ana";
    FormFill text;
    text.name = "tindra.texto";
    text.text = "Nota";
    text.rect = {10, 10, 40, 16};
    record.fills = {value, text};
    const auto file = ctx.write("s.pdf", panelfixtures::plainPages(2));
    SigningPanel panel(panelfixtures::certificates(), {file}, record, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    ASSERT_EQ(fake->restored.size(), 1u);
    EXPECT_EQ(fake->restored[0].name, "nombre");
    EXPECT_EQ(fake->told.back(), panelfixtures::certificates()[1].sha1);
    EXPECT_EQ(panel.textBoxes().fills().size(), 1u);
    EXPECT_TRUE(panel.signatures().empty());  // the record had no visible card
}

// Opens the gate on the way out, so that a failed test never leaves a reader blocked.
struct Gate {
    std::promise<void> promise;
    std::shared_future<void> future = promise.get_future().share();
    // Set once the reader has told of its field and waits.
    std::shared_ptr<std::atomic<bool>> waiting = std::make_shared<std::atomic<bool>>(false);
    bool open = false;
    void release() {
        if (!open) promise.set_value();
        open = true;
    }
    ~Gate() { release(); }
};

// A form reader that finds one text field at once and then blocks until its gate opens (or for two
// minutes at most, so that a worker left behind always ends), then gives that field. It holds the
// gate's state of its own: a reader left behind may wake after the test and its gate are gone.
DocumentContext::FormReading blockedReader(Gate& gate) {
    return [future = gate.future, waiting = gate.waiting](PDFFile&, const PageSource&, std::stop_token,
                                                         FormReader::ReadReport*,
                                                         const FormReader::Progress& found) {
        found(1);
        *waiting = true;
        future.wait_for(std::chrono::minutes(2));
        FormField field;
        field.id = 1;
        field.kind = FormField::Kind::text;
        return std::vector<FormField>{field};
    };
}

// The window is made and shown while the form is still being read; with the filling switched on,
// "Firmar" then waits for the reading and signs with the section's values once it ends.
TEST_F(FormSectionWiring, TheWindowShowsWhileTheFormIsReadAndSigningWaitsForTheReading) {
    Preferences::setFillForms(true, ctx.defaults);
    Gate gate;
    ctx.context.readForm = blockedReader(gate);
    ctx.context.formSection = [this](std::vector<FormField> fields, const std::string&,
                                     const Certificate&, DocumentContext&) -> std::unique_ptr<FormSection> {
        EXPECT_EQ(fields.size(), 1u);  // what the reader gave
        auto form = std::make_unique<FakeForm>();
        form->type("Ana García");
        fake = form.get();
        return form;
    };
    const auto file = ctx.write("largo.pdf", panelfixtures::plainPages(3));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    std::optional<SigningOptions> signedWith;
    bool ended = false;
    int calls = 0;
    panel.begin([&](std::optional<SigningOptions> o) {
        ended = true;
        ++calls;
        signedWith = std::move(o);
    });
    EXPECT_TRUE(panel.window()->isVisible());
    EXPECT_TRUE(panel.readingForm());
    EXPECT_EQ(fake, nullptr);
    Screenshots::save(*panel.window(), "signing-window-reading-form");
    const auto items = panel.sidebarItems();
    EXPECT_TRUE(std::any_of(items.begin(), items.end(), [](QWidget* w) {
        auto* label = qobject_cast<QLabel*>(w);
        return label && label->text() == "Leyendo el formulario…";
    }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.searchingPlacements(); }, 60000))
        << "the placement search did not end";
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate.waiting->load(); }, 60000));
    ASSERT_TRUE(panel.readingForm());

    // The reading has found a field: Return waits for it, and several presses sign once.
    QTest::keyClick(panel.window(), Qt::Key_Return);
    QTest::qWait(50);
    QTest::keyClick(panel.window(), Qt::Key_Return);
    EXPECT_TRUE(panel.signPending());
    EXPECT_FALSE(panel.signButton()->isEnabled());
    EXPECT_EQ(panel.modeNote()->text(), "Firma electrónica con tu certificado. Leyendo el formulario…");
    EXPECT_FALSE(ended) << "signed before the form was read";

    gate.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 60000)) << "the window never signed";
    QTest::qWait(20);
    EXPECT_EQ(calls, 1);
    ASSERT_NE(fake, nullptr);
    ASSERT_TRUE(signedWith);
    ASSERT_FALSE(signedWith->fills.empty());
    EXPECT_EQ(signedWith->fills.front().name, "nombre");
}

// A reading that has found no field when the user signs has nothing to give: Return stops it and
// signs at once, without a form section.
TEST_F(FormSectionWiring, SigningStopsAReadingThatHasFoundNoField) {
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    ctx.context.readForm = [stopped](PDFFile&, const PageSource&, std::stop_token stop,
                                     FormReader::ReadReport*, const FormReader::Progress&) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        *stopped = stop.stop_requested();
        return std::vector<FormField>{};
    };
    const auto file = ctx.write("largo.pdf", panelfixtures::plainPages(3));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    int calls = 0;
    std::optional<SigningOptions> signedWith;
    panel.begin([&](std::optional<SigningOptions> o) {
        ++calls;
        signedWith = std::move(o);
    });
    ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.window()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.searchingPlacements(); }, 60000))
        << "the placement search did not end";
    ASSERT_TRUE(panel.readingForm());
    QTest::keyClick(panel.window(), Qt::Key_Return);
    EXPECT_EQ(calls, 1) << "signing waited for a reading that had found nothing";
    EXPECT_TRUE(QTest::qWaitFor([&] { return stopped->load(); }, 60000))
        << "the reader was not told to stop";
    EXPECT_FALSE(panel.readingForm());
    EXPECT_EQ(fake, nullptr);
    ASSERT_TRUE(signedWith);
    EXPECT_TRUE(signedWith->visible);
    EXPECT_EQ(calls, 1);
}

// A reading that never comes back is left behind at its deadline: the window goes on without a
// form section, and a pending "Firmar" signs.
TEST_F(FormSectionWiring, AReadingPastItsDeadlineIsLeftBehind) {
    Gate gate;
    ctx.context.readForm = blockedReader(gate);
    const auto file = ctx.write("s.pdf", panelfixtures::plainPages(2));
    std::optional<formfixtures::PageTimeLimit> limit(std::in_place, std::chrono::milliseconds(10));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    limit.reset();
    bool ended = false;
    panel.begin([&](std::optional<SigningOptions>) { ended = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.searchingPlacements(); }, 60000));
    panel.sign();
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended; }, 60000)) << "signing waited for ever";
    EXPECT_FALSE(panel.readingForm());
    EXPECT_EQ(fake, nullptr);
}

// Closing the window stops its reading: the reader is told through its stop token.
TEST_F(FormSectionWiring, ClosingTheWindowStopsTheReading) {
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    auto started = std::make_shared<std::atomic<bool>>(false);
    ctx.context.readForm = [stopped, started](PDFFile&, const PageSource&, std::stop_token stop,
                                              FormReader::ReadReport*, const FormReader::Progress&) {
        *started = true;
        const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (!stop.stop_requested() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        *stopped = stop.stop_requested();
        return std::vector<FormField>{};
    };
    const auto file = ctx.write("s.pdf", panelfixtures::plainPages(2));
    // Far off, so that only the closing can stop it.
    std::optional<formfixtures::PageTimeLimit> limit(std::in_place, std::chrono::minutes(10));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    limit.reset();
    panel.begin([](std::optional<SigningOptions>) {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return started->load(); }, 60000)) << "the reading never began";
    panel.window()->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return stopped->load(); }, 60000))
        << "the reader was not told to stop";
}

TEST_F(FormSectionWiring, AFileThatIsNoPDFGivesTheSmallWindowWithoutASection) {
    const auto file = ctx.write("notas.pdf", "esto no es un PDF");
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    EXPECT_FALSE(panel.hasDocument());
    EXPECT_EQ(fake, nullptr);
    EXPECT_EQ(panel.window()->size(), QSize(420, 420));
    EXPECT_EQ(panel.window()->windowTitle(), "notas.pdf");
    EXPECT_EQ(panel.headerTitle()->text(), "Firmar «notas.pdf»");
    EXPECT_TRUE(panel.options().visible);
}

}  // namespace

// A reading that a bound cut tells the section the last page it read whole; a whole reading
// tells it nothing.
TEST_F(FormSectionWiring, ACutReadingTellsTheSectionTheLastPageReadWhole) {
    for (bool cut : {true, false}) {
        fake = nullptr;
        ctx.context.readForm = [cut](PDFFile&, const PageSource&, std::stop_token,
                                     FormReader::ReadReport* report, const FormReader::Progress&) {
            report->pageCount = 3;
            report->pagesRead = 3;
            report->cut = cut;
            report->pagesWhole = cut ? 2 : 3;
            FormField field;
            field.id = 1;
            field.kind = FormField::Kind::text;
            return std::vector<FormField>{field};
        };
        const auto file = ctx.write(cut ? "cortado.pdf" : "entero.pdf", panelfixtures::plainPages(3));
        SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
        ASSERT_TRUE(QTest::qWaitFor([&] { return fake != nullptr && !panel.readingForm(); }, 60000));
        const std::vector<std::pair<int, int>> told =
            cut ? std::vector<std::pair<int, int>>{{2, 3}} : std::vector<std::pair<int, int>>{};
        EXPECT_EQ(fake->inPart, told);
    }
}

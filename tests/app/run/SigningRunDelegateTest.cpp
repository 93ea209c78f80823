// The signing run on the delegate with fake engines: runs that cannot start, cancelling, waiting
// batches, failures, the sign-again match, the profile warning and the save-only road.
#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "RunFakes.h"
#include "RunHarness.h"
#include "app/RecentSignatures.h"
#include "platform/Preferences.h"
#include "support/PDFFixtures.h"

namespace fs = std::filesystem;

namespace {

class SigningRunDelegateTest : public ::testing::Test {
protected:
    RunHarness harness;
    testutil::TempDir docs;
    std::shared_ptr<FakeEngine> engine = std::make_shared<FakeEngine>();
    AnySigningEngine chosen = engine;

    AppServices services() {
        AppServices s = harness.services();
        s.engine = [this] { return chosen; };
        s.certificates = [] { return std::vector<Certificate>{testCertificate()}; };
        return s;
    }
    fs::path pdf(const std::string& name) {
        fs::path path = docs / name;
        testutil::writeFile(path, fixtures::textPDF(1));
        return path;
    }
    static SavedFact fact() {
        SavedFact f;
        f.owner = "persona";
        f.kind = "nif";
        f.value = "12345678Z";
        return f;
    }
};

}  // namespace

TEST_F(SigningRunDelegateTest, NoAutoFirmaAlertKeepsTheSignAgainRequest) {
    chosen = nullptr;
    AppDelegate delegate(services());
    delegate.again = RecentSignature{"/x/a-firmado.pdf", {}, "Ana", "/x/a.pdf", std::nullopt};
    delegate.add({pdf("a.pdf")});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    ASSERT_EQ(harness.alerts.shown.size(), 1u);
    EXPECT_EQ(harness.alerts.shown[0].title, "No se ha encontrado AutoFirma");
    EXPECT_EQ(harness.alerts.shown[0].text.toStdString(),
              "Tindra está configurada para firmar con AutoFirma. Instálala desde "
              "firmaelectronica.gob.es o vuelve al motor propio quitando la clave «engine» de " +
                  harness.defaults.file().string() + ".");
    EXPECT_TRUE(harness.window.made.empty());
    EXPECT_TRUE(delegate.again);
    EXPECT_EQ(harness.quits, 1);
}

TEST_F(SigningRunDelegateTest, NoCertificateAlert) {
    AppServices s = services();
    s.certificates = [] { return std::vector<Certificate>{}; };
    AppDelegate delegate(s);
    delegate.add({pdf("a.pdf")});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    ASSERT_EQ(harness.alerts.shown.size(), 1u);
    EXPECT_EQ(harness.alerts.shown[0].title, "No hay certificados de firma");
    EXPECT_EQ(harness.alerts.shown[0].text,
              "No se ha encontrado ningún certificado vigente en el almacén de certificados.");
    EXPECT_EQ(harness.log(), std::vector<std::string>{"Motor de firma: prueba"});
    EXPECT_EQ(harness.quits, 1);
}

TEST_F(SigningRunDelegateTest, FilesArrivingWhileTheWindowIsOpenWaitForTheNextRun) {
    AppDelegate delegate(services());
    delegate.add({pdf("a.pdf")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(harness.window.pendingAnswer); }, 60000))
        << "The signing window was not made within 60 s.";
    delegate.add({pdf("b.pdf"), pdf("c.pdf")});
    QTest::qWait(20);
    EXPECT_EQ(harness.window.made.size(), 1u);
    EXPECT_EQ(delegate.pending.size(), 2u);
    // Cancelled: nothing written, and the waiting files start the next run at once.
    auto cancel = std::exchange(harness.window.pendingAnswer, nullptr);
    cancel(std::nullopt);
    ASSERT_EQ(harness.window.made.size(), 2u);
    EXPECT_EQ(harness.window.made[1].files, (std::vector<fs::path>{docs / "b.pdf", docs / "c.pdf"}));
    EXPECT_EQ(harness.quits, 0);
    // Cancelling the last batch with no window left ends the application.
    std::exchange(harness.window.pendingAnswer, nullptr)(std::nullopt);
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    EXPECT_EQ(harness.quits, 1);
    EXPECT_TRUE(engine->calls.empty());
    EXPECT_FALSE(fs::exists(docs / "a-firmado.pdf"));
}

TEST_F(SigningRunDelegateTest, EveryFileFailingSavesNothingAndRevealsNothing) {
    chosen = std::make_shared<ThrowingEngine>();
    harness.window.answer = [](const WindowScript::Made& made) -> std::optional<SigningOptions> {
        SigningOptions options = testOptions();
        options.certificate = made.certificates.front();
        options.remember = {fact()};
        return options;
    };
    AppDelegate delegate(services());
    delegate.add({pdf("a.pdf"), pdf("b.pdf")});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    ASSERT_EQ(harness.alerts.shown.size(), 1u);
    EXPECT_EQ(harness.alerts.shown[0].title, "No se ha podido firmar");
    EXPECT_EQ(harness.alerts.shown[0].text,
              "«a.pdf»: El motor de prueba ha fallado.\n\n«b.pdf»: El motor de prueba ha fallado.");
    EXPECT_TRUE(harness.savedFacts.empty());
    EXPECT_TRUE(harness.reveal.revealed.empty());
    EXPECT_TRUE(RecentSignatures::all(harness.defaults).empty());
    EXPECT_EQ(harness.quits, 1);
}

TEST_F(SigningRunDelegateTest, SuccessShowsTheResultSavesFactsAndEndsWhenTheWindowCloses) {
    harness.window.answer = [](const WindowScript::Made&) -> std::optional<SigningOptions> {
        SigningOptions options = testOptions();
        options.remember = {fact()};
        return options;
    };
    AppServices s = services();
    s.progressAutoClose = std::chrono::milliseconds(60000);
    AppDelegate delegate(s);
    delegate.add({pdf("a.pdf")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return delegate.progressWindow && !delegate.progressWindow->outputs().empty(); },
        60000))
        << "The run saved nothing within 60 s.";
    EXPECT_TRUE(delegate.busy);
    EXPECT_EQ(delegate.progressWindow->text(), "✓ Guardado como «a-firmado.pdf»");
    ASSERT_EQ(harness.savedFacts.size(), 1u);
    EXPECT_EQ(harness.savedFacts[0].front().value, "12345678Z");
    delegate.progressWindow->openButton()->click();
    ASSERT_EQ(harness.urls.opened.size(), 1u);
    EXPECT_EQ(harness.urls.opened[0].toLocalFile().toStdString(), (docs / "a-firmado.pdf").string());
    EXPECT_FALSE(delegate.busy);
    EXPECT_EQ(harness.quits, 1);
    EXPECT_TRUE(harness.alerts.shown.empty());
}

// Neither the result nor an alert has the menu bar; Ctrl+Q pressed on either quits all the same.
TEST_F(SigningRunDelegateTest, CtrlQOnTheResultAndOnAnAlertQuits) {
    harness.window.answer = [](const WindowScript::Made&) { return std::optional(testOptions()); };
    AppServices s = services();
    s.progressAutoClose = std::chrono::milliseconds(60000);
    s.alerts = &AlertPresenter::system();
    // As the application's quit ends every event loop, the alert's among them.
    s.quit = [this] {
        ++harness.quits;
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    };
    AppDelegate delegate(s);
    delegate.applicationWillFinishLaunching();
    delegate.add({pdf("a.pdf")});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return delegate.progressWindow && !delegate.progressWindow->outputs().empty(); },
        60000))
        << "The run saved nothing within 60 s.";
    ASSERT_EQ(delegate.progressWindow->window()->windowTitle(), "Firmado");
    QTest::keyClick(delegate.progressWindow->window(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(harness.quits, 1);

    const int before = harness.quits;
    int quitsOnAlert = -1;
    QTimer::singleShot(0, [&] {
        QWidget* alert = QApplication::activeModalWidget();
        if (!alert) return;
        QTest::keyClick(alert, Qt::Key_Q, Qt::ControlModifier);
        quitsOnAlert = harness.quits;
        if (alert->isVisible()) alert->close();  // left open by a quit that did not come
    });
    delegate.showError("No se ha podido firmar", "«a.pdf»: el fichero no se puede leer.");
    EXPECT_EQ(quitsOnAlert, before + 1);
}

TEST_F(SigningRunDelegateTest, AProfileThatCannotBeSavedIsAWarningAfterTheResult) {
    harness.window.answer = [](const WindowScript::Made&) -> std::optional<SigningOptions> {
        SigningOptions options = testOptions();
        options.remember = {fact()};
        return options;
    };
    AppServices s = services();
    s.saveFacts = [](const std::vector<SavedFact>&) {
        throw std::runtime_error("No se han podido leer tus datos guardados: el depósito de claves no responde.");
    };
    AppDelegate delegate(s);
    delegate.add({pdf("a.pdf")});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    EXPECT_TRUE(fs::exists(docs / "a-firmado.pdf"));
    EXPECT_EQ(RecentSignatures::all(harness.defaults).size(), 1u);
    ASSERT_EQ(harness.alerts.shown.size(), 1u);
    EXPECT_EQ(harness.alerts.shown[0].title, "No se han podido guardar tus datos");
    EXPECT_EQ(harness.alerts.shown[0].text,
              "No se han podido leer tus datos guardados: el depósito de claves no responde.");
}

TEST_F(SigningRunDelegateTest, AgainIsClearedByAnyRunReachingTheWindowAndMatchesOnlyItsSource) {
    fs::path a = pdf("a.pdf"), b = pdf("b.pdf");
    testutil::writeFile(docs / "a-firmado.pdf", "copia");
    SigningRecord how;
    how.certificate = testCertificate().sha1;
    harness.window.answer = [](const WindowScript::Made&) { return std::optional<SigningOptions>(); };
    AppDelegate delegate(services());
    RecentSignature entry{(docs / "a-firmado.pdf").string(), {}, "Ana", a.string(), how};
    delegate.again = entry;
    delegate.add({a, b});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    EXPECT_FALSE(delegate.again);
    EXPECT_FALSE(harness.window.made[0].previous);
    EXPECT_FALSE(harness.window.made[0].replacing);

    delegate.again = entry;
    delegate.add({docs / "." / "a.pdf"});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    EXPECT_EQ(harness.window.made[1].previous, how);
    EXPECT_EQ(harness.window.made[1].replacing, "a-firmado.pdf");
}

TEST_F(SigningRunDelegateTest, SaveOnlyWritesAFilledCopyWithoutRecentOrLastCertificate) {
    Preferences::setLastCertificate(std::string("ANTERIOR"), harness.defaults);
    harness.window.answer = [](const WindowScript::Made&) -> std::optional<SigningOptions> {
        SigningOptions options = testOptions();
        options.unsignedCopy = true;
        options.remember = {fact()};
        FormFill f;
        f.name = "x";
        f.text = "y";
        options.fills = {f, f};
        return options;
    };
    AppServices s = services();
    s.fill = [](std::string pdf, const std::vector<FormFill>&) { return pdf + "%relleno\n"; };
    AppDelegate delegate(s);
    fs::path a = pdf("a.pdf");
    delegate.add({a, pdf("b.pdf")});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    EXPECT_TRUE(fs::exists(docs / "a-rellenado.pdf"));
    EXPECT_FALSE(fs::exists(docs / "b-rellenado.pdf"));
    EXPECT_NE(testutil::readFile(docs / "a-rellenado.pdf").find("%relleno"), std::string::npos);
    EXPECT_TRUE(engine->calls.empty());
    EXPECT_EQ(harness.log().back(), "Guardado sin firmar a-rellenado.pdf con 2 campos rellenados");
    EXPECT_EQ(harness.savedFacts.size(), 1u);
    EXPECT_TRUE(RecentSignatures::all(harness.defaults).empty());
    EXPECT_EQ(Preferences::lastCertificate(harness.defaults), "ANTERIOR");
    EXPECT_EQ(harness.quits, 1);
}

TEST_F(SigningRunDelegateTest, SaveOnlyFailureIsAnAlert) {
    harness.window.answer = [](const WindowScript::Made&) -> std::optional<SigningOptions> {
        SigningOptions options = testOptions();
        options.unsignedCopy = true;
        FormFill f;
        f.name = "falta";
        options.fills = {f};
        return options;
    };
    AppServices s = services();
    s.fill = [](std::string, const std::vector<FormFill>&) -> std::string {
        throw std::runtime_error("No se encuentra el campo «falta» para rellenarlo.");
    };
    AppDelegate delegate(s);
    delegate.add({pdf("a.pdf")});
    ASSERT_TRUE(RunHarness::waitIdle(delegate));
    ASSERT_EQ(harness.alerts.shown.size(), 1u);
    EXPECT_EQ(harness.alerts.shown[0].title, "No se ha podido guardar");
    EXPECT_EQ(harness.alerts.shown[0].text,
              "«a.pdf»: No se encuentra el campo «falta» para rellenarlo.");
    EXPECT_EQ(harness.log().back(),
              "Error al guardar a.pdf: No se encuentra el campo «falta» para rellenarlo.");
    EXPECT_FALSE(fs::exists(docs / "a-rellenado.pdf"));
    EXPECT_EQ(harness.quits, 1);
}

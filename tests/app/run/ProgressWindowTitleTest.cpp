// The progress window's title, for window lists: what the run does and whether it has ended.
// (What a window manager offers for it is checked under a real one, in the desktop session.)
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "RunFakes.h"
#include "RunHarness.h"
#include "app/ProgressWindow.h"
#include "support/PDFFixtures.h"

namespace fs = std::filesystem;

TEST(ProgressWindowTitle, TitledByTheRunAndItsState) {
    ProgressWindow signing;
    QWidget* window = signing.window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Firmando"));
    signing.complete({"/tmp/a-firmado.pdf", "/tmp/b-firmado.pdf"});
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Firmado"));
    signing.close();
}

// The save-only road names its window after saving, while it works and once it has ended.
TEST(ProgressWindowTitle, TheSaveOnlyRoadSaysSaving) {
    RunHarness harness;
    testutil::TempDir docs;
    harness.window.answer = [](const WindowScript::Made&) -> std::optional<SigningOptions> {
        SigningOptions options = testOptions();
        options.unsignedCopy = true;
        FormFill fill;
        fill.name = "nombre";
        fill.text = "Ana";
        options.fills = {fill};
        return options;
    };
    AppServices services = harness.services();
    services.engine = [] { return AnySigningEngine(std::make_shared<FakeEngine>()); };
    services.certificates = [] { return std::vector<Certificate>{testCertificate()}; };
    services.progressAutoClose = std::chrono::seconds(30);
    // Held until the title has been seen while the copy is still being written (or for two
    // minutes at most; a test that stops early lets it go at once).
    std::promise<void> release;
    services.fill = [held = release.get_future().share()](std::string pdf,
                                                          const std::vector<FormFill>&) {
        held.wait_for(std::chrono::minutes(2));
        return pdf;
    };
    AppDelegate delegate(services);
    const fs::path file = docs / "a.pdf";
    testutil::writeFile(file, fixtures::textPDF(1));
    delegate.add({file});
    ASSERT_TRUE(QTest::qWaitFor([&] { return delegate.progressWindow != nullptr; }, 60000))
        << "The progress window did not show within 60 s.";
    QWidget* window = delegate.progressWindow->window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Guardando"));
    release.set_value();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return delegate.progressWindow && !delegate.progressWindow->outputs().empty(); },
        60000))
        << "The copy was not saved within 60 s.";
    EXPECT_EQ(delegate.progressWindow->window()->windowTitle(), QStringLiteral("Guardado"));
    delegate.progressWindow->dismiss();
    EXPECT_TRUE(RunHarness::waitIdle(delegate));
}

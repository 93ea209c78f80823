// The key control against a fake key service and a runner that holds the check until the test
// lets it run; and the real service over an in-memory secret store.
#include <gtest/gtest.h>

#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "ui/ColorView.h"
#include "ui/Palette.h"
#include "forms/ai/JevLabeler.h"
#include "platform/Log.h"
#include "settings/AIKeyControl.h"
#include "SettingsTestSupport.h"
#include "support/StubHTTPServer.h"

#include <thread>

using namespace settingstest;

namespace {
const bool inMadrid = madrid();

struct KeyControl : ::testing::Test {
    Context c;
    std::unique_ptr<AIKeyControl> control;
    int changes = 0;

    void make() {
        control = std::make_unique<AIKeyControl>(nullptr, c.context);
        control->onChange = [this] { ++changes; };
    }
    void type(const QString& text) { control->field()->setText(text); }
    QString status() const { return control->status()->text(); }
    QColor dot() const { return control->dot()->color(); }
    const QPalette& palette() const { return control->palette(); }
};
}  // namespace

TEST_F(KeyControl, NoKeyAndBlankInput) {
    ASSERT_TRUE(inMadrid);
    make();
    EXPECT_FALSE(control->entryRow()->isHidden());
    EXPECT_FALSE(control->link()->isHidden());
    EXPECT_TRUE(control->savedRow()->isHidden());
    EXPECT_TRUE(control->cancelButton()->isHidden());
    EXPECT_EQ(control->link()->text(), "Crear una clave en openrouter.ai");
    control->openKeys();
    ASSERT_EQ(c.urls.opened.size(), 1u);
    EXPECT_EQ(c.urls.opened[0].toString(), "https://openrouter.ai/keys");

    type(" \n\t ");
    control->save();
    EXPECT_TRUE(c.runner.jobs.empty());
    EXPECT_TRUE(control->spinner()->isHidden());
    EXPECT_TRUE(control->savedRow()->isHidden());
}

TEST_F(KeyControl, AcceptedKeyIsTrimmedCheckedAndStored) {
    make();
    type("  sk-or-abc \n");
    control->save();
    ASSERT_EQ(c.runner.jobs.size(), 1u);
    EXPECT_TRUE(control->checking());
    EXPECT_FALSE(control->saveButton()->isEnabled());
    EXPECT_FALSE(control->spinner()->isHidden());
    EXPECT_TRUE(control->dot()->isHidden());
    EXPECT_EQ(status(), "Comprobando la clave con OpenRouter…");
    EXPECT_EQ(c.keys.saves, 0);

    c.runner.runAll();
    EXPECT_EQ(c.keys.checked, std::vector<std::string>{"sk-or-abc"});
    EXPECT_EQ(c.keys.key, "sk-or-abc");
    EXPECT_TRUE(control->field()->text().isEmpty());
    EXPECT_TRUE(control->entryRow()->isHidden());
    EXPECT_TRUE(control->link()->isHidden());
    EXPECT_FALSE(control->changeButton()->isHidden());
    EXPECT_FALSE(control->removeButton()->isHidden());
    EXPECT_EQ(status(), "Comprobada y guardada en el depósito de claves de este equipo.");
    EXPECT_EQ(dot(), Palette::green(palette()));
    EXPECT_TRUE(control->saveButton()->isEnabled());
    EXPECT_EQ(changes, 1);
}

TEST_F(KeyControl, RefusedUnknownAndFailedSave) {
    make();
    c.keys.answer = false;
    type("sk-or-bad");
    control->save();
    c.runner.runAll();
    EXPECT_EQ(c.keys.saves, 0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(control->field()->text(), "sk-or-bad");
    EXPECT_FALSE(control->entryRow()->isHidden());
    EXPECT_FALSE(control->savedRow()->isHidden());
    EXPECT_TRUE(control->changeButton()->isHidden());
    EXPECT_EQ(status(), "OpenRouter no acepta esta clave. Revisa que esté completa y activa.");
    EXPECT_EQ(dot(), Palette::red(palette()));

    c.keys.answer = std::nullopt;
    c.keys.saveWorks = false;
    control->save();
    c.runner.runAll();
    EXPECT_EQ(status(), "No se ha podido guardar la clave en el depósito de claves.");
    EXPECT_EQ(dot(), Palette::red(palette()));
    EXPECT_EQ(control->field()->text(), "sk-or-bad");
    EXPECT_EQ(changes, 0);

    c.keys.saveWorks = true;
    control->save();
    c.runner.runAll();
    EXPECT_EQ(status(), "Guardada, sin comprobar: no se ha podido conectar con OpenRouter.");
    EXPECT_EQ(dot(), Palette::orange(palette()));
    EXPECT_TRUE(c.keys.stored);
    EXPECT_EQ(changes, 1);

    // Showing the control again gives the plain stored state.
    control->refresh();
    EXPECT_EQ(status(), "Guardada en el depósito de claves de este equipo.");
    EXPECT_EQ(dot(), Palette::green(palette()));
}

TEST_F(KeyControl, ChangeCancelRemove) {
    c.keys.stored = true;
    make();
    EXPECT_TRUE(control->entryRow()->isHidden());
    EXPECT_FALSE(control->savedRow()->isHidden());
    control->change();
    EXPECT_TRUE(control->replacing());
    EXPECT_FALSE(control->entryRow()->isHidden());
    EXPECT_FALSE(control->cancelButton()->isHidden());
    EXPECT_TRUE(control->savedRow()->isHidden());
    type("sk-or-new");
    control->cancel();
    EXPECT_TRUE(control->field()->text().isEmpty());
    EXPECT_FALSE(control->replacing());
    EXPECT_TRUE(control->entryRow()->isHidden());

    control->remove();
    EXPECT_FALSE(c.keys.stored);
    EXPECT_EQ(changes, 1);
    EXPECT_FALSE(control->entryRow()->isHidden());
    EXPECT_TRUE(control->savedRow()->isHidden());
}

TEST_F(KeyControl, MendsOneCheckAndAbandonedAnswers) {
    c.keys.stored = true;
    make();
    control->change();
    type("sk-or-one");
    control->save();
    control->save();  // Return again while checking
    EXPECT_EQ(c.runner.jobs.size(), 1u);

    control->cancel();  // the answer that comes later is dropped
    EXPECT_FALSE(control->checking());
    EXPECT_TRUE(control->spinner()->isHidden());
    c.runner.runAll();
    EXPECT_EQ(c.keys.saves, 0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(status(), "Guardada en el depósito de claves de este equipo.");

    // A check whose control is gone still stores the key.
    type("sk-or-two");
    control->save();
    control.reset();
    c.runner.runAll();
    EXPECT_EQ(c.keys.key, "sk-or-two");
}

TEST_F(KeyControl, ReturnInADialogSavesAndKeepsItOpen) {
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    auto* keyControl = new AIKeyControl(&dialog, c.context);
    layout->addWidget(keyControl);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    keyControl->field()->setFocus();
    keyControl->field()->setText("sk-or-enter");
    QTest::keyClick(keyControl->field(), Qt::Key_Return);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(c.runner.jobs.size(), 1u);
    c.runner.runAll();
    EXPECT_EQ(c.keys.key, "sk-or-enter");
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(KeyControl, DisablingGreysEverything) {
    make();
    control->setEnabled(false);
    for (QWidget* part : std::initializer_list<QWidget*>{control->field(), control->saveButton(),
                                                         control->cancelButton(), control->changeButton(),
                                                         control->removeButton(), control->link()}) {
        EXPECT_FALSE(part->isEnabled());
    }
    EXPECT_EQ(control->status()->palette().color(QPalette::WindowText), Palette::tertiaryLabel(palette()));
    control->setEnabled(true);
    EXPECT_TRUE(control->field()->isEnabled());
    EXPECT_EQ(control->status()->palette().color(QPalette::WindowText), Palette::label(palette()));
}

TEST(KeyService, RealServiceKeepsTheKeyInTheSecretStoreOnly) {
    Context c;
    // Nothing is reachable there: the real check answers unknown at once.
    c.context.ai.environment = [](const std::string& name) -> std::optional<std::string> {
        if (name == "TINDRA_AI_BASE_URL") return "http://127.0.0.1:9";
        return std::nullopt;
    };
    auto service = AIKeyService::make(c.context.ai);
    EXPECT_FALSE(service->hasKey());
    ASSERT_TRUE(service->save("sk-or-secret-123"));
    EXPECT_TRUE(service->hasKey());
    const auto item = c.secrets->items.find({"openrouter-tindra", "tester"});
    ASSERT_NE(item, c.secrets->items.end());
    EXPECT_EQ(item->second.data, "sk-or-secret-123");

    // Through the control: neither the defaults file nor the application's log holds it.
    c.context.keys = service.get();
    service->removeKey();
    AIKeyControl control(nullptr, c.context);
    control.field()->setText("sk-or-secret-456");
    control.save();
    ASSERT_EQ(c.runner.jobs.size(), 1u);
    // The real check reaches no service: the answer is unknown and the key stored.
    c.runner.runAll();
    EXPECT_TRUE(service->hasKey());
    EXPECT_EQ(c.secrets->items.at({"openrouter-tindra", "tester"}).data, "sk-or-secret-456");
    c.defaults->setBoolean("fillForms", true);
    EXPECT_EQ(testutil::readFile(c.dir / "defaults.json").find("sk-or-secret"), std::string::npos);
    std::error_code error;
    if (std::filesystem::exists(Log::url(), error)) {
        EXPECT_EQ(testutil::readFile(Log::url()).find("sk-or-secret"), std::string::npos);
    }
    for (const auto& line : c.logged) EXPECT_EQ(line.find("sk-or-secret"), std::string::npos);
}

TEST(KeyService, RealCheckOnTheWorkerAndStopOnQuit) {
    StubHTTPServer server;
    Context c;
    const std::string base = server.baseURL();
    c.context.ai.environment = [base](const std::string& name) -> std::optional<std::string> {
        if (name == "TINDRA_AI_BASE_URL") return base;
        return std::nullopt;
    };
    auto service = AIKeyService::make(c.context.ai);
    c.context.keys = service.get();
    c.context.runner = &BackgroundRunner::standard();

    // Accepted by the service: checked off the main thread, stored when the answer comes back.
    server.enqueue(StubHTTPServer::Reply::json(200, "{}"));
    AIKeyControl control(nullptr, c.context);
    control.field()->setText("sk-or-live");
    control.save();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (control.checking() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(control.checking()) << "The key check did not end within 60 s.";
    EXPECT_EQ(control.status()->text(), "Comprobada y guardada en el depósito de claves de este equipo.");
    ASSERT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(server.requests()[0].header("authorization"), "Bearer sk-or-live");
    EXPECT_EQ(c.secrets->items.at({"openrouter-tindra", "tester"}).data, "sk-or-live");

    // A held request ends soon after a stop request, not after the check's time-out.
    server.enqueue(StubHTTPServer::Reply::holdSocket());
    std::optional<bool> answer = true;
    const auto started = std::chrono::steady_clock::now();
    {
        std::jthread worker([&](std::stop_token stop) { answer = service->check("sk-or-held", stop); });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }  // request_stop and join
    EXPECT_FALSE(answer.has_value());
    const auto timeOut = c.context.ai.checkTimeout;
    EXPECT_LT(std::chrono::steady_clock::now() - started, timeOut / 3)
        << "the held check ended no sooner than a third of its " << timeOut.count()
        << " ms time-out";
}

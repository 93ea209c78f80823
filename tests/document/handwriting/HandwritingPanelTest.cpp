// "A mano" in the signing window with the real sheet and store: draw, save into the secret store,
// and the card takes the stored image; removing it leaves the handwriting mode.
#include "document/HandwritingPad.h"
#include "document/HandwritingSheet.h"
#include "document/HandwritingStore.h"
#include "document/SigningPanel.h"
#include "ui/DocumentHost.h"
#include "ui/SegmentedControl.h"
#include "platform/Defaults.h"
#include "platform/MemorySecretStore.h"
#include "support/PDFFixtures.h"
#include "support/TestPKI.h"
#include "support/TestUtil.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class Host : public DocumentHost {
public:
    void popHelp(const std::string&, QWidget*) override {}
    void showProfile() override {}
    std::filesystem::path filledCopy(const std::filesystem::path& source) override {
        return source.parent_path() / (source.stem().string() + "-rellenado.pdf");
    }
};

Certificate certificate() {
    testpki::CertSpec spec;
    spec.subject = {{"C", "ES"}, {"serialNumber", "IDCES-12345678Z"}, {"GN", "ANA"}, {"SN", "GARCIA LOPEZ"},
                    {"CN", "GARCIA LOPEZ ANA - 12345678Z"}};
    auto issued = testpki::sharedCA().issue(spec);
    return *Certificate::fromDER(issued.der, std::chrono::system_clock::now());
}

struct PanelWorld {
    testutil::TempDir dir;
    Defaults defaults{dir / "defaults.json"};
    MemorySecretStore secrets;
    Host host;
    DocumentContext context;
    std::filesystem::path pdf = dir / "solicitud.pdf";

    PanelWorld() {
        testutil::writeFile(pdf, fixtures::textPDF(2));
        context.secrets = &secrets;
        context.defaults = &defaults;
        context.now = [] { return std::chrono::system_clock::now(); };
        context.visibleFrame = [] { return std::optional<QRect>(QRect(0, 0, 1440, 900)); };
        context.host = &host;
        // As the standard context wires them, over this store.
        context.handwriting = [this] { return HandwritingStore::handwriting(secrets); };
        context.presentHandwritingSheet = [this](QWidget* window, std::function<void(bool)> done) {
            return HandwritingSheet::present(window, std::move(done), context);
        };
        context.handwritingNotifier = &HandwritingStore::notifier();
    }
    ~PanelWorld() {
        if (HandwritingSheet* sheet = HandwritingSheet::shown()) sheet->cancel();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
};

void mouse(QWidget& w, QEvent::Type type, QPointF at, Qt::MouseButtons buttons) {
    QMouseEvent event(type, at, w.mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(&w, &event);
}

void chooseMode(SigningPanel& panel, int segment) {
    panel.modeControl()->setSelected(segment);
    panel.modeChanged();
}

}  // namespace

TEST(HandwritingInPanel, DrawSaveAndTheCardUsesIt) {
    PanelWorld s;
    SigningPanel panel({certificate()}, {s.pdf}, std::nullopt, std::nullopt, s.context);
    chooseMode(panel, 1);
    HandwritingSheet* sheet = HandwritingSheet::shown();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->window()->parentWidget(), panel.window());
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::certificate);  // not before the save

    HandwritingPadView& pad = *sheet->pad();
    mouse(pad, QEvent::MouseButtonPress, {40, 120}, Qt::LeftButton);
    for (int x = 42; x <= 420; x += 6) mouse(pad, QEvent::MouseMove, {double(x), 120 - (x % 60) * 0.8}, Qt::LeftButton);
    mouse(pad, QEvent::MouseButtonRelease, {420, 100}, Qt::NoButton);
    sheet->saveButton()->click();

    EXPECT_EQ(HandwritingSheet::shown(), nullptr);
    EXPECT_TRUE(HandwritingStore::png(s.secrets));
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::handwriting);
    EXPECT_EQ(panel.modeControl()->selected(), 1);
    EXPECT_FALSE(panel.handwritingImage()->isHidden());

    // Removed elsewhere (the profile pane): the panel leaves the handwriting mode.
    HandwritingStore::remove(s.secrets);
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::none);
}

TEST(HandwritingInPanel, CancelAndARefusedSheetPutTheModeBack) {
    PanelWorld s;
    SigningPanel panel({certificate()}, {s.pdf}, std::nullopt, std::nullopt, s.context);
    chooseMode(panel, 1);
    ASSERT_TRUE(HandwritingSheet::shown());
    HandwritingSheet::shown()->cancelButton()->click();
    EXPECT_EQ(panel.modeControl()->selected(), 0);
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::certificate);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    // A sheet open for someone else: the panel's request is refused and the control goes back.
    bool otherAnswered = false;
    ASSERT_TRUE(HandwritingSheet::present(nullptr, [&](bool) { otherAnswered = true; }, s.context));
    chooseMode(panel, 1);
    EXPECT_EQ(panel.modeControl()->selected(), 0);
    HandwritingSheet::shown()->cancel();
    EXPECT_TRUE(otherAnswered);
    EXPECT_TRUE(s.secrets.items.empty());
}

TEST(HandwritingInPanel, TheStandardContextIsWired) {
    DocumentContext& standard = DocumentContext::standard();
    EXPECT_TRUE(standard.handwriting);
    EXPECT_TRUE(standard.presentHandwritingSheet);
    EXPECT_EQ(standard.handwritingNotifier, &HandwritingStore::notifier());
}

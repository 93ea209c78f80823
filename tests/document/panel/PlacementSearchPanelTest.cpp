// The signing window and its placement search: the search runs on a worker thread, so the window
// shows at once however slow the document's pages are; the card comes when the search ends, and
// closing the window stops the search. Also the keys that turn pages, and the inline editor the
// panel opens in the preview.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "PanelFixtures.h"
#include "ui/SegmentedControl.h"
#include "document/PagesPreview.h"
#include "document/SigningPanel.h"
#include "pages/PageProcess.h"
#include "qtsupport/Screenshots.h"

namespace {

using namespace std::chrono;
using panelfixtures::Context;

// Poppler's pages, each read taking `delay`; counts the reads.
class SlowPages final : public PageSource {
public:
    SlowPages(std::string_view bytes, milliseconds delay, std::shared_ptr<std::atomic<int>> reads)
        : pages_(PageProcess::open(bytes)), delay_(delay), reads_(std::move(reads)) {}
    int pageCount() const override { return pages_->pageCount(); }
    std::optional<PageText> text(int i) const override {
        wait();
        return pages_->text(i);
    }
    std::optional<std::u16string> words(int i) const override {
        wait();
        return pages_->words(i);
    }
    std::optional<GreyImage> render(int i, double scale, std::int64_t max) const override {
        return pages_->render(i, scale, max);
    }

private:
    void wait() const {
        ++*reads_;
        std::this_thread::sleep_for(delay_);
    }
    std::unique_ptr<PageProcess> pages_;
    milliseconds delay_;
    std::shared_ptr<std::atomic<int>> reads_;
};

SigningPanel::PageSourceFactory slow(milliseconds delay,
                                     std::shared_ptr<std::atomic<int>> reads =
                                         std::make_shared<std::atomic<int>>(0)) {
    return [delay, reads](std::string_view bytes) -> std::unique_ptr<PageSource> {
        return std::make_unique<SlowPages>(bytes, delay, reads);
    };
}

// A gate that page reads wait at until the test opens it; a read that has waited two minutes goes
// on and marks the gate expired, so a window that waits for its search is seen, not hung on.
class Gate {
public:
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_for(lock, minutes(2), [this] { return open_; })) expired_ = true;
    }
    void open() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            open_ = true;
        }
        changed_.notify_all();
    }
    bool expired() {
        std::lock_guard<std::mutex> lock(mutex_);
        return expired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    bool expired_ = false;
};

struct OpenAtEnd {
    std::shared_ptr<Gate> gate;
    ~OpenAtEnd() { gate->open(); }
};

// Poppler's pages, each read of text waiting at the gate.
class GatedPages final : public PageSource {
public:
    GatedPages(std::string_view bytes, std::shared_ptr<Gate> gate)
        : pages_(PageProcess::open(bytes)), gate_(std::move(gate)) {}
    int pageCount() const override { return pages_->pageCount(); }
    std::optional<PageText> text(int i) const override {
        gate_->wait();
        return pages_->text(i);
    }
    std::optional<std::u16string> words(int i) const override {
        gate_->wait();
        return pages_->words(i);
    }
    std::optional<GreyImage> render(int i, double scale, std::int64_t max) const override {
        return pages_->render(i, scale, max);
    }

private:
    std::unique_ptr<PageProcess> pages_;
    std::shared_ptr<Gate> gate_;
};

SigningPanel::PageSourceFactory gated(std::shared_ptr<Gate> gate) {
    return [gate](std::string_view bytes) -> std::unique_ptr<PageSource> {
        return std::make_unique<GatedPages>(bytes, gate);
    };
}

void runEvents(milliseconds span) {
    const auto end = steady_clock::now() + span;
    while (steady_clock::now() < end) {
        QApplication::processEvents();
        std::this_thread::sleep_for(milliseconds(5));
    }
}

void waitForTiles(SigningPanel& panel) {
    const auto end = steady_clock::now() + seconds(30);
    while (panel.preview()->tilesPending() && steady_clock::now() < end) runEvents(milliseconds(10));
}

void press(QWidget* target, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

}  // namespace

// The search's page reads wait at a gate that the test opens: the window shows and the card stays
// away while the gate is shut, whatever the machine's load, and the card comes once it opens.
TEST(SigningPanelSearch, WindowShowsAtOnceAndTheCardComesWhenASlowSearchEnds) {
    Context ctx;
    const auto file = ctx.write("solicitud.pdf", panelfixtures::threePages());
    auto gate = std::make_shared<Gate>();
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context,
                       gated(gate));
    const OpenAtEnd openAtEnd{gate};  // a failed assertion never leaves the search waiting
    panel.begin([](std::optional<SigningOptions>) {});
    QApplication::processEvents();
    ASSERT_FALSE(gate->expired())
        << "The window waited for the placement search: the page reads gave up waiting for the gate.";
    EXPECT_TRUE(panel.window()->isVisible());
    EXPECT_TRUE(panel.searchingPlacements());
    EXPECT_TRUE(panel.signatures().empty());
    EXPECT_TRUE(panel.preview()->spaces().empty());
    // A press now is kept until the card is placed.
    EXPECT_EQ(panel.modeNote()->text(),
              "Firma electrónica con tu certificado. Buscando el hueco de firma…");
    EXPECT_TRUE(panel.signButton()->isEnabled());
    waitForTiles(panel);
    Screenshots::save(*panel.window(), "signing-window-searching");

    int found = 0;
    QObject::connect(&panel, &SigningPanel::placementsFound, [&found] { ++found; });
    runEvents(milliseconds(100));
    EXPECT_EQ(found, 0);  // no card while the search cannot read a page
    EXPECT_TRUE(panel.signatures().empty());
    gate->open();
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel))
        << "The placement search did not end within two minutes of its pages being let through.";
    EXPECT_EQ(found, 1);
    ASSERT_EQ(panel.signatures().size(), 1u);
    EXPECT_EQ(panel.signatures()[0].pageIndex, 2);  // over "Fdo.: El interesado"
    EXPECT_EQ(panel.preview()->signatures(), panel.signatures());
    EXPECT_FALSE(panel.preview()->spaces().empty());
    EXPECT_EQ(panel.modeNote()->text(),
              "Firma electrónica con tu certificado. La tarjeta de la página lo dice.");
    EXPECT_TRUE(panel.signButton()->isEnabled());
    waitForTiles(panel);
    Screenshots::save(*panel.window(), "signing-window-searched");
}

// Return and "Firmar" pressed while the window still looks for the signature box are kept: the
// note says what the window waits for, and it signs once, with the card, when the search ends.
TEST(SigningPanelSearch, PressesDuringTheSearchAreKeptAndSignOnceWhenItEnds) {
    Context ctx;
    const auto file = ctx.write("solicitud.pdf", panelfixtures::threePages());
    for (const bool click : {false, true}) {
        SCOPED_TRACE(click ? "Firmar" : "Return");
        auto gate = std::make_shared<Gate>();
        const OpenAtEnd openAtEnd{gate};
        SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                           ctx.context, gated(gate));
        int calls = 0;
        std::optional<SigningOptions> options;
        panel.begin([&](std::optional<SigningOptions> o) {
            ++calls;
            options = std::move(o);
        });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.window()));
        ASSERT_TRUE(panel.searchingPlacements());
        const QString searching =
            QStringLiteral("Firma electrónica con tu certificado. Buscando el hueco de firma…");
        ASSERT_EQ(panel.modeNote()->text(), searching);
        if (click) QTest::mouseClick(panel.signButton(), Qt::LeftButton);
        for (int i = 0; i < 3; ++i) QTest::keyClick(panel.window(), Qt::Key_Return);
        QApplication::processEvents();
        EXPECT_EQ(calls, 0);
        EXPECT_TRUE(panel.signPending()) << "the press was dropped";
        EXPECT_EQ(panel.modeNote()->text(), searching);
        gate->open();
        ASSERT_TRUE(panelfixtures::waitForPlacements(panel, seconds(60)));
        QTest::qWait(20);
        ASSERT_EQ(calls, 1);
        ASSERT_TRUE(options && options->placement);
        EXPECT_TRUE(options->visible);
        EXPECT_EQ(options->placement->pageIndex, 2);  // over "Fdo.: El interesado"
    }
}

TEST(SigningPanelSearch, CopiesSetMeanwhileStayWhenTheSearchEnds) {
    Context ctx;
    const auto file = ctx.write("solicitud.pdf", panelfixtures::threePages());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                       ctx.context, slow(milliseconds(300)));
    const SignatureCopy mine{0, {300, 500, 200, 72}, std::nullopt};
    panel.preview()->onSignaturesChange({mine});
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    EXPECT_FALSE(panel.placements().empty());
    EXPECT_EQ(panel.signatures(), std::vector<SignatureCopy>{mine});
}

// Whatever set the copies while the search runs, signing then waits for it: a card that lies on
// the document's own signature field signs into that field, never into a new one over it.
TEST(SigningPanelSearch, SigningDuringTheSearchSignsIntoTheDocumentsField) {
    Context ctx;
    const auto file = ctx.write("campo.pdf", panelfixtures::signatureFieldPDF());
    const Rect field{100, 100, 200, 72};
    SigningRecord record;
    record.certificate = panelfixtures::certificates()[0].sha1;
    record.visible = true;
    record.pageIndex = 0;
    record.rect = field;
    // A restored signing, and a card clicked onto the field by the user.
    for (const bool clicked : {false, true}) {
        SCOPED_TRACE(clicked ? "clicked" : "restored");
        std::optional<SigningRecord> previous;
        if (!clicked) previous = record;
        SigningPanel panel(panelfixtures::certificates(), {file}, previous, std::nullopt,
                           ctx.context, slow(milliseconds(400)));
        int calls = 0;
        std::optional<SigningOptions> options;
        panel.begin([&](std::optional<SigningOptions> o) {
            ++calls;
            options = std::move(o);
        });
        if (clicked) panel.preview()->onSignaturesChange({{0, {101, 99, 200, 72}, std::nullopt}});
        ASSERT_TRUE(panel.searchingPlacements());
        ASSERT_TRUE(panel.signButton()->isEnabled());
        panel.signButton()->click();
        EXPECT_EQ(calls, 0);  // not before the search has found the field
        EXPECT_FALSE(panel.signButton()->isEnabled());
        ASSERT_TRUE(panelfixtures::waitForPlacements(panel, seconds(30)));
        QApplication::processEvents();
        ASSERT_EQ(calls, 1);
        ASSERT_TRUE(options && options->placement);
        ASSERT_TRUE(options->placement->target.isField());
        EXPECT_EQ(options->placement->target.asField()->name, "Firma");
        EXPECT_TRUE(options->copies.empty());
        EXPECT_TRUE(options->visible);
        panel.window()->close();
        EXPECT_EQ(calls, 1);
    }
}

// A search held inside a page read that never ends (as a render that cannot be interrupted) is
// given up at the window's limit: the card goes to the corner of the last page and Return signs.
TEST(SigningPanelSearch, ASearchThatNeverComesBackIsGivenUpWithTheCornerPlace) {
    Context ctx;
    const auto file = ctx.write("atascado.pdf", panelfixtures::plainPages(3));
    auto gate = std::make_shared<Gate>();
    OpenAtEnd opener{gate};
    const milliseconds saved = SigningPanel::searchWaitLimit();
    SigningPanel::searchWaitLimit() = milliseconds(300);
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                       ctx.context, gated(gate));
    SigningPanel::searchWaitLimit() = saved;
    std::optional<SigningOptions> signedWith;
    bool ended = false;
    panel.begin([&](std::optional<SigningOptions> options) {
        ended = true;
        signedWith = std::move(options);
    });
    const auto end = steady_clock::now() + seconds(60);
    while (panel.searchingPlacements() && steady_clock::now() < end) runEvents(milliseconds(10));
    ASSERT_FALSE(panel.searchingPlacements()) << "the window still waits for its search";
    ASSERT_EQ(panel.signatures().size(), 1u);
    EXPECT_EQ(panel.signatures().front().pageIndex, 2);
    while (panel.readingForm() && steady_clock::now() < end) runEvents(milliseconds(10));
    press(panel.window(), Qt::Key_Return);
    while (!ended && steady_clock::now() < end) runEvents(milliseconds(10));
    ASSERT_TRUE(ended) << "Return did not sign";
    ASSERT_TRUE(signedWith);
    EXPECT_TRUE(signedWith->visible);
}

TEST(SigningPanelSearch, ClosingTheWindowStopsTheSearch) {
    Context ctx;
    const auto file = ctx.write("largo.pdf", panelfixtures::plainPages(40));
    auto reads = std::make_shared<std::atomic<int>>(0);
    int finished = 0;
    {
        SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                           ctx.context, slow(milliseconds(100), reads));
        panel.begin([&finished](std::optional<SigningOptions> options) {
            ++finished;
            EXPECT_FALSE(options);
        });
        runEvents(milliseconds(250));
        panel.window()->close();
        EXPECT_EQ(finished, 1);
        const int atClose = reads->load();
        runEvents(milliseconds(600));
        EXPECT_LE(reads->load(), atClose + 1);  // the page being read when it closed
        EXPECT_LT(reads->load(), 40);
        EXPECT_TRUE(panel.placements().empty());
    }
    // A panel gone while its search runs never hears of it.
    {
        SigningPanel gone(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                          ctx.context, slow(milliseconds(50)));
    }
    runEvents(milliseconds(200));
    EXPECT_EQ(finished, 1);
}

TEST(SigningPanelKeys, PageKeysTurnThePageUnlessTheFocusedControlUsesThem) {
    Context ctx;
    const auto file = ctx.write("doc.pdf", panelfixtures::plainPages(6));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                       ctx.context);
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    panel.begin([](std::optional<SigningOptions>) {});
    PagesPreview& preview = *panel.preview();
    preview.setCurrentPage(0);

    QApplication::processEvents();
    panel.signButton()->setFocus();
    panel.modeControl()->setFocus(Qt::TabFocusReason);
    press(panel.modeControl(), Qt::Key_PageDown);
    EXPECT_EQ(preview.currentPage(), 0);  // a segmented control the user went to keeps its keys

    panel.signButton()->setFocus();
    press(panel.signButton(), Qt::Key_PageDown);
    EXPECT_EQ(preview.currentPage(), 1);
    press(panel.signButton(), Qt::Key_End);
    EXPECT_EQ(preview.currentPage(), 5);
    EXPECT_EQ(panel.pageLabel()->text(), "Página 6 de 6");

    panel.certificatePopup()->setFocus();
    press(panel.certificatePopup(), Qt::Key_Down);
    EXPECT_EQ(preview.currentPage(), 5);  // the popup's own arrows
    press(panel.certificatePopup(), Qt::Key_PageUp);
    EXPECT_EQ(preview.currentPage(), 4);

    // A new text box opens the preview's inline editor, which keeps its keys too.
    preview.onTextAdd(4, {100, 100});
    QLineEdit* editor = preview.inlineEditor();
    ASSERT_TRUE(editor);
    EXPECT_TRUE(editor->text().isEmpty());
    ASSERT_TRUE(panel.editorTarget());
    EXPECT_EQ(panel.editorTarget()->pageIndex, 4);
    press(editor, Qt::Key_Home);
    EXPECT_EQ(preview.currentPage(), 4);
}

// The window opens with the focus on the mode control; until the user takes it there (Tab or a
// click), the arrow keys turn the pages and never change the mode.
TEST(SigningPanelKeys, ArrowsTurnPagesUntilTheUserFocusesTheModeControl) {
    Context ctx;
    const auto file = ctx.write("doc.pdf", panelfixtures::plainPages(6));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                       ctx.context);
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    panel.begin([](std::optional<SigningOptions>) {});
    QApplication::processEvents();
    PagesPreview& preview = *panel.preview();
    preview.setCurrentPage(0);
    ASSERT_EQ(panel.window()->focusWidget(), panel.modeControl());

    press(panel.modeControl(), Qt::Key_Right);
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::certificate);
    EXPECT_EQ(panel.modeControl()->selected(), 0);
    EXPECT_EQ(preview.currentPage(), 1);
    press(panel.modeControl(), Qt::Key_Down);
    EXPECT_EQ(preview.currentPage(), 2);
    press(panel.modeControl(), Qt::Key_Left);
    EXPECT_EQ(preview.currentPage(), 1);
    EXPECT_EQ(ctx.sheetRequests, 0);

    // Tabbed to, the control keeps its arrows.
    panel.signButton()->setFocus(Qt::OtherFocusReason);
    panel.modeControl()->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    press(panel.modeControl(), Qt::Key_Right);
    EXPECT_EQ(preview.currentPage(), 1);
    EXPECT_EQ(panel.modeControl()->selected(), 1);
    EXPECT_EQ(ctx.sheetRequests, 1);  // "A mano" without a stored image asks for one
}

// The editor of a new text box lies over the box's 150-point draft, at least 120 points wide,
// and keeps that width while the user types: a long text scrolls inside it.
TEST(SigningPanelEditor, ANewTextBoxsEditorKeepsTheDraftsWidthWhileTyping) {
    Context ctx;
    const auto file = ctx.write("solicitud.pdf", panelfixtures::threePages());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                       ctx.context);
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    panel.begin([](std::optional<SigningOptions>) {});
    QApplication::processEvents();
    PagesPreview& preview = *panel.preview();
    preview.onTextAdd(0, {100, 400});
    QLineEdit* editor = preview.inlineEditor();
    ASSERT_TRUE(editor);
    const auto layouts = preview.geometry().layouts();
    ASSERT_FALSE(layouts.empty());
    const Rect draft = layouts.front().transform.apply(Rect{98, 392, 150, 16});
    const QRectF inView = preview.toWidget(draft);
    EXPECT_NEAR(editor->width(), std::max(120.0, inView.width()), 1.0);
    EXPECT_NEAR(editor->x(), inView.left(), 1.0);
    const int width = editor->width();
    editor->insert(QStringLiteral("Expediente de solicitud de licencia de obra menor 2026/0142"));
    QApplication::processEvents();
    EXPECT_EQ(editor->width(), width);
}

TEST(SigningPanelEditor, ClickingATextBoxOpensTheEditorWithItsText) {
    Context ctx;
    const auto file = ctx.write("solicitud.pdf", panelfixtures::threePages());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt,
                       ctx.context);
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    panel.begin([](std::optional<SigningOptions>) {});
    PagesPreview& preview = *panel.preview();
    preview.onTextAdd(0, {100, 100});
    preview.onFieldEdit({100001}, "Zaragoza");
    preview.endEditing();
    ASSERT_FALSE(preview.inlineEditor());
    preview.onFieldClick(100001, {});
    ASSERT_TRUE(preview.inlineEditor());
    EXPECT_EQ(preview.inlineEditor()->text(), "Zaragoza");
    EXPECT_EQ(panel.editorTarget()->text, "Zaragoza");
}

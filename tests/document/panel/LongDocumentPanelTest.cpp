// The signing window of a long document: its first page is shown from the first pages of the
// page tree; the rest of the tree is read on a worker and the page list put right when it comes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <thread>

#include "PanelFixtures.h"
#include "document/PagesPreview.h"
#include "document/SigningPanel.h"
#include "pdf/PDFFile.h"

namespace {

using panelfixtures::Context;
using Clock = std::chrono::steady_clock;

template <typename F>
bool until(F done) {
    const auto limit = Clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (Clock::now() > limit) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// `count` A4 pages, the last one landscape, whose tree declares `declared` pages.
std::string pages(int count, int declared) {
    std::vector<fixtures::PageSpec> specs(static_cast<std::size_t>(count));
    specs.back() = {842, 595, 0, {}};
    std::string pdf = fixtures::pagesPDF(specs);
    const std::string real = "/Count " + std::to_string(count) + " ";
    const std::string lie = "/Count " + std::to_string(declared) + " ";
    if (real.size() != lie.size()) throw std::logic_error("the lie must keep the offsets");
    pdf.replace(pdf.find(real), real.size(), lie);
    return pdf;
}

}  // namespace

TEST(LongDocumentPanel, TheFirstPageIsDrawnWithoutReadingEveryPageObject) {
    Context ctx;
    SigningPanel panel(panelfixtures::certificates(), {ctx.write("largo.pdf", pages(3000, 3000))},
                       std::nullopt, std::nullopt, ctx.context);
    panel.begin([](std::optional<SigningOptions>) {});
    PagesPreview& preview = *panel.preview();
    ASSERT_TRUE(until([&] {
        preview.repaint();
        return !preview.tilesPending();
    }));
    PreviewDocument& document = *preview.document();
    // 3000 page objects and as many content streams: the main thread read the first pages only.
    EXPECT_LT(document.file().objectsRead(), 200u);
    EXPECT_EQ(panel.pageLabel()->text(), "Página 1 de 3000");
    // The last page's own frame, once the tree is read.
    ASSERT_TRUE(until([&] {
        const std::optional<DisplaySpace> last = document.displaySpace(2999);
        return last && last->bounds == Rect{0, 0, 842, 595};
    }));
    EXPECT_EQ(preview.pageCount(), 3000);
    EXPECT_EQ(panel.pageLabel()->text(), "Página 1 de 3000");
    panel.cancel();
}

// A tree that declares more pages than it holds: a copy restored onto a page past the real last
// one goes once the tree is read, and the page bar counts the real pages.
TEST(LongDocumentPanel, ACopyOnAPageTheTreeOnlyDeclaredGoesWhenTheTreeIsRead) {
    Context ctx;
    SigningRecord record;
    record.certificate = panelfixtures::certificates()[0].sha1;
    record.copies = std::vector<SignatureCopy>{{10, {50, 50, 200, 72}, std::nullopt},
                                               {300, {50, 50, 200, 72}, std::nullopt}};
    SigningPanel panel(panelfixtures::certificates(), {ctx.write("miente.pdf", pages(200, 999))},
                       record, std::nullopt, ctx.context);
    panel.begin([](std::optional<SigningOptions>) {});
    PreviewDocument& document = *panel.preview()->document();
    ASSERT_TRUE(until([&] { return document.pagesRead(); }));
    const std::vector<SignatureCopy> kept{{10, {50, 50, 200, 72}, std::nullopt}};
    EXPECT_EQ(panel.signatures(), kept);
    EXPECT_EQ(panel.preview()->signatures(), kept);
    EXPECT_EQ(panel.preview()->pageCount(), 200);
    EXPECT_TRUE(panel.pageLabel()->text().endsWith(" de 200"));
    panel.cancel();
}

// The placement search of a long document, which reads every page, starts once the window's first
// page is drawn, not as the window is made, so that it does not compete with that drawing; a
// short letter's starts at once, so that «Firmar» waits no longer for it.
// Records when the preview was first seen drawn whole, looked at after each of its paints.
class FirstWholePaint : public QObject {
public:
    explicit FirstWholePaint(PagesPreview& preview) : preview_(preview) {
        preview.installEventFilter(this);
    }
    std::optional<Clock::time_point> at;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == &preview_ && event->type() == QEvent::Paint && !at)
            QTimer::singleShot(0, this, [this] {
                if (!at && preview_.drawnWhole()) at = Clock::now();
            });
        return false;
    }

private:
    PagesPreview& preview_;
};

TEST(LongDocumentPanel, ItsSearchStartsOnceTheFirstPageIsDrawn) {
    Context ctx;
    for (const int count : {3, 3000}) {
        SCOPED_TRACE(count);
        auto asked = std::make_shared<std::atomic<Clock::rep>>(0);
        const auto made = Clock::now();
        SigningPanel panel(
            panelfixtures::certificates(),
            {ctx.write("carta" + std::to_string(count) + ".pdf", pages(count, count))},
            std::nullopt, std::nullopt, ctx.context,
            [asked](std::string_view) -> std::unique_ptr<PageSource> {
                *asked = Clock::now().time_since_epoch().count();
                return nullptr;  // the page process, as without a reader of its own
            });
        // Time enough for a search started with the window to ask for its pages, and less than
        // the delay after which a long document's search starts whatever was drawn.
        std::this_thread::sleep_for(SigningPanel::readersDelay / 3);
        EXPECT_EQ(asked->load() != 0, count == 3);
        FirstWholePaint whole(*panel.preview());
        panel.begin([](std::optional<SigningOptions>) {});
        ASSERT_TRUE(until([&] { return whole.at && asked->load() != 0; }))
            << "the first page was never drawn whole, or the search never started";
        // Not at the window's first paint, before its first page was drawn (unless drawing took
        // longer than that delay).
        if (count > 3 && *whole.at < made + SigningPanel::readersDelay) {
            EXPECT_GE(asked->load(), whole.at->time_since_epoch().count());
        }
        panel.cancel();
    }
}

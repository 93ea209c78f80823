// "Firmar" and Return on the shown window of a long flat form, with the real form reader and the
// real form section: signing waits for the form only when the user asked for it to be filled.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "PanelFixtures.h"
#include "document/SigningPanel.h"
#include "document/formfill/FormFillController.h"
#include "platform/Preferences.h"
#include "support/FormFixtures.h"

namespace {

using panelfixtures::Context;

// Holds the real reader once it has found the first page's fields, until released or told to
// stop: the reading stands for one that takes as long as the test wants. Its state is shared
// with the reader, which may outlive the test's scope on its worker.
struct HeldReading {
    std::shared_ptr<std::promise<void>> opened = std::make_shared<std::promise<void>>();
    std::shared_future<void> future = opened->get_future().share();
    std::shared_ptr<std::atomic<bool>> holding = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> stopped = std::make_shared<std::atomic<bool>>(false);
    bool released = false;

    void release() {
        if (!released) opened->set_value();
        released = true;
    }
    ~HeldReading() { release(); }

    DocumentContext::FormReading reader() {
        return [future = future, holding = holding, stopped = stopped](
                   PDFFile& file, const PageSource& pages, std::stop_token stop,
                   FormReader::ReadReport* report, const FormReader::Progress& found) {
            bool held = false;
            return FormReader::fields(file, pages, stop, report, [&](std::size_t count) {
                found(count);
                if (held || count == 0) return;
                held = true;
                *holding = true;
                // Two minutes at most, so that a reader left behind always ends.
                const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(2);
                while (future.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready &&
                       std::chrono::steady_clock::now() < end) {
                    if (stop.stop_requested()) {
                        *stopped = true;
                        return;
                    }
                }
            });
        };
    }
};

class FormFillingWait : public ::testing::Test {
protected:
    FormFillingWait() {
        ctx.context.formSection = [](std::vector<FormField> fields, const std::string& name,
                                     const Certificate& certificate,
                                     DocumentContext& context) -> std::unique_ptr<FormSection> {
            return FormFillController::make(std::move(fields), name, certificate, context);
        };
        ctx.context.readForm = reading.reader();
    }

    // A printed flat form of that many pages.
    void write(int pages) {
        file = ctx.write("formulario.pdf",
                         formfixtures::formPDF(formfixtures::printedFlatForm(pages)));
    }

    // The window shown, its placement search ended and its reading held on the first page.
    void showHeld(SigningPanel& panel) {
        panel.begin([this](std::optional<SigningOptions> o) {
            ++calls;
            signedWith = std::move(o);
        });
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel.window()));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.searchingPlacements(); }, 60000))
            << "the placement search did not end";
        ASSERT_TRUE(QTest::qWaitFor([&] { return reading.holding->load(); }, 60000))
            << "the reading found no field";
        ASSERT_TRUE(panel.readingForm());
    }

    Context ctx;
    HeldReading reading;
    std::filesystem::path file;
    int calls = 0;
    std::optional<SigningOptions> signedWith;
};

// With the filling switched off, Return on a long flat form whose reading has found fields signs at
// once: nothing of the form would be written.
TEST_F(FormFillingWait, ReturnWithTheSwitchOffSignsAtOnceAndStopsTheReading) {
    Preferences::setFillForms(false, ctx.defaults);
    write(60);
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    showHeld(panel);

    QTest::keyClick(panel.window(), Qt::Key_Return);
    EXPECT_EQ(calls, 1) << "signing waited for a reading whose values nobody asked for";
    EXPECT_FALSE(panel.signPending());
    EXPECT_FALSE(panel.readingForm());
    EXPECT_TRUE(QTest::qWaitFor([&] { return reading.stopped->load(); }, 60000))
        << "the reader was not told to stop";
    ASSERT_TRUE(signedWith);
    EXPECT_TRUE(signedWith->visible);
    EXPECT_TRUE(signedWith->fills.empty());
    QTest::qWait(20);
    EXPECT_EQ(calls, 1);
}

// Pressed while the form is read, with the filling switched on, "Firmar" waits for the reading and
// for the recognition of its fields that follows, and hands over the values planned from them.
TEST_F(FormFillingWait, FirmarWithTheSwitchOnWaitsForTheReadingAndFillsFromTheCertificate) {
    Preferences::setFillForms(true, ctx.defaults);
    // The rules' labels, taken as sure: the certificate's values are written, not only proposed.
    ctx.context.labeller = [](const std::vector<FormUnit>& units, const std::string& name,
                              std::stop_token stop) {
        Labels labels = FieldLabeler::labels(units, name, FieldLabeler::rulesOnly(), stop);
        for (auto& entry : labels) entry.second.p = 1.0;
        return FieldLabeler::Labelling(labels);
    };
    // One page: a value repeated on every page of a long form is only proposed.
    write(1);
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    showHeld(panel);

    QTest::mouseClick(panel.signButton(), Qt::LeftButton);
    EXPECT_EQ(calls, 0) << "signed before the form it was to fill was read";
    EXPECT_TRUE(panel.signPending());
    EXPECT_FALSE(panel.signButton()->isEnabled());
    EXPECT_EQ(panel.modeNote()->text(),
              "Firma electrónica con tu certificado. Leyendo el formulario…");

    reading.release();
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 120000)) << "the window never signed";
    QTest::qWait(20);
    EXPECT_EQ(calls, 1);
    ASSERT_TRUE(signedWith);
    // The holder's identity number, planned from the certificate once the fields were recognised.
    EXPECT_TRUE(std::any_of(signedWith->fills.begin(), signedWith->fills.end(),
                            [](const FormFill& f) { return f.text == "12345678Z"; }))
        << signedWith->fills.size() << " values handed over";
}

}  // namespace

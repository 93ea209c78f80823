// What "Firmar" hands over: the options of each mode, with one document and with several.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "PanelFixtures.h"
#include "ui/SegmentedControl.h"
#include "document/PagesPreview.h"
#include "document/SigningPanel.h"

namespace {

using panelfixtures::Context;

struct Outcome {
    std::optional<SigningOptions> options;
    int calls = 0;
};

void begin(SigningPanel& panel, Outcome& run) {
    panel.begin([&run](std::optional<SigningOptions> options) {
        ++run.calls;
        run.options = std::move(options);
    });
}

// The user's choice of a mode segment.
void chooseMode(SigningPanel& panel, int segment) {
    panel.modeControl()->setSelected(segment);
    panel.modeChanged();
}

Rect centredOn(double x, double y, double w = 200, double h = 72) {
    return {x - w / 2, y - h / 2, w, h};
}

class SigningOptionsTest : public ::testing::Test {
protected:
    Context ctx;
};

TEST_F(SigningOptionsTest, ACopyThreePointsFromAFieldSignsIntoTheField) {
    const auto file = ctx.write("campo.pdf", panelfixtures::signatureFieldPDF());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    ASSERT_TRUE(panel.hasDocument());
    ASSERT_TRUE(panel.placements().front().target.isField());
    const SignatureCopy first{0, {300, 500, 200, 72}, std::nullopt};
    const SignatureCopy second{0, centredOn(200 + 3, 136 - 3), std::nullopt};
    panel.preview()->onSignaturesChange({first, second});
    Outcome run;
    begin(panel, run);
    panel.sign();
    ASSERT_EQ(run.calls, 1);
    const SigningOptions& o = *run.options;
    ASSERT_TRUE(o.placement);
    ASSERT_TRUE(o.placement->target.isField());
    EXPECT_EQ(o.placement->target.asField()->name, "Firma");
    EXPECT_EQ(o.copies, std::vector<SignatureCopy>{first});
    EXPECT_TRUE(o.visible);
    EXPECT_FALSE(o.unsignedCopy);
    EXPECT_EQ(o.certificate.sha1, panelfixtures::certificates()[0].sha1);
}

TEST_F(SigningOptionsTest, ExactlyFourPointsAwayMakesAnAreaOnTheNextPageNumber) {
    const auto file = ctx.write("campo.pdf", panelfixtures::signatureFieldPDF());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    const SignatureCopy copy{0, centredOn(200 + 4, 136), std::nullopt};
    panel.preview()->onSignaturesChange({copy});
    const SigningOptions o = panel.options();
    ASSERT_TRUE(o.placement);
    ASSERT_TRUE(o.placement->target.isArea());
    EXPECT_EQ(o.placement->target.asArea()->page, 1);
    EXPECT_EQ(o.placement->target.asArea()->rect, copy.rect);
    EXPECT_EQ(o.placement->pageIndex, 0);
    EXPECT_TRUE(o.placement->detected);
    EXPECT_FALSE(o.placement->isSignatureBox);
    EXPECT_EQ(o.placement->rank, 1);
    EXPECT_TRUE(o.placement->label.empty());
    EXPECT_TRUE(o.copies.empty());
}

TEST_F(SigningOptionsTest, NoCopySignsWithoutACard) {
    const auto file = ctx.write("campo.pdf", panelfixtures::signatureFieldPDF());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    EXPECT_EQ(panel.signatures().size(), 1u);  // the proposal
    panel.preview()->onSignaturesChange({});
    const SigningOptions o = panel.options();
    EXPECT_FALSE(o.placement);
    EXPECT_FALSE(o.visible);
    EXPECT_TRUE(o.copies.empty());
    EXPECT_FALSE(o.unsignedCopy);
}

TEST_F(SigningOptionsTest, SeveralDocumentsLetTheRunFindThePlace) {
    const auto a = ctx.write("a.pdf", panelfixtures::plainPages(1));
    const auto b = ctx.write("b.pdf", panelfixtures::plainPages(2));
    SigningPanel panel(panelfixtures::certificates(), {a, b}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    Outcome run;
    begin(panel, run);
    panel.signButton()->click();
    ASSERT_EQ(run.calls, 1);
    const SigningOptions& o = *run.options;
    EXPECT_TRUE(o.visible);
    EXPECT_FALSE(o.placement);
    EXPECT_TRUE(o.copies.empty());
    EXPECT_TRUE(o.fills.empty());
    EXPECT_TRUE(o.remember.empty());
    EXPECT_FALSE(o.unsignedCopy);
}

TEST_F(SigningOptionsTest, HandwritingHandsOverEveryCopyAsHandwritten) {
    ctx.stored = panelfixtures::handwriting();
    const auto file = ctx.write("tres.pdf", panelfixtures::plainPages(3));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    panel.certificatePopup()->setCurrentIndex(1);
    panel.certificateChanged();
    chooseMode(panel, 1);
    ASSERT_EQ(panel.mode(), SigningPanel::Mode::handwriting);
    std::vector<SignatureCopy> copies;
    for (int i = 0; i < 3; ++i) copies.push_back({i, {100, 100, 120, 40}, std::nullopt});
    panel.preview()->onSignaturesChange(copies);
    const SigningOptions o = panel.options();
    ASSERT_EQ(o.copies.size(), 3u);
    for (const SignatureCopy& c : o.copies) EXPECT_EQ(c.handwritten, std::optional<bool>(true));
    EXPECT_FALSE(o.visible);
    EXPECT_FALSE(o.showFullID);
    EXPECT_FALSE(o.showBranding);
    EXPECT_FALSE(o.placement);
    EXPECT_TRUE(o.unsignedCopy);
    EXPECT_TRUE(o.handwriting);
    EXPECT_EQ(o.certificate.sha1, panelfixtures::certificates()[1].sha1);
}

TEST_F(SigningOptionsTest, NoSignatureHandsOverNoCopiesAndTheStoredImage) {
    ctx.stored = panelfixtures::handwriting();
    const auto file = ctx.write("tres.pdf", panelfixtures::plainPages(3));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    ASSERT_FALSE(panel.signatures().empty());
    chooseMode(panel, 2);
    const SigningOptions o = panel.options();
    EXPECT_TRUE(o.copies.empty());
    EXPECT_TRUE(o.unsignedCopy);
    EXPECT_FALSE(o.visible);
    EXPECT_TRUE(o.handwriting);
    EXPECT_EQ(o.handwriting->image().width, 120);
}

// The pure assembly, for what the window cannot reach: text boxes follow the form's values.
TEST(SigningOptionsAssembly, FormValuesComeBeforeTextBoxes) {
    SigningOptionsAssembly::Input input;
    input.singleDocument = true;
    FormFill form;
    form.name = "nombre";
    FormFill text;
    text.name = "tindra.texto";
    input.formFills = {form};
    input.textFills = {text};
    const SigningOptions o = SigningOptionsAssembly::assemble(input);
    ASSERT_EQ(o.fills.size(), 2u);
    EXPECT_EQ(o.fills[0].name, "nombre");
    EXPECT_EQ(o.fills[1].name, "tindra.texto");
}

}  // namespace

// The signing window's behaviour: spaces, restoring, undo, modes, keys and the end of the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QUndoStack>

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

void begin(SigningPanel& panel, Outcome& outcome) {
    panel.begin([&outcome](std::optional<SigningOptions> options) {
        ++outcome.calls;
        outcome.options = std::move(options);
    });
}

void chooseMode(SigningPanel& panel, int segment) {
    panel.modeControl()->setSelected(segment);
    panel.modeChanged();
}

// A key typed into the focused widget, as the keyboard would deliver it.
void press(QWidget* target, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

SignaturePlacement detected(int page, Rect rect, int rank) {
    return {SignaturePlacement::Target::area(page + 1, rect), page, rect, "", "", true, false, rank};
}

class SigningPanelTest : public ::testing::Test {
protected:
    Context ctx;
    std::filesystem::path threePages() { return ctx.write("solicitud.pdf", panelfixtures::threePages()); }
    std::filesystem::path pages(int n) { return ctx.write("doc.pdf", panelfixtures::plainPages(n)); }
};

TEST(SigningPanelSpaces, OverlappingPlacesOfOneRankGiveOneSpace) {
    const Rect first{100, 100, 200, 72};
    const std::vector<SignaturePlacement> list{
        detected(0, first, 1), detected(0, {110, 110, 200, 72}, 1),  // overlaps by far more than 4
        detected(0, {296, 100, 200, 72}, 1),                          // only in the 4-pt margin
        detected(1, first, 2),                                        // another page
        {SignaturePlacement::Target::area(1, first), 0, {500, 500, 50, 50}, "", "", false, false, 1}};
    const std::vector<SignatureCopy> spaces = SigningPanel::candidateSpaces(list);
    ASSERT_EQ(spaces.size(), 3u);
    EXPECT_EQ(spaces[0].rect, first);
    EXPECT_EQ(spaces[1].rect, (Rect{296, 100, 200, 72}));
    EXPECT_EQ(spaces[2].pageIndex, 1);
    EXPECT_FALSE(spaces[0].handwritten);
}

TEST_F(SigningPanelTest, EditingAgainRestoresTheCardAndDropsHandwrittenAndStrayCopies) {
    SigningRecord record;
    record.certificate = panelfixtures::certificates()[1].sha1;
    record.visible = true;
    record.showFullID = true;
    record.showBranding = false;
    record.pageIndex = 2;
    record.rect = Rect{300, 120, 200, 70};
    record.copies = std::vector<SignatureCopy>{{0, {50, 50, 120, 40}, true},
                                               {3, {50, 50, 200, 72}, std::nullopt},
                                               {-1, {50, 50, 200, 72}, false}};
    FormFill text;
    text.name = "tindra.texto";
    text.pageIndex = 0;
    text.rect = {72, 600, 80, 16};
    text.text = "Expediente 42";
    record.fills = {text};
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, record, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    const std::vector<SignatureCopy> expected{{2, {300, 120, 200, 70}, std::nullopt}};
    EXPECT_EQ(panel.signatures(), expected);
    EXPECT_TRUE(panel.touched());
    EXPECT_EQ(panel.certificatePopup()->currentIndex(), 1);
    EXPECT_TRUE(panel.showFullID());
    EXPECT_FALSE(panel.showBranding());
    ASSERT_EQ(panel.preview()->texts().size(), 1u);
    EXPECT_EQ(panel.preview()->texts()[0].text, "Expediente 42");
    EXPECT_EQ(panel.signButton()->text(), "Rellenar y firmar");
    // A certificate change leaves a restored card where it is.
    panel.certificatePopup()->setCurrentIndex(0);
    panel.certificateChanged();
    EXPECT_EQ(panel.signatures(), expected);
}

TEST_F(SigningPanelTest, TypingInANewTextBoxIsAddingThenWriting) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    PagesPreview& preview = *panel.preview();
    preview.onTextAdd(0, {100, 100});
    ASSERT_TRUE(panel.editorTarget());
    EXPECT_EQ(panel.editorTarget()->ids, std::vector<int>{100001});
    EXPECT_EQ(panel.editorTarget()->rect, (Rect{98, 92, 150, 16}));
    preview.onFieldEdit({100001}, "hola");
    EXPECT_EQ(panel.undoStack()->undoText(), "Añadir texto");
    preview.onFieldEdit({100001}, "hola, mundo");
    EXPECT_EQ(panel.undoStack()->undoText(), "Escribir");
    ASSERT_EQ(preview.texts().size(), 1u);
    EXPECT_EQ(preview.texts()[0].text, "hola, mundo");
    EXPECT_EQ(panel.signButton()->text(), "Rellenar y firmar");
    panel.undoStack()->undo();
    EXPECT_EQ(preview.texts()[0].text, "hola");
    panel.undoStack()->undo();
    EXPECT_TRUE(preview.texts().empty());
    EXPECT_EQ(panel.signButton()->text(), "Firmar");
    panel.undoStack()->redo();
    EXPECT_EQ(preview.texts()[0].text, "hola");

    // Moving and removing are undone the same way.
    preview.onTextWillChange();
    preview.onTextChange(100001, {300, 400}, 14);
    EXPECT_EQ(panel.undoStack()->undoText(), "Mover el texto");
    EXPECT_EQ(preview.texts()[0].rect.origin(), (Point{300, 400}));
    panel.undoStack()->undo();
    EXPECT_EQ(preview.texts()[0].rect.origin(), (Point{98, 92}));
    preview.onTextDelete(100001);
    EXPECT_EQ(panel.undoStack()->undoText(), "Quitar el texto");
    EXPECT_TRUE(preview.texts().empty());
    panel.undoStack()->undo();
    EXPECT_EQ(preview.texts().size(), 1u);
}

TEST_F(SigningPanelTest, UndoOfAMoveRestoresTheCopiesAndRedoMovesThemBack) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    ASSERT_EQ(panel.signatures().size(), 1u);
    EXPECT_FALSE(panel.touched());
    const std::vector<SignatureCopy> before = panel.signatures();
    std::vector<SignatureCopy> moved = before;
    moved[0].rect.x += 40;
    panel.preview()->onSignaturesWillChange("Mover la firma");
    panel.preview()->onSignaturesChange(moved);
    EXPECT_TRUE(panel.touched());
    EXPECT_EQ(panel.undoStack()->undoText(), "Mover la firma");
    panel.undoStack()->undo();
    EXPECT_EQ(panel.signatures(), before);
    EXPECT_FALSE(panel.touched());
    EXPECT_EQ(panel.preview()->signatures(), before);
    EXPECT_EQ(panel.undoStack()->redoText(), "Mover la firma");
    panel.undoStack()->redo();
    EXPECT_EQ(panel.signatures(), moved);
    EXPECT_TRUE(panel.touched());
}

TEST_F(SigningPanelTest, TwoFilesGiveTheSmallWindow) {
    const auto a = ctx.write("a.pdf", panelfixtures::plainPages(1));
    const auto b = ctx.write("b.pdf", panelfixtures::plainPages(1));
    SigningPanel panel(panelfixtures::certificates(), {a, b}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    EXPECT_EQ(panel.window()->size(), QSize(420, 420));
    EXPECT_EQ(panel.window()->windowTitle(), "Firmar 2 documentos");
    EXPECT_EQ(panel.headerTitle()->text(), "Firmar 2 documentos PDF");
    EXPECT_EQ(panel.preview(), nullptr);
    const auto items = panel.sidebarItems();
    EXPECT_EQ(std::count(items.begin(), items.end(), panel.modeControl()), 0);
    EXPECT_EQ(panel.modeNote()->text(),
              "Firma electrónica con tu certificado. Cada documento lleva la tarjeta en el hueco de "
              "firma que se encuentre o, si no hay, en la última página.");
}

TEST_F(SigningPanelTest, HandwritingWithoutAnImageOpensTheSheetAndItsCancelGoesBack) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    chooseMode(panel, 1);
    EXPECT_EQ(ctx.sheetRequests, 1);
    ASSERT_TRUE(ctx.sheetCompletion);
    ctx.sheetCompletion(false);
    EXPECT_EQ(panel.modeControl()->selected(), 0);
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::certificate);

    // Saved: the image arrives, then the mode follows.
    chooseMode(panel, 1);
    ctx.stored = panelfixtures::handwriting();
    emit ctx.notifier.changed();
    ctx.sheetCompletion(true);
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::handwriting);
    EXPECT_EQ(panel.handwritingButton()->text(), "Cambiar…");
    EXPECT_FALSE(panel.handwritingImage()->isHidden());
    EXPECT_TRUE(panel.preview()->look() && !panel.preview()->look()->isCard());
}

TEST_F(SigningPanelTest, ARefusedSheetPutsTheModeControlBackAtOnce) {
    ctx.sheetAccepts = false;  // another sheet is open (the profile pane's)
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    chooseMode(panel, 1);
    EXPECT_EQ(ctx.sheetRequests, 1);
    EXPECT_EQ(panel.modeControl()->selected(), 0);
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::certificate);
}

TEST_F(SigningPanelTest, RemovingTheImageInHandwritingSwitchesToNoSignature) {
    ctx.stored = panelfixtures::handwriting();
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    chooseMode(panel, 1);
    ASSERT_EQ(panel.mode(), SigningPanel::Mode::handwriting);
    ctx.stored.reset();
    emit ctx.notifier.changed();
    EXPECT_EQ(panel.mode(), SigningPanel::Mode::none);
    EXPECT_EQ(panel.modeControl()->selected(), 2);
    EXPECT_EQ(panel.preview()->tool(), PagesPreview::Tool::text);
    EXPECT_FALSE(panel.tools()->isSegmentEnabled(0));
}

TEST_F(SigningPanelTest, NoSignatureWithoutFillsIsADisabledSave) {
    SigningPanel panel(panelfixtures::certificates(), {ctx.write("x.pdf", panelfixtures::plainPages(2))},
                       std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    chooseMode(panel, 2);
    EXPECT_EQ(panel.signButton()->text(), "Guardar");
    EXPECT_FALSE(panel.signButton()->isEnabled());
    EXPECT_EQ(panel.signButton()->toolTip(), "Como «x-rellenado.pdf», junto al original");
    EXPECT_EQ(panel.modeNote()->text(), "Solo lo que escribas en el documento, sin firma.");
    // With a text box there is something to save.
    panel.preview()->onTextAdd(0, {100, 100});
    panel.preview()->onFieldEdit({100001}, "Recibido");
    EXPECT_TRUE(panel.signButton()->isEnabled());
}

TEST_F(SigningPanelTest, CopiesSurviveModeChanges) {
    ctx.stored = panelfixtures::handwriting();
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    const std::vector<SignatureCopy> copies = panel.signatures();
    ASSERT_EQ(copies.size(), 1u);
    chooseMode(panel, 1);
    EXPECT_EQ(panel.preview()->signatures(), copies);
    EXPECT_FALSE(panel.preview()->look()->isCard());
    EXPECT_EQ(panel.options().copies[0].handwritten, std::optional<bool>(true));
    EXPECT_EQ(panel.signButton()->text(), "Guardar");
    EXPECT_TRUE(panel.signButton()->isEnabled());
    chooseMode(panel, 2);
    chooseMode(panel, 0);
    EXPECT_EQ(panel.signatures(), copies);
    EXPECT_TRUE(panel.preview()->look()->isCard());
    EXPECT_EQ(panel.preview()->tool(), PagesPreview::Tool::signature);
}

TEST_F(SigningPanelTest, EscapeLeavesTheTextToolFirstThenCancelsOnce) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    Outcome outcome;
    begin(panel, outcome);
    panel.tools()->setSelected(1);
    panel.toolChanged();
    ASSERT_EQ(panel.preview()->tool(), PagesPreview::Tool::text);
    press(panel.preview(), Qt::Key_Escape);
    EXPECT_EQ(panel.preview()->tool(), PagesPreview::Tool::signature);
    EXPECT_EQ(panel.tools()->selected(), 0);
    EXPECT_TRUE(panel.window()->isVisible());
    EXPECT_EQ(outcome.calls, 0);
    press(panel.preview(), Qt::Key_Escape);
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.options);
    EXPECT_FALSE(panel.window()->isVisible());
    panel.window()->close();  // a close after the cancel calls nothing
    EXPECT_EQ(outcome.calls, 1);
}

// Typing in a new text box, the first Escape goes back to the "Firma" tool and the typed text
// stays in the open editor; Return then writes it into the box.
TEST_F(SigningPanelTest, EscapeInTheTextToolsEditorLeavesTheToolAndKeepsTheText) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    Outcome outcome;
    begin(panel, outcome);
    QApplication::processEvents();
    panel.tools()->setSelected(1);
    panel.toolChanged();
    PagesPreview& preview = *panel.preview();
    preview.onTextAdd(0, {100, 100});
    QLineEdit* editor = preview.inlineEditor();
    ASSERT_TRUE(editor);
    editor->insert(QStringLiteral("Expediente 12"));
    press(editor, Qt::Key_Escape);
    EXPECT_EQ(preview.tool(), PagesPreview::Tool::signature);
    EXPECT_EQ(panel.tools()->selected(), 0);
    ASSERT_EQ(preview.inlineEditor(), editor);
    EXPECT_EQ(editor->text(), "Expediente 12");
    press(editor, Qt::Key_Return);
    EXPECT_FALSE(preview.inlineEditor());
    ASSERT_TRUE(panel.textBoxes().hasText(TextBoxes::firstID));
    EXPECT_EQ(panel.options().fills.back().text, "Expediente 12");
    EXPECT_EQ(outcome.calls, 0);
}

TEST_F(SigningPanelTest, ReturnSignsFromTheWindowButNeverFromATextInput) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    Outcome outcome;
    begin(panel, outcome);
    auto* input = new QLineEdit(panel.window());
    input->show();
    input->setFocus();
    press(input, Qt::Key_Return);
    press(input, Qt::Key_Escape);
    EXPECT_EQ(outcome.calls, 0);
    panel.modeControl()->setFocus();
    press(panel.modeControl(), Qt::Key_Return);
    ASSERT_EQ(outcome.calls, 1);
    ASSERT_TRUE(outcome.options);
    EXPECT_TRUE(outcome.options->visible);
}

TEST_F(SigningPanelTest, ClosingTheWindowFinishesWithNothing) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    Outcome outcome;
    begin(panel, outcome);
    panel.window()->close();
    EXPECT_EQ(outcome.calls, 1);
    EXPECT_FALSE(outcome.options);
    panel.sign();
    EXPECT_EQ(outcome.calls, 1);
}

TEST_F(SigningPanelTest, ZoomItemsFollowThePreview) {
    SigningPanel panel(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    QAction in, out, fit, other;
    in.setObjectName("zoomInDocument");
    out.setObjectName("zoomOutDocument");
    fit.setObjectName("zoomToFitDocument");
    other.setObjectName("showSettings");
    EXPECT_TRUE(panel.validateMenuItem(in));
    EXPECT_FALSE(panel.validateMenuItem(out));
    EXPECT_FALSE(panel.validateMenuItem(fit));
    EXPECT_TRUE(panel.validateMenuItem(other));
    panel.perform(MenuAction::zoomInDocument);
    EXPECT_DOUBLE_EQ(panel.preview()->zoom(), 1.5);
    EXPECT_TRUE(panel.validateMenuItem(out));
    EXPECT_TRUE(panel.zoomFitButton()->isEnabled());
    panel.zoomToFitDocument();
    EXPECT_DOUBLE_EQ(panel.preview()->zoom(), 1);
    EXPECT_FALSE(panel.zoomOutButton()->isEnabled());

    const auto a = ctx.write("a.pdf", panelfixtures::plainPages(1));
    SigningPanel several(panelfixtures::certificates(), {a, a}, std::nullopt, std::nullopt, ctx.context);
    EXPECT_FALSE(several.validateMenuItem(in));
    EXPECT_TRUE(several.validateMenuItem(other));
}

TEST_F(SigningPanelTest, PageNavigationForLongDocuments) {
    SigningPanel panel(panelfixtures::certificates(), {pages(6)}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    // The proposal is on the last page, shown first.
    EXPECT_EQ(panel.preview()->currentPage(), 5);
    EXPECT_FALSE(panel.pageNavigation()->isHidden());
    EXPECT_EQ(panel.pageLabel()->text(), "Página 6 de 6");
    EXPECT_FALSE(panel.nextPageButton()->isEnabled());
    panel.showPreviousPage();
    EXPECT_EQ(panel.pageLabel()->text(), "Página 5 de 6");
    EXPECT_TRUE(panel.nextPageButton()->isEnabled());

    SigningPanel three(panelfixtures::certificates(), {threePages()}, std::nullopt, std::nullopt, ctx.context);
    EXPECT_TRUE(three.pageNavigation()->isHidden());
}

}  // namespace

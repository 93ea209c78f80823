// The signing window's size, title, header, notes and its screenshots in every mode.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include "PanelFixtures.h"
#include "ui/FloatingBar.h"
#include "ui/SegmentedControl.h"
#include "document/PagesPreview.h"
#include "document/formfill/FormFillController.h"
#include "document/PreviewDocument.h"
#include "document/SigningPanel.h"
#include "platform/Preferences.h"
#include "qtsupport/Screenshots.h"
#include "signing/SignatureLocator.h"
#include "forms/reader/FormUnit.h"

namespace {

using panelfixtures::Context;

TEST(SigningWindowSize, FollowsTheVisibleFrame) {
    EXPECT_EQ(SigningPanel::windowSize(true, QSize(1000, 700)), QSize(920, 644));
    EXPECT_EQ(SigningPanel::windowSize(true, QSize(900, 600)), QSize(900, 600));
    EXPECT_EQ(SigningPanel::windowSize(true, std::nullopt), QSize(1325, 828));  // 1324.8 x 828
    EXPECT_EQ(SigningPanel::windowSize(false, QSize(1000, 700)), QSize(420, 420));
    // Never larger than the frame, so the sign button stays on screen.
    EXPECT_EQ(SigningPanel::windowSize(true, QSize(800, 500)), QSize(800, 500));
}

class SigningWindowTest : public ::testing::Test {
protected:
    Context ctx;
};

TEST_F(SigningWindowTest, TheRememberedCertificateIsSelectedWhenItIsStillThere) {
    const auto file = ctx.write("x.pdf", panelfixtures::plainPages(1));
    Preferences::setLastCertificate(std::string(40, 'A'), ctx.defaults);
    SigningPanel missing(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    EXPECT_EQ(missing.certificatePopup()->currentIndex(), 0);
    Preferences::setLastCertificate(panelfixtures::certificates()[1].sha1, ctx.defaults);
    SigningPanel present(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    EXPECT_EQ(present.certificatePopup()->currentIndex(), 1);
    EXPECT_EQ(present.certificatePopup()->itemText(1),
              QString::fromStdString(panelfixtures::certificates()[1].name));
}

TEST_F(SigningWindowTest, SigningAgainNamesTheCopyToBeReplaced) {
    const auto file = ctx.write("x.pdf", panelfixtures::plainPages(1));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt,
                       std::string("x-firmado.pdf"), ctx.context);
    panelfixtures::waitForPlacements(panel);
    EXPECT_EQ(panel.headerTitle()->text(), "Volver a firmar «x.pdf»");
    EXPECT_EQ(panel.hint()->text(), "Al firmar, sustituirá a «x-firmado.pdf».");
    EXPECT_EQ(panel.window()->windowTitle(), "x.pdf");
    const auto items = panel.sidebarItems();
    EXPECT_EQ(items.back(), panel.hint());

    SigningPanel plain(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    EXPECT_EQ(plain.headerTitle()->text(), "Firmar «x.pdf»");
    const auto plainItems = plain.sidebarItems();
    EXPECT_EQ(std::count(plainItems.begin(), plainItems.end(), plain.hint()), 0);
}

// The notes keep their secondary grey in light and in dark, switched while the window is open.
TEST_F(SigningWindowTest, NotesFollowTheAppearance) {
    const auto file = ctx.write("x.pdf", panelfixtures::plainPages(1));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    auto noteColour = [&] { return panel.modeNote()->palette().color(QPalette::WindowText); };
    EXPECT_LT(noteColour().lightness(), 128);
    QPalette dark = panel.window()->palette();
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
    panel.window()->setPalette(dark);
    EXPECT_GT(noteColour().lightness(), 128);
    EXPECT_LT(noteColour().alphaF(), 1.0);
}

TEST_F(SigningWindowTest, DetailsGiveTheIssuerAndTheExpiryInSpanish) {
    using namespace std::chrono;
    const auto noon = sys_days{year{2027} / May / 4} + hours(12);
    const Certificate c = panelfixtures::certificate("EVA", "RUIZ SANZ", "11111111H",
                                                     time_point_cast<system_clock::duration>(noon));
    const auto file = ctx.write("x.pdf", panelfixtures::plainPages(1));
    SigningPanel panel({c}, {file}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    const QString expected = QString::fromStdString(c.issuer.empty() ? "" : c.issuer + " · ") +
                             "Caduca el 4 may 2027";
    EXPECT_EQ(panel.details()->text(), expected);
    panel.helpButton()->click();
    EXPECT_EQ(ctx.host.helpSections, std::vector<std::string>{"ventana"});
}

// --- Screenshots ----------------------------------------------------------------------------

void waitForPages(SigningPanel& panel) {
    QElapsedTimer timer;
    timer.start();
    QTest::qWait(50);
    while (panel.preview() && panel.preview()->tilesPending() && timer.elapsed() < 60000)
        QTest::qWait(20);
    if (panel.preview() && panel.preview()->tilesPending())
        ADD_FAILURE() << "The pages were not drawn within 60 s.";
    QTest::qWait(50);
}

// How many pixels of `rect` differ clearly from white.
int ink(const QImage& image, QRect rect) {
    int count = 0;
    rect = rect.intersected(image.rect());
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qGray(image.pixel(x, y)) < 200) ++count;
    return count;
}

// The first copy's rectangle in window coordinates (device pixels of the grab).
QRect copyInWindow(SigningPanel& panel, const QImage& image) {
    const auto frames = panel.preview()->geometry().signatureFrames();
    if (frames.empty()) return {};
    const QRectF widget = panel.preview()->toWidget(frames.front().box);
    const QPoint offset = panel.preview()->mapTo(panel.window(), QPoint(0, 0));
    const double scale = image.devicePixelRatio();
    const QRectF r = widget.translated(offset);
    return QRect(QPoint(int(r.left() * scale), int(r.top() * scale)),
                 QPoint(int(r.right() * scale), int(r.bottom() * scale)));
}

class SigningWindowScreenshots : public SigningWindowTest {
protected:
    std::filesystem::path file() { return ctx.write("solicitud.pdf", panelfixtures::threePages()); }
    void begin(SigningPanel& panel) {
        panel.begin([this](std::optional<SigningOptions>) { ++finished; });
        waitForPages(panel);
    }
    int finished = 0;
};

TEST_F(SigningWindowScreenshots, TheProposedCardOnTheInterestedPartysLine) {
    SigningPanel panel(panelfixtures::certificates(), {file()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    begin(panel);
    EXPECT_EQ(panel.window()->size(), QSize(1325, 828));
    auto document = PreviewDocument::open(panel.files().front());
    auto placements = SignatureLocator::placements(document->file(), document->pages());
    auto best = SignatureLocator::best(placements, &panelfixtures::certificates()[0]);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->pageIndex, 2);
    ASSERT_EQ(panel.signatures().size(), 1u);
    EXPECT_EQ(panel.signatures()[0].pageIndex, best->pageIndex);
    EXPECT_EQ(panel.signatures()[0].rect, best->rect);
    EXPECT_EQ(panel.signButton()->text(), "Firmar");
    EXPECT_EQ(panel.modeNote()->text(),
              "Firma electrónica con tu certificado. La tarjeta de la página lo dice.");
    const QImage image = Screenshots::save(*panel.window(), "signing-window-card");
    const QRect card = copyInWindow(panel, image);
    ASSERT_FALSE(card.isEmpty());
    EXPECT_GT(ink(image, card), card.width() * card.height() / 50);
    // The bars float over the preview.
    EXPECT_TRUE(panel.toolBar()->isVisible());
    EXPECT_TRUE(panel.pageBar()->isVisible());
    EXPECT_TRUE(panel.pageNavigation()->isHidden());
}

TEST_F(SigningWindowScreenshots, ATextBoxMakesItFillAndSign) {
    SigningPanel panel(panelfixtures::certificates(), {file()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    panel.preview()->onTextAdd(0, {80, 620});
    panel.preview()->onFieldEdit({TextBoxes::firstID}, "Expediente 2026/0142");
    panel.tools()->setSelected(1);
    panel.toolChanged();
    begin(panel);
    EXPECT_EQ(panel.signButton()->text(), "Rellenar y firmar");
    Screenshots::save(*panel.window(), "signing-window-text");
    EXPECT_EQ(panel.options().fills.size(), 1u);
}

TEST_F(SigningWindowScreenshots, HandwritingWithAStoredImage) {
    ctx.stored = panelfixtures::handwriting(180, 60);
    SigningPanel panel(panelfixtures::certificates(), {file()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    panel.modeControl()->setSelected(1);
    panel.modeChanged();
    begin(panel);
    EXPECT_EQ(panel.handwritingButton()->text(), "Cambiar…");
    EXPECT_EQ(panel.handwritingImage()->pixmap().height(), 40);
    EXPECT_EQ(panel.signButton()->text(), "Guardar");
    EXPECT_EQ(panel.signButton()->toolTip(), "Como «solicitud-rellenado.pdf», junto al original");
    const QImage image = Screenshots::save(*panel.window(), "signing-window-handwriting");
    const QRect copy = copyInWindow(panel, image);
    EXPECT_GT(ink(image, copy), 20);
}

TEST_F(SigningWindowScreenshots, NoSignature) {
    SigningPanel panel(panelfixtures::certificates(), {file()}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    panel.modeControl()->setSelected(2);
    panel.modeChanged();
    begin(panel);
    EXPECT_FALSE(panel.signButton()->isEnabled());
    EXPECT_TRUE(panel.certificatePopup()->isHidden());
    EXPECT_EQ(panel.tools()->selected(), 1);
    const QImage image = Screenshots::save(*panel.window(), "signing-window-none");
    const QRect copy = copyInWindow(panel, image);
    EXPECT_TRUE(copy.isEmpty());  // no look, no copy drawn
}

// The page bar of a long document: its label keeps the room of the longest page text whatever
// page shows, and the buttons that cannot act show their symbol faded.
TEST_F(SigningWindowScreenshots, ThePageBarOfALongDocument) {
    const auto file = ctx.write("largo.pdf", panelfixtures::plainPages(200));
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    // Shown on the first page while the search runs; the card then turns to the last.
    panel.begin([](std::optional<SigningOptions>) {});
    QLabel* label = panel.pageLabel();
    auto fits = [&] {
        QApplication::processEvents();
        return QFontMetrics(label->font()).horizontalAdvance(label->text()) <= label->width() &&
               label->sizeHint().width() <= label->width();
    };
    if (panel.searchingPlacements()) {
        EXPECT_EQ(label->text(), "Página 1 de 200");
        EXPECT_TRUE(fits());
    }
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    waitForPages(panel);
    ASSERT_EQ(panel.preview()->currentPage(), 199);  // the card's page: the last one
    EXPECT_EQ(label->text(), "Página 200 de 200");
    EXPECT_TRUE(fits());
    const int width = panel.pageBar()->width();
    panel.showPreviousPage();
    waitForPages(panel);
    EXPECT_EQ(label->text(), "Página 199 de 200");
    EXPECT_TRUE(fits());
    panel.preview()->setCurrentPage(0);
    EXPECT_TRUE(fits());
    EXPECT_EQ(panel.pageBar()->width(), width);  // the bar does not jump from page to page
    panel.preview()->setCurrentPage(199);
    waitForPages(panel);
    EXPECT_EQ(panel.pageBar()->width(), width);
    const QImage image = Screenshots::save(*panel.window(), "signing-window-200-pages");

    // On the last page at fitting zoom, "›" and "−" cannot act: their symbols are faded, where
    // "‹" and "+" show in full.
    auto strongest = [&](QToolButton* button) {
        const QPoint at = button->mapTo(panel.window(), QPoint(0, 0));
        const double scale = image.devicePixelRatio();
        const QRect r(int(at.x() * scale), int(at.y() * scale), int(button->width() * scale),
                      int(button->height() * scale));
        int best = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) best = std::max(best, qGray(image.pixel(x, y)));
        return best;
    };
    ASSERT_FALSE(panel.nextPageButton()->isEnabled());
    ASSERT_FALSE(panel.zoomOutButton()->isEnabled());
    ASSERT_TRUE(panel.previousPageButton()->isEnabled());
    ASSERT_TRUE(panel.zoomInButton()->isEnabled());
    EXPECT_GT(strongest(panel.previousPageButton()), 200);
    EXPECT_GT(strongest(panel.zoomInButton()), 200);
    EXPECT_LT(strongest(panel.nextPageButton()), strongest(panel.previousPageButton()) - 60);
    EXPECT_LT(strongest(panel.zoomOutButton()), strongest(panel.zoomInButton()) - 60);
}

// A one-page form of three text fields labelled address, telephone and e-mail, which an empty
// Mis datos cannot fill.
std::string contactForm() {
    fixtures::FixtureWriter w;
    w.object(1, "<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 5 0 R 6 0 R] >> >>");
    w.object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    w.object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Annots [4 0 R 5 0 R 6 0 R] >>");
    w.object(4, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (domicilio) /Rect [150 700 450 716] >>");
    w.object(5, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (telefono) /Rect [150 670 300 686] >>");
    w.object(6, "<< /Type /Annot /Subtype /Widget /FT /Tx /T (correo) /Rect [150 640 400 656] >>");
    return w.finishClassic("/Root 1 0 R");
}

// The signing window with the real form section over `contactForm()`, filling switched on.
class SigningWindowWithForm : public SigningWindowScreenshots {
protected:
    SigningWindowWithForm() {
        Preferences::setFillForms(true, ctx.defaults);
        ctx.context.labeller = [](const std::vector<FormUnit>& units, const std::string&,
                                  std::stop_token) {
            static const char* const keys[] = {"domicilio.completo", "contacto.telefono",
                                               "contacto.email"};
            Labels labels;
            for (std::size_t i = 0; i < units.size() && i < 3; ++i)
                labels[units[i].id()] = FieldLabel{keys[i], std::nullopt, 0.95};
            return FieldLabeler::Labelling(labels);
        };
        ctx.context.formSection = [](std::vector<FormField> fields, const std::string& name,
                                     const Certificate& c,
                                     DocumentContext& context) -> std::unique_ptr<FormSection> {
            return FormFillController::make(std::move(fields), name, c, context);
        };
    }
    FormFillController& section(SigningPanel& panel) {
        return *dynamic_cast<FormFillController*>(panel.form());
    }
    bool planned(SigningPanel& panel) {
        QElapsedTimer timer;
        timer.start();
        while (!section(panel).model().plan() && timer.elapsed() < 60000) QTest::qWait(10);
        return section(panel).model().plan().has_value();
    }
};

// Every line of a wrapping label shows: it is as high as its text needs at its width.
void expectWhole(const QLabel* label) {
    ASSERT_TRUE(label->isVisible());
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->text().toStdString();
}

// A long issuer wraps at the notes' width and leaves the sidebar its size; the form section's
// notes show all their lines.
TEST_F(SigningWindowWithForm, ALongIssuerWrapsAndTheFormNotesKeepTheirLines) {
    Certificate c = panelfixtures::certificates()[0];
    c.issuer = "AC FNMT Usuarios · Fábrica Nacional de Moneda y Timbre - Real Casa de la Moneda";
    const auto file = ctx.write("solicitud.pdf", contactForm());
    SigningPanel panel({c}, {file}, std::nullopt, std::nullopt, ctx.context);
    // Shown before the plan comes: the notes grow when it does.
    begin(panel);
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    ASSERT_TRUE(panel.form());
    ASSERT_TRUE(planned(panel)) << "The form was not planned within 60 s.";
    waitForPages(panel);
    const QImage image = Screenshots::save(*panel.window(), "signing-window-long-issuer");
    QLabel* details = panel.details();
    EXPECT_TRUE(details->text().endsWith(QStringLiteral("Caduca el ") +
                                         details->text().section(QStringLiteral("Caduca el "), 1)));
    EXPECT_LE(details->width(), 306);
    expectWhole(details);
    EXPECT_GT(details->height(), QFontMetrics(details->font()).lineSpacing() * 3 / 2);  // wrapped
    EXPECT_EQ(panel.sidebarItems().front()->parentWidget()->width(), 358);
    FormFillController& form = section(panel);
    EXPECT_EQ(form.missing()->text(), "Mis datos no tiene tu domicilio, tu teléfono ni tu correo.");
    expectWhole(form.missing());
    expectWhole(form.note());
    expectWhole(form.status());
    // Nothing of the sidebar runs past the notes' width.
    for (QWidget* item : panel.sidebarItems())
        EXPECT_LE(item->geometry().right() + 1, 26 + 306 + 1) << item->metaObject()->className();
    (void)image;
}

// The colours of a label's rich text, in order.
std::vector<QColor> richColours(const QLabel* label) {
    std::vector<QColor> colours;
    static const QRegularExpression colour(QStringLiteral("color:\\s*(#[0-9a-fA-F]{6,8})"));
    auto it = colour.globalMatch(label->text());
    while (it.hasNext()) colours.emplace_back(it.next().captured(1));
    return colours;
}

// Switched between light and dark while the window is open, the form section's grey texts take
// the new appearance's greys.
TEST_F(SigningWindowWithForm, TheFormsGreyTextsFollowALiveSwitchToDark) {
    const auto file = ctx.write("solicitud.pdf", contactForm());
    SigningPanel panel(panelfixtures::certificates(), {file}, std::nullopt, std::nullopt, ctx.context);
    ASSERT_TRUE(panelfixtures::waitForPlacements(panel));
    ASSERT_TRUE(panel.form());
    ASSERT_TRUE(planned(panel)) << "The form was not planned within 60 s.";
    begin(panel);
    FormFillController& form = section(panel);
    auto lightness = [](const QLabel* l) { return l->palette().color(QPalette::WindowText).lightness(); };
    ASSERT_FALSE(richColours(form.status()).empty());
    EXPECT_LT(lightness(form.missing()), 128);
    EXPECT_LT(lightness(form.note()), 128);
    EXPECT_LT(richColours(form.status()).back().lightness(), 128);  // "3 a tu cargo"

    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Window, QColor(40, 40, 42));
    dark.setColor(QPalette::WindowText, QColor(255, 255, 255));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, Qt::white);
    dark.setColor(QPalette::Button, QColor(70, 70, 72));
    dark.setColor(QPalette::ButtonText, Qt::white);
    QApplication::setPalette(dark);
    waitForPages(panel);
    const QImage image = Screenshots::save(*panel.window(), "signing-window-form-dark");
    const bool missingLight = lightness(form.missing()) > 128;
    const bool noteLight = lightness(form.note()) > 128;
    const std::vector<QColor> status = richColours(form.status());
    QApplication::setPalette(saved);
    EXPECT_TRUE(missingLight);
    EXPECT_TRUE(noteLight);
    ASSERT_FALSE(status.empty());
    EXPECT_GT(status.back().lightness(), 128);
    // On the dark sidebar the missing-data note reads light: some of its pixels are bright.
    const QPoint at = form.missing()->mapTo(panel.window(), QPoint(0, 0));
    const double scale = image.devicePixelRatio();
    int bright = 0;
    for (int y = 0; y < form.missing()->height(); ++y)
        for (int x = 0; x < form.missing()->width(); ++x)
            if (qGray(image.pixel(int((at.x() + x) * scale), int((at.y() + y) * scale))) > 120)
                ++bright;
    EXPECT_GT(bright, 20);
    // So does the "?" of the help button: the middle of its circle holds bright pixels.
    const QToolButton* help = panel.helpButton();
    ASSERT_NE(help, nullptr);
    const QPoint centre = help->mapTo(panel.window(), help->rect().center());
    int brightGlyph = 0;
    for (int y = -5; y <= 5; ++y)
        for (int x = -4; x <= 4; ++x)
            if (qGray(image.pixel(int((centre.x() + x) * scale), int((centre.y() + y) * scale))) > 160)
                ++brightGlyph;
    EXPECT_GT(brightGlyph, 5);
}

TEST_F(SigningWindowScreenshots, TwoDocuments) {
    const auto a = ctx.write("solicitud.pdf", panelfixtures::plainPages(1));
    const auto b = ctx.write("anexo.pdf", panelfixtures::plainPages(2));
    SigningPanel panel(panelfixtures::certificates(), {a, b}, std::nullopt, std::nullopt, ctx.context);
    panelfixtures::waitForPlacements(panel);
    begin(panel);
    const QImage image = Screenshots::save(*panel.window(), "signing-window-two");
    EXPECT_EQ(image.size() / image.devicePixelRatio(), QSize(420, 420));
    EXPECT_TRUE(panel.certificatePopup()->isVisible());
    EXPECT_TRUE(panel.signButton()->isVisible());
    const QRect sign = panel.signButton()->geometry().translated(
        panel.signButton()->parentWidget()->mapTo(panel.window(), QPoint(0, 0)));
    EXPECT_TRUE(QRect(0, 0, 420, 420).contains(sign));
    EXPECT_EQ(QRect(0, 0, 420, 420).right() - sign.right(), 26);
}

}  // namespace

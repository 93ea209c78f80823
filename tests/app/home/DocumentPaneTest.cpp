// The document pane over PDFs drawn with cairo.
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <gtest/gtest.h>

#include "qtsupport/Screenshots.h"

#include "HomeFixtures.h"
#include "app/DocumentPane.h"
#include "ui/FloatingBar.h"
#include "ui/PageViewer.h"

using namespace home;
using namespace std::chrono_literals;

namespace {

RecentSignature entry(World& world, const std::string& name, int pages, bool withOriginal = true) {
    world.sign(name, 1h, pages, withOriginal);
    return RecentSignatures::all(world.defaults).front();
}

struct Shown {
    explicit Shown(World& world) : pane(nullptr, &world.reveal) {
        pane.view()->resize(800, 600);
        pane.view()->show();
    }
    ~Shown() { pane.view()->hide(); }
    DocumentPane pane;
};

}  // namespace

TEST(DocumentPane, TheSignedLineIsShownWhole) {
    World world;
    world.sign("Solicitud de ayuda", 1h, 1, true, "María del Carmen Fernández-Villaverde García");
    Shown shown(world);
    DocumentPane& pane = shown.pane;
    pane.show(RecentSignatures::all(world.defaults).front());
    // The home window's content area at its narrowest, and wider.
    for (int width : {659, 900}) {
        pane.view()->resize(width, 600);
        settle();
        QLabel* detail = pane.detailLabel();
        const QString text = detail->text();
        ASSERT_TRUE(text.contains(QStringLiteral("de 202")));
        // The whole line at the label's width fits in the label, beside the buttons.
        const QRect needed = detail->fontMetrics().boundingRect(QRect(0, 0, detail->contentsRect().width(), 10000),
                                                                Qt::TextWordWrap, text);
        EXPECT_LE(needed.width(), detail->contentsRect().width()) << width;
        EXPECT_LE(needed.height(), detail->contentsRect().height()) << width;
        EXPECT_LE(detail->mapTo(pane.view(), QPoint(detail->width(), 0)).x(),
                  pane.reveal()->mapTo(pane.view(), QPoint(0, 0)).x())
            << width;
        EXPECT_LT(detail->mapTo(pane.view(), QPoint(0, detail->height())).y(),
                  pane.viewer().widget()->mapTo(pane.view(), QPoint(0, 0)).y() + 1)
            << width;
        Screenshots::save(*pane.view(), QStringLiteral("document-signed-line-%1").arg(width));
    }
}

TEST(DocumentPane, ShortDocumentHidesPageNavigation) {
    World world;
    Shown shown(world);
    DocumentPane& pane = shown.pane;
    pane.show(entry(world, "Solicitud", 2));
    settle();
    EXPECT_EQ(pane.viewer().pageCount(), 2);
    EXPECT_FALSE(pane.pageNavigation()->isVisible());
    EXPECT_TRUE(pane.pageBar()->isVisible());
    EXPECT_FALSE(pane.missing()->isVisible());
    EXPECT_EQ(pane.name()->text(), QStringLiteral("Solicitud-firmado.pdf"));
    // At zoom 1: out and fit disabled, in enabled.
    EXPECT_TRUE(pane.zoomIn()->isEnabled());
    EXPECT_FALSE(pane.zoomOut()->isEnabled());
    EXPECT_FALSE(pane.zoomFit()->isEnabled());
    EXPECT_EQ(pane.zoomIn()->accessibleName(), QStringLiteral("Ampliar"));
    EXPECT_EQ(pane.zoomFit()->text(), QStringLiteral("Ajustar"));
    // Up to the top of the range.
    for (int i = 0; i < 8; ++i) pane.zoomInPressed();
    EXPECT_DOUBLE_EQ(pane.viewer().zoom(), PageViewer::zoomRange.upperBound);
    EXPECT_FALSE(pane.zoomIn()->isEnabled());
    EXPECT_FALSE(pane.canZoomIn());
    EXPECT_TRUE(pane.zoomOut()->isEnabled());
    EXPECT_TRUE(pane.zoomFit()->isEnabled());
    pane.zoomFitPressed();
    EXPECT_DOUBLE_EQ(pane.viewer().zoom(), 1.0);
    // The bar floats 18 above the bottom of the pages, centred.
    const QRect bar = pane.pageBar()->geometry();
    const QRect pages = pane.viewer().widget()->geometry();
    EXPECT_EQ(pages.bottom() - bar.bottom(), 18);
    EXPECT_NEAR(bar.center().x(), pages.center().x(), 1);
}

TEST(DocumentPane, LongDocumentTurnsPages) {
    World world;
    Shown shown(world);
    DocumentPane& pane = shown.pane;
    pane.show(entry(world, "Contrato", 5));
    settle();
    EXPECT_TRUE(pane.pageNavigation()->isVisible());
    EXPECT_EQ(pane.pageLabel()->text(), QStringLiteral("Página 1 de 5"));
    EXPECT_FALSE(pane.previousPage()->isEnabled());
    EXPECT_TRUE(pane.nextPage()->isEnabled());
    pane.showPreviousPage();
    EXPECT_EQ(pane.viewer().currentPage(), 0);
    for (int i = 0; i < 6; ++i) pane.showNextPage();
    EXPECT_EQ(pane.pageLabel()->text(), QStringLiteral("Página 5 de 5"));
    EXPECT_TRUE(pane.previousPage()->isEnabled());
    EXPECT_FALSE(pane.nextPage()->isEnabled());
    // Showing another entry returns to the first page at zoom 1.
    pane.zoomInPressed();
    pane.show(entry(world, "Anexo", 4));
    EXPECT_EQ(pane.pageLabel()->text(), QStringLiteral("Página 1 de 4"));
    EXPECT_DOUBLE_EQ(pane.viewer().zoom(), 1.0);
}

TEST(DocumentPane, SignAgainButtonAndItsThreeTooltips) {
    World world;
    Shown shown(world);
    DocumentPane& pane = shown.pane;
    std::vector<std::string> again;
    pane.onSignAgain = [&again](const RecentSignature& item) { again.push_back(item.path); };

    RecentSignature item = entry(world, "Solicitud", 1);
    pane.show(item);
    EXPECT_TRUE(pane.edit()->isEnabled());
    EXPECT_EQ(pane.edit()->toolTip(),
              QStringLiteral("Abre «Solicitud.pdf» como lo firmaste, para cambiar los campos o la "
                             "firma y volver a firmarlo. Sustituye a este PDF."));
    pane.edit()->click();
    EXPECT_EQ(again, std::vector<std::string>{item.path});
    pane.reveal()->click();
    ASSERT_EQ(world.reveal.calls.size(), 1u);
    EXPECT_EQ(world.reveal.calls[0], std::vector<std::filesystem::path>{item.url()});

    // The original was deleted.
    std::filesystem::remove(*item.originalURL());
    pane.show(item);
    EXPECT_FALSE(pane.edit()->isEnabled());
    EXPECT_EQ(pane.edit()->toolTip(),
              QStringLiteral("No se encuentra el PDF original, «Solicitud.pdf»: puede que se haya "
                             "movido o borrado."));

    // Written before originals were recorded.
    item.original.reset();
    pane.show(item);
    EXPECT_FALSE(pane.edit()->isEnabled());
    EXPECT_EQ(pane.edit()->toolTip(),
              QStringLiteral("Firmado con una versión anterior de Tindra, que no guardaba de qué PDF salía."));
}

TEST(DocumentPane, MissingFileShowsTheNoteAndKeepsTheHeader) {
    World world;
    Shown shown(world);
    DocumentPane& pane = shown.pane;
    RecentSignature item = entry(world, "Solicitud", 5);
    std::filesystem::remove(item.url());
    pane.show(item);
    settle();
    EXPECT_TRUE(pane.missing()->isVisible());
    EXPECT_EQ(pane.missing()->text(),
              QStringLiteral("No se encuentra el documento: puede que se haya movido o borrado."));
    EXPECT_FALSE(pane.pageBar()->isVisible());
    EXPECT_EQ(pane.viewer().pageCount(), 0);
    EXPECT_LE(pane.missing()->width(), 360);
    EXPECT_NEAR(pane.missing()->geometry().center().x(), pane.viewer().widget()->geometry().center().x(), 1);
    EXPECT_NEAR(pane.missing()->geometry().center().y(), pane.viewer().widget()->geometry().center().y(), 1);
    EXPECT_EQ(pane.name()->text(), QStringLiteral("Solicitud-firmado.pdf"));
    EXPECT_TRUE(pane.edit()->isEnabled());  // the original is still there
    EXPECT_FALSE(pane.canZoomIn());
}

TEST(DocumentPane, NothingShownYet) {
    World world;
    DocumentPane pane(nullptr, &world.reveal);
    int calls = 0;
    pane.onSignAgain = [&calls](const RecentSignature&) { ++calls; };
    pane.signAgain();
    pane.revealFile();
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(world.reveal.calls.empty());
    EXPECT_FALSE(pane.canZoomIn());
    EXPECT_FALSE(pane.canZoomOut());
    EXPECT_FALSE(pane.canZoomToFit());
}

TEST(DocumentPane, DetailLine) {
    RecentSignature item;
    item.path = "/home/ana/Documentos/Solicitud-firmado.pdf";
    item.signer = "Ana Pérez";
    item.date = std::chrono::system_clock::time_point(std::chrono::seconds(1796817600));
    const QString detail = DocumentPane::detail(item);
    EXPECT_TRUE(detail.startsWith(QStringLiteral("Firmado por Ana Pérez · ")));
    EXPECT_TRUE(detail.contains(QStringLiteral("de diciembre de 2026")));
    EXPECT_TRUE(detail.contains(QLatin1Char(':')));  // the time
    EXPECT_TRUE(detail.endsWith(QStringLiteral(" · en Documentos")));
}

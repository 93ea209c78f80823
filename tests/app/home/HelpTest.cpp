// Help: the window, popovers, navigation, and the real page's sections and links.
#include <QFile>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QWindow>
#include <gtest/gtest.h>

#include "HomeFixtures.h"
#include "app/Help.h"
#include "ui/Brand.h"

using namespace home;

namespace {

using Calls = std::vector<std::pair<std::string, std::string>>;

const char* testPage = R"(<html><head><style>h2 { color: #008e9c; }</style></head><body>
<h1>Prueba</h1><p><a href="#ventana">A la ventana</a> <a href="tindra-ayuda:todo">Toda</a>
<a href="https://example.org/mas">Fuera</a></p>
<div id="ia"><h2>IA</h2><p>Solo la estructura.</p><div><p>Dentro</p></div></div>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
<div id="ventana"><h2>Ventana</h2><p>Certificado y modos.</p></div>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
<p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p><p>Relleno.</p>
</body></html>)";

struct HelpTest : ::testing::Test {
    void SetUp() override {
        Help::testing::reset();
        write(folder.path() / "ayuda.html", testPage);
        Help::page() = QUrl::fromLocalFile(QString::fromStdString((folder.path() / "ayuda.html").string()));
        Help::urls() = &urls;
        Help::testing::onScript() = [this](const std::string& f, const std::string& s) {
            calls.emplace_back(f, s);
        };
    }
    void TearDown() override { Help::testing::reset(); }

    testutil::TempDir folder;
    URLs urls;
    Calls calls;
};

}  // namespace

TEST_F(HelpTest, SectionAskedBeforeLoadingIsShownOnceLoaded) {
    Help::show("ia");
    ASSERT_NE(Help::testing::window(), nullptr);
    EXPECT_FALSE(Help::testing::loaded());
    EXPECT_EQ(Help::testing::pending(), std::optional<std::string>("ia"));
    EXPECT_TRUE(calls.empty());
    settle();
    EXPECT_TRUE(Help::testing::loaded());
    EXPECT_EQ(calls, (Calls{{"go", "ia"}}));
    EXPECT_FALSE(Help::testing::pending());
    QWidget* window = Help::testing::window();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Ayuda de Tindra"));
    EXPECT_EQ(window->size(), QSize(960, 700));
    EXPECT_EQ(window->minimumSize(), QSize(640, 400));
    EXPECT_TRUE(window->isVisible());
    EXPECT_NE(static_cast<QMainWindow*>(window)->menuBar(), nullptr);

    // Loaded: nothing more for no section; closing hides, and the same window goes at once.
    Help::show(std::nullopt);
    EXPECT_EQ(calls.size(), 1u);
    window->close();
    EXPECT_FALSE(window->isVisible());
    Help::show("ventana");
    EXPECT_EQ(Help::testing::window(), window);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(calls.back(), (std::pair<std::string, std::string>{"go", "ventana"}));
    // The section asked for is the one at the top of the view.
    QTextBrowser* browser = Help::testing::browser();
    const auto topBlockText = [browser] {
        QApplication::processEvents();
        return browser->cursorForPosition(QPoint(4, 4)).block().text();
    };
    EXPECT_GT(browser->verticalScrollBar()->value(), 0);
    EXPECT_EQ(topBlockText(), QStringLiteral("Ventana"));
    Help::show("ia");
    EXPECT_EQ(topBlockText(), QStringLiteral("IA"));
}

// Its menu bar's "Cerrar": Ctrl+W pressed on the shown window closes it.
TEST_F(HelpTest, CtrlWClosesTheShownWindow) {
    Help::show(std::nullopt);
    settle();
    QWidget* window = Help::testing::window();
    ASSERT_NE(window, nullptr);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    QTest::keyClick(QApplication::activeWindow(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(HelpTest, LaterCallWithoutSectionClearsThePendingOne) {
    Help::show("ia");
    Help::show("ia");
    Help::show(std::nullopt);
    settle();
    EXPECT_TRUE(Help::testing::loaded());
    EXPECT_TRUE(calls.empty());
}

TEST_F(HelpTest, WithoutThePageEverythingGoesOnline) {
    Help::page().reset();
    Help::show("ia");
    QPushButton anchor(QStringLiteral("?"));
    Help::pop("ventana", &anchor);
    Help::show(std::nullopt);
    ASSERT_EQ(urls.opened.size(), 3u);
    EXPECT_EQ(urls.opened[0], QUrl(QStringLiteral("https://tindra.calverin.es/ayuda/#ia")));
    EXPECT_EQ(urls.opened[1], QUrl(QStringLiteral("https://tindra.calverin.es/ayuda/#ventana")));
    EXPECT_EQ(urls.opened[2], Brand::help());
    EXPECT_EQ(Help::testing::window(), nullptr);
}

TEST_F(HelpTest, PopoverShowsOneSectionAndItsLinksLeadOut) {
    QWidget host;
    host.resize(600, 700);
    auto* anchor = new QPushButton(QStringLiteral("?"), &host);
    anchor->setGeometry(280, 600, 30, 24);
    host.show();
    Help::pop("ia", anchor);
    QPointer<QWidget> first = Help::testing::popover();
    ASSERT_NE(first.data(), nullptr);
    EXPECT_EQ(calls, (Calls{{"one", "ia"}}));
    QTextBrowser* web = Help::testing::popoverBrowser();
    EXPECT_EQ(web->size(), QSize(420, 480));
    const QString text = web->toPlainText();
    EXPECT_TRUE(text.contains(QStringLiteral("Solo la estructura.")));
    EXPECT_TRUE(text.contains(QStringLiteral("Dentro")));
    EXPECT_FALSE(text.contains(QStringLiteral("Certificado y modos.")));
    // Above the control when there is room.
    EXPECT_LT(first->geometry().bottom(), anchor->mapToGlobal(QPoint(0, 0)).y());

    // A second pop leaves only the second open.
    Help::pop("ventana", anchor);
    EXPECT_TRUE(!first || !first->isVisible());
    ASSERT_NE(Help::testing::popover(), nullptr);

    // An outside page opens in the browser and the view stays.
    const QUrl page = *Help::page();
    EXPECT_FALSE(Help::follow(QUrl(QStringLiteral("https://example.org/mas")), "ventana", true));
    ASSERT_EQ(urls.opened.size(), 1u);
    EXPECT_NE(Help::testing::popover(), nullptr);
    // The page's own section: the popover closes, the window opens there.
    QUrl section = page;
    section.setFragment(QStringLiteral("ia"));
    EXPECT_FALSE(Help::follow(section, "ventana", true));
    EXPECT_EQ(Help::testing::popover(), nullptr);
    ASSERT_NE(Help::testing::window(), nullptr);
    EXPECT_EQ(Help::testing::pending(), std::optional<std::string>("ia"));
    settle();
    EXPECT_EQ(calls.back(), (std::pair<std::string, std::string>{"go", "ia"}));
    // "tindra-ayuda:" from a popover: the window at the popover's section.
    Help::pop("ventana", anchor);
    EXPECT_FALSE(Help::follow(QUrl(QStringLiteral("tindra-ayuda:todo")), "ventana", false));
    EXPECT_EQ(Help::testing::popover(), nullptr);
    EXPECT_EQ(calls.back(), (std::pair<std::string, std::string>{"go", "ventana"}));
    // The page itself loads; from the window a section link navigates inside it.
    EXPECT_TRUE(Help::follow(page, std::nullopt, false));
    EXPECT_TRUE(Help::follow(section, std::nullopt, true));
    EXPECT_FALSE(Help::follow(QUrl(), std::nullopt, true));
}

TEST_F(HelpTest, PopoverGoesBelowWithoutRoomAbove) {
    QWidget host;
    host.resize(600, 300);
    host.move(0, 0);
    auto* anchor = new QPushButton(QStringLiteral("?"), &host);
    anchor->setGeometry(280, 10, 30, 24);
    host.show();
    Help::pop("ia", anchor);
    ASSERT_NE(Help::testing::popover(), nullptr);
    EXPECT_GT(Help::testing::popover()->geometry().top(), anchor->mapToGlobal(QPoint(0, 23)).y());
}

// The "?" button in a window's lower left corner: the popover opens above it, over its window
// (not pushed to the screen's edge past the window's side), as a window of that window.
TEST_F(HelpTest, PopoverStaysNextToItsButtonOverItsWindow) {
    QWidget host;
    host.setGeometry(57, 50, 700, 540);
    auto* anchor = new QPushButton(QStringLiteral("?"), &host);
    anchor->setGeometry(26, 500, 24, 24);
    host.show();
    Help::pop("ventana", anchor);
    QWidget* popover = Help::testing::popover();
    ASSERT_NE(popover, nullptr);
    const QRect frame = popover->geometry();
    const QRect button(anchor->mapToGlobal(QPoint(0, 0)), anchor->size());
    const QRect window = host.frameGeometry();
    EXPECT_LT(frame.bottom(), button.top());                      // above the button
    EXPECT_GE(frame.bottom(), button.top() - 10);                 // and close to it
    EXPECT_GE(frame.left(), window.left());                       // over its window
    EXPECT_LE(frame.left(), button.left());                       // reaching over the button
    EXPECT_GE(frame.right(), button.right());
    ASSERT_TRUE(popover->windowHandle());
    EXPECT_EQ(popover->windowHandle()->transientParent(), host.windowHandle());
}

TEST(HelpPage, EverySectionExistsAndEveryInternalLinkResolves) {
    QFile file(QStringLiteral(":/tindra/ayuda.html"));
    Help::testing::reset();  // registers the compiled-in page
    ASSERT_TRUE(Help::page().has_value());
    EXPECT_EQ(*Help::page(), QUrl(QStringLiteral("qrc:/tindra/ayuda.html")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(file.readAll());
    QSet<QString> ids;
    auto idMatches = QRegularExpression(QStringLiteral("\\bid=\"([^\"]+)\"")).globalMatch(html);
    while (idMatches.hasNext()) ids.insert(idMatches.next().captured(1));
    for (const char* section : {"empezar", "archivos", "ventana", "formularios", "misdatos",
                                "manuscrita", "certificados", "ia", "recientes", "terminal"}) {
        EXPECT_TRUE(ids.contains(QString::fromLatin1(section))) << section;
    }
    int links = 0;
    auto hrefs = QRegularExpression(QStringLiteral("href=\"#([^\"]*)\"")).globalMatch(html);
    while (hrefs.hasNext()) {
        const QString target = hrefs.next().captured(1);
        EXPECT_TRUE(ids.contains(target)) << target.toStdString();
        ++links;
    }
    EXPECT_GE(links, 10);
    // One section alone keeps the page's style and leaves the others out.
    const QString ia = Help::one(html, QStringLiteral("ia"));
    EXPECT_TRUE(ia.contains(QStringLiteral("OPENROUTER_API_KEY")));
    EXPECT_TRUE(ia.contains(QStringLiteral("<style>")));
    EXPECT_FALSE(ia.contains(QStringLiteral("pk12util")));
    EXPECT_TRUE(Help::one(html, QStringLiteral("nada")).isEmpty());
    // Words of this platform, not another's.
    EXPECT_FALSE(html.contains(QStringLiteral("Finder")));
    EXPECT_FALSE(html.contains(QStringLiteral("llavero")));
    Help::testing::reset();
}

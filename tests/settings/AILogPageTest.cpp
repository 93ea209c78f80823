// The AI call log page over a generated 50-call log, and the detail sheet.
#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTableView>
#include <QTest>

#include "ui/Palette.h"
#include "qtsupport/Screenshots.h"
#include "settings/AICallSheet.h"
#include "settings/AILogPage.h"
#include "settings/AILogTableModel.h"
#include "LogGenerator.h"

using namespace settingstest;

namespace {
const bool inMadrid = madrid();

struct LogPage : ::testing::Test {
    Context c;
    GeneratedLog generated = generateLog();
    std::unique_ptr<AILogPage> page;

    void SetUp() override {
        c.writeLog(generated.calls);
        page = std::make_unique<AILogPage>(nullptr, c.context);
        page->view()->resize(900, 640);
        page->reload();
    }
    QString cell(int row, int column, int role = Qt::DisplayRole) const {
        return page->model()->index(row, column).data(role).toString();
    }
    QColor colour(int row, int column) const {
        return page->model()->index(row, column).data(Qt::ForegroundRole).value<QColor>();
    }
};
}  // namespace

TEST_F(LogPage, RowsCellsColoursAndTooltips) {
    ASSERT_TRUE(inMadrid);
    ASSERT_EQ(generated.calls.size(), 50u);
    EXPECT_EQ(page->summary()->text().toStdString(), generated.line());
    EXPECT_EQ(page->model()->rowCount(), 50);
    EXPECT_TRUE(page->empty()->isHidden());
    EXPECT_FALSE(page->detailButton()->isEnabled());
    const QPalette palette = page->table()->palette();
    bool sawFailed = false, sawCostless = false, sawProvider = false;
    for (int row = 0; row < 50; ++row) {
        const AICall& call = generated.calls[static_cast<std::size_t>(row)];
        EXPECT_EQ(cell(row, AILogTableModel::form), QString::fromStdString(call.form));
        EXPECT_EQ(cell(row, AILogTableModel::form, Qt::ToolTipRole), QString::fromStdString(call.form));
        EXPECT_EQ(colour(row, AILogTableModel::model), Palette::secondaryLabel(palette));
        // Numbers with the Spanish decimal comma, as the money beside them.
        EXPECT_EQ(cell(row, AILogTableModel::time),
                  QLocale(QLocale::Spanish, QLocale::Spain).toString(call.seconds, 'f', 1) + QStringLiteral(" s"));
        if (call.result != "ok") {
            sawFailed = true;
            EXPECT_EQ(cell(row, AILogTableModel::tokens), "—");
            // The logged sentence keeps its case; only its first letter is a capital.
            EXPECT_TRUE(cell(row, AILogTableModel::cost) == "Error 500" ||
                        cell(row, AILogTableModel::cost) == "Sin conexión")
                << cell(row, AILogTableModel::cost).toStdString();
            EXPECT_EQ(colour(row, AILogTableModel::cost), Palette::red(palette));
            EXPECT_TRUE(cell(row, AILogTableModel::tokens, Qt::ToolTipRole).isEmpty());
        } else {
            EXPECT_EQ(colour(row, AILogTableModel::cost), Palette::label(palette));
            EXPECT_EQ(cell(row, AILogTableModel::tokens).toLongLong(),
                      call.inputTokens.value_or(0) + call.outputTokens.value_or(0));
            if (!call.cost) {
                sawCostless = true;
                EXPECT_EQ(cell(row, AILogTableModel::cost), "—");
            }
        }
        if (call.provider) {
            sawProvider = true;
            EXPECT_TRUE(cell(row, AILogTableModel::model, Qt::ToolTipRole).endsWith(
                "\nProveedor: " + QString::fromStdString(*call.provider)));
        }
        if (call.model == "vendor/jev-2-20250101") {
            EXPECT_EQ(cell(row, AILogTableModel::model), "jev-2");
        }
    }
    EXPECT_TRUE(sawFailed && sawCostless && sawProvider);
    EXPECT_EQ(page->model()->index(0, AILogTableModel::cost).data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight,
              Qt::AlignRight);
    EXPECT_EQ(page->model()->headerData(AILogTableModel::form, Qt::Horizontal).toString(), "Formulario");
}

TEST_F(LogPage, SelectionReloadAndDoubleClick) {
    page->view()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page->view()));
    QCoreApplication::processEvents();
    // The free width went to the form and model columns.
    QHeaderView* header = page->table()->horizontalHeader();
    EXPECT_GT(header->sectionSize(AILogTableModel::form), 120 + 12);
    EXPECT_EQ(header->sectionSize(AILogTableModel::cost), 92 + 12);

    page->table()->selectRow(2);
    EXPECT_TRUE(page->detailButton()->isEnabled());
    page->reload();
    EXPECT_FALSE(page->detailButton()->isEnabled());
    EXPECT_FALSE(page->table()->selectionModel()->hasSelection());

    page->table()->selectRow(0);
    const QRect cellRect = page->table()->visualRect(page->model()->index(5, AILogTableModel::form));
    ASSERT_FALSE(cellRect.isEmpty());
    QTest::mouseClick(page->table()->viewport(), Qt::LeftButton, {}, cellRect.center());
    page->table()->selectRow(0);
    QTest::mouseDClick(page->table()->viewport(), Qt::LeftButton, {}, cellRect.center());
    ASSERT_NE(page->sheet(), nullptr);
    EXPECT_EQ(page->sheet()->call(), generated.calls[5]);
    AICallSheet* sheet = page->sheet();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);

    // "Copiar" copies what the tab shows; Return presses "Cerrar".
    sheet->tabs()->setCurrentIndex(1);
    QTest::mouseClick(sheet->copyButton(), Qt::LeftButton);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), sheet->shown());
    EXPECT_EQ(sheet->textView()->toPlainText(), sheet->shown());
    QTest::keyClick(sheet->textView(), Qt::Key_Return);
    EXPECT_FALSE(sheet->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(page->sheet(), nullptr);
}

TEST_F(LogPage, EmptyLogAndReveal) {
    page->revealFile();
    ASSERT_EQ(c.reveal.revealed.size(), 1u);
    EXPECT_EQ(c.reveal.revealed[0], std::vector<std::filesystem::path>{c.context.ai.logPath});

    std::filesystem::remove(c.context.ai.logPath);
    page->reload();
    EXPECT_EQ(page->summary()->text(), "Sin consultas todavía.");
    EXPECT_FALSE(page->empty()->isHidden());
    EXPECT_EQ(page->model()->rowCount(), 0);
    EXPECT_FALSE(page->detailButton()->isEnabled());
    page->revealFile();
    ASSERT_EQ(c.urls.opened.size(), 1u);
    EXPECT_EQ(c.urls.opened[0], QUrl::fromLocalFile(QString::fromStdString(c.dir.path().string())));

    int backs = 0;
    page->onBack = [&] { ++backs; };
    QTest::mouseClick(page->backButton(), Qt::LeftButton);
    EXPECT_EQ(backs, 1);
}

TEST(CallSheet, ShownTexts) {
    AICall made = call(utc(2026, 6, 1, 8, 0), "F");
    made.request = R"({"z":1,"a":{"url":"https:\/\/a\/b","ñ":"sí"},"m":[1,2]})";
    const QString sent = AICallSheet::shown(made, true);
    EXPECT_TRUE(sent.contains("\"url\": \"https://a/b\"")) << sent.toStdString();
    EXPECT_LT(sent.indexOf("\"a\""), sent.indexOf("\"m\""));
    EXPECT_LT(sent.indexOf("\"m\""), sent.indexOf("\"z\""));
    EXPECT_TRUE(sent.contains("\"ñ\": \"sí\""));
    EXPECT_TRUE(sent.startsWith("{\n  \"a\": {"));

    made.response = "not json {";
    EXPECT_EQ(AICallSheet::shown(made, false), "not json {");
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    made.response = deep;
    EXPECT_EQ(AICallSheet::shown(made, false).size(), 200000);
    made.response = std::string("{\"a\":\"\xff\"}");
    EXPECT_FALSE(AICallSheet::prettyJSON(*made.response));

    made.request.reset();
    made.response.reset();
    EXPECT_EQ(AICallSheet::shown(made, true), "Esta consulta es de antes de que Tindra guardara lo que envía.");
    EXPECT_EQ(AICallSheet::shown(made, false), "Esta consulta es de antes de que Tindra guardara lo que recibe.");
    made.request = "{}";
    made.result = "sin conexión";
    EXPECT_EQ(AICallSheet::shown(made, false), "No llegó respuesta: sin conexión.");
    made.response = "";
    EXPECT_EQ(AICallSheet::shown(made, false), "No llegó respuesta: sin conexión.");
}

// A sheet without a menu bar: "Cerrar" (Ctrl+W) pressed on it closes it, as Escape does.
TEST(CallSheet, CtrlWAndEscapeCloseTheShownSheet) {
    const AICall made = call(utc(2026, 6, 1, 8, 0), "F");
    QWidget owner;
    owner.resize(900, 700);
    owner.show();
    for (const QKeyCombination keys : {QKeyCombination(Qt::ControlModifier, Qt::Key_W),
                                       QKeyCombination(Qt::NoModifier, Qt::Key_Escape)}) {
        SCOPED_TRACE(QKeySequence(keys).toString().toStdString());
        AICallSheet sheet(made, &owner);
        sheet.open();
        sheet.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
        QTest::keyClick(QApplication::activeWindow(), keys.key(), keys.keyboardModifiers());
        EXPECT_FALSE(sheet.isVisible());
        EXPECT_TRUE(owner.isVisible());
    }
}

TEST_F(LogPage, Screenshots) {
    page->view()->resize(860, 620);
    page->view()->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(page->view()));
    QCoreApplication::processEvents();
    page->table()->selectRow(1);
    const QImage image = Screenshots::save(*page->view(), "settings-log-page");
    EXPECT_EQ(image.size(), QSize(860, 620));
    EXPECT_TRUE(page->detailButton()->isEnabled());
    EXPECT_TRUE(page->revealButton()->isEnabled());
    EXPECT_TRUE(page->empty()->isHidden());
    EXPECT_EQ(page->revealButton()->text(), "Mostrar el fichero en la carpeta");

    // The sheet of a call with both texts, on both tabs.
    int row = 0;
    while (!generated.calls[static_cast<std::size_t>(row)].response) ++row;
    page->showDetail(row);
    AICallSheet* sheet = page->sheet();
    ASSERT_NE(sheet, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(sheet->size(), QSize(720, 560));
    EXPECT_TRUE(sheet->textView()->toPlainText().contains("\"model\": \"typesafe/jev-1.13\""));
    EXPECT_TRUE(sheet->subtitleLabel()->text().endsWith(" · correcta"));
    Screenshots::save(*sheet, "settings-log-sheet-sent");
    sheet->tabs()->setCurrentIndex(1);
    EXPECT_TRUE(sheet->textView()->toPlainText().contains("\"answers\""));
    Screenshots::save(*sheet, "settings-log-sheet-received");
    EXPECT_TRUE(sheet->closeButton()->isDefault());
    sheet->reject();
}

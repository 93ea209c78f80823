// The "Mis datos" pane over an in-memory secret store: analysis of pasted text, grouping and
// notes, the source highlight, saving, discarding and removing, the handwriting block, the
// store's refusals and the layout numbers. Screenshots go to $TINDRA_SCREENSHOTS.
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEnterEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ui/AlertPresenter.h"
#include "ui/Brand.h"
#include "ui/Palette.h"
#include "document/HandwritingStore.h"
#include "platform/MemorySecretStore.h"
#include "profile/ProfileStore.h"
#include "profilepane/FactRow.h"
#include "profilepane/ProfilePane.h"
#include "qtsupport/Screenshots.h"

namespace {

// The store's log lines go to a scratch folder, not to the user's log.
const bool scratchLog = [] {
    const auto folder = std::filesystem::temp_directory_path() / "tindra-profilepane-tests";
    std::filesystem::create_directories(folder);
    return setenv("XDG_STATE_HOME", folder.c_str(), 1) == 0;
}();

const QString worked = QStringLiteral(
    "Empresa de Pruebas SL\nC/ Mayor, 12 3º Dcha\n28013 Madrid\nNIF: B12345674\nTeléfono: 912 345 678");

struct Alerts : AlertPresenter {
    std::vector<Alert> shown;
    void show(const Alert& alert, QWidget*) override { shown.push_back(alert); }
};

SavedFact fact(std::string owner, std::string kind, std::string value, std::optional<std::string> subject = {}) {
    return {std::move(owner), std::move(kind), std::move(value), {}, std::move(subject),
            std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000))};
}

Certificate certificate(std::optional<std::string> idNumber, std::optional<std::string> organizationID) {
    Certificate c;
    c.name = "Prueba";
    c.holder = "Ana García";
    c.idNumber = std::move(idNumber);
    c.organizationID = std::move(organizationID);
    return c;
}

QByteArray pngOf(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(20, 30, 90), height / 12.0));
    QPainterPath path(QPointF(width * 0.05, height * 0.7));
    path.cubicTo(width * 0.3, -height * 0.2, width * 0.45, height * 1.2, width * 0.6, height * 0.4);
    path.cubicTo(width * 0.7, height * 0.1, width * 0.8, height * 0.9, width * 0.95, height * 0.3);
    painter.drawPath(path);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

std::string text(const QLabel* label) { return label ? label->text().toStdString() : std::string(); }

// The list as lines: "# HEADING", "## Group [note]", "[x] Kind: value {detail}", "[-] ..." for a
// saved row, "Firma: buttons (imagen)" and "> message".
std::vector<std::string> describe(ProfilePane& pane) {
    std::vector<std::string> lines;
    QVBoxLayout* layout = pane.listLayout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget* item = layout->itemAt(i)->widget();
        if (!item) continue;
        const QString name = item->objectName();
        if (name == "heading") {
            lines.push_back("# " + text(item->findChild<QLabel*>("headingTitle")));
        } else if (name == "group") {
            std::string line = "## " + text(item->findChild<QLabel*>("groupTitle"));
            if (auto* note = item->findChild<QLabel*>("groupNote")) line += " [" + text(note) + "]";
            lines.push_back(line);
        } else if (auto* row = qobject_cast<FactRow*>(item)) {
            std::string line = row->removeButton()->isHidden() ? (row->check()->isChecked() ? "[x] " : "[ ] ") : "[-] ";
            line += text(row->kind()) + ": " + text(row->value());
            if (!row->detail()->isHidden()) line += " {" + text(row->detail()) + "}";
            lines.push_back(line);
        } else if (name == "handwriting") {
            std::string line = "Firma:";
            for (auto* button : item->findChildren<QPushButton*>()) line += " " + button->text().toStdString();
            if (item->findChild<QLabel*>("handwritingImage")) line += " (imagen)";
            if (item->findChild<QLabel*>("headingSubtitle")) line += " (con nota)";
            lines.push_back(line);
        } else if (name == "message") {
            lines.push_back("> " + text(qobject_cast<QLabel*>(item)));
        } else {
            lines.push_back("? " + name.toStdString());
        }
    }
    return lines;
}

FactRow* rowOf(ProfilePane& pane, const QString& kind) {
    QVBoxLayout* layout = pane.listLayout();
    for (int i = 0; i < layout->count(); ++i) {
        if (auto* row = qobject_cast<FactRow*>(layout->itemAt(i)->widget()); row && row->kind()->text() == kind) {
            return row;
        }
    }
    return nullptr;
}

// A widget named `name` among the list's current items (replaced items linger until deleted).
template <typename T = QWidget>
T* current(ProfilePane& pane, const QString& name) {
    QVBoxLayout* layout = pane.listLayout();
    for (int i = 0; i < layout->count(); ++i) {
        QWidget* item = layout->itemAt(i)->widget();
        if (!item) continue;
        if (item->objectName() == name) return qobject_cast<T*>(item);
        if (T* inside = item->findChild<T*>(name)) return inside;
    }
    return nullptr;
}

void hover(QWidget* widget, bool inside) {
    if (inside) {
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)));
        QApplication::sendEvent(widget, &enter);
    } else {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(widget, &leave);
    }
}

void typeText(QWidget* widget, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

void pressReturn(QWidget* widget) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(widget, &press);
}

std::string storedData(MemorySecretStore& secrets) {
    auto it = secrets.items.find({ProfileStore::service(), ProfileStore::account});
    return it == secrets.items.end() ? std::string() : it->second.data;
}

struct PaneTest : ::testing::Test {
    MemorySecretStore secrets;
    Alerts alerts;
    std::vector<Certificate> certificates;
    std::unique_ptr<ProfilePane> pane;
    int sheets = 0;

    ProfilePane& make() {
        pane = std::make_unique<ProfilePane>(certificates, secrets, alerts);
        pane->setSheetPresenter([this](QWidget*, std::function<void(bool)>) {
            ++sheets;
            return true;
        });
        pane->view()->resize(1000, 700);
        return *pane;
    }
    void TearDown() override {
        pane.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void store(const std::vector<SavedFact>& facts) { ProfileStore::save(secrets, facts, {}); }
};

using Lines = std::vector<std::string>;

// --- Review and saving ------------------------------------------------------------------------------

TEST_F(PaneTest, WorkedExampleIsReviewedAndSaved) {
    certificates = {certificate("12345678Z", std::nullopt), certificate(std::nullopt, "B12345674")};
    ProfilePane& p = make();
    EXPECT_TRUE(p.footer()->isHidden());
    p.paste(worked);

    EXPECT_EQ(describe(p), (Lines{"# ENCONTRADO EN EL TEXTO",
                                  "## Empresa de Pruebas SL [Tu certificado de representante]",
                                  "[x] Razón social: Empresa de Pruebas SL",
                                  "[x] NIF: B12345674",
                                  "[x] Domicilio: C/ Mayor, 12 3º Dcha {C/ Mayor, 12 · 3º Dcha · 28013 Madrid}",
                                  "[x] Teléfono: 912 345 678"}));
    ASSERT_EQ(p.found().size(), 6u);  // the postcode and the town are found but not listed
    EXPECT_FALSE(p.footer()->isHidden());
    EXPECT_EQ(p.saveButton()->text(), "Guardar 6 datos");
    EXPECT_TRUE(p.placeholder()->isHidden());

    rowOf(p, "Teléfono")->check()->click();
    EXPECT_EQ(p.saveButton()->text(), "Guardar 5 datos");
    EXPECT_EQ(describe(p).back(), "[ ] Teléfono: 912 345 678");

    p.save();
    std::vector<std::string> kinds;
    for (const SavedFact& f : ProfileStore::facts(secrets)) {
        kinds.push_back(f.kind);
        EXPECT_EQ(f.subject, "B12345674");
    }
    EXPECT_EQ(kinds.size(), 5u);
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), "cp"), kinds.end());
    EXPECT_NE(std::find(kinds.begin(), kinds.end(), "municipio"), kinds.end());
    EXPECT_EQ(std::find(kinds.begin(), kinds.end(), "telefono"), kinds.end());
    EXPECT_TRUE(p.textView()->toPlainText().isEmpty());
    EXPECT_TRUE(p.found().empty());
    EXPECT_TRUE(p.footer()->isHidden());
    EXPECT_FALSE(p.placeholder()->isHidden());
    EXPECT_EQ(describe(p), (Lines{"Firma: Crear… (con nota)", "# TUS DATOS",
                                  "## Empresa de Pruebas SL [Tu certificado de representante]",
                                  "[-] Razón social: Empresa de Pruebas SL", "[-] NIF: B12345674",
                                  "[-] Domicilio: C/ Mayor, 12 3º Dcha {C/ Mayor, 12 · 3º Dcha · 28013 Madrid}"}));
}

// One value per kind and owner is kept: of two e-mails and two telephones the later ones are
// saved. The button counts what is saved, and a replaced row says which value takes its place.
TEST_F(PaneTest, ARowThatAnotherReplacesSaysSoAndIsNotCounted) {
    ProfilePane& p = make();
    p.paste(QStringLiteral("Empresa de Pruebas SL\nNIF: B12345674\nCorreo: info@pruebas.es\n"
                           "Correo: ventas@pruebas.es\nTeléfono: 912 345 678\nTeléfono: 913 000 111"));
    EXPECT_EQ(describe(p), (Lines{"# ENCONTRADO EN EL TEXTO", "## Empresa de Pruebas SL",
                                  "[x] Razón social: Empresa de Pruebas SL", "[x] NIF: B12345674",
                                  "[x] Correo electrónico: info@pruebas.es "
                                  "{Se guarda «ventas@pruebas.es» en su lugar}",
                                  "[x] Correo electrónico: ventas@pruebas.es",
                                  "[x] Teléfono: 912 345 678 {Se guarda «913 000 111» en su lugar}",
                                  "[x] Teléfono: 913 000 111"}));
    EXPECT_EQ(p.saveButton()->text(), "Guardar 4 datos");

    // Without the later e-mail, the first one is saved: its note goes, and the count stays.
    FactRow* later = nullptr;
    for (FactRow* row : p.list()->findChildren<FactRow*>())
        if (row->value()->text() == "ventas@pruebas.es") later = row;
    ASSERT_NE(later, nullptr);
    later->check()->click();
    EXPECT_EQ(describe(p).at(4), "[x] Correo electrónico: info@pruebas.es");
    EXPECT_EQ(p.saveButton()->text(), "Guardar 4 datos");

    p.save();
    std::vector<std::string> values;
    for (const SavedFact& f : ProfileStore::facts(secrets)) values.push_back(f.value);
    std::sort(values.begin(), values.end());
    EXPECT_EQ(values, (std::vector<std::string>{"913 000 111", "B12345674", "Empresa de Pruebas SL",
                                                "info@pruebas.es"}));
}

TEST_F(PaneTest, FooterCountsAndDiscardStoresNothing) {
    ProfilePane& p = make();
    p.paste(QStringLiteral("NIF: B12345674"));
    EXPECT_EQ(p.saveButton()->text(), "Guardar 1 dato");
    EXPECT_TRUE(p.saveButton()->isEnabled());
    rowOf(p, "NIF")->check()->click();
    EXPECT_EQ(p.saveButton()->text(), "Guardar 0 datos");
    EXPECT_FALSE(p.saveButton()->isEnabled());

    p.discard();
    EXPECT_TRUE(p.found().empty());
    EXPECT_TRUE(p.textView()->toPlainText().isEmpty());
    EXPECT_EQ(secrets.writes, 0);
    EXPECT_EQ(describe(p).front(), "Firma: Crear… (con nota)");
    EXPECT_EQ(describe(p).back().substr(0, 20), "> Aún no hay datos.");
}

TEST_F(PaneTest, TypingParsesOnceAQuarterSecondAfterTheLastKey) {
    ProfilePane& p = make();
    // When each key came and when each analysis ran, on one clock. A loaded machine may stretch a
    // pause between keys past the quarter second, and an analysis in that pause is then right:
    // what is checked is that every analysis comes a quarter second after the key before it, and
    // that the last key gives exactly one.
    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> keys;
    std::vector<qint64> analyses;
    QObject::connect(&p, &ProfilePane::analysed, [&] { analyses.push_back(clock.elapsed()); });
    for (const QString& key : {QStringLiteral("P"), QStringLiteral("e"), QStringLiteral("ñ"), QStringLiteral("a"),
                              QStringLiteral("1")}) {
        if (key != "P") QTest::qWait(30);
        keys.push_back(clock.elapsed());
        typeText(p.textView(), key);
    }
    EXPECT_EQ(p.textView()->toPlainText(), "Peña1");
    EXPECT_TRUE(p.placeholder()->isHidden());
    const auto sinceLastKey = [&] {
        return std::count_if(analyses.begin(), analyses.end(),
                             [&](qint64 at) { return at >= keys.back(); });
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return sinceLastKey() > 0; }, 60000))
        << "No analysis came within 60 s of the last key.";
    QTest::qWait(300);
    EXPECT_EQ(sinceLastKey(), 1);
    for (const qint64 at : analyses) {
        const auto after = std::upper_bound(keys.begin(), keys.end(), at);
        ASSERT_NE(after, keys.begin());
        EXPECT_GE(at - *std::prev(after), ProfilePane::debounceMilliseconds)
            << "an analysis " << at - *std::prev(after) << " ms after a key";
    }
}

TEST_F(PaneTest, ReturnSavesOutsideThePasteAreaOnly) {
    ProfilePane& p = make();
    p.paste(QStringLiteral("NIF: B12345674"));
    pressReturn(p.textView());
    EXPECT_EQ(p.textView()->toPlainText(), "\nNIF: B12345674");  // a line break at the cursor
    EXPECT_EQ(secrets.writes, 0);
    p.paste(QStringLiteral("NIF: B12345674"));
    pressReturn(rowOf(p, "NIF")->check());
    EXPECT_EQ(ProfileStore::facts(secrets).size(), 1u);
    EXPECT_TRUE(p.found().empty());
}

// --- Grouping and notes -----------------------------------------------------------------------------

TEST_F(PaneTest, PreviousValueShowsInOrange) {
    store({fact("empresa", "razon_social", "Antigua SL", "B12345674"),
           fact("empresa", "domicilio", "C/ Menor, 1", "B12345674")});
    ProfilePane& p = make();
    p.paste(worked);
    // Both lines, the address's parts first.
    EXPECT_EQ(rowOf(p, "Domicilio")->detail()->text(), "C/ Mayor, 12 · 3º Dcha · 28013 Madrid\nAntes: C/ Menor, 1");
    FactRow* row = rowOf(p, "Razón social");
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->detail()->text(), "Antes: Antigua SL");
    EXPECT_FALSE(row->detail()->isHidden());
    EXPECT_EQ(row->detail()->palette().color(QPalette::WindowText), Palette::orange(row->palette()));
    EXPECT_TRUE(rowOf(p, "NIF")->detail()->isHidden());
    // The saved list follows under "Ya guardados".
    EXPECT_EQ(describe(p).at(6), "# YA GUARDADOS");
}

TEST(ProfilePaneGroups, NotesTitlesAndOrder) {
    const std::vector<Certificate> certs = {certificate("12345678Z", std::nullopt),
                                            certificate(std::nullopt, "B12345674")};
    auto texts = [&](std::string owner, std::optional<std::string> subject, std::vector<SavedFact> facts = {}) {
        auto [title, note] = ProfilePane::groupTexts({std::move(owner), std::move(subject), std::move(facts)}, certs);
        return title.toStdString() + (note ? " [" + note->toStdString() + "]" : "");
    };
    EXPECT_EQ(texts("persona", "12345678Z", {fact("persona", "nombre_completo", "Ana García")}),
              "Ana García [tu certificado]");
    EXPECT_EQ(texts("representante", "12345678Z"), "Representante [Representante · tu certificado]");
    EXPECT_EQ(texts("representante", "00000000T"), "Representante [Representante]");
    EXPECT_EQ(texts("persona", std::nullopt), "Persona");
    EXPECT_EQ(texts("empresa", "B00000000"), "Empresa");
    EXPECT_EQ(texts("empresa", "B12345674"), "Empresa [Tu certificado de representante]");
    EXPECT_EQ(texts("texto", std::nullopt), "Textos [Para los campos de texto largo, tal cual]");

    const auto groups = ProfilePane::groups({fact("texto", "parrafo", "Uno"), fact("persona", "nif", "1", "A"),
                                             fact("empresa", "nif", "B", "B"), fact("persona", "nif", "2", "C"),
                                             fact("persona", "email", "a@b.es", "A")});
    ASSERT_EQ(groups.size(), 4u);
    EXPECT_EQ(groups[0].owner, "empresa");
    EXPECT_EQ(groups[1].subject, "A");
    EXPECT_EQ(groups[1].facts.size(), 2u);
    EXPECT_EQ(groups[2].subject, "C");
    EXPECT_EQ(groups[3].owner, "texto");

    // Kind order within a group; the postcode an address shows is left out.
    SavedFact address = fact("empresa", "domicilio_fiscal", "Calle Mayor, 5", "B");
    address.parts = {{"cp", "28013"}, {"municipio", "Madrid"}};
    std::vector<std::string> kinds;
    for (const SavedFact& f : ProfilePane::visible({address, fact("empresa", "nif", "B", "B"),
                                                    fact("empresa", "cp", "28013", "B"),
                                                    fact("empresa", "razon_social", "X SL", "B")})) {
        kinds.push_back(f.kind);
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"razon_social", "nif", "domicilio_fiscal"}));
}

TEST(ProfilePaneRows, LongValuesAreCut) {
    QString decomposed;
    for (int i = 0; i < 300; ++i) decomposed += QStringLiteral("e\u0301");  // 300 characters, 600 code units
    const QString shown = FactRow::shownValue(decomposed, true);
    EXPECT_EQ(shown.size(), 257 * 2 + 1);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_EQ(FactRow::shownValue(decomposed.left(520), true), decomposed.left(520));  // exactly 260
    EXPECT_EQ(FactRow::shownValue(decomposed, false), decomposed);
}

TEST_F(PaneTest, LongFreeTextRowAndSavedRowRemoval) {
    const std::string longText(300, 'x');
    store({fact("texto", "parrafo", longText), fact("empresa", "nif", "B12345674", "B12345674")});
    ProfilePane& p = make();
    EXPECT_EQ(describe(p).at(1), "# TUS DATOS");
    FactRow* textRow = rowOf(p, "Texto");
    ASSERT_NE(textRow, nullptr);
    EXPECT_EQ(textRow->value()->text(), QString(257, 'x') + QChar(0x2026));
    EXPECT_FALSE(textRow->removeButton()->isHidden());
    EXPECT_TRUE(textRow->check()->isHidden());
    EXPECT_EQ(textRow->removeButton()->toolTip(), "Quitar este dato");
    EXPECT_EQ(textRow->removeButton()->accessibleName(), "Quitar");

    textRow->removeButton()->click();
    EXPECT_EQ(rowOf(p, "Texto"), nullptr);
    EXPECT_EQ(ProfileStore::facts(secrets).size(), 1u);
    rowOf(p, "NIF")->removeButton()->click();
    EXPECT_TRUE(ProfileStore::facts(secrets).empty());
    const Lines lines = describe(p);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1],
              "> Aún no hay datos.\n\nPega a la izquierda los datos de tu empresa o los tuyos, tal como los tengas en "
              "una nota o un correo. Tindra los separa y te los enseña aquí antes de guardarlos.\n\nTu nombre y tu "
              "DNI ya los toma de tu certificado.");
}

// --- Highlight ------------------------------------------------------------------------------------

TEST_F(PaneTest, HoverMarksTheSourceWithoutTouchingTheText) {
    ProfilePane& p = make();
    QString text;
    for (int i = 0; i < 60; ++i) text += QStringLiteral("Línea sin datos %1\n").arg(i);
    text += worked;
    p.paste(text);
    QPlainTextEdit* edit = p.textView();
    edit->moveCursor(QTextCursor::Start);
    p.view()->show();
    QCoreApplication::processEvents();
    const int cursorBefore = edit->textCursor().position();
    const bool undoBefore = edit->document()->isUndoAvailable();

    FactRow* row = rowOf(p, "Domicilio");
    ASSERT_NE(row, nullptr);
    const TextRange range = std::find_if(p.found().begin(), p.found().end(), [](const ProfilePane::Found& f) {
                                return f.fact.kind == "domicilio";
                            })->range;
    hover(row, true);
    const auto marks = edit->extraSelections();
    ASSERT_EQ(marks.size(), 1);
    EXPECT_EQ(static_cast<size_t>(marks[0].cursor.selectionStart()), range.start);
    EXPECT_EQ(static_cast<size_t>(marks[0].cursor.selectionEnd()), range.end);
    EXPECT_EQ(marks[0].format.background().color().alphaF(), Palette::withAlpha(Qt::yellow, 0.35).alphaF());
    EXPECT_GT(edit->verticalScrollBar()->value(), 0);  // scrolled down to the mark
    EXPECT_TRUE(edit->viewport()->rect().contains(edit->cursorRect(marks[0].cursor)));
    EXPECT_EQ(edit->toPlainText(), text);
    EXPECT_EQ(edit->textCursor().position(), cursorBefore);
    EXPECT_EQ(edit->document()->isUndoAvailable(), undoBefore);

    hover(row, false);
    EXPECT_TRUE(edit->extraSelections().isEmpty());

    // The text got shorter since the analysis: nothing is marked.
    edit->setPlainText(QStringLiteral("NIF"));
    hover(row, true);
    EXPECT_TRUE(edit->extraSelections().isEmpty());
}

// --- Handwriting ------------------------------------------------------------------------------------

TEST_F(PaneTest, HandwritingBlockStatesAndVisibility) {
    ProfilePane& p = make();
    EXPECT_EQ(describe(p).at(0), "Firma: Crear… (con nota)");
    current<QPushButton>(p, "changeHandwriting")->click();
    EXPECT_EQ(sheets, 1);

    HandwritingStore::save(secrets, pngOf(600, 150));  // announced: the pane reloads
    EXPECT_EQ(describe(p).at(0), "Firma: Cambiar… Quitar (imagen)");
    auto* image = current<QLabel>(p, "handwritingImage");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->pixmap().size(), QSize(192, 48));  // scaled down to fit 220 by 48
    HandwritingStore::save(secrets, pngOf(100, 20));
    EXPECT_EQ(current<QLabel>(p, "handwritingImage")->pixmap().size(), QSize(100, 20));  // never up

    p.paste(worked);
    EXPECT_EQ(current(p, "handwriting"), nullptr);
    p.discard();
    EXPECT_EQ(describe(p).at(0), "Firma: Cambiar… Quitar (imagen)");

    current<QPushButton>(p, "removeHandwriting")->click();
    EXPECT_EQ(describe(p).at(0), "Firma: Crear… (con nota)");

    secrets.write(HandwritingStore::service(), HandwritingStore::account, "x", "esto no es una imagen");
    p.activate();
    EXPECT_EQ(describe(p).at(0), "Firma: Cambiar…");
}

// --- The store's refusals ---------------------------------------------------------------------------

TEST_F(PaneTest, WriteFaultKeepsTheReview) {
    ProfilePane& p = make();
    p.paste(worked);
    secrets.writeFault = MemorySecretStore::Fault::failed;
    const Lines before = describe(p);
    p.save();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].title, "No se han podido guardar tus datos en el depósito de claves.");
    EXPECT_EQ(p.textView()->toPlainText(), worked);
    EXPECT_EQ(p.found().size(), 6u);
    EXPECT_EQ(describe(p), before);
    EXPECT_FALSE(p.footer()->isHidden());
}

TEST_F(PaneTest, UnreadableStoreSaysSoAndIsNeverOverwritten) {
    secrets.write(ProfileStore::service(), ProfileStore::account, ProfileStore::label, "{no es una lista");
    const std::string damaged = storedData(secrets);
    ProfilePane& p = make();
    const std::string sentence = ProfilePane::unreadableMessage(ProfileStore::Loaded::Status::undecodable).toStdString();
    EXPECT_EQ(sentence,
              "Tus datos guardados en el depósito de claves están dañados y no se pueden leer; no se ha cambiado "
              "nada para no perderlos.");
    EXPECT_EQ(describe(p), (Lines{"Firma: Crear… (con nota)", "# TUS DATOS", "> " + sentence}));

    p.paste(worked);
    EXPECT_EQ(describe(p).back(), "> " + sentence);
    p.save();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].title.toStdString(), sentence);
    EXPECT_EQ(storedData(secrets), damaged);
    EXPECT_EQ(p.found().size(), 6u);

    secrets.readFault = MemorySecretStore::Fault::failed;
    p.discard();
    EXPECT_EQ(describe(p).back(),
              "> " + ProfilePane::unreadableMessage(ProfileStore::Loaded::Status::unreadable).toStdString());
    EXPECT_NE(describe(p).back().find("desbloquea"), std::string::npos);
}

TEST_F(PaneTest, RemoveFaultShowsTheSentenceAndKeepsTheRow) {
    store({fact("empresa", "nif", "B12345674", "B12345674")});
    ProfilePane& p = make();
    secrets.writeFault = MemorySecretStore::Fault::failed;
    rowOf(p, "NIF")->removeButton()->click();
    ASSERT_EQ(alerts.shown.size(), 1u);
    EXPECT_EQ(alerts.shown[0].title, "No se han podido guardar tus datos en el depósito de claves.");
    EXPECT_NE(rowOf(p, "NIF"), nullptr);
}

// --- Layout and screenshots -------------------------------------------------------------------------

TEST_F(PaneTest, CardWidths) {
    EXPECT_EQ(ProfilePane::cardWidths(1000), std::make_pair(420, 490));
    EXPECT_EQ(ProfilePane::cardWidths(700), std::make_pair(300, 310));
    // Narrower than two cards of 300 (the home window at its smallest), they share the width.
    EXPECT_EQ(ProfilePane::cardWidths(659), std::make_pair(284, 285));
    EXPECT_EQ(ProfilePane::minimumWidth, 610);
    ProfilePane& p = make();
    for (auto [width, left, right] : {std::tuple{1000, 420, 490}, std::tuple{700, 300, 310}}) {
        p.view()->resize(width, 640);
        p.view()->show();
        QCoreApplication::processEvents();
        EXPECT_EQ(p.leftCard()->width(), left);
        EXPECT_EQ(p.rightCard()->width(), right);
        EXPECT_EQ(p.leftCard()->mapTo(p.view(), QPoint(0, 0)).x(), 36);
        EXPECT_EQ(p.rightCard()->mapTo(p.view(), QPoint(0, 0)).x() + right, width - 36);
    }
    EXPECT_EQ(p.view()->minimumWidth(), 610);
}

// Every label of the list shows its text whole: a one-line label is wide enough for it or says
// it whole in its tooltip; a wrapping one is tall enough for its lines, none wider than it; and
// each lies inside the list's visible width.
void expectNothingClipped(ProfilePane& p) {
    QWidget* viewport = p.list()->parentWidget()->parentWidget();
    const int right = viewport->mapTo(p.view(), QPoint(viewport->width(), 0)).x();
    for (QLabel* label : p.list()->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(p.view()) || label->text().isEmpty() || !label->pixmap().isNull()) continue;
        const QString text = label->text();
        const QFontMetrics metrics = label->fontMetrics();
        const QRect area = label->contentsRect();
        if (label->wordWrap()) {
            const QRect needed = metrics.boundingRect(QRect(0, 0, area.width(), 100000), Qt::TextWordWrap, text);
            EXPECT_LE(needed.height(), area.height()) << text.toStdString();
            for (const QString& word : text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)) {
                if (metrics.horizontalAdvance(word) > area.width()) {
                    EXPECT_EQ(label->toolTip(), text) << word.toStdString();
                }
            }
        } else if (metrics.horizontalAdvance(text.split(QLatin1Char('\n')).first()) > area.width()) {
            EXPECT_EQ(label->toolTip(), text) << text.toStdString();
        }
        EXPECT_LE(label->mapTo(p.view(), QPoint(label->width(), 0)).x(), right) << text.toStdString();
    }
}

TEST_F(PaneTest, FitsTheSmallestWindowWithoutCutting) {
    // The home window's content at its minimum size.
    constexpr int width = 659, height = 548;
    ProfilePane& p = make();
    p.view()->resize(width, height);
    p.view()->show();
    QCoreApplication::processEvents();
    EXPECT_LE(p.view()->minimumSizeHint().width(), width);
    EXPECT_LE(p.view()->minimumWidth(), width);
    p.paste(QStringLiteral(
        "D. Juan Pérez García, con DNI 12345678Z, en nombre y representación de Construcciones y Reformas "
        "Integrales del Río Tajo, S.L., con domicilio social en Calle Mayor 5, 28013 Madrid, en su calidad de "
        "administrador único\n"
        "Fecha de nacimiento: 01/01/1980\n"
        "Correo: administracion.general@construccionesyreformasdelriotajo.es\n"
        "Fecha de constitución: 12/03/2004\n"
        "B12345674\n"));
    QCoreApplication::processEvents();
    p.view()->resize(width, height);
    QCoreApplication::processEvents();
    // Both cards inside the pane, 36 from its edges.
    EXPECT_EQ(p.leftCard()->mapTo(p.view(), QPoint(0, 0)).x(), 36);
    EXPECT_LE(p.rightCard()->mapTo(p.view(), QPoint(p.rightCard()->width(), 0)).x(), width - 36);
    EXPECT_LE(p.rightCard()->mapTo(p.view(), QPoint(0, p.rightCard()->height())).y(), height);
    expectNothingClipped(p);
    Screenshots::save(*p.view(), "profile-pane-minimum-reviewing");
    p.save();
    QCoreApplication::processEvents();
    expectNothingClipped(p);
    Screenshots::save(*p.view(), "profile-pane-minimum-saved");
}

// The ink of a label's text as it paints at its size: the sum of the alpha of every pixel.
double inkOf(QLabel& label) {
    QImage image(label.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    double ink = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ink += qAlpha(image.pixel(x, y));
    return ink;
}

TEST_F(PaneTest, TheExampleWrapsWholeInTheSmallestWindow) {
    constexpr int width = 659, height = 548;
    ProfilePane& p = make();
    p.view()->resize(width, height);
    p.view()->show();
    QCoreApplication::processEvents();
    QLabel& example = *p.placeholder();
    ASSERT_TRUE(example.isVisibleTo(p.view()));
    Screenshots::save(*p.view(), "profile-pane-minimum-idle");
    // Inside the paste area, and painting as much text as it does where every line has room.
    const QRect area = p.textView()->rect();
    EXPECT_TRUE(area.contains(example.geometry())) << "El ejemplo sale de la zona de pegar.";
    const double shown = inkOf(example);
    const QSize size = example.size();
    example.resize(4000, 2000);
    const double whole = inkOf(example);
    example.resize(size);
    EXPECT_GT(shown, 0.98 * whole) << "El ejemplo se corta: pinta " << shown << " de " << whole << ".";
}

TEST_F(PaneTest, FollowsTheAppearance) {
    ProfilePane& p = make();
    QPalette dark = p.view()->palette();
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    p.view()->setPalette(dark);
    EXPECT_TRUE(p.textView()->styleSheet().contains(Brand::canvas.dark.name()));
    EXPECT_EQ(current<QLabel>(p, "message")->palette().color(QPalette::WindowText), Palette::secondaryLabel(dark));
}

TEST_F(PaneTest, ActivateGivesThePasteAreaTheFocus) {
    ProfilePane& p = make();
    p.view()->show();
    QApplication::setActiveWindow(p.view());
    p.activate();
    EXPECT_EQ(p.view()->focusWidget(), p.textView());
}

int yellowishPixels(const QImage& image) {
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 225 && c.green() > 200 && c.blue() < 190) ++count;
        }
    }
    return count;
}

TEST_F(PaneTest, Screenshots) {
    // Idle, with saved facts and a handwritten signature.
    HandwritingStore::save(secrets, pngOf(600, 150));
    store({fact("empresa", "razon_social", "Empresa de Pruebas SL", "B12345674"),
           fact("empresa", "nif", "B12345674", "B12345674"),
           fact("persona", "nombre_completo", "Ana García López", "12345678Z"),
           fact("persona", "nif", "12345678Z", "12345678Z"),
           fact("persona", "email", "ana.garcia@empresadepruebas.es", "12345678Z"),
           fact("texto", "parrafo", "Empresa dedicada a la consultoría informática desde 2009.")});
    certificates = {certificate("12345678Z", std::nullopt)};
    ProfilePane& p = make();
    p.view()->resize(1000, 700);
    p.view()->show();
    QCoreApplication::processEvents();
    const QImage idle = Screenshots::save(*p.view(), "profile-pane-idle");
    EXPECT_EQ(idle.width(), 1000);
    EXPECT_FALSE(p.placeholder()->isHidden());

    // Reviewing the worked example with the address row hovered.
    p.paste(worked);
    QCoreApplication::processEvents();
    FactRow* row = rowOf(p, "Domicilio");
    ASSERT_NE(row, nullptr);
    const int before = yellowishPixels(Screenshots::grab(*p.textView()));
    hover(row, true);
    const QImage reviewing = Screenshots::save(*p.view(), "profile-pane-reviewing");
    EXPECT_GT(yellowishPixels(Screenshots::grab(*p.textView())), before + 100);
    hover(row, false);

    // Empty.
    p.discard();
    HandwritingStore::remove(secrets);
    secrets.items.clear();
    p.activate();
    QCoreApplication::processEvents();
    Screenshots::save(*p.view(), "profile-pane-empty");
    EXPECT_EQ(describe(p).back().substr(0, 20), "> Aún no hay datos.");

    // A stored list that cannot be decoded.
    secrets.write(ProfileStore::service(), ProfileStore::account, ProfileStore::label, "[{\"owner\":1}]");
    p.activate();
    QCoreApplication::processEvents();
    Screenshots::save(*p.view(), "profile-pane-undecodable");
    EXPECT_NE(describe(p).back().find("dañados"), std::string::npos);
}

}  // namespace

// The real presenters: Qt's message box and file dialog, the desktop's URL handler and the file
// manager over D-Bus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <vector>

#include "ui/AlertPresenter.h"
#include "ui/Brand.h"
#include "ui/FilePanelPresenter.h"
#include "ui/RevealPresenter.h"
#include "ui/URLPresenter.h"

// Alerts.

namespace {

class SystemAlerts : public AlertPresenter {
public:
    void show(const Alert& alert, QWidget* parent) override {
        QMessageBox* box = makeBox(alert, parent);
        box->exec();
        delete box;
    }
};

// The explanation's widest line, in pixels: a long word (a file name) widens it up to here and is
// broken past it.
constexpr int maxTextWidth = 560;

// Where a line may break inside a word.
constexpr QChar zeroWidthSpace(0x200B);

// The width of the widest run of text that the label cannot break.
int widestWord(const QString& text, const QFontMetrics& metrics) {
    int widest = 0;
    static const QRegularExpression breaks(QStringLiteral("[\\s\\x{200B}]+"));
    for (const QString& word : text.split(breaks, Qt::SkipEmptyParts))
        widest = std::max(widest, metrics.horizontalAdvance(word));
    return widest;
}

// The label wraps at word boundaries only and cuts a word wider than its line at the edge: such
// words get a break opportunity after each character.
QString breakableLongWords(const QString& text, const QFontMetrics& metrics, int width) {
    QString result;
    result.reserve(text.size());
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && !text[end].isSpace()) ++end;
        const QString word = text.mid(start, end - start);
        if (metrics.horizontalAdvance(word) <= width) {
            result += word;
        } else {
            for (qsizetype i = 0; i < word.size(); ++i) {
                result += word[i];
                const bool pairContinues = word[i].isHighSurrogate() && i + 1 < word.size();
                if (!pairContinues && i + 1 < word.size()) result += zeroWidthSpace;
            }
        }
        while (end < text.size() && text[end].isSpace()) result += text[end++];
        start = end;
    }
    return result;
}

}  // namespace

AlertPresenter& AlertPresenter::system() {
    static SystemAlerts alerts;
    return alerts;
}

QMessageBox* AlertPresenter::makeBox(const Alert& alert, QWidget* parent) {
    auto* box = new QMessageBox(parent);
    switch (alert.style) {
        case Style::information: box->setIcon(QMessageBox::Information); break;
        case Style::warning: box->setIcon(QMessageBox::Warning); break;
        case Style::critical: box->setIcon(QMessageBox::Critical); break;
    }
    box->setWindowTitle(Brand::name);
    // Texts name files, and a file name is no markup.
    box->setTextFormat(Qt::PlainText);
    box->setText(alert.title);
    box->setInformativeText(alert.text);
    int width = 320;
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"))) {
        label->setTextFormat(Qt::PlainText);
        const QString shown = breakableLongWords(alert.text, label->fontMetrics(), maxTextWidth);
        if (shown != alert.text) box->setInformativeText(shown);
        width = std::clamp(widestWord(shown, label->fontMetrics()), width, maxTextWidth);
    }
    // The message in bold above its explanation, wide enough to read as a paragraph and for its
    // longest word.
    box->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { font-weight: bold; }"
                                      "QLabel#qt_msgbox_informativelabel { min-width: %1px; }")
                           .arg(width));
    QPushButton* button = box->addButton(alert.button, QMessageBox::AcceptRole);
    box->setDefaultButton(button);
    box->setEscapeButton(button);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    return box;
}

// Open panels.

namespace {

class SystemFilePanels : public FilePanelPresenter {
public:
    void open(const Options& options, QWidget* parent, Completion done) override {
        if (dialog_) dialog_->reject();
        QFileDialog* dialog = makeDialog(options, parent);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog_ = dialog;
        QObject::connect(dialog, &QFileDialog::finished, dialog,
                         [dialog, done = std::move(done)](int result) {
                             std::optional<std::vector<std::filesystem::path>> chosen;
                             if (result == QDialog::Accepted) {
                                 chosen.emplace();
                                 for (const QString& file : dialog->selectedFiles()) {
                                     chosen->emplace_back(file.toStdString());
                                 }
                             }
                             if (done) done(std::move(chosen));
                         });
        if (parent) {
            dialog->open();
        } else {
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
        }
    }

    bool isOpen() const override { return dialog_ && dialog_->isVisible(); }

    void cancel() override {
        if (dialog_) dialog_->reject();
    }

private:
    QPointer<QFileDialog> dialog_;
};

}  // namespace

FilePanelPresenter& FilePanelPresenter::system() {
    static SystemFilePanels panels;
    return panels;
}

QFileDialog* FilePanelPresenter::makeDialog(const Options& options, QWidget* parent) {
    auto* dialog = new QFileDialog(parent);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setWindowTitle(options.title);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(options.multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (!options.acceptLabel.isEmpty()) dialog->setLabelText(QFileDialog::Accept, options.acceptLabel);
    if (!options.mimeTypes.isEmpty()) dialog->setMimeTypeFilters(options.mimeTypes);
    if (!options.allTypesFilter.isEmpty() && !options.mimeTypes.isEmpty()) {
        QStringList patterns;
        const QMimeDatabase types;
        for (const QString& name : options.mimeTypes) {
            for (const QString& pattern : types.mimeTypeForName(name).globPatterns()) {
                if (!patterns.contains(pattern)) patterns << pattern;
            }
        }
        const QString all = options.allTypesFilter + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                            QLatin1Char(')');
        dialog->setNameFilters(QStringList{all} + dialog->nameFilters());
        dialog->selectNameFilter(all);
    }
    if (!options.message.isEmpty()) {
        // The non-native dialog lays itself out on a grid: its rows move one down, and the
        // message takes the top row across all columns.
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
            struct Placed {
                QLayoutItem* item;
                int row, column, rows, columns;
            };
            std::vector<Placed> placed;
            for (int i = 0; i < grid->count(); ++i) {
                Placed p{grid->itemAt(i), 0, 0, 0, 0};
                grid->getItemPosition(i, &p.row, &p.column, &p.rows, &p.columns);
                placed.push_back(p);
            }
            const int columns = std::max(1, grid->columnCount());
            while (grid->count() > 0) grid->takeAt(0);
            for (const Placed& p : placed) grid->addItem(p.item, p.row + 1, p.column, p.rows, p.columns);
            auto* message = new QLabel(options.message, dialog);
            message->setObjectName(QStringLiteral("panelMessage"));
            message->setWordWrap(true);
            grid->addWidget(message, 0, 0, 1, columns);
        }
    }
    dialog->setDirectory(options.folder ? *options.folder : QDir::homePath());
    dialog->setWindowModality(parent ? Qt::WindowModal : Qt::NonModal);
    return dialog;
}

// Web pages and files.

namespace {

class SystemURLs : public URLPresenter {
public:
    bool open(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

class SystemReveal : public RevealPresenter {
public:
    void reveal(const std::vector<std::filesystem::path>& files) override {
        if (files.empty()) return;
        QStringList uris;
        for (const auto& file : files) {
            uris << QUrl::fromLocalFile(QString::fromStdString(file.string())).toString(QUrl::FullyEncoded);
        }
        const QString folder =
            QFileInfo(QString::fromStdString(files.front().string())).absolutePath();
        auto openFolder = [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            openFolder();
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << uris << QString();
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [openFolder](QDBusPendingCallWatcher* w) {
                             if (w->isError()) openFolder();
                             w->deleteLater();
                         });
    }
};

}  // namespace

URLPresenter& URLPresenter::system() {
    static SystemURLs urls;
    return urls;
}

RevealPresenter& RevealPresenter::system() {
    static SystemReveal reveal;
    return reveal;
}

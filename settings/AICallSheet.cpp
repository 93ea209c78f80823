#include "settings/AICallSheet.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTextCursor>
#include <QVBoxLayout>

#include <nlohmann/json.hpp>

#include "ui/Brand.h"
#include "ui/MainMenu.h"
#include "forms/ai/AIText.h"
#include "settings/AILogSummary.h"
#include "settings/ToneLabel.h"

AICallSheet::AICallSheet(const AICall& call, QWidget* parent) : QDialog(parent), call_(call) {
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QString::fromStdString(call_.form));
    resize(sheetWidth, sheetHeight);
    setMinimumSize(minimumWidth, minimumHeight);
    // No menu bar: "Cerrar" (Ctrl+W) closes it as Escape and its button do.
    MainMenu::addCloseKeys(this);

    title_ = new QLabel(this);
    title_->setTextFormat(Qt::PlainText);
    title_->setFont(Brand::systemFont(15, QFont::DemiBold));
    title_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    const bool ok = call_.result == "ok";
    const QString subtitle = QString::fromStdString(AILogSummary::date(call_.date)) +
                             QStringLiteral(" · ") + QString::fromStdString(call_.model) +
                             QStringLiteral(" · ") +
                             (ok ? QStringLiteral("correcta") : QString::fromStdString(call_.result));
    subtitle_ = new ToneLabel(subtitle, ToneLabel::Tone::secondary, this);
    subtitle_->setFont(Brand::systemFont(12));
    subtitle_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    tabs_ = new QTabBar(this);
    tabs_->addTab(QStringLiteral("Enviado"));
    tabs_->addTab(QStringLiteral("Recibido"));
    tabs_->setCurrentIndex(0);
    tabs_->setDrawBase(false);
    tabs_->setExpanding(false);

    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setPointSizeF(11.5);
    text_->setFont(fixed);
    text_->document()->setDocumentMargin(8);

    copy_ = new QPushButton(QStringLiteral("Copiar"), this);
    copy_->setAutoDefault(false);
    close_ = new QPushButton(QStringLiteral("Cerrar"), this);
    close_->setDefault(true);
    close_->setAutoDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 16);
    layout->setSpacing(0);
    layout->addWidget(title_);
    layout->addSpacing(2);
    layout->addWidget(subtitle_);
    layout->addSpacing(14);
    layout->addWidget(tabs_, 0, Qt::AlignLeft);
    layout->addSpacing(10);
    layout->addWidget(text_, 1);
    layout->addSpacing(14);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addStretch(1);
    buttons->addWidget(copy_);
    buttons->addWidget(close_);
    layout->addLayout(buttons);

    connect(tabs_, &QTabBar::currentChanged, this, &AICallSheet::show_);
    connect(copy_, &QPushButton::clicked, this, &AICallSheet::copyShown);
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);

    elideTitle();
    show_();
}

std::optional<std::string> AICallSheet::prettyJSON(const std::string& text) {
    if (AIText::nestsDeeperThan(text, maxDepth)) return std::nullopt;
    nlohmann::json parsed = nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded()) return std::nullopt;
    try {
        // Object members are kept sorted; "/" is never escaped; other than ASCII stays UTF-8.
        return parsed.dump(2);
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;  // a string that is not valid UTF-8
    }
}

QString AICallSheet::shown(const AICall& call, bool sent) {
    const std::optional<std::string>& logged = sent ? call.request : call.response;
    if (logged && !logged->empty()) {
        if (const auto pretty = prettyJSON(*logged)) return QString::fromStdString(*pretty);
        return QString::fromStdString(*logged);
    }
    if (sent) return QStringLiteral("Esta consulta es de antes de que Tindra guardara lo que envía.");
    if (!call.request) {
        return QStringLiteral("Esta consulta es de antes de que Tindra guardara lo que recibe.");
    }
    return QStringLiteral("No llegó respuesta: ") + QString::fromStdString(call.result) +
           QStringLiteral(".");
}

QString AICallSheet::shown() const { return shown(call_, tabs_->currentIndex() == 0); }

void AICallSheet::show_() {
    text_->setPlainText(shown());
    text_->moveCursor(QTextCursor::Start);
    text_->verticalScrollBar()->setValue(0);
    text_->horizontalScrollBar()->setValue(0);
}

void AICallSheet::copyShown() {
    if (QClipboard* clipboard = QGuiApplication::clipboard()) {
        clipboard->clear();
        clipboard->setText(text_->toPlainText());
    }
}

void AICallSheet::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    elideTitle();
}

void AICallSheet::elideTitle() {
    const QString full = QString::fromStdString(call_.form);
    const int room = std::max(40, width() - 40);
    title_->setText(title_->fontMetrics().elidedText(full, Qt::ElideMiddle, room));
    title_->setToolTip(full);
}

#include "settings/AILogPage.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>

#include "ui/Brand.h"
#include "ui/CardView.h"
#include "ui/Palette.h"
#include "ui/RevealPresenter.h"
#include "ui/Symbols.h"
#include "ui/URLPresenter.h"
#include "forms/ai/AILog.h"
#include "settings/AICallSheet.h"
#include "settings/AILogSummary.h"
#include "settings/AILogTableModel.h"
#include "settings/ArrowLink.h"
#include "settings/ToneLabel.h"

namespace {

const QString emptyText = QStringLiteral(
    "Aún no se ha consultado a OpenRouter. Las consultas aparecerán aquí al rellenar un "
    "formulario con la IA activada.");
constexpr int emptyMaximumWidth = 420;
constexpr int rowHeight = 28;
// Room between cells, given to each column's width (the table has no spacing of its own).
constexpr int cellSpacing = 12;

}  // namespace

AILogPage::AILogPage(QObject* parent, SettingsContext& context)
    : QObject(parent), context_(context) {
    view_ = new QWidget;

    back_ = new ArrowLink(QStringLiteral("Opciones"), QStringLiteral("chevron.left"), 13,
                           ArrowLink::Side::leading, Brand::systemFont(13, QFont::Medium), view_);

    auto* title = new QLabel(QStringLiteral("Uso de la IA"), view_);
    title->setFont(Brand::titleFont(26));
    summary_ = new QLabel(view_);
    summary_->setTextFormat(Qt::PlainText);
    summary_->setFont(Brand::systemFont(14, QFont::Medium));
    summary_->setWordWrap(true);
    auto* explanation = new ToneLabel(
        QStringLiteral("Cada consulta a OpenRouter al reconocer un formulario: una por cada diez "
                       "campos. El coste es el que da OpenRouter, en dólares. Haz doble clic en "
                       "una para ver lo que se envió y lo que se recibió, tal cual."),
        ToneLabel::Tone::secondary, view_);
    explanation->setFont(Brand::systemFont(13));
    explanation->setWordWrap(true);

    model_ = new AILogTableModel(this);
    table_ = new QTableView;
    table_->setModel(model_);
    table_->setShowGrid(false);
    table_->setAlternatingRowColors(true);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setTextElideMode(Qt::ElideRight);
    table_->setFrameShape(QFrame::NoFrame);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(rowHeight);
    QHeaderView* header = table_->horizontalHeader();
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(AILogTableModel::info(AILogTableModel::fields).minimumWidth);
    header->setSectionResizeMode(QHeaderView::Interactive);
    for (int column = 0; column < AILogTableModel::columnCount_; ++column) {
        header->resizeSection(column, AILogTableModel::info(column).width + cellSpacing);
    }
    viewport_ = table_->viewport();
    viewport_->installEventFilter(this);
    // Nothing reaches the table once it starts going away.
    connect(table_, &QObject::destroyed, this, [this] {
        viewport_->removeEventFilter(this);
        viewport_ = nullptr;
        table_ = nullptr;
    });
    model_->setPalette(table_->palette());
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AILogPage::selectionChanged);
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        // The selection model survives a reset; its selection does not.
        selectionChanged();
    });
    connect(table_, &QTableView::doubleClicked, this,
            [this](const QModelIndex& index) { showDetail(index.isValid() ? index.row() : -1); });

    empty_ = new ToneLabel(emptyText, ToneLabel::Tone::secondary);
    empty_->setFont(Brand::systemFont(13));
    empty_->setWordWrap(true);
    empty_->setAlignment(Qt::AlignCenter);
    empty_->setMaximumWidth(emptyMaximumWidth);

    auto* card = new CardView(view_);
    auto* inside = new QGridLayout(card);
    inside->setContentsMargins(16, 12, 16, 12);
    inside->addWidget(table_, 0, 0);
    inside->addWidget(empty_, 0, 0, Qt::AlignCenter);

    reveal_ = new QPushButton(QStringLiteral("Mostrar el fichero en la carpeta"), view_);
    reveal_->setAutoDefault(false);
    detail_ = new QPushButton(QStringLiteral("Ver lo enviado y lo recibido"), view_);
    detail_->setAutoDefault(false);
    detail_->setEnabled(false);
    connect(back_, &QAbstractButton::clicked, this, &AILogPage::goBack);
    connect(reveal_, &QPushButton::clicked, this, &AILogPage::revealFile);
    connect(detail_, &QPushButton::clicked, this, [this] { showDetail(); });

    // The back button sits 4 further out than the rest.
    auto* outer = new QVBoxLayout(view_);
    outer->setContentsMargins(32, 6, 36, 28);
    outer->setSpacing(0);
    outer->addWidget(back_, 0, Qt::AlignLeft);
    auto* column = new QVBoxLayout;
    column->setContentsMargins(4, 0, 0, 0);
    column->setSpacing(0);
    column->addSpacing(6);
    column->addWidget(title);
    column->addSpacing(8);
    column->addWidget(summary_);
    column->addSpacing(4);
    column->addWidget(explanation);
    column->addSpacing(20);
    column->addWidget(card, 1);
    column->addSpacing(16);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    buttons->addWidget(reveal_);
    buttons->addWidget(detail_);
    buttons->addStretch(1);
    column->addLayout(buttons);
    outer->addLayout(column, 1);
}

AILogPage::~AILogPage() {
    if (viewport_) viewport_->removeEventFilter(this);
    if (sheet_) delete sheet_.data();
    if (view_) delete view_.data();
}

void AILogPage::reload() {
    model_->setCalls(AILog::calls(context_.ai.logPath));
    table_->clearSelection();
    QTimer::singleShot(0, this, [this] { fitColumns(); });
    const bool none = model_->rowCount() == 0;
    empty_->setVisible(none);
    table_->setVisible(!none);
    detail_->setEnabled(false);
    summary_->setText(QString::fromStdString(AILogSummary::text(model_->calls(), context_.now())));
}

void AILogPage::fitColumns() {
    QHeaderView* header = table_->horizontalHeader();
    int fixed = 0;
    int stretchBase = 0;
    for (int column = 0; column < AILogTableModel::columnCount_; ++column) {
        const auto& info = AILogTableModel::info(column);
        if (info.stretches) {
            stretchBase += info.width + cellSpacing;
        } else {
            fixed += info.width + cellSpacing;
            header->resizeSection(column, info.width + cellSpacing);
        }
    }
    const int room = std::max(0, table_->viewport()->width() - fixed);
    const int formColumn = AILogTableModel::form;
    const int modelColumn = AILogTableModel::model;
    const auto& formInfo = AILogTableModel::info(formColumn);
    const auto& modelInfo = AILogTableModel::info(modelColumn);
    // The free width in the proportion of the two columns' widths, never below their minimums.
    const int formWidth = std::max(stretchBase > 0 ? room * (formInfo.width + cellSpacing) / stretchBase : 0,
                                   formInfo.minimumWidth + cellSpacing);
    const int modelWidth = std::max(room - formWidth, modelInfo.minimumWidth + cellSpacing);
    header->resizeSection(formColumn, formWidth);
    header->resizeSection(modelColumn, modelWidth);
}

bool AILogPage::eventFilter(QObject* watched, QEvent* event) {
    // The viewport is compared by its remembered address: it also sends events while the table
    // is being destroyed.
    if (watched == viewport_ && table_ && event->type() == QEvent::Resize) fitColumns();
    if (watched == viewport_ && table_ && event->type() == QEvent::PaletteChange) {
        model_->setPalette(table_->palette());
    }
    return QObject::eventFilter(watched, event);
}

void AILogPage::selectionChanged() {
    detail_->setEnabled(table_->selectionModel() && table_->selectionModel()->hasSelection());
}

void AILogPage::showDetail(int row) {
    if (row < 0) {
        const QModelIndexList selected =
            table_->selectionModel() ? table_->selectionModel()->selectedRows() : QModelIndexList{};
        row = selected.isEmpty() ? -1 : selected.first().row();
    }
    if (row < 0 || row >= model_->rowCount()) return;
    if (sheet_) sheet_->deleteLater();
    auto* sheet = new AICallSheet(model_->calls().at(static_cast<std::size_t>(row)),
                                  view_ ? view_->window() : nullptr);
    sheet_ = sheet;
    connect(sheet, &QDialog::finished, this, [this, sheet] {
        if (sheet_ == sheet) sheet_ = nullptr;
        sheet->deleteLater();
    });
    sheet->open();
}

void AILogPage::revealFile() {
    const std::filesystem::path file = context_.ai.logPath;
    std::error_code error;
    if (!file.empty() && std::filesystem::exists(file, error)) {
        context_.reveal->reveal({file});
    } else {
        context_.urls->open(QUrl::fromLocalFile(QString::fromStdString(file.parent_path().string())));
    }
}

void AILogPage::goBack() {
    if (const auto back = onBack) back();
}

AICallSheet* AILogPage::sheet() const { return sheet_.data(); }

#include "settings/AILogTableModel.h"

#include <QGuiApplication>

#include <array>

#include "ui/Brand.h"
#include "ui/Palette.h"

namespace {

constexpr std::array<AILogTableModel::ColumnInfo, AILogTableModel::columnCount_> columns{{
    {"date", "Fecha", 96, 96, false, false},
    {"form", "Formulario", 120, 80, false, true},
    {"model", "Modelo", 80, 80, false, true},
    {"fields", "Campos", 54, 54, true, false},
    {"tokens", "Tokens", 64, 64, true, false},
    {"cost", "Coste", 92, 92, true, false},
    {"time", "Tiempo", 54, 54, true, false},
}};

QVariant alignment(int column) {
    const Qt::Alignment horizontal = columns[static_cast<std::size_t>(column)].trailing
                                         ? Qt::AlignRight
                                         : Qt::AlignLeft;
    return QVariant::fromValue(horizontal | Qt::AlignVCenter);
}

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

const AILogTableModel::ColumnInfo& AILogTableModel::info(int column) {
    return columns.at(static_cast<std::size_t>(column));
}

AILogTableModel::AILogTableModel(QObject* parent)
    : QAbstractTableModel(parent), palette_(QGuiApplication::palette()) {}

void AILogTableModel::setCalls(std::vector<AICall> calls) {
    beginResetModel();
    calls_ = std::move(calls);
    rows_.clear();
    rows_.reserve(calls_.size());
    for (const AICall& call : calls_) rows_.push_back(AILogRow::of(call));
    endResetModel();
}

void AILogTableModel::setPalette(const QPalette& palette) {
    palette_ = palette;
    if (!rows_.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount_ - 1),
                         {Qt::ForegroundRole});
    }
}

int AILogTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int AILogTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnCount_;
}

QVariant AILogTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || index.row() >= rowCount() || index.column() < 0 ||
        index.column() >= columnCount_) {
        return {};
    }
    const AILogRow& r = rows_[static_cast<std::size_t>(index.row())];
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            switch (column) {
                case date: return text(r.date);
                case form: return text(r.form);
                case model: return text(r.model);
                case fields: return text(r.fields);
                case tokens: return text(r.tokens);
                case cost: return text(r.cost);
                case time: return text(r.time);
                default: return {};
            }
        case Qt::TextAlignmentRole: return alignment(column);
        case Qt::ForegroundRole:
            if (column == cost && r.failed) return Palette::red(palette_);
            if (column == model) return Palette::secondaryLabel(palette_);
            return Palette::label(palette_);
        case Qt::FontRole: return Brand::systemFont(13);
        case Qt::ToolTipRole:
            if (column == form) return text(r.formTip);
            if (column == model) return text(r.modelTip);
            if (column == tokens && !r.tokensTip.empty()) return text(r.tokensTip);
            return {};
        default: return {};
    }
}

QVariant AILogTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount_) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) return QString::fromUtf8(info(section).title);
    if (role == Qt::TextAlignmentRole) return alignment(section);
    return {};
}

#pragma once
// The rows of the AI call log page: one per logged call, newest first, in seven columns (date,
// form, model, fields, tokens, cost, time) with their texts, alignment, colours and tooltips.

#include <QAbstractTableModel>
#include <QPalette>

#include <vector>

#include "forms/ai/AICall.h"
#include "settings/AILogRow.h"

class AILogTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { date, form, model, fields, tokens, cost, time, columnCount_ };

    struct ColumnInfo {
        const char* identifier;
        const char* title;
        int width;
        int minimumWidth;
        bool trailing;    // right-aligned
        bool stretches;   // takes a share of the free width
    };
    static const ColumnInfo& info(int column);

    explicit AILogTableModel(QObject* parent = nullptr);

    // Replaces the rows (a model reset: views lose their selection).
    void setCalls(std::vector<AICall> calls);
    const std::vector<AICall>& calls() const { return calls_; }
    const AILogRow& row(int index) const { return rows_.at(static_cast<std::size_t>(index)); }

    // The palette the colours are taken from (the view's).
    void setPalette(const QPalette& palette);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::vector<AICall> calls_;
    std::vector<AILogRow> rows_;
    QPalette palette_;
};

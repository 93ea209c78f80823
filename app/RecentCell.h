#pragma once
// The rows of the home window's list of recently signed documents: the file's icon, its name and
// when it was signed, 44 pixels high with 2 between rows. The selected row is a rounded teal tint,
// the same with or without the keyboard focus.
//
// Dates: under a minute "Ahora mismo"; under seven days the largest elapsed unit in Spanish words
// (minutes, hours, then days by name: "Ayer", "Anteayer"), first letter upper-cased; from seven
// days the medium date without a time ("2 dic 2026").

#include <QIcon>
#include <QString>
#include <QStyledItemDelegate>

#include <chrono>
#include <string>

#include "app/RecentSignatures.h"

class RecentCell : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowHeight = 44;
    static constexpr int rowGap = 2;
    static constexpr double selectionRadius = 7;
    static constexpr int iconSide = 22;

    // Item data roles of a row (the name is Qt::DisplayRole, the tooltip Qt::ToolTipRole, the
    // icon Qt::DecorationRole).
    static constexpr int detailRole = Qt::UserRole + 1;

    explicit RecentCell(QObject* parent = nullptr);

    // The second line for an entry signed at `date`, seen at `now`.
    static QString detail(std::chrono::system_clock::time_point date,
                          std::chrono::system_clock::time_point now);
    // The path, then "Firmado por " and the signer on a second line.
    static QString toolTip(const RecentSignature& entry);
    // The last component of the entry's path.
    static QString name(const RecentSignature& entry);
    // The icon of the file's type.
    static QIcon icon(const std::string& path);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

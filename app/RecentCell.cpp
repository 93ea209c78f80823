#include "app/RecentCell.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>

#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "ui/Brand.h"
#include "ui/Palette.h"
#include "ui/Symbols.h"

namespace {

constexpr double minute = 60;
constexpr double hour = 3600;
constexpr double day = 86400;
// From this age on the list shows the date itself.
constexpr double week = 7 * day;

constexpr int iconLeading = 6;
constexpr int textLeading = 8;
constexpr int textTrailing = 4;

QString fromICU(const icu::UnicodeString& text) {
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

UDate toUDate(std::chrono::system_clock::time_point date) {
    return static_cast<UDate>(
        std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count());
}

// Made on first use, shared by all rows (main thread).
icu::RelativeDateTimeFormatter* relative() {
    static std::unique_ptr<icu::RelativeDateTimeFormatter> formatter = [] {
        UErrorCode status = U_ZERO_ERROR;
        auto made = std::make_unique<icu::RelativeDateTimeFormatter>(
            icu::Locale("es", "ES"), nullptr, UDAT_STYLE_LONG, UDISPCTX_CAPITALIZATION_NONE, status);
        if (U_FAILURE(status)) made.reset();
        return made;
    }();
    return formatter.get();
}

icu::DateFormat* absolute() {
    static std::unique_ptr<icu::DateFormat> formatter(
        icu::DateFormat::createDateInstance(icu::DateFormat::kMedium, icu::Locale("es", "ES")));
    return formatter.get();
}

QString upperFirst(QString text) {
    if (!text.isEmpty()) text.replace(0, 1, text.left(1).toUpper());
    return text;
}

}  // namespace

RecentCell::RecentCell(QObject* parent) : QStyledItemDelegate(parent) {}

QString RecentCell::detail(std::chrono::system_clock::time_point date,
                           std::chrono::system_clock::time_point now) {
    // Stored dates carry a rounding error far below a millisecond: ages are taken to the nearest
    // millisecond so that a whole minute never reads as the one before.
    const double age = std::round(std::chrono::duration<double>(now - date).count() * 1000) / 1000;
    if (!(age >= minute)) return QStringLiteral("Ahora mismo");  // NaN and the future included
    if (age < week) {
        double amount = 0;
        URelativeDateTimeUnit unit = UDAT_REL_UNIT_MINUTE;
        if (age < hour) {
            amount = std::floor(age / minute);
        } else if (age < day) {
            amount = std::floor(age / hour);
            unit = UDAT_REL_UNIT_HOUR;
        } else {
            amount = std::floor(age / day);
            unit = UDAT_REL_UNIT_DAY;
        }
        if (icu::RelativeDateTimeFormatter* formatter = relative()) {
            icu::UnicodeString text;
            UErrorCode status = U_ZERO_ERROR;
            formatter->format(-amount, unit, text, status);
            if (U_SUCCESS(status)) return upperFirst(fromICU(text));
        }
    }
    icu::UnicodeString text;
    if (icu::DateFormat* formatter = absolute()) formatter->format(toUDate(date), text);
    return fromICU(text);
}

QString RecentCell::toolTip(const RecentSignature& entry) {
    return QString::fromStdString(entry.path) + QStringLiteral("\nFirmado por ") +
           QString::fromStdString(entry.signer);
}

QString RecentCell::name(const RecentSignature& entry) {
    return QString::fromStdString(entry.url().filename().string());
}

QIcon RecentCell::icon(const std::string& path) {
    static QFileIconProvider provider;
    QIcon icon = provider.icon(QFileInfo(QString::fromStdString(path)));
    if (icon.isNull() || icon.availableSizes().isEmpty()) {
        icon = Symbols::icon(QStringLiteral("doc.text"), Palette::secondaryLabel(), iconSide);
    }
    return icon;
}

QSize RecentCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const {
    return QSize(option.rect.width(), rowHeight + rowGap);
}

void RecentCell::paint(QPainter* painter, const QStyleOptionViewItem& option,
                       const QModelIndex& index) const {
    const QPalette& palette = option.palette;
    const QRect row = option.rect.adjusted(0, 0, 0, -rowGap);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (option.state & QStyle::State_Selected) {
        QPainterPath shape;
        shape.addRoundedRect(QRectF(row), selectionRadius, selectionRadius);
        painter->fillPath(shape, Palette::withAlpha(Brand::teal.at(palette), 0.14));
    }
    const QRect iconRect(row.left() + iconLeading, row.center().y() - iconSide / 2 + 1, iconSide,
                         iconSide);
    index.data(Qt::DecorationRole).value<QIcon>().paint(painter, iconRect);

    const QFont nameFont = Brand::systemFont(13);
    const QFont detailFont = Brand::systemFont(12);
    const QFontMetrics nameMetrics(nameFont);
    const QFontMetrics detailMetrics(detailFont);
    const int left = iconRect.right() + 1 + textLeading;
    const int width = std::max(0, row.right() + 1 - textTrailing - left);
    const int textHeight = nameMetrics.height() + 1 + detailMetrics.height();
    const int top = row.top() + (row.height() - textHeight) / 2;
    painter->setFont(nameFont);
    painter->setPen(Palette::label(palette));
    painter->drawText(QRect(left, top, width, nameMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                      nameMetrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideMiddle, width));
    painter->setFont(detailFont);
    painter->setPen(Palette::secondaryLabel(palette));
    painter->drawText(QRect(left, top + nameMetrics.height() + 1, width, detailMetrics.height()),
                      Qt::AlignLeft | Qt::AlignVCenter,
                      detailMetrics.elidedText(index.data(detailRole).toString(), Qt::ElideRight, width));
    painter->restore();
}

#include "document/formfill/FormFillWidgets.h"

#include <QLabel>
#include <QPushButton>

#include "ui/Brand.h"
#include "ui/Palette.h"

namespace FormFillWidgets {

QString qs(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QLabel* label(const QString& text, double size, Level level, QWidget* parent, bool semibold) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(Brand::systemFont(size, semibold ? QFont::DemiBold : QFont::Normal));
    // The greys are worked out again on every change of appearance.
    if (level != Level::primary)
        Palette::follow(l, QPalette::WindowText,
                        level == Level::secondary ? &Palette::secondaryLabel : &Palette::tertiaryLabel);
    return l;
}

QLabel* wrapping(const QString& text, double size, Level level, int width, QWidget* parent) {
    QLabel* l = label(text, size, level, parent);
    l->setWordWrap(true);
    l->setMaximumWidth(width);
    return l;
}

QPushButton* button(const QString& title, QWidget* parent) {
    auto* b = new QPushButton(title, parent);
    b->setFont(Brand::systemFont(12));
    b->setAutoDefault(false);
    return b;
}

}  // namespace FormFillWidgets

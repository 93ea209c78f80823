#pragma once
// The product's constants: name, identifier, web links, the colour palette with its light and
// dark variants, the application's icon, the maker's mark and byline, and the heading font.
//
// Appearance: a palette is dark when its window colour has a lightness below 128. Colours are
// resolved when painting, against the palette of the widget being painted, so a widget that
// repaints on QEvent::PaletteChange follows the switch between light and dark.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPalette>
#include <QString>
#include <QUrl>

#include <optional>

#include "signing/ProductSite.h"

class QWidget;

namespace Brand {

// A colour with a light and a dark variant (equal for the fixed colours).
struct DynamicColor {
    QColor light;
    QColor dark;

    // The variant for the palette's appearance.
    QColor at(const QPalette& palette) const;
    // The variant for the widget's palette, or the application's palette when null.
    QColor operator()(const QWidget* widget = nullptr) const;
    QColor resolve(bool darkAppearance) const { return darkAppearance ? dark : light; }
};

// Lightness of the window colour below 128.
bool isDark(const QPalette& palette);
// The widget's palette, or the application's when null.
bool isDark(const QWidget* widget = nullptr);

// Identity. The product's name as users see it and the application's identifier (desktop file
// name, icon name, defaults suite).
inline const QString name = QStringLiteral("Tindra");
inline const QString bundleIdentifier = QStringLiteral("es.calverin.Tindra");

// Host names of the product's and the maker's web sites.
inline const QString websiteHost = QString::fromLatin1(ProductSite::host);
inline const QString calverinHost = QStringLiteral("calverin.es");

QUrl website();      // https://tindra.calverin.es
QUrl help();         // the online help, website + "/ayuda/"
QUrl calverin();     // https://calverin.es
QUrl formsReport();  // website + "/formularios/"

// Palette (sRGB).
inline const DynamicColor teal{QColor(0, 142, 156), QColor(43, 181, 194)};
inline const DynamicColor tealDeep{QColor(6, 97, 107), QColor(127, 211, 219)};
inline const DynamicColor tealLine{QColor(179, 221, 225), QColor::fromRgbF(43 / 255.f, 181 / 255.f, 194 / 255.f, 0.45f)};
inline const DynamicColor canvas{QColor(241, 246, 247), QColor(27, 32, 35)};
inline const DynamicColor card{QColor(255, 255, 255), QColor(37, 43, 47)};
inline const DynamicColor cardLine{QColor::fromRgbF(11 / 255.f, 35 / 255.f, 61 / 255.f, 0.08f),
                                   QColor::fromRgbF(1.f, 1.f, 1.f, 0.08f)};
inline const DynamicColor navyDeep{QColor(11, 35, 61), QColor(11, 35, 61)};
inline const DynamicColor yellow{QColor(248, 178, 5), QColor(248, 178, 5)};
inline const DynamicColor pink{QColor(255, 119, 109), QColor(255, 119, 109)};

// The application's icon: the window icon the application set at start-up, else the bundled
// "tindra.svg" (also installed as the icon "es.calverin.Tindra").
QIcon mark();
// The maker's mark, the bundled "Mark.svg"; a null icon when the resource is missing.
QIcon calverinMark();
// Where the maker's mark is read from (tests point it at a missing file).
QString& calverinMarkResource();

// The maker byline: "by", the mark in a square of size + 2, "Calverin" (medium weight), 4 apart,
// centred vertically. `color` defaults to the secondary label colour. The caller owns the widget.
QWidget* byCalverin(double size = 13, std::optional<QColor> color = std::nullopt,
                    QWidget* parent = nullptr);

// The system font at `size` (points are pixels at scale 1) and weight.
QFont systemFont(double size, QFont::Weight weight = QFont::Normal);
// The heading font. There is no rounded system design here: the system font of that size and
// weight.
QFont titleFont(double size, QFont::Weight weight = QFont::Bold);

// Makes the compiled-in images and symbols available (idempotent; called by their users).
void initResources();

}  // namespace Brand

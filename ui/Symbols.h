#pragma once
// Named symbols, drawn from bundled line drawings and tinted in one colour: the names the windows
// use ("signature", "gearshape", "chevron.left", "arrow.up.right", …). An unknown name gives an
// empty icon, never an error. Other folders may add their own drawings with add().

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <QStringList>

namespace Symbols {

// The symbol `name` tinted in `tint`, `points` high and wide (points are pixels at scale 1), at
// the screen's scales 1 and 2. `weight` thickens the strokes of the bundled drawings. A null icon
// for an unknown name.
QIcon icon(const QString& name, const QColor& tint, double points,
           QFont::Weight weight = QFont::Normal);
// One image of it at a device-pixel ratio; a null pixmap for an unknown name.
QPixmap pixmap(const QString& name, const QColor& tint, double points, double devicePixelRatio = 1,
               QFont::Weight weight = QFont::Normal);

bool exists(const QString& name);
// Every known name, sorted.
QStringList names();

// Adds or replaces a drawing: SVG text whose opaque parts take the tint.
void add(const QString& name, const QByteArray& svg);

}  // namespace Symbols

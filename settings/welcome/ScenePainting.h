#pragma once
// Painting helpers shared by the two welcome illustrations.

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <string>
#include <vector>

#include "settings/welcome/ScenePath.h"

class MotionTarget;
class QFont;
class QPainter;

namespace ScenePainting {

// Applies a target's translation (y upwards in the scene's own frame when `yUp`), its scale about
// `centre` and its opacity to the painter.
void applyMotion(QPainter& painter, const MotionTarget& target, QPointF centre, bool yUp);

// A soft shadow under a rounded rectangle: `opacity` of black spread over `radius`, moved by
// `offset` (downwards).
void shadow(QPainter& painter, const QRectF& rect, double cornerRadius, double opacity,
            double radius, QPointF offset);

QRectF rect(const SceneRect& r);
QString text(const std::string& utf8);
// The polyline of a stroke drawn up to `strokeEnd`.
void stroke(QPainter& painter, const ScenePath& path, double strokeEnd, const QColor& color,
            double width);

}  // namespace ScenePainting

#pragma once
// Screenshots of windows under test: written as PNG into $TINDRA_SCREENSHOTS when it is set.
#include <QImage>
#include <QLayout>
#include <QString>
#include <QWidget>

namespace Screenshots {

// The widget as it paints now (laid out and polished first).
inline QImage grab(QWidget& widget) {
  widget.ensurePolished();
  if (auto* layout = widget.layout()) layout->activate();
  return widget.grab().toImage();
}

// Saves `image` as NAME.png when $TINDRA_SCREENSHOTS names a folder; returns the image.
inline QImage save(const QImage& image, const QString& name) {
  const QString folder = qEnvironmentVariable("TINDRA_SCREENSHOTS");
  if (!folder.isEmpty()) image.save(folder + "/" + name + ".png");
  return image;
}

inline QImage save(QWidget& widget, const QString& name) { return save(grab(widget), name); }

}  // namespace Screenshots

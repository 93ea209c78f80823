#pragma once
// A handwritten signature taken from a photo or a scan of it on white paper: the photo is read
// upright (EXIF orientation applied) and turned into an ink image: a transparent background with
// the ink darkened in its own hue, cropped to the signature with a small margin. Pictures that do
// not look like dark writing on light paper give nothing.

#include <QImage>
#include <QSize>

#include <filesystem>
#include <optional>

namespace HandwritingPhoto {

// The longest side the ink is worked at; larger photos are reduced first. Bounds the work to
// 2.56 million pixels.
inline constexpr double maxWorkingSide = 1600;
// The margin kept around the ink box, in working pixels.
inline constexpr int cropMargin = 6;

// The photo at `path`, turned upright by its EXIF orientation; nothing when it cannot be read,
// including a picture beyond the image reader's allocation limit.
std::optional<QImage> read(const std::filesystem::path& path);

// The size the ink of a picture of `size` is worked at: only ever reduced, longest side at most
// maxWorkingSide, each side at least 1.
QSize workingSize(QSize size);

// The ink image of `photo`: sRGB, premultiplied RGBA, of the cropped working size; nothing when
// no signature stands out from white paper.
std::optional<QImage> ink(const QImage& photo);

}  // namespace HandwritingPhoto

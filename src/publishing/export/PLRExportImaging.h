#pragma once

// Pixels of exported pictures: luminance sharpening, the DPI of a block, JPEG encoding with
// the DPI in the JFIF header, and photos decoded straight at the size a render draws them.

#include "store/persistance-store/source/PLRPhotoProblem.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

namespace plr_export {

// The sharpening of block renders: the unsharp mask's amount, and the radius (standard
// deviation, in pixels) of its blur.
inline constexpr double kSharpeningLevel = 0.05;
inline constexpr double kSharpeningRadius = 1.0;

// DPI rules: a container block is stamped 70; a photo's DPI is capped at 10000, and 10000 gives
// 70; an unknown DPI (0 or less) gives 72.
inline constexpr qint64 kContainerDPI = 70;
inline constexpr qint64 kMaxDPI = 10000;
inline constexpr qint64 kUnknownDPI = 72;
qint64 exportDPIForPhoto(qint64 photoDPI);

// Sharpens the image's luminance in place (an unsharp mask on the luma only: colours keep
// their hue): each pixel's channels move by amount x (luma - blurred luma). Works on 32-bit
// RGB images (others are converted first).
void sharpenLuminance(QImage& image, double amount = kSharpeningLevel, double radius = kSharpeningRadius);

// The image as JPEG with the compression factor (0.0-1.0) and the DPI in its JFIF header
// (72 when dpi <= 0). Transparent pixels are flattened on white. Empty on failure. (Pass the
// picture with std::move when it is not needed afterwards: it is then not copied.)
QByteArray encodeJPEG(QImage image, float compression, qint64 dpi);

// The photo file decoded upright at `size` pixels (upright width and height), decoding at a
// reduced scale when the file allows it. Never larger than the photo; a null image (with
// `error` and `problem`) when the file cannot be decoded whole.
QImage decodePhotoAtSize(const QString& path, const QSize& size, QString* error = nullptr, PLRPhotoProblem* problem = nullptr);

} // namespace plr_export

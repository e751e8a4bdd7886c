#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QImage>
#include <QString>

// Small helpers on images and image data shared by the image cache and the exporters.

// The resolution (dots per inch) an image carries, rounded up; 0 for an image that failed to
// load. Equals the resolution stored in a JPEG's JFIF header when the image was read from one.
qint64 imageDPIValue(const QImage& image);

// Reads the data as a bitmap image and encodes it as JPEG carrying the given resolution in its
// JFIF header, with the compression factor (0.0 smallest .. 1.0 best). A resolution of 0 or
// less is treated as 72 dpi. Empty when the data is not a readable image.
QByteArray imageDataAfterApplyingDPI(const QByteArray& data, qint64 dpi, float compression);

namespace plr_image {

inline constexpr qint64 kDefaultDPI = 72;

// Sets the image's dots per metre from a resolution in dots per inch (72 when dpi <= 0).
void setImageDPI(QImage& image, qint64 dpi);

// Encodes the image as JPEG with a quality of 0..100; empty on failure.
QByteArray encodeJPEG(const QImage& image, int quality);

// A decoded photo in sRGB: converted from the colour profile it carries (Adobe RGB, Display P3,
// a camera's own...) and tagged sRGB. A picture without a profile is taken as sRGB already.
// Everything that draws, caches or exports photos works in sRGB.
void convertToSRGB(QImage& image);

// The image with an EXIF orientation (1..8) applied, so that it displays upright; it keeps its
// colour profile.
QImage applyOrientation(const QImage& image, int orientation);
// Whether an EXIF orientation swaps width and height.
inline bool orientationSwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

// The resolution in a JPEG file's JFIF header (dots per inch), or 0 when the file is not a JPEG
// or its header holds no absolute density. Reads only the first bytes of the file.
qint64 jfifDensityDPI(const QString& path);
// The same, read from the start of an open device (its position is left where it was).
qint64 jfifDensityDPI(QIODevice* device);

} // namespace plr_image

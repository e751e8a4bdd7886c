#pragma once

// Pixels of exported pictures: luminance sharpening, the DPI of a block, JPEG encoding with
// the DPI in the JFIF header, and photos decoded straight at the size a render draws them.

#include "store/persistance-store/source/PLRPhotoDecoder.h"
#include "store/persistance-store/source/PLRPhotoProblem.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>
#include <vector>

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

// The same sharpening made one row at a time, top to bottom, for a picture whose rows come in
// as they are drawn: row y reads the unsharpened rows around it (up to rowsNeededFor(y)) and
// is written to a row of the caller's (which may be the picture's own row y: each row's luma is
// taken before it changes). The pixels are those sharpenLuminance() gives; the rows are 32-bit
// RGB (premultiplied or not).
class LumaSharpener {
public:
    using RowSource = std::function<const QRgb*(int row)>;

    LumaSharpener(int width, int height, bool premultiplied, double amount = kSharpeningLevel, double radius = kSharpeningRadius);
    // How many of the picture's top rows must be there (unsharpened) before row y is made.
    int rowsNeededFor(int y) const;
    // Row y (y = 0, 1, 2 ... in turn) sharpened into `out`, `width` pixels.
    void sharpenRow(int y, const RowSource& source, QRgb* out);
    // What a sharpener of a picture this wide holds.
    static qint64 bytesFor(int width, double radius = kSharpeningRadius);

private:
    size_t slotOf(int row, const RowSource& source);

    int m_width = 0;
    int m_height = 0;
    bool m_premultiplied = false;
    float m_gain = 0.0f;
    bool m_active = false;
    int m_half = 0;
    std::vector<float> m_kernel;
    std::vector<float> m_lumaRing;
    std::vector<float> m_acrossRing;
    std::vector<int> m_ringRow;   // which picture row each ring slot holds
    std::vector<float> m_blurred;
    std::vector<float> m_original;
};

// The image as JPEG with the compression factor (0.0-1.0) and the DPI in its JFIF header
// (72 when dpi <= 0). Transparent pixels are flattened on white. Empty on failure. (Pass the
// picture with std::move when it is not needed afterwards: it is then not copied.)
QByteArray encodeJPEG(QImage image, float compression, qint64 dpi);

// The photo file decoded upright at `size` pixels (upright width and height), decoding at a
// reduced scale when the file allows it. Never larger than the photo; a null image (with
// `error` and `problem`) when the file cannot be decoded whole.
// `rowsDecoded` is told as the picture's top rows are final (see plr_image::decodePhotoAtSize()).
QImage decodePhotoAtSize(const QString& path, const QSize& size, QString* error = nullptr, PLRPhotoProblem* problem = nullptr,
                         const plr_image::RowsDecoded& rowsDecoded = {});

} // namespace plr_export

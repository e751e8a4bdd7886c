#include "publishing/export/PLRExportImaging.h"

#include "publishing/export/PLRExportNames.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"


#include <algorithm>
#include <cmath>
#include <vector>

namespace plr_export {

qint64 exportDPIForPhoto(qint64 photoDPI)
{
    if (photoDPI <= 0)
        return kUnknownDPI;
    const qint64 capped = std::min(photoDPI, kMaxDPI);
    return capped >= kMaxDPI ? kContainerDPI : capped;
}

namespace {

// A normalised Gaussian kernel of the radius (standard deviation, in pixels).
std::vector<float> gaussianKernel(double sigma)
{
    const int half = std::max(1, int(std::ceil(sigma * 3.0)));
    std::vector<double> weights(size_t(2 * half + 1));
    double sum = 0.0;
    for (int i = -half; i <= half; ++i) {
        weights[size_t(i + half)] = std::exp(-(i * i) / (2.0 * sigma * sigma));
        sum += weights[size_t(i + half)];
    }
    std::vector<float> kernel(weights.size());
    for (size_t i = 0; i < weights.size(); ++i)
        kernel[i] = float(weights[i] / sum);
    return kernel;
}

// Rounds half away from zero: a detail of +x and one of -x move a pixel by the same number of
// levels, so the picture keeps its brightness.
inline int roundSymmetric(float value)
{
    return value >= 0.0f ? int(value + 0.5f) : -int(-value + 0.5f);
}

} // namespace

void sharpenLuminance(QImage& image, double amount, double radius)
{
    if (image.isNull() || !(amount != 0.0) || !std::isfinite(amount) || !(radius > 0.0) || !std::isfinite(radius))
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    const int width = image.width();
    const int height = image.height();
    const std::vector<float> kernel = gaussianKernel(radius);
    const int half = int(kernel.size() / 2);
    const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
    const float gain = float(amount);

    // Luma (Rec. 709 weights) and its blur across, in floating point (no level is lost or
    // biased before the detail is taken), kept for the rows the blur down needs only: a ring
    // of rows, filled from the picture's rows before they are changed.
    const size_t taps = kernel.size();
    std::vector<float> lumaRing(taps * size_t(width));
    std::vector<float> acrossRing(taps * size_t(width));
    std::vector<int> ringRow(taps, -1);   // which picture row each ring slot holds
    auto slotOf = [&](int row) -> size_t {
        const size_t slot = size_t(row) % taps;
        if (ringRow[slot] == row)
            return slot;
        ringRow[slot] = row;
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(row));
        float* luma = lumaRing.data() + slot * size_t(width);
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            luma[x] = 0.2126f * float(qRed(p)) + 0.7152f * float(qGreen(p)) + 0.0722f * float(qBlue(p));
        }
        float* across = acrossRing.data() + slot * size_t(width);
        for (int x = 0; x < width; ++x) {
            float sum = 0.0f;
            if (x >= half && x + half < width) {
                const float* at = luma + x - half;
                for (size_t k = 0; k < taps; ++k)
                    sum += kernel[k] * at[k];
            } else {
                for (int k = -half; k <= half; ++k)
                    sum += kernel[size_t(k + half)] * luma[std::clamp(x + k, 0, width - 1)];
            }
            across[x] = sum;
        }
        return slot;
    };
    std::vector<float> blurred(static_cast<size_t>(width));
    std::vector<float> original(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        // Rows below this one are still unchanged; rows above were read before they changed.
        std::fill(blurred.begin(), blurred.end(), 0.0f);
        for (int k = -half; k <= half; ++k) {
            const int row = std::clamp(y + k, 0, height - 1);
            const size_t slot = slotOf(row);
            const float weight = kernel[size_t(k + half)];
            const float* across = acrossRing.data() + slot * size_t(width);
            for (int x = 0; x < width; ++x)
                blurred[size_t(x)] += weight * across[x];
        }
        const size_t own = slotOf(y);
        std::copy_n(lumaRing.data() + own * size_t(width), size_t(width), original.begin());
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            // The unsharp mask: every channel moves by amount x (luma - blurred luma), so the
            // luma alone is sharpened and the colours keep their hue.
            const float detail = original[size_t(x)] - blurred[size_t(x)];
            const QRgb p = line[x];
            const int a = qAlpha(p);
            // Premultiplied channels move by the alpha-scaled amount and stay at most alpha.
            const int delta = roundSymmetric(premultiplied ? gain * detail * float(a) / 255.0f : gain * detail);
            if (delta == 0)
                continue;
            const int top = premultiplied ? a : 255;
            line[x] = qRgba(std::clamp(qRed(p) + delta, 0, top), std::clamp(qGreen(p) + delta, 0, top),
                            std::clamp(qBlue(p) + delta, 0, top), a);
        }
    }
}

QByteArray encodeJPEG(QImage image, float compression, qint64 dpi)
{
    if (image.isNull())
        return {};
    // The picture is the caller's (moved in): stamping its DPI copies nothing.
    plr_image::setImageDPI(image, dpi <= 0 ? kUnknownDPI : dpi);
    return plr_image::encodeJPEG(image, jpegQuality(compression));
}

QImage decodePhotoAtSize(const QString& path, const QSize& size, QString* error, PLRPhotoProblem* problem)
{
    return plr_image::decodePhotoAtSize(path, size, error, problem);
}

} // namespace plr_export

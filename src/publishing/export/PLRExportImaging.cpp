#include "publishing/export/PLRExportImaging.h"

#include "publishing/export/PLRExportNames.h"
#include "store/persistance-store/source/PLRImageUtilities.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

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

    // Luma (Rec. 709 weights) of every pixel, and its blur across, in floating point: no
    // level is lost or biased before the detail is taken.
    std::vector<float> luma(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        float* out = luma.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            out[x] = 0.2126f * float(qRed(p)) + 0.7152f * float(qGreen(p)) + 0.0722f * float(qBlue(p));
        }
    }
    std::vector<float> across(luma.size());
    for (int y = 0; y < height; ++y) {
        const float* in = luma.data() + size_t(y) * size_t(width);
        float* out = across.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            float sum = 0.0f;
            if (x >= half && x + half < width) {
                const float* at = in + x - half;
                for (size_t k = 0; k < kernel.size(); ++k)
                    sum += kernel[k] * at[k];
            } else {
                for (int k = -half; k <= half; ++k)
                    sum += kernel[size_t(k + half)] * in[std::clamp(x + k, 0, width - 1)];
            }
            out[x] = sum;
        }
    }
    std::vector<const float*> rows(kernel.size());
    std::vector<float> blurred(static_cast<size_t>(width));
    for (int y = 0; y < height; ++y) {
        for (int k = -half; k <= half; ++k)
            rows[size_t(k + half)] = across.data() + size_t(std::clamp(y + k, 0, height - 1)) * size_t(width);
        std::fill(blurred.begin(), blurred.end(), 0.0f);
        for (size_t k = 0; k < kernel.size(); ++k) {
            const float weight = kernel[k];
            const float* row = rows[k];
            for (int x = 0; x < width; ++x)
                blurred[size_t(x)] += weight * row[x];
        }
        const float* original = luma.data() + size_t(y) * size_t(width);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            // The unsharp mask: every channel moves by amount x (luma - blurred luma), so the
            // luma alone is sharpened and the colours keep their hue.
            const float detail = original[x] - blurred[size_t(x)];
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

QByteArray encodeJPEG(const QImage& image, float compression, qint64 dpi)
{
    if (image.isNull())
        return {};
    QImage stamped = image;
    plr_image::setImageDPI(stamped, dpi <= 0 ? kUnknownDPI : dpi);
    return plr_image::encodeJPEG(stamped, jpegQuality(compression));
}

QImage decodePhotoAtSize(const QString& path, const QSize& size, QString* error)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (size.isValid() && !size.isEmpty() && stored.isValid()) {
        const bool swaps = reader.transformation() & QImageIOHandler::TransformationRotate90;
        const QSize wanted = swaps ? size.transposed() : size;
        // Never larger than the photo: a bigger block draws the photo scaled up.
        if (wanted.width() < stored.width() && wanted.height() < stored.height())
            reader.setScaledSize(wanted);
    }
    QImage image = reader.read();
    if (image.isNull() && error)
        *error = reader.errorString();
    plr_image::convertToSRGB(image);
    return image;
}

} // namespace plr_export

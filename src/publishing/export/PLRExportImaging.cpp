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

// A normalised Gaussian kernel of the radius, in 16.16 fixed point.
std::vector<int> gaussianKernel(double sigma)
{
    const int half = std::max(1, int(std::ceil(sigma * 3.0)));
    std::vector<double> weights(size_t(2 * half + 1));
    double sum = 0.0;
    for (int i = -half; i <= half; ++i) {
        weights[size_t(i + half)] = std::exp(-(i * i) / (2.0 * sigma * sigma));
        sum += weights[size_t(i + half)];
    }
    std::vector<int> fixed(weights.size());
    int total = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
        fixed[i] = int(std::lround(weights[i] / sum * 65536.0));
        total += fixed[i];
    }
    fixed[size_t(half)] += 65536 - total;   // exact sum
    return fixed;
}

} // namespace

void sharpenLuminance(QImage& image, double amount, double radius)
{
    if (image.isNull() || !(amount != 0.0) || !std::isfinite(amount) || !(radius > 0.0))
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    const int width = image.width();
    const int height = image.height();
    const std::vector<int> kernel = gaussianKernel(radius);
    const int half = int(kernel.size() / 2);

    // Luma (Rec. 709 weights, 8.8 fixed point), then a separable blur of it.
    std::vector<quint16> luma(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        quint16* out = luma.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            const QRgb p = line[x];
            out[x] = quint16((54 * qRed(p) + 183 * qGreen(p) + 19 * qBlue(p)));   // 0..65280
        }
    }
    std::vector<quint16> across(luma.size());
    for (int y = 0; y < height; ++y) {
        const quint16* in = luma.data() + size_t(y) * size_t(width);
        quint16* out = across.data() + size_t(y) * size_t(width);
        for (int x = 0; x < width; ++x) {
            qint64 sum = 0;
            for (int k = -half; k <= half; ++k)
                sum += qint64(kernel[size_t(k + half)]) * in[std::clamp(x + k, 0, width - 1)];
            out[x] = quint16(sum >> 16);
        }
    }
    const int amountFixed = int(std::lround(amount * 65536.0));
    const bool premultiplied = image.format() == QImage::Format_ARGB32_Premultiplied;
    std::vector<const quint16*> rows(kernel.size());
    for (int y = 0; y < height; ++y) {
        for (int k = -half; k <= half; ++k)
            rows[size_t(k + half)] = across.data() + size_t(std::clamp(y + k, 0, height - 1)) * size_t(width);
        const quint16* original = luma.data() + size_t(y) * size_t(width);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            qint64 blurred = 0;
            for (size_t k = 0; k < kernel.size(); ++k)
                blurred += qint64(kernel[k]) * rows[k][x];
            const qint64 detail = qint64(original[x]) - (blurred >> 16);   // 8.8 fixed point
            const int delta = int((detail * amountFixed) >> 24);           // back to 0..255 units
            if (delta == 0)
                continue;
            const QRgb p = line[x];
            const int a = qAlpha(p);
            // Premultiplied channels move by the alpha-scaled amount and stay at most alpha.
            const int d = premultiplied ? delta * a / 255 : delta;
            const int top = premultiplied ? a : 255;
            line[x] = qRgba(std::clamp(qRed(p) + d, 0, top), std::clamp(qGreen(p) + d, 0, top),
                            std::clamp(qBlue(p) + d, 0, top), a);
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
    return image;
}

} // namespace plr_export

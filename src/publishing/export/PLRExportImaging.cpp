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
// The taps either side of the centre of a Gaussian of this standard deviation.
int kernelHalfWidth(double sigma)
{
    return std::max(1, int(std::ceil(sigma * 3.0)));
}

std::vector<float> gaussianKernel(double sigma)
{
    const int half = kernelHalfWidth(sigma);
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

LumaSharpener::LumaSharpener(int width, int height, bool premultiplied, double amount, double radius)
    : m_width(std::max(0, width)), m_height(std::max(0, height)), m_premultiplied(premultiplied), m_gain(float(amount)),
      m_active(m_width > 0 && m_height > 0 && amount != 0.0 && std::isfinite(amount) && radius > 0.0 && std::isfinite(radius))
{
    if (!m_active)
        return;
    m_kernel = gaussianKernel(radius);
    m_half = int(m_kernel.size() / 2);
    const size_t taps = m_kernel.size();
    m_lumaRing.assign(taps * size_t(m_width), 0.0f);
    m_acrossRing.assign(taps * size_t(m_width), 0.0f);
    m_ringRow.assign(taps, -1);
    m_blurred.assign(size_t(m_width), 0.0f);
    m_original.assign(size_t(m_width), 0.0f);
}

qint64 LumaSharpener::bytesFor(int width, double radius)
{
    const qint64 taps = 2 * qint64(kernelHalfWidth(radius)) + 1;
    return (2 * taps + 2) * qint64(std::max(0, width)) * qint64(sizeof(float));
}

int LumaSharpener::rowsNeededFor(int y) const
{
    return std::clamp(y + m_half + 1, 0, m_height);
}

// Luma (Rec. 709 weights) and its blur across, in floating point (no level is lost or biased
// before the detail is taken), kept for the rows the blur down needs only: a ring of rows,
// filled from the picture's rows before they are changed.
size_t LumaSharpener::slotOf(int row, const RowSource& source)
{
    const size_t taps = m_kernel.size();
    const size_t slot = size_t(row) % taps;
    if (m_ringRow[slot] == row)
        return slot;
    m_ringRow[slot] = row;
    const QRgb* line = source(row);
    float* luma = m_lumaRing.data() + slot * size_t(m_width);
    for (int x = 0; x < m_width; ++x) {
        const QRgb p = line[x];
        luma[x] = 0.2126f * float(qRed(p)) + 0.7152f * float(qGreen(p)) + 0.0722f * float(qBlue(p));
    }
    float* across = m_acrossRing.data() + slot * size_t(m_width);
    const int half = m_half;
    for (int x = 0; x < m_width; ++x) {
        float sum = 0.0f;
        if (x >= half && x + half < m_width) {
            const float* at = luma + x - half;
            for (size_t k = 0; k < taps; ++k)
                sum += m_kernel[k] * at[k];
        } else {
            for (int k = -half; k <= half; ++k)
                sum += m_kernel[size_t(k + half)] * luma[std::clamp(x + k, 0, m_width - 1)];
        }
        across[x] = sum;
    }
    return slot;
}

void LumaSharpener::sharpenRow(int y, const RowSource& source, QRgb* out)
{
    const QRgb* in = source(y);
    if (!m_active) {
        if (out != in)
            std::copy_n(in, size_t(m_width), out);
        return;
    }
    // Rows below this one are still unchanged; rows above were read before they changed.
    std::fill(m_blurred.begin(), m_blurred.end(), 0.0f);
    for (int k = -m_half; k <= m_half; ++k) {
        const int row = std::clamp(y + k, 0, m_height - 1);
        const size_t slot = slotOf(row, source);
        const float weight = m_kernel[size_t(k + m_half)];
        const float* across = m_acrossRing.data() + slot * size_t(m_width);
        for (int x = 0; x < m_width; ++x)
            m_blurred[size_t(x)] += weight * across[x];
    }
    const size_t own = slotOf(y, source);
    std::copy_n(m_lumaRing.data() + own * size_t(m_width), size_t(m_width), m_original.begin());
    for (int x = 0; x < m_width; ++x) {
        // The unsharp mask: every channel moves by amount x (luma - blurred luma), so the
        // luma alone is sharpened and the colours keep their hue.
        const float detail = m_original[size_t(x)] - m_blurred[size_t(x)];
        const QRgb p = in[x];
        const int a = qAlpha(p);
        // Premultiplied channels move by the alpha-scaled amount and stay at most alpha.
        const int delta = roundSymmetric(m_premultiplied ? m_gain * detail * float(a) / 255.0f : m_gain * detail);
        if (delta == 0) {
            out[x] = p;
            continue;
        }
        const int top = m_premultiplied ? a : 255;
        out[x] = qRgba(std::clamp(qRed(p) + delta, 0, top), std::clamp(qGreen(p) + delta, 0, top), std::clamp(qBlue(p) + delta, 0, top), a);
    }
}

void sharpenLuminance(QImage& image, double amount, double radius)
{
    if (image.isNull() || !(amount != 0.0) || !std::isfinite(amount) || !(radius > 0.0) || !std::isfinite(radius))
        return;
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32
        && image.format() != QImage::Format_ARGB32_Premultiplied)
        image.convertTo(QImage::Format_ARGB32_Premultiplied);
    LumaSharpener sharpener(image.width(), image.height(), image.format() == QImage::Format_ARGB32_Premultiplied, amount, radius);
    // In place: each row's luma is taken into the sharpener's ring before the row is changed.
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto row = [bits, stride](int y) { return reinterpret_cast<const QRgb*>(bits + qsizetype(y) * stride); };
    for (int y = 0; y < image.height(); ++y)
        sharpener.sharpenRow(y, row, reinterpret_cast<QRgb*>(bits + qsizetype(y) * stride));
}

QByteArray encodeJPEG(QImage image, float compression, qint64 dpi)
{
    if (image.isNull())
        return {};
    // The picture is the caller's (moved in): stamping its DPI copies nothing.
    plr_image::setImageDPI(image, dpi <= 0 ? kUnknownDPI : dpi);
    return plr_image::encodeJPEG(image, jpegQuality(compression));
}

QImage decodePhotoAtSize(const QString& path, const QSize& size, QString* error, PLRPhotoProblem* problem,
                         const plr_image::RowsDecoded& rowsDecoded)
{
    return plr_image::decodePhotoAtSize(path, size, error, problem, rowsDecoded);
}

} // namespace plr_export

#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include "store/persistance-store/source/PLRImageUtilities.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <vector>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace plr_image {

namespace {

// The EXIF orientation (1..8) of Qt's transformation flags.
int orientationOf(QImageIOHandler::Transformations transformation)
{
    switch (int(transformation)) {
    case QImageIOHandler::TransformationMirror: return 2;
    case QImageIOHandler::TransformationRotate180: return 3;
    case QImageIOHandler::TransformationFlip: return 4;
    case QImageIOHandler::TransformationFlipAndRotate90: return 5;
    case QImageIOHandler::TransformationRotate90: return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90: return 7;
    case QImageIOHandler::TransformationRotate270: return 8;
    default: return 1;
    }
}

// What a photo's header tells: its stored size, its orientation and whether libjpeg reads it.
struct Header {
    QSize stored;
    int orientation = 1;
    bool jpeg = false;
    QString error;
};

Header readHeader(const QString& path)
{
    Header header;
    QImageReader reader(path);
    reader.setAutoTransform(false);
    header.stored = reader.size();
    if (!header.stored.isValid() || header.stored.isEmpty()) {
        header.error = reader.errorString();
        return header;
    }
    header.orientation = orientationOf(reader.transformation());
    header.jpeg = reader.format() == "jpeg";
    return header;
}

// The size wanted in the photo's stored orientation: never larger than the photo.
QSize storedWanted(const Header& header, const QSize& uprightSize)
{
    if (!uprightSize.isValid() || uprightSize.isEmpty())
        return header.stored;
    const QSize wanted = orientationSwapsAxes(header.orientation) ? uprightSize.transposed() : uprightSize;
    if (wanted.width() >= header.stored.width() || wanted.height() >= header.stored.height())
        return header.stored;
    return wanted;
}

// Scales rows arriving one after another (as a decoder gives them) down to a picture of the
// wanted size by area averaging, so that the full decoded picture is never held: only the
// output and two rows of sums.
class RowScaler {
public:
    void init(int sourceWidth, int sourceHeight, QImage* output)
    {
        m_out = output;
        m_width = output->width();
        m_height = output->height();
        m_sy = double(sourceHeight) / double(m_height);
        const double sx = double(sourceWidth) / double(m_width);
        m_first.assign(size_t(m_width), 0);
        m_count.assign(size_t(m_width), 0);
        m_weights.clear();
        for (int x = 0; x < m_width; ++x) {
            const double start = x * sx, end = std::min(double(sourceWidth), (x + 1) * sx);
            const int first = int(std::floor(start));
            m_first[size_t(x)] = first;
            int count = 0;
            for (int i = first; i < sourceWidth && i < end; ++i, ++count)
                m_weights.push_back(float((std::min(end, double(i + 1)) - std::max(start, double(i))) / sx));
            m_count[size_t(x)] = count;
        }
        m_row.assign(size_t(m_width) * 3, 0.0f);
        m_sum.assign(size_t(m_width) * 3, 0.0f);
        m_nextSum.assign(size_t(m_width) * 3, 0.0f);
        m_sourceRow = 0;
        m_outputRow = 0;
    }

    void addRow(const QRgb* source)
    {
        size_t w = 0;
        for (int x = 0; x < m_width; ++x) {
            float r = 0, g = 0, b = 0;
            const QRgb* at = source + m_first[size_t(x)];
            for (int k = 0; k < m_count[size_t(x)]; ++k, ++w) {
                const float weight = m_weights[w];
                r += weight * float(qRed(at[k]));
                g += weight * float(qGreen(at[k]));
                b += weight * float(qBlue(at[k]));
            }
            m_row[size_t(x) * 3] = r;
            m_row[size_t(x) * 3 + 1] = g;
            m_row[size_t(x) * 3 + 2] = b;
        }
        const double top = m_sourceRow, bottom = m_sourceRow + 1.0;
        ++m_sourceRow;
        if (m_outputRow >= m_height)
            return;
        const double end = (m_outputRow + 1) * m_sy;
        const float here = float((std::min(bottom, end) - std::max(top, m_outputRow * m_sy)) / m_sy);
        for (size_t i = 0; i < m_row.size(); ++i)
            m_sum[i] += here * m_row[i];
        if (bottom >= end - 1e-9) {
            // The rest of this row belongs to the next output row.
            const float rest = float(std::max(0.0, std::min(bottom, end + m_sy) - end) / m_sy);
            for (size_t i = 0; i < m_row.size(); ++i)
                m_nextSum[i] = rest * m_row[i];
            emitRow();
        }
    }

    // Writes what is left (a last row that rounding left short).
    void finish()
    {
        while (m_outputRow < m_height)
            emitRow();
    }

private:
    void emitRow()
    {
        auto* line = reinterpret_cast<QRgb*>(m_out->scanLine(m_outputRow));
        for (int x = 0; x < m_width; ++x) {
            const auto channel = [&](size_t i) { return std::clamp(int(m_sum[size_t(x) * 3 + i] + 0.5f), 0, 255); };
            line[x] = qRgb(channel(0), channel(1), channel(2));
        }
        m_sum.swap(m_nextSum);
        std::fill(m_nextSum.begin(), m_nextSum.end(), 0.0f);
        ++m_outputRow;
    }

    QImage* m_out = nullptr;
    int m_width = 0;
    int m_height = 0;
    double m_sy = 1.0;
    std::vector<int> m_first;
    std::vector<int> m_count;
    std::vector<float> m_weights;
    std::vector<float> m_row;
    std::vector<float> m_sum;
    std::vector<float> m_nextSum;
    int m_sourceRow = 0;
    int m_outputRow = 0;
};

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onJpegError(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

void onJpegMessage(j_common_ptr, int)
{
    // Warnings (a truncated file, odd markers) are not errors: what could be decoded is kept.
}

// Decodes the JPEG at n/8 of its stored size, scaled down on the way to `wanted` (in stored
// orientation) when that is smaller, into `out` (32-bit RGB), with its colour profile. Every
// object with a destructor is made before the jump point (see onJpegError).
bool decodeJpegScaled(const QString& path, int numerator, const QSize& wanted, QImage& out, QByteArray& profile, QString& error)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file) {
        error = QStringLiteral("the file cannot be opened");
        return false;
    }
    jpeg_decompress_struct info {};
    JpegError failure {};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = onJpegError;
    failure.manager.emit_message = onJpegMessage;
    RowScaler scaler;
    QImage row;
    JOCTET* icc = nullptr;
    if (setjmp(failure.jump)) {
        // (The profile's memory is taken before any later call can fail.)
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        error = QString::fromLocal8Bit(failure.message);
        out = QImage();
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);   // the ICC profile
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        error = QStringLiteral("CMYK");
        return false;
    }
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&info, &icc, &iccLength) && icc && iccLength > 0)
        profile = QByteArray(reinterpret_cast<const char*>(icc), int(iccLength));
    std::free(icc);
    icc = nullptr;
    info.scale_num = unsigned(std::clamp(numerator, 1, 8));
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGRX;   // QImage::Format_RGB32 in memory, little-endian
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    jpeg_calc_output_dimensions(&info);
    const int width = int(info.output_width), height = int(info.output_height);
    const bool scales = wanted.isValid() && !wanted.isEmpty() && wanted.width() <= width && wanted.height() <= height
        && QSize(width, height) != wanted;
    out = QImage(scales ? wanted : QSize(width, height), QImage::Format_RGB32);
    if (scales)
        row = QImage(width, 1, QImage::Format_RGB32);
    if (out.isNull() || (scales && row.isNull())) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        error = QStringLiteral("not enough memory for %1 x %2 pixels").arg(width).arg(height);
        out = QImage();
        return false;
    }
    if (scales)
        scaler.init(width, height, &out);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        JSAMPROW target = scales ? row.scanLine(0) : out.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &target, 1);
        if (scales)
            scaler.addRow(reinterpret_cast<const QRgb*>(row.constScanLine(0)));
    }
    if (scales)
        scaler.finish();
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

} // namespace

int jpegScaleNumerator(const QSize& stored, const QSize& wanted)
{
    if (!stored.isValid() || stored.isEmpty() || !wanted.isValid() || wanted.isEmpty())
        return 8;
    for (int n = 1; n < 8; ++n) {
        // libjpeg rounds scaled dimensions up.
        const qint64 width = (qint64(stored.width()) * n + 7) / 8;
        const qint64 height = (qint64(stored.height()) * n + 7) / 8;
        if (width >= wanted.width() && height >= wanted.height())
            return n;
    }
    return 8;
}

qint64 decodeBytesAtSize(const QString& path, const QSize& uprightSize)
{
    const Header header = readHeader(path);
    if (!header.stored.isValid() || header.stored.isEmpty())
        return 0;
    const QSize wanted = storedWanted(header, uprightSize);
    const qint64 picture = qint64(wanted.width()) * wanted.height() * 4;
    if (header.jpeg)
        return picture + picture / 16;   // scaled while decoding: the picture and a few rows
    return picture * 2;                 // decoded, then scaled
}

QImage decodePhotoAtSize(const QString& path, const QSize& uprightSize, QString* error)
{
    const Header header = readHeader(path);
    if (!header.stored.isValid() || header.stored.isEmpty()) {
        if (error)
            *error = header.error.isEmpty() ? QStringLiteral("not a picture") : header.error;
        return {};
    }
    const QSize wanted = storedWanted(header, uprightSize);
    QImage image;
    QString failure;
    if (header.jpeg) {
        QByteArray profile;
        if (decodeJpegScaled(path, jpegScaleNumerator(header.stored, wanted), wanted, image, profile, failure) && !profile.isEmpty()) {
            const QColorSpace space = QColorSpace::fromIccProfile(profile);
            if (space.isValid())
                image.setColorSpace(space);
        }
    }
    if (image.isNull()) {
        // Not a JPEG, or one libjpeg will not decode in RGB (CMYK): Qt's reader.
        QImageReader reader(path);
        reader.setAutoTransform(false);
        if (wanted != header.stored)
            reader.setScaledSize(wanted);
        image = reader.read();
        if (image.isNull()) {
            if (error)
                *error = failure.isEmpty() ? reader.errorString() : failure;
            return {};
        }
    }
    if (image.size() != wanted) {
        const QColorSpace space = image.colorSpace();
        image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        image.setColorSpace(space);
    }
    image = applyOrientation(image, header.orientation);
    convertToSRGB(image);
    return image;
}

} // namespace plr_image

#include "store/persistance-store/source/PLRPhotoDecoder.h"

#include "store/persistance-store/source/PLRImageUtilities.h"

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <vector>
#include <cmath>
#include <cstdint>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

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
    QByteArray format;
    QString error;
};

// Whether the file begins as a JPEG does (libjpeg then judges it, also when its header is cut).
bool startsAsJpeg(OpenedPhoto& photo)
{
    QIODevice* file = photo.fromStart();
    if (!file)
        return false;
    const QByteArray start = file->read(3);
    return start.size() == 3 && uchar(start[0]) == 0xFF && uchar(start[1]) == 0xD8 && uchar(start[2]) == 0xFF;
}

Header readHeader(OpenedPhoto& photo)
{
    Header header;
    if (!photo.isOpen()) {
        header.error = photo.error();
        return header;
    }
    const std::unique_ptr<QImageReader> reader = photo.pictureReader();
    reader->setAutoTransform(false);
    header.stored = reader->size();
    if (!header.stored.isValid() || header.stored.isEmpty()) {
        header.error = reader->errorString();
        header.jpeg = startsAsJpeg(photo);
        return header;
    }
    header.orientation = orientationOf(reader->transformation());
    header.format = reader->format();
    header.jpeg = header.format == "jpeg";
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

// Places rows of the picture in its stored orientation (as the decoder gives them, one after
// another) into the upright picture: mirrored, turned or both as the EXIF orientation says, so
// that no turned copy of the whole picture is ever made. Rows of a picture stored sideways
// become columns: they are gathered a few at a time and written in short runs along the
// upright rows.
class UprightWriter {
public:
    static constexpr int kBand = 16;

    // `out` is the upright picture: the stored size, transposed when the orientation swaps axes.
    void init(QImage* out, int orientation)
    {
        m_out = out;
        m_orientation = (orientation >= 1 && orientation <= 8) ? orientation : 1;
        m_swaps = orientationSwapsAxes(m_orientation);
        m_storedWidth = m_swaps ? out->height() : out->width();
        m_storedHeight = m_swaps ? out->width() : out->height();
        m_band.assign(m_swaps ? size_t(m_storedWidth) * kBand : 0, 0);
        m_bandFirst = 0;
        m_bandRows = 0;
    }

    // A buffer for stored row `y` (m_storedWidth pixels), to fill and hand to put(): the upright
    // row itself when nothing has to turn, so that most rows are written in place.
    QRgb* rowBuffer(int y)
    {
        if (m_swaps)
            return m_band.data() + size_t(m_bandRows) * size_t(m_storedWidth);
        if (m_orientation == 1)
            return reinterpret_cast<QRgb*>(m_out->scanLine(y));
        m_row.resize(size_t(m_storedWidth));
        return m_row.data();
    }

    // Told after each upright row that is final, when rows are written top to bottom.
    std::function<void(int rows)> rowDone;

    void put(int y)
    {
        switch (m_orientation) {
        case 1:
            // Written in place.
            if (rowDone)
                rowDone(y + 1);
            return;
        case 2:
        case 3:
        case 4: {
            // Mirrored across (2), turned half way (3) or upside down (4).
            const int target = m_orientation == 2 ? y : m_storedHeight - 1 - y;
            auto* line = reinterpret_cast<QRgb*>(m_out->scanLine(target));
            if (m_orientation == 4)
                std::copy(m_row.begin(), m_row.end(), line);
            else
                std::reverse_copy(m_row.begin(), m_row.end(), line);
            if (m_orientation == 2 && rowDone)
                rowDone(y + 1);
            return;
        }
        default:
            if (m_bandRows == 0)
                m_bandFirst = y;
            if (++m_bandRows == kBand)
                flushBand();
        }
    }

    void finish()
    {
        if (m_swaps && m_bandRows > 0)
            flushBand();
    }

private:
    // Stored pixel (x, y) goes to upright column c and row r: 5 (x, y) -> (y, x); 6 -> (H-1-y, x);
    // 7 -> (H-1-y, W-1-x); 8 -> (y, W-1-x), W and H the stored size.
    void flushBand()
    {
        const bool reverseColumns = m_orientation == 6 || m_orientation == 7;
        const bool reverseRows = m_orientation == 7 || m_orientation == 8;
        for (int x = 0; x < m_storedWidth; ++x) {
            const int row = reverseRows ? m_storedWidth - 1 - x : x;
            auto* line = reinterpret_cast<QRgb*>(m_out->scanLine(row));
            const QRgb* from = m_band.data() + x;
            for (int k = 0; k < m_bandRows; ++k) {
                const int y = m_bandFirst + k;
                line[reverseColumns ? m_storedHeight - 1 - y : y] = from[size_t(k) * size_t(m_storedWidth)];
            }
        }
        m_bandRows = 0;
    }

    QImage* m_out = nullptr;
    int m_orientation = 1;
    bool m_swaps = false;
    int m_storedWidth = 0;
    int m_storedHeight = 0;
    std::vector<QRgb> m_row;
    std::vector<QRgb> m_band;
    int m_bandFirst = 0;
    int m_bandRows = 0;
};

// Scales rows arriving one after another (as a decoder gives them) down to a picture of the
// wanted size by area averaging, so that the full decoded picture is never held: only the
// output and two rows of sums.
class RowScaler {
public:
    void init(int sourceWidth, int sourceHeight, int width, int height, UprightWriter* output)
    {
        m_out = output;
        m_width = width;
        m_height = height;
        m_sy = double(sourceHeight) / double(m_height);
        const double sx = double(sourceWidth) / double(m_width);
        m_first.assign(size_t(m_width), 0);
        m_count.assign(size_t(m_width), 0);
        // Each output pixel's weights over the source pixels it covers, in 1/4096ths summing
        // to exactly 4096, so that a flat row stays flat.
        m_weights.clear();
        for (int x = 0; x < m_width; ++x) {
            const double start = x * sx, end = std::min(double(sourceWidth), (x + 1) * sx);
            const int first = int(std::floor(start));
            m_first[size_t(x)] = first;
            const size_t from = m_weights.size();
            int total = 0;
            size_t largest = from;
            for (int i = first; i < sourceWidth && i < end; ++i) {
                const double fraction = (std::min(end, double(i + 1)) - std::max(start, double(i))) / sx;
                const auto weight = std::uint32_t(std::lround(fraction * kOne));
                total += int(weight);
                if (m_weights.size() == from || weight > m_weights[largest])
                    largest = m_weights.size();
                m_weights.push_back(weight);
            }
            if (m_weights.size() > from)
                m_weights[largest] = std::uint32_t(int(m_weights[largest]) + kOne - total);
            m_count[size_t(x)] = int(m_weights.size() - from);
        }
        m_row.assign(size_t(m_width) * 3, 0.0f);
        m_sum.assign(size_t(m_width) * 3, 0.0f);
        m_nextSum.assign(size_t(m_width) * 3, 0.0f);
        m_sourceRow = 0;
        m_outputRow = 0;
    }

    void addRow(const QRgb* source)
    {
        // Across: the three channels of a pixel are spread into lanes 21 bits apart of one
        // 64-bit word, so that one multiply-add weighs all three (each lane's sum stays below
        // 4096 x 255 < 2^20).
        size_t w = 0;
        for (int x = 0; x < m_width; ++x) {
            std::uint64_t lanes = 0;
            const QRgb* at = source + m_first[size_t(x)];
            for (int k = 0; k < m_count[size_t(x)]; ++k, ++w) {
                const std::uint64_t p = at[k];
                const std::uint64_t spread = (p & 0xFF) | ((p & 0xFF00) << 13) | ((p & 0xFF0000) << 26);
                lanes += spread * m_weights[w];
            }
            constexpr std::uint64_t lane = (std::uint64_t(1) << 21) - 1;
            m_row[size_t(x) * 3] = float((lanes >> 42) & lane);        // red
            m_row[size_t(x) * 3 + 1] = float((lanes >> 21) & lane);    // green
            m_row[size_t(x) * 3 + 2] = float(lanes & lane);            // blue
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
        QRgb* line = m_out->rowBuffer(m_outputRow);
        for (int x = 0; x < m_width; ++x) {
            const auto channel = [&](size_t i) { return std::clamp(int(m_sum[size_t(x) * 3 + i] * (1.0f / kOne) + 0.5f), 0, 255); };
            line[x] = qRgb(channel(0), channel(1), channel(2));
        }
        m_out->put(m_outputRow);
        m_sum.swap(m_nextSum);
        std::fill(m_nextSum.begin(), m_nextSum.end(), 0.0f);
        ++m_outputRow;
    }

    UprightWriter* m_out = nullptr;
    int m_width = 0;
    int m_height = 0;
    double m_sy = 1.0;
    std::vector<int> m_first;
    std::vector<int> m_count;
    static constexpr int kOne = 4096;
    std::vector<std::uint32_t> m_weights;
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
    PLRPhotoProblem problem = PLRPhotoProblem::None;
    long extraneousBytes = 0;   // skipped before markers so far
};

// Bytes that are no marker where one should be, as cameras write them: a few bytes of padding
// before a marker (most often the end of the image), a handful in a file. More is data the
// header does not account for: a frame header that declares fewer pixels than the data holds
// leaves the rest of the picture's data before the end marker (thousands of bytes).
constexpr long kMostExtraneousBytesPerMarker = 64;
constexpr long kMostExtraneousBytes = 256;

void onJpegError(j_common_ptr info)
{
    auto* error = reinterpret_cast<JpegError*>(info->err);
    (*info->err->format_message)(info, error->message);
    error->problem = PLRPhotoProblem::Unreadable;
    std::longjmp(error->jump, 1);
}

// The warnings after which libjpeg would go on with grey (or garbled) pixels in place of the
// picture: the file ended early, or its data does not match its header. They end the decode.
// Others (an unknown JFIF version, a bad colour profile, the few extraneous bytes between
// markers that camera files carry) leave the pixels whole and are let through.
void onJpegMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;   // trace messages
    auto* error = reinterpret_cast<JpegError*>(info->err);
    PLRPhotoProblem problem = PLRPhotoProblem::None;
    switch (info->err->msg_code) {
    case JWRN_EXTRANEOUS_DATA: {   // "Corrupt JPEG data: %u extraneous bytes before marker 0x%02x"
        const long bytes = std::max(0, info->err->msg_parm.i[0]);
        error->extraneousBytes += bytes;
        if (bytes <= kMostExtraneousBytesPerMarker && error->extraneousBytes <= kMostExtraneousBytes)
            return;
        problem = PLRPhotoProblem::Unreadable;
        break;
    }
    case JWRN_JPEG_EOF:
        problem = PLRPhotoProblem::CutShort;   // "Premature end of JPEG file"
        break;
    case JWRN_HIT_MARKER:   // "Corrupt JPEG data: premature end of data segment"
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_MUST_RESYNC:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
        problem = PLRPhotoProblem::Unreadable;
        break;
    default:
        return;
    }
    (*info->err->format_message)(info, error->message);
    error->problem = problem;
    std::longjmp(error->jump, 1);
}

// CMYK rows (an Adobe file's inverted values, as every CMYK JPEG in use stores them) turned into
// RGB in place: both are four bytes a pixel.
void cmykToRgb(JSAMPROW row, int width)
{
    auto* out = reinterpret_cast<QRgb*>(row);
    for (int x = 0; x < width; ++x) {
        const JSAMPLE* in = row + size_t(x) * 4;
        const int k = in[3];
        out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
    }
}

// Decodes the JPEG at n/8 of its stored size, scaled down on the way to `wanted` (in stored
// orientation) when that is smaller, into `out` (32-bit RGB) turned upright as `orientation`
// says, with the colour space of its profile (not valid when it has none or an unreadable one).
// Every object with a destructor is made before the jump point (see onJpegError).
bool decodeJpegScaled(OpenedPhoto& photo, int numerator, const QSize& wanted, int orientation, QImage& out, QColorSpace& space,
                      QString& error, PLRPhotoProblem& problem, const RowsDecoded& rowsDecoded = {})
{
    std::FILE* file = photo.stream();
    if (!file) {
        problem = PLRPhotoProblem::Unreadable;
        error = QStringLiteral("the file cannot be read: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    jpeg_decompress_struct info {};
    JpegError failure {};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = onJpegError;
    failure.manager.emit_message = onJpegMessage;
    UprightWriter writer;
    RowScaler scaler;
    QImage row;
    JOCTET* icc = nullptr;
    if (setjmp(failure.jump)) {
        // (The profile's memory is taken before any later call can fail.)
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        error = QString::fromLocal8Bit(failure.message);
        problem = failure.problem;
        out = QImage();
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_save_markers(&info, JPEG_APP0 + 2, 0xFFFF);   // the ICC profile
    jpeg_read_header(&info, TRUE);
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    unsigned int iccLength = 0;
    if (jpeg_read_icc_profile(&info, &icc, &iccLength) && icc && iccLength > 0)
        space = QColorSpace::fromIccProfile(QByteArray(reinterpret_cast<const char*>(icc), int(iccLength)));
    std::free(icc);
    icc = nullptr;
    info.scale_num = unsigned(std::clamp(numerator, 1, 8));
    info.scale_denom = 8;
    // QImage::Format_RGB32 in memory (little-endian); CMYK rows are turned into it as they come.
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    info.dct_method = JDCT_ISLOW;
    info.do_fancy_upsampling = TRUE;
    jpeg_calc_output_dimensions(&info);
    const int width = int(info.output_width), height = int(info.output_height);
    const bool scales = wanted.isValid() && !wanted.isEmpty() && wanted.width() <= width && wanted.height() <= height
        && QSize(width, height) != wanted;
    const QSize stored = scales ? wanted : QSize(width, height);
    out = QImage(orientationSwapsAxes(orientation) ? stored.transposed() : stored, QImage::Format_RGB32);
    if (scales)
        row = QImage(width, 1, QImage::Format_RGB32);
    if (out.isNull() || (scales && row.isNull())) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        problem = PLRPhotoProblem::Unreadable;
        error = QStringLiteral("not enough memory for %1 x %2 pixels").arg(width).arg(height);
        out = QImage();
        return false;
    }
    writer.init(&out, orientation);
    // Rows are final as they come when they come top to bottom and need no conversion to sRGB.
    if (rowsDecoded && (orientation == 1 || orientation == 2) && (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)))
        writer.rowDone = [&out, &rowsDecoded](int rows) {
            rowsDecoded(DecodedRows{out.constBits(), out.bytesPerLine(), out.size(), rows});
        };
    if (scales)
        scaler.init(width, height, stored.width(), stored.height(), &writer);
    jpeg_start_decompress(&info);
    while (info.output_scanline < info.output_height) {
        const int y = int(info.output_scanline);
        JSAMPROW target = scales ? row.scanLine(0) : reinterpret_cast<JSAMPROW>(writer.rowBuffer(y));
        jpeg_read_scanlines(&info, &target, 1);
        if (cmyk)
            cmykToRgb(target, width);
        if (scales)
            scaler.addRow(reinterpret_cast<const QRgb*>(row.constScanLine(0)));
        else
            writer.put(y);
    }
    if (scales)
        scaler.finish();
    writer.finish();
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

// What a BMP or GIF file's own structure says of its end: whether the file stops before the
// pixels its header announces (Qt's readers hand back such a picture without a word, its
// missing part left blank). Only the headers and block lengths are read, never more than the
// file holds.
bool bmpEndsEarly(QIODevice& file)
{
    const QByteArray head = file.read(34);
    if (head.size() < 34)
        return true;
    const auto u16 = [&](int at) { return quint32(uchar(head[at])) | quint32(uchar(head[at + 1])) << 8; };
    const auto u32 = [&](int at) { return u16(at) | u16(at + 2) << 16; };
    const qint64 offset = u32(10);
    const qint64 width = qint32(u32(18));
    const qint64 height = qint32(u32(22));
    const qint64 bits = u16(28);
    const quint32 compression = u32(30);
    if (compression != 0 && compression != 3)
        return false;   // run-length coded: its length is not known from the header
    const qint64 rowBytes = (std::abs(width) * bits + 31) / 32 * 4;
    return file.size() < offset + rowBytes * std::abs(height);
}

bool gifEndsEarly(QIODevice& file)
{
    constexpr qint64 kLargest = qint64(512) * 1024 * 1024;
    if (file.size() > kLargest)
        return false;
    const QByteArray data = file.readAll();
    const qint64 size = data.size();
    const auto at = [&](qint64 i) { return int(uchar(data[i])); };
    const auto colourTable = [](int packed) { return (packed & 0x80) ? 3 * (qint64(1) << ((packed & 7) + 1)) : qint64(0); };
    if (size < 13)
        return true;
    qint64 pos = 13 + colourTable(at(10));
    // Data sub-blocks: a length byte and that many bytes, until a length of 0.
    const auto skipSubBlocks = [&]() {
        while (pos < size) {
            const int length = at(pos);
            pos += 1 + length;
            if (length == 0)
                return true;
        }
        return false;
    };
    while (pos < size) {
        switch (at(pos)) {
        case 0x3B:   // the trailer: the file is whole
            return false;
        case 0x21:   // an extension
            pos += 2;
            if (!skipSubBlocks())
                return true;
            break;
        case 0x2C:   // an image: its descriptor, its own colours, the code size, its data
            if (pos + 10 > size)
                return true;
            pos += 10 + colourTable(at(pos + 9)) + 1;
            if (!skipSubBlocks())
                return true;
            break;
        default:
            return false;   // not a block this check knows: Qt's reader judges it
        }
    }
    return true;
}

bool endsEarly(OpenedPhoto& photo, const QByteArray& format)
{
    if (format != "bmp" && format != "gif")
        return false;
    QIODevice* file = photo.fromStart();
    if (!file)
        return false;
    return format == "bmp" ? bmpEndsEarly(*file) : gifEndsEarly(*file);
}

QImage decode(const Header& header, OpenedPhoto& photo, const QSize& uprightSize, int orientation, QString* error,
              PLRPhotoProblem* problem, const RowsDecoded& rowsDecoded = {})
{
    const auto fail = [&](PLRPhotoProblem what, const QString& why) {
        if (error)
            *error = why;
        if (problem)
            *problem = what;
        return QImage();
    };
    if (problem)
        *problem = PLRPhotoProblem::None;
    // Everything is read through the file opened once: a file that was there when it was
    // opened is judged whole, whatever happens at its path meanwhile; one that was not is gone.
    if (!photo.isOpen())
        return fail(photo.missing() ? PLRPhotoProblem::Missing : PLRPhotoProblem::Unreadable, photo.error());
    qint64 size = 0, modifiedNs = 0;
    if (!photo.stamp(&size, &modifiedNs) || size == 0)
        return fail(PLRPhotoProblem::Unreadable, QStringLiteral("the file is empty"));
    const bool sized = header.stored.isValid() && !header.stored.isEmpty();
    if (!sized && !header.jpeg)
        return fail(PLRPhotoProblem::Unreadable, header.error.isEmpty() ? QStringLiteral("not a picture") : header.error);
    Header oriented = header;
    oriented.orientation = orientation;
    const QSize wanted = sized ? storedWanted(oriented, uprightSize) : QSize();
    QImage image;
    if (header.jpeg) {
        // libjpeg judges every JPEG, also one whose header Qt could not read (cut inside it).
        QColorSpace space;
        QString failure;
        PLRPhotoProblem what = PLRPhotoProblem::None;
        if (!decodeJpegScaled(photo, sized ? jpegScaleNumerator(header.stored, wanted) : 1, wanted, orientation, image, space, failure, what,
                              sized ? rowsDecoded : RowsDecoded()))
            return fail(what == PLRPhotoProblem::None ? PLRPhotoProblem::Unreadable : what, failure);
        if (!sized)
            return fail(PLRPhotoProblem::Unreadable, header.error.isEmpty() ? QStringLiteral("no picture size") : header.error);
        if (space.isValid())
            image.setColorSpace(space);
    } else {
        if (endsEarly(photo, header.format))
            return fail(PLRPhotoProblem::CutShort, QStringLiteral("the file ends before its picture does"));
        const std::unique_ptr<QImageReader> reader = photo.pictureReader();
        reader->setAutoTransform(false);
        if (wanted != header.stored)
            reader->setScaledSize(wanted);
        image = reader->read();
        if (image.isNull())
            return fail(PLRPhotoProblem::Unreadable, reader->errorString());
        // A reader that could not scale gives the whole picture; anything else is not the
        // picture its header describes.
        if (image.size() != wanted && image.size() != header.stored)
            return fail(PLRPhotoProblem::Unreadable, QStringLiteral("a picture of %1 x %2 pixels where the header says %3 x %4")
                                                        .arg(image.width())
                                                        .arg(image.height())
                                                        .arg(header.stored.width())
                                                        .arg(header.stored.height()));
        if (image.size() != wanted) {
            const QColorSpace space = image.colorSpace();
            image = image.scaled(wanted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            image.setColorSpace(space);
        }
        image = applyOrientation(image, orientation);
    }
    const QSize upright = orientationSwapsAxes(orientation) ? wanted.transposed() : wanted;
    if (image.size() != upright)
        return fail(PLRPhotoProblem::Unreadable, QStringLiteral("a picture of %1 x %2 pixels where %3 x %4 were expected")
                                                    .arg(image.width())
                                                    .arg(image.height())
                                                    .arg(upright.width())
                                                    .arg(upright.height()));
    convertToSRGB(image);
    return image;
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

namespace {

// What libjpeg keeps of a whole JPEG while decoding it when the file is progressive (or its
// colours come in several scans): every DCT coefficient of every component, at the photo's full
// size whatever the scale of the decode (about 3 bytes a pixel for 4:2:0, 6 for 4:4:4). 0 for a
// file of one scan, decoded a few rows at a time, or when its header cannot be read.
qint64 jpegWholeImageBytes(OpenedPhoto& photo)
{
    std::FILE* file = photo.stream();
    if (!file)
        return 0;
    jpeg_decompress_struct info {};
    JpegError failure {};
    info.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = onJpegError;
    failure.manager.emit_message = onJpegMessage;
    if (setjmp(failure.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return 0;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    qint64 bytes = 0;
    if (jpeg_has_multiple_scans(&info)) {
        // As libjpeg's coefficient controller sizes its arrays: blocks rounded up to whole MCUs.
        for (int i = 0; i < info.num_components; ++i) {
            const jpeg_component_info& component = info.comp_info[i];
            const auto roundUp = [](qint64 value, qint64 multiple) { return multiple > 0 ? (value + multiple - 1) / multiple * multiple : value; };
            bytes += roundUp(component.width_in_blocks, component.h_samp_factor) * roundUp(component.height_in_blocks, component.v_samp_factor)
                * qint64(sizeof(JBLOCK));
        }
    }
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return bytes;
}

} // namespace

qint64 decodeBytesAtSize(const QString& path, const QSize& uprightSize)
{
    OpenedPhoto photo(path);
    const Header header = readHeader(photo);
    if (!header.stored.isValid() || header.stored.isEmpty())
        return 0;
    const QSize wanted = storedWanted(header, uprightSize);
    const qint64 picture = qint64(wanted.width()) * wanted.height() * 4;
    // Scaled and turned while decoding: the picture and a few rows, and the whole photo's
    // coefficients when it is progressive.
    if (header.jpeg)
        return picture + picture / 16 + jpegWholeImageBytes(photo);
    // Qt's reader decodes the whole photo, which is then scaled (and turned).
    const qint64 whole = qint64(header.stored.width()) * header.stored.height() * 4;
    return std::max(whole + picture, picture * 2);
}

QImage decodePhotoAtSize(const QString& path, const QSize& uprightSize, QString* error, PLRPhotoProblem* problem,
                         const RowsDecoded& rowsDecoded)
{
    OpenedPhoto photo(path);
    const Header header = readHeader(photo);
    return decode(header, photo, uprightSize, header.orientation, error, problem, rowsDecoded);
}

PLRPhotoProblem checkPhoto(const QString& path, QString* error)
{
    PLRPhotoProblem problem = PLRPhotoProblem::None;
    // One pixel: a JPEG is decoded at 1/8 and averaged on the way, nothing of it kept.
    decodePhotoAtSize(path, QSize(1, 1), error, &problem);
    return problem;
}

QImage decodePhotoUpright(const QString& path, int orientation, const std::function<QSize(const QSize&)>& sizeFor, QString* error,
                          PLRPhotoProblem* problem)
{
    OpenedPhoto photo(path);
    return decodePhotoUpright(photo, orientation, sizeFor, error, problem);
}

QImage decodePhotoUpright(OpenedPhoto& photo, int orientation, const std::function<QSize(const QSize&)>& sizeFor, QString* error,
                          PLRPhotoProblem* problem)
{
    const Header header = readHeader(photo);
    if (orientation < 1 || orientation > 8)
        orientation = header.orientation;
    const QSize upright = orientationSwapsAxes(orientation) ? header.stored.transposed() : header.stored;
    return decode(header, photo, sizeFor && upright.isValid() ? sizeFor(upright) : QSize(), orientation, error, problem);
}

} // namespace plr_image

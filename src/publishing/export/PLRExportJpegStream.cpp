#include "publishing/export/PLRExportJpegStream.h"

#include "publishing/export/PLRExportImaging.h"
#include "publishing/export/PLRExportNames.h"
#include "store/persistance-store/source/PLRImageUtilities.h"

#include <QColorSpace>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace plr_export {

namespace {

constexpr size_t kChunk = 4096;

struct Destination {
    jpeg_destination_mgr manager;
    QByteArray* bytes = nullptr;
};

void initDestination(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    destination->bytes->resize(qsizetype(kChunk));
    destination->manager.next_output_byte = reinterpret_cast<JOCTET*>(destination->bytes->data());
    destination->manager.free_in_buffer = kChunk;
}

boolean growDestination(j_compress_ptr info)
{
    // libjpeg asks for room when the buffer is full, whatever free_in_buffer says.
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    const qsizetype used = destination->bytes->size();
    const qsizetype grown = used + std::max<qsizetype>(qsizetype(kChunk), used);
    destination->bytes->resize(grown);
    destination->manager.next_output_byte = reinterpret_cast<JOCTET*>(destination->bytes->data() + used);
    destination->manager.free_in_buffer = size_t(grown - used);
    return TRUE;
}

void termDestination(j_compress_ptr info)
{
    auto* destination = reinterpret_cast<Destination*>(info->dest);
    destination->bytes->resize(destination->bytes->size() - qsizetype(destination->manager.free_in_buffer));
}

struct ErrorManager {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void onError(j_common_ptr info)
{
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, error->message);
    std::longjmp(error->jump, 1);
}

void onMessage(j_common_ptr, int) {}

} // namespace

struct JpegRowEncoder::State {
    jpeg_compress_struct info {};
    ErrorManager error {};
    Destination destination {};
    QByteArray bytes;
    std::vector<JSAMPLE> row;
    int width = 0;
    int height = 0;
    int rows = 0;
    int quality = 75;
    int densityUnit = 1;
    int xDensity = 72;
    int yDensity = 72;
    bool created = false;
    bool failed = false;
    QString failure;

    ~State()
    {
        if (created)
            jpeg_destroy_compress(&info);
    }

    void fail()
    {
        failed = true;
        failure = QString::fromLocal8Bit(error.message);
        bytes.clear();
    }
};

JpegRowEncoder::JpegRowEncoder() : m_state(std::make_unique<State>()) {}

JpegRowEncoder::~JpegRowEncoder() = default;

QString JpegRowEncoder::error() const
{
    return m_state->failure;
}

qint64 JpegRowEncoder::bytesFor(int width)
{
    // A row of samples and libjpeg's rows of each component (16 rows of 4:2:0 MCUs, with context).
    return qint64(std::max(0, width)) * 64;
}

bool JpegRowEncoder::encodesAsWhole(const QImage& picture)
{
    return picture.format() == QImage::Format_RGB32 && !picture.colorSpace().isValid() && picture.textKeys().isEmpty();
}

bool JpegRowEncoder::start(int width, int height, float compression, qint64 dpi)
{
    State& s = *m_state;
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
        s.failed = true;
        s.failure = QStringLiteral("a picture of %1 x %2 pixels cannot be a JPEG").arg(width).arg(height);
        return false;
    }
    s.width = width;
    s.height = height;
    s.row.assign(size_t(width) * 3, 0);
    // The density as the image writer stamps it: from the dots per metre the DPI gives, in dots
    // per inch or per centimetre, whichever the dots per metre round to more closely.
    QImage probe(1, 1, QImage::Format_RGB32);
    plr_image::setImageDPI(probe, dpi <= 0 ? kUnknownDPI : dpi);
    const int dpmX = probe.dotsPerMeterX(), dpmY = probe.dotsPerMeterY();
    const double diffInch = std::abs(dpmX * 2.54 / 100. - qRound(dpmX * 2.54 / 100.)) + std::abs(dpmY * 2.54 / 100. - qRound(dpmY * 2.54 / 100.));
    const double diffCm = (std::abs(dpmX / 100. - qRound(dpmX / 100.)) + std::abs(dpmY / 100. - qRound(dpmY / 100.))) * 2.54;
    // (Kept in the state: nothing local is changed after the jump point below.)
    s.quality = std::clamp(jpegQuality(compression), 0, 100);
    if (diffInch < diffCm) {
        s.densityUnit = 1;   // dots per inch
        s.xDensity = qRound(dpmX * 2.54 / 100.);
        s.yDensity = qRound(dpmY * 2.54 / 100.);
    } else {
        s.densityUnit = 2;   // dots per centimetre
        s.xDensity = (dpmX + 50) / 100;
        s.yDensity = (dpmY + 50) / 100;
    }

    s.info.err = jpeg_std_error(&s.error.manager);
    s.error.manager.error_exit = onError;
    s.error.manager.emit_message = onMessage;
    s.destination.bytes = &s.bytes;
    s.destination.manager.init_destination = initDestination;
    s.destination.manager.empty_output_buffer = growDestination;
    s.destination.manager.term_destination = termDestination;
    if (setjmp(s.error.jump)) {
        s.fail();
        return false;
    }
    jpeg_create_compress(&s.info);
    s.created = true;
    s.info.dest = &s.destination.manager;
    s.info.image_width = JDIMENSION(width);
    s.info.image_height = JDIMENSION(height);
    s.info.input_components = 3;
    s.info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&s.info);
    s.info.density_unit = UINT8(s.densityUnit);
    s.info.X_density = UINT16(s.xDensity);
    s.info.Y_density = UINT16(s.yDensity);
    jpeg_set_quality(&s.info, s.quality, TRUE);
    jpeg_start_compress(&s.info, TRUE);
    return true;
}

bool JpegRowEncoder::addRow(const QRgb* row)
{
    State& s = *m_state;
    if (s.failed || !s.created || s.rows >= s.height)
        return false;
    JSAMPLE* out = s.row.data();
    for (int x = 0; x < s.width; ++x) {
        const QRgb p = row[x];
        *out++ = JSAMPLE(qRed(p));
        *out++ = JSAMPLE(qGreen(p));
        *out++ = JSAMPLE(qBlue(p));
    }
    JSAMPROW rows[1] = {s.row.data()};
    if (setjmp(s.error.jump)) {
        s.fail();
        return false;
    }
    jpeg_write_scanlines(&s.info, rows, 1);
    ++s.rows;
    return true;
}

QByteArray JpegRowEncoder::finish()
{
    State& s = *m_state;
    if (s.failed || !s.created || s.rows != s.height)
        return {};
    if (setjmp(s.error.jump)) {
        s.fail();
        return {};
    }
    jpeg_finish_compress(&s.info);
    jpeg_destroy_compress(&s.info);
    s.created = false;
    return std::move(s.bytes);
}

} // namespace plr_export

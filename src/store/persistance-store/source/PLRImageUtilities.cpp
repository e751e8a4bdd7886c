#include "store/persistance-store/source/PLRImageUtilities.h"

#include "platform/Log.h"
#include "platform/Resets.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTransform>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr double kMetresPerInch = 0.0254;
}

qint64 imageDPIValue(const QImage& image)
{
    if (image.isNull() || image.dotsPerMeterX() <= 0)
        return 0;
    // Dots per metre are stored as whole numbers: round away the conversion error before
    // rounding up, so a 72 dpi image answers 72 and not 73.
    const double dpi = image.dotsPerMeterX() * kMetresPerInch;
    return qint64(std::ceil(dpi - 0.05));
}

QByteArray imageDataAfterApplyingDPI(const QByteArray& data, qint64 dpi, float compression)
{
    QImage image;
    if (data.isEmpty() || !image.loadFromData(data)) {
        PLR_LOG_WARN(QStringLiteral("imageDataAfterApplyingDPI: data of %1 bytes is not a readable image")
                         .arg(data.size()));
        return {};
    }
    if (dpi <= 0) {
        PLR_LOG_WARN(QStringLiteral("imageDataAfterApplyingDPI: resolution %1 replaced by 72").arg(dpi));
        dpi = plr_image::kDefaultDPI;
    }
    plr_image::setImageDPI(image, dpi);
    const double factor = std::isfinite(compression) ? std::clamp(double(compression), 0.0, 1.0) : 1.0;
    return plr_image::encodeJPEG(image, int(std::lround(factor * 100.0)));
}

namespace plr_image {

void setImageDPI(QImage& image, qint64 dpi)
{
    if (dpi <= 0)
        dpi = kDefaultDPI;
    const int dotsPerMetre = int(std::lround(double(dpi) / kMetresPerInch));
    image.setDotsPerMeterX(dotsPerMetre);
    image.setDotsPerMeterY(dotsPerMetre);
}

QByteArray encodeJPEG(const QImage& image, int quality)
{
    if (image.isNull())
        return {};
    QImage source = image;
    // JPEG has no alpha: flatten on white rather than on undefined pixels.
    if (source.hasAlphaChannel()) {
        QImage flat(source.size(), QImage::Format_RGB32);
        flat.setDotsPerMeterX(source.dotsPerMeterX());
        flat.setDotsPerMeterY(source.dotsPerMeterY());
        flat.setColorSpace(source.colorSpace());
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, source);
        painter.end();
        source = flat;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(std::clamp(quality, 0, 100));
    if (!writer.write(source)) {
        PLR_LOG_WARN(QStringLiteral("JPEG encoding failed: %1").arg(writer.errorString()));
        return {};
    }
    return bytes;
}

QImage applyOrientation(const QImage& image, int orientation)
{
    if (image.isNull())
        return image;
    QImage turned;
    switch (orientation) {
    case 2: turned = image.mirrored(true, false); break;
    case 3: turned = image.transformed(QTransform().rotate(180)); break;
    case 4: turned = image.mirrored(false, true); break;
    case 5: turned = image.transformed(QTransform().rotate(90)).mirrored(true, false); break;
    case 6: turned = image.transformed(QTransform().rotate(90)); break;
    case 7: turned = image.transformed(QTransform().rotate(-90)).mirrored(true, false); break;
    case 8: turned = image.transformed(QTransform().rotate(-90)); break;
    default: return image;
    }
    // A turned picture keeps its colour profile (QImage::transformed() drops it), or its colours
    // would later be taken as sRGB.
    turned.setColorSpace(image.colorSpace());
    return turned;
}

void convertToSRGB(QImage& image)
{
    if (image.isNull())
        return;
    static const QColorSpace sRGB(QColorSpace::SRgb);
    const QColorSpace profile = image.colorSpace();
    if (profile.isValid() && profile != sRGB) {
        // Indexed and grey pictures are made RGB first: the conversion needs colour channels.
        if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Grayscale8
            || image.format() == QImage::Format_Grayscale16 || image.format() == QImage::Format_Mono
            || image.format() == QImage::Format_MonoLSB)
            image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        image.convertToColorSpace(sRGB);
    }
    image.setColorSpace(sRGB);
}

qint64 jfifDensityDPI(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return jfifDensityDPI(&file);
}

qint64 jfifDensityDPI(QIODevice* device)
{
    if (!device || !device->isReadable())
        return 0;
    const qint64 position = device->pos();
    if (!device->seek(0))
        return 0;
    const QByteArray head = device->read(20);
    device->seek(position);
    // SOI, APP0 marker, length, "JFIF\0", version (2), units (1), Xdensity (2), Ydensity (2).
    if (head.size() < 18 || uchar(head[0]) != 0xFF || uchar(head[1]) != 0xD8 || uchar(head[2]) != 0xFF
        || uchar(head[3]) != 0xE0 || head.mid(6, 5) != QByteArray("JFIF\0", 5))
        return 0;
    const int units = uchar(head[13]);
    const int density = (uchar(head[14]) << 8) | uchar(head[15]);
    if (density <= 0)
        return 0;
    if (units == 1)
        return density;
    if (units == 2)
        return qint64(std::lround(density * 2.54));
    return 0;   // aspect ratio only
}

namespace {

std::mutex g_openedHookMutex;
std::function<void(const QString&)> g_openedHook;
std::atomic_bool g_hasOpenedHook{false};
const platform::resets::Joined g_openedHookReset{[] { OpenedPhoto::setOpenedHookForTesting({}); }};

} // namespace

void OpenedPhoto::setOpenedHookForTesting(std::function<void(const QString& path)> hook)
{
    std::lock_guard lock(g_openedHookMutex);
    g_hasOpenedHook = bool(hook);
    g_openedHook = std::move(hook);
}

OpenedPhoto::OpenedPhoto(const QString& path) : m_path(path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        m_missing = error == ENOENT || error == ENOTDIR;
        m_error = m_missing ? QStringLiteral("the file is gone") : QString::fromLocal8Bit(std::strerror(error));
        return;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        m_error = QStringLiteral("not a regular file");
        return;
    }
    if (!m_file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        ::close(fd);
        m_error = m_file.errorString();
        return;
    }
    m_fd = fd;
    if (g_hasOpenedHook) {
        std::function<void(const QString&)> hook;
        {
            std::lock_guard lock(g_openedHookMutex);
            hook = g_openedHook;
        }
        if (hook)
            hook(path);
    }
}

OpenedPhoto::~OpenedPhoto()
{
    if (m_fd < 0)
        return;
    m_file.close();
    ::close(m_fd);
}

bool OpenedPhoto::stamp(qint64* size, qint64* modifiedNs) const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return false;
    *size = qint64(st.st_size);
    *modifiedNs = nanosecondsOf(st.st_mtim);
    return true;
}

QIODevice* OpenedPhoto::fromStart()
{
    if (m_fd < 0)
        return nullptr;
    // Moves the descriptor's position too: a stream read before leaves it anywhere.
    m_file.seek(0);
    return &m_file;
}

std::FILE* OpenedPhoto::stream()
{
    if (m_fd < 0)
        return nullptr;
    const int copy = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return nullptr;
    std::FILE* file = ::fdopen(copy, "rb");
    if (!file) {
        ::close(copy);
        return nullptr;
    }
    std::fseek(file, 0, SEEK_SET);
    return file;
}

std::unique_ptr<QImageReader> OpenedPhoto::pictureReader()
{
    QIODevice* device = fromStart();
    if (!device)
        return std::make_unique<QImageReader>();
    // A reader handed a format reads only that format (and answers it by the name it was given:
    // the names of a format's readers are used, so that a JPEG is "jpeg" however it is named).
    QByteArray format = QFileInfo(m_path).suffix().toLower().toLatin1();
    if (format == "jpg" || format == "jpe")
        format = "jpeg";
    else if (format == "tif")
        format = "tiff";
    auto reader = std::make_unique<QImageReader>(device, format);
    if (reader->canRead())
        return reader;
    reader = std::make_unique<QImageReader>(fromStart(), QByteArray());
    return reader;
}

} // namespace plr_image

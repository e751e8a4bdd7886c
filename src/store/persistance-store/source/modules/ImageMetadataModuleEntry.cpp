// The metadata module (pellora-metadata.so): reads a photo's EXIF and XMP metadata. It links
// the metadata library and Qt Core, nothing of the application.

#include "store/persistance-store/source/PLREmbeddedMetadata.h"

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::mutex g_xmpMutex;
std::atomic<void (*)(const QString&)> g_debugLog{nullptr};

void xmpLock(void* data, bool lock)
{
    auto* mutex = static_cast<std::mutex*>(data);
    if (lock)
        mutex->lock();
    else
        mutex->unlock();
}

void exivLogHandler(int level, const char* message)
{
    if (level < Exiv2::LogMsg::error)
        return;
    if (auto log = g_debugLog.load())
        log(QStringLiteral("exiv2: %1").arg(QString::fromUtf8(message).trimmed()));
}

void ensureExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::XmpParser::initialize(xmpLock, &g_xmpMutex);
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::error);
        Exiv2::LogMsg::setHandler(exivLogHandler);
    });
}

// The photo as the caller opened it, read by offset (pread): never the file found at its path,
// which may be another one by now. Read only.
class DescriptorIo final : public Exiv2::BasicIo {
public:
    DescriptorIo(int fd, std::string name) : m_fd(fd), m_name(std::move(name)) {}

    int open() override
    {
        m_position = 0;
        m_eof = false;
        m_error = 0;
        m_open = true;
        return 0;
    }
    int close() override
    {
        munmap();
        m_open = false;
        return 0;
    }
    long write(const Exiv2::byte*, long) override { return 0; }
    long write(Exiv2::BasicIo&) override { return 0; }
    int putb(Exiv2::byte) override { return EOF; }
    Exiv2::DataBuf read(long count) override
    {
        if (count < 0 || size_t(count) > size())
            throw Exiv2::Error(Exiv2::kerInvalidMalloc);
        Exiv2::DataBuf buffer(count);
        buffer.size_ = read(buffer.pData_, count);
        return buffer;
    }
    long read(Exiv2::byte* into, long count) override
    {
        long done = 0;
        while (count > 0 && done < count) {
            const long long at = m_position + done;
            if (at < m_windowStart || at >= m_windowStart + (long long)m_window.size()) {
                // The metadata is read a few bytes at a time: the file is read in blocks.
                if (!fillWindow(at))
                    break;
            }
            const long long offset = at - m_windowStart;
            const long take = long(std::min<long long>(count - done, (long long)m_window.size() - offset));
            std::memcpy(into + done, m_window.data() + offset, size_t(take));
            done += take;
        }
        m_position += done;
        if (done < count)
            m_eof = true;
        return done;
    }
    int getb() override
    {
        Exiv2::byte value = 0;
        return read(&value, 1) == 1 ? int(value) : EOF;
    }
    void transfer(Exiv2::BasicIo&) override { throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "transfer"); }
    int seek(long offset, Position from) override
    {
        const long long base = from == beg ? 0 : from == cur ? m_position : (long long)size();
        const long long target = base + offset;
        if (target < 0)
            return 1;
        m_position = target;
        m_eof = false;
        return 0;
    }
    Exiv2::byte* mmap(bool writeable) override
    {
        if (writeable)
            throw Exiv2::Error(Exiv2::kerFunctionNotSupported, "a writeable mapping");
        // The whole file, read once into memory (a mapping of a file that is cut short
        // meanwhile would fault).
        const size_t whole = size();
        m_mapped.resize(whole);
        size_t done = 0;
        while (done < whole) {
            const ssize_t got = ::pread(m_fd, m_mapped.data() + done, whole - done, off_t(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                throw Exiv2::Error(Exiv2::kerErrorMessage, m_name + ": " + std::strerror(got < 0 ? errno : EIO));
            done += size_t(got);
        }
        return m_mapped.data();
    }
    int munmap() override
    {
        std::vector<Exiv2::byte>().swap(m_mapped);
        return 0;
    }
    long tell() const override { return long(m_position); }
    size_t size() const override
    {
        struct stat st {};
        return ::fstat(m_fd, &st) == 0 && st.st_size > 0 ? size_t(st.st_size) : 0;
    }
    bool isopen() const override { return m_open; }
    int error() const override { return m_error; }
    bool eof() const override { return m_eof; }
    std::string path() const override { return m_name; }

private:
    static constexpr size_t kWindowBytes = 64 * 1024;

    // Reads the block of the file from `at`; false at its end or on a failure.
    bool fillWindow(long long at)
    {
        m_window.resize(kWindowBytes);
        ssize_t got = -1;
        do
            got = ::pread(m_fd, m_window.data(), kWindowBytes, off_t(at));
        while (got < 0 && errno == EINTR);
        if (got < 0)
            m_error = errno;
        m_window.resize(got > 0 ? size_t(got) : 0);
        m_windowStart = at;
        return got > 0;
    }

    const int m_fd;
    const std::string m_name;
    std::vector<Exiv2::byte> m_window;   // the block of the file last read, from m_windowStart
    long long m_windowStart = 0;
    long long m_position = 0;
    bool m_eof = false;
    bool m_open = false;
    int m_error = 0;
    std::vector<Exiv2::byte> m_mapped;
};

QDateTime parseExifDate(const std::string& text)
{
    // "YYYY:MM:DD HH:MM:SS", local time of the camera.
    const QString value = QString::fromStdString(text).trimmed();
    QDateTime date = QDateTime::fromString(value.left(19), QStringLiteral("yyyy:MM:dd HH:mm:ss"));
    if (!date.isValid())
        date = QDateTime::fromString(value.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return date.isValid() ? date.toUTC() : QDateTime();
}

QDateTime parseXmpDate(const std::string& text)
{
    QDateTime date = QDateTime::fromString(QString::fromStdString(text).trimmed(), Qt::ISODate);
    return date.isValid() ? date.toUTC() : QDateTime();
}

void read(int fd, const QString& name, PLREmbeddedMetadata* result)
{
    auto image = Exiv2::ImageFactory::open(Exiv2::BasicIo::AutoPtr(new DescriptorIo(fd, name.toStdString())));
    if (!image.get())
        return;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    const Exiv2::XmpData& xmp = image->xmpData();

    auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (orientation != exif.end() && orientation->count() > 0) {
        const long value = orientation->toLong();
        if (value >= 1 && value <= 8)
            result->orientation = int(value);
    }

    auto xmpRating = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Rating"));
    if (xmpRating != xmp.end()) {
        bool ok = false;
        const double value = QString::fromStdString(xmpRating->toString()).trimmed().toDouble(&ok);
        if (ok) {
            result->starRating = value;
            result->rated = true;
        }
    }
    if (!result->rated) {
        auto exifRating = exif.findKey(Exiv2::ExifKey("Exif.Image.Rating"));
        if (exifRating != exif.end() && exifRating->count() > 0) {
            result->starRating = double(exifRating->toLong());
            result->rated = true;
        }
    }

    auto label = xmp.findKey(Exiv2::XmpKey("Xmp.xmp.Label"));
    if (label != xmp.end()) {
        result->colourLabel = QString::fromStdString(label->toString());
        result->labelled = true;
    }

    QDateTime created;
    for (const char* key : {"Exif.Photo.DateTimeOriginal", "Exif.Photo.DateTimeDigitized", "Exif.Image.DateTime"}) {
        auto it = exif.findKey(Exiv2::ExifKey(key));
        if (it != exif.end()) {
            created = parseExifDate(it->toString());
            if (created.isValid())
                break;
        }
    }
    if (!created.isValid()) {
        for (const char* key : {"Xmp.photoshop.DateCreated", "Xmp.exif.DateTimeOriginal", "Xmp.xmp.CreateDate"}) {
            auto it = xmp.findKey(Exiv2::XmpKey(key));
            if (it != xmp.end()) {
                created = parseXmpDate(it->toString());
                if (created.isValid())
                    break;
            }
        }
    }
    result->creationDate = created;

    auto xres = exif.findKey(Exiv2::ExifKey("Exif.Image.XResolution"));
    if (xres != exif.end() && xres->count() > 0) {
        const Exiv2::Rational r = xres->toRational();
        if (r.first > 0 && r.second > 0) {
            double dpi = double(r.first) / double(r.second);
            auto unit = exif.findKey(Exiv2::ExifKey("Exif.Image.ResolutionUnit"));
            const long unitValue = (unit != exif.end() && unit->count() > 0) ? unit->toLong() : 2;
            if (unitValue == 3)
                dpi *= 2.54;
            if ((unitValue == 2 || unitValue == 3) && std::isfinite(dpi) && dpi < 1e12)
                result->dpi = std::lround(dpi);
        }
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) void pellora_read_opened_photo_metadata(
    int fd, const QString& name, PLREmbeddedMetadata* into, void (*debugLog)(const QString& message))
{
    g_debugLog.store(debugLog);
    ensureExiv2();
    // What was read before a failure is kept, with the failure.
    PLREmbeddedMetadata result;
    try {
        read(fd, name, &result);
    } catch (const Exiv2::AnyError& e) {
        result.error = QString::fromUtf8(e.what());
    } catch (const std::exception& e) {
        result.error = QString::fromUtf8(e.what());
    } catch (...) {
        result.error = QStringLiteral("unknown failure");
    }
    *into = std::move(result);
}

#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QString>

#include <cstdio>
#include <functional>
#include <memory>

#include <sys/stat.h>

class QImageReader;

// Small helpers on images and image data shared by the image cache and the exporters.

// A time of a file's status, in nanoseconds since the epoch.
inline qint64 nanosecondsOf(const struct timespec& time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// The resolution (dots per inch) an image carries, rounded up; 0 for an image that failed to
// load. Equals the resolution stored in a JPEG's JFIF header when the image was read from one.
qint64 imageDPIValue(const QImage& image);

// Reads the data as a bitmap image and encodes it as JPEG carrying the given resolution in its
// JFIF header, with the compression factor (0.0 smallest .. 1.0 best). A resolution of 0 or
// less is treated as 72 dpi. Empty when the data is not a readable image.
QByteArray imageDataAfterApplyingDPI(const QByteArray& data, qint64 dpi, float compression);

namespace plr_image {

inline constexpr qint64 kDefaultDPI = 72;

// Sets the image's dots per metre from a resolution in dots per inch (72 when dpi <= 0).
void setImageDPI(QImage& image, qint64 dpi);

// Encodes the image as JPEG with a quality of 0..100; empty on failure.
QByteArray encodeJPEG(const QImage& image, int quality);

// A decoded photo in sRGB: converted from the colour profile it carries (Adobe RGB, Display P3,
// a camera's own...) and tagged sRGB. A picture without a profile is taken as sRGB already.
// Everything that draws, caches or exports photos works in sRGB.
void convertToSRGB(QImage& image);

// The image with an EXIF orientation (1..8) applied, so that it displays upright; it keeps its
// colour profile.
QImage applyOrientation(const QImage& image, int orientation);
// Whether an EXIF orientation swaps width and height.
inline bool orientationSwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

// The resolution in a JPEG file's JFIF header (dots per inch), or 0 when the file is not a JPEG
// or its header holds no absolute density. Reads only the first bytes of the file.
qint64 jfifDensityDPI(const QString& path);
// The same, read from the start of an open device (its position is left where it was).
qint64 jfifDensityDPI(QIODevice* device);

// A photo file opened once: everything read of it (its picture, its embedded metadata, its
// times) is read through this one descriptor, so that a file whose folder moves, or is put
// back, while it is read is read whole or found gone, never taken in part from another file
// found at its path meanwhile. Opened without blocking, and only a regular file: a FIFO or a
// device in a photo's place is never read.
class OpenedPhoto {
public:
    explicit OpenedPhoto(const QString& path);
    ~OpenedPhoto();
    OpenedPhoto(const OpenedPhoto&) = delete;
    OpenedPhoto& operator=(const OpenedPhoto&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Not there when it was opened (the file or a level of its path gone, as when its folder
    // moves): nothing can be told of it.
    bool missing() const { return m_missing; }
    // Why it is not open.
    QString error() const { return m_error; }
    QString path() const { return m_path; }
    int descriptor() const { return m_fd; }
    // The file's size and modification time (ns since the epoch) now; false when they cannot be
    // read.
    bool stamp(qint64* size, qint64* modifiedNs) const;
    // The file from its start (every reader starts there; the device and stream() share one
    // position).
    QIODevice* fromStart();
    // A stdio stream of the file from its start, closed by the caller; null on failure.
    std::FILE* stream();
    // A reader of its picture: the format its name gives first, then what its content says
    // (a PNG named .jpg is read as the PNG it is).
    std::unique_ptr<QImageReader> pictureReader();

    // Called with the path once a photo file has been opened, before anything of it is read
    // (tests move its folder there); none by default. Any thread.
    static void setOpenedHookForTesting(std::function<void(const QString& path)> hook);

private:
    QString m_path;
    int m_fd = -1;
    bool m_missing = false;
    QString m_error;
    QFile m_file;
};

} // namespace plr_image

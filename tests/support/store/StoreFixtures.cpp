#include "support/store/StoreFixtures.h"

#include "store/persistance-store/source/PLRSourceImage.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/PLRStore.h"
#include "store/session/PLRUserSession.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QUrl>

#include <exiv2/exiv2.hpp>

#include <cmath>

namespace testing_support {

namespace {

QImage colouredPhoto(const TestPhoto& photo)
{
    QImage image(photo.width, photo.height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, photo.width, photo.height);
    gradient.setColorAt(0.0, photo.colour.lighter(125));
    gradient.setColorAt(1.0, photo.colour.darker(130));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::NoPen);
    painter.setBrush(photo.colour.lighter(160));
    painter.drawEllipse(QPointF(photo.width * 0.7, photo.height * 0.3), photo.height * 0.12, photo.height * 0.12);
    painter.end();
    return image;
}

QImage orientedPhoto(const TestPhoto& photo)
{
    const int width = photo.width;
    const int height = photo.height;
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x * 255 / std::max(1, width - 1), y * 255 / std::max(1, height - 1), 90));
    QPainter painter(&image);
    painter.fillRect(QRect(0, 0, width / 4 + 1, height / 4 + 1), Qt::red);
    painter.end();
    return image;
}

} // namespace

bool cutShort(const QString& path, double share)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    file.close();
    // Written anew (not truncated in place), as a copy that stopped early is.
    QFile out(path + QStringLiteral(".part"));
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes.left(qsizetype(bytes.size() * share))) < 0)
        return false;
    out.close();
    return QFile::remove(path) && QFile::rename(path + QStringLiteral(".part"), path);
}

bool writeJpegWithLyingHeader(const QString& path, int width, int height)
{
    QImage picture(300, 200, QImage::Format_RGB32);
    QPainter painter(&picture);
    painter.fillRect(picture.rect(), QColor(40, 90, 160));
    painter.fillRect(QRect(20, 20, 80, 60), Qt::white);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "JPG", 90))
        return false;
    // The frame header (SOF0..SOF2): its height and width follow the length and precision.
    for (qsizetype i = 2; i + 9 < bytes.size();) {
        if (uchar(bytes[i]) != 0xFF)
            return false;
        const int marker = uchar(bytes[i + 1]);
        const int length = (uchar(bytes[i + 2]) << 8) | uchar(bytes[i + 3]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            bytes[i + 5] = char(height >> 8);
            bytes[i + 6] = char(height & 0xFF);
            bytes[i + 7] = char(width >> 8);
            bytes[i + 8] = char(width & 0xFF);
            QFile file(path);
            return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
        }
        i += 2 + length;
    }
    return false;
}

bool writePhoto(const QString& path, const TestPhoto& photo)
{
    QImage image = photo.colour.isValid() ? colouredPhoto(photo) : orientedPhoto(photo);
    if (!photo.colour.isValid()) {
        const int dotsPerMetre = int(std::lround(photo.dpi / 0.0254));
        image.setDotsPerMeterX(dotsPerMetre);
        image.setDotsPerMeterY(dotsPerMetre);
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "JPG", photo.colour.isValid() ? 90 : 92))
        return false;
    std::map<std::string, std::string> tags;
    if (photo.stars > 0)
        tags["Xmp.xmp.Rating"] = std::to_string(photo.stars);
    if (!photo.label.isEmpty())
        tags["Xmp.xmp.Label"] = photo.label.toStdString();
    return tags.empty() || tagPhoto(path, tags);
}

bool tagPhoto(const QString& path, const std::map<std::string, std::string>& values)
{
    try {
        auto image = Exiv2::ImageFactory::open(path.toStdString());
        image->readMetadata();
        Exiv2::ExifData exif = image->exifData();
        Exiv2::XmpData xmp = image->xmpData();
        for (const auto& [key, value] : values) {
            if (key.rfind("Xmp.", 0) == 0)
                xmp[key] = value;
            else if (key == "Exif.Image.Orientation" || key == "Exif.Image.Rating")
                exif[key] = uint16_t(std::stoi(value));
            else
                exif[key] = value;
        }
        image->setExifData(exif);
        image->setXmpData(xmp);
        image->writeMetadata();
        return true;
    } catch (...) {
        return false;
    }
}

QString writePhotoFolder(const QList<TestPhoto>& photos, const QString& name)
{
    const QString folder = testHome() + QLatin1Char('/') + name;
    QDir().mkpath(folder);
    for (const TestPhoto& photo : photos)
        if (!writePhoto(folder + QLatin1Char('/') + photo.name, photo))
            return QString();
    return folder;
}

QList<TestPhoto> plainPhotos(int count)
{
    QList<TestPhoto> photos;
    for (int i = 0; i < count; ++i)
        photos.append({QStringLiteral("p%1.jpg").arg(i + 1, 2, 10, QLatin1Char('0'))});
    return photos;
}

void installStoreLibraries()
{
    PLRStore::install();
}

PLRUserSession* signIn(const QString& userId, const QString& email)
{
    PLRCoreManager::completeSignIn(email, QStringLiteral("secret"), userId, QStringLiteral("token"));
    return PLRCoreManager::userSession();
}

OpenPost openPost(const QList<TestPhoto>& photos, const OpenPostOptions& options)
{
    const QString folder = testHome() + QLatin1Char('/') + options.folderName;
    QDir().mkpath(folder);
    for (const TestPhoto& photo : photos) {
        const QString path = folder + QLatin1Char('/') + photo.name;
        if (!(options.writer ? options.writer(path, photo) : writePhoto(path, photo))) {
            OpenPost failed;
            failed.folder = folder;
            return failed;
        }
    }
    return openPostOnFolder(folder, photos.size(), options);
}

OpenPost openPostOnFolder(const QString& folder, qsizetype expectedPhotos, const OpenPostOptions& options)
{
    OpenPost opened;
    opened.folder = folder;
    opened.session = PLRCoreManager::userSession();
    if (!opened.session)
        opened.session = signIn();
    if (!opened.session)
        return opened;
    opened.manager = opened.session->newPostManager();
    if (!opened.manager->createNewPostWithTitle(options.title, QUrl::fromLocalFile(folder)))
        return opened;
    if (!waitUntilMovingTheClock([&] { return opened.manager->images().size() == expectedPhotos; }, options.timeoutMs))
        return opened;
    // The look that listed them has ended: their pictures are asked for.
    opened.manager->sourceDirectory()->waitUntilIdle();
    for (const PLRSourceImagePtr& image : opened.manager->images())
        opened.identifiers.insert(image->fileName(), image->identifier());
    opened.ok = true;
    return opened;
}

} // namespace testing_support

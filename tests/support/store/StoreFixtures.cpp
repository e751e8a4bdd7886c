#include "support/store/StoreFixtures.h"

#include "store/persistance-store/source/PLRSourceImage.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/PLRStore.h"
#include "store/session/PLRUserSession.h"

#include <QDir>
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
    for (const PLRSourceImagePtr& image : opened.manager->images())
        opened.identifiers.insert(image->fileName(), image->identifier());
    opened.ok = true;
    return opened;
}

} // namespace testing_support

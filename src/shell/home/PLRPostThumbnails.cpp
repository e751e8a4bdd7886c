#include "shell/home/PLRPostThumbnails.h"

#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"

#include <QFileInfo>
#include <QImageReader>

#include <cmath>

PLRPostThumbnails& PLRPostThumbnails::shared()
{
    static PLRPostThumbnails* instance = new PLRPostThumbnails;
    return *instance;
}

PLRPostThumbnails::PLRPostThumbnails()
{
    m_cache.setMaxCost(int(kCacheBytes / 1024));   // in kilobytes
}

QString PLRPostThumbnails::key(const QString& identifier, int pixelWidth) const
{
    return identifier + QLatin1Char('@') + QString::number(pixelWidth);
}

QImage PLRPostThumbnails::scaledToWidth(const QImage& image, int pixelWidth)
{
    if (image.isNull() || image.width() <= 0 || image.height() <= 0 || pixelWidth <= 0)
        return {};
    if (image.width() <= pixelWidth)
        return image.convertToFormat(QImage::Format_RGB32);
    return image.scaledToWidth(pixelWidth, Qt::SmoothTransformation).convertToFormat(QImage::Format_RGB32);
}

QImage PLRPostThumbnails::decodeScaled(const QString& path, int pixelWidth)
{
    if (!QFileInfo::exists(path))
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() <= 0 || size.height() <= 0) {
        PLR_LOG_WARN(QStringLiteral("The preview %1 cannot be read: %2").arg(path, reader.errorString()));
        return {};
    }
    if (size.width() > pixelWidth && pixelWidth > 0) {
        const int height = std::max(1, int(std::lround(double(size.height()) * pixelWidth / size.width())));
        reader.setScaledSize(QSize(pixelWidth, height));
    }
    QImage image = reader.read();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) {
        PLR_LOG_WARN(QStringLiteral("The preview %1 cannot be decoded: %2").arg(path, reader.errorString()));
        return {};
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

void PLRPostThumbnails::watch(PLRPersistantPost* post)
{
    const QString identifier = post->identifier();
    if (m_watched.value(identifier) == post)
        return;
    m_watched.insert(identifier, post);
    QPointer<PLRPersistantPost> weak(post);
    connect(post, &PLRPersistantPost::layoutPreviewChanged, this, [this, weak, identifier] {
        if (!weak)
            return;
        // The post holds its new preview already: scale that copy for every cached width.
        const QImage preview = weak->layoutPreview();
        const QList<QString> keys = m_cache.keys();
        for (const QString& cached : keys) {
            if (!cached.startsWith(identifier + QLatin1Char('@')))
                continue;
            const int width = cached.mid(identifier.size() + 1).toInt();
            QImage* scaled = new QImage(scaledToWidth(preview, width));
            m_cache.insert(cached, scaled, std::max<qsizetype>(1, scaled->sizeInBytes() / 1024));
        }
        m_fresh.insert(identifier);
        ++m_generation;
        emit thumbnailReady(identifier);
    });
}

QImage PLRPostThumbnails::thumbnail(PLRPersistantPost* post, int pixelWidth, bool* known)
{
    if (known)
        *known = true;
    if (!post || pixelWidth <= 0)
        return {};
    watch(post);
    const QString identifier = post->identifier();
    const QString cacheKey = key(identifier, pixelWidth);
    if (const QImage* cached = m_cache.object(cacheKey))
        return *cached;
    if (known)
        *known = false;
    if (m_fresh.contains(identifier)) {
        // The preview was made in this run and the post holds it: no need to read the file.
        auto* image = new QImage(scaledToWidth(post->layoutPreview(), pixelWidth));
        const QImage result = *image;
        m_cache.insert(cacheKey, image, std::max<qsizetype>(1, image->sizeInBytes() / 1024));
        if (known)
            *known = true;
        return result;
    }
    if (m_loading.contains(cacheKey))
        return {};
    m_loading.insert(cacheKey);
    const QString path = post->bundlePath() + QLatin1Char('/') + QLatin1String(kPLRPostPreviewFileName);
    const quint64 generation = m_generation;
    platform::dispatchGlobal([this, path, pixelWidth, cacheKey, identifier, generation] {
        QImage decoded = decodeScaled(path, pixelWidth);
        platform::dispatchMain([this, decoded = std::move(decoded), cacheKey, identifier, generation] {
            m_loading.remove(cacheKey);
            // A newer preview arrived meanwhile: it is in the cache already.
            if (generation != m_generation && m_cache.contains(cacheKey))
                return;
            auto* image = new QImage(decoded);
            m_cache.insert(cacheKey, image, std::max<qsizetype>(1, image->sizeInBytes() / 1024));
            emit thumbnailReady(identifier);
        });
    });
    return {};
}

void PLRPostThumbnails::clear()
{
    m_cache.clear();
    m_fresh.clear();
    ++m_generation;
}

#pragma once

#include "store/persistance-store/PLRPersistantPost.h"

#include <QCache>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QSet>

// Tile-sized copies of the posts' previews. Previews are decoded from the post bundles' preview
// file at the tile's pixel width (never at full size) on a background thread, kept in a bounded
// cache, and made again from the post's own image when its preview changes.
class PLRPostThumbnails : public QObject {
    Q_OBJECT
public:
    static PLRPostThumbnails& shared();

    // The post's preview at most `pixelWidth` pixels wide, or a null image when it is not ready
    // (thumbnailReady follows) or the post has no usable preview (`*known` tells which).
    QImage thumbnail(PLRPersistantPost* post, int pixelWidth, bool* known = nullptr);
    // Forgets every thumbnail (tests, low memory).
    void clear();

    // Decodes an image file scaled to the width (keeping its proportions); null when the file
    // is missing, unreadable or has no width or height.
    static QImage decodeScaled(const QString& path, int pixelWidth);
    // The image scaled to the width; null for an image without width or height.
    static QImage scaledToWidth(const QImage& image, int pixelWidth);

    static constexpr qint64 kCacheBytes = 96LL * 1024 * 1024;

signals:
    // A thumbnail of the post was made or changed.
    void thumbnailReady(const QString& postIdentifier);

private:
    PLRPostThumbnails();
    QString key(const QString& identifier, int pixelWidth) const;
    void watch(PLRPersistantPost* post);

    QCache<QString, QImage> m_cache;      // null images are kept too: "no preview"
    QSet<QString> m_loading;
    QSet<QString> m_fresh;                 // posts whose preview changed in this run
    QHash<QString, QPointer<PLRPersistantPost>> m_watched;
    quint64 m_generation = 0;
};

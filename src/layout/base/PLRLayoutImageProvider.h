#pragma once

// What the layout engine needs to know about the photos of a post, by image identifier
// (the `img_ref` of image blocks). The post's source folder answers it; the layout manager
// owns one (PLRLayoutManager::setImageProvider).

#include <QDateTime>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>

class PLRLayoutImageProvider {
public:
    virtual ~PLRLayoutImageProvider() = default;

    // True when the post's folder has a photo with that identifier.
    virtual bool hasImage(const QString& identifier) const = 0;
    // The photo's size in pixels (as displayed, orientation applied); empty when unknown.
    virtual QSizeF imageSize(const QString& identifier) const = 0;
    // The photo's width / height; 0 when unknown. By default from imageSize().
    virtual double aspectRatioFactor(const QString& identifier) const;
    // The cached export-size image of the photo, or a null image while it is not ready (the
    // provider then calls PLRLayoutManager::imageDidChange when it is).
    virtual QImage exportImage(const QString& identifier) const = 0;
    // The full-size photo; by default the export image.
    virtual QImage fullSizeImage(const QString& identifier) const { return exportImage(identifier); }
    // The photo file's modification date (invalid when unknown).
    virtual QDateTime modifiedDate(const QString& identifier) const { Q_UNUSED(identifier); return {}; }
    // The photo's focus keywords, drawn as badges while the keyword overlay is on.
    virtual QStringList focusKeywords(const QString& identifier) const { Q_UNUSED(identifier); return {}; }

    // The number of image blocks of the layout that use the photo changed to `count` (0 when
    // the last one went). Called for every photo of the layout when the provider is set, then
    // after every change of the layout.
    virtual void imageUseCountDidChange(const QString& identifier, qint64 count)
    {
        Q_UNUSED(identifier);
        Q_UNUSED(count);
    }
};

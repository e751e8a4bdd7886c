#pragma once

#include "layout/base/PLRLayoutImageProvider.h"

#include <QCache>
#include <QImage>

#include <functional>
#include <memory>

class PLRSourceImage;

// The layout engine's view of a post's photos, over the post's source images: sizes and
// ratios, the decoded export image (the image cache's "export.jpg", at most 1500 wide) and the
// full-size photo (decoded upright from its file), both kept in bounded memory caches. Use
// counts go to the given sink (the post manager, which keeps `inLayout` and
// `numberOfImagesInUse`).
class PLRSourceImageLayoutProvider : public PLRLayoutImageProvider {
public:
    using ImageLookup = std::function<std::shared_ptr<PLRSourceImage>(const QString& identifier)>;
    using UseCountSink = std::function<void(const QString& identifier, qint64 count)>;

    static constexpr qint64 kExportCacheKilobytes = 256 * 1024;
    static constexpr qint64 kFullSizeCacheKilobytes = 512 * 1024;

    PLRSourceImageLayoutProvider(ImageLookup lookup, UseCountSink useCounts);

    // Forgets the decoded pictures of the photo (it changed on disk); the caller then tells the
    // layout manager (imageDidChange).
    void invalidate(const QString& identifier);

    bool hasImage(const QString& identifier) const override;
    QSizeF imageSize(const QString& identifier) const override;
    double aspectRatioFactor(const QString& identifier) const override;
    QImage exportImage(const QString& identifier) const override;
    QImage fullSizeImage(const QString& identifier) const override;
    QDateTime modifiedDate(const QString& identifier) const override;
    QStringList focusKeywords(const QString& identifier) const override;
    void imageUseCountDidChange(const QString& identifier, qint64 count) override;

private:
    ImageLookup m_lookup;
    UseCountSink m_useCounts;
    mutable QCache<QString, QImage> m_exportImages;
    mutable QCache<QString, QImage> m_fullSizeImages;
};

#pragma once

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManager.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPair>

namespace layout_test {

// Photos by identifier: a size, the colour of their export image and of their full-size image,
// keywords, a modification date. Records the use counts it is told.
class FakeImageProvider : public PLRLayoutImageProvider {
public:
    struct Photo {
        QSizeF size;
        QColor exportColour = Qt::red;
        QColor fullColour = Qt::red;
        QStringList keywords;
        QDateTime modified;
        QImage picture;   // used instead of a solid colour when set
    };

    QHash<QString, Photo> photos;
    QHash<QString, qint64> useCounts;
    QList<QPair<QString, qint64>> useCountCalls;
    mutable int fullSizeRequests = 0;

    void addPhoto(const QString& identifier, QSizeF size, QColor colour = Qt::red)
    {
        Photo photo;
        photo.size = size;
        photo.exportColour = photo.fullColour = colour;
        photos.insert(identifier, photo);
    }

    bool hasImage(const QString& identifier) const override { return photos.contains(identifier); }
    QSizeF imageSize(const QString& identifier) const override { return photos.value(identifier).size; }
    QImage exportImage(const QString& identifier) const override { return imageOf(identifier, false); }
    QImage fullSizeImage(const QString& identifier) const override
    {
        ++fullSizeRequests;
        return imageOf(identifier, true);
    }
    QDateTime modifiedDate(const QString& identifier) const override { return photos.value(identifier).modified; }
    QStringList focusKeywords(const QString& identifier) const override { return photos.value(identifier).keywords; }
    void imageUseCountDidChange(const QString& identifier, qint64 count) override
    {
        useCounts.insert(identifier, count);
        useCountCalls.append({identifier, count});
    }

private:
    QImage imageOf(const QString& identifier, bool full) const
    {
        if (!photos.contains(identifier))
            return {};
        const Photo& photo = photos[identifier];
        if (!photo.picture.isNull())
            return photo.picture;
        const QSizeF size = photo.size.isEmpty() ? QSizeF(30, 20) : photo.size.scaled(60, 60, Qt::KeepAspectRatio);
        QImage image(std::max(1, int(size.width())), std::max(1, int(size.height())), QImage::Format_ARGB32_Premultiplied);
        image.fill(full ? photo.fullColour : photo.exportColour);
        return image;
    }
};

inline PLRBlockPtr imageBlock(const QString& identifier, float ratio = 0.0f)
{
    PLRBlockPtr block = PLRLayoutManager::newBlock_Image();
    block->mutable_image()->set_img_ref(identifier.toStdString());
    block->set_aspect_ratio(ratio);
    return block;
}

inline PLRBlockPtr blankBlock(float ratio)
{
    PLRBlockPtr block = PLRLayoutManager::newBlock_Blank();
    block->set_aspect_ratio(ratio);
    return block;
}

inline PLRBlockPtr containerOf(bool vertical, PLRBlockPtrList children)
{
    PLRBlockPtr block = PLRLayoutManager::newBlock_Container(vertical);
    for (PLRBlockPtr& child : children)
        block->mutable_container()->mutable_sub_blocks()->AddAllocated(child.release());
    return block;
}

template <class... Blocks>
PLRBlockPtrList list(Blocks&&... blocks)
{
    PLRBlockPtrList result;
    (result.push_back(std::forward<Blocks>(blocks)), ...);
    return result;
}

inline bool sameColour(QRgb pixel, QColor expected, int tolerance = 3)
{
    const QColor actual = QColor::fromRgba(pixel);
    return std::abs(actual.red() - expected.red()) <= tolerance && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance;
}

} // namespace layout_test

#include "store/persistance-store/source/PLRSourceDirectory.h"

#include "store/persistance-store/PLRFileUtilities.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Plist.h"

#include <algorithm>

void PLRSourceDirectoryOrdering::setSortType(qint64 sortType)
{
    if (m_sortType.exchange(sortType) != sortType && m_directory)
        m_directory->resort();
}

void PLRSourceDirectoryOrdering::setSortOrder(qint64 sortOrder)
{
    if (m_sortOrder.exchange(sortOrder) != sortOrder && m_directory)
        m_directory->resort();
}

QList<PLRSourceImagePtr> PLRSourceDirectoryOrdering::filteredImageCollection(qint64 code) const
{
    const QList<PLRSourceImagePtr> all = m_directory ? m_directory->images() : QList<PLRSourceImagePtr>();
    return filter(all, code, m_starSelection, m_starRelation, m_colourFilter);
}

QList<PLRSourceImagePtr> PLRSourceDirectoryOrdering::filter(const QList<PLRSourceImagePtr>& images, qint64 code,
                                                            qint64 starSelection, qint64 starRelation,
                                                            qint64 colourFilter)
{
    QList<PLRSourceImagePtr> result;
    result.reserve(images.size());
    for (const auto& image : images) {
        const bool hidden = image->isHidden();
        const bool inLayout = image->inLayout();
        switch (code) {
        case 1: if (hidden) continue; break;
        case 2: if (hidden || inLayout) continue; break;
        case 3: if (hidden || !inLayout) continue; break;
        case 4: if (!hidden) continue; break;
        default: break;
        }
        if (starSelection != 0) {
            const qint64 stars = image->starRating();
            const bool keep = starRelation < 0 ? stars <= starSelection
                            : starRelation > 0 ? stars >= starSelection
                                               : stars == starSelection;
            if (!keep)
                continue;
        }
        if (colourFilter != 0) {
            const qint64 colour = image->colourRating();
            if (colour <= 0 || colour > 62 || (colourFilter & (qint64(1) << (colour - 1))) == 0)
                continue;
        }
        result.append(image);
    }
    return result;
}

void PLRSourceDirectoryOrdering::sort(QList<PLRSourceImagePtr>& images, qint64 sortType, qint64 sortOrder)
{
    struct Key {
        QString title;
        QString path;
        QDateTime date;
        PLRSourceImagePtr image;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(images.size()));
    for (const auto& image : images) {
        Key key{image->fileName(), image->relativePath(), {}, image};
        if (sortType == 1)
            key.date = image->creationDate();
        else if (sortType == 2)
            key.date = image->modifiedDate();
        keys.push_back(std::move(key));
    }
    const auto titleLess = [](const Key& a, const Key& b) {
        const int byTitle = a.title.compare(b.title, Qt::CaseInsensitive);
        if (byTitle != 0)
            return byTitle < 0;
        return a.path < b.path;
    };
    const auto less = [&](const Key& a, const Key& b) {
        if (sortType == 1 || sortType == 2) {
            if (a.date != b.date)
                return a.date < b.date;
        }
        return titleLess(a, b);
    };
    if (sortOrder == 1)
        std::stable_sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) { return less(b, a); });
    else
        std::stable_sort(keys.begin(), keys.end(), less);
    images.clear();
    for (auto& key : keys)
        images.append(std::move(key.image));
}

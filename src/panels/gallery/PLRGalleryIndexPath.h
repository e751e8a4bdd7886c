#pragma once

#include <QHashFunctions>
#include <QList>
#include <QSet>

#include <algorithm>

// A place in a sectioned collection: the section and the item within it.
struct PLRGalleryIndexPath {
    qint64 section = 0;
    qint64 item = 0;

    bool operator==(const PLRGalleryIndexPath&) const = default;
    bool operator<(const PLRGalleryIndexPath& other) const
    {
        return section != other.section ? section < other.section : item < other.item;
    }
};

inline size_t qHash(const PLRGalleryIndexPath& path, size_t seed = 0)
{
    return qHashMulti(seed, path.section, path.item);
}

using PLRGalleryIndexPathSet = QSet<PLRGalleryIndexPath>;

// The paths in order (by section, then item).
inline QList<PLRGalleryIndexPath> sortedIndexPaths(const PLRGalleryIndexPathSet& paths)
{
    QList<PLRGalleryIndexPath> list(paths.begin(), paths.end());
    std::sort(list.begin(), list.end());
    return list;
}

#pragma once

#include "store/persistance-store/source/PLRDelegateList.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRImageMetadata.h"
#include "store/persistance-store/source/PLRPhotoProblem.h"
#include "store/model/PLRAspectRatio.h"

#include <QDateTime>
#include <QImage>
#include <QMutex>
#include <QRecursiveMutex>
#include <QObject>
#include <QSizeF>
#include <QStringList>
#include <QUrl>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QWidget;
class PLRSourceImage;

// Told when a photo's cached images change. Called on the main thread, queued there by the
// photo; a delegate removed (or destroyed, for a QObject) is not called afterwards.
class PLRSourceImageDelegate {
public:
    virtual ~PLRSourceImageDelegate() = default;
    virtual void imageCacheAssetChanged(PLRSourceImage* image) { Q_UNUSED(image); }
};

// The size and modification time of a photo file as last seen.
struct PLRFileStamp {
    qint64 size = -1;
    qint64 modifiedNs = 0;
    bool operator==(const PLRFileStamp&) const = default;
    // The size and modification time of a file's status.
    static PLRFileStamp of(const struct stat& st) { return {qint64(st.st_size), nanosecondsOf(st.st_mtim)}; }
};

// One photo of a post's source folder. Owned by its source directory through a shared
// pointer; the cache jobs hold it weakly. Readable from any thread.
class PLRSourceImage : public QObject, public std::enable_shared_from_this<PLRSourceImage> {
    Q_OBJECT
    Q_PROPERTY(bool inLayout READ inLayout WRITE setInLayout NOTIFY inLayoutChanged)
    Q_PROPERTY(bool hidden READ isHidden WRITE setHidden NOTIFY hiddenChanged)

public:
    static constexpr qint64 kGIFFileSizeLimitMB = 3;

    // A photo with its identifier; its cache folder is <cacheRoot>/<identifier>.
    PLRSourceImage(const QString& identifier, const QString& cacheRoot);
    ~PLRSourceImage() override;

    static QString makeIdentifier();

    QString identifier() const { return m_identifier; }

    QUrl location() const;
    QString path() const;
    // The file's path inside the source folder ("a/b.jpg").
    QString relativePath() const;
    QString fileName() const;
    QDateTime creationDate() const;
    QDateTime modifiedDate() const;
    float width() const;    // upright, 0 when unknown
    float height() const;
    // The ratio of the upright photo with its preset (unknown, factor 0, when the size is).
    PLRAspectRatio aspectRatio() const;
    qint16 starRating() const;
    qint64 colourRating() const;
    qint64 dpi() const;
    int orientation() const;
    bool isImageGIF() const;
    bool fileDeleted() const;

    // Why the photo cannot be drawn, exported or published: Missing when its file is gone,
    // Unreadable when the file is not a picture, or what the last decode of this version of the
    // file found (CutShort, Unreadable); None otherwise, also while no decode has judged it.
    PLRPhotoProblem problem() const;
    // Whether problem() is final for this version of the file: a decode has judged it, or the
    // file is gone or no picture.
    bool isJudged() const;
    // problem(), once the file as it is now has been judged: decoded (at its smallest scale)
    // now when nothing has judged this version of it, or the file changed since the folder last
    // looked. Any thread; may take a moment.
    PLRPhotoProblem checkedProblem();
    // What a whole decode of the file found when it had this stamp; kept while the file keeps
    // it. A change of problem() drops the in-memory preview of a photo that cannot be drawn and
    // is told: problemChanged(), and the cache delegates on the main thread. `generation`: the
    // folder's generation as the decode began (default: now); a problem found while the folder
    // moved since is told too, to be judged again.
    void noteDecodeResult(const PLRFileStamp& stamp, PLRPhotoProblem problem, std::optional<quint64> generation = {});

    // Verdicts made before the folder last moved (it went, came back or was moved while they
    // were made): the file found no picture by the read of its metadata, or found cut short or
    // unreadable by a decode. Such a photo is judged again (the decode at its next caching or
    // check) though its size and time did not change.
    bool metadataInDoubt() const;
    bool decodeInDoubt() const;
    bool problemInDoubt() const { return metadataInDoubt() || decodeInDoubt(); }

    bool inLayout() const;
    void setInLayout(bool inLayout);
    bool isHidden() const;
    void setHidden(bool hidden);
    void toggleHidden();

    QStringList focusKeywords() const;
    void setFocusKeywords(const QStringList& keywords);

    // The size of the photo scaled so that its longer side is `longestEdge`.
    QSizeF galleryDisplayFrameForLongestEdge(double longestEdge) const;

    // The cached preview at once when it is in memory; otherwise a null image, and the
    // completion runs (on a background thread) with the preview once it is ready, or with
    // the placeholder when the photo cannot be cached. The preview asked for is kept in memory
    // (bounded); a cache build nobody asked the preview of keeps it on disk only.
    QImage previewImage(std::function<void(const QImage&)> completion);

    // The cache folder of this photo.
    QString cacheLocation() const;
    // Bytes of the cached export file (made now when missing), or of the GIF file for a GIF.
    // Empty for a photo that cannot be drawn (problem()), whatever an earlier version left.
    QByteArray exportImageData();
    // The path of that file (made now when missing), for reading it in pieces; empty when
    // there is no export file.
    QString exportFilePath();

    // NO for a photo that is not a GIF; for a GIF larger than 3 MB shows the alert
    // "GIF exceeds maximum filesize" naming the file and answers YES.
    bool checkIfGIFExceedsFileSizeLimit(QWidget* parent = nullptr) const;

    // Quick Look style preview item.
    QUrl previewItemURL() const { return location(); }
    QString previewItemTitle() const { return fileName(); }

    // Weakly held; a QObject delegate is dropped when it is destroyed. Called on the main
    // thread only. removeDelegate() from another thread waits for a call in progress.
    void addDelegate(PLRSourceImageDelegate* delegate);
    void removeDelegate(PLRSourceImageDelegate* delegate);

    // --- used by the source directory ---
    // The count of the folder's moves the photo's verdicts are checked against (none: 0).
    void setFolderGeneration(std::shared_ptr<const std::atomic<quint64>> generation);
    PLRFileStamp fileStamp() const;
    // What the last read of the file found, and the folder's generation as that read began.
    PLRImageMetadata metadata() const;
    quint64 readGeneration() const;
    // `readGeneration`: the folder's generation as the metadata read began (default: now).
    void setFile(const QString& path, const QString& relativePath, const PLRFileStamp& stamp,
                 const PLRImageMetadata& metadata, std::optional<quint64> readGeneration = {});
    void setFileDeleted(bool deleted);
    // Purges the cache files and the in-memory preview.
    void resetCache();

    // --- used by the image manager ---
    bool markCacheJobQueued();   // false when a job is already waiting
    void addCacheJobCompletion(std::function<void()> done);
    PLRImageManager::BuildRequest beginCacheJob();
    bool hasPendingPreviewRequests() const;
    void finishCacheJob(bool ok, const QImage& preview, bool rebuilt);

signals:
    void inLayoutChanged(bool inLayout);
    void hiddenChanged(bool hidden);
    // problem() changed after a decode (from the thread that decoded).
    void problemChanged();

private:
    PLRPhotoProblem problemLocked() const;
    quint64 generationNow() const;
    bool metadataInDoubtLocked() const;
    bool decodeInDoubtLocked() const;
    std::vector<PLRSourceImageDelegate*> liveDelegates();
    void notifyCacheAssetChanged();

    const QString m_identifier;
    const QString m_cacheRoot;

    mutable QMutex m_mutex;
    QString m_path;
    QString m_relativePath;
    PLRFileStamp m_stamp;
    PLRImageMetadata m_metadata;
    bool m_fileDeleted = true;
    // The verdict of the last whole decode, and the version of the file it judged.
    PLRFileStamp m_judgedStamp;
    PLRPhotoProblem m_decodeProblem = PLRPhotoProblem::None;
    // The folder's generation as the metadata read and the last decode began.
    std::shared_ptr<const std::atomic<quint64>> m_folderGeneration;
    quint64 m_readGeneration = 0;
    quint64 m_judgedGeneration = 0;
    bool m_inLayout = false;
    bool m_hidden = false;
    QStringList m_keywords;
    PLRDelegateList<PLRSourceImageDelegate> m_delegates;
    QRecursiveMutex m_deliveryMutex;   // held by the main thread while it calls a delegate
    std::vector<std::function<void(const QImage&)>> m_previewCompletions;
    // Someone asked for the preview since the last job: the job keeps it in memory. A cache
    // build nobody looks at keeps none, so building a folder's cache holds no more memory for
    // a thousand photos than for ten.
    bool m_previewWanted = false;
    std::vector<std::function<void()>> m_jobCompletions;
    bool m_jobQueued = false;
};

using PLRSourceImagePtr = std::shared_ptr<PLRSourceImage>;

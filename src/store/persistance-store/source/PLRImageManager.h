#pragma once

#include "store/persistance-store/source/PLRPhotoProblem.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

class PLRSourceImage;

namespace platform { class OperationQueue; }

// The image cache: one folder per photo, named by the photo's identifier, under the store's
// image area ("loc"). The folder holds "preview.jpg" (longer side at most 512 px), "export.jpg"
// (at most 1500 px wide, upright, sRGB, the photo's resolution) and, for a GIF, "animation.gif"
// (the file itself). The cache files carry the photo's modification time, and "source.stamp"
// its size and time and the orientation and resolution they were made with, so a changed
// photo, or one whose metadata now says otherwise, is cached again. Only a photo that decodes whole is
// cached: one that cannot (cut short, data that does not match its header) loses what its
// folder held. Caching runs on an operation queue of at most 10 concurrent jobs.
class PLRImageManager {
public:
    static constexpr int kPreviewLongestEdge = 512;
    static constexpr int kPreviewQuality = 80;
    static constexpr int kExportMaxWidth = 1500;
    static constexpr int kExportQuality = 90;
    static constexpr int kMaxConcurrentOperations = 10;

    static constexpr const char* kPreviewFileName = "preview.jpg";
    static constexpr const char* kExportFileName = "export.jpg";
    static constexpr const char* kAnimationFileName = "animation.gif";
    // "<size> <modification time in ns> <orientation> <dpi>" of the photo the files were made
    // from.
    static constexpr const char* kStampFileName = "source.stamp";

    // The image drawn for a photo without a thumbnail.
    static QImage placeholderImage();

    // The image area: the store's "loc" folder (PLRPersistantStore::locationPath()) unless set
    // otherwise.
    static QString defaultLocationRoot();
    static void setDefaultLocationRoot(const QString& path);   // empty: back to the default
    // The cache folder of an identifier in the image area; empty for no identifier or one that
    // is not a valid identifier.
    static QUrl locationForIdentifier(const QString& identifier);
    // Whether the text can name a photo (and so its cache folder): not empty, at most 128
    // characters, no path separator, no "..", no control character, not "." alone.
    static bool isValidIdentifier(const QString& identifier);
    // SHA-1 of the photo's export data as 40 upper-case hexadecimal digits; empty without data.
    // Read from the cache, where it is kept beside the export file when that is written (off
    // the main thread); computed (and kept) here only when the file changed since.
    static QString sha1HashForImage(PLRSourceImage* image);
    // The kept SHA-1 of a cache file: computed and stored when missing or made for another
    // version of the file. Any thread.
    static QString cachedSha1OfFile(const QString& path);
    static constexpr const char* kHashSuffix = ".sha1";

    static PLRImageManager& shared();

    // Queues the photo's caching: nothing is built when the cache is current. When the job
    // ends, the photo is told (preview handed over, delegates told when files were rebuilt)
    // and then `done` runs, on the job's thread. A job already waiting for the photo is not
    // queued twice.
    void requestCache(const std::shared_ptr<PLRSourceImage>& image, std::function<void()> done = {});
    void waitUntilAllOperationsAreFinished();
    int maxConcurrentOperationCount() const;

    // --- building blocks (any thread) ---
    struct BuildRequest {
        QString sourcePath;
        QString cacheDirectory;
        int orientation = 1;
        qint64 dpi = 72;
        bool isGIF = false;
        qint64 sourceModifiedNs = 0;   // the photo's modification time, nanoseconds since the epoch
        qint64 sourceSize = -1;        // its size in bytes; -1 when not known
        bool dropCache = false;        // no source: the file is there but cannot be drawn
        bool judged = false;           // a whole decode has judged this version already
        quint64 generation = 0;        // the photo's folder generation as the job began
    };
    struct BuildResult {
        bool ok = false;
        QImage preview;
        QString error;
        // Set when the photo was decoded: what the decode found, of the file as it was then.
        bool judged = false;
        PLRPhotoProblem problem = PLRPhotoProblem::None;
        qint64 judgedSize = -1;
        qint64 judgedModifiedNs = 0;
    };
    // Decodes the photo once (scaled down while decoding where the decoder can) and writes
    // the cache files, stamped with the file's size and time as they were when it was read. A
    // photo that cannot be decoded whole gets none, and loses the files of an earlier version.
    static BuildResult buildCache(const BuildRequest& request);
    // Whether the cache folder holds every file of the photo, made from this version of it
    // (its time, and its size when one is given).
    static bool isCacheFresh(const QString& cacheDirectory, qint64 sourceModifiedNs, bool isGIF, qint64 sourceSize = -1);
    // Whether it holds them made for the request: from this version of the photo, turned by its
    // orientation and at its resolution.
    static bool isCacheFresh(const BuildRequest& request);
    // Removes the cache folder's files.
    static void purgeCache(const QString& cacheDirectory);
    // Whether the folder (itself no link) holds the picture a photo is drawn and published from:
    // its export file or its animation, a regular file. A preview alone is none.
    static bool holdsPicture(const QString& cacheDirectory);
    // Makes the pictures of `folder` (moved, not copied) the cache of `identifier` when its cache
    // folder holds no picture (missing, empty, or a preview alone, which the folder's own
    // replaces): the folder is moved there whole when the cache has no folder, else its pictures
    // one by one. False, with the reason, when the folder holds no picture, the cache holds one
    // already, or they cannot be moved: then everything stays where it was.
    static bool adoptPictures(const QString& identifier, const QString& folder, QString* why = nullptr);
    // A cached picture (never through a link, nothing but a regular file); null when unreadable.
    static QImage readCachedImage(const QString& path);
    // Modification time of a regular file (not through a link) in nanoseconds since the
    // epoch; 0 when it cannot be read.
    static qint64 fileModifiedNs(const QString& path);

    // Previews kept in memory (bounded), by identifier.
    static QImage memoryPreview(const QString& identifier);
    static void storeMemoryPreview(const QString& identifier, const QImage& preview);
    static void forgetMemoryPreview(const QString& identifier);

    PLRImageManager();
    ~PLRImageManager();

private:
    void runJob(const std::weak_ptr<PLRSourceImage>& weakImage, const std::function<void()>& done);
    std::unique_ptr<platform::OperationQueue> m_queue;
};

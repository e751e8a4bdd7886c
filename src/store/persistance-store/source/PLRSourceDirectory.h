#pragma once

#include "store/persistance-store/source/PLRDelegateList.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Dispatch.h"
#include "platform/Error.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QRecursiveMutex>
#include <QObject>
#include <QSet>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

class QFileSystemWatcher;
struct stat;
class PLRSourceDirectory;
namespace platform { class SerialQueue; }

// Progress of loading and caching a source folder.
struct PLRSourceDirectoryProgressInfo {
    qint64 totalLoadedImageCount = 0;
    qint64 totalCachedImageCount = 0;
    bool loadDirectoryFinished = false;
};

// Told about a source folder's changes. Every call arrives on the main thread, queued there by
// the directory; a delegate removed (or destroyed, for a QObject) is not called afterwards.
class PLRSourceDirectoryDelegate {
public:
    virtual ~PLRSourceDirectoryDelegate() = default;
    virtual void sourceDirectoryUpdatedState(PLRSourceDirectory* directory, qint64 state)
    { Q_UNUSED(directory); Q_UNUSED(state); }
    virtual void sourceDirectoryAddedNewImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image)
    { Q_UNUSED(directory); Q_UNUSED(image); }
    virtual void sourceDirectoryUpdatedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image)
    { Q_UNUSED(directory); Q_UNUSED(image); }
    virtual void sourceDirectoryDeletedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image)
    { Q_UNUSED(directory); Q_UNUSED(image); }
};

// Sorting and filtering of a source folder's photos (one per directory).
class PLRSourceDirectoryOrdering {
public:
    explicit PLRSourceDirectoryOrdering(PLRSourceDirectory* directory) : m_directory(directory) {}

    // 0 title, 1 creation date, 2 modification date; re-sorts the directory when it changes.
    qint64 sortType() const { return m_sortType; }
    void setSortType(qint64 sortType);
    // 0 ascending, 1 descending; re-sorts the directory when it changes.
    qint64 sortOrder() const { return m_sortOrder; }
    void setSortOrder(qint64 sortOrder);
    // 0 none, 1..5 stars.
    qint64 starSelection() const { return m_starSelection; }
    void setStarSelection(qint64 value) { m_starSelection = value; }
    // 0 equal, -1 at most, 1 at least.
    qint64 starRelation() const { return m_starRelation; }
    void setStarRelation(qint64 value) { m_starRelation = value; }
    // Bit mask: 1 red, 2 yellow, 4 green, 8 blue, 16 purple, 32 white, 64 grey; 0 no filter.
    qint64 colourFilter() const { return m_colourFilter; }
    void setColourFilter(qint64 value) { m_colourFilter = value; }

    // The directory's photos in their current order: code 1, 2, 3 drop hidden photos, 2 also
    // drops photos in the layout, 3 keeps only photos in the layout, 4 keeps only hidden ones,
    // any other code keeps all; then the star and colour filters.
    QList<PLRSourceImagePtr> filteredImageCollection(qint64 code) const;

    static QList<PLRSourceImagePtr> filter(const QList<PLRSourceImagePtr>& images, qint64 code,
                                           qint64 starSelection, qint64 starRelation, qint64 colourFilter);
    static void sort(QList<PLRSourceImagePtr>& images, qint64 sortType, qint64 sortOrder);

private:
    PLRSourceDirectory* m_directory;
    std::atomic<qint64> m_sortType{0};
    std::atomic<qint64> m_sortOrder{0};
    std::atomic<qint64> m_starSelection{0};
    std::atomic<qint64> m_starRelation{1};
    std::atomic<qint64> m_colourFilter{0};
};

// A post's folder of photos: scanned on a background queue, then watched. The per-photo data
// (identifier, file name, hidden flag, keywords) is kept in the post's "location.plist".
// Nothing in the folder is ever written.
class PLRSourceDirectory : public QObject {
    Q_OBJECT

public:
    enum State : qint64 {
        StateIdle = 0,
        StateLoading = 1,
        StateLocationUnavailable = 2,   // the folder could not be opened
        StateWatching = 3,
        StateAccessDenied = 5,          // access to the folder was refused
    };

    struct Config {
        QString folderPath;             // empty: the "location" stored in location.plist
        QString locationPlistPath;      // the post's location.plist
        bool includeSubFolders = false; // the "include_sub_folders" setting
        QString cacheRoot;              // the image area; empty: PLRImageManager's default
        // Whether Pellora may use the folder (a folder the user chose earlier may have become
        // unreadable since); default: the folder is readable and searchable.
        std::function<bool(const QString& folder)> accessCheck;
        int debounceMs = 250;           // quiet time after a file-system event before a rescan
        // Called on the scan's queue each time the folder has been opened to be listed, before
        // its files are (tests hold a scan there); default: nothing.
        std::function<void(const QString& folder)> listingBegun;
        // Called on the scan's queue when a look found photos new to the records, before their
        // pictures are made, and when a relinking look has matched the records to the folder:
        // the owner writes the records, in order with its other writes of the location file.
        // Default: nothing for new photos, and the location file written here after a relink.
        std::function<void(const PLRSourceDirectory& directory)> recordsChanged;
    };

    // Keys of location.plist.
    static constexpr const char* kLocationKey = "location";
    static constexpr const char* kImagesKey = "images";
    static constexpr const char* kIdentifierKey = "identifier";
    static constexpr const char* kFileNameKey = "file_name";
    static constexpr const char* kHiddenKey = "hidden";
    static constexpr const char* kKeywordsKey = "keywords";
    // The file's size and modification time (nanoseconds since the epoch) as last seen, so a
    // renamed or moved photo is known again.
    static constexpr const char* kFileSizeKey = "file_size";
    static constexpr const char* kFileModifiedKey = "file_modified";
    // What the file held at that size and time (its picture's size, orientation, ratings,
    // dates, or that it is no picture), so that a file found as it was is not read again.
    static constexpr const char* kMetadataKey = "metadata";

    explicit PLRSourceDirectory(Config config, QObject* parent = nullptr);
    ~PLRSourceDirectory() override;

    // Scans the folder on a background queue, then watches it (and its sub-folders when they
    // are included).
    void startWatching();
    void stopWatching();

    qint64 state() const;
    bool locationExisits() const;
    // The folders and files the file-system watch covers now (main thread; set from the main
    // loop after each scan): the photo folder and its contents, and every folder above it.
    QStringList watchedPaths() const;
    // Whether the folder, not found, waits for its next timed look (main thread).
    bool isLookingForTheFolder() const { return m_lookForFolder.isValid() && !m_lookForFolder.isCancelled(); }
    QUrl location() const;
    QString path() const;
    bool includeSubFolders() const { return m_config.includeSubFolders; }
    // Relinks to another folder: photos are matched by file name and keep their identifiers
    // and data; the folder is scanned again.
    void setNewLocation(const QUrl& url);

    // Weakly held; a QObject delegate is dropped when it is destroyed. Called on the main
    // thread only. removeDelegate() from another thread waits for a call in progress.
    void addDelegate(PLRSourceDirectoryDelegate* delegate);
    void removeDelegate(PLRSourceDirectoryDelegate* delegate);

    // Called while the folder loads and caches; at once when that has already finished.
    void setUIDirectoryWatchProgressCallback(std::function<void(const PLRSourceDirectoryProgressInfo&)> callback);

    // Purges the cache files of every current photo.
    void resetCache();

    // The photos in the folder, in the current order (before the first scan: every record of
    // location.plist, shown as missing). A file named as a photo that is no picture is one of
    // them, marked as one that cannot be used.
    QList<PLRSourceImagePtr> images() const;
    // The records whose file is gone from the folder (fileDeleted). They keep their identifier,
    // hidden flag and keywords, are saved, and take their file back when it returns under the
    // same path, or when a new file has their size and modification time (renamed or moved).
    QList<PLRSourceImagePtr> vanishedImages() const;
    // Any record, present or vanished.
    PLRSourceImagePtr sourceImageForIdentifier(const QString& identifier) const;
    // Marks the photos whose identifiers the layout uses; answers how many photos are in it.
    qint64 updateImagesInLayout(const QSet<QString>& identifiers);
    // Of the identifiers the layout uses, those whose photo cannot be used, each as "file name:
    // reason" (the identifier in place of the name when the folder has no such photo), in
    // order. Photos no decode has judged yet are decoded (at their smallest scale) first.
    QStringList unusablePhotosForIdentifiers(const QSet<QString>& identifiers) const;

    PLRSourceDirectoryOrdering& sourceDirectoryOrdering() { return m_ordering; }

    // What save() writes to location.plist: every record a dictionary of the keys above.
    QVariantMap plistRepresentation() const;
    bool save(platform::Error* error = nullptr) const;

    // One photo's record in a location.plist.
    struct LocationRecord {
        QString identifier;
        QString fileName;    // relative to the folder
        bool hidden = false;
        QStringList keywords;
        PLRFileStamp stamp;  // size -1: not known
        QString metadata;    // PLRImageMetadata::storedText()
    };
    // The records of a location.plist's dictionary, whichever form they were written in; as
    // they stand (whoever uses them checks them).
    static QList<LocationRecord> locationRecords(const QVariantMap& plist);
    // The bytes of a location.plist for `plist` (plistRepresentation(), or a dictionary read
    // from such a file): the records are dictionaries while the file stays within what the
    // store reads back (kPLRPostMaxLocationBytes), else written in a compact form. Empty, with
    // the reason, when even that is more. Every location.plist is written through here, so none
    // is ever written that its next reading would set aside.
    static QByteArray locationFileBytes(const QVariantMap& plist, platform::Error* error = nullptr);
    // Writes them to `path` atomically.
    static bool writeLocationFile(const QString& path, const QVariantMap& plist, platform::Error* error = nullptr);

    // Waits until the scans queued so far have run (tests, shutdown).
    void waitUntilIdle();

private:
    friend class PLRSourceDirectoryOrdering;
    struct Progress;
    struct Listing;
    struct Work;
    struct Changes;

    void loadPlist();
    void queueRescan(bool relink = false);
    // Rescans once the delay has passed with no other call in between (main thread).
    void rescanAfter(double seconds);
    bool rescanScheduled() const { return m_rescanSoon.isValid() && !m_rescanSoon.isCancelled(); }
    // One look at the folder, in steps: is it usable, what is in it, what changed against the
    // records, reading the new and changed files, taking the changes in, telling delegates.
    void scan(bool relink);
    bool checkFolderUsable(const QString& folder, bool relink);
    Listing listFiles(const QString& folder) const;
    Changes compareWithRecords(const QString& folder, const Listing& listing, bool relink, quint64 generation);
    void relinkByFileName(const QString& folder, const Listing& listing, QHash<QString, PLRSourceImagePtr>& byPath);
    // Reads the files; one that is gone by then (it or its folder moved) is left for the next look.
    void readMetadata(Changes& changes);
    void applyChanges(Changes& changes);
    void announceChanges(const Changes& changes, bool relink);
    void finishScan(const Changes& changes, const QStringList& directories, bool relink, bool anew);
    void reportScanDone();
    // Has the folder looked at again once it has been still for a moment (while it is watched).
    void lookAgainSoon();
    void setState(qint64 state);
    // Queues the call to every delegate on the main thread.
    void notifyDelegates(std::function<void(PLRSourceDirectoryDelegate*)> call);
    void deliverToDelegates(const std::function<void(PLRSourceDirectoryDelegate*)>& call);
    void markAllDeleted();
    // A photo found unusable (or usable again) by a decode is announced as an updated photo.
    void followProblems(const PLRSourceImagePtr& image);
    void resort();
    void requestCaching(const QList<PLRSourceImagePtr>& images);
    void reportProgress();
    // `anew`: the folder at the path is another one than before, or it is back: every watch is
    // made again.
    void scheduleWatchUpdate(const QStringList& directories, const QStringList& files, bool rootMissing, bool anew = false);
    // Watches the folders and files, the photo folder itself whenever it is there, and every
    // level of its path above it that is there, up to the root: the renaming, moving, removal
    // or replacing of any level (which the watch of a renamed folder, following it, does not
    // report) shows in the level above it, and so does its return. A watch whose path names
    // another folder or file than the one it was made on is made again. Once a folder or file
    // that was not watched before is, the folder is looked at again: what changed there before
    // told nobody.
    void applyWatchPaths(const QStringList& directories, const QStringList& files, bool rootMissing, bool anew = false);
    // The same paths again, after a change above the photo folder.
    void rearmWatches() { applyWatchPaths(m_watchDirectories, m_watchFiles, m_watchRootMissing); }
    void onFileSystemEvent(const QString& changed);
    // Whether every level of the folder's path is the folder it was when the watches were made,
    // where it was (main thread).
    bool levelsAsWatched() const;
    // While the folder cannot be found it is looked for on the clock too, so that no missed
    // event leaves it unseen (main thread; any thread may ask).
    void lookForTheFolderLater();
    // The folder was found: no look for it stays waiting on the clock.
    void stopLookingForTheFolder();
    // The folder as a scan last saw it: whether it was there, which folder it was, and when it
    // last changed and when its list of files last did.
    struct FolderIdentity {
        bool present = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 changedNs = 0;
        qint64 modifiedNs = 0;
        bool operator==(const FolderIdentity&) const = default;
        bool sameFolder(const FolderIdentity& other) const
        {
            return present == other.present && device == other.device && inode == other.inode;
        }
        // Whether, being the same folder, it was renamed (or moved away and back) since it was
        // `seen`: it changed since, and not by a change of its files (which changes both times).
        bool movedSince(const FolderIdentity& seen) const
        {
            return present && changedNs != seen.changedNs && changedNs != modifiedNs;
        }
    };
    static FolderIdentity identityOf(const QString& folder);
    static FolderIdentity identityOfOpened(int fd);
    static FolderIdentity identityOf(const struct stat& st);
    // Notes what the scan found at the folder's path: whether it came back since the last scan
    // (`cameBack`) and whether it is another folder than the last one there (`replaced`).
    void noteFolderSeen(const FolderIdentity& seen, bool relink, bool* cameBack, bool* replaced);
    // The folder may be moving (it went, came back, is another one, or a file listed a moment
    // ago could not be found): verdicts on its photos made until now are judged again by the
    // next scan, once it is still.
    void noteFolderMoving() { m_generation->fetch_add(1); }
    quint64 generation() const { return m_generation->load(); }
    std::vector<PLRSourceDirectoryDelegate*> liveDelegates();

    Config m_config;
    PLRSourceDirectoryOrdering m_ordering;

    mutable QMutex m_mutex;
    QString m_path;
    qint64 m_state = StateIdle;
    bool m_scannedOnce = false;
    QList<PLRSourceImagePtr> m_images;
    QList<PLRSourceImagePtr> m_vanished;
    QHash<QString, PLRSourceImagePtr> m_byIdentifier;   // every record, present or vanished
    // Counts the times the folder was seen moving; each photo's verdicts carry the count they
    // were made at. Shared with the photos, read from any thread.
    std::shared_ptr<std::atomic<quint64>> m_generation = std::make_shared<std::atomic<quint64>>(0);
    PLRDelegateList<PLRSourceDirectoryDelegate> m_delegates;
    QRecursiveMutex m_deliveryMutex;   // held by the main thread while it calls a delegate

    std::shared_ptr<Progress> m_progress;
    std::atomic_bool m_stopping{false};
    std::atomic_bool m_watching{false};
    std::atomic_bool m_rescanQueued{false};
    std::atomic_bool m_relinkPending{false};   // a relinking look was put off: the next look that lists relinks

    FolderIdentity m_seenFolder;        // guarded by m_mutex
    FolderIdentity m_lastPresentFolder; // guarded by m_mutex
    bool m_folderSeen = false;          // guarded by m_mutex

    QFileSystemWatcher* m_watcher = nullptr;
    // What each watch was made on: the device and inode at its path as the watch was made. A
    // watch follows what it was made on wherever that goes, so watches are compared by what
    // they watch: one whose path names something else now (or nothing) is made again. Main
    // thread.
    QHash<QString, QPair<quint64, quint64>> m_watchedKeys;
    // Each level of the photo folder's path, the folder itself first and the root last, as it
    // was when the watches were last made; and the paths last asked to be watched. Main thread.
    QList<QPair<QString, FolderIdentity>> m_levels;
    QStringList m_watchDirectories;
    QStringList m_watchFiles;
    bool m_watchRootMissing = false;
    // The rescan that follows file-system events (restarted by each) or a file still being
    // written, and the timed look for a folder that cannot be found; main thread.
    platform::Cancellable m_rescanSoon;
    double m_rescanAskedAt = 0.0;   // when the rescan waiting was first asked for
    static constexpr double kRescanPutOffLimit = 4.0;   // in quiet times
    platform::Cancellable m_lookForFolder;
    std::unique_ptr<platform::SerialQueue> m_queue;
};

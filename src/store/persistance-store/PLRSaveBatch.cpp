#include "store/persistance-store/PLRSaveBatch.h"

#include <QFile>
#include <QFileInfo>

#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantResource.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Plist.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentMap>

#include <QHash>
#include <QStringList>

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <numeric>

namespace {

// Batches of at least this many files are flushed with one sync of the file system; smaller
// ones flush each file and folder on its own (a single post saved now should not wait for
// whatever else the disk has to write).
constexpr int kFileSystemSyncThreshold = 16;

// One bundle on its way to the disk.
struct StagedBundle {
    bool ok = true;
    platform::Error refusal;   // why plistBytes refused the plist
    bool madeFolder = false;
    std::vector<platform::files::StagedFile> files;
    platform::files::StagedFile plist;

    void discard()
    {
        for (const platform::files::StagedFile& file : files)
            platform::files::discardStaged(file);
        platform::files::discardStaged(plist);
        files.clear();
        plist = {};
    }
    bool anyStaged() const
    {
        return plist.isStaged()
            || std::any_of(files.begin(), files.end(), [](const platform::files::StagedFile& f) { return f.isStaged(); });
    }
};

void logFailure(const PLRBundleWrite& bundle, const QString& name, const platform::Error& error)
{
    if (name.isEmpty())
        PLR_LOG_ERROR(QStringLiteral("Save of %1 failed: %2").arg(bundle.description, error.toString()));
    else
        PLR_LOG_ERROR(QStringLiteral("Save of %1 failed writing %2: %3").arg(bundle.description, name, error.toString()));
}

// Writes the bundle's files to temporaries beside them in `folder` (the bundle's folder, or the
// staging folder of a bundle that appears whole); files whose bytes did not change are left alone.
StagedBundle stageBundle(const PLRBundleWrite& bundle, const QString& folder, bool syncNow)
{
    StagedBundle staged;
    platform::Error error;
    // The records set aside what came in the way before the save; whatever has come since is
    // never written through.
    if (const QString link = PLRPersistantStore::linkOnTheWay(folder); !link.isEmpty()) {
        PLR_LOG_ERROR(QStringLiteral("Save of %1 not written: %2 is a link or no folder, and links in the store are "
                                     "never followed")
                          .arg(bundle.description, link));
        staged.ok = false;
        return staged;
    }
    staged.madeFolder = platform::files::kindOf(folder) == platform::files::Kind::Missing;
    if (!plr::fileutil::ensureDirectory(folder, &error)) {
        logFailure(bundle, QString(), error);
        staged.ok = false;
        return staged;
    }
    for (const auto& [name, bytes] : bundle.files) {
        platform::files::StagedFile file;
        if (!platform::files::stageWrite(folder + QLatin1Char('/') + name, bytes, &file, syncNow, &error)) {
            logFailure(bundle, name, error);
            staged.discard();
            staged.ok = false;
            return staged;
        }
        staged.files.push_back(std::move(file));
    }
    if (!bundle.plist.isEmpty()) {
        const QByteArray xml =
            bundle.plistBytes ? bundle.plistBytes(bundle.plist, &error) : platform::plist::toXml(bundle.plist, &error);
        if (xml.isEmpty())
            staged.refusal = error;
        if (xml.isEmpty()
            || !platform::files::stageWrite(folder + QLatin1Char('/') + bundle.plistName, xml,
                                            &staged.plist, syncNow, &error)) {
            logFailure(bundle, bundle.plistName, error);
            staged.discard();
            staged.ok = false;
        }
    }
    return staged;
}

// Puts the staged files in place: the files, then the removals, then the info.plist, which
// completes the bundle. The old copies of replaced files and the removed files are kept under
// leftover-temporary names in `aside`, to be removed once the save has reported.
bool commitBundle(const PLRBundleWrite& bundle, const QString& folder, StagedBundle& staged, QStringList* aside)
{
    platform::Error error;
    QString kept;
    for (size_t i = 0; i < staged.files.size(); ++i) {
        if (!platform::files::commitStaged(staged.files[i], &error, &kept)) {
            logFailure(bundle, bundle.files[i].first, error);
            for (size_t k = i + 1; k < staged.files.size(); ++k)
                platform::files::discardStaged(staged.files[k]);
            platform::files::discardStaged(staged.plist);
            return false;
        }
        if (!kept.isEmpty())
            aside->append(kept);
    }
    for (const QString& name : bundle.removedFiles) {
        const QString path = folder + QLatin1Char('/') + name;
        if (platform::files::kindOf(path) == platform::files::Kind::Missing)
            continue;
        const QString moved = platform::files::renameAside(path);
        if (!moved.isEmpty())
            aside->append(moved);
        else if (!QFile::remove(path))
            PLR_LOG_WARN(QStringLiteral("Save of %1 could not remove %2").arg(bundle.description, name));
    }
    if (!platform::files::commitStaged(staged.plist, &error, &kept)) {
        logFailure(bundle, bundle.plistName, error);
        return false;
    }
    if (!kept.isEmpty())
        aside->append(kept);
    return true;
}

// Gives a whole bundle's staging folder the bundle's name, never over anything at that name.
bool placeWhole(const QString& staging, const QString& bundlePath, const QString& description)
{
    platform::Error error;
    if (!platform::files::syncFolder(staging, &error)) {
        PLR_LOG_ERROR(QStringLiteral("Save of %1 failed: %2").arg(description, error.toString()));
        return false;
    }
    if (::renameat2(AT_FDCWD, QFile::encodeName(staging).constData(), AT_FDCWD, QFile::encodeName(bundlePath).constData(),
                    RENAME_NOREPLACE)
        != 0) {
        const int code = errno;
        PLR_LOG_ERROR(QStringLiteral("Save of %1 failed: %2 could not take its place (%3)%4")
                          .arg(description, staging, QString::fromLocal8Bit(std::strerror(code)),
                               code == EEXIST ? QStringLiteral("; what came there meanwhile stays as it is") : QString()));
        return false;
    }
    return true;
}

template <typename Function>
void forEachIndex(size_t count, Function function)
{
    if (count < 8) {
        for (size_t i = 0; i < count; ++i)
            function(i);
        return;
    }
    // Bundles are independent of each other: larger batches are handled by a few threads at
    // once, so their waits for the disk overlap.
    static QThreadPool pool;
    pool.setMaxThreadCount(8);
    std::vector<size_t> indexes(count);
    std::iota(indexes.begin(), indexes.end(), size_t(0));
    QtConcurrent::blockingMap(&pool, indexes, function);
}

} // namespace

bool writeBundle(const PLRBundleWrite& bundle)
{
    PLRSaveBatch batch;
    batch.bundles.push_back(bundle);
    batch.bundles.back().origin = nullptr;
    return batch.write();
}

bool PLRSaveBatch::write(const std::function<void(bool)>& written) const
{
    // Every file is first written to a temporary beside it; the temporaries are flushed
    // together, renamed into place, and the folders flushed once more. A crash at any point
    // leaves each file either old or new, and loses nothing already saved.
    size_t fileCount = 0;
    for (const PLRBundleWrite& bundle : bundles)
        fileCount += bundle.files.size() + (bundle.plist.isEmpty() ? 0 : 1);
    const bool syncEachFile = fileCount < size_t(kFileSystemSyncThreshold);

    // A bundle that appears whole and has no folder yet is written into a staging folder, with
    // every other write of the batch to its folder, and put in place once all of them are.
    // (Held while the batch runs, so the clean-up of an account opening meanwhile leaves it.)
    struct StagingFolders : QHash<QString, QString> {
        ~StagingFolders()
        {
            for (const QString& staging : std::as_const(*this))
                plr::fileutil::unregisterStagingFolder(staging);
        }
    } stagingOf;
    for (const PLRBundleWrite& bundle : bundles) {
        if (bundle.appearsWhole && !stagingOf.contains(bundle.bundlePath)
            && platform::files::kindOf(bundle.bundlePath) == platform::files::Kind::Missing) {
            const QString staging = bundle.bundlePath + QStringLiteral(".partial");
            plr::fileutil::registerStagingFolder(staging);
            if (PLRPersistantStore::linkOnTheWay(staging).isEmpty())
                plr::fileutil::removePath(staging);   // (a link is removed itself)
            stagingOf.insert(bundle.bundlePath, staging);
        }
    }
    const auto folderOf = [&](const PLRBundleWrite& bundle) { return stagingOf.value(bundle.bundlePath, bundle.bundlePath); };

    std::vector<StagedBundle> staged(bundles.size());
    forEachIndex(bundles.size(), [&](size_t i) { staged[i] = stageBundle(bundles[i], folderOf(bundles[i]), syncEachFile); });
    // A whole bundle goes in with all of its writes or not at all.
    for (auto it = stagingOf.cbegin(); it != stagingOf.cend(); ++it) {
        bool allStaged = true;
        for (size_t i = 0; i < bundles.size(); ++i)
            allStaged = allStaged && (bundles[i].bundlePath != it.key() || staged[i].ok);
        if (allStaged)
            continue;
        for (size_t i = 0; i < bundles.size(); ++i) {
            if (bundles[i].bundlePath == it.key() && staged[i].ok) {
                staged[i].discard();
                staged[i].ok = false;
            }
        }
        plr::fileutil::removePath(it.value());
    }

    QStringList stagedFolders;
    for (size_t i = 0; i < bundles.size(); ++i)
        if (staged[i].ok && staged[i].anyStaged())
            stagedFolders.append(bundles[i].bundlePath);
    if (!syncEachFile && !stagedFolders.isEmpty()) {
        platform::Error error;
        if (!platform::files::syncFileSystemsOf(stagedFolders, &error)) {
            PLR_LOG_ERROR(QStringLiteral("Save failed: %1").arg(error.toString()));
            for (size_t i = 0; i < bundles.size(); ++i) {
                if (staged[i].ok && staged[i].anyStaged()) {
                    staged[i].discard();
                    staged[i].ok = false;
                }
            }
        }
    }

    // Bundles of one folder are put in place one after another, in batch order; folders in
    // parallel.
    std::vector<std::vector<size_t>> groups;
    {
        QHash<QString, size_t> groupOfFolder;
        for (size_t i = 0; i < bundles.size(); ++i) {
            if (!staged[i].ok)
                continue;
            auto found = groupOfFolder.find(bundles[i].bundlePath);
            if (found == groupOfFolder.end()) {
                found = groupOfFolder.insert(bundles[i].bundlePath, groups.size());
                groups.emplace_back();
            }
            groups[found.value()].push_back(i);
        }
    }
    std::vector<QStringList> asideOfGroup(groups.size());
    std::vector<char> committed(bundles.size(), 0);
    forEachIndex(groups.size(), [&](size_t g) {
        const PLRBundleWrite& first = bundles[groups[g].front()];
        const auto staging = stagingOf.constFind(first.bundlePath);
        const bool whole = staging != stagingOf.cend();
        bool allCommitted = true;
        for (size_t i : groups[g]) {
            committed[i] = (staged[i].anyStaged() || !bundles[i].removedFiles.empty()) ? 1 : 0;
            if (!allCommitted) {
                staged[i].discard();
                staged[i].ok = false;
                continue;
            }
            staged[i].ok = commitBundle(bundles[i], folderOf(bundles[i]), staged[i], &asideOfGroup[g]);
            allCommitted = staged[i].ok || !whole;
        }
        if (whole && (!allCommitted || !placeWhole(*staging, first.bundlePath, first.description))) {
            plr::fileutil::removePath(*staging);
            for (size_t i : groups[g]) {
                staged[i].ok = false;
                committed[i] = 0;
            }
        }
    });

    QStringList committedFolders;
    bool madeFolders = false;
    for (size_t i = 0; i < bundles.size(); ++i) {
        if (!committed[i])
            continue;
        committedFolders.append(bundles[i].bundlePath);
        madeFolders = madeFolders || staged[i].madeFolder;
    }
    bool foldersSynced = true;
    if (!committedFolders.isEmpty()) {
        platform::Error error;
        // New folders (and the folders above them) are flushed with the file system as well.
        if (syncEachFile && !madeFolders) {
            for (const QString& folder : std::as_const(committedFolders))
                foldersSynced = platform::files::syncFolder(folder, &error) && foldersSynced;
        } else {
            foldersSynced = platform::files::syncFileSystemsOf(committedFolders, &error);
        }
        // The files are in place and reach the disk with the system's own write-back; only a
        // power cut before that could lose them, so the save is reported as failed, not undone.
        if (!foldersSynced)
            PLR_LOG_ERROR(QStringLiteral("Save could not flush its folders: %1").arg(error.toString()));
    }

    bool allWritten = foldersSynced;
    for (size_t i = 0; i < bundles.size(); ++i) {
        const PLRBundleWrite& bundle = bundles[i];
        if (staged[i].ok)
            continue;
        allWritten = false;
        // The record's idea of what is on disk is wrong now: have the next save write it.
        QPointer<PLRPersistantResource> origin = bundle.origin;
        platform::dispatchMain([origin] {
            if (origin)
                origin->setHasChanges(true);
        });
        if (bundle.refused && staged[i].refusal.isValid())
            platform::dispatchMain([refused = bundle.refused, reason = staged[i].refusal] { refused(reason); });
    }
    if (written)
        written(allWritten);

    // Freeing the old copies' blocks is the slowest part of replacing a file on some disks;
    // the save is complete without it. What a crash leaves here is removed on the next load.
    QStringList aside;
    for (QStringList& names : asideOfGroup)
        aside += std::move(names);
    forEachIndex(size_t(aside.size()), [&](size_t i) { ::unlink(QFile::encodeName(aside[qsizetype(i)]).constData()); });
    return allWritten;
}

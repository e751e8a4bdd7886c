#include "publishing/export/PLRPersistantPostExporter.h"
#include "platform/ModalFocus.h"
#include "platform/Threads.h"

#include "shell/AppDelegate.h"
#include "layout/base/PLRLayoutTree.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRImageMetadata.h"
#include "store/persistance-store/source/PLRPhotoDecoder.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "store/session/PLRPostManager.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Plist.h"
#include "platform/Workspace.h"
#include "platform/ZipModule.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRShellNotifications.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QEventLoop>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <QUuid>


#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr const char* kErrorDomain = "PLRPostFileErrorDomain";

platform::Error fileError(qint64 code, const QString& description)
{
    return platform::Error::make(QString::fromLatin1(kErrorDomain), code, description);
}

void setError(platform::Error* error, qint64 code, const QString& description)
{
    PLR_LOG_ERROR(QStringLiteral("Post file: %1").arg(description));
    if (error)
        *error = fileError(code, description);
}

QString newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// One plain name inside a folder: not empty, not hidden, no separators, not "." or "..".
bool isPlainName(const QString& name)
{
    return !name.isEmpty() && !name.startsWith(QLatin1Char('.')) && !name.contains(QLatin1Char('/'))
        && !name.contains(QLatin1Char('\\')) && !name.contains(QChar(0));
}

QStringList imageIdentifiersOfLayout(const PLRLayout& layout)
{
    QStringList identifiers = plr::tree::imageUseCounts(layout).keys();
    identifiers.removeIf([](const QString& identifier) { return !isPlainName(identifier); });
    identifiers.sort();
    return identifiers;
}

// An import's staging folder: registered while the import runs (so the clean-up of leftovers
// at an account's opening leaves it alone), removed when it goes out of scope.
class StagingFolder {
public:
    explicit StagingFolder(QString path) : m_path(std::move(path)) { plr::fileutil::registerStagingFolder(m_path); }
    ~StagingFolder()
    {
        QDir(m_path).removeRecursively();
        plr::fileutil::unregisterStagingFolder(m_path);
    }
    StagingFolder(const StagingFolder&) = delete;
    StagingFolder& operator=(const StagingFolder&) = delete;
    const QString& path() const { return m_path; }
private:
    QString m_path;
};

// Runs the work on a worker thread while the main thread keeps handling events (but no user
// input), calling `tick` (if any) every 0.1 s meanwhile and once at the end, and answers what it
// made; on any other thread, runs it there.
template <class Result>
Result offMainThread(const std::function<Result()>& work, const std::function<void()>& tick = {})
{
    if (!platform::isMainThread())
        return work();
    QFuture<Result> future = QtConcurrent::run(work);
    QFutureWatcher<Result> watcher;
    QEventLoop loop;
    QTimer ticker;
    ticker.setInterval(100);
    if (tick)
        QObject::connect(&ticker, &QTimer::timeout, &loop, tick);
    QObject::connect(&watcher, &QFutureWatcher<Result>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(future);
    if (tick)
        ticker.start();
    if (!future.isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    ticker.stop();
    if (tick)
        tick();
    return future.result();
}

// --- Zip archives -------------------------------------------------------------------------------

// The zip functions of the zip module. Reading and writing a post file first make sure the module
// is there (zipModuleMissing); a module once loaded stays for the run.
const platform::zipmodule::Functions& zipLib()
{
    return *platform::zipmodule::functions();
}

// True, with the error set, when the zip module cannot be loaded.
bool zipModuleMissing(platform::Error* error, qint64 code, const QString& what)
{
    QString reason;
    if (platform::zipmodule::functions(&reason))
        return false;
    setError(error, code, QStringLiteral("%1 (%2).").arg(what, reason));
    return true;
}

// --- Writing ------------------------------------------------------------------------------------

// Where libzip writes the archive: a file descriptor, written from the start. The archive is
// new each time (the source reports that no archive exists yet).
struct ZipSink {
    int fd = -1;
    zip_error_t error;
    ZipSink() { zipLib().errorInit(&error); }
    ~ZipSink() { zipLib().errorFini(&error); }

    static zip_int64_t callback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command)
    {
        auto* sink = static_cast<ZipSink*>(userdata);
        const auto systemFailure = [sink](int zipCode) {
            zipLib().errorSet(&sink->error, zipCode, errno);
            return zip_int64_t(-1);
        };
        switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return ZIP_SOURCE_SUPPORTS_WRITABLE;
        case ZIP_SOURCE_STAT:
            zipLib().errorSet(&sink->error, ZIP_ER_READ, ENOENT);   // no archive there yet
            return -1;
        case ZIP_SOURCE_ERROR:
            return zipLib().errorToData(&sink->error, data, length);
        case ZIP_SOURCE_OPEN:
        case ZIP_SOURCE_CLOSE:
        case ZIP_SOURCE_FREE:
        case ZIP_SOURCE_READ:
        case ZIP_SOURCE_SEEK:
        case ZIP_SOURCE_TELL:
            return 0;
        case ZIP_SOURCE_BEGIN_WRITE:
        case ZIP_SOURCE_ROLLBACK_WRITE:
        case ZIP_SOURCE_REMOVE:
            if (::ftruncate(sink->fd, 0) != 0 || ::lseek(sink->fd, 0, SEEK_SET) != 0)
                return systemFailure(ZIP_ER_WRITE);
            return 0;
        case ZIP_SOURCE_WRITE: {
            const char* bytes = static_cast<const char*>(data);
            zip_uint64_t done = 0;
            while (done < length) {
                const ssize_t n = ::write(sink->fd, bytes + done, size_t(length - done));
                if (n < 0 && errno == EINTR)
                    continue;
                if (n <= 0)
                    return systemFailure(ZIP_ER_WRITE);
                done += zip_uint64_t(n);
            }
            return zip_int64_t(length);
        }
        case ZIP_SOURCE_SEEK_WRITE: {
            if (length < sizeof(zip_source_args_seek_t)) {
                zipLib().errorSet(&sink->error, ZIP_ER_INVAL, 0);
                return -1;
            }
            const auto* args = static_cast<const zip_source_args_seek_t*>(data);
            if (::lseek(sink->fd, off_t(args->offset), args->whence) < 0)
                return systemFailure(ZIP_ER_SEEK);
            return 0;
        }
        case ZIP_SOURCE_TELL_WRITE: {
            const off_t at = ::lseek(sink->fd, 0, SEEK_CUR);
            return at < 0 ? systemFailure(ZIP_ER_TELL) : zip_int64_t(at);
        }
        case ZIP_SOURCE_COMMIT_WRITE:
            return ::fsync(sink->fd) == 0 ? 0 : systemFailure(ZIP_ER_WRITE);
        default:
            zipLib().errorSet(&sink->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
        }
    }
};

struct ZipWriter {
    zip_t* archive = nullptr;
    ~ZipWriter()
    {
        if (archive)
            zipLib().discard(archive);
    }
    QString lastError() const { return archive ? QString::fromUtf8(zipLib().strerror(archive)) : QString(); }
    bool addDirectory(const QString& name)
    {
        return zipLib().dirAdd(archive, name.toUtf8().constData(), ZIP_FL_ENC_UTF_8) >= 0;
    }
    bool addFile(const QString& name, const QString& path)
    {
        zip_source_t* source = zipLib().sourceFile(archive, QFile::encodeName(path).constData(), 0, -1);
        if (!source)
            return false;
        if (zipLib().fileAdd(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zipLib().sourceFree(source);
            return false;
        }
        return true;
    }
    // Adds the folder's regular files and folders (symbolic links left out) under `prefix`.
    bool addTree(const QString& folder, const QString& prefix, const QStringList& skipTopLevel, QString* failure)
    {
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            const QFileInfo info = it.fileInfo();
            const QString relative = QDir(folder).relativeFilePath(info.filePath());
            if (skipTopLevel.contains(relative.section(QLatin1Char('/'), 0, 0)))
                continue;
            if (info.isSymLink())
                continue;
            bool ok = true;
            if (info.isDir())
                ok = addDirectory(prefix + relative + QLatin1Char('/'));
            else if (info.isFile())
                ok = addFile(prefix + relative, info.filePath());
            if (!ok) {
                *failure = QStringLiteral("%1: %2").arg(info.filePath(), lastError());
                return false;
            }
        }
        return true;
    }
};

// --- Reading ------------------------------------------------------------------------------------

struct ZipReader {
    zip_t* archive = nullptr;
    ~ZipReader()
    {
        if (archive)
            zipLib().close(archive);
    }
};

// An entry name that stays inside the folder it is unpacked into, as its parts; empty when
// the name is absolute, climbs out, or is otherwise unusable.
QStringList safeEntryParts(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QChar(0)) || (name.size() > 1 && name.at(1) == QLatin1Char(':')))
        return {};
    QStringList parts = name.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& part : parts)
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return {};
    return parts;
}

// What a post is made of, and how large each part may be.
enum class EntryKind { Info, Location, Layout, Picture };
// A post's own files: as much as the store reads of them.
constexpr qint64 kMaxInfoBytes = kPLRPostMaxInfoBytes;
constexpr qint64 kMaxLocationBytes = kPLRPostMaxLocationBytes;
constexpr qint64 kMaxLayoutBytes = kPLRPostMaxLayoutBytes;
// A picture may hold at most this many pixels, and take at most four bytes a pixel (more than
// any JPEG needs) plus room for its metadata; an animation a few frames' worth more.
constexpr qint64 kMaxPicturePixels = qint64(250) * 1000 * 1000;
constexpr qint64 kPictureMetadataBytes = qint64(1) * 1024 * 1024;
constexpr qint64 kMaxAnimationBytes = qint64(256) * 1024 * 1024;
// The start of a picture read to learn its pixel size.
constexpr qint64 kPictureHeadBytes = qint64(1) * 1024 * 1024;
// How many skipped entries are named in the log; the rest are counted.
constexpr int kSkippedNamedInLog = 10;

const QStringList& pictureFileNames()
{
    static const QStringList names = {QString::fromLatin1(PLRImageManager::kPreviewFileName),
                                      QString::fromLatin1(PLRImageManager::kExportFileName),
                                      QString::fromLatin1(PLRImageManager::kAnimationFileName)};
    return names;
}

struct ArchiveEntry {
    zip_uint64_t index = 0;
    QString name;
    QStringList parts;   // inside the bundle folder
    qint64 size = 0;     // as the archive claims it
};

// The largest size that the picture whose first bytes are `head` may have; 0 when those bytes
// are not a picture of that kind or it has too many pixels.
qint64 pictureBound(const QByteArray& head, const QString& fileName)
{
    QBuffer buffer;
    buffer.setData(head);
    buffer.open(QIODevice::ReadOnly);
    const bool animation = fileName == QLatin1String(PLRImageManager::kAnimationFileName);
    QImageReader reader(&buffer, animation ? QByteArrayLiteral("gif") : QByteArrayLiteral("jpeg"));
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return 0;
    const qint64 pixels = qint64(size.width()) * qint64(size.height());
    if (pixels > kMaxPicturePixels)
        return 0;
    const qint64 frame = pixels * 4 + kPictureMetadataBytes;
    return animation ? std::min(kMaxAnimationBytes, frame * 16) : frame;
}

// Reads a post file into a staging folder: the bundle's own files and, under
// "export_block_cache", the known picture files of the photos that its layout names, each
// within the bounds of its kind. Everything else is skipped with a log line. Any thread.
class PostFileReader {
public:
    using Progress = PLRPersistantPostExporter::ImportProgress;

    PostFileReader(QString archivePath, QString bundle, Progress progress)
        : m_archivePath(std::move(archivePath)), m_bundle(std::move(bundle)), m_progress(std::move(progress))
    {
    }

    bool read(platform::Error* error)
    {
        if (!open(error) || !survey(error))
            return false;
        if (m_layoutIndex < 0 || m_infoIndex < 0) {
            setError(error, 23, QStringLiteral("The post in the file cannot be read (its %1 is missing).")
                                    .arg(m_layoutIndex < 0 ? QLatin1String(kPLRPostLayoutFileName) : QLatin1String(kPLRPostInfoFileName)));
            return false;
        }
        // The layout first: it says which photos' pictures belong to the post.
        if (!extract(m_entries[m_layoutIndex], EntryKind::Layout, error))
            return false;
        PLRLayout layout;
        QByteArray layoutBytes;
        if (!platform::files::readAll(m_bundle + QLatin1Char('/') + QLatin1String(kPLRPostLayoutFileName), &layoutBytes, nullptr, kMaxLayoutBytes)
            || !plr::parseFromData(&layout, layoutBytes)) {
            setError(error, 23, QStringLiteral("The post in the file cannot be read (its layout is damaged)."));
            return false;
        }
        m_wanted = imageIdentifiersOfLayout(layout);
        QList<std::pair<int, EntryKind>> chosen = {{m_infoIndex, EntryKind::Info}};
        if (m_locationIndex >= 0)
            chosen.append({m_locationIndex, EntryKind::Location});
        if (m_previewIndex >= 0)
            chosen.append({m_previewIndex, EntryKind::Picture});
        for (const int index : std::as_const(m_pictureIndexes)) {
            if (m_wanted.contains(m_entries[index].parts.at(1)))
                chosen.append({index, EntryKind::Picture});
            else
                skip(m_entries[index], QStringLiteral("a photo the layout does not use"));
        }
        for (const auto& [index, kind] : std::as_const(chosen))
            m_total += m_entries[index].size;
        m_done = 0;
        report();
        for (const auto& [index, kind] : std::as_const(chosen))
            if (!extract(m_entries[index], kind, error))
                return false;
        if (m_skipped > 0)
            PLR_LOG_WARN(QStringLiteral("Post file: %1 entries of %2 that are not part of a post were left out")
                             .arg(m_skipped).arg(m_archivePath));
        return true;
    }

    // The identifiers of the photos that the layout uses.
    const QStringList& wantedImages() const { return m_wanted; }

private:
    bool open(platform::Error* error)
    {
        if (zipModuleMissing(error, 1, QStringLiteral("Post files cannot be read")))
            return false;
        int code = 0;
        m_reader.archive = zipLib().open(QFile::encodeName(m_archivePath).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
        if (!m_reader.archive) {
            zip_error_t zipError;
            zipLib().errorInitWithCode(&zipError, code);
            setError(error, 1, QStringLiteral("The file is not a readable post file (%1).").arg(QString::fromUtf8(zipLib().errorStrerror(&zipError))));
            zipLib().errorFini(&zipError);
            return false;
        }
        return true;
    }

    // Checks every entry (no absolute or climbing names, no links or special files, no
    // encrypted entries, at most kMaxEntries entries and kMaxUnpackedBytes bytes claimed), finds
    // the one bundle folder and sorts its entries into what a post is made of and the rest.
    bool survey(platform::Error* error)
    {
        const zip_int64_t count = zipLib().getNumEntries(m_reader.archive, 0);
        if (count < 0 || count > PLRPersistantPostExporter::kMaxEntries) {
            setError(error, 2, QStringLiteral("The post file holds too many entries."));
            return false;
        }
        QString root;
        qint64 claimed = 0;
        QList<ArchiveEntry> files;
        for (zip_int64_t i = 0; i < count; ++i) {
            zip_stat_t stat;
            zipLib().statInit(&stat);
            if (zipLib().statIndex(m_reader.archive, zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)) {
                setError(error, 3, QStringLiteral("The post file has an unreadable entry."));
                return false;
            }
            const QString name = QString::fromUtf8(stat.name);
            const QStringList parts = safeEntryParts(name);
            if (parts.isEmpty()) {
                setError(error, 4, QStringLiteral("The post file has an entry with an unsafe name (%1).").arg(name));
                return false;
            }
            if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE) {
                setError(error, 5, QStringLiteral("The post file has an encrypted entry (%1).").arg(name));
                return false;
            }
            bool directory = name.endsWith(QLatin1Char('/'));
            zip_uint8_t system = 0;
            zip_uint32_t attributes = 0;
            if (zipLib().fileGetExternalAttributes(m_reader.archive, zip_uint64_t(i), 0, &system, &attributes) == 0
                && system == ZIP_OPSYS_UNIX) {
                // Only the type bits count: many zip tools store a regular file as its
                // permissions alone (0600, no type), and a mode without a type is a file or, by
                // its name, a folder.
                const mode_t type = mode_t(attributes >> 16) & S_IFMT;
                if (type != 0 && type != S_IFREG && type != S_IFDIR) {
                    setError(error, 6, QStringLiteral("The post file has a link or special file (%1).").arg(name));
                    return false;
                }
                directory = directory || type == S_IFDIR;
            }
            const qint64 size = (stat.valid & ZIP_STAT_SIZE) ? qint64(std::min<zip_uint64_t>(stat.size, zip_uint64_t(PLRPersistantPostExporter::kMaxUnpackedBytes) + 1)) : 0;
            claimed += size;
            if (claimed > PLRPersistantPostExporter::kMaxUnpackedBytes) {
                setError(error, 7, QStringLiteral("The post file is too large to import."));
                return false;
            }
            // Hidden items at the top (left there by some archiving tools) are not the post.
            if (parts.first().startsWith(QLatin1Char('.'))) {
                skip(ArchiveEntry{zip_uint64_t(i), name, {}, size}, QStringLiteral("a hidden item"));
                continue;
            }
            if (root.isEmpty())
                root = parts.first();
            if (parts.first() != root || (parts.size() == 1 && !directory)) {
                setError(error, 22, QStringLiteral("The file does not hold exactly one post."));
                return false;
            }
            if (directory)
                continue;   // folders are made as their files need them
            files.append(ArchiveEntry{zip_uint64_t(i), name, parts.mid(1), size});
        }
        if (root.isEmpty()) {
            setError(error, 22, QStringLiteral("The file does not hold exactly one post."));
            return false;
        }
        // A name given twice counts once, as its last entry (as an unzip would leave it).
        QHash<QString, qsizetype> byPath;
        for (const ArchiveEntry& entry : std::as_const(files)) {
            const QString path = entry.parts.join(QLatin1Char('/'));
            const auto known = byPath.constFind(path);
            if (known != byPath.constEnd()) {
                m_entries[*known] = entry;
                continue;
            }
            byPath.insert(path, m_entries.size());
            m_entries.append(entry);
        }
        for (qsizetype i = 0; i < m_entries.size(); ++i) {
            const QStringList& parts = m_entries[i].parts;
            if (parts.size() == 1 && parts.first() == QLatin1String(kPLRPostInfoFileName))
                m_infoIndex = int(i);
            else if (parts.size() == 1 && parts.first() == QLatin1String(kPLRPostLayoutFileName))
                m_layoutIndex = int(i);
            else if (parts.size() == 1 && parts.first() == QLatin1String(kPLRPostLocationFileName))
                m_locationIndex = int(i);
            else if (parts.size() == 1 && parts.first() == QLatin1String(kPLRPostPreviewFileName))
                m_previewIndex = int(i);
            else if (parts.size() == 3 && parts.first() == QLatin1String(PLRPersistantPostExporter::kBlockCacheFolder)
                     && isPlainName(parts.at(1)) && pictureFileNames().contains(parts.at(2)))
                m_pictureIndexes.append(int(i));
            else if (isKeptHashOfPicture(parts))
                PLR_LOG_INFO(QStringLiteral("Post file: %1 left out (a kept hash, made anew here)").arg(m_entries[i].name));
            else
                skip(m_entries[i], QStringLiteral("not part of a post"));
        }
        return true;
    }

    // A picture's kept hash, as post files written before carried them: tied to the file
    // times of the disk it was made on, so never taken.
    static bool isKeptHashOfPicture(const QStringList& parts)
    {
        if (parts.size() != 3 || parts.first() != QLatin1String(PLRPersistantPostExporter::kBlockCacheFolder)
            || !isPlainName(parts.at(1)))
            return false;
        const QString suffix = QLatin1String(PLRImageManager::kHashSuffix);
        const QString& name = parts.at(2);
        return name.endsWith(suffix) && pictureFileNames().contains(name.chopped(suffix.size()));
    }

    void skip(const ArchiveEntry& entry, const QString& why)
    {
        if (++m_skipped <= kSkippedNamedInLog)
            PLR_LOG_WARN(QStringLiteral("Post file: %1 left out (%2)").arg(entry.name, why));
    }

    void report()
    {
        if (m_progress)
            m_progress(std::min(m_done, m_total), m_total);
    }

    // Writes one entry into the staging bundle, within the bound of its kind. A picture that is
    // not one, or is larger than its pixels allow, is left out; a property list or layout over
    // its bound fails the import.
    bool extract(const ArchiveEntry& entry, EntryKind kind, platform::Error* error)
    {
        const QString target = m_bundle + QLatin1Char('/') + entry.parts.join(QLatin1Char('/'));
        if (!QDir().mkpath(QFileInfo(target).path())) {
            setError(error, 8, QStringLiteral("A folder of the post file could not be made."));
            return false;
        }
        zip_file_t* file = zipLib().fopenIndex(m_reader.archive, entry.index, 0);
        if (!file) {
            setError(error, 3, QStringLiteral("An entry of the post file cannot be read: %1").arg(QString::fromUtf8(zipLib().strerror(m_reader.archive))));
            return false;
        }
        const qint64 fixedBound = kind == EntryKind::Info       ? kMaxInfoBytes
                                  : kind == EntryKind::Location ? kMaxLocationBytes
                                  : kind == EntryKind::Layout   ? kMaxLayoutBytes
                                                                : 0;
        qint64 bound = fixedBound > 0 ? fixedBound : kPictureHeadBytes;
        bool boundKnown = fixedBound > 0;
        QByteArray head;   // a picture's first bytes, until its bound is known
        QFile out(target);
        // The user is told of the post file they chose; the hidden folder it is unpacked into is
        // for the log alone.
        const auto notUnpacked = [&] {
            PLR_LOG_ERROR(QStringLiteral("Post file: %1 could not be written: %2").arg(target, out.errorString()));
            return QStringLiteral("The %1 of \"%2\" could not be unpacked: %3")
                .arg(entry.parts.join(QLatin1Char('/')), QFileInfo(m_archivePath).fileName(), out.errorString());
        };
        const auto fail = [&](qint64 code, const QString& description) {
            zipLib().fclose(file);
            out.close();
            QFile::remove(target);
            setError(error, code, description);
            return false;
        };
        const auto leaveOut = [&](const QString& why) {
            zipLib().fclose(file);
            out.close();
            QFile::remove(target);
            skip(entry, why);
            return true;
        };
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(8, notUnpacked());
        qint64 written = 0;
        QByteArray buffer(256 * 1024, Qt::Uninitialized);
        for (;;) {
            const zip_int64_t read = zipLib().fread(file, buffer.data(), zip_uint64_t(buffer.size()));
            if (read < 0)
                return fail(3, QStringLiteral("An entry of the post file is damaged: %1").arg(QString::fromUtf8(zipLib().fileStrerror(file))));
            if (read > 0) {
                written += read;
                m_done += read;
                report();
                m_unpacked += read;
                if (m_unpacked > PLRPersistantPostExporter::kMaxUnpackedBytes)
                    return fail(7, QStringLiteral("The post file is too large to import."));
            }
            if (!boundKnown) {
                head.append(buffer.constData(), qsizetype(read));
                if (read > 0 && head.size() < kPictureHeadBytes)
                    continue;
                bound = pictureBound(head, entry.parts.last());
                if (bound <= 0)
                    return leaveOut(QStringLiteral("not a picture of its kind, or too large"));
                boundKnown = true;
                if (written > bound)
                    return leaveOut(QStringLiteral("larger than a picture of its size can be"));
                if (out.write(head) != head.size())
                    return fail(8, notUnpacked());
                head.clear();
                if (read == 0)
                    break;
                continue;
            }
            if (read == 0)
                break;
            if (written > bound) {
                if (kind == EntryKind::Picture)
                    return leaveOut(QStringLiteral("larger than a picture of its size can be"));
                return fail(9, QStringLiteral("The post file's %1 is larger than %2 MiB.").arg(entry.parts.join(QLatin1Char('/'))).arg(bound / (1024 * 1024)));
            }
            if (out.write(buffer.constData(), read) != read)
                return fail(8, notUnpacked());
        }
        zipLib().fclose(file);
        if (!out.flush()) {
            const QString description = notUnpacked();
            out.close();
            QFile::remove(target);
            setError(error, 8, description);
            return false;
        }
        return true;
    }

    QString m_archivePath;
    QString m_bundle;
    Progress m_progress;
    ZipReader m_reader;
    QList<ArchiveEntry> m_entries;
    int m_infoIndex = -1;
    int m_layoutIndex = -1;
    int m_locationIndex = -1;
    int m_previewIndex = -1;
    QList<int> m_pictureIndexes;
    QStringList m_wanted;
    int m_skipped = 0;
    qint64 m_total = 0;
    qint64 m_done = 0;
    qint64 m_unpacked = 0;
};

using platform::showAlert;

// The folder of a post's bundle where an import keeps pictures: "export_block_cache".
QString bundleCacheOf(const QString& bundle)
{
    return QDir(bundle).filePath(QLatin1String(PLRPersistantPostExporter::kBlockCacheFolder));
}

// An imported post's bundle keeps, in "export_block_cache", the pictures its file brought for
// photos whose pictures the store had already, and those a move into the store missed. The
// ones the store has no picture of (no folder, an empty one, a preview alone) go into its image
// area now; what cannot go there stays in the bundle, which then is where the post file takes
// them from.
void settleBundleCache(const QString& bundle)
{
    const QString cache = bundleCacheOf(bundle);
    if (platform::files::kindOf(cache) != platform::files::Kind::Directory)
        return;
    for (const QString& image : QDir(cache).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString folder = QDir(cache).filePath(image);
        if (!PLRImageManager::isValidIdentifier(image) || !PLRImageManager::holdsPicture(folder)
            || PLRImageManager::holdsPicture(PLRImageManager::locationForIdentifier(image).toLocalFile()))
            continue;
        QString why;
        if (PLRImageManager::adoptPictures(image, folder, &why))
            PLR_LOG_INFO(QStringLiteral("Post file: the pictures of image %1 moved from the post's bundle into the store").arg(image));
        else
            PLR_LOG_WARN(QStringLiteral("Post file: the pictures of image %1 could not be moved into the store (%2); they stay in the post's bundle")
                             .arg(image, why));
    }
}

// Where the post file takes a photo's pictures from: the store's folder of it, or the one the
// bundle keeps when the store has no picture of it.
QString pictureFolderFor(const QString& bundle, const QString& identifier)
{
    const QString stored = PLRImageManager::locationForIdentifier(identifier).toLocalFile();
    if (PLRImageManager::holdsPicture(stored))
        return stored;
    const QString kept = QDir(bundleCacheOf(bundle)).filePath(identifier);
    return PLRImageManager::holdsPicture(kept) ? kept : stored;
}

// Once the post file is written, the bundle keeps only the pictures the store has none of (their
// only copy here); the ones the store has too go, and so does anything else, and the folder
// when nothing is left in it.
void pruneBundleCache(const QString& bundle)
{
    const QString cache = bundleCacheOf(bundle);
    switch (platform::files::kindOf(cache)) {
    case platform::files::Kind::Missing:
        return;
    case platform::files::Kind::Directory:
        break;
    default:
        if (!QFile::remove(cache))
            PLR_LOG_WARN(QStringLiteral("Post file: %1 could not be removed").arg(cache));
        return;
    }
    for (const QString& name : QDir(cache).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QString path = QDir(cache).filePath(name);
        const bool folder = platform::files::kindOf(path) == platform::files::Kind::Directory;
        if (folder && PLRImageManager::isValidIdentifier(name) && !QDir(path).isEmpty()
            && !PLRImageManager::holdsPicture(PLRImageManager::locationForIdentifier(name).toLocalFile())) {
            PLR_LOG_INFO(QStringLiteral("Post file: the pictures of image %1 stay in the post's bundle (the store has none)").arg(name));
            continue;
        }
        // (Links inside are removed, never followed.)
        if (!(folder ? QDir(path).removeRecursively() : QFile::remove(path)))
            PLR_LOG_WARN(QStringLiteral("Post file: %1 could not be removed").arg(path));
    }
    QDir().rmdir(cache);   // only when empty
}

// Where the post's photos are, by identifier (file name and path): the photo records of the post
// when it is open (those whose file is gone from the folder too), else the photo records in its
// bundle's location.plist (a post whose file is made from its tile, unopened).
struct PhotoFile {
    QString name;
    QString path;
};
QHash<QString, PhotoFile> photoFilesInBundle(const QString& bundle)
{
    QHash<QString, PhotoFile> files;
    bool ok = false;
    const QVariantMap plist = platform::plist::readDictionary(QDir(bundle).filePath(QLatin1String(kPLRPostLocationFileName)), &ok,
                                                              nullptr, kPLRPostMaxLocationBytes);
    if (!ok)
        return files;
    const QString folder = plist.value(QLatin1String(PLRSourceDirectory::kLocationKey)).toString();
    for (const PLRSourceDirectory::LocationRecord& record : PLRSourceDirectory::locationRecords(plist)) {
        const QString& identifier = record.identifier;
        const QString& fileName = record.fileName;
        // A record that would lead out of the folder names no file.
        const bool inside = !fileName.isEmpty() && !fileName.startsWith(QLatin1Char('/'))
            && !fileName.split(QLatin1Char('/')).contains(QStringLiteral(".."));
        if (!identifier.isEmpty() && inside)
            files.insert(identifier, {QFileInfo(fileName).fileName(), folder.isEmpty() ? QString() : QDir(folder).filePath(fileName)});
    }
    return files;
}

QHash<QString, PhotoFile> photoFilesOf(const PLRPersistantPost& post, PLRPostManager* manager)
{
    if (!manager)
        return photoFilesInBundle(post.bundlePath());
    QHash<QString, PhotoFile> files;
    for (const QString& identifier : imageIdentifiersOfLayout(post.layout()))
        if (const PLRSourceImagePtr image = manager->imageForIdentifier(identifier))
            files.insert(identifier, {image->fileName(), image->path()});
    return files;
}

// The pictures of a closed post's photos, made current from their files as opening the post
// makes them (a photo gone from the folder keeps the picture the store has of it). Any thread.
void makePicturesOfClosedPost(const QHash<QString, PhotoFile>& files, const QStringList& identifiers)
{
    const QString root = PLRImageManager::defaultLocationRoot();
    for (const QString& identifier : identifiers) {
        const auto file = files.constFind(identifier);
        if (file == files.cend() || file->path.isEmpty())
            continue;
        // The stamp is the one of the file the metadata was read from, opened once.
        const PLRImageMetadata metadata = PLRImageMetadata::read(file->path);
        if (metadata.readSize < 0)
            continue;   // gone, or no regular file
        auto image = std::make_shared<PLRSourceImage>(identifier, root);
        image->setFile(file->path, file->name, PLRFileStamp{metadata.readSize, metadata.readModifiedNs}, metadata);
        if (image->exportFilePath().isEmpty())
            PLR_LOG_WARN(QStringLiteral("Post file: no picture could be made of %1").arg(file->path));
    }
}

// A photo of the layout that the post file was written without, and why, as the layout export
// names it ("name: why"); `photoProblem` tells whether the photo itself is the reason (gone, cut
// short, not readable) rather than the store.
QString leftOutLine(const QHash<QString, PhotoFile>& files, const QString& identifier, bool* photoProblem)
{
    *photoProblem = true;
    const auto file = files.constFind(identifier);
    if (file == files.cend())
        return QStringLiteral("a photo no longer in the post (%1): %2").arg(identifier, describePhotoProblem(PLRPhotoProblem::Missing));
    const QString name = file->name.isEmpty() ? identifier : file->name;
    const PLRPhotoProblem problem = file->path.isEmpty() ? PLRPhotoProblem::Missing : plr_image::checkPhoto(file->path);
    *photoProblem = problem != PLRPhotoProblem::None;
    if (problem == PLRPhotoProblem::None)
        return QStringLiteral("%1: its picture could not be made").arg(name);
    return QStringLiteral("%1: %2").arg(name, describePhotoProblem(problem));
}

// The photos of the layout that the post file carries the stored pictures of although their
// files are gone from the post's folder, as the layout export names them ("name: missing from
// the folder"), in name order. A photo whose file is not known is not named.
QStringList carriedButMissingLines(const QHash<QString, PhotoFile>& files, const QStringList& carried)
{
    QStringList lines;
    for (const QString& identifier : carried) {
        const auto file = files.constFind(identifier);
        if (file == files.cend() || file->path.isEmpty() || QFileInfo::exists(file->path))
            continue;
        lines.append(QStringLiteral("%1: %2").arg(file->name.isEmpty() ? identifier : file->name,
                                                  describePhotoProblem(PLRPhotoProblem::Missing)));
    }
    lines.sort(Qt::CaseInsensitive);
    return lines;
}

// The store's writes that are waiting go first, so the bundle on disk is what the user sees.
void saveStore()
{
    if (AppDelegate* app = AppDelegate::shared()) {
        app->performSave(true);
    } else {
        platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_WILL_SAVE));
        PLRCoreManager::save();
    }
}

} // namespace

QString PLRPersistantPostExporter::postFileNameForPostName(const QString& name)
{
    QString safe;
    for (const QChar c : name.trimmed())
        safe.append(c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 0x20 ? QLatin1Char('-') : c);
    while (safe.startsWith(QLatin1Char('.')))
        safe.remove(0, 1);
    if (safe.isEmpty())
        safe = QStringLiteral("Post");
    const QString extension = QLatin1Char('.') + QLatin1String(kPostFileExtension);
    while (safe.size() > 1 && (safe + extension).toUtf8().size() > 255)
        safe.chop(1);
    return safe + extension;
}

namespace {

// The post file of the post bundle at `bundle`, with the pictures of `identifiers`, the photos
// its layout uses (what writePostFile() does, from values: any thread).
bool writePostFileOf(const QString& bundle, const QString& postName, const QStringList& identifiers, const QString& target,
                     platform::Error* error, QStringList* leftOut)
{
    if (bundle.isEmpty() || !QFileInfo(bundle).isDir()) {
        setError(error, 10, QStringLiteral("The post \"%1\" has not been saved yet.").arg(postName));
        return false;
    }
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable()) {
        setError(error, 11, QStringLiteral("The folder \"%1\" cannot be written to.").arg(folder));
        return false;
    }
    if (zipModuleMissing(error, 12, QStringLiteral("The post file could not be made")))
        return false;
    // Written into a file of the folder that has no name until it is complete (then it takes
    // the target's name, replacing an older file only by a whole one): a failed, cancelled or
    // killed export leaves nothing behind. The folder is opened once and every step is
    // relative to that opening.
    platform::files::Directory directory;
    platform::Error folderError;
    if (!directory.open(folder, &folderError)) {
        setError(error, 11, QStringLiteral("The folder \"%1\" cannot be written to.").arg(folder));
        return false;
    }
    const QString targetName = QFileInfo(target).fileName();
    QByteArray partName;   // only where the file system has no nameless files
    int fd = directory.createUnnamedFile();
    if (fd < 0) {
        partName = QFile::encodeName(QStringLiteral(".%1.%2.part").arg(targetName, newIdentifier()));
        fd = ::openat(directory.descriptor(), partName.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            setError(error, 12, QStringLiteral("The post file could not be made: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
    }
    const auto discard = [&] {
        ::close(fd);
        if (!partName.isEmpty())
            ::unlinkat(directory.descriptor(), partName.constData(), 0);
    };
    ZipSink sink;
    sink.fd = fd;
    ZipWriter writer;
    {
        zip_error_t openError;
        zipLib().errorInit(&openError);
        zip_source_t* source = zipLib().sourceFunctionCreate(&ZipSink::callback, &sink, &openError);
        if (source) {
            writer.archive = zipLib().openFromSource(source, ZIP_CREATE | ZIP_TRUNCATE, &openError);
            if (!writer.archive)
                zipLib().sourceFree(source);
        }
        if (!writer.archive) {
            const QString reason = QString::fromUtf8(zipLib().errorStrerror(&openError));
            zipLib().errorFini(&openError);
            discard();
            setError(error, 12, QStringLiteral("The post file could not be made (%1).").arg(reason));
            return false;
        }
        zipLib().errorFini(&openError);
    }
    const QString root = QFileInfo(bundle).fileName() + QLatin1Char('/');
    const QString cache = root + QLatin1String(PLRPersistantPostExporter::kBlockCacheFolder) + QLatin1Char('/');
    settleBundleCache(bundle);
    QStringList withoutPicture;
    QString failure;
    bool ok = writer.addDirectory(root) && writer.addTree(bundle, root, {QLatin1String(PLRPersistantPostExporter::kBlockCacheFolder)}, &failure)
        && writer.addDirectory(cache);
    if (ok) {
        for (const QString& identifier : identifiers) {
            const QString location = pictureFolderFor(bundle, identifier);
            if (location.isEmpty() || platform::files::kindOf(location) != platform::files::Kind::Directory) {
                PLR_LOG_WARN(QStringLiteral("Post file: the cached pictures of image %1 are missing").arg(identifier));
                withoutPicture.append(identifier);
                continue;
            }
            // The pictures alone: what else the folder keeps (the export file's hash, stamped
            // with this disk's file times) is made anew where the post is imported.
            const QString prefix = cache + identifier + QLatin1Char('/');
            ok = writer.addDirectory(prefix);
            bool carried = false;   // the picture a photo is drawn and published from
            for (const QString& picture : pictureFileNames()) {
                const QString path = QDir(location).filePath(picture);
                if (!ok || platform::files::kindOf(path) != platform::files::Kind::Regular)
                    continue;
                ok = writer.addFile(prefix + picture, path);
                if (!ok)
                    failure = QStringLiteral("%1: %2").arg(path, writer.lastError());
                carried = carried || picture != QLatin1String(PLRImageManager::kPreviewFileName);
            }
            if (!ok)
                break;
            if (!carried) {
                PLR_LOG_WARN(QStringLiteral("Post file: image %1 has no picture to carry").arg(identifier));
                withoutPicture.append(identifier);
            }
        }
    }
    if (!ok) {
        setError(error, 12, QStringLiteral("The post file could not be made: %1").arg(failure.isEmpty() ? writer.lastError() : failure));
        discard();
        return false;
    }
    if (zipLib().close(writer.archive) != 0) {
        failure = writer.lastError();
        discard();
        setError(error, 12, QStringLiteral("The post file could not be written: %1").arg(failure));
        return false;
    }
    writer.archive = nullptr;
    platform::Error nameError;
    const bool named = partName.isEmpty()
        ? directory.nameUnnamedFile(fd, targetName, &nameError)
        : ::renameat(directory.descriptor(), partName.constData(), directory.descriptor(), QFile::encodeName(targetName).constData()) == 0;
    if (!named) {
        discard();
        setError(error, 13, QStringLiteral("The post file could not be moved to \"%1\".").arg(target));
        return false;
    }
    ::close(fd);
    pruneBundleCache(bundle);
    if (leftOut)
        *leftOut = withoutPicture;
    return true;
}

} // namespace

bool PLRPersistantPostExporter::writePostFile(PLRPersistantPost& post, const QString& target, platform::Error* error,
                                              QStringList* leftOut)
{
    return writePostFileOf(post.bundlePath(), post.name(), imageIdentifiersOfLayout(post.layout()), target, error, leftOut);
}

PLRPersistantPost* PLRPersistantPostExporter::importPostFile(const QString& path, PLRPersistantAccount* account,
                                                             platform::Error* error, ImportProgress progress)
{
    PLR_ASSERT_MAIN_THREAD();
    if (!account) {
        setError(error, 20, QStringLiteral("Sign in before you import a post."));
        return nullptr;
    }
    // Staged on the store's own file system, so every move into the store is a rename.
    const QString storeRoot = PLRPersistantStore::rootPath();
    if (!QDir().mkpath(storeRoot)) {
        setError(error, 21, QStringLiteral("The store folder cannot be written to."));
        return nullptr;
    }
    StagingFolder staging(QStringLiteral("%1/%2%3").arg(storeRoot, QLatin1String(plr::fileutil::kImportStagingPrefix), newIdentifier()));
    if (!QDir().mkpath(staging.path())) {
        PLR_LOG_ERROR(QStringLiteral("Error creating unique temporary directory with URL %1").arg(staging.path()));
        setError(error, 21, QStringLiteral("A temporary folder could not be made."));
        return nullptr;
    }
    // Named by the new identifier from the start.
    const QString identifier = newIdentifier();
    const QString bundle = QDir(staging.path()).filePath(identifier + QLatin1Char('.') + QLatin1String(kPLRPostBundleExtension));

    // Unpacked off the main thread, which keeps drawing and hears the progress meanwhile.
    struct Staged {
        bool ok = false;
        platform::Error error;
        QStringList wanted;
    };
    struct Shared {
        QMutex mutex;
        qint64 done = 0;
        qint64 total = 0;
        bool changed = false;
    };
    auto shared = std::make_shared<Shared>();
    const auto stage = [path, bundle, shared] {
        Staged staged;
        PostFileReader reader(path, bundle, [shared](qint64 done, qint64 total) {
            QMutexLocker lock(&shared->mutex);
            shared->done = done;
            shared->total = total;
            shared->changed = true;
        });
        staged.ok = reader.read(&staged.error);
        staged.wanted = reader.wantedImages();
        return staged;
    };
    QPointer<PLRPersistantAccount> guardedAccount(account);
    const auto tell = [&] {
        qint64 done = 0, total = 0;
        {
            QMutexLocker lock(&shared->mutex);
            if (!shared->changed)
                return;
            shared->changed = false;
            done = shared->done;
            total = shared->total;
        }
        if (progress)
            progress(done, total);
    };
    const Staged staged = offMainThread<Staged>(stage, tell);
    if (!staged.ok) {
        if (error)
            *error = staged.error;
        return nullptr;
    }
    if (!guardedAccount) {
        setError(error, 20, QStringLiteral("Sign in before you import a post."));
        return nullptr;
    }

    // The property lists first, while nothing is in the store yet.
    const QString infoPath = bundle + QLatin1Char('/') + QLatin1String(kPLRPostInfoFileName);
    bool ok = false;
    platform::Error plistError;
    // What goes wrong from here is told of the post file the user chose; the log has the
    // details, with the hidden folder the post was unpacked into.
    const QString fileName = QFileInfo(path).fileName();
    QVariantMap info = platform::plist::readDictionary(infoPath, &ok, &plistError);
    if (!ok) {
        PLR_LOG_ERROR(QStringLiteral("Post file %1: %2").arg(path, plistError.toString()));
        setError(error, 23, QStringLiteral("The post in \"%1\" cannot be read (its info.plist is not a readable property list).").arg(fileName));
        return nullptr;
    }
    QString name = info.value(QLatin1String(kPLRPostKeyName)).toString();
    if (name.isEmpty())
        name = QFileInfo(path).completeBaseName();
    const QString importName = PLRPersistantPost::duplicatePostNameForName(name, account, true);
    info.insert(QLatin1String(kPLRPostKeyIdentifier), identifier);
    info.remove(QLatin1String(kPLRPostKeyRemoteIdentifier));
    info.insert(QLatin1String(kPLRPostKeyName), importName);
    const auto notPrepared = [&](const QString& what) {
        PLR_LOG_ERROR(QStringLiteral("Post file %1: %2").arg(path, plistError.toString()));
        setError(error, 24, QStringLiteral("The post in \"%1\" could not be prepared (its %2 could not be written: %3).")
                                .arg(fileName, what, plistError.localizedFailureReason()));
        return nullptr;
    };
    if (!platform::plist::writeFile(infoPath, info, &plistError))
        return notPrepared(QString::fromLatin1(kPLRPostInfoFileName));
    const QString locationPath = bundle + QLatin1Char('/') + QLatin1String(kPLRPostLocationFileName);
    if (QFileInfo::exists(locationPath)) {
        QVariantMap location = platform::plist::readDictionary(locationPath, &ok, &plistError, kPLRPostMaxLocationBytes);
        if (!ok) {
            PLR_LOG_WARN(QStringLiteral("Post file: its location.plist cannot be read and is left out: %1").arg(plistError.localizedDescription()));
            QFile::remove(locationPath);
        } else {
            location.insert(QLatin1String(kPLRPostKeyIdentifier), newIdentifier());
            // Written as the store writes it (a binary plist read within the bound may not fit as XML).
            if (!PLRSourceDirectory::writeLocationFile(locationPath, location, &plistError))
                return notPrepared(QString::fromLatin1(kPLRPostLocationFileName));
        }
    }
    // The post must load before anything moves.
    platform::Error loadError;
    if (!PLRPersistantPost::loadFromBundle(bundle, nullptr, &loadError)) {
        PLR_LOG_ERROR(QStringLiteral("Post file %1: %2").arg(path, loadError.toString()));
        // The reason in words for the user, unless it names the folder unpacked into.
        const QString reason = loadError.localizedFailureReason();
        setError(error, 23, reason.isEmpty() || reason.contains(staging.path())
                                ? QStringLiteral("The post in \"%1\" cannot be read.").arg(fileName)
                                : QStringLiteral("The post in \"%1\" cannot be read. %2").arg(fileName, reason));
        return nullptr;
    }

    // The cached pictures of the photos the layout uses go to the store's image area, unless
    // the store has them already (its copy stays; the file's stays in the bundle). The reader
    // took nothing else into the folder.
    const QString cache = bundleCacheOf(bundle);
    const QString imageArea = PLRPersistantStore::locationPath();
    const QString destination = account->postBundlePathForIdentifier(identifier);
    // Nothing moves through a link in the store: it could take the post anywhere.
    for (const QString& folder : {imageArea, QFileInfo(destination).path()}) {
        if (const QString link = PLRPersistantStore::linkOnTheWay(folder); !link.isEmpty()) {
            PLR_LOG_ERROR(QStringLiteral("Post file: %1 is a link or no folder, and links in the store are never followed").arg(link));
            setError(error, 25, QStringLiteral("The post could not be moved into the store."));
            return nullptr;
        }
    }
    QStringList moved;
    QDir().mkpath(cache);
    QDir().mkpath(imageArea);
    QStringList toMove;
    for (const QString& image : std::as_const(staged.wanted)) {
        const QString folder = QDir(cache).filePath(image);
        if (platform::files::kindOf(folder) != platform::files::Kind::Directory || QDir(folder).isEmpty())
            continue;
        if (platform::files::kindOf(QDir(imageArea).filePath(image)) == platform::files::Kind::Missing)
            toMove.append(image);
    }
    // Named in the staging folder before any of them moves: an import killed before its post is
    // in place leaves the staging folder, and the next opening takes these pictures with it.
    platform::Error noteError;
    if (!toMove.isEmpty() && !plr::fileutil::noteImportedPictures(staging.path(), destination, toMove, &noteError)) {
        PLR_LOG_WARN(QStringLiteral("Post file: the pictures stay in the post's bundle (%1)").arg(noteError.toString()));
        toMove.clear();
    }
    for (const QString& image : std::as_const(toMove)) {
        const QString target = QDir(imageArea).filePath(image);
        if (QDir().rename(QDir(cache).filePath(image), target))
            moved.append(target);
        else
            PLR_LOG_WARN(QStringLiteral("Post file: the pictures of image %1 could not be moved into the store").arg(image));
    }
    auto rollBack = [&moved] {
        for (const QString& folder : std::as_const(moved))
            QDir(folder).removeRecursively();
    };

    // The bundle moves last.
    if (!QDir().mkpath(QFileInfo(destination).path()) || QFileInfo::exists(destination)
        || !QDir().rename(bundle, destination)) {
        rollBack();
        setError(error, 25, QStringLiteral("The post could not be moved into the store."));
        return nullptr;
    }
    account->loadInPostsIfNeeded();
    PLRPersistantPost* post = account->postForIdentifier(identifier);
    if (!post) {
        QDir(destination).removeRecursively();
        rollBack();
        setError(error, 26, QStringLiteral("The imported post could not be loaded."));
        return nullptr;
    }
    // Home (or the first-launch welcome in its place) shows the account's posts anew.
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POSTS_WERE_UPDATED));
    return post;
}

QString PLRPersistantPostExporter::getExportDirectory()
{
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.prompt = QStringLiteral("Select");
    request.message = QStringLiteral("Select a folder to export this blog post to.");
    return platform::FilePanels::shared().run(request).value_or(QString());
}

QString PLRPersistantPostExporter::getImportFile()
{
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenFile;
    request.message = QStringLiteral("Select a Pellora ppost file to import.");
    request.nameFilters = {QStringLiteral("Pellora post files (*.ppost)")};
    return platform::FilePanels::shared().run(request).value_or(QString());
}

bool PLRPersistantPostExporter::exportPost(PLRPersistantPost* post)
{
    if (!post)
        return false;
    saveStore();
    const QString folder = getExportDirectory();
    if (folder.isEmpty())
        return false;
    const QString target = QDir(folder).filePath(postFileNameForPostName(post->name()));
    // The layout's photos: the store's pictures of each are made current first (from the photo
    // as it is now; a photo that cannot be read has none), for a closed post from the photo
    // records in its bundle.
    PLRPostManager* manager = post->owningPostManager();
    const QStringList identifiers = imageIdentifiersOfLayout(post->layout());
    QList<PLRSourceImagePtr> photos;
    for (const QString& identifier : identifiers)
        if (const PLRSourceImagePtr image = manager ? manager->imageForIdentifier(identifier) : nullptr)
            photos.append(image);
    const bool open = manager != nullptr;
    const QHash<QString, PhotoFile> openFiles = open ? photoFilesOf(*post, manager) : QHash<QString, PhotoFile>();
    const QString bundle = post->bundlePath();
    const QString name = post->name();
    struct Outcome {
        bool written = false;
        platform::Error error;
        QStringList leftOut;        // "name: why", those the photo itself is the reason for first
        int leftOutByPhoto = 0;
        QStringList missing;        // carried, but gone from the folder
    };
    // Decoding big photos takes a while: off the main thread, which keeps drawing meanwhile.
    const Outcome outcome = offMainThread<Outcome>([=] {
        Outcome done;
        const QHash<QString, PhotoFile> files = open ? openFiles : photoFilesInBundle(bundle);
        QStringList withoutPicture;
        // After the writes already queued, and with none running while the bundle is read.
        PLRCoreManager::saveQueue().sync([&] {
            for (const PLRSourceImagePtr& image : photos)
                image->exportFilePath();
            if (!open)
                makePicturesOfClosedPost(files, identifiers);
            done.written = writePostFileOf(bundle, name, identifiers, target, &done.error, &withoutPicture);
        });
        if (!done.written)
            return done;
        QStringList byPhoto, byStore;
        for (const QString& identifier : std::as_const(withoutPicture)) {
            bool photoProblem = true;
            const QString line = leftOutLine(files, identifier, &photoProblem);
            (photoProblem ? byPhoto : byStore).append(line);
        }
        byPhoto.sort(Qt::CaseInsensitive);
        byStore.sort(Qt::CaseInsensitive);
        done.leftOut = byPhoto + byStore;
        done.leftOutByPhoto = int(byPhoto.size());
        // The photos gone from the folder whose stored pictures the file carries are named too:
        // the file is whole, but the post has lost them here.
        QStringList carried = identifiers;
        carried.removeIf([&withoutPicture](const QString& identifier) { return withoutPicture.contains(identifier); });
        done.missing = carriedButMissingLines(files, carried);
        return done;
    });
    if (!outcome.written) {
        showAlert(QStringLiteral("Export of '%1' Failed").arg(name), outcome.error.localizedDescription());
        return false;
    }
    QString missingText;
    if (!outcome.missing.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("Post file: %1 carries the stored pictures of photos gone from the folder: %2")
                         .arg(target, outcome.missing.join(QStringLiteral("; "))));
        missingText = (outcome.missing.size() == 1 ? QStringLiteral("It carries the stored picture of a photo that is no longer in the post's folder:\n%1")
                                                   : QStringLiteral("It carries the stored pictures of photos that are no longer in the post's folder:\n%1"))
                          .arg(outcome.missing.join(QLatin1Char('\n')));
    }
    if (!outcome.leftOut.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("Post file: %1 written without %2").arg(target, outcome.leftOut.join(QStringLiteral("; "))));
        // What the user can do about it: mend the photos, or make room for the pictures of whole ones.
        QStringList advice;
        if (outcome.leftOutByPhoto > 0)
            advice.append(outcome.leftOutByPhoto == 1
                              ? QStringLiteral("Put a whole copy of it in the post's folder, then export the post again.")
                              : QStringLiteral("Put whole copies of them in the post's folder, then export the post again."));
        if (outcome.leftOutByPhoto < outcome.leftOut.size())
            advice.append(QStringLiteral("Pictures of whole photos could not be written to Pellora's store: check the free "
                                         "space on your disk, then export the post again."));
        QString text = QStringLiteral("The post file was written without %1 of its %2 photos:\n%3\n\n%4")
                           .arg(outcome.leftOut.size())
                           .arg(identifiers.size())
                           .arg(outcome.leftOut.join(QLatin1Char('\n')), advice.join(QLatin1Char(' ')));
        if (!missingText.isEmpty())
            text += QStringLiteral("\n\n") + missingText;
        showAlert(QStringLiteral("Export of '%1' Incomplete").arg(name), text);
        return true;
    }
    if (!outcome.missing.isEmpty()) {
        showAlert(QStringLiteral("Export of '%1' Complete").arg(name),
                  QStringLiteral("Your blog post was sucessfully exported. %1").arg(missingText));
        return true;
    }
    showAlert(QStringLiteral("Export of '%1' Complete").arg(name), QStringLiteral("Your blog post was sucessfully exported."),
              platform::AlertStyle::Informational);
    return true;
}

void PLRPersistantPostExporter::selectPathAndImportPost()
{
    const QString path = getImportFile();
    if (!path.isEmpty())
        importPostWithURL(path);
}

bool PLRPersistantPostExporter::importPostWithURL(const QString& path)
{
    PLRUserSession* session = PLRCoreManager::userSession();
    platform::Error error;
    // The progress shows when the import takes longer than a moment; the window waits meanwhile.
    QWidget* window = platform::activeOuterWindow();
    QProgressDialog dialog(QStringLiteral("Importing \"%1\"...").arg(QFileInfo(path).fileName()), QString(), 0, 1000, window);
    dialog.setWindowTitle(QStringLiteral("Import Post"));
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setCancelButton(nullptr);
    dialog.setMinimumDuration(500);
    dialog.setAutoClose(false);
    dialog.setAutoReset(false);
    dialog.setValue(0);
    PLRPersistantPost* post = importPostFile(path, session ? session->account() : nullptr, &error, [&dialog](qint64 done, qint64 total) {
        dialog.setValue(total > 0 ? int(std::min<qint64>(1000, done * 1000 / total)) : 0);
    });
    dialog.close();
    if (!post) {
        showAlert(QStringLiteral("Import Failed"),
                  QStringLiteral("\"%1\" could not be imported. %2").arg(QFileInfo(path).fileName(), error.localizedDescription()));
        return false;
    }
    showAlert(QStringLiteral("Import of '%1' Complete").arg(post->name()), QStringLiteral("Blog post sucessfully imported."),
              platform::AlertStyle::Informational);
    return true;
}

void PLRPersistantPostExporter::enableImportExportPosts()
{
    if (AppDelegate* app = AppDelegate::shared())
        app->setImportExportPostsEnabled(true);
}

void PLRPersistantPostExporter::disableImportExportPosts()
{
    if (AppDelegate* app = AppDelegate::shared())
        app->setImportExportPostsEnabled(false);
}

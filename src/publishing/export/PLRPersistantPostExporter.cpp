#include "publishing/export/PLRPersistantPostExporter.h"

#include "shell/AppDelegate.h"
#include "layout/base/PLRLayoutTree.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantExporter.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Plist.h"
#include "platform/Workspace.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

#include <zip.h>

#include <sys/stat.h>

#include <cstdio>
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

// Removes a folder when it goes out of scope (unless released).
class FolderGuard {
public:
    explicit FolderGuard(QString path) : m_path(std::move(path)) {}
    ~FolderGuard()
    {
        if (!m_path.isEmpty())
            QDir(m_path).removeRecursively();
    }
    const QString& path() const { return m_path; }
private:
    QString m_path;
};

// --- Writing ------------------------------------------------------------------------------------

struct ZipWriter {
    zip_t* archive = nullptr;
    ~ZipWriter()
    {
        if (archive)
            zip_discard(archive);
    }
    QString lastError() const { return archive ? QString::fromUtf8(zip_strerror(archive)) : QString(); }
    bool addDirectory(const QString& name)
    {
        return zip_dir_add(archive, name.toUtf8().constData(), ZIP_FL_ENC_UTF_8) >= 0;
    }
    bool addFile(const QString& name, const QString& path)
    {
        zip_source_t* source = zip_source_file(archive, QFile::encodeName(path).constData(), 0, -1);
        if (!source)
            return false;
        if (zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
            zip_source_free(source);
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
            zip_close(archive);
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

// Unpacks the archive into `folder` after checking every entry: no absolute or climbing
// names, no links or special files, no encrypted entries, at most kMaxEntries entries and
// kMaxUnpackedBytes bytes (counted as they are written, whatever the archive claims).
bool unpack(const QString& archivePath, const QString& folder, platform::Error* error)
{
    int code = 0;
    ZipReader reader;
    reader.archive = zip_open(QFile::encodeName(archivePath).constData(), ZIP_RDONLY | ZIP_CHECKCONS, &code);
    if (!reader.archive) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, code);
        setError(error, 1, QStringLiteral("The file is not a readable post file (%1).").arg(QString::fromUtf8(zip_error_strerror(&zipError))));
        zip_error_fini(&zipError);
        return false;
    }
    const zip_int64_t count = zip_get_num_entries(reader.archive, 0);
    if (count < 0 || count > PLRPersistantPostExporter::kMaxEntries) {
        setError(error, 2, QStringLiteral("The post file holds too many entries."));
        return false;
    }
    struct Entry {
        zip_uint64_t index;
        QStringList parts;
        bool directory;
    };
    QList<Entry> entries;
    qint64 claimed = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(reader.archive, zip_uint64_t(i), 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME)) {
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
        if (zip_file_get_external_attributes(reader.archive, zip_uint64_t(i), 0, &system, &attributes) == 0
            && system == ZIP_OPSYS_UNIX) {
            const mode_t mode = mode_t(attributes >> 16);
            if (mode != 0 && !S_ISREG(mode) && !S_ISDIR(mode)) {
                setError(error, 6, QStringLiteral("The post file has a link or special file (%1).").arg(name));
                return false;
            }
            directory = directory || S_ISDIR(mode);
        }
        if (stat.valid & ZIP_STAT_SIZE)
            claimed += qint64(stat.size);
        if (claimed > PLRPersistantPostExporter::kMaxUnpackedBytes) {
            setError(error, 7, QStringLiteral("The post file is too large to import."));
            return false;
        }
        entries.append({zip_uint64_t(i), parts, directory});
    }

    const QString root = QDir(folder).absolutePath();
    qint64 written = 0;
    QByteArray buffer(256 * 1024, Qt::Uninitialized);
    for (const Entry& entry : entries) {
        const QString target = QDir::cleanPath(root + QLatin1Char('/') + entry.parts.join(QLatin1Char('/')));
        if (!target.startsWith(root + QLatin1Char('/'))) {
            setError(error, 4, QStringLiteral("The post file has an entry with an unsafe name."));
            return false;
        }
        if (entry.directory) {
            if (!QDir().mkpath(target)) {
                setError(error, 8, QStringLiteral("A folder of the post file could not be made."));
                return false;
            }
            continue;
        }
        if (!QDir().mkpath(QFileInfo(target).path()) || QFileInfo(target).isDir()) {
            setError(error, 8, QStringLiteral("A folder of the post file could not be made."));
            return false;
        }
        zip_file_t* file = zip_fopen_index(reader.archive, entry.index, 0);
        if (!file) {
            setError(error, 3, QStringLiteral("An entry of the post file cannot be read: %1").arg(QString::fromUtf8(zip_strerror(reader.archive))));
            return false;
        }
        QFile out(target);
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            zip_fclose(file);
            setError(error, 8, QStringLiteral("%1 could not be written: %2").arg(target, out.errorString()));
            return false;
        }
        bool ok = true;
        for (;;) {
            const zip_int64_t read = zip_fread(file, buffer.data(), zip_uint64_t(buffer.size()));
            if (read < 0) {
                ok = false;
                setError(error, 3, QStringLiteral("An entry of the post file is damaged: %1").arg(QString::fromUtf8(zip_file_strerror(file))));
                break;
            }
            if (read == 0)
                break;
            written += read;
            if (written > PLRPersistantPostExporter::kMaxUnpackedBytes) {
                ok = false;
                setError(error, 7, QStringLiteral("The post file is too large to import."));
                break;
            }
            if (out.write(buffer.constData(), read) != read) {
                ok = false;
                setError(error, 8, QStringLiteral("%1 could not be written: %2").arg(target, out.errorString()));
                break;
            }
        }
        zip_fclose(file);
        if (!ok || !out.flush()) {
            if (ok)
                setError(error, 8, QStringLiteral("%1 could not be written: %2").arg(target, out.errorString()));
            return false;
        }
    }
    return true;
}

using platform::showAlert;

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

bool PLRPersistantPostExporter::writePostFile(PLRPersistantPost& post, const QString& target, platform::Error* error)
{
    const QString bundle = post.bundlePath();
    if (bundle.isEmpty() || !QFileInfo(bundle).isDir()) {
        setError(error, 10, QStringLiteral("The post \"%1\" has not been saved yet.").arg(post.name()));
        return false;
    }
    const QString folder = QFileInfo(target).absolutePath();
    if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isWritable()) {
        setError(error, 11, QStringLiteral("The folder \"%1\" cannot be written to.").arg(folder));
        return false;
    }
    // Written beside the target and renamed over it: an existing file is replaced only by a
    // complete one.
    const QString temporary = QStringLiteral("%1/.%2.%3.part").arg(folder, QFileInfo(target).fileName(), newIdentifier());
    int code = 0;
    ZipWriter writer;
    writer.archive = zip_open(QFile::encodeName(temporary).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!writer.archive) {
        setError(error, 12, QStringLiteral("The post file could not be made (libzip error %1).").arg(code));
        return false;
    }
    const QString root = QFileInfo(bundle).fileName() + QLatin1Char('/');
    const QString cache = root + QLatin1String(kBlockCacheFolder) + QLatin1Char('/');
    QString failure;
    bool ok = writer.addDirectory(root) && writer.addTree(bundle, root, {QLatin1String(kBlockCacheFolder)}, &failure)
        && writer.addDirectory(cache);
    if (ok) {
        for (const QString& identifier : imageIdentifiersOfLayout(post.layout())) {
            const QString location = PLRImageManager::locationForIdentifier(identifier).toLocalFile();
            if (location.isEmpty() || !QFileInfo(location).isDir()) {
                PLR_LOG_WARN(QStringLiteral("Post file: the cached pictures of image %1 are missing").arg(identifier));
                continue;
            }
            const QString prefix = cache + identifier + QLatin1Char('/');
            if (!writer.addDirectory(prefix) || !writer.addTree(location, prefix, {}, &failure)) {
                ok = false;
                break;
            }
        }
    }
    if (!ok) {
        QFile::remove(temporary);
        setError(error, 12, QStringLiteral("The post file could not be made: %1").arg(failure.isEmpty() ? writer.lastError() : failure));
        return false;
    }
    if (zip_close(writer.archive) != 0) {
        failure = writer.lastError();
        QFile::remove(temporary);
        setError(error, 12, QStringLiteral("The post file could not be written: %1").arg(failure));
        return false;
    }
    writer.archive = nullptr;
    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(temporary);
        setError(error, 13, QStringLiteral("The post file could not be moved to \"%1\".").arg(target));
        return false;
    }
    return true;
}

PLRPersistantPost* PLRPersistantPostExporter::importPostFile(const QString& path, PLRPersistantAccount* account,
                                                             platform::Error* error)
{
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
    FolderGuard staging(QStringLiteral("%1/.import-%2").arg(storeRoot, newIdentifier()));
    if (!QDir().mkpath(staging.path())) {
        PLR_LOG_ERROR(QStringLiteral("Error creating unique temporary directory with URL %1").arg(staging.path()));
        setError(error, 21, QStringLiteral("A temporary folder could not be made."));
        return nullptr;
    }
    if (!unpack(path, staging.path(), error))
        return nullptr;

    const QStringList items = QDir(staging.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    if (items.size() != 1 || !QFileInfo(QDir(staging.path()).filePath(items.first())).isDir()) {
        setError(error, 22, QStringLiteral("The file does not hold exactly one post."));
        return nullptr;
    }
    // Named by the new identifier from here on.
    const QString identifier = newIdentifier();
    const QString bundle = QDir(staging.path()).filePath(identifier + QLatin1Char('.') + QLatin1String(kPLRPostBundleExtension));
    if (!QDir().rename(QDir(staging.path()).filePath(items.first()), bundle)) {
        setError(error, 21, QStringLiteral("The post could not be unpacked."));
        return nullptr;
    }

    // The property lists first, while nothing is in the store yet.
    const QString infoPath = bundle + QLatin1Char('/') + QLatin1String(kPLRPostInfoFileName);
    bool ok = false;
    platform::Error plistError;
    QVariantMap info = platform::plist::readDictionary(infoPath, &ok, &plistError);
    if (!ok) {
        setError(error, 23, QStringLiteral("The post in the file cannot be read (%1).").arg(plistError.localizedDescription()));
        return nullptr;
    }
    QString name = info.value(QLatin1String(kPLRPostKeyName)).toString();
    if (name.isEmpty())
        name = QFileInfo(path).completeBaseName();
    const QString importName = PLRPersistantPost::duplicatePostNameForName(name, account, true);
    info.insert(QLatin1String(kPLRPostKeyIdentifier), identifier);
    info.remove(QLatin1String(kPLRPostKeyRemoteIdentifier));
    info.insert(QLatin1String(kPLRPostKeyName), importName);
    if (!platform::plist::writeFile(infoPath, info, &plistError)) {
        setError(error, 24, QStringLiteral("The post could not be prepared (%1).").arg(plistError.localizedDescription()));
        return nullptr;
    }
    const QString locationPath = bundle + QLatin1Char('/') + QLatin1String(kPLRPostLocationFileName);
    if (QFileInfo::exists(locationPath)) {
        QVariantMap location = platform::plist::readDictionary(locationPath, &ok, &plistError);
        if (!ok) {
            PLR_LOG_WARN(QStringLiteral("Post file: its location.plist cannot be read and is left out: %1").arg(plistError.localizedDescription()));
            QFile::remove(locationPath);
        } else {
            location.insert(QLatin1String(kPLRPostKeyIdentifier), newIdentifier());
            if (!platform::plist::writeFile(locationPath, location, &plistError)) {
                setError(error, 24, QStringLiteral("The post could not be prepared (%1).").arg(plistError.localizedDescription()));
                return nullptr;
            }
        }
    }
    // The post must load before anything moves.
    platform::Error loadError;
    if (!PLRPersistantPost::loadFromBundle(bundle, nullptr, &loadError)) {
        setError(error, 23, QStringLiteral("The post in the file cannot be read (%1).").arg(loadError.localizedDescription()));
        return nullptr;
    }
    PLRLayout layout;
    QByteArray layoutBytes;
    QFile layoutFile(bundle + QLatin1Char('/') + QLatin1String(kPLRPostLayoutFileName));
    if (layoutFile.open(QIODevice::ReadOnly))
        plr::parseFromData(&layout, layoutFile.readAll());

    // The cached pictures of the photos the layout uses go to the store's image area, unless
    // the store has them already (its copy stays; the file's stays in the bundle). Anything
    // else in the folder is dropped.
    const QString cache = bundle + QLatin1Char('/') + QLatin1String(kBlockCacheFolder);
    const QStringList wanted = imageIdentifiersOfLayout(layout);
    const QString imageArea = PLRPersistantStore::locationPath();
    QStringList moved;
    if (QFileInfo(cache).isDir()) {
        QDir().mkpath(imageArea);
        const QFileInfoList folders = QDir(cache).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
        for (const QFileInfo& item : folders) {
            const bool named = item.isDir() && wanted.contains(item.fileName());
            bool plain = named;
            if (named)
                for (const QFileInfo& file : QDir(item.filePath()).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System))
                    plain = plain && file.isFile() && !file.isSymLink();
            if (!plain) {
                PLR_LOG_WARN(QStringLiteral("Post file: %1 in its picture folder is left out").arg(item.fileName()));
                if (item.isDir())
                    QDir(item.filePath()).removeRecursively();
                else
                    QFile::remove(item.filePath());
                continue;
            }
            const QString target = QDir(imageArea).filePath(item.fileName());
            if (QFileInfo::exists(target))
                continue;
            if (QDir().rename(item.filePath(), target))
                moved.append(target);
            else
                PLR_LOG_WARN(QStringLiteral("Post file: the pictures of image %1 could not be moved into the store").arg(item.fileName()));
        }
    }
    auto rollBack = [&moved] {
        for (const QString& folder : std::as_const(moved))
            QDir(folder).removeRecursively();
    };

    // The bundle moves last.
    const QString destination = account->postBundlePathForIdentifier(identifier);
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
    platform::Error error;
    bool written = false;
    // After the writes already queued, and with none running while the bundle is read.
    PLRCoreManager::saveQueue().sync([&] { written = writePostFile(*post, target, &error); });
    if (!written) {
        showAlert(QStringLiteral("Export of '%1' Failed").arg(post->name()), error.localizedDescription());
        return false;
    }
    showAlert(QStringLiteral("Export of '%1' Complete").arg(post->name()), QStringLiteral("Your blog post was sucessfully exported."));
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
    PLRPersistantPost* post = importPostFile(path, session ? session->account() : nullptr, &error);
    if (!post) {
        showAlert(QStringLiteral("Import Failed"),
                  QStringLiteral("\"%1\" could not be imported. %2").arg(QFileInfo(path).fileName(), error.localizedDescription()));
        return false;
    }
    showAlert(QStringLiteral("Import of '%1' Complete").arg(post->name()), QStringLiteral("Blog post sucessfully imported."));
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

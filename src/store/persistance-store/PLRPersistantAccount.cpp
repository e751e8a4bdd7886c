#include "store/persistance-store/PLRPersistantAccount.h"

#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/PLRSkippedPostsNotice.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/Plist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

QString stringValue(const QVariant& value)
{
    return value.typeId() == QMetaType::QString ? value.toString() : QString();
}

const QString kEveryAccountTitle = QStringLiteral("The folder of every account");
const QString kAccountTitle = QStringLiteral("The account's folder");
const QString kPostsTitle = QStringLiteral("The posts folder");

QString infoPath(const QString& bundlePath)
{
    return bundlePath + QLatin1Char('/') + QLatin1String(kPLRAccountInfoFileName);
}

// The images that the posts of every account in the store use: those their layouts place and
// those their folders' records name, as the bundles on disk hold them.
QSet<QString> imagesOfStoredPosts()
{
    QSet<QString> images;
    const auto folders = [](const QString& path) {
        QStringList found;
        for (const QString& name : QDir(path).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden))
            if (platform::files::kindOf(path + QLatin1Char('/') + name) == platform::files::Kind::Directory)
                found.append(path + QLatin1Char('/') + name);
        return found;
    };
    for (const QString& account : folders(PLRPersistantStore::accountsPath())) {
        for (const QString& bundle : folders(account + QLatin1Char('/') + QLatin1String(kPLRAccountPostsFolderName))) {
            QByteArray bytes;
            PLRLayout layout;
            if (platform::files::readAll(bundle + QLatin1Char('/') + QLatin1String(kPLRPostLayoutFileName), &bytes, nullptr,
                                         kPLRPostMaxLayoutBytes)
                && plr::parseFromData(&layout, bytes))
                images.unite(imageReferencesOfLayout(layout));
            bool ok = false;
            const QVariantMap location = platform::plist::readDictionary(
                bundle + QLatin1Char('/') + QLatin1String(kPLRPostLocationFileName), &ok, nullptr, kPLRPostMaxLocationBytes);
            // Whichever form the records were written in.
            for (const PLRSourceDirectory::LocationRecord& record : PLRSourceDirectory::locationRecords(location))
                images.insert(record.identifier);
        }
    }
    return images;
}

} // namespace

PLRPersistantAccount::PLRPersistantAccount(QString userIdentifier, QString email, QString bundlePath,
                                           QString version)
    : PLRPersistantResource(userIdentifier, std::move(version)),
      m_userIdentifier(std::move(userIdentifier)),
      m_email(std::move(email)),
      m_bundlePath(std::move(bundlePath))
{
}

PLRPersistantAccount::~PLRPersistantAccount() = default;

std::unique_ptr<PLRPersistantAccount> PLRPersistantAccount::openAccount(const QString& userIdentifier,
                                                                        const QString& email)
{
    QString bundlePath = PLRPersistantStore::accountBundlePathForUserIdentifier(userIdentifier);
    QString version = QString::fromLatin1(kPLRAccountCurrentVersion);
    bool found = platform::files::kindOf(infoPath(bundlePath)) != platform::files::Kind::Missing;
    if (!found && !email.isEmpty()) {
        // Accounts of the first store version are named by the e-mail address.
        const QString byEmail = PLRPersistantStore::accountBundlePathForUserIdentifier(email);
        bool ok = false;
        const QVariantMap info = platform::plist::readDictionary(infoPath(byEmail), &ok);
        if (ok && stringValue(info.value(QLatin1String(kPLRAccountKeyVersion)))
                      == QLatin1String(kPLRAccountVersionByEmail)) {
            bundlePath = byEmail;
            version = QString::fromLatin1(kPLRAccountVersionByEmail);
            found = true;
        }
    }

    // A link (or anything else that is no folder) in the account folder's place is never
    // followed: what it points at stays as it is, the account starts afresh, and the user is told
    // along with the posts that cannot be opened.
    QList<PLRSkippedPost> setAside;
    if (auto accounts = PLRPersistantStore::setAsideUnlessFolder(PLRPersistantStore::accountsPath(), kEveryAccountTitle)) {
        setAside.append(*accounts);
        found = false;
    }
    if (auto own = PLRPersistantStore::setAsideUnlessFolder(bundlePath, kAccountTitle)) {
        setAside.append(*own);
        found = false;
    }
    std::unique_ptr<PLRPersistantAccount> account(
        new PLRPersistantAccount(userIdentifier, email, bundlePath, version));
    account->m_setAside = setAside;
    if (found) {
        bool ok = false;
        platform::Error error;
        const QVariantMap info = platform::plist::readDictionary(infoPath(bundlePath), &ok, &error);
        if (ok) {
            const QString storedVersion = stringValue(info.value(QLatin1String(kPLRAccountKeyVersion)));
            if (!storedVersion.isEmpty())
                account->setVersion(storedVersion);
            account->m_firstName = stringValue(info.value(QLatin1String(kPLRAccountKeyFirstName)));
            account->m_lastName = stringValue(info.value(QLatin1String(kPLRAccountKeyLastName)));
            const QString storedEmail = stringValue(info.value(QLatin1String(kPLRAccountKeyEmail)));
            if (account->m_email.isEmpty())
                account->m_email = storedEmail;
            account->setStoredMetadata(info);
            account->m_writtenInfo = info;
            account->m_onDisk = true;
        } else {
            // Moved aside (never copied: it may be a link), so the next save writes a new one
            // beside it and never over it.
            const QString keep = plr::fileutil::setAside(infoPath(bundlePath));
            PLR_LOG_ERROR(QStringLiteral("The info.plist of account %1 cannot be read (%2); kept as %3")
                              .arg(bundlePath, error.toString(), keep));
        }
    }
    account->removeLeftoversOfKilledSaves();
    account->loadInPostsIfNeeded();
    return account;
}

void PLRPersistantAccount::removeLeftoversOfKilledSaves() const
{
    plr::fileutil::removeLeftoverTemporaries(m_bundlePath, {QString::fromLatin1(kPLRAccountInfoFileName)});
    plr::fileutil::removeStaleStagingFolders(PLRPersistantStore::rootPath(), PLRPersistantStore::locationPath(),
                                             imagesOfStoredPosts);
    const QDir folder(postsFolderPath());
    if (platform::files::kindOf(folder.path()) != platform::files::Kind::Directory)
        return;
    const QString partial = QLatin1Char('.') + QLatin1String(kPLRPostBundleExtension) + QStringLiteral(".partial");
    const QStringList postFiles = {QString::fromLatin1(kPLRPostInfoFileName), QString::fromLatin1(kPLRPostLayoutFileName),
                                   QString::fromLatin1(kPLRPostLocationFileName),
                                   QString::fromLatin1(kPLRPostPreviewFileName)};
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString path = folder.filePath(name);
        if (platform::files::kindOf(path) != platform::files::Kind::Directory)
            continue;
        if (name.endsWith(partial)) {
            if (plr::fileutil::removeStaleStagingFolder(path))
                PLR_LOG_INFO(QStringLiteral("Removed %1, left by an interrupted copy or first save").arg(path));
        } else {
            plr::fileutil::removeLeftoverTemporaries(path, postFiles);
        }
    }
}

void PLRPersistantAccount::setEmail(const QString& email)
{
    m_email = email;
}

void PLRPersistantAccount::setFirstName(const QString& name)
{
    if (name == m_firstName)
        return;
    m_firstName = name;
    emit firstNameChanged();
}

void PLRPersistantAccount::setLastName(const QString& name)
{
    if (name == m_lastName)
        return;
    m_lastName = name;
    emit lastNameChanged();
}

QList<PLRPersistantPost*> PLRPersistantAccount::currentPosts() const
{
    QList<PLRPersistantPost*> posts;
    posts.reserve(qsizetype(m_posts.size()));
    for (const auto& post : m_posts)
        posts.append(post.get());
    return posts;
}

PLRPersistantPost* PLRPersistantAccount::postForIdentifier(const QString& identifier) const
{
    for (const auto& post : m_posts) {
        if (post->identifier() == identifier)
            return post.get();
    }
    return nullptr;
}

QString PLRPersistantAccount::postsFolderPath() const
{
    return m_bundlePath + QLatin1Char('/') + QLatin1String(kPLRAccountPostsFolderName);
}

QString PLRPersistantAccount::postBundlePathForIdentifier(const QString& identifier) const
{
    return postsFolderPath() + QLatin1Char('/') + PLRPersistantStore::encodedName(identifier)
        + QLatin1Char('.') + QLatin1String(kPLRPostBundleExtension);
}

QUrl PLRPersistantAccount::urlForPostBundleWithIdentifier(const QString& identifier) const
{
    return QUrl::fromLocalFile(postBundlePathForIdentifier(identifier));
}

bool PLRPersistantAccount::postsFolderIsUsable(QList<PLRSkippedPost>* skipped) const
{
    // Anything but a folder is moved aside, so the next save makes a folder of its own.
    if (auto aside = PLRPersistantStore::setAsideUnlessFolder(postsFolderPath(), kPostsTitle)) {
        skipped->append(*aside);
        return false;
    }
    return platform::files::kindOf(postsFolderPath()) == platform::files::Kind::Directory;
}

int PLRPersistantAccount::loadInPostsIfNeeded()
{
    QList<PLRSkippedPost> skipped = std::exchange(m_setAside, {});
    const auto skip = [&skipped](const QString& bundle, const QString& name, const QString& reason, const QString& logged) {
        PLR_LOG_ERROR(QStringLiteral("Skipping post bundle %1: %2").arg(bundle, logged));
        skipped.append({bundle, name, reason});
    };
    int added = 0;
    if (postsFolderIsUsable(&skipped)) {
        QSet<QString> loaded;
        for (const auto& post : m_posts)
            loaded.insert(post->identifier());

        const QDir folder(postsFolderPath());
        const QString suffix = QLatin1Char('.') + QLatin1String(kPLRPostBundleExtension);
        const QStringList names = folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            if (!name.endsWith(suffix) || name.size() == suffix.size())
                continue;
            const QString identifier = name.chopped(suffix.size());
            if (loaded.contains(identifier))
                continue;
            const QString bundle = folder.filePath(name);
            const platform::files::Kind kind = platform::files::kindOf(bundle);
            if (kind == platform::files::Kind::SymbolicLink) {
                // A link in the store is never followed: its saves would land outside.
                skip(bundle, QString(), QStringLiteral("It is a link, and links in the store are never followed."),
                     QStringLiteral("it is a link, not a folder"));
                continue;
            }
            if (kind != platform::files::Kind::Directory) {
                skip(bundle, QString(), QStringLiteral("It is not a folder."), QStringLiteral("it is not a folder"));
                continue;
            }
            if (PLRPersistantStore::encodedName(identifier) != identifier) {
                // Its saves would go to another folder; leave it alone.
                skip(bundle, QString(), QStringLiteral("Its folder's name is not one Pellora gives a post."),
                     QStringLiteral("its name is not a valid identifier"));
                continue;
            }
            platform::Error error;
            QString postName;
            std::unique_ptr<PLRPersistantPost> post = PLRPersistantPost::loadFromBundle(bundle, this, &error, &postName);
            if (!post) {
                // Left on disk as it is: never replaced by an empty post.
                const bool holdsNoPost = platform::files::kindOf(bundle + QLatin1Char('/') + QLatin1String(kPLRPostInfoFileName))
                        == platform::files::Kind::Missing
                    && platform::files::kindOf(bundle + QLatin1Char('/') + QLatin1String(kPLRPostLayoutFileName))
                        == platform::files::Kind::Missing;
                if (holdsNoPost)
                    // A folder that a first save never filled: nothing of a post to tell of.
                    PLR_LOG_WARN(QStringLiteral("Skipping post bundle %1: it holds no post").arg(bundle));
                else
                    skip(bundle, postName, error.localizedFailureReason(), error.toString());
                continue;
            }
            loaded.insert(identifier);
            m_posts.push_back(std::move(post));
            ++added;
        }
    }
    if (added > 0)
        emit currentPostsChanged();
    PLRSkippedPostsNotice::tell(skipped);
    return added;
}

PLRPersistantPost* PLRPersistantAccount::addPost(std::unique_ptr<PLRPersistantPost> post)
{
    if (!post)
        return nullptr;
    PLRPersistantPost* raw = post.get();
    m_posts.push_back(std::move(post));
    emit currentPostsChanged();
    return raw;
}

std::unique_ptr<PLRPersistantPost> PLRPersistantAccount::takePost(PLRPersistantPost* post)
{
    auto it = std::find_if(m_posts.begin(), m_posts.end(),
                           [post](const auto& candidate) { return candidate.get() == post; });
    if (it == m_posts.end())
        return nullptr;
    std::unique_ptr<PLRPersistantPost> taken = std::move(*it);
    m_posts.erase(it);
    // A record out of its account has no bundle: nothing can save it back.
    taken->m_account = nullptr;
    emit currentPostsChanged();
    return taken;
}

QVariantMap PLRPersistantAccount::ownMetadata() const
{
    QVariantMap own;
    own.insert(QLatin1String(kPLRAccountKeyVersion), version());
    own.insert(QLatin1String(kPLRAccountKeyUserIdentifier), m_userIdentifier);
    own.insert(QLatin1String(kPLRAccountKeyEmail), m_email);
    own.insert(QLatin1String(kPLRAccountKeyFirstName), m_firstName);
    own.insert(QLatin1String(kPLRAccountKeyLastName), m_lastName);
    return own;
}

void PLRPersistantAccount::setAsideWhatBarsTheWay(PLRPersistantPost* post)
{
    for (const auto& [folder, title] : {std::pair{PLRPersistantStore::accountsPath(), kEveryAccountTitle},
                                        std::pair{m_bundlePath, kAccountTitle}, std::pair{postsFolderPath(), kPostsTitle}}) {
        if (!PLRPersistantStore::setAsideUnlessFolder(folder, title))
            continue;
        // What the account wrote went aside with it: all of it is written anew.
        PLR_LOG_WARN(QStringLiteral("Account %1 and its %2 posts are written anew").arg(m_userIdentifier).arg(m_posts.size()));
        m_onDisk = false;
        setHasChanges(true);
        for (const auto& each : m_posts)
            each->forgetWhatIsOnDisk();
        break;
    }
    if (post && PLRPersistantStore::setAsideUnlessFolder(post->bundlePath(), QStringLiteral("The post's folder")))
        post->forgetWhatIsOnDisk();
}

std::optional<PLRBundleWrite> PLRPersistantAccount::prepareWrite(bool force)
{
    setAsideWhatBarsTheWay(nullptr);
    const QVariantMap info = metadata();
    if (!force && !hasChanges() && m_onDisk && info == m_writtenInfo)
        return std::nullopt;
    PLRBundleWrite write;
    write.bundlePath = m_bundlePath;
    write.description = QStringLiteral("account %1").arg(m_userIdentifier);
    write.origin = this;
    write.plist = info;
    m_onDisk = true;
    m_writtenInfo = info;
    setStoredMetadata(info);
    setHasChanges(false);
    return write;
}

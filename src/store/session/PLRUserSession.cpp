#include "store/session/PLRUserSession.h"
#include "platform/Resets.h"

#include "store/persistance-store/PLRFileUtilities.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "store/persistance-store/PLRSaveBatch.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Plist.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRKeyChain.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRPostPublishing.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QUuid>

#include <algorithm>
#include <limits>

namespace {

// A post whose photo records no longer fit its location file: its last readable file stays and
// the user is told once a run, with the reason (every later save is refused the same way).
void tellLocationRefused(const QString& postIdentifier, const QString& postName, const platform::Error& reason)
{
    static QSet<QString> told;
    static const bool joined = platform::resets::add([] { told.clear(); });
    Q_UNUSED(joined);
    if (told.contains(postIdentifier))
        return;
    told.insert(postIdentifier);
    platform::Alert alert;
    alert.style = platform::AlertStyle::Warning;
    alert.messageText = QStringLiteral("The photo records of \"%1\" could not be saved.").arg(postName);
    alert.informativeText = QStringLiteral("%1 The records saved before are kept; the post's layout is saved as usual.")
                                .arg(reason.localizedDescription());
    alert.buttons = {QStringLiteral("OK")};
    platform::runAlert(alert);
}

std::function<QString()>& serviceNameProvider()
{
    static std::function<QString()> provider;
    static const bool joined = platform::resets::add([] { provider = nullptr; });
    (void)joined;
    return provider;
}

PLRUserSession::UserServiceManagerFactory& userServiceManagerFactory()
{
    static PLRUserSession::UserServiceManagerFactory factory;
    static const bool joined = platform::resets::add([] { factory = nullptr; });
    (void)joined;
    return factory;
}

QString keychainItem(const char* key)
{
    return PLRKeyChain::itemForKey(QLatin1String(key), PLRUserSession::keychainServiceName()).value_or(QString());
}

// Lower-case text without diacritics, for filters that ignore both.
QString foldedForSearch(const QString& text)
{
    const QString decomposed = text.normalized(QString::NormalizationForm_KD);
    QString folded;
    folded.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
            || category == QChar::Mark_Enclosing)
            continue;
        folded.append(c);
    }
    return folded.toCaseFolded();
}

QString newIdentifier()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

} // namespace

PLRUserSession::PLRUserSession(QString userIdentifier, QString email, QString password, QString jwt)
    : m_userIdentifier(std::move(userIdentifier)),
      m_email(std::move(email)),
      m_password(std::move(password)),
      m_jwt(std::move(jwt))
{
}

PLRUserSession::~PLRUserSession()
{
    // The managers point at the account's posts: they go first.
    m_postManagers.clear();
    m_account.reset();
}

QString PLRUserSession::defaultKeychainServiceName()
{
    return QStringLiteral("com.quenfield.pellora.keychain");
}

QString PLRUserSession::keychainServiceName()
{
    if (serviceNameProvider()) {
        const QString name = serviceNameProvider()();
        if (!name.isEmpty())
            return name;
    }
    return defaultKeychainServiceName();
}

void PLRUserSession::setKeychainServiceNameProvider(std::function<QString()> provider)
{
    serviceNameProvider() = std::move(provider);
}

void PLRUserSession::setUserServiceManagerFactory(UserServiceManagerFactory factory)
{
    userServiceManagerFactory() = std::move(factory);
}

std::shared_ptr<PLRUserSession> PLRUserSession::makeFromKeychain()
{
    const QString userIdentifier = keychainItem(kPLRKeychainKeyUserId);
    if (userIdentifier.isEmpty())
        return nullptr;
    std::shared_ptr<PLRUserSession> session(
        new PLRUserSession(userIdentifier, keychainItem(kPLRKeychainKeyEmail),
                           keychainItem(kPLRKeychainKeyPassword), keychainItem(kPLRKeychainKeyJWT)),
        // Destroyed from the event loop: code up the stack may still be using it.
        [](PLRUserSession* doomed) {
            if (QCoreApplication::instance() && !QCoreApplication::closingDown())
                doomed->deleteLater();
            else
                delete doomed;
        });
    session->m_account = PLRPersistantAccount::openAccount(userIdentifier, session->m_email);
    return session;
}

bool PLRUserSession::saveJWT(const QString& token)
{
    platform::Error error;
    if (!PLRKeyChain::setItem(token, QLatin1String(kPLRKeychainKeyJWT), keychainServiceName(), &error)) {
        PLR_LOG_ERROR(QStringLiteral("Could not store the token: %1").arg(error.toString()));
        return false;
    }
    if (PLRUserSession* session = PLRCoreManager::userSession())
        session->setJwt(token);
    return true;
}

bool PLRUserSession::removeKeychainItems()
{
    bool removed = true;
    const QString service = keychainServiceName();
    for (const char* key : {kPLRKeychainKeyJWT, kPLRKeychainKeyEmail, kPLRKeychainKeyPassword,
                            kPLRKeychainKeyUserId}) {
        platform::Error error;
        if (!PLRKeyChain::removeItem(QLatin1String(key), service, &error)) {
            PLR_LOG_ERROR(QStringLiteral("Could not remove keychain item %1: %2")
                              .arg(QLatin1String(key), error.toString()));
            removed = false;
        }
    }
    return removed;
}

void PLRUserSession::setJwt(const QString& token)
{
    if (token == m_jwt)
        return;
    m_jwt = token;
    emit jwtChanged();
}

QObject* PLRUserSession::userServiceManager()
{
    if (!m_userServiceManager && userServiceManagerFactory()) {
        m_userServiceManager = userServiceManagerFactory()(*this);
        if (m_userServiceManager && !m_userServiceManager->parent())
            m_userServiceManager->setParent(this);
    }
    return m_userServiceManager;
}

PLRPostManager* PLRUserSession::postManagerForPost(PLRPersistantPost* post)
{
    if (!post)
        return nullptr;
    for (const auto& manager : m_postManagers) {
        if (manager->representedPost() == post)
            return manager.get();
    }
    m_postManagers.push_back(std::make_unique<PLRPostManager>(post, this));
    return m_postManagers.back().get();
}

PLRPostManager* PLRUserSession::newPostManager()
{
    m_postManagers.push_back(std::make_unique<PLRPostManager>(nullptr, this));
    return m_postManagers.back().get();
}

int PLRUserSession::compareNames(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    const qsizetype n = a.size(), m = b.size();
    while (i < n && j < m) {
        if (a[i].isDigit() && b[j].isDigit()) {
            // Runs of digits compare by their value: "copy 2" before "copy 10".
            qsizetype ei = i, ej = j;
            while (ei < n && a[ei].isDigit())
                ++ei;
            while (ej < m && b[ej].isDigit())
                ++ej;
            qsizetype si = i, sj = j;
            while (si < ei - 1 && a[si].digitValue() == 0)
                ++si;
            while (sj < ej - 1 && b[sj].digitValue() == 0)
                ++sj;
            if (ei - si != ej - sj)
                return ei - si < ej - sj ? -1 : 1;
            for (; si < ei; ++si, ++sj)
                if (a[si].digitValue() != b[sj].digitValue())
                    return a[si].digitValue() < b[sj].digitValue() ? -1 : 1;
            i = ei;
            j = ej;
            continue;
        }
        const char16_t x = a[i].toCaseFolded().unicode();
        const char16_t y = b[j].toCaseFolded().unicode();
        if (x != y)
            return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < n || j < m)
        return i < n ? 1 : -1;
    return 0;
}

QList<PLRPersistantPost*> PLRUserSession::currentPostsSortedByKeys(const QStringList& keys, bool ascending,
                                                                   const QString& nameFilter) const
{
    if (!m_account)
        return {};
    QList<PLRPersistantPost*> posts = m_account->currentPosts();
    if (!nameFilter.isEmpty()) {
        const QString needle = foldedForSearch(nameFilter);
        // Posts that are gone are dropped now and then, so the table stays the size of the
        // account.
        if (m_foldedNames.size() > 2 * posts.size() + 64)
            m_foldedNames.clear();
        posts.removeIf([this, &needle](const PLRPersistantPost* post) {
            const QString name = post->name();
            std::pair<QString, QString>& folded = m_foldedNames[post];
            if (folded.first != name || folded.second.isNull())
                folded = {name, foldedForSearch(name)};
            return !folded.second.contains(needle);
        });
    }
    // Each post's keys are read once (names, and dates as instants), then the posts are sorted
    // on them: a keystroke in the home screen's search sorts every matching post.
    struct Keyed {
        PLRPersistantPost* post;
        QString name;
        qint64 created;
        qint64 updated;
    };
    // An invalid date sorts before every valid one, as QDateTime orders them.
    const auto instant = [](const QDateTime& date) {
        return date.isValid() ? date.toMSecsSinceEpoch() : std::numeric_limits<qint64>::min();
    };
    const bool byName = keys.contains(QLatin1String("name"));
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(posts.size()));
    for (PLRPersistantPost* post : std::as_const(posts))
        keyed.push_back({post, byName ? post->name() : QString(), instant(post->creationDate()), instant(post->updatedDate())});
    const auto compare = [&keys](const Keyed& a, const Keyed& b) {
        for (const QString& key : keys) {
            int order = 0;
            if (key == QLatin1String("name"))
                order = PLRUserSession::compareNames(a.name, b.name);
            else if (key == QLatin1String("creationDate"))
                order = a.created < b.created ? -1 : (b.created < a.created ? 1 : 0);
            else if (key == QLatin1String("updatedDate"))
                order = a.updated < b.updated ? -1 : (b.updated < a.updated ? 1 : 0);
            if (order != 0)
                return order;
        }
        return 0;
    };
    std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
        const int order = compare(a, b);
        return ascending ? order < 0 : order > 0;
    });
    for (qsizetype i = 0; i < posts.size(); ++i)
        posts[i] = keyed[size_t(i)].post;
    return posts;
}

PLRPersistantPost* PLRUserSession::duplicatePost(PLRPersistantPost* post, platform::Error* error)
{
    const auto fail = [error](const QString& text) -> PLRPersistantPost* {
        PLR_LOG_ERROR(text);
        if (error)
            *error = platform::Error::make(QStringLiteral("PLRUserSessionErrorDomain"), 1,
                                           QStringLiteral("The post could not be duplicated."), text);
        return nullptr;
    };
    if (!post || !m_account || post->account() != m_account.get())
        return fail(QStringLiteral("Duplicate: the post is not one of the session's account"));

    // The bundle on disk must be current before it is copied.
    if (!post->save())
        return fail(QStringLiteral("Duplicate: post %1 could not be saved first").arg(post->identifier()));

    const QString identifier = newIdentifier();
    const QString name = PLRPersistantPost::duplicatePostNameForName(post->name(), m_account.get(), false);
    const QString source = post->bundlePath();
    const QString destination = m_account->postBundlePathForIdentifier(identifier);
    const QString staging = destination + QStringLiteral(".partial");
    QString failure;
    PLRCoreManager::saveQueue().sync([&] {
        platform::Error copyError;
        // The save above set aside what was in the way; nothing is copied through what came since.
        if (const QString link = PLRPersistantStore::linkOnTheWay(m_account->postsFolderPath()); !link.isEmpty()) {
            failure = QStringLiteral("%1 is a link or no folder, and links in the store are never followed").arg(link);
            return;
        }
        plr::fileutil::removePath(staging);
        if (!plr::fileutil::copyDirectory(source, staging, &copyError)) {
            failure = copyError.localizedDescription();
            plr::fileutil::removePath(staging);
            return;
        }
        bool ok = false;
        const QString infoPath = staging + QLatin1Char('/') + QLatin1String(kPLRPostInfoFileName);
        QVariantMap info = platform::plist::readDictionary(infoPath, &ok, &copyError, kPLRPostMaxInfoBytes);
        if (ok) {
            const QDateTime now = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch(), Qt::UTC);
            info.insert(QLatin1String(kPLRPostKeyIdentifier), identifier);
            info.insert(QLatin1String(kPLRPostKeyName), name);
            info.insert(QLatin1String(kPLRPostKeyCreationDate), now);
            info.insert(QLatin1String(kPLRPostKeyUpdatedDate), now);
            // The copy is not the published post.
            info.remove(QLatin1String(kPLRPostKeyRemoteIdentifier));
            ok = platform::plist::writeFile(infoPath, info, &copyError);
        }
        const QString locationPath = staging + QLatin1Char('/') + QLatin1String(kPLRPostLocationFileName);
        if (ok && QFileInfo::exists(locationPath)) {
            QVariantMap location = platform::plist::readDictionary(locationPath, &ok, &copyError, kPLRPostMaxLocationBytes);
            if (ok) {
                location.insert(QStringLiteral("identifier"), newIdentifier());
                ok = PLRSourceDirectory::writeLocationFile(locationPath, location, &copyError);
            }
        }
        if (ok && !QDir().rename(staging, destination)) {
            ok = false;
            copyError = platform::Error::make(QStringLiteral("PLRUserSessionErrorDomain"), 2,
                                              QStringLiteral("Could not move the copy into place."));
        }
        if (!ok) {
            failure = copyError.localizedDescription();
            plr::fileutil::removePath(staging);
        }
    });
    if (!failure.isEmpty())
        return fail(QStringLiteral("Duplicate of post %1 failed: %2").arg(post->identifier(), failure));

    platform::Error loadError;
    std::unique_ptr<PLRPersistantPost> copy = PLRPersistantPost::loadFromBundle(destination, m_account.get(), &loadError);
    if (!copy)
        return fail(QStringLiteral("Duplicate of post %1 cannot be read: %2").arg(post->identifier(), loadError.toString()));
    return m_account->addPost(std::move(copy));
}

void PLRUserSession::deletePost(PLRPersistantPost* post)
{
    if (!post || !m_account || post->account() != m_account.get())
        return;
    if (post->remoteIdentifier().isEmpty()) {
        deleteLocally(post);
        return;
    }
    PLRPostManager* manager = postManagerForPost(post);
    PLRPostPublishing* publisher = manager ? manager->postPublisher() : nullptr;
    if (!publisher) {
        PLR_LOG_ERROR(QStringLiteral("No publisher: published post %1 (remote %2) is kept, since its remote "
                                     "post cannot be deleted")
                          .arg(post->identifier(), post->remoteIdentifier()));
        return;
    }
    QPointer<PLRUserSession> self(this);
    QPointer<PLRPersistantPost> target(post);
    publisher->addIdleCompletionBlock([self, target](PLRPostPublishing& idle) {
        if (!self || !target)
            return;
        const bool sent = idle.deletePublishedPost([self, target](bool success) {
            if (!self || !target)
                return;
            if (!success) {
                PLR_LOG_WARN(QStringLiteral("The remote post of %1 was not deleted; the local post stays")
                                 .arg(target->identifier()));
                return;
            }
            self->deleteLocally(target);
        });
        if (sent)
            return;
        // Meanwhile the service may have told the publisher that the post is gone.
        if (target->remoteIdentifier().isEmpty())
            self->deleteLocally(target);
        else
            PLR_LOG_WARN(QStringLiteral("The remote post of %1 cannot be deleted now (not signed in?); the local "
                                        "post stays")
                             .arg(target->identifier()));
    });
}

void PLRUserSession::deleteRemotePost(PLRPersistantPost* post)
{
    if (!post || !m_account || post->account() != m_account.get() || post->remoteIdentifier().isEmpty())
        return;
    PLRPostManager* manager = postManagerForPost(post);
    PLRPostPublishing* publisher = manager ? manager->postPublisher() : nullptr;
    if (!publisher) {
        PLR_LOG_WARN(QStringLiteral("No publisher: the remote post of %1 cannot be deleted").arg(post->identifier()));
        return;
    }
    QPointer<PLRPersistantPost> target(post);
    publisher->addIdleCompletionBlock([target](PLRPostPublishing& idle) {
        if (!target)
            return;
        const bool sent = idle.deletePublishedPost([target](bool success) {
            if (!target)
                return;
            if (!success) {
                // The post is still on the website: it keeps its remote identifier.
                PLR_LOG_WARN(QStringLiteral("Unpublishing post %1 failed").arg(target->identifier()));
                return;
            }
            target->setRemoteIdentifier(QString());
            target->setHasChanges(true);
        });
        if (!sent)
            PLR_LOG_WARN(QStringLiteral("Unpublishing post %1: nothing could be sent").arg(target->identifier()));
    });
}

void PLRUserSession::removePostManagerFor(PLRPersistantPost* post)
{
    auto it = std::find_if(m_postManagers.begin(), m_postManagers.end(),
                           [post](const auto& manager) { return manager->representedPost() == post; });
    if (it == m_postManagers.end())
        return;
    // Views up the stack may still hold it: destroyed from the event loop.
    it->release()->deleteLater();
    m_postManagers.erase(it);
}

void PLRUserSession::deleteLocally(PLRPersistantPost* post)
{
    removePostManagerFor(post);
    const QString bundle = post->bundlePath();
    std::unique_ptr<PLRPersistantPost> removed = m_account->takePost(post);
    if (!removed)
        return;
    // After the writes already queued, so none of them can bring the bundle back.
    PLRCoreManager::saveQueue().async([bundle] {
        // Never removed through a link above it (the bundle itself, a link, goes as a link).
        if (const QString link = PLRPersistantStore::linkOnTheWay(QFileInfo(bundle).path()); !link.isEmpty()) {
            PLR_LOG_ERROR(QStringLiteral("Not deleting the post bundle %1: %2 is a link or no folder").arg(bundle, link));
            return;
        }
        if (!plr::fileutil::removeDirectoryAtomically(bundle))
            PLR_LOG_ERROR(QStringLiteral("Could not delete the post bundle %1").arg(bundle));
    });
    removed.release()->deleteLater();
}

std::shared_ptr<PLRSaveBatch> PLRUserSession::prepareSave()
{
    auto batch = std::make_shared<PLRSaveBatch>();
    if (!m_account)
        return batch;
    if (auto write = m_account->prepareWrite(false))
        batch->bundles.push_back(std::move(*write));
    QSet<PLRPersistantPost*> done;
    const auto add = [&](PLRPersistantPost* post) {
        if (!post || done.contains(post) || m_account->postForIdentifier(post->identifier()) != post)
            return;
        done.insert(post);
        if (auto write = post->prepareWrite(false))
            batch->bundles.push_back(std::move(*write));
    };
    for (const auto& manager : m_postManagers)
        add(manager->representedPost());
    for (PLRPersistantPost* post : m_account->currentPosts())
        add(post);
    // The open posts' photo records, after their bundles.
    for (const auto& manager : m_postManagers) {
        PLRPersistantPost* post = manager->representedPost();
        if (!post || m_account->postForIdentifier(post->identifier()) != post)
            continue;
        if (auto write = manager->prepareLocationWrite()) {
            write->refused = [identifier = post->identifier(), name = post->name()](const platform::Error& reason) {
                tellLocationRefused(identifier, name, reason);
            };
            batch->bundles.push_back(std::move(*write));
        }
    }
    return batch;
}

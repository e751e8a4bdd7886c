#pragma once

#include "TestSupport.h"
#include "support/store/StoreFixtures.h"

#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Plist.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/home/PLRShellHooks.h"

#include <QDateTime>
#include <QDir>
#include <QImage>
#include <QStringList>
#include <QUrl>

namespace shell_test {

inline PLRUserSession* signIn(const QString& userId, const QString& email, const QString& first = {}, const QString& last = {})
{
    PLRUserSession* session = testing_support::signIn(userId, email);
    if (session && !first.isEmpty()) {
        session->account()->setFirstName(first);
        session->account()->setLastName(last);
    }
    return session;
}

// A folder of `count` small photos under the test home.
inline QString photoFolder(const QString& name = QStringLiteral("photos"), int count = 0)
{
    const QString path = testing_support::testHome() + QLatin1Char('/') + name;
    QDir().mkpath(path);
    for (int i = 0; i < count; ++i) {
        QImage image(120 + 10 * i, 80, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 47) % 360, 160, 200));
        image.save(QStringLiteral("%1/photo-%2.jpg").arg(path).arg(i), "JPEG", 85);
    }
    return path;
}

inline PLRPersistantPost* makePost(PLRUserSession* session, const QString& name, const QString& remoteId = {})
{
    PLRPostManager* manager = session->newPostManager();
    manager->createNewPostWithTitle(name, QUrl::fromLocalFile(photoFolder()));
    PLRPersistantPost* post = manager->representedPost();
    if (!remoteId.isEmpty())
        post->setRemoteIdentifier(remoteId);
    return post;
}

inline bool saveAndWait()
{
    bool done = false;
    bool result = false;
    PLRCoreManager::save([&](bool ok) {
        done = true;
        result = ok;
    });
    testing_support::waitUntil([&] { return done; });
    return done && result;
}

// Sets the stored creation date of a saved post (read when the account is opened again).
inline bool setStoredCreationDate(PLRPersistantPost* post, const QDateTime& date)
{
    const QString path = post->bundlePath() + QStringLiteral("/info.plist");
    bool ok = false;
    QVariantMap info = platform::plist::readDictionary(path, &ok);
    if (!ok)
        return false;
    info.insert(QStringLiteral("creationDate"), date);
    return platform::plist::writeFile(path, info);
}

inline QStringList names(const QList<PLRPersistantPost*>& posts)
{
    QStringList list;
    for (const PLRPersistantPost* post : posts)
        list << post->name();
    return list;
}

// Records the navigation asked of the shell while alive.
struct NavigationRecorder {
    QList<PLRPersistantPost*> presented;
    int newPosts = 0;
    QList<bool> movedHome;
    QStringList deleted;
    NavigationRecorder()
    {
        PLRShellHooks::Navigation navigation;
        navigation.presentPost = [this](PLRPersistantPost* post) { presented << post; };
        navigation.presentNewPost = [this] { ++newPosts; };
        navigation.moveHome = [this](bool animate) { movedHome << animate; };
        navigation.postWasDeleted = [this](const QString& identifier) { deleted << identifier; };
        PLRShellHooks::setNavigation(navigation);
    }
    ~NavigationRecorder() { PLRShellHooks::setNavigation({}); }
};

} // namespace shell_test

// Prepares the home the start-up benchmark launches signed in (not a benchmark): in the home
// given by PELLORA_HOME, signs a user in (credentials in the home's private keychain file),
// saves one post and points the service address where nothing answers, so that the launches
// stay signed in whatever runs on the development service's usual port.

#include "platform/Keychain.h"
#include "services/PLRServices.h"
#include "platform/Resources.h"
#include "platform/Shutdown.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <QApplication>
#include <QUrl>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::resources::initialize();
    auto& defaults = platform::UserDefaults::standard();
    defaults.reload();
    // A service address where nothing answers: the launches stay signed in, whatever runs on
    // the development service's usual port.
    defaults.setString(QStringLiteral("WEB_SERVICE_KEY_HOST"), QStringLiteral("127.0.0.1"));
    defaults.setString(QStringLiteral("WEB_SERVICE_KEY_PORT"), QStringLiteral("1"));
    defaults.setBool(QStringLiteral("WEB_SERVICE_KEY_HTTPS"), false);
    defaults.setString(QStringLiteral("WEB_SERVICE_HOST_TYPE"), QStringLiteral("PLRWebServiceHost_CUSTOM"));
    platform::Keychain::setShared(platform::Keychain::make(QStringLiteral("file")));
    // The credentials are kept under the service host's own key, as the application keeps them.
    PLRServices::install();
    PLRCoreManager::startManager();
    PLRCoreManager::completeSignIn(QStringLiteral("demo@pellora.test"), QStringLiteral("pellora-demo"), QStringLiteral("1"),
                                   QStringLiteral("bench-token"));
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!session)
        return 1;
    PLRPostManager* manager = session->newPostManager();
    manager->createNewPostWithTitle(QStringLiteral("Lake walk"), QUrl());
    bool saved = false;
    PLRCoreManager::save([&saved](bool ok) { saved = ok; });
    PLRCoreManager::saveQueue().waitUntilIdle();
    QCoreApplication::processEvents();
    PLRCoreManager::setUserSession(nullptr);
    platform::shutdown::run();
    return saved ? 0 : 1;
}


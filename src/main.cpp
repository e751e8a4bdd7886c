#include "AppComposition.h"
#include "shell/AppDelegate.h"
#include "platform/Alert.h"
#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/Memory.h"
#include "platform/Paths.h"
#include "platform/Resources.h"
#include "platform/Shutdown.h"
#include "platform-ui/Fonts.h"
#include "shell/PLRInstanceChannel.h"
#include "shell/PLRRelaunchHelper.h"
#include "shell/PLRSingleInstance.h"
#include "shell/home/PLRSupportChatLoader.h"
#include "store/persistance-store/PLRStoreLock.h"

#include <QApplication>
#include <QDir>

#include <unistd.h>

int main(int argc, char** argv)
{
    // The relaunch helper runs without any application object.
    if (PLRRelaunchHelper::isInvocation(argc, argv))
        return PLRRelaunchHelper::run(argc, argv);
    platform::memory::returnLargeBlocksToTheSystem();
    // The caches the libraries keep for themselves (the support chat's shader caches above all)
    // go into the application's cache folder, not the user's shared one.
    platform::paths::keepLibraryCachesInCacheDirectory();

    // The support chat's web engine comes with a plugin loaded after the first frame
    // (PLRSupportChatLoader, which also makes the OpenGL context the engine shares); it cannot
    // run its sandbox for the super-user.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QApplication app(argc, argv);
    QApplication::setApplicationName(platform::bundle::targetName());
    QApplication::setOrganizationDomain(QStringLiteral("quenfield.com"));
    QApplication::setApplicationVersion(platform::bundle::version());
    QApplication::setDesktopFileName(platform::bundle::identifier());
    QApplication::setQuitOnLastWindowClosed(false);
    platform::resources::initialize();
    // The bundled fonts are registered beside the rest of the start-up, so that the main
    // window's first text finds them ready; whatever way main returns, the registration has
    // ended before the application object goes.
    platform::ui::fonts::registerBundledFontsInBackground();
    const struct FontsRegistered {
        ~FontsRegistered() { platform::ui::fonts::registerBundledFonts(); }
    } fontsRegistered;

    // One instance holds the store (for this user and data folder); a later start hands its
    // files and addresses to it and ends.
    const QStringList openable = PLROpenableArguments(QApplication::arguments(), QDir::currentPath());
    const QString channelName = PLRInstanceChannel::defaultServerName();
    PLRStoreLock storeLock;
    QString whyNot;
    switch (PLRSingleInstance::claim(storeLock, channelName, openable, &whyNot)) {
    case PLRSingleInstance::Outcome::HandedOver:
        PLR_LOG_INFO(QStringLiteral("Handed %1 item(s) to the running Pellora").arg(openable.size()));
        return 0;
    case PLRSingleInstance::Outcome::CannotRun:
        PLR_LOG_ERROR(QStringLiteral("Not starting: %1").arg(whyNot));
        platform::showAlert(QStringLiteral("Pellora cannot start"), whyNot);
        return 1;
    case PLRSingleInstance::Outcome::Run:
        break;
    }

    PLR_LOG_INFO(QStringLiteral("%1 %2 (%3) starting, bundle %4")
                     .arg(platform::bundle::targetName(), platform::bundle::version(), platform::bundle::build(),
                          platform::bundle::identifier()));

    // Every library joins the ones below it (AppComposition.cpp shows the whole wiring).
    AppComposition::install();
    AppDelegate delegate;
    PLRInstanceChannel channel(channelName);
    QObject::connect(&channel, &PLRInstanceChannel::argumentsReceived, &delegate,
                     [&delegate](const QStringList& arguments) { delegate.handleArguments(arguments); });
    channel.listen();
    AppDelegate::installTerminationSignalHandlers();
    if (!openable.isEmpty())
        delegate.handleArguments(openable);
    delegate.launch();
    // The support chat follows the main window's first frame, so that support's messages reach
    // the user from the start of the run without the web engine slowing the launch.
    PLRSupportChatLoader::loadAfterFirstFrame();
    const int code = app.exec();
    // What must end before the process does (the session, queued writes).
    platform::shutdown::run();
    return code;
}

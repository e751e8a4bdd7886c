#include "platform/Bundle.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/Resources.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(platform::bundle::targetName());
    QApplication::setOrganizationDomain(QStringLiteral("quenfield.com"));
    QApplication::setApplicationVersion(platform::bundle::version());
    QApplication::setDesktopFileName(platform::bundle::identifier());
    platform::resources::initialize();

    platform::log::Options logOptions;
    logOptions.fileDirectory = platform::paths::logDirectory();
    platform::log::setup(logOptions);
    PLR_LOG_INFO(QStringLiteral("%1 %2 (%3) starting, bundle %4")
                     .arg(platform::bundle::targetName(), platform::bundle::version(), platform::bundle::build(),
                          platform::bundle::identifier()));

    QMainWindow window;
    window.setWindowTitle(platform::bundle::targetName());
    window.resize(1280, 800);
    window.show();
    return app.exec();
}

// A window holding one help button with a help text, for the launch tests to point at on a real
// X server. Once the window shows it prints "button X Y W H" (the button's place on the screen,
// y down) and runs until it is ended.

#include "controls/PLRHelpButton.h"
#include "platform-ui/Window.h"
#include "platform/Resources.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>

using namespace platform::ui;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    platform::resources::initialize();
    Window window(QRectF(200, 200, 400, 240), WindowStyleTitled);
    window.setTitle(QStringLiteral("Help button"));
    auto* help = new PLRHelpButton(window.contentView());
    help->setFrame(QRectF(200, 110, 20, 20));
    help->setToolTip(QStringLiteral("The padding new posts start with, in points."));
    help->awakeFromNib();
    window.show();
    auto report = std::make_shared<QTimer>();
    report->setInterval(50);
    QObject::connect(report.get(), &QTimer::timeout, [&window, help, report] {
        if (!window.windowHandle() || !window.windowHandle()->isExposed())
            return;
        report->stop();
        const QPoint origin = help->mapToGlobal(QPoint(0, 0));
        std::printf("button %d %d %d %d\n", origin.x(), origin.y(), help->width(), help->height());
        std::fflush(stdout);
    });
    report->start();
    return app.exec();
}

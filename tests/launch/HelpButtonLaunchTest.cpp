// The help button's tool tip on a real X server: the tool-tip window reaches over the button's
// left part, yet the pointer resting there stays the button's, so the text stays shown (a window
// taking the pointer would have the button close it at once, over and over as the pointer moves).

#include "LaunchedApplication.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QProcess>
#include <QRect>
#include <QRegularExpression>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

using testing_support::pollUntil;
using testing_support::VirtualScreen;

namespace {

constexpr int kTimeoutMs = 60000;

// The X window under the pointer (its id in decimal), as the server delivers the pointer's events.
QString windowUnderPointer(const VirtualScreen& screen)
{
    const QString shell = QString::fromLatin1(screen.run(QStringLiteral("xdotool"), {QStringLiteral("getmouselocation"),
                                                                                       QStringLiteral("--shell")}));
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("WINDOW=(\\d+)")).match(shell);
    return match.hasMatch() ? match.captured(1) : QString();
}

// The shown tool-tip windows (ids in decimal).
QStringList shownToolTips(const VirtualScreen& screen)
{
    const QString ids = QString::fromLatin1(screen.run(QStringLiteral("xdotool"),
                                                       {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                        QStringLiteral("--name"), QStringLiteral("^Pellora Tooltip$")}));
    return ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

TEST(HelpButtonOnX, TheToolTipStaysShownWhileThePointerRestsOnTheButton)
{
    VirtualScreen screen;
    ASSERT_TRUE(screen.start());
    QProcess probe;
    const pid_t parent = ::getpid();
    probe.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(1);
    });
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("DISPLAY"), screen.display());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/no-session-bus"));
    probe.setProcessEnvironment(environment);
    probe.start(QStringLiteral(PELLORA_HELP_BUTTON_PROBE_PATH), {});
    ASSERT_TRUE(probe.waitForStarted(10000));
    QByteArray said;
    QDeadlineTimer deadline(kTimeoutMs);
    while (!said.contains('\n') && !deadline.hasExpired() && probe.state() == QProcess::Running) {
        probe.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        said += probe.readAllStandardOutput();
    }
    const QRegularExpressionMatch place =
        QRegularExpression(QStringLiteral("button (-?\\d+) (-?\\d+) (\\d+) (\\d+)")).match(QString::fromLatin1(said));
    ASSERT_TRUE(place.hasMatch()) << said.toStdString() << probe.readAllStandardError().toStdString();
    const QRect button(place.captured(1).toInt(), place.captured(2).toInt(), place.captured(3).toInt(),
                       place.captured(4).toInt());

    // The left part (under the tool-tip window's right end), then the right part, then away.
    for (const int x : {button.left() + 3, button.right() - 3}) {
        SCOPED_TRACE(x - button.left());
        screen.run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(x),
                                                QString::number(button.center().y())});
        QStringList tips;
        QString under;
        EXPECT_TRUE(pollUntil(
            [&] {
                tips = shownToolTips(screen);
                under = windowUnderPointer(screen);
                return tips.size() == 1 && !under.isEmpty() && under != tips.front();
            },
            kTimeoutMs, 200))
            << "shown tool tips: " << tips.join(QLatin1Char(' ')).toStdString() << ", under the pointer: " << under.toStdString();
    }
    screen.run(QStringLiteral("xdotool"), {QStringLiteral("mousemove"), QString::number(button.left() - 60),
                                            QString::number(button.top() - 60)});
    EXPECT_TRUE(pollUntil([&] { return shownToolTips(screen).isEmpty(); }, kTimeoutMs, 200));
    probe.kill();
    probe.waitForFinished(5000);
}

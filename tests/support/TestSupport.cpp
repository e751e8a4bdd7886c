#include "TestSupport.h"
#include "platform/Clock.h"
#include "platform/ModalFocus.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QPainter>
#include <QImageWriter>
#include <QColorSpace>
#include <QThread>

namespace testing_support {

namespace {
std::function<void()>& installsBeforeEachTest()
{
    static std::function<void()> installs;
    return installs;
}
} // namespace

InstallsBeforeEachTest::InstallsBeforeEachTest(std::function<void()> installs)
{
    installsBeforeEachTest() = std::move(installs);
}

void runInstallsBeforeEachTest()
{
    if (installsBeforeEachTest())
        installsBeforeEachTest()();
}

QString testHome() { return qEnvironmentVariable("PELLORA_HOME"); }

bool waitUntil(const std::function<bool()>& predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!predicate()) {
        if (deadline.hasExpired())
            return predicate();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

namespace {

// A request on its way with its deadline on the clock (a service request, a photo upload).
bool requestInFlight(const platform::ManualClock& clock)
{
    return !clock.waiting([](const QObject* context) {
                      return context && (context->inherits("QNetworkReply") || context->inherits("PLRUploadClient"));
                  }).empty();
}

} // namespace

bool requestOnItsWay()
{
    const platform::ManualClock* clock = platform::ManualClock::current();
    return clock && requestInFlight(*clock);
}

bool waitUntilMovingTheClock(const std::function<bool()>& predicate, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!waitUntil(predicate, 20)) {
        if (deadline.hasExpired())
            return predicate();
        platform::ManualClock* clock = platform::ManualClock::current();
        // While a request is on its way its answer comes next, however long a loaded machine
        // takes: the clock stands still (it would run later steps early, and its deadline would
        // fail the request).
        if (!clock || requestInFlight(*clock))
            continue;
        // The next step, past the background ticks that fall due before it (they run on the
        // way); only those when no step waits.
        const std::vector<double> steps = waitingSteps(*clock);
        if (steps.empty())
            clock->advanceToNext();
        else
            clock->advance(steps.front());
    }
    return true;
}

std::vector<double> waitingSteps(const platform::ManualClock& clock)
{
    return clock.waiting([](const QObject* context) {
        return !context
            || !(context->inherits("PLRServiceReacher") || context->inherits("PLRWebServiceHost")
                 || context->inherits("PLRAnalyticManager") || context->inherits("PLRSoftwareUpdater")
                 || context->inherits("QNetworkReply") || context->inherits("PLRUploadClient"));
    });
}

bool holdsFor(const std::function<bool()>& predicate, int ms)
{
    return !waitUntil([&predicate] { return !predicate(); }, ms);
}

void drainEvents()
{
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

namespace {
int& expectedModalSessions()
{
    static int count = 0;
    return count;
}
} // namespace

void expectModalSessions(int count)
{
    expectedModalSessions() += count;
}

void failUnexpectedModalSessions()
{
    expectedModalSessions() = 0;
    platform::setModalSessionCheck([](QWidget* window) {
        if (expectedModalSessions() > 0) {
            --expectedModalSessions();
            return true;
        }
        // Which window it is: its title, and its own kinds of views.
        QStringList kinds;
        if (window)
            for (const QObject* child : window->findChildren<QObject*>()) {
                const QString kind = QString::fromLatin1(child->metaObject()->className());
                if (kind.startsWith(QLatin1String("PLR")) && !kinds.contains(kind) && kinds.size() < 6)
                    kinds << kind;
            }
        ADD_FAILURE() << "Unexpected modal window \"" << (window ? window->windowTitle().toStdString() : std::string())
                      << "\" (" << kinds.join(QStringLiteral(", ")).toStdString() << "): ended at once";
        return false;
    });
}

platform::ScriptedAlertPresenter& scriptedAlerts()
{
    auto* current = dynamic_cast<platform::ScriptedAlertPresenter*>(&platform::AlertPresenter::shared());
    if (current)
        return *current;
    auto presenter = std::make_unique<platform::ScriptedAlertPresenter>();
    presenter->onUnexpected = [](const platform::Alert& alert) {
        ADD_FAILURE() << "Unexpected alert: \"" << alert.messageText.toStdString() << "\" / \""
                      << alert.informativeText.toStdString() << "\"";
    };
    auto* raw = presenter.get();
    platform::AlertPresenter::setShared(std::move(presenter));
    return *raw;
}

platform::ScriptedFilePanels& scriptedPanels()
{
    auto* current = dynamic_cast<platform::ScriptedFilePanels*>(&platform::FilePanels::shared());
    if (current)
        return *current;
    auto panels = std::make_unique<platform::ScriptedFilePanels>();
    panels->onUnexpected = [](const platform::PanelRequest& request) {
        ADD_FAILURE() << "Unexpected panel: " << request.title.toStdString();
    };
    auto* raw = panels.get();
    platform::FilePanels::setShared(std::move(panels));
    return *raw;
}

platform::RecordingWorkspace& recordingWorkspace()
{
    auto* current = dynamic_cast<platform::RecordingWorkspace*>(&platform::Workspace::shared());
    if (current)
        return *current;
    auto workspace = std::make_unique<platform::RecordingWorkspace>();
    auto* raw = workspace.get();
    platform::Workspace::setShared(std::move(workspace));
    return *raw;
}

QString sourcePath(const QString& relative)
{
    return QDir(qEnvironmentVariable("PELLORA_SOURCE_DIR")).filePath(relative);
}

QString realPhotoPath()
{
    return sourcePath(QStringLiteral("tests/data/two-wings.jpg"));
}

QString writeWideGamutPhoto(const QString& path)
{
    QImage photo = QImage(realPhotoPath()).convertToFormat(QImage::Format_RGB32);
    photo.setColorSpace(QColorSpace::SRgb);
    {
        QPainter painter(&photo);
        painter.fillRect(kWideGamutRedPatch, QColor(255, 0, 0));
        painter.fillRect(kWideGamutGreenPatch, QColor(0, 200, 0));
    }
    photo.convertToColorSpace(QColorSpace::DisplayP3);
    QImageWriter writer(path, "jpeg");
    writer.setQuality(100);
    return writer.write(photo) ? path : QString();
}

} // namespace testing_support

#pragma once

// Shared set-up of the shell tests: the development service on a free port, the application
// delegate with a hand-driven save clock and an exit that only records, the animation clock under
// the test's hand, and every log line captured.

#include "DevService.h"
#include "TestSupport.h"
#include "support/shell/ShellFixtures.h"

#include "shell/AppDelegate.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "store/migrators/PLRMigrator.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "platform-ui/Animation.h"
#include "platform-ui/View.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRAuthViewController.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "shell/PLRMainMenu.h"
#include "services/web-services/PLRServiceReacher.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimeZone>
#include <QJsonArray>
#include <QJsonObject>
#include <QMutex>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

namespace shell_test {

// The shared clock, moved by hand: the periodic save, the post view's delays, every timed step.
class ManualScheduler {
public:
    // Keeps the manual clock already in place (set up with the test), so nothing waiting on it
    // is dropped.
    ManualScheduler() : m_clock(inPlace()) {}
    QDateTime now() const { return m_clock.wallTime(); }
    // Moves the clock, running what falls due on the way, in order.
    void advance(double seconds) { m_clock.advance(seconds); }
    int pending() const { return int(testing_support::waitingSteps(m_clock).size()); }
    double secondsUntilNext() const
    {
        const std::vector<double> waiting = testing_support::waitingSteps(m_clock);
        return waiting.empty() ? -1.0 : waiting.front();
    }

private:
    static platform::ManualClock& inPlace()
    {
        platform::ManualClock* current = platform::ManualClock::current();
        return current ? *current : platform::ManualClock::install();
    }
    platform::ManualClock& m_clock;
};

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        service.useAsCustomHost();
        platform::UserDefaults::standard().setString(QLatin1String(kPLRAnalyticCollectorURLKey),
                                                     service.baseUrl().toString());
        PLRServiceReacher::setDefaultTiming({0.05, 0.25});   // the reset registry puts it back
        testing_support::installShellLibraries();
        m_hadEnv = qEnvironmentVariableIsSet("env");
        m_env = qgetenv("env");
        qputenv("env", "dev");
        platform::ui::AnimationClock::shared().setManual(true);
        m_capture = platform::log::addCapture([this](platform::log::Level, const QString& line) {
            QMutexLocker lock(&m_linesMutex);
            m_lines << line;
        });
    }

    void TearDown() override
    {
        if (qEnvironmentVariableIsSet("PELLORA_TEST_PRINT_LOG"))
            for (const QString& line : lines())
                fprintf(stderr, "log| %s\n", qPrintable(line));
        platform::log::removeCapture(m_capture);
        app.reset();
        if (m_hadEnv)
            qputenv("env", m_env);
        else
            qunsetenv("env");
    }

    // A store that is up to date and not new (no migration, no first-run welcome).
    static void prepareExistingStore()
    {
        QDir().mkpath(platform::paths::applicationSupport());
        PLRMigrator::setStoredVersion(QLatin1String(kPLRStoreCurrentVersion));
    }

    // Signs the development service's demo account in, as a completed sign-in leaves it (the
    // session stays set unless the test drops it).
    void signInDemo(const QString& userId = QStringLiteral("1"))
    {
        const QString token = service.tokenFor(testing_support::DevService::demoEmail());
        ASSERT_TRUE(PLRCoreManager::completeSignIn(testing_support::DevService::demoEmail(),
                                                   testing_support::DevService::demoPassword(), userId, token));
    }

    // Makes the application delegate without launching it.
    void makeApp()
    {
        app = std::make_unique<AppDelegate>();
        m_scheduler = std::make_unique<ManualScheduler>();
        scheduler = m_scheduler.get();
        app->setExitHandler([this](int code) {
            exitCode = code;
            exited = true;
        });
        app->setSessionEventTimeout(3.0);
    }

    // Makes and launches the application delegate; waits for the main window.
    void launch(bool waitForWindow = true)
    {
        makeApp();
        app->launch();
        app->updateController()->updater()->setFeedURL(QUrl());
        if (waitForWindow) {
            ASSERT_TRUE(testing_support::waitUntil([this] { return app->baseWindowController() != nullptr; }));
        }
    }

    PLRBaseViewController* root() const { return app->baseWindowController()->contentViewController(); }

    // Lets running screen animations finish.
    static void finishAnimations()
    {
        for (int i = 0; i < 4; ++i) {
            platform::ui::AnimationClock::shared().advance(0.2);
            QCoreApplication::processEvents();
        }
    }

    // Waits while the event loop and the animation clock run (screen changes finish on the way).
    // The time-out is up once that much time has passed on both clocks: a loaded machine, slow
    // to handle each step of the clock, still gets every step the time-out gives.
    static bool waitFor(const std::function<bool()>& predicate, int timeoutMs = 8000)
    {
        QElapsedTimer timer;
        timer.start();
        double moved = 0.0;
        while (!predicate()) {
            if (timer.elapsed() > timeoutMs && moved * 1000.0 >= timeoutMs)
                return predicate();
            platform::ui::AnimationClock::shared().advance(0.05);
            moved += 0.05;
            testing_support::waitUntil(predicate, 10);
        }
        return true;
    }
    // Lets the given time pass on the clock, in small steps, handling what each step brings.
    static void letTimePass(double seconds)
    {
        for (double passed = 0.0; passed < seconds - 1e-9; passed += 0.05) {
            platform::ui::AnimationClock::shared().advance(0.05);
            testing_support::drainEvents();
        }
    }

    // Waits for the service machine's state; the clock moves meanwhile (its re-checks run).
    bool waitForState(const char* state, int timeoutMs = 8000)
    {
        return waitFor(
            [state] {
                auto current = PLRWebServiceManager::globalManager().currentState();
                return current && current->name() == QLatin1String(state);
            },
            timeoutMs);
    }

    // Signs in through the sign-in form, as a user does.
    void signInThroughForm(const QString& email, const QString& password)
    {
        ASSERT_TRUE(waitFor([this] { return root()->isShowingAuth(); }));
        PLRAuthViewController* auth = root()->authViewController();
        auth->usernameTextField()->setStringValue(email);
        auth->passwordTextField()->setStringValue(password);
        auth->signInAction(nullptr);
    }

    QStringList lines() const
    {
        QMutexLocker lock(&m_linesMutex);
        return m_lines;
    }
    int indexOfLine(const QString& prefix) const
    {
        const QStringList all = lines();
        for (int i = 0; i < all.size(); ++i)
            if (all.at(i).startsWith(prefix))
                return i;
        return -1;
    }
    int countLines(const QString& prefix) const
    {
        int count = 0;
        for (const QString& line : lines())
            count += line.startsWith(prefix) ? 1 : 0;
        return count;
    }

    static platform::ScriptedAlertPresenter& alerts() { return testing_support::scriptedAlerts(); }

    testing_support::DevService service;
    std::unique_ptr<AppDelegate> app;
    std::unique_ptr<ManualScheduler> m_scheduler;
    ManualScheduler* scheduler = nullptr;
    bool exited = false;
    int exitCode = -1;

private:
    int m_capture = 0;
    mutable QMutex m_linesMutex;
    QStringList m_lines;
    bool m_hadEnv = false;
    QByteArray m_env;
};

} // namespace shell_test

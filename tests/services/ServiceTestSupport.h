#pragma once

// Shared set-up of the tests that talk to the development service.

#include "DevService.h"
#include "platform/Clock.h"
#include "TestSupport.h"

#include "services/PLRServices.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRServiceReacher.h"
#include "services/web-services/PLRWebServiceManager.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QStringList>

#include <memory>

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        service.useAsCustomHost();
        // Short probe intervals so that a test does not wait for minutes.
        PLRServiceReacher::setDefaultTiming({0.05, 0.25});
        PLRServices::install();
    }

    // A signed-in session for the demo account without the log-in request.
    void signInDirectly()
    {
        const QString token = service.tokenFor(testing_support::DevService::demoEmail());
        ASSERT_FALSE(token.isEmpty());
        ASSERT_TRUE(PLRCoreManager::completeSignIn(testing_support::DevService::demoEmail(),
                                                   testing_support::DevService::demoPassword(),
                                                   QStringLiteral("1"), token));
    }

    // Records the machine's state names, in order, from its change notifications.
    void recordStates()
    {
        PLRWebServiceManager::globalManager().addStateChangeNotificationHandler(
            &observer, [this](const platform::Notification&) {
                states << PLRWebServiceManager::globalManager().currentState()->name();
            });
    }

    static QString stateName()
    {
        auto state = PLRWebServiceManager::globalManager().currentState();
        return state ? state->name() : QString();
    }

    static bool waitForState(const char* name, int timeoutMs = 8000)
    {
        return testing_support::waitUntil([name] { return stateName() == QLatin1String(name); }, timeoutMs);
    }

    // With a manual clock in place: moves it on by `seconds`, one probe check at a time, each
    // check's fetch and the machine's answer to it done before the next.
    static void runProbeFor(platform::ManualClock& clock, double seconds)
    {
        const double step = PLRServiceReacher::defaultTiming().checkInterval;
        for (double done = 0.0; done < seconds - 1e-9; done += step) {
            clock.advance(step);
            ASSERT_TRUE(testing_support::waitUntil([] {
                const PLRServiceReacher* reacher = PLRWebServiceManager::globalManager().serviceReacher();
                return !reacher || !reacher->isFetching();
            }));
            testing_support::drainEvents();
        }
    }

    testing_support::DevService service;
    QObject observer;
    QStringList states;
};

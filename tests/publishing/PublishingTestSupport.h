#pragma once

// A signed-in demo user with a website set up, the development service on a free port, a
// folder of photos on disk and a new post on it with its publisher; every transition of the
// publisher's machine recorded.

#include "DevService.h"
#include "TestSupport.h"
#include "support/shell/ShellFixtures.h"

#include "layout/PLRLayoutLibrary.h"
#include "layout/base/PLRLayoutManager.h"
#include "services/PLRServices.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "publishing/PLRPublishing.h"
#include "publishing/publish/PLRWebServicePostPublisher.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRServiceReacher.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRWebServiceManager.h"
#include "services/web-services/PLRWebServicePublisher.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

inline void PrintTo(const QString& string, std::ostream* os) { *os << '"' << string.toStdString() << '"'; }

class PublishingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service.start());
        service.useAsCustomHost();
        // The connection machine lives for the run: an earlier test's may still look at an
        // earlier service.
        PLRWebServiceHost::setCurrentHostType(QString::fromLatin1(PLRWebServiceHost_CUSTOM));
        PLRServiceReacher::setDefaultTiming({0.05, 0.25});
        PLRWebServiceUserManager::setRetryDelays(0.05, 0.4);
        PLRWebServicePostPublisher::Timing fast;
        fast.buildCheckDelay = 0.05;
        fast.fetchRetryFirst = 0.05;
        fast.fetchRetryMax = 0.2;
        fast.uploadTimeoutMs = 5000;
        fast.uploadRetryFirst = 0.05;
        fast.uploadRetryMax = 0.2;
        PLRWebServicePostPublisher::setTiming(fast);
        // The libraries are installed before each test (PublishingInstalls.cpp).
        setPublisher(QJsonObject{{QStringLiteral("host"), QStringLiteral("photos.example.com")},
                                 {QStringLiteral("type"), 0}});
        PLRWebServiceManager::globalManager().beginManager();
        ASSERT_TRUE(testing_support::waitUntil([] {
            const PLRFiniteStatePtr state = PLRWebServiceManager::globalManager().currentState();
            return state && state->name() == QLatin1String(PLRWSM_STATE_STABLE);
        }, 8000));
        const QString token = service.tokenFor(testing_support::DevService::demoEmail());
        ASSERT_TRUE(PLRCoreManager::completeSignIn(testing_support::DevService::demoEmail(),
                                                   testing_support::DevService::demoPassword(), QStringLiteral("1"), token));
        users = PLRWebServiceUserManager::forSession(PLRCoreManager::userSession());
        ASSERT_TRUE(users);
        ASSERT_TRUE(testing_support::waitUntil([this] { return users->remotePublisher() != nullptr; }, 8000));
    }

    void setPublisher(const QJsonValue& answer) const
    {
        service.control("POST", QStringLiteral("/__control/me"),
                        QJsonObject{{QStringLiteral("email"), testing_support::DevService::demoEmail()},
                                    {QStringLiteral("publisher"), answer}});
    }

    // A folder of `count` photos (p01.jpg, ...) and a new post on it, every photo in its
    // layout in folder order; the publisher is settled.
    PLRWebServicePostPublisher* openPost(int count, int width = 64, int height = 48)
    {
        // Each photo of its own size, so that no two export files are the same.
        QList<testing_support::TestPhoto> photos;
        for (int i = 0; i < count; ++i)
            photos.append({QStringLiteral("p%1.jpg").arg(i + 1, 2, 10, QLatin1Char('0')), width + i, height});
        testing_support::OpenPostOptions options;
        options.timeoutMs = 15000;
        const testing_support::OpenPost opened = testing_support::openPost(photos, options);
        EXPECT_TRUE(opened.ok);
        folder = opened.folder;
        manager = opened.manager;
        if (!opened.ok)
            return nullptr;
        QStringList identifiers;
        for (const PLRSourceImagePtr& image : manager->images())
            identifiers << image->identifier();
        manager->layoutManager()->createAndAddBlocksForImages(identifiers);
        manager->refreshImagesInUse();
        return watch();
    }

    // Records the publisher's transitions from now on.
    PLRWebServicePostPublisher* watch()
    {
        publisher = manager->component<PLRWebServicePostPublisher>();
        EXPECT_TRUE(publisher);
        if (!publisher)
            return nullptr;
        publisher->addStateChangeNotificationHandler(&observer, [this](const platform::Notification& notification) {
            const auto transition = notification.userInfo.value(QLatin1String(PLRFiniteStateMachineTransitionUserInfoKey))
                                        .value<PLRFiniteTransitionPtr>();
            events << transition->event()->name();
            entered << transition->destinationState()->name();
            infos << transition->userInfo();
        });
        return publisher;
    }

    QString state() const { return publisher ? publisher->currentStateName() : QString(); }

    bool waitForState(const char* name, int timeoutMs = 15000) const
    {
        return testing_support::waitUntilMovingTheClock([&] { return state() == QLatin1String(name); }, timeoutMs);
    }
    bool waitForEntered(const char* name, int timeoutMs = 15000) const
    {
        return testing_support::waitUntilMovingTheClock([&] { return entered.contains(QLatin1String(name)); }, timeoutMs);
    }

    // The post's published state after a publish: built, fetched again and settled.
    bool published() const
    {
        return state() == QLatin1String(PLRPP_STATE_IDLE) && entered.count(QStringLiteral("IDLE")) >= 2;
    }
    bool waitUntilPublished(int timeoutMs = 20000) const
    {
        return testing_support::waitUntilMovingTheClock([&] { return published(); }, timeoutMs);
    }
    // Published while a manual clock stands still: the service's word that it has built ends
    // the build wait, not a check that waits on the clock.
    bool waitUntilPublishedByTheService(int timeoutMs = 20000) const
    {
        return testing_support::waitUntil([&] { return published(); }, timeoutMs);
    }

    QJsonArray requestsOf(const QString& method, const QString& path = QString()) const
    {
        QJsonArray matching;
        for (const QJsonValue& entry : service.requests(path))
            if (entry.toObject().value(QStringLiteral("method")).toString() == method)
                matching.append(entry);
        return matching;
    }
    QJsonArray uploads() const
    {
        QJsonArray matching;
        for (const QJsonValue& entry : service.requests())
            if (entry.toObject().value(QStringLiteral("path")).toString().startsWith(QLatin1String("/uploads/")))
                matching.append(entry);
        return matching;
    }

    QString remoteId() const { return manager->representedPost()->remoteIdentifier(); }
    QString postPath(const QString& extra = QString()) const
    {
        return QStringLiteral("/api/me/posts/") + remoteId() + extra;
    }

    // A GET of any address, answered synchronously (status, body).
    static std::pair<int, QByteArray> fetch(const QUrl& url)
    {
        QNetworkAccessManager network;
        QNetworkReply* reply = network.get(QNetworkRequest(url));
        testing_support::waitUntil([reply] { return reply->isFinished(); }, 5000);
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray body = reply->readAll();
        delete reply;
        return {status, body};
    }

    QList<int> uploadedProgress() const
    {
        QList<int> progress;
        for (int i = 0; i < events.size(); ++i)
            if (events[i] == QLatin1String(PLRPP_EVENT_UPLOAD_IMAGES) && infos[i].contains(QLatin1String(kPLRPPUploadedKey)))
                progress << infos[i].value(QLatin1String(kPLRPPUploadedKey)).toInt();
        return progress;
    }

    testing_support::DevService service;
    PLRWebServiceUserManager* users = nullptr;
    PLRPostManager* manager = nullptr;
    PLRWebServicePostPublisher* publisher = nullptr;
    QString folder;
    QObject observer;
    QStringList events;
    QStringList entered;
    QList<QVariantMap> infos;
};

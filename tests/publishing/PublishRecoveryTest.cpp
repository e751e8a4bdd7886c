// A publish that meets a connection change, a dropped or refused upload, a strange upload
// address or a slow build: never lost, never hammering the service, never writing locally.
#include "LoopbackHost.h"
#include "PublishingTestSupport.h"
#include "platform/Clock.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

namespace {

// An upload host that takes each PUT whole and then answers it with a status line that never
// ends, one byte a second on the shared clock.
class TricklingHost : public testing_support::LoopbackHost {
public:
    int requests = 0;

    TricklingHost()
        : LoopbackHost([this](QTcpSocket* socket, const Request&) {
              ++requests;
              trickle(socket);
          })
    {
    }

private:
    void trickle(QPointer<QTcpSocket> socket)
    {
        m_writers.append(platform::Clock::shared().after(1.0, this, [this, socket] {
            if (!socket || socket->state() != QAbstractSocket::ConnectedState)
                return;
            socket->write("H");
            socket->flush();
            trickle(socket);
        }));
    }
    QList<platform::Cancellable> m_writers;
};

} // namespace

TEST_F(PublishingTest, ACreateAnsweredAfterAConnectionChangeResumesAndOnlyACancelCleansUp)
{
    publisher = openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));

    // The create is answered late; meanwhile the connection blips and the post is looked at
    // again (still without a remote identifier).
    service.script(QJsonObject{{"path", "/api/me/posts"}, {"method", "POST"}, {"delay_ms", 1200}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitForState(PLRPP_STATE_CREATING_POST));
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(waitForEntered(PLRPP_STATE_WAITING_FOR_SERVICE));
    ASSERT_TRUE(waitForEntered(PLRPP_STATE_NOT_PUBLISHED, 8000));
    // The late answer resumes the publish: fetched with its pending revision, uploaded, built.
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "IDLE" && publisher->liveRevision(); }, 20000));
    EXPECT_FALSE(remoteId().isEmpty());
    EXPECT_TRUE(requestsOf("POST", postPath("/clean")).isEmpty());
    EXPECT_EQ(uploads().size(), 2);
    EXPECT_EQ(requestsOf("POST", "/api/me/posts").size(), 1);
    const int resumed = int(entered.lastIndexOf("NOT_PUBLISHED"));
    EXPECT_EQ(entered.mid(resumed, 3), (QStringList{"NOT_PUBLISHED", "FETCHING_INFO", "UPDATED_POST"}));

}

TEST_F(PublishingTest, ACreateCancelledWhileItRunsIsCleanedUpWhenAnswered)
{
    publisher = openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    service.script(QJsonObject{{"path", "/api/me/posts"}, {"method", "POST"}, {"delay_ms", 600}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_EQ(state(), "CREATING_POST");
    EXPECT_TRUE(publisher->cancelPublishing());
    ASSERT_TRUE(testing_support::waitUntil([&] {
        for (const QJsonValue& request : service.requests())
            if (request.toObject().value("path").toString().endsWith("/clean"))
                return true;
        return false;
    }, 8000));
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "NOT_PUBLISHED" && remoteId().isEmpty(); }, 8000));
    EXPECT_TRUE(uploads().isEmpty());
}

TEST_F(PublishingTest, OnlyWebAddressesReceiveUploads)
{
    PLRWebServicePostPublisher::Timing timing = PLRWebServicePostPublisher::timing();
    timing.uploadPassLimit = 2;
    PLRWebServicePostPublisher::setTiming(timing);
    publisher = openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    QTemporaryDir victim;
    ASSERT_TRUE(victim.isValid());
    const QString target = victim.filePath("overwritten.jpg");
    {
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("precious");
    }
    // The service hands out a local file and an address of another scheme (one that would reach
    // the service's own upload path, were it used as a web address).
    const QString first = manager->images()[0]->identifier();
    const QString second = manager->images()[1]->identifier();
    const QString otherScheme = QStringLiteral("ftp://127.0.0.1:%1/uploads/x").arg(service.port());
    const QJsonObject answer{{"images", QJsonArray{QJsonObject{{"ref_id", first}, {"signed_url", QUrl::fromLocalFile(target).toString()}},
                                                   QJsonObject{{"ref_id", second}, {"signed_url", otherScheme}}}}};
    service.script(QJsonObject{{"path", "/api/me/posts/"}, {"prefix", true}, {"method", "POST"}, {"count", 10},
                               {"body", answer}, {"status", 200}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    // Refused each pass: after the allowed passes the publisher stops and says so.
    ASSERT_TRUE(testing_support::waitUntil([&] { return publisher->uploadStalled(); }, 10000));
    EXPECT_EQ(state(), "UPLOADING_IMAGES");
    EXPECT_FALSE(publisher->lastError().isEmpty());
    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("precious"));
    EXPECT_EQ(QDir(victim.path()).entryList(QDir::Files), QStringList{"overwritten.jpg"});
    EXPECT_TRUE(uploads().isEmpty());

    // Once the service hands out its own addresses, a retry goes through.
    service.control("DELETE", "/__control/script");
    EXPECT_TRUE(publisher->retryUpload());
    EXPECT_FALSE(publisher->uploadStalled());
    ASSERT_TRUE(waitUntilPublished());
    EXPECT_EQ(uploads().size(), 2);
    EXPECT_FALSE(publisher->retryUpload());
}

TEST_F(PublishingTest, DroppedRefusedAndUnreceivedUploadsBackOffAndStop)
{
    // The passes' back-off passes on a manual clock, moved whenever the publisher waits.
    platform::ManualClock& clock = platform::ManualClock::install();
    publisher = openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    // Every upload dropped.
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 1000}, {"drop", true}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return publisher->uploadStalled(); }, 15000));
    const int limit = PLRWebServicePostPublisher::timing().uploadPassLimit;
    // A bounded number of tries: each pass sends each photo (a dropped kept-alive connection is
    // tried once more on a fresh one), and no more passes follow.
    const qsizetype dropped = uploads().size();
    EXPECT_LE(dropped, qsizetype(limit) * 2 * 2);
    EXPECT_GE(dropped, qsizetype(limit) * 2);
    clock.advance(PLRWebServicePostPublisher::timing().uploadRetryMax * 2);
    EXPECT_TRUE(testing_support::holdsFor([&] { return uploads().size() == dropped; }, 100));
    EXPECT_EQ(state(), "UPLOADING_IMAGES");
    EXPECT_FALSE(publisher->isBuildingBlog());   // still cancellable

    // Answered 500 every time: the same.
    EXPECT_TRUE(publisher->cancelPublishing());
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    service.control("DELETE", "/__control/script");
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 1000}, {"status", 500}});
    service.clearRequests();
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return publisher->uploadStalled(); }, 15000));
    EXPECT_EQ(uploads().size(), qsizetype(limit) * 2);
    EXPECT_FALSE(publisher->lastError().isEmpty());

    // Taken every time (answered 200) while the service never gets them: the service asks again
    // for the very photos just sent, pass after pass; that is bounded all the same, and said.
    EXPECT_TRUE(publisher->cancelPublishing());
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    service.control("DELETE", "/__control/script");
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 1000}, {"status", 200}});
    service.clearRequests();
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return publisher->uploadStalled(); }, 15000));
    EXPECT_EQ(uploads().size(), qsizetype(limit) * 2);
    EXPECT_EQ(state(), "UPLOADING_IMAGES");
    EXPECT_EQ(publisher->lastError(), "The photos were uploaded, but the service did not receive them.");
    clock.advance(PLRWebServicePostPublisher::timing().uploadRetryMax * 2);
    EXPECT_TRUE(testing_support::holdsFor([&] { return uploads().size() == qsizetype(limit) * 2; }, 100));
}

TEST_F(PublishingTest, APublishTakenUpAgainAfterTheServiceWasAwayGetsItsUploadTriesAfresh)
{
    platform::ManualClock::install();
    publisher = openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    // As many refused passes as stop a publish, then the uploads go through.
    const int limit = PLRWebServicePostPublisher::timing().uploadPassLimit;
    service.control("POST", "/__control/uploads", QJsonObject{{"count", limit * 2}, {"status", 500}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    // All but the last of those passes have sent their photos: then the service is away (the
    // connection found lost, the service found unreachable) and the publish waits for it.
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return uploads().size() == (limit - 1) * 2; }, 15000));
    entered.clear();
    service.goDown();
    ASSERT_TRUE(service.waitUntilDown());
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(testing_support::waitUntil([] {
        const PLRFiniteStatePtr connection = PLRWebServiceManager::globalManager().currentState();
        return connection && connection->name() == QLatin1String(PLRWSM_STATE_SERVER_CONNECTION);
    }));
    EXPECT_EQ(state(), "WAITING_FOR_SERVICE");
    // Back: the probe finds it, and the publish takes up again.
    ASSERT_TRUE(service.comeBackUp());
    // The refused passes before do not count against it: one more refused pass does not stop
    // it, and the next one publishes.
    ASSERT_TRUE(waitUntilPublished());
    EXPECT_FALSE(publisher->uploadStalled());
    EXPECT_EQ(uploads().size(), limit * 2 + 2);
    EXPECT_EQ(entered.mid(entered.indexOf("WAITING_FOR_SERVICE"), 3),
              (QStringList{"WAITING_FOR_SERVICE", "FETCHING_INFO", "UPDATED_POST"}));
}

TEST_F(PublishingTest, TheBuildWaitEndsWithoutWaitingForAScheduledCheck)
{
    // Checks an hour apart on a clock that stands still: only the service's word that it has
    // built ends the wait.
    platform::ManualClock::install();
    PLRWebServicePostPublisher::Timing timing = PLRWebServicePostPublisher::timing();
    timing.buildCheckDelay = 3600;
    PLRWebServicePostPublisher::setTiming(timing);
    publisher = openPost(3);
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "NOT_PUBLISHED"; }));
    // Built once the photos are up.
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublishedByTheService(5000));

    // An update that needs no photo: built just after its request was answered.
    manager->representedPost()->setSeoTitle("Again");
    entered.clear();
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublishedByTheService(5000));
    EXPECT_EQ(publisher->liveRevision()->seoTitle(), "Again");

    // The service's word while the request is still being answered: the wait checks as soon
    // as it begins (here the service builds only once it is asked).
    service.control("POST", "/__control/build", QJsonObject{{"checks", 1}});
    service.script(QJsonObject{{"path", postPath("/postrevisions")}, {"method", "POST"}, {"delay_ms", 400}});
    manager->representedPost()->setSeoTitle("Once more");
    entered.clear();
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_EQ(state(), "UPDATING_POST");
    EXPECT_GE(service.pushSocketEvent(remoteId(), "revision_active"), 1);
    ASSERT_TRUE(waitUntilPublishedByTheService(5000));
    EXPECT_EQ(publisher->liveRevision()->seoTitle(), "Once more");
    EXPECT_EQ(entered.mid(entered.indexOf("UPDATED_POST")),
              (QStringList{"UPDATED_POST", "UPLOADING_IMAGES", "SERVER_BUILDING", "IDLE", "FETCHING_INFO", "IDLE"}));
}

// An upload address must not be a downgrade of the service's own scheme: from a service on
// https only https; from one on plain http, http or https; never any other scheme.
TEST(UploadAddresses, OnlyWebSchemesAndNeverADowngrade)
{
    const QUrl secure("https://service.example.com");
    const QUrl plain("http://127.0.0.1:4000");
    struct Case {
        const char* address;
        bool fromSecure;
        bool fromPlain;
    };
    for (const Case& c : {Case{"https://uploads.example.com/a?sig=1", true, true},
                          Case{"http://uploads.example.com/a?sig=1", false, true},
                          Case{"HTTP://uploads.example.com/a", false, true},
                          Case{"ftp://uploads.example.com/a", false, false},
                          Case{"ws://uploads.example.com/a", false, false},
                          Case{"wss://uploads.example.com/a", false, false},
                          Case{"file:///home/someone/photo.jpg", false, false},
                          Case{"file://host/photo.jpg", false, false},
                          Case{"data:image/jpeg;base64,AAAA", false, false},
                          Case{"https:///no-host", false, false},
                          Case{"/uploads/relative", false, false}}) {
        SCOPED_TRACE(c.address);
        const QUrl url(QString::fromLatin1(c.address));
        EXPECT_EQ(PLRWebServicePostPublisher::isUsableUploadURL(url, secure), c.fromSecure);
        EXPECT_EQ(PLRWebServicePostPublisher::isUsableUploadURL(url, plain), c.fromPlain);
    }
}

// A host that trickles its answers keeps no publish uploading for ever: each upload ends with a
// time-out after a few of its time-outs, is tried again, and the pass ends; the build check's
// next pass (with addresses that work) publishes the post, and a later publish works too.
TEST_F(PublishingTest, AnUploadHostThatTricklesEndsItsUploadsAndThePublishGoesOn)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRWebServicePostPublisher::Timing timing = PLRWebServicePostPublisher::timing();
    timing.uploadTimeoutMs = 2000;
    PLRWebServicePostPublisher::setTiming(timing);
    publisher = openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    TricklingHost host;
    // The first pass's addresses lead to the trickling host.
    QJsonArray images;
    for (const PLRSourceImagePtr& image : manager->images())
        images.append(QJsonObject{{"ref_id", image->identifier()}, {"signed_url", host.url("/put/" + image->identifier()).toString()}});
    service.script(QJsonObject{{"path", "/api/me/posts/"}, {"prefix", true}, {"method", "POST"},
                               {"body", QJsonObject{{"images", images}}}, {"status", 200}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());

    // A second at a time, each service request answered before the clock moves on.
    auto runFor = [&](int seconds, const std::function<bool()>& until) {
        for (int second = 0; second < seconds && !until(); ++second) {
            testing_support::waitUntil([&] {
                return clock.waiting([](const QObject* context) { return context && context->inherits("QNetworkReply"); }).empty();
            }, 5000);
            clock.advance(1.0);
            testing_support::drainEvents();
        }
        return until();
    };
    ASSERT_TRUE(runFor(600, [&] { return published(); })) << state().toStdString();
    // Each photo sent to the trickling host four times (the first try and three more after
    // time-outs), then once to the service.
    EXPECT_EQ(host.requests, 8);
    EXPECT_EQ(uploads().size(), 2);
    EXPECT_GE(entered.count("SERVER_BUILDING"), 2);

    // A later publish (an update) goes through.
    manager->representedPost()->setSeoTitle("Later");
    entered.clear();
    ASSERT_TRUE(runFor(10, [&] { return state() == "UPDATE_AVAILABLE"; }));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(runFor(600, [&] { return published(); })) << state().toStdString();
    EXPECT_EQ(publisher->liveRevision()->seoTitle(), "Later");
}

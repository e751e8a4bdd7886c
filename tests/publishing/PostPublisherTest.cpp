#include "PublishingTestSupport.h"
#include "platform/Clock.h"
#include "layout/text/PLRRichText.h"

#include <QRegularExpression>

#include <cmath>

namespace {

QString upperSha1OfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1).toHex().toUpper());
}

} // namespace

TEST_F(PublishingTest, ANewPostPublishesWhatItsLayoutHoldsAndItsPageShowsIt)
{
    openPost(3);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));   // no remote identifier: known at once
    // A text block after the photos.
    PLRBlockPtr text = PLRLayoutManager::newBlock_Text();
    text->mutable_text()->set_value("Three days in the hills");
    manager->layoutManager()->addBlock(std::move(text), nullptr,
                                       manager->layoutManager()->representedLayout()->mutable_sections(0));

    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    EXPECT_FALSE(remoteId().isEmpty());
    EXPECT_TRUE(publisher->lastError().isEmpty());

    // The create request: name, blob of the layout bytes, keywords [], no SEO title or meta,
    // not published to the blog, each photo's hash that of its export file.
    const QJsonArray creates = requestsOf(QStringLiteral("POST"), QStringLiteral("/api/me/posts"));
    ASSERT_EQ(creates.size(), 1);
    const QJsonObject body = creates[0].toObject().value(QStringLiteral("body")).toObject();
    EXPECT_EQ(body.value("name").toString(), "Trip");
    EXPECT_EQ(body.value("publish").toBool(true), false);
    EXPECT_FALSE(body.contains("publish_revision"));
    const QJsonObject revision = body.value("post_revision").toObject();
    const std::string layoutBytes = manager->representedPost()->layout().SerializeAsString();
    EXPECT_EQ(revision.value("blob").toString(),
              QString::fromLatin1(QByteArray(layoutBytes.data(), qsizetype(layoutBytes.size())).toBase64()));
    EXPECT_EQ(revision.value("keywords").toArray(), QJsonArray());
    EXPECT_FALSE(revision.contains("seo_title"));
    EXPECT_FALSE(revision.contains("meta"));
    const QJsonObject imageInfo = body.value("image_info").toObject();
    ASSERT_EQ(imageInfo.size(), 3);
    for (const PLRSourceImagePtr& image : manager->images()) {
        const QJsonObject entry = imageInfo.value(image->identifier()).toObject();
        const QString exportFile = PLRImageManager::locationForIdentifier(image->identifier()).toLocalFile() + "/export.jpg";
        EXPECT_EQ(entry.value("hash").toString(), upperSha1OfFile(exportFile));
        EXPECT_EQ(entry.value("name").toString(), QFileInfo(image->fileName()).completeBaseName());
        EXPECT_EQ(entry.value("keywords").toArray(), QJsonArray());
    }
    // The service's rules the publisher relies on.
    ASSERT_TRUE(publisher->liveRevision());
    EXPECT_EQ(publisher->liveRevision()->blobHash(), revision.value("blob").toString());
    EXPECT_EQ(publisher->liveRevision()->renderVersion(), "2");
    EXPECT_FALSE(publisher->isLocalVersionIsDifferent());

    // The machine's path: create, upload, build, idle, fetched again, idle.
    EXPECT_EQ(entered.first(3), (QStringList{"CREATING_POST", "CREATED_POST", "UPLOADING_IMAGES"}));
    EXPECT_TRUE(entered.contains("SERVER_BUILDING"));
    EXPECT_EQ(entered.mid(entered.indexOf("SERVER_BUILDING") + 1),
              (QStringList{"IDLE", "FETCHING_INFO", "IDLE"}));

    // The link destination shows the photos in the layout's order, then the text.
    QVariant link;
    bool linked = false;
    publisher->publishingPost()->getLinkDestination(
        [&](bool success, const QVariant& result, const std::optional<PLRServiceError>&, const platform::Error&) {
            linked = success;
            link = result;
        });
    ASSERT_TRUE(testing_support::waitUntil([&] { return link.isValid(); }));
    ASSERT_TRUE(linked);
    const auto [status, html] = fetch(QUrl(link.toString()));
    ASSERT_EQ(status, 200);
    const QString page = QString::fromUtf8(html);
    QStringList shown;
    const QRegularExpression image(QStringLiteral("<img class=\"photo\" src=\"([^\"]+)\""));
    for (auto it = image.globalMatch(page); it.hasNext();)
        shown << it.next().captured(1);
    ASSERT_EQ(shown.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(shown[i].endsWith(manager->images()[i]->identifier())) << shown[i].toStdString();
        const auto [photoStatus, bytes] = fetch(QUrl(link.toString()).resolved(QUrl(shown[i])));
        EXPECT_EQ(photoStatus, 200);
        EXPECT_TRUE(bytes.startsWith("\xFF\xD8"));
    }
    EXPECT_GT(page.indexOf("Three days in the hills"), page.lastIndexOf("<img"));

    // Publishing again while up to date does not make a second remote post.
    EXPECT_FALSE(publisher->createOrUpdatePublishedPost());
    EXPECT_EQ(requestsOf(QStringLiteral("POST"), QStringLiteral("/api/me/posts")).size(), 1);
}

TEST_F(PublishingTest, FortyFivePhotosGoInBatchesOfTwentyAndEachUploadCountsOnce)
{
    openPost(45, 24, 16);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    EXPECT_TRUE(publisher->createOrUpdatePublishedPostWithPublishCategory(QString(), false));
    ASSERT_TRUE(waitUntilPublished(40000));

    const QJsonObject body = requestsOf("POST", "/api/me/posts")[0].toObject().value("body").toObject();
    EXPECT_EQ(body.value("publish_revision").toObject(), (QJsonObject{{"auto_publish", false}}));

    const QJsonArray batches = requestsOf("POST", postPath("/images-batch"));
    ASSERT_EQ(batches.size(), 3);
    QStringList order;
    QList<int> sizes;
    for (const QJsonValue& batch : batches) {
        const QJsonArray images = batch.toObject().value("body").toObject().value("images").toArray();
        sizes << int(images.size());
        for (const QJsonValue& entry : images) {
            order << entry.toObject().value("ref_id").toString();
            EXPECT_EQ(entry.toObject().value("mimetype").toString(), "jpg");
            EXPECT_TRUE(batch.toObject().value("authorization").toString().startsWith("Bearer "));
        }
    }
    EXPECT_EQ(sizes, (QList<int>{20, 20, 5}));
    QStringList expected;
    for (const PLRSourceImagePtr& image : manager->images())
        expected << image->identifier();
    EXPECT_EQ(QSet<QString>(order.begin(), order.end()), QSet<QString>(expected.begin(), expected.end()));

    // One progress report per upload, counting up, and the uploads carry no token.
    QList<int> oneToFortyFive;
    for (int i = 1; i <= 45; ++i)
        oneToFortyFive << i;
    EXPECT_EQ(uploadedProgress(), oneToFortyFive);
    for (int i = 0; i < events.size(); ++i)
        if (events[i] == "ENV_UPLOAD_IMAGES" && infos[i].contains("required")) {
            EXPECT_EQ(infos[i].value("required").toInt(), 45);
        }
    const QJsonArray puts = uploads();
    EXPECT_EQ(puts.size(), 45);
    for (const QJsonValue& put : puts)
        EXPECT_TRUE(put.toObject().value("authorization").toString().isEmpty());
}

TEST_F(PublishingTest, CancelDuringTheUploadCleansUpAndFindsOutAgain)
{
    openPost(4);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 4}, {"delay_ms", 3000}});
    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitForState(PLRPP_STATE_UPLOADING_IMAGES));
    EXPECT_TRUE(publisher->updating());
    EXPECT_FALSE(publisher->isBuildingBlog());
    const QString created = remoteId();
    // The user's information is fetched again when the cancel begins (what the service keeps of
    // the user's posts changes with it).
    ASSERT_TRUE(testing_support::waitUntil([&] { return users->currentState()->name() == QLatin1String("IDLE"); }, 8000));
    QObject userObserver;
    QStringList userEvents;
    users->addStateChangeNotificationHandler(&userObserver, [&](const platform::Notification& notification) {
        userEvents << notification.userInfo.value(QLatin1String(PLRFiniteStateMachineTransitionUserInfoKey))
                          .value<PLRFiniteTransitionPtr>()
                          ->event()
                          ->name();
    });
    EXPECT_TRUE(publisher->cancelPublishing());
    EXPECT_EQ(userEvents.value(0), "ENV_REFRESH_INFO");
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(testing_support::waitUntil([&] { return userEvents.contains("ENV_FETCHED_INFO"); }, 8000));
    users->removeStateChangeNotificationHandler(&userObserver);
    const int cancel = int(entered.indexOf("CANCELLING"));
    ASSERT_GE(cancel, 0);
    EXPECT_EQ(entered.mid(cancel, 3), (QStringList{"CANCELLING", "FETCHING_INFO", "NOT_PUBLISHED"}));
    EXPECT_EQ(requestsOf("POST", "/api/me/posts/" + created + "/clean").size(), 1);
    EXPECT_TRUE(remoteId().isEmpty());   // never built: the service dropped it
    EXPECT_FALSE(publisher->cancelPublishing());
}

TEST_F(PublishingTest, ServiceErrorsOfTheCreateEndInAFreshFetch)
{
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));

    // Code 9: the maintenance alert, then the post is looked at again.
    service.script(QJsonObject{{"path", "/api/me/posts"}, {"method", "POST"}, {"code", 9}, {"status", 503}});
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitForEntered(PLRPP_STATE_FETCHING_INFO));
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, "Publishing Currently Not Available");
    EXPECT_EQ(events.mid(events.indexOf("ENV_CREATE_REMOTE_POST"), 2),
              (QStringList{"ENV_CREATE_REMOTE_POST", "ENV_BAIL_REMOTE_POST_MANIPULATE"}));

    // Any other code: no alert. A dropped connection: back too, with the reason kept.
    service.script(QJsonObject{{"path", "/api/me/posts"}, {"method", "POST"}, {"code", 3}, {"status", 422}});
    events.clear();
    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntil([&] { return events.contains("ENV_NO_REMOTE_POST"); }));
    // (The network layer sends a request again once when its connection is dropped unanswered.)
    service.script(QJsonObject{{"path", "/api/me/posts"}, {"method", "POST"}, {"drop", true}, {"count", 3}});
    events.clear();
    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntil([&] { return events.contains("ENV_NO_REMOTE_POST"); }));
    EXPECT_TRUE(events.contains("ENV_BAIL_REMOTE_POST_MANIPULATE"));
    EXPECT_FALSE(publisher->lastError().isEmpty());
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_TRUE(remoteId().isEmpty());
}

TEST_F(PublishingTest, APostGoneFromTheServiceBecomesUnpublished)
{
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    // Reopened with a remote identifier the service does not know: 301.
    PLRPersistantPost* post = manager->representedPost();
    post->setRemoteIdentifier("gone-1");
    auto second = std::make_unique<PLRWebServicePostPublisher>(*manager);
    EXPECT_TRUE(testing_support::waitUntil([&] { return second->currentStateName() == "NOT_PUBLISHED"; }));
    EXPECT_TRUE(post->remoteIdentifier().isEmpty());
    EXPECT_FALSE(second->publishingPost());

    // A fetch failing otherwise is tried again, and says so meanwhile.
    post->setRemoteIdentifier("flaky-1");
    service.script(QJsonObject{{"path", "/api/me/posts/flaky-1"}, {"code", 1}, {"status", 500}, {"count", 2}});
    auto third = std::make_unique<PLRWebServicePostPublisher>(*manager);
    EXPECT_TRUE(testing_support::waitUntil([&] { return !third->lastError().isEmpty(); }));
    EXPECT_EQ(third->currentStateName(), "FETCHING_INFO");
    EXPECT_TRUE(testing_support::waitUntil([&] { return third->currentStateName() == "NOT_PUBLISHED"; }));
    EXPECT_EQ(service.requests("/api/me/posts/flaky-1").size(), 3);
    EXPECT_TRUE(third->lastError().isEmpty());
}

TEST_F(PublishingTest, SlowAndFailingUploadsEndThePassAndTheBuildCheckAsksAgain)
{
    PLRWebServicePostPublisher::Timing timing = PLRWebServicePostPublisher::timing();
    timing.uploadTimeoutMs = 300;
    PLRWebServicePostPublisher::setTiming(timing);
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    // One pass each: a batch answer without "images", an upload that times out four times,
    // one refused; then the photo goes up.
    service.script(QJsonObject{{"path", "/api/me/posts/"}, {"prefix", true}, {"method", "POST"},
                               {"body", QJsonObject{{"oops", 1}}}, {"status", 200}});
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 4}, {"delay_ms", 1500}});
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 1}, {"status", 500}});
    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished(30000));

    const QJsonArray puts = uploads();
    ASSERT_EQ(puts.size(), 6);
    for (const QJsonValue& put : puts)   // one signed address per pass, the same one retried
        EXPECT_TRUE(put.toObject().value("path").toString().startsWith("/uploads/"));
    EXPECT_EQ(puts[0].toObject().value("path"), puts[3].toObject().value("path"));
    EXPECT_NE(puts[3].toObject().value("path"), puts[4].toObject().value("path"));
    EXPECT_EQ(requestsOf("POST", postPath("/images-batch")).size(), 4);
    EXPECT_EQ(entered.count("SERVER_BUILDING"), 4);
    EXPECT_EQ(uploadedProgress(), (QList<int>{0, 0, 0, 1}));   // new passes start at 0
    const QJsonObject received = service.control("GET", "/__control/uploads").toObject();
    EXPECT_EQ(received.value("hashes").toArray().size(), 1);
}

TEST_F(PublishingTest, UploadAddressesGoOnlyToThePhotosAskedForEachOnce)
{
    openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    const QString first = manager->images()[0]->identifier();
    // The first pass's addresses: the first photo's twice, a photo that was not asked for, and
    // none for the second photo. The pass ends once the one upload is answered (refused: the
    // address is unknown); the build check then asks again for what is missing.
    const QString bogus = QStringLiteral("http://127.0.0.1:%1/uploads/bogus").arg(service.port());
    const QJsonObject address{{"ref_id", first}, {"signed_url", bogus}};
    service.script(QJsonObject{{"path", "/api/me/posts/"}, {"prefix", true}, {"method", "POST"}, {"status", 200},
                               {"body", QJsonObject{{"images", QJsonArray{address, address,
                                                                          QJsonObject{{"ref_id", "NOT-ASKED"},
                                                                                      {"signed_url", bogus + "2"}}}}}}});
    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    EXPECT_FALSE(entered.contains("CANCELLING"));
    QStringList sentTo;
    for (const QJsonValue& put : uploads())
        sentTo << put.toObject().value("path").toString();
    EXPECT_EQ(sentTo.count("/uploads/bogus"), 1);
    EXPECT_FALSE(sentTo.contains("/uploads/bogus2"));
    EXPECT_EQ(sentTo.size(), 3);   // then each photo once, in the second pass
    for (int uploaded : uploadedProgress())
        EXPECT_LE(uploaded, 2);
    EXPECT_EQ(requestsOf("POST", postPath("/images-batch")).size(), 2);
}

TEST_F(PublishingTest, ATextRestyledAfterItsEditIsPublishedInItsNewStyle)
{
    // A paragraph written with formatting, then given a heading style in the inspector: the
    // page shows the heading the canvas shows, and the layout keeps its text as edited.
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    PLRLayoutManager* layout = manager->layoutManager();
    PLRBlockPtr text = PLRLayoutManager::newBlock_Text();
    PLRRichTextRun plain{QStringLiteral("Into the ")};
    PLRRichTextRun bold{QStringLiteral("hills")};
    bold.bold = true;
    const PLRRichText rich{PLRRichTextParagraph{{plain, bold}}};
    PLRRichTextHTML::setRichTextOfBlock(text->mutable_text(), rich);
    ASSERT_EQ(text->text().html(), "<p>Into the <b>hills</b></p>");
    PLRBlock* added = layout->addBlock(std::move(text), nullptr, layout->representedLayout()->mutable_sections(0));
    ASSERT_TRUE(added);
    added->mutable_text()->set_style(PLRBlock_Text::HEADER2);
    layout->announceChange();

    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    EXPECT_EQ(added->text().html(), "<p>Into the <b>hills</b></p>");
    const QJsonArray creates = requestsOf(QStringLiteral("POST"), QStringLiteral("/api/me/posts"));
    ASSERT_EQ(creates.size(), 1);
    const QByteArray blob = QByteArray::fromBase64(
        creates[0].toObject()["body"].toObject()["post_revision"].toObject()["blob"].toString().toLatin1());
    PLRLayout sent;
    ASSERT_TRUE(sent.ParseFromArray(blob.constData(), int(blob.size())));
    ASSERT_EQ(sent.sections(0).blocks_size(), 2);
    EXPECT_EQ(sent.sections(0).blocks(1).text().html(), "<h2>Into the <b>hills</b></h2>");
    // Nothing differs from what was published.
    EXPECT_FALSE(publisher->isLocalVersionIsDifferent());

    QVariant link;
    publisher->publishingPost()->getLinkDestination(
        [&](bool, const QVariant& result, const std::optional<PLRServiceError>&, const platform::Error&) { link = result; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return link.isValid(); }));
    const auto [status, page] = fetch(QUrl(link.toString()));
    ASSERT_EQ(status, 200);
    EXPECT_TRUE(page.contains("<h2>Into the <b>hills</b></h2>")) << page.toStdString();
}

TEST_F(PublishingTest, AnEditOffersAnUpdateAndItsUndoTakesItBack)
{
    openPost(2);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    PLRLayoutManager* layout = manager->layoutManager();

    PLRBlock* added = layout->addBlock(PLRLayoutManager::newBlock_Blank(), nullptr,
                                       layout->representedLayout()->mutable_sections(0));
    ASSERT_TRUE(added);
    EXPECT_EQ(state(), "UPDATE_AVAILABLE");
    layout->removeBlock(added, false);
    EXPECT_EQ(state(), "IDLE");

    // SEO fields: clearing what the live revision has is no difference; a new title is.
    manager->representedPost()->setSeoTitle("Hills");
    EXPECT_EQ(state(), "UPDATE_AVAILABLE");
    manager->representedPost()->setFocusKeywords({"hills", "walks"});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitForEntered(PLRPP_STATE_UPDATING_POST));
    entered.clear();
    ASSERT_TRUE(waitUntilPublished());
    const QJsonArray revisions = requestsOf("POST", postPath("/postrevisions"));
    ASSERT_EQ(revisions.size(), 1);
    const QJsonObject update = revisions[0].toObject().value("body").toObject();
    EXPECT_FALSE(update.contains("name"));
    EXPECT_EQ(update.value("post_revision").toObject().value("seo_title").toString(), "Hills");
    EXPECT_EQ(publisher->liveRevision()->seoTitle(), "Hills");
    // Unchanged photos are not sent again.
    EXPECT_EQ(uploads().size(), 2);
    manager->representedPost()->setSeoTitle(QString());
    EXPECT_EQ(state(), "IDLE");
    manager->representedPost()->setFocusKeywords({"walks", "hills"});
    EXPECT_EQ(state(), "UPDATE_AVAILABLE");
}

TEST_F(PublishingTest, TheBuildWaitChecksAfterItsDelayUntilBuiltAndTheServicesWordChecksAtOnce)
{
    // The clock moves only by hand here.
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRWebServicePostPublisher::Timing timing = PLRWebServicePostPublisher::timing();
    timing.buildCheckDelay = 5;
    PLRWebServicePostPublisher::setTiming(timing);
    service.control("POST", "/__control/build", QJsonObject{{"checks", 3}});
    openPost(1);
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "NOT_PUBLISHED"; }));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "SERVER_BUILDING"; }));
    const QString path = postPath();
    const auto checks = [&] { return requestsOf("GET", path).size(); };
    // The build checks waiting on the clock (5 s from the moment they were scheduled).
    const auto waitingChecks = [&] {
        int count = 0;
        for (double delay : testing_support::waitingSteps(clock))
            count += std::abs(delay - 5.0) < 1e-6 ? 1 : 0;
        return count;
    };

    // The first check waits the delay.
    EXPECT_TRUE(testing_support::holdsFor([&] { return checks() == 0; }, 200));
    EXPECT_EQ(waitingChecks(), 1);
    clock.advance(4.9);
    EXPECT_TRUE(testing_support::holdsFor([&] { return checks() == 0; }, 100));
    clock.advance(0.1);
    // Each further check 5 s after the answer of the one before; the third check sees the
    // build end, and the service's word of it brings the fourth at once, which finds it built;
    // then the fetch of IDLE.
    for (int check = 1; check <= 2; ++check) {
        ASSERT_TRUE(testing_support::waitUntil([&] { return checks() == check && waitingChecks() == 1; })) << check;
        clock.advance(5.0);
    }
    ASSERT_TRUE(waitUntilPublishedByTheService());
    EXPECT_EQ(checks(), 5);
    EXPECT_EQ(waitingChecks(), 0);

    // An update: the service's word starts a check at once, in place of the one waiting; the
    // wait goes on with one chain of checks. Other events do nothing.
    service.control("POST", "/__control/build", QJsonObject{{"checks", 2}});
    manager->representedPost()->setSeoTitle("Later");
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "SERVER_BUILDING"; }));
    ASSERT_TRUE(testing_support::waitUntil([&] { return service.openSockets() > 0; }));
    service.clearRequests();
    entered.clear();
    EXPECT_GE(service.pushSocketEvent(remoteId(), "html_prep"), 1);
    EXPECT_TRUE(testing_support::holdsFor([&] { return checks() == 0; }, 100));
    EXPECT_GE(service.pushSocketEvent(remoteId(), "revision_active"), 1);
    ASSERT_TRUE(testing_support::waitUntil([&] { return checks() == 1 && waitingChecks() == 1; }));
    EXPECT_TRUE(testing_support::holdsFor([&] { return waitingChecks() == 1 && checks() == 1; }, 100));
    clock.advance(5.0);
    ASSERT_TRUE(waitUntilPublishedByTheService());
    EXPECT_EQ(publisher->liveRevision()->seoTitle(), "Later");
}

TEST_F(PublishingTest, TheFirstStateFollowsTheConnectionAndUpdatingIsTheRunningPublish)
{
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    const auto connection = [] {
        const PLRFiniteStatePtr current = PLRWebServiceManager::globalManager().currentState();
        return current ? current->name() : QString();
    };

    // Opened while the connection is being checked: it waits for the service, and looks once
    // the connection is stable.
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE((QStringList{"CHECKING_CONNECTION", "CHECKING_SERVER_VERSION"}.contains(connection())))
        << connection().toStdString();
    auto waiting = std::make_unique<PLRWebServicePostPublisher>(*manager);
    EXPECT_EQ(waiting->stateMachine()->initialState()->name(), "WAITING_FOR_SERVICE");
    EXPECT_EQ(waiting->currentStateName(), "WAITING_FOR_SERVICE");
    ASSERT_TRUE(testing_support::waitUntil([&] { return waiting->currentStateName() == "NOT_PUBLISHED"; }, 8000));
    EXPECT_EQ(connection(), "PLRWSM_STATE_STABLE");
    waiting.reset();

    // Opened while this version is out of date: it looks at once (the service still answers).
    service.setMinimumVersion("99.1");
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(testing_support::waitUntil([&] { return connection() == "OUT_OF_DATE_VERSION"; }, 8000));
    auto outdated = std::make_unique<PLRWebServicePostPublisher>(*manager);
    EXPECT_EQ(outdated->stateMachine()->initialState()->name(), "FETCHING_INFO");
    EXPECT_EQ(outdated->currentStateName(), "NOT_PUBLISHED");
    outdated.reset();
    service.setMinimumVersion("1.0");
    PLRWebServiceManager::globalManager().handlePossibleConnectionChange();
    ASSERT_TRUE(testing_support::waitUntil([&] { return connection() == "PLRWSM_STATE_STABLE"; }, 8000));

    // Whether a publish runs, and whether it can be cancelled, in each state a publish passes
    // through (read as each state is entered): not "updating" in UPDATED_POST, nor once settled.
    auto fresh = std::make_unique<PLRWebServicePostPublisher>(*manager);
    ASSERT_TRUE(testing_support::waitUntil([&] { return fresh->currentStateName() == "NOT_PUBLISHED"; }));
    QStringList seen;
    QObject reader;
    fresh->addStateChangeNotificationHandler(&reader, [&](const platform::Notification&) {
        seen << QStringLiteral("%1 %2 %3").arg(fresh->currentStateName(), fresh->updating() ? "updating" : "-",
                                               fresh->isBuildingBlog() ? "no-cancel" : "cancel");
    });
    manager->representedPost()->setSeoTitle("First");
    ASSERT_TRUE(fresh->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return seen.count(QStringLiteral("IDLE - no-cancel")) >= 2; }));
    manager->representedPost()->setSeoTitle("Second");
    ASSERT_TRUE(fresh->createOrUpdatePublishedPost());
    ASSERT_TRUE(testing_support::waitUntilMovingTheClock([&] { return seen.count(QStringLiteral("IDLE - no-cancel")) >= 4; }));
    QStringList distinct;
    for (const QString& line : seen)
        if (!distinct.contains(line))
            distinct << line;
    EXPECT_EQ(distinct, (QStringList{"CREATING_POST updating cancel", "CREATED_POST updating cancel",
                                     "UPLOADING_IMAGES updating cancel", "SERVER_BUILDING updating no-cancel",
                                     "IDLE - no-cancel", "FETCHING_INFO - no-cancel", "UPDATE_AVAILABLE - no-cancel",
                                     "UPDATING_POST updating cancel", "UPDATED_POST - cancel"}));
}

TEST_F(PublishingTest, UnpublishingDeletesTheRemotePostAndKeepsItWhenThatFails)
{
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    const QString remote = remoteId();
    PLRPersistantPost* post = manager->representedPost();

    // Refused by the service: still published, identifier kept.
    service.script(QJsonObject{{"path", postPath()}, {"method", "DELETE"}, {"code", 1}, {"status", 500}});
    PLRCoreManager::userSession()->deleteRemotePost(post);
    ASSERT_TRUE(testing_support::waitUntil([&] { return requestsOf("DELETE", postPath()).size() == 1; }));
    EXPECT_TRUE(testing_support::holdsFor([&] { return remoteId() == remote; }, 200));
    ASSERT_TRUE(waitForState(PLRPP_STATE_IDLE));

    // With an update available the unpublish runs at once too, and ends not published.
    manager->representedPost()->setSeoTitle("Changed");
    ASSERT_EQ(state(), "UPDATE_AVAILABLE");
    PLRCoreManager::userSession()->deleteRemotePost(post);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    EXPECT_TRUE(post->remoteIdentifier().isEmpty());
    EXPECT_EQ(requestsOf("DELETE", "/api/me/posts/" + remote).size(), 2);
    EXPECT_FALSE(publisher->publishingPost());
    EXPECT_EQ(fetch(QUrl(service.baseUrl().toString() + "/site/1/" + remote)).first, 404);
}

TEST_F(PublishingTest, DeletingAPublishedPostDeletesTheRemoteOneFirst)
{
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    const QString remote = remoteId();
    // A post the service has lost already (404) counts as deleted.
    service.script(QJsonObject{{"path", postPath()}, {"method", "DELETE"}, {"code", 301}, {"status", 404}});
    PLRUserSession* session = PLRCoreManager::userSession();
    session->deletePost(manager->representedPost());
    ASSERT_TRUE(testing_support::waitUntil([&] { return session->account()->currentPosts().isEmpty(); }));
    EXPECT_EQ(requestsOf("DELETE", "/api/me/posts/" + remote).size(), 1);
}

TEST_F(PublishingTest, TheServiceGoingAwayMidUploadWaitsAndResumes)
{
    openPost(3);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    service.control("POST", "/__control/uploads", QJsonObject{{"count", 3}, {"delay_ms", 4000}});
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitForState(PLRPP_STATE_UPLOADING_IMAGES));
    // Away until the publish has noticed, however long that takes.
    service.goDown();
    ASSERT_TRUE(waitForEntered(PLRPP_STATE_WAITING_FOR_SERVICE));
    ASSERT_TRUE(service.comeBackUp());
    // Back: the remote post is fetched, its pending revision resumes the publish.
    ASSERT_TRUE(testing_support::waitUntil([&] { return state() == "IDLE"; }, 30000));
    const int waited = int(entered.lastIndexOf("WAITING_FOR_SERVICE"));
    EXPECT_EQ(entered.mid(waited, 3), (QStringList{"WAITING_FOR_SERVICE", "FETCHING_INFO", "UPDATED_POST"}));
    EXPECT_FALSE(publisher->isLocalVersionIsDifferent());
    EXPECT_TRUE(publisher->liveRevision());
}

TEST_F(PublishingTest, PublishingAsksForAWebsiteAndForANewSnippetWhenNeeded)
{
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));

    // No website yet: the set-up is offered and the publish waits for it.
    const PLRWebServicePublisherPtr website = users->remotePublisher();
    users->setRemotePublisher(nullptr);
    std::function<void(int)> finishSetUp;
    PLRWebServicePostPublisher::setPublisherWorkflow([&](bool primary, std::function<void(int)> completion) {
        EXPECT_TRUE(primary);
        finishSetUp = std::move(completion);
    });
    EXPECT_FALSE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(finishSetUp);
    EXPECT_EQ(state(), "NOT_PUBLISHED");
    finishSetUp(-1001);   // closed: nothing
    EXPECT_EQ(state(), "NOT_PUBLISHED");
    users->setRemotePublisher(website);
    finishSetUp(-1002);   // completed: the publish goes ahead
    ASSERT_TRUE(waitUntilPublished());

    // A live revision of an older render version asks before an update.
    QJsonObject post = QJsonObject{{"id", remoteId()}, {"name", "Trip"}, {"status", 0}, {"live", true}};
    QJsonObject live{{"id", "old-revision"}, {"status", 0}, {"blob_hash", publisher->liveRevision()->blobHash()},
                     {"keywords", QJsonArray()}, {"render_version", "-1"}, {"required_image_refs", QJsonArray()}};
    post.insert("live_revision", live);
    service.control("POST", "/__control/me",
                    QJsonObject{{"email", testing_support::DevService::demoEmail()}, {"posts", QJsonArray{post}}});
    publisher->webServiceManagerStateChangeNotification();   // connection stable: fetched again
    ASSERT_TRUE(testing_support::waitUntil([&] {
        return state() == "IDLE" && publisher->liveRevision() && publisher->liveRevision()->renderVersion() == "-1";
    }));
    manager->representedPost()->setSeoTitle("New title");
    ASSERT_EQ(state(), "UPDATE_AVAILABLE");
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    EXPECT_FALSE(publisher->createOrUpdatePublishedPost());
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].messageText, "Publishing Code Snippet Changed");
    EXPECT_EQ(testing_support::scriptedAlerts().shown()[0].buttons, (QStringList{"Yes, Update", "Cancel"}));
    EXPECT_EQ(state(), "UPDATE_AVAILABLE");
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    EXPECT_TRUE(publisher->createOrUpdatePublishedPost());
    // The request is on its way; the service logs it when it arrives.
    ASSERT_TRUE(testing_support::waitUntil([&] { return requestsOf("POST", postPath("/postrevisions")).size() >= 1; }));
    EXPECT_TRUE(testing_support::holdsFor([&] { return requestsOf("POST", postPath("/postrevisions")).size() == 1; }, 50));
}

TEST_F(PublishingTest, ABuildThatNeverEndsIsCheckedCannotBeCancelledAndHoldsNoUnpublish)
{
    service.control("POST", "/__control/build", QJsonObject{{"checks", 1000}});
    openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitForState(PLRPP_STATE_SERVER_BUILDING));
    // A check answered with an error is followed by another one.
    service.script(QJsonObject{{"path", postPath()}, {"method", "GET"}, {"code", 1}, {"status", 500}});
    const qsizetype before = requestsOf("GET", postPath()).size();
    ASSERT_TRUE(testing_support::waitUntil([&] { return requestsOf("GET", postPath()).size() >= before + 3; }));
    EXPECT_EQ(state(), "SERVER_BUILDING");
    // A post of status 0 without a pending revision whose live revision is not yet active
    // (status 1) is still being built: the checks go on.
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(service.baseUrl().toString() + postPath()));
    request.setRawHeader("Authorization", "Bearer " + service.tokenFor(testing_support::DevService::demoEmail()).toUtf8());
    QNetworkReply* reply = network.get(request);
    ASSERT_TRUE(testing_support::waitUntil([reply] { return reply->isFinished(); }));
    QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
    delete reply;
    QJsonObject remote = answer.value("data").toObject();
    QJsonObject live = remote.value("pending_revision").toObject();
    ASSERT_FALSE(live.isEmpty()) << QJsonDocument(answer).toJson().toStdString();
    live.insert("status", 1);
    live.insert("required_image_refs", QJsonArray());
    remote.insert("live_revision", live);
    remote.insert("pending_revision", QJsonValue::Null);
    remote.insert("status", 0);
    answer.insert("data", remote);
    service.script(QJsonObject{{"path", postPath()}, {"method", "GET"}, {"count", 3}, {"status", 200}, {"body", answer}});
    const qsizetype scripted = requestsOf("GET", postPath()).size();
    ASSERT_TRUE(testing_support::waitUntil([&] { return requestsOf("GET", postPath()).size() >= scripted + 4; }));
    EXPECT_EQ(state(), "SERVER_BUILDING");
    EXPECT_FALSE(entered.contains("IDLE"));
    // Once the photos are up the publish can no longer be cancelled.
    EXPECT_TRUE(publisher->updating());
    EXPECT_TRUE(publisher->isBuildingBlog());
    EXPECT_FALSE(publisher->cancelPublishing());
    EXPECT_EQ(state(), "SERVER_BUILDING");
    EXPECT_TRUE(requestsOf("POST", postPath("/clean")).isEmpty());

    // Unpublishing does not wait for the build: the post is deleted and found gone.
    const QString path = postPath();
    PLRCoreManager::userSession()->deleteRemotePost(manager->representedPost());
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    EXPECT_EQ(requestsOf("DELETE", path).size(), 1);
    EXPECT_TRUE(remoteId().isEmpty());
    // No check runs once the wait is over.
    const qsizetype checks = requestsOf("GET", path).size();
    EXPECT_TRUE(testing_support::holdsFor([&] { return requestsOf("GET", path).size() == checks; }, 300));
}

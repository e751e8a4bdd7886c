// The remote models: reading answers (null, wrong types, dates), their derived values, and
// their requests against the development service.

#include "UserServiceTestSupport.h"

#include "platform/Json.h"
#include "platform/Log.h"
#include "services/web-services/PLRWebServiceAccount.h"
#include "services/web-services/PLRWebServicePost.h"
#include "services/web-services/PLRWebServicePublisher.h"
#include "services/web-services/PLRWebServiceUser.h"

#include <QLocale>
#include <QTimeZone>

#include <ctime>

using namespace user_service_testing;

namespace {

QVariantMap json(const char* text)
{
    return platform::json::parse(QByteArray(text), false).toMap();
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC);
}

// Sets the default locale and the time zone for one test and puts both back after it.
class ForeignLocale {
public:
    ForeignLocale(const QLocale& locale, const char* timeZone)
        : m_hadTimeZone(qEnvironmentVariableIsSet("TZ")), m_timeZone(qgetenv("TZ"))
    {
        QLocale::setDefault(locale);
        qputenv("TZ", timeZone);
        ::tzset();
    }
    ~ForeignLocale()
    {
        QLocale::setDefault(m_locale);
        if (m_hadTimeZone)
            qputenv("TZ", m_timeZone);
        else
            qunsetenv("TZ");
        ::tzset();
    }

private:
    QLocale m_locale;
    bool m_hadTimeZone;
    QByteArray m_timeZone;
};

} // namespace

TEST(RemoteModels, DatesAreReadInTheServiceFormWhateverTheLocale)
{
    const ForeignLocale foreign(QLocale(QLocale::Arabic, QLocale::Egypt), "Asia/Kathmandu");
    auto parse = [](const char* text) { return PLRWebServiceModelObject::dateFromJSONString(QString::fromUtf8(text)); };

    EXPECT_EQ(parse("2024-03-01T10:20:30Z"), utc(2024, 3, 1, 10, 20, 30));
    EXPECT_EQ(parse("2024-03-01T10:20:30+0100"), utc(2024, 3, 1, 9, 20, 30));
    EXPECT_EQ(parse("2024-03-01T10:20:30-05:30"), utc(2024, 3, 1, 15, 50, 30));
    EXPECT_EQ(parse("2024-02-29T23:59:59Z"), utc(2024, 2, 29, 23, 59, 59));

    for (const char* bad : {"2024-03-01T10:20:30.123Z", "2024-03-01T10:20:30", "2024-03-01 10:20:30Z",
                            "2024-13-01T10:20:30Z", "2023-02-29T10:20:30Z", "2024-03-01T24:00:00Z",
                            "2024-03-01T10:20:30+01", "2024-03-01T10:20:30+0100x", "2024-03-01T10:20:30ZZ",
                            "\u0662\u0660\u0662\u0664-03-01T10:20:30Z", ""})
        EXPECT_FALSE(parse(bad).isValid()) << bad;

    EXPECT_EQ(PLRWebServiceModelObject::jsonDateString(utc(2024, 3, 1, 9, 5, 7)), "2024-03-01T09:05:07Z");
}

TEST(RemoteModels, NullAndWronglyTypedMembersReadAsAbsent)
{
    const auto user = PLRWebServiceUser::fromJSON(json(R"({"id": "u1", "f_name": "Ann", "l_name": null,
        "email": 5, "verified": [true], "app_usage": [1], "created_at": "2024-01-02T03:04:05.5Z",
        "updated_at": "2024-01-02T03:04:05Z"})"));
    EXPECT_EQ(user->identifier(), "u1");
    EXPECT_EQ(user->firstName(), "Ann");
    EXPECT_TRUE(user->lastName().isNull());
    EXPECT_TRUE(user->email().isNull());
    EXPECT_FALSE(user->verified());
    EXPECT_FALSE(user->usage().has_value());
    EXPECT_FALSE(user->creationDate().isValid());
    EXPECT_EQ(user->updatedDate(), utc(2024, 1, 2, 3, 4, 5));

    const auto publisher = PLRWebServicePublisher::fromJSON(json(R"({"id": [7], "type": "two", "status": 1.9,
        "auto_publish": 1, "has_secret": null, "tags": {"a": 1}, "categories": ["A", "B"], "info": null})"));
    EXPECT_TRUE(publisher->identifier().isNull());
    EXPECT_EQ(publisher->type(), 0);
    EXPECT_EQ(publisher->status(), 1);
    EXPECT_TRUE(publisher->autoPublish());
    EXPECT_FALSE(publisher->hasSecret());
    EXPECT_FALSE(publisher->tags().has_value());
    EXPECT_EQ(publisher->categories(), (QVariantList{"A", "B"}));
    EXPECT_FALSE(publisher->isGuttenburgInstalled());

    // No "id": the dictionary is empty but for the subclass's members.
    EXPECT_EQ(PLRWebServiceAccount::fromJSON({})->dictionary(), QVariantMap());
}

TEST(RemoteModels, AccountStatus)
{
    struct Case { qint64 status; bool locked; bool deleted; };
    for (const Case& c : {Case{0, false, false}, Case{1, false, false}, Case{2, true, false},
                          Case{64, true, false}, Case{32, true, true}, Case{33, true, true}, Case{7, true, false}}) {
        PLRWebServiceAccount account(QVariantMap{{"status", c.status}});
        EXPECT_EQ(account.locked(), c.locked) << c.status;
        EXPECT_EQ(account.deleted(), c.deleted) << c.status;
    }
    EXPECT_EQ(PLRWebServiceAccount(json(R"({"status": 2})")).genericStatus(), 0);
    EXPECT_EQ(PLRWebServiceAccount(json(R"({"gen_status": 4})")).genericStatus(), 4);
    // A status of the wrong type reads as absent (0).
    EXPECT_FALSE(PLRWebServiceAccount(json(R"({"status": "locked"})")).locked());
}

TEST(RemoteModels, NumbersAndFlagsMayComeAsTextAndIdentifiersAsNumbers)
{
    // A locked account whose status comes as text is still locked.
    EXPECT_TRUE(PLRWebServiceAccount(json(R"({"status": "2"})")).locked());
    EXPECT_TRUE(PLRWebServiceAccount(json(R"({"status": " 32 "})")).deleted());
    EXPECT_EQ(PLRWebServiceAccount(json(R"({"gen_status": "4.7"})")).genericStatus(), 4);

    const auto post = PLRWebServicePost::fromJSON(json(R"({"id": 1234, "live": "1", "status": "3",
        "live_revision": {"data": {"id": 98765432101, "publish_revision_id": 5}}})"));
    EXPECT_EQ(post->identifier(), "1234");
    EXPECT_TRUE(post->live());
    EXPECT_EQ(post->status(), 3);
    ASSERT_TRUE(post->liveRevision());
    EXPECT_EQ(post->liveRevision()->identifier(), "98765432101");
    EXPECT_EQ(post->liveRevision()->publishRevisionID(), "5");
    // An identifier with a fraction is no identifier.
    EXPECT_TRUE(PLRWebServicePost::fromJSON(json(R"({"id": 1.5})"))->identifier().isNull());

    for (const char* text : {R"({"verified": "true"})", R"({"verified": "YES"})", R"({"verified": 1})",
                             R"({"verified": "2"})"})
        EXPECT_TRUE(PLRWebServiceUser::fromJSON(json(text))->verified()) << text;
    for (const char* text : {R"({"verified": "false"})", R"({"verified": "0"})", R"({"verified": "maybe"})",
                             R"({"verified": 0})"})
        EXPECT_FALSE(PLRWebServiceUser::fromJSON(json(text))->verified()) << text;
}

TEST(RemoteModels, PublisherTexts)
{
    PLRWebServicePublisher publisher;
    const QStringList names{"Generic", "Squarespace", "WordPress", "WordPress Auto Publish", ""};
    for (int type = 0; type < names.size(); ++type) {
        publisher.setType(type);
        EXPECT_EQ(publisher.typeName(), names.at(type));
    }
    EXPECT_EQ(PLRWebServicePublisher::errorStringForStatus(0), "OK");
    EXPECT_EQ(PLRWebServicePublisher::errorStringForStatus(1), "No plug-in detected.");
    EXPECT_EQ(PLRWebServicePublisher::errorStringForStatus(2), "Access key does not match.");
    EXPECT_EQ(PLRWebServicePublisher::errorStringForStatus(7), "OK");
    // A publish revision's status, each with its own text; any other has none.
    const QList<QPair<qint64, QString>> published = {{0, "Published"},
                                                     {1, "Pending"},
                                                     {2, "Cannot find plug-in"},
                                                     {3, "Access key does not match"},
                                                     {4, "Cannot reach your WordPress webstie"},
                                                     {5, ""},
                                                     {-1, ""},
                                                     {100, ""}};
    for (const auto& [status, text] : published)
        EXPECT_EQ(PLRWebServicePublishRevision::errorStringForStatus(status), text) << status;

    const auto flagged = PLRWebServicePublisher::fromJSON(json(R"({"info": {"guttenburg_available": 1}})"));
    EXPECT_TRUE(flagged->isGuttenburgAvailable());
    EXPECT_FALSE(flagged->isGuttenburgInstalled());
    EXPECT_EQ(flagged->dictionary(), (QVariantMap{{"type", 0}}));
}

TEST(RemoteModels, PostRevisions)
{
    const auto post = PLRWebServicePost::fromJSON(json(R"({"id": "p1", "name": "Trip",
        "pending_revision": null,
        "live_revision": {"data": {"id": "r1", "blob_hash": "AB", "image_keywords": null,
                                   "required_image_refs": ["i1"]}}})"));
    EXPECT_FALSE(post->pendingRevision());
    ASSERT_TRUE(post->liveRevision());
    EXPECT_EQ(post->liveRevision()->post(), post);
    EXPECT_EQ(post->liveRevision()->imageKeywords(), QVariantMap());
    EXPECT_EQ(post->liveRevision()->requiredImgRefs(), QVariantList{"i1"});

    // A missing pending revision is an empty one (belonging to the post); a live revision
    // without a "data" object is none.
    const auto bare = PLRWebServicePost::fromJSON(json(R"({"id": "p2", "live_revision": {"id": "r"}})"));
    ASSERT_TRUE(bare->pendingRevision());
    EXPECT_EQ(bare->pendingRevision()->post(), bare);
    EXPECT_TRUE(bare->pendingRevision()->identifier().isNull());
    EXPECT_TRUE(bare->pendingRevision()->blobHash().isNull());
    EXPECT_EQ(bare->pendingRevision()->status(), 0);
    EXPECT_FALSE(bare->liveRevision());
    EXPECT_FALSE(PLRWebServicePostRevision(json(R"({"id": "r"})")).imageKeywords().has_value());
}

TEST(RemoteModels, AbstractOperationsLogAndFail)
{
    QStringList lines;
    const int capture = platform::log::addCapture([&](platform::log::Level, const QString& line) { lines << line; });
    EXPECT_TRUE(PLRWebServiceModelObject::resourcePath().isEmpty());
    EXPECT_FALSE(PLRWebServiceModelObject::getObjectFromServerRequest({}));
    auto object = std::make_shared<PLRWebServiceModelObject>();
    EXPECT_FALSE(object->updateObjectWithDictionary({}, {}));
    EXPECT_FALSE(PLRWebServicePost::getObjectFromServerRequest(PLRServiceCompletion()));
    platform::log::removeCapture(capture);
    EXPECT_EQ(lines.filter("Subclass should implement: ").size(), 3);
    EXPECT_TRUE(lines.contains("Use -getObjectFromServerRequest:forPostID: for Post Objects"));
}

// ---- against the development service ----

class RemoteModelService : public ServiceTest {};

TEST_F(RemoteModelService, WithoutATokenNothingIsSent)
{
    Outcome outcome;
    EXPECT_FALSE(PLRWebServiceUser::getObjectFromServerRequest(recordInto(outcome)));
    EXPECT_FALSE(PLRWebServicePublisher::getObjectFromServerRequest(recordInto(outcome)));
    EXPECT_FALSE(PLRWebServicePost::getObjectFromServerRequest(recordInto(outcome), QStringLiteral("p1")));
    // The e-mail verification needs no token and sends none.
    auto user = PLRWebServiceUser::fromJSON(json(R"({"email": "ann@example.com"})"));
    Outcome verify;
    EXPECT_TRUE(user->sendEmailVerifyMail(recordInto(verify)));
    ASSERT_TRUE(finished(verify));
    EXPECT_TRUE(verify.success);
    EXPECT_TRUE(testing_support::holdsFor([&] { return !outcome.called(); }, 50));
    const QJsonArray requests = service.requests();
    ASSERT_EQ(requests.size(), 1);
    EXPECT_EQ(requests.at(0)["path"], "/api/request-email-verify");
    EXPECT_EQ(requests.at(0)["authorization"], "");
    EXPECT_EQ(requests.at(0)["content_type"], "application/json");
    EXPECT_EQ(requests.at(0)["body"], QJsonObject({{"email", "ann@example.com"}}));
}

TEST_F(RemoteModelService, UserAndAccount)
{
    signInDirectly();
    setDemoUser(service, {{"user", QJsonObject{{"f_name", "Ann"}, {"l_name", QJsonValue::Null}}}});

    Outcome fetched;
    ASSERT_TRUE(PLRWebServiceUser::getObjectFromServerRequest(recordInto(fetched)));
    ASSERT_TRUE(finished(fetched));
    const auto user = PLRModelFromResult<PLRWebServiceUser>(fetched.result);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->firstName(), "Ann");
    EXPECT_TRUE(user->lastName().isNull());
    EXPECT_TRUE(user->creationDate().isValid());

    // The caller's members replace the user's own ("app_usage" included); the answer is applied
    // to the same object.
    Outcome updated;
    ASSERT_TRUE(user->updateObjectWithDictionary({{"l_name", "Lee"}, {"app_usage", QVariantMap{{"mine", 1}}}},
                                                 recordInto(updated)));
    ASSERT_TRUE(finished(updated));
    EXPECT_EQ(PLRModelFromResult<PLRWebServiceUser>(updated.result), user);
    EXPECT_EQ(user->lastName(), "Lee");
    const QJsonObject sent = requestsOf(service, "/api/me/", "PUT").last()["body"]["user"].toObject();
    EXPECT_EQ(sent["app_usage"], QJsonObject({{"mine", 1}}));
    EXPECT_EQ(sent["id"], "1");

    // Without a caller's usage report the fresh one is sent.
    const QVariantMap usage = user->dictionary().value("app_usage").toMap();
    EXPECT_EQ(usage.keys(), (QStringList{"app_ver", "e_c_count", "e_l_count", "l_p_count", "m_count", "os_ver", "p_count"}));
    EXPECT_GT(usage.value("m_count").toLongLong(), 0);

    Outcome account;
    ASSERT_TRUE(PLRWebServiceAccount::getObjectFromServerRequest(recordInto(account)));
    ASSERT_TRUE(finished(account));
    ASSERT_TRUE(PLRModelFromResult<PLRWebServiceAccount>(account.result));
    EXPECT_EQ(service.requests("/api/me/account").last()["query"], "expand=true");
}

TEST_F(RemoteModelService, Publisher)
{
    signInDirectly();
    setDemoUser(service, {{"publisher", QJsonObject{{"host", "photos.example.com"}, {"tags", QJsonArray{"sea"}}}}});
    Outcome fetched;
    ASSERT_TRUE(PLRWebServicePublisher::getObjectFromServerRequest(recordInto(fetched)));
    ASSERT_TRUE(finished(fetched));
    const auto publisher = PLRModelFromResult<PLRWebServicePublisher>(fetched.result);
    ASSERT_TRUE(publisher);

    // An update takes only its members from the answer, present or not.
    scriptBody(service, "/api/me/publisher", QJsonObject{{"data", QJsonObject{{"type", 2}, {"status", 1}}}}, 200, "PUT");
    Outcome updated;
    ASSERT_TRUE(publisher->updateObjectWithDictionary({{"type", 2}}, recordInto(updated)));
    ASSERT_TRUE(finished(updated));
    EXPECT_EQ(publisher->type(), 2);
    EXPECT_FALSE(publisher->categories().has_value());
    EXPECT_EQ(publisher->host(), "photos.example.com");
    EXPECT_EQ(publisher->tags(), QVariantList{"sea"});

    scriptBody(service, "/api/me/publisher-status", QJsonObject{{"status", 2}});
    Outcome status;
    ASSERT_TRUE(publisher->fetchLatestStatus(recordInto(status)));
    ASSERT_TRUE(finished(status));
    EXPECT_EQ(status.result.toLongLong(), 2);
    EXPECT_EQ(publisher->status(), 2);

    Outcome secret;
    ASSERT_TRUE(publisher->fetchNewSecret(recordInto(secret)));
    ASSERT_TRUE(finished(secret));
    EXPECT_TRUE(secret.success);
    EXPECT_EQ(publisher->secret().size(), 32);

    // A secret that is not text is a failure and keeps the one held.
    const QString held = publisher->secret();
    for (const QJsonValue& bad : {QJsonValue(QJsonValue::Null), QJsonValue(42)}) {
        scriptBody(service, "/api/me/publisher-secret", QJsonObject{{"secret", bad}});
        Outcome refused;
        ASSERT_TRUE(publisher->fetchNewSecret(recordInto(refused)));
        ASSERT_TRUE(finished(refused));
        EXPECT_FALSE(refused.success);
        ASSERT_TRUE(refused.serviceError);
        EXPECT_EQ(publisher->secret(), held);
    }
}

TEST_F(RemoteModelService, Posts)
{
    signInDirectly();
    const QJsonObject record{{"id", "r2"}, {"status", 0}, {"successful", true}, {"category", "Travel"}};
    setDemoUser(service, {{"publisher", QJsonObject{{"host", "photos.example.com"}}},
                          {"posts", QJsonArray{QJsonObject{
                                        {"id", "p1"}, {"name", "Trip"},
                                        {"pending_revision", QJsonObject{{"id", "r1"}, {"blob_hash", "AB"}}},
                                        {"live_revision", QJsonObject{{"id", "r2"}, {"publish_revision", record}}}}}}});

    Outcome none;
    EXPECT_FALSE(PLRWebServicePost::getObjectFromServerRequest(recordInto(none), QString()));
    Outcome fetched;
    ASSERT_TRUE(PLRWebServicePost::getObjectFromServerRequest(recordInto(fetched), QStringLiteral("p1")));
    ASSERT_TRUE(finished(fetched));
    const auto post = PLRModelFromResult<PLRWebServicePost>(fetched.result);
    ASSERT_TRUE(post && post->pendingRevision() && post->liveRevision());
    EXPECT_EQ(post->pendingRevision()->blobHash(), "AB");

    Outcome publish;
    ASSERT_TRUE(post->liveRevision()->getPublishRevision(recordInto(publish)));
    ASSERT_TRUE(finished(publish));
    ASSERT_TRUE(post->liveRevision()->publishRevision());
    EXPECT_EQ(post->liveRevision()->publishRevision()->category(), "Travel");
    EXPECT_EQ(post->liveRevision()->publishRevision()->postRevision(), post->liveRevision());
    // A failed fetch clears it.
    Outcome missing;
    ASSERT_TRUE(post->pendingRevision()->getPublishRevision(recordInto(missing)));
    ASSERT_TRUE(finished(missing));
    EXPECT_EQ(missing.serviceError->code(), 302);
    EXPECT_FALSE(post->pendingRevision()->publishRevision());

    Outcome stub;
    ASSERT_TRUE(post->getLinkStub(recordInto(stub)));
    ASSERT_TRUE(finished(stub));
    EXPECT_TRUE(stub.result.toString().endsWith("/p/p1"));
    Outcome destination;
    ASSERT_TRUE(post->getLinkDestination(recordInto(destination)));
    ASSERT_TRUE(finished(destination));
    // The service's stand-in for the user's website: the built page of the post.
    EXPECT_EQ(destination.result.toString(), QStringLiteral("http://127.0.0.1:%1/site/1/p1").arg(service.port()));

    // A deep purge keeps the pending revision and hands no post; a plain clean drops it.
    scriptBody(service, "/api/me/posts/p1/clean", QJsonObject{{"deep_purge", true}});
    Outcome purged;
    ASSERT_TRUE(post->cleanUpPost(recordInto(purged)));
    ASSERT_TRUE(finished(purged));
    EXPECT_TRUE(purged.success);
    EXPECT_FALSE(purged.result.isValid());
    EXPECT_TRUE(post->pendingRevision());
    // The service may give the flag as a number.
    scriptBody(service, "/api/me/posts/p1/clean", QJsonObject{{"deep_purge", 1}});
    Outcome purgedByNumber;
    ASSERT_TRUE(post->cleanUpPost(recordInto(purgedByNumber)));
    ASSERT_TRUE(finished(purgedByNumber));
    EXPECT_FALSE(purgedByNumber.result.isValid());
    EXPECT_TRUE(post->pendingRevision());
    Outcome cleaned;
    ASSERT_TRUE(post->cleanUpPost(recordInto(cleaned)));
    ASSERT_TRUE(finished(cleaned));
    EXPECT_EQ(PLRModelFromResult<PLRWebServicePost>(cleaned.result), post);
    EXPECT_FALSE(post->pendingRevision());
    EXPECT_EQ(requestsOf(service, "/api/me/posts/p1/clean", "POST").last()["body"], QJsonObject({{"ok", ""}}));
}

TEST_F(RemoteModelService, MalformedAnswersFailCleanly)
{
    signInDirectly();
    for (const QJsonValue& body : {QJsonValue(QJsonObject{{"nodata", 1}}), QJsonValue(QJsonObject{{"data", "text"}}),
                                   QJsonValue(QJsonArray{1, 2})}) {
        scriptBody(service, "/api/me/", body);
        Outcome outcome;
        ASSERT_TRUE(PLRWebServiceUser::getObjectFromServerRequest(recordInto(outcome)));
        ASSERT_TRUE(finished(outcome));
        EXPECT_FALSE(outcome.success);
        ASSERT_TRUE(outcome.serviceError);
        EXPECT_EQ(outcome.serviceError->code(), 0);
    }
}

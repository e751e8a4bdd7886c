// The request convention against the development service: result, service error, transport
// error, no request without a token, and answers that are not what they should be.

#include "ServiceTestSupport.h"

#include "platform/Dispatch.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QTcpServer>

#include <optional>

namespace {

struct Outcome {
    bool called = false;
    bool success = false;
    bool onMainThread = false;
    int calls = 0;
    QVariant result;
    std::optional<PLRServiceError> serviceError;
    platform::Error transportError;
};

PLRServiceCompletion recordInto(Outcome& outcome)
{
    return [&outcome](bool success, const QVariant& result, const std::optional<PLRServiceError>& serviceError,
                      const platform::Error& transportError) {
        outcome.called = true;
        ++outcome.calls;
        outcome.success = success;
        outcome.onMainThread = platform::isMainThread();
        outcome.result = result;
        outcome.serviceError = serviceError;
        outcome.transportError = transportError;
    };
}

PLRServiceCall meCall()
{
    PLRServiceCall call;
    call.url = PLRWebServiceHost::currentHost().serviceMeURLWithPaths({});
    return call;
}

Outcome run(const PLRServiceCall& call)
{
    Outcome outcome;
    EXPECT_TRUE(PLRSendServiceRequest(call, recordInto(outcome)));
    EXPECT_TRUE(testing_support::waitUntil([&] { return outcome.called; }));
    EXPECT_TRUE(outcome.onMainThread);
    // Exactly one of result, service error, transport error.
    EXPECT_EQ(int(outcome.success) + int(outcome.serviceError.has_value()) + int(outcome.transportError.isValid()), 1);
    return outcome;
}

} // namespace

TEST_F(ServiceTest, NoTokenMeansNoRequest)
{
    Outcome outcome;
    EXPECT_FALSE(PLRSendServiceRequest(meCall(), recordInto(outcome)));
    EXPECT_TRUE(testing_support::holdsFor([&] { return !outcome.called; }, 200));
    EXPECT_TRUE(service.requests(QStringLiteral("/api/me/")).isEmpty());
}

TEST_F(ServiceTest, ConventionGivesResultServiceErrorOrTransportError)
{
    signInDirectly();

    // A 2xx answer: the "data" member, through the caller's builder; token and JSON body sent.
    service.script(QJsonObject{{"path", "/api/me/"}, {"status", 200},
                               {"body", QJsonObject{{"data", QJsonObject{{"id", 7}}}}}});
    PLRServiceCall call = meCall();
    call.method = "PUT";
    call.body = QVariantMap{{"name", "Ada"}};
    call.makeResult = [](const QVariant& data) -> std::optional<QVariant> {
        if (data.typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        return data.toMap().value("id");
    };
    Outcome result = run(call);
    EXPECT_TRUE(result.success);
    EXPECT_EQ(result.result.toInt(), 7);
    const QJsonObject logged = service.requests(QStringLiteral("/api/me/")).last().toObject();
    EXPECT_EQ(logged.value("method").toString(), "PUT");
    EXPECT_EQ(logged.value("authorization").toString(), "Bearer " + PLRCoreManager::userSession()->jwt());
    EXPECT_EQ(logged.value("content_type").toString(), "application/json");
    EXPECT_EQ(logged.value("body").toObject().value("name").toString(), "Ada");

    // A service error without text takes the map's.
    service.scriptServiceError(QStringLiteral("/api/me/"), 1, 401);
    Outcome refused = run(meCall());
    ASSERT_TRUE(refused.serviceError.has_value());
    EXPECT_EQ(refused.serviceError->code(), 1);
    EXPECT_EQ(refused.serviceError->error(), PLRServiceError::errorMessageForCode(1));

    // A closed port: a transport error -1004.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = probe.serverPort();
    probe.close();
    PLRWebServiceHost::setCustomPort(QString::number(closedPort));
    Outcome unreachable = run(meCall());
    EXPECT_EQ(unreachable.transportError.domain, platform::kURLErrorDomain);
    EXPECT_EQ(unreachable.transportError.code, platform::urlerror::CannotConnectToHost);
}

TEST_F(ServiceTest, MalformedAnswersBecomeServiceErrors)
{
    signInDirectly();
    // An HTML error page, an empty 500, a 2xx that is not JSON, a 2xx of the wrong shape.
    service.script(QJsonObject{{"path", "/api/me/"}, {"status", 502}, {"raw", "<html><body>Bad gateway</body></html>"}});
    service.script(QJsonObject{{"path", "/api/me/"}, {"status", 500}});
    service.script(QJsonObject{{"path", "/api/me/"}, {"status", 200}, {"raw", "{not json"}});
    service.script(QJsonObject{{"path", "/api/me/"}, {"status", 200}, {"body", QJsonArray{1, 2}}});
    PLRServiceCall call = meCall();
    call.makeResult = [](const QVariant& data) -> std::optional<QVariant> {
        if (data.typeId() != QMetaType::QVariantMap)
            return std::nullopt;
        return data;
    };
    for (int i = 0; i < 4; ++i) {
        Outcome outcome = run(call);
        ASSERT_TRUE(outcome.serviceError.has_value()) << i;
        EXPECT_EQ(outcome.serviceError->code(), 0) << i;
        EXPECT_EQ(outcome.serviceError->error(), PLRServiceError::errorMessageForCode(0)) << i;
    }
}

TEST_F(ServiceTest, TransferTimeOutAndBadHostAreTransportErrors)
{
    signInDirectly();
    service.script(QJsonObject{{"path", "/api/me/"}, {"delay_ms", 3000}});
    PLRServiceCall call = meCall();
    call.timeoutMs = 150;
    Outcome late = run(call);
    EXPECT_EQ(late.transportError.code, platform::urlerror::TimedOut);

    PLRWebServiceHost::setCustomHostName(QStringLiteral("bad host"));
    Outcome bad = run(meCall());
    EXPECT_EQ(bad.transportError.code, platform::urlerror::BadURL);
}

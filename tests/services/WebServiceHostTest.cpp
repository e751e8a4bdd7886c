// Host table, URL builders, response and error tests, and the service error map.

#include "platform/Clock.h"
#include "TestSupport.h"

#include "services/PLRServices.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRUserSession.h"
#include "services/web-services/PLRServiceError.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "controls/PLRPopupButton.h"
#include "services/web-services/PLRWebServiceHostViewController.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QMenu>
#include <QLabel>
#include <QLineEdit>
#include <QUrlQuery>

namespace {

platform::UserDefaults& defaults() { return platform::UserDefaults::standard(); }

void storeType(const char* type) { defaults().setString(kPLRWebServiceHostTypeKey, QString::fromLatin1(type)); }

} // namespace

TEST(WebServiceHost, HostTableAndStoredType)
{
    // Nothing stored: production.
    EXPECT_EQ(&PLRWebServiceHost::currentHost(), &PLRWebServiceHost::prodHost());
    EXPECT_EQ(PLRWebServiceHost::prodHost().serviceURL().toString(), "https://service.pellora.app");
    EXPECT_EQ(PLRWebServiceHost::stagingHost().serviceURL().toString(), "https://staging.pellora.app");
    EXPECT_EQ(PLRWebServiceHost::devHost().serviceURL().toString(), "http://localhost:4000");

    storeType(PLRWebServiceHost_DEV);
    EXPECT_EQ(&PLRWebServiceHost::currentHost(), &PLRWebServiceHost::devHost());
    // An unknown stored value is the custom host.
    defaults().setString(kPLRWebServiceHostTypeKey, "somewhere-else");
    EXPECT_EQ(&PLRWebServiceHost::currentHost(), &PLRWebServiceHost::customHost());
    PLRWebServiceHost odd(QStringLiteral("somewhere-else"));
    EXPECT_EQ(odd.effectiveHostType(), PLRWebServiceHost_CUSTOM);
    EXPECT_EQ(odd.serviceKey(), "com.dev.custom");

    // Service keys keep each host's sign-in apart ("dev" is the last part of the test build's id).
    EXPECT_EQ(PLRWebServiceHost::devHost().serviceKey(), "com.dev.dev");
    EXPECT_EQ(PLRWebServiceHost::prodHost().serviceKey(), "com.dev.prod");
    EXPECT_EQ(PLRWebServiceHost::stagingHost().serviceKey(), "com.dev.staging");

    // The session's keychain items follow the current host.
    PLRServices::install();
    storeType(PLRWebServiceHost_STAGING);
    EXPECT_EQ(PLRUserSession::keychainServiceName(), "com.dev.staging");
}

TEST(WebServiceHost, CustomValuesAreReadEachTime)
{
    PLRWebServiceHost& custom = PLRWebServiceHost::customHost();
    PLRWebServiceHost::setCustomHostName(QStringLiteral("example.test"));
    PLRWebServiceHost::setCustomPort(QString());
    EXPECT_EQ(custom.serviceURL().toString(), "http://example.test");
    EXPECT_EQ(custom.serviceURL().port(), -1);
    PLRWebServiceHost::setCustomPort(QStringLiteral("8080"));
    EXPECT_EQ(custom.serviceURL().toString(), "http://example.test:8080");
    PLRWebServiceHost::setCustomHTTPS(true);
    EXPECT_EQ(custom.serviceURL().toString(), "https://example.test:8080");
    // Empty port text: no port.
    defaults().setString(kPLRWebServiceCustomPortKey, QString());
    EXPECT_EQ(custom.serviceURL().port(), -1);
}

TEST(WebServiceHost, SocketURLFollowsTheScheme)
{
    PLRWebServiceHost::setCustomHostName(QStringLiteral("example.test"));
    PLRWebServiceHost::setCustomHTTPS(true);
    const QUrl secure = PLRWebServiceHost::customHost().socketURL();
    // A secure host: wss and no port when the host has none (never ":0").
    EXPECT_EQ(secure.scheme(), "wss");
    EXPECT_EQ(secure.port(), -1);
    EXPECT_EQ(secure.path(), "/socket/websocket");
    EXPECT_TRUE(QUrlQuery(secure).hasQueryItem(QStringLiteral("token")));

    const QUrl plain = PLRWebServiceHost::devHost().socketURL();
    EXPECT_EQ(plain.scheme(), "ws");
    EXPECT_EQ(plain.port(), 4000);
}

TEST(WebServiceHost, PathBuilders)
{
    PLRWebServiceHost& host = PLRWebServiceHost::devHost();
    EXPECT_EQ(host.serviceMeURLWithPaths({QStringLiteral("posts"), QStringLiteral("42")}).path(), "/api/me/posts/42");
    EXPECT_EQ(host.serviceMeURLWithPaths({}).path(), "/api/me/");
    EXPECT_EQ(host.serviceMeURL().path(), "/api/me");
    EXPECT_EQ(host.serviceApiURLWithPaths({QStringLiteral("log-in")}).toString(), "http://localhost:4000/api/log-in");
    EXPECT_EQ(host.serviceCoreURLWithPaths({QStringLiteral("supported")}).path(), "/core/supported");
    EXPECT_EQ(host.serviceURLWithPaths({QStringLiteral("a")}).path(), "/a");
    EXPECT_EQ(host.passwordResetURL().toString(), "http://localhost:4000/core/request-password");

    // No parameters: no query at all. Parameters: one item each, in the map's order, encoded.
    EXPECT_FALSE(host.serviceMeURLWithPaths({QStringLiteral("posts")}).hasQuery());
    const QUrl withQuery = host.serviceMeURLWithPaths(
        {QStringLiteral("posts")}, {{QStringLiteral("page"), QStringLiteral("2")},
                                    {QStringLiteral("filter"), QStringLiteral("a b&c+d")}});
    EXPECT_EQ(withQuery.query(QUrl::FullyEncoded), "filter=a%20b%26c%2Bd&page=2");
    const QUrlQuery items(withQuery);
    EXPECT_EQ(items.queryItemValue(QStringLiteral("filter"), QUrl::FullyDecoded), "a b&c+d");
}

TEST(WebServiceHost, HostNameWithSpacesGivesAnInvalidURL)
{
    PLRWebServiceHost::setCustomHostName(QStringLiteral("bad host name"));
    const QUrl url = PLRWebServiceHost::customHost().serviceMeURLWithPaths({QStringLiteral("posts")});
    EXPECT_TRUE(!url.isValid() || url.host().isEmpty());
    // Nothing to open either.
    PLRWebServiceHost::customHost().ensureSocketConnection();
    EXPECT_FALSE(PLRWebServiceHost::customHost().socketConnected());
}

TEST(WebServiceHost, SetCurrentHostTypePostsTheChange)
{
    QObject context;
    int posted = 0;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, PLRWebServiceHostDidChangeCurrentHostNotification,
        [&posted](const platform::Notification&) { ++posted; });
    PLRWebServiceHost::setCustomHostName(QStringLiteral("x.test"));
    PLRWebServiceHost::setCustomPort(QStringLiteral("1"));
    PLRWebServiceHost::setCustomHTTPS(true);
    EXPECT_EQ(posted, 0);
    PLRWebServiceHost::setCurrentHostType(PLRWebServiceHost_STAGING);
    EXPECT_EQ(posted, 1);
    EXPECT_EQ(defaults().stringForKey(kPLRWebServiceHostTypeKey), PLRWebServiceHost_STAGING);
}

TEST(WebServiceHost, BetaQuestionIsNotAskedInOtherBuilds)
{
    // The test build is not the beta build: no alert (an unexpected one fails the test).
    PLRWebServiceHost::enforceBetaConnectionIfAppropiate();
    EXPECT_TRUE(testing_support::scriptedAlerts().shown().empty());
    EXPECT_FALSE(defaults().hasKey(kPLRBetaHostVerifiedKey));
}

TEST(WebServiceHost, BetaQuestionIsAskedOnce)
{
    const QString beta = QString::fromLatin1(kPLRBetaBundleIdentifier);
    testing_support::scriptedAlerts().enqueue(platform::kAlertFirstButtonReturn);
    PLRWebServiceHost::enforceBetaConnectionIfAppropiate(beta);
    ASSERT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().front().messageText, "BETA USERS PLEASE READ");
    EXPECT_TRUE(defaults().boolForKey(kPLRBetaHostVerifiedKey));
    EXPECT_EQ(PLRWebServiceHost::currentHostType(), PLRWebServiceHost_CUSTOM);
    EXPECT_EQ(PLRWebServiceHost::currentHost().serviceURL().toString(), "https://beta.pellora.app");

    // Asked once per installation; never while the custom host is chosen.
    PLRWebServiceHost::enforceBetaConnectionIfAppropiate(beta);
    defaults().removeObject(kPLRBetaHostVerifiedKey);
    PLRWebServiceHost::enforceBetaConnectionIfAppropiate(beta);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 1u);

    // The second button only records that it was asked.
    storeType(PLRWebServiceHost_PROD);
    testing_support::scriptedAlerts().enqueue(platform::kAlertSecondButtonReturn);
    PLRWebServiceHost::enforceBetaConnectionIfAppropiate(beta);
    EXPECT_EQ(testing_support::scriptedAlerts().shown().size(), 2u);
    EXPECT_EQ(PLRWebServiceHost::currentHostType(), PLRWebServiceHost_PROD);
    EXPECT_TRUE(defaults().boolForKey(kPLRBetaHostVerifiedKey));
}

TEST(ServiceResponses, StatusAndTransportTests)
{
    auto status = [](int code) { return PLRHTTPURLResponse{QUrl(), code}; };
    EXPECT_TRUE(status(200).isCodeGood());
    EXPECT_TRUE(status(299).isCodeGood());
    EXPECT_FALSE(status(300).isCodeGood());
    EXPECT_FALSE(status(199).isCodeGood());
    for (int code : {401, 402, 403})
        EXPECT_TRUE(status(code).isCodeForbidden()) << code;
    for (int code : {400, 404})
        EXPECT_FALSE(status(code).isCodeForbidden()) << code;

    auto urlError = [](qint64 code) { return platform::Error(platform::kURLErrorDomain, code); };
    for (qint64 code : {-1009, -1008, -1006, -1005, -1004, -1003, -1001})
        EXPECT_TRUE(isLossOfInternet(urlError(code))) << code;
    for (qint64 code : {-1002, -1007, -1011, -999})
        EXPECT_FALSE(isLossOfInternet(urlError(code))) << code;
    EXPECT_FALSE(isLossOfInternet(platform::Error(QStringLiteral("OtherDomain"), -1009)));

    const QNetworkRequest request = requestWithAuthentication(QStringLiteral("tok"), QUrl(QStringLiteral("http://h/x")));
    EXPECT_EQ(request.rawHeader("Authorization"), "Bearer tok");
    EXPECT_EQ(request.header(QNetworkRequest::ContentTypeHeader).toString(), "application/json");
    EXPECT_EQ(request.transferTimeout(), 60000);
}

TEST(ServiceError, ReadsTheBodyAndTheMap)
{
    // No "error": the map's text for "001".
    const PLRServiceError incorrect = PLRServiceError::serviceErrorWithDictionary(QVariantMap{{"code", 1}});
    EXPECT_EQ(incorrect.code(), 1);
    EXPECT_EQ(incorrect.error(), PLRServiceError::errorMessageForCode(1));
    EXPECT_FALSE(incorrect.error().isEmpty());

    // JSON nulls are absent; a given text wins.
    const PLRServiceError nulls = PLRServiceError::serviceErrorWithDictionary(QVariantMap{
        {"code", 10000}, {"error", QVariant::fromValue(nullptr)}, {"errors", QVariant::fromValue(nullptr)},
        {"info", QVariant::fromValue(nullptr)}});
    EXPECT_EQ(nulls.error(), PLRServiceError::errorMessageForCode(10000));
    EXPECT_FALSE(nulls.error().isEmpty());
    EXPECT_FALSE(nulls.changesetErrors().has_value());
    EXPECT_FALSE(nulls.info().has_value());

    const PLRServiceError full = PLRServiceError::serviceErrorWithDictionary(QVariantMap{
        {"code", 501}, {"error", "No publisher"}, {"errors", QVariantMap{{"name", "taken"}}},
        {"info", QVariantMap{{"a", 1}}}});
    EXPECT_EQ(full.error(), "No publisher");
    EXPECT_EQ(full.changesetErrors()->value("name").toString(), "taken");
    EXPECT_TRUE(full.description().contains("code=501"));

    // Not an object, or wrong member types: code 0 with the "000" text, no crash.
    const PLRServiceError garbage = PLRServiceError::serviceErrorWithDictionary(QVariant(QStringLiteral("<html>")));
    EXPECT_EQ(garbage.code(), 0);
    EXPECT_EQ(garbage.error(), PLRServiceError::errorMessageForCode(0));
    const PLRServiceError odd = PLRServiceError::serviceErrorWithDictionary(
        QVariantMap{{"code", "x"}, {"error", QVariantList{1}}, {"info", "text"}});
    EXPECT_EQ(odd.code(), 0);
    EXPECT_FALSE(odd.info().has_value());

    // Every code the application acts on has a text; unknown codes have none.
    for (qint64 code : {0, 1, 2, 9, 301, 501, 506, 10000})
        EXPECT_FALSE(PLRServiceError::errorMessageForCode(code).isEmpty()) << code;
    EXPECT_TRUE(PLRServiceError::errorMessageForCode(99999).isNull());
}

TEST(WebServiceHostView, ShowsAndSavesTheChoice)
{
    PLRWebServiceHost::setCustomHostName(QStringLiteral("custom.test"));
    PLRWebServiceHost::setCustomPort(QStringLiteral("8443"));
    PLRWebServiceHost::setCustomHTTPS(true);
    storeType(PLRWebServiceHost_STAGING);

    PLRWebServiceHostViewController view;
    // The two choosers are the kit's pop-up buttons, not Qt's combo boxes.
    EXPECT_TRUE(view.findChildren<QComboBox*>().isEmpty());
    ASSERT_EQ(view.findChildren<PLRPopupButton*>().size(), 2);
    view.viewDidAppear();
    EXPECT_EQ(view.hostTypePopUp()->selectedTag(), 2);
    EXPECT_EQ(view.hostTypePopUp()->title(), "Staging");
    EXPECT_EQ(view.httpsPopUp()->selectedTag(), 1);
    EXPECT_EQ(view.hostField()->text(), "custom.test");
    EXPECT_EQ(view.portField()->text(), "8443");
    EXPECT_EQ(view.serviceURLLabel()->text(), "https://staging.pellora.app");
    EXPECT_EQ(view.socketStatusLabel()->text(), "Not Connected");

    // Chosen from their menus as a user does.
    view.resize(400, 300);
    view.show();
    QMenu* shown = nullptr;
    PLRPopupButton::setMenuPresenter([&](PLRPopupButton*, QMenu* menu, const QPoint&, int) { shown = menu; });
    for (auto [popUp, title] : {std::pair{view.hostTypePopUp(), QStringLiteral("Custom")}, std::pair{view.httpsPopUp(), QStringLiteral("http")}}) {
        shown = nullptr;
        platform::ui::dispatch::sendMouse(popUp, QEvent::MouseButtonPress, QPointF(10, 10));
        ASSERT_NE(shown, nullptr);
        for (QAction* item : shown->actions())
            if (item->text() == title)
                item->trigger();
        EXPECT_EQ(popUp->title(), title);
    }
    PLRPopupButton::setMenuPresenter(nullptr);
    view.portField()->setText(QString());
    view.saveCustom();
    view.saveType();
    EXPECT_EQ(PLRWebServiceHost::currentHostType(), PLRWebServiceHost_CUSTOM);
    EXPECT_EQ(view.serviceURLLabel()->text(), "http://custom.test");

    // The status follows a change made elsewhere at its next refresh, every 10 s on the clock.
    platform::ManualClock& clock = platform::ManualClock::install();
    view.refreshStatus();
    PLRWebServiceHost::setCurrentHostType(QString::fromLatin1(PLRWebServiceHost_STAGING));
    clock.advance(PLRWebServiceHostViewController::kRefreshIntervalSeconds - 0.1);
    EXPECT_EQ(view.serviceURLLabel()->text(), "http://custom.test");
    clock.advance(0.1);
    EXPECT_EQ(view.serviceURLLabel()->text(), "https://staging.pellora.app");
}

// The help menu from the help centre's site map, reachability of hosts and addresses, the
// ICMP echo client and its repeating check, and handing a message to the mail program.

#include "DevService.h"
#include "TestSupport.h"

#include "services/ping/SimplePing.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "platform/FirstFrame.h"
#include "platform/NotificationCenter.h"
#include "services/web-services/PLREmailSender.h"
#include "services/web-services/PLRHelpManager.h"
#include "services/web-services/PLRPingHelper.h"
#include "platform/Clock.h"
#include "platform/UserDefaults.h"
#include "services/web-services/PLRWebServiceHost.h"
#include "services/web-services/PLRReachability.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QSignalSpy>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netdb.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray siteMapOf(const QStringList& urls)
{
    QByteArray xml = "<?xml version=\"1.0\"?><urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
    for (const QString& url : urls)
        xml += "<url><loc>" + url.toUtf8() + "</loc></url>";
    return xml + "</urlset>";
}

// The titles of a menu's items, submenus as "Title>[...]".
QStringList describe(const QMenu* menu)
{
    QStringList items;
    for (QAction* action : menu->actions()) {
        if (action->isSeparator())
            items << "-";
        else if (action->menu())
            items << action->text() + ">[" + describe(action->menu()).join(", ") + "]";
        else
            items << action->text();
    }
    return items;
}

struct ReachabilityFlagsGuard {
    explicit ReachabilityFlagsGuard(PLRReachability::FlagsSource source) { PLRReachability::setFlagsSource(std::move(source)); }
    ~ReachabilityFlagsGuard() { PLRReachability::setFlagsSource(nullptr); }
};

} // namespace

TEST(HelpMenu, SiteMapBecomesNestedMenusOfTheHostsArticles)
{
    PLRHelpManager manager;
    QMenu menu;
    const QString help = PLRHelpManager::helpCentreURL().toString(QUrl::RemovePath);
    ASSERT_TRUE(manager.loadSiteMap(siteMapOf({
        help + "/en/articles/12-first-steps",
        help + "/en/articles/13-export",
        help + "/EN/Articles/14-seo",        // same nodes, other case
        help + "/",                          // a "/" leaf: skipped
        help + "/en/articles",               // an existing inner path: adds nothing
        "https://other.example/en/articles/99-elsewhere",  // another host: never in the menu
    })));
    QList<QUrl> presented;
    manager.setupHelpMenu(&menu, [&](const QUrl& url) { presented << url; });
    manager.addSiteMapToHelpMenu();
    EXPECT_EQ(describe(&menu), (QStringList{"-", "En>[Articles>[12 First Steps, 13 Export, 14 Seo]]", "-",
                                            kPLRHelpUserGroupTitle}));
    QAction* article = menu.actions().at(1)->menu()->actions().first()->menu()->actions().first();
    EXPECT_EQ(article->objectName(), kPLRHelpArticleItemIdentifier);
    EXPECT_EQ(article->data().toString(), help + "/en/articles/12-first-steps");
    article->trigger();
    EXPECT_EQ(presented, QList<QUrl>{QUrl(help + "/en/articles/12-first-steps")});

    EXPECT_EQ(PLRHelpURL::titleForSegment("12-first-STEPS"), "12 First Steps");
    EXPECT_EQ(PLRHelpURL::pathSegments("https://h/a//b/"), (QStringList{"https:", "h", "a", "b", "/"}));
    EXPECT_FALSE(manager.loadSiteMap("<urlset><url><loc>broken"));
}

TEST(HelpMenu, HostileSiteMapsGiveABoundedMenuOfTheHelpCentresOwnArticles)
{
    const QUrl centre = PLRHelpManager::helpCentreURL();
    const QString help = centre.toString(QUrl::RemovePath);
    // One address of 300,000 path segments; another of 20,000; addresses of other schemes and
    // hosts; 5,000 articles in one folder; a path deeper than the menu goes.
    QString deep = help;
    for (int i = 0; i < 300000; ++i)
        deep += "/a";
    QString lessDeep = help;
    for (int i = 0; i < 20000; ++i)
        lessDeep += "/b";
    QUrl withUser = centre;
    withUser.setUserName("user");
    withUser.setPath("/en/articles/2-with-user");
    QStringList urls = {deep, lessDeep,
                        "file:///etc/passwd",
                        "javascript:alert(1)",
                        "https://evil.example/en/articles/1-phish",
                        withUser.toString(),
                        help + "/en/articles/3-real",
                        help + "/c/d/e/f/g/h/i/j/k-deep"};
    for (int i = 0; i < 5000; ++i)
        urls << help + QStringLiteral("/many/%1-article").arg(i);
    if (centre.scheme() == "https") {
        QUrl plain = centre;
        plain.setScheme("http");
        urls << plain.toString(QUrl::RemovePath) + "/en/articles/4-plain";
    }

    PLRHelpManager manager;
    QMenu menu;
    QList<QUrl> presented;
    manager.setupHelpMenu(&menu, [&](const QUrl& url) { presented << url; });
    ASSERT_TRUE(manager.loadSiteMap(siteMapOf(urls)));
    manager.addSiteMapToHelpMenu();

    // Every item, at any depth, with the depth of its menu.
    int items = 0;
    int deepest = 0;
    QList<std::pair<const QMenu*, int>> menus{{&menu, 0}};
    while (!menus.isEmpty()) {
        const auto [current, depth] = menus.takeFirst();
        deepest = std::max(deepest, depth);
        EXPECT_LE(current->actions().size(), PLRHelpManager::kMaxItemsPerMenu + 4);
        for (QAction* action : current->actions()) {
            if (action->menu()) {
                menus.append({action->menu(), depth + 1});
                continue;
            }
            if (action->objectName() != kPLRHelpArticleItemIdentifier)
                continue;
            ++items;
            const QUrl url(action->data().toString());
            EXPECT_TRUE(PLRHelpManager::isHelpCentreArticle(url, centre)) << url.toString().toStdString();
            EXPECT_TRUE(url.userInfo().isEmpty());
            action->trigger();
        }
    }
    EXPECT_LE(deepest, PLRHelpManager::kMaxMenuDepth);
    EXPECT_GT(items, 1);
    EXPECT_LE(items, PLRHelpManager::kMaxMenuItems);
    const QStringList top = describe(&menu);
    EXPECT_TRUE(top.join("|").contains("3 Real"));
    for (const QUrl& url : presented)
        EXPECT_EQ(url.host(), centre.host()) << url.toString().toStdString();
}

// An article must be on the help centre's own scheme: from the https help centre an http
// address of the same host is a downgrade and never reaches the menu.
TEST(HelpMenu, ArticlesKeepTheHelpCentresScheme)
{
    const QUrl secure("https://help.example.com/");
    const QUrl plain("http://127.0.0.1:4000/");
    struct Case {
        const char* address;
        const QUrl& centre;
        bool article;
    };
    for (const Case& c : {Case{"https://help.example.com/en/articles/1-a", secure, true},
                          Case{"http://help.example.com/en/articles/1-a", secure, false},
                          Case{"HTTP://HELP.example.com/en/articles/1-a", secure, false},
                          Case{"http://help.example.com:443/en/articles/1-a", secure, false},
                          Case{"ftp://help.example.com/en/articles/1-a", secure, false},
                          Case{"http://127.0.0.1:4000/en/articles/1-a", plain, true},
                          Case{"https://127.0.0.1:4000/en/articles/1-a", plain, false}}) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(PLRHelpManager::isHelpCentreArticle(QUrl(QString::fromLatin1(c.address)), c.centre), c.article);
    }

    // The menu of the production help centre (https) from a site map that also lists the same
    // articles on plain http: only the https ones, and only they are ever opened.
    platform::UserDefaults::standard().setString(QStringLiteral("WEB_SERVICE_HOST_TYPE"),
                                                 QString::fromLatin1(PLRWebServiceHost_PROD));
    const QUrl centre = PLRHelpManager::helpCentreURL();
    ASSERT_EQ(centre.scheme(), "https");
    QUrl downgraded = centre;
    downgraded.setScheme(QStringLiteral("http"));
    const QString secureBase = centre.toString(QUrl::RemovePath);
    const QString plainBase = downgraded.toString(QUrl::RemovePath);
    PLRHelpManager manager;
    QMenu menu;
    QList<QUrl> presented;
    manager.setupHelpMenu(&menu, [&](const QUrl& url) { presented << url; });
    // The plain ones first: the menu starts from the first address's scheme and host.
    ASSERT_TRUE(manager.loadSiteMap(siteMapOf({plainBase + "/en/articles/2-plain", plainBase + "/en/guides/3-plain-only",
                                               secureBase + "/en/articles/1-secure"})));
    manager.addSiteMapToHelpMenu();
    QList<const QMenu*> menus{&menu};
    QStringList titles;
    while (!menus.isEmpty()) {
        for (QAction* action : menus.takeFirst()->actions()) {
            if (action->menu()) {
                menus << action->menu();
            } else if (action->objectName() == kPLRHelpArticleItemIdentifier) {
                titles << action->text();
                action->trigger();
            }
        }
    }
    EXPECT_EQ(titles, QStringList{"1 Secure"});
    ASSERT_EQ(presented.size(), 1);
    EXPECT_EQ(presented.first().scheme(), "https");
}

TEST(HelpMenu, ReadsTheSiteMapInTheBackgroundAndCountsOpenings)
{
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    service.useAsCustomHost();
    PLRHelpManager manager;
    QMenu menu;
    QSignalSpy finished(&manager, &PLRHelpManager::siteMapFinished);
    manager.setupHelpMenu(&menu, [](const QUrl&) {});
    // Usable at once: the user-group item is there before the site map has arrived.
    EXPECT_TRUE(manager.isFetching());
    EXPECT_EQ(describe(&menu), (QStringList{"-", kPLRHelpUserGroupTitle}));
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_TRUE(finished.first().first().toBool());
    const QStringList items = describe(&menu);
    ASSERT_GE(items.size(), 4);
    EXPECT_TRUE(items.at(1).startsWith("En>[Articles>[12 First Steps, 13 Export")) << items.join(" | ").toStdString();
    EXPECT_EQ(items.last(), kPLRHelpUserGroupTitle);

    const qsizetype queued = PLRAnalyticManager::coreAnalyticManager().loadEvents().size();
    emit menu.aboutToShow();
    ASSERT_TRUE(testing_support::waitUntil(
        [&] { return PLRAnalyticManager::coreAnalyticManager().loadEvents().size() == queued + 1; }));
    EXPECT_EQ(PLRAnalyticManager::coreAnalyticManager().loadEvents().last().title(), "click_on_help_tab");
}

// The site map and the user-group item's icon (whose drawing plugin the first frame does not
// need) both wait for the main window's first frame.
TEST(HelpMenu, TheSiteMapAndTheItemIconWaitForTheMainWindowsFirstFrame)
{
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    service.useAsCustomHost();
    PLRHelpManager manager;
    QMenu menu;
    QSignalSpy finished(&manager, &PLRHelpManager::siteMapFinished);
    platform::firstframe::expect();
    manager.setupHelpMenu(&menu, [](const QUrl&) {});
    EXPECT_EQ(describe(&menu), (QStringList{"-", kPLRHelpUserGroupTitle}));
    QAction* userGroup = menu.actions().last();
    EXPECT_TRUE(testing_support::holdsFor([&] { return !manager.isFetching(); }, 100));
    EXPECT_TRUE(service.requests(QStringLiteral("/support_sitemap.xml")).isEmpty());
    EXPECT_TRUE(userGroup->icon().isNull());

    platform::firstframe::painted();
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(userGroup->icon().isNull());
    EXPECT_FALSE(userGroup->icon().pixmap(16, 16).isNull());
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_EQ(service.requests(QStringLiteral("/support_sitemap.xml")).size(), 1);
    EXPECT_GE(describe(&menu).size(), 4);
}

TEST(HelpMenu, AnUnreachableSiteMapLeavesTheUserGroupItemAlone)
{
    testing_support::DevService service;
    ASSERT_TRUE(service.start());
    service.useAsCustomHost();
    service.stop();
    PLRHelpManager manager;
    QMenu menu;
    QSignalSpy finished(&manager, &PLRHelpManager::siteMapFinished);
    manager.setupHelpMenu(&menu, [](const QUrl&) {});
    ASSERT_TRUE(finished.wait(5000));
    EXPECT_FALSE(finished.first().first().toBool());
    EXPECT_EQ(describe(&menu), (QStringList{"-", kPLRHelpUserGroupTitle}));
}

TEST(Reachability, QueriesFollowTheFlags)
{
    quint32 flags = 0;
    ReachabilityFlagsGuard guard([&](const Reachability&) { return flags; });
    auto reachability = PLRReachability::reachabilityWithHostname("example.org");
    ASSERT_NE(reachability, nullptr);
    EXPECT_EQ(PLRReachability::reachabilityWithHostname(""), nullptr);
    EXPECT_EQ(PLRReachability::reachabilityWithHostname("bad host"), nullptr);

    flags = PLRReachability::kReachable;
    EXPECT_TRUE(reachability->isReachable());
    EXPECT_EQ(reachability->currentReachabilityStatus(), PLRReachability::ReachableViaWiFi);
    EXPECT_EQ(reachability->currentReachabilityString(), "WiFi");
    EXPECT_EQ(reachability->currentReachabilityFlags(), "R-------");

    // Transient and connection required together: not reachable, though the bit is set.
    flags = PLRReachability::kReachable | PLRReachability::kTransientConnection | PLRReachability::kConnectionRequired;
    EXPECT_FALSE(reachability->isReachable());
    EXPECT_TRUE(reachability->isReachableViaWiFi());
    EXPECT_TRUE(reachability->isConnectionRequired());
    EXPECT_EQ(reachability->currentReachabilityString(), "No Connection");

    flags = PLRReachability::kConnectionRequired | PLRReachability::kConnectionOnDemand;
    EXPECT_TRUE(reachability->isConnectionOnDemand());
    EXPECT_FALSE(reachability->isInterventionRequired());
    flags = PLRReachability::kConnectionRequired | PLRReachability::kInterventionRequired;
    EXPECT_TRUE(reachability->isInterventionRequired());
    EXPECT_FALSE(reachability->isConnectionOnDemand());
    flags = PLRReachability::kInterventionRequired;
    EXPECT_FALSE(reachability->isInterventionRequired());
    EXPECT_EQ(PLRReachability::flagsString(0x30000 | 0x3F), "RctiCDld");
    flags = PLRReachability::kTransientConnection | PLRReachability::kInterventionRequired | PLRReachability::kConnectionOnDemand;
    EXPECT_TRUE(reachability->description().startsWith("<PLRReachability: 0x")) << reachability->description().toStdString();
    EXPECT_TRUE(reachability->description().endsWith(" (--ti-D--)>")) << reachability->description().toStdString();
}

TEST(Reachability, TheProbesNameHasTheWholeInterfaceWithItsOwnFlagText)
{
    quint32 flags = Reachability::kReachable | Reachability::kIsDirect;
    ReachabilityFlagsGuard guard([&](const Reachability&) { return flags; });
    auto reachability = Reachability::reachabilityWithHostName("example.org");
    ASSERT_NE(reachability, nullptr);
    EXPECT_EQ(Reachability::reachabilityWithHostname("bad host"), nullptr);
    EXPECT_EQ(reachability->currentReachabilityFlags(), "XR ------d");
    EXPECT_TRUE(reachability->description().startsWith("<Reachability: 0x")) << reachability->description().toStdString();
    EXPECT_TRUE(reachability->description().endsWith(" (XR ------d)>"));
    flags = Reachability::kConnectionRequired | Reachability::kConnectionOnTraffic;
    EXPECT_TRUE(reachability->isConnectionOnDemand());
    EXPECT_FALSE(reachability->isInterventionRequired());
    EXPECT_EQ(reachability->currentReachabilityStatus(), Reachability::NotReachable);
    auto wifi = Reachability::reachabilityForLocalWiFi();
    ASSERT_NE(wifi, nullptr);
    EXPECT_EQ(wifi->address(), QHostAddress("169.254.0.0"));
    EXPECT_EQ(Reachability::reachabilityForInternetConnection()->address(), QHostAddress("0.0.0.0"));
    EXPECT_EQ(Reachability::reachabilityWithAddress(QHostAddress()), nullptr);

    // Its notifier: blocks on its queue, then the notification.
    QStringList calls;
    QMutex mutex;
    reachability->setUnreachableBlock([&](Reachability*) { QMutexLocker l(&mutex); calls << "unreachable"; });
    reachability->setReachabilityBlock([&](Reachability*, quint32 f) { QMutexLocker l(&mutex); calls << QString::number(f); });
    int notifications = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, kReachabilityChangedNotification,
        [&](const platform::Notification& n) { notifications += n.object == reachability.get(); });
    EXPECT_TRUE(reachability->startNotifier());
    flags = 0;
    Reachability::networkDidChange();
    ASSERT_TRUE(testing_support::waitUntil([&] { return notifications == 1; }));
    QMutexLocker l(&mutex);
    EXPECT_EQ(calls, (QStringList{"unreachable", "0"}));
}

TEST(Reachability, BothNamesReadTheNetworkAlike)
{
    // From the system's network information: every kind of target gives the same flags.
    const QStringList hosts{"example.org", "localhost", "127.0.0.1", "169.254.10.20", "0.0.0.0", "192.168.1.20"};
    for (const QString& host : hosts) {
        auto probe = Reachability::reachabilityWithHostname(host);
        auto helper = PLRReachability::reachabilityWithHostname(host);
        ASSERT_NE(probe, nullptr);
        ASSERT_NE(helper, nullptr);
        EXPECT_EQ(probe->reachabilityFlags(), helper->reachabilityFlags()) << host.toStdString();
        EXPECT_EQ(probe->isReachable(), helper->isReachable()) << host.toStdString();
    }
    // A link-local target is a local address to both, and loopback is always reachable.
    EXPECT_TRUE(Reachability::reachabilityWithHostname("169.254.10.20")->reachabilityFlags() & Reachability::kIsLocalAddress);
    EXPECT_TRUE(Reachability::reachabilityWithHostname("localhost")->isReachable());

    // One replacement of the source reaches both names.
    Reachability::setFlagsProvider([](const QString& host) -> quint32 {
        return host == "169.254.10.20" ? Reachability::kReachable | Reachability::kIsLocalAddress : 0;
    });
    EXPECT_TRUE(PLRReachability::reachabilityWithHostname("169.254.10.20")->isReachable());
    EXPECT_FALSE(PLRReachability::reachabilityWithHostname("example.org")->isReachable());
    EXPECT_EQ(PLRReachability::reachabilityWithHostname("169.254.10.20")->reachabilityFlags(),
              Reachability::reachabilityWithHostname("169.254.10.20")->reachabilityFlags());
    Reachability::setFlagsProvider(nullptr);
}

TEST(Reachability, AddressTargetsAndLocalNetworks)
{
    auto wifi = PLRReachability::reachabilityForLocalWiFi();
    ASSERT_NE(wifi, nullptr);
    EXPECT_EQ(wifi->address(), QHostAddress("169.254.0.0"));
    EXPECT_TRUE(wifi->reachabilityFlags() & PLRReachability::kIsLocalAddress);
    EXPECT_TRUE(wifi->reachabilityFlags() & PLRReachability::kIsDirect);
    auto internet = PLRReachability::reachabilityForInternetConnection();
    ASSERT_NE(internet, nullptr);
    EXPECT_EQ(internet->address(), QHostAddress("0.0.0.0"));
    EXPECT_FALSE(internet->reachabilityFlags() & PLRReachability::kIsLocalAddress);
    auto loopback = PLRReachability::reachabilityWithAddress(QHostAddress::LocalHost);
    ASSERT_NE(loopback, nullptr);
    EXPECT_TRUE(loopback->isReachable());
    EXPECT_EQ(PLRReachability::reachabilityWithAddress(QHostAddress()), nullptr);
}

TEST(Reachability, NotifierCallsBlocksThenPostsTheChangeOnTheMainQueue)
{
    quint32 flags = PLRReachability::kReachable;
    ReachabilityFlagsGuard guard([&](const Reachability&) { return flags; });
    auto reachability = PLRReachability::reachabilityWithHostname("example.org");
    QStringList calls;
    QMutex mutex;
    reachability->setReachableBlock([&](PLRReachability*) { QMutexLocker l(&mutex); calls << "reachable"; });
    reachability->setUnreachableBlock([&](PLRReachability*) { QMutexLocker l(&mutex); calls << "unreachable"; });
    reachability->setReachabilityBlock([&](PLRReachability*, quint32 f) { QMutexLocker l(&mutex); calls << QString::number(f); });
    int notifications = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(&context, kReachabilityChangedNotification,
        [&](const platform::Notification& n) {
            EXPECT_EQ(n.object, reachability.get());
            ++notifications;
        });

    PLRReachability::networkDidChange();   // not running: nothing
    EXPECT_TRUE(testing_support::holdsFor([&] { QMutexLocker l(&mutex); return calls.isEmpty(); }, 30));
    EXPECT_TRUE(reachability->startNotifier());
    EXPECT_TRUE(reachability->startNotifier());   // already running
    flags = 0;
    PLRReachability::networkDidChange();
    ASSERT_TRUE(testing_support::waitUntil([&] { return notifications == 1; }));
    {
        QMutexLocker l(&mutex);
        EXPECT_EQ(calls, (QStringList{"unreachable", "0"}));   // once, though started twice
    }
    flags = PLRReachability::kReachable;
    PLRReachability::networkDidChange();
    ASSERT_TRUE(testing_support::waitUntil([&] { return notifications == 2; }));
    reachability->stopNotifier();
    PLRReachability::networkDidChange();
    EXPECT_TRUE(testing_support::holdsFor([&] { return notifications == 2; }, 30));
    QMutexLocker l(&mutex);
    EXPECT_EQ(calls, (QStringList{"unreachable", "0", "reachable", "2"}));
}

TEST(SimplePing, PacketsPayloadAndChecksum)
{
    EXPECT_EQ(SimplePing::defaultPayload(0), QByteArray("                          99 bottles of beer on the wall"));
    EXPECT_EQ(SimplePing::defaultPayload(123).mid(26, 2), "76");
    EXPECT_EQ(SimplePing::defaultPayload(7).size(), 56);
    // RFC 1071's example words.
    EXPECT_EQ(SimplePing::internetChecksum(QByteArray::fromHex("0001f203f4f5f6f7")), quint16(~0xddf2 & 0xffff));
    EXPECT_EQ(SimplePing::internetChecksum(QByteArray::fromHex("01")), quint16(~0x0100 & 0xffff));   // odd byte
    const QByteArray v4 = SimplePing::packet(false, 0x1234, 5, "ab");
    EXPECT_EQ(v4.left(2), QByteArray::fromHex("0800"));
    EXPECT_EQ(v4.mid(4, 4), QByteArray::fromHex("12340005"));
    EXPECT_EQ(SimplePing::internetChecksum(v4), 0);   // a packet with its checksum sums to 0
    const QByteArray v6 = SimplePing::packet(true, 0x1234, 5, "ab");
    EXPECT_EQ(v6.left(4), QByteArray::fromHex("80000000"));
}

TEST(SimplePing, RepliesAreCheckedWithOrWithoutAnIPHeader)
{
    SimplePing ping("127.0.0.1");
    ping.setIdentifierForTesting(0x4242);
    ping.setSequenceStateForTesting(3, false);
    auto reply = [](quint16 identifier, quint16 sequence) {
        QByteArray bytes = SimplePing::packet(false, identifier, sequence, "payload");
        bytes[0] = 0;   // echo reply
        bytes[2] = bytes[3] = 0;
        const quint16 sum = SimplePing::internetChecksum(bytes);
        bytes[2] = char(sum >> 8);
        bytes[3] = char(sum & 0xff);
        return bytes;
    };
    quint16 sequence = 0;
    QByteArray bare = reply(0x4242, 2);
    EXPECT_TRUE(ping.validatePingResponsePacket(&bare, &sequence, false));
    EXPECT_EQ(sequence, 2);
    // The same behind a 20-byte IPv4 header.
    QByteArray header = QByteArray::fromHex("45000000000000004001000000000000000000000000");
    header.truncate(20);
    QByteArray withHeader = header + reply(0x4242, 1);
    EXPECT_EQ(SimplePing::icmpHeaderOffsetInIPv4Packet(withHeader), 20);
    EXPECT_TRUE(ping.validatePingResponsePacket(&withHeader, &sequence, false));
    EXPECT_EQ(withHeader, reply(0x4242, 1));
    // Unexpected: a foreign identifier, a future sequence number, a wrong checksum.
    QByteArray foreign = reply(0x1111, 1);
    EXPECT_FALSE(ping.validatePingResponsePacket(&foreign, &sequence, false));
    QByteArray future = reply(0x4242, 3);
    EXPECT_FALSE(ping.validatePingResponsePacket(&future, &sequence, false));
    QByteArray corrupt = reply(0x4242, 1);
    corrupt[9] = 'X';
    EXPECT_FALSE(ping.validatePingResponsePacket(&corrupt, &sequence, false));
    // IPv6: type 129, no checksum of ours.
    QByteArray v6 = SimplePing::packet(true, 0x4242, 2, "x");
    v6[0] = char(129);
    EXPECT_TRUE(ping.validatePingResponsePacket(&v6, &sequence, true));
}

TEST(SimplePing, SequenceNumbersWrapAndThenAcceptRecentReplies)
{
    SimplePing ping("127.0.0.1");
    ping.setSequenceStateForTesting(65535, false);
    ping.sendPingWithData();   // no socket: reported as a failed send, the counter moves on
    EXPECT_EQ(ping.nextSequenceNumber(), 0);
    EXPECT_TRUE(ping.nextSequenceNumberHasWrapped());
    ping.setSequenceStateForTesting(5, true);
    EXPECT_TRUE(ping.validateSequenceNumber(4));
    EXPECT_TRUE(ping.validateSequenceNumber(quint16(5 - 119)));
    EXPECT_FALSE(ping.validateSequenceNumber(quint16(5 - 120)));
}

namespace {
struct PingRecorder : SimplePingDelegate {
    QStringList events;
    platform::Error error;
    void simplePingDidStartWithAddress(SimplePing*, const QByteArray&) override { events << "started"; }
    void simplePingDidFailWithError(SimplePing*, const platform::Error& e) override { events << "failed"; error = e; }
    void simplePingDidSendPacket(SimplePing*, const QByteArray&, quint16) override { events << "sent"; }
    void simplePingDidReceivePingResponsePacket(SimplePing*, const QByteArray&, quint16) override { events << "reply"; }
};
} // namespace

TEST(SimplePing, PingsTheLoopbackWhereTheSystemAllowsIt)
{
    PingRecorder recorder;
    SimplePing ping("127.0.0.1");
    ping.setAddressStyle(SimplePing::ICMPv4);
    ping.setDelegate(&recorder);
    ping.start();
    ASSERT_TRUE(testing_support::waitUntil([&] { return !recorder.events.isEmpty(); }));
    if (recorder.events.first() == "failed") {
        // The refusal is reported, not swallowed.
        EXPECT_EQ(recorder.error.domain, kSimplePingPOSIXErrorDomain);
        GTEST_SKIP() << "ping sockets are not allowed here (net.ipv4.ping_group_range): "
                     << recorder.error.localizedDescription().toStdString();
    }
    ping.sendPingWithData();
    ASSERT_TRUE(testing_support::waitUntil([&] { return recorder.events.contains("reply"); }));
    EXPECT_EQ(recorder.events.mid(0, 2), (QStringList{"started", "sent"}));
}

namespace {

// A network of the test's own: the calling (main) thread moves into a new network namespace,
// with its loopback up and ping sockets allowed there, and back when this goes. Its settings are
// the namespace's own, so a host that stays silent can be made without touching the machine's
// network. Needs the right to make namespaces (root); unavailable() says why otherwise.
class PrivateNetwork {
public:
    PrivateNetwork()
    {
        m_original = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        if (m_original < 0) {
            m_why = QStringLiteral("no /proc/thread-self/ns/net: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        struct stat before {};
        ::fstat(m_original, &before);
        if (::unshare(CLONE_NEWNET) != 0) {
            m_why = QStringLiteral("no new network namespace: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        m_entered = true;
        struct stat after {};
        if (::stat("/proc/thread-self/ns/net", &after) != 0 || after.st_ino == before.st_ino) {
            m_why = QStringLiteral("the namespace did not change");
            return;
        }
        const int control = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq loopback{};
        std::strncpy(loopback.ifr_name, "lo", IFNAMSIZ - 1);
        const bool up = control >= 0 && ::ioctl(control, SIOCGIFFLAGS, &loopback) == 0
                        && (loopback.ifr_flags |= IFF_UP, ::ioctl(control, SIOCSIFFLAGS, &loopback) == 0);
        if (control >= 0)
            ::close(control);
        if (!up || !setting("ping_group_range", "0 2147483647")) {
            m_why = QStringLiteral("the new namespace cannot be set up");
            return;
        }
        m_ready = true;
    }
    ~PrivateNetwork()
    {
        if (m_entered && ::setns(m_original, CLONE_NEWNET) != 0)
            ADD_FAILURE() << "could not return to the test's network namespace";
        if (m_original >= 0)
            ::close(m_original);
    }
    PrivateNetwork(const PrivateNetwork&) = delete;
    PrivateNetwork& operator=(const PrivateNetwork&) = delete;

    QString unavailable() const { return m_ready ? QString() : m_why; }
    // Whether the namespace's hosts leave echo requests unanswered.
    bool setEchoIgnored(bool ignored) { return setting("icmp_echo_ignore_all", ignored ? "1" : "0"); }

private:
    // Only ever the new namespace's settings.
    bool setting(const char* name, const char* value) const
    {
        if (!m_entered)
            return false;
        QFile file(QStringLiteral("/proc/sys/net/ipv4/") + QLatin1String(name));
        return file.open(QIODevice::WriteOnly) && file.write(value) == qint64(std::strlen(value));
    }

    int m_original = -1;
    bool m_entered = false;
    bool m_ready = false;
    QString m_why;
};

} // namespace

// Ping sockets are refused on most machines, and the loopback always answers: the silent host
// is the loopback of a network namespace of the test's own that ignores echo requests.
TEST(PingHelper, ASilentHostIsUnreachableAfterItsFirstUnansweredSecondAndThenNothingMore)
{
    PrivateNetwork network;
    if (!network.unavailable().isEmpty())
        GTEST_SKIP() << "no network namespace of the test's own: " << network.unavailable().toStdString();
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRPingHelper helper;
    QList<std::pair<bool, QString>> results;
    helper.runWithHostName("127.0.0.1", [&](bool reachable, const QString& reason) {
        results.append({reachable, reason});
    });
    ASSERT_EQ(results.size(), 1);
    EXPECT_TRUE(results.first().first);
    // The first ping is answered: only the next round waits (5 s), and nothing is said.
    const std::vector<double> nextRound{5.0};
    ASSERT_TRUE(testing_support::waitUntil([&] { return clock.waiting() == nextRound; }, 5000));
    EXPECT_EQ(results.size(), 1);

    // The host falls silent. The next ping waits one second for its answer.
    ASSERT_TRUE(network.setEchoIgnored(true));
    clock.advance(5.0);
    EXPECT_EQ(clock.waiting(), std::vector<double>{1.0});
    EXPECT_TRUE(testing_support::holdsFor([&] { return results.size() == 1; }, 200));
    clock.advance(0.999);
    testing_support::drainEvents();
    EXPECT_EQ(results.size(), 1);
    EXPECT_TRUE(helper.reachable());
    clock.advance(0.001);
    ASSERT_EQ(results.size(), 2);
    EXPECT_FALSE(results.at(1).first);
    EXPECT_TRUE(results.at(1).second.isEmpty());   // silence has no reason
    EXPECT_FALSE(helper.reachable());
    EXPECT_EQ(helper.pinger(), nullptr);

    // Two more silent rounds, each with a new pinger: nothing more is said.
    for (int round = 0; round < 2; ++round) {
        clock.advance(5.0);
        ASSERT_TRUE(testing_support::waitUntil([&] { return clock.waiting() == std::vector<double>{1.0}; }, 5000));
        EXPECT_TRUE(testing_support::holdsFor([&] { return results.size() == 2; }, 100));
        clock.advance(1.0);
        testing_support::drainEvents();
        EXPECT_EQ(results.size(), 2);
        EXPECT_EQ(clock.waiting(), nextRound);
    }

    // It answers again: reachable at the next round.
    ASSERT_TRUE(network.setEchoIgnored(false));
    clock.advance(5.0);
    ASSERT_TRUE(testing_support::waitUntil([&] { return results.size() == 3; }, 5000));
    EXPECT_TRUE(results.at(2).first);
    EXPECT_TRUE(helper.reachable());
}

TEST(PingHelper, ReportsReachableAtOnceThenOnlyChanges)
{
    platform::ManualClock& clock = platform::ManualClock::install();
    PLRPingHelper helper;
    QList<std::pair<bool, QString>> results;
    helper.runWithHostName("no-such-host.invalid", [&](bool reachable, const QString& reason) {
        results.append({reachable, reason});
    });
    ASSERT_EQ(results.size(), 1);
    EXPECT_TRUE(results.first().first);
    ASSERT_TRUE(testing_support::waitUntil([&] { return results.size() == 2; }, 10000));
    EXPECT_FALSE(results.at(1).first);
    EXPECT_FALSE(results.at(1).second.isEmpty());   // the resolver's or the system's reason
    EXPECT_FALSE(helper.reachable());
    // The next round (5 s on) asks again with a new pinger and fails again: nothing more is said.
    EXPECT_EQ(clock.waiting(), std::vector<double>{5.0});
    clock.advance(4.9);
    EXPECT_EQ(helper.pinger(), nullptr);
    clock.advance(0.1);
    EXPECT_NE(helper.pinger(), nullptr);
    ASSERT_TRUE(testing_support::waitUntil([&] { return helper.pinger() == nullptr; }, 10000));
    testing_support::drainEvents();
    EXPECT_EQ(results.size(), 2);
    EXPECT_FALSE(helper.reachable());
    EXPECT_EQ(clock.waiting(), std::vector<double>{5.0});   // and the round after

    platform::Error lookup = platform::Error::make(kSimplePingNetworkErrorDomain, 2, "lookup");
    lookup.userInfo.insert(kSimplePingAddressLookupFailureKey, EAI_NONAME);
    EXPECT_EQ(PLRPingHelper::errorText(lookup), QString::fromLocal8Bit(gai_strerror(EAI_NONAME)));
}

TEST(EmailSender, HandsTheValuesToTheMailProgramAsArguments)
{
    const QString subject = "Logs \"quoted\" `whoami`; rm -rf ~";
    ASSERT_TRUE(PLREmailSender::sendEmailTo("support@example.com", subject, "Line 1\nLine 2", "/no/such/file"));
    auto& launches = testing_support::recordingWorkspace().launches;
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].program, "xdg-email");
    EXPECT_EQ(launches[0].arguments, (QStringList{"--utf8", "--subject", subject, "--body", "Line 1\nLine 2",
                                                  "support@example.com"}));
    const QString attachment = testing_support::testHome() + "/logs.zip";
    QFile file(attachment);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(PLREmailSender::sendEmailTo("support@example.com", "s", "b", attachment));
    EXPECT_TRUE(launches[1].arguments.contains(attachment));
    EXPECT_FALSE(PLREmailSender::sendEmailTo("--help", "s", "b"));
    EXPECT_EQ(launches.size(), 2u);
}

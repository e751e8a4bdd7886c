#include "services/web-services/PLRHelpManager.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "platform/FirstFrame.h"
#include "platform/Log.h"
#include "store/session/PLRDefaults.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QAction>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QFutureWatcher>
#include <QXmlStreamReader>
#include <QtConcurrent/QtConcurrentRun>

#include <deque>
#include <vector>

namespace {

constexpr qint64 kSiteMapMaximumBytes = 8 * 1024 * 1024;

} // namespace

// ---------------------------------------------------------------- the tree

PLRHelpURL::PLRHelpURL(const QString& name, const QString& url) : m_name(name), m_url(url)
{
}

PLRHelpURL::~PLRHelpURL()
{
    // One level at a time from a list, not one stack frame per level.
    std::vector<std::shared_ptr<PLRHelpURL>> pending(m_subNodes.begin(), m_subNodes.end());
    m_subNodes.clear();
    while (!pending.empty()) {
        std::shared_ptr<PLRHelpURL> node = std::move(pending.back());
        pending.pop_back();
        if (node.use_count() == 1) {
            for (std::shared_ptr<PLRHelpURL>& child : node->m_subNodes)
                pending.push_back(std::move(child));
            node->m_subNodes.clear();
        }
    }
}

QString PLRHelpURL::titleForSegment(const QString& segment)
{
    QString title = segment;
    title.replace(QLatin1Char('-'), QLatin1Char(' '));
    bool wordStart = true;
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title.at(i);
        if (c.isSpace()) {
            wordStart = true;
            continue;
        }
        title[i] = wordStart ? c.toUpper() : c.toLower();
        wordStart = false;
    }
    return title;
}

QStringList PLRHelpURL::pathSegments(const QString& url)
{
    QStringList segments = url.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (url.endsWith(QLatin1Char('/')) && !segments.isEmpty())
        segments << QStringLiteral("/");
    return segments;
}

void PLRHelpURL::addURL(const QString& url, QStringList path)
{
    PLRHelpURL* node = this;
    qsizetype used = 0;
    for (; used < path.size(); ++used) {
        PLRHelpURL* child = node->childNamed(titleForSegment(path.at(used)));
        if (!child)
            break;
        node = child;
    }
    path.remove(0, used);
    node->adSubNodesForURL(url, std::move(path));
}

void PLRHelpURL::adSubNodesForURL(const QString& url, QStringList path)
{
    PLRHelpURL* node = this;
    for (qsizetype i = 0; i < path.size(); ++i) {
        const bool last = i == path.size() - 1;
        auto child = std::make_shared<PLRHelpURL>(titleForSegment(path.at(i)), last ? url : QString());
        node->m_subNodes.append(child);
        if (!node->m_index.contains(child->name()))
            node->m_index.insert(child->name(), child.get());
        node = child.get();
    }
}

// ---------------------------------------------------------------- the manager

PLRHelpManager::PLRHelpManager(QObject* parent)
    : QObject(parent), m_root(std::make_shared<PLRHelpURL>(QStringLiteral("root"), QString()))
{
}

PLRHelpManager::~PLRHelpManager()
{
    if (m_reply)
        m_reply->abort();
}

QUrl PLRHelpManager::siteMapURL()
{
    PLRWebServiceHost& host = PLRWebServiceHost::currentHost();
    if (host.effectiveHostType() == QLatin1String(PLRWebServiceHost_PROD))
        return PLRDefaults::sitemapURL();
    QUrl url = host.serviceURL();
    url.setPath(QStringLiteral("/support_sitemap.xml"));
    return url;
}

QUrl PLRHelpManager::helpCentreURL()
{
    PLRWebServiceHost& host = PLRWebServiceHost::currentHost();
    if (host.effectiveHostType() == QLatin1String(PLRWebServiceHost_PROD))
        return PLRDefaults::supportURLForPath(QString());
    QUrl url = host.serviceURL();
    url.setPath(QStringLiteral("/"));
    return url;
}

bool PLRHelpManager::isHelpCentreArticle(const QUrl& url, const QUrl& helpCentre)
{
    return url.isValid() && !helpCentre.host().isEmpty() && url.scheme() == helpCentre.scheme()
        && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"))
        && url.host().compare(helpCentre.host(), Qt::CaseInsensitive) == 0 && url.port() == helpCentre.port()
        && url.userInfo().isEmpty();
}

QUrl PLRHelpManager::userGroupURL()
{
    return QUrl(QStringLiteral("https://www.facebook.com/groups/pellora.users"));
}

void PLRHelpManager::setupHelpMenu(QMenu* helpMenu, PresentHelp presentHelp)
{
    if (!helpMenu || m_menu)
        return;
    m_menu = helpMenu;
    m_presentHelp = std::move(presentHelp);
    // The user-group item is there at once; the articles go in above it when they arrive.
    m_userGroupSeparator = helpMenu->addSeparator();
    QAction* userGroup = helpMenu->addAction(QString::fromLatin1(kPLRHelpUserGroupTitle));
    userGroup->setData(userGroupURL().toString());
    // Its drawing icon comes with a plugin that the first frame does not need: it is set after
    // that frame, before the menu can first open.
    platform::firstframe::afterFirstFrame(
        userGroup, [userGroup] { userGroup->setIcon(QIcon(QStringLiteral(":/images/facebook-logo.svg"))); });
    connect(userGroup, &QAction::triggered, this, [this] {
        if (m_presentHelp)
            m_presentHelp(userGroupURL());
    });
    connect(helpMenu, &QMenu::aboutToShow, this, &PLRHelpManager::menuWillOpen);
    // The articles are fetched once the main window's first frame is on the screen.
    platform::firstframe::afterFirstFrame(this, [this] { fetchSiteMap(); });
}

void PLRHelpManager::fetchSiteMap()
{
    QNetworkRequest request(siteMapURL());
    request.setTransferTimeout(kSiteMapTimeoutMs);
    m_reply = PLRURLSession::shared().get(request);
    QNetworkReply* reply = m_reply;
    connect(reply, &QNetworkReply::downloadProgress, this, [reply](qint64 received, qint64) {
        if (received > kSiteMapMaximumBytes) {
            PLR_LOG_WARN(QStringLiteral("The help site map is larger than %1 bytes; not read").arg(kSiteMapMaximumBytes));
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        m_reply = nullptr;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() != QNetworkReply::NoError || status < 200 || status >= 300) {
            PLR_LOG_WARN(QStringLiteral("The help site map %1 could not be read: %2")
                             .arg(reply->url().toString(), reply->errorString()));
            emit siteMapFinished(false);
            return;
        }
        // A large site map takes a while to read: off the main thread.
        m_reading = true;
        auto* watcher = new QFutureWatcher<std::shared_ptr<PLRHelpURL>>(this);
        connect(watcher, &QFutureWatcher<std::shared_ptr<PLRHelpURL>>::finished, this, [this, watcher] {
            watcher->deleteLater();
            m_reading = false;
            std::shared_ptr<PLRHelpURL> tree = watcher->result();
            const bool loaded = tree != nullptr;
            siteMapRead(std::move(tree));
            if (loaded)
                addSiteMapToHelpMenu();
            emit siteMapFinished(loaded);
        });
        const QByteArray xml = reply->readAll();
        const QUrl helpCentre = helpCentreURL();
        watcher->setFuture(QtConcurrent::run([xml, helpCentre] {
            return std::shared_ptr<PLRHelpURL>(treeFromSiteMap(xml, helpCentre));
        }));
    });
}

void PLRHelpManager::siteMapRead(std::shared_ptr<PLRHelpURL> tree)
{
    m_root = tree ? std::move(tree) : std::make_shared<PLRHelpURL>(QStringLiteral("root"), QString());
}

std::unique_ptr<PLRHelpURL> PLRHelpManager::treeFromSiteMap(const QByteArray& xml, const QUrl& helpCentre)
{
    auto root = std::make_unique<PLRHelpURL>(QStringLiteral("root"), QString());
    QXmlStreamReader reader(xml);
    // Element names from the document's root down, compared as the loc-in-url test needs.
    int depth = 0;
    int urlDepth = -1;
    qint64 tooLong = 0, elsewhere = 0, tooDeep = 0;
    QString example;
    const auto note = [&example](qint64& count, const QString& url) {
        if (++count == 1 && example.isEmpty())
            example = url.left(200);
    };
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            ++depth;
            if (reader.name() == QLatin1String("url")) {
                urlDepth = depth;
                continue;
            }
            // "//url/loc": a loc element directly inside a url element.
            if (reader.name() != QLatin1String("loc") || urlDepth != depth - 1)
                continue;
            const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
            --depth;   // the loc element ended with its text
            if (text.isEmpty())
                continue;
            if (text.size() > kMaxAddressLength) {
                note(tooLong, text);
                continue;
            }
            const QUrl url(text, QUrl::StrictMode);
            if (!isHelpCentreArticle(url, helpCentre)) {
                note(elsewhere, text);
                continue;
            }
            const QStringList segments = PLRHelpURL::pathSegments(text);
            // Scheme and host, then the path: the menu shows the path, so deeper paths could
            // never reach it.
            if (segments.size() > 2 + kMaxMenuDepth) {
                note(tooDeep, text);
                continue;
            }
            root->addURL(text, segments);
        } else if (token == QXmlStreamReader::EndElement) {
            if (depth == urlDepth)
                urlDepth = -1;
            --depth;
        }
    }
    if (reader.hasError()) {
        PLR_LOG_WARN(QStringLiteral("The help site map is not readable XML: %1").arg(reader.errorString()));
        return nullptr;
    }
    if (tooLong + elsewhere + tooDeep > 0)
        PLR_LOG_WARN(QStringLiteral("The help site map: %1 addresses outside the help centre %2, %3 too long and %4 too deep "
                                    "were left out (for example %5)")
                         .arg(elsewhere).arg(helpCentre.toString()).arg(tooLong).arg(tooDeep).arg(example));
    return root;
}

bool PLRHelpManager::loadSiteMap(const QByteArray& xml)
{
    std::unique_ptr<PLRHelpURL> tree = treeFromSiteMap(xml, helpCentreURL());
    const bool loaded = tree != nullptr;
    siteMapRead(std::move(tree));
    return loaded;
}

void PLRHelpManager::addSiteMapToHelpMenu()
{
    if (!m_menu || m_siteMapAdded)
        return;
    m_siteMapAdded = true;
    QAction* before = m_userGroupSeparator;
    m_articlesSeparator = new QAction(m_menu);
    m_articlesSeparator->setSeparator(true);
    m_menu->insertAction(before, m_articlesSeparator);
    // The host's children: the first node is the scheme, its first child the host.
    if (m_root->subNodes().isEmpty() || m_root->subNodes().first()->subNodes().isEmpty())
        return;
    addNode(*m_root->subNodes().first()->subNodes().first(), m_menu, before);
}

void PLRHelpManager::addNode(const PLRHelpURL& top, QMenu* topMenu, QAction* topBefore)
{
    // Breadth first from a list of the menus still to fill, each bounded in items, the whole
    // bounded in depth and in items.
    struct Pending {
        const PLRHelpURL* node;
        QMenu* menu;
        QAction* before;
        int depth;
    };
    std::deque<Pending> pending{{&top, topMenu, topBefore, 1}};
    const QUrl helpCentre = helpCentreURL();
    int items = 0;
    qint64 leftOut = 0;
    while (!pending.empty()) {
        const Pending level = pending.front();
        pending.pop_front();
        int inMenu = 0;
        for (const std::shared_ptr<PLRHelpURL>& child : level.node->subNodes()) {
            if (!child->subNodes().isEmpty() || child->name() != QLatin1String("/")) {
                if (inMenu >= kMaxItemsPerMenu || items >= kMaxMenuItems
                    || (!child->subNodes().isEmpty() && level.depth >= kMaxMenuDepth)) {
                    ++leftOut;
                    continue;
                }
                ++inMenu;
                ++items;
            }
            if (!child->subNodes().isEmpty()) {
                auto* submenu = new QMenu(child->name(), level.menu);
                level.menu->insertMenu(level.before, submenu);
                pending.push_back({child.get(), submenu, nullptr, level.depth + 1});
                continue;
            }
            if (child->name() == QLatin1String("/"))
                continue;
            const QUrl url(child->url());
            if (!isHelpCentreArticle(url, helpCentre)) {
                ++leftOut;
                continue;
            }
            auto* item = new QAction(child->name(), level.menu);
            item->setObjectName(QString::fromLatin1(kPLRHelpArticleItemIdentifier));
            item->setData(child->url());
            connect(item, &QAction::triggered, this, [this, url] {
                if (m_presentHelp)
                    m_presentHelp(url);
            });
            level.menu->insertAction(level.before, item);
        }
    }
    if (leftOut > 0)
        PLR_LOG_WARN(QStringLiteral("The Help menu shows at most %1 items, %2 to a menu and %3 menus deep; %4 items of the "
                                    "site map were left out")
                         .arg(kMaxMenuItems).arg(kMaxItemsPerMenu).arg(kMaxMenuDepth).arg(leftOut));
}

void PLRHelpManager::menuWillOpen()
{
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(
        PLRAnalyticEvent::createEventWithTitle(QStringLiteral("click_on_help_tab"), {}));
}

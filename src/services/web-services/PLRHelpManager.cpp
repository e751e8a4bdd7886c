#include "services/web-services/PLRHelpManager.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "platform/Log.h"
#include "store/session/PLRDefaults.h"
#include "services/web-services/PLRServiceRequest.h"
#include "services/web-services/PLRWebServiceHost.h"

#include <QAction>
#include <QMenu>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QXmlStreamReader>

namespace {

constexpr qint64 kSiteMapMaximumBytes = 8 * 1024 * 1024;

} // namespace

// ---------------------------------------------------------------- the tree

PLRHelpURL::PLRHelpURL(const QString& name, const QString& url) : m_name(name), m_url(url)
{
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
    if (path.isEmpty())
        return;
    const QString title = titleForSegment(path.first());
    for (const std::shared_ptr<PLRHelpURL>& child : std::as_const(m_subNodes)) {
        if (child->name() == title) {
            path.removeFirst();
            child->addURL(url, std::move(path));
            return;
        }
    }
    adSubNodesForURL(url, std::move(path));
}

void PLRHelpURL::adSubNodesForURL(const QString& url, QStringList path)
{
    if (path.isEmpty())
        return;
    const bool last = path.size() == 1;
    auto child = std::make_shared<PLRHelpURL>(titleForSegment(path.first()), last ? url : QString());
    m_subNodes.append(child);
    path.removeFirst();
    child->adSubNodesForURL(url, std::move(path));
}

// ---------------------------------------------------------------- the manager

PLRHelpManager::PLRHelpManager(QObject* parent)
    : QObject(parent), m_root(std::make_unique<PLRHelpURL>(QStringLiteral("root"), QString()))
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
    userGroup->setIcon(QIcon(QStringLiteral(":/images/facebook-logo.svg")));
    connect(userGroup, &QAction::triggered, this, [this] {
        if (m_presentHelp)
            m_presentHelp(userGroupURL());
    });
    connect(helpMenu, &QMenu::aboutToShow, this, &PLRHelpManager::menuWillOpen);
    fetchSiteMap();
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
        bool loaded = false;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300) {
            loaded = loadSiteMap(reply->readAll());
        } else {
            PLR_LOG_WARN(QStringLiteral("The help site map %1 could not be read: %2")
                             .arg(reply->url().toString(), reply->errorString()));
        }
        if (loaded)
            addSiteMapToHelpMenu();
        emit siteMapFinished(loaded);
    });
}

bool PLRHelpManager::loadSiteMap(const QByteArray& xml)
{
    m_root = std::make_unique<PLRHelpURL>(QStringLiteral("root"), QString());
    QXmlStreamReader reader(xml);
    QStringList elementPath;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            elementPath << reader.name().toString();
            // "//url/loc": a loc element directly inside a url element.
            if (elementPath.size() >= 2 && elementPath.last() == QLatin1String("loc")
                && elementPath.at(elementPath.size() - 2) == QLatin1String("url")) {
                const QString url = reader.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                elementPath.removeLast();
                if (!url.isEmpty())
                    m_root->addURL(url, PLRHelpURL::pathSegments(url));
            }
        } else if (token == QXmlStreamReader::EndElement && !elementPath.isEmpty()) {
            elementPath.removeLast();
        }
    }
    if (reader.hasError()) {
        PLR_LOG_WARN(QStringLiteral("The help site map is not readable XML: %1").arg(reader.errorString()));
        m_root = std::make_unique<PLRHelpURL>(QStringLiteral("root"), QString());
        return false;
    }
    return true;
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

void PLRHelpManager::addNode(const PLRHelpURL& node, QMenu* menu, QAction* before)
{
    for (const std::shared_ptr<PLRHelpURL>& child : node.subNodes()) {
        if (!child->subNodes().isEmpty()) {
            auto* submenu = new QMenu(child->name(), menu);
            addNode(*child, submenu, nullptr);
            menu->insertMenu(before, submenu);
            continue;
        }
        if (child->name() == QLatin1String("/"))
            continue;
        auto* item = new QAction(child->name(), menu);
        item->setObjectName(QString::fromLatin1(kPLRHelpArticleItemIdentifier));
        item->setData(child->url());
        const QUrl url(child->url());
        connect(item, &QAction::triggered, this, [this, url] {
            if (m_presentHelp)
                m_presentHelp(url);
        });
        menu->insertAction(before, item);
    }
}

void PLRHelpManager::menuWillOpen()
{
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(
        PLRAnalyticEvent::createEventWithTitle(QStringLiteral("click_on_help_tab"), {}));
}

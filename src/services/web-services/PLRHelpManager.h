#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

#include <QNetworkReply>

class QAction;
class QMenu;

// Identifier (object name) of the Help menu's article items.
inline constexpr char kPLRHelpArticleItemIdentifier[] = "help-article";
// Title of the item that opens the user group.
inline constexpr char kPLRHelpUserGroupTitle[] = "Join Our Facebook User Group";

// One node of the help centre's tree: an inner node per path segment, a leaf per article.
class PLRHelpURL {
public:
    PLRHelpURL(const QString& name, const QString& url);
    // Frees the tree below without recursion.
    ~PLRHelpURL();
    PLRHelpURL(const PLRHelpURL&) = delete;
    PLRHelpURL& operator=(const PLRHelpURL&) = delete;

    QString name() const { return m_name; }
    // The article's full address for a leaf; empty for an inner node.
    QString url() const { return m_url; }
    const QList<std::shared_ptr<PLRHelpURL>>& subNodes() const { return m_subNodes; }

    // Inserts an article below this node along its path segments (children found by name
    // through an index, without recursion).
    void addURL(const QString& url, QStringList path);
    // Appends a new chain of nodes for the remaining segments.
    void adSubNodesForURL(const QString& url, QStringList path);
    // The child of that name, or null.
    PLRHelpURL* childNamed(const QString& name) const { return m_index.value(name); }

    // "12-first-steps" -> "12 First Steps".
    static QString titleForSegment(const QString& segment);
    // The slash-separated parts of an address ("https:", host, path parts; "/" for a trailing slash).
    static QStringList pathSegments(const QString& url);

private:
    QString m_name;
    QString m_url;
    QList<std::shared_ptr<PLRHelpURL>> m_subNodes;
    QHash<QString, PLRHelpURL*> m_index;
};

// Fills the Help menu with the help centre's articles, read from its site map, followed by
// the user-group item. The site map is fetched and read in the background: the menu is usable
// at once, and the articles go in above the user-group item when they arrive. Only https
// addresses of the help centre's own host become items, and the menu is bounded in depth and
// in items per menu (what is left out is logged).
class PLRHelpManager : public QObject {
    Q_OBJECT
public:
    // What choosing an article or the user-group item does with its address.
    using PresentHelp = std::function<void(const QUrl& url)>;

    explicit PLRHelpManager(QObject* parent = nullptr);
    ~PLRHelpManager() override;

    // Builds the menu once: adds the user-group item, counts each opening of the menu and
    // starts reading the site map (after the main window's first frame when one is on its way). `presentHelp` opens the chosen address.
    void setupHelpMenu(QMenu* helpMenu, PresentHelp presentHelp);

    // The site map's address: the help centre's, or the development service's when the
    // application talks to another host than production.
    static QUrl siteMapURL();
    // The user group's page.
    static QUrl userGroupURL();
    // The help centre: its articles are the only addresses that become items. The development
    // service stands in for it when the application talks to another host than production.
    static QUrl helpCentreURL();
    // Whether `url` is an article address of the help centre (its scheme, host and port).
    static bool isHelpCentreArticle(const QUrl& url, const QUrl& helpCentre);

    // How much of the site map reaches the menu.
    static constexpr int kMaxAddressLength = 2048;
    static constexpr int kMaxMenuDepth = 6;        // menus below the Help menu, items included
    static constexpr int kMaxItemsPerMenu = 60;
    static constexpr int kMaxMenuItems = 600;      // in all the menus together

    // Reads a site map document into a tree of the help centre's articles; null when it is
    // not a readable site map. Any thread.
    static std::unique_ptr<PLRHelpURL> treeFromSiteMap(const QByteArray& xml, const QUrl& helpCentre);
    // Reads a site map document into the tree (on the calling thread); false when it is not a
    // readable site map.
    bool loadSiteMap(const QByteArray& xml);
    // Adds the tree's articles to the menu (before the user-group item).
    void addSiteMapToHelpMenu();
    const PLRHelpURL& menuComponents() const { return *m_root; }
    bool isFetching() const { return m_reply != nullptr || m_reading; }

    // Transfer time-out of the site map.
    static constexpr int kSiteMapTimeoutMs = 15000;

signals:
    // The site map was read (or could not be), and the menu is complete.
    void siteMapFinished(bool loaded);

private:
    void fetchSiteMap();
    void addNode(const PLRHelpURL& node, QMenu* menu, QAction* before);
    void siteMapRead(std::shared_ptr<PLRHelpURL> tree);
    void menuWillOpen();

    QPointer<QMenu> m_menu;
    QPointer<QAction> m_articlesSeparator;
    QPointer<QAction> m_userGroupSeparator;
    PresentHelp m_presentHelp;
    std::shared_ptr<PLRHelpURL> m_root;
    QPointer<QNetworkReply> m_reply;
    bool m_siteMapAdded = false;
    bool m_reading = false;
};

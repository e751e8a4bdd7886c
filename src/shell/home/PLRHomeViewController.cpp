#include "shell/home/PLRHomeViewController.h"
#include "shell/home/PLRSupportChatHook.h"

#include "controls/ColorWithHex.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Bundle.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform-ui/Fonts.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRShellNotifications.h"
#include "shell/home/PLRCollectionViewLayout.h"
#include "shell/home/PLRRecentCollectionViewItemNewPost.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/home/PLRShellImages.h"

#include <QAction>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenu>
#include <QVBoxLayout>

#include <cmath>

using namespace platform::ui;

namespace {

class HomeRootView : public View {
public:
    using View::View;
    void drawRect(GraphicsContext& context, const QRectF&) override
    {
        context.fillRect(bounds(), ColorWithHex::smb_homeBackground());
    }
};

TextField* label(const QString& text, const QFont& font, const Color& colour, QWidget* parent)
{
    auto* field = new TextField(parent);
    field->setStringValue(text);
    field->setFont(font);
    field->setTextColor(colour);
    return field;
}

// The grid's margins in the screen: it runs down to 6 points above the bottom edge, the
// support chat's button over its bottom trailing corner.
constexpr int kGridBottomMargin = 6;
// The search field gives way before the tabs do in a narrow window (the window can be made
// narrower than its smallest size where nothing holds it to that size).
constexpr int kSearchFieldWidth = 230;
constexpr int kSearchFieldMinimumWidth = 120;
constexpr int kSelectionHeaderHeight = 44;

QList<PLRPersistantPost*> live(const QList<QPointer<PLRPersistantPost>>& list)
{
    QList<PLRPersistantPost*> posts;
    posts.reserve(list.size());
    for (const QPointer<PLRPersistantPost>& post : list)
        if (post)
            posts.append(post);
    return posts;
}

} // namespace

PLRHomeViewController::PLRHomeViewController(QObject* parent) : PLRViewController(parent) {}

PLRHomeViewController::~PLRHomeViewController()
{
    platform::NotificationCenter::defaultCenter().removeObserver(&m_observer);
    for (const QMetaObject::Connection& connection : std::as_const(m_accountConnections))
        QObject::disconnect(connection);
    if (m_postCollectionView) {
        m_postCollectionView->setDataSource(nullptr);
        m_postCollectionView->setDelegate(nullptr);
    }
    if (m_selectionStack)
        m_selectionStack->setSlidingDelegate(nullptr);
}

void PLRHomeViewController::registerScene()
{
    platform::Storyboard::registerScene(QLatin1String(kPLRMainStoryboard), QStringLiteral("PLRHomeViewController"),
                                        [] { return new PLRHomeViewController; });
}

PLRGalleryViewLayout* PLRHomeViewController::galleryLayout() const
{
    return m_postCollectionView ? dynamic_cast<PLRGalleryViewLayout*>(m_postCollectionView->collectionViewLayout()) : nullptr;
}

View* PLRHomeViewController::loadView()
{
    auto* root = new HomeRootView;
    // Its background shows between the tiles, drawn again as they change (see View::paintsInBands).
    root->setPaintsInBands(true);
    root->setIdentifier(QStringLiteral("PLRHomeViewController"));
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    // Greeting and version.
    auto* accountHeader = new View(root);
    accountHeader->setFixedHeight(86);
    auto* accountColumn = new QVBoxLayout(accountHeader);
    accountColumn->setContentsMargins(30, 22, 30, 6);
    accountColumn->setSpacing(2);
    m_accountNameLabel = label(QString(), systemFont(24, FontWeight::Medium), namedColor(QStringLiteral("plrTextColor")), accountHeader);
    m_accountNameLabel->setFixedHeight(32);
    m_versionLabel = label(QString(), systemFont(11), Color(0.5, 0.5, 0.5), accountHeader);
    m_versionLabel->setFixedHeight(16);
    accountColumn->addWidget(m_accountNameLabel);
    accountColumn->addWidget(m_versionLabel);
    column->addWidget(accountHeader);

    // Tabs, search and sort.
    // Where the screen is too narrow for them in one row, search and sort go under the tabs
    // (fitSelectionHeader).
    auto* selectionHeader = new View(root);
    m_selectionHeader = selectionHeader;
    selectionHeader->setFixedHeight(kSelectionHeaderHeight);
    m_selectionHeaderRow = new QBoxLayout(QBoxLayout::LeftToRight, selectionHeader);
    QBoxLayout* header = m_selectionHeaderRow;
    // The tabs' stack keeps room around them for a tab's focus ring: it reaches into the margins.
    const int ring = int(PLRSlidingButtonStack::ringRoom());
    header->setContentsMargins(24 - ring, 6 - ring, 24, 6 - ring);
    header->setSpacing(10);
    m_selectionStack = new PLRSlidingButtonStack(selectionHeader);
    m_selectionStack->addCell(QStringLiteral("All Posts"));
    m_selectionStack->addCell(QStringLiteral("Published"));
    m_selectionStack->addCell(QStringLiteral("Not Published"));
    m_selectionStack->setFixedSize(330 + 2 * ring, 32 + 2 * ring);
    header->addWidget(m_selectionStack);
    header->addStretch(1);
    auto* row = new QHBoxLayout;
    row->setSpacing(10);
    row->addStretch(1);
    header->addLayout(row);

    // The search field; the search box, its highlight, lies around it while searching.
    auto* searchField = new Box(selectionHeader);
    searchField->setIdentifier(QStringLiteral("searchField"));
    searchField->setFixedHeight(28);
    searchField->setMinimumWidth(kSearchFieldMinimumWidth);
    searchField->setMaximumWidth(kSearchFieldWidth);
    searchField->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    searchField->setFillColor(Color::white());
    searchField->setBorderColor(Color::black(0.15));
    searchField->setCornerRadius(4.0);
    auto* searchRow = new QHBoxLayout(searchField);
    searchRow->setContentsMargins(4, 1, 2, 1);
    searchRow->setSpacing(2);
    m_searchTextField = new TextField(searchField);
    m_searchTextField->setEditable(true);
    m_searchTextField->setPlaceholderString(QStringLiteral("Search posts"));
    m_searchTextField->setFont(systemFont(13));
    searchRow->addWidget(m_searchTextField, 1);
    m_cancelSearchButton = Button::withTitle(QStringLiteral("\u2715"), this, [this](Control*) { cancelSearch(); }, searchField);
    m_cancelSearchButton->setBordered(false);
    m_cancelSearchButton->setFixedSize(22, 22);
    searchRow->addWidget(m_cancelSearchButton);
    m_searchBox = new Box(searchField);
    m_searchBox->setIdentifier(QStringLiteral("searchBox"));
    m_searchBox->setBorderColor(ColorWithHex::smb_blueColour());
    m_searchBox->setCornerRadius(4.0);
    // (It follows the field's width: eventFilter.)
    searchField->installEventFilter(this);
    m_searchBox->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_searchBox->setHidden(true);
    QObject::connect(m_searchTextField->editor(), &QLineEdit::textChanged, this, [this] { controlTextDidChange(); });
    row->addWidget(searchField, 0, Qt::AlignVCenter);

    // The sort chooser is the kit's pop-up button; its three items stand for the sort menu's
    // items (the actions below keep their checked state).
    m_titleMenuItem = new QAction(QStringLiteral("Name"), this);
    m_creationMenuItem = new QAction(QStringLiteral("Date Created"), this);
    m_modifiedMenuItem = new QAction(QStringLiteral("Date Modified"), this);
    m_sortPopUpButton = new PLRPopupButton(selectionHeader);
    qint64 tag = 0;
    for (QAction* item : {m_titleMenuItem, m_creationMenuItem, m_modifiedMenuItem}) {
        item->setCheckable(true);
        QObject::connect(item, &QAction::triggered, this, [this, item] { sortTypeMenuAction(item); });
        m_sortPopUpButton->addItem(item->text(), tag++);
    }
    m_sortPopUpButton->setTarget(this);
    m_sortPopUpButton->setAction([this](Control* sender) {
        const QList<QAction*> items{m_titleMenuItem, m_creationMenuItem, m_modifiedMenuItem};
        const qint64 chosen = static_cast<PLRPopupButton*>(sender)->selectedTag();
        if (chosen >= 0 && chosen < items.size())
            sortTypeMenuAction(items[chosen]);
    });
    m_sortPopUpButton->setFixedSize(std::max(140, m_sortPopUpButton->sizeHint().width()), int(PLRPopupButton::kHeight));
    row->addWidget(m_sortPopUpButton, 0, Qt::AlignVCenter);
    // Placed by the row, not by a frame of its own.
    m_toggleSortOrderButton = new Button(selectionHeader);
    m_toggleSortOrderButton->setTarget(this);
    m_toggleSortOrderButton->setAction([this](Control*) { toggleSortOrder(); });
    m_toggleSortOrderButton->setBordered(false);
    m_toggleSortOrderButton->setFixedSize(24, 24);
    row->addWidget(m_toggleSortOrderButton, 0, Qt::AlignVCenter);
    selectionHeader->installEventFilter(this);
    column->addWidget(selectionHeader);

    // The tiles, or the empty state in their place.
    auto* body = new View(root);
    auto* stack = new QGridLayout(body);
    // The grid takes the screen's height; the band of the support chat's button is room to
    // scroll its last row clear of the button (below the last row, viewDidLoad), never a cut
    // of what fits above it.
    stack->setContentsMargins(14, 6, 14, kGridBottomMargin);
    m_postCollectionView = new PLRCollectionView(body);
    m_postCollectionView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_postCollectionView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    stack->addWidget(m_postCollectionView, 0, 0);

    m_emptyPostsContainer = new View(body);
    auto* emptyColumn = new QVBoxLayout(m_emptyPostsContainer);
    emptyColumn->addStretch(1);
    auto* emptyTitle = label(QStringLiteral("No posts here yet"), systemFont(20, FontWeight::Medium),
                             namedColor(QStringLiteral("plrTextColor")), m_emptyPostsContainer);
    emptyTitle->setIdentifier(QStringLiteral("emptyTitle"));
    emptyTitle->setAlignment(TextAlignment::Center);
    emptyTitle->setFixedHeight(28);
    auto* emptyText = label(QStringLiteral("A post is made from a folder of your photos."), systemFont(13),
                            Color(0.45, 0.45, 0.45), m_emptyPostsContainer);
    emptyText->setAlignment(TextAlignment::Center);
    emptyText->setFixedHeight(20);
    auto* emptyButton = Button::withTitle(QStringLiteral("New Post"), this, [this](Control*) { createNewBlog(); },
                                          m_emptyPostsContainer);
    emptyButton->setIdentifier(QStringLiteral("emptyNewPostButton"));
    emptyButton->setFixedSize(120, 30);
    emptyColumn->addWidget(emptyTitle);
    emptyColumn->addWidget(emptyText);
    emptyColumn->addSpacing(10);
    emptyColumn->addWidget(emptyButton, 0, Qt::AlignHCenter);
    emptyColumn->addStretch(2);
    m_emptyPostsContainer->setHidden(true);
    m_emptyTitle = emptyTitle;
    m_emptyText = emptyText;
    stack->addWidget(m_emptyPostsContainer, 0, 0);
    column->addWidget(body, 1);

    root->installEventFilter(this);
    return root;
}

void PLRHomeViewController::viewDidLoad()
{
    m_sortType = PLRDefaults::homeSortType();
    // A stored type this screen does not know would leave the list empty: the default instead.
    if (m_sortType < 0 || m_sortType > 2)
        m_sortType = 1;
    m_sortOrder = PLRDefaults::homeSortOrder();
    ensureSortMenu();

    m_selectionStack->setSelectedIndex(0);
    m_selectionStack->setSlidingDelegate(this);
    m_cancelSearchButton->setHidden(true);

    auto layout = std::make_unique<PLRGalleryViewLayout>();
    layout->setMinimumInteritemSpacing(10);
    layout->setMinimumLineSpacing(10);
    // Below the last row, the band of the support chat's button: scrolled to the end, the last
    // row ends 8 points above the button. Above the first row, room for the focus ring of a
    // tile that has the keyboard.
    const double ringRoom = std::ceil(View::kFocusRingWidth) + 1.0;
    layout->setSectionInset(QMarginsF(10, ringRoom, 10, kPLRSupportChatBand - kGridBottomMargin));   // left, top, right, bottom
    // Four columns 10 apart whatever the count: one post beside the new-post tile, or a search
    // matching two, stand where they would in a full row, not spread over the width.
    layout->setSpacesAsFullRows(true);
    m_postCollectionView->setCollectionViewLayout(std::move(layout));
    m_postCollectionView->registerItemFactory(QLatin1String(kPLRRecentCollectionViewItemNewPostIdentifier),
                                              [] { return new PLRRecentCollectionViewItemNewPost; });
    m_postCollectionView->registerItemFactory(QLatin1String(kPLRRecentCollectionViewItemIdentifier),
                                              [] { return new PLRRecentCollectionViewItem; });
    m_postCollectionView->setDataSource(this);
    m_postCollectionView->setDelegate(this);
    ensureGallerySize();

    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(&m_observer, QLatin1String(kPLR_POSTS_WERE_UPDATED), [this](const platform::Notification&) {
        postsWereUpdated();
    });
    center.addObserver(&m_observer, QLatin1String(kPLRUserSessionLoggedOutNotification), [this](const platform::Notification&) {
        // The signed-out account's posts go at once; the next session's come when shown.
        bindToCurrentAccount();
        ensureStructure();
        ensureUserDetails();
        reloadCollection();
    });
    QObject::connect(m_postCollectionView, &PLRCollectionView::frameChanged, this, [this] { ensureGallerySize(); });
}

void PLRHomeViewController::fitSelectionHeader(int width)
{
    // One row where the tabs, search and sort fit side by side; else two, search and sort
    // right-aligned under the tabs.
    QBoxLayout* header = m_selectionHeaderRow;
    const QMargins margins = header->contentsMargins();
    QLayoutItem* controls = header->itemAt(header->count() - 1);
    const int oneRow = margins.left() + m_selectionStack->width() + 2 * header->spacing() + controls->minimumSize().width()
                       + margins.right();
    const bool twoRows = width < oneRow;
    const auto direction = twoRows ? QBoxLayout::TopToBottom : QBoxLayout::LeftToRight;
    if (header->direction() == direction)
        return;
    header->setDirection(direction);
    header->setSpacing(twoRows ? 4 : 10);
    m_selectionHeader->setFixedHeight(twoRows ? kSelectionHeaderHeight + controls->sizeHint().height() + 4
                                              : kSelectionHeaderHeight);
}

bool PLRHomeViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && watched == m_selectionHeader)
        fitSelectionHeader(m_selectionHeader->width());
    if (m_searchBox && watched == m_searchBox->parentWidget() && event->type() == QEvent::Resize)
        m_searchBox->setGeometry(m_searchBox->parentWidget()->rect());
    if (isView(watched) && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            appear();
        else if (event->type() == QEvent::Hide)
            disappear();
    }
    return PLRViewController::eventFilter(watched, event);
}

void PLRHomeViewController::viewWillAppear() { appear(); }
void PLRHomeViewController::viewDidAppear() { appear(); }
void PLRHomeViewController::viewWillDisappear() { disappear(); }
void PLRHomeViewController::viewDidDisappear() { disappear(); }

void PLRHomeViewController::appear()
{
    if (m_onScreen)
        return;
    m_onScreen = true;
    view();
    m_versionLabel->setStringValue(QStringLiteral("Version %1").arg(platform::bundle::version()));
    bindToCurrentAccount();
    if (m_account)
        m_account->loadInPostsIfNeeded();
    ensureStructure();
    ensureUserDetails();
    reloadCollection();
    // The support chat sits in the home screen's bottom trailing corner.
    PLRSupportChatHook::attach(view());
}

void PLRHomeViewController::disappear()
{
    m_onScreen = false;
}

void PLRHomeViewController::bindToCurrentAccount()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    PLRPersistantAccount* account = session ? session->account() : nullptr;
    if (account == m_account && (account || m_accountConnections.isEmpty()))
        return;
    for (const QMetaObject::Connection& connection : std::as_const(m_accountConnections))
        QObject::disconnect(connection);
    m_accountConnections.clear();
    m_account = account;
    // Another user's posts must not stay on screen.
    m_posts.clear();
    m_activePosts.clear();
    m_nonActivePosts.clear();
    m_selectedPost = nullptr;
    if (!account)
        return;
    m_accountConnections << QObject::connect(account, &PLRPersistantAccount::currentPostsChanged, this, [this] {
        ensureStructure();
        scheduleReload();
    });
    m_accountConnections << QObject::connect(account, &PLRPersistantAccount::firstNameChanged, this, [this] { ensureUserDetails(); });
    m_accountConnections << QObject::connect(account, &PLRPersistantAccount::lastNameChanged, this, [this] { ensureUserDetails(); });
}

void PLRHomeViewController::ensureUserDetails()
{
    view();
    PLRUserSession* session = PLRCoreManager::userSession();
    PLRPersistantAccount* account = session ? session->account() : nullptr;
    if (!account || account->firstName().isEmpty() || account->lastName().isEmpty()) {
        m_accountNameLabel->setHidden(true);
        return;
    }
    const QString back = PLRDefaults::isFirstRun() ? QString() : QStringLiteral(" back");
    m_accountNameLabel->setStringValue(QStringLiteral("Welcome%1, %2 %3").arg(back, account->firstName(), account->lastName()));
    m_accountNameLabel->setHidden(false);
}

void PLRHomeViewController::ensureGallerySize()
{
    PLRGalleryViewLayout* layout = galleryLayout();
    if (!layout)
        return;
    const double collectionWidth = m_postCollectionView->viewport()->width();
    const double w = std::max(200.0, (collectionWidth - 50.0) * 0.25);
    const double h = std::ceil(w * 1.7083333333333333);
    if (layout->itemSize() == QSizeF(w, h))
        return;
    layout->setItemSize(QSizeF(w, h));
    m_postCollectionView->invalidateLayout();
}

void PLRHomeViewController::ensureStructure()
{
    PLRUserSession* session = PLRCoreManager::userSession();
    if (!session || !session->account()) {
        m_posts.clear();
    } else if (m_sortType >= 0 && m_sortType <= 2) {
        static const char* const keys[] = {"name", "creationDate", "updatedDate"};
        const QString filter = m_searchTextField ? m_searchTextField->stringValue() : QString();
        const QList<PLRPersistantPost*> sorted
            = session->currentPostsSortedByKeys({QString::fromLatin1(keys[m_sortType])}, m_sortOrder == 0, filter);
        m_posts.clear();
        m_posts.reserve(sorted.size());
        for (PLRPersistantPost* post : sorted)
            m_posts.append(post);
    }
    m_activePosts.clear();
    m_nonActivePosts.clear();
    for (const QPointer<PLRPersistantPost>& post : std::as_const(m_posts)) {
        if (!post)
            continue;
        if (PLRRecentCollectionViewItem::isPublished(post))
            m_activePosts.append(post);
        else
            m_nonActivePosts.append(post);
    }
    if (m_postCollectionView) {
        const bool empty = live(m_posts).isEmpty();
        m_postCollectionView->setHidden(empty);
        m_emptyPostsContainer->setHidden(!empty);
        const bool searching = m_searchTextField && !m_searchTextField->stringValue().isEmpty();
        m_emptyTitle->setStringValue(searching ? QStringLiteral("No matching posts") : QStringLiteral("No posts here yet"));
        m_emptyText->setStringValue(searching ? QStringLiteral("No post name contains \u201c%1\u201d.").arg(m_searchTextField->stringValue())
                                              : QStringLiteral("A post is made from a folder of your photos."));
    }
}

QList<PLRPersistantPost*> PLRHomeViewController::posts() const { return live(m_posts); }
QList<PLRPersistantPost*> PLRHomeViewController::activePosts() const { return live(m_activePosts); }
QList<PLRPersistantPost*> PLRHomeViewController::nonActivePosts() const { return live(m_nonActivePosts); }

QList<PLRPersistantPost*> PLRHomeViewController::tabList() const
{
    if (m_selectedTab == 0)
        return posts();
    if (m_selectedTab == 1)
        return activePosts();
    return nonActivePosts();
}

void PLRHomeViewController::reloadCollection()
{
    m_reloadScheduled = false;
    if (m_postCollectionView)
        m_postCollectionView->reloadData();
}

void PLRHomeViewController::scheduleReload()
{
    if (m_reloadScheduled)
        return;
    m_reloadScheduled = true;
    QPointer<PLRHomeViewController> self(this);
    platform::dispatchMain([self] {
        if (self && self->m_reloadScheduled)
            self->reloadCollection();
    });
}

void PLRHomeViewController::postsWereUpdated()
{
    ensureStructure();
    reloadCollection();
}

// --- Collection -------------------------------------------------------------------------------

qint64 PLRHomeViewController::numberOfItems(PLRCollectionView*, qint64)
{
    const QList<PLRPersistantPost*> list = tabList();
    m_counted.clear();
    m_counted.reserve(list.size());
    for (PLRPersistantPost* post : list)
        m_counted.append(post);
    return list.size() + (m_isSearching ? 0 : 1);
}

PLRCollectionViewItem* PLRHomeViewController::itemForRepresentedObjectAtIndex(PLRCollectionView* collectionView, qint64 index)
{
    if (!m_isSearching && index == 0)
        return collectionView->makeItem(QLatin1String(kPLRRecentCollectionViewItemNewPostIdentifier), index);
    const qint64 postIndex = m_isSearching ? index : index - 1;
    auto* item = static_cast<PLRRecentCollectionViewItem*>(
        collectionView->makeItem(QLatin1String(kPLRRecentCollectionViewItemIdentifier), index));
    if (!item)
        return nullptr;
    item->setDelegate(this);
    // The post the collection counted at that place; when it has gone since, the posts as
    // they are now.
    PLRPersistantPost* post = postIndex >= 0 && postIndex < m_counted.size() ? m_counted[postIndex].data() : nullptr;
    if (!post) {
        const QList<PLRPersistantPost*> list = tabList();
        post = postIndex >= 0 && postIndex < list.size() ? list[postIndex] : nullptr;
    }
    item->setRepresentedPost(post);
    return item;
}

void PLRHomeViewController::didSelectItemsAtIndexes(PLRCollectionView* collectionView, const QList<qint64>& indexes)
{
    if (indexes.isEmpty())
        return;
    auto* item = qobject_cast<PLRRecentCollectionViewItem*>(collectionView->itemAtIndex(indexes.first()));
    if (!item)
        return;
    m_selectedPost = item->representedPost();
    PLRShellHooks::enableImportExportPosts();
}

void PLRHomeViewController::didDeselectItemsAtIndexes(PLRCollectionView*, const QList<qint64>&)
{
    PLRShellHooks::disableImportExportPosts();
    m_selectedPost = nullptr;
}

void PLRHomeViewController::activateItemAtIndex(PLRCollectionView*, qint64 index)
{
    if (!m_isSearching && index == 0) {
        createNewBlog();
        return;
    }
    const QList<PLRPersistantPost*> list = tabList();
    const qint64 postIndex = m_isSearching ? index : index - 1;
    if (postIndex >= 0 && postIndex < list.size())
        PLRShellHooks::presentPost(list[postIndex]);
}

void PLRHomeViewController::showMenuForItemAtIndex(PLRCollectionView* collectionView, qint64 index)
{
    if (auto* item = qobject_cast<PLRRecentCollectionViewItem*>(collectionView->itemAtIndex(index)))
        item->showOptionMenu(item->openMenuButton());
}

void PLRHomeViewController::itemDidRecieveClick(PLRRecentCollectionViewItem* item)
{
    if (item && item->representedPost())
        PLRShellHooks::presentPost(item->representedPost());
}

void PLRHomeViewController::buttonStack(PLRSlidingButtonStack*, qint64 didSelectIndex)
{
    m_selectedTab = didSelectIndex;
    if (!m_postCollectionView)
        return;
    reloadCollection();
    m_postCollectionView->selectItem(0);
    m_postCollectionView->scrollToItem(0);
}

void PLRHomeViewController::createNewBlog()
{
    PLRShellHooks::presentNewPost();
}

// --- Sort and search --------------------------------------------------------------------------

void PLRHomeViewController::sortTypeMenuAction(QAction* sender)
{
    if (sender == m_titleMenuItem)
        m_sortType = 0;
    else if (sender == m_creationMenuItem)
        m_sortType = 1;
    else if (sender == m_modifiedMenuItem)
        m_sortType = 2;
    PLRDefaults::setHomeSortType(m_sortType);
    ensureSortMenu();
    ensureStructure();
    reloadCollection();
}

void PLRHomeViewController::toggleSortOrder()
{
    m_sortOrder = m_sortOrder == 1 ? 0 : 1;
    PLRDefaults::setHomeSortOrder(m_sortOrder);
    ensureSortMenu();
    ensureStructure();
    reloadCollection();
}

void PLRHomeViewController::ensureSortMenu()
{
    const QList<QAction*> items{m_titleMenuItem, m_creationMenuItem, m_modifiedMenuItem};
    for (qint64 i = 0; i < items.size(); ++i)
        items[i]->setChecked(i == m_sortType);
    if (m_sortType >= 0 && m_sortType < items.size())
        m_sortPopUpButton->selectItemWithTag(m_sortType);
    m_toggleImageName = QString::fromLatin1(m_sortOrder != 0 ? "sort-ascending-arrow" : "sort-descending-arrow");
    m_toggleSortOrderButton->setImage(PLRShellImages::image(m_toggleImageName));
}

void PLRHomeViewController::searchFieldClicked()
{
    m_searchTextField->editor()->setFocus(Qt::OtherFocusReason);
}

void PLRHomeViewController::controlTextDidChange()
{
    m_isSearching = !m_searchTextField->stringValue().isEmpty();
    m_searchBox->setHidden(!m_isSearching);
    m_searchBox->raise();
    m_cancelSearchButton->setHidden(!m_isSearching);
    ensureStructure();
    reloadCollection();
}

void PLRHomeViewController::cancelSearch()
{
    {
        const QSignalBlocker blocker(m_searchTextField->editor());
        m_searchTextField->setStringValue(QString());
    }
    m_isSearching = false;
    ensureStructure();
    reloadCollection();
    m_searchBox->setHidden(true);
    m_cancelSearchButton->setHidden(true);
}

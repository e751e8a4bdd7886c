#pragma once

#include "controls/PLRPopupButton.h"
#include "controls/PLRSlidingButtonStack.h"
#include "store/persistance-store/PLRPersistantAccount.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform-ui/Controls.h"
#include "platform-ui/PLRViewController.h"
#include "shell/home/PLRCollectionView.h"
#include "shell/home/PLRRecentCollectionViewItem.h"

#include <QList>
#include <QMenu>
#include <QPointer>

class QAction;
class QBoxLayout;
class PLRGalleryViewLayout;

// The screen a signed-in user sees between posts: greeting and version, three tabs (all,
// published, not published), a search field, the sort menu with its order toggle and the grid
// of post tiles led by the new-post tile. It follows the current session: its lists are built
// again whenever it is shown, when the account's posts change and after a sign-out.
class PLRHomeViewController : public PLRViewController,
                              public PLRRecentItemProtocol,
                              public PLRCollectionViewDataSource,
                              public PLRCollectionViewDelegate,
                              public PLRSlidingButtonStackDelegate {
    Q_OBJECT
public:
    explicit PLRHomeViewController(QObject* parent = nullptr);
    ~PLRHomeViewController() override;

    // Registers the screen as the scene "PLRHomeViewController" of the storyboard "Main".
    static void registerScene();

    // Appearance (also followed through the view's own show and hide).
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;
    void viewDidDisappear() override;

    // Actions.
    void postsWereUpdated();
    void sortTypeMenuAction(QAction* sender);
    void toggleSortOrder();
    void searchFieldClicked();
    void controlTextDidChange();
    void cancelSearch();
    void createNewBlog();
    void signOutUser() {}

    // PLRSlidingButtonStackDelegate.
    void buttonStack(PLRSlidingButtonStack* stack, qint64 didSelectIndex) override;
    // PLRRecentItemProtocol.
    void itemDidRecieveClick(PLRRecentCollectionViewItem* item) override;
    // PLRCollectionViewDataSource / Delegate.
    qint64 numberOfSectionsInCollectionView(PLRCollectionView*) override { return 1; }
    qint64 numberOfItems(PLRCollectionView* collectionView, qint64 section) override;
    PLRCollectionViewItem* itemForRepresentedObjectAtIndex(PLRCollectionView* collectionView, qint64 index) override;
    void didSelectItemsAtIndexes(PLRCollectionView* collectionView, const QList<qint64>& indexes) override;
    void didDeselectItemsAtIndexes(PLRCollectionView* collectionView, const QList<qint64>& indexes) override;
    // Return on a tile: the new-post tile starts a new post, a post's tile opens it.
    void activateItemAtIndex(PLRCollectionView* collectionView, qint64 index) override;
    void showMenuForItemAtIndex(PLRCollectionView* collectionView, qint64 index) override;

    void ensureUserDetails();
    void ensureGallerySize();
    void ensureStructure();
    void ensureSortMenu();

    // State.
    qint64 sortType() const { return m_sortType; }
    qint64 sortOrder() const { return m_sortOrder; }
    bool isSearching() const { return m_isSearching; }
    PLRPersistantPost* selectedPost() const { return m_selectedPost; }
    QList<PLRPersistantPost*> posts() const;
    QList<PLRPersistantPost*> activePosts() const;
    QList<PLRPersistantPost*> nonActivePosts() const;
    // The list of the selected tab.
    QList<PLRPersistantPost*> tabList() const;
    qint64 selectedTab() const { return m_selectedTab; }

    // Outlets.
    PLRSlidingButtonStack* selectionStack() const { return m_selectionStack; }
    platform::ui::TextField* versionLabel() const { return m_versionLabel; }
    platform::ui::TextField* accountNameLabel() const { return m_accountNameLabel; }
    PLRPopupButton* sortPopUpButton() const { return m_sortPopUpButton; }
    QAction* titleMenuItem() const { return m_titleMenuItem; }
    QAction* creationMenuItem() const { return m_creationMenuItem; }
    QAction* modifiedMenuItem() const { return m_modifiedMenuItem; }
    platform::ui::Button* toggleSortOrderButton() const { return m_toggleSortOrderButton; }
    QString toggleSortOrderImageName() const { return m_toggleImageName; }
    platform::ui::TextField* searchTextField() const { return m_searchTextField; }
    platform::ui::Box* searchBox() const { return m_searchBox; }
    platform::ui::Button* cancelSearchButton() const { return m_cancelSearchButton; }
    PLRCollectionView* postCollectionView() const { return m_postCollectionView; }
    platform::ui::View* emptyPostsContainer() const { return m_emptyPostsContainer; }
    PLRGalleryViewLayout* galleryLayout() const;

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void bindToCurrentAccount();
    void reloadCollection();
    void scheduleReload();
    void appear();
    void disappear();
    void fitSelectionHeader(int width);

    QPointer<QWidget> m_selectionHeader;
    QBoxLayout* m_selectionHeaderRow = nullptr;   // the header view's layout
    QPointer<PLRSlidingButtonStack> m_selectionStack;
    QPointer<platform::ui::TextField> m_versionLabel;
    QPointer<platform::ui::TextField> m_accountNameLabel;
    QPointer<PLRPopupButton> m_sortPopUpButton;
    QAction* m_titleMenuItem = nullptr;
    QAction* m_creationMenuItem = nullptr;
    QAction* m_modifiedMenuItem = nullptr;
    QPointer<platform::ui::Button> m_toggleSortOrderButton;
    QString m_toggleImageName;
    QPointer<platform::ui::TextField> m_searchTextField;
    QPointer<platform::ui::Box> m_searchBox;
    QPointer<platform::ui::Button> m_cancelSearchButton;
    QPointer<PLRCollectionView> m_postCollectionView;
    QPointer<platform::ui::View> m_emptyPostsContainer;
    QPointer<platform::ui::TextField> m_emptyTitle;
    QPointer<platform::ui::TextField> m_emptyText;

    qint64 m_sortType = 1;
    qint64 m_sortOrder = 0;
    qint64 m_selectedTab = 0;
    bool m_isSearching = false;
    QPointer<PLRPersistantPost> m_selectedPost;
    QList<QPointer<PLRPersistantPost>> m_posts;
    QList<QPointer<PLRPersistantPost>> m_activePosts;
    QList<QPointer<PLRPersistantPost>> m_nonActivePosts;
    // The selected tab's posts as the collection last counted them: each tile it asks for
    // takes its post from here instead of walking every post again.
    QList<QPointer<PLRPersistantPost>> m_counted;
    QPointer<PLRPersistantAccount> m_account;
    QList<QMetaObject::Connection> m_accountConnections;
    bool m_onScreen = false;
    bool m_reloadScheduled = false;
    QObject m_observer;
};

#pragma once

#include "panels/inspector/PLRInspectorPanels.h"
#include "platform/NotificationCenter.h"
#include "platform-ui/View.h"
#include "shell/PLRGenericPostViewController.h"

#include <QPointer>
#include <QString>

#include <limits>

#include "controls/PLRProgressBar.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "platform-ui/Controls.h"
#include "publishing/publish/PLRPublishButton.h"
#include "publishing/publish/PLRWebServicePostPublisher.h"

class PLRWebServiceUserManager;

// The item of the category pop-up that publishes without a WordPress category.
inline constexpr char kPLRPublishViaCodeTitle[] = "Publish via Code";
inline constexpr qint64 kPLRPublishViaCodeTag = std::numeric_limits<qint64>::max();
inline constexpr char kPLRCategoriesNotFetchedTitle[] = "Categories Not Fetched";

// The inspector's publish panel for the open post. It follows the post's publisher, the
// connection machine and the user session's machine, shows the matching overlay or area, fills
// its status area (update and link buttons, progress bar and text, cancel) and drives the
// Document page's publish-state area. It carries out publish, update, cancel, unpublish, copy
// link and visit page, offers an update after a WordPress setting changed and shows the
// first-post page once.
class PLRPublishViewController : public PLRGenericPostViewController,
                                 public PLRInspectorPublishPanel,
                                 public PLRPublishButtonDelegate {
    Q_OBJECT
public:
    explicit PLRPublishViewController(QObject* parent = nullptr);
    // The "UPDATE BLOG" and link buttons of a published post: one small row, side by side.
    static constexpr double kStatusButtonHeight = 28.0;
    ~PLRPublishViewController() override;

    // Registers the panel with the "Main" scenes under the inspector's identifier.
    static void registerScene();

    void setPostManager(PLRPostManager* manager) override;
    PLRWebServicePostPublisher* postPublisher() const;

    // PLRInspectorPublishPanel.
    bool isShowingSpecialOverlayView() const override { return m_isShowingSpecialOverlayView; }
    void setIsShowingSpecialOverlayView(bool showing) { m_isShowingSpecialOverlayView = showing; }
    void setDocumentViewController(PLRInspectorPublishArea* area) override;
    PLRInspectorPublishArea* documentViewController() const;
    void publish() override;
    void cancelUpdate() override;
    void deleteRemotePost() override;
    void showWordpressSettings() override;
    void changePublishAsDraftState() override;

    // Panel actions.
    void performUpdate();
    void copyLinkToClipboard();
    // Tries the upload again after the publisher stopped trying.
    void retryUpload();
    void changePostWordpressCategoryType();

    // Refreshes.
    void ensureMainStack();
    void ensureWordpressViewState();
    void ensureInfoViewState();
    void ensureStateViewState();
    void ensurePublishViewState();
    void ensureUpdateButton(bool enabled);
    void setWPCategories(const QStringList& categories, class PLRPopupButton* popup, const QString& selected);
    void showUpdateNowAlertIfPossible();
    void showFirstPostCompleteModal();

    // Notification handlers.
    void postPublisherStateChangeNotification(const platform::Notification& notification);
    void webServiceStateChangeNotification(const platform::Notification& notification);
    void userServiceManagerStateChangeNotification(const platform::Notification& notification);

    void viewWillAppear() override;
    void buttonWasClicked(PLRPublishButton* button) override;

    // The format of the panel's dates: time, day, month and the two digits of the calendar year.
    static QString formatDate(const QDateTime& date);

    // Parts, for tests.
    InspectorBGView* noServerConnectionView() const { return m_noServerConnectionView; }
    InspectorBGView* noInternetView() const { return m_noInternetView; }
    InspectorBGView* fetchingStatusView() const { return m_fetchingStatusView; }
    InspectorBGView* stateContainerView() const { return m_stateContainerView; }
    InspectorBGView* publishContainerView() const { return m_publishContainerView; }
    platform::ui::Button* statusUpdateButton() const { return m_statusUpdateButton; }
    platform::ui::Button* statusViewBlogButton() const { return m_statusViewBlogButton; }
    platform::ui::Button* statusCancelUpdateButton() const { return m_statusCancelUpdateButton; }
    platform::ui::Button* statusRetryButton() const { return m_statusRetryButton; }
    PLRProgressBar* statusProgressIndicator() const { return m_statusProgressIndicator; }
    platform::ui::TextField* progressBarInfo() const { return m_progressBarInfo; }
    PLRPublishButton* publishMainButton() const { return m_publishMainButton; }
    double statusProgressIndicatorTrailing() const { return m_trailing; }
    bool serverStartedBuildingBlog() const { return m_serverStartedBuildingBlog; }
    QString wpLastUsedCategory() const { return m_wpLastUsedCategory; }

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    PLRWebServiceUserManager* userManager() const;
    QString publisherStateName() const;
    bool isWordPress() const;
    bool userNotVerified() const;
    void setTrailing(double trailing);
    void showOverlayLayout(bool fetching);
    void stopObservingPublisher();

    QPointer<InspectorBGView> m_noServerConnectionView;
    QPointer<InspectorBGView> m_noInternetView;
    QPointer<InspectorBGView> m_fetchingStatusView;
    QPointer<InspectorBGView> m_stateContainerView;
    QPointer<InspectorBGView> m_publishContainerView;
    QPointer<PLRSpinner> m_fetchingProgressIndicator;
    QPointer<PLRSpinner> m_serverConnectionProgressIndicator;
    QPointer<platform::ui::Button> m_statusUpdateButton;
    QPointer<platform::ui::Button> m_statusViewBlogButton;
    QPointer<PLRProgressBar> m_statusProgressIndicator;
    QPointer<platform::ui::Button> m_statusCancelUpdateButton;
    QPointer<platform::ui::Button> m_statusRetryButton;
    QPointer<platform::ui::TextField> m_progressBarInfo;
    QPointer<PLRPublishButton> m_publishMainButton;
    QPointer<QWidget> m_statusRow;
    double m_trailing = 12.0;

    bool m_wpPublish = false;
    QString m_wpLastUsedCategory;
    bool m_wpLastUsedDraftFlag = true;
    bool m_serverStartedBuildingBlog = false;
    bool m_skipViewStateUpdate = false;
    bool m_isShowingSpecialOverlayView = false;

    PLRInspectorPublishArea* m_documentViewController = nullptr;
    QPointer<QObject> m_documentLifetime;
    // One observer context per machine: the machines share their notification's name, and
    // removing an observer removes every handler of its context.
    QPointer<QObject> m_publisherObserver;
    QPointer<QObject> m_connectionObserver;
    QPointer<QObject> m_userObserver;
    QPointer<PLRWebServicePostPublisher> m_observedPublisher;
};


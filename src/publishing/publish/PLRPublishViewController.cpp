#include "publishing/publish/PLRPublishViewController.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "services/state_machine/PLRFiniteStateMachineErrors.h"
#include "controls/ColorWithHex.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRProgressBar.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "controls/PLRSwitchButton.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/Storyboard.h"
#include "platform/UserNotifications.h"
#include "platform/Workspace.h"
#include "platform-ui/AttributedString.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/GraphicsContext.h"
#include "platform-ui/Images.h"
#include "platform-ui/Layer.h"
#include "publishing/publish/PLRPublishPanelSupport.h"
#include "platform/Clock.h"
#include "publishing/publish/PLRWebServicePostPublisher.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "shell/PLRShellNotifications.h"
#include "shell/modal/PLRModalManager.h"
#include "services/web-services/PLRWebServiceManager.h"
#include "services/web-services/PLRWebServicePublishRevision.h"
#include "services/web-services/PLRWebServicePostRevision.h"
#include "services/web-services/PLRWebServicePublisher.h"
#include "services/web-services/PLRWebServiceUserManager.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QTimeZone>
#include <QVBoxLayout>

using namespace platform::ui;
using namespace PLRPublishPanelSupport;

namespace {

QString latin(const char* text) { return QString::fromLatin1(text); }

QString stateName(const PLRFiniteStatePtr& state) { return state ? state->name() : QString(); }

// The event that a state-change notification reports (empty when it carries none).
QString transitionEventName(const platform::Notification& notification)
{
    const auto transition = notification.userInfo.value(latin(PLRFiniteStateMachineTransitionUserInfoKey)).value<PLRFiniteTransitionPtr>();
    return transition && transition->event() ? transition->event()->name() : QString();
}

QStringList categoryTitles(const PLRWebServicePublisherPtr& publisher)
{
    QStringList titles;
    if (publisher && publisher->categories())
        for (const QVariant& category : *publisher->categories())
            titles.append(category.toString());
    return titles;
}

// A status-area button whose small icon sits at its leading edge, beside the title.
class StatusButton : public Button {
public:
    explicit StatusButton(const QString& title, QObject* target, Action action, QWidget* parent) : Button(parent)
    {
        setTitle(title);
        setTarget(target);
        setAction(std::move(action));
        setFixedHeight(int(PLRPublishViewController::kStatusButtonHeight));
    }
    QRectF imageRectInBounds() const override
    {
        const QRectF b = bounds();
        const double side = std::min(14.0, b.height());
        return QRectF(8.0, (b.height() - side) / 2.0, side, side);
    }
    // The title is centred in the room right of the icon.
    void drawRect(GraphicsContext& context, const QRectF&) override
    {
        const QRectF b = bounds();
        QPainterPath shape;
        shape.addRoundedRect(b.adjusted(0.5, 0.5, -0.5, -0.5), 4, 4);
        context.fillPath(shape, isHighlighted() ? Color(0.85, 0.85, 0.85) : Color::white());
        context.strokePath(shape, Color::black(0.2), 1.0);
        double left = 0.0;
        if (!image().isNull()) {
            const QRectF icon = imageRectInBounds();
            context.drawImage(image(), icon);
            left = icon.right() + 2.0;
        }
        const AttributedString text(title(), {{kFontAttributeName, systemFont(11)},
                                              {kForegroundColorAttributeName,
                                               QVariant::fromValue(isEnabled() ? Color::black(0.85) : Color::black(0.3))},
                                              {kParagraphStyleAttributeName, QVariant::fromValue(ParagraphStyle{TextAlignment::Center})}});
        const double width = b.width() - left;
        TextLayout layout(text, QSizeF(width, 1e9));
        const double h = layout.usedRect().height();
        context.drawAttributedString(text, QRectF(left, (b.height() - h) / 2, width, h));
    }
};

} // namespace

// ---------------------------------------------------------------- panel

PLRPublishViewController::PLRPublishViewController(QObject* parent) : PLRGenericPostViewController(parent) {}

PLRPublishViewController::~PLRPublishViewController()
{
    stopObservingPublisher();
}

void PLRPublishViewController::registerScene()
{
    platform::Storyboard::registerScene(latin(kPLRMainStoryboard), latin(kPLRInspectorPublishPanelIdentifier),
                                        [] { return new PLRPublishViewController; });
}

View* PLRPublishViewController::loadView()
{
    auto* root = new View;
    root->setObjectName(QStringLiteral("PLRPublishPanel"));
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto overlay = [&](QPointer<InspectorBGView>& view, const QString& text, QPointer<PLRSpinner>* spinner) {
        view = new InspectorBGView(root);
        view->setLineOnTop(true);
        auto* rows = new QVBoxLayout(view);
        rows->setContentsMargins(12, 10, 12, 10);
        auto* label = makeLabel(text, view);
        label->setAlignment(TextAlignment::Center);
        rows->addWidget(label);
        if (spinner) {
            *spinner = new PLRSpinner(QRectF(0, 0, 20, 20), view);
            (*spinner)->setFixedSize(20, 20);
            rows->addWidget(*spinner, 0, Qt::AlignHCenter);
        }
        // The text and its spinner stay together at the top, however tall the overlay is.
        rows->addStretch(1);
        view->setHidden(true);
        column->addWidget(view);
    };
    overlay(m_noServerConnectionView, QStringLiteral("Connecting to Pellora..."), &m_serverConnectionProgressIndicator);
    overlay(m_noInternetView, QStringLiteral("You are offline. Publishing needs an internet connection."), nullptr);
    overlay(m_fetchingStatusView, QStringLiteral("Fetching the post's status..."), &m_fetchingProgressIndicator);

    // Status area of a published post.
    m_stateContainerView = new InspectorBGView(root);
    m_stateContainerView->setLineOnTop(true);
    auto* stateColumn = new QVBoxLayout(m_stateContainerView);
    stateColumn->setContentsMargins(12, 10, 12, 10);
    stateColumn->setSpacing(6);
    auto* buttons = new QHBoxLayout;
    m_statusUpdateButton = new StatusButton(QStringLiteral("UPDATE BLOG"), this, [this](Control*) { performUpdate(); },
                                            m_stateContainerView);
    m_statusUpdateButton->setIdentifier(QStringLiteral("statusUpdateButton"));
    m_statusViewBlogButton = new StatusButton(QStringLiteral("COPY LINK"), this, [this](Control*) { copyLinkToClipboard(); },
                                              m_stateContainerView);
    m_statusViewBlogButton->setIdentifier(QStringLiteral("statusViewBlogButton"));
    buttons->addWidget(m_statusUpdateButton, 1);
    buttons->addWidget(m_statusViewBlogButton, 1);
    stateColumn->addLayout(buttons);
    auto* progressRow = new QWidget(m_stateContainerView);
    m_statusRow = progressRow;
    auto* progressLayout = new QHBoxLayout(progressRow);
    progressLayout->setContentsMargins(0, 0, 12, 0);
    progressLayout->setSpacing(0);
    m_statusProgressIndicator = new PLRProgressBar(QRectF(0, 0, 200, 10), progressRow);
    m_statusProgressIndicator->setMinimumHeight(10);
    m_statusProgressIndicator->awakeFromNib();
    progressLayout->addWidget(m_statusProgressIndicator, 1);
    m_statusCancelUpdateButton = Button::withTitle(QStringLiteral("Cancel"), this, [this](Control*) { cancelUpdate(); }, m_stateContainerView);
    m_statusCancelUpdateButton->setIdentifier(QStringLiteral("statusCancelUpdateButton"));
    // Shown when the uploads kept failing and the publisher stopped trying.
    m_statusRetryButton = Button::withTitle(QStringLiteral("Retry"), this, [this](Control*) { retryUpload(); }, m_stateContainerView);
    m_statusRetryButton->setIdentifier(QStringLiteral("statusRetryButton"));
    m_statusRetryButton->setHidden(true);
    auto* cancelRow = new QHBoxLayout;
    cancelRow->addWidget(progressRow, 1);
    cancelRow->addWidget(m_statusRetryButton);
    cancelRow->addWidget(m_statusCancelUpdateButton);
    stateColumn->addLayout(cancelRow);
    m_progressBarInfo = makeLabel(QString(), m_stateContainerView);
    stateColumn->addWidget(m_progressBarInfo);
    stateColumn->addStretch(1);
    m_stateContainerView->setHidden(true);
    column->addWidget(m_stateContainerView);

    // Publish area of an unpublished post.
    m_publishContainerView = new InspectorBGView(root);
    auto* publishColumn = new QVBoxLayout(m_publishContainerView);
    publishColumn->setContentsMargins(12, 10, 12, 10);
    m_publishMainButton = new PLRPublishButton(m_publishContainerView);
    m_publishMainButton->setDelegate(this);
    publishColumn->addWidget(m_publishMainButton);
    publishColumn->addStretch(1);
    m_publishContainerView->setHidden(true);
    column->addWidget(m_publishContainerView);
    return root;
}

void PLRPublishViewController::viewDidLoad()
{
    PLRGenericPostViewController::viewDidLoad();
}

QString PLRPublishViewController::formatDate(const QDateTime& date)
{
    if (!date.isValid())
        return QString();
    // The calendar year ("yy"), not the week-based one.
    return QLocale::c().toString(date.toLocalTime(), QStringLiteral("hh:mmAP, dd/MM/yy"));
}

void PLRPublishViewController::setPostManager(PLRPostManager* manager)
{
    stopObservingPublisher();
    PLRGenericPostViewController::setPostManager(manager);
    view();

    if (PLRWebServicePostPublisher* publisher = postPublisher()) {
        m_publisherObserver = new QObject(this);
        m_observedPublisher = publisher;
        publisher->addStateChangeNotificationHandler(
            m_publisherObserver, [this](const platform::Notification& note) { postPublisherStateChangeNotification(note); });
        // After the state notification of the same moment, which is queued first.
        connect(publisher, &PLRWebServicePostPublisher::uploadStalledChanged, m_publisherObserver, [this] {
            QPointer<PLRPublishViewController> self(this);
            platform::dispatchMain([self] {
                if (self)
                    self->ensureMainStack();
            });
        });
    }
    if (!m_connectionObserver) {
        m_connectionObserver = new QObject(this);
        PLRWebServiceManager::globalManager().addStateChangeNotificationHandler(
            m_connectionObserver, [this](const platform::Notification& note) { webServiceStateChangeNotification(note); });
    }
    delete m_userObserver;
    if (PLRWebServiceUserManager* users = userManager()) {
        m_userObserver = new QObject(this);
        users->addStateChangeNotificationHandler(
            m_userObserver, [this](const platform::Notification& note) { userServiceManagerStateChangeNotification(note); });
    }
    ensureMainStack();
}

void PLRPublishViewController::stopObservingPublisher()
{
    if (m_observedPublisher && m_publisherObserver)
        m_observedPublisher->removeStateChangeNotificationHandler(m_publisherObserver);
    delete m_publisherObserver;
    m_observedPublisher = nullptr;
}

PLRWebServicePostPublisher* PLRPublishViewController::postPublisher() const
{
    PLRPostManager* manager = postManager();
    return manager ? manager->existingComponent<PLRWebServicePostPublisher>() : nullptr;
}

PLRWebServiceUserManager* PLRPublishViewController::userManager() const
{
    return PLRWebServiceUserManager::forSession(PLRCoreManager::userSession());
}

void PLRPublishViewController::setDocumentViewController(PLRInspectorPublishArea* area)
{
    m_documentViewController = area;
    m_documentLifetime = dynamic_cast<QObject*>(area);
    if (PLRPopupButton* popup = area ? area->categoriesPopup() : nullptr) {
        popup->setTarget(this);
        popup->setAction([this](Control*) { changePostWordpressCategoryType(); });
    }
}

PLRInspectorPublishArea* PLRPublishViewController::documentViewController() const
{
    return m_documentLifetime ? m_documentViewController : nullptr;
}

QString PLRPublishViewController::publisherStateName() const
{
    PLRWebServicePostPublisher* publisher = postPublisher();
    return publisher ? publisher->currentStateName() : QString();
}

bool PLRPublishViewController::isWordPress() const
{
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServicePublisherPtr publisher = users ? users->remotePublisher() : nullptr;
    return publisher && publisher->type() == 3;
}

bool PLRPublishViewController::userNotVerified() const
{
    // The connection machine has no such state: whether the e-mail address is verified is the
    // user session's machine's to say.
    PLRWebServiceUserManager* users = userManager();
    return users && stateName(users->currentState()) == QLatin1String(PLRWSUM_STATE_NOT_VERIFIED);
}

void PLRPublishViewController::setTrailing(double trailing)
{
    m_trailing = trailing;
    if (m_statusRow)
        m_statusRow->layout()->setContentsMargins(0, 0, int(trailing - 12.0), 0);
}

void PLRPublishViewController::viewWillAppear()
{
    PLRGenericPostViewController::viewWillAppear();
    ensureMainStack();
}

// ---------------------------------------------------------------- layouts

void PLRPublishViewController::showOverlayLayout(bool fetching)
{
    PLRInspectorPublishArea* doc = documentViewController();
    if (fetching)
        m_fetchingProgressIndicator->startAnimating();
    m_noInternetView->setHidden(true);
    if (doc)
        doc->hideOfflineView();
    m_noServerConnectionView->setHidden(false);
    if (doc)
        doc->showNoServerConnectionView();
    m_isShowingSpecialOverlayView = true;
    m_fetchingStatusView->setHidden(true);
    if (doc) {
        doc->hideFetchingInfoView();
        doc->hideWordPressError();
    }
    m_stateContainerView->setHidden(true);
    m_publishContainerView->setHidden(true);
    m_serverConnectionProgressIndicator->startAnimating();
}

void PLRPublishViewController::ensureMainStack()
{
    view();
    m_isShowingSpecialOverlayView = false;
    PLRInspectorPublishArea* doc = documentViewController();
    const QString P = publisherStateName();
    const QString W = stateName(PLRWebServiceManager::globalManager().currentState());
    const bool notVerified = userNotVerified();

    auto hideOverlays = [&] {
        m_noInternetView->setHidden(true);
        m_noServerConnectionView->setHidden(true);
        m_fetchingStatusView->setHidden(true);
        m_serverConnectionProgressIndicator->stopAnimating(false);
        m_fetchingProgressIndicator->stopAnimating(false);
        if (doc) {
            doc->hideOfflineView();
            doc->hideNoServerConnectionView();
            doc->hideFetchingInfoView();
        }
    };

    if (P.isEmpty() || P == QLatin1String(PLRPP_STATE_FETCHING_INFO)) {
        showOverlayLayout(true);
        return;
    }
    if (P == QLatin1String(PLRPP_STATE_WAITING_FOR_SERVICE) && !notVerified) {
        if (W == QLatin1String(PLRWSM_STATE_SERVER_CONNECTION)) {
            showOverlayLayout(false);
        } else if (W == QLatin1String(PLRWSM_STATE_NO_INTERNET)) {
            m_noInternetView->setHidden(false);
            if (doc)
                doc->showOfflineView();
            m_isShowingSpecialOverlayView = true;
            m_noServerConnectionView->setHidden(true);
            m_fetchingStatusView->setHidden(true);
            if (doc) {
                doc->hideNoServerConnectionView();
                doc->hideFetchingInfoView();
                doc->hideWordPressError();
            }
            m_stateContainerView->setHidden(true);
            m_publishContainerView->setHidden(true);
        }
        return;
    }
    if (P != QLatin1String(PLRPP_STATE_NOT_PUBLISHED) && !notVerified) {
        const bool wordPress = isWordPress();
        if (wordPress)
            ensureWordpressViewState();
        ensureInfoViewState();
        ensureStateViewState();
        hideOverlays();
        if (doc) {
            doc->setWordPressSettingsViewHidden(!wordPress);
            if (!wordPress)
                doc->hideWordPressError();
        }
        m_stateContainerView->setHidden(false);
        m_publishContainerView->setHidden(true);
        return;
    }
    ensurePublishViewState();
    ensureInfoViewState();
    if (doc)
        doc->showUnpublishedState();
    hideOverlays();
    if (doc)
        doc->hideWordPressError();
    m_stateContainerView->setHidden(true);
    m_publishContainerView->setHidden(false);
}

// ---------------------------------------------------------------- notifications

void PLRPublishViewController::postPublisherStateChangeNotification(const platform::Notification& notification)
{
    QPointer<PLRPublishViewController> self(this);
    const QVariantMap userInfo = notification.userInfo;
    PLRWebServicePostPublisher* publisher = postPublisher();
    const bool fromPublisher = publisher && notification.object == publisher->stateMachine();
    platform::dispatchMain([self, userInfo, fromPublisher] {
        if (!self)
            return;
        PLRPublishViewController* panel = self.data();
        panel->ensureMainStack();
        PLRInspectorPublishArea* doc = panel->documentViewController();
        PLRProgressBar* bar = panel->m_statusProgressIndicator;
        // The state this notification reports: progress that arrives after the publisher has
        // moved on is still this notification's, and a later notification follows in order.
        // A connection change carries the connection machine's transition: the publisher's own
        // state counts then.
        const auto transition =
            userInfo.value(latin(PLRFiniteStateMachineTransitionUserInfoKey)).value<PLRFiniteTransitionPtr>();
        const PLRFiniteStatePtr reported = transition && fromPublisher ? transition->destinationState() : nullptr;
        const QString P = reported ? reported->name() : panel->publisherStateName();
        PLRWebServicePostPublisher* current = panel->postPublisher();
        if (P == QLatin1String(PLRPP_STATE_UPLOADING_IMAGES) && current && current->uploadStalled()) {
            // ensureMainStack has shown the failure and the retry.
        } else if (P == QLatin1String(PLRPP_STATE_UPLOADING_IMAGES)) {
            QVariantMap data = userInfo;
            data.remove(latin(PLRFiniteStateMachineTransitionUserInfoKey));
            const bool hasRequired = data.contains(latin(kPLRPPRequiredKey));
            const bool hasUploaded = data.contains(latin(kPLRPPUploadedKey));
            if (userInfo.isEmpty()) {
                bar->setIndeterminate(true);
                if (doc)
                    doc->showUploadingState(QStringLiteral("Uploading"));
                panel->m_progressBarInfo->setStringValue(QStringLiteral("Uploading Images..."));
            } else if (!hasRequired && !hasUploaded) {
                bar->setIndeterminate(true);
                panel->m_progressBarInfo->setStringValue(QStringLiteral("Preparing image upload..."));
                if (doc)
                    doc->showUploadingState(QStringLiteral("Building Blog"));
            } else {
                const float uploaded = data.value(latin(kPLRPPUploadedKey)).toFloat();
                const float required = data.value(latin(kPLRPPRequiredKey)).toFloat();
                double progress = required > 0 ? double(uploaded / required * 100.0f) : 0.0;
                if (uploaded == 1.0f && required > 1.0f)
                    progress = 0.0;
                bar->setIndeterminate(false);
                bar->setDoubleValue(progress);
                if (qint64(uploaded) != 0) {
                    if (doc)
                        doc->showUploadingState(QStringLiteral("Uploading"));
                    panel->m_progressBarInfo->setStringValue(
                        QStringLiteral("Uploading %1 of %2 images...").arg(qint64(uploaded)).arg(qint64(required)));
                }
            }
        } else if (P == QLatin1String(PLRPP_STATE_SERVER_BUILDING)) {
            bar->setIndeterminate(true);
            panel->m_progressBarInfo->setStringValue(QStringLiteral("Building Blog..."));
            if (doc)
                doc->showUploadingState(QStringLiteral("Building Blog..."));
            panel->m_serverStartedBuildingBlog = true;
        } else if (P == QLatin1String(PLRPP_STATE_IDLE) && panel->m_serverStartedBuildingBlog) {
            panel->m_serverStartedBuildingBlog = false;
            panel->ensureStateViewState();
            panel->showFirstPostCompleteModal();
        } else {
            panel->ensureStateViewState();
        }
    });
}

void PLRPublishViewController::webServiceStateChangeNotification(const platform::Notification& notification)
{
    const QString W = stateName(PLRWebServiceManager::globalManager().currentState());
    if (W == QLatin1String(PLRWSM_STATE_NO_INTERNET) || W == QLatin1String(PLRWSM_STATE_SERVER_CONNECTION))
        postPublisherStateChangeNotification(notification);
}

void PLRPublishViewController::userServiceManagerStateChangeNotification(const platform::Notification& notification)
{
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServicePublisherPtr publisher = users ? users->remotePublisher() : nullptr;
    if (transitionEventName(notification) != QLatin1String(PLRWSUM_EVENT_FETCHED_INFO) || !publisher)
        return;
    if (PLRInspectorPublishArea* doc = documentViewController())
        doc->updatePublishHost(publisher->host());
    ensureInfoViewState();
    ensureMainStack();
}

// ---------------------------------------------------------------- areas

void PLRPublishViewController::ensureStateViewState()
{
    view();
    PLRWebServicePostPublisher* publisher = postPublisher();
    PLRInspectorPublishArea* doc = documentViewController();
    const PLRWebServicePostPtr post = publisher ? publisher->publishingPost() : nullptr;
    if (!post) {
        m_statusUpdateButton->setHidden(true);
        m_statusViewBlogButton->setHidden(true);
        m_statusProgressIndicator->setIndeterminate(true);
        setTrailing(12.0);
        m_statusProgressIndicator->startAnimation();
        m_statusProgressIndicator->setHidden(false);
        m_statusCancelUpdateButton->setHidden(true);
        m_statusRetryButton->setHidden(true);
        m_progressBarInfo->setHidden(false);
        if (doc)
            doc->setUploadCancelEnabled(true);
        return;
    }

    QDateTime updated;
    if (!post->liveRevision() && !post->pendingRevision()) {
        updated = post->creationDate();
    } else {
        const PLRWebServicePostRevisionPtr revision = post->pendingRevision() ? publisher->pendingRevision() : publisher->liveRevision();
        if (revision)
            updated = revision->updatedDate();
    }
    if (doc)
        doc->updateLastUpdatedDate(formatDate(updated));

    if (publisher->updating()) {
        m_statusUpdateButton->setHidden(true);
        m_statusViewBlogButton->setHidden(true);
        m_statusProgressIndicator->setHidden(false);
        m_progressBarInfo->setHidden(false);
        m_statusProgressIndicator->startAnimation();
        if (publisher->isBuildingBlog()) {
            m_statusCancelUpdateButton->setHidden(true);
            if (doc)
                doc->setUploadCancelEnabled(false);
            setTrailing(12.0);
        } else {
            m_statusCancelUpdateButton->setHidden(false);
            if (doc)
                doc->setUploadCancelEnabled(true);
            setTrailing(m_statusCancelUpdateButton->width() + 12.0 + 1.0);
        }
        // Uploads that kept failing: say so, and offer to try again (or cancel).
        const bool stalled = publisher->uploadStalled();
        m_statusRetryButton->setHidden(!stalled);
        if (stalled) {
            m_statusProgressIndicator->stopAnimation();
            m_statusProgressIndicator->setIndeterminate(false);
            m_progressBarInfo->setStringValue(
                QStringLiteral("%1 Check your connection, then retry.").arg(publisher->lastError()));
            if (doc)
                doc->showUploadingState(QStringLiteral("Upload Failed"));
        }
        return;
    }

    m_statusUpdateButton->setHidden(false);
    m_statusViewBlogButton->setHidden(false);
    m_statusProgressIndicator->setHidden(true);
    m_progressBarInfo->setHidden(true);
    m_statusCancelUpdateButton->setHidden(true);
    m_statusRetryButton->setHidden(true);
    if (doc)
        doc->setUploadCancelEnabled(true);
    m_statusProgressIndicator->setIndeterminate(false);
    m_statusProgressIndicator->stopAnimation();
    ensureUpdateButton(publisher->currentStateName() == QLatin1String(PLRPP_STATE_UPDATE_AVAILABLE));
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServicePublishRevisionPtr live = publisher->livePublishRevision();
    if (users && users->remotePublisher() && live && live->successful()) {
        m_statusViewBlogButton->setTitle(QStringLiteral("VISIT PAGE"));
        m_statusViewBlogButton->setImage(QImage());
    } else {
        m_statusViewBlogButton->setTitle(QStringLiteral("COPY LINK"));
        m_statusViewBlogButton->setImage(namedImage(QStringLiteral("copy-to-clipboard-default")));
    }
}

void PLRPublishViewController::ensureUpdateButton(bool enabled)
{
    view();
    m_statusUpdateButton->setEnabled(enabled);
    m_statusUpdateButton->setTitle(QStringLiteral("UPDATE BLOG"));
    m_statusUpdateButton->setImage(enabled ? QImage() : namedImage(QStringLiteral("tick-green")));
}

void PLRPublishViewController::ensureInfoViewState()
{
    PLRWebServicePostPublisher* publisher = postPublisher();
    PLRInspectorPublishArea* doc = documentViewController();
    if (!doc)
        return;
    const PLRWebServicePostPtr post = publisher ? publisher->publishingPost() : nullptr;
    if (post) {
        const QString created = formatDate(post->creationDate());
        doc->updatePublishedDate(created.isEmpty() ? QStringLiteral("...") : created);
    }
    PLRWebServiceUserManager* users = userManager();
    if (const PLRWebServicePublisherPtr remote = users ? users->remotePublisher() : nullptr)
        doc->updatePublishHost(remote->host());
    if (post && !publisher->updating())
        doc->showPublishedState();
}

void PLRPublishViewController::setWPCategories(const QStringList& categories, PLRPopupButton* popup, const QString& selected)
{
    if (!popup)
        return;
    popup->removeAllItems();
    if (PLRPersistantPost* post = postManager() ? postManager()->representedPost() : nullptr)
        post->setCategoryType(selected);
    for (int i = 0; i < categories.size(); ++i) {
        popup->addItem(categories.at(i), i);
        popup->setItemState(i, categories.at(i) == selected);
    }
    popup->addSeparatorItem();
    popup->addItem(latin(kPLRPublishViaCodeTitle), kPLRPublishViaCodeTag);
    popup->setItemState(popup->numberOfItems() - 1, selected.isNull());
    if (selected.isNull())
        popup->selectItemWithTag(kPLRPublishViaCodeTag);
    else
        popup->setTitle(selected);
}

void PLRPublishViewController::ensureWordpressViewState()
{
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServicePublisherPtr remote = users ? users->remotePublisher() : nullptr;
    PLRWebServicePostPublisher* publisher = postPublisher();
    PLRInspectorPublishArea* doc = documentViewController();
    if (m_skipViewStateUpdate || !remote || !publisher || !doc)
        return;
    PLRPopupButton* popup = doc->categoriesPopup();
    PLRSwitchButton* draft = doc->publishAsDraft();
    PLRPersistantPost* post = postManager() ? postManager()->representedPost() : nullptr;
    const bool U = publisher->updating();
    const PLRWebServicePublishRevisionPtr V = U ? publisher->pendingPublishRevision() : publisher->livePublishRevision();
    QStringList C = categoryTitles(remote);
    const QString D = remote->defaultCategory();
    const QString L = m_wpLastUsedCategory;
    const QString viaCode = latin(kPLRPublishViaCodeTitle);

    QString S;
    if (U)
        S = publisher->pendingPublishRevision() ? publisher->pendingPublishRevision()->category()
                                                 : (L.isNull() ? viaCode : L);
    else if (!publisher->liveRevision())
        S = L.isNull() ? D : L;
    else if (!L.isNull())
        S = L;
    else if (const PLRWebServicePublishRevisionPtr live = publisher->livePublishRevision())
        S = live->category();
    else
        S = viaCode;
    if (C.isEmpty()) {
        C = QStringList{latin(kPLRCategoriesNotFetchedTitle)};
        S = latin(kPLRCategoriesNotFetchedTitle);
    }

    if (remote->status() != 0) {
        setWPCategories(C, popup, S);
        popup->setEnabled(false);
        const QString error = PLRWebServicePublisher::errorStringForStatus(remote->status());
        if (error != QLatin1String("OK"))
            doc->showWordpressError(error);
        else
            doc->hideWordPressError();
    } else if (V) {
        setWPCategories(C, popup, V->category().isNull() ? S : V->category());
        draft->setChecked(!V->autoPublish());
        if (post)
            post->setPublishAsDraft(!V->autoPublish());
        doc->hideWordPressError();
        popup->setEnabled(!(V->status() == 1 || U));
    } else {
        doc->hideWordPressError();
        setWPCategories(C, popup, (U || publisher->liveRevision()) ? S : QString());
        draft->setChecked(!m_wpLastUsedDraftFlag);
        if (post)
            post->setPublishAsDraft(!m_wpLastUsedDraftFlag);
        popup->setEnabled(!U);
    }
    draft->setEnabled(popup->isEnabled() && S != viaCode);
}

void PLRPublishViewController::ensurePublishViewState()
{
    view();
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServicePublisherPtr remote = users ? users->remotePublisher() : nullptr;
    PLRInspectorPublishArea* doc = documentViewController();
    PLRWebServicePostPublisher* publisher = postPublisher();
    if (!remote) {
        if (doc)
            doc->setWordPressSettingsViewHidden(true);
        m_publishContainerView->setDrawLine(false);
        m_publishContainerView->setDrawBG(true);
        m_publishContainerView->setBgColour(ColorWithHex::colorWithHexColorString(QStringLiteral("FAFAFA")));
        m_publishContainerView->update();
        return;
    }
    if (doc) {
        doc->updatePublishHost(remote->host());
        if (remote->type() != 3) {
            doc->setWordPressSettingsViewHidden(true);
            ensureInfoViewState();
        } else {
            PLRPopupButton* popup = doc->categoriesPopup();
            PLRSwitchButton* draft = doc->publishAsDraft();
            const bool U = publisher && publisher->updating();
            const QStringList C = categoryTitles(remote);
            const QString selected = U ? m_wpLastUsedCategory : remote->defaultCategory();
            if (remote->status() != 0 && !C.isEmpty()) {
                setWPCategories(C, popup, selected);
                popup->setEnabled(true);
                draft->setEnabled(true);
            } else if (remote->status() != 0) {
                setWPCategories({latin(kPLRCategoriesNotFetchedTitle)}, popup, latin(kPLRCategoriesNotFetchedTitle));
                popup->setEnabled(false);
                draft->setEnabled(false);
            } else {
                popup->setEnabled(true);
                draft->setEnabled(true);
                setWPCategories(C, popup, selected);
                draft->setChecked(!(U ? m_wpLastUsedDraftFlag : remote->autoPublish()));
            }
            doc->setWordPressSettingsViewHidden(false);
        }
    }
    m_publishContainerView->setDrawLine(true);
    m_publishContainerView->setLineOnTop(true);
    m_publishContainerView->setDrawBG(true);
    m_publishContainerView->setBgColour(Color::white());
    m_publishContainerView->update();
}

// ---------------------------------------------------------------- requests

void PLRPublishViewController::buttonWasClicked(PLRPublishButton*)
{
    publish();
}

void PLRPublishViewController::publish()
{
    PLRWebServicePostPublisher* publisher = postPublisher();
    if (!publisher || publisher->updating())
        return;
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(
        PLRAnalyticEvent::createEventWithTitle(QStringLiteral("publish_button_clicked"), {}));
    performUpdate();
}

void PLRPublishViewController::performUpdate()
{
    PLRWebServicePostPublisher* publisher = postPublisher();
    if (!publisher || publisher->updating())
        return;
    PLRInspectorPublishArea* doc = documentViewController();
    if (isWordPress() && doc) {
        PLRPopupButton* popup = doc->categoriesPopup();
        m_wpPublish = popup->selectedTag() != kPLRPublishViaCodeTag;
        m_wpLastUsedCategory = popup->title();
        m_wpLastUsedDraftFlag = !doc->publishAsDraft()->checked();
        if (m_wpPublish)
            publisher->createOrUpdatePublishedPostWithPublishCategory(m_wpLastUsedCategory, m_wpLastUsedDraftFlag);
        else
            publisher->createOrUpdatePublishedPost();
        return;
    }
    publisher->createOrUpdatePublishedPost();
}

void PLRPublishViewController::cancelUpdate()
{
    PLRPostManager* manager = postManager();
    const QString name = manager && manager->representedPost() ? manager->representedPost()->name() : QString();
    PLR_LOG_INFO(QStringLiteral("User hit cancel button for: %1").arg(name));
    if (PLRWebServicePostPublisher* publisher = postPublisher())
        publisher->cancelPublishing();
}

void PLRPublishViewController::retryUpload()
{
    if (PLRWebServicePostPublisher* publisher = postPublisher())
        if (publisher->retryUpload())
            ensureMainStack();
}

void PLRPublishViewController::deleteRemotePost()
{
    platform::Alert alert;
    alert.style = platform::AlertStyle::Warning;
    alert.messageText = QStringLiteral("Unpublished Post?");
    alert.informativeText = QStringLiteral(
        "Are you sure you want to unpublish this post? Doing so will take the post offline and it will no longer be "
        "accessible via your website.");
    alert.buttons = {QStringLiteral("Yes, unpublish this blog"), QStringLiteral("No, don't unpublish")};
    if (platform::runAlert(alert).response != platform::kAlertFirstButtonReturn)
        return;
    if (PLRWebServicePostPublisher* publisher = postPublisher())
        publisher->deletePost();
}

void PLRPublishViewController::showWordpressSettings()
{
    PLRModalManager::presentPublisherWorkflow(true, [](qint64) {
        if (PLRWebServiceUserManager* users = PLRWebServiceUserManager::forSession(PLRCoreManager::userSession()))
            users->refreshInfo();
    });
}

void PLRPublishViewController::copyLinkToClipboard()
{
    PLRWebServicePostPublisher* publisher = postPublisher();
    const PLRWebServicePostPtr post = publisher ? publisher->publishingPost() : nullptr;
    if (!post)
        return;
    PLRWebServiceUserManager* users = userManager();
    const PLRWebServicePublishRevisionPtr live = publisher->livePublishRevision();
    QPointer<PLRPublishViewController> self(this);
    if (users && users->remotePublisher() && live && live->successful()) {
        post->getLinkDestination([self](bool success, const QVariant& result, const std::optional<PLRServiceError>&,
                                        const platform::Error&) {
            const QString link = result.toString();
            if (!success || link.isEmpty())
                return;
            const QUrl url(link);
            if (url.isValid() && platform::Workspace::shared().openURL(url))
                return;
            PLR_LOG_ERROR(QStringLiteral("copy link for info = %1 exception %2").arg(link, QStringLiteral("the link could not be opened")));
            // No browser could be started: the address goes to the clipboard, and the user is told.
            if (QClipboard* clipboard = QGuiApplication::clipboard())
                clipboard->setText(link);
            if (!self)
                return;
            platform::Alert alert;
            alert.messageText = QStringLiteral("The Page Could Not Be Opened");
            alert.informativeText = QStringLiteral("No web browser could be started. The page's address has been "
                                                   "copied to the clipboard:\n%1")
                                        .arg(link);
            alert.buttons = {QStringLiteral("OK")};
            platform::runAlert(alert);
        });
        return;
    }
    post->getLinkStub([self](bool success, const QVariant& result, const std::optional<PLRServiceError>&,
                             const platform::Error&) {
        if (!self || !success)
            return;
        if (QClipboard* clipboard = QGuiApplication::clipboard()) {
            clipboard->clear();
            clipboard->setText(result.toString());
        }
        PLRPostManager* manager = self->postManager();
        PLRPersistantPost* record = manager ? manager->representedPost() : nullptr;
        const QString name = record ? record->name() : QString();
        const QString remoteId = record ? record->remoteIdentifier() : QString();
        platform::UserNotificationCenter::shared().deliver(
            QStringLiteral("Pellora"), QStringLiteral("Link Copied to Clipboard\nPost \"%1\"").arg(name),
            QStringLiteral("pellora.copylink.%1").arg(remoteId));
        self->m_statusViewBlogButton->setTitle(QStringLiteral("LINK COPIED"));
        platform::Clock::shared().after(1.0, self, [self] {
            if (self)
                self->m_statusViewBlogButton->setTitle(QStringLiteral("COPY LINK"));
        });
    });
}

// ---------------------------------------------------------------- offering an update

void PLRPublishViewController::changePostWordpressCategoryType()
{
    PLRInspectorPublishArea* doc = documentViewController();
    PLRWebServicePostPublisher* publisher = postPublisher();
    PLRPersistantPost* post = postManager() ? postManager()->representedPost() : nullptr;
    if (!doc || !publisher || !post)
        return;
    PLRPopupButton* popup = doc->categoriesPopup();
    const QString S = popup->title();
    doc->publishAsDraft()->setEnabled(S != QLatin1String(kPLRPublishViaCodeTitle));
    m_wpLastUsedCategory = S;
    if (post->categoryType() != S) {
        showUpdateNowAlertIfPossible();
    } else if (!publisher->isLocalVersionIsDifferent() && post->publishAsDraft() == doc->publishAsDraft()->checked()) {
        m_statusUpdateButton->setEnabled(false);
        publisher->firePostUpdateCancelled();
    }
}

void PLRPublishViewController::changePublishAsDraftState()
{
    PLRInspectorPublishArea* doc = documentViewController();
    PLRWebServicePostPublisher* publisher = postPublisher();
    PLRPersistantPost* post = postManager() ? postManager()->representedPost() : nullptr;
    if (!doc || !publisher || !post)
        return;
    if (post->publishAsDraft() != doc->publishAsDraft()->checked()) {
        showUpdateNowAlertIfPossible();
    } else if (!publisher->isLocalVersionIsDifferent() && post->categoryType() == doc->categoriesPopup()->title()) {
        m_statusUpdateButton->setEnabled(false);
        publisher->firePostUpdateCancelled();
    }
}

void PLRPublishViewController::showUpdateNowAlertIfPossible()
{
    PLRWebServicePostPublisher* publisher = postPublisher();
    if (!publisher || !publisher->firePostNeedsUpdateIfPossible() || PLRDefaults::shouldSupressPostUpdateInfo())
        return;
    m_skipViewStateUpdate = true;
    platform::Alert alert;
    alert.style = platform::AlertStyle::Warning;
    alert.messageText = QStringLiteral("Changes Made");
    alert.informativeText = QStringLiteral(
        "In order for these changes to appear on your website you need to do an update. Would like to do this now?");
    alert.buttons = {QStringLiteral("Yes, update now."), QStringLiteral("No, I'll update later.")};
    alert.showsSuppressionButton = true;
    const platform::AlertResult result = platform::runAlert(alert);
    if (result.suppressed)
        PLRDefaults::setShouldPostUpdateInfo(true);
    if (result.response == platform::kAlertFirstButtonReturn) {
        QPointer<PLRPublishViewController> self(this);
        platform::Clock::shared().after(0.5, this, [self] {
            if (self)
                self->performUpdate();
        });
    } else {
        ensureUpdateButton(true);
    }
    m_skipViewStateUpdate = false;
}

void PLRPublishViewController::showFirstPostCompleteModal()
{
    if (!PLRDefaults::shouldPresentFirstPostModalView())
        return;
    platform::Clock::shared().after(2.0, this, [] {
        // A dialog already shown would refuse the page at once; it is offered after a later
        // publish instead of being marked as seen.
        if (PLRModalManager::isBusy())
            return;
        PLRModalManager::presentModalWindowWithViews({QStringLiteral("PLRFirstPostCompletedView")}, {}, false, 0,
                                                     [](qint64) { PLRDefaults::setShouldPresentFirstPostModalView(false); });
    });
}

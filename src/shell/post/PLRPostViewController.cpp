#include "shell/post/PLRPostViewController.h"
#include "platform/Clock.h"

#include "services/analytic/PLRAnalyticManager.h"
#include "layout/base/PLRLayoutManager.h"
#include "controls/PLRProgressBar.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/persistance-store/PLRSaveBatch.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform/UserDefaults.h"
#include "platform-ui/Fonts.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRAnimationContext.h"
#include "shell/PLRShellNotifications.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/post/PLROnboardingPopover.h"
#include "shell/post/PLRPostCanvasViewController.h"
#include "shell/post/PLRPostSplitView.h"
#include "shell/post/PLRPrepViewController.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "canvas/interaction/PLRLayoutViewController.h"

#include <QEvent>
#include <QVBoxLayout>

#include <cmath>

using namespace platform::ui;

namespace {

// The post's root view: the split view fills it; the sheet, the preparation panel and the
// hints lie over it.
class PostRootView : public View {
public:
    using View::View;
    std::function<void()> onLayout;
    void drawRect(GraphicsContext& context, const QRectF&) override { context.fillRect(bounds(), Color::white()); }
protected:
    void layoutSubviews() override
    {
        // The rounded corners of the layer clip the panes too.
        if (layer() && layer()->cornerRadius() > 0.0 && layer()->masksToBounds()) {
            const double radius = layer()->cornerRadius();
            setMask(QRegion(roundedRectPath(QRectF(rect()), radius, radius).toFillPolygon().toPolygon()));
        }
        if (onLayout)
            onLayout();
    }
};

template <class T> T* sceneOrNull(const char* identifier)
{
    const QString storyboard = QLatin1String(kPLRMainStoryboard);
    if (!platform::Storyboard::hasScene(storyboard, QLatin1String(identifier)))
        return nullptr;
    QObject* object = platform::Storyboard::instantiate(storyboard, QLatin1String(identifier));
    if (auto* controller = qobject_cast<T*>(object))
        return controller;
    PLR_LOG_ERROR(QStringLiteral("The scene \"%1\" is not a %2").arg(QLatin1String(identifier), QLatin1String(T::staticMetaObject.className())));
    delete object;
    return nullptr;
}

// One onboarding hint: a title, a line of help and a button that dismisses it.
View* makeHintView(const QString& title, const QString& text, QObject* context, std::function<void()> dismiss)
{
    auto* view = new View;
    view->resize(270, 132);
    auto* column = new QVBoxLayout(view);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(6);
    auto* heading = new TextField(view);
    heading->setStringValue(title);
    heading->setFont(systemFont(14, FontWeight::Medium));
    heading->setFixedHeight(20);
    auto* body = new TextView(view);
    body->setEditable(false);
    body->setSelectable(false);
    body->setDrawsBackground(false);
    body->setTextStorage(AttributedString(text, {{kFontAttributeName, systemFont(12)},
                                                 {kForegroundColorAttributeName, QVariant::fromValue(Color(0.35, 0.35, 0.35))}}));
    body->setFixedHeight(64);
    auto* button = Button::withTitle(QStringLiteral("Got it"), context, [dismiss = std::move(dismiss)](Control*) { dismiss(); }, view);
    button->setIdentifier(QStringLiteral("dismissHintButton"));
    button->setFixedSize(80, 28);
    column->addWidget(heading);
    column->addWidget(body);
    column->addWidget(button, 0, Qt::AlignRight);
    return view;
}

} // namespace

PLRPostViewController::PLRPostViewController(QObject* parent) : PLRViewController(parent) {}

PLRPostViewController::~PLRPostViewController()
{
    PLRVisualStateHandler::globalHandler().removeVisualDelegate(this);
    platform::NotificationCenter::defaultCenter().removeObserver(&m_observer);
    QObject::disconnect(m_managerGone);
    if (m_onBoardPopOver)
        m_onBoardPopOver->close();
}

void PLRPostViewController::registerScene()
{
    platform::Storyboard::registerScene(QLatin1String(kPLRMainStoryboard), QStringLiteral("PLRPostViewController"),
                                        [] { return new PLRPostViewController; });
}

View* PLRPostViewController::loadView()
{
    auto* root = new PostRootView;
    root->setIdentifier(QStringLiteral("PLRPostViewController"));
    root->onLayout = [this] { layoutOverlays(); };
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(0, 0, 0, 0);
    m_splitView = new PLRPostSplitView(root);
    m_galleryPane = new QWidget(m_splitView);
    m_galleryPane->setObjectName(QStringLiteral("galleryPane"));
    m_layoutPane = new QWidget(m_splitView);
    m_layoutPane->setObjectName(QStringLiteral("layoutPane"));
    m_inspectorPane = new QWidget(m_splitView);
    m_inspectorPane->setObjectName(QStringLiteral("inspectorPane"));
    for (QWidget* pane : {m_galleryPane.data(), m_layoutPane.data(), m_inspectorPane.data()}) {
        auto* holder = new QVBoxLayout(pane);
        holder->setContentsMargins(0, 0, 0, 0);
        holder->setSpacing(0);
        m_splitView->addWidget(pane);
    }
    m_splitView->setPaneMinimumWidth(m_layoutPane, int(kCanvasMinimumWidth));
    m_splitView->setStretchFactor(0, 0);
    m_splitView->setStretchFactor(1, 1);
    m_splitView->setStretchFactor(2, 0);
    column->addWidget(m_splitView);

    // The image-preparation panel.
    m_imageProcessView = new Box(root);
    static_cast<Box*>(m_imageProcessView.data())->setFillColor(Color::white());
    static_cast<Box*>(m_imageProcessView.data())->setBorderColor(Color::black(0.12));
    static_cast<Box*>(m_imageProcessView.data())->setCornerRadius(6.0);
    m_imageProcessView->resize(380, 92);
    m_imageProcessLabel = new TextField(m_imageProcessView);
    m_imageProcessLabel->setFont(systemFont(14, FontWeight::Medium));
    m_imageProcessLabel->setAlignment(TextAlignment::Center);
    m_imageProcessLabel->setFrame(QRectF(20, 50, 340, 22));
    m_imageProcessProgressIndicator = new PLRProgressBar(QRectF(30, 24, 320, 12), m_imageProcessView);
    m_imageProcessView->setHidden(true);

    m_onboardGalleryView = makeHintView(
        QStringLiteral("Your photos"),
        QStringLiteral("These are the photos of the post's folder. Drag one onto the page, or double-click it, to add it to "
                       "your post."),
        this, [this] { dismissGalleyOnboard(); });
    m_onboardGalleryView->setParent(root);
    m_onboardGalleryView->setHidden(true);
    m_onboardInspectorView = makeHintView(
        QStringLiteral("Fine-tune your post"),
        QStringLiteral("Select a photo or a text on the page to change it here. With nothing selected, this panel sets up "
                       "the whole post."),
        this, [this] { dismissInspectorOnboard(); });
    m_onboardInspectorView->setParent(root);
    m_onboardInspectorView->setHidden(true);

    root->installEventFilter(this);
    return root;
}

void PLRPostViewController::viewDidLoad()
{
    // A layer with rounded corners that clips to them, and a soft shadow.
    View* root = view();
    root->setWantsLayer(true);
    Layer* layer = root->layer();
    // The white the view shows is the layer's own, so the shadow follows the view's shape.
    layer->setBackgroundColor(Color::white());
    layer->setCornerRadius(kCornerRadius);
    layer->setMasksToBounds(true);
    layer->setShadowOffset(kShadowOffset);
    layer->setShadowRadius(kShadowRadius);
    layer->setShadowColor(Color::black());
    layer->setShadowOpacity(kShadowOpacity);
    m_splitView->setAutosaveName(QLatin1String(kPLRPostViewAutoSaveName));
    m_inspectorPane->setMinimumWidth(int(kInspectorWidth));
    m_inspectorPane->setMaximumWidth(int(kInspectorWidth));
    // A window too narrow for the three panes (a small screen): the gallery gives way first, the
    // inspector with Publish never does.
    m_splitView->setPaneMinimumWidth(m_galleryPane, int(kGalleryMinimumWidth));
    m_splitView->setGivesWayFirst(m_galleryPane, int(kGalleryNarrowestWidth));

    m_gallery = sceneOrNull<PLRGenericPostViewController>(kPLRGallerySceneIdentifier);
    if (!m_gallery)
        m_gallery = new PLRGenericPostViewController;
    m_canvas = new PLRPostCanvasViewController;
    m_inspector = sceneOrNull<PLRGenericPostViewController>(kPLRInspectorSceneIdentifier);
    if (!m_inspector)
        m_inspector = new PLRGenericPostViewController;
    for (PLRGenericPostViewController* pane : QList<PLRGenericPostViewController*>{m_gallery, m_canvas, m_inspector})
        pane->setParent(this);
    installPane(m_galleryPane, m_gallery);
    installPane(m_layoutPane, m_canvas);
    installPane(m_inspectorPane, m_inspector);
    m_splitView->setSizes({int(kGalleryMinimumWidth), 800, int(kInspectorWidth)});

    PLRVisualStateHandler::globalHandler().addVisualDelegate(this);
    platform::NotificationCenter::defaultCenter().addObserver(
        &m_observer, QLatin1String(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE),
        [this](const platform::Notification&) { checkInspectorOnBoard(); });

    m_onBoardInspectorDone = PLRDefaults::onBoardPresentationState() == 2;
    m_onBoardWillPresentInspector = false;
    m_prepHasClosed = false;
}

void PLRPostViewController::installPane(QWidget* pane, PLRGenericPostViewController* controller)
{
    auto* holder = static_cast<QVBoxLayout*>(pane->layout());
    while (QLayoutItem* item = holder->takeAt(0)) {
        if (QWidget* old = item->widget())
            PLRViewController::removeFromSuperview(old);
        delete item;
    }
    if (!controller)
        return;
    View* paneView = controller->view();
    paneView->setParent(pane);
    holder->addWidget(paneView);
    paneView->show();
}

void PLRPostViewController::setGalleryViewController(PLRGenericPostViewController* controller)
{
    view();
    if (!controller || controller == m_gallery)
        return;
    PLRGenericPostViewController* old = m_gallery;
    m_gallery = controller;
    controller->setParent(this);
    installPane(m_galleryPane, controller);
    if (m_postManager && m_postManager->representedPost())
        controller->setPostManager(m_postManager);
    delete old;
}

void PLRPostViewController::setInspectorViewController(PLRGenericPostViewController* controller)
{
    view();
    if (!controller || controller == m_inspector)
        return;
    PLRGenericPostViewController* old = m_inspector;
    m_inspector = controller;
    controller->setParent(this);
    installPane(m_inspectorPane, controller);
    if (m_postManager && m_postManager->representedPost())
        controller->setPostManager(m_postManager);
    delete old;
}

PLRGenericPostViewController* PLRPostViewController::layoutViewController() const
{
    return m_canvas;
}

void PLRPostViewController::takeKeyboard()
{
    view();
    PLRLayoutViewController* canvas = m_canvas ? m_canvas->canvas() : nullptr;
    if (!canvas)
        return;
    QWidget* target = canvas->interactionView();
    if (!target)
        target = canvas->scrollView();
    if (target)
        target->setFocus(Qt::OtherFocusReason);
}

Button* PLRPostViewController::cancelButton() const
{
    return m_prepViewController ? m_prepViewController->cancelButton() : nullptr;
}

PLRPostSplitView* PLRPostViewController::splitView()
{
    view();
    return m_splitView;
}

void PLRPostViewController::setPostManager(PLRPostManager* manager)
{
    if (manager == m_postManager)
        return;
    QObject::disconnect(m_managerGone);
    m_postManager = manager;
    if (manager)
        m_managerGone = QObject::connect(manager, &QObject::destroyed, this, [this] { postManagerWentAway(); });
}

void PLRPostViewController::postManagerWentAway()
{
    // The post was deleted: nothing here may touch it again.
    m_postManager = nullptr;
    closePopover();
    for (PLRGenericPostViewController* pane : QList<PLRGenericPostViewController*>{m_inspector, m_canvas, m_gallery})
        if (pane)
            pane->setPostManager(nullptr);
    if (m_prepViewController)
        dismissPrepSheet();
    if (m_imageProcessView)
        m_imageProcessView->setHidden(true);
}

bool PLRPostViewController::isInWindow(QWidget* view)
{
    return view && view->window() != view && view->isVisible();
}

void PLRPostViewController::handOutPostManager()
{
    PLRPostManager* manager = m_postManager;
    for (PLRGenericPostViewController* pane : QList<PLRGenericPostViewController*>{m_inspector, m_canvas, m_gallery})
        if (pane)
            pane->setPostManager(manager);
}

void PLRPostViewController::applyCollapsedState(bool galleryCollapsed, bool inspectorCollapsed)
{
    m_splitView->setCollapsed(m_galleryPane, galleryCollapsed);
    m_splitView->setCollapsed(m_inspectorPane, inspectorCollapsed);
}

void PLRPostViewController::presentInitialVisualState()
{
    view();
    if (!m_postManager)
        return;
    if (m_postManager->representedPost()) {
        restoreGalleryViewWidth();
        handOutPostManager();
        m_canvas->ensureEntrancePostion();
        QPointer<PLRPostViewController> self(this);
        PLRAnimationContext::runAnimationGroup(
            [this](PLRAnimationContext&) {
                const auto& handler = PLRVisualStateHandler::globalHandler();
                applyCollapsedState(handler.galleryVisible(), handler.inspectorVisible());
            },
            [self] {
                if (self)
                    self->m_canvas->performEntrance();
            });
        checkOnBoard();
        return;
    }
    if (m_prepViewController || m_prepHasClosed)
        return;
    m_prepViewController = sceneOrNull<PLRPrepViewController>("PLRPrepViewController");
    if (!m_prepViewController)
        m_prepViewController = new PLRPrepViewController;
    m_prepViewController->setParent(this);
    QPointer<PLRPostViewController> self(this);
    m_prepViewController->setCompletionBlock([self](bool accepted) {
        if (self)
            self->prepSheetFinished(accepted);
    });
    View* sheet = m_prepViewController->view();
    sheet->setAlphaValue(0.0);
    sheet->setParent(view());
    layoutOverlays();
    m_prepViewController->viewWillAppear();
    sheet->show();
    sheet->raise();
    m_prepViewController->viewDidAppear();
    PLRAnimationContext::runAnimationGroup([sheet](PLRAnimationContext& context) {
        context.setDuration(0.35);
        context.setTimingFunction(TimingFunction::easeOut());
        PLRAnimationContext::animateAlpha(sheet, 1.0);
    });
}

void PLRPostViewController::prepSheetFinished(bool accepted)
{
    if (!accepted) {
        PLRShellHooks::moveHome(true);
        return;
    }
    PLRPostManager* manager = m_postManager;
    if (!manager || !m_prepViewController)
        return;
    const QString title = m_prepViewController->documentTitle();
    const QUrl folder = m_prepViewController->directoryWatch();
    if (!manager->representedPost() && !manager->createNewPostWithTitle(title, folder)) {
        platform::Alert alert;
        alert.messageText = QStringLiteral("The post could not be created.");
        alert.informativeText = QStringLiteral("Sign in again and try once more.");
        alert.buttons = {QStringLiteral("OK")};
        platform::runAlert(alert, view()->window());
        return;
    }
    // The new post has its default padding and background, and its first write is queued.
    m_imageProcessLabel->setStringValue(QStringLiteral("Preparing Images"));
    m_imageProcessProgressIndicator->setIndeterminate(true);
    m_imageProcessProgressIndicator->startAnimation();
    dismissPrepSheet();
    m_imageProcessView->setHidden(false);
    m_imageProcessView->raise();
    layoutOverlays();

    if (PLRSourceDirectory* directory = manager->sourceDirectory()) {
        QPointer<PLRPostViewController> self(this);
        directory->setUIDirectoryWatchProgressCallback([self](const PLRSourceDirectoryProgressInfo& info) {
            platform::dispatchMain([self, info] {
                if (self)
                    self->updateUIOnWatchDirectoryProgress(info);
            });
        });
        if (directory->state() == PLRSourceDirectory::StateIdle)
            directory->startWatching();
    } else {
        closePrepDisplay();
    }
}

void PLRPostViewController::dismissPrepSheet()
{
    QPointer<PLRPrepViewController> sheet = m_prepViewController;
    m_prepViewController = nullptr;
    if (!sheet)
        return;
    QPointer<View> sheetView = sheet->view();
    PLRAnimationContext::runAnimationGroup(
        [sheetView](PLRAnimationContext& context) {
            context.setDuration(0.35);
            context.setTimingFunction(TimingFunction::easeOut());
            if (sheetView)
                PLRAnimationContext::animateAlpha(sheetView, 0.0);
        },
        [sheet] {
            if (sheet)
                sheet->deleteLater();
        });
}

void PLRPostViewController::updateUIOnWatchDirectoryProgress(const PLRSourceDirectoryProgressInfo& info)
{
    if (!platform::isMainThread()) {
        QPointer<PLRPostViewController> self(this);
        platform::dispatchMain([self, info] {
            if (self)
                self->updateUIOnWatchDirectoryProgress(info);
        });
        return;
    }
    view();
    if (info.totalLoadedImageCount != 0)
        m_imageProcessLabel->setStringValue(QStringLiteral("Preparing Images (%1/%2)")
                                                .arg(info.totalCachedImageCount)
                                                .arg(info.totalLoadedImageCount));
    else
        m_imageProcessLabel->setStringValue(QStringLiteral("Creating blog..."));
    // Nothing loaded yet: no fraction to show, the bar stays busy.
    if (info.totalLoadedImageCount > 0) {
        m_imageProcessProgressIndicator->setIndeterminate(false);
        m_imageProcessProgressIndicator->setDoubleValue(
            100.0 * std::clamp(double(info.totalCachedImageCount) / double(info.totalLoadedImageCount), 0.0, 1.0));
    } else {
        m_imageProcessProgressIndicator->setIndeterminate(true);
    }
    if (info.loadDirectoryFinished)
        closePrepDisplay();
}

void PLRPostViewController::closePrepDisplay()
{
    QPointer<PLRPostViewController> self(this);
    platform::Clock::shared().after(1.0, this, [self] {
        if (!self || self->m_prepHasClosed)
            return;
        self->m_prepHasClosed = true;
        if (!self->m_postManager || !self->m_postManager->representedPost())
            return;
        self->savePostFromSnapshot();
        if (PLRSourceDirectory* directory = self->m_postManager->sourceDirectory())
            directory->removeDelegate(self);
        self->handOutPostManager();
        if (self->m_prepViewController)
            self->dismissPrepSheet();
        // The keyboard the sheet had (gone now, or fading) goes to the canvas, as a post opened
        // from home gives it; the window's next activation would otherwise put it on the title
        // bar's first control. Where the user took it meanwhile, it stays.
        QWidget* focused = self->view()->window() ? self->view()->window()->focusWidget() : nullptr;
        const bool keyboardLeftWithSheet = !focused || !focused->isVisible()
                                           || (self->view()->isAncestorOf(focused) && !self->m_splitView->isAncestorOf(focused));
        self->m_imageProcessProgressIndicator->stopAnimation();
        self->m_imageProcessView->setHidden(true);
        if (keyboardLeftWithSheet)
            self->takeKeyboard();
        PLRVisualStateHandler::globalHandler().setPostHeaderVisible(true);
        PLRShellHooks::enableImportExportPosts();
        self->restoreGalleryViewWidth();
        const auto& handler = PLRVisualStateHandler::globalHandler();
        self->applyCollapsedState(handler.galleryVisible(), handler.inspectorVisible());
        platform::Clock::shared().after(0.2, self, [self] {
            if (self)
                self->m_canvas->setZoom(0);
        });
        self->checkOnBoard();
    });
}

void PLRPostViewController::savePostFromSnapshot()
{
    m_postManager->saveWhole();
}

void PLRPostViewController::restoreGalleryViewWidth()
{
    view();
    const QString key = PLRPostSplitView::autosaveKey(m_splitView->autosaveName());
    const QStringList frames = platform::UserDefaults::standard().objectForKey(key).toStringList();
    const QList<QWidget*> panes = m_splitView->arrangedSubviews();
    for (int i = 0; i < frames.size() && i < panes.size(); ++i) {
        if (panes[i] != m_galleryPane)
            continue;
        const QStringList components = frames[i].split(QStringLiteral(", "));
        if (components.size() < 3)
            continue;
        bool ok = false;
        const double width = components[2].toDouble(&ok);
        if (ok && std::isfinite(width))
            m_splitView->setPosition(width, i);
    }
}

void PLRPostViewController::visualStateHandlerSetGalleryVisible(PLRVisualStateHandler*, bool collapsed)
{
    if (m_splitView)
        m_splitView->setCollapsed(m_galleryPane, collapsed);
}

void PLRPostViewController::visualStateHandlerSetInspectorVisible(PLRVisualStateHandler*, bool collapsed)
{
    if (m_splitView)
        m_splitView->setCollapsed(m_inspectorPane, collapsed);
}

// --- Onboarding -------------------------------------------------------------------------------

void PLRPostViewController::checkOnBoard()
{
    if (PLRDefaults::onBoardPresentationState() != 0 || !isInWindow(m_galleryPane))
        return;
    QPointer<PLRPostViewController> self(this);
    platform::Clock::shared().after(2.0, this, [self] {
        if (self)
            self->showHint(true);
    });
}

void PLRPostViewController::checkInspectorOnBoard()
{
    if (m_onBoardInspectorDone || PLRDefaults::onBoardPresentationState() != 1 || !isInWindow(m_inspectorPane))
        return;
    if ((m_onBoardPopOver && m_onBoardPopOver->isShown() && m_onBoardPopOver->contentView() == m_onboardInspectorView)
        || m_onBoardWillPresentInspector)
        return;
    m_onBoardWillPresentInspector = true;
    QPointer<PLRPostViewController> self(this);
    platform::Clock::shared().after(2.0, this, [self] {
        if (self)
            self->showHint(false);
    });
}

void PLRPostViewController::showHint(bool gallery)
{
    QWidget* pane = gallery ? m_galleryPane.data() : m_inspectorPane.data();
    View* hint = gallery ? m_onboardGalleryView.data() : m_onboardInspectorView.data();
    if (!m_postManager || !isInWindow(pane) || !hint)
        return;
    closePopover();
    m_onBoardPopOver = new PLROnboardingPopover(view());
    m_onBoardPopOver->setContentView(hint);
    // Escape closes the hint as its button does.
    m_onBoardPopOver->setEscapeAction([this, gallery] { gallery ? dismissGalleyOnboard() : dismissInspectorOnboard(); });
    // The pane's top band of the hint's height.
    const QRectF anchor(0, 0, pane->width(), hint->height());
    m_onBoardPopOver->showRelativeToRect(anchor, pane, gallery ? PLROnboardingPopover::Edge::MaxX
                                                               : PLROnboardingPopover::Edge::MinX);
}

void PLRPostViewController::closePopover()
{
    if (!m_onBoardPopOver)
        return;
    m_onBoardPopOver->close();
    m_onBoardPopOver->deleteLater();
    m_onBoardPopOver = nullptr;
}

void PLRPostViewController::dismissGalleyOnboard()
{
    PLRDefaults::setOnBoardPresentationState(1);
    closePopover();
}

void PLRPostViewController::dismissInspectorOnboard()
{
    m_onBoardInspectorDone = true;
    PLRDefaults::setOnBoardPresentationState(2);
    closePopover();
}

// --- Appearance -------------------------------------------------------------------------------

bool PLRPostViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (isView(watched) && !event->spontaneous()) {
        if (event->type() == QEvent::Show)
            appear();
        else if (event->type() == QEvent::Hide)
            disappear();
        else if (event->type() == QEvent::Resize)
            layoutOverlays();
    }
    return PLRViewController::eventFilter(watched, event);
}

void PLRPostViewController::layoutOverlays()
{
    View* root = view();
    if (m_prepViewController && m_prepViewController->isViewLoaded())
        m_prepViewController->view()->setGeometry(root->rect());
    if (m_imageProcessView) {
        const QSize size = m_imageProcessView->size();
        m_imageProcessView->move((root->width() - size.width()) / 2, (root->height() - size.height()) / 2);
    }
}

void PLRPostViewController::viewWillAppear() {}
void PLRPostViewController::viewDidAppear() { appear(); }
void PLRPostViewController::viewWillDisappear() { disappear(); }
void PLRPostViewController::viewDidDisappear() { disappear(); }

void PLRPostViewController::appear()
{
    if (m_onScreen)
        return;
    m_onScreen = true;
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POST_VIEW_TOGGLED), nullptr,
                                                       {{QLatin1String(kPLRPostViewAppearedKey), true}});
    m_postLoadDate = platform::Clock::shared().wallTime();
}

void PLRPostViewController::disappear()
{
    if (!m_onScreen)
        return;
    m_onScreen = false;
    platform::NotificationCenter::defaultCenter().post(QLatin1String(kPLR_POST_VIEW_TOGGLED), nullptr,
                                                       {{QLatin1String(kPLRPostViewAppearedKey), false}});
    const qint64 seconds = m_postLoadDate.isValid() ? m_postLoadDate.msecsTo(platform::Clock::shared().wallTime()) / 1000 : 0;
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(PLRAnalyticEvent::createEventWithTitle(
        QLatin1String(kPLRPostSessionEventTitle), {{QLatin1String(kPLRPostSessionSecondsKey), std::max<qint64>(0, seconds)}}));
}

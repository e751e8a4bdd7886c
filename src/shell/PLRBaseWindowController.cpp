#include "shell/PLRBaseWindowController.h"

#include "store/persistance-store/source/PLRSourceDirectory.h"

#include "shell/AppDelegate.h"
#include "controls/ColorWithHex.h"
#include "platform/Alert.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Workspace.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteractionView.h"
#include "canvas/interaction/PLRLayoutViewController.h"
#include "shell/PLRAddBlockView.h"
#include "shell/PLRAnimationContext.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRShellScreens.h"
#include "shell/PLRShellNotifications.h"
#include "shell/home/PLRShellHooks.h"
#include "shell/post/PLRPostCanvasViewController.h"
#include "shell/post/PLRPostViewController.h"
#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include <cmath>

using namespace platform::ui;

PLRBaseWindowController::PLRBaseWindowController(QObject* parent)
    : WindowController(nullptr, parent), m_content(new PLRBaseViewController(this))
{
    connect(m_content, &PLRBaseViewController::currentPostChanged, this, [this] { updateHomeButton(); });
}

void PLRBaseWindowController::updateHomeButton()
{
    // Home applies from the moment a post is on its way in, before the post's header shows: a
    // click meanwhile is carried out once the screen change ends.
    if (m_homeButton)
        m_homeButton->setEnabled(m_headerState == PostHeader || m_content->currentPostViewController());
}

PLRBaseWindowController::~PLRBaseWindowController()
{
    platform::NotificationCenter::defaultCenter().removeObserver(&m_observer);
    PLRVisualStateHandler::globalHandler().removeVisualDelegate(this);
    if (m_folderMenu)
        m_folderMenu->disconnect(this);
}

QStringList PLRBaseWindowController::autoLayoutMenuTitles()
{
    return {QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("15"), QStringLiteral("21"),
            QStringLiteral("30"), QStringLiteral("50"), QStringLiteral("All")};
}

std::unique_ptr<Window> PLRBaseWindowController::loadWindow()
{
    auto window = std::make_unique<PLRBaseWindow>(QRectF(0, 0, 1200, 760));
    window->setTitle(QStringLiteral("Pellora"));
    window->setMinimumSize(kMinimumWidth, kMinimumHeight);
    window->setTitleBarHeight(kTitleBarHeight);
    window->setContentView(m_content->view());
    window->setDelegate(this);
    buildTitleBar(window.get());
    return window;
}

PLRPostManager* PLRBaseWindowController::postManager() const
{
    return m_content->currentPostManager();
}

void PLRBaseWindowController::setCloseRequestHandler(std::function<void()> handler)
{
    m_closeRequestHandler = handler;
    if (isWindowLoaded())
        baseWindow()->setCloseRequestHandler(std::move(handler));
}

bool PLRBaseWindowController::respondsTo(WindowMessage message) const
{
    return message == WindowMessage::ShouldClose;
}

bool PLRBaseWindowController::windowShouldClose(Window*)
{
    if (!m_closeRequestHandler)
        return true;
    m_closeRequestHandler();
    return false;
}

unsigned PLRBaseWindowController::windowWillUseFullScreenPresentationOptions(unsigned) const
{
    return kFullScreenPresentationOptions;
}

namespace {

template <class B> B* makeButton(QWidget* parent, const QString& identifier, const QString& image,
                                 const QString& alternate, QObject* target, std::function<void(QObject*)> action)
{
    auto* button = new B(parent);
    button->setIdentifier(identifier);
    button->setImageNamed(image);
    button->setAlternateImageNamed(alternate);
    if (action)
        button->setAction([action](Control* sender) { action(sender); });
    button->setTarget(target);
    return button;
}

} // namespace

void PLRBaseWindowController::buildTitleBar(PLRBaseWindow* window)
{
    View* bar = window->titleBarView();
    m_header = new PLRTitleBarHeaderView(bar);
    m_header->setIdentifier(QStringLiteral("titleBarHeader"));
    m_header->setGeometry(bar->rect());
    m_header->lower();
    m_header->show();

    m_titleLabel = TextField::labelWithString(QStringLiteral("Pellora"), m_header);
    m_titleLabel->setFont(boldSystemFont(15));
    m_titleLabel->setTextColor(Color(0.25, 0.25, 0.25));
    m_titleLabel->setAlignment(TextAlignment::Center);

    // The post controls right of the post's name sit in two groups of their own.
    m_toolbarItems = new View(m_header);
    m_toolbarItems->setIdentifier(QStringLiteral("toolbarItems"));
    m_toolbarItemsFarRight = new View(m_header);
    m_toolbarItemsFarRight->setIdentifier(QStringLiteral("toolbarItemsFarRight"));
    View* const items = m_toolbarItems;
    View* const farRight = m_toolbarItemsFarRight;

    auto act = [this](void (PLRBaseWindowController::*member)(QObject*)) {
        return std::function<void(QObject*)>([this, member](QObject* sender) { (this->*member)(sender); });
    };
    m_homeButton = makeButton<PLRTitleBarButton>(m_header, QStringLiteral("homeButton"), QStringLiteral("home"),
                                                 QStringLiteral("home-pressed"), this, act(&PLRBaseWindowController::goHomeAction));
    m_currentPostButton = makeButton<PLRPostSelecorPopUpButton>(m_header, QStringLiteral("currentPostButton"), QString(),
                                                                QString(), this, act(&PLRBaseWindowController::showPostMenu));
    m_showPostsButton = makeButton<PLRTitleBarButton>(m_header, QStringLiteral("showPostsButton"), QString(), QString(),
                                                      this, act(&PLRBaseWindowController::showPostMenu));
    m_negativeZoomButton = makeButton<PLRTitleBarButton>(items, QStringLiteral("negativeZoomButton"),
                                                         QStringLiteral("zoom-out"), QStringLiteral("zoom-out-pressed"),
                                                         this, act(&PLRBaseWindowController::zoomSelectionAction));
    m_numberZoomButton = makeButton<PLRTitleBarButton>(items, QStringLiteral("numberZoomButton"), QString(), QString(),
                                                       this, act(&PLRBaseWindowController::zoomSelectionAction));
    m_positiveZoomButton = makeButton<PLRTitleBarButton>(items, QStringLiteral("positiveZoomButton"),
                                                         QStringLiteral("zoom-in"), QStringLiteral("zoom-in-pressed"),
                                                         this, act(&PLRBaseWindowController::zoomSelectionAction));
    m_addButton = makeButton<PLRTitleBarButton>(items, QStringLiteral("addButton"), QStringLiteral("add-block"),
                                                QStringLiteral("add-block-pressed"), this,
                                                act(&PLRBaseWindowController::addBlockAction));
    m_autoLayoutButton = makeButton<PLRTitleBarButton>(items, QStringLiteral("autoLayoutButton"), QString(), QString(),
                                                       this, act(&PLRBaseWindowController::autoLayoutAction));
    m_autoLayoutDropdownButton = makeButton<PLRTitleBarButton>(
        items, QStringLiteral("autoLayoutDropdownButton"), QStringLiteral("wand-dropdown"),
        QStringLiteral("wand-dropdown-pressed"), this, act(&PLRBaseWindowController::showAutoLayoutWizardMenu));
    m_panelsButton = makeButton<PLRTitleBarButton>(farRight, QStringLiteral("panelsButton"), QString(), QString(), this,
                                                   act(&PLRBaseWindowController::showPanelLayoutMenu));
    m_folderButton = makeButton<PLRTitleBarButton>(farRight, QStringLiteral("folderButton"), QStringLiteral("folder"),
                                                   QStringLiteral("folder-pressed"), this,
                                                   act(&PLRBaseWindowController::showFolderMenu));
    m_exportButton = makeButton<PLRTitleBarButton>(farRight, QStringLiteral("exportButton"), QStringLiteral("export"),
                                                   QStringLiteral("export-pressed"), this,
                                                   [](QObject*) { PLRShellHooks::presentExportDialog(); });
    for (int i = 0; i < 4; ++i) {
        // The first divider follows the post's name; the others part the groups' controls.
        auto* divider = new ImageView(i == 0 ? m_header.data() : items);
        divider->setIdentifier(QStringLiteral("divider%1").arg(i + 1));
        divider->setImage(namedImage(QStringLiteral("title-divider")));
        divider->setImageScaling(ImageScaling::AxesIndependently);
        m_dividers.append(divider);
    }

    m_folderMenu = std::make_unique<QMenu>();
    m_folderMenu->addAction(QStringLiteral("Show in File Manager"), [this] { showFolderInFinder(m_folderMenu.get()); });
    m_folderMenu->addAction(QStringLiteral("Change Folder Location..."), [this] { changeFolderLocation(m_folderMenu.get()); });
    m_folderMenu->addAction(QStringLiteral("Refresh Gallery"), [this] { refreshGallery(m_folderMenu.get()); });
    m_folderMenu->addSeparator();
    m_folderMenu->addAction(QStringLiteral("Reset Cache..."), [this] { resetCache(m_folderMenu.get()); });

    m_autoLayoutMenu = std::make_unique<QMenu>();
    for (const QString& title : autoLayoutMenuTitles()) {
        QAction* item = m_autoLayoutMenu->addAction(title);
        item->setCheckable(true);
    }

    m_header->setLayoutHandler([this] { layoutTitleBar(); });
    // The standard buttons stay in front of the header.
    for (StandardWindowButton* button : window->standardButtons())
        button->raise();
}

void PLRBaseWindowController::layoutTitleBar()
{
    if (!m_header)
        return;
    const int w = m_header->width(), h = m_header->height();
    const int buttonHeight = 28;
    const int y = (h - buttonHeight) / 2;
    int left = 16;
    if (auto* way = qobject_cast<WAYWindow*>(m_header->window()))
        for (StandardWindowButton* button : way->standardButtons())
            left = std::max(left, button->geometry().right() + 18);
    // Every control's place in the header; those of the two groups are moved into their group
    // once the group's extent is known.
    QList<QPair<QPointer<QWidget>, QRect>> places;
    auto place = [&places, y, buttonHeight](QWidget* view, int x, int width) {
        if (view)
            places.append({view, QRect(x, y, width, buttonHeight)});
    };
    auto placeDivider = [&places, h](QWidget* view, int x) {
        if (view)
            places.append({view, QRect(x, (h - 20) / 2, 1, 20)});
    };
    place(m_homeButton, left, 28);
    placeDivider(m_dividers.value(0), left + 38);
    const int postX = left + 48;
    int right = w - 16;
    auto fromRight = [&right](QWidget* view, int width, int gap, const std::function<void(QWidget*, int, int)>& placer) {
        right -= width;
        placer(view, right, width);
        right -= gap;
    };
    auto placer = [&place](QWidget* view, int x, int width) { place(view, x, width); };
    auto dividerPlacer = [&placeDivider](QWidget* view, int x, int) { placeDivider(view, x); };
    fromRight(m_exportButton, 28, 8, placer);
    fromRight(m_folderButton, 28, 8, placer);
    fromRight(m_panelsButton, 34, 10, placer);
    fromRight(m_dividers.value(3), 1, 10, dividerPlacer);
    fromRight(m_autoLayoutDropdownButton, 14, 2, placer);
    fromRight(m_autoLayoutButton, 34, 10, placer);
    fromRight(m_dividers.value(2), 1, 10, dividerPlacer);
    fromRight(m_addButton, 28, 10, placer);
    fromRight(m_dividers.value(1), 1, 10, dividerPlacer);
    fromRight(m_positiveZoomButton, 24, 2, placer);
    fromRight(m_numberZoomButton, 48, 2, placer);
    fromRight(m_negativeZoomButton, 24, 8, placer);
    // The post's name takes the room it needs, from its usual width up to the post controls; in
    // a narrow window it gives way (its title cut short) rather than cover them.
    int postWidth = 220;
    if (m_currentPostButton) {
        const int room = right - 24 - postX;
        const int wanted = std::max(postWidth, int(m_currentPostButton->widthForWholeTitle()));
        postWidth = std::max(int(PLRPostSelecorPopUpButton::kArrowWidth) + 60, std::min(wanted, room));
    }
    place(m_currentPostButton, postX, postWidth);
    place(m_showPostsButton, postX + postWidth - int(PLRPostSelecorPopUpButton::kArrowWidth),
          int(PLRPostSelecorPopUpButton::kArrowWidth));
    m_showPostsButton->raise();
    // Each group just covers its controls and the focus rings drawn around them (a group clips
    // what its controls draw), so the title bar around them still moves the window.
    const int ring = int(std::ceil(View::kFocusRingWidth)) + 1;
    for (View* group : {m_toolbarItems.data(), m_toolbarItemsFarRight.data()}) {
        if (!group)
            continue;
        QRect extent;
        for (const auto& [view, rect] : std::as_const(places))
            if (view && view->parentWidget() == group)
                extent = extent.united(rect);
        group->setGeometry(extent.adjusted(-ring, -ring, ring, ring));
    }
    for (const auto& [view, rect] : std::as_const(places))
        if (view)
            view->setGeometry(view->parentWidget() == m_header ? rect : rect.translated(-view->parentWidget()->pos()));
    if (m_titleLabel)
        m_titleLabel->setGeometry(0, (h - 22) / 2, w, 22);
}

void PLRBaseWindowController::windowDidLoad()
{
    auto* window = baseWindow();
    window->setBackgroundColor(ColorWithHex::smb_homeBackground());
    window->setAquaAppearance();

    placeOnScreen();

    auto& visualState = PLRVisualStateHandler::globalHandler();
    setHeaderState(visualState.postHeaderVisible() ? PostHeader : HomeHeader, false);
    updatePanelToolbarIcon();
    m_numberZoomButton->setTitle(zoomLabelForFactor(visualState.layoutZoomFactor()));
    window->setMovable(true);
    window->setCloseRequestHandler(m_closeRequestHandler);

    visualState.addVisualDelegate(this);
    platform::NotificationCenter::defaultCenter().addObserver(
        &m_observer, QLatin1String(kPLRPopoverDidCloseNotification), [this](const platform::Notification&) { popOverClosed(); });

    qint64 count = PLRDefaults::autoLayoutNumImagesToAdd();
    QAction* item = autoLayoutItemForCount(count);
    if (!item) {
        // A stored count the menu does not offer (or a value of the wrong type) reads as the default.
        PLR_LOG_WARN(QStringLiteral("Automatic-layout count %1 is not offered; using %2").arg(count).arg(kDefaultAutoLayoutCount));
        count = kDefaultAutoLayoutCount;
        item = autoLayoutItemForCount(count);
    }
    m_autoLayoutNumImagesToAdd = count;
    autoLayoutDropdownMenuItemSelected(item);

    connect(m_folderMenu.get(), &QMenu::aboutToHide, this, [this] { menuDidClose(m_folderMenu.get()); });
    layoutTitleBar();
}

void PLRBaseWindowController::applyMainWindowLook()
{
    Window* main = window();
    main->setTitleVisible(false);
    main->setBackgroundColor(Color::white());
    if (m_header)
        m_header->setTransparentTitleBar(true);
}

QAction* PLRBaseWindowController::autoLayoutItemForCount(qint64 count) const
{
    const QString title = count == kPLRAutoLayoutAllImages ? QStringLiteral("All") : QString::number(count);
    for (QAction* item : m_autoLayoutMenu->actions())
        if (item->text() == title)
            return item;
    return nullptr;
}

ImageView* PLRBaseWindowController::divider(int index) const
{
    return m_dividers.value(index);
}

QList<View*> PLRBaseWindowController::postHeaderControls() const
{
    return {m_homeButton, m_currentPostButton, m_showPostsButton, m_negativeZoomButton, m_numberZoomButton,
            m_positiveZoomButton, m_addButton, m_autoLayoutButton, m_autoLayoutDropdownButton, m_panelsButton,
            m_folderButton, m_exportButton, m_dividers.value(0), m_dividers.value(1), m_dividers.value(2), m_dividers.value(3)};
}

// ---------------------------------------------------------------- header

void PLRBaseWindowController::setHeaderState(int state, bool animate)
{
    if (PLRPostManager* manager = postManager())
        if (PLRPersistantPost* post = manager->representedPost(); post && !post->name().isEmpty())
            if (post->name() != m_currentPostButton->title()) {
                m_currentPostButton->setPostName(post->name());
                layoutTitleBar();
            }
    m_headerState = state;
    const bool post = state == PostHeader;
    const double titleAlpha = post ? 0.0 : 1.0;
    const double controlsAlpha = post ? 1.0 : 0.0;
    const QList<View*> controls = postHeaderControls();
    // Controls that cannot be seen cannot be used either.
    for (View* control : controls)
        if (control)
            control->setEnabled(post);
    updateHomeButton();
    auto apply = [&](bool animated) {
        if (animated)
            PLRAnimationContext::animateAlpha(m_titleLabel, titleAlpha);
        else
            m_titleLabel->setAlphaValue(titleAlpha);
        for (View* control : controls) {
            if (!control)
                continue;
            if (animated)
                PLRAnimationContext::animateAlpha(control, controlsAlpha);
            else
                control->setAlphaValue(controlsAlpha);
        }
    };
    if (animate) {
        PLRAnimationContext::runAnimationGroup([&](PLRAnimationContext& context) {
            context.setDuration(0.35);
            apply(true);
        });
    } else {
        apply(false);
    }
}

void PLRBaseWindowController::visualStateHandlerSetPostHeaderVisible(PLRVisualStateHandler*, bool visible)
{
    setHeaderState(visible ? PostHeader : HomeHeader, true);
}

void PLRBaseWindowController::placeOnScreen()
{
    Window* shown = window();
    if (!shown)
        return;
    // 0.8 of its screen's width and height, no smaller than the window's minimum, at half the
    // difference from the screen's origin (the screen's own origin is not added); no screen, no
    // frame. On a small screen or at a large scale the window is fitted to the screen's free area
    // as every window is (its minimum gives way, it moves in): where no window manager moves it,
    // its title bar, inspector and Publish stay within reach.
    QRectF frame;
    if (QScreen* screen = shown->screen()) {
        fitToScreen(shown);   // the minimum the free area allows
        const QSizeF screenSize(screen->geometry().size());
        const QSizeF size = (screenSize * 0.8).expandedTo(QSizeF(shown->minimumSize()));
        const QPointF topLeft((screenSize.width() - size.width()) / 2.0, (screenSize.height() - size.height()) / 2.0);
        frame = Window::screenRectFromQt(QRectF(topLeft, size));
    }
    shown->setFrame(frame, false);
}

QString PLRBaseWindowController::zoomLabelForFactor(double factor)
{
    // Truncated (0.999 shows 99%), after a tolerance for the binary form of decimal factors
    // (0.29 * 100 is 28.999...96 and shows 29%).
    const double percent = std::isfinite(factor) ? std::floor(factor * 100.0 + 1e-6) : 0.0;
    return QStringLiteral("%1%").arg(qint64(percent));
}

void PLRBaseWindowController::visualStateHandlerSetLayoutZoomFactor(PLRVisualStateHandler*, double factor)
{
    if (m_numberZoomButton)
        m_numberZoomButton->setTitle(zoomLabelForFactor(factor));
}

void PLRBaseWindowController::zoomSelectionAction(QObject* sender)
{
    auto& visualState = PLRVisualStateHandler::globalHandler();
    if (sender == m_negativeZoomButton)
        visualState.decrementLayoutZoomFactorBy(0.1);
    else if (sender == m_positiveZoomButton)
        visualState.incrementLayoutZoomFactorBy(0.1);
    else
        visualState.setLayoutZoomToFit();
}

// ---------------------------------------------------------------- navigation

void PLRBaseWindowController::goHomeAction(QObject*)
{
    m_content->moveHome(true);
}

void PLRBaseWindowController::popUpMenu(QMenu* menu, QWidget* inView, const QPointF& location)
{
    if (!menu || !inView)
        return;
    menu->popup(inView->mapToGlobal(location.toPoint()));
}

void PLRBaseWindowController::showPostMenu(QObject* sender)
{
    PLRUserSession* session = PLRCoreManager::userSession();
    const QList<PLRPersistantPost*> posts =
        session ? session->currentPostsSortedByKeys({QStringLiteral("name"), QStringLiteral("creationDate")}, true, QString())
                : QList<PLRPersistantPost*>();
    QList<PLRPersistantPost*> published, unpublished;
    for (PLRPersistantPost* post : posts)
        (post->remoteIdentifier().isEmpty() ? unpublished : published).append(post);
    PLRPostManager* shownManager = postManager();
    PLRPersistantPost* shown = shownManager ? shownManager->representedPost() : nullptr;
    const QString shownIdentifier = shown ? shown->identifier() : QString();

    m_postMenu = std::make_unique<QMenu>();
    auto addItem = [this, &shownIdentifier](PLRPersistantPost* post) {
        QAction* item = m_postMenu->addAction(post->name());
        item->setData(post->identifier());
        item->setCheckable(true);
        item->setChecked(!shownIdentifier.isEmpty() && post->identifier() == shownIdentifier);
        QPointer<QAction> guarded(item);
        connect(item, &QAction::triggered, this, [this, guarded] {
            if (guarded)
                moveToPost(guarded);
        });
    };
    for (PLRPersistantPost* post : published)
        addItem(post);
    m_postMenu->addSeparator();
    for (PLRPersistantPost* post : unpublished)
        addItem(post);
    QWidget* anchor = m_showPostsButton ? static_cast<QWidget*>(m_showPostsButton) : qobject_cast<QWidget*>(sender);
    const double height = qobject_cast<QWidget*>(sender) ? qobject_cast<QWidget*>(sender)->height() : anchor->height();
    popUpMenu(m_postMenu.get(), anchor, QPointF(0, height));
}

void PLRBaseWindowController::moveToPost(QAction* item)
{
    if (item)
        m_content->presentPostId(item->data().toString());
}

// ---------------------------------------------------------------- panels

void PLRBaseWindowController::updatePanelToolbarIcon()
{
    const auto& visualState = PLRVisualStateHandler::globalHandler();
    const bool galleryCollapsed = visualState.galleryVisible();
    const bool inspectorCollapsed = visualState.inspectorVisible();
    QString base;
    if (!galleryCollapsed && !inspectorCollapsed)
        base = QStringLiteral("panels-both-showing");
    else if (!galleryCollapsed && inspectorCollapsed)
        base = QStringLiteral("panels-left-showing");
    else if (galleryCollapsed && !inspectorCollapsed)
        base = QStringLiteral("panels-right-showing");
    else
        base = QStringLiteral("panels-both-hidden");
    if (m_panelsButton) {
        m_panelsButton->setImageNamed(base);
        m_panelsButton->setAlternateImageNamed(base + QStringLiteral("-pressed"));
        m_panelsButton->setShowsAlternate(false);
    }
    m_panelButtonMenuOpenImage = base + QStringLiteral("-popover");
}

void PLRBaseWindowController::showPanelLayoutMenu(QObject* sender)
{
    m_panelsButton->setAlternateImageNamed(m_panelButtonMenuOpenImage);
    m_panelsButton->setShowsAlternate(true);
    const auto& visualState = PLRVisualStateHandler::globalHandler();
    const bool gallery = visualState.galleryVisible();
    const bool inspector = visualState.inspectorVisible();
    struct Choice { const char* title; const char* image; int tag; bool gallery; bool inspector; };
    const Choice choices[] = {
        {"Both Panels", "both-panels-menu", 1, false, false},
        {"Gallery panel only", "gallery-panel-menu", 2, false, true},
        {"Utilities panel only", "utilities-panel-menu", 3, true, false},
        {"Hide both panels", "hide-both-panels-menu", 4, true, true},
    };
    m_panelMenu = std::make_unique<QMenu>();
    for (const Choice& choice : choices) {
        QAction* item = m_panelMenu->addAction(QIcon(QPixmap::fromImage(namedImage(QLatin1String(choice.image)))),
                                               QLatin1String(choice.title));
        item->setData(choice.tag);
        item->setCheckable(true);
        item->setChecked(gallery == choice.gallery && inspector == choice.inspector);
        QPointer<QAction> guarded(item);
        connect(item, &QAction::triggered, this, [this, guarded] {
            if (guarded)
                changePanelOption(guarded);
        });
    }
    QMenu* menu = m_panelMenu.get();
    connect(menu, &QMenu::aboutToHide, this, [this, menu] { menuDidClose(menu); });
    auto* view = qobject_cast<QWidget*>(sender);
    popUpMenu(menu, m_panelsButton, QPointF(0, view ? view->height() : m_panelsButton->height()));
}

void PLRBaseWindowController::changePanelOption(QAction* item)
{
    auto& visualState = PLRVisualStateHandler::globalHandler();
    switch (item ? item->data().toInt() : 0) {
    case 1: visualState.setGalleryVisible(false); visualState.setInspectorVisible(false); break;
    case 2: visualState.setGalleryVisible(false); visualState.setInspectorVisible(true); break;
    case 3: visualState.setGalleryVisible(true); visualState.setInspectorVisible(false); break;
    case 4: visualState.setGalleryVisible(true); visualState.setInspectorVisible(true); break;
    default: break;
    }
    updatePanelToolbarIcon();
}

void PLRBaseWindowController::menuDidClose(QMenu*)
{
    updatePanelToolbarIcon();
    if (m_folderButton) {
        m_folderButton->setAlternateImageNamed(QStringLiteral("folder-pressed"));
        m_folderButton->setShowsAlternate(false);
    }
    if (m_autoLayoutDropdownButton)
        m_autoLayoutDropdownButton->setShowsAlternate(false);
}

// ---------------------------------------------------------------- automatic layout

void PLRBaseWindowController::showAutoLayoutWizardMenu(QObject* sender)
{
    const QList<QAction*> items = m_autoLayoutMenu->actions();
    for (QAction* item : items) {
        item->disconnect(this);
        QPointer<QAction> guarded(item);
        connect(item, &QAction::triggered, this, [this, guarded] {
            if (guarded)
                autoLayoutDropdownMenuItemSelected(guarded);
        });
        item->setChecked(false);
    }
    if (QAction* current = autoLayoutItemForCount(m_autoLayoutNumImagesToAdd))
        current->setChecked(true);
    m_autoLayoutDropdownButton->setShowsAlternate(true);
    QMenu* menu = m_autoLayoutMenu.get();
    menu->disconnect(this);
    connect(menu, &QMenu::aboutToHide, this, [this, menu] { menuDidClose(menu); });
    auto* view = qobject_cast<QWidget*>(sender);
    popUpMenu(menu, m_autoLayoutDropdownButton, QPointF(0, view ? view->height() : m_autoLayoutDropdownButton->height()));
}

void PLRBaseWindowController::autoLayoutDropdownMenuItemSelected(QAction* item)
{
    if (!item)
        return;
    const QString title = item->text();
    qint64 count;
    QString word;
    if (title == QLatin1String("All")) {
        count = kPLRAutoLayoutAllImages;
        word = QStringLiteral("all");
    } else {
        bool ok = false;
        count = title.toLongLong(&ok);
        if (!ok)
            return;
        word = title;
    }
    m_autoLayoutButton->setImageNamed(QStringLiteral("wand-%1").arg(word));
    m_autoLayoutButton->setAlternateImageNamed(QStringLiteral("wand-%1-pressed").arg(word));
    for (QAction* other : m_autoLayoutMenu->actions())
        other->setChecked(false);
    item->setChecked(true);
    m_autoLayoutNumImagesToAdd = count;
    PLRDefaults::setAutoLayoutNumImagesToAdd(count);
}

void PLRBaseWindowController::autoLayoutAction(QObject*)
{
    platform::NotificationCenter::defaultCenter().post(
        QLatin1String(kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT), nullptr,
        {{QLatin1String(kPLRAutoLayoutNumImagesToAddKey), QVariant::fromValue<qint64>(m_autoLayoutNumImagesToAdd)}});
}

// ---------------------------------------------------------------- folder

void PLRBaseWindowController::showFolderMenu(QObject*)
{
    m_folderButton->setAlternateImageNamed(QStringLiteral("folder-popover"));
    m_folderButton->setShowsAlternate(true);
    popUpMenu(m_folderMenu.get(), m_folderButton, QPointF(0, m_folderButton->height()));
}

void PLRBaseWindowController::showFolderInFinder(QObject*)
{
    PLRPostManager* manager = postManager();
    if (!manager || !manager->sourceDirectory())
        return;
    platform::Workspace::shared().openURL(manager->sourceDirectory()->location());
}

void PLRBaseWindowController::changeFolderLocation(QObject*)
{
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.title = QStringLiteral("Choose the post's folder of photos");
    request.prompt = QStringLiteral("Choose");
    const std::optional<QString> chosen = platform::FilePanels::shared().run(request, window());
    if (!chosen)
        return;
    PLRPostManager* manager = postManager();
    if (!manager || !manager->sourceDirectory()) {
        PLR_LOG_INFO(QStringLiteral("No post is open: the chosen folder %1 is not used").arg(*chosen));
        return;
    }
    manager->sourceDirectory()->setNewLocation(QUrl::fromLocalFile(*chosen));
}

void PLRBaseWindowController::refreshGallery(QObject*)
{
    if (PLRPostManager* manager = postManager())
        if (PLRPersistantPost* post = manager->representedPost())
            post->refreshSourceLocations();
}

void PLRBaseWindowController::resetCache(QObject*)
{
    platform::Alert alert;
    alert.messageText = QStringLiteral("Pellora Will Restart");
    alert.informativeText =
        QStringLiteral("Pellora needs to restart to clear this cache. If Pellora does not close in 5 seconds, please quit and re-open Pellora.");
    alert.buttons = {QStringLiteral("Ok")};
    platform::runAlert(alert, window());
    if (PLRPostManager* manager = postManager())
        if (manager->sourceDirectory())
            manager->sourceDirectory()->resetCache();
    if (AppDelegate* app = AppDelegate::shared())
        app->relaunchAfterDelay(2.0);
}

// ---------------------------------------------------------------- add-block popover

void PLRBaseWindowController::makePopOverView()
{
    if (m_popOverView)
        return;
    m_popOverView = new View;
    m_popOverView->setIdentifier(QStringLiteral("popOverView"));
    auto* popOverLayout = new QVBoxLayout(m_popOverView);
    popOverLayout->setContentsMargins(0, 0, 0, 0);
    m_addBlockView = new PLRAddBlockView(m_popOverView);
    popOverLayout->addWidget(m_addBlockView);
    m_addBlockView->onAdd = [this](int kind) { addBlockOfKind(kind); };
    m_addBlockView->onDragWillStart = [this](int) {
        // The popover gets out of the way of the canvas while the block is dragged.
        if (m_dragPopOver)
            m_dragPopOver->hide();
    };
}

View* PLRBaseWindowController::popOverView()
{
    makePopOverView();
    return m_popOverView;
}

PLRAddBlockView* PLRBaseWindowController::addBlockView()
{
    makePopOverView();
    return m_addBlockView;
}

void PLRBaseWindowController::addBlockAction(QObject* sender)
{
    makePopOverView();
    if (!m_dragPopOver) {
        m_dragPopOver = new PLRPopover(window());
        m_dragPopOver->setContentView(m_popOverView);
        m_popOverView->updateGeometry();
    }
    m_addButton->setImageNamed(QStringLiteral("add-block-popover"));
    auto* view = qobject_cast<QWidget*>(sender);
    if (view && view->window()) {
        m_dragPopOver->showRelativeToRect(view->rect(), view);
        // The popover takes the keyboard: a post can be composed without the mouse.
        m_addBlockView->focusFirstTile();
    }
}

PLRLayoutInteractionView* PLRBaseWindowController::currentCanvas() const
{
    PLRPostViewController* post = m_content ? m_content->currentPostViewController() : nullptr;
    auto* pane = post ? qobject_cast<PLRPostCanvasViewController*>(post->layoutViewController()) : nullptr;
    PLRLayoutViewController* canvas = pane ? pane->canvas() : nullptr;
    return canvas ? canvas->interactionView() : nullptr;
}

PLRBlock* PLRBaseWindowController::addBlockOfKind(int kind)
{
    if (m_dragPopOver)
        m_dragPopOver->hide();
    PLRLayoutInteractionView* canvas = currentCanvas();
    if (!canvas || !canvas->layoutManager()) {
        PLR_LOG_INFO(QStringLiteral("No post is shown; no block added"));
        return nullptr;
    }
    return canvas->appendNewBlock(kind);
}

void PLRBaseWindowController::popOverClosed()
{
    if (m_addButton)
        m_addButton->setImageNamed(QStringLiteral("add-block"));
}

#pragma once

#include <QRectF>

#include <optional>

#include "platform-ui/Controls.h"
#include "platform-ui/Window.h"
#include "shell/PLRAddBlockView.h"
#include "shell/PLRBaseWindow.h"
#include "shell/PLRTitleBarControls.h"
#include "shell/PLRTitleBarHeaderView.h"
#include "canvas/interaction/PLRVisualStateHandler.h"

#include <QMenu>
#include <QPointer>

#include <functional>
#include <memory>

class PLRBaseViewController;
namespace PLR {
class Block;
}
using PLRBlock = PLR::Block;


class PLRLayoutInteractionView;
class PLRPostManager;

// The controller of the application's one main window: it owns the title bar's controls, switches
// between the home and the post header with the shared visual state, shows the panel layout and
// the zoom factor, and turns title-bar commands into calls on root navigation, the visual state,
// the post's folder and the automatic-layout notification. Its content controller is root
// navigation.

class PLRBaseWindowController : public platform::ui::WindowController,
                                public platform::ui::WindowDelegate,
                                public PLRVisualStateHandlerDelegate {
    Q_OBJECT
public:
    enum HeaderState { PostHeader = 0, HomeHeader = 1 };

    explicit PLRBaseWindowController(QObject* parent = nullptr);
    ~PLRBaseWindowController() override;

    // Gives the window 0.8 of its screen's size, centred on the screen (done when the window
    // loads and again once it has its menu bar, which would otherwise grow it).
    void placeOnScreen();

    PLRBaseViewController* contentViewController() const { return m_content; }
    PLRPostManager* postManager() const;
    PLRBaseWindow* baseWindow() { return static_cast<PLRBaseWindow*>(window()); }

    // Title-bar commands.
    void goHomeAction(QObject* sender);
    void showPostMenu(QObject* sender);
    void moveToPost(QAction* item);
    void showPanelLayoutMenu(QObject* sender);
    void changePanelOption(QAction* item);
    void updatePanelToolbarIcon();
    void showAutoLayoutWizardMenu(QObject* sender);
    void autoLayoutDropdownMenuItemSelected(QAction* item);
    void autoLayoutAction(QObject* sender);
    void showFolderMenu(QObject* sender);
    void showFolderInFinder(QObject* sender);
    void changeFolderLocation(QObject* sender);
    void refreshGallery(QObject* sender);
    void resetCache(QObject* sender);
    void addBlockAction(QObject* sender);
    void popOverClosed();
    // The add-block popover's click on a tile: closes the popover and appends a new block of
    // the kind to the shown post's layout (through its canvas, so it is one undoable change and
    // a text is typed into at once). The block, or null when no post is shown.
    PLRBlock* addBlockOfKind(int kind);
    // The shown post's canvas, or null.
    PLRLayoutInteractionView* currentCanvas() const;
    void zoomSelectionAction(QObject* sender);
    void setHeaderState(int state, bool animate);
    int headerState() const { return m_headerState; }
    void menuDidClose(QMenu* menu);
    // Full screen hides the dock, the menu bar and the toolbar automatically.
    static constexpr unsigned kFullScreenPresentationOptions = 1030;
    unsigned windowWillUseFullScreenPresentationOptions(unsigned proposedOptions) const;

    // The look the application delegate gives the main window: title hidden, white background,
    // transparent title bar.
    void applyMainWindowLook();

    // The zoom percentage shown for a factor: the nearest whole percent.
    static QString zoomLabelForFactor(double factor);

    // Visual-state delegate.
    void visualStateHandlerSetPostHeaderVisible(PLRVisualStateHandler*, bool visible) override;
    void visualStateHandlerSetGalleryVisible(PLRVisualStateHandler*, bool) override { updatePanelToolbarIcon(); }
    void visualStateHandlerSetInspectorVisible(PLRVisualStateHandler*, bool) override { updatePanelToolbarIcon(); }
    void visualStateHandlerSetLayoutZoomFactor(PLRVisualStateHandler*, double factor) override;

    // Window delegate: closing the main window asks to quit.
    bool respondsTo(platform::ui::WindowMessage message) const override;
    bool windowShouldClose(platform::ui::Window* window) override;
    void setCloseRequestHandler(std::function<void()> handler);

    qint64 autoLayoutNumImagesToAdd() const { return m_autoLayoutNumImagesToAdd; }
    void setAutoLayoutNumImagesToAdd(qint64 count) { m_autoLayoutNumImagesToAdd = count; }
    QString panelButtonMenuOpenImage() const { return m_panelButtonMenuOpenImage; }
    void setPanelButtonMenuOpenImage(const QString& name) { m_panelButtonMenuOpenImage = name; }

    // Outlets.
    PLRTitleBarHeaderView* headerView() const { return m_header; }
    // The add-block popover's content, made when first asked for (it is not part of the window
    // until the add button is pressed).
    platform::ui::View* popOverView();
    PLRTitleBarButton* homeButton() const { return m_homeButton; }
    PLRPostSelecorPopUpButton* currentPostButton() const { return m_currentPostButton; }
    PLRTitleBarButton* showPostsButton() const { return m_showPostsButton; }
    PLRTitleBarButton* negativeZoomButton() const { return m_negativeZoomButton; }
    PLRTitleBarButton* numberZoomButton() const { return m_numberZoomButton; }
    PLRTitleBarButton* positiveZoomButton() const { return m_positiveZoomButton; }
    PLRTitleBarButton* addButton() const { return m_addButton; }
    platform::ui::TextField* titleLabel() const { return m_titleLabel; }
    PLRTitleBarButton* autoLayoutButton() const { return m_autoLayoutButton; }
    PLRTitleBarButton* autoLayoutDropdownButton() const { return m_autoLayoutDropdownButton; }
    PLRTitleBarButton* panelsButton() const { return m_panelsButton; }
    PLRTitleBarButton* folderButton() const { return m_folderButton; }
    PLRTitleBarButton* exportButton() const { return m_exportButton; }
    QMenu* folderMenu() const { return m_folderMenu.get(); }
    QMenu* autoLayoutMenu() const { return m_autoLayoutMenu.get(); }
    platform::ui::ImageView* divider(int index) const;
    // The title bar's two groups of post controls the application delegate shows and hides
    // with the post view: "toolbarItems" (zoom, add block, automatic layout) and
    // "toolbarItemsFarRight" (panels, folder, export).
    platform::ui::View* toolbarItems() const { return m_toolbarItems; }
    platform::ui::View* toolbarItemsFarRight() const { return m_toolbarItemsFarRight; }
    PLRPopover* dragPopOver() const { return m_dragPopOver; }
    PLRAddBlockView* addBlockView();
    // The menus last popped up (kept until the next one of their kind).
    QMenu* postMenu() const { return m_postMenu.get(); }
    QMenu* panelLayoutMenu() const { return m_panelMenu.get(); }
    // The post-header controls in the order the header switch sets them.
    QList<platform::ui::View*> postHeaderControls() const;

    // The counts the automatic-layout menu offers ("All" last).
    static QStringList autoLayoutMenuTitles();
    static constexpr qint64 kDefaultAutoLayoutCount = 21;
    static constexpr double kTitleBarHeight = 52.0;
    // The smallest the window takes where its screen has room for it.
    static constexpr int kMinimumWidth = 860;
    static constexpr int kMinimumHeight = 560;

protected:
    std::unique_ptr<platform::ui::Window> loadWindow() override;
    void windowDidLoad() override;

private:
    void buildTitleBar(PLRBaseWindow* window);
    void makePopOverView();
    void layoutTitleBar();
    void updateHomeButton();
    QAction* autoLayoutItemForCount(qint64 count) const;
    void popUpMenu(QMenu* menu, QWidget* inView, const QPointF& location);

    PLRBaseViewController* m_content = nullptr;
    QPointer<PLRTitleBarHeaderView> m_header;
    QPointer<platform::ui::View> m_popOverView;
    QPointer<PLRTitleBarButton> m_homeButton;
    QPointer<PLRPostSelecorPopUpButton> m_currentPostButton;
    QPointer<PLRTitleBarButton> m_showPostsButton;
    QPointer<PLRTitleBarButton> m_negativeZoomButton;
    QPointer<PLRTitleBarButton> m_numberZoomButton;
    QPointer<PLRTitleBarButton> m_positiveZoomButton;
    QPointer<PLRTitleBarButton> m_addButton;
    QPointer<platform::ui::TextField> m_titleLabel;
    QPointer<PLRTitleBarButton> m_autoLayoutButton;
    QPointer<PLRTitleBarButton> m_autoLayoutDropdownButton;
    QPointer<PLRTitleBarButton> m_panelsButton;
    QPointer<PLRTitleBarButton> m_folderButton;
    QPointer<PLRTitleBarButton> m_exportButton;
    QList<QPointer<platform::ui::ImageView>> m_dividers;
    QPointer<platform::ui::View> m_toolbarItems;
    QPointer<platform::ui::View> m_toolbarItemsFarRight;
    std::unique_ptr<QMenu> m_folderMenu;
    std::unique_ptr<QMenu> m_autoLayoutMenu;
    std::unique_ptr<QMenu> m_postMenu;
    std::unique_ptr<QMenu> m_panelMenu;
    QPointer<PLRPopover> m_dragPopOver;
    QPointer<PLRAddBlockView> m_addBlockView;
    QString m_panelButtonMenuOpenImage;
    qint64 m_autoLayoutNumImagesToAdd = kDefaultAutoLayoutCount;
    int m_headerState = HomeHeader;
    std::function<void()> m_closeRequestHandler;
    QObject m_observer;
};

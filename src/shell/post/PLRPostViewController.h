#pragma once

#include "controls/PLRProgressBar.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform-ui/Controls.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRGenericPostViewController.h"
#include "platform-ui/PLRViewController.h"
#include "canvas/interaction/PLRVisualStateHandler.h"
#include "shell/post/PLROnboardingPopover.h"
#include "shell/post/PLRPostSplitView.h"
#include "shell/post/PLRPrepViewController.h"

#include <QDateTime>
#include <QSizeF>
#include <QPointer>

class PLRPostCanvasViewController;

inline constexpr const char* kPLRPostViewAutoSaveName = "PLRPostViewAutoSave";
inline constexpr const char* kPLRPostSessionEventTitle = "post_session";
inline constexpr const char* kPLRPostSessionSecondsKey = "seconds_of_session";

// The screen of one open post: gallery, canvas and a fixed 250-point inspector side by side,
// the gallery's width and both side panes' collapsed state remembered. A post still to be made
// is first covered by the new-post sheet, then by the image-preparation panel while its folder
// loads. It shows the two one-time onboarding hints and reports how long the post stayed open.
//
// The side panes come from the storyboard "Main" ("PLRGalleryViewController",
// "PLRInspectorViewController", each a PLRGenericPostViewController) when registered there, and
// are empty panes of their fixed widths until then; the middle pane is the interactive canvas.
class PLRPostViewController : public PLRViewController, public PLRVisualStateHandlerDelegate, public PLRSourceDirectoryDelegate {
    Q_OBJECT
public:
    explicit PLRPostViewController(QObject* parent = nullptr);
    ~PLRPostViewController() override;

    static void registerScene();

    // The view's layer: corner radius, clipping to it, and the shadow.
    static constexpr double kCornerRadius = 5.0;
    static constexpr QSizeF kShadowOffset{0.0, 4.0};
    static constexpr double kShadowRadius = 5.0;
    static constexpr double kShadowOpacity = 0.2;

    PLRPostManager* postManager() const { return m_postManager; }
    virtual void setPostManager(PLRPostManager* manager);

    // Called by root navigation each time it has put the view on screen.
    void presentInitialVisualState();
    // The keyboard of a screen the user leaves for this post: its canvas takes it, as a click on
    // the canvas gives it (a new post's sheet takes it itself).
    void takeKeyboard();
    // Ends the new-post phase, 1 s after the folder has loaded (once only).
    void closePrepDisplay();
    // From any thread.
    void updateUIOnWatchDirectoryProgress(const PLRSourceDirectoryProgressInfo& info);
    void restoreGalleryViewWidth();

    // Onboarding hints.
    void checkOnBoard();
    void checkInspectorOnBoard();
    void dismissGalleyOnboard();
    void dismissInspectorOnboard();

    // Visual state (the flags are "collapsed").
    void visualStateHandlerSetGalleryVisible(PLRVisualStateHandler* handler, bool collapsed) override;
    void visualStateHandlerSetInspectorVisible(PLRVisualStateHandler* handler, bool collapsed) override;

    // Appearance (also followed through the view's own show and hide).
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;
    void viewDidDisappear() override;

    // Panes: the controller owns them. Replacing one hands it the post manager when there is one.
    PLRGenericPostViewController* galleryViewController() const { return m_gallery; }
    PLRGenericPostViewController* layoutViewController() const;
    PLRGenericPostViewController* inspectorViewController() const { return m_inspector; }
    void setGalleryViewController(PLRGenericPostViewController* controller);
    void setInspectorViewController(PLRGenericPostViewController* controller);

    // Outlets.
    PLRPostSplitView* splitView();
    QWidget* galleryPane() const { return m_galleryPane; }
    QWidget* layoutPane() const { return m_layoutPane; }
    QWidget* inspectorPane() const { return m_inspectorPane; }
    platform::ui::View* imageProcessView() const { return m_imageProcessView; }
    platform::ui::TextField* imageProcessLabel() const { return m_imageProcessLabel; }
    PLRProgressBar* imageProcessProgressIndicator() const { return m_imageProcessProgressIndicator; }
    platform::ui::View* onboardGalleryView() const { return m_onboardGalleryView; }
    platform::ui::View* onboardInspectorView() const { return m_onboardInspectorView; }
    PLRPrepViewController* prepViewController() const { return m_prepViewController; }
    PLROnboardingPopover* onBoardPopOver() const { return m_onBoardPopOver; }
    // The new-post sheet is on screen; its cancel button (null without the sheet).
    bool isShowingNewPostForm() const { return m_prepViewController != nullptr; }
    platform::ui::Button* cancelButton() const;

    // State.
    bool prepHasClosed() const { return m_prepHasClosed; }
    bool onBoardInspectorDone() const { return m_onBoardInspectorDone; }
    bool onBoardWillPresentInspector() const { return m_onBoardWillPresentInspector; }
    QDateTime postLoadDate() const { return m_postLoadDate; }
    // Between its view's appearing on the window and its leaving it.
    bool isOnScreen() const { return m_onScreen; }

    static constexpr double kGalleryMinimumWidth = 250.0;
    // The narrowest the gallery is shown at where the window has no room for its minimum: its
    // bottom bar's button and slider, one column of photos.
    static constexpr double kGalleryNarrowestWidth = 180.0;
    static constexpr double kCanvasMinimumWidth = 300.0;
    static constexpr double kInspectorWidth = 250.0;

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void layoutOverlays();
    void installPane(QWidget* pane, PLRGenericPostViewController* controller);
    void handOutPostManager();
    void applyCollapsedState(bool galleryCollapsed, bool inspectorCollapsed);
    void prepSheetFinished(bool accepted);
    void dismissPrepSheet();
    void savePostFromSnapshot();
    void showHint(bool gallery);
    void closePopover();
    void postManagerWentAway();
    void appear();
    void disappear();
    static bool isInWindow(QWidget* view);

    QPointer<PLRPostManager> m_postManager;
    QMetaObject::Connection m_managerGone;
    PLRGenericPostViewController* m_gallery = nullptr;
    PLRPostCanvasViewController* m_canvas = nullptr;
    PLRGenericPostViewController* m_inspector = nullptr;
    QPointer<PLRPostSplitView> m_splitView;
    QPointer<QWidget> m_galleryPane;
    QPointer<QWidget> m_layoutPane;
    QPointer<QWidget> m_inspectorPane;
    QPointer<platform::ui::View> m_imageProcessView;
    QPointer<platform::ui::TextField> m_imageProcessLabel;
    QPointer<PLRProgressBar> m_imageProcessProgressIndicator;
    QPointer<platform::ui::View> m_onboardGalleryView;
    QPointer<platform::ui::View> m_onboardInspectorView;
    QPointer<PLRPrepViewController> m_prepViewController;
    QPointer<PLROnboardingPopover> m_onBoardPopOver;
    QDateTime m_postLoadDate;
    bool m_prepHasClosed = false;
    bool m_onBoardInspectorDone = false;
    bool m_onBoardWillPresentInspector = false;
    bool m_onScreen = false;
    QObject m_observer;
};

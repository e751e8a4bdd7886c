#pragma once

// The inspector's page of post-wide settings: the layout's padding, background colour,
// entrance animation, lightbox, Pinterest and Facebook buttons and the canvas's keyword
// overlay (the "Document" page), and the post's SEO title and meta description with the SEO
// panel and the publish-state area (the "Settings" page). Every edit goes straight into the
// post or its layout document and is announced; there is no undo here.

#include "layout/base/PLRLayoutManager.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRLinkButtons.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRSwitchButton.h"
#include "panels/inspector/PLRInspectorPanels.h"
#include "panels/inspector/PLRInspectorWidgets.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform-ui/PLRViewController.h"

#include <QPointer>

class PLRColorWell;
class PLRGenericPostViewController;
class PLRLayoutManager;
class PLRPopupButton;
class PLRPostManager;
class PLRSpinner;
class PLRStepper;
class PLRSwitchButton;
class InspectorBGView;
class QVBoxLayout;
namespace platform::ui { class Button; class ImageView; class TextField; class View; }

// Posted by the Document page when it covers (user info "hidden" true) or uncovers (false) its
// publish area with an overlay; object: the page.
inline constexpr const char* kPLRToggleInspectorBottomPublishAreaVisibility = "PLRToggleInspectorBottomPublishAreaVisibility";
inline constexpr const char* kPLRToggleInspectorBottomPublishAreaHiddenKey = "hidden";

class PLRDocumentViewController : public PLRViewController,
                                  public PLRSourceDirectoryDelegate,
                                  public PLRInspectorPublishArea {
    Q_OBJECT
public:
    static constexpr int kMetaDescriptionLimit = 200;
    static constexpr double kMetaMinimumHeight = 56.0;

    explicit PLRDocumentViewController(QObject* parent = nullptr);
    ~PLRDocumentViewController() override;

    PLRLayoutManager* layoutManager() const { return m_layoutManager; }
    void setLayoutManager(PLRLayoutManager* manager);
    PLRPostManager* postManager() const;

    // The second page's view (SEO and the publish-state area).
    platform::ui::View* settingsView();

    // The SEO panel living on the Settings page (from the "Main" scenes; null until registered).
    PLRGenericPostViewController* seoViewController() const { return m_seoViewController; }
    // The publish panel driving the publish-state area; linking it shows the area.
    PLRInspectorPublishPanel* publishViewController() const { return m_publishPanel; }
    void setPublishViewController(PLRInspectorPublishPanel* panel, QObject* lifetime);

    void viewWillAppear() override;
    // Fills the pages from the post and its layout.
    void ensureUI();
    void ensureSocialView();
    void imageCountChanged();
    // Sets the image-use label now (imageCountChanged sets it on the main queue).
    void showImageCount();

    // Layout settings (the controls' actions).
    void setPaddingAction();
    void setPaddingStepperAction();
    void showBackgroundColourWell();
    void setBackgroundColour();
    void toggleAnimation();
    void setAnimationType();
    void setAnimationSpeed();
    void toggleLightbox();
    void togglePinterestButtons();
    void setPinterestButtonSize();
    void setPinterestButtonPosition();
    void toggleFacebookComments();
    void setFacebookPostURL();
    void setFacebookAccountId();
    void toggleImageKeywordsOverlay();

    // SEO fields.
    void setSEOTitle();
    void setMetaDescription();
    void updateMetaDescFieldRectForString(const QString& text);

    // The publish-state area.
    void showUnpublishedState() override;
    void showUploadingState(const QString& text) override;
    void setUploadCancelEnabled(bool enabled) override;
    void showPublishedState() override;
    void updatePublishedDate(const QString& text) override;
    void updateLastUpdatedDate(const QString& text) override;
    void updatePublishHost(const QString& text) override;
    void setWordPressSettingsViewHidden(bool hidden) override;
    void showWordpressError(const QString& text) override;
    void hideWordPressError() override;
    void showOfflineView() override;
    void hideOfflineView() override;
    void showNoServerConnectionView() override;
    void hideNoServerConnectionView() override;
    void showFetchingInfoView() override;
    void hideFetchingInfoView() override;
    PLRPopupButton* categoriesPopup() const override { return m_categoriesPopup; }
    PLRSwitchButton* publishAsDraft() const override { return m_publishAsDraft; }
    bool isPublished() const override { return m_isPublished; }
    bool isUploading() const override { return m_isUploading; }
    // The page's publish button: cancel while uploading, un-publish when published, else publish.
    void publish();
    void showWordpressSettings();
    void changePublishAsDraftState();

    // Source-folder call-backs.
    void sourceDirectoryAddedNewImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;
    void sourceDirectoryDeletedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;

    // Controls (for the inspector's tests and the pages' wiring).
    platform::ui::TextField* paddingTextField() const { return m_paddingTextField; }
    PLRStepper* paddingStepper() const { return m_paddingStepper; }
    PLRColorWell* bgColorWell() const { return m_bgColorWell; }
    PLRSwitchButton* enableLayoutAnimationSwitch() const { return m_enableLayoutAnimationSwitch; }
    QWidget* animationView() const { return m_animationView; }
    PLRPopupButton* layoutAnimationTypeButton() const { return m_layoutAnimationTypeButton; }
    PLRPopupButton* layoutAnimationSpeedPopupButton() const { return m_layoutAnimationSpeedPopupButton; }
    PLRSwitchButton* enableLightboxSwitch() const { return m_enableLightboxSwitch; }
    PLRSwitchButton* includePinterestToggleSwitch() const { return m_includePinterestToggleSwitch; }
    QWidget* socialPluginView() const { return m_socialPluginView; }
    PLRPopupButton* pinterestButtonSizePopUpButton() const { return m_pinterestButtonSizePopUpButton; }
    PLRPopupButton* pinterestButtonPositionPopUpButton() const { return m_pinterestButtonPositionPopUpButton; }
    PLRSwitchButton* includeFacebookSwitch() const { return m_includeFacebookSwitch; }
    QWidget* facebookCommentsView() const { return m_facebookCommentsView; }
    platform::ui::TextField* facebookPostURLTextField() const { return m_facebookPostURLTextField; }
    platform::ui::TextField* facebookAccountIdTextField() const { return m_facebookAccountIdTextField; }
    PLRSwitchButton* enableImageKeywordsOverlaySwitch() const { return m_enableImageKeywordsOverlaySwitch; }
    platform::ui::TextField* seoTitleTextField() const { return m_seoTitleTextField; }
    plr::insp::LimitedTextEdit* seoMetaTextView() const { return m_seoMetaTextView; }
    platform::ui::TextField* imagesUsedLabel() const { return m_imagesUsedLabel; }
    QWidget* topLevelPublishView() const { return m_topLevelPublishView; }
    platform::ui::TextField* publishedStatusText() const { return m_publishedStatusText; }
    plr::insp::ElidedCaption* publishHostLabel() const { return m_publishHost; }
    PLRSpinner* uploadingSpinner() const { return m_uploadingSpinner; }
    Pellora_Publish::PLRLinkButton* publishButton() const { return m_publishButton; }

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    PLRLayout* layout() const;
    void announce();
    void buildSettingsView();
    QWidget* addOverlay(QPointer<QWidget>& overlay, const QString& text, bool spinner);
    void showOverlay(QPointer<QWidget>& overlay, const QString& text, bool spinner);
    void hideOverlay(QPointer<QWidget>& overlay);
    void postPublishAreaVisibility(bool hidden);
    void setPaddingValue(qint64 padding);
    void forgetLayoutManager();

    QPointer<PLRLayoutManager> m_layoutManager;
    QPointer<PLRPostManager> m_observedPostManager;
    QMetaObject::Connection m_imageCountConnection;
    PLRSourceDirectory* m_observedDirectory = nullptr;
    QPointer<PLRGenericPostViewController> m_seoViewController;
    PLRInspectorPublishPanel* m_publishPanel = nullptr;
    QPointer<QObject> m_publishPanelLifetime;
    bool m_isPublished = false;
    bool m_isUploading = false;
    bool m_filling = false;

    QPointer<platform::ui::View> m_settingsView;
    QPointer<platform::ui::TextField> m_paddingTextField;
    QPointer<PLRStepper> m_paddingStepper;
    QPointer<PLRColorWell> m_bgColorWell;
    QPointer<PLRSwitchButton> m_enableLayoutAnimationSwitch;
    QPointer<QWidget> m_animationView;
    QPointer<PLRPopupButton> m_layoutAnimationTypeButton;
    QPointer<PLRPopupButton> m_layoutAnimationSpeedPopupButton;
    QPointer<PLRSwitchButton> m_enableLightboxSwitch;
    QPointer<PLRSwitchButton> m_includePinterestToggleSwitch;
    QPointer<QWidget> m_socialPluginView;
    QPointer<QWidget> m_pinterestContainerView;
    QPointer<PLRPopupButton> m_pinterestButtonSizePopUpButton;
    QPointer<PLRPopupButton> m_pinterestButtonPositionPopUpButton;
    QPointer<PLRSwitchButton> m_includeFacebookSwitch;
    QPointer<QWidget> m_facebookContainerView;
    QPointer<QWidget> m_facebookCommentsView;
    QPointer<platform::ui::TextField> m_facebookPostURLTextField;
    QPointer<platform::ui::TextField> m_facebookAccountIdTextField;
    QPointer<PLRSwitchButton> m_enableImageKeywordsOverlaySwitch;
    QPointer<platform::ui::TextField> m_seoTitleTextField;
    QPointer<plr::insp::LimitedTextEdit> m_seoMetaTextView;
    QPointer<platform::ui::TextField> m_imagesUsedLabel;
    QPointer<QWidget> m_seoPanelArea;

    // The publish-state area.
    QPointer<QWidget> m_topLevelPublishView;
    QPointer<QWidget> m_scrollView;
    QPointer<QWidget> m_noInternetView;
    QPointer<QWidget> m_noServerConnectionView;
    QPointer<QWidget> m_fetchingStatusView;
    QPointer<platform::ui::TextField> m_publishedStatusText;
    QPointer<Pellora_Publish::PLRLinkButton> m_publishButton;
    QPointer<platform::ui::ImageView> m_publishedStatusIconView;
    QPointer<PLRSpinner> m_uploadingSpinner;
    QPointer<InspectorBGView> m_publishedView;
    QPointer<QWidget> m_publishedInfo;
    QPointer<platform::ui::TextField> m_lastPublishedDate;
    QPointer<platform::ui::TextField> m_lastUpdatedDate;
    QPointer<InspectorBGView> m_yourWebsiteView;
    QPointer<plr::insp::ElidedCaption> m_publishHost;
    QPointer<InspectorBGView> m_wordpressSettingsView;
    QPointer<QWidget> m_wordpressErrorView;
    QPointer<platform::ui::TextField> m_wordpressErrorText;
    QPointer<PLRPopupButton> m_categoriesPopup;
    QPointer<PLRSwitchButton> m_publishAsDraft;
};

#pragma once

// The inspector's page of the selected blocks: it follows the layout manager's selection and
// edit block, picks a sub-page by the kinds selected (a message, image, text, blank or
// download-button properties) and writes every edit into the blocks, announcing it. Ratio
// changes are undoable ("Change Aspect Ratio").

#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutManagerInteractionProxy.h"
#include "controls/OEXTokenField.h"
#include "controls/PLRBoxButton.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRPopupButton.h"
#include "controls/PLRSmallViews.h"
#include "controls/PLRSpinner.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRSwitchButton.h"
#include "panels/inspector/PLRImageLinkViewController.h"
#include "panels/inspector/PLRInspectorWidgets.h"
#include "platform-ui/PLRViewController.h"
#include "shell/PLRGenericPostViewController.h"
#include "shell/PLRTitleBarControls.h"
#include "canvas/text/PLRRichTextEditor.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "store/persistance-store/source/PLRSourceImage.h"

#include <QPointer>
#include <QStringList>

#include <optional>

class PLRColorWell;
class PLRImagePreviewImageView;
class PLRLayoutManager;
class PLRPopupButton;
class PLRPostManager;
class PLRSwitchButton;
class InspectorBGView;
class QStackedWidget;
namespace platform { class UndoManager; }
namespace platform::ui { class Button; class ImageView; class TextField; class View; }

// In the user info of kPLR_BLOCK_WAS_SELECTED: move the keyboard to the photo's keywords.
inline constexpr const char* kPLRShouldFocusKeyWordField = "shouldFocusKeyWordField";

class PLRPropertyViewController : public PLRViewController,
                                  public PLRRichTextEditorDelegate,
                                  public PLRLayoutManagerInteractionProxy,
                                  public PLRBoxButtonDelegate,
                                  public PLRTokenFieldDelegate,
                                  public PLRSourceImageDelegate,
                                  public PLRSourceDirectoryDelegate {
    Q_OBJECT
public:
    enum SubPage { EmptyPage = 0, ImagePage = 1, TextPage = 2, BlankPage = 3, DownloadButtonPage = 4 };
    static inline const char* kChangeAspectRatioActionName = "Change Aspect Ratio";

    explicit PLRPropertyViewController(QObject* parent = nullptr);
    ~PLRPropertyViewController() override;

    PLRLayoutManager* layoutManager() const { return m_layoutManager; }
    void setLayoutManager(PLRLayoutManager* manager);
    PLRPostManager* postManager() const;
    platform::UndoManager* undoManager() const;

    // Interaction proxy.
    Role interactionProxyRole() const override { return Role::BlockProperties; }
    void layoutManagerDidSelectBlocks(PLRLayoutManager* manager, const QList<PLRBlock*>& blocks) override;
    void layoutManagerDidSetEditBlock(PLRLayoutManager* manager, PLRBlock* block) override;

    // Box buttons.
    void recycleButtonClicked() override;
    void cropButtonClicked() override;
    void recycleButtonMouseOver() override;
    void recycleButtonMouseExit() override;
    void updateEditButtonsEnabled();

    // Image page.
    void ensureImageTab(const QList<PLRBlock*>& blocks);
    void setImageAspectRatio(PLRPopupButton* sender);
    void revertImageAspectRatio();
    // Sets each block's ratio (ratios[i], or ratios[0] for all when there is one) and
    // registers the undo. Blocks are named by identifier (the canvas's own undo may replace
    // block objects); ones no longer in the layout are skipped.
    void setAspectRatios(const QList<float>& ratios, const QStringList& blockIds);
    // A block's ratio and, for a photo, its crop (empty: none), as a revert takes them away and
    // its undo gives them back.
    struct RatioAndCrop {
        QString blockId;
        float ratio = 0.0f;
        std::optional<QByteArray> crop;   // absent: the block is no photo
    };
    // Gives each named block its ratio and crop and registers the way back (what the blocks
    // had), a redo included: undo and redo alternate for as long as the user likes.
    void setRatiosAndCrops(const QList<RatioAndCrop>& states);
    void setImageDescription();
    void imageLinkTextDidChange();
    // Shows the link popover under its button, with the photo's link to edit.
    void showImageLinkPopover();
    // The popover's "Add Link": the address becomes the link of every selected photo (as typing
    // it into the page's own field does) and the popover closes.
    void selectedImageLinkUpdated(const QString& url);
    void toggleLinkOnClickPanel();
    void toggleCollageExportPanel();

    // Text, blank and download-button pages.
    void ensureTextTab(const QList<PLRBlock*>& blocks);
    void ensureBlankTab(const QList<PLRBlock*>& blocks);
    void ensureDownloadTab(const QList<PLRBlock*>& blocks);
    void setTextStyle();
    void setTextAlignment();
    void setTextWidth();
    void setTextBold();
    void setTextItalic();
    void setTextLink();
    // Opens the colour panel of the text colour well (not exclusively).
    void openTextColour();
    // The well's action: the text's colour follows the block's style, so a colour picked here
    // changes no block.
    void setTextColour();
    void setDownloadTitle();
    void setDownloadFill();
    void setDownloadHoverFill();
    void setDownloadLine();
    void setDownloadHoverLine();
    void setDownloadStyle();
    void setDownloadSize();

    // Rich-text editor call-backs: the bold, italic and link buttons mirror the selection.
    void selectionForEditor(PLRRichTextEditor* editor, const PLRTextRange& changedTo, bool isBold, bool isItalic,
                            bool isUnderline, bool isLinked, const QColor& textBackgroundColor,
                            const QColor& textColor) override;
    void richTextEditorChangeAboutToOccurOfType(PLRRichTextEditor* editor, qint64 changeType) override;

    // What the page shows (for tests and the inspector).
    SubPage currentSubPage() const;
    platform::ui::TextField* otherInfoLabel() const { return m_otherInfoLabel; }
    PLRPopupButton* aspectRatioPopUpButton() const { return m_aspectRatioPopUpButton; }
    platform::ui::TextField* imageNameTextField() const { return m_imageNameTextField; }
    // Why the one photo shown cannot be used (hidden when it can).
    platform::ui::TextField* imageProblemLabel() const { return m_imageProblemLabel; }
    platform::ui::TextField* selectionDescriptionTextField() const { return m_selectionDescriptionTextField; }
    platform::ui::TextField* imageCountLabel() const { return m_imageCountLabel; }
    PLRBoxButton* recycleButton() const { return m_recycleButton; }
    PLRBoxButton* cropButton() const { return m_cropButton; }
    platform::ui::TextField* imageDescriptionHelpText() const { return m_imageDescriptionHelpText; }
    // The photo's keywords, entered as tokens (completions from the keyword store).
    OEXTokenField* imageKeywordTokenField() const { return m_imageKeywordTokenField; }
    QStringList tokenFieldCompletionsForSubstring(PLRTokenField* field, const QString& substring, qsizetype tokenIndex) override;
    // "light-green" or "light-red".
    QString imageDescriptionLight() const { return m_lightName; }
    PLRSwitchButton* addLinkOnClickButton() const { return m_addLinkOnClickButton; }
    QWidget* addLinkOnClickView() const { return m_addLinkOnClickView; }
    platform::ui::TextField* imageLinkURLTextField() const { return m_imageLinkURLTextField; }
    PLRImagePreviewImageView* previewImageView() const { return m_previewImageView; }
    PLRPopupButton* textStylePopUpButton() const { return m_textStylePopUpButton; }
    plr::insp::SegmentedControl* textAlignmentSegmentControl() const { return m_textAlignmentSegmentControl; }
    plr::insp::SegmentedControl* textWidthSegmentControl() const { return m_textWidthSegmentControl; }
    PLRColorWell* textColourWell() const { return m_textColourWell; }
    plr::insp::StateButton* textBoldButton() const { return m_textBoldButton; }
    plr::insp::StateButton* textItalicButton() const { return m_textItalicButton; }
    plr::insp::StateButton* textLinkButton() const { return m_textLinkButton; }
    PLRPopupButton* blankAspectRatioPopUpButton() const { return m_blankAspectRatioPopUpButton; }
    platform::ui::TextField* downloadTitleTextField() const { return m_downloadTitleTextField; }
    PLRPopupButton* downloadFillPopUpButton() const { return m_downloadFillPopUpButton; }
    PLRPopupButton* downloadHoverFillPopUpButton() const { return m_downloadHoverFillPopUpButton; }
    PLRPopupButton* downloadLinePopUpButton() const { return m_downloadLinePopUpButton; }
    PLRPopupButton* downloadHoverLinePopUpButton() const { return m_downloadHoverLinePopUpButton; }
    PLRPopupButton* downloadStylePopUpButton() const { return m_downloadStylePopUpButton; }
    PLRPopupButton* downloadSizePopUpButton() const { return m_downloadSizePopUpButton; }
    PLRGenericPostViewController* exportViewController() const { return m_evc; }
    PLRImageLinkViewController* imageLinkViewController() const { return m_ivc; }
    platform::ui::Button* imageLinkPopoverButton() const { return m_imageLinkPopoverButton; }
    PLRPopover* imageLinkPopover() const { return m_imageLinkPopover; }

    // The previewed photo's cached pictures changed (its file was mended, changed, or found
    // unusable): the preview follows.
    void imageCacheAssetChanged(PLRSourceImage* image) override;
    // The post's folder: a photo shown may have gone, come back or changed.
    void sourceDirectoryUpdatedState(PLRSourceDirectory* directory, qint64 state) override;
    void sourceDirectoryUpdatedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;
    void sourceDirectoryDeletedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;

    // The title of a ratio preset ("3:2" ...).
    static QString presetTitle(qint64 preset);

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

private:
    void showSubPage(SubPage page);
    void showMessage(const QString& text);
    QWidget* buildImagePage();
    QWidget* buildTextPage();
    QWidget* buildBlankPage();
    QWidget* buildDownloadPage();
    // The ratio pop-up's marks and title for a set of presets (Multiple / Custom).
    static void showPresets(PLRPopupButton* popup, const QList<qint64>& presets);
    void setLight(bool green);
    // The link switch and its box, on or off.
    void showLinkOnClick(bool on);
    void setPreviewStack(bool several);
    // Shows the photo's preview (none: an empty preview) and follows its changes.
    void showPreviewOf(const PLRSourceImagePtr& source);
    // Says why the one photo shown cannot be used, as its marks on the canvas and in the gallery do.
    void showImageProblem();
    void observeSourceDirectory();
    PLRBlock* blockWithId(const QString& identifier) const;
    QList<PLRBlock*> textTargets() const;
    void forEachSelectedDownloadButton(const std::function<void(PLRBlock_Download_Button*)>& change);
    class PLRLayoutBlockInteractionHandler_Text* editHandler() const;

    QPointer<PLRLayoutManager> m_layoutManager;
    QStackedWidget* m_tabView = nullptr;
    quint64 m_previewGeneration = 0;
    std::weak_ptr<PLRSourceImage> m_previewSource;
    QString m_lightName;

    QPointer<platform::ui::TextField> m_otherInfoLabel;
    // Image page.
    QPointer<QWidget> m_previewHolder;
    QPointer<PLRImagePreviewImageView> m_previewImageView;
    QPointer<PLRImagePreviewImageView> m_secondImageView;
    QPointer<PLRImagePreviewImageView> m_thirdImageView;
    QPointer<platform::ui::TextField> m_imageCountLabel;
    QPointer<platform::ui::TextField> m_imageNameTextField;
    QPointer<platform::ui::TextField> m_selectionDescriptionTextField;
    QPointer<platform::ui::TextField> m_imageProblemLabel;
    bool m_showsOnePhoto = false;
    QPointer<PLRSourceDirectory> m_observedDirectory;
    QPointer<PLRPopupButton> m_aspectRatioPopUpButton;
    QPointer<PLRBoxButton> m_recycleButton;
    QPointer<PLRBoxButton> m_cropButton;
    QPointer<OEXTokenField> m_imageKeywordTokenField;
    bool m_fillingKeywords = false;
    QPointer<platform::ui::ImageView> m_imageDescriptionImageView;
    QPointer<platform::ui::TextField> m_imageDescriptionHelpText;
    QPointer<PLRSwitchButton> m_addLinkOnClickButton;
    QPointer<QWidget> m_addLinkOnClickView;
    QPointer<InspectorBGView> m_addLinkInspectorView;
    QPointer<platform::ui::TextField> m_imageLinkURLTextField;
    QPointer<plr::insp::StateButton> m_expandImageCollageButton;
    QPointer<QWidget> m_exportView;
    QPointer<PLRGenericPostViewController> m_evc;
    QPointer<PLRImageLinkViewController> m_ivc;
    QPointer<platform::ui::Button> m_imageLinkPopoverButton;
    QPointer<PLRPopover> m_imageLinkPopover;
    // Text page.
    QPointer<PLRPopupButton> m_textStylePopUpButton;
    QPointer<plr::insp::SegmentedControl> m_textAlignmentSegmentControl;
    QPointer<plr::insp::SegmentedControl> m_textWidthSegmentControl;
    QPointer<PLRColorWell> m_textColourWell;
    QPointer<plr::insp::StateButton> m_textBoldButton;
    QPointer<plr::insp::StateButton> m_textItalicButton;
    QPointer<plr::insp::StateButton> m_textLinkButton;
    // Blank page.
    QPointer<PLRPopupButton> m_blankAspectRatioPopUpButton;
    // Download-button page.
    QPointer<platform::ui::TextField> m_downloadTitleTextField;
    QPointer<PLRPopupButton> m_downloadFillPopUpButton;
    QPointer<PLRPopupButton> m_downloadHoverFillPopUpButton;
    QPointer<PLRPopupButton> m_downloadLinePopUpButton;
    QPointer<PLRPopupButton> m_downloadHoverLinePopUpButton;
    QPointer<PLRPopupButton> m_downloadStylePopUpButton;
    QPointer<PLRPopupButton> m_downloadSizePopUpButton;
};

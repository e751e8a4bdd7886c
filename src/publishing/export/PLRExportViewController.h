#pragma once

#include "layout/base/PLRLayoutManagerInteractionProxy.h"
#include "panels/inspector/PLRInspectorPanels.h"
#include "shell/PLRGenericPostViewController.h"
#include "publishing/publish/PLRPublishViewController.h"

#include <QColor>
#include <QPointer>
#include <QUrl>

#include <optional>

class PLRCheckboxButton;
class PLRColorWell;
class PLRSlider;
class PLRStepper;
class PLRTextFieldCell;
class QLabel;
class QProgressBar;
class QWidget;
namespace platform::ui { class Button; }

inline constexpr const char* kPLRExportLearnMorePath = "en/articles/2056627-export-your-whole-post-row-by-row-as-jpgs";

// The export panel of the inspector: the whole layout as numbered JPEG files into a folder
// (type 1), or the selected blocks as one collage JPEG (type 2, on the block-properties page).
// It keeps its settings in the user defaults, checks them, starts the export engine and shows
// the progress. The controls carry the names the rest of the program knows them by.
class PLRExportViewController : public PLRGenericPostViewController,
                                public PLRInspectorExportPanel,
                                public PLRLayoutManagerInteractionProxy,
                                public PLRPublishButtonDelegate {
    Q_OBJECT
public:
    static constexpr qint64 kWidthMinimum = 100;
    static constexpr qint64 kNoWidthLimit = 99999999999999LL;

    explicit PLRExportViewController(QObject* parent = nullptr);
    ~PLRExportViewController() override;

    // The inspector's and the block-properties page's scene.
    static void registerScene();

    void setExportType(qint64 type) override;
    qint64 exportType() const { return m_exportType; }
    void setPostManager(PLRPostManager* manager) override;

    QUrl exportURL() const { return m_exportURL; }
    bool isExporting() const { return m_exporting; }
    // The name options of the check boxes (2 prefix, 4 original names, 8 keywords).
    qint64 getExportOptions() const;
    // The width limit currently applied (the stepper's maximum).
    qint64 widthLimit() const { return m_widthLimit; }

    // Actions (what the controls trigger).
    void widthValueAction();
    void widthStepperChanged();
    void setExportLocationAction();
    void createSubFolderAction();
    void imageTitleExpandAction();
    void compressionExpandAction();
    void imageTitleUsePrefixAction();
    void imageTitleUseOriginalNameAction();
    void compressionValueChangedAction();
    void setBackgroundColour(const QColor& colour);
    // The colour panel for the background colour.
    void openColourPanel();
    void buttonWasClicked();
    void buttonWasClicked(PLRPublishButton*) override { buttonWasClicked(); }
    void cancelExportAction() {}
    void exportLayout();
    void exportCollage();

    void layoutChanged();
    void layoutManagerDidSelectBlocks(PLRLayoutManager* manager, const QList<PLRBlock*>& blocks) override;

    // The rating image's name for a quality ("light-red", "light-yellow", "light-green").
    static QString ratingImageNameForValue(int value);

    void viewWillAppear() override { ensureViews(); }
    virtual void ensureViews();

signals:
    // A layout export finished (success, or what went wrong).
    void layoutExportFinished(bool success);

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

    // What the export dialog does differently.
    virtual QString noLocationText() const;
    virtual bool confirmSubFolderName(const QString& name);
    virtual bool keepsLocationWhenFolderChoiceCancelled() const { return false; }
    virtual void storeSettingsForExport();
    virtual void showExportStarted();
    virtual void showExportProgress(qint64 count, qint64 total);
    virtual void showLayoutExportEnded(bool success);
    virtual void showCollageExported() {}
    virtual bool checkCollageSelection(const QList<PLRBlock*>& blocks);
    virtual QString collageSaveFolder() const;
    virtual bool usesSelectionWidthLimit() const { return true; }
    virtual bool showsWidthErrors() const { return true; }
    virtual QString exportButtonText() const;
    virtual QString qualityText(int value) const { return QString::number(value); }
    virtual QString locationText() const;
    void updateCompressionUIForValue(int value);
    // Builds the controls into `root` (which gets a vertical layout).
    void buildControls(QWidget* root);
    void bind();
    void unbind();
    void applyWidthLimit(qint64 limit);
    qint64 currentWidth() const;
    // Whether a check box of the panel is on.
    static bool isOn(const platform::ui::Button* box);
    void setWidth(qint64 width);
    void sendEvent(const QString& title, const QVariantMap& info);

    qint64 m_exportType = 0;
    QUrl m_exportURL;
    bool m_exporting = false;
    qint64 m_widthLimit = kNoWidthLimit;
    // The width the user chose (stored, typed or stepped to): what the limit of the layout or
    // the selection is applied to whenever it changes.
    qint64 m_chosenWidth = 1500;
    QPointer<PLRLayoutManager> m_boundManager;
    qint64 m_boundType = 0;
    qint64 m_locationType = 0;
    // The layout's folder while another type is shown (nothing before the layout was left).
    std::optional<QUrl> m_layoutURL;

public:
    // Controls (outlets).
    PLRTextFieldCell* widthTextField = nullptr;
    PLRStepper* widthSteeper = nullptr;
    QLabel* widthErrorView = nullptr;
    QWidget* locationView = nullptr;
    platform::ui::Button* locationButton = nullptr;
    QWidget* locationLabelView = nullptr;
    QLabel* locationLabel = nullptr;
    QWidget* createSubFolderView = nullptr;
    PLRCheckboxButton* createSubFolderButton = nullptr;
    QWidget* subFolderTextView = nullptr;
    PLRTextFieldCell* subFolderTextField = nullptr;
    QWidget* imageTitleHeaderView = nullptr;
    platform::ui::Button* imageTitleExpandButton = nullptr;
    QWidget* imageTitleContentView = nullptr;
    PLRCheckboxButton* imageTitleUsePrefix = nullptr;
    PLRCheckboxButton* imageTitleUseOriginalName = nullptr;
    PLRCheckboxButton* imageTitleUseKeywords = nullptr;
    QWidget* compressionHeaderView = nullptr;
    platform::ui::Button* compressionExpandButton = nullptr;
    QWidget* compressionContentView = nullptr;
    PLRSlider* compressionSlider = nullptr;
    QLabel* compressionValueLabel = nullptr;
    QLabel* compressionRatingImageView = nullptr;
    QWidget* sharpnessHeaderView = nullptr;
    PLRCheckboxButton* sharpnessCheckbox = nullptr;
    PLRColorWell* backgroundColourWell = nullptr;
    QWidget* infoView = nullptr;
    QProgressBar* infoIndicator = nullptr;
    QLabel* infoLabel = nullptr;
    platform::ui::Button* infoCancelButton = nullptr;
    QWidget* exportButtonView = nullptr;
    PLRPublishButton* exportButton = nullptr;
    platform::ui::TextField* exportButtonTitle = nullptr;

private:
    QColor m_wellColour = Qt::white;
};

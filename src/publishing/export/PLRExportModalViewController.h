#pragma once

#include "publishing/export/PLRExportViewController.h"

class PLRRadioButton;

// The export dialog (the post header's export button): the export panel's settings and exports
// for the post shown in the main window, with radio buttons that switch between the layout and
// the collage in place. It departs from the panel only where the dialog differs: stored quality,
// labels and titles, its progress area, the collage's selection check and no selection limit.
class PLRExportModalViewController : public PLRExportViewController {
    Q_OBJECT
public:
    explicit PLRExportModalViewController(QObject* parent = nullptr);

    // The post manager of the post the main window shows (null at home).
    static PLRPostManager* currentPostManager();
    // Shows the dialog for that post as a multi-step modal of one page and returns when it is
    // closed (its stop code; -1000 at once when no post is shown).
    static qint64 presentForCurrentPost();

    void selectExportType(qint64 type);
    void toggleCreateSubfolder();
    void chooseBgColor();
    void exportAction() { buttonWasClicked(); }

    void ensureViews() override;
    void viewWillAppear() override;

    PLRRadioButton* exportEntireBlogRadioOption = nullptr;
    PLRRadioButton* exportCollageRadioOption = nullptr;
    QWidget* exportEntireBlogOptions = nullptr;
    QWidget* createSubfolderCheckboxContainerView = nullptr;
    PLRTextFieldCell* subfolderTextField = nullptr;
    QWidget* exportProgressContainer = nullptr;
    QLabel* exportProgressLabel = nullptr;
    QProgressBar* exportProgressIndicator = nullptr;
    QLabel* exportProgressIndicatorSuccess = nullptr;

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;

    QString noLocationText() const override;
    bool confirmSubFolderName(const QString& name) override;
    bool keepsLocationWhenFolderChoiceCancelled() const override { return true; }
    void storeSettingsForExport() override;
    void showExportStarted() override;
    void showExportProgress(qint64 count, qint64 total) override;
    void showLayoutExportEnded(bool success) override;
    void showCollageExported() override;
    bool checkCollageSelection(const QList<PLRBlock*>& blocks) override;
    QString collageSaveFolder() const override;
    bool usesSelectionWidthLimit() const override { return false; }
    bool showsWidthErrors() const override { return false; }
    QString exportButtonText() const override;
    QString qualityText(int value) const override;
    QString locationText() const override;

private:
    void showFinished(const QString& text);
};

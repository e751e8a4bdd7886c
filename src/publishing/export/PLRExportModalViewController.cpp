#include "publishing/export/PLRExportModalViewController.h"

#include "shell/AppDelegate.h"
#include "layout/base/PLRLayoutManager.h"
#include "publishing/export/PLRModalExportView.h"
#include "platform/Log.h"
#include "platform-ui/Window.h"
#include "platform/Alert.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRBaseViewController.h"
#include "shell/PLRBaseWindowController.h"
#include "shell/modal/PLRModalManager.h"
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRSliderCell.h"
#include "controls/PLRTextFieldCell.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QVBoxLayout>

PLRExportModalViewController::PLRExportModalViewController(QObject* parent) : PLRExportViewController(parent) {}

PLRPostManager* PLRExportModalViewController::currentPostManager()
{
    AppDelegate* app = AppDelegate::shared();
    PLRBaseWindowController* window = app ? app->baseWindowController() : nullptr;
    PLRBaseViewController* root = window ? window->contentViewController() : nullptr;
    return root ? root->currentPostManager() : nullptr;
}

qint64 PLRExportModalViewController::presentForCurrentPost()
{
    if (!currentPostManager()) {
        PLR_LOG_WARN(QStringLiteral("The export dialog needs an open post"));
        return platform::ui::kModalResponseStop;
    }
    qint64 result = platform::ui::kModalResponseStop;
    PLRModalManager::presentModalWindowWithViews({QString::fromLatin1(PLRModalExportView::kPageName)}, {}, true, 0,
                                                 [&result](qint64 response) { result = response; });
    return result;
}

platform::ui::View* PLRExportModalViewController::loadView()
{
    auto* root = new platform::ui::View;
    root->setObjectName(QStringLiteral("exportDialog"));
    root->resize(420, 520);
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(20, 16, 20, 16);

    auto* radios = new QWidget(root);
    auto* radioRow = new QHBoxLayout(radios);
    // Room for the focus ring around the option that has the keyboard.
    radioRow->setContentsMargins(4, 4, 4, 4);
    radioRow->setSpacing(24);
    // The two options share their superview: turning one on turns the other off.
    auto makeRadio = [this, radios, radioRow](const QString& title, const QString& name, qint64 type) {
        auto* radio = new PLRRadioButton(radios);
        radio->setTitle(title);
        radio->setObjectName(name);
        radio->setFixedHeight(18);
        radio->setMinimumWidth(radio->sizeHint().width());
        radio->setTarget(this);
        radio->setAction([this, type](platform::ui::Control*) { selectExportType(type); });
        radioRow->addWidget(radio);
        return radio;
    };
    exportEntireBlogRadioOption = makeRadio(QStringLiteral("Export entire blog"), QStringLiteral("exportEntireBlogRadioOption"), 1);
    exportCollageRadioOption = makeRadio(QStringLiteral("Export collage"), QStringLiteral("exportCollageRadioOption"), 2);
    radioRow->addStretch(1);
    column->addWidget(radios);

    auto* content = new QWidget(root);
    buildControls(content);
    column->addWidget(content, 1);

    exportProgressContainer = new QWidget(content);
    exportProgressContainer->setObjectName(QStringLiteral("exportProgressContainer"));
    auto* progressRow = new QHBoxLayout(exportProgressContainer);
    progressRow->setContentsMargins(3, 3, 3, 3);   // in line with the controls above
    exportProgressLabel = new QLabel(exportProgressContainer);
    exportProgressLabel->setObjectName(QStringLiteral("exportProgressLabel"));
    exportProgressIndicator = new QProgressBar(exportProgressContainer);
    exportProgressIndicator->setObjectName(QStringLiteral("exportProgressIndicator"));
    exportProgressIndicator->setRange(0, 1000);
    exportProgressIndicator->setTextVisible(false);
    exportProgressIndicatorSuccess = new QLabel(QStringLiteral("\u2713"), exportProgressContainer);
    exportProgressIndicatorSuccess->setObjectName(QStringLiteral("exportProgressIndicatorSuccess"));
    progressRow->addWidget(exportProgressIndicatorSuccess);
    progressRow->addWidget(exportProgressLabel);
    progressRow->addWidget(exportProgressIndicator, 1);
    progressRow->addStretch();   // the end's mark and text keep together on the left
    // Under the export button, what it started.
    auto* contentColumn = static_cast<QVBoxLayout*>(content->layout());
    contentColumn->insertWidget(contentColumn->indexOf(exportButtonView) + 1, exportProgressContainer);

    // The dialog's names for the panel's parts.
    exportEntireBlogOptions = locationView;
    createSubfolderCheckboxContainerView = createSubFolderView;
    subfolderTextField = subFolderTextField;
    QObject::disconnect(createSubFolderButton, nullptr, this, nullptr);
    createSubFolderButton->setAction([this](platform::ui::Control*) { toggleCreateSubfolder(); });
    return root;
}

void PLRExportModalViewController::viewDidLoad()
{
    PLRExportViewController::viewDidLoad();
    const qint64 quality = PLRDefaults::exportQuality();
    compressionSlider->setDoubleValue(double(quality));
    updateCompressionUIForValue(int(quality));
    if (!postManager())
        setPostManager(currentPostManager());
    exportEntireBlogRadioOption->setState(platform::ui::Button::StateOn);
    selectExportType(1);
}

void PLRExportModalViewController::viewWillAppear()
{
    PLRExportViewController::viewWillAppear();
    exportEntireBlogRadioOption->setFocus();
}

void PLRExportModalViewController::selectExportType(qint64 type)
{
    exportEntireBlogRadioOption->setState(type != 2 ? platform::ui::Button::StateOn : platform::ui::Button::StateOff);
    exportCollageRadioOption->setState(type == 2 ? platform::ui::Button::StateOn : platform::ui::Button::StateOff);
    setExportType(type == 2 ? 2 : 1);
}

void PLRExportModalViewController::toggleCreateSubfolder()
{
    const bool on = isOn(createSubFolderButton);
    subFolderTextView->setHidden(!on || exportType() == 2);
    if (on)
        subfolderTextField->setFocus();
}

void PLRExportModalViewController::chooseBgColor()
{
    openColourPanel();
}

void PLRExportModalViewController::ensureViews()
{
    PLRExportViewController::ensureViews();
    if (!isViewLoaded() || !exportProgressContainer)
        return;
    infoView->setHidden(true);
    exportButtonView->setHidden(false);
    widthErrorView->setHidden(true);
    exportProgressContainer->setHidden(true);
    exportProgressIndicatorSuccess->setHidden(true);
    exportProgressIndicator->setHidden(false);
}

QString PLRExportModalViewController::exportButtonText() const
{
    return exportType() == 2 ? QStringLiteral("EXPORT COLLAGE") : QStringLiteral("EXPORT LAYOUT");
}

QString PLRExportModalViewController::qualityText(int value) const
{
    return QStringLiteral("%1%").arg(value);
}

QString PLRExportModalViewController::locationText() const
{
    const QString path = PLRExportViewController::locationText();
    return QFileInfo(path).suffix() == QLatin1String("jpg") ? QFileInfo(path).path() : path;
}

QString PLRExportModalViewController::collageSaveFolder() const
{
    return locationText();
}

QString PLRExportModalViewController::noLocationText() const
{
    return QStringLiteral("You need to set an export location before you can export your layout.");
}

bool PLRExportModalViewController::confirmSubFolderName(const QString& name)
{
    if (!name.isEmpty())
        return true;
    platform::showAlert(QStringLiteral("Subfolder name missing"),
                        QStringLiteral("You have selected the 'Create Subfolder' option but have not entered a name. You must "
                                       "either enter a name, or deselect the 'Create Subfolder' option."));
    subfolderTextField->setFocus();
    return false;
}

void PLRExportModalViewController::storeSettingsForExport()
{
    PLRExportViewController::storeSettingsForExport();
    PLRDefaults::setExportQuality(compressionSlider->integerValue());
}

void PLRExportModalViewController::showExportStarted()
{
    m_exporting = true;
    ensureViews();
    exportProgressContainer->setHidden(false);
    exportProgressLabel->setText(QStringLiteral("Exporting..."));
    exportProgressIndicator->setValue(0);
}

void PLRExportModalViewController::showExportProgress(qint64 count, qint64 total)
{
    exportProgressLabel->setText(QStringLiteral("Exporting %1 of %2 images").arg(count).arg(total));
    exportProgressIndicator->setValue(total > 0 ? int(1000 * count / total) : 0);
}

void PLRExportModalViewController::showFinished(const QString& text)
{
    exportProgressContainer->setHidden(false);
    exportProgressIndicatorSuccess->setHidden(false);
    exportProgressIndicator->setHidden(true);
    exportProgressLabel->setText(text);
}

void PLRExportModalViewController::showLayoutExportEnded(bool success)
{
    m_exporting = false;
    if (success) {
        showFinished(QStringLiteral("Export Successful"));
    } else {
        ensureViews();
        exportProgressContainer->setHidden(false);
        exportProgressLabel->setText(QStringLiteral("Export Failed"));
    }
}

void PLRExportModalViewController::showCollageExported()
{
    showFinished(QStringLiteral("Export Successful"));
}

bool PLRExportModalViewController::checkCollageSelection(const QList<PLRBlock*>& blocks)
{
    if (!blocks.isEmpty())
        return true;
    platform::showAlert(QStringLiteral("No Blocks Chosen for Export"),
                        QStringLiteral("To export a collage you must first select all the blocks you wish to include. Close the "
                                       "export dialog, select the blocks you want to include in the collage and then export again."));
    return false;
}

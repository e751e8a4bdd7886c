#include "publishing/export/PLRExportViewController.h"
#include "platform/Clock.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "layout/base/PLRLayoutManager.h"
#include "publishing/export/PLRExportManager.h"
#include "publishing/export/PLRExportNames.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Alert.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform/Workspace.h"
#include "platform-ui/Images.h"
#include "platform-ui/Window.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRShellNotifications.h"
#include "shell/modal/PLRModalManager.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QWidget* row(QWidget* parent, const QString& name, QBoxLayout** layoutOut = nullptr)
{
    auto* widget = new QWidget(parent);
    widget->setObjectName(name);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(0, 0, 0, 0);
    if (layoutOut)
        *layoutOut = layout;
    return widget;
}

// A folder the export may write to: it is there and writable. (What a stale location is here.)
bool isUsableFolder(const QString& path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isDir() && info.isWritable();
}

} // namespace

PLRExportViewController::PLRExportViewController(QObject* parent) : PLRGenericPostViewController(parent) {}

PLRExportViewController::~PLRExportViewController()
{
    unbind();
}

void PLRExportViewController::registerScene()
{
    platform::Storyboard::registerScene(QString::fromLatin1(kPLRMainStoryboard), QString::fromLatin1(kPLRInspectorExportPanelIdentifier),
                                        [] { return new PLRExportViewController; });
}

platform::ui::View* PLRExportViewController::loadView()
{
    auto* root = new platform::ui::View;
    root->setObjectName(QStringLiteral("exportView"));
    buildControls(root);
    return root;
}

void PLRExportViewController::buildControls(QWidget* root)
{
    auto* column = new QVBoxLayout(root);
    column->setContentsMargins(12, 8, 12, 8);
    column->setSpacing(6);
    QBoxLayout* layout = nullptr;

    // Width.
    QWidget* widthRow = row(root, QStringLiteral("widthView"), &layout);
    layout->addWidget(new QLabel(QStringLiteral("Width"), widthRow));
    widthTextField = new QLineEdit(widthRow);
    widthTextField->setObjectName(QStringLiteral("widthTextField"));
    layout->addWidget(widthTextField);
    widthSteeper = new QSpinBox(widthRow);
    widthSteeper->setObjectName(QStringLiteral("widthSteeper"));
    widthSteeper->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    widthSteeper->setFixedWidth(20);
    widthSteeper->setSingleStep(1);
    layout->addWidget(widthSteeper);
    layout->addWidget(new QLabel(QStringLiteral("px"), widthRow));
    column->addWidget(widthRow);
    widthErrorView = new QLabel(QStringLiteral("Enter a whole number of pixels within the allowed range."), root);
    widthErrorView->setObjectName(QStringLiteral("widthErrorView"));
    column->addWidget(widthErrorView);
    QObject::connect(widthTextField, &QLineEdit::editingFinished, this, [this] { widthValueAction(); });
    QObject::connect(widthSteeper, &QSpinBox::valueChanged, this, [this] { widthStepperChanged(); });

    // Location.
    locationView = new QWidget(root);
    locationView->setObjectName(QStringLiteral("locationView"));
    auto* locationColumn = new QVBoxLayout(locationView);
    locationColumn->setContentsMargins(0, 0, 0, 0);
    locationButton = new QPushButton(QStringLiteral("Choose Export Location..."), locationView);
    locationButton->setObjectName(QStringLiteral("locationButton"));
    locationColumn->addWidget(locationButton);
    locationLabelView = row(locationView, QStringLiteral("locationLabelView"), &layout);
    locationLabel = new QLabel(locationLabelView);
    locationLabel->setObjectName(QStringLiteral("locationLabel"));
    locationLabel->setWordWrap(true);
    layout->addWidget(locationLabel);
    locationColumn->addWidget(locationLabelView);
    column->addWidget(locationView);
    QObject::connect(locationButton, &QPushButton::clicked, this, [this] { setExportLocationAction(); });

    // Sub folder.
    createSubFolderView = new QWidget(root);
    createSubFolderView->setObjectName(QStringLiteral("createSubFolderView"));
    auto* subColumn = new QVBoxLayout(createSubFolderView);
    subColumn->setContentsMargins(0, 0, 0, 0);
    createSubFolderButton = new QCheckBox(QStringLiteral("Create sub folder"), createSubFolderView);
    createSubFolderButton->setObjectName(QStringLiteral("createSubFolderButton"));
    subColumn->addWidget(createSubFolderButton);
    subFolderTextView = row(createSubFolderView, QStringLiteral("subFolderTextView"), &layout);
    subFolderTextField = new QLineEdit(subFolderTextView);
    subFolderTextField->setObjectName(QStringLiteral("subFolderTextField"));
    subFolderTextField->setPlaceholderText(QStringLiteral("Folder name"));
    layout->addWidget(subFolderTextField);
    subColumn->addWidget(subFolderTextView);
    column->addWidget(createSubFolderView);
    QObject::connect(createSubFolderButton, &QCheckBox::toggled, this, [this] { createSubFolderAction(); });

    // File names.
    imageTitleHeaderView = row(root, QStringLiteral("imageTitleHeaderView"), &layout);
    imageTitleExpandButton = new QToolButton(imageTitleHeaderView);
    imageTitleExpandButton->setObjectName(QStringLiteral("imageTitleExpandButton"));
    imageTitleExpandButton->setCheckable(true);
    imageTitleExpandButton->setText(QStringLiteral("File Names"));
    imageTitleExpandButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(imageTitleExpandButton);
    layout->addStretch();
    column->addWidget(imageTitleHeaderView);
    imageTitleContentView = new QWidget(root);
    imageTitleContentView->setObjectName(QStringLiteral("imageTitleContentView"));
    auto* titleColumn = new QVBoxLayout(imageTitleContentView);
    titleColumn->setContentsMargins(12, 0, 0, 0);
    imageTitleUsePrefix = new QCheckBox(QStringLiteral("Include number prefix"), imageTitleContentView);
    imageTitleUsePrefix->setObjectName(QStringLiteral("imageTitleUsePrefix"));
    imageTitleUseOriginalName = new QCheckBox(QStringLiteral("Include original file name"), imageTitleContentView);
    imageTitleUseOriginalName->setObjectName(QStringLiteral("imageTitleUseOriginalName"));
    imageTitleUseKeywords = new QCheckBox(QStringLiteral("Include image description"), imageTitleContentView);
    imageTitleUseKeywords->setObjectName(QStringLiteral("imageTitleUseKeywords"));
    titleColumn->addWidget(imageTitleUsePrefix);
    titleColumn->addWidget(imageTitleUseOriginalName);
    titleColumn->addWidget(imageTitleUseKeywords);
    column->addWidget(imageTitleContentView);
    imageTitleUsePrefix->setChecked(true);
    QObject::connect(imageTitleExpandButton, &QToolButton::toggled, this, [this] { imageTitleExpandAction(); });
    QObject::connect(imageTitleUsePrefix, &QCheckBox::clicked, this, [this] { imageTitleUsePrefixAction(); });
    QObject::connect(imageTitleUseOriginalName, &QCheckBox::clicked, this, [this] { imageTitleUseOriginalNameAction(); });

    // Quality.
    compressionHeaderView = row(root, QStringLiteral("compressionHeaderView"), &layout);
    compressionExpandButton = new QToolButton(compressionHeaderView);
    compressionExpandButton->setObjectName(QStringLiteral("compressionExpandButton"));
    compressionExpandButton->setCheckable(true);
    compressionExpandButton->setText(QStringLiteral("Quality"));
    compressionExpandButton->setToolButtonStyle(Qt::ToolButtonTextOnly);
    layout->addWidget(compressionExpandButton);
    layout->addStretch();
    compressionRatingImageView = new QLabel(compressionHeaderView);
    compressionRatingImageView->setObjectName(QStringLiteral("compressionRatingImageView"));
    layout->addWidget(compressionRatingImageView);
    compressionValueLabel = new QLabel(compressionHeaderView);
    compressionValueLabel->setObjectName(QStringLiteral("compressionValueLabel"));
    layout->addWidget(compressionValueLabel);
    column->addWidget(compressionHeaderView);
    compressionContentView = row(root, QStringLiteral("compressionContentView"), &layout);
    compressionSlider = new QSlider(Qt::Horizontal, compressionContentView);
    compressionSlider->setObjectName(QStringLiteral("compressionSlider"));
    compressionSlider->setRange(0, 100);
    layout->addWidget(compressionSlider);
    column->addWidget(compressionContentView);
    QObject::connect(compressionExpandButton, &QToolButton::toggled, this, [this] { compressionExpandAction(); });
    QObject::connect(compressionSlider, &QSlider::valueChanged, this, [this] { compressionValueChangedAction(); });

    // Sharpening and background.
    sharpnessHeaderView = row(root, QStringLiteral("sharpnessHeaderView"), &layout);
    sharpnessCheckbox = new QCheckBox(QStringLiteral("Sharpen"), sharpnessHeaderView);
    sharpnessCheckbox->setObjectName(QStringLiteral("sharpnessCheckbox"));
    sharpnessCheckbox->setChecked(true);
    layout->addWidget(sharpnessCheckbox);
    layout->addStretch();
    layout->addWidget(new QLabel(QStringLiteral("Background"), sharpnessHeaderView));
    backgroundColourWell = new QPushButton(sharpnessHeaderView);
    backgroundColourWell->setObjectName(QStringLiteral("backgroundColourWell"));
    backgroundColourWell->setToolTip(QStringLiteral("Background colour"));
    backgroundColourWell->setFixedSize(36, 20);
    layout->addWidget(backgroundColourWell);
    column->addWidget(sharpnessHeaderView);
    QObject::connect(backgroundColourWell, &QPushButton::clicked, this, [this] { openColourPanel(); });

    // Progress, and the export button.
    infoView = new QWidget(root);
    infoView->setObjectName(QStringLiteral("infoView"));
    auto* infoColumn = new QVBoxLayout(infoView);
    infoColumn->setContentsMargins(0, 0, 0, 0);
    infoLabel = new QLabel(infoView);
    infoLabel->setObjectName(QStringLiteral("infoLabel"));
    infoIndicator = new QProgressBar(infoView);
    infoIndicator->setObjectName(QStringLiteral("infoIndicator"));
    infoIndicator->setRange(0, 1000);
    infoIndicator->setTextVisible(false);
    infoCancelButton = new QPushButton(QStringLiteral("Cancel"), infoView);
    infoCancelButton->setObjectName(QStringLiteral("infoCancelButton"));
    infoCancelButton->setEnabled(false);   // a running export cannot be cancelled
    infoColumn->addWidget(infoLabel);
    infoColumn->addWidget(infoIndicator);
    infoColumn->addWidget(infoCancelButton);
    column->addWidget(infoView);
    exportButtonView = row(root, QStringLiteral("exportButtonView"), &layout);
    exportButton = new QPushButton(exportButtonView);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    layout->addWidget(exportButton);
    column->addWidget(exportButtonView);
    column->addStretch();
    QObject::connect(exportButton, &QPushButton::clicked, this, [this] { buttonWasClicked(); });
}

void PLRExportViewController::viewDidLoad()
{
    setWidth(PLRDefaults::exportWidth());
    compressionSlider->setValue(75);
    updateCompressionUIForValue(75);
    imageTitleContentView->setHidden(true);
    compressionContentView->setHidden(true);
    m_exporting = false;
    layoutChanged();
    ensureViews();
}

// ------------------------------------------------------------------------------------ binding

void PLRExportViewController::setPostManager(PLRPostManager* manager)
{
    if (manager == postManager())
        return;
    unbind();
    PLRGenericPostViewController::setPostManager(manager);
    bind();
}

void PLRExportViewController::setExportType(qint64 type)
{
    unbind();
    m_exportType = type;
    bind();
}

void PLRExportViewController::bind()
{
    view();   // the controls exist from here on
    // The stored folder (or collage file) of the type, once per type: a later post manager keeps
    // what the user chose since.
    if (m_exportType != m_locationType) {
        if (m_exportType == 1)
            m_exportURL = PLRDefaults::exportLocationURL();
        else if (m_exportType == 2)
            m_exportURL = PLRDefaults::exportCollageLocationURL();
        m_locationType = m_exportType;
    }
    PLRLayoutManager* manager = postManager() ? postManager()->layoutManager() : nullptr;
    if (manager && m_exportType == 1) {
        platform::NotificationCenter::defaultCenter().addObserver(
            this, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE), [this](const platform::Notification&) { layoutChanged(); },
            manager);
    } else if (manager && m_exportType == 2 && usesSelectionWidthLimit()) {
        manager->addInteractionProxy(this);
    }
    m_boundManager = manager;
    m_boundType = m_exportType;
    if (m_exportType == 1)
        layoutChanged();
    ensureViews();
}

void PLRExportViewController::unbind()
{
    if (m_boundType == 1)
        platform::NotificationCenter::defaultCenter().removeObserver(this, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE));
    else if (m_boundType == 2 && m_boundManager)
        m_boundManager->removeInteractionProxy(this);
    m_boundManager = nullptr;
    m_boundType = 0;
}

// ------------------------------------------------------------------------------------ views

QString PLRExportViewController::exportButtonText() const
{
    return m_exportType == 2 ? QStringLiteral("Export Collage") : QStringLiteral("Export Layout");
}

QString PLRExportViewController::locationText() const
{
    return m_exportURL.isLocalFile() ? m_exportURL.toLocalFile() : m_exportURL.path();
}

void PLRExportViewController::ensureViews()
{
    if (!isViewLoaded())
        return;
    exportButton->setText(exportButtonText());
    const bool collage = m_exportType == 2;
    locationView->setHidden(collage);
    createSubFolderView->setHidden(collage);
    imageTitleHeaderView->setHidden(collage);
    if (collage)
        imageTitleContentView->setHidden(true);
    subFolderTextView->setHidden(collage || !createSubFolderButton->isChecked());
    locationLabelView->setHidden(m_exportURL.isEmpty());
    locationLabel->setText(locationText());
    PLRLayoutManager* manager = postManager() ? postManager()->layoutManager() : nullptr;
    m_wellColour = manager && manager->representedLayout()
        ? PLRLayoutManager::backgroundColourForLayout(*manager->representedLayout()).toQColor()
        : QColor(Qt::white);
    backgroundColourWell->setStyleSheet(QStringLiteral("background-color: %1; border: 1px solid #b0b0b0;").arg(m_wellColour.name()));
    const bool showProgress = !collage && m_exporting;
    infoView->setHidden(!showProgress);
    exportButtonView->setHidden(showProgress);
}

void PLRExportViewController::updateCompressionUIForValue(int value)
{
    compressionValueLabel->setText(qualityText(value));
    const QString name = ratingImageNameForValue(value);
    compressionRatingImageView->setProperty("ratingImageName", name);
    const QImage image = platform::ui::namedImage(name);
    if (!image.isNull())
        compressionRatingImageView->setPixmap(QPixmap::fromImage(image.scaled(12, 12, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

QString PLRExportViewController::ratingImageNameForValue(int value)
{
    if (value < 60 || value >= 95)
        return QStringLiteral("light-red");
    if (value < 70 || value >= 85)
        return QStringLiteral("light-yellow");
    return QStringLiteral("light-green");
}

// ------------------------------------------------------------------------------------ width

qint64 PLRExportViewController::currentWidth() const
{
    bool ok = false;
    const qint64 width = widthTextField->text().trimmed().toLongLong(&ok);
    return ok ? width : kWidthMinimum;
}

void PLRExportViewController::setWidth(qint64 width)
{
    widthTextField->setText(QString::number(width));
    const QSignalBlocker blocker(widthSteeper);
    widthSteeper->setValue(int(std::min<qint64>(width, std::numeric_limits<int>::max())));
}

void PLRExportViewController::applyWidthLimit(qint64 limit)
{
    m_widthLimit = std::max<qint64>(limit, kWidthMinimum);
    const qint64 width = std::min(m_widthLimit, currentWidth());
    {
        const QSignalBlocker blocker(widthSteeper);
        widthSteeper->setRange(int(kWidthMinimum), int(std::min<qint64>(m_widthLimit, std::numeric_limits<int>::max())));
    }
    setWidth(width);
    widthErrorView->setHidden(true);
}

void PLRExportViewController::layoutChanged()
{
    if (!isViewLoaded() || m_exportType == 2)
        return;
    applyWidthLimit(PLRPersistantPost::minMaxImageWidthForLayout());
    ensureViews();
}

void PLRExportViewController::layoutManagerDidSelectBlocks(PLRLayoutManager* manager, const QList<PLRBlock*>& blocks)
{
    if (!isViewLoaded() || m_exportType != 2 || !postManager())
        return;
    Q_UNUSED(manager);
    // Compared as the photos' widths are kept (32-bit floats); no photo, no limit.
    float smallest = float(kNoWidthLimit);
    bool found = false;
    for (const PLRBlock* block : blocks) {
        if (!block || plr::typeOneOfCase(*block) != plr::kBlockKindImage)
            continue;
        const PLRSourceImagePtr image = postManager()->imageForIdentifier(QString::fromStdString(block->image().img_ref()));
        if (image && image->width() > 0.0f) {
            smallest = std::min(smallest, image->width());
            found = true;
        }
    }
    applyWidthLimit(found ? qint64(smallest) : kNoWidthLimit);
}

void PLRExportViewController::widthValueAction()
{
    const QString text = widthTextField->text().trimmed();
    bool ok = false;
    const qint64 typed = text.toLongLong(&ok);
    qint64 width = typed;
    bool wrong = true;
    if (!ok || typed < kWidthMinimum)
        width = kWidthMinimum;
    else if (typed > m_widthLimit)
        width = m_widthLimit;
    else
        wrong = false;
    if (widthErrorView)
        widthErrorView->setHidden(!wrong || !showsWidthErrors());
    setWidth(width);
}

void PLRExportViewController::widthStepperChanged()
{
    widthTextField->setText(QString::number(widthSteeper->value()));
}

// ------------------------------------------------------------------------------------ options

void PLRExportViewController::setExportLocationAction()
{
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.title = QStringLiteral("Export Directory");
    request.directory = locationText();
    const std::optional<QString> chosen = platform::FilePanels::shared().run(request, view());
    if (chosen)
        m_exportURL = QUrl::fromLocalFile(*chosen);
    else if (!keepsLocationWhenFolderChoiceCancelled())
        m_exportURL = QUrl();
    ensureViews();
}

void PLRExportViewController::createSubFolderAction()
{
    ensureViews();
}

void PLRExportViewController::imageTitleExpandAction()
{
    imageTitleContentView->setHidden(!imageTitleExpandButton->isChecked());
}

void PLRExportViewController::compressionExpandAction()
{
    compressionContentView->setHidden(!compressionExpandButton->isChecked());
}

void PLRExportViewController::imageTitleUsePrefixAction()
{
    // Every name keeps the number prefix, the original names, or both.
    if (!imageTitleUsePrefix->isChecked()) {
        imageTitleUseOriginalName->setChecked(true);
        imageTitleUseOriginalName->setEnabled(false);
    } else {
        imageTitleUseOriginalName->setEnabled(true);
    }
}

void PLRExportViewController::imageTitleUseOriginalNameAction()
{
    if (!imageTitleUseOriginalName->isChecked()) {
        imageTitleUsePrefix->setChecked(true);
        imageTitleUsePrefix->setEnabled(false);
    } else {
        imageTitleUsePrefix->setEnabled(true);
    }
}

void PLRExportViewController::compressionValueChangedAction()
{
    updateCompressionUIForValue(compressionSlider->value());
}

void PLRExportViewController::openColourPanel()
{
    const QColor chosen = QColorDialog::getColor(m_wellColour, backgroundColourWell, QStringLiteral("Background Colour"));
    if (chosen.isValid())
        setBackgroundColour(chosen);
}

void PLRExportViewController::setBackgroundColour(const QColor& colour)
{
    PLRLayoutManager* manager = postManager() ? postManager()->layoutManager() : nullptr;
    if (!colour.isValid() || !manager || !manager->representedLayout())
        return;
    const QColor rgb = colour.toRgb();
    PLRColour* background = manager->representedLayout()->mutable_background_colour();
    background->set_r(float(std::floor(rgb.redF() * 255.0)));
    background->set_g(float(std::floor(rgb.greenF() * 255.0)));
    background->set_b(float(std::floor(rgb.blueF() * 255.0)));
    manager->announceChange();
    PLRDefaults::setDefaultColour(rgb);
    ensureViews();
}

qint64 PLRExportViewController::getExportOptions() const
{
    qint64 options = 0;
    if (imageTitleUsePrefix->isChecked())
        options += plr_export::kNameOptionPrefix;
    if (imageTitleUseOriginalName->isChecked())
        options += plr_export::kNameOptionOriginalNames;
    if (imageTitleUseKeywords->isChecked())
        options += plr_export::kNameOptionKeywords;
    return options;
}

// ------------------------------------------------------------------------------------ export

void PLRExportViewController::sendEvent(const QString& title, const QVariantMap& info)
{
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(PLRAnalyticEvent::createEventWithTitle(title, info));
}

void PLRExportViewController::buttonWasClicked()
{
    if (m_exporting)
        return;
    sendEvent(QStringLiteral("export_button_clicked"),
              {{QStringLiteral("inc_sub_folder"), createSubFolderButton->isChecked() ? 1 : 0},
               {QStringLiteral("export_quality"), compressionSlider->value()}});
    if (m_exportType == 1) {
        // The publishing set-up is not asked for here: the workflow answers "go on" at once.
        QPointer<PLRExportViewController> self(this);
        PLRModalManager::presentPublisherWorkflow(false, [self](qint64 response) {
            if (self && response == platform::ui::kModalResponseContinue)
                self->exportLayout();
        });
    } else if (m_exportType == 2) {
        exportCollage();
    }
}

QString PLRExportViewController::noLocationText() const
{
    return QStringLiteral("You need to set an export location before you can export your layout");
}

bool PLRExportViewController::confirmSubFolderName(const QString& name)
{
    if (name.isEmpty()) {
        platform::showAlert(QStringLiteral("Set Sub Folder"),
                            QStringLiteral("You have selected to create a sub folder, but have not entered a name. You must either enter a "
                             "name, or deselect the sub folder option."));
        return false;
    }
    return true;
}

void PLRExportViewController::storeSettingsForExport()
{
    PLRDefaults::setExportWidth(currentWidth());
}

void PLRExportViewController::showExportStarted()
{
    infoLabel->setText(QStringLiteral("Exporting..."));
    infoIndicator->setValue(0);
    m_exporting = true;
    ensureViews();
}

void PLRExportViewController::showExportProgress(qint64 count, qint64 total)
{
    const QString text = QStringLiteral("Exporting %1 of %2 images").arg(count).arg(total);
    PLR_LOG_INFO(text);
    infoLabel->setText(text);
    infoIndicator->setValue(total > 0 ? int(1000 * count / total) : 0);
}

void PLRExportViewController::showLayoutExportEnded(bool)
{
    m_exporting = false;
    ensureViews();
}

void PLRExportViewController::exportLayout()
{
    PLRPostManager* manager = postManager();
    if (m_exportURL.isEmpty()) {
        platform::showAlert(QStringLiteral("Set Export Location"), noLocationText());
        PLR_LOG_WARN(QStringLiteral("ExportLayout - export url is nil"));
        return;
    }
    const qint64 width = currentWidth();
    const QString subFolder = subFolderTextField->text().trimmed();
    const QString exportFolder = locationText();
    QString target = exportFolder;
    if (createSubFolderButton->isChecked()) {
        if (!confirmSubFolderName(subFolder)) {
            PLR_LOG_WARN(QStringLiteral("ExportLayout - No subfolder is selected"));
            return;
        }
        // One folder inside the export folder, never a path that leads elsewhere.
        if (!plr_export::isAcceptableFolderName(subFolder)) {
            PLR_LOG_ERROR(QStringLiteral("ExportLayout - error creating subfolder %1").arg(subFolder));
            platform::showAlert(QStringLiteral("Error Creating Sub Folder"),
                                QStringLiteral("\"%1\" cannot be used as a folder name: it must be one name, without \"/\", and not \".\" or \"..\".").arg(subFolder));
            return;
        }
        target = QDir(exportFolder).filePath(subFolder);
        if (!QDir().mkpath(target)) {
            PLR_LOG_ERROR(QStringLiteral("ExportLayout - error creating subfolder %1").arg(target));
            platform::showAlert(QStringLiteral("Error Creating Sub Folder"), QStringLiteral("The folder \"%1\" could not be created.").arg(target));
            return;
        }
    }
    storeSettingsForExport();
    const bool writable = isUsableFolder(target);
    PLR_LOG_INFO(QStringLiteral("ExportLayout - Path %1 is %2").arg(target, writable ? QStringLiteral("writable") : QStringLiteral("not writable")));
    if (!writable) {
        PLR_LOG_ERROR(QStringLiteral("ExportLayout - Error with data bookmark %1").arg(target));
        platform::showAlert(QStringLiteral("Error Creating Bookmark Creation"), noLocationText());
        return;
    }

    bool learnMore = false;
    if (PLRExportManager::sharedManager().hasExportBlocksWithNamesExceeedingLimit(manager, getExportOptions())) {
        imageTitleUsePrefix->setChecked(true);
        imageTitleUsePrefix->setEnabled(true);
        imageTitleUseOriginalName->setChecked(false);
        imageTitleUseOriginalName->setEnabled(true);
        imageTitleUseKeywords->setChecked(false);
        platform::Alert message;
        message.messageText = QStringLiteral("Export Settings");
        message.informativeText = QStringLiteral("One or more images in your post have a filename that would exceed the maximum "
                                                 "length. We have changed your export settings to Include Prefix only.");
        message.buttons = {QStringLiteral("OK"), QStringLiteral("Learn More")};
        learnMore = platform::runAlert(message).response == platform::kAlertSecondButtonReturn;
    }

    PLRDefaults::setShouldExportSubFolder(createSubFolderButton->isChecked());
    PLRDefaults::setExportLocationURL(m_exportURL);
    // Without a sandbox the folder's path is all a bookmark needs to hold.
    PLRDefaults::setExportLocationBookmark(exportFolder.toUtf8());

    showExportStarted();
    PLR_LOG_INFO(QStringLiteral("Exporting Layout: w%1 c%2").arg(width).arg(compressionSlider->value()));
    auto count = std::make_shared<qint64>(0);
    QPointer<PLRExportViewController> self(this);
    PLRExportManager::sharedManager().exportLayoutForPostManager(
        manager, target, width, compressionSlider->value(), sharpnessCheckbox->isChecked(), getExportOptions(), true,
        [self, count](qint64, qint64 total) {
            ++*count;
            if (self)
                self->showExportProgress(*count, total);
        },
        [self, learnMore](bool success, const QString& failure) {
            if (!self)
                return;
            platform::Clock::shared().after(0.2, self, [self, success, failure, learnMore] {
                if (!self)
                    return;
                self->showLayoutExportEnded(success);
                if (!success && !failure.isEmpty())
                    platform::showAlert(QStringLiteral("Export Failed"), failure);
                if (learnMore)
                    platform::Workspace::shared().openURL(PLRDefaults::supportURLForPath(QString::fromLatin1(kPLRExportLearnMorePath)));
                emit self->layoutExportFinished(success);
            });
        });
}

bool PLRExportViewController::checkCollageSelection(const QList<PLRBlock*>&)
{
    return true;
}

QString PLRExportViewController::collageSaveFolder() const
{
    return m_exportURL.isLocalFile() ? QFileInfo(m_exportURL.toLocalFile()).path() : QString();
}

void PLRExportViewController::exportCollage()
{
    PLRPostManager* manager = postManager();
    PLRLayoutManager* layoutManager = manager ? manager->layoutManager() : nullptr;
    const QList<PLRBlock*> selection = layoutManager ? layoutManager->currentSelectedBlocks() : QList<PLRBlock*>();
    if (!checkCollageSelection(selection))
        return;
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::SaveFile;
    request.title = QStringLiteral("Export Collage");
    request.nameFilters = {QStringLiteral("JPEG images (*.jpg)")};
    request.directory = collageSaveFolder();
    request.suggestedName = QStringLiteral("collage.jpg");
    const std::optional<QString> chosen = platform::FilePanels::shared().run(request, view());
    if (!chosen)
        return;
    QString file = *chosen;
    if (QFileInfo(file).suffix().compare(QLatin1String("jpg"), Qt::CaseInsensitive) != 0)
        file += QLatin1String(plr_export::kFileExtension);
    m_exportURL = QUrl::fromLocalFile(file);
    storeSettingsForExport();
    PLRDefaults::setExportCollageLocationURL(m_exportURL);
    PLRDefaults::setExportCollageLocationBookmark(file.toUtf8());
    const qint64 width = currentWidth();
    PLR_LOG_INFO(QStringLiteral("Exporting Collage: w%1 c%2").arg(width).arg(compressionSlider->value()));
    QString failure;
    const bool written = PLRExportManager::sharedManager().exportBlocks(selection, manager, file, width, compressionSlider->value(), &failure);
    sendEvent(QStringLiteral("export_collage"), {});
    ensureViews();
    if (!written && !failure.isEmpty())
        platform::showAlert(QStringLiteral("Export Failed"), failure);
    else if (written)
        showCollageExported();
}

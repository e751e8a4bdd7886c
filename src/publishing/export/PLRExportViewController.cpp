#include "publishing/export/PLRExportViewController.h"
#include "platform/Clock.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "layout/base/PLRLayoutManager.h"
#include "publishing/export/PLRExportDisclosureButton.h"
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
#include "controls/PLRCheckboxButton.h"
#include "controls/PLRColorWell.h"
#include "controls/PLRSliderCell.h"
#include "controls/PLRStepperCell.h"
#include "controls/PLRTextFieldCell.h"
#include "platform-ui/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Around every control, room for the focus ring it shows while it has the keyboard: each box
// of the panel keeps it inside its edges (and the panel's margins are that much smaller).
constexpr int kRing = 3;
static_assert(kRing >= platform::ui::View::kFocusRingWidth);

QWidget* row(QWidget* parent, const QString& name, QBoxLayout** layoutOut = nullptr)
{
    auto* widget = new QWidget(parent);
    widget->setObjectName(name);
    auto* layout = new QHBoxLayout(widget);
    layout->setContentsMargins(kRing, kRing, kRing, kRing);
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

PLRCheckboxButton* checkbox(const QString& title, const QString& name, QWidget* parent)
{
    auto* box = new PLRCheckboxButton(parent);
    box->setTitle(title);
    box->setObjectName(name);
    box->setFixedHeight(18);
    box->setMinimumWidth(box->sizeHint().width());
    return box;
}

PLRTextFieldCell* formField(const QString& name, QWidget* parent)
{
    auto* field = new PLRTextFieldCell(parent);
    field->setObjectName(name);
    field->setEditable(true);
    field->setFont(platform::ui::systemFont(12));
    field->setFixedHeight(26);
    return field;
}

} // namespace

bool PLRExportViewController::isOn(const platform::ui::Button* box)
{
    return box && box->state() == platform::ui::Button::StateOn;
}

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
    column->setContentsMargins(12 - kRing, 8 - kRing, 12 - kRing, 8 - kRing);
    column->setSpacing(0);
    QBoxLayout* layout = nullptr;

    // Width.
    QWidget* widthRow = row(root, QStringLiteral("widthView"), &layout);
    layout->addWidget(new QLabel(QStringLiteral("Width"), widthRow));
    widthTextField = formField(QStringLiteral("widthTextField"), widthRow);
    layout->addWidget(widthTextField);
    widthSteeper = new PLRStepper(widthRow);
    widthSteeper->setObjectName(QStringLiteral("widthSteeper"));
    widthSteeper->cell().awakeFromNib();
    widthSteeper->setFixedSize(19, 30);
    widthSteeper->setIncrement(1);
    widthSteeper->setMinValue(double(kWidthMinimum));
    layout->addWidget(widthSteeper);
    layout->addWidget(new QLabel(QStringLiteral("px"), widthRow));
    column->addWidget(widthRow);
    widthErrorView = new QLabel(QStringLiteral("Enter a whole number of pixels within the allowed range."), root);
    widthErrorView->setObjectName(QStringLiteral("widthErrorView"));
    widthErrorView->setWordWrap(true);
    widthErrorView->setContentsMargins(kRing, kRing, kRing, kRing);
    column->addWidget(widthErrorView);
    QObject::connect(widthTextField->editor(), &QLineEdit::editingFinished, this, [this] { widthValueAction(); });
    widthSteeper->setTarget(this);
    widthSteeper->setAction([this](platform::ui::Control*) { widthStepperChanged(); });

    // Location.
    locationView = new QWidget(root);
    locationView->setObjectName(QStringLiteral("locationView"));
    auto* locationColumn = new QVBoxLayout(locationView);
    locationColumn->setContentsMargins(0, 0, 0, 0);
    locationColumn->setSpacing(0);
    QWidget* locationButtonRow = row(locationView, QStringLiteral("locationButtonView"), &layout);
    locationButton = platform::ui::Button::withTitle(QStringLiteral("Choose Export Location..."), this,
                                                     [this](platform::ui::Control*) { setExportLocationAction(); }, locationButtonRow);
    locationButton->setFixedHeight(24);
    locationButton->setObjectName(QStringLiteral("locationButton"));
    layout->addWidget(locationButton);
    locationColumn->addWidget(locationButtonRow);
    locationLabelView = row(locationView, QStringLiteral("locationLabelView"), &layout);
    locationLabel = new QLabel(locationLabelView);
    locationLabel->setObjectName(QStringLiteral("locationLabel"));
    locationLabel->setWordWrap(true);
    layout->addWidget(locationLabel);
    locationColumn->addWidget(locationLabelView);
    column->addWidget(locationView);

    // Sub folder.
    createSubFolderView = new QWidget(root);
    createSubFolderView->setObjectName(QStringLiteral("createSubFolderView"));
    auto* subColumn = new QVBoxLayout(createSubFolderView);
    subColumn->setContentsMargins(0, 0, 0, 0);
    subColumn->setSpacing(0);
    QWidget* subFolderButtonRow = row(createSubFolderView, QStringLiteral("createSubFolderButtonView"), &layout);
    createSubFolderButton = checkbox(QStringLiteral("Create sub folder"), QStringLiteral("createSubFolderButton"), subFolderButtonRow);
    layout->addWidget(createSubFolderButton);
    subColumn->addWidget(subFolderButtonRow);
    subFolderTextView = row(createSubFolderView, QStringLiteral("subFolderTextView"), &layout);
    subFolderTextField = formField(QStringLiteral("subFolderTextField"), subFolderTextView);
    subFolderTextField->setPlaceholderString(QStringLiteral("Folder name"));
    layout->addWidget(subFolderTextField);
    subColumn->addWidget(subFolderTextView);
    column->addWidget(createSubFolderView);
    createSubFolderButton->setTarget(this);
    createSubFolderButton->setAction([this](platform::ui::Control*) { createSubFolderAction(); });

    // File names.
    imageTitleHeaderView = row(root, QStringLiteral("imageTitleHeaderView"), &layout);
    imageTitleExpandButton = new PLRExportDisclosureButton(QStringLiteral("File Names"), imageTitleHeaderView);
    imageTitleExpandButton->setObjectName(QStringLiteral("imageTitleExpandButton"));
    imageTitleExpandButton->setTarget(this);
    imageTitleExpandButton->setAction([this](platform::ui::Control*) { imageTitleExpandAction(); });
    layout->addWidget(imageTitleExpandButton);
    layout->addStretch();
    column->addWidget(imageTitleHeaderView);
    imageTitleContentView = new QWidget(root);
    imageTitleContentView->setObjectName(QStringLiteral("imageTitleContentView"));
    auto* titleColumn = new QVBoxLayout(imageTitleContentView);
    titleColumn->setContentsMargins(12 + kRing, kRing, kRing, kRing);
    imageTitleUsePrefix = checkbox(QStringLiteral("Include number prefix"), QStringLiteral("imageTitleUsePrefix"), imageTitleContentView);
    imageTitleUseOriginalName = checkbox(QStringLiteral("Include original file name"), QStringLiteral("imageTitleUseOriginalName"),
                                         imageTitleContentView);
    imageTitleUseKeywords = checkbox(QStringLiteral("Include image description"), QStringLiteral("imageTitleUseKeywords"), imageTitleContentView);
    titleColumn->addWidget(imageTitleUsePrefix);
    titleColumn->addWidget(imageTitleUseOriginalName);
    titleColumn->addWidget(imageTitleUseKeywords);
    column->addWidget(imageTitleContentView);
    imageTitleUsePrefix->setState(platform::ui::Button::StateOn);
    imageTitleUsePrefix->setTarget(this);
    imageTitleUsePrefix->setAction([this](platform::ui::Control*) { imageTitleUsePrefixAction(); });
    imageTitleUseOriginalName->setTarget(this);
    imageTitleUseOriginalName->setAction([this](platform::ui::Control*) { imageTitleUseOriginalNameAction(); });

    // Quality.
    compressionHeaderView = row(root, QStringLiteral("compressionHeaderView"), &layout);
    compressionExpandButton = new PLRExportDisclosureButton(QStringLiteral("Quality"), compressionHeaderView);
    compressionExpandButton->setObjectName(QStringLiteral("compressionExpandButton"));
    compressionExpandButton->setTarget(this);
    compressionExpandButton->setAction([this](platform::ui::Control*) { compressionExpandAction(); });
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
    compressionSlider = new PLRSlider(compressionContentView);
    compressionSlider->setObjectName(QStringLiteral("compressionSlider"));
    compressionSlider->cell().awakeFromNib();
    compressionSlider->setMinValue(0);
    compressionSlider->setMaxValue(100);
    compressionSlider->setFixedHeight(26);
    layout->addWidget(compressionSlider);
    column->addWidget(compressionContentView);
    compressionSlider->setTarget(this);
    compressionSlider->setAction([this](platform::ui::Control*) { compressionValueChangedAction(); });

    // Sharpening and background.
    sharpnessHeaderView = row(root, QStringLiteral("sharpnessHeaderView"), &layout);
    sharpnessCheckbox = checkbox(QStringLiteral("Sharpen"), QStringLiteral("sharpnessCheckbox"), sharpnessHeaderView);
    sharpnessCheckbox->setState(platform::ui::Button::StateOn);
    layout->addWidget(sharpnessCheckbox);
    layout->addStretch();
    layout->addWidget(new QLabel(QStringLiteral("Background"), sharpnessHeaderView));
    backgroundColourWell = new PLRColorWell(sharpnessHeaderView);
    backgroundColourWell->setObjectName(QStringLiteral("backgroundColourWell"));
    backgroundColourWell->setToolTip(QStringLiteral("Background colour"));
    backgroundColourWell->setFixedSize(36, 20);
    backgroundColourWell->setTarget(this);
    backgroundColourWell->setAction([this](platform::ui::Control*) { setBackgroundColour(backgroundColourWell->color().toQColor()); });
    layout->addWidget(backgroundColourWell);
    column->addWidget(sharpnessHeaderView);

    // Progress, and the export button.
    infoView = new QWidget(root);
    infoView->setObjectName(QStringLiteral("infoView"));
    auto* infoColumn = new QVBoxLayout(infoView);
    infoColumn->setContentsMargins(kRing, kRing, kRing, kRing);
    infoLabel = new QLabel(infoView);
    infoLabel->setObjectName(QStringLiteral("infoLabel"));
    infoIndicator = new QProgressBar(infoView);
    infoIndicator->setObjectName(QStringLiteral("infoIndicator"));
    infoIndicator->setRange(0, 1000);
    infoIndicator->setTextVisible(false);
    infoCancelButton = platform::ui::Button::withTitle(QStringLiteral("Cancel"), this,
                                                       [this](platform::ui::Control*) { cancelExportAction(); }, infoView);
    infoCancelButton->setObjectName(QStringLiteral("infoCancelButton"));
    infoCancelButton->setEnabled(false);   // a running export cannot be cancelled
    infoColumn->addWidget(infoLabel);
    infoColumn->addWidget(infoIndicator);
    infoColumn->addWidget(infoCancelButton);
    column->addWidget(infoView);
    exportButtonView = row(root, QStringLiteral("exportButtonView"), &layout);
    exportButton = new PLRPublishButton(exportButtonView);
    exportButton->setObjectName(QStringLiteral("exportButton"));
    exportButton->setFixedHeight(int(PLRPublishButton::kHeight));
    exportButton->setDelegate(this);
    exportButtonTitle = exportButton->label();
    layout->addWidget(exportButton);
    column->addWidget(exportButtonView);
    column->addStretch();
}

void PLRExportViewController::viewDidLoad()
{
    m_chosenWidth = PLRDefaults::exportWidth();
    setWidth(m_chosenWidth);
    compressionSlider->setDoubleValue(75);
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
    // The stored folder (or collage file) when the type is taken on; a later post manager keeps
    // what the user chose since. A folder chosen for the layout stays the layout's while the
    // dialog shows the collage, used or not; with no collage file stored yet, the collage keeps
    // the folder it has (its save panel opens there).
    if (m_exportType != m_locationType) {
        if (m_locationType == 1)
            m_layoutURL = m_exportURL;
        if (m_exportType == 1) {
            m_exportURL = m_layoutURL.value_or(PLRDefaults::exportLocationURL());
        } else if (m_exportType == 2) {
            if (const QUrl collage = PLRDefaults::exportCollageLocationURL(); !collage.isEmpty())
                m_exportURL = collage;
        }
        m_locationType = m_exportType;
    }
    PLRLayoutManager* manager = postManager() ? postManager()->layoutManager() : nullptr;
    // Both follow the layout (its colour, and the layout export its width limit); a collage's
    // width limit follows the selection.
    if (manager && (m_exportType == 1 || m_exportType == 2)) {
        platform::NotificationCenter::defaultCenter().addObserver(
            this, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE), [this](const platform::Notification&) { layoutChanged(); },
            manager);
    }
    if (manager && m_exportType == 2 && usesSelectionWidthLimit())
        manager->addInteractionProxy(this);
    m_boundManager = manager;
    m_boundType = m_exportType;
    if (m_exportType == 1)
        layoutChanged();
    ensureViews();
}

void PLRExportViewController::unbind()
{
    if (m_boundType == 1 || m_boundType == 2)
        platform::NotificationCenter::defaultCenter().removeObserver(this, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE));
    if (m_boundType == 2 && m_boundManager)
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
    exportButtonTitle->setStringValue(exportButtonText());
    const bool collage = m_exportType == 2;
    locationView->setHidden(collage);
    createSubFolderView->setHidden(collage);
    imageTitleHeaderView->setHidden(collage);
    imageTitleContentView->setHidden(collage || !isOn(imageTitleExpandButton));
    subFolderTextView->setHidden(collage || !isOn(createSubFolderButton));
    locationLabelView->setHidden(m_exportURL.isEmpty());
    locationLabel->setText(locationText());
    PLRLayoutManager* manager = postManager() ? postManager()->layoutManager() : nullptr;
    m_wellColour = manager && manager->representedLayout()
        ? PLRLayoutManager::backgroundColourForLayout(*manager->representedLayout()).toQColor()
        : QColor(Qt::white);
    backgroundColourWell->setColor(platform::ui::Color(m_wellColour.redF(), m_wellColour.greenF(), m_wellColour.blueF()));
    const bool showProgress = !collage && m_exporting;
    // The progress takes the export button's place while an export runs, and the keyboard goes
    // with it: onto the progress and back onto the button (Qt would hand it on to the window's
    // next control when the one that has it is hidden).
    QWidget* shown = showProgress ? infoView : exportButtonView;
    QWidget* hidden = showProgress ? exportButtonView : infoView;
    shown->setHidden(false);
    QWidget* focused = QApplication::focusWidget();
    if (focused && (focused == hidden || hidden->isAncestorOf(focused)) && !hidden->isHidden())
        (showProgress ? infoView : static_cast<QWidget*>(exportButton))->setFocus(Qt::OtherFocusReason);
    hidden->setHidden(true);
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
    const qint64 width = widthTextField->stringValue().trimmed().toLongLong(&ok);
    return ok ? width : kWidthMinimum;
}

void PLRExportViewController::setWidth(qint64 width)
{
    widthTextField->setStringValue(QString::number(width));
    widthSteeper->setDoubleValue(double(width));
}

void PLRExportViewController::applyWidthLimit(qint64 limit)
{
    m_widthLimit = std::max<qint64>(limit, kWidthMinimum);
    // The width chosen, within the limit of the layout or selection as it is now (a smaller
    // limit that has passed gives it back).
    const qint64 width = std::min(m_widthLimit, m_chosenWidth);
    // The stepper's and the width formatter's range: the minimum up to the limit.
    widthSteeper->setMinValue(double(kWidthMinimum));
    widthSteeper->setMaxValue(double(m_widthLimit));
    setWidth(width);
    widthErrorView->setHidden(true);
}

void PLRExportViewController::layoutChanged()
{
    if (!isViewLoaded())
        return;
    if (m_exportType != 2)
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
    // Shown for a selection: with the layout's colour as it is now.
    ensureViews();
}

void PLRExportViewController::widthValueAction()
{
    const QString text = widthTextField->stringValue().trimmed();
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
    m_chosenWidth = width;
    setWidth(width);
}

void PLRExportViewController::widthStepperChanged()
{
    m_chosenWidth = widthSteeper->integerValue();
    widthTextField->setStringValue(QString::number(m_chosenWidth));
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
    imageTitleContentView->setHidden(!isOn(imageTitleExpandButton));
}

void PLRExportViewController::compressionExpandAction()
{
    compressionContentView->setHidden(!isOn(compressionExpandButton));
}

void PLRExportViewController::imageTitleUsePrefixAction()
{
    // Every name keeps the number prefix, the original names, or both.
    if (!isOn(imageTitleUsePrefix)) {
        imageTitleUseOriginalName->setState(platform::ui::Button::StateOn);
        imageTitleUseOriginalName->setEnabled(false);
    } else {
        imageTitleUseOriginalName->setEnabled(true);
    }
}

void PLRExportViewController::imageTitleUseOriginalNameAction()
{
    if (!isOn(imageTitleUseOriginalName)) {
        imageTitleUsePrefix->setState(platform::ui::Button::StateOn);
        imageTitleUsePrefix->setEnabled(false);
    } else {
        imageTitleUsePrefix->setEnabled(true);
    }
}

void PLRExportViewController::compressionValueChangedAction()
{
    updateCompressionUIForValue(int(compressionSlider->integerValue()));
}

void PLRExportViewController::openColourPanel()
{
    // The well opens the colour panel; its action applies each colour chosen there.
    backgroundColourWell->activate(true);
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
    if (isOn(imageTitleUsePrefix))
        options += plr_export::kNameOptionPrefix;
    if (isOn(imageTitleUseOriginalName))
        options += plr_export::kNameOptionOriginalNames;
    if (isOn(imageTitleUseKeywords))
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
              {{QStringLiteral("inc_sub_folder"), isOn(createSubFolderButton) ? 1 : 0},
               {QStringLiteral("export_quality"), int(compressionSlider->integerValue())}});
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
    // Photos that are gone, cut short or unreadable stop the export before anything is made.
    if (const QString problem = PLRExportManager::sharedManager().unusablePhotosReport(manager); !problem.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("ExportLayout - photos are missing or unreadable"));
        platform::showAlert(QStringLiteral("Photos Cannot Be Exported"), problem);
        return;
    }
    const qint64 width = currentWidth();
    const QString subFolder = subFolderTextField->stringValue().trimmed();
    const QString exportFolder = locationText();
    QString target = exportFolder;
    if (isOn(createSubFolderButton)) {
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
        imageTitleUsePrefix->setState(platform::ui::Button::StateOn);
        imageTitleUsePrefix->setEnabled(true);
        imageTitleUseOriginalName->setState(platform::ui::Button::StateOff);
        imageTitleUseOriginalName->setEnabled(true);
        imageTitleUseKeywords->setState(platform::ui::Button::StateOff);
        platform::Alert message;
        message.messageText = QStringLiteral("Export Settings");
        message.informativeText = QStringLiteral("One or more images in your post have a filename that would exceed the maximum "
                                                 "length. We have changed your export settings to Include Prefix only.");
        message.buttons = {QStringLiteral("OK"), QStringLiteral("Learn More")};
        message.escapeButton = 0;
        learnMore = platform::runAlert(message).response == platform::kAlertSecondButtonReturn;
    }

    PLRDefaults::setShouldExportSubFolder(isOn(createSubFolderButton));
    PLRDefaults::setExportLocationURL(m_exportURL);
    // Without a sandbox the folder's path is all a bookmark needs to hold.
    PLRDefaults::setExportLocationBookmark(exportFolder.toUtf8());

    showExportStarted();
    PLR_LOG_INFO(QStringLiteral("Exporting Layout: w%1 c%2").arg(width).arg(int(compressionSlider->integerValue())));
    // The progress counts the files: the engine reports every block of the first section by
    // its number, also the text and spacer blocks that make no file, and a row of photos makes
    // one file. The numbers that make a file are read from the layout the engine copies now.
    const PLRLayout* layout = manager && manager->layoutManager() ? manager->layoutManager()->representedLayout() : nullptr;
    auto files = std::make_shared<const QSet<qint64>>(layout ? plr_export::exportedBlockNumbers(*layout) : QSet<qint64>());
    auto count = std::make_shared<qint64>(0);
    QPointer<PLRExportViewController> self(this);
    PLRExportManager::sharedManager().exportLayoutForPostManager(
        manager, target, width, int(compressionSlider->integerValue()), isOn(sharpnessCheckbox), getExportOptions(), true,
        [self, files, count](qint64 number, qint64) {
            if (!files->contains(number))
                return;
            ++*count;
            if (self)
                self->showExportProgress(*count, files->size());
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
    if (const QString problem = selection.isEmpty() ? QString() : PLRExportManager::sharedManager().unusablePhotosReport(manager, selection);
        !problem.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("Exporting Collage - photos are missing or unreadable"));
        platform::showAlert(QStringLiteral("Photos Cannot Be Exported"), problem);
        return;
    }
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
    PLR_LOG_INFO(QStringLiteral("Exporting Collage: w%1 c%2").arg(width).arg(int(compressionSlider->integerValue())));
    QString failure;
    const bool written = PLRExportManager::sharedManager().exportBlocks(selection, manager, file, width, int(compressionSlider->integerValue()), &failure);
    sendEvent(QStringLiteral("export_collage"), {});
    ensureViews();
    if (!written && !failure.isEmpty())
        platform::showAlert(QStringLiteral("Export Failed"), failure);
    else if (written)
        showCollageExported();
}

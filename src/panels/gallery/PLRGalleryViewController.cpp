#include "panels/gallery/PLRGalleryViewController.h"

#include "controls/PLRSliderCell.h"

#include "layout/base/PLRLayoutManager.h"
#include "controls/ColorWithHex.h"
#include "controls/KitHelpers.h"
#include "controls/PLRSmallViews.h"
#include "panels/gallery/PLRGalleryHeaderView.h"
#include "panels/gallery/PLRGalleryViewItem.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/Storyboard.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"
#include "platform-ui/Controls.h"
#include "platform-ui/Fonts.h"
#include "store/session/PLRDefaults.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRShellNotifications.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <utility>

using namespace platform::ui;

namespace {
constexpr const char* kGlobalMagnificationFactorKey = "globalMagnificationFactor";

// The gallery's root view: laid out by Qt, y running down like its layouts.
class GalleryRootView : public View {
public:
    bool isFlipped() const override { return true; }
};
} // namespace

PLRGalleryViewController::PLRGalleryViewController(QObject* parent) : PLRGenericPostViewController(parent)
{
    m_filterStarView = new PLRStarFilterView;
    m_filterColourView = new PLRColourFilterView;
    buildSortFilterMenu();
}

PLRGalleryViewController::~PLRGalleryViewController()
{
    platform::NotificationCenter::defaultCenter().removeObserver(this);
    disconnect(m_inUseConnection);
    if (m_observedDirectory)
        m_observedDirectory->removeDelegate(this);
    if (PLRPreviewPanel::sharedPreviewPanelExists())
        PLRPreviewPanel::sharedPreviewPanel()->controllerWillGo(this);
    // The views go now, while this object can still answer (or rather no longer asks) them.
    if (m_galleryView) {
        m_galleryView->setDataSource(nullptr);
        m_galleryView->setDelegate(nullptr);
    }
    if (isViewLoaded())
        delete view();
    // The menu owns the filter views; it has no parent widget of ours.
    delete m_sortFilterMenu;
}

void PLRGalleryViewController::registerScene()
{
    platform::Storyboard::registerScene(QString::fromLatin1(kPLRMainStoryboard), QString::fromLatin1(kPLRGallerySceneIdentifier),
                                        [] { return new PLRGalleryViewController; });
}

// ---------------------------------------------------------------- view

View* PLRGalleryViewController::loadView()
{
    auto* root = new GalleryRootView;
    root->resize(280, 600);
    auto* rootLayout = new QVBoxLayout(root);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->setSpacing(0);
    m_tabView = new QStackedWidget(root);
    rootLayout->addWidget(m_tabView);

    // Page 0: the error bar, the gallery and its bottom bar.
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    pageLayout->setSpacing(0);
    buildErrorBar(page);
    pageLayout->addWidget(m_sourceErrorView);

    m_scrollView = new PLRDraggingDestinationScrollView(page);
    m_scrollView->setGalleryViewController(this);
    QPalette palette = m_scrollView->viewport()->palette();
    palette.setColor(QPalette::Window, ColorWithHex::smb_inspectorDetailGrey().toQColor());
    m_scrollView->viewport()->setPalette(palette);
    m_scrollView->viewport()->setAutoFillBackground(true);
    m_galleryView = new PLRGalleryCollectionView;
    m_galleryView->setDataSource(this);
    m_galleryView->setDelegate(this);
    m_galleryView->attachToScrollArea(m_scrollView);
    pageLayout->addWidget(m_scrollView, 1);

    auto* bar = new InspectorBGView(page);
    bar->setDrawBG(true);
    bar->setBgColour(ColorWithHex::smb_inspectorDetailGrey());
    bar->setLineOnTop(true);
    bar->setFixedHeight(34);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(10, 4, 10, 4);
    barLayout->setSpacing(8);
    m_sortFilterButton = Button::withTitle(QStringLiteral("Sort & Filter"), this,
                                           [this](Control* sender) { showSortFilterMenuAction(sender); }, bar);
    m_sortFilterButton->setBezelStyle(Button::BezelRounded);
    // Its title on one line whatever it says: the button keeps its width, the zoom slider gives
    // way in a narrow gallery.
    m_sortFilterButton->setSizePolicy(QSizePolicy::Fixed, m_sortFilterButton->sizePolicy().verticalPolicy());
    barLayout->addWidget(m_sortFilterButton);
    barLayout->addStretch(1);
    // The gallery's zoom slider: the application's slider in its gallery style.
    m_zoomSlider = new PLRSlider(bar);
    m_zoomSlider->setIdentifier(QStringLiteral("zoomSlider"));
    m_zoomSlider->cell().setGalleryStyle(1);
    m_zoomSlider->cell().awakeFromNib();
    m_zoomSlider->setMinValue(1.0);
    m_zoomSlider->setMaxValue(2.0);
    m_zoomSlider->setDoubleValue(1.0);
    m_zoomSlider->setMinimumWidth(40);
    m_zoomSlider->setMaximumWidth(90);
    m_zoomSlider->setFixedHeight(22);
    m_zoomSlider->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_zoomSlider->setFocusPolicy(Qt::NoFocus);
    m_zoomSlider->setTarget(this);
    m_zoomSlider->setAction([this](Control*) { adjustZoomAction(m_zoomSlider->doubleValue()); });
    barLayout->addWidget(m_zoomSlider);
    pageLayout->addWidget(bar);
    m_tabView->addWidget(page);

    // Page 1.
    auto* second = new PLRBackgroundColourView;
    second->setBackgroundColour(ColorWithHex::smb_inspectorDetailGrey());
    m_tabView->addWidget(second);
    m_tabView->setCurrentIndex(0);
    return root;
}

void PLRGalleryViewController::buildErrorBar(QWidget* page)
{
    auto* bar = new PLRBackgroundColourView(page);
    bar->setBackgroundColour(Color(1.0, 0.95, 0.94));
    m_sourceErrorView = bar;
    auto* layout = new QVBoxLayout(bar);
    layout->setContentsMargins(12, 8, 12, 8);
    layout->setSpacing(4);
    m_sourceErrorLabel = TextField::labelWithString(QString(), bar);
    m_sourceErrorLabel->setFont(boldSystemFont(12));
    m_sourceErrorLabel->setTextColor(ColorWithHex::smb_errorRed());
    m_sourceErrorInfo = TextField::labelWithString(QString(), bar);
    m_sourceErrorInfo->setFont(systemFont(11));
    m_sourceErrorInfo->setTextColor(namedColor(QStringLiteral("plrTextColor")));
    m_sourceErrorInfo->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Expanding);
    m_sourceErrorButton = Button::withTitle(QString(), this, [this](Control*) { imageSourceAction(); }, bar);
    layout->addWidget(m_sourceErrorLabel);
    layout->addWidget(m_sourceErrorInfo, 1);
    layout->addWidget(m_sourceErrorButton, 0, Qt::AlignLeft);
    bar->setFixedHeight(0);
    bar->hide();
    bar->installEventFilter(this);
}

void PLRGalleryViewController::fitSourceErrorBar()
{
    // The bar has the height its state gives, or more where its texts need more at its width
    // (a long folder path takes further lines), so that none of them is cut off.
    if (m_sourceErrorHeight <= 0)
        return;
    const QMargins margins = m_sourceErrorView->layout()->contentsMargins();
    const int spacing = m_sourceErrorView->layout()->spacing();
    const double infoWidth = m_sourceErrorView->width() - margins.left() - margins.right() - 2 * TextField::kTextInset;
    const int info = int(std::ceil(heightForWidth(m_sourceErrorInfo->attributedStringValue(), std::max(1.0, infoWidth))));
    const int needed = margins.top() + m_sourceErrorLabel->sizeHint().height() + spacing + info + spacing +
                       m_sourceErrorButton->sizeHint().height() + margins.bottom();
    m_sourceErrorView->setFixedHeight(std::max(m_sourceErrorHeight, needed));
}

void PLRGalleryViewController::buildSortFilterMenu()
{
    m_sortFilterMenu = new QMenu;
    auto check = [this](const QString& title, auto slot) {
        QAction* action = m_sortFilterMenu->addAction(title);
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_sortFilterMenu->addSection(QStringLiteral("Sort By"));
    m_titleMenuItem = check(QStringLiteral("Name"), [this] { sortTypeMenuAction(m_titleMenuItem); });
    m_creationMenuItem = check(QStringLiteral("Date Created"), [this] { sortTypeMenuAction(m_creationMenuItem); });
    m_modifiedMenuItem = check(QStringLiteral("Date Modified"), [this] { sortTypeMenuAction(m_modifiedMenuItem); });
    m_sortFilterMenu->addSeparator();
    m_ascendingMenuItem = check(PLRDefaults::ascendingTitleForType(0), [this] { sortOrderMenuAction(m_ascendingMenuItem); });
    m_descendingMenuItem = check(PLRDefaults::descendingTitleForType(0), [this] { sortOrderMenuAction(m_descendingMenuItem); });
    m_sortFilterMenu->addSection(QStringLiteral("Filter"));
    m_filterStarMenuItem = new QWidgetAction(m_sortFilterMenu);
    m_filterStarMenuItem->setDefaultWidget(m_filterStarView);
    m_sortFilterMenu->addAction(m_filterStarMenuItem);
    m_filterColourMenuItem = new QWidgetAction(m_sortFilterMenu);
    m_filterColourMenuItem->setDefaultWidget(m_filterColourView);
    m_sortFilterMenu->addAction(m_filterColourMenuItem);
    m_clearFilterMenuItem = m_sortFilterMenu->addAction(QStringLiteral("Clear Filter"), this, [this] { clearFilterAction(); });
    m_sortFilterMenu->addSeparator();
    m_splitImagesMenuItem = check(QStringLiteral("Split Used Images"), [this] { splitImageAction(); });
    m_showHiddenImagesMenuItem = check(QStringLiteral("Show Hidden Images"), [this] { showHiddenImagesAction(); });
    m_autoAddNewMenuItem = check(QStringLiteral("Auto Add New Images"), [this] { autoAddImagesAction(); });
}

void PLRGalleryViewController::viewDidLoad()
{
    // The row layout of the collection.
    PLRGalleryViewLayout* layout = m_galleryView->galleryLayout();
    layout->setMinimumInteritemSpacing(10);
    layout->setMinimumLineSpacing(10);
    layout->setSectionInset(QMarginsF(10, 0, 10, 0));   // left, top, right, bottom
    layout->setItemSize(QSizeF(kBaseItemSize, kBaseItemSize));
    layout->setHeaderReferenceSize(QSizeF(28, 28));

    platform::NotificationCenter::defaultCenter().addObserver(
        this, QString::fromLatin1(kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT),
        [this](const platform::Notification& notification) { autoBuildLayout(notification); });
    m_currentZoomFactor = 1.0;

    m_splitUsedImages = PLRDefaults::shouldSplitUsedImages();
    m_showHiddenImages = PLRDefaults::shouldShowHiddenImages();
    m_sortOrder = PLRDefaults::sortOrder();
    m_sortType = PLRDefaults::sortType();

    m_filterStarView->setDelegate(this);
    m_filterColourView->setDelegate(this);
    m_filterStarView->setCurrentComparator(1);
    m_filterStarView->resize(150, 24);
    m_filterColourView->resize(150, 24);
    m_filterColourView->layout();

    m_pivotingSelectionIndex = kNoPivot;
    m_pivotingSection = 0;
    m_selectedImages.clear();
    m_galleryView->invalidateLayout();
    view()->installEventFilter(this);
}

void PLRGalleryViewController::viewWillAppear()
{
    view();
    setItemSize(currentZoom());
}

void PLRGalleryViewController::setItemSize(double factor)
{
    view();
    if (m_zoomSlider) {
        m_zoomSlider->setDoubleValue(factor);
    }
    m_galleryView->galleryLayout()->setItemSize(QSizeF(kBaseItemSize * factor, kBaseItemSize * factor));
    m_galleryView->invalidateLayout();
}

// ---------------------------------------------------------------- post manager

void PLRGalleryViewController::setPostManager(PLRPostManager* manager)
{
    view();
    PLRGenericPostViewController::setPostManager(manager);
    disconnect(m_inUseConnection);
    if (m_observedDirectory)
        m_observedDirectory->removeDelegate(this);
    m_observedDirectory = nullptr;
    m_observedManager = manager;
    if (manager) {
        m_inUseConnection = connect(manager, &PLRPostManager::numberOfImagesInUseChanged, this,
                                    [this] { ensureImageStructure(true); });
        observeSourceDirectory(manager->sourceDirectory());
    }
    ensureImageStructure(true);
}

void PLRGalleryViewController::observeSourceDirectory(PLRSourceDirectory* directory)
{
    if (!directory)
        return;
    m_observedDirectory = directory;
    directory->addDelegate(this);
}

// ---------------------------------------------------------------- data

QList<PLRSourceImagePtr> PLRGalleryViewController::getFilteredAndSortedImages(qint64 code)
{
    PLRPostManager* manager = postManager();
    PLRSourceDirectory* directory = manager ? manager->sourceDirectory() : nullptr;
    if (!directory)
        return {};
    PLRSourceDirectoryOrdering& ordering = directory->sourceDirectoryOrdering();
    ordering.setSortType(m_sortType);
    ordering.setSortOrder(m_sortOrder);
    ordering.setStarSelection(m_filterStarView->currentFilterSelection());
    ordering.setStarRelation(m_filterStarView->currentComparator());
    ordering.setColourFilter(m_filterColourView->currentFilterSelection());
    return ordering.filteredImageCollection(code);
}

qint64 PLRGalleryViewController::filterCodeForSection(qint64 section) const
{
    if (section == 0)
        return m_splitUsedImages ? 2 : 1;
    if (section == 1 && m_splitUsedImages)
        return 3;
    return 4;
}

QString PLRGalleryViewController::titleForSection(qint64 section) const
{
    if (section == 0)
        return QString();
    return filterCodeForSection(section) == 3 ? QStringLiteral("Used Images") : QStringLiteral("Hidden Images");
}

QList<PLRSourceImagePtr> PLRGalleryViewController::arrayForSection(qint64 section)
{
    return getFilteredAndSortedImages(filterCodeForSection(section));
}

PLRSourceImagePtr PLRGalleryViewController::imageAtIndexPath(const PLRGalleryIndexPath& path) const
{
    if (path.section < 0 || path.section >= m_shownSections.size())
        return nullptr;
    const QList<PLRSourceImagePtr>& list = m_shownSections[path.section];
    if (path.item < 0 || path.item >= list.size())
        return nullptr;
    return list[path.item];
}

QList<PLRSourceImagePtr> PLRGalleryViewController::selectedImageSources() const
{
    QList<PLRSourceImagePtr> images;
    if (!m_galleryView)
        return images;
    for (const PLRGalleryIndexPath& path : m_galleryView->sortedSelectionIndexPaths())
        if (PLRSourceImagePtr image = imageAtIndexPath(path))
            images.append(image);
    return images;
}

void PLRGalleryViewController::setSelectedImages()
{
    m_selectedImages = selectedImageSources();
    PLR_LOG_DEBUG(QStringLiteral("Set selected images, count is %1").arg(m_selectedImages.size()));
}

double PLRGalleryViewController::currentZoom()
{
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    if (defaults.hasKey(QString::fromLatin1(kGlobalMagnificationFactorKey)))
        m_currentZoomFactor = defaults.doubleForKey(QString::fromLatin1(kGlobalMagnificationFactorKey));
    return m_currentZoomFactor;
}

// ---------------------------------------------------------------- rebuild

PLRGallerySourceErrorBar PLRGalleryViewController::sourceErrorBarFor(bool hasDirectory, qint64 state, bool locationExists,
                                                                    QString path)
{
    PLRGallerySourceErrorBar bar;
    if (hasDirectory && state == PLRSourceDirectory::StateLocationUnavailable) {
        bar.title = QStringLiteral("Could not determine\nSource Folder location");
        bar.buttonTitle = QStringLiteral("Choose Folder");
        bar.info = QStringLiteral("The Source Folder for this post could not be found. Select a new folder with the "
                                  "images to use for this post.");
        bar.height = kErrorBarUnknownLocation;
        bar.reloads = false;
        return bar;
    }
    path.replace(QStringLiteral("%20"), QStringLiteral(" "));
    if (!hasDirectory || !locationExists) {
        bar.title = QStringLiteral("Source Folder Not Found");
        bar.buttonTitle = QStringLiteral("Locate Folder");
        bar.info = QStringLiteral("%1 cannot be located").arg(path);
        bar.height = kErrorBarMissing;
    }
    if (hasDirectory && state == PLRSourceDirectory::StateAccessDenied) {
        bar.title = QStringLiteral("Cannot open Source Folder");
        bar.buttonTitle = QStringLiteral("Relocate Folder");
        bar.info = QStringLiteral("Pellora does not have access to the designated source folder (%1). In order to read "
                                  "from this folder we need you to specify the location.").arg(path);
        bar.height = kErrorBarNoAccess;
    }
    return bar;
}

void PLRGalleryViewController::ensureImageStructure(bool reload)
{
    view();
    PLRPostManager* manager = postManager();
    PLRSourceDirectory* directory = manager ? manager->sourceDirectory() : nullptr;
    const QString path = directory ? directory->path() : (manager ? manager->sourceLocation().toLocalFile() : QString());
    // No post at all (its manager went): nothing to report on.
    const PLRGallerySourceErrorBar bar = manager ? sourceErrorBarFor(directory != nullptr, directory ? directory->state() : 0,
                                                                     directory && directory->locationExisits(), path)
                                                 : PLRGallerySourceErrorBar{};
    m_sourceErrorLabel->setStringValue(bar.title);
    m_sourceErrorButton->setTitle(bar.buttonTitle);
    m_sourceErrorButton->resize(m_sourceErrorButton->sizeHint());
    m_sourceErrorInfo->setStringValue(bar.info);
    m_sourceErrorHeight = bar.height;
    m_sourceErrorView->setFixedHeight(bar.height);
    m_sourceErrorView->setVisible(bar.height > 0);
    fitSourceErrorBar();
    if (!bar.reloads)
        return;
    m_tabView->setCurrentIndex(0);
    if (reload)
        reloadGallery();
}

void PLRGalleryViewController::setNeedsImageStructure()
{
    if (m_structureQueued)
        return;
    m_structureQueued = true;
    QPointer<PLRGalleryViewController> self(this);
    platform::dispatchMain([self] {
        if (!self)
            return;
        self->m_structureQueued = false;
        self->ensureImageStructure(true);
    });
}

void PLRGalleryViewController::reloadGallery()
{
    // The selection and the pivot follow their photos through the rebuild.
    QList<PLRSourceImagePtr> selected = selectedImageSources();
    PLRSourceImagePtr focused;
    if (PLRGalleryViewItem* item = m_galleryView->firstResponderItem())
        focused = item->image();
    PLRSourceImagePtr pivot;
    if (m_pivotingSelectionIndex != kNoPivot)
        pivot = imageAtIndexPath({m_pivotingSection, m_pivotingSelectionIndex});

    m_shownSections.clear();
    const qint64 sections = numberOfSectionsInCollectionView(m_galleryView);
    for (qint64 section = 0; section < sections; ++section)
        m_shownSections.append(arrayForSection(section));
    m_galleryView->reloadData();

    m_pivotingSelectionIndex = kNoPivot;
    if (pivot) {
        const qint64 index = m_shownSections.isEmpty() ? -1 : m_shownSections[0].indexOf(pivot);
        if (index >= 0)
            m_pivotingSelectionIndex = index;
    }
    if (!selected.isEmpty()) {
        const QSet<PLRSourceImage*> wanted = [&] {
            QSet<PLRSourceImage*> set;
            for (const PLRSourceImagePtr& image : selected)
                set.insert(image.get());
            return set;
        }();
        PLRGalleryIndexPathSet paths;
        std::optional<PLRGalleryIndexPath> focusPath;
        for (qint64 section = 0; section < m_shownSections.size(); ++section) {
            if (numberOfItemsInSection(m_galleryView, section) == 0)
                continue;   // collapsed or empty
            const QList<PLRSourceImagePtr>& list = m_shownSections[section];
            for (qint64 item = 0; item < list.size(); ++item) {
                if (wanted.contains(list[item].get())) {
                    paths.insert({section, item});
                    if (list[item] == focused)
                        focusPath = PLRGalleryIndexPath{section, item};
                }
            }
        }
        m_galleryView->selectItems(paths);
        if (focusPath)
            if (PLRGalleryViewItem* item = m_galleryView->itemAtIndexPath(*focusPath))
                m_galleryView->makeFirstResponder(item);
    }
    emit galleryReloaded();
}

// ---------------------------------------------------------------- actions

void PLRGalleryViewController::imageSourceAction()
{
    PLRPostManager* manager = postManager();
    platform::PanelRequest request;
    request.kind = platform::PanelRequest::Kind::OpenDirectory;
    request.title = QStringLiteral("Choose Source Folder");
    request.prompt = QStringLiteral("Choose");
    const std::optional<QString> chosen = platform::FilePanels::shared().run(request, view()->window());
    if (!chosen || chosen->isEmpty())
        return;
    if (manager && manager->sourceDirectory())
        manager->sourceDirectory()->setNewLocation(QUrl::fromLocalFile(*chosen));
}

void PLRGalleryViewController::showSortFilterMenuAction(QWidget* sender)
{
    ensureSortMenu();
    m_filterStarView->update();
    m_filterColourView->layout();
    m_filterColourView->update();
    QWidget* anchor = sender ? sender : view();
    m_sortFilterMenu->popup(anchor->mapToGlobal(QPoint(0, anchor->height())));
}

void PLRGalleryViewController::sortTypeMenuAction(QAction* item)
{
    if (item == m_titleMenuItem)
        m_sortType = 0;
    else if (item == m_creationMenuItem)
        m_sortType = 1;
    else if (item == m_modifiedMenuItem)
        m_sortType = 2;
    PLRDefaults::setSortType(m_sortType);
    ensureSortMenu();
    ensureImageStructure(true);
}

void PLRGalleryViewController::sortOrderMenuAction(QAction* item)
{
    if (item == m_ascendingMenuItem)
        m_sortOrder = 0;
    else if (item == m_descendingMenuItem)
        m_sortOrder = 1;
    PLRDefaults::setSortOrder(m_sortOrder);
    ensureSortMenu();
    ensureImageStructure(true);
}

void PLRGalleryViewController::clearFilterAction()
{
    m_filterStarView->clearFilter();
    m_filterColourView->clearFilter();
    ensureImageStructure(true);
    updateSortFilterButton();
}

void PLRGalleryViewController::splitImageAction()
{
    m_splitUsedImages = !m_splitUsedImages;
    PLRDefaults::setShouldSplitusedImages(m_splitUsedImages);
    ensureSortMenu();
    ensureImageStructure(true);
}

void PLRGalleryViewController::showHiddenImagesAction()
{
    m_showHiddenImages = !m_showHiddenImages;
    PLRDefaults::setShouldShowHiddenImages(m_showHiddenImages);
    ensureSortMenu();
    ensureImageStructure(true);
}

void PLRGalleryViewController::autoAddImagesAction()
{
    PLRDefaults::setShouldAutoAddNewImages(!PLRDefaults::shouldAutoAddNewImages());
}

void PLRGalleryViewController::adjustZoomAction(double value)
{
    m_currentZoomFactor = value;
    setItemSize(value);
}

void PLRGalleryViewController::adjustZoomFromPinch(double magnification)
{
    const double factor = std::clamp(magnification, 1.0, 2.0);
    m_currentZoomFactor = factor;
    setItemSize(factor);
}

void PLRGalleryViewController::collectionViewMagnify(PLRGalleryCollectionView*, double magnification)
{
    adjustZoomFromPinch(m_currentZoomFactor * magnification);
}

void PLRGalleryViewController::ensureSortMenu()
{
    m_titleMenuItem->setChecked(m_sortType == 0);
    m_creationMenuItem->setChecked(m_sortType == 1);
    m_modifiedMenuItem->setChecked(m_sortType == 2);
    m_ascendingMenuItem->setChecked(m_sortOrder == 0);
    m_descendingMenuItem->setChecked(m_sortOrder == 1);
    m_splitImagesMenuItem->setChecked(m_splitUsedImages);
    m_showHiddenImagesMenuItem->setChecked(m_showHiddenImages);
    m_autoAddNewMenuItem->setChecked(PLRDefaults::shouldAutoAddNewImages());
    m_ascendingMenuItem->setText(PLRDefaults::ascendingTitleForType(m_sortType));
    m_descendingMenuItem->setText(PLRDefaults::descendingTitleForType(m_sortType));
}

// ---------------------------------------------------------------- filters

void PLRGalleryViewController::colourFilterSetFilterType(PLRColourFilterView*, qint64 type)
{
    PLRDefaults::setColourFilterValue(type);
    ensureImageStructure(true);
    updateSortFilterButton();
}

void PLRGalleryViewController::starFilterSetFilterSelection(PLRStarFilterView*, qint64 selection)
{
    PLRDefaults::setStarFilterValue(selection);
    ensureImageStructure(true);
    updateSortFilterButton();
}

void PLRGalleryViewController::starFilterSetComparatorValue(PLRStarFilterView*, qint64 comparator)
{
    PLRDefaults::setStarFilterComparator(comparator);
    ensureImageStructure(true);
    updateSortFilterButton();
}

bool PLRGalleryViewController::isFilterActive() const
{
    return (m_filterStarView && m_filterStarView->currentFilterSelection() != 0)
        || (m_filterColourView && m_filterColourView->currentFilterSelection() != 0);
}

void PLRGalleryViewController::updateSortFilterButton()
{
    if (!m_sortFilterButton)
        return;
    // Once the menu is closed, the button is what tells that photos are filtered out.
    const bool active = isFilterActive();
    m_sortFilterButton->setTitle(active ? QStringLiteral("Sort & Filter (Filtered)") : QStringLiteral("Sort & Filter"));
    m_sortFilterButton->setToolTip(active ? QStringLiteral("A star or colour filter hides some photos.") : QString());
}

// ---------------------------------------------------------------- source folder

// The directory calls these on the main thread.
void PLRGalleryViewController::sourceDirectoryUpdatedState(PLRSourceDirectory*, qint64)
{
    setNeedsImageStructure();
}

void PLRGalleryViewController::sourceDirectoryAddedNewImage(PLRSourceDirectory*, const PLRSourceImagePtr& image)
{
    const QString identifier = image ? image->identifier() : QString();
    // A new file that cannot be used (no picture) is listed, never put into the layout.
    if (PLRDefaults::shouldAutoAddNewImages() && !identifier.isEmpty() && image->problem() == PLRPhotoProblem::None) {
        PLRPostManager* manager = postManager();
        if (PLRLayoutManager* layoutManager = manager ? manager->layoutManager() : nullptr)
            layoutManager->createAndAddBlocksForImages({identifier});
    }
    setNeedsImageStructure();
}

void PLRGalleryViewController::sourceDirectoryUpdatedImage(PLRSourceDirectory*, const PLRSourceImagePtr& image)
{
    if (!image)
        return;
    // Changed photos of one burst are looked at together, once.
    const bool first = m_updatedImages.isEmpty();
    if (!m_updatedImages.contains(image))
        m_updatedImages.append(image);
    if (first) {
        QPointer<PLRGalleryViewController> self(this);
        platform::dispatchMain([self] {
            if (self)
                self->reloadItemsForUpdatedImages();
        });
    }
}

void PLRGalleryViewController::sourceDirectoryDeletedImage(PLRSourceDirectory*, const PLRSourceImagePtr&)
{
    setNeedsImageStructure();
}

void PLRGalleryViewController::reloadItemsForUpdatedImages()
{
    const QList<PLRSourceImagePtr> images = std::exchange(m_updatedImages, {});
    if (images.isEmpty() || m_structureQueued)
        return;   // nothing, or a whole rebuild is on its way
    const QList<PLRSourceImagePtr> all = getFilteredAndSortedImages(0);
    for (const PLRSourceImagePtr& image : images) {
        if (!all.contains(image)) {
            setNeedsImageStructure();
            return;
        }
    }
    // One item is enough only while every photo keeps its place (same lists, same order);
    // otherwise the gallery is built again.
    const qint64 sections = m_galleryView->numberOfSections();
    for (qint64 section = 0; section < sections && section < m_shownSections.size(); ++section) {
        if (arrayForSection(section) != m_shownSections[section]) {
            setNeedsImageStructure();
            return;
        }
    }
    for (const PLRSourceImagePtr& image : images) {
        for (qint64 section = 0; section < sections && section < m_shownSections.size(); ++section) {
            const qint64 index = m_shownSections[section].indexOf(image);
            if (index < 0)
                continue;
            if (PLRGalleryViewItem* item = m_galleryView->itemAtIndexPath({section, index}))
                item->setImage(image);
            break;
        }
    }
}

// ---------------------------------------------------------------- collection

qint64 PLRGalleryViewController::numberOfSectionsInCollectionView(PLRGalleryCollectionView*)
{
    return 1 + (m_splitUsedImages ? 1 : 0) + (m_showHiddenImages ? 1 : 0);
}

qint64 PLRGalleryViewController::numberOfItemsInSection(PLRGalleryCollectionView*, qint64 section)
{
    if (section < 0 || section >= m_shownSections.size())
        return 0;
    const bool collapsed = (section == 1 && m_splitUsedImages) ? m_collapseUsedSection
                                                               : (section == 0 ? false : m_collapseHiddenSection);
    return collapsed ? 0 : m_shownSections[section].size();
}

PLRGalleryViewItem* PLRGalleryViewController::itemForRepresentedObjectAtIndexPath(PLRGalleryCollectionView* collectionView,
                                                                                   const PLRGalleryIndexPath& path)
{
    PLRGalleryViewItem* item = collectionView->makeItem(path);
    PLRPostManager* manager = postManager();
    item->setPost(manager ? manager->representedPost() : nullptr);
    item->setGalleryViewController(this);
    item->setImage(imageAtIndexPath(path));
    return item;
}

PLRGalleryHeaderView* PLRGalleryViewController::viewForSupplementaryElement(PLRGalleryCollectionView* collectionView,
                                                                            const QString&, const PLRGalleryIndexPath& path)
{
    if (path.section == 0)
        return nullptr;
    PLRGalleryHeaderView* header = collectionView->makeHeader(path.section);
    const bool collapsed = (path.section == 1 && m_splitUsedImages) ? m_collapseUsedSection : m_collapseHiddenSection;
    header->titleLabel()->setStringValue(titleForSection(path.section));
    header->setCollapsed(collapsed);
    header->setCollapseButtonState(collapsed ? 0 : 1);
    header->setSection(path.section);
    const qint64 count = path.section < m_shownSections.size() ? m_shownSections[path.section].size() : 0;
    header->numberLabel()->setStringValue(QStringLiteral("(%1)").arg(count));
    header->setTarget(this);
    header->setSelector([this](PLRGalleryHeaderView* sender) { galleryHeaderToggledCollapsed(sender); });
    header->relayout();
    return header;
}

void PLRGalleryViewController::galleryHeaderToggledCollapsed(PLRGalleryHeaderView* header)
{
    if (!header)
        return;
    if (header->section() == 1 && m_splitUsedImages)
        m_collapseUsedSection = !m_collapseUsedSection;
    else
        m_collapseHiddenSection = !m_collapseHiddenSection;
    // Deferred: the header that asked is recycled by the rebuild.
    QPointer<PLRGalleryViewController> self(this);
    platform::dispatchMain([self] {
        if (self)
            self->reloadGallery();
    });
}

PLRGalleryIndexPathSet PLRGalleryViewController::shouldSelectItemsAtIndexPaths(PLRGalleryCollectionView* collectionView,
                                                                              const PLRGalleryIndexPathSet& proposed)
{
    if (proposed.isEmpty())
        return proposed;
    const PLRGalleryIndexPath first = *proposed.cbegin();
    if (first.section != 0)
        return proposed;
    const qint64 c = first.item;
    const bool shift = collectionView->currentEventModifiers() & Qt::ShiftModifier;
    if (m_pivotingSelectionIndex != kNoPivot && m_pivotingSection == 0 && shift) {
        const qint64 p = m_pivotingSelectionIndex;
        PLRGalleryIndexPathSet range;
        const qint64 from = c < p ? c : p;
        const qint64 to = c < p ? p - 1 : c;
        const qint64 count = numberOfItemsInSection(collectionView, 0);
        for (qint64 item = from; item <= to && item < count; ++item)
            range.insert({0, item});
        return range;
    }
    m_pivotingSelectionIndex = c;
    m_pivotingSection = 0;
    return proposed;
}

PLRGalleryIndexPathSet PLRGalleryViewController::shouldDeselectItemsAtIndexPaths(PLRGalleryCollectionView* collectionView,
                                                                                const PLRGalleryIndexPathSet& proposed)
{
    if (collectionView->currentEventModifiers() & Qt::ControlModifier)
        return {};
    return proposed;
}

bool PLRGalleryViewController::canDragItemsAtIndexPaths(PLRGalleryCollectionView*, const QList<PLRGalleryIndexPath>&)
{
    return true;
}

QMimeData* PLRGalleryViewController::pasteboardForItemsAtIndexPaths(PLRGalleryCollectionView*,
                                                                    const QList<PLRGalleryIndexPath>& paths)
{
    QList<PLRSourceImagePtr> images;
    for (const PLRGalleryIndexPath& path : paths)
        if (PLRSourceImagePtr image = imageAtIndexPath(path))
            images.append(image);
    return images.isEmpty() ? nullptr : pasteboardForImages(images);
}

QMimeData* PLRGalleryViewController::pasteboardForImages(const QList<PLRSourceImagePtr>& images)
{
    QStringList identifiers;
    for (const PLRSourceImagePtr& image : images)
        if (image)
            identifiers.append(image->identifier());
    return PLRImageReferencePasteboard::mimeDataForIdentifiers(identifiers);
}

void PLRGalleryViewController::didChangeSelection(PLRGalleryCollectionView*)
{
    // The preview window follows the selection while it is ours.
    if (m_previewPanel && m_previewPanel->isShown()) {
        setSelectedImages();
        m_previewPanel->reloadData();
    }
}

// ---------------------------------------------------------------- preview window

void PLRGalleryViewController::togglePreviewPanel()
{
    PLRPreviewPanel::sharedPreviewPanel()->togglePreviewPanel(this);
}

bool PLRGalleryViewController::acceptsPreviewPanelControl(PLRPreviewPanel*)
{
    PLR_LOG_DEBUG(QStringLiteral("accept preview panel control"));
    return true;
}

void PLRGalleryViewController::beginPreviewPanelControl(PLRPreviewPanel* panel)
{
    PLR_LOG_DEBUG(QStringLiteral("begin preview panel control"));
    setSelectedImages();
    m_previewPanel = panel;
    panel->setPreviewDelegate(this);
    panel->setDataSource(this);
}

void PLRGalleryViewController::endPreviewPanelControl(PLRPreviewPanel*)
{
    PLR_LOG_DEBUG(QStringLiteral("end preview panel control"));
    m_previewPanel = nullptr;
}

qint64 PLRGalleryViewController::numberOfPreviewItemsInPreviewPanel(PLRPreviewPanel*)
{
    PLR_LOG_DEBUG(QStringLiteral("Returning count as %1").arg(m_selectedImages.size()));
    return m_selectedImages.size();
}

PLRSourceImagePtr PLRGalleryViewController::previewPanelPreviewItemAtIndex(PLRPreviewPanel*, qint64 index)
{
    PLR_LOG_DEBUG(QStringLiteral("asked for item number %1").arg(index));
    return (index >= 0 && index < m_selectedImages.size()) ? m_selectedImages[index] : nullptr;
}

bool PLRGalleryViewController::previewPanelHandleEvent(PLRPreviewPanel* panel, QKeyEvent* event)
{
    const int code = PLRGalleryKeys::codeForQtKey(event->key());
    if (m_selectedImages.size() != 1 || event->type() != QEvent::KeyPress || code < PLRGalleryKeys::kLeft
        || code > PLRGalleryKeys::kUp)
        return false;
    const QList<PLRGalleryIndexPath> selection = m_galleryView->sortedSelectionIndexPaths();
    if (selection.isEmpty())
        return false;
    if (PLRGalleryViewItem* item = m_galleryView->itemAtIndexPath(selection.first()))
        item->keyDown(event);
    else
        m_galleryView->keyDown(event);
    setSelectedImages();
    if (panel && panel->isShown())
        panel->reloadData();
    return true;
}

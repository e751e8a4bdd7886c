#pragma once

// The gallery of an open post: the photos of the post's source folder in up to three sections
// (all or unused photos, used photos, hidden photos), sorted and filtered by stars and colour
// labels, zoomed and selected, previewed, dragged into the layout or added by double click,
// hidden and shown again; and the building of a whole layout from the unused photos.

#include "panels/gallery/PLRDraggingDestinationScrollView.h"
#include "panels/gallery/PLRGalleryCollectionView.h"
#include "panels/gallery/PLRGalleryFilterViews.h"
#include "panels/gallery/PLRPreviewPanel.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "store/persistance-store/source/PLRSourceDirectory.h"
#include "platform/NotificationCenter.h"
#include "shell/PLRGenericPostViewController.h"

#include <QList>
#include <QPointer>
#include <QStringList>

#include <limits>

class PLRGalleryHeaderView;
class PLRGalleryViewItem;
class PLRPostManager;
class QAction;
class QMenu;
class PLRSlider;
class QStackedWidget;
class QWidgetAction;

namespace platform { class UndoManager; }
namespace platform::ui { class Button; class TextField; }

// What the source-folder error bar shows: nothing (height 0) while the folder is usable.
struct PLRGallerySourceErrorBar {
    QString title;
    QString buttonTitle;
    QString info;
    int height = 0;
    // False when the folder's location is unknown: the gallery is then left as it is.
    bool reloads = true;
};

class PLRGalleryViewController : public PLRGenericPostViewController,
                                 public PLRStarFilterDelegate,
                                 public PLRColourFilterDelegate,
                                 public PLRSourceDirectoryDelegate,
                                 public PLRGalleryCollectionViewDataSource,
                                 public PLRGalleryCollectionViewDelegate,
                                 public PLRPreviewPanelController,
                                 public PLRPreviewPanelDataSource,
                                 public PLRPreviewPanelDelegate {
    Q_OBJECT
public:
    static constexpr qint64 kNoPivot = std::numeric_limits<qint64>::max();
    static constexpr double kBaseItemSize = 100.0;
    // Bar heights of the source-folder states.
    static constexpr int kErrorBarHidden = 0;
    static constexpr int kErrorBarMissing = 80;
    static constexpr int kErrorBarNoAccess = 110;
    static constexpr int kErrorBarUnknownLocation = 125;

    explicit PLRGalleryViewController(QObject* parent = nullptr);
    ~PLRGalleryViewController() override;

    // Registers the controller with the storyboard "Main" under its class name.
    static void registerScene();

    // --- Wiring -------------------------------------------------------------------------------
    // Observes the manager's photos in use and its source folder, then rebuilds.
    void setPostManager(PLRPostManager* manager) override;
    void viewWillAppear() override;

    // --- Data (fresh lists from the folder's ordering) ------------------------------------------
    // The folder's photos under a filter code (0 all, 1 not hidden, 2 not hidden and unused,
    // 3 not hidden and used, 4 hidden) in the gallery's sort order, star and colour filter.
    QList<PLRSourceImagePtr> getFilteredAndSortedImages(qint64 code);
    QList<PLRSourceImagePtr> arrayForSection(qint64 section);
    // The photo shown at the path (as the collection was last built), or null.
    PLRSourceImagePtr imageAtIndexPath(const PLRGalleryIndexPath& path) const;
    QList<PLRSourceImagePtr> selectedImageSources() const;
    void setSelectedImages();
    const QList<PLRSourceImagePtr>& selectedImages() const { return m_selectedImages; }
    double currentZoom();
    // The filter code and header title of a section ("" for section 0).
    qint64 filterCodeForSection(qint64 section) const;
    QString titleForSection(qint64 section) const;

    // --- The one rebuild -----------------------------------------------------------------------
    // Shows the source folder's state in the error bar and, unless the folder's location is
    // unknown, reloads the gallery when asked to.
    void ensureImageStructure(bool reload);
    // The same, once, on a later turn of the main loop (for bursts of folder call-backs).
    void setNeedsImageStructure();
    // The bar for a folder's state (`hasDirectory` false: the post has no folder record).
    static PLRGallerySourceErrorBar sourceErrorBarFor(bool hasDirectory, qint64 state, bool locationExists, QString path);

    // --- Actions --------------------------------------------------------------------------------
    void imageSourceAction();
    void showSortFilterMenuAction(QWidget* sender);
    void sortTypeMenuAction(QAction* item);
    void sortOrderMenuAction(QAction* item);
    void clearFilterAction();
    void splitImageAction();
    void showHiddenImagesAction();
    void autoAddImagesAction();
    void adjustZoomAction(double value);
    void adjustZoomFromPinch(double magnification);
    void ensureSortMenu();
    void galleryHeaderToggledCollapsed(PLRGalleryHeaderView* header);
    // The preview window for the selected photos (the item's Space key).
    void togglePreviewPanel();

    // --- Changing the post (auto build, add, hide) ----------------------------------------------
    // Observer of kPLR_NOTIFICATION_AUTO_BUILD_LAYOUT: one photo alone, then two side by side,
    // over the unused photos, up to "autoLayoutNumImagesToAdd" of them.
    void autoBuildLayout(const platform::Notification& notification);
    // Adds the selected photos (an item given: its photo only) to the layout's last section.
    void performDoubleClickOnItem(PLRGalleryViewItem* item);
    void performHideOnItem(PLRGalleryViewItem* item);
    void performHideOnImages(const QList<PLRSourceImagePtr>& images);
    // Whether post-wide commands (the automatic layout) reach this gallery: the gallery shown
    // last takes them; while none is known, any gallery whose view is on screen.
    bool respondsToPostWideCommands() const;

    // The undo manager the gallery's changes are recorded in (the post's).
    platform::UndoManager* undoManager() const;

    // --- State ------------------------------------------------------------------------------------
    bool splitUsedImages() const { return m_splitUsedImages; }
    bool showHiddenImages() const { return m_showHiddenImages; }
    qint64 sortType() const { return m_sortType; }
    qint64 sortOrder() const { return m_sortOrder; }
    bool collapseUsedSection() const { return m_collapseUsedSection; }
    bool collapseHiddenSection() const { return m_collapseHiddenSection; }
    double currentZoomFactor() const { return m_currentZoomFactor; }
    qint64 pivotingSelectionIndex() const { return m_pivotingSelectionIndex; }
    qint64 pivotingSection() const { return m_pivotingSection; }

    // --- Views (made with the view) ------------------------------------------------------------
    QStackedWidget* tabView() const { return m_tabView; }
    PLRDraggingDestinationScrollView* scrollView() const { return m_scrollView; }
    PLRGalleryCollectionView* galleryView() const { return m_galleryView; }
    QWidget* sourceErrorView() const { return m_sourceErrorView; }
    int sourceErrorConstraint() const { return m_sourceErrorHeight; }
    platform::ui::TextField* sourceErrorLabel() const { return m_sourceErrorLabel; }
    platform::ui::TextField* sourceErrorInfo() const { return m_sourceErrorInfo; }
    platform::ui::Button* sourceErrorButton() const { return m_sourceErrorButton; }
    PLRSlider* zoomSlider() const { return m_zoomSlider; }
    platform::ui::Button* sortFilterButton() const { return m_sortFilterButton; }
    // A star or colour filter is on (the "Sort & Filter" button says so).
    bool isFilterActive() const;
    void updateSortFilterButton();
    QMenu* sortFilterMenu() const { return m_sortFilterMenu; }
    QAction* titleMenuItem() const { return m_titleMenuItem; }
    QAction* creationMenuItem() const { return m_creationMenuItem; }
    QAction* modifiedMenuItem() const { return m_modifiedMenuItem; }
    QAction* ascendingMenuItem() const { return m_ascendingMenuItem; }
    QAction* descendingMenuItem() const { return m_descendingMenuItem; }
    QWidgetAction* filterStarMenuItem() const { return m_filterStarMenuItem; }
    QWidgetAction* filterColourMenuItem() const { return m_filterColourMenuItem; }
    QAction* clearFilterMenuItem() const { return m_clearFilterMenuItem; }
    QAction* splitImagesMenuItem() const { return m_splitImagesMenuItem; }
    QAction* showHiddenImagesMenuItem() const { return m_showHiddenImagesMenuItem; }
    QAction* autoAddNewMenuItem() const { return m_autoAddNewMenuItem; }
    PLRStarFilterView* filterStarView() const { return m_filterStarView; }
    PLRColourFilterView* filterColourView() const { return m_filterColourView; }
    PLRPreviewPanel* previewPanel() const { return m_previewPanel; }

    // --- Filter delegates --------------------------------------------------------------------------
    void colourFilterSetFilterType(PLRColourFilterView* view, qint64 type) override;
    void starFilterSetFilterSelection(PLRStarFilterView* view, qint64 selection) override;
    void starFilterSetComparatorValue(PLRStarFilterView* view, qint64 comparator) override;

    // --- Source folder (any thread) ---------------------------------------------------------------
    void sourceDirectoryUpdatedState(PLRSourceDirectory* directory, qint64 state) override;
    void sourceDirectoryAddedNewImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;
    void sourceDirectoryUpdatedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;
    void sourceDirectoryDeletedImage(PLRSourceDirectory* directory, const PLRSourceImagePtr& image) override;

    // --- Collection ---------------------------------------------------------------------------------
    qint64 numberOfSectionsInCollectionView(PLRGalleryCollectionView* collectionView) override;
    qint64 numberOfItemsInSection(PLRGalleryCollectionView* collectionView, qint64 section) override;
    PLRGalleryViewItem* itemForRepresentedObjectAtIndexPath(PLRGalleryCollectionView* collectionView,
                                                             const PLRGalleryIndexPath& path) override;
    PLRGalleryHeaderView* viewForSupplementaryElement(PLRGalleryCollectionView* collectionView, const QString& kind,
                                                      const PLRGalleryIndexPath& path) override;
    PLRGalleryIndexPathSet shouldSelectItemsAtIndexPaths(PLRGalleryCollectionView* collectionView,
                                                         const PLRGalleryIndexPathSet& proposed) override;
    PLRGalleryIndexPathSet shouldDeselectItemsAtIndexPaths(PLRGalleryCollectionView* collectionView,
                                                           const PLRGalleryIndexPathSet& proposed) override;
    bool canDragItemsAtIndexPaths(PLRGalleryCollectionView* collectionView, const QList<PLRGalleryIndexPath>& paths) override;
    QMimeData* pasteboardForItemsAtIndexPaths(PLRGalleryCollectionView* collectionView,
                                              const QList<PLRGalleryIndexPath>& paths) override;
    void collectionViewMagnify(PLRGalleryCollectionView* collectionView, double magnification) override;
    platform::UndoManager* undoManagerForCollectionView(PLRGalleryCollectionView*) override { return undoManager(); }
    void activateSelection(PLRGalleryCollectionView*) override { performDoubleClickOnItem(nullptr); }
    void didChangeSelection(PLRGalleryCollectionView* collectionView) override;
    // The drag's data for photos: one image reference per photo, in order.
    static QMimeData* pasteboardForImages(const QList<PLRSourceImagePtr>& images);

    // --- Preview window -----------------------------------------------------------------------------
    bool acceptsPreviewPanelControl(PLRPreviewPanel* panel) override;
    void beginPreviewPanelControl(PLRPreviewPanel* panel) override;
    void endPreviewPanelControl(PLRPreviewPanel* panel) override;
    qint64 numberOfPreviewItemsInPreviewPanel(PLRPreviewPanel* panel) override;
    PLRSourceImagePtr previewPanelPreviewItemAtIndex(PLRPreviewPanel* panel, qint64 index) override;
    bool previewPanelHandleEvent(PLRPreviewPanel* panel, QKeyEvent* event) override;

signals:
    // After every rebuild of the collection.
    void galleryReloaded();

protected:
    platform::ui::View* loadView() override;
    void viewDidLoad() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSortFilterMenu();
    void buildErrorBar(QWidget* page);
    void fitSourceErrorBar();
    void setItemSize(double factor);
    void reloadGallery();
    void observeSourceDirectory(PLRSourceDirectory* directory);
    PLRSourceImagePtr resolveImage(const QString& identifier) const;
    // The layout's last section; one is made when the layout has none.
    PLRSection* targetSection();
    void postBlockWasSelected(PLRSection* section);
    void reloadItemsForUpdatedImages();
    // Flips the hidden flag of the photos not in the layout and registers the same flip as
    // its undo (so undo and redo alternate).
    void toggleHiddenOfImages(const QStringList& identifiers, const QString& actionName);

    QPointer<PLRPostManager> m_observedManager;
    QPointer<PLRSourceDirectory> m_observedDirectory;
    QMetaObject::Connection m_inUseConnection;

    QStackedWidget* m_tabView = nullptr;
    PLRDraggingDestinationScrollView* m_scrollView = nullptr;
    QPointer<PLRGalleryCollectionView> m_galleryView;   // goes with the view, which a parent may delete first
    bool m_addingPhotos = false;   // an add by double click or menu is under way
    QWidget* m_sourceErrorView = nullptr;
    int m_sourceErrorHeight = 0;
    platform::ui::TextField* m_sourceErrorLabel = nullptr;
    platform::ui::TextField* m_sourceErrorInfo = nullptr;
    platform::ui::Button* m_sourceErrorButton = nullptr;
    PLRSlider* m_zoomSlider = nullptr;
    platform::ui::Button* m_sortFilterButton = nullptr;
    QMenu* m_sortFilterMenu = nullptr;
    QAction* m_titleMenuItem = nullptr;
    QAction* m_creationMenuItem = nullptr;
    QAction* m_modifiedMenuItem = nullptr;
    QAction* m_ascendingMenuItem = nullptr;
    QAction* m_descendingMenuItem = nullptr;
    QWidgetAction* m_filterStarMenuItem = nullptr;
    QWidgetAction* m_filterColourMenuItem = nullptr;
    QAction* m_clearFilterMenuItem = nullptr;
    QAction* m_splitImagesMenuItem = nullptr;
    QAction* m_showHiddenImagesMenuItem = nullptr;
    QAction* m_autoAddNewMenuItem = nullptr;
    PLRStarFilterView* m_filterStarView = nullptr;
    PLRColourFilterView* m_filterColourView = nullptr;

    bool m_collapseUsedSection = false;
    bool m_collapseHiddenSection = false;
    double m_currentZoomFactor = 1.0;
    qint64 m_pivotingSelectionIndex = kNoPivot;
    qint64 m_pivotingSection = 0;
    QList<PLRSourceImagePtr> m_selectedImages;
    bool m_splitUsedImages = false;
    bool m_showHiddenImages = false;
    qint64 m_sortType = 0;
    qint64 m_sortOrder = 0;
    QPointer<PLRPreviewPanel> m_previewPanel;

    // The section lists the collection was last built from: the items, their counts and the
    // selection of one build all come from the same lists.
    QList<QList<PLRSourceImagePtr>> m_shownSections;
    bool m_structureQueued = false;
    QList<PLRSourceImagePtr> m_updatedImages;
};

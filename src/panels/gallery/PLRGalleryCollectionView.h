#pragma once

// The gallery's collection: sections of fixed-size photo items placed by the shared row layout
// (PLRGalleryViewLayout), with pinned section headers, multiple selection, the arrow keys and
// the drag source of the photos. It is the document view of a scroll view; only the items near
// the visible part exist (they are reused as it scrolls), so a folder of thousands of photos
// costs what a screenful costs.

#include "panels/gallery/PLRGalleryIndexPath.h"
#include "platform-ui/FocusRingFrame.h"
#include "platform-ui/View.h"
#include "shell/home/PLRCollectionViewLayout.h"

#include <QHash>
#include <QMap>
#include <QPointer>
#include <QScrollArea>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PLRGalleryCollectionView;
class PLRGalleryHeaderView;
class PLRGalleryViewItem;
class QKeyEvent;
class QMimeData;

class PLRGalleryCollectionViewDataSource {
public:
    virtual ~PLRGalleryCollectionViewDataSource() = default;
    virtual qint64 numberOfSectionsInCollectionView(PLRGalleryCollectionView*) { return 1; }
    virtual qint64 numberOfItemsInSection(PLRGalleryCollectionView* collectionView, qint64 section) = 0;
    // The item for the path, from collectionView->makeItem(path).
    virtual PLRGalleryViewItem* itemForRepresentedObjectAtIndexPath(PLRGalleryCollectionView* collectionView,
                                                                     const PLRGalleryIndexPath& path) = 0;
    // The section's header, from collectionView->makeHeader(section); null for none.
    virtual PLRGalleryHeaderView* viewForSupplementaryElement(PLRGalleryCollectionView*, const QString& kind,
                                                              const PLRGalleryIndexPath& path)
    {
        Q_UNUSED(kind); Q_UNUSED(path);
        return nullptr;
    }
};

namespace platform { class UndoManager; }

class PLRGalleryCollectionViewDelegate {
public:
    virtual ~PLRGalleryCollectionViewDelegate() = default;
    // The paths that are really to be selected / deselected of the proposal.
    virtual PLRGalleryIndexPathSet shouldSelectItemsAtIndexPaths(PLRGalleryCollectionView*, const PLRGalleryIndexPathSet& proposed)
    {
        return proposed;
    }
    virtual PLRGalleryIndexPathSet shouldDeselectItemsAtIndexPaths(PLRGalleryCollectionView*, const PLRGalleryIndexPathSet& proposed)
    {
        return proposed;
    }
    virtual void didChangeSelection(PLRGalleryCollectionView*) {}
    virtual bool canDragItemsAtIndexPaths(PLRGalleryCollectionView*, const QList<PLRGalleryIndexPath>&) { return false; }
    // The drag's data for the paths, in order; null for nothing to drag.
    virtual QMimeData* pasteboardForItemsAtIndexPaths(PLRGalleryCollectionView*, const QList<PLRGalleryIndexPath>&) { return nullptr; }
    // A pinch on a touchpad, as a magnification of the current size (1.0 = unchanged).
    virtual void collectionViewMagnify(PLRGalleryCollectionView*, double) {}
    // The undo manager that the undo and redo keys reach while the collection has the focus.
    virtual platform::UndoManager* undoManagerForCollectionView(PLRGalleryCollectionView*) { return nullptr; }
    // Return or Enter with photos selected: what a double-click on them does.
    virtual void activateSelection(PLRGalleryCollectionView*) {}
};

class PLRGalleryCollectionView : public platform::ui::View {
    Q_OBJECT
public:
    // How the selection follows a scroll to an item.
    enum class ScrollPosition { None, NearestHorizontalEdge };

    explicit PLRGalleryCollectionView(QWidget* parent = nullptr);
    ~PLRGalleryCollectionView() override;
    bool isFlipped() const override { return true; }

    // Installs a new row layout as the collection's layout (every constructor does).
    void ensureSetUp();
    PLRGalleryViewLayout* galleryLayout() const { return m_layout.get(); }

    void setDataSource(PLRGalleryCollectionViewDataSource* dataSource) { m_dataSource = dataSource; }
    void setDelegate(PLRGalleryCollectionViewDelegate* delegate) { m_delegate = delegate; }

    // The scroll area that shows this collection as its document (attached once).
    void attachToScrollArea(QScrollArea* scrollArea);
    QScrollArea* enclosingScrollArea() const { return m_scrollArea; }

    // A pooled item, or a new one; shown for the path.
    PLRGalleryViewItem* makeItem(const PLRGalleryIndexPath& path);
    // A pooled header, or a new one, for the section.
    PLRGalleryHeaderView* makeHeader(qint64 section);

    // Asks the data source again for everything and lays it out; the selection is cleared.
    void reloadData();
    // The same for one section (the counts of all sections are asked again).
    void reloadSection(qint64 section);
    // Lays the items out again (after the layout's item size changed).
    void invalidateLayout();

    qint64 numberOfSections() const { return m_counts.size(); }
    qint64 numberOfItemsInSection(qint64 section) const;

    // The item shown for the path, or null when it is not near the visible part.
    PLRGalleryViewItem* itemAtIndexPath(const PLRGalleryIndexPath& path) const;
    QList<PLRGalleryViewItem*> visibleItems() const;
    QList<PLRGalleryHeaderView*> visibleHeaders() const;
    // The header shown for a section, or null.
    PLRGalleryHeaderView* headerForSection(qint64 section) const;
    // Where the item lies in the collection (y down); empty for a path that is not shown.
    QRectF frameForItemAtIndexPath(const PLRGalleryIndexPath& path) const;
    // The path of the item under a point of the collection, if any.
    std::optional<PLRGalleryIndexPath> indexPathForItemAtPoint(const QPointF& point) const;
    // Scrolls so that the item is visible, moving as little as possible.
    void scrollToItem(const PLRGalleryIndexPath& path);
    // The visible part of the collection (y down).
    QRectF visibleRect() const;

    // Selection. These do not ask the delegate (the clicks do).
    PLRGalleryIndexPathSet selectionIndexPaths() const { return m_selection; }
    QList<PLRGalleryIndexPath> sortedSelectionIndexPaths() const { return sortedIndexPaths(m_selection); }
    void selectItems(const PLRGalleryIndexPathSet& paths, ScrollPosition position = ScrollPosition::None);
    void deselectItems(const PLRGalleryIndexPathSet& paths);
    void deselectAll();
    // The item that takes the gallery's keys (the last one selected), or null.
    PLRGalleryViewItem* firstResponderItem() const;
    // Whether the item is the one with the keyboard while the gallery has it: its photo shows
    // the focus ring. With no such photo in view the gallery shows the ring along its edges.
    bool isKeyboardPlace(const PLRGalleryViewItem* item) const;
    bool isShowingEdgeFocusRing() const;
    void makeFirstResponder(PLRGalleryViewItem* item);

    // The modifiers of the event being handled (clicks and keys set them); outside an event,
    // the keyboard's current ones.
    Qt::KeyboardModifiers currentEventModifiers() const;
    void setCurrentEventModifiers(Qt::KeyboardModifiers modifiers) { m_eventModifiers = modifiers; }
    void clearCurrentEventModifiers() { m_eventModifiers.reset(); }

    // Clicks from the items (after the items took what is theirs).
    void itemMouseDown(PLRGalleryViewItem* item, const platform::ui::MouseEvent& event);
    void mouseDown(const platform::ui::MouseEvent& event) override;
    void mouseDragged(const platform::ui::MouseEvent& event) override;
    void mouseUp(const platform::ui::MouseEvent& event) override;
    void mouseCancelled() override;

    // The arrow keys, Home, End and the page keys (and the standard handling of any other key).
    void keyDown(QKeyEvent* event);
    // Selects the first photo shown, as the keyboard's place; false when there is none.
    bool selectFirstItemForKeys();
    // Where an arrow key moves a single selection at `from`, given the item count of every
    // section and the number of columns; none when the key is no arrow key. The answer is
    // `from` itself when there is nowhere to go.
    static std::optional<PLRGalleryIndexPath> arrowTarget(int keyCode, const PLRGalleryIndexPath& from,
                                                          const QList<qint64>& counts, qint64 columns);

    // The drag that a move past the threshold starts: runs a system drag (tests replace it).
    using DragRunner = std::function<Qt::DropAction(QMimeData* data, const QImage& picture)>;
    void setDragRunner(DragRunner runner) { m_dragRunner = std::move(runner); }

signals:
    void selectionChanged();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Reached by Tab or Shift+Tab with nothing selected, the gallery selects its first photo:
    // where the keyboard is shows.
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Placed {
        PLRGalleryIndexPath path;
        QRectF frame;
    };
    struct SectionExtent {
        double headerTop = 0.0;
        double bottom = 0.0;
        bool hasHeader = false;
    };
    void prepare();
    void tile();
    void placeHeaders(const QRectF& visible);
    void recycleItem(PLRGalleryViewItem* item);
    void recycleHeader(PLRGalleryHeaderView* header);
    void recycleAll();
    void applySelectionToVisibleItems();
    // Puts the focus ring where the keyboard's place is (after focus, selection or scrolling).
    void refreshFocusRing();
    void startDrag();
    // Home, End, Page Up and Page Down (by their codes).
    static bool isPlaceKey(int keyCode);
    // Home and End select the first and last photo; the page keys move the photo with the
    // keyboard by the rows of one page, the page scrolling with it. False when there is nowhere
    // to go from (no photos; a page key with no photo selected).
    bool moveKeyboardPlace(int keyCode);
    // The photo a page key lands on: in the row nearest the wanted top, nearest the column of
    // `from`.
    std::optional<PLRGalleryIndexPath> pageTarget(const QRectF& from, double wantedTop, bool down) const;
    // Items of the placement that meet the rectangle.
    std::pair<size_t, size_t> placedRangeIn(const QRectF& rect) const;

    std::unique_ptr<PLRGalleryViewLayout> m_layout;
    PLRGalleryCollectionViewDataSource* m_dataSource = nullptr;
    PLRGalleryCollectionViewDelegate* m_delegate = nullptr;
    QPointer<QScrollArea> m_scrollArea;

    QList<qint64> m_counts;
    std::vector<Placed> m_placed;            // every item, in order (y grows)
    QHash<PLRGalleryIndexPath, size_t> m_placedIndex;
    std::vector<SectionExtent> m_extents;    // per section
    QSizeF m_contentSize;

    QMap<PLRGalleryIndexPath, PLRGalleryViewItem*> m_visible;
    QMap<qint64, PLRGalleryHeaderView*> m_visibleHeaders;
    std::vector<PLRGalleryViewItem*> m_itemPool;
    std::vector<PLRGalleryHeaderView*> m_headerPool;

    PLRGalleryIndexPathSet m_selection;
    std::optional<PLRGalleryIndexPath> m_firstResponder;
    std::optional<Qt::KeyboardModifiers> m_eventModifiers;

    // A press that may become a drag, and a selected item whose click narrows the selection
    // when the button comes up without a drag.
    std::optional<QPointF> m_pressPoint;
    std::optional<PLRGalleryIndexPathSet> m_pendingNarrowing;
    QPointer<PLRGalleryViewItem> m_pressedItem;
    bool m_dragging = false;
    DragRunner m_dragRunner;
    bool m_tiling = false;
    bool m_preparing = false;
    QPointer<platform::ui::FocusRingFrame> m_edgeFocusRing;
};

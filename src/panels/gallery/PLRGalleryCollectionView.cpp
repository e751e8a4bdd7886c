#include "panels/gallery/PLRGalleryCollectionView.h"

#include "panels/gallery/PLRGalleryHeaderView.h"
#include "panels/gallery/PLRGalleryViewController.h"
#include "panels/gallery/PLRGalleryViewItem.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QFocusEvent>
#include <QMimeData>
#include <QNativeGestureEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace platform::ui;

namespace {
constexpr double kDragThreshold = 4.0;
// Items and headers kept for reuse beyond those on screen.
constexpr size_t kMaxPooledItems = 64;
constexpr size_t kMaxPooledHeaders = 4;

// Sets the modifiers of the event being handled for the length of a scope.
class ModifiersScope {
public:
    ModifiersScope(PLRGalleryCollectionView* view, Qt::KeyboardModifiers modifiers) : m_view(view)
    {
        m_view->setCurrentEventModifiers(modifiers);
    }
    ~ModifiersScope()
    {
        if (m_view)
            m_view->clearCurrentEventModifiers();
    }
private:
    QPointer<PLRGalleryCollectionView> m_view;
};
} // namespace

PLRGalleryCollectionView::PLRGalleryCollectionView(QWidget* parent) : View(parent)
{
    ensureSetUp();
    setFocusPolicy(Qt::StrongFocus);
}

PLRGalleryCollectionView::~PLRGalleryCollectionView()
{
    // Items own their views, which are our children: let the items go first.
    for (PLRGalleryViewItem* item : std::as_const(m_visible))
        delete item;
    for (PLRGalleryViewItem* item : m_itemPool)
        delete item;
    m_visible.clear();
    m_itemPool.clear();
}

void PLRGalleryCollectionView::ensureSetUp()
{
    m_layout = std::make_unique<PLRGalleryViewLayout>();
}

void PLRGalleryCollectionView::attachToScrollArea(QScrollArea* scrollArea)
{
    if (m_scrollArea || !scrollArea)
        return;
    m_scrollArea = scrollArea;
    scrollArea->setWidgetResizable(false);
    scrollArea->setWidget(this);
    scrollArea->viewport()->installEventFilter(this);
    m_edgeFocusRing = new FocusRingFrame(scrollArea);
    prepare();
    tile();
}

bool PLRGalleryCollectionView::eventFilter(QObject* watched, QEvent* event)
{
    if (m_scrollArea && watched == m_scrollArea->viewport() && event->type() == QEvent::Resize) {
        prepare();
        tile();
    }
    return View::eventFilter(watched, event);
}

bool PLRGalleryCollectionView::event(QEvent* event)
{
    if (event->type() == QEvent::Move) {
        tile();
    } else if (event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture && m_delegate) {
            m_delegate->collectionViewMagnify(this, 1.0 + gesture->value());
            return true;
        }
    }
    return View::event(event);
}

// ---------------------------------------------------------------- items and headers

PLRGalleryViewItem* PLRGalleryCollectionView::makeItem(const PLRGalleryIndexPath& path)
{
    PLRGalleryViewItem* item = nullptr;
    if (!m_itemPool.empty()) {
        item = m_itemPool.back();
        m_itemPool.pop_back();
    } else {
        item = new PLRGalleryViewItem(this);
        item->view()->setParent(this);
    }
    item->m_collectionView = this;
    item->m_indexPath = path;
    return item;
}

PLRGalleryHeaderView* PLRGalleryCollectionView::makeHeader(qint64 section)
{
    PLRGalleryHeaderView* header = nullptr;
    if (!m_headerPool.empty()) {
        header = m_headerPool.back();
        m_headerPool.pop_back();
    } else {
        header = new PLRGalleryHeaderView(this);
    }
    header->setSection(section);
    return header;
}

void PLRGalleryCollectionView::recycleItem(PLRGalleryViewItem* item)
{
    item->m_selected = false;
    item->view()->setSelected(false);
    item->view()->hide();
    item->setImage(nullptr);   // the thumbnail and the photo's observers go with it
    if (m_itemPool.size() < kMaxPooledItems)
        m_itemPool.push_back(item);
    else
        item->deleteLater();
}

void PLRGalleryCollectionView::recycleHeader(PLRGalleryHeaderView* header)
{
    header->hide();
    header->setTarget(nullptr);
    header->setSelector({});
    if (m_headerPool.size() < kMaxPooledHeaders)
        m_headerPool.push_back(header);
    else
        header->deleteLater();
}

void PLRGalleryCollectionView::recycleAll()
{
    for (PLRGalleryViewItem* item : std::as_const(m_visible))
        recycleItem(item);
    m_visible.clear();
    for (PLRGalleryHeaderView* header : std::as_const(m_visibleHeaders))
        recycleHeader(header);
    m_visibleHeaders.clear();
}

// ---------------------------------------------------------------- layout

qint64 PLRGalleryCollectionView::numberOfItemsInSection(qint64 section) const
{
    return (section >= 0 && section < m_counts.size()) ? m_counts[section] : 0;
}

void PLRGalleryCollectionView::prepare()
{
    if (m_preparing)
        return;
    m_preparing = true;
    m_counts.clear();
    if (m_dataSource) {
        const qint64 sections = std::max<qint64>(0, m_dataSource->numberOfSectionsInCollectionView(this));
        for (qint64 section = 0; section < sections; ++section)
            m_counts.append(std::max<qint64>(0, m_dataSource->numberOfItemsInSection(this, section)));
    }
    const QSize viewportSize = m_scrollArea ? m_scrollArea->viewport()->size() : size();
    const double width = viewportSize.width();
    m_layout->prepareLayout(QSizeF(width, viewportSize.height()), m_counts);
    m_contentSize = m_layout->collectionViewContentSize();

    // The whole placement at once: every row takes its spacing from the widest row of the
    // gallery, so the items keep their places while the collection scrolls.
    const QList<PLRCollectionViewLayoutAttributes> all =
        m_layout->layoutAttributesForElementsInRect(QRectF(0, 0, std::max(1.0, width), m_contentSize.height() + 1.0));
    m_placed.clear();
    m_placedIndex.clear();
    m_extents.assign(size_t(m_counts.size()), SectionExtent{});
    for (const PLRCollectionViewLayoutAttributes& attributes : all) {
        if (attributes.section < 0 || attributes.section >= m_counts.size())
            continue;
        SectionExtent& extent = m_extents[size_t(attributes.section)];
        if (attributes.isHeader()) {
            extent.hasHeader = true;
            extent.headerTop = attributes.frame.top();
            extent.bottom = std::max(extent.bottom, attributes.frame.bottom());
            continue;
        }
        const PLRGalleryIndexPath path{attributes.section, attributes.item};
        m_placedIndex.insert(path, m_placed.size());
        m_placed.push_back({path, attributes.frame});
        extent.bottom = std::max(extent.bottom, attributes.frame.bottom());
    }
    std::stable_sort(m_placed.begin(), m_placed.end(), [](const Placed& a, const Placed& b) {
        return a.frame.top() < b.frame.top();
    });
    for (size_t i = 0; i < m_placed.size(); ++i)
        m_placedIndex[m_placed[i].path] = i;

    const int height = int(std::ceil(std::max<double>(m_contentSize.height(), viewportSize.height())));
    if (size() != QSize(int(width), height))
        resize(int(width), height);
    m_preparing = false;
}

std::pair<size_t, size_t> PLRGalleryCollectionView::placedRangeIn(const QRectF& rect) const
{
    // Rows grow downwards: the first item whose bottom reaches the rectangle, then on while
    // the tops stay above its bottom.
    auto first = std::lower_bound(m_placed.begin(), m_placed.end(), rect.top(),
                                  [](const Placed& placed, double top) { return placed.frame.bottom() < top; });
    auto last = first;
    while (last != m_placed.end() && last->frame.top() <= rect.bottom())
        ++last;
    return {size_t(first - m_placed.begin()), size_t(last - m_placed.begin())};
}

QRectF PLRGalleryCollectionView::visibleRect() const
{
    if (!m_scrollArea)
        return bounds();
    const QSize viewport = m_scrollArea->viewport()->size();
    return QRectF(QPointF(-pos().x(), -pos().y()), QSizeF(viewport)).intersected(bounds());
}

void PLRGalleryCollectionView::tile()
{
    if (m_tiling || m_preparing)
        return;
    m_tiling = true;
    const QRectF visible = visibleRect();
    const double margin = m_layout->itemSize().height() + m_layout->minimumLineSpacing();
    const QRectF wanted = visible.adjusted(0, -margin, 0, margin);
    const auto [begin, end] = placedRangeIn(wanted);

    QSet<PLRGalleryIndexPath> keep;
    for (size_t i = begin; i < end; ++i)
        keep.insert(m_placed[i].path);
    for (auto it = m_visible.begin(); it != m_visible.end();) {
        if (!keep.contains(it.key())) {
            recycleItem(it.value());
            it = m_visible.erase(it);
        } else {
            ++it;
        }
    }
    for (size_t i = begin; i < end; ++i) {
        const Placed& placed = m_placed[i];
        PLRGalleryViewItem* item = m_visible.value(placed.path);
        if (!item && m_dataSource) {
            item = m_dataSource->itemForRepresentedObjectAtIndexPath(this, placed.path);
            if (!item)
                continue;
            item->m_collectionView = this;
            item->m_indexPath = placed.path;
            m_visible.insert(placed.path, item);
            const bool selected = m_selection.contains(placed.path);
            item->m_selected = selected;
            item->view()->setSelected(selected);
        }
        if (!item)
            continue;
        const QRect frame = placed.frame.toRect();
        if (item->view()->geometry() != frame)
            item->view()->setGeometry(frame);
        if (item->view()->isHidden())
            item->view()->show();
    }
    placeHeaders(visible);
    m_tiling = false;
    refreshFocusRing();
}

void PLRGalleryCollectionView::placeHeaders(const QRectF& visible)
{
    const double height = m_layout->headerReferenceSize().height();
    for (qint64 section = 0; section < qint64(m_extents.size()); ++section) {
        const SectionExtent& extent = m_extents[size_t(section)];
        const bool shown = extent.hasHeader && height > 0.0 && extent.bottom >= visible.top()
                           && extent.headerTop <= visible.bottom();
        PLRGalleryHeaderView* header = m_visibleHeaders.value(section);
        if (!shown) {
            if (header) {
                recycleHeader(header);
                m_visibleHeaders.remove(section);
            }
            continue;
        }
        if (!header && m_dataSource) {
            header = m_dataSource->viewForSupplementaryElement(this, QString::fromLatin1(kPLRCollectionElementKindSectionHeader),
                                                               {section, 0});
            if (!header)
                continue;
            header->setSection(section);
            m_visibleHeaders.insert(section, header);
        }
        if (!header)
            continue;
        // Pinned: the header stays at the top of the visible part while its section passes.
        const double lowest = std::max(extent.headerTop, extent.bottom - height);
        const double y = std::clamp(visible.top(), extent.headerTop, lowest);
        const QRect frame(0, int(std::lround(y)), width(), int(height));
        if (header->geometry() != frame)
            header->setGeometry(frame);
        header->relayout();
        header->show();
        header->raise();
    }
}

void PLRGalleryCollectionView::reloadData()
{
    const bool hadSelection = !m_selection.isEmpty();
    m_selection.clear();
    m_firstResponder.reset();
    m_pendingNarrowing.reset();
    recycleAll();
    prepare();
    tile();
    if (hadSelection)
        emit selectionChanged();
}

void PLRGalleryCollectionView::reloadSection(qint64 section)
{
    PLRGalleryIndexPathSet kept;
    for (const PLRGalleryIndexPath& path : std::as_const(m_selection))
        if (path.section != section)
            kept.insert(path);
    const bool changed = kept.size() != m_selection.size();
    recycleAll();
    prepare();
    m_selection.clear();
    for (const PLRGalleryIndexPath& path : std::as_const(kept))
        if (path.item < numberOfItemsInSection(path.section))
            m_selection.insert(path);
    if (m_firstResponder && !m_selection.contains(*m_firstResponder))
        m_firstResponder.reset();
    tile();
    if (changed)
        emit selectionChanged();
}

void PLRGalleryCollectionView::invalidateLayout()
{
    prepare();
    tile();
}

// ---------------------------------------------------------------- queries

PLRGalleryViewItem* PLRGalleryCollectionView::itemAtIndexPath(const PLRGalleryIndexPath& path) const
{
    return m_visible.value(path);
}

QList<PLRGalleryViewItem*> PLRGalleryCollectionView::visibleItems() const
{
    return m_visible.values();
}

QList<PLRGalleryHeaderView*> PLRGalleryCollectionView::visibleHeaders() const
{
    return m_visibleHeaders.values();
}

PLRGalleryHeaderView* PLRGalleryCollectionView::headerForSection(qint64 section) const
{
    return m_visibleHeaders.value(section);
}

QRectF PLRGalleryCollectionView::frameForItemAtIndexPath(const PLRGalleryIndexPath& path) const
{
    const auto it = m_placedIndex.constFind(path);
    return it == m_placedIndex.cend() ? QRectF() : m_placed[it.value()].frame;
}

std::optional<PLRGalleryIndexPath> PLRGalleryCollectionView::indexPathForItemAtPoint(const QPointF& point) const
{
    const auto [begin, end] = placedRangeIn(QRectF(point, QSizeF(0, 0)));
    for (size_t i = begin; i < end; ++i)
        if (m_placed[i].frame.contains(point))
            return m_placed[i].path;
    return std::nullopt;
}

void PLRGalleryCollectionView::scrollToItem(const PLRGalleryIndexPath& path)
{
    const QRectF frame = frameForItemAtIndexPath(path);
    if (frame.isEmpty() || !m_scrollArea)
        return;
    // Headers pinned at the top cover the first rows; keep the item clear of them.
    const double header = m_layout->headerReferenceSize().height();
    const QRectF visible = visibleRect();
    QScrollBar* bar = m_scrollArea->verticalScrollBar();
    if (frame.top() - header < visible.top())
        bar->setValue(int(std::floor(frame.top() - header)));
    else if (frame.bottom() > visible.bottom())
        bar->setValue(int(std::ceil(frame.bottom() - visible.height())));
    tile();
}

// ---------------------------------------------------------------- selection

void PLRGalleryCollectionView::applySelectionToVisibleItems()
{
    for (auto it = m_visible.cbegin(); it != m_visible.cend(); ++it) {
        const bool selected = m_selection.contains(it.key());
        if (it.value()->m_selected != selected) {
            it.value()->m_selected = selected;
            it.value()->view()->setSelected(selected);
        }
    }
    if (m_firstResponder && !m_selection.contains(*m_firstResponder))
        m_firstResponder.reset();
    refreshFocusRing();
}

bool PLRGalleryCollectionView::isKeyboardPlace(const PLRGalleryViewItem* item) const
{
    return item && hasFocus() && isEnabled() && m_firstResponder && m_selection.contains(*m_firstResponder)
        && m_visible.value(*m_firstResponder) == item;
}

bool PLRGalleryCollectionView::isShowingEdgeFocusRing() const
{
    return m_edgeFocusRing && m_edgeFocusRing->isVisible();
}

void PLRGalleryCollectionView::refreshFocusRing()
{
    for (PLRGalleryViewItem* item : std::as_const(m_visible))
        item->view()->focusRingChanged();
    if (!m_edgeFocusRing)
        return;
    // No photo with the keyboard, or it is scrolled out of sight: the gallery's own edges.
    const bool focused = hasFocus() && isEnabled() && isVisible();
    const bool placeInView = m_firstResponder && m_selection.contains(*m_firstResponder)
        && frameForItemAtIndexPath(*m_firstResponder).intersects(visibleRect());
    m_edgeFocusRing->setShown(focused && !placeInView);
}

void PLRGalleryCollectionView::focusOutEvent(QFocusEvent* event)
{
    View::focusOutEvent(event);
    refreshFocusRing();
}

void PLRGalleryCollectionView::changeEvent(QEvent* event)
{
    View::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        refreshFocusRing();
}

void PLRGalleryCollectionView::selectItems(const PLRGalleryIndexPathSet& paths, ScrollPosition position)
{
    PLRGalleryIndexPathSet valid;
    for (const PLRGalleryIndexPath& path : paths)
        if (path.section >= 0 && path.item >= 0 && path.item < numberOfItemsInSection(path.section))
            valid.insert(path);
    if (valid.isEmpty())
        return;
    m_selection.unite(valid);
    applySelectionToVisibleItems();
    const PLRGalleryIndexPath last = sortedIndexPaths(valid).constLast();
    if (position == ScrollPosition::NearestHorizontalEdge)
        scrollToItem(last);
    if (!m_firstResponder || !valid.contains(*m_firstResponder))
        m_firstResponder = last;
    emit selectionChanged();
    if (m_delegate)
        m_delegate->didChangeSelection(this);
}

void PLRGalleryCollectionView::deselectItems(const PLRGalleryIndexPathSet& paths)
{
    bool changed = false;
    for (const PLRGalleryIndexPath& path : paths)
        changed |= m_selection.remove(path);
    if (!changed)
        return;
    applySelectionToVisibleItems();
    emit selectionChanged();
    if (m_delegate)
        m_delegate->didChangeSelection(this);
}

void PLRGalleryCollectionView::deselectAll()
{
    deselectItems(m_selection);
}

PLRGalleryViewItem* PLRGalleryCollectionView::firstResponderItem() const
{
    return m_firstResponder ? m_visible.value(*m_firstResponder) : nullptr;
}

void PLRGalleryCollectionView::makeFirstResponder(PLRGalleryViewItem* item)
{
    if (!item)
        return;
    m_firstResponder = item->indexPath();
    if (!hasFocus())
        setFocus(Qt::OtherFocusReason);
    refreshFocusRing();
}

Qt::KeyboardModifiers PLRGalleryCollectionView::currentEventModifiers() const
{
    return m_eventModifiers.value_or(QGuiApplication::keyboardModifiers());
}

// ---------------------------------------------------------------- clicks and drags

void PLRGalleryCollectionView::itemMouseDown(PLRGalleryViewItem* item, const MouseEvent& event)
{
    if (!item)
        return;
    ModifiersScope scope(this, event.modifiers);
    setFocus(Qt::MouseFocusReason);
    const PLRGalleryIndexPath path = item->indexPath();
    const bool command = event.modifiers & Qt::ControlModifier;
    const bool shift = event.modifiers & Qt::ShiftModifier;
    const bool wasSelected = m_selection.contains(path);
    m_pendingNarrowing.reset();

    auto ask = [this](bool select, const PLRGalleryIndexPathSet& proposed) {
        if (!m_delegate || proposed.isEmpty())
            return proposed;
        return select ? m_delegate->shouldSelectItemsAtIndexPaths(this, proposed)
                      : m_delegate->shouldDeselectItemsAtIndexPaths(this, proposed);
    };
    if (command && wasSelected) {
        deselectItems(ask(false, {path}));
    } else if (command || shift) {
        const PLRGalleryIndexPathSet answer = ask(true, {path});
        selectItems(answer);
        if (answer.contains(path))
            m_firstResponder = path;
    } else if (wasSelected && m_selection.size() > 1) {
        // The selection may be about to be dragged: it narrows to this item only when the
        // button comes up where it went down.
        m_pendingNarrowing = ask(true, {path});
        m_firstResponder = path;
    } else {
        PLRGalleryIndexPathSet others = m_selection;
        others.remove(path);
        deselectItems(ask(false, others));
        const PLRGalleryIndexPathSet answer = ask(true, {path});
        selectItems(answer);
        if (answer.contains(path))
            m_firstResponder = path;
    }
    m_pressPoint = event.locationIn(this);
    m_pressedItem = item;
    m_dragging = false;
    refreshFocusRing();
}

void PLRGalleryCollectionView::mouseDown(const MouseEvent& event)
{
    // A click on the background clears the selection (as far as the delegate lets it).
    ModifiersScope scope(this, event.modifiers);
    setFocus(Qt::MouseFocusReason);
    m_pressPoint.reset();
    m_pendingNarrowing.reset();
    if (event.modifiers & (Qt::ControlModifier | Qt::ShiftModifier))
        return;
    PLRGalleryIndexPathSet proposed = m_selection;
    if (m_delegate && !proposed.isEmpty())
        proposed = m_delegate->shouldDeselectItemsAtIndexPaths(this, proposed);
    deselectItems(proposed);
}

void PLRGalleryCollectionView::mouseDragged(const MouseEvent& event)
{
    if (!m_pressPoint || m_dragging)
        return;
    const QPointF delta = event.locationIn(this) - *m_pressPoint;
    if (std::hypot(delta.x(), delta.y()) < kDragThreshold)
        return;
    m_pendingNarrowing.reset();
    const QList<PLRGalleryIndexPath> paths = sortedSelectionIndexPaths();
    if (paths.isEmpty() || !m_delegate || !m_delegate->canDragItemsAtIndexPaths(this, paths))
        return;
    startDrag();
}

void PLRGalleryCollectionView::mouseUp(const MouseEvent& event)
{
    ModifiersScope scope(this, event.modifiers);
    if (m_pendingNarrowing && !m_dragging) {
        const PLRGalleryIndexPathSet kept = *m_pendingNarrowing;
        m_pendingNarrowing.reset();
        PLRGalleryIndexPathSet others = m_selection;
        others.subtract(kept);
        if (m_delegate && !others.isEmpty())
            others = m_delegate->shouldDeselectItemsAtIndexPaths(this, others);
        deselectItems(others);
        selectItems(kept);
    }
    m_pressPoint.reset();
    m_dragging = false;
}

void PLRGalleryCollectionView::mouseCancelled()
{
    // No release comes (a drag took over, a pop-up or a dialog took it): a selection that was
    // to narrow on the release stays as it is, and no drag starts from this press.
    m_pendingNarrowing.reset();
    m_pressPoint.reset();
    m_dragging = false;
}

void PLRGalleryCollectionView::startDrag()
{
    const QList<PLRGalleryIndexPath> paths = sortedSelectionIndexPaths();
    QMimeData* mime = m_delegate ? m_delegate->pasteboardForItemsAtIndexPaths(this, paths) : nullptr;
    if (!mime)
        return;
    m_dragging = true;
    QImage picture;
    if (m_pressedItem && !m_pressedItem->previewBlob().isNull())
        picture = m_pressedItem->previewBlob().scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPointer<PLRGalleryCollectionView> self(this);
    if (m_dragRunner) {
        m_dragRunner(mime, picture);
    } else {
        auto* drag = new QDrag(this);
        drag->setMimeData(mime);
        if (!picture.isNull()) {
            drag->setPixmap(QPixmap::fromImage(picture));
            drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
        }
        // Within the application the photos move into the layout.
        drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    }
    if (!self)
        return;
    m_pressPoint.reset();
    m_pendingNarrowing.reset();
    m_dragging = false;
}

// ---------------------------------------------------------------- keys

void PLRGalleryCollectionView::keyPressEvent(QKeyEvent* event)
{
    // A modifier alone is no key press of its own: it must not disturb the selection that a
    // click with it is about to extend.
    if (PLRGalleryKeys::isModifierKey(event->key())) {
        event->ignore();
        return;
    }
    // Undo and redo reach the post's changes from here too (a hide made with H, above all).
    const bool undoKey = event->matches(QKeySequence::Undo);
    if (undoKey || event->matches(QKeySequence::Redo)) {
        platform::UndoManager* undo = m_delegate ? m_delegate->undoManagerForCollectionView(this) : nullptr;
        if (!undo) {
            event->ignore();
            return;
        }
        if (undoKey && undo->canUndo())
            undo->undo();
        else if (!undoKey && undo->canRedo())
            undo->redo();
        event->accept();
        return;
    }
    // Return adds the selected photos, as a double-click on them does.
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (plain && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        if (m_selection.isEmpty() || !m_delegate) {
            event->ignore();
            return;
        }
        event->accept();
        if (!event->isAutoRepeat())
            m_delegate->activateSelection(this);
        return;
    }
    ModifiersScope scope(this, event->modifiers());
    // Home, End and the page keys move the keyboard's place through the whole collection: they
    // need no item of their own (the one with the keyboard may be scrolled out of sight).
    if (isPlaceKey(PLRGalleryKeys::codeForQtKey(event->key()))) {
        keyDown(event);
        return;
    }
    if (m_firstResponder && m_selection.contains(*m_firstResponder)) {
        PLRGalleryViewItem* item = m_visible.value(*m_firstResponder);
        if (!item) {
            scrollToItem(*m_firstResponder);
            item = m_visible.value(*m_firstResponder);
        }
        if (item) {
            item->keyDown(event);
            return;
        }
    }
    keyDown(event);
}

void PLRGalleryCollectionView::keyDown(QKeyEvent* event)
{
    const int code = PLRGalleryKeys::codeForQtKey(event->key());
    PLR_LOG_DEBUG(QStringLiteral("Key code %1").arg(code >= 0 ? code : event->key()));
    const bool arrow = code == PLRGalleryKeys::kLeft || code == PLRGalleryKeys::kRight || code == PLRGalleryKeys::kUp
        || code == PLRGalleryKeys::kDown;
    if (isPlaceKey(code)) {
        const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
        if (plain && moveKeyboardPlace(code))
            event->accept();
        else
            event->ignore();   // the scroll view's own handling
        return;
    }
    if (m_selection.isEmpty() && arrow && selectFirstItemForKeys()) {
        // Nothing selected yet: an arrow starts at the first photo shown.
        event->accept();
        return;
    }
    if (m_selection.size() != 1 || !arrow) {
        event->ignore();   // the scroll view's own handling
        return;
    }
    const PLRGalleryIndexPath from = *m_selection.cbegin();
    deselectAll();
    const std::optional<PLRGalleryIndexPath> target = arrowTarget(code, from, m_counts, m_layout->currentItemWidth());
    if (!target) {
        event->ignore();
        return;
    }
    selectItems({*target}, ScrollPosition::NearestHorizontalEdge);
    m_firstResponder = *target;
    refreshFocusRing();
    event->accept();
}

bool PLRGalleryCollectionView::selectFirstItemForKeys()
{
    for (qint64 section = 0; section < m_counts.size(); ++section) {
        if (m_counts[section] <= 0)
            continue;
        const PLRGalleryIndexPath first{section, 0};
        selectItems({first}, ScrollPosition::NearestHorizontalEdge);
        m_firstResponder = first;
        refreshFocusRing();
        return true;
    }
    return false;
}

bool PLRGalleryCollectionView::isPlaceKey(int keyCode)
{
    return keyCode == PLRGalleryKeys::kHome || keyCode == PLRGalleryKeys::kEnd || keyCode == PLRGalleryKeys::kPageUp
        || keyCode == PLRGalleryKeys::kPageDown;
}

bool PLRGalleryCollectionView::moveKeyboardPlace(int keyCode)
{
    if (m_placed.empty())
        return false;
    std::optional<PLRGalleryIndexPath> from;
    if (m_firstResponder && m_selection.contains(*m_firstResponder))
        from = m_firstResponder;
    else if (!m_selection.isEmpty())
        from = sortedSelectionIndexPaths().constLast();
    std::optional<PLRGalleryIndexPath> target;
    double scrollBy = 0.0;
    if (keyCode == PLRGalleryKeys::kHome) {
        target = m_placed.front().path;
    } else if (keyCode == PLRGalleryKeys::kEnd) {
        target = m_placed.back().path;
    } else {
        // Without a photo that has the keyboard, the page keys scroll as they do anywhere.
        if (!from)
            return false;
        const auto at = m_placedIndex.constFind(*from);
        if (at == m_placedIndex.cend())
            return false;
        const QRectF start = m_placed[at.value()].frame;
        const double pitch = m_layout->itemSize().height() + m_layout->minimumLineSpacing();
        const double header = m_layout->headerReferenceSize().height();
        // A page is the whole rows the gallery shows below a pinned header.
        const double rows = std::max(1.0, std::floor((visibleRect().height() - header + m_layout->minimumLineSpacing()) / pitch));
        const bool down = keyCode == PLRGalleryKeys::kPageDown;
        const double wantedTop = start.top() + (down ? rows * pitch : -rows * pitch);
        target = pageTarget(start, wantedTop, down);
        if (target)
            scrollBy = frameForItemAtIndexPath(*target).top() - start.top();
    }
    if (!target)
        return false;
    PLRGalleryIndexPathSet others = m_selection;
    others.remove(*target);
    deselectItems(others);
    // The page moves with the keyboard's place, which keeps its place on screen where it can.
    if (scrollBy != 0.0 && m_scrollArea) {
        QScrollBar* bar = m_scrollArea->verticalScrollBar();
        bar->setValue(bar->value() + int(std::lround(scrollBy)));
        tile();
    }
    selectItems({*target}, ScrollPosition::NearestHorizontalEdge);
    m_firstResponder = *target;
    refreshFocusRing();
    return true;
}

std::optional<PLRGalleryIndexPath> PLRGalleryCollectionView::pageTarget(const QRectF& from, double wantedTop, bool down) const
{
    // The row whose top is nearest the wanted top (the last or first row past the ends), then
    // the photo of that row nearest the column the keyboard was in.
    double rowTop = m_placed.front().frame.top();
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const Placed& placed : m_placed) {
        const double distance = std::abs(placed.frame.top() - wantedTop);
        if (distance < bestDistance) {
            bestDistance = distance;
            rowTop = placed.frame.top();
        }
    }
    if (down && wantedTop > m_placed.back().frame.top())
        rowTop = m_placed.back().frame.top();
    std::optional<PLRGalleryIndexPath> best;
    double bestOffset = std::numeric_limits<double>::infinity();
    for (const Placed& placed : m_placed) {
        if (placed.frame.top() != rowTop)
            continue;
        const double offset = std::abs(placed.frame.center().x() - from.center().x());
        if (offset < bestOffset) {
            bestOffset = offset;
            best = placed.path;
        }
    }
    // Past the last row, the last photo; before the first, the first.
    if (down && wantedTop > m_placed.back().frame.top())
        best = m_placed.back().path;
    if (!down && wantedTop < m_placed.front().frame.top())
        best = m_placed.front().path;
    return best;
}

void PLRGalleryCollectionView::focusInEvent(QFocusEvent* event)
{
    View::focusInEvent(event);
    const bool byKeyboard = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    if (byKeyboard && m_selection.isEmpty())
        selectFirstItemForKeys();
    refreshFocusRing();
}

std::optional<PLRGalleryIndexPath> PLRGalleryCollectionView::arrowTarget(int keyCode, const PLRGalleryIndexPath& from,
                                                                         const QList<qint64>& counts, qint64 columns)
{
    const qint64 S = counts.size();
    const qint64 s = from.section;
    const qint64 i = from.item;
    if (s < 0 || s >= S)
        return std::nullopt;
    const qint64 N = counts[s];
    const qint64 A = columns;
    auto countOf = [&](qint64 section) { return (section >= 0 && section < S) ? counts[section] : 0; };
    // A target that does not exist (an empty or collapsed section) keeps the selection.
    auto valid = [&](PLRGalleryIndexPath target) {
        return (target.item >= 0 && target.item < countOf(target.section)) ? target : from;
    };
    switch (keyCode) {
    case PLRGalleryKeys::kLeft:
        if (i > 0)
            return valid({s, i - 1});
        if (s > 0)
            return valid({s - 1, countOf(s - 1) - 1});
        return valid({0, 0});
    case PLRGalleryKeys::kRight:
        if (i == N - 1)
            return s == S - 1 ? from : valid({s + 1, 0});
        return valid({s, i + 1});
    case PLRGalleryKeys::kDown: {
        if (A <= 0)
            return from;
        if (i + A < N)
            return valid({s, i + A});
        if (s == S - 1)
            return from;
        const qint64 col = i % A;
        const qint64 M = countOf(s + 1);
        return M > col ? valid({s + 1, col}) : from;
    }
    case PLRGalleryKeys::kUp: {
        if (A <= 0)
            return from;
        if (i - A >= 0)
            return valid({s, i - A});
        if (s == 0)
            return valid({0, i});
        const qint64 col = i % A;
        const qint64 M = countOf(s - 1);
        const qint64 r = M % A;
        const qint64 b = M - r;
        if (M > col)
            return r <= col ? valid({s - 1, std::max<qint64>(b - A + col, 0)}) : valid({s - 1, b + col});
        return from;
    }
    default:
        return std::nullopt;
    }
}

#include "shell/home/PLRCollectionView.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>

namespace {
// The document view of a collection: flipped, so item frames are Qt geometry as they stand.
class DocumentView : public platform::ui::View {
public:
    using View::View;
    bool isFlipped() const override { return true; }
};
} // namespace

PLRCollectionViewItem::PLRCollectionViewItem(QObject* parent) : QObject(parent) {}

PLRCollectionViewItem::~PLRCollectionViewItem()
{
    delete m_view.data();
}

void PLRCollectionViewItem::setView(platform::ui::View* view)
{
    if (m_view == view)
        return;
    delete m_view.data();
    m_view = view;
}

PLRCollectionView::PLRCollectionView(QWidget* parent) : QScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_document = new DocumentView;
    m_document->setAutoFillBackground(false);
    setWidget(m_document);
    viewport()->setAutoFillBackground(false);
    m_layout = std::make_unique<PLRCollectionViewFlowLayout>();
    setFocusPolicy(Qt::StrongFocus);
    m_edgeFocusRing = new platform::ui::FocusRingFrame(this);
}

PLRCollectionView::~PLRCollectionView()
{
    // Items go before the document view that holds their views.
    const auto visible = m_visible;
    for (PLRCollectionViewItem* item : visible)
        delete item;
    for (auto& pooled : m_pool)
        for (PLRCollectionViewItem* item : pooled)
            delete item;
}

void PLRCollectionView::setCollectionViewLayout(std::unique_ptr<PLRCollectionViewFlowLayout> layout)
{
    m_layout = layout ? std::move(layout) : std::make_unique<PLRCollectionViewFlowLayout>();
    invalidateLayout();
}

void PLRCollectionView::registerItemFactory(const QString& identifier, ItemFactory factory)
{
    m_factories.insert(identifier, std::move(factory));
}

PLRCollectionViewItem* PLRCollectionView::makeItem(const QString& identifier, qint64 index)
{
    PLRCollectionViewItem* item = nullptr;
    // While data reloads, the item that showed this index stays where it is (no hide and show,
    // no repaint when what it shows is the same); then one that was on screen elsewhere.
    auto inPlace = m_reloading.find(index);
    if (inPlace == m_reloading.end() || inPlace.value()->identifier() != identifier)
        inPlace = std::find_if(m_reloading.begin(), m_reloading.end(),
                               [&identifier](const PLRCollectionViewItem* candidate) { return candidate->identifier() == identifier; });
    auto pool = m_pool.find(identifier);
    if (inPlace != m_reloading.end()) {
        item = inPlace.value();
        m_reloading.erase(inPlace);
        item->prepareForReuse();
    } else if (pool != m_pool.end() && !pool->empty()) {
        item = pool->back();
        pool->pop_back();
        item->prepareForReuse();
    } else {
        const auto factory = m_factories.constFind(identifier);
        if (factory == m_factories.cend() || !*factory)
            return nullptr;
        item = (*factory)();
        if (!item)
            return nullptr;
        item->setParent(this);
        item->m_identifier = identifier;
        item->m_collectionView = this;
    }
    item->m_index = index;
    return item;
}

void PLRCollectionView::reloadData()
{
    // The items on screen are asked for again; each is handed back where it was when its index
    // is still shown (makeItem), and the rest go to the pool.
    m_reloading = std::exchange(m_visible, {});
    m_count = m_dataSource ? std::max<qint64>(0, m_dataSource->numberOfItems(this, 0)) : 0;
    if (m_selected >= m_count)
        m_selected = -1;
    prepareLayout();
    tile();
    const auto left = std::exchange(m_reloading, {});
    for (PLRCollectionViewItem* item : left)
        pool(item);
}

void PLRCollectionView::invalidateLayout()
{
    prepareLayout();
    // Items keep their indexes; only their places change.
    for (auto it = m_visible.begin(); it != m_visible.end(); ++it)
        if (it.value()->view())
            it.value()->view()->setGeometry(frameForItemAtIndex(it.key()).toRect());
    tile();
}

void PLRCollectionView::prepareLayout()
{
    const QSizeF size = viewport()->size();
    m_layout->prepareLayout(size, {m_count});
    const QSizeF content = m_layout->collectionViewContentSize();
    const bool sideways = m_layout->scrollDirection() == PLRCollectionViewFlowLayout::ScrollDirection::Horizontal;
    const double width = sideways ? std::max(content.width(), size.width()) : size.width();
    const double height = sideways ? size.height() : std::max(content.height(), size.height());
    m_document->resize(int(std::ceil(width)), int(std::ceil(height)));

    m_attributes.clear();
    m_attributes.resize(m_count);
    const QList<PLRCollectionViewLayoutAttributes> all
        = m_layout->layoutAttributesForElementsInRect(QRectF(QPointF(0, 0), QSizeF(std::max(width, content.width()), std::max(height, content.height()))));
    for (const PLRCollectionViewLayoutAttributes& attributes : all)
        if (!attributes.isHeader() && attributes.item >= 0 && attributes.item < m_count)
            m_attributes[attributes.item] = attributes;
}

QRectF PLRCollectionView::frameForItemAtIndex(qint64 index) const
{
    if (index < 0 || index >= m_attributes.size())
        return {};
    return m_attributes[index].frame;
}

QRectF PLRCollectionView::visibleRect() const
{
    return QRectF(horizontalScrollBar()->value(), verticalScrollBar()->value(), viewport()->width(), viewport()->height());
}

void PLRCollectionView::tile()
{
    if (m_tiling)
        return;
    m_tiling = true;
    // Half a screen above and below is kept ready for scrolling.
    const QRectF visible = visibleRect();
    const QRectF wanted = visible.adjusted(-visible.width() * 0.5, -visible.height() * 0.5, visible.width() * 0.5,
                                           visible.height() * 0.5);
    QList<qint64> needed;
    for (qint64 i = 0; i < m_attributes.size(); ++i) {
        const QRectF& frame = m_attributes[i].frame;
        if (frame.intersects(wanted) || (frame.isEmpty() && wanted.contains(frame.topLeft())))
            needed.append(i);
    }
    const auto shown = m_visible.keys();
    for (qint64 index : shown)
        if (!needed.contains(index))
            recycle(index);
    for (qint64 index : needed) {
        if (m_visible.contains(index) || !m_dataSource)
            continue;
        PLRCollectionViewItem* item = m_dataSource->itemForRepresentedObjectAtIndex(this, index);
        if (!item || !item->view())
            continue;
        item->m_index = index;
        m_visible.insert(index, item);
        platform::ui::View* view = item->view();
        if (view->parentWidget() != m_document)
            view->setParent(m_document);
        view->setGeometry(m_attributes[index].frame.toRect());
        item->setSelected(index == m_selected);
        view->show();
    }
    m_tiling = false;
    refreshFocusRing();
}

PLRCollectionView* PLRCollectionView::enclosing(const QWidget* view)
{
    for (QWidget* w = view ? view->parentWidget() : nullptr; w; w = w->parentWidget())
        if (auto* collection = qobject_cast<PLRCollectionView*>(w))
            return collection;
    return nullptr;
}

bool PLRCollectionView::isKeyboardPlace(const QWidget* itemView) const
{
    if (!itemView || m_selected < 0 || !hasFocus() || !isEnabled())
        return false;
    const PLRCollectionViewItem* item = itemAtIndex(m_selected);
    return item && item->view() == itemView;
}

bool PLRCollectionView::isShowingEdgeFocusRing() const
{
    return m_edgeFocusRing && m_edgeFocusRing->isVisible();
}

void PLRCollectionView::refreshFocusRing()
{
    for (PLRCollectionViewItem* item : std::as_const(m_visible))
        if (auto* view = item->view())
            view->focusRingChanged();
    // Nothing picked, or the picked item scrolled out of sight: the collection's own edges.
    const bool focused = hasFocus() && isEnabled() && isVisible();
    const bool placeInView = m_selected >= 0 && frameForItemAtIndex(m_selected).intersects(visibleRect());
    m_edgeFocusRing->setShown(focused && !placeInView);
}

void PLRCollectionView::recycle(qint64 index)
{
    if (PLRCollectionViewItem* item = m_visible.take(index))
        pool(item);
}

void PLRCollectionView::pool(PLRCollectionViewItem* item)
{
    if (item->view())
        item->view()->hide();
    item->m_index = -1;
    item->setSelected(false);
    m_pool[item->identifier()].push_back(item);
}

PLRCollectionViewItem* PLRCollectionView::itemAtIndex(qint64 index) const
{
    return m_visible.value(index, nullptr);
}

QList<PLRCollectionViewItem*> PLRCollectionView::visibleItems() const
{
    return m_visible.values();
}

void PLRCollectionView::scrollToItem(qint64 index)
{
    const QRectF frame = frameForItemAtIndex(index);
    if (frame.isNull())
        return;
    ensureVisible(int(frame.center().x()), int(frame.center().y()), int(frame.width() / 2), int(frame.height() / 2));
}

void PLRCollectionView::selectItem(qint64 index)
{
    if (index < 0 || index >= m_count || index == m_selected)
        return;
    if (m_selected >= 0)
        deselectAll();
    m_selected = index;
    if (PLRCollectionViewItem* item = itemAtIndex(index))
        item->setSelected(true);
    refreshFocusRing();
    if (m_delegate)
        m_delegate->didSelectItemsAtIndexes(this, {index});
}

void PLRCollectionView::deselectAll()
{
    if (m_selected < 0)
        return;
    const qint64 old = m_selected;
    m_selected = -1;
    if (PLRCollectionViewItem* item = itemAtIndex(old))
        item->setSelected(false);
    refreshFocusRing();
    if (m_delegate)
        m_delegate->didDeselectItemsAtIndexes(this, {old});
}

QList<qint64> PLRCollectionView::selectionIndexes() const
{
    return m_selected >= 0 ? QList<qint64>{m_selected} : QList<qint64>{};
}

void PLRCollectionView::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    const QRectF bounds(QPointF(0, 0), QSizeF(viewport()->size()));
    emit frameChanged();
    if (m_layout->shouldInvalidateLayoutForBoundsChange(bounds) || bounds.size() != m_layout->collectionSize())
        invalidateLayout();
}

qint64 PLRCollectionView::itemsPerRow() const
{
    if (m_attributes.isEmpty())
        return 1;
    const bool sideways = m_layout->scrollDirection() == PLRCollectionViewFlowLayout::ScrollDirection::Horizontal;
    const QRectF first = m_attributes.first().frame;
    qint64 count = 0;
    for (const PLRCollectionViewLayoutAttributes& attributes : m_attributes) {
        if (sideways ? attributes.frame.x() != first.x() : attributes.frame.y() != first.y())
            break;
        ++count;
    }
    return std::max<qint64>(1, count);
}

void PLRCollectionView::moveSelection(int key)
{
    if (m_count <= 0)
        return;
    if (m_selected < 0) {
        selectItem(0);
        scrollToItem(0);
        return;
    }
    const bool sideways = m_layout->scrollDirection() == PLRCollectionViewFlowLayout::ScrollDirection::Horizontal;
    const qint64 row = itemsPerRow();
    qint64 target = m_selected;
    switch (key) {
    case Qt::Key_Left: target = sideways ? m_selected - row : m_selected - 1; break;
    case Qt::Key_Right: target = sideways ? m_selected + row : m_selected + 1; break;
    case Qt::Key_Up: target = sideways ? m_selected - 1 : m_selected - row; break;
    case Qt::Key_Down:
        target = sideways ? m_selected + 1 : m_selected + row;
        // Down from a row above a shorter last row lands on its last item.
        if (!sideways && target >= m_count && m_selected / row < (m_count - 1) / row)
            target = m_count - 1;
        break;
    default: return;
    }
    if (target < 0 || target >= m_count)
        return;
    selectItem(target);
    scrollToItem(target);
}

void PLRCollectionView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_F10 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier && m_selected >= 0
        && m_delegate && !event->isAutoRepeat()) {
        event->accept();
        m_delegate->showMenuForItemAtIndex(this, m_selected);
        return;
    }
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            moveSelection(event->key());
            event->accept();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_selected >= 0 && m_delegate && !event->isAutoRepeat()) {
                event->accept();
                m_delegate->activateItemAtIndex(this, m_selected);
                return;
            }
            break;
        case Qt::Key_Menu:
            if (m_selected >= 0 && m_delegate && !event->isAutoRepeat()) {
                event->accept();
                m_delegate->showMenuForItemAtIndex(this, m_selected);
                return;
            }
            break;
        default:
            break;
        }
    }
    QScrollArea::keyPressEvent(event);
}

void PLRCollectionView::focusInEvent(QFocusEvent* event)
{
    QScrollArea::focusInEvent(event);
    const bool byKeyboard = event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
    if (byKeyboard && m_selected < 0 && m_count > 0) {
        selectItem(0);
        scrollToItem(0);
    }
    refreshFocusRing();
}

void PLRCollectionView::focusOutEvent(QFocusEvent* event)
{
    QScrollArea::focusOutEvent(event);
    refreshFocusRing();
}

void PLRCollectionView::changeEvent(QEvent* event)
{
    QScrollArea::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        refreshFocusRing();
}

void PLRCollectionView::scrollContentsBy(int dx, int dy)
{
    QScrollArea::scrollContentsBy(dx, dy);
    tile();
    // The tiles moved under a pointer at rest: the one now under it is hovered, no other.
    platform::ui::dispatch::refreshTracking(window());
}

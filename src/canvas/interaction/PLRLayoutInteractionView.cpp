#include "canvas/interaction/PLRLayoutInteractionView.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "canvas/interaction/PLRLayoutBlockInteractionHandler.h"
#include "canvas/interaction/PLRLayoutDocumentView.h"
#include "canvas/interaction/PLRLayoutInteraction.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"
#include "store/persistance-store/source/PLRImagesDistinctionVerifier.h"
#include "platform/Dispatch.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"
#include "platform-ui/Color.h"
#include "store/session/PLRPostManager.h"

namespace {

const PLRBlockView* leafViewAt(const QList<PLRBlockView*>& views, const QPointF& point)
{
    for (const PLRBlockView* view : views) {
        if (!view->frameInLayoutView().contains(point))
            continue;
        if (view->blockKind() == plr::kBlockKindContainer) {
            if (const PLRBlockView* inner = leafViewAt(view->subBlocks(), point))
                return inner;
            continue;
        }
        return view;
    }
    return nullptr;
}

void forEachBlockView(const QList<PLRBlockView*>& views, const std::function<void(PLRBlockView*)>& visit)
{
    for (PLRBlockView* view : views) {
        visit(view);
        forEachBlockView(view->subBlocks(), visit);
    }
}

} // namespace

PLRLayoutInteractionView::PLRLayoutInteractionView(PLRLayoutDocumentView* documentView)
    : platform::ui::View(documentView), m_documentView(documentView)
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::ClickFocus);
    setAttribute(Qt::WA_NoSystemBackground, true);
    setAutoFillBackground(false);
    addTrackingArea(QRectF(), platform::ui::TrackingMouseEnteredAndExited | platform::ui::TrackingMouseMoved
                                  | platform::ui::TrackingActiveAlways | platform::ui::TrackingInVisibleRect);
    m_autoScrollTimer.setInterval(kAutoScrollIntervalMs);
    connect(&m_autoScrollTimer, &QTimer::timeout, this, &PLRLayoutInteractionView::autoScrollTick);
}

PLRLayoutInteractionView::~PLRLayoutInteractionView()
{
    stopObserving();
}

void PLRLayoutInteractionView::stopObserving()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (m_observing) {
        platform::NotificationCenter::defaultCenter().removeObserver(this);
        m_observing = false;
    }
}

void PLRLayoutInteractionView::setLayoutViewProxy(PLRLayoutViewProxy* proxy, PLRPostManager* postManager,
                                                  platform::UndoManager* undoManager)
{
    if (m_proxy && layoutManager() && layoutManager()->currentEditBlock())
        endEditing();
    stopObserving();
    m_editBlock = nullptr;
    m_editRecorder.cancel();
    m_panRecorder.cancel();
    m_panBlock = nullptr;
    m_dropZone = PLRDropZone();
    stopAutoScroll();
    m_proxy = proxy;
    m_postManager = postManager;
    m_undoManager = undoManager;
    if (m_documentView)
        m_documentView->setLayoutViewProxy(proxy);
    if (!proxy) {
        update();
        return;
    }
    m_connections << connect(proxy, &PLRLayoutViewProxy::selectionChanged, this, [this] { update(); });
    m_connections << connect(proxy, &PLRLayoutViewProxy::hoverBlockChanged, this, [this] {
        update();
        if (m_documentView)
            m_documentView->update();   // download buttons draw their hover colours
    });
    m_connections << connect(proxy, &PLRLayoutViewProxy::editBlockChanged, this, &PLRLayoutInteractionView::editBlockChanged);
    m_connections << connect(proxy, &PLRLayoutViewProxy::editBlockStructureChanged, this, [this] { scheduleRefresh(); });
    m_connections << connect(proxy, &PLRLayoutViewProxy::layoutChanged, this, [this] {
        // Block views made by the change get their handlers at once (the inspector reaches the
        // text handler through the block view as soon as it hears of the change); sizing and
        // painting follow on the next turn.
        if (PLRLayoutView* layoutView = m_proxy ? m_proxy->layoutView() : nullptr) {
            layoutView->layoutSubtreeIfNeeded();
            syncHandlers();
        }
        // A block being edited shows what changed of it at once (a text's alignment or style
        // chosen in the inspector while its editor is open).
        if (PLRLayoutManager* manager = layoutManager(); manager && m_editBlock && manager->currentEditBlock() == m_editBlock) {
            if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(m_editBlock))
                handler->canvasGeometryChanged();
        }
        scheduleRefresh();
    });
    m_connections << connect(proxy, &PLRLayoutViewProxy::imageChanged, this, [this] { scheduleRefresh(); });
    if (PLRLayoutManager* manager = proxy->layoutManager()) {
        m_connections << connect(manager, &PLRLayoutManager::shouldShowRecyclerHighlightChanged, this, [this] { update(); });
        m_connections << connect(manager, &PLRLayoutManager::imageKeywordOverlayEnabledChanged, this, [this] {
            if (m_documentView)
                m_documentView->update();
        });
        m_editBlock = manager->currentEditBlock();
    }
    if (undoManager) {
        // A change being made is finished (and recorded) before an undo or redo runs.
        m_connections << connect(undoManager, &platform::UndoManager::willUndo, this, [this] { endEditing(); });
        m_connections << connect(undoManager, &platform::UndoManager::willRedo, this, [this] { endEditing(); });
    }
    auto& center = platform::NotificationCenter::defaultCenter();
    center.addObserver(this, QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED),
                       [this](const platform::Notification& notification) { blockWasSelected(notification); });
    center.addObserver(this, QString::fromLatin1(kPLR_NOTIFICATION_RECYCLE_TOGGLE_OUTLINE),
                       [this](const platform::Notification& notification) { mouseOverRecycle(notification); });
    m_observing = true;
    refresh();
}

PLRLayoutViewProxy* PLRLayoutInteractionView::layoutViewProxy() const
{
    return m_proxy;
}

PLRLayoutManager* PLRLayoutInteractionView::layoutManager() const
{
    return m_proxy ? m_proxy->layoutManager() : nullptr;
}

platform::UndoManager* PLRLayoutInteractionView::undoManager() const
{
    return m_undoManager;
}

// --- Geometry ----------------------------------------------------------------------------------

double PLRLayoutInteractionView::magnification() const
{
    return m_documentView ? m_documentView->magnification() : 1.0;
}

QPointF PLRLayoutInteractionView::layoutPointFromView(const QPointF& point) const
{
    return m_documentView ? m_documentView->layoutPointFromView(point) : point;
}

QPointF PLRLayoutInteractionView::viewPointFromLayout(const QPointF& point) const
{
    return m_documentView ? m_documentView->viewPointFromLayout(point) : point;
}

QRectF PLRLayoutInteractionView::viewRectFromLayout(const QRectF& rect) const
{
    return m_documentView ? m_documentView->viewRectFromLayout(rect) : rect;
}

PLRBlock* PLRLayoutInteractionView::blockAtPoint(const QPointF& viewPoint) const
{
    PLRLayoutView* layoutView = m_proxy ? m_proxy->layoutView() : nullptr;
    if (!layoutView)
        return nullptr;
    layoutView->layoutSubtreeIfNeeded();
    const QPointF point = layoutPointFromView(viewPoint);
    for (const PLRSectionView* section : layoutView->sectionViews()) {
        if (const PLRBlockView* leaf = leafViewAt(section->blockViews(), point))
            return leaf->representedBlock();
    }
    return nullptr;
}

PLRBlockView* PLRLayoutInteractionView::blockViewForBlock(const PLRBlock* block) const
{
    return m_proxy ? m_proxy->blockViewForBlock(block) : nullptr;
}

QRectF PLRLayoutInteractionView::viewRectForBlock(const PLRBlock* block) const
{
    const PLRBlockView* view = blockViewForBlock(block);
    return view ? viewRectFromLayout(view->frameInLayoutView()) : QRectF();
}

PLRLayoutBlockInteractionHandler* PLRLayoutInteractionView::handlerForBlock(const PLRBlock* block)
{
    PLRBlockView* view = blockViewForBlock(block);
    if (!view)
        return nullptr;
    auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler*>(view->interactionHandler());
    if (!handler || handler->blockKind() != view->blockKind() || handler->canvas() != this) {
        view->setInteractionHandler(PLRLayoutBlockInteractionHandler::handlerForBlockView(view, this));
        handler = dynamic_cast<PLRLayoutBlockInteractionHandler*>(view->interactionHandler());
    }
    return handler;
}

void PLRLayoutInteractionView::syncHandlers()
{
    PLRLayoutView* layoutView = m_proxy ? m_proxy->layoutView() : nullptr;
    if (!layoutView)
        return;
    for (const PLRSectionView* section : layoutView->sectionViews()) {
        forEachBlockView(section->blockViews(), [this](PLRBlockView* view) {
            auto* handler = dynamic_cast<PLRLayoutBlockInteractionHandler*>(view->interactionHandler());
            if (handler && handler->blockKind() == view->blockKind() && handler->canvas() == this)
                return;
            auto made = PLRLayoutBlockInteractionHandler::handlerForBlockView(view, this);
            if (made || view->interactionHandler())
                view->setInteractionHandler(std::move(made));
        });
    }
}

void PLRLayoutInteractionView::scheduleRefresh()
{
    if (m_refreshScheduled)
        return;
    m_refreshScheduled = true;
    QMetaObject::invokeMethod(this, [this] {
        m_refreshScheduled = false;
        refresh();
    }, Qt::QueuedConnection);
}

void PLRLayoutInteractionView::refresh()
{
    if (PLRLayoutView* layoutView = m_proxy ? m_proxy->layoutView() : nullptr) {
        layoutView->layoutSubtreeIfNeeded();
        syncHandlers();
    }
    if (m_documentView) {
        // While a handle is dragged the page does not shrink under the pointer (the scroll view
        // would move the page and the drag with it); it takes its size when the drag ends.
        const bool keep = m_panBlock && m_documentView->contentSize().height() < m_documentView->height();
        if (!keep)
            m_documentView->updateSize(m_documentView->visibleSize());
        m_documentView->update();
    }
    if (PLRLayoutManager* manager = layoutManager(); manager && manager->currentEditBlock()) {
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(manager->currentEditBlock()))
            handler->canvasGeometryChanged();
    }
    update();
}

// --- Editing -----------------------------------------------------------------------------------

void PLRLayoutInteractionView::setEditBlock(PLRBlock* block)
{
    if (PLRLayoutManager* manager = layoutManager())
        manager->setEditBlock(block);
}

bool PLRLayoutInteractionView::isEditingText() const
{
    if (!m_editBlock || !m_editBlock->has_text())
        return false;
    const PLRBlockView* view = blockViewForBlock(m_editBlock);
    const auto* handler = view ? dynamic_cast<const PLRLayoutBlockInteractionHandler_Text*>(view->interactionHandler()) : nullptr;
    return handler && handler->isEditing();
}

void PLRLayoutInteractionView::endEditing()
{
    PLRLayoutManager* manager = layoutManager();
    if (manager && manager->currentEditBlock())
        manager->setEditBlock(nullptr);   // editBlockChanged finishes the edit
    else if (m_editBlock)
        editBlockChanged(nullptr);
}

void PLRLayoutInteractionView::editBlockChanged(PLRBlock* block)
{
    if (m_inEndEditing)
        return;
    PLRLayoutManager* manager = layoutManager();
    PLRBlock* previous = m_editBlock;
    if (previous && previous != block) {
        m_inEndEditing = true;
        m_editBlock = nullptr;
        if (m_panBlock == previous) {
            m_panBlock = nullptr;
            m_panRecorder.commit();
        }
        if (manager && manager->locateBlock(previous).isValid()) {
            if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(previous))
                handler->editModeDidEnd();
        }
        m_editRecorder.commit();
        m_inEndEditing = false;
    }
    m_editBlock = block;
    if (block && block != previous && manager) {
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(block)) {
            // What the edit changes of the block, however long it lasts, is one undo step; other
            // changes meanwhile (the inspector's, of this block too) are not part of it.
            if (block->has_text()) {
                m_editRecorder = PLRLayoutChangeRecorder(manager, m_undoManager, QStringLiteral("Edit Text"));
                m_editRecorder.restrictTo(block, handler->editedFields());
            } else if (block->has_image()) {
                // A crop session, however many drags it takes, is one undo step.
                m_editRecorder = PLRLayoutChangeRecorder(manager, m_undoManager, handler->dragActionName());
                m_editRecorder.restrictTo(block, handler->editedFields());
                m_cropStartPosition = block->image().has_position()
                                          ? QByteArray::fromStdString(block->image().position().SerializeAsString())
                                          : QByteArray();
                m_cropStartRatio = block->aspect_ratio();
            }
            handler->editModeDidBegin();
        }
    }
    update();
}

void PLRLayoutInteractionView::clickAtPoint(const QPointF& viewPoint, Qt::KeyboardModifiers modifiers, int clickCount)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return;
    setFocus(Qt::MouseFocusReason);
    PLRBlock* block = blockAtPoint(viewPoint);
    if (m_editBlock && block != m_editBlock)
        manager->setEditBlock(nullptr);
    if (clickCount >= 2 && block) {
        PLRLayoutBlockInteractionHandler* handler = handlerForBlock(block);
        if (handler && handler->supportsEditMode()) {
            if (block->has_image())
                manager->deSelectAllBlocks();
            else
                manager->selectBlocks({block});
            manager->setEditBlock(block);
            return;
        }
    }
    if (!block) {
        if (!(modifiers & Qt::ShiftModifier))
            manager->deSelectAllBlocks();
        return;
    }
    if (modifiers & Qt::ShiftModifier) {
        QList<PLRBlock*> selection = manager->currentSelectedBlocks();
        if (!selection.contains(block))
            selection.append(block);
        manager->selectBlocks(selection);
    } else {
        manager->selectBlocks({block});
    }
}

bool PLRLayoutInteractionView::deleteSelectedBlocks()
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return false;
    const QList<PLRBlock*> selected = manager->currentSelectedBlocks();
    if (selected.isEmpty())
        return false;
    // A block inside another selected block goes with it.
    QList<PLRBlock*> targets;
    for (PLRBlock* block : selected) {
        const QList<PLRBlock*> path = manager->pathFromSectionToBlock(block);
        if (path.isEmpty())
            continue;
        bool insideAnother = false;
        for (qsizetype i = 0; i + 1 < path.size(); ++i)
            insideAnother = insideAnother || selected.contains(path.at(i));
        if (insideAnother)
            continue;
        targets.append(block);
    }
    if (targets.isEmpty())
        return false;
    endEditing();
    PLRLayoutChangeRecorder recorder(manager, m_undoManager, QStringLiteral("Delete"));
    for (PLRBlock* block : std::as_const(targets)) {
        if (manager->locateBlock(block).isValid())
            manager->removeBlock(block, false);
    }
    recorder.commit();
    refresh();
    return true;
}

// --- Notifications -----------------------------------------------------------------------------

PLRBlock* PLRLayoutInteractionView::resolveBlock(const QVariant& item) const
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || !item.isValid())
        return nullptr;
    PLRBlock* found = nullptr;
    if (item.metaType() == QMetaType::fromType<PLRBlock*>()) {
        // Compared by address only: the pointer may be of another layout or gone.
        const PLRBlock* wanted = item.value<PLRBlock*>();
        plr::tree::forEachBlock(manager->representedLayout(), [&](PLRBlock* block) {
            if (block == wanted)
                found = block;
        });
    } else if (item.metaType() == QMetaType::fromType<QString>()) {
        const std::string wanted = item.toString().toStdString();
        if (wanted.empty())
            return nullptr;
        plr::tree::forEachBlock(manager->representedLayout(), [&](PLRBlock* block) {
            if (!found && block->id() == wanted)
                found = block;
        });
    }
    return found;
}

void PLRLayoutInteractionView::blockWasSelected(const platform::Notification& notification)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return;
    PLRBlock* block = resolveBlock(notification.userInfo.value(QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_ITEM)));
    if (!block)
        return;   // another post's block, or none
    manager->selectBlocks({block});
    // A selection made from elsewhere (the gallery, automatic building) is the canvas's to act
    // on: the keys that clear or delete it come here, unless someone is typing in a field.
    QWidget* focus = QApplication::focusWidget();
    const bool typing = qobject_cast<QLineEdit*>(focus) || qobject_cast<QTextEdit*>(focus) || qobject_cast<QPlainTextEdit*>(focus);
    if (isVisible() && !typing && focus != this)
        setFocus(Qt::OtherFocusReason);
    if (notification.userInfo.value(QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_SHOULD_SCROLL)).toBool()) {
        refresh();
        const QRectF rect = viewRectForBlock(block);
        if (!rect.isEmpty())
            emit scrollToRectRequested(rect);
    }
}

void PLRLayoutInteractionView::mouseOverRecycle(const platform::Notification& notification)
{
    Q_UNUSED(notification);
    update();
}

void PLRLayoutInteractionView::setOverlayAlpha(double alpha)
{
    m_alpha = std::clamp(alpha, 0.0, 1.0);
    update();
}

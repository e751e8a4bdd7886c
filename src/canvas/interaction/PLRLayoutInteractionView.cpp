#include "canvas/interaction/PLRLayoutInteractionView.h"

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

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QSet>
#include <QUuid>

namespace {

QColor selectionColour()
{
    const platform::ui::Color named = platform::ui::namedColor(QStringLiteral("plrTextLinkColor"));
    return named.isVisible() ? named.toQColor() : QColor(0x21, 0x9D, 0xFF);
}

QColor recycleColour()
{
    const platform::ui::Color named = platform::ui::namedColor(QStringLiteral("plrCycleLayoutBorderColor"));
    return named.isVisible() ? named.toQColor() : QColor(0xFF, 0x3B, 0x30);
}

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
            if (block->has_text()) {
                m_editRecorder = PLRLayoutChangeRecorder(manager, m_undoManager, {manager->sectionForBlock(block)},
                                                         QStringLiteral("Edit Text"));
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
    QList<const PLRSection*> sections;
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
        const PLRSection* section = manager->sectionForBlock(block);
        if (!sections.contains(section))
            sections.append(section);
    }
    if (targets.isEmpty())
        return false;
    endEditing();
    PLRLayoutChangeRecorder recorder(manager, m_undoManager, sections, QStringLiteral("Delete"));
    for (PLRBlock* block : std::as_const(targets)) {
        if (manager->locateBlock(block).isValid())
            manager->removeBlock(block, false);
    }
    recorder.commit();
    refresh();
    return true;
}

// --- Drops -------------------------------------------------------------------------------------

bool PLRLayoutInteractionView::knowsImage(const QString& identifier) const
{
    if (m_postManager)
        return m_postManager->imageForIdentifier(identifier) != nullptr
            && !m_postManager->imageForIdentifier(identifier)->fileDeleted();
    PLRLayoutManager* manager = layoutManager();
    PLRLayoutImageProvider* provider = manager ? manager->imageProvider() : nullptr;
    return provider && provider->hasImage(identifier);
}

bool PLRLayoutInteractionView::canAcceptDrop(const QMimeData* mimeData) const
{
    if (!layoutManager() || !mimeData)
        return false;
    // Blocks moved on this canvas: only while the drag this canvas started is under way, and
    // never while a text is being typed.
    if (PLRBlockPasteboard::hasBlockReferences(mimeData))
        return !isEditingText() && !blocksForReferences(mimeData).isEmpty();
    if (PLRBlockPasteboard::newBlockKindFromMimeData(mimeData) != plr::kBlockKindNone)
        return true;
    if (!PLRImageReferencePasteboard::hasImageReferences(mimeData))
        return false;
    const QStringList identifiers = PLRImageReferencePasteboard::identifiersFromMimeData(mimeData);
    return std::any_of(identifiers.cbegin(), identifiers.cend(), [this](const QString& id) { return knowsImage(id); });
}

QList<PLRBlock*> PLRLayoutInteractionView::blocksForReferences(const QMimeData* mimeData) const
{
    if (m_dragToken.isEmpty())
        return {};
    const PLRBlockPasteboard::BlockReferences references = PLRBlockPasteboard::blockReferencesFromMimeData(mimeData);
    if (references.token != m_dragToken)
        return {};
    return draggedBlocks();
}

QList<PLRBlock*> PLRLayoutInteractionView::draggedBlocks() const
{
    PLRLayoutManager* manager = layoutManager();
    QList<PLRBlock*> blocks;
    if (!manager || m_dragToken.isEmpty())
        return blocks;
    // The blocks of the drag that are still in the layout, in the layout's order.
    plr::tree::forEachBlock(manager->representedLayout(), [&](PLRBlock* block) {
        if (m_draggedBlocks.contains(block) && !blocks.contains(block))
            blocks.append(block);
    });
    return blocks;
}

PLRDropZone PLRLayoutInteractionView::dropZoneAtPoint(const QPointF& viewPoint) const
{
    PLRLayoutView* layoutView = m_proxy ? m_proxy->layoutView() : nullptr;
    if (!layoutView || !layoutManager())
        return PLRDropZone();
    layoutView->layoutSubtreeIfNeeded();
    return PLRSectionInteractionHandler::dropZoneInLayoutView(layoutView, layoutPointFromView(viewPoint));
}

QList<PLRBlock*> PLRLayoutInteractionView::insertImages(const QStringList& identifiers, const PLRDropZone& zone)
{
    const QList<PLRBlock*> placed = placeImages(identifiers, zone);
    emit dropPerformed(placed);
    return placed;
}

QList<PLRBlock*> PLRLayoutInteractionView::placeImages(const QStringList& identifiers, const PLRDropZone& zone)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || !zone.isValid())
        return {};
    QStringList known;
    for (const QString& identifier : identifiers) {
        if (known.contains(identifier))
            continue;
        if (knowsImage(identifier))
            known.append(identifier);
        else
            PLR_LOG_WARN(QStringLiteral("A dropped photo \"%1\" is not in the post's folder; left out").arg(identifier.left(120)));
    }
    if (known.isEmpty()) {
        PLR_LOG_INFO(QStringLiteral("The drop holds no photo of the post; nothing added"));
        return {};
    }
    // A photo goes into a layout once.
    if (m_postManager) {
        m_postManager->refreshImagesInUse();
        QList<PLRSourceImagePtr> images;
        for (const QString& identifier : std::as_const(known))
            images.append(m_postManager->imageForIdentifier(identifier));
        bool distinct = false;
        PLRImagesDistinctionVerifier::ensureDistinctImages(images, [&distinct](bool ok) { distinct = ok; }, window());
        if (!distinct)
            return {};
    } else {
        for (const QString& identifier : std::as_const(known)) {
            if (manager->useCountForImage(identifier) > 0) {
                PLR_LOG_WARN(QStringLiteral("The photo \"%1\" is already in the layout; nothing added").arg(identifier));
                return {};
            }
        }
    }
    const PLRSection* section = nullptr;
    if (zone.kind == PLRDropZone::Kind::BesideBlock) {
        section = manager->sectionForBlock(zone.block);
        if (!section) {
            PLR_LOG_WARN(QStringLiteral("The block of the drop is no longer in the layout; nothing added"));
            return {};
        }
    } else if (zone.section && plr::tree::indexOfSection(manager->representedLayout(), zone.section) >= 0) {
        section = zone.section;
    }
    endEditing();
    PLRLayoutChangeRecorder recorder(manager, m_undoManager, section ? QList<const PLRSection*>{section} : QList<const PLRSection*>{},
                                     known.size() > 1 ? QStringLiteral("Add Images") : QStringLiteral("Add Image"));
    PLRBlockPtrList blocks;
    PLRLayoutImageProvider* provider = manager->imageProvider();
    for (const QString& identifier : std::as_const(known)) {
        PLRBlockPtr block = PLRLayoutManager::newBlock_Image();
        block->mutable_image()->set_img_ref(identifier.toStdString());
        const QDateTime modified = provider ? provider->modifiedDate(identifier) : QDateTime();
        const qint64 seconds = modified.isValid() ? modified.toSecsSinceEpoch() : 0;
        block->mutable_image()->set_source_last_updated(QString::number(qint32(seconds)).toStdString());
        blocks.push_back(std::move(block));
    }
    const QList<PLRBlock*> placed = PLRSectionInteractionHandler::insertBlocksAtZone(manager, std::move(blocks), zone);
    recorder.commit();
    refresh();
    if (!placed.isEmpty()) {
        platform::NotificationCenter::defaultCenter().post(
            QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED), nullptr,
            {{QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_ITEM), plr::canvas::blockVariant(placed.last())},
             {QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_SHOULD_SCROLL), false}});
    }
    return placed;
}

PLRDropZone PLRLayoutInteractionView::zoneForDrop(const QMimeData* mimeData, const QPointF& viewPoint) const
{
    const PLRDropZone zone = dropZoneAtPoint(viewPoint);
    if (PLRBlockPasteboard::hasBlockReferences(mimeData) && !canMoveBlocksToZone(blocksForReferences(mimeData), zone))
        return PLRDropZone();
    return zone;
}

void PLRLayoutInteractionView::dragEnterEvent(QDragEnterEvent* event)
{
    if (!canAcceptDrop(event->mimeData())) {
        event->ignore();
        return;
    }
    m_dropZone = zoneForDrop(event->mimeData(), event->position());
    if (m_dropZone.isValid())
        event->acceptProposedAction();
    else
        event->accept();   // keep receiving moves: another place may take the photos
    update();
}

void PLRLayoutInteractionView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!canAcceptDrop(event->mimeData())) {
        m_dropZone = PLRDropZone();
        event->ignore();
        update();
        return;
    }
    const PLRDropZone zone = zoneForDrop(event->mimeData(), event->position());
    if (zone.isValid())
        event->acceptProposedAction();
    else
        event->ignore();
    if (zone != m_dropZone) {
        m_dropZone = zone;
        update();
    }
}

void PLRLayoutInteractionView::dragLeaveEvent(QDragLeaveEvent* event)
{
    Q_UNUSED(event);
    m_dropZone = PLRDropZone();
    update();
}

void PLRLayoutInteractionView::dropEvent(QDropEvent* event)
{
    const QMimeData* mimeData = event->mimeData();
    const PLRDropZone zone = zoneForDrop(mimeData, event->position());
    m_dropZone = PLRDropZone();
    update();
    if (!canAcceptDrop(mimeData) || !zone.isValid()) {
        event->ignore();
        return;
    }
    QPointer<PLRLayoutInteractionView> guard(this);
    if (PLRBlockPasteboard::hasBlockReferences(mimeData)) {
        const QList<PLRBlock*> blocks = blocksForReferences(mimeData);
        event->setDropAction(Qt::MoveAction);
        event->accept();
        // Moved once the drag has ended (this canvas is the drag's source).
        platform::dispatchMain([guard, blocks, zone] {
            if (!guard)
                return;
            const bool moved = guard->moveBlocks(blocks, zone);
            emit guard->dropPerformed(moved ? guard->layoutManager()->currentSelectedBlocks() : QList<PLRBlock*>{});
        });
        return;
    }
    if (const int kind = PLRBlockPasteboard::newBlockKindFromMimeData(mimeData); kind != plr::kBlockKindNone) {
        event->acceptProposedAction();
        platform::dispatchMain([guard, kind, zone] {
            if (!guard)
                return;
            PLRBlock* block = guard->insertNewBlock(kind, zone);
            emit guard->dropPerformed(block ? QList<PLRBlock*>{block} : QList<PLRBlock*>{});
        });
        return;
    }
    const QStringList identifiers = PLRImageReferencePasteboard::identifiersFromMimeData(event->mimeData());
    event->acceptProposedAction();
    // Placed after the drag has ended: the distinct-images check may show an alert.
    QPointer<PLRLayoutInteractionView> self(this);
    platform::dispatchMain([self, identifiers, zone] {
        if (self)
            self->insertImages(identifiers, zone);
    });
}

// --- New blocks ----------------------------------------------------------------------------------

PLRDropZone PLRLayoutInteractionView::endOfLayoutZone() const
{
    PLRDropZone zone;
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return zone;
    PLRLayout* layout = manager->representedLayout();
    PLRSection* last = layout->sections_size() > 0 ? layout->mutable_sections(layout->sections_size() - 1) : nullptr;
    if (last && !PLRSectionInteractionHandler::handlerForSection(*last)) {
        PLR_LOG_WARN(QStringLiteral("Blocks cannot be added to the layout's last section (of another kind)"));
        return zone;
    }
    bool hasBlocks = false;
    for (const PLRSection& section : layout->sections())
        hasBlocks = hasBlocks || section.blocks_size() > 0;
    zone.section = last;
    if (!hasBlocks) {
        zone.kind = PLRDropZone::Kind::EmptyLayout;
        return zone;
    }
    zone.kind = PLRDropZone::Kind::Section;
    zone.index = last->blocks_size();
    return zone;
}

PLRBlock* PLRLayoutInteractionView::insertNewBlock(int kind, const PLRDropZone& zone)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || !zone.isValid())
        return nullptr;
    PLRBlockPtr block;
    QString actionName;
    switch (kind) {
    case plr::kBlockKindText:
        block = PLRLayoutManager::newBlock_Text();
        actionName = QStringLiteral("Add Text");
        break;
    case plr::kBlockKindBlank:
        block = PLRLayoutManager::newBlock_Blank();
        actionName = QStringLiteral("Add Spacer");
        break;
    case plr::kBlockKindDownloadButton:
        block = PLRLayoutManager::newBlock_DownloadButton();
        actionName = QStringLiteral("Add Download Button");
        break;
    default:
        PLR_LOG_WARN(QStringLiteral("No new block of kind %1 is offered; nothing added").arg(kind));
        return nullptr;
    }
    endEditing();
    const PLRSection* section = nullptr;
    if (zone.kind == PLRDropZone::Kind::BesideBlock) {
        section = manager->sectionForBlock(zone.block);
        if (!section) {
            PLR_LOG_WARN(QStringLiteral("The block of the drop is no longer in the layout; nothing added"));
            return nullptr;
        }
    } else if (zone.section && plr::tree::indexOfSection(manager->representedLayout(), zone.section) >= 0) {
        section = zone.section;
    }
    PLRLayoutChangeRecorder recorder(manager, m_undoManager, section ? QList<const PLRSection*>{section} : QList<const PLRSection*>{},
                                     actionName);
    PLRBlockPtrList blocks;
    blocks.push_back(std::move(block));
    const QList<PLRBlock*> placed = PLRSectionInteractionHandler::insertBlocksAtZone(manager, std::move(blocks), zone);
    recorder.commit();
    refresh();
    if (placed.isEmpty())
        return nullptr;
    PLRBlock* added = placed.first();
    manager->selectBlocks({added});
    setFocus(Qt::OtherFocusReason);   // the canvas's keys (undo, delete) act on it at once
    if (kind == plr::kBlockKindText)
        setEditBlock(added);   // typed into at once
    return added;
}

PLRBlock* PLRLayoutInteractionView::appendNewBlock(int kind)
{
    PLRBlock* block = insertNewBlock(kind, endOfLayoutZone());
    if (block) {
        const QRectF rect = viewRectForBlock(block);
        if (!rect.isEmpty())
            emit scrollToRectRequested(rect);
    }
    return block;
}

// --- Moving blocks -------------------------------------------------------------------------------

namespace {

// The blocks that are in the layout and not inside another of them, in the layout's order.
QList<PLRBlock*> outermostInOrder(PLRLayoutManager* manager, const QList<PLRBlock*>& blocks)
{
    QList<PLRBlock*> ordered;
    if (!manager || blocks.isEmpty())
        return ordered;
    const QSet<const PLRBlock*> wanted(blocks.cbegin(), blocks.cend());
    plr::tree::forEachBlock(manager->representedLayout(), [&](PLRBlock* block) {
        if (!wanted.contains(block) || ordered.contains(block))
            return;
        const QList<PLRBlock*> path = manager->pathFromSectionToBlock(block);
        for (qsizetype i = 0; i + 1 < path.size(); ++i) {
            if (wanted.contains(path.at(i)))
                return;
        }
        ordered.append(block);
    });
    return ordered;
}

bool isInside(PLRLayoutManager* manager, const PLRBlock* block, const QSet<const PLRBlock*>& roots)
{
    for (const PLRBlock* step : manager->pathFromSectionToBlock(block)) {
        if (roots.contains(step))
            return true;
    }
    return false;
}

} // namespace

bool PLRLayoutInteractionView::canMoveBlocksToZone(const QList<PLRBlock*>& blocks, const PLRDropZone& zone) const
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || blocks.isEmpty() || !zone.isValid())
        return false;
    switch (zone.kind) {
    case PLRDropZone::Kind::None:
    case PLRDropZone::Kind::EmptyLayout:
        return false;   // a layout without blocks has nothing to move
    case PLRDropZone::Kind::Section:
        return zone.section && plr::tree::indexOfSection(manager->representedLayout(), zone.section) >= 0;
    case PLRDropZone::Kind::BesideBlock: {
        if (!manager->locateBlock(zone.block).isValid())
            return false;
        const QSet<const PLRBlock*> moving(blocks.cbegin(), blocks.cend());
        return !isInside(manager, zone.block, moving);
    }
    }
    return false;
}

bool PLRLayoutInteractionView::moveBlocks(const QList<PLRBlock*>& blocks, const PLRDropZone& zone)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return false;
    if (isEditingText()) {
        PLR_LOG_INFO(QStringLiteral("Blocks are not moved while a text is being edited"));
        return false;
    }
    const QList<PLRBlock*> moving = outermostInOrder(manager, blocks);
    if (moving.isEmpty()) {
        PLR_LOG_WARN(QStringLiteral("None of the moved blocks is in the layout; nothing moved"));
        return false;
    }
    if (!canMoveBlocksToZone(moving, zone)) {
        PLR_LOG_INFO(QStringLiteral("Blocks cannot be moved onto themselves or into themselves; nothing moved"));
        return false;
    }
    const QSet<const PLRBlock*> movingSet(moving.cbegin(), moving.cend());
    PLRSection* target = zone.kind == PLRDropZone::Kind::BesideBlock ? manager->sectionForBlock(zone.block) : zone.section;
    // A place between top-level blocks is held by the first block after it that stays (not a
    // container: containers may be dissolved as the blocks leave them).
    PLRBlock* anchor = nullptr;
    if (zone.kind == PLRDropZone::Kind::Section) {
        for (int i = int(std::max<qint64>(0, zone.index)); i < target->blocks_size() && !anchor; ++i) {
            plr::tree::forEachBlock(target->mutable_blocks(i), [&](PLRBlock* block) {
                if (!anchor && !block->has_container() && !isInside(manager, block, movingSet))
                    anchor = block;
            });
        }
    }
    QList<const PLRSection*> sections{target};
    for (PLRBlock* block : moving) {
        const PLRSection* section = manager->sectionForBlock(block);
        if (!sections.contains(section))
            sections.append(section);
    }
    endEditing();
    PLRLayoutChangeRecorder recorder(manager, m_undoManager, sections,
                                     moving.size() > 1 ? QStringLiteral("Move Blocks") : QStringLiteral("Move Block"));
    PLRBlockPtrList taken;
    for (PLRBlock* block : moving) {
        if (PLRBlockPtr removed = manager->removeBlock(block, false))
            taken.push_back(std::move(removed));
    }
    PLRDropZone place = zone;
    if (zone.kind == PLRDropZone::Kind::Section) {
        place.index = target->blocks_size();
        const QList<PLRBlock*> path = anchor ? manager->pathFromSectionToBlock(anchor) : QList<PLRBlock*>{};
        for (int i = 0; !path.isEmpty() && i < target->blocks_size(); ++i) {
            if (target->mutable_blocks(i) == path.first())
                place.index = i;
        }
    }
    const QList<PLRBlock*> placed = PLRSectionInteractionHandler::insertBlocksAtZone(manager, std::move(taken), place);
    if (placed.size() != moving.size()) {
        // Nothing is lost: the sections go back to what they were.
        PLR_LOG_ERROR(QStringLiteral("The moved blocks could not be placed; the layout is put back as it was"));
        recorder.before().apply(manager);
        recorder.cancel();
        refresh();
        return false;
    }
    recorder.commit();
    refresh();
    manager->selectBlocks(placed);
    return true;
}

void PLRLayoutInteractionView::beginBlockDrag(const QList<PLRBlock*>& blocks)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager || isEditingText() || !m_dragToken.isEmpty())
        return;
    const QList<PLRBlock*> moving = outermostInOrder(manager, blocks);
    if (moving.isEmpty())
        return;
    QStringList identifiers;
    for (const PLRBlock* block : moving)
        identifiers.append(QString::fromStdString(block->id()));
    m_dragToken = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_draggedBlocks = moving;
    QMimeData* mimeData = PLRBlockPasteboard::mimeDataForBlocks(m_dragToken, identifiers);
    QPointer<PLRLayoutInteractionView> guard(this);
    if (m_dragRunner) {
        m_dragRunner(mimeData);
    } else {
        auto* drag = new QDrag(this);
        drag->setMimeData(mimeData);
        const QPixmap picture = dragPixmap(moving);
        if (!picture.isNull()) {
            drag->setPixmap(picture);
            drag->setHotSpot(QPoint(picture.width() / 2, picture.height() / 2));
        }
        drag->exec(Qt::MoveAction, Qt::MoveAction);
    }
    if (!guard)
        return;
    m_dragToken.clear();
    m_draggedBlocks.clear();
    m_dropZone = PLRDropZone();
    update();
}

QPixmap PLRLayoutInteractionView::dragPixmap(const QList<PLRBlock*>& blocks) const
{
    if (!m_documentView)
        return {};
    QRectF area;
    for (const PLRBlock* block : blocks)
        area = area.united(viewRectForBlock(block));
    const QRect grabbed = area.toAlignedRect().intersected(m_documentView->rect());
    if (grabbed.isEmpty())
        return {};
    const QPixmap shot = m_documentView->grab(grabbed);
    const QPixmap scaled = shot.scaled(QSize(180, 180).boundedTo(shot.size()), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmap faded(scaled.size());
    faded.fill(Qt::transparent);
    QPainter painter(&faded);
    painter.setOpacity(0.75);
    painter.drawPixmap(0, 0, scaled);
    return faded;
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

// --- Mouse and keys ----------------------------------------------------------------------------

PLRBlock* PLRLayoutInteractionView::handleBlock()
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager)
        return nullptr;
    if (m_editBlock && (m_editBlock->has_image() || m_editBlock->has_blank()))
        return m_editBlock;
    const QList<PLRBlock*> selected = manager->currentSelectedBlocks();
    if (selected.size() == 1) {
        PLRLayoutBlockInteractionHandler* handler = handlerForBlock(selected.first());
        if (handler && handler->handlesWhenSelected())
            return selected.first();
    }
    return nullptr;
}

void PLRLayoutInteractionView::mouseDown(const platform::ui::MouseEvent& event)
{
    PLRLayoutManager* manager = layoutManager();
    m_pressBlock = nullptr;
    m_deferredClick = false;
    if (!manager)
        return;
    const QPointF point = event.locationIn(this);
    if (PLRBlock* target = handleBlock()) {
        PLRLayoutBlockInteractionHandler* handler = handlerForBlock(target);
        if (handler && handler->mouseDown(layoutPointFromView(point))) {
            setFocus(Qt::MouseFocusReason);
            m_panBlock = target;
            m_panRecorder = PLRLayoutChangeRecorder(manager, m_undoManager, {manager->sectionForBlock(m_panBlock)},
                                                    handler->dragActionName());
            updateCursor(point);
            return;
        }
    }
    PLRBlock* block = blockAtPoint(point);
    const bool plain = !(event.modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::MetaModifier));
    if (block && event.clickCount == 1 && plain && block != m_editBlock && manager->currentSelectedBlocks().contains(block)) {
        // The selection stays for a drag of it; a click on it selects the block alone when the
        // button comes up.
        setFocus(Qt::MouseFocusReason);
        m_deferredClick = true;
    } else {
        clickAtPoint(point, event.modifiers, event.clickCount);
    }
    if (block && event.clickCount == 1 && block != manager->currentEditBlock() && !isEditingText()) {
        m_pressBlock = block;
        m_pressPoint = point;
        m_pressModifiers = event.modifiers;
    }
}

void PLRLayoutInteractionView::mouseDragged(const platform::ui::MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    if (m_panBlock) {
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(m_panBlock))
            handler->mouseDragged(layoutPointFromView(point));
        updateCursor(point);
        update();
        return;
    }
    if (!m_pressBlock || (point - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
        return;
    PLRBlock* pressed = m_pressBlock;
    m_pressBlock = nullptr;
    m_deferredClick = false;
    PLRLayoutManager* manager = layoutManager();
    if (!manager || !manager->locateBlock(pressed).isValid())
        return;
    const QList<PLRBlock*> selected = manager->currentSelectedBlocks();
    beginBlockDrag(selected.contains(pressed) ? selected : QList<PLRBlock*>{pressed});
}

void PLRLayoutInteractionView::mouseUp(const platform::ui::MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    m_pressBlock = nullptr;
    if (m_deferredClick) {
        m_deferredClick = false;
        clickAtPoint(m_pressPoint, m_pressModifiers, 1);
    }
    if (!m_panBlock)
        return;
    PLRBlock* block = m_panBlock;
    m_panBlock = nullptr;
    PLRLayoutManager* manager = layoutManager();
    if (manager && manager->locateBlock(block).isValid()) {
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(block))
            handler->mouseUp(layoutPointFromView(point));
        manager->announceChange();
    }
    m_panRecorder.commit();
    refresh();
    updateCursor(point);
}

void PLRLayoutInteractionView::mouseMoved(const platform::ui::MouseEvent& event)
{
    const QPointF point = event.locationIn(this);
    hoverAt(point);
    updateCursor(point);
}

void PLRLayoutInteractionView::mouseExited(const platform::ui::MouseEvent& event)
{
    Q_UNUSED(event);
    if (PLRLayoutManager* manager = layoutManager())
        manager->setHoverBlock(nullptr);
}

void PLRLayoutInteractionView::hoverAt(const QPointF& viewPoint)
{
    if (PLRLayoutManager* manager = layoutManager())
        manager->setHoverBlock(blockAtPoint(viewPoint));
}

void PLRLayoutInteractionView::updateCursor(const QPointF& viewPoint)
{
    PLRBlock* target = m_panBlock ? m_panBlock : handleBlock();
    if (PLRLayoutBlockInteractionHandler* handler = target ? handlerForBlock(target) : nullptr) {
        Qt::CursorShape shape = Qt::ArrowCursor;
        if (handler->cursorAt(layoutPointFromView(viewPoint), &shape)) {
            setCursor(shape);
            return;
        }
    }
    unsetCursor();
}

void PLRLayoutInteractionView::keyPressEvent(QKeyEvent* event)
{
    PLRLayoutManager* manager = layoutManager();
    if (!manager) {
        View::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Undo)) {
        if (m_undoManager)
            m_undoManager->undo();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::Redo)) {
        if (m_undoManager)
            m_undoManager->redo();
        event->accept();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        deleteSelectedBlocks();
        event->accept();
        return;
    case Qt::Key_Escape:
        if (PLRBlock* editing = manager->currentEditBlock()) {
            manager->setEditBlock(nullptr);
            if (manager->locateBlock(editing).isValid())
                manager->selectBlocks({editing});
        } else {
            manager->deSelectAllBlocks();
        }
        event->accept();
        return;
    default:
        break;
    }
    View::keyPressEvent(event);
}

// --- Drawing -----------------------------------------------------------------------------------

void PLRLayoutInteractionView::drawOutline(QPainter& painter, const QRectF& viewRect, const QColor& colour, double width)
{
    if (viewRect.isEmpty())
        return;
    QPen pen(colour, width);
    pen.setJoinStyle(Qt::MiterJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    const double inset = width / 2.0;
    painter.drawRect(viewRect.adjusted(inset, inset, -inset, -inset));
}

void PLRLayoutInteractionView::drawDropIndicator(QPainter& painter)
{
    if (!m_dropZone.isValid())
        return;
    const QColor colour = selectionColour();
    QColor fill = colour;
    fill.setAlpha(40);
    constexpr double kBar = 4.0;
    switch (m_dropZone.kind) {
    case PLRDropZone::Kind::None:
        return;
    case PLRDropZone::Kind::EmptyLayout: {
        const QRectF page = m_documentView ? viewRectFromLayout(m_documentView->pageRectInLayout()) : QRectF(rect());
        painter.fillRect(page, fill);
        QPen pen(colour, 2.0, Qt::DashLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(page.adjusted(6, 6, -6, -6));
        return;
    }
    case PLRDropZone::Kind::Section: {
        const QRectF line = viewRectFromLayout(m_dropZone.targetRect);
        const QRectF bar(line.left(), line.top() - kBar / 2.0, line.width(), kBar);
        painter.fillRect(bar, colour);
        return;
    }
    case PLRDropZone::Kind::BesideBlock: {
        const QRectF frame = viewRectFromLayout(m_dropZone.targetRect);
        QRectF half = frame, bar = frame;
        switch (m_dropZone.edge) {
        case Qt::LeftEdge:
            half.setWidth(frame.width() / 2.0);
            bar = QRectF(frame.left(), frame.top(), kBar, frame.height());
            break;
        case Qt::RightEdge:
            half.setLeft(frame.center().x());
            bar = QRectF(frame.right() - kBar, frame.top(), kBar, frame.height());
            break;
        case Qt::TopEdge:
            half.setHeight(frame.height() / 2.0);
            bar = QRectF(frame.left(), frame.top(), frame.width(), kBar);
            break;
        case Qt::BottomEdge:
            half.setTop(frame.center().y());
            bar = QRectF(frame.left(), frame.bottom() - kBar, frame.width(), kBar);
            break;
        }
        painter.fillRect(half, fill);
        painter.fillRect(bar, colour);
        return;
    }
    }
}

void PLRLayoutInteractionView::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    PLRLayoutManager* manager = layoutManager();
    if (!manager || m_alpha <= 0.0)
        return;
    QPainter painter(this);
    painter.setOpacity(m_alpha);
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QColor colour = selectionColour();
    const QList<PLRBlock*> selected = manager->currentSelectedBlocks();
    PLRBlock* edit = manager->currentEditBlock();

    if (PLRBlock* hover = manager->currentHoverBlock(); hover && hover != edit && !selected.contains(hover)) {
        QColor faint = colour;
        faint.setAlpha(170);
        drawOutline(painter, viewRectForBlock(hover), faint, 1.0);
    }
    if (edit) {
        const QRectF frame = viewRectForBlock(edit);
        if (PLRLayoutBlockInteractionHandler* handler = handlerForBlock(edit))
            handler->drawEditDecorations(painter, frame);
        drawOutline(painter, frame, colour, edit->has_text() ? 1.0 : 2.0);
    }
    for (PLRBlock* block : selected) {
        if (block != edit)
            drawOutline(painter, viewRectForBlock(block), colour, 2.0);
    }
    if (selected.size() == 1 && selected.first() != edit) {
        PLRLayoutBlockInteractionHandler* handler = handlerForBlock(selected.first());
        if (handler && handler->handlesWhenSelected())
            handler->drawEditDecorations(painter, viewRectForBlock(selected.first()));
    }
    if (manager->shouldShowRecyclerHighlight()) {
        if (PLRBlock* target = manager->recyclerTargetBlock())
            drawOutline(painter, viewRectForBlock(target), recycleColour(), 2.0);
    }
    drawDropIndicator(painter);
}

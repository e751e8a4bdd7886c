// The gallery's changes to the post: the automatic layout, adding photos by double click or
// from an item's menu, and hiding photos, each recorded on the post's undo manager.

#include "panels/gallery/PLRGalleryViewController.h"

#include <QResizeEvent>

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "layout/base/PLRLayoutChange.h"
#include "layout/base/PLRLayoutManager.h"
#include "layout/base/PLRLayoutTree.h"
#include "panels/gallery/PLRGalleryViewItem.h"
#include "store/persistance-store/source/PLRImagesDistinctionVerifier.h"
#include "platform/Log.h"
#include "platform/UndoManager.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRShellNotifications.h"

#include <QEvent>
#include <QScopeGuard>

namespace {

// The gallery shown last; post-wide commands go to it alone.
QPointer<PLRGalleryViewController> g_activeGallery;

// A new image block for the photo: its identifier and its modification time in whole seconds
// since 1970 (as a 32-bit number, "%i").
PLRBlockPtr imageBlockFor(const PLRSourceImagePtr& image)
{
    PLRBlockPtr block = PLRLayoutManager::newBlock_Image();
    block->mutable_image()->set_img_ref(image->identifier().toStdString());
    const QDateTime modified = image->modifiedDate();
    const qint64 seconds = modified.isValid() ? modified.toSecsSinceEpoch() : 0;
    block->mutable_image()->set_source_last_updated(QString::number(qint32(seconds)).toStdString());
    return block;
}

PLRLayoutManager* layoutManagerOf(PLRPostManager* manager)
{
    return manager ? manager->layoutManager() : nullptr;
}

// Flips the hidden flag of the photos that are not in the layout and registers the same flip as
// its undo, so that undo and redo alternate. The photos are found by identifier when the flip
// runs; the gallery, when it is still there, is built again.
void flipHidden(PLRPostManager* postManager, PLRGalleryViewController* gallery, const QStringList& identifiers,
                const QString& actionName)
{
    if (!postManager)
        return;
    QPointer<PLRPostManager> owner(postManager);
    QPointer<PLRGalleryViewController> view(gallery);
    if (platform::UndoManager* undo = platform::UndoManager::forOwner(postManager)) {
        undo->registerUndo(postManager, [owner, view, identifiers, actionName] {
            flipHidden(owner, view, identifiers, actionName);
        });
        undo->setActionName(actionName);
    }
    for (const QString& identifier : identifiers) {
        const PLRSourceImagePtr image = postManager->imageForIdentifier(identifier);
        if (image && !image->inLayout())
            image->toggleHidden();
    }
    if (view)
        view->ensureImageStructure(true);
}

} // namespace

// ---------------------------------------------------------------- which gallery acts

bool PLRGalleryViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_sourceErrorView && event->type() == QEvent::Resize) {
        // A new width may need another height: set after this resize has reached the bar's
        // layout, which would otherwise lay it out at the height the event carries.
        const auto* resize = static_cast<QResizeEvent*>(event);
        if (resize->size().width() != resize->oldSize().width())
            QMetaObject::invokeMethod(this, &PLRGalleryViewController::fitSourceErrorBar, Qt::QueuedConnection);
    }
    if (isView(watched) && event->type() == QEvent::Show) {
        g_activeGallery = this;
        // Shown by its pane: the thumbnails take the zoom of the moment.
        setItemSize(currentZoom());
    }
    return PLRGenericPostViewController::eventFilter(watched, event);
}

bool PLRGalleryViewController::respondsToPostWideCommands() const
{
    if (g_activeGallery)
        return g_activeGallery == this;
    return isViewLoaded() && const_cast<PLRGalleryViewController*>(this)->view()->isVisible();
}

platform::UndoManager* PLRGalleryViewController::undoManager() const
{
    return platform::UndoManager::forOwner(postManager());
}

PLRSection* PLRGalleryViewController::targetSection()
{
    PLRLayoutManager* manager = layoutManagerOf(postManager());
    if (!manager)
        return nullptr;
    PLRLayout* layout = manager->representedLayout();
    if (layout->sections_size() == 0) {
        // New blocks need a section to go to; a layout without any gets one.
        PLR_LOG_INFO(QStringLiteral("The layout has no section; adding one for the gallery's photos"));
        return manager->addNewSection();
    }
    return layout->mutable_sections(layout->sections_size() - 1);
}

void PLRGalleryViewController::postBlockWasSelected(PLRSection* section)
{
    if (!section || section->blocks_size() == 0)
        return;   // nothing to name
    PLRBlock* last = section->mutable_blocks(section->blocks_size() - 1);
    platform::NotificationCenter::defaultCenter().post(
        QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED), nullptr,
        {{QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_ITEM), plr::canvas::blockVariant(last)},
         {QString::fromLatin1(kPLR_BLOCK_WAS_SELECTED_SHOULD_SCROLL), true}});
}

// ---------------------------------------------------------------- automatic layout

void PLRGalleryViewController::autoBuildLayout(const platform::Notification& notification)
{
    if (!respondsToPostWideCommands())
        return;
    PLRAnalyticManager::coreAnalyticManager().fireAnalyticEvent(
        PLRAnalyticEvent::createEventWithTitle(QStringLiteral("auto_build_layout_clicked"), {}));
    const qint64 limit = notification.userInfo.value(QString::fromLatin1(kPLRAutoLayoutNumImagesToAddKey)).toLongLong();

    PLRPostManager* postManager = this->postManager();
    PLRLayoutManager* manager = layoutManagerOf(postManager);
    if (!manager)
        return;
    // Undone as one change, a section made for it included; recorded even when nothing is added.
    PLRLayoutChangeRecorder recorder(manager, undoManager(), QStringLiteral("Auto Layout"));
    PLRSection* section = targetSection();
    if (!section) {
        recorder.cancel();
        return;
    }

    // The rows are put together first and added in one change: one photo alone, then two
    // side by side, and again; a last photo that would start a pair stands alone. Photos marked
    // as ones that cannot be used (gone, cut short, no picture) are left out.
    QList<PLRSourceImagePtr> images = getFilteredAndSortedImages(2);
    images.removeIf([](const PLRSourceImagePtr& image) { return image->problem() != PLRPhotoProblem::None; });
    const qint64 count = images.size();
    qint64 placed = 0;
    PLRBlockPtrList rows;
    PLRBlock* container = nullptr;
    for (const PLRSourceImagePtr& image : images) {
        PLRBlockPtr block = imageBlockFor(image);
        if (!image->inLayout()) {
            if (placed % 3 == 0) {
                rows.push_back(std::move(block));
                container = nullptr;
            } else {
                if (!container && count - placed >= 2) {
                    PLRBlockPtr made = PLRLayoutManager::newBlock_Container(false);
                    made->mutable_container()->set_vert(false);
                    container = made.get();
                    rows.push_back(std::move(made));
                }
                if (container)
                    container->mutable_container()->mutable_sub_blocks()->AddAllocated(block.release());
                else
                    rows.push_back(std::move(block));
            }
            ++placed;
        }
        if (limit != kPLRAutoLayoutAllImages && placed >= limit)
            break;
    }
    if (!rows.empty())
        manager->insertBlocks(std::move(rows), section->blocks_size(), nullptr, section);
    recorder.commit(true);
    postBlockWasSelected(section);
}

// ---------------------------------------------------------------- adding photos

void PLRGalleryViewController::performDoubleClickOnItem(PLRGalleryViewItem* item)
{
    PLRPostManager* postManager = this->postManager();
    PLRLayoutManager* manager = layoutManagerOf(postManager);
    if (!manager)
        return;
    // One add at a time: a click that arrives while the alert of an add is up is not a
    // second add.
    if (m_addingPhotos)
        return;
    m_addingPhotos = true;
    const auto done = qScopeGuard([this] { m_addingPhotos = false; });

    // The photos to be added are the ones checked: the clicked photo for the item's menu,
    // else the selection.
    const PLRSourceImagePtr clicked = item ? item->image() : nullptr;
    if (item && !clicked)
        return;
    const QList<PLRSourceImagePtr> adding = clicked ? QList<PLRSourceImagePtr>{clicked} : selectedImageSources();
    QWidget* parent = isViewLoaded() ? view()->window() : nullptr;
    for (const PLRSourceImagePtr& image : adding)
        if (image->checkIfGIFExceedsFileSizeLimit(parent))
            return;
    bool distinct = true;
    PLRImagesDistinctionVerifier::ensureDistinctImages(adding, [&distinct](bool ok) { distinct = ok; }, parent);
    if (!distinct)
        return;

    if (clicked) {
        manager->createAndAddBlocksForImages({clicked->identifier()});
        return;
    }

    // Undone as one change named as its undo ("Delete Images"), and done again by redo; a
    // section made for the photos goes and comes with them.
    PLRLayoutChangeRecorder recorder(manager, undoManager(), QStringLiteral("Delete Images"));
    PLRSection* section = targetSection();
    if (!section) {
        recorder.cancel();
        return;
    }
    const QList<PLRGalleryIndexPath> paths = m_galleryView->sortedSelectionIndexPaths();
    const bool command = m_galleryView->currentEventModifiers() & Qt::ControlModifier;
    const qint64 n = command ? paths.size() : 1;

    PLRBlock* container = nullptr;
    if (n != 1) {
        PLRBlockPtr made = PLRLayoutManager::newBlock_Container(false);
        made->mutable_container()->set_vert(false);
        container = manager->addBlock(std::move(made), nullptr, section);
    }
    PLRBlockPtrList blocks;
    for (const PLRGalleryIndexPath& path : paths) {
        if (const PLRSourceImagePtr image = imageAtIndexPath(path))
            blocks.push_back(imageBlockFor(image));
    }
    if (!blocks.empty())
        manager->insertBlocks(std::move(blocks), container ? container->container().sub_blocks_size() : section->blocks_size(),
                              container, container ? nullptr : section);
    recorder.commit();
    postBlockWasSelected(section);
}

// ---------------------------------------------------------------- hiding

void PLRGalleryViewController::performHideOnItem(PLRGalleryViewItem* item)
{
    if (!m_galleryView->selectionIndexPaths().isEmpty()) {
        performHideOnImages(selectedImageSources());
        return;
    }
    if (!item || !item->image() || item->image()->inLayout())
        return;
    // The undo flips this photo again, whatever photo the (reused) item shows by then.
    toggleHiddenOfImages({item->image()->identifier()}, QStringLiteral("Hide/Unhide Image"));
}

void PLRGalleryViewController::performHideOnImages(const QList<PLRSourceImagePtr>& images)
{
    QStringList identifiers;
    for (const PLRSourceImagePtr& image : images)
        if (image)
            identifiers.append(image->identifier());
    toggleHiddenOfImages(identifiers, QStringLiteral("Hide/Unhide Images"));
}

void PLRGalleryViewController::toggleHiddenOfImages(const QStringList& identifiers, const QString& actionName)
{
    flipHidden(postManager(), this, identifiers, actionName);
}

PLRSourceImagePtr PLRGalleryViewController::resolveImage(const QString& identifier) const
{
    PLRPostManager* manager = postManager();
    return manager ? manager->imageForIdentifier(identifier) : nullptr;
}

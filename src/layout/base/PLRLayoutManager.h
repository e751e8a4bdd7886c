#pragma once

#include "layout/base/PLRLayoutImageProvider.h"
#include "layout/base/PLRLayoutManagerInteractionProxy.h"
#include "layout/base/PLRLayoutTree.h"
#include "store/model/PLRLayoutDocument.h"
#include "platform-ui/Color.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class PLRLayoutViewProxy;
class PLRPostManager;

// Posted (object: the layout manager) after every change of a layout.
inline constexpr const char* kPLR_NOTIFICATION_LAYOUT_DID_CHANGE = "kPLR_NOTIFICATION_LAYOUT_DID_CHANGE";

using PLRBlockPtr = std::unique_ptr<PLRBlock>;
using PLRBlockPtrList = std::vector<PLRBlockPtr>;

// The single writer of a post's layout and of its editing state (selection, edit block, hover
// block, selected section). Every structural edit goes through it: it changes the tree, keeps
// the registered layout views in step, reports each photo's use count to the image provider
// and announces the change.
//
// Blocks are identified by address. New blocks are handed over as std::unique_ptr and stay
// at the same address once in the layout (the returned pointer is the caller's pointer);
// moving blocks (wrapping, dissolving a container, recycling) keeps their address too.
// A removed block is handed back to the caller.
class PLRLayoutManager : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool layoutIsBeingExported READ layoutIsBeingExported WRITE setLayoutIsBeingExported NOTIFY layoutIsBeingExportedChanged)
    Q_PROPERTY(bool imageKeywordOverlayEnabled READ imageKeywordOverlayEnabled WRITE setImageKeywordOverlayEnabled NOTIFY imageKeywordOverlayEnabledChanged)
    Q_PROPERTY(bool shouldShowRecyclerHighlight READ shouldShowRecyclerHighlight WRITE setShouldShowRecyclerHighlight NOTIFY shouldShowRecyclerHighlightChanged)
public:
    // The manager of `layout` (not owned; it must outlive the manager, as a post's layout
    // outlives its post manager). With no layout the manager keeps an empty one of its own.
    explicit PLRLayoutManager(PLRLayout* layout, PLRPostManager* postManager = nullptr, QObject* parent = nullptr);
    ~PLRLayoutManager() override;

    PLRLayout* representedLayout() const { return m_layout; }
    PLRPostManager* postManager() const;

    // --- Photos ---------------------------------------------------------------------------
    // Sets the provider (owned) and reports the use count of every photo of the layout to it.
    void setImageProvider(std::unique_ptr<PLRLayoutImageProvider> provider);
    PLRLayoutImageProvider* imageProvider() const { return m_imageProvider.get(); }
    // The provider's photo changed (loaded, replaced, resized): blocks showing it are laid out
    // and drawn again in every layout view.
    void imageDidChange(const QString& identifier);
    // How many image blocks use the photo; how many photos the layout uses.
    qint64 useCountForImage(const QString& identifier) const { return m_useCounts.value(identifier); }
    qint64 numberOfImagesInUse() const { return m_useCounts.size(); }

    // --- New objects (fresh identifier, not yet in any layout) ------------------------------
    static PLRBlockPtr newBlock_Image();
    static PLRBlockPtr newBlock_Container(bool vertical = false);
    static PLRBlockPtr newBlock_Text();
    static PLRBlockPtr newBlock_Blank();
    static PLRBlockPtr newBlock_DownloadButton();
    // Appends a new stacked section to the layout, announces the change and returns it.
    PLRSection* addNewSection();

    // --- Structure --------------------------------------------------------------------------
    // Appends the block to the container's sub-blocks, or to the section's blocks when
    // `inBlock` is null. Refused (logged, null returned, the block dropped) when the parent is
    // not a container, or the parent or section is not in the layout. `ofSection` may be null
    // when `inBlock` is given.
    PLRBlock* addBlock(PLRBlockPtr block, PLRBlock* inBlock, PLRSection* ofSection);
    QList<PLRBlock*> addBlocks(PLRBlockPtrList blocks, PLRBlock* inBlock, PLRSection* ofSection);
    // The same at an index of the parent's list (clamped to the list).
    PLRBlock* insertBlock(PLRBlockPtr block, qint64 atIndex, PLRBlock* inBlock, PLRSection* ofSection);
    QList<PLRBlock*> insertBlocks(PLRBlockPtrList blocks, qint64 atIndex, PLRBlock* inBlock, PLRSection* ofSection);
    // Inserts the blocks, in order, just before or just after `besideBlock`, in its parent.
    QList<PLRBlock*> insertBlocksBeside(PLRBlockPtrList blocks, PLRBlock* besideBlock, bool after);
    // Puts `block` and the new blocks into a new container (a column when `vertical`) that
    // takes the block's place; the new blocks go before the block when `newBlocksFirst`.
    // Returns the container, or null when the block is not in the layout or no block is given.
    PLRBlock* wrapBlock(PLRBlock* block, PLRBlockPtrList withBlocks, bool vertical, bool newBlocksFirst);
    // Takes the block out of the layout and returns it. Ends its edit mode and deselects it
    // (and any block inside it) first. A container left with one block is dissolved (that
    // block takes the container's place) and a container left empty is removed, up the tree,
    // unless `preventPurge`, which keeps such containers as they are (the caller is about to
    // put something back). A block that is in no section is ignored (null returned).
    PLRBlockPtr removeBlock(PLRBlock* block, bool preventPurge);
    // The purge removeBlock leaves out with `preventPurge`, once the caller has put back what
    // it meant to: the container is dissolved when it holds one block and removed when it holds
    // none, up the tree. A container with two blocks or more, or not in the layout, is left as
    // it is.
    void purgeContainer(PLRBlock* container);
    // For each identifier, a new image block (img_ref, source_last_updated "%i" seconds since
    // 1970 of the photo's modification date) appended to the layout's last section (a new
    // one when the layout has none); one announcement for the lot.
    QList<PLRBlock*> createAndAddBlocksForImages(const QStringList& identifiers);
    // Replaces the section's contents by the snapshot (undo), keeping the section's address;
    // its blocks are new objects (earlier block pointers into the section are invalid). The
    // selection, edit and hover blocks inside the section are cleared first.
    void restoreSection(PLRSection* section, const PLRSection& snapshot);
    // Takes the section out of the layout (undo of an edit that added it): its blocks leave the
    // selection, edit and hover state first, the views are rebuilt and the change is announced.
    // A section that is not in the layout is ignored (logged).
    void removeSection(PLRSection* section);

    // The blocks from the top-level block of the block's section down to the block; empty when
    // the block is in no section.
    QList<PLRBlock*> pathFromSectionToBlock(const PLRBlock* block) const;
    plr::tree::BlockLocation locateBlock(const PLRBlock* block) const;
    PLRSection* sectionForBlock(const PLRBlock* block) const { return locateBlock(block).section; }

    // --- Editing state ----------------------------------------------------------------------
    QList<PLRBlock*> currentSelectedBlocks() const { return m_selectedBlocks; }
    // Replaces the selection (blocks not in the layout and repeats are left out) and sends
    // layoutManagerDidSelectBlocks.
    void selectBlocks(const QList<PLRBlock*>& blocks);
    // Clears the selection and sends layoutManagerDidSelectBlocks with an empty list.
    void deSelectAllBlocks();

    PLRBlock* currentEditBlock() const { return m_editBlock; }
    // Enters edit (crop) mode for the block, or leaves it with null. No effect when unchanged
    // or when the block is not in the layout. Sends layoutManagerDidSetEditBlock to the
    // interaction proxies, except: not to the inspector and the block-properties page when the
    // new edit block is a blank block, and to nobody when the edit block is cleared while there
    // is a hover block. Layout-view proxies always hear of it.
    void setEditBlock(PLRBlock* block);
    // Asks the views to rebuild the edit views of the edit block (after its ratio changed).
    void editBlockDidChangeStructure();

    PLRBlock* currentHoverBlock() const { return m_hoverBlock; }
    // No effect when unchanged; otherwise sends layoutManagerDidHoverBlock.
    void setHoverBlock(PLRBlock* block);

    PLRSection* currentSelectedSection() const { return m_selectedSection; }
    // Sends layoutManagerDidSelectSection when the section changes.
    void selectSection(PLRSection* section);

    // --- Recycler ---------------------------------------------------------------------------
    // True when exactly one block is selected and its top-level block is a container whose
    // blocks are two or three images (containers inside it allowed, nothing else).
    bool isSelectedBlockValidForCycler() const;
    // The top-level block the recycler would rearrange, or null.
    PLRBlock* recyclerTargetBlock() const;
    // Moves the target group to the next arrangement of its cycle, keeping the images' order:
    //   two images:   row(A B) -> column(A B) -> row(A B) ...
    //   three images: row(A B C) -> row(A column(B C)) -> row(column(A B) C) -> column(A B C)
    //                 -> column(A row(B C)) -> column(row(A B) C) -> row(A B C) ...
    // A group in no arrangement of its cycle goes to the first one. Answers whether it acted.
    bool recycleSelectedBlock();
    bool shouldShowRecyclerHighlight() const { return m_showRecyclerHighlight; }
    void setShouldShowRecyclerHighlight(bool show);

    // --- Flags --------------------------------------------------------------------------------
    // While set, image blocks draw their full-size photos and no keyword badges.
    bool layoutIsBeingExported() const { return m_beingExported; }
    void setLayoutIsBeingExported(bool exported);
    // While set (and not exporting), image blocks draw their photo's keywords as badges.
    bool imageKeywordOverlayEnabled() const { return m_keywordOverlay; }
    void setImageKeywordOverlayEnabled(bool enabled);

    // --- Proxies ------------------------------------------------------------------------------
    // Not owned; a proxy leaves on its own when it is destroyed.
    void addInteractionProxy(PLRLayoutManagerInteractionProxy* proxy);
    void removeInteractionProxy(PLRLayoutManagerInteractionProxy* proxy);
    QList<PLRLayoutManagerInteractionProxy*> interactionProxies() const { return m_interactionProxies; }

    // Not owned (a proxy registers itself when it is made and leaves when it is destroyed).
    void addLayoutViewProxy(PLRLayoutViewProxy* proxy);
    void removeLayoutViewProxy(PLRLayoutViewProxy* proxy);
    QList<PLRLayoutViewProxy*> currentLayoutProxies() const;
    // The first registered proxy that is live (the editor's canvas), or null.
    PLRLayoutViewProxy* liveLayoutViewProxy() const;

    // Counts the photos' uses again (telling the provider what changed), has every layout view
    // lay its sections out and draw again, and posts kPLR_NOTIFICATION_LAYOUT_DID_CHANGE with
    // the manager as object. Call it after changing blocks in place (ratio, style, text...).
    void announceChange();

    // The layout's background colour, opaque: r, g and b / 255, alpha 1. White when the layout
    // has none; components that are not numbers count as 0 and are clamped to 0-255.
    static platform::ui::Color backgroundColourForLayout(const PLRLayout& layout);
    // Text width fraction of a width index: 0 -> 0.3, 1 -> 0.5, 2 -> 0.7, 3 -> 1.0, 4 -> -1.0,
    // other -> 1.0.
    static double widthValueForTextWidth(qint64 index);

signals:
    void layoutIsBeingExportedChanged(bool exported);
    void imageKeywordOverlayEnabledChanged(bool enabled);
    void shouldShowRecyclerHighlightChanged(bool show);

private:
    friend class PLRLayoutManagerInteractionProxy;

    // Layout-view proxies showing this manager's own layout.
    QList<PLRLayoutViewProxy*> proxiesOfRepresentedLayout() const;
    bool containsBlock(const PLRBlock* block) const { return locateBlock(block).isValid(); }
    // Resolves the list a block goes into; null (logged) when refused.
    plr::tree::BlockList* targetList(PLRBlock* inBlock, PLRSection*& ofSection, const char* operation) const;
    PLRBlock* insertInto(plr::tree::BlockList* list, PLRSection* section, PLRBlock* parent, int index, PLRBlockPtr block);
    // Drops references of the editing state to blocks of the subtree (about to leave the
    // layout), with the call-backs the changes call for.
    void forgetBlocksBelow(const PLRBlock* root, bool includeRoot);
    void forgetBlocks(const QSet<const PLRBlock*>& blocks);
    void dissolveIfNeeded(PLRSection* section, PLRBlock* container, std::vector<PLRBlockPtr>& graveyard);
    void updateUseCounts(bool reportAll);
    std::vector<std::string> imageRefsInOrder() const;

    PLRLayout* m_layout = nullptr;
    std::unique_ptr<PLRLayout> m_ownLayout;
    QPointer<PLRPostManager> m_postManager;
    std::unique_ptr<PLRLayoutImageProvider> m_imageProvider;
    QHash<QString, qint64> m_useCounts;
    // The photo references m_useCounts was counted from, in tree order.
    std::vector<std::string> m_countedImageRefs;

    QList<PLRBlock*> m_selectedBlocks;
    PLRBlock* m_editBlock = nullptr;
    PLRBlock* m_hoverBlock = nullptr;
    PLRSection* m_selectedSection = nullptr;

    bool m_showRecyclerHighlight = false;
    bool m_beingExported = false;
    bool m_keywordOverlay = false;

    QList<PLRLayoutManagerInteractionProxy*> m_interactionProxies;
    QList<QPointer<PLRLayoutViewProxy>> m_layoutViewProxies;
};

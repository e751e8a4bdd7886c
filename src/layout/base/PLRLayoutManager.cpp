#include "layout/base/PLRLayoutManager.h"
#include "platform/Threads.h"

#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"

#include <QSet>

#include <algorithm>
#include <cmath>
#include <deque>

using plr::tree::BlockList;
using plr::tree::BlockLocation;

namespace {

// The recycler's arrangements: R a row, C a column, i the next image in order.
const QStringList& arrangementsForImageCount(int count)
{
    static const QStringList two = {QStringLiteral("R(i,i)"), QStringLiteral("C(i,i)")};
    static const QStringList three = {
        QStringLiteral("R(i,i,i)"), QStringLiteral("R(i,C(i,i))"), QStringLiteral("R(C(i,i),i)"),
        QStringLiteral("C(i,i,i)"), QStringLiteral("C(i,R(i,i))"), QStringLiteral("C(R(i,i),i)"),
    };
    static const QStringList none;
    return count == 2 ? two : count == 3 ? three : none;
}

QString arrangementOf(const PLRBlock& block)
{
    if (block.has_image())
        return QStringLiteral("i");
    if (!block.has_container())
        return QStringLiteral("?");
    QStringList parts;
    for (const PLRBlock& sub : block.container().sub_blocks())
        parts.append(arrangementOf(sub));
    return (block.container().vert() ? QStringLiteral("C(") : QStringLiteral("R(")) + parts.join(QLatin1Char(',')) + QLatin1Char(')');
}

// Takes every block out of the container's subtree: images go to `images` in order,
// containers to `containers` (kept alive until the views have let go of them).
void takeImages(PLRBlock* container, std::deque<PLRBlockPtr>& images, std::vector<PLRBlockPtr>& containers)
{
    BlockList* subs = container->mutable_container()->mutable_sub_blocks();
    while (!subs->empty()) {
        PLRBlockPtr child = plr::tree::extractAt(subs, 0);
        if (child->has_container()) {
            takeImages(child.get(), images, containers);
            containers.push_back(std::move(child));
        } else {
            images.push_back(std::move(child));
        }
    }
}

// Fills the container after the arrangement text at `position` ("R(" or "C(" ... ")").
void arrange(PLRBlock* container, const QString& arrangement, qsizetype& position, std::deque<PLRBlockPtr>& images)
{
    container->mutable_container()->set_vert(arrangement.at(position) == QLatin1Char('C'));
    position += 2;
    BlockList* subs = container->mutable_container()->mutable_sub_blocks();
    while (position < arrangement.size() && arrangement.at(position) != QLatin1Char(')')) {
        const QChar token = arrangement.at(position);
        if (token == QLatin1Char(',')) {
            ++position;
        } else if (token == QLatin1Char('i')) {
            if (!images.empty()) {
                plr::tree::insertAt(subs, subs->size(), std::move(images.front()));
                images.pop_front();
            }
            ++position;
        } else {
            PLRBlock* inner = plr::tree::insertAt(subs, subs->size(), PLRLayoutManager::newBlock_Container());
            arrange(inner, arrangement, position, images);
        }
    }
    ++position;   // ')'
}

double colourComponent(float value)
{
    if (!std::isfinite(value))
        return 0.0;
    return std::clamp(double(value), 0.0, 255.0) / 255.0;
}

} // namespace

PLRLayoutManagerInteractionProxy::~PLRLayoutManagerInteractionProxy()
{
    const auto managers = m_joinedManagers;
    for (const QPointer<PLRLayoutManager>& manager : managers) {
        if (manager)
            manager->m_interactionProxies.removeAll(this);
    }
}

PLRLayoutManager::PLRLayoutManager(PLRLayout* layout, PLRPostManager* postManager, QObject* parent)
    : QObject(parent), m_postManager(postManager)
{
    if (!layout) {
        m_ownLayout = std::make_unique<PLRLayout>();
        layout = m_ownLayout.get();
    }
    m_layout = layout;
    m_useCounts = plr::tree::imageUseCounts(*m_layout);
    m_countedImageRefs = imageRefsInOrder();
}

PLRLayoutManager::~PLRLayoutManager()
{
    for (PLRLayoutManagerInteractionProxy* proxy : std::as_const(m_interactionProxies))
        proxy->m_joinedManagers.removeIf([this](const QPointer<PLRLayoutManager>& m) { return m.data() == this || m.isNull(); });
}

PLRPostManager* PLRLayoutManager::postManager() const
{
    return m_postManager;
}

// --- Photos -------------------------------------------------------------------------------------

void PLRLayoutManager::setImageProvider(std::unique_ptr<PLRLayoutImageProvider> provider)
{
    m_imageProvider = std::move(provider);
    updateUseCounts(true);
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies())
        proxy->layoutDidChange();
}

void PLRLayoutManager::imageDidChange(const QString& identifier)
{
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies())
        proxy->imageDidChange(identifier);
}

namespace {

// Calls `visit` with each image block's photo reference, in tree order, until it answers false.
template <typename Visit>
bool forEachImageRef(const PLRBlock& block, Visit& visit)
{
    if (block.has_image())
        return block.image().img_ref().empty() || visit(block.image().img_ref());
    if (block.has_container())
        for (const PLRBlock& child : block.container().sub_blocks())
            if (!forEachImageRef(child, visit))
                return false;
    return true;
}

template <typename Visit>
bool forEachImageRef(const PLRLayout& layout, Visit visit)
{
    for (const PLRSection& section : layout.sections())
        for (const PLRBlock& block : section.blocks())
            if (!forEachImageRef(block, visit))
                return false;
    return true;
}

} // namespace

std::vector<std::string> PLRLayoutManager::imageRefsInOrder() const
{
    std::vector<std::string> refs;
    refs.reserve(m_countedImageRefs.size());
    forEachImageRef(*m_layout, [&refs](const std::string& ref) {
        refs.push_back(ref);
        return true;
    });
    return refs;
}

void PLRLayoutManager::updateUseCounts(bool reportAll)
{
    // Most edits (text, padding, crops, sizes) leave the photos as they were: one walk that
    // compares each reference with the last count's settles it without counting again.
    if (!reportAll) {
        size_t index = 0;
        const bool same = forEachImageRef(*m_layout, [&](const std::string& ref) {
            return index < m_countedImageRefs.size() && m_countedImageRefs[index++] == ref;
        });
        if (same && index == m_countedImageRefs.size())
            return;
    }
    QHash<QString, qint64> counts = plr::tree::imageUseCounts(*m_layout);
    if (m_imageProvider) {
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (reportAll || m_useCounts.value(it.key()) != it.value())
                m_imageProvider->imageUseCountDidChange(it.key(), it.value());
        }
        for (auto it = m_useCounts.cbegin(); it != m_useCounts.cend(); ++it) {
            if (!counts.contains(it.key()))
                m_imageProvider->imageUseCountDidChange(it.key(), 0);
        }
    }
    m_useCounts = std::move(counts);
    m_countedImageRefs = imageRefsInOrder();
}

// --- New objects --------------------------------------------------------------------------------

static PLRBlockPtr blockWithFreshIdentifier()
{
    auto block = std::make_unique<PLRBlock>();
    block->set_id(plr::newBlockIdentifier().toStdString());
    return block;
}

PLRBlockPtr PLRLayoutManager::newBlock_Image()
{
    PLRBlockPtr block = blockWithFreshIdentifier();
    block->mutable_image();
    return block;
}

PLRBlockPtr PLRLayoutManager::newBlock_Container(bool vertical)
{
    PLRBlockPtr block = blockWithFreshIdentifier();
    block->mutable_container()->set_vert(vertical);
    return block;
}

PLRBlockPtr PLRLayoutManager::newBlock_Text()
{
    PLRBlockPtr block = blockWithFreshIdentifier();
    PLRBlock_Text* text = block->mutable_text();
    text->set_style(PLRBlock_Text::PARAGRAPH);
    text->mutable_position()->set_alignment(PLRPosition::LEFT);
    text->mutable_position()->set_width(1.0f);
    return block;
}

PLRBlockPtr PLRLayoutManager::newBlock_Blank()
{
    PLRBlockPtr block = blockWithFreshIdentifier();
    block->mutable_blank();
    return block;
}

PLRBlockPtr PLRLayoutManager::newBlock_DownloadButton()
{
    PLRBlockPtr block = blockWithFreshIdentifier();
    PLRBlock_Download_Button* button = block->mutable_download_button();
    button->set_title("Download");
    button->set_fill_colour(PLRBlock_Download_Button::BLACK);
    button->set_hover_fill_colour(PLRBlock_Download_Button::GREY);
    button->set_line_colour(PLRBlock_Download_Button::BLACK);
    button->set_hover_line_colour(PLRBlock_Download_Button::GREY);
    button->set_style(PLRBlock_Download_Button::BOX);
    button->set_size(PLRBlock_Download_Button::MEDIUM);
    return block;
}

PLRSection* PLRLayoutManager::addNewSection()
{
    PLRSection* section = m_layout->add_sections();
    section->mutable_stacked();
    announceChange();
    return section;
}

// --- Structure ----------------------------------------------------------------------------------

BlockLocation PLRLayoutManager::locateBlock(const PLRBlock* block) const
{
    return plr::tree::locate(m_layout, block);
}

QList<PLRBlock*> PLRLayoutManager::pathFromSectionToBlock(const PLRBlock* block) const
{
    return locateBlock(block).path;
}

BlockList* PLRLayoutManager::targetList(PLRBlock* inBlock, PLRSection*& ofSection, const char* operation) const
{
    if (inBlock) {
        const BlockLocation location = locateBlock(inBlock);
        if (!location.isValid()) {
            PLR_LOG_WARN(QStringLiteral("%1: the parent block is not in the layout; nothing added").arg(QLatin1String(operation)));
            return nullptr;
        }
        if (!inBlock->has_container()) {
            PLR_LOG_WARN(QStringLiteral("%1: the parent block is not a container; nothing added").arg(QLatin1String(operation)));
            return nullptr;
        }
        if (ofSection && ofSection != location.section)
            PLR_LOG_WARN(QStringLiteral("%1: the parent block is in another section; using its own").arg(QLatin1String(operation)));
        ofSection = location.section;
        return inBlock->mutable_container()->mutable_sub_blocks();
    }
    if (plr::tree::indexOfSection(m_layout, ofSection) < 0) {
        PLR_LOG_WARN(QStringLiteral("%1: the section is not in the layout; nothing added").arg(QLatin1String(operation)));
        return nullptr;
    }
    return ofSection->mutable_blocks();
}

PLRBlock* PLRLayoutManager::insertInto(BlockList* list, PLRSection* section, PLRBlock* parent, int index, PLRBlockPtr block)
{
    PLR_ASSERT_MAIN_THREAD();
    if (!block)
        return nullptr;
    const int clamped = std::clamp(index, 0, list->size());
    PLRBlock* inserted = plr::tree::insertAt(list, clamped, std::move(block));
    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
        proxy->blockWasInserted(section, inserted, parent, clamped);
    return inserted;
}

PLRBlock* PLRLayoutManager::addBlock(PLRBlockPtr block, PLRBlock* inBlock, PLRSection* ofSection)
{
    if (!block)
        return nullptr;
    BlockList* list = targetList(inBlock, ofSection, "addBlock");
    if (!list)
        return nullptr;
    PLRBlock* added = insertInto(list, ofSection, inBlock, list->size(), std::move(block));
    announceChange();
    return added;
}

QList<PLRBlock*> PLRLayoutManager::addBlocks(PLRBlockPtrList blocks, PLRBlock* inBlock, PLRSection* ofSection)
{
    QList<PLRBlock*> added;
    for (PLRBlockPtr& block : blocks) {
        if (PLRBlock* one = addBlock(std::move(block), inBlock, ofSection))
            added.append(one);
    }
    return added;
}

PLRBlock* PLRLayoutManager::insertBlock(PLRBlockPtr block, qint64 atIndex, PLRBlock* inBlock, PLRSection* ofSection)
{
    PLRBlockPtrList blocks;
    blocks.push_back(std::move(block));
    const QList<PLRBlock*> inserted = insertBlocks(std::move(blocks), atIndex, inBlock, ofSection);
    return inserted.isEmpty() ? nullptr : inserted.first();
}

QList<PLRBlock*> PLRLayoutManager::insertBlocks(PLRBlockPtrList blocks, qint64 atIndex, PLRBlock* inBlock, PLRSection* ofSection)
{
    QList<PLRBlock*> inserted;
    BlockList* list = targetList(inBlock, ofSection, "insertBlocks");
    if (!list)
        return inserted;
    int index = int(std::clamp<qint64>(atIndex, 0, list->size()));
    for (PLRBlockPtr& block : blocks) {
        if (PLRBlock* one = insertInto(list, ofSection, inBlock, index, std::move(block))) {
            inserted.append(one);
            ++index;
        }
    }
    if (!inserted.isEmpty())
        announceChange();
    return inserted;
}

QList<PLRBlock*> PLRLayoutManager::insertBlocksBeside(PLRBlockPtrList blocks, PLRBlock* besideBlock, bool after)
{
    QList<PLRBlock*> inserted;
    const BlockLocation location = locateBlock(besideBlock);
    if (!location.isValid()) {
        PLR_LOG_WARN(QStringLiteral("insertBlocksBeside: the block is not in the layout; nothing added"));
        return inserted;
    }
    BlockList* list = location.siblings();
    int index = location.index + (after ? 1 : 0);
    for (PLRBlockPtr& block : blocks) {
        if (PLRBlock* one = insertInto(list, location.section, location.parent, index, std::move(block))) {
            inserted.append(one);
            ++index;
        }
    }
    if (!inserted.isEmpty())
        announceChange();
    return inserted;
}

PLRBlock* PLRLayoutManager::wrapBlock(PLRBlock* block, PLRBlockPtrList withBlocks, bool vertical, bool newBlocksFirst)
{
    const BlockLocation location = locateBlock(block);
    if (!location.isValid()) {
        PLR_LOG_WARN(QStringLiteral("wrapBlock: the block is not in the layout; nothing wrapped"));
        return nullptr;
    }
    withBlocks.erase(std::remove(withBlocks.begin(), withBlocks.end(), nullptr), withBlocks.end());
    if (withBlocks.empty()) {
        PLR_LOG_WARN(QStringLiteral("wrapBlock: no block to wrap with; nothing wrapped"));
        return nullptr;
    }
    BlockList* siblings = location.siblings();
    PLRBlockPtr target = plr::tree::extractAt(siblings, location.index);
    PLRBlockPtr container = newBlock_Container(vertical);
    BlockList* subs = container->mutable_container()->mutable_sub_blocks();
    if (!newBlocksFirst)
        plr::tree::insertAt(subs, subs->size(), std::move(target));
    for (PLRBlockPtr& one : withBlocks)
        plr::tree::insertAt(subs, subs->size(), std::move(one));
    if (newBlocksFirst)
        plr::tree::insertAt(subs, subs->size(), std::move(target));
    PLRBlock* wrapper = plr::tree::insertAt(siblings, location.index, std::move(container));
    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
        proxy->blockWasReplaced(location.section, block, wrapper);
    announceChange();
    return wrapper;
}

void PLRLayoutManager::forgetBlocks(const QSet<const PLRBlock*>& blocks)
{
    if (blocks.isEmpty())
        return;
    QList<PLRBlock*> kept;
    for (PLRBlock* selected : std::as_const(m_selectedBlocks)) {
        if (!blocks.contains(selected))
            kept.append(selected);
    }
    if (kept.size() != m_selectedBlocks.size()) {
        m_selectedBlocks.clear();   // the old list may point at blocks about to go
        selectBlocks(kept);
    }
    if (m_editBlock && blocks.contains(m_editBlock))
        setEditBlock(nullptr);
    if (m_hoverBlock && blocks.contains(m_hoverBlock))
        setHoverBlock(nullptr);
}

void PLRLayoutManager::forgetBlocksBelow(const PLRBlock* root, bool includeRoot)
{
    QSet<const PLRBlock*> blocks;
    plr::tree::forEachBlock(const_cast<PLRBlock*>(root), [&](PLRBlock* block) {
        if (includeRoot || block != root)
            blocks.insert(block);
    });
    forgetBlocks(blocks);
}

void PLRLayoutManager::dissolveIfNeeded(PLRSection* section, PLRBlock* container, std::vector<PLRBlockPtr>& graveyard)
{
    while (container && container->has_container()) {
        const int count = container->container().sub_blocks_size();
        if (count >= 2)
            return;
        const BlockLocation location = locateBlock(container);
        if (!location.isValid())
            return;
        forgetBlocks({container});
        BlockList* siblings = location.siblings();
        if (count == 1) {
            PLRBlockPtr child = plr::tree::extractAt(container->mutable_container()->mutable_sub_blocks(), 0);
            graveyard.push_back(plr::tree::extractAt(siblings, location.index));
            PLRBlock* moved = plr::tree::insertAt(siblings, location.index, std::move(child));
            for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
                proxy->blockWasReplaced(section, container, moved);
            return;
        }
        graveyard.push_back(plr::tree::extractAt(siblings, location.index));
        for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
            proxy->blockWasRemoved(section, container);
        container = location.parent;
    }
}

PLRBlockPtr PLRLayoutManager::removeBlock(PLRBlock* block, bool preventPurge)
{
    const BlockLocation found = locateBlock(block);
    if (!found.isValid()) {
        PLR_LOG_DEBUG(QStringLiteral("removeBlock: the block is in no section; ignored"));
        return nullptr;
    }
    forgetBlocksBelow(block, true);
    // The call-backs above may have changed the layout: find the block again.
    const BlockLocation location = locateBlock(block);
    if (!location.isValid())
        return nullptr;
    PLRBlockPtr removed = plr::tree::extractAt(location.siblings(), location.index);
    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
        proxy->blockWasRemoved(location.section, block);
    std::vector<PLRBlockPtr> graveyard;
    if (!preventPurge && location.parent)
        dissolveIfNeeded(location.section, location.parent, graveyard);
    announceChange();
    return removed;
}

void PLRLayoutManager::purgeContainer(PLRBlock* container)
{
    // Looked up before it is read: the caller's pointer may be to a container already purged.
    const BlockLocation location = locateBlock(container);
    if (!location.isValid() || !container->has_container() || container->container().sub_blocks_size() >= 2)
        return;
    std::vector<PLRBlockPtr> graveyard;
    dissolveIfNeeded(location.section, container, graveyard);
    announceChange();
}

QList<PLRBlock*> PLRLayoutManager::createAndAddBlocksForImages(const QStringList& identifiers)
{
    QList<PLRBlock*> added;
    if (identifiers.isEmpty())
        return added;
    if (m_layout->sections_size() == 0) {
        PLR_LOG_INFO(QStringLiteral("createAndAddBlocksForImages: the layout has no section; adding one"));
        m_layout->add_sections()->mutable_stacked();
    }
    PLRSection* section = m_layout->mutable_sections(m_layout->sections_size() - 1);
    for (const QString& identifier : identifiers) {
        PLRBlockPtr block = newBlock_Image();
        block->mutable_image()->set_img_ref(identifier.toStdString());
        const QDateTime modified = m_imageProvider ? m_imageProvider->modifiedDate(identifier) : QDateTime();
        const qint64 seconds = modified.isValid() ? modified.toSecsSinceEpoch() : 0;
        block->mutable_image()->set_source_last_updated(QString::number(qint32(seconds)).toStdString());
        added.append(insertInto(section->mutable_blocks(), section, nullptr, section->blocks_size(), std::move(block)));
    }
    announceChange();
    return added;
}

void PLRLayoutManager::restoreSection(PLRSection* section, const PLRSection& snapshot)
{
    if (plr::tree::indexOfSection(m_layout, section) < 0) {
        PLR_LOG_WARN(QStringLiteral("restoreSection: the section is not in the layout; nothing restored"));
        return;
    }
    QSet<const PLRBlock*> blocks;
    plr::tree::forEachBlock(section, [&](PLRBlock* block) { blocks.insert(block); });
    forgetBlocks(blocks);
    if (section != &snapshot)
        section->CopyFrom(snapshot);
    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
        proxy->sectionWasReloaded(section);
    announceChange();
}

void PLRLayoutManager::removeSection(PLRSection* section)
{
    if (plr::tree::indexOfSection(m_layout, section) < 0) {
        PLR_LOG_WARN(QStringLiteral("removeSection: the section is not in the layout; nothing removed"));
        return;
    }
    QSet<const PLRBlock*> blocks;
    plr::tree::forEachBlock(section, [&](PLRBlock* block) { blocks.insert(block); });
    forgetBlocks(blocks);
    if (m_selectedSection == section)
        selectSection(nullptr);
    // The call-backs above may have changed the layout: find the section again.
    const int index = plr::tree::indexOfSection(m_layout, section);
    if (index < 0)
        return;
    PLRSection* raw = nullptr;
    m_layout->mutable_sections()->ExtractSubrange(index, 1, &raw);
    const std::unique_ptr<PLRSection> removed(raw);   // alive until the views have let go of it
    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
        proxy->layoutWasReloaded();
    announceChange();
}

// --- Editing state ------------------------------------------------------------------------------

void PLRLayoutManager::selectBlocks(const QList<PLRBlock*>& blocks)
{
    PLR_ASSERT_MAIN_THREAD();
    QSet<const PLRBlock*> inLayout;
    if (!blocks.isEmpty())
        plr::tree::forEachBlock(m_layout, [&](PLRBlock* block) { inLayout.insert(block); });
    QList<PLRBlock*> selection;
    for (PLRBlock* block : blocks) {
        if (inLayout.contains(block) && !selection.contains(block))
            selection.append(block);
    }
    m_selectedBlocks = selection;
    const auto proxies = m_interactionProxies;
    for (PLRLayoutManagerInteractionProxy* proxy : proxies) {
        if (m_interactionProxies.contains(proxy))
            proxy->layoutManagerDidSelectBlocks(this, selection);
    }
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies())
        proxy->managerDidSelectBlocks(selection);
}

void PLRLayoutManager::deSelectAllBlocks()
{
    selectBlocks({});
}

void PLRLayoutManager::setEditBlock(PLRBlock* block)
{
    PLR_ASSERT_MAIN_THREAD();
    if (block == m_editBlock)
        return;
    if (block && !containsBlock(block)) {
        PLR_LOG_WARN(QStringLiteral("setEditBlock: the block is not in the layout; ignored"));
        return;
    }
    m_editBlock = block;
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies())
        proxy->managerDidSetEditBlock(block);
    if (!block && m_hoverBlock)
        return;
    const bool blank = block && block->has_blank();
    const auto proxies = m_interactionProxies;
    for (PLRLayoutManagerInteractionProxy* proxy : proxies) {
        if (!m_interactionProxies.contains(proxy))
            continue;
        const auto role = proxy->interactionProxyRole();
        if (blank && (role == PLRLayoutManagerInteractionProxy::Role::Inspector
                      || role == PLRLayoutManagerInteractionProxy::Role::BlockProperties))
            continue;
        proxy->layoutManagerDidSetEditBlock(this, block);
    }
}

void PLRLayoutManager::editBlockDidChangeStructure()
{
    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout()) {
        proxy->layoutDidChange();
        proxy->managerEditBlockDidChangeStructure();
    }
}

void PLRLayoutManager::setHoverBlock(PLRBlock* block)
{
    if (block == m_hoverBlock)
        return;
    if (block && !containsBlock(block)) {
        PLR_LOG_DEBUG(QStringLiteral("setHoverBlock: the block is not in the layout; ignored"));
        return;
    }
    m_hoverBlock = block;
    const auto proxies = m_interactionProxies;
    for (PLRLayoutManagerInteractionProxy* proxy : proxies) {
        if (m_interactionProxies.contains(proxy))
            proxy->layoutManagerDidHoverBlock(this, block);
    }
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies())
        proxy->managerDidHoverBlock(block);
}

void PLRLayoutManager::selectSection(PLRSection* section)
{
    if (section == m_selectedSection)
        return;
    if (section && plr::tree::indexOfSection(m_layout, section) < 0) {
        PLR_LOG_WARN(QStringLiteral("selectSection: the section is not in the layout; ignored"));
        return;
    }
    m_selectedSection = section;
    const auto proxies = m_interactionProxies;
    for (PLRLayoutManagerInteractionProxy* proxy : proxies) {
        if (m_interactionProxies.contains(proxy))
            proxy->layoutManagerDidSelectSection(this, section);
    }
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies())
        proxy->managerDidSelectSection(section);
}

// --- Recycler -----------------------------------------------------------------------------------

PLRBlock* PLRLayoutManager::recyclerTargetBlock() const
{
    if (m_selectedBlocks.size() != 1)
        return nullptr;
    const QList<PLRBlock*> path = pathFromSectionToBlock(m_selectedBlocks.first());
    if (path.isEmpty() || !path.first()->has_container())
        return nullptr;
    PLRBlock* top = path.first();
    int images = 0;
    bool onlyImages = true;
    plr::tree::forEachBlock(top, [&](PLRBlock* block) {
        if (block->has_image())
            ++images;
        else if (!block->has_container())
            onlyImages = false;
    });
    return onlyImages && (images == 2 || images == 3) ? top : nullptr;
}

bool PLRLayoutManager::isSelectedBlockValidForCycler() const
{
    return recyclerTargetBlock() != nullptr;
}

bool PLRLayoutManager::recycleSelectedBlock()
{
    PLR_ASSERT_MAIN_THREAD();
    PLRBlock* top = recyclerTargetBlock();
    if (!top)
        return false;
    const BlockLocation location = locateBlock(top);
    PLRBlock* selected = m_selectedBlocks.first();

    QSet<const PLRBlock*> innerContainers;
    plr::tree::forEachBlock(top, [&](PLRBlock* block) {
        if (block != top && block->has_container())
            innerContainers.insert(block);
    });
    // A selected inner container hands the selection to the group (below), without an empty
    // selection in between.
    const bool selectionGoes = innerContainers.remove(selected);
    forgetBlocks(innerContainers);

    int imageCount = 0;
    plr::tree::forEachBlock(top, [&](PLRBlock* block) { imageCount += block->has_image() ? 1 : 0; });
    const QStringList& arrangements = arrangementsForImageCount(imageCount);
    const int current = int(arrangements.indexOf(arrangementOf(*top)));
    const QString next = arrangements.at((current + 1) % arrangements.size());

    std::deque<PLRBlockPtr> images;
    std::vector<PLRBlockPtr> graveyard;
    takeImages(top, images, graveyard);
    qsizetype position = 0;
    arrange(top, next, position, images);

    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
        proxy->blockWasReplaced(location.section, top, top);
    if (selectionGoes)
        selectBlocks({top});
    announceChange();
    return true;
}

void PLRLayoutManager::setShouldShowRecyclerHighlight(bool show)
{
    if (show == m_showRecyclerHighlight)
        return;
    m_showRecyclerHighlight = show;
    emit shouldShowRecyclerHighlightChanged(show);
}

// --- Flags --------------------------------------------------------------------------------------

void PLRLayoutManager::setLayoutIsBeingExported(bool exported)
{
    if (exported == m_beingExported)
        return;
    m_beingExported = exported;
    emit layoutIsBeingExportedChanged(exported);
}

void PLRLayoutManager::setImageKeywordOverlayEnabled(bool enabled)
{
    if (enabled == m_keywordOverlay)
        return;
    m_keywordOverlay = enabled;
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies()) {
        if (PLRLayoutView* view = proxy->layoutView())
            view->update();
    }
    emit imageKeywordOverlayEnabledChanged(enabled);
}

// --- Proxies ------------------------------------------------------------------------------------

void PLRLayoutManager::addInteractionProxy(PLRLayoutManagerInteractionProxy* proxy)
{
    if (!proxy || m_interactionProxies.contains(proxy))
        return;
    m_interactionProxies.append(proxy);
    proxy->m_joinedManagers.append(this);
}

void PLRLayoutManager::removeInteractionProxy(PLRLayoutManagerInteractionProxy* proxy)
{
    if (!proxy || !m_interactionProxies.removeAll(proxy))
        return;
    proxy->m_joinedManagers.removeIf([this](const QPointer<PLRLayoutManager>& m) { return m.data() == this || m.isNull(); });
}

void PLRLayoutManager::addLayoutViewProxy(PLRLayoutViewProxy* proxy)
{
    if (!proxy || currentLayoutProxies().contains(proxy))
        return;
    m_layoutViewProxies.append(proxy);
}

void PLRLayoutManager::removeLayoutViewProxy(PLRLayoutViewProxy* proxy)
{
    m_layoutViewProxies.removeIf([proxy](const QPointer<PLRLayoutViewProxy>& p) { return p.isNull() || p.data() == proxy; });
}

QList<PLRLayoutViewProxy*> PLRLayoutManager::currentLayoutProxies() const
{
    QList<PLRLayoutViewProxy*> proxies;
    for (const QPointer<PLRLayoutViewProxy>& proxy : m_layoutViewProxies) {
        if (proxy)
            proxies.append(proxy.data());
    }
    return proxies;
}

QList<PLRLayoutViewProxy*> PLRLayoutManager::proxiesOfRepresentedLayout() const
{
    QList<PLRLayoutViewProxy*> proxies = currentLayoutProxies();
    proxies.removeIf([this](PLRLayoutViewProxy* proxy) { return proxy->layout() != m_layout; });
    return proxies;
}

PLRLayoutViewProxy* PLRLayoutManager::liveLayoutViewProxy() const
{
    for (PLRLayoutViewProxy* proxy : currentLayoutProxies()) {
        if (proxy->isLive())
            return proxy;
    }
    return nullptr;
}

void PLRLayoutManager::announceChange()
{
    updateUseCounts(false);
    for (PLRLayoutViewProxy* proxy : proxiesOfRepresentedLayout())
        proxy->layoutDidChange();
    platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE), this);
    // A post's layout is written a few seconds after its last edit.
    if (m_postManager)
        PLRCoreManager::saveSoon();
}

platform::ui::Color PLRLayoutManager::backgroundColourForLayout(const PLRLayout& layout)
{
    if (!layout.has_background_colour())
        return platform::ui::Color::white();
    const PLRColour& colour = layout.background_colour();
    return platform::ui::Color(colourComponent(colour.r()), colourComponent(colour.g()), colourComponent(colour.b()), 1.0);
}

double PLRLayoutManager::widthValueForTextWidth(qint64 index)
{
    switch (index) {
    case 0: return 0.3;
    case 1: return 0.5;
    case 2: return 0.7;
    case 3: return 1.0;
    case 4: return -1.0;
    default: return 1.0;
    }
}

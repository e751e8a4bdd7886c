#include "layout/base/PLRLayoutTree.h"

#include <QHash>

#include <algorithm>

#include <vector>

namespace plr::tree {

BlockList* BlockLocation::siblings() const
{
    if (!section)
        return nullptr;
    return parent ? parent->mutable_container()->mutable_sub_blocks() : section->mutable_blocks();
}

namespace {

struct Frame {
    PLRBlock* block;
    int depth;
    PLRBlock* parent;
    int index;
};

} // namespace

BlockLocation locate(PLRLayout* layout, const PLRBlock* block)
{
    BlockLocation location;
    if (!layout || !block)
        return location;
    std::vector<Frame> stack;
    QList<PLRBlock*> path;
    for (int s = 0; s < layout->sections_size(); ++s) {
        PLRSection* section = layout->mutable_sections(s);
        stack.clear();
        for (int i = section->blocks_size() - 1; i >= 0; --i)
            stack.push_back({section->mutable_blocks(i), 0, nullptr, i});
        path.clear();
        while (!stack.empty()) {
            const Frame frame = stack.back();
            stack.pop_back();
            path.resize(frame.depth);
            path.append(frame.block);
            if (frame.block == block) {
                location.section = section;
                location.sectionIndex = s;
                location.parent = frame.parent;
                location.index = frame.index;
                location.path = path;
                return location;
            }
            if (frame.block->has_container()) {
                auto* subs = frame.block->mutable_container()->mutable_sub_blocks();
                for (int i = subs->size() - 1; i >= 0; --i)
                    stack.push_back({subs->Mutable(i), frame.depth + 1, frame.block, i});
            }
        }
    }
    return location;
}

int indexOfSection(const PLRLayout* layout, const PLRSection* section)
{
    if (!layout || !section)
        return -1;
    for (int s = 0; s < layout->sections_size(); ++s) {
        if (&layout->sections(s) == section)
            return s;
    }
    return -1;
}

void forEachBlock(PLRBlock* block, const std::function<void(PLRBlock*)>& visit)
{
    if (!block)
        return;
    std::vector<PLRBlock*> stack{block};
    while (!stack.empty()) {
        PLRBlock* current = stack.back();
        stack.pop_back();
        visit(current);
        if (current->has_container()) {
            auto* subs = current->mutable_container()->mutable_sub_blocks();
            for (int i = subs->size() - 1; i >= 0; --i)
                stack.push_back(subs->Mutable(i));
        }
    }
}

void forEachBlock(PLRSection* section, const std::function<void(PLRBlock*)>& visit)
{
    if (!section)
        return;
    for (PLRBlock& block : *section->mutable_blocks())
        forEachBlock(&block, visit);
}

void forEachBlock(PLRLayout* layout, const std::function<void(PLRBlock*)>& visit)
{
    if (!layout)
        return;
    for (PLRSection& section : *layout->mutable_sections())
        forEachBlock(&section, visit);
}

bool isInSubtree(const PLRBlock* root, const PLRBlock* candidate)
{
    if (!root || !candidate)
        return false;
    bool found = false;
    forEachBlock(const_cast<PLRBlock*>(root), [&](PLRBlock* block) {
        if (block == candidate)
            found = true;
    });
    return found;
}

PLRBlock* insertAt(BlockList* list, int index, std::unique_ptr<PLRBlock> block)
{
    if (!list || !block)
        return nullptr;
    PLRBlock* raw = block.release();
    list->AddAllocated(raw);
    const int clamped = std::clamp(index, 0, list->size() - 1);
    for (int i = list->size() - 1; i > clamped; --i)
        list->SwapElements(i, i - 1);
    return raw;
}

std::unique_ptr<PLRBlock> extractAt(BlockList* list, int index)
{
    if (!list || index < 0 || index >= list->size())
        return nullptr;
    PLRBlock* extracted = nullptr;
    list->ExtractSubrange(index, 1, &extracted);
    return std::unique_ptr<PLRBlock>(extracted);
}

QHash<QString, qint64> imageUseCounts(const PLRLayout& layout)
{
    QHash<QString, qint64> counts;
    forEachBlock(const_cast<PLRLayout*>(&layout), [&](PLRBlock* block) {
        if (block->has_image() && !block->image().img_ref().empty())
            ++counts[QString::fromStdString(block->image().img_ref())];
    });
    return counts;
}

} // namespace plr::tree

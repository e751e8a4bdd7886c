#pragma once

// Walking and reshaping the block tree of a layout document. Blocks are identified by their
// address: moving a block with these helpers keeps the same object (and so the same address),
// which is what lets the views, the selection and the canvas hold on to blocks across edits.

#include "store/model/PLRLayoutDocument.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>

namespace plr::tree {

using BlockList = google::protobuf::RepeatedPtrField<PLRBlock>;

// Where a block stands in a layout.
struct BlockLocation {
    PLRSection* section = nullptr;
    int sectionIndex = -1;
    PLRBlock* parent = nullptr;   // the container holding the block; null at the top level
    int index = -1;               // the block's index among its siblings
    QList<PLRBlock*> path;        // from the section's top-level block down to the block itself

    bool isValid() const { return section != nullptr; }
    // The list the block is an element of.
    BlockList* siblings() const;
};

// The location of `block` in `layout`; invalid when the block is in no section of it.
BlockLocation locate(PLRLayout* layout, const PLRBlock* block);
// The index of the section in the layout, -1 when it is not one of the layout's sections.
int indexOfSection(const PLRLayout* layout, const PLRSection* section);

// Calls `visit` for the block and every block below it, parents before children.
void forEachBlock(PLRBlock* block, const std::function<void(PLRBlock*)>& visit);
void forEachBlock(PLRSection* section, const std::function<void(PLRBlock*)>& visit);
void forEachBlock(PLRLayout* layout, const std::function<void(PLRBlock*)>& visit);
// True when `candidate` is `root` or one of the blocks below it.
bool isInSubtree(const PLRBlock* root, const PLRBlock* candidate);

// Inserts the block at the index (clamped to the list) and returns it (same address).
PLRBlock* insertAt(BlockList* list, int index, std::unique_ptr<PLRBlock> block);
// Takes the block at the index out of the list (same address); null for a bad index.
std::unique_ptr<PLRBlock> extractAt(BlockList* list, int index);

// How many image blocks use each image identifier.
QHash<QString, qint64> imageUseCounts(const PLRLayout& layout);

} // namespace plr::tree

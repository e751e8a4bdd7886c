#pragma once

// One edit of a layout as a difference, block by block, that can be put back or done again on
// the layout as it stands later, when other changes have been made since.
//
// A layout is seen as blocks by identifier: what each block holds of its own (its fields, the
// blocks inside a container left out), where it stands (a section's top level or a container)
// and, for every section and container, its blocks in order. The difference of two such states
// names the blocks that came, went or moved, with the lists they left and joined, and each
// field of a block that changed, with its value before and after.
//
// Applying a difference to the layout as it is now is a three-way merge: what the difference
// changed is changed, what has changed since stays.
// - A field goes to its new value only while it still holds the old one: a later change of the
//   same field stays.
// - Blocks that came are made, blocks that went are taken out (any block put inside them since
//   takes their place), blocks that moved go to their new list, placed after the nearest block
//   that preceded them there (else before the nearest one that followed). Blocks are found by
//   identifier wherever they stand now.
// - A block the difference changes or moves that is no longer in the layout stays gone: its
//   removal was later work, which is not taken back (logged). Blocks meant to go into a
//   container that is gone stay where they are, or go to the end of the last section.
// - A container left with one block by the merge is dissolved and one left empty is removed, as
//   removing a block does, unless the difference's own end state has it so.
// - Sections are added at the end when the difference adds them, and taken away from the end
//   when it takes them away and they are empty; a section that holds blocks put there since
//   stays.
// Applying answers the difference it made in fact, whose reverse takes exactly that back.

#include "store/model/PLRLayoutDocument.h"

#include <QPointer>
#include <QString>

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <vector>

class PLRLayoutManager;

namespace platform {
class UndoManager;
}

// Where a block stands: the top level of a section (its index), or a container (its identifier).
struct PLRBlockParent {
    int section = -1;        // -1 inside a container
    std::string container;   // empty at a section's top level

    static PLRBlockParent ofSection(int index) { return {index, {}}; }
    static PLRBlockParent ofContainer(const std::string& identifier) { return {-1, identifier}; }
    bool isSection() const { return section >= 0; }
    auto operator<=>(const PLRBlockParent& other) const = default;
};

// The layout as blocks by identifier (see above).
class PLRLayoutState {
public:
    struct Block {
        PLRBlockParent parent;
        std::string own;   // the block's message bytes, the blocks inside it left out
    };

    static PLRLayoutState capture(const PLRLayout& layout);

    // Gives a fresh identifier to every block without one, or whose identifier an earlier block
    // of the layout has (a layout read from a file may hold such blocks): blocks are told apart
    // by identifier. Answers how many it changed (logged).
    static int giveBlocksUniqueIdentifiers(PLRLayout* layout);

    std::vector<std::string> sections;   // each section's message bytes, its blocks left out
    std::map<std::string, Block> blocks;
    std::map<PLRBlockParent, std::vector<std::string>> lists;
};

class PLRLayoutChange {
public:
    // One field of a block: its path from the block ("aspect_ratio", "image.position.x"; a
    // message's presence is "image.position?"), and its value on either side (none: absent).
    struct Field {
        std::string path;
        std::optional<std::string> from;
        std::optional<std::string> to;
    };
    struct BlockChange {
        std::optional<PLRLayoutState::Block> from;   // none: not in the layout before
        std::optional<PLRLayoutState::Block> to;     // none: not in the layout after
        bool moves = false;                          // came, went, or changed its place
        std::vector<Field> fields;
    };
    struct Lists {
        std::optional<std::vector<std::string>> from;
        std::optional<std::vector<std::string>> to;
    };

    PLRLayoutChange() = default;
    static PLRLayoutChange between(const PLRLayoutState& before, const PLRLayoutState& after);

    bool isEmpty() const;
    // The same change the other way round.
    PLRLayoutChange reversed() const;
    // Only the changes of one block's fields under the paths (a path names itself and what lies
    // under it: "image.position" takes in "image.position?" and "image.position.x"; no path:
    // all of them).
    PLRLayoutChange restrictedTo(const std::string& blockId, const std::vector<std::string>& fieldPaths) const;

    // Applies the change to the manager's layout as it stands now (see above) and answers the
    // change made in fact (empty when nothing changed).
    PLRLayoutChange applyTo(PLRLayoutManager* manager) const;

    const std::map<std::string, BlockChange>& blocks() const { return m_blocks; }
    int sectionCountBefore() const { return int(m_sectionsFrom.size()); }
    int sectionCountAfter() const { return int(m_sectionsTo.size()); }

private:
    std::vector<std::string> m_sectionsFrom;
    std::vector<std::string> m_sectionsTo;
    std::map<std::string, BlockChange> m_blocks;
    std::map<PLRBlockParent, Lists> m_lists;
};

// Records one undoable edit of a layout: made before the edit, committed after it. The commit
// registers, in an undo group of its own with the action name, an undo that applies the
// reverse of the edit's change to the layout as it stands then, and registers as its redo the
// reverse of what it changed in fact (and so on, undo after redo).
class PLRLayoutChangeRecorder {
public:
    PLRLayoutChangeRecorder() = default;
    PLRLayoutChangeRecorder(PLRLayoutManager* manager, platform::UndoManager* undoManager, const QString& actionName);

    bool isActive() const { return m_active; }

    // Only these fields of this block make the change (an edit that lasts a while, during which
    // other changes of the layout, and of other fields of the block, are no part of it).
    void restrictTo(const PLRBlock* block, std::vector<std::string> fieldPaths);

    // After the edit: registers the undo; nothing when nothing changed (unless `evenIfUnchanged`)
    // or while an undo or redo runs. Answers whether it registered.
    bool commit(bool evenIfUnchanged = false);
    void cancel() { m_active = false; }
    // Takes back what changed since the recorder was made, without recording, and ends it.
    void rollBack();

    // Registers on `undoManager` an action that applies `change` and registers what takes back
    // what it did, under the same name.
    static void registerApply(platform::UndoManager* undoManager, PLRLayoutManager* manager, const PLRLayoutChange& change,
                              const QString& actionName);

private:
    PLRLayoutChange change() const;

    QPointer<PLRLayoutManager> m_manager;
    QPointer<platform::UndoManager> m_undoManager;
    PLRLayoutState m_before;
    QString m_actionName;
    std::optional<std::string> m_scopeBlock;
    std::vector<std::string> m_scopeFields;
    bool m_active = false;
};

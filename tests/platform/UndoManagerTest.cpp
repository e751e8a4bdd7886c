// The undo manager: groups, names, the redo stack filled while undoing, levels, targets.

#include "TestSupport.h"

#include "platform/UndoManager.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using platform::UndoManager;

namespace {

// A counter whose changes undo themselves through the manager, as an editor's changes do.
struct Counter {
    UndoManager* undo;
    int value = 0;
    void add(int amount)
    {
        value += amount;
        undo->registerUndo([this, amount] { add(-amount); });
    }
};

} // namespace

TEST(UndoManager, GroupsUndoAndRedoInOrderWithTheirNames)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Counter counter{&undo};
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.undoMenuItemTitle(), "Undo");

    undo.beginUndoGrouping();
    counter.add(1);
    counter.add(10);
    undo.setActionName("Add");
    undo.endUndoGrouping();
    undo.beginUndoGrouping();
    undo.beginUndoGrouping();   // nested: joins the outer group
    counter.add(100);
    undo.endUndoGrouping();
    EXPECT_EQ(undo.groupingLevel(), 1);
    undo.setActionName("Big");
    undo.endUndoGrouping();
    EXPECT_EQ(counter.value, 111);
    EXPECT_EQ(undo.undoCount(), 2);
    EXPECT_EQ(undo.undoMenuItemTitle(), "Undo Big");

    // Undoing records the reverse on the redo stack, under the same name.
    QSignalSpy willUndo(&undo, &UndoManager::willUndo);
    bool sawUndoing = false;
    undo.registerUndo(nullptr, {});   // an empty action is ignored
    undo.beginUndoGrouping();
    undo.registerUndo([&] { sawUndoing = undo.isUndoing() && !undo.isRedoing(); });
    undo.endUndoGrouping();
    undo.undo();
    EXPECT_TRUE(sawUndoing);
    EXPECT_FALSE(undo.isUndoing());
    EXPECT_FALSE(undo.canRedo());   // that group registered nothing: nothing to redo
    undo.undo();
    EXPECT_EQ(counter.value, 11);
    EXPECT_EQ(undo.redoMenuItemTitle(), "Redo Big");
    undo.undo();
    EXPECT_EQ(counter.value, 0);
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.redoCount(), 2);
    EXPECT_EQ(willUndo.count(), 3);

    // Redo goes back up, registering undos again without clearing the redo stack.
    undo.redo();
    EXPECT_EQ(counter.value, 11);
    EXPECT_TRUE(undo.canRedo());
    EXPECT_EQ(undo.undoActionName(), "Add");
    undo.redo();
    EXPECT_EQ(counter.value, 111);
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    EXPECT_EQ(counter.value, 11);

    // A new change outside undo and redo drops what could be redone.
    undo.beginUndoGrouping();
    counter.add(5);
    undo.endUndoGrouping();
    EXPECT_FALSE(undo.canRedo());
    undo.undo();
    undo.undo();
    EXPECT_EQ(counter.value, 0);

    // Undo is refused while the caller's own group is open.
    undo.beginUndoGrouping();
    counter.add(3);
    undo.undo();
    EXPECT_EQ(counter.value, 3);
    undo.endUndoGrouping();

    undo.removeAllActions();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(undo.canRedo());
    EXPECT_EQ(undo.groupingLevel(), 0);
}

TEST(UndoManager, GroupsByEventLevelsTargetsAndDisabledRegistration)
{
    UndoManager undo;
    Counter counter{&undo};
    // Without a group, the registrations of one turn of the event loop form one group.
    counter.add(1);
    counter.add(2);
    EXPECT_EQ(undo.groupingLevel(), 1);
    EXPECT_TRUE(undo.canUndo());
    testing_support::drainEvents();
    EXPECT_EQ(undo.groupingLevel(), 0);
    counter.add(4);
    testing_support::drainEvents();
    EXPECT_EQ(undo.undoCount(), 2);
    // undo() closes this turn's group itself.
    counter.add(8);
    undo.undo();
    EXPECT_EQ(counter.value, 7);

    // Levels keep the newest groups.
    undo.removeAllActions();
    undo.setGroupsByEvent(false);
    undo.setLevelsOfUndo(2);
    for (int i = 0; i < 4; ++i) {
        undo.beginUndoGrouping();
        counter.add(100);
        undo.endUndoGrouping();
    }
    EXPECT_EQ(undo.undoCount(), 2);
    undo.undo();
    undo.undo();
    undo.undo();   // nothing left
    EXPECT_EQ(counter.value, 7 + 200);

    // Without groupsByEvent a registration outside a group is dropped.
    undo.setLevelsOfUndo(0);
    undo.removeAllActions();
    counter.add(1);
    EXPECT_FALSE(undo.canUndo());

    // Actions of a destroyed target are skipped; removing a target's actions drops them.
    int calls = 0;
    auto target = std::make_unique<QObject>();
    QObject keeper;
    undo.beginUndoGrouping();
    undo.registerUndo(target.get(), [&] { calls += 1; });
    undo.registerUndo(&keeper, [&] { calls += 10; });
    undo.endUndoGrouping();
    target.reset();
    undo.undo();
    EXPECT_EQ(calls, 10);
    undo.beginUndoGrouping();
    undo.registerUndo(&keeper, [&] { calls += 100; });
    undo.endUndoGrouping();
    undo.removeAllActionsWithTarget(&keeper);
    EXPECT_FALSE(undo.canUndo());

    // Disabled registration records nothing.
    undo.disableUndoRegistration();
    undo.beginUndoGrouping();
    counter.add(1);
    undo.endUndoGrouping();
    EXPECT_FALSE(undo.canUndo());
    undo.enableUndoRegistration();
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
}

TEST(UndoManager, OneManagerPerOwnerGoesWithTheOwner)
{
    auto owner = std::make_unique<QObject>();
    UndoManager* first = UndoManager::forOwner(owner.get());
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(UndoManager::forOwner(owner.get()), first);
    QObject other;
    EXPECT_NE(UndoManager::forOwner(&other), first);
    EXPECT_EQ(UndoManager::forOwner(nullptr), nullptr);
    QSignalSpy destroyed(first, &QObject::destroyed);
    owner.reset();
    EXPECT_EQ(destroyed.count(), 1);
}

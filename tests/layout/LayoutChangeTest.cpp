// A layout edit recorded as a change and undone or redone on the layout as it stands later:
// what the step changed goes back and comes again, what changed since stays, blocks are found by
// identifier wherever they are, and nothing is lost or brought back that later work removed.

#include "LayoutTestSupport.h"

#include "layout/base/PLRLayoutChange.h"
#include "layout/base/PLRLayoutTree.h"
#include "platform/UndoManager.h"

#include <gtest/gtest.h>

using layout_test::containerOf;
using layout_test::FakeImageProvider;
using layout_test::imageBlock;
using layout_test::list;

namespace {

class LayoutChangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        layout.add_sections()->mutable_stacked();
        manager = std::make_unique<PLRLayoutManager>(&layout);
        manager->setImageProvider(std::make_unique<FakeImageProvider>());
    }

    PLRSection* section(int index = 0) { return layout.mutable_sections(index); }
    PLRBlock* add(PLRBlockPtr block, int sectionIndex = 0) { return manager->addBlock(std::move(block), nullptr, section(sectionIndex)); }
    PLRBlock* find(const std::string& id)
    {
        PLRBlock* found = nullptr;
        plr::tree::forEachBlock(&layout, [&](PLRBlock* block) {
            if (block->id() == id)
                found = block;
        });
        return found;
    }
    // The layout's blocks as text: image references (or "text", "button"), rows as (..),
    // columns as [..], sections joined by " | ".
    QString describe()
    {
        QStringList sections;
        for (const PLRSection& s : layout.sections()) {
            QStringList blocks;
            std::function<QString(const PLRBlock&)> name = [&](const PLRBlock& block) -> QString {
                if (block.has_container()) {
                    QStringList inside;
                    for (const PLRBlock& sub : block.container().sub_blocks())
                        inside.append(name(sub));
                    return (block.container().vert() ? "[" : "(") + inside.join(' ') + (block.container().vert() ? "]" : ")");
                }
                if (block.has_image())
                    return QString::fromStdString(block.image().img_ref());
                return block.has_text() ? QStringLiteral("text") : QStringLiteral("button");
            };
            for (const PLRBlock& block : s.blocks())
                blocks.append(name(block));
            sections.append(blocks.join(' '));
        }
        return sections.join(QStringLiteral(" | "));
    }
    // Records what `edit` does as one undo step.
    void step(const std::function<void()>& edit, const QString& name = QStringLiteral("Step"))
    {
        PLRLayoutChangeRecorder recorder(manager.get(), &undo, name);
        edit();
        ASSERT_TRUE(recorder.commit());
    }
    QByteArray bytes() const { return plr::data(layout); }

    PLRLayout layout;
    std::unique_ptr<PLRLayoutManager> manager;
    platform::UndoManager undo;
};

} // namespace

// Field by field: the step's own fields go back while they hold the step's values; other fields
// of the same blocks, and a later value of the step's own field, stay.
TEST_F(LayoutChangeTest, AStepsFieldsGoBackAndComeAgainAroundLaterChangesOfTheSameBlocks)
{
    const std::string a = add(imageBlock("a"))->id();
    PLRBlockPtr made = PLRLayoutManager::newBlock_Text();
    made->mutable_text()->set_value("Harbour");
    const std::string t = add(std::move(made))->id();
    step([&] {
        find(a)->set_aspect_ratio(1.0f);
        find(a)->mutable_image()->mutable_position()->set_x(-0.25f);
        find(t)->mutable_text()->set_value("Harbour lights");
        manager->announceChange();
    });
    // Later, outside the undo list: other fields of both blocks, and the text once more.
    find(a)->mutable_image()->mutable_interaction()->set_href("https://example.com/a");
    find(a)->mutable_image()->set_source_last_updated("1700000000");
    find(t)->mutable_text()->set_style(PLRBlock_Text::HEADER3);
    find(t)->mutable_text()->set_value("Harbour lights at night");
    manager->announceChange();

    for (int round = 0; round < 5; ++round) {
        undo.undo();
        EXPECT_FLOAT_EQ(find(a)->aspect_ratio(), 0.0f) << round;
        EXPECT_FALSE(find(a)->image().has_position()) << round;
        EXPECT_EQ(find(a)->image().interaction().href(), "https://example.com/a") << round;
        EXPECT_EQ(find(a)->image().source_last_updated(), "1700000000") << round;
        EXPECT_EQ(find(t)->text().value(), "Harbour lights at night") << round;   // changed since: stays
        EXPECT_EQ(find(t)->text().style(), PLRBlock_Text::HEADER3) << round;
        ASSERT_TRUE(undo.canRedo());
        undo.redo();
        EXPECT_FLOAT_EQ(find(a)->aspect_ratio(), 1.0f) << round;
        EXPECT_FLOAT_EQ(find(a)->image().position().x(), -0.25f) << round;
        EXPECT_EQ(find(a)->image().interaction().href(), "https://example.com/a") << round;
        EXPECT_EQ(find(t)->text().value(), "Harbour lights at night") << round;
        EXPECT_EQ(find(t)->text().style(), PLRBlock_Text::HEADER3) << round;
        ASSERT_TRUE(undo.canUndo());
    }
}

// Moves between sections and blocks put in since: the moved block goes back after the block it
// followed, wherever that block and the others stand now, and a section made by the step stays
// while a block put there since holds it.
TEST_F(LayoutChangeTest, MovesAndAddedSectionsAreUndoneAroundBlocksPutInSince)
{
    layout.add_sections()->mutable_stacked();
    add(imageBlock("a"));
    const std::string b = add(imageBlock("b"))->id();
    add(imageBlock("c"));
    add(imageBlock("x"), 1);
    step([&] { manager->insertBlocks(list(manager->removeBlock(find(b), false)), 1, nullptr, section(1)); }, "Move Block");
    ASSERT_EQ(describe(), "a c | x b");
    manager->insertBlock(imageBlock("new"), 0, nullptr, section(0));   // outside the undo list
    manager->insertBlock(imageBlock("late"), 1, nullptr, section(1));

    for (int round = 0; round < 3; ++round) {
        undo.undo();
        EXPECT_EQ(describe(), "new a b c | x late") << round;
        undo.redo();
        EXPECT_EQ(describe(), "new a c | x late b") << round;
    }

    // A step that makes a section for its block.
    step([&] { manager->addBlock(imageBlock("d"), nullptr, manager->addNewSection()); }, "Add Image");
    undo.undo();
    EXPECT_EQ(layout.sections_size(), 2);
    undo.redo();
    ASSERT_EQ(describe(), "new a c | x late b | d");
    manager->addBlock(imageBlock("auto"), nullptr, section(2));   // as new photos are added
    undo.undo();
    EXPECT_EQ(describe(), "new a c | x late b | auto");   // the section holds later work: it stays
    undo.redo();
    EXPECT_EQ(describe(), "new a c | x late b | d auto");
}

// What later work removed stays removed: the undo of a step that touched it neither fails nor
// brings it back, and the rest of the step is undone; a block whose container is gone stays
// where it is.
TEST_F(LayoutChangeTest, BlocksRemovedSinceStayRemovedAndTheRestOfTheStepIsUndone)
{
    const std::string a = add(imageBlock("a"))->id();
    const std::string b = add(imageBlock("b"))->id();
    PLRBlock* row = add(containerOf(false, list(imageBlock("c"), imageBlock("d"), imageBlock("e"))));
    const std::string rowId = row->id();
    const std::string e = row->container().sub_blocks(2).id();
    step([&] {
        find(a)->set_aspect_ratio(2.0f);
        find(b)->set_aspect_ratio(2.0f);
        manager->addBlock(imageBlock("f"), nullptr, section());
        manager->insertBlocks(list(manager->removeBlock(find(e), false)), 0, nullptr, section());
        manager->announceChange();
    });
    ASSERT_EQ(describe(), "e a b (c d) f");
    manager->removeBlock(find(a), false);        // later work, outside the undo list
    manager->removeBlock(find(rowId), false);    // e's row, with c and d

    undo.undo();
    EXPECT_EQ(find(a), nullptr);
    EXPECT_EQ(find(rowId), nullptr);
    EXPECT_FLOAT_EQ(find(b)->aspect_ratio(), 0.0f);
    EXPECT_EQ(describe(), "e b");   // f taken out; e stays where it is, its row being gone
    undo.redo();
    EXPECT_EQ(find(a), nullptr);
    EXPECT_FLOAT_EQ(find(b)->aspect_ratio(), 2.0f);
    EXPECT_EQ(describe(), "e b f");
}

// Containers: one left with a single block by an undo is dissolved, one left empty removed, as
// removing a block does; one the step itself left with a single block (a last photo of an
// automatic layout) comes back so; a column made since (the recycle tile's) goes and comes
// with the blocks it holds; a container the step made and later work filled leaves those
// blocks, in their order, where it stood.
TEST_F(LayoutChangeTest, ContainersFollowTheRulesOfRemovingABlockUnlessTheStepLeftThemSo)
{
    PLRBlock* row = add(containerOf(false, list(imageBlock("a"), imageBlock("b"))));
    manager->selectBlocks({row});
    step([&] { manager->insertBlocksBeside(list(imageBlock("c")), find(row->container().sub_blocks(1).id()), true); }, "Add Image");
    ASSERT_EQ(describe(), "(a b c)");
    ASSERT_TRUE(manager->recycleSelectedBlock());   // outside the undo list
    ASSERT_EQ(describe(), "(a [b c])");
    undo.undo();
    EXPECT_EQ(describe(), "(a b)");
    undo.redo();
    EXPECT_EQ(describe(), "(a [b c])");

    step([&] { add(containerOf(false, list(imageBlock("alone")))); }, "Auto Layout");
    const QByteArray built = bytes();
    undo.undo();
    EXPECT_EQ(describe(), "(a [b c])");
    undo.redo();
    EXPECT_EQ(describe(), "(a [b c]) (alone)");
    EXPECT_EQ(bytes(), built);

    // The step's container, filled since: undone, the blocks put in since take its place, in
    // their order; redone, they go back into it.
    PLRBlock* made = find(section()->blocks(1).id());
    manager->insertBlock(imageBlock("p"), 1, made, nullptr);   // outside the undo list
    manager->insertBlock(imageBlock("q"), 2, made, nullptr);
    ASSERT_EQ(describe(), "(a [b c]) (alone p q)");
    undo.undo();
    EXPECT_EQ(describe(), "(a [b c]) p q");
    undo.redo();
    EXPECT_EQ(describe(), "(a [b c]) (alone p q)");
}

// A layout read from a file may hold blocks without an identifier, or sharing one: each gets its
// own before a step is recorded, and the step is undone and redone without losing any block.
TEST_F(LayoutChangeTest, BlocksSharingOrLackingAnIdentifierGetTheirOwnAndNothingIsLost)
{
    for (const char* ref : {"a", "b", "c"}) {
        PLRBlock* block = section()->add_blocks();
        block->mutable_image()->set_img_ref(ref);
        block->set_id(std::string(ref) == "c" ? "" : "same");
    }
    const std::string first = section()->blocks(0).id();
    step([&] {
        section()->mutable_blocks(1)->set_aspect_ratio(1.5f);
        manager->addBlock(imageBlock("d"), nullptr, section());
    });
    std::set<std::string> ids;
    for (const PLRBlock& block : section()->blocks())
        ids.insert(block.id());
    EXPECT_EQ(ids.size(), 4u);
    EXPECT_FALSE(ids.contains(""));
    EXPECT_EQ(section()->blocks(0).id(), first);   // the first of a shared identifier keeps it
    undo.undo();
    EXPECT_EQ(describe(), "a b c");
    EXPECT_FLOAT_EQ(section()->blocks(1).aspect_ratio(), 0.0f);
    undo.redo();
    EXPECT_EQ(describe(), "a b c d");
    EXPECT_FLOAT_EQ(section()->blocks(1).aspect_ratio(), 1.5f);
}

#include "LayoutTestSupport.h"

#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <QObject>

#include <limits>

using layout_test::blankBlock;
using layout_test::containerOf;
using layout_test::FakeImageProvider;
using layout_test::imageBlock;
using layout_test::list;

namespace {

// Records the call-backs it gets, as text.
class RecordingProxy : public PLRLayoutManagerInteractionProxy {
public:
    explicit RecordingProxy(Role role = Role::Other) : m_role(role) {}
    Role interactionProxyRole() const override { return m_role; }
    void layoutManagerDidSelectBlocks(PLRLayoutManager*, const QList<PLRBlock*>& blocks) override
    {
        calls.append(QStringLiteral("select %1").arg(blocks.size()));
        lastSelection = blocks;
    }
    void layoutManagerDidSetEditBlock(PLRLayoutManager*, PLRBlock* block) override
    {
        calls.append(block ? QStringLiteral("edit") : QStringLiteral("edit none"));
    }
    void layoutManagerDidSelectSection(PLRLayoutManager*, PLRSection* section) override
    {
        calls.append(section ? QStringLiteral("section") : QStringLiteral("section none"));
    }
    void layoutManagerDidHoverBlock(PLRLayoutManager*, PLRBlock* block) override
    {
        calls.append(block ? QStringLiteral("hover") : QStringLiteral("hover none"));
    }
    QStringList calls;
    QList<PLRBlock*> lastSelection;

private:
    Role m_role;
};

class LayoutManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        layout.set_padding(10);
        layout.add_sections()->mutable_stacked();
        manager = std::make_unique<PLRLayoutManager>(&layout);
        auto fake = std::make_unique<FakeImageProvider>();
        provider = fake.get();
        manager->setImageProvider(std::move(fake));
        platform::NotificationCenter::defaultCenter().addObserver(
            &context, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE),
            [this](const platform::Notification& notification) {
                if (notification.object == manager.get())
                    ++changes;
            });
        proxy = std::make_unique<PLRLayoutViewProxy>(manager.get(), &layout, 1000);
    }

    PLRSection* section() { return layout.mutable_sections(0); }

    // The views of the proxy show the layout exactly: one view per block, nested and ordered
    // as the blocks are, and no other.
    void expectViewsMirrorTheLayout()
    {
        PLRLayoutView* view = proxy->layoutView();
        view->ensureSectionLayout();
        ASSERT_EQ(view->sectionViews().size(), layout.sections_size());
        for (int s = 0; s < layout.sections_size(); ++s) {
            PLRSectionView* sectionView = view->sectionViews().at(s);
            ASSERT_EQ(sectionView->representedSection(), &layout.sections(s));
            int count = 0;
            std::function<void(const google::protobuf::RepeatedPtrField<PLRBlock>&, const QList<PLRBlockView*>&, PLRBlockView*)> check =
                [&](const auto& blocks, const QList<PLRBlockView*>& views, PLRBlockView* parent) {
                    ASSERT_EQ(views.size(), blocks.size());
                    for (int i = 0; i < blocks.size(); ++i) {
                        ++count;
                        EXPECT_EQ(views[i]->representedBlock(), &blocks.Get(i));
                        EXPECT_EQ(views[i]->parentBlockView(), parent);
                        EXPECT_EQ(views[i]->parentWidget(), parent ? static_cast<QWidget*>(parent) : sectionView);
                        EXPECT_EQ(sectionView->blockViewForBlock(&blocks.Get(i)), views[i]);
                        EXPECT_EQ(views[i]->drawHandler() == nullptr, blocks.Get(i).has_container());
                        check(blocks.Get(i).container().sub_blocks(), views[i]->subBlocks(), views[i]);
                    }
                };
            check(layout.sections(s).blocks(), sectionView->blockViews(), nullptr);
            EXPECT_EQ(sectionView->blockViewCount(), count);
            EXPECT_EQ(sectionView->findChildren<PLRBlockView*>().size(), count);
        }
    }

    PLRLayout layout;
    QObject context;
    std::unique_ptr<PLRLayoutManager> manager;
    FakeImageProvider* provider = nullptr;
    std::unique_ptr<PLRLayoutViewProxy> proxy;
    int changes = 0;
};

} // namespace

TEST_F(LayoutManagerTest, AddAndInsertBlocks)
{
    PLRBlockPtr first = imageBlock("a");
    PLRBlock* firstAddress = first.get();
    EXPECT_EQ(manager->addBlock(std::move(first), nullptr, section()), firstAddress);
    EXPECT_EQ(changes, 1);
    PLRBlock* row = manager->addBlock(PLRLayoutManager::newBlock_Container(), nullptr, section());
    const QList<PLRBlock*> added = manager->addBlocks(list(imageBlock("b"), imageBlock("c")), row, nullptr);
    EXPECT_EQ(added.size(), 2);
    EXPECT_EQ(changes, 4);   // one announcement per addBlock
    EXPECT_EQ(&row->container().sub_blocks(1), added[1]);

    // Insert at an index (clamped), and beside a block.
    PLRBlock* atStart = manager->insertBlock(imageBlock("d"), 0, row, nullptr);
    EXPECT_EQ(&row->container().sub_blocks(0), atStart);
    manager->insertBlock(imageBlock("e"), 99, row, nullptr);
    EXPECT_EQ(row->container().sub_blocks(3).image().img_ref(), "e");
    manager->insertBlocksBeside(list(imageBlock("f"), imageBlock("g")), added[0], false);
    manager->insertBlocksBeside(list(imageBlock("h")), added[0], true);
    QStringList order;
    for (const PLRBlock& block : row->container().sub_blocks())
        order.append(QString::fromStdString(block.image().img_ref()));
    EXPECT_EQ(order, (QStringList{"d", "f", "g", "b", "h", "c", "e"}));
    EXPECT_EQ(changes, 8);

    // Refused: a parent that is no container, blocks or sections not in the layout.
    EXPECT_EQ(manager->addBlock(imageBlock("x"), firstAddress, section()), nullptr);
    PLRBlock stranger;
    stranger.mutable_container();
    EXPECT_EQ(manager->addBlock(imageBlock("x"), &stranger, section()), nullptr);
    PLRSection otherSection;
    EXPECT_EQ(manager->addBlock(imageBlock("x"), nullptr, &otherSection), nullptr);
    EXPECT_EQ(manager->addBlock(imageBlock("x"), nullptr, nullptr), nullptr);
    EXPECT_TRUE(manager->insertBlocksBeside(list(imageBlock("x")), &stranger, true).isEmpty());
    EXPECT_EQ(changes, 8);
    expectViewsMirrorTheLayout();
}

TEST_F(LayoutManagerTest, InsertingSeveralBlocksAtOneIndexKeepsTheirOrder)
{
    const auto refs = [](const google::protobuf::RepeatedPtrField<PLRBlock>& blocks) {
        QStringList names;
        for (const PLRBlock& block : blocks)
            names.append(QString::fromStdString(block.has_image() ? block.image().img_ref() : "row"));
        return names;
    };
    manager->addBlocks(list(imageBlock("a"), imageBlock("z")), nullptr, section());
    const int before = changes;
    const QList<PLRBlock*> inserted = manager->insertBlocks(list(imageBlock("b"), imageBlock("c"), imageBlock("d")), 1, nullptr, section());
    EXPECT_EQ(refs(section()->blocks()), (QStringList{"a", "b", "c", "d", "z"}));
    ASSERT_EQ(inserted.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(inserted[i], &section()->blocks(i + 1));
    EXPECT_EQ(changes, before + 1);   // one announcement for the lot

    // Into a container: at its start, past its end (clamped) and between.
    PLRBlock* row = manager->addBlock(PLRLayoutManager::newBlock_Container(), nullptr, section());
    manager->insertBlocks(list(imageBlock("e"), imageBlock("f")), 0, row, nullptr);
    manager->insertBlocks(list(imageBlock("g"), imageBlock("h")), 99, row, nullptr);
    manager->insertBlocks(list(imageBlock("i"), imageBlock("j")), 1, row, nullptr);
    EXPECT_EQ(refs(row->container().sub_blocks()), (QStringList{"e", "i", "j", "f", "g", "h"}));
    expectViewsMirrorTheLayout();
}

TEST_F(LayoutManagerTest, WrapRemoveAndDissolve)
{
    PLRBlock* a = manager->addBlock(imageBlock("a"), nullptr, section());
    PLRBlock* tail = manager->addBlock(imageBlock("tail"), nullptr, section());
    PLRBlock* b = nullptr;
    {
        PLRBlockPtr newBlock = imageBlock("b");
        b = newBlock.get();
        PLRBlock* column = manager->wrapBlock(a, list(std::move(newBlock)), true, true);
        ASSERT_NE(column, nullptr);
        EXPECT_TRUE(column->container().vert());
        EXPECT_EQ(&column->container().sub_blocks(0), b);
        EXPECT_EQ(&column->container().sub_blocks(1), a);   // the wrapped block keeps its address
        EXPECT_EQ(&section()->blocks(0), column);
    }
    PLRBlock* c = manager->wrapBlock(b, list(imageBlock("c")), false, false);   // a row inside the column
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(manager->pathFromSectionToBlock(b), (QList<PLRBlock*>{section()->mutable_blocks(0), c, b}));
    EXPECT_TRUE(manager->pathFromSectionToBlock(nullptr).isEmpty());
    expectViewsMirrorTheLayout();

    // Select and edit b, then remove it: deselected and out of edit mode first; the row left
    // with one block is dissolved (its block takes its place, same address).
    RecordingProxy recorder;
    manager->addInteractionProxy(&recorder);
    manager->selectBlocks({b, tail});
    manager->setEditBlock(b);
    recorder.calls.clear();
    const int before = changes;
    PLRBlockPtr removed = manager->removeBlock(b, false);
    EXPECT_EQ(removed.get(), b);
    EXPECT_EQ(recorder.calls, (QStringList{"select 1", "edit none"}));
    EXPECT_EQ(manager->currentSelectedBlocks(), QList<PLRBlock*>{tail});
    EXPECT_EQ(manager->currentEditBlock(), nullptr);
    EXPECT_EQ(changes, before + 1);
    const PLRBlock& column = section()->blocks(0);
    ASSERT_EQ(column.container().sub_blocks_size(), 2);
    EXPECT_EQ(column.container().sub_blocks(0).image().img_ref(), "c");
    EXPECT_EQ(&column.container().sub_blocks(1), a);
    expectViewsMirrorTheLayout();

    // preventPurge keeps a container left with one block.
    manager->removeBlock(a, true);
    EXPECT_EQ(section()->blocks(0).container().sub_blocks_size(), 1);
    expectViewsMirrorTheLayout();
    // Removing its last block then removes the emptied container too... unless prevented.
    PLRBlock* last = section()->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(0);
    manager->removeBlock(last, false);
    EXPECT_EQ(section()->blocks_size(), 1);
    EXPECT_EQ(&section()->blocks(0), tail);
    expectViewsMirrorTheLayout();

    // A block in no section is ignored.
    PLRBlock stranger;
    EXPECT_EQ(manager->removeBlock(&stranger, false), nullptr);
    EXPECT_EQ(manager->wrapBlock(&stranger, list(imageBlock("x")), true, true), nullptr);
    EXPECT_EQ(manager->wrapBlock(tail, {}, true, true), nullptr);
    manager->removeInteractionProxy(&recorder);
}

TEST_F(LayoutManagerTest, ImagesAddedByIdentifierAndTheirUseCounts)
{
    PLRLayout bare;
    PLRLayoutManager bareManager(&bare);
    auto fake = std::make_unique<FakeImageProvider>();
    FakeImageProvider* photos = fake.get();
    photos->addPhoto("p1", QSizeF(300, 200));
    photos->photos["p1"].modified = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    bareManager.setImageProvider(std::move(fake));

    // A layout without a section gets one.
    const QList<PLRBlock*> blocks = bareManager.createAndAddBlocksForImages({"p1", "p2", "p1"});
    ASSERT_EQ(bare.sections_size(), 1);
    ASSERT_EQ(blocks.size(), 3);
    EXPECT_EQ(blocks[0]->image().img_ref(), "p1");
    EXPECT_EQ(blocks[0]->image().source_last_updated(), "1700000000");
    EXPECT_EQ(blocks[1]->image().source_last_updated(), "0");   // no date known
    EXPECT_FALSE(blocks[0]->id().empty());
    EXPECT_NE(blocks[0]->id(), blocks[2]->id());
    EXPECT_EQ(photos->useCounts.value("p1"), 2);
    EXPECT_EQ(photos->useCounts.value("p2"), 1);
    EXPECT_EQ(bareManager.numberOfImagesInUse(), 2);

    bareManager.removeBlock(blocks[0], false);
    EXPECT_EQ(photos->useCounts.value("p1"), 1);
    bareManager.removeBlock(blocks[2], false);
    EXPECT_EQ(photos->useCounts.value("p1"), 0);
    EXPECT_EQ(bareManager.useCountForImage("p1"), 0);

    // Changes made in place count once announced (a pasted image reference).
    blocks[1]->mutable_image()->set_img_ref("p3");
    bareManager.announceChange();
    EXPECT_EQ(photos->useCounts.value("p2"), 0);
    EXPECT_EQ(photos->useCounts.value("p3"), 1);

    // A new provider hears every count at once.
    auto second = std::make_unique<FakeImageProvider>();
    FakeImageProvider* secondPhotos = second.get();
    bareManager.setImageProvider(std::move(second));
    EXPECT_EQ(secondPhotos->useCountCalls, (QList<QPair<QString, qint64>>{{"p3", 1}}));
}

TEST_F(LayoutManagerTest, SelectionHoverAndSectionCallBacks)
{
    PLRBlock* a = manager->addBlock(imageBlock("a"), nullptr, section());
    PLRBlock* b = manager->addBlock(imageBlock("b"), nullptr, section());
    RecordingProxy first, second;
    manager->addInteractionProxy(&first);
    manager->addInteractionProxy(&second);
    manager->addInteractionProxy(&first);   // once only
    QList<QList<PLRBlock*>> viewSelections;
    QObject::connect(proxy.get(), &PLRLayoutViewProxy::selectionChanged,
                     [&](const QList<PLRBlock*>& blocks) { viewSelections.append(blocks); });

    PLRBlock stranger;
    manager->selectBlocks({b, a, b, &stranger});
    EXPECT_EQ(manager->currentSelectedBlocks(), (QList<PLRBlock*>{b, a}));
    EXPECT_EQ(first.lastSelection, (QList<PLRBlock*>{b, a}));
    EXPECT_EQ(viewSelections.size(), 1);
    manager->deSelectAllBlocks();
    manager->deSelectAllBlocks();
    EXPECT_EQ(first.calls, (QStringList{"select 2", "select 0", "select 0"}));
    EXPECT_EQ(second.calls, first.calls);

    first.calls.clear();
    manager->setHoverBlock(a);
    manager->setHoverBlock(a);
    manager->setHoverBlock(nullptr);
    manager->selectSection(section());
    manager->selectSection(section());
    EXPECT_EQ(first.calls, (QStringList{"hover", "hover none", "section"}));

    // A removed proxy hears nothing more; a destroyed one leaves on its own.
    manager->removeInteractionProxy(&second);
    {
        RecordingProxy shortLived;
        manager->addInteractionProxy(&shortLived);
        EXPECT_EQ(manager->interactionProxies().size(), 2);
    }
    EXPECT_EQ(manager->interactionProxies().size(), 1);
    second.calls.clear();
    manager->selectBlocks({a});
    EXPECT_TRUE(second.calls.isEmpty());
    EXPECT_EQ(changes, 2);   // editing state is no change of the layout
}

TEST_F(LayoutManagerTest, EditBlockCallBackRules)
{
    PLRBlock* image = manager->addBlock(imageBlock("a"), nullptr, section());
    PLRBlock* blank = manager->addBlock(blankBlock(2.0f), nullptr, section());
    RecordingProxy inspector(PLRLayoutManagerInteractionProxy::Role::Inspector);
    RecordingProxy properties(PLRLayoutManagerInteractionProxy::Role::BlockProperties);
    RecordingProxy canvas;
    for (RecordingProxy* each : {&inspector, &properties, &canvas})
        manager->addInteractionProxy(each);
    int viewEdits = 0;
    QObject::connect(proxy.get(), &PLRLayoutViewProxy::editBlockChanged, [&](PLRBlock*) { ++viewEdits; });

    manager->setEditBlock(image);
    manager->setEditBlock(image);   // unchanged: nothing
    EXPECT_EQ(inspector.calls, QStringList{"edit"});
    EXPECT_EQ(properties.calls, QStringList{"edit"});
    EXPECT_EQ(canvas.calls, QStringList{"edit"});
    EXPECT_EQ(proxy->currentEditBlockView()->representedBlock(), image);

    // A blank edit block: not to the inspector nor the block-properties page.
    manager->setEditBlock(blank);
    EXPECT_EQ(inspector.calls.size(), 1);
    EXPECT_EQ(properties.calls.size(), 1);
    EXPECT_EQ(canvas.calls, (QStringList{"edit", "edit"}));

    // Cleared while a block is hovered: to nobody.
    manager->setHoverBlock(image);
    for (RecordingProxy* each : {&inspector, &properties, &canvas})
        each->calls.clear();
    manager->setEditBlock(nullptr);
    EXPECT_EQ(manager->currentEditBlock(), nullptr);
    for (RecordingProxy* each : {&inspector, &properties, &canvas})
        EXPECT_TRUE(each->calls.isEmpty());
    // Cleared without a hover block: to everyone.
    manager->setEditBlock(image);
    manager->setHoverBlock(nullptr);
    for (RecordingProxy* each : {&inspector, &properties, &canvas})
        each->calls.clear();
    manager->setEditBlock(nullptr);
    for (RecordingProxy* each : {&inspector, &properties, &canvas})
        EXPECT_EQ(each->calls, QStringList{"edit none"});
    EXPECT_EQ(viewEdits, 5);

    // A block outside the layout is refused.
    PLRBlock stranger;
    manager->setEditBlock(&stranger);
    EXPECT_EQ(manager->currentEditBlock(), nullptr);
}

TEST_F(LayoutManagerTest, RecyclerCyclesGroupsOfTwoAndThreeImages)
{
    PLRBlock* pair = manager->addBlock(containerOf(false, list(imageBlock("a"), imageBlock("b"))), nullptr, section());
    PLRBlock* a = section()->mutable_blocks(0)->mutable_container()->mutable_sub_blocks(0);
    manager->selectBlocks({a});
    EXPECT_TRUE(manager->isSelectedBlockValidForCycler());
    EXPECT_EQ(manager->recyclerTargetBlock(), pair);
    ASSERT_TRUE(manager->recycleSelectedBlock());
    EXPECT_TRUE(pair->container().vert());
    EXPECT_EQ(&pair->container().sub_blocks(0), a);
    ASSERT_TRUE(manager->recycleSelectedBlock());
    EXPECT_FALSE(pair->container().vert());

    // Three images go through six arrangements and back, keeping their order and addresses.
    PLRBlock* trio = manager->addBlock(containerOf(false, list(imageBlock("c"), imageBlock("d"), imageBlock("e"))), nullptr, section());
    QList<const PLRBlock*> images;
    for (const PLRBlock& block : trio->container().sub_blocks())
        images.append(&block);
    manager->selectBlocks({trio});
    auto shape = [](const PLRBlock& block, auto&& self) -> QString {
        if (block.has_image())
            return QString::fromStdString(block.image().img_ref());
        QStringList parts;
        for (const PLRBlock& sub : block.container().sub_blocks())
            parts.append(self(sub, self));
        return (block.container().vert() ? "C(" : "R(") + parts.join(',') + ")";
    };
    QStringList seen;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(manager->recycleSelectedBlock());
        seen.append(shape(*trio, shape));
        QList<const PLRBlock*> now;
        plr::tree::forEachBlock(trio, [&](PLRBlock* block) { if (block->has_image()) now.append(block); });
        EXPECT_EQ(now, images);
        expectViewsMirrorTheLayout();
    }
    EXPECT_EQ(seen, (QStringList{"R(c,C(d,e))", "R(C(c,d),e)", "C(c,d,e)", "C(c,R(d,e))", "C(R(c,d),e)", "R(c,d,e)"}));
    EXPECT_EQ(manager->currentSelectedBlocks(), QList<PLRBlock*>{trio});

    // A selected inner container that goes hands the selection to its group.
    manager->recycleSelectedBlock();   // R(c,C(d,e))
    PLRBlock* inner = trio->mutable_container()->mutable_sub_blocks(1);
    ASSERT_TRUE(inner->has_container());
    manager->selectBlocks({inner});
    manager->recycleSelectedBlock();
    EXPECT_EQ(manager->currentSelectedBlocks(), QList<PLRBlock*>{trio});

    // Not valid: two selected blocks, a lone image, a group holding text, four images.
    manager->selectBlocks({pair, trio});
    EXPECT_FALSE(manager->isSelectedBlockValidForCycler());
    EXPECT_FALSE(manager->recycleSelectedBlock());
    PLRBlock* lone = manager->addBlock(imageBlock("f"), nullptr, section());
    manager->selectBlocks({lone});
    EXPECT_FALSE(manager->isSelectedBlockValidForCycler());
    PLRBlock* withText = manager->addBlock(containerOf(false, list(imageBlock("g"), PLRLayoutManager::newBlock_Text())), nullptr, section());
    manager->selectBlocks({withText});
    EXPECT_FALSE(manager->isSelectedBlockValidForCycler());
    PLRBlock* four = manager->addBlock(containerOf(false, list(imageBlock("h"), imageBlock("i"), imageBlock("j"), imageBlock("k"))), nullptr, section());
    manager->selectBlocks({four});
    EXPECT_FALSE(manager->isSelectedBlockValidForCycler());
}

TEST_F(LayoutManagerTest, RestoreSectionAndFlags)
{
    PLRBlock* a = manager->addBlock(imageBlock("a"), nullptr, section());
    const PLRSection snapshot = *section();
    manager->addBlock(imageBlock("b"), nullptr, section());
    manager->selectBlocks({a});
    const int before = changes;
    manager->restoreSection(section(), snapshot);
    EXPECT_EQ(section()->blocks_size(), 1);
    EXPECT_TRUE(manager->currentSelectedBlocks().isEmpty());
    EXPECT_EQ(changes, before + 1);
    EXPECT_EQ(provider->useCounts.value("b"), 0);
    expectViewsMirrorTheLayout();

    QList<bool> exported, overlay, highlight;
    QObject::connect(manager.get(), &PLRLayoutManager::layoutIsBeingExportedChanged, [&](bool on) { exported.append(on); });
    QObject::connect(manager.get(), &PLRLayoutManager::imageKeywordOverlayEnabledChanged, [&](bool on) { overlay.append(on); });
    QObject::connect(manager.get(), &PLRLayoutManager::shouldShowRecyclerHighlightChanged, [&](bool on) { highlight.append(on); });
    manager->setLayoutIsBeingExported(true);
    manager->setLayoutIsBeingExported(true);
    manager->setImageKeywordOverlayEnabled(true);
    manager->setShouldShowRecyclerHighlight(true);
    manager->setShouldShowRecyclerHighlight(false);
    EXPECT_TRUE(manager->layoutIsBeingExported());
    EXPECT_TRUE(manager->imageKeywordOverlayEnabled());
    EXPECT_EQ(exported, QList<bool>{true});
    EXPECT_EQ(overlay, QList<bool>{true});
    EXPECT_EQ(highlight, (QList<bool>{true, false}));
    EXPECT_EQ(changes, before + 1);   // flags are no change of the layout
}

TEST_F(LayoutManagerTest, LayoutViewProxiesRegisterAndLeave)
{
    EXPECT_EQ(manager->liveLayoutViewProxy(), proxy.get());
    proxy->setLive(false);
    EXPECT_EQ(manager->liveLayoutViewProxy(), nullptr);
    {
        PLRLayoutViewProxy offScreen(manager.get(), std::make_unique<PLRLayout>(layout), 500);
        EXPECT_EQ(manager->currentLayoutProxies().size(), 2);
        EXPECT_EQ(manager->liveLayoutViewProxy(), &offScreen);   // live until told otherwise
        // Edits of the manager's layout do not touch a proxy of a copy.
        manager->addBlock(imageBlock("a"), nullptr, section());
        offScreen.layoutView()->ensureSectionLayout();
        EXPECT_EQ(offScreen.layoutView()->sectionViews().first()->blockViewCount(), 0);
        manager->removeLayoutViewProxy(&offScreen);
        EXPECT_EQ(manager->currentLayoutProxies().size(), 1);
    }
    EXPECT_EQ(manager->currentLayoutProxies(), QList<PLRLayoutViewProxy*>{proxy.get()});

    // The manager can go first: proxies then let go of it.
    RecordingProxy recorder;
    manager->addInteractionProxy(&recorder);
    proxy.reset();
    manager.reset();
}

TEST(LayoutManagerStatics, BackgroundColourAndTextWidths)
{
    PLRLayout layout;
    EXPECT_EQ(PLRLayoutManager::backgroundColourForLayout(layout), platform::ui::Color::white());
    layout.mutable_background_colour()->set_r(255);
    layout.mutable_background_colour()->set_g(0);
    layout.mutable_background_colour()->set_b(127.5f);
    layout.mutable_background_colour()->set_a(0);
    const platform::ui::Color colour = PLRLayoutManager::backgroundColourForLayout(layout);
    EXPECT_DOUBLE_EQ(colour.redComponent(), 1.0);
    EXPECT_DOUBLE_EQ(colour.greenComponent(), 0.0);
    EXPECT_DOUBLE_EQ(colour.blueComponent(), 0.5);
    EXPECT_DOUBLE_EQ(colour.alphaComponent(), 1.0);
    layout.mutable_background_colour()->set_r(std::numeric_limits<float>::quiet_NaN());
    layout.mutable_background_colour()->set_g(900);
    EXPECT_DOUBLE_EQ(PLRLayoutManager::backgroundColourForLayout(layout).redComponent(), 0.0);
    EXPECT_DOUBLE_EQ(PLRLayoutManager::backgroundColourForLayout(layout).greenComponent(), 1.0);

    const double widths[] = {0.3, 0.5, 0.7, 1.0, -1.0, 1.0, 1.0};
    const qint64 indexes[] = {0, 1, 2, 3, 4, 5, -1};
    for (int i = 0; i < 7; ++i)
        EXPECT_DOUBLE_EQ(PLRLayoutManager::widthValueForTextWidth(indexes[i]), widths[i]);
}

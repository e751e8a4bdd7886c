// The export engine on a real post: layout exports, collages and the post preview.

#include "ExportTestSupport.h"

#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "publishing/export/PLRExportBlockStream.h"
#include "publishing/export/PLRExportImaging.h"
#include "publishing/export/PLRExportMemoryGate.h"
#include "publishing/export/PLRExportRenderer.h"
#include "store/persistance-store/source/PLRImageManager.h"
#include "store/persistance-store/source/PLRImageUtilities.h"
#include "store/persistance-store/source/PLRSourceImage.h"
#include "platform/Dispatch.h"
#include "platform/Resets.h"
#include "store/session/PLRDefaults.h"

#include <QColorSpace>
#include <QDir>
#include <QFontMetricsF>
#include <QFile>
#include <QElapsedTimer>
#include <QImageReader>
#include <QImageWriter>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace export_test;

class ExportEngine : public ExportFixture {
protected:
    // A post of `count` photos named prefix0.jpg, prefix1.jpg ..., of `size` in hues `hueStep`
    // apart, each in a block of its own.
    PLRPostManager* postOfPhotos(const QString& name, const QString& prefix, int count, QSize size, int hueStep)
    {
        for (int i = 0; i < count; ++i)
            makePhoto(m_folder, QStringLiteral("%1%2.jpg").arg(prefix).arg(i), size, QColor::fromHsv(i * hueStep % 360, 200, 220));
        PLRPostManager* manager = openPost(name, count);
        if (!manager)
            return nullptr;
        QStringList identifiers;
        for (int i = 0; i < count; ++i)
            identifiers << photo(manager, QStringLiteral("%1%2.jpg").arg(prefix).arg(i));
        manager->layoutManager()->createAndAddBlocksForImages(identifiers);
        return manager;
    }

    // Nine photos and a text block in third place.
    PLRPostManager* tenBlockPost()
    {
        for (int i = 0; i < 9; ++i)
            makePhoto(m_folder, QStringLiteral("p%1.jpg").arg(i), QSize(300, 200), QColor::fromHsv(i * 40, 200, 220), i == 0 ? 300 : 72);
        PLRPostManager* manager = openPost(QStringLiteral("Trip"), 9);
        if (!manager)
            return nullptr;
        QStringList identifiers;
        for (int i = 0; i < 9; ++i)
            identifiers << photo(manager, QStringLiteral("p%1.jpg").arg(i));
        PLRLayoutManager* layout = manager->layoutManager();
        layout->createAndAddBlocksForImages(identifiers);
        layout->insertBlock(PLRLayoutManager::newBlock_Text(), 2, nullptr, &layout->representedLayout()->mutable_sections()->at(0));
        return manager;
    }
};

TEST_F(ExportEngine, TenBlocksWithTextThirdGiveNumberedFilesWithTheirDpi)
{
    PLRPostManager* manager = tenBlockPost();
    ASSERT_NE(manager, nullptr);
    ASSERT_EQ(manager->layoutManager()->representedLayout()->sections(0).blocks_size(), 10);
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    const qint64 countBefore = PLRDefaults::exportLayoutCount();
    Outcome outcome;
    runExport(manager, folder, outcome);
    EXPECT_TRUE(outcome.success) << outcome.failure.toStdString();
    EXPECT_EQ(outcome.completions, 1);
    EXPECT_EQ(outcome.progress, (QList<qint64>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(jpegsIn(folder), (QStringList{"01.jpg", "02.jpg", "04.jpg", "05.jpg", "06.jpg", "07.jpg", "08.jpg", "09.jpg", "10.jpg"}));
    EXPECT_EQ(PLRDefaults::exportLayoutCount(), countBefore + 1);

    QImageReader first(folder + "/01.jpg");
    EXPECT_EQ(first.size().width(), 600);
    EXPECT_EQ(plr_image::jfifDensityDPI(folder + "/01.jpg"), 300);   // from the 300-dpi photo
    EXPECT_EQ(plr_image::jfifDensityDPI(folder + "/02.jpg"), 72);
    // The picture shows the photo: the render is not the background.
    const QImage picture(folder + "/02.jpg");
    ASSERT_FALSE(picture.isNull());
    EXPECT_NE(picture.pixelColor(300, picture.height() / 2), QColor(Qt::white));
    EXPECT_FALSE(manager->layoutManager()->layoutIsBeingExported());
}

TEST_F(ExportEngine, EditsWhileExportingDoNotReachTheExport)
{
    PLRPostManager* manager = tenBlockPost();
    ASSERT_NE(manager, nullptr);
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    Outcome outcome;
    PLRLayoutManager* layout = manager->layoutManager();
    runExport(manager, folder, outcome, 2, 400, [&] {
        // The user deletes blocks right after the export started.
        PLRSection& section = layout->representedLayout()->mutable_sections()->at(0);
        while (section.blocks_size() > 1)
            layout->removeBlock(section.mutable_blocks(section.blocks_size() - 1), false);
    });
    EXPECT_TRUE(outcome.success);
    EXPECT_EQ(jpegsIn(folder).size(), 9);
    EXPECT_EQ(layout->representedLayout()->sections(0).blocks_size(), 1);
}

TEST_F(ExportEngine, UnsafeAndCollidingNamesStayInsideTheFolderAndApart)
{
    makePhoto(m_folder, "beach.jpg", QSize(200, 150), Qt::blue);
    PLRPostManager* manager = openPost("Names", 1);
    ASSERT_NE(manager, nullptr);
    const QString id = photo(manager, "beach.jpg");
    manager->imageForIdentifier(id)->setFocusKeywords({"a/../b"});
    manager->layoutManager()->createAndAddBlocksForImages({id, id});
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);

    Outcome names;
    runExport(manager, folder, names, 4 | 8);   // the same photo twice, names without numbers
    EXPECT_TRUE(names.success);
    EXPECT_EQ(jpegsIn(folder), (QStringList{"beach_a-..-b-2.jpg", "beach_a-..-b.jpg"}));
    EXPECT_FALSE(QFileInfo::exists(testing_support::testHome() + "/b.jpg"));

    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    Outcome none;
    runExport(manager, folder, none, 0);   // no name part at all: the numbers, never ".jpg"
    EXPECT_EQ(jpegsIn(folder), (QStringList{"1.jpg", "2.jpg"}));
}

TEST_F(ExportEngine, FailuresAreReportedNotHidden)
{
    makePhoto(m_folder, "a.jpg", QSize(200, 150), Qt::red);
    PLRPostManager* manager = openPost("Fail", 1);
    ASSERT_NE(manager, nullptr);
    const QString id = photo(manager, "a.jpg");
    manager->layoutManager()->createAndAddBlocksForImages({id, id});
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder + "/1.jpg");   // a folder where the first file goes

    Outcome blocked;
    runExport(manager, folder, blocked);
    EXPECT_FALSE(blocked.success);
    EXPECT_TRUE(blocked.failure.contains("1 of 2")) << blocked.failure.toStdString();
    EXPECT_TRUE(QFileInfo(folder + "/2.jpg").isFile());
    EXPECT_EQ(blocked.progress.size(), 2);

    Outcome missing;
    runExport(manager, testing_support::testHome() + "/no-such-folder", missing);
    EXPECT_FALSE(missing.success);
    EXPECT_FALSE(missing.failure.isEmpty());
    EXPECT_TRUE(missing.progress.isEmpty());

    // A layout without sections finishes with failure and writes nothing.
    manager->layoutManager()->representedLayout()->clear_sections();
    Outcome empty;
    runExport(manager, folder, empty);
    EXPECT_FALSE(empty.success);
    QString failure;
    EXPECT_FALSE(PLRExportManager::sharedManager().exportBlocks({}, manager, folder + "/c.jpg", 300, 80, &failure));
    EXPECT_TRUE(PLRExportManager::sharedManager().exportLayoutPreviewForPost(*manager->representedPost()).isEmpty());
}

TEST_F(ExportEngine, BlocksTooLargeToDrawFailTheExport)
{
    // The width has no maximum: at 99999 pixels every block is beyond what can be drawn.
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::red);
    PLRPostManager* manager = openPost("Wide", 1);
    ASSERT_NE(manager, nullptr);
    const QString id = photo(manager, "a.jpg");
    manager->layoutManager()->createAndAddBlocksForImages({id, id});
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);

    Outcome wide;
    runExport(manager, folder, wide, 2, 99999);
    EXPECT_FALSE(wide.success);
    EXPECT_TRUE(wide.failure.contains("2 of 2")) << wide.failure.toStdString();
    EXPECT_TRUE(wide.failure.contains("1.jpg: the block could not be drawn: at 99999 x")) << wide.failure.toStdString();
    EXPECT_TRUE(wide.failure.contains("too large to draw")) << wide.failure.toStdString();
    EXPECT_EQ(wide.progress, (QList<qint64>{1, 2}));
    EXPECT_TRUE(jpegsIn(folder).isEmpty());
}

// A block whose picture is drawn but is too tall for a JPEG (more than 65500 rows): its writer
// gives up at its first rows, and its drawing stops: it draws no more rows and decodes none of
// the block's other photos (one cut short meanwhile is not even read). The block ends only
// when both sides have, so that nothing of the export is let go of while it is still being drawn
// from; the next block is written.
TEST_F(ExportEngine, ABlockTooTallForAJpegEndsOnlyOnceItsDrawingHasEnded)
{
    makePhoto(m_folder, "tall.jpg", QSize(20, 2000), Qt::red);
    makePhoto(m_folder, "later.jpg", QSize(20, 2000), Qt::green);
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::blue);
    PLRPostManager* manager = openPost("Tall", 3);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "tall.jpg"), photo(manager, "a.jpg")});
    // A column of three such photos: 250 pixels wide, 75000 rows.
    PLRBlockPtrList more;
    for (int i = 0; i < 2; ++i) {
        more.push_back(PLRLayoutManager::newBlock_Image());
        more.back()->mutable_image()->set_img_ref(photo(manager, "later.jpg").toStdString());
    }
    ASSERT_NE(layout->wrapBlock(blocks[0], std::move(more), true, false), nullptr);
    manager->representedPost()->layout().set_padding(0);   // the photos touch
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);

    // The drawing is held at its first hand-over (which starts the writer) until the writer has
    // given up: every later hand-over would come after it.
    std::mutex mutex;
    std::condition_variable changed;
    bool writingEnded = false;
    int handedOver = 0;
    platform::HookGuard<plr_export::StreamHook> guard(&plr_export::setStreamHook, [&](const QString& file, plr_export::StreamStep step, int) {
        if (file != QLatin1String("1.jpg"))
            return;
        std::unique_lock lock(mutex);
        if (step == plr_export::StreamStep::WritingEnded) {
            writingEnded = true;
            QFile later(QDir(m_folder).filePath("later.jpg"));
            EXPECT_TRUE(later.resize(later.size() / 2));
            changed.notify_all();
        } else if (step == plr_export::StreamStep::RowsHandedOver) {
            if (++handedOver == 1 && !changed.wait_for(lock, std::chrono::seconds(60), [&] { return writingEnded; }))
                ADD_FAILURE() << "the writer never ended";
        }
    });
    Outcome outcome;
    runExport(manager, folder, outcome, 2, 250);
    EXPECT_FALSE(outcome.success);
    EXPECT_EQ(outcome.completions, 1);
    EXPECT_TRUE(outcome.failure.contains("1.jpg: the picture could not be encoded: a picture of 250 x 75000 pixels cannot be a JPEG"))
        << outcome.failure.toStdString();
    EXPECT_FALSE(outcome.failure.contains("later.jpg")) << outcome.failure.toStdString();
    EXPECT_TRUE(writingEnded);
    EXPECT_EQ(handedOver, 1);
    EXPECT_EQ(outcome.progress, (QList<qint64>{1, 2}));
    EXPECT_EQ(jpegsIn(folder), QStringList{"2.jpg"});
}

TEST_F(ExportEngine, CollageKeepsLayoutOrderAndWholeContainers)
{
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        makePhoto(m_folder, name, QSize(240, 160), QColor(name[0] == 'a' ? Qt::red : name[0] == 'b' ? Qt::green : Qt::blue));
    PLRPostManager* manager = openPost("Collage", 3);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "a.jpg"), photo(manager, "b.jpg")});
    ASSERT_EQ(blocks.size(), 2);
    PLRBlockPtrList extra;
    extra.push_back(PLRLayoutManager::newBlock_Image());
    extra.back()->mutable_image()->set_img_ref(photo(manager, "c.jpg").toStdString());
    PLRBlock* container = layout->wrapBlock(blocks[1], std::move(extra), false, false);
    ASSERT_NE(container, nullptr);
    PLRBlock* inner = container->mutable_container()->mutable_sub_blocks(0);

    const QString dir = testing_support::testHome();
    const qint64 before = PLRDefaults::exportCollageCount();
    ASSERT_TRUE(PLRExportManager::sharedManager().exportBlocks({blocks[0], inner}, manager, dir + "/forward.jpg", 500, 80));
    ASSERT_TRUE(PLRExportManager::sharedManager().exportBlocks({inner, blocks[0]}, manager, dir + "/reverse.jpg", 500, 80));
    ASSERT_TRUE(PLRExportManager::sharedManager().exportBlocks({container}, manager, dir + "/container.jpg", 500, 80));
    EXPECT_EQ(PLRDefaults::exportCollageCount(), before + 3);
    QFile forward(dir + "/forward.jpg"), reverse(dir + "/reverse.jpg");
    ASSERT_TRUE(forward.open(QIODevice::ReadOnly) && reverse.open(QIODevice::ReadOnly));
    EXPECT_EQ(forward.readAll(), reverse.readAll());
    // A block inside the container brings the whole container, with both photos.
    const QImage whole(dir + "/container.jpg");
    ASSERT_EQ(whole.width(), 500);
    bool sawGreen = false, sawBlue = false;
    for (int x = 5; x < 500; x += 10) {
        const QColor c = whole.pixelColor(x, whole.height() / 2);
        sawGreen = sawGreen || (c.green() > 120 && c.red() < 100 && c.blue() < 100);
        sawBlue = sawBlue || (c.blue() > 120 && c.red() < 100 && c.green() < 100);
    }
    EXPECT_TRUE(sawGreen && sawBlue);
    EXPECT_FALSE(PLRExportManager::sharedManager().exportBlocks({}, manager, dir + "/none.jpg", 500, 80));
    EXPECT_FALSE(QFileInfo::exists(dir + "/none.jpg"));
}

TEST_F(ExportEngine, PreviewShowsTheFirstFiveBlocksAndReachesTheHomeTile)
{
    for (int i = 0; i < 8; ++i)
        makePhoto(m_folder, QStringLiteral("p%1.jpg").arg(i), QSize(300, 200), QColor::fromHsv(i * 40, 200, 220));
    PLRPostManager* manager = openPost("Preview", 8);
    ASSERT_NE(manager, nullptr);
    PLRPersistantPost* post = manager->representedPost();
    EXPECT_TRUE(PLRExportManager::sharedManager().exportLayoutPreviewForPost(*post).isEmpty());   // nothing laid out

    QStringList identifiers;
    for (int i = 0; i < 8; ++i)
        identifiers << photo(manager, QStringLiteral("p%1.jpg").arg(i));
    manager->layoutManager()->createAndAddBlocksForImages(identifiers.mid(0, 5));
    const QImage five = QImage::fromData(PLRExportManager::sharedManager().exportLayoutPreviewForPost(*post), "JPEG");
    manager->layoutManager()->createAndAddBlocksForImages(identifiers.mid(5));
    manager->layoutManager()->setImageKeywordOverlayEnabled(true);
    const QByteArray eightBytes = PLRExportManager::sharedManager().exportLayoutPreviewForPost(*post);
    EXPECT_TRUE(manager->layoutManager()->imageKeywordOverlayEnabled());   // put back
    const QImage eight = QImage::fromData(eightBytes, "JPEG");
    ASSERT_FALSE(eight.isNull());
    EXPECT_EQ(eight.width(), 800);   // sharp on tiles of 400 points at two pixels a point
    EXPECT_EQ(eight.size(), five.size());
    EXPECT_EQ(manager->layoutManager()->currentLayoutProxies().size(), 0);   // the off-screen view is gone

    // Saving the post stores the preview the home tile shows.
    ASSERT_TRUE(manager->save());
    EXPECT_TRUE(QFileInfo(post->bundlePath() + "/preview.jpg").isFile());
    EXPECT_EQ(post->layoutPreview().width(), 800);
}

TEST_F(ExportEngine, RendersStartFromTheLayoutsBackgroundColour)
{
    PLRLayout layout;
    layout.mutable_background_colour()->set_r(10);
    layout.mutable_background_colour()->set_g(200);
    layout.mutable_background_colour()->set_b(30);
    PLRSection* section = layout.add_sections();
    section->mutable_stacked();
    PLRBlock* blank = section->add_blocks();
    blank->set_id("blank");
    blank->set_aspect_ratio(2.0f);
    blank->mutable_blank();
    PLRExportRenderer renderer(layout, 300, {});
    const PLRBlock* copy = &renderer.layout().sections(0).blocks(0);
    const QImage image = renderer.renderBlock(copy, 120, {});
    ASSERT_EQ(image.width(), 120);
    for (const QPoint point : {QPoint(0, 0), QPoint(60, image.height() / 2), QPoint(119, image.height() - 1)})
        EXPECT_EQ(image.pixelColor(point), QColor(10, 200, 30));
    EXPECT_EQ(PLRExportRenderer::renderSize(QSizeF(300, 200), 1200), QSize(1200, 800));
    EXPECT_EQ(PLRExportRenderer::renderSize(QSizeF(300, 200), 0), QSize(300, 200));
}

namespace {

// The darkest luma in a rectangle of the image.
int darkestIn(const QImage& image, const QRect& area)
{
    int darkest = 255;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
    return darkest;
}

} // namespace

TEST_F(ExportEngine, PreviewsAndHomeTilesShowNoCanvasHints)
{
    makePhoto(m_folder, "a.jpg", QSize(300, 200), Qt::blue);
    PLRPostManager* manager = openPost("Hints", 1);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    layout->createAndAddBlocksForImages({photo(manager, "a.jpg")});
    PLRSection* section = &layout->representedLayout()->mutable_sections()->at(0);
    layout->insertBlock(PLRLayoutManager::newBlock_Text(), 0, nullptr, section);   // empty: the canvas shows its hint
    PLRBlock* text = &section->mutable_blocks()->at(0);
    ASSERT_TRUE(text->has_text());
    ASSERT_TRUE(text->text().value().empty());

    // The canvas (a live view of the layout) shows the hint: dark letters on white.
    {
        PLRLayoutViewProxy canvas(layout, layout->representedLayout(), PLRExportManager::kStandardLayoutWidth);
        PLRBlockView* view = canvas.blockViewForBlock(text);
        ASSERT_NE(view, nullptr);
        const QImage drawn = view->renderImage(0);
        ASSERT_FALSE(drawn.isNull());
        QImage onWhite(drawn.size(), QImage::Format_RGB32);
        onWhite.fill(Qt::white);
        QPainter(&onWhite).drawImage(0, 0, drawn);
        EXPECT_LT(darkestIn(onWhite, onWhite.rect()), 200);
    }

    // The preview, and so the home tile, shows an empty text block as empty.
    PLRPersistantPost* post = manager->representedPost();
    const QImage preview = QImage::fromData(PLRExportManager::sharedManager().exportLayoutPreviewForPost(*post), "JPEG");
    ASSERT_FALSE(preview.isNull());
    const double scale = preview.width() / PLRExportManager::kStandardLayoutWidth;
    PLRLayoutViewProxy measure(layout, layout->representedLayout(), PLRExportManager::kStandardLayoutWidth);
    const QRectF frame = measure.blockViewForBlock(text)->frameInLayoutView();
    const QRect textArea = QRectF(frame.topLeft() * scale, frame.size() * scale).toAlignedRect().adjusted(1, 1, -1, -1);
    ASSERT_FALSE(textArea.isEmpty());
    EXPECT_GT(darkestIn(preview, textArea), 235);
    ASSERT_TRUE(manager->save());
    const QImage tile = post->layoutPreview();
    ASSERT_EQ(tile.size(), preview.size());
    EXPECT_GT(darkestIn(tile, textArea), 235);
}

TEST_F(ExportEngine, PhotosThatCannotBeDrawnRefuseTheExportNamingEachWithItsReason)
{
    makePhoto(m_folder, "fine.jpg", QSize(300, 200), Qt::red);
    makePhoto(m_folder, "gone.jpg", QSize(300, 200), Qt::green);
    makePhoto(m_folder, "broken.jpg", QSize(300, 200), Qt::blue);
    makePhoto(m_folder, "cut.jpg", QSize(600, 400), Qt::yellow);
    makePhoto(m_folder, "lying.jpg", QSize(300, 200), Qt::cyan);
    PLRPostManager* manager = openPost("Unusable", 5);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    layout->createAndAddBlocksForImages({photo(manager, "fine.jpg"), photo(manager, "gone.jpg"), photo(manager, "broken.jpg"),
                                         photo(manager, "cut.jpg"), photo(manager, "lying.jpg")});
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    EXPECT_TRUE(PLRExportManager::sharedManager().unusablePhotosReport(manager).isEmpty());
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();

    // Spoiled on disk; the export starts before the folder has looked again.
    ASSERT_TRUE(QFile::remove(QDir(m_folder).filePath("gone.jpg")));
    {
        QFile broken(QDir(m_folder).filePath("broken.jpg"));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write("this is not a picture");
    }
    ASSERT_TRUE(testing_support::cutShort(QDir(m_folder).filePath("cut.jpg"), 0.6));
    ASSERT_TRUE(testing_support::writeJpegWithLyingHeader(QDir(m_folder).filePath("lying.jpg")));

    // The layout export ends in failure naming every photo with its own reason, and writes
    // nothing: the photos whose files changed are decoded before the first file is written.
    Outcome refused;
    runExport(manager, folder, refused);
    EXPECT_FALSE(refused.success);
    EXPECT_EQ(refused.completions, 1);
    for (const char* line : {"gone.jpg: missing from the folder", "broken.jpg: not a readable photo", "cut.jpg: cut short",
                             "lying.jpg: not a readable photo"})
        EXPECT_TRUE(refused.failure.contains(QLatin1String(line))) << line << " in " << refused.failure.toStdString();
    EXPECT_FALSE(refused.failure.contains("fine.jpg")) << refused.failure.toStdString();
    EXPECT_TRUE(refused.progress.isEmpty());
    EXPECT_TRUE(jpegsIn(folder).isEmpty());
    EXPECT_EQ(PLRDefaults::exportLayoutCount(), 0);

    // Once the folder has looked, the photos themselves say so (the canvas and gallery mark them),
    // and the check before an export names them at once.
    const auto problemOf = [&](const char* name) { return manager->imageForIdentifier(photo(manager, name))->problem(); };
    ASSERT_TRUE(testing_support::waitUntil([&] {
        return problemOf("cut.jpg") == PLRPhotoProblem::CutShort && problemOf("lying.jpg") == PLRPhotoProblem::Unreadable;
    }, 5000));
    const QString report = PLRExportManager::sharedManager().unusablePhotosReport(manager);
    EXPECT_TRUE(report.contains("cut.jpg: cut short")) << report.toStdString();
    EXPECT_TRUE(report.contains("lying.jpg: not a readable photo")) << report.toStdString();
    EXPECT_TRUE(report.contains("broken.jpg: not a readable photo")) << report.toStdString();

    // So does a collage that shows one of them, before anything is written; one of the readable
    // photo alone is made.
    const auto block = [&](int index) { return &layout->representedLayout()->mutable_sections()->at(0).mutable_blocks()->at(index); };
    for (int spoiled = 1; spoiled < 5; ++spoiled) {
        const QList<PLRBlock*> both = {block(0), block(spoiled)};
        layout->selectBlocks(both);
        QString failure;
        EXPECT_FALSE(PLRExportManager::sharedManager().exportBlocks(both, manager, folder + "/collage.jpg", 400, 80, &failure));
        EXPECT_TRUE(failure.contains(QStringLiteral("cannot be drawn"))) << failure.toStdString();
        EXPECT_FALSE(QFileInfo::exists(folder + "/collage.jpg"));
    }
    const QList<PLRBlock*> fine = {block(0)};
    layout->selectBlocks(fine);
    EXPECT_TRUE(PLRExportManager::sharedManager().unusablePhotosReport(manager, fine).isEmpty());
    QString failure;
    EXPECT_TRUE(PLRExportManager::sharedManager().exportBlocks(fine, manager, folder + "/collage.jpg", 400, 80, &failure)) << failure.toStdString();
}

TEST_F(ExportEngine, ACollageOfAPhotoCutShortSinceTheFolderLookedIsRefusedWithItsReason)
{
    makePhoto(m_folder, "a.jpg", QSize(600, 400), Qt::red);
    PLRPostManager* manager = openPost("Collage", 1);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "a.jpg")});
    layout->selectBlocks(blocks);
    PLRImageManager::shared().waitUntilAllOperationsAreFinished();
    ASSERT_TRUE(testing_support::cutShort(QDir(m_folder).filePath("a.jpg"), 0.5));
    const QString file = testing_support::testHome() + "/collage.jpg";
    QString failure;
    EXPECT_FALSE(PLRExportManager::sharedManager().exportBlocks(blocks, manager, file, 400, 80, &failure));
    EXPECT_TRUE(failure.contains("a.jpg: cut short")) << failure.toStdString();
    EXPECT_FALSE(QFileInfo::exists(file));
    // The photo is marked from then on.
    ASSERT_TRUE(testing_support::waitUntil([&] { return manager->images().first()->problem() == PLRPhotoProblem::CutShort; }, 5000));
}

TEST_F(ExportEngine, WideGamutPhotosAreExportedInSRGB)
{
    ASSERT_FALSE(testing_support::writeWideGamutPhoto(QDir(m_folder).filePath("p3.jpg")).isEmpty());
    PLRPostManager* manager = openPost("Colour", 1);
    ASSERT_NE(manager, nullptr);
    manager->layoutManager()->createAndAddBlocksForImages({photo(manager, "p3.jpg")});
    const QString folder = testing_support::testHome() + "/out";
    QDir().mkpath(folder);
    Outcome outcome;
    runExport(manager, folder, outcome, 2, 640);
    ASSERT_TRUE(outcome.success) << outcome.failure.toStdString();
    const QImage exported(folder + "/1.jpg");
    ASSERT_EQ(exported.size(), QSize(640, 400));
    for (const auto& [patch, colour] : {std::pair{testing_support::kWideGamutRedPatch, QColor(255, 0, 0)},
                                        std::pair{testing_support::kWideGamutGreenPatch, QColor(0, 200, 0)}}) {
        const QColor seen = exported.pixelColor(patch.center());
        EXPECT_NEAR(seen.red(), colour.red(), 8);
        EXPECT_NEAR(seen.green(), colour.green(), 8);
        EXPECT_NEAR(seen.blue(), colour.blue(), 8);
    }
    // The file is sRGB (tagged so, or untagged).
    EXPECT_FALSE(exported.colorSpace().isValid() && exported.colorSpace() != QColorSpace(QColorSpace::SRgb));
}

TEST_F(ExportEngine, ExportsDrawTextWithItsFormatting)
{
    ASSERT_TRUE(QFile::copy(testing_support::realPhotoPath(), QDir(m_folder).filePath("wings.jpg")));
    PLRPostManager* manager = openPost("Styles", 1);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    layout->createAndAddBlocksForImages({photo(manager, "wings.jpg")});
    PLRSection* section = &layout->representedLayout()->mutable_sections()->at(0);
    // A caption under the photo: a container is exported whole, text included.
    PLRBlockPtr caption = PLRLayoutManager::newBlock_Text();
    caption->mutable_text()->set_value("Two seeds in the wind");
    PLRBlockPtrList captions;
    captions.push_back(std::move(caption));
    layout->wrapBlock(&section->mutable_blocks()->at(0), std::move(captions), true, false);
    ASSERT_EQ(section->blocks_size(), 1);
    ASSERT_EQ(section->blocks(0).container().sub_blocks_size(), 2);
    PLRBlock* text = &section->mutable_blocks()->at(0).mutable_container()->mutable_sub_blocks()->at(1);
    ASSERT_TRUE(text->has_text());

    const QString folder = testing_support::testHome() + "/out";
    auto exported = [&](const std::string& html, const QString& name) {
        text->mutable_text()->set_html(html);
        layout->announceChange();
        const QString into = folder + "/" + name;
        QDir().mkpath(into);
        Outcome outcome;
        runExport(manager, into, outcome, 2, 800);
        EXPECT_TRUE(outcome.success) << outcome.failure.toStdString();
        return QImage(into + "/1.jpg").convertToFormat(QImage::Format_RGB32);
    };
    const QImage plain = exported("<p>Two seeds in the wind</p>", "plain");
    const QImage bold = exported("<p>Two seeds in the <b>wind</b></p>", "bold");
    ASSERT_FALSE(plain.isNull());
    ASSERT_EQ(plain.size(), bold.size());
    // The pictures differ only below the photo, in the columns from where "wind" starts.
    int first = -1, top = -1;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x) {
            const QRgb p = plain.pixel(x, y), q = bold.pixel(x, y);
            if (std::abs(qGray(p) - qGray(q)) > 60) {
                first = first < 0 ? x : std::min(first, x);
                top = top < 0 ? y : std::min(top, y);
            }
        }
    ASSERT_GE(first, 0) << "the bold word is exported plain";
    const QFont font = PLRBlockDrawHandler_Text::fontForStyle(PLRBlock_Text::PARAGRAPH);
    EXPECT_GE(first, int(QFontMetricsF(font).horizontalAdvance("Two seeds in the ")) - 8);
    EXPECT_GT(top, plain.height() / 2);   // the photo above is the same
}

TEST(ExportMemoryGate, AdmitsBlocksWhileTheyFitAndTakesBackWhatEachGivesUpStepByStep)
{
    auto gate = std::make_shared<plr_export::MemoryGate>(100);
    // Nothing held: one block is always let through, whatever it weighs.
    EXPECT_TRUE(gate->admits(1000));
    {
        plr_export::MemoryGate::Hold big(gate, 1000);
        EXPECT_FALSE(gate->admits(1));
    }
    EXPECT_EQ(gate->held(), 0);
    EXPECT_EQ(gate->peak(), 1000);

    auto first = std::make_unique<plr_export::MemoryGate::Hold>(gate, 60);   // photos and drawing
    EXPECT_TRUE(gate->admits(40));
    EXPECT_FALSE(gate->admits(41));
    // Drawn: the photos go, the drawing and its JPEG stay.
    first->keep(25);
    EXPECT_EQ(gate->held(), 25);
    EXPECT_TRUE(gate->admits(75));
    plr_export::MemoryGate::Hold second(gate, 75);
    EXPECT_EQ(gate->held(), 100);
    // Keeping more than was taken takes nothing more.
    first->keep(500);
    EXPECT_EQ(first->bytes(), 25);
    first->keep(5);   // encoded: the JPEG alone
    EXPECT_EQ(gate->held(), 80);
    first.reset();    // written
    EXPECT_EQ(gate->held(), 75);
}

namespace {

// Waits, without running the event loop (the main thread stays busy), until the predicate holds
// or the time-out passes; returns the predicate.
bool waitKeepingTheMainThreadBusy(const std::function<bool()>& predicate, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!predicate()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// A progressive JPEG (its whole coefficients are kept while it is decoded).
QString makeProgressivePhoto(const QString& folder, const QString& name, QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    QPainter painter(&image);
    painter.fillRect(QRect(size.width() / 4, size.height() / 4, size.width() / 2, size.height() / 2), QColor(230, 200, 40));
    painter.end();
    const QString path = QDir(folder).filePath(name);
    QImageWriter writer(path, "jpeg");
    writer.setProgressiveScanWrite(true);
    writer.setQuality(90);
    return writer.write(image) ? path : QString();
}

} // namespace

TEST_F(ExportEngine, BlocksAreDrawnAndWrittenWhileTheMainThreadIsBusy)
{
    PLRPostManager* manager = postOfPhotos(QStringLiteral("Busy"), QStringLiteral("b"), 6, QSize(400, 300), 50);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    // A text block and a spacer among the photos: skipped, and no file waits for them.
    layout->insertBlock(PLRLayoutManager::newBlock_Text(), 1, nullptr, &layout->representedLayout()->mutable_sections()->at(0));
    const int exported = int(plr_export::exportedBlockNumbers(*layout->representedLayout()).size());
    ASSERT_GE(exported, 1);
    const QString folder = testing_support::testHome() + "/busy";
    QDir().mkpath(folder);

    Outcome outcome;
    PLRExportManager::setParallelism(3);
    PLRExportManager::sharedManager().exportLayoutForPostManager(
        manager, folder, 500, 80, true, 2, false, [&outcome](qint64 current, qint64) { outcome.progress.append(current); },
        [&outcome](bool success, const QString& failure) {
            outcome.done = true;
            outcome.success = success;
            outcome.failure = failure;
        });
    // The main thread does not turn its event loop until every file is there: the blocks are
    // drawn on the export's own threads, and nothing of the export waits for the main thread.
    EXPECT_TRUE(waitKeepingTheMainThreadBusy([&] { return jpegsIn(folder).size() == exported; }, 60000))
        << jpegsIn(folder).size() << " of " << exported << " files written";
    EXPECT_TRUE(outcome.progress.isEmpty());   // posted to the main thread, not run yet
    ASSERT_TRUE(testing_support::waitUntil([&] { return outcome.done; }, 30000));
    PLRExportManager::setParallelism(0);
    EXPECT_TRUE(outcome.success) << outcome.failure.toStdString();
    // Every block's progress, in order, before the completion.
    QList<qint64> numbers;
    for (qint64 n = 1; n <= layout->representedLayout()->sections(0).blocks_size(); ++n)
        numbers << n;
    EXPECT_EQ(outcome.progress, numbers);
}

TEST_F(ExportEngine, AProgressivePhotoCountsItsWholeCoefficientsInFlight)
{
    ASSERT_FALSE(makeProgressivePhoto(m_folder, QStringLiteral("wide.jpg"), QSize(1600, 1200)).isEmpty());
    PLRPostManager* manager = openPost(QStringLiteral("Progressive"), 1);
    ASSERT_NE(manager, nullptr);
    manager->layoutManager()->createAndAddBlocksForImages({photo(manager, QStringLiteral("wide.jpg"))});
    const QString folder = testing_support::testHome() + "/progressive";
    QDir().mkpath(folder);
    Outcome outcome;
    runExport(manager, folder, outcome, 2, 300);
    EXPECT_TRUE(outcome.success) << outcome.failure.toStdString();
    EXPECT_EQ(jpegsIn(folder).size(), 1);
    // Drawn 300 wide, the photo and the drawing are about 0.5 MB; decoding the progressive photo
    // holds its coefficients at full size: 1600 x 1200 luma alone is 200 x 150 blocks of 128 bytes.
    EXPECT_GE(PLRExportManager::lastExportPeakInFlight(), 200LL * 150 * 128);
}

TEST_F(ExportEngine, BlocksInFlightAreBoundedByTheirMemoryNotTheirCount)
{
    PLRPostManager* manager = postOfPhotos(QStringLiteral("Memory"), QStringLiteral("m"), 8, QSize(800, 600), 40);
    ASSERT_NE(manager, nullptr);

    // Each block at 600 px: its photo about 1.1 MB, its drawing and JPEG about 1.2 MB. Four
    // threads would take five blocks' photos at once (5.7 MB) if only their count were bounded.
    PLRExportManager::setParallelism(4);
    const qint64 budget = 3600 * 1024;
    PLRExportManager::setMemoryBudget(budget);
    const QString folder = testing_support::testHome() + "/bounded";
    QDir().mkpath(folder);
    Outcome outcome;
    runExport(manager, folder, outcome);
    EXPECT_TRUE(outcome.success) << outcome.failure.toStdString();
    EXPECT_EQ(jpegsIn(folder).size(), 8);
    EXPECT_LE(PLRExportManager::lastExportPeakInFlight(), budget);
    EXPECT_GT(PLRExportManager::lastExportPeakInFlight(), 2 * 1024 * 1024);   // a block's photo and drawing at least

    // A budget smaller than any block: one block at a time, and the export still completes.
    PLRExportManager::setMemoryBudget(1);
    const QString serial = testing_support::testHome() + "/serial";
    QDir().mkpath(serial);
    Outcome one;
    runExport(manager, serial, one);
    EXPECT_TRUE(one.success) << one.failure.toStdString();
    EXPECT_EQ(jpegsIn(serial).size(), 8);
    EXPECT_LT(PLRExportManager::lastExportPeakInFlight(), 3 * 1024 * 1024);
    PLRExportManager::setMemoryBudget(0);
    PLRExportManager::setParallelism(0);
}

// The blocks are decoded, drawn, sharpened and encoded as streams of rows on two threads each;
// the files are byte for byte those of drawing, sharpening and encoding each block whole.
TEST_F(ExportEngine, StreamedBlocksGiveTheBytesOfWholePictures)
{
    ASSERT_TRUE(QFile::copy(testing_support::realPhotoPath(), QDir(m_folder).filePath("real.jpg")));
    makePhoto(m_folder, QStringLiteral("wide.jpg"), QSize(900, 500), QColor(200, 90, 40), 300);
    makePhoto(m_folder, QStringLiteral("tall.jpg"), QSize(400, 700), QColor(40, 160, 90));
    makePhoto(m_folder, QStringLiteral("small.jpg"), QSize(120, 90), QColor(90, 60, 200));
    ASSERT_FALSE(makeProgressivePhoto(m_folder, QStringLiteral("progressive.jpg"), QSize(800, 600)).isEmpty());
    // Drawn eleven times its size: each band of the drawing reads photo rows below the last one
    // it shows, which are not decoded yet while the band is drawn unless it stops short of them.
    makePhoto(m_folder, QStringLiteral("tiny.jpg"), QSize(64, 120), QColor(230, 210, 60));
    PLRPostManager* manager = openPost(QStringLiteral("Streams"), 6);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages({photo(manager, "real.jpg"), photo(manager, "wide.jpg"),
                                                                         photo(manager, "tall.jpg"), photo(manager, "progressive.jpg"),
                                                                         photo(manager, "tiny.jpg")});
    ASSERT_EQ(blocks.size(), 5);
    // A container of several photos and a caption, and a text block of its own (not exported).
    PLRBlockPtrList extra;
    extra.push_back(PLRLayoutManager::newBlock_Image());
    extra.back()->mutable_image()->set_img_ref(photo(manager, "small.jpg").toStdString());
    extra.push_back(PLRLayoutManager::newBlock_Text());
    extra.back()->mutable_text()->set_value("Seen from the ridge at dawn");
    ASSERT_NE(layout->wrapBlock(blocks[1], std::move(extra), false, false), nullptr);
    layout->insertBlock(PLRLayoutManager::newBlock_Text(), 1, nullptr, &layout->representedLayout()->mutable_sections()->at(0));

    const qint64 width = 700;
    // The whole pictures, made as a copy of the layout is drawn for an export.
    const PLRLayout& live = *layout->representedLayout();
    PLRExportRenderer renderer(live, double(width), PLRExportRenderer::photosOf(manager, live));
    const PLRSection& section = renderer.layout().sections(0);
    auto wholeFiles = [&](bool sharpen) {
        QList<QByteArray> files;
        for (const PLRBlock& block : section.blocks()) {
            if (!plr_export::isExportedBlock(block))
                continue;
            const PLRExportRenderer::Pictures pictures = PLRExportRenderer::preparePictures(renderer.picturesForBlock(&block, double(width)));
            QImage picture = renderer.drawBlock(renderer.drawTree(&block), double(width), pictures);
            if (sharpen)
                plr_export::sharpenLuminance(picture);
            const qint64 dpi = block.has_container() ? plr_export::kContainerDPI
                                                     : plr_export::exportDPIForPhoto(
                                                           renderer.photos().value(QString::fromStdString(block.image().img_ref())).dpi);
            files.append(plr_export::encodeJPEG(picture, PLRExportManager::interpolateQualityValue(80), dpi));
        }
        return files;
    };
    for (const bool sharpen : {true, false}) {
        SCOPED_TRACE(sharpen ? "sharpened" : "not sharpened");
        const QString folder = testing_support::testHome() + (sharpen ? "/sharpened" : "/plain");
        QDir().mkpath(folder);
        Outcome outcome;
        PLRExportManager::setParallelism(2);
        runExport(manager, folder, outcome, 2, width, {}, sharpen);
        PLRExportManager::setParallelism(0);
        ASSERT_TRUE(outcome.success) << outcome.failure.toStdString();
        const QStringList names = jpegsIn(folder);
        const QList<QByteArray> expected = wholeFiles(sharpen);
        ASSERT_EQ(names.size(), expected.size());
        ASSERT_EQ(names, QStringList({"1.jpg", "3.jpg", "4.jpg", "5.jpg", "6.jpg"}));
        for (int i = 0; i < names.size(); ++i) {
            QFile file(folder + "/" + names[i]);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray got = file.readAll();
            EXPECT_TRUE(got == expected[i]) << names[i].toStdString() << " differs from the whole picture's JPEG";
        }
    }
}

// A streamed block holds its photos, its picture and its JPEG at once (its two tasks overlap):
// the gate counts all of it from the start, and blocks wait for one another's memory.
TEST_F(ExportEngine, TheMemoryGateCountsBothTasksOfAStreamedBlock)
{
    for (int i = 0; i < 4; ++i)
        makePhoto(m_folder, QStringLiteral("s%1.jpg").arg(i), QSize(800, 600), QColor::fromHsv(i * 70, 200, 220));
    PLRPostManager* manager = openPost(QStringLiteral("Gate"), 4);
    ASSERT_NE(manager, nullptr);
    PLRLayoutManager* layout = manager->layoutManager();
    layout->createAndAddBlocksForImages({photo(manager, QStringLiteral("s0.jpg"))});
    // One block 600 wide: its photo and its picture are 600 x 450 x 4 bytes each, and the
    // JPEG's room a quarter of the picture, all counted together.
    const qint64 picture = 600LL * 450 * 4;
    const QString one = testing_support::testHome() + "/one";
    QDir().mkpath(one);
    Outcome single;
    runExport(manager, one, single);
    ASSERT_TRUE(single.success) << single.failure.toStdString();
    EXPECT_GE(PLRExportManager::lastExportPeakInFlight(), 2 * picture + picture / 4);

    // A budget for one and a half blocks: never more in flight, and the export completes.
    layout->createAndAddBlocksForImages(
        {photo(manager, QStringLiteral("s1.jpg")), photo(manager, QStringLiteral("s2.jpg")), photo(manager, QStringLiteral("s3.jpg"))});
    const qint64 budget = (2 * picture + picture / 4) * 3 / 2;
    PLRExportManager::setParallelism(4);
    PLRExportManager::setMemoryBudget(budget);
    const QString four = testing_support::testHome() + "/four";
    QDir().mkpath(four);
    Outcome bounded;
    runExport(manager, four, bounded);
    PLRExportManager::setMemoryBudget(0);
    PLRExportManager::setParallelism(0);
    EXPECT_TRUE(bounded.success) << bounded.failure.toStdString();
    EXPECT_EQ(jpegsIn(four).size(), 4);
    EXPECT_LE(PLRExportManager::lastExportPeakInFlight(), budget);
    EXPECT_EQ(bounded.progress, QList<qint64>({1, 2, 3, 4}));
}

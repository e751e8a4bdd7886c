// A layout export whose photos change on disk while their blocks are being drawn: cut short,
// replaced or removed at the moment the first rows of a block are handed to its writer.

#include "ExportTestSupport.h"

#include "publishing/export/PLRExportBlockStream.h"
#include "platform/Resets.h"
#include "store/persistance-store/source/PLRImageManager.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace export_test;

namespace {

// Every file the folder holds, hidden ones too (no half-written file may be left).
QStringList everythingIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class PhotosChangedMidExport : public ExportFixture {
protected:
    void SetUp() override
    {
        ExportFixture::SetUp();
        // One block drawn at a time: the next block's photo is not opened before the hook runs.
        PLRExportManager::setParallelism(1);
    }
    void TearDown() override { PLRExportManager::setParallelism(0); }

    // Three large photos, each in a block of its own (files 1.jpg, 2.jpg, 3.jpg): drawn 600
    // wide, each hands its first rows over while most of it is still to be decoded.
    PLRPostManager* threePhotoPost()
    {
        for (int i = 0; i < 3; ++i)
            makePhoto(m_folder, QStringLiteral("p%1.jpg").arg(i), QSize(2400, 1800), QColor::fromHsv(i * 100, 200, 220));
        PLRPostManager* manager = openPost(QStringLiteral("Changing"), 3);
        if (!manager)
            return nullptr;
        manager->layoutManager()->createAndAddBlocksForImages(
            {photo(manager, "p0.jpg"), photo(manager, "p1.jpg"), photo(manager, "p2.jpg")});
        PLRImageManager::shared().waitUntilAllOperationsAreFinished();
        return manager;
    }

    // Exports into a new folder, `hook` told the steps of every block's stream.
    Outcome exportWith(PLRPostManager* manager, const plr_export::StreamHook& hook, bool sharpen = true)
    {
        platform::HookGuard<plr_export::StreamHook> guard(&plr_export::setStreamHook, hook);
        m_out = testing_support::testHome() + QStringLiteral("/out%1").arg(++m_exports);
        QDir().mkpath(m_out);
        Outcome outcome;
        runExport(manager, m_out, outcome, 2, 600, {}, sharpen);
        return outcome;
    }

    // Runs `change` once, on the drawing thread, when the first rows of the block written to
    // `fileName` are handed over.
    Outcome exportChanging(PLRPostManager* manager, const QString& fileName, const std::function<void()>& change)
    {
        std::atomic_bool changed = false;
        const Outcome outcome = exportWith(manager, [&](const QString& file, plr_export::StreamStep step, int) {
            if (file == fileName && step == plr_export::StreamStep::RowsHandedOver && !changed.exchange(true))
                change();
        });
        EXPECT_TRUE(changed.load()) << "no rows of " << fileName.toStdString() << " were handed over";
        return outcome;
    }

    QString path(const char* name) const { return QDir(m_folder).filePath(QLatin1String(name)); }

    // Puts p1.jpg back whole and waits until the post knows this version of it.
    bool restoreSecondPhoto(PLRPostManager* manager)
    {
        QFile::remove(path("p1.jpg"));
        makePhoto(m_folder, "p1.jpg", QSize(2400, 1800), QColor::fromHsv(100, 200, 220));
        const QFileInfo file(path("p1.jpg"));
        const PLRFileStamp now{file.size(), file.lastModified().toMSecsSinceEpoch()};
        return testing_support::waitUntil([&] {
            const PLRSourceImagePtr image = manager->imageForIdentifier(photo(manager, "p1.jpg"));
            return image && image->problem() == PLRPhotoProblem::None && image->fileStamp().size == now.size
                && image->fileStamp().modifiedNs / 1000000 == now.modifiedNs;
        }, 10000);
    }

    QString m_out;
    int m_exports = 0;
};

// A photo cut short while its block is drawn (a copy still in progress, a sync client writing
// over it): its first rows are drawn and being sharpened and encoded when its decode fails. The
// block writes nothing, the others are written, and the export ends with the refusal a photo
// cut before the export gets, naming it.
TEST_F(PhotosChangedMidExport, APhotoCutShortWhileItsBlockIsDrawnIsRefusedByName)
{
    PLRPostManager* manager = threePhotoPost();
    ASSERT_NE(manager, nullptr);
    for (const bool sharpen : {true, false}) {
        SCOPED_TRACE(sharpen ? "sharpened" : "not sharpened");
        ASSERT_TRUE(restoreSecondPhoto(manager));
        // The file is cut once the writer has the block's first rows; the writer is held after
        // its first row until the drawing has failed, and then goes on with the rows it holds.
        std::mutex mutex;
        std::condition_variable changed;
        bool cut = false, writing = false, drawingEnded = false;
        const auto waitFor = [&](const bool& what) {
            std::unique_lock lock(mutex);
            if (!changed.wait_for(lock, std::chrono::seconds(60), [&] { return what; }))
                ADD_FAILURE() << "the other side of the block never came";
        };
        const Outcome outcome = exportWith(manager, [&](const QString& file, plr_export::StreamStep step, int rows) {
            if (file != QLatin1String("2.jpg"))
                return;
            std::unique_lock lock(mutex);
            if (step == plr_export::StreamStep::RowsHandedOver && !cut) {
                cut = true;
                QFile photo(path("p1.jpg"));
                EXPECT_TRUE(photo.resize(photo.size() * 8 / 10));
                lock.unlock();
                waitFor(writing);
            } else if (step == plr_export::StreamStep::RowEncoded && rows == 1) {
                writing = true;
                changed.notify_all();
                lock.unlock();
                waitFor(drawingEnded);
            } else if (step == plr_export::StreamStep::DrawingEnded) {
                drawingEnded = true;
                changed.notify_all();
            }
        }, sharpen);
        EXPECT_TRUE(cut && writing && drawingEnded);
        EXPECT_FALSE(outcome.success);
        EXPECT_EQ(outcome.completions, 1);
        EXPECT_TRUE(outcome.failure.contains("p1.jpg: cut short")) << outcome.failure.toStdString();
        EXPECT_TRUE(outcome.failure.contains("1 of 3 pictures were not exported")) << outcome.failure.toStdString();
        EXPECT_TRUE(outcome.failure.contains("Put a whole copy of it in the post's folder")) << outcome.failure.toStdString();
        EXPECT_FALSE(outcome.failure.contains("p0.jpg")) << outcome.failure.toStdString();
        EXPECT_EQ(outcome.progress, (QList<qint64>{1, 2, 3}));
        EXPECT_EQ(everythingIn(m_out), (QStringList{"1.jpg", "3.jpg"}));
    }
}

// The same for a photo replaced by another of another size while its block is drawn, by an
// editor saving over it in place or by one that puts a new file in its place, and for one
// removed: every export ends, no block is written from a mix of two photos, and a block that
// could not be drawn is named with its photo.
TEST_F(PhotosChangedMidExport, APhotoReplacedOrRemovedWhileItsBlockIsDrawnLeavesNoMixedPicture)
{
    PLRPostManager* manager = threePhotoPost();
    ASSERT_NE(manager, nullptr);
    QByteArray other;
    {
        makePhoto(m_folder, "other.jpg", QSize(900, 1400), Qt::darkGreen);
        QFile file(path("other.jpg"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        other = file.readAll();
        file.close();
        ASSERT_TRUE(QFile::remove(path("other.jpg")));
    }
    // Written over in place by a photo of its own size and kind (an editor saving a change of
    // colour): the rest of the data still decodes, as the other photo's.
    {
        SCOPED_TRACE("written over in place by a photo of its size");
        makePhoto(m_folder, "same.jpg", QSize(2400, 1800), QColor::fromHsv(300, 200, 220));
        QFile same(path("same.jpg"));
        ASSERT_TRUE(same.open(QIODevice::ReadOnly));
        const QByteArray bytes = same.readAll();
        same.close();
        QFile::remove(path("same.jpg"));
        const Outcome outcome = exportChanging(manager, "2.jpg", [&] {
            QFile file(path("p1.jpg"));
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_EQ(file.write(bytes), bytes.size());
            file.resize(bytes.size());
        });
        EXPECT_FALSE(outcome.success);
        EXPECT_TRUE(outcome.failure.contains("p1.jpg: not a readable photo")) << outcome.failure.toStdString();
        EXPECT_EQ(everythingIn(m_out), (QStringList{"1.jpg", "3.jpg"}));
    }
    ASSERT_TRUE(restoreSecondPhoto(manager));
    // A new file put in its place while the block before it is drawn (an editor saving a copy
    // and renaming it over the photo): one of the photo's proportions is drawn whole; one of
    // others would be squeezed into the photo's frame, and its block is not written.
    {
        SCOPED_TRACE("replaced by a smaller copy");
        makePhoto(m_folder, "half.jpg", QSize(1200, 900), QColor::fromHsv(300, 200, 220));
        const Outcome outcome = exportChanging(manager, "1.jpg", [&] {
            ASSERT_EQ(::rename(QFile::encodeName(path("half.jpg")).constData(), QFile::encodeName(path("p1.jpg")).constData()), 0);
        });
        EXPECT_TRUE(outcome.success) << outcome.failure.toStdString();
        EXPECT_EQ(everythingIn(m_out), (QStringList{"1.jpg", "2.jpg", "3.jpg"}));
    }
    ASSERT_TRUE(restoreSecondPhoto(manager));
    {
        SCOPED_TRACE("replaced by a photo of other proportions");
        const Outcome outcome = exportChanging(manager, "1.jpg", [&] {
            QFile file(path("p1.jpg.new"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            ASSERT_EQ(file.write(other), other.size());
            file.close();
            ASSERT_EQ(::rename(QFile::encodeName(path("p1.jpg.new")).constData(), QFile::encodeName(path("p1.jpg")).constData()), 0);
        });
        EXPECT_FALSE(outcome.success);
        EXPECT_TRUE(outcome.failure.contains("2.jpg: not written, p1.jpg: replaced during the export by a photo of other proportions"))
            << outcome.failure.toStdString();
        EXPECT_EQ(everythingIn(m_out), (QStringList{"1.jpg", "3.jpg"}));
    }
    ASSERT_TRUE(restoreSecondPhoto(manager));
    {
        SCOPED_TRACE("removed");
        const Outcome outcome = exportChanging(manager, "1.jpg", [&] { ASSERT_TRUE(QFile::remove(path("p1.jpg"))); });
        EXPECT_FALSE(outcome.success);
        EXPECT_TRUE(outcome.failure.contains("p1.jpg: missing from the folder")) << outcome.failure.toStdString();
        EXPECT_EQ(everythingIn(m_out), (QStringList{"1.jpg", "3.jpg"}));
    }
    ASSERT_TRUE(restoreSecondPhoto(manager));
    // Removed while its own block is drawn: the open file is read whole all the same.
    {
        SCOPED_TRACE("removed while read");
        const Outcome outcome = exportChanging(manager, "2.jpg", [&] { ASSERT_TRUE(QFile::remove(path("p1.jpg"))); });
        EXPECT_TRUE(outcome.success) << outcome.failure.toStdString();
        EXPECT_EQ(everythingIn(m_out), (QStringList{"1.jpg", "2.jpg", "3.jpg"}));
    }
}

#include "HomeTestSupport.h"

#include "platform-ui/Animation.h"
#include "shell/home/PLRPostThumbnails.h"
#include "shell/home/PLRRecentCollectionViewItem.h"
#include "shell/home/PLRShellImages.h"
#include "store/session/PLRCoreManager.h"
#include "platform/Resets.h"

#include <gtest/gtest.h>

#include <QAction>
#include <cmath>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMenu>

using namespace shell_test;

namespace {

// A tile showing the post, sized as on the home screen.
struct Tile {
    PLRRecentCollectionViewItem item;
    explicit Tile(PLRPersistantPost* post)
    {
        item.view()->resize(250, 428);
        item.setRepresentedPost(post);
    }
};

void writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(PostTile, PreviewSlidesToItsLowerEndOnHover)
{
    platform::ui::AnimationClock::shared().setManual(true);
    PLRChooserImageView preview;
    preview.resize(200, 300);
    QImage tall(400, 1200, QImage::Format_RGB32);
    tall.fill(Qt::gray);
    preview.setRepresentedImage(tall);
    EXPECT_EQ(preview.imageLayer()->frame(), QRectF(0, -300, 200, 600));   // top part shows
    preview.mouseEntered({});
    EXPECT_EQ(preview.imageLayer()->frame(), QRectF(0, 0, 200, 600));      // bottom part shows
    preview.mouseExited({});
    EXPECT_EQ(preview.imageLayer()->frame(), QRectF(0, -300, 200, 600));
    preview.setSelected(true);
    EXPECT_EQ(preview.selectedLayer()->opacity(), 1.0);

    // An image without width is no image: no division, the layer fills the view.
    preview.setRepresentedImage(QImage(0, 10, QImage::Format_RGB32));
    EXPECT_TRUE(preview.representedImage().isNull());
    EXPECT_EQ(preview.imageLayer()->frame(), QRectF(0, 0, 200, 300));
}

TEST(PostTile, PublishedStateMenuAndTitle)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    PLRPersistantPost* draft = makePost(session, "Draft");
    PLRPersistantPost* live = makePost(session, "Live", "remote-7");
    Tile tile(draft);
    EXPECT_EQ(tile.item.publishedStatusLabel()->stringValue(), "Not Published");
    EXPECT_FALSE(tile.item.deletePublishedMenuItem()->isEnabled());
    tile.item.showOptionMenu(nullptr);
    EXPECT_FALSE(tile.item.deletePublishedMenuItem()->isVisible());   // no unpublish entry
    EXPECT_FALSE(tile.item.exportMenuItem()->isEnabled());            // no post-file exporter yet
    EXPECT_EQ(tile.item.infoButtonImageName(), "open-tile-menu-pressed");
    tile.item.optionMenu()->hide();
    EXPECT_EQ(tile.item.infoButtonImageName(), "open-tile-menu");

    tile.item.setRepresentedPost(live);
    EXPECT_EQ(tile.item.titleText(), "Live");
    EXPECT_EQ(tile.item.publishedStatusLabel()->stringValue(), "Published");
    EXPECT_TRUE(tile.item.deletePublishedMenuItem()->isEnabled());
    // An empty remote identifier is not published.
    live->setRemoteIdentifier(QString());
    EXPECT_EQ(tile.item.publishedStatusLabel()->stringValue(), "Not Published");
    tile.item.setRepresentedPost(nullptr);
    EXPECT_EQ(tile.item.titleText(), "New Blog Post");

    // Export goes to the registered exporter.
    QList<PLRPersistantPost*> exported;
    const platform::HookGuard<PLRShellHooks::PostExport> exporter(
        &PLRShellHooks::setPostExport, {[&](PLRPersistantPost* post) { exported << post; }, {}});
    tile.item.setRepresentedPost(draft);
    tile.item.showOptionMenu(nullptr);
    EXPECT_TRUE(tile.item.exportMenuItem()->isEnabled());
    tile.item.exportMenuItem()->trigger();
    EXPECT_EQ(exported, QList<PLRPersistantPost*>({draft}));
    tile.item.optionMenu()->hide();
}

TEST(PostTile, RenameIgnoresAnEmptyName)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    PLRPersistantPost* post = makePost(session, "Before");
    Tile tile(post);
    tile.item.menuRenamePost();
    EXPECT_TRUE(tile.item.titleLabel()->isHidden());
    EXPECT_FALSE(tile.item.titleRenameField()->isHidden());
    EXPECT_EQ(tile.item.titleRenameField()->stringValue(), "Before");

    for (const char* empty : {"", "   "}) {
        tile.item.titleRenameField()->setStringValue(QString::fromLatin1(empty));
        tile.item.userDidFinishRenamingPost();
        EXPECT_FALSE(tile.item.titleRenameField()->isHidden());
        EXPECT_EQ(post->name(), "Before");
    }
    const QString odd = QStringLiteral("a/b\\c \"quoted\" 'x' ") + QString(300, QLatin1Char('w'));
    tile.item.titleRenameField()->setStringValue(odd);
    tile.item.userDidFinishRenamingPost();
    EXPECT_TRUE(tile.item.titleRenameField()->isHidden());
    EXPECT_FALSE(tile.item.titleLabel()->isHidden());
    EXPECT_EQ(post->name(), odd);
    EXPECT_EQ(tile.item.titleText(), odd);
    // The label shows one shortened line.
    EXPECT_LT(tile.item.titleLabel()->stringValue().size(), odd.size());
}

// A name longer than the tile is shortened in its middle, so that two names that differ at
// their end still read differently; the tool tip gives the whole name.
TEST(PostTile, ALongNameIsShortenedInItsMiddleAndWholeInItsToolTip)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    const QString first = QStringLiteral("Autumn Walk in the Hills imported 1");
    const QString second = QStringLiteral("Autumn Walk in the Hills imported 2");
    Tile one(makePost(session, first));
    Tile two(makePost(session, second));
    for (Tile* tile : {&one, &two}) {
        tile->item.view()->show();
        tile->item.view()->resize(200, 342);   // the narrowest tiles
    }
    const QString shownFirst = one.item.titleLabel()->stringValue();
    const QString shownSecond = two.item.titleLabel()->stringValue();
    EXPECT_LT(shownFirst.size(), first.size());   // cut short at this width
    EXPECT_NE(shownFirst, shownSecond);
    EXPECT_TRUE(shownFirst.endsWith(QStringLiteral("1"))) << shownFirst.toStdString();
    EXPECT_TRUE(shownFirst.startsWith(QStringLiteral("Autumn"))) << shownFirst.toStdString();
    EXPECT_EQ(one.item.titleLabel()->toolTip(), first);
    EXPECT_EQ(two.item.titleLabel()->toolTip(), second);
}

TEST(PostTile, DeleteOnlyOnTheFirstButton)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    PLRPersistantPost* post = makePost(session, "To delete");
    ASSERT_TRUE(saveAndWait());
    const QString bundle = post->bundlePath();
    const QString identifier = post->identifier();
    ASSERT_TRUE(QFileInfo::exists(bundle));
    NavigationRecorder navigation;
    Tile tile(post);

    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertSecondButtonReturn);
    tile.item.menuDeletePost();
    ASSERT_EQ(alerts.shown().size(), 1u);
    EXPECT_EQ(alerts.shown().back().messageText, "Delete Blog?");
    EXPECT_EQ(alerts.shown().back().buttons, QStringList({"Yes", "No"}));
    // Return never deletes, and the question names the post.
    EXPECT_TRUE(alerts.shown().back().destructive);
    EXPECT_TRUE(alerts.shown().back().informativeText.startsWith("Are you sure you want to delete this blog?"));
    EXPECT_TRUE(alerts.shown().back().informativeText.contains("To delete"));
    EXPECT_TRUE(session->account()->postForIdentifier(identifier));

    alerts.enqueue(platform::kAlertFirstButtonReturn);
    tile.item.menuDeletePost();
    EXPECT_FALSE(session->account()->postForIdentifier(identifier));
    PLRCoreManager::saveQueue().waitUntilIdle();
    EXPECT_FALSE(QFileInfo::exists(bundle));
    // Whatever held an editor of the post is told once it is gone.
    ASSERT_TRUE(testing_support::waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return navigation.deleted.contains(identifier);
    }));
    EXPECT_EQ(tile.item.representedPost(), nullptr);
}

TEST(PostTile, PublishedPostDeleteAndUnpublishAlerts)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    PLRPersistantPost* post = makePost(session, "Live", "remote-1");
    Tile tile(post);
    auto& alerts = testing_support::scriptedAlerts();
    alerts.enqueue(platform::kAlertSecondButtonReturn);
    tile.item.menuDeletePost();
    EXPECT_EQ(alerts.shown().back().buttons, QStringList({"Yes, Un-publish and Delete", "No, don't delete"}));
    alerts.enqueue(platform::kAlertSecondButtonReturn);
    tile.item.menuDeleteRemotePost();
    EXPECT_EQ(alerts.shown().back().messageText, "Unpublished Post?");
    EXPECT_EQ(post->remoteIdentifier(), "remote-1");
}

TEST(PostTile, PreviewsAreTileSizedAndBadOnesFallBack)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    PLRPersistantPost* good = makePost(session, "Good");
    PLRPersistantPost* corrupt = makePost(session, "Corrupt");
    ASSERT_TRUE(saveAndWait());
    QImage big(2400, 6000, QImage::Format_RGB32);
    big.fill(QColor(30, 120, 200));
    ASSERT_TRUE(big.save(good->bundlePath() + "/preview.jpg", "JPEG", 80));
    writeFile(corrupt->bundlePath() + "/preview.jpg", QByteArray("\xFF\xD8\xFF\xE0 not really a jpeg"));
    PLRPostThumbnails::shared().clear();

    const QImage empty = PLRShellImages::image("empty-post");
    Tile goodTile(good);
    Tile corruptTile(corrupt);
    ASSERT_TRUE(testing_support::waitUntil([&] { return goodTile.item.imageContainerView()->representedImage() != empty; }));
    const QImage shown = goodTile.item.imageContainerView()->representedImage();
    EXPECT_LE(shown.width(), 500);                     // decoded at the tile's width, not 2400
    EXPECT_NEAR(double(shown.height()) / shown.width(), 2.5, 0.01);
    EXPECT_TRUE(testing_support::holdsFor([&] { return corruptTile.item.imageContainerView()->representedImage() == empty; }, 50));
    EXPECT_TRUE(PLRPostThumbnails::decodeScaled(corrupt->bundlePath() + "/preview.jpg", 250).isNull());

    // A preview made in this run is taken from the post itself.
    QImage fresh(300, 300, QImage::Format_RGB32);
    fresh.fill(Qt::red);
    corrupt->setLayoutPreview(fresh);
    EXPECT_EQ(corruptTile.item.imageContainerView()->representedImage().pixelColor(5, 5), QColor(Qt::red));
}

TEST(PostTile, ThePreviewIsDrawnAtTheTilesOwnWidthAndStaysWhileANewWidthIsDecoded)
{
    PLRUserSession* session = signIn("u-1", "ann@example.com");
    PLRPersistantPost* post = makePost(session, "Wide");
    ASSERT_TRUE(saveAndWait());
    QImage big(1200, 3000, QImage::Format_RGB32);
    big.fill(QColor(200, 120, 30));
    ASSERT_TRUE(big.save(post->bundlePath() + "/preview.jpg", "JPEG", 80));
    PLRPostThumbnails::shared().clear();

    const QImage empty = PLRShellImages::image("empty-post");
    Tile tile(post);
    PLRChooserImageView* picture = tile.item.imageContainerView();
    ASSERT_TRUE(testing_support::waitUntil([&] { return picture->representedImage() != empty; }));
    // Exactly as wide as the picture's place in the tile: drawn as it is, never scaled.
    EXPECT_EQ(picture->representedImage().width(), int(std::ceil(picture->width() * picture->devicePixelRatioF())));

    // A wider tile: its post's picture stays (never the placeholder) until the wider one comes.
    const qint64 before = picture->representedImage().cacheKey();
    tile.item.view()->resize(293, 500);
    tile.item.setRepresentedPost(post);
    EXPECT_EQ(picture->representedImage().cacheKey(), before);
    ASSERT_TRUE(testing_support::waitUntil([&] { return picture->representedImage().width() == picture->width(); }));
    EXPECT_NE(picture->representedImage(), empty);
}

// A block moved on the canvas and then the menu bar, as a user does it: the real executable on
// a virtual X screen, a post of four photos laid out automatically, one photo dragged with the
// real pointer beside another, and the very next clicks on the menu bar's Edit and File. The
// drag runs its own loop, which takes the release; the menus that follow must open and the
// application live with the move kept.

#include "DevService.h"
#include "LaunchedApplication.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <QTemporaryDir>

#include <optional>

using namespace testing_support;

namespace {

// Photos of one colour each, of four shapes, so that each block can be found on the canvas.
struct Photo {
    const char* name;
    int width, height;
    QColor colour;
};
const Photo kPhotos[] = {{"red.jpg", 600, 400, QColor(220, 40, 40)},
                         {"green.jpg", 400, 600, QColor(40, 170, 60)},
                         {"orange.jpg", 640, 360, QColor(240, 150, 20)},
                         {"purple.jpg", 500, 500, QColor(130, 50, 160)}};

// Places in the window (y down): the menu bar's File and Edit, the title bar's automatic-layout
// button (from the window's right edge), and the canvas between the gallery and the inspector.
const QPoint kFileMenu(74, 8);
const QPoint kEditMenu(111, 8);
constexpr int kAutoLayoutFromRight = 182;
constexpr int kAutoLayoutY = 44;
QRect canvasArea(QSize window) { return QRect(260, 70, window.width() - 520, window.height() - 90); }

// Where the block of that colour is on the canvas: the bounding box of its pixels.
std::optional<QRect> blockOfColour(const QImage& shot, const QColor& colour)
{
    if (shot.isNull())
        return std::nullopt;
    const QRect area = canvasArea(shot.size()).intersected(shot.rect());
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    qint64 count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor pixel = shot.pixelColor(x, y);
            if (std::abs(pixel.red() - colour.red()) > 14 || std::abs(pixel.green() - colour.green()) > 14
                || std::abs(pixel.blue() - colour.blue()) > 14)
                continue;
            ++count;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (count < 400)
        return std::nullopt;
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

class CanvasMoveLaunchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(photos.isValid());
        for (const Photo& photo : kPhotos) {
            QImage image(photo.width, photo.height, QImage::Format_RGB32);
            image.fill(photo.colour);
            ASSERT_TRUE(image.save(photos.filePath(QString::fromLatin1(photo.name)), "JPG", 95));
        }
        ASSERT_TRUE(service.start());
        ASSERT_TRUE(screen.start());
        app = std::make_unique<LaunchedApplication>(screen, service.port());
        // The onboarding hints have been seen (they would lie over the canvas).
        app->setSetting(QStringLiteral("presented_onboard"), QStringLiteral("2"));
        ASSERT_TRUE(app->start());
        ASSERT_TRUE(app->signIn(kLaunchTimeoutMs)) << app->output().toStdString();
        ASSERT_TRUE(app->waitUntilAtRest());
    }
    void TearDown() override
    {
        if (app)
            app->terminate();
    }

    // Real pointer input to the main window (window coordinates).
    bool pointer(const QStringList& arguments) const
    {
        bool ok = false;
        screen.run(QStringLiteral("xdotool"), arguments, &ok);
        return ok;
    }
    bool moveTo(QPoint at) const
    {
        return pointer({QStringLiteral("mousemove"), QStringLiteral("--window"), app->mainWindow(), QString::number(at.x()),
                        QString::number(at.y())});
    }
    // Presses at `from`, moves in steps to `to` and lets go there.
    bool dragWithThePointer(QPoint from, QPoint to) const
    {
        if (!moveTo(from) || !pointer({QStringLiteral("mousedown"), QStringLiteral("1")}))
            return false;
        constexpr int kSteps = 8;
        for (int step = 1; step <= kSteps; ++step) {
            if (!moveTo(from + (to - from) * step / kSteps))
                return false;
        }
        return moveTo(to) && pointer({QStringLiteral("mouseup"), QStringLiteral("1")});
    }
    // Clicks a menu of the menu bar; answers once its menu shows below it (or the application
    // has ended).
    bool openMenu(QPoint title)
    {
        const QImage before = app->screenshot();
        const QRect below(title.x() - 10, title.y() + 14, 150, 80);
        if (!app->click(title))
            return false;
        return pollUntil(
            [&] {
                const QImage shot = app->screenshot();
                return !app->isRunning()
                       || (!shot.isNull() && testing_support::differingPixels(shot.copy(below), before.copy(below)) > 3000);
            },
            30000, 200);
    }

    QTemporaryDir photos;
    DevService service;
    VirtualScreen screen;
    std::unique_ptr<LaunchedApplication> app;
};

} // namespace

TEST_F(CanvasMoveLaunchTest, AMenuOfTheMenuBarOpensRightAfterABlockWasMovedAndTheMoveIsKept)
{
    ASSERT_TRUE(app->createPost(QStringLiteral("Lisbon"), photos.path())) << app->output().toStdString();
    ASSERT_TRUE(app->waitUntilAtRest());
    // The automatic layout, then the canvas zoomed out until every block shows.
    const QSize window = app->windowSize();
    ASSERT_TRUE(app->click(QPoint(window.width() - kAutoLayoutFromRight, kAutoLayoutY)));
    ASSERT_TRUE(pollUntil([&] { return blockOfColour(app->screenshot(), kPhotos[0].colour).has_value(); }, kLaunchTimeoutMs))
        << app->output().toStdString();
    auto everyBlockShows = [&](const QImage& shot) {
        for (const Photo& photo : kPhotos)
            if (!blockOfColour(shot, photo.colour))
                return false;
        return true;
    };
    for (int step = 0; step < 6 && !everyBlockShows(app->screenshot()); ++step) {
        ASSERT_TRUE(app->key(QStringLiteral("ctrl+minus")));
        ASSERT_TRUE(app->waitUntilAtRest());
    }
    QImage shot = app->screenshot();
    ASSERT_TRUE(everyBlockShows(shot)) << app->output().toStdString();

    // The green block dragged onto the left edge of the orange one: a row of the two.
    auto inARow = [&](const QImage& picture) {
        const std::optional<QRect> left = blockOfColour(picture, kPhotos[1].colour);
        const std::optional<QRect> right = blockOfColour(picture, kPhotos[2].colour);
        return left && right && left->right() < right->left() && left->bottom() > right->top() && left->top() < right->bottom();
    };
    const QRect green = *blockOfColour(shot, kPhotos[1].colour);
    const QRect orange = *blockOfColour(shot, kPhotos[2].colour);
    ASSERT_FALSE(inARow(shot));
    ASSERT_TRUE(dragWithThePointer(green.center(), QPoint(orange.left() + 4, orange.center().y())));
    ASSERT_TRUE(pollUntil([&] { return !app->isRunning() || inARow(app->screenshot()); }, 30000, 200));
    ASSERT_TRUE(app->isRunning()) << app->output().toStdString();

    // The very next click: Edit, whose menu opens; then File.
    ASSERT_TRUE(openMenu(kEditMenu));
    ASSERT_TRUE(app->isRunning()) << app->output().toStdString();
    ASSERT_TRUE(app->key(QStringLiteral("Escape")));
    ASSERT_TRUE(app->waitUntilAtRest());
    ASSERT_TRUE(openMenu(kFileMenu));
    ASSERT_TRUE(app->isRunning()) << app->output().toStdString();
    ASSERT_TRUE(app->key(QStringLiteral("Escape")));
    ASSERT_TRUE(app->waitUntilAtRest());

    // The move is still there, the application lives and ends cleanly.
    EXPECT_TRUE(inARow(app->screenshot()));
    EXPECT_TRUE(testing_support::holdsFor([&] { return app->isRunning(); }, 1000)) << app->output().toStdString();
    EXPECT_EQ(app->terminate(), 0) << app->output().toStdString();
}

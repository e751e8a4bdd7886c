#include "LayoutTestSupport.h"

#include "layout/block_draw_handlers/PLRBlockDrawHandler_DownloadButton.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Image.h"
#include "layout/block_draw_handlers/PLRBlockDrawHandler_Text.h"
#include "layout/views/PLRBlockDrawTree.h"
#include "layout/views/PLRBlockView.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"
#include "layout/views/PLRSectionView.h"
#include "layout/views/PLRViewRendering.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>

using layout_test::blankBlock;
using layout_test::containerOf;
using layout_test::FakeImageProvider;
using layout_test::imageBlock;
using layout_test::list;
using layout_test::sameColour;

namespace {

const QColor kBackground(200, 200, 200);
const QColor kRed(255, 0, 0);
const QColor kPink(255, 128, 128);
const QColor kBlue(0, 0, 255);

class LayoutRenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        layout.set_padding(10);
        layout.mutable_background_colour()->set_r(200);
        layout.mutable_background_colour()->set_g(200);
        layout.mutable_background_colour()->set_b(200);
        layout.add_sections()->mutable_stacked();
        manager = std::make_unique<PLRLayoutManager>(&layout);
        auto fake = std::make_unique<FakeImageProvider>();
        photos = fake.get();
        photos->addPhoto("red", QSizeF(400, 400), kRed);
        photos->photos["red"].fullColour = kPink;
        photos->addPhoto("blue", QSizeF(800, 600), kBlue);
        manager->setImageProvider(std::move(fake));

        PLRSection* section = layout.mutable_sections(0);
        row = manager->addBlock(containerOf(false, list(imageBlock("red"), imageBlock("blue", 1.0f))), nullptr, section);
        missing = manager->addBlock(imageBlock("gone", 3.0f), nullptr, section);
        PLRBlockPtr heading = PLRLayoutManager::newBlock_Text();
        heading->mutable_text()->set_value("Hello world");
        heading->mutable_text()->set_style(PLRBlock_Text::HEADER1);
        heading->mutable_text()->mutable_position()->set_alignment(PLRPosition::CENTRE);
        text = manager->addBlock(std::move(heading), nullptr, section);
        button = manager->addBlock(PLRLayoutManager::newBlock_DownloadButton(), nullptr, section);
    }

    // An off-screen render, or (live) one of the canvas's view.
    QImage renderAt(double width, bool live = false)
    {
        PLRLayoutViewProxy proxy(manager.get(), &layout, width);
        proxy.setLive(live);
        proxy.layoutView()->ensureSectionLayout();
        return proxy.layoutView()->renderImage();
    }

    PLRLayout layout;
    std::unique_ptr<PLRLayoutManager> manager;
    FakeImageProvider* photos = nullptr;
    PLRBlock* row = nullptr;
    PLRBlock* missing = nullptr;
    PLRBlock* text = nullptr;
    PLRBlock* button = nullptr;
};

bool hasDarkPixel(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (qRed(image.pixel(x, y)) < 100)
                return true;
        }
    }
    return false;
}

} // namespace

TEST_F(LayoutRenderTest, OffScreenRenderAtTwoWidths)
{
    PLRLayoutViewProxy proxy(manager.get(), &layout, 1500);
    PLRLayoutView* view = proxy.layoutView();
    view->ensureSectionLayout();
    const QRectF textFrame = proxy.blockViewForBlock(text)->frameInLayoutView();
    const QRectF buttonFrame = proxy.blockViewForBlock(button)->frameInLayoutView();
    EXPECT_EQ(proxy.blockViewForBlock(&row->container().sub_blocks(1))->frameInLayoutView(), QRectF(755, 0, 745, 745));
    EXPECT_EQ(proxy.blockViewForBlock(missing)->frameInLayoutView(), QRectF(0, 755, 1500, 500));
    EXPECT_EQ(textFrame.top(), 1265);
    EXPECT_DOUBLE_EQ(view->bounds().height(), buttonFrame.bottom());

    QImage image = view->renderImage();
    ASSERT_EQ(image.size(), QSize(1500, int(buttonFrame.bottom())));
    EXPECT_TRUE(sameColour(image.pixel(372, 372), kRed));
    EXPECT_TRUE(sameColour(image.pixel(750, 372), kBackground));    // the padding between the photos
    EXPECT_TRUE(sameColour(image.pixel(1127, 372), kBlue));
    EXPECT_TRUE(sameColour(image.pixel(750, 750), kBackground));    // the padding below the row
    EXPECT_TRUE(sameColour(image.pixel(5, 760), PLRBlockDrawHandler_Image::placeholderColour()));
    EXPECT_TRUE(sameColour(image.pixel(758, 1005), PLRBlockDrawHandler_Image::errorColour()));   // the mark, beside its bar
    EXPECT_TRUE(hasDarkPixel(image, textFrame.toAlignedRect().intersected(image.rect())));
    EXPECT_FALSE(hasDarkPixel(image, QRect(0, int(textFrame.top()), 300, int(textFrame.height()))));   // centred
    const QRectF buttonRect = PLRBlockDrawHandler_DownloadButton::buttonRectInBlock(buttonFrame, button->download_button());
    EXPECT_TRUE(sameColour(image.pixel(int(buttonRect.left()) + 4, int(buttonRect.center().y())), Qt::black));
    EXPECT_TRUE(sameColour(image.pixel(int(buttonRect.left()) - 4, int(buttonRect.center().y())), kBackground));

    // The same layout at 600: the padding stays 10, the photos are (600 - 10) / 2 wide.
    image = renderAt(600);
    EXPECT_TRUE(sameColour(image.pixel(147, 147), kRed));
    EXPECT_TRUE(sameColour(image.pixel(300, 147), kBackground));
    EXPECT_TRUE(sameColour(image.pixel(452, 147), kBlue));
    EXPECT_TRUE(sameColour(image.pixel(5, 310), PLRBlockDrawHandler_Image::placeholderColour()));   // 295 + 10
    EXPECT_TRUE(sameColour(image.pixel(308, 405), PLRBlockDrawHandler_Image::errorColour()));     // 305 + 100

    // Rendering to another pixel width scales the view evenly.
    image = view->renderImage(750);
    EXPECT_EQ(image.size(), QSize(750, int(view->bounds().height() / 2)));
    EXPECT_TRUE(sameColour(image.pixel(186, 186), kRed));
    EXPECT_TRUE(sameColour(image.pixel(563, 186), kBlue));
}

TEST_F(LayoutRenderTest, LivePaintingMatchesTheOffScreenRender)
{
    PLRLayoutViewProxy proxy(manager.get(), &layout, 1000);
    PLRLayoutView* view = proxy.layoutView();
    view->ensureSectionLayout();
    const QImage offScreen = view->renderImage();
    const QImage live = view->grab().toImage();
    ASSERT_EQ(live.width(), offScreen.width());
    ASSERT_NEAR(live.height(), offScreen.height(), 1);   // whole pixels up, against down
    for (QPoint point : {QPoint(200, 200), QPoint(497, 200), QPoint(503, 200), QPoint(800, 200), QPoint(5, 510)})
        EXPECT_EQ(QColor(live.pixel(point)).rgb(), QColor(offScreen.pixel(point)).rgb()) << point.x() << "," << point.y();

    // A block's own render (the drag image): no background, its sub-blocks included.
    PLRBlockView* rowView = proxy.blockViewForBlock(row);
    EXPECT_EQ(rowView->geometry(), QRect(0, 0, 1000, 495));
    EXPECT_EQ(rowView->subBlocks().at(1)->geometry(), QRect(505, 0, 495, 495));
    const QImage drag = rowView->renderImage(100);
    EXPECT_EQ(drag.size(), QSize(100, 49));
    EXPECT_TRUE(sameColour(drag.pixel(20, 20), kRed));
    EXPECT_TRUE(sameColour(drag.pixel(80, 20), kBlue));
    EXPECT_EQ(qAlpha(drag.pixel(50, 20)), 0);   // the padding is not painted
    EXPECT_EQ(proxy.blockViewForBlock(missing)->renderImage(0).size(), QSize(1000, 333));
}

TEST_F(LayoutRenderTest, ExportAndKeywordOverlayChooseWhatImagesShow)
{
    photos->photos["red"].keywords = {"sea", "sand"};
    auto badgePixel = [](const QImage& image) { return image.pixel(8, 745 - 16); };
    EXPECT_TRUE(sameColour(badgePixel(renderAt(1500)), kRed));

    manager->setImageKeywordOverlayEnabled(true);
    const QRgb badged = badgePixel(renderAt(1500, true));
    EXPECT_LT(qRed(badged), 150);   // a dark badge over the photo, on the canvas
    EXPECT_TRUE(sameColour(badgePixel(renderAt(1500)), kRed));   // never off-screen (previews, collages)

    // While exporting: the full-size photo and no badges.
    manager->setLayoutIsBeingExported(true);
    photos->fullSizeRequests = 0;
    const QImage exported = renderAt(1500);
    EXPECT_GT(photos->fullSizeRequests, 0);
    EXPECT_TRUE(sameColour(exported.pixel(372, 372), kPink));
    EXPECT_TRUE(sameColour(badgePixel(exported), kPink));
    manager->setLayoutIsBeingExported(false);
    manager->setImageKeywordOverlayEnabled(false);

    // A block wider than 1500 shows the full-size photo too.
    PLRLayout single;
    single.add_sections()->mutable_blocks()->AddAllocated(imageBlock("red", 2.0f).release());
    PLRLayoutViewProxy wide(manager.get(), &single, 1600);
    EXPECT_TRUE(sameColour(wide.layoutView()->renderImage().pixel(800, 400), kPink));
    EXPECT_TRUE(sameColour(wide.layoutView()->renderImage(800).pixel(400, 200), kRed));   // 800 device pixels
}

TEST_F(LayoutRenderTest, CropPositionPlacesThePhoto)
{
    const QRectF block(0, 0, 300, 300);
    const QSizeF photo(200, 100);
    EXPECT_EQ(PLRBlockDrawHandler_Image::imageRectInBlock(block, photo, nullptr), QRectF(-150, 0, 600, 300));
    PLRPosition position;
    position.set_x(-1.0f);
    EXPECT_EQ(PLRBlockDrawHandler_Image::imageRectInBlock(block, photo, &position), QRectF(-300, 0, 600, 300));
    position.set_width(4.0f);
    position.set_x(-0.5f);
    position.set_y(-0.25f);
    EXPECT_EQ(PLRBlockDrawHandler_Image::imageRectInBlock(block, photo, &position), QRectF(-150, -75, 1200, 600));
    // Never smaller than the block, never off it.
    position.set_width(0.1f);
    position.set_x(5.0f);
    position.set_y(std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(PLRBlockDrawHandler_Image::imageRectInBlock(block, photo, &position), QRectF(0, 0, 600, 300));
    EXPECT_TRUE(PLRBlockDrawHandler_Image::imageRectInBlock(block, QSizeF(0, 100), nullptr).isNull());

    // In a render: left half red, right half green.
    QImage halves(200, 100, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&halves);
    painter.fillRect(0, 0, 100, 100, Qt::red);
    painter.fillRect(100, 0, 100, 100, Qt::green);
    painter.end();
    photos->addPhoto("halves", photo);
    photos->photos["halves"].picture = halves;
    PLRLayout single;
    PLRBlock* block1 = single.add_sections()->add_blocks();
    *block1 = *imageBlock("halves", 1.0f);
    PLRLayoutViewProxy proxy(manager.get(), &single, 300);
    QImage image = proxy.layoutView()->renderImage();
    EXPECT_TRUE(sameColour(image.pixel(100, 150), Qt::red));
    EXPECT_TRUE(sameColour(image.pixel(200, 150), Qt::green));
    block1->mutable_image()->mutable_position()->set_x(-1.0f);
    proxy.layoutView()->update();
    image = proxy.layoutView()->renderImage();
    EXPECT_TRUE(sameColour(image.pixel(20, 150), Qt::green));
}

TEST_F(LayoutRenderTest, FaultyLayoutsRenderSensibly)
{
    // No section at all: nothing to lay out, nothing to render.
    PLRLayout empty;
    PLRLayoutViewProxy emptyProxy(manager.get(), &empty, 1500);
    emptyProxy.layoutView()->ensureSectionLayout();
    EXPECT_EQ(emptyProxy.layoutView()->bounds(), QRectF(0, 0, 1500, 0));
    EXPECT_TRUE(emptyProxy.layoutView()->renderImage().isNull());

    // Sections of other kinds take no room; a width of 0 or NaN gives an empty view.
    PLRLayout odd;
    PLRSection* mason = odd.add_sections();
    mason->mutable_mason();
    mason->add_blocks()->mutable_image();
    PLRSection* stacked = odd.add_sections();
    *stacked->add_blocks() = *imageBlock("red", std::numeric_limits<float>::quiet_NaN());
    PLRBlock* deep = stacked->add_blocks();
    for (int i = 0; i < 50; ++i)
        deep = deep->mutable_container()->add_sub_blocks();
    *deep = *imageBlock("nowhere", 0.0f);
    stacked->add_blocks()->mutable_container();   // empty container
    odd.set_padding(-20);
    PLRLayoutViewProxy proxy(manager.get(), &odd, 300);
    proxy.layoutView()->ensureSectionLayout();
    EXPECT_EQ(proxy.layoutView()->sectionViews().at(0)->frame().height(), 0.0);
    // The photo's own 1:1 for a ratio that is not a number, 3:2 for a missing photo, no padding.
    EXPECT_EQ(proxy.layoutView()->bounds().height(), 500.0);
    const QImage image = proxy.layoutView()->renderImage();
    EXPECT_TRUE(sameColour(image.pixel(150, 150), kRed));
    EXPECT_TRUE(sameColour(image.pixel(5, 305), PLRBlockDrawHandler_Image::placeholderColour()));
    for (double width : {0.0, std::numeric_limits<double>::quiet_NaN(), -3.0}) {
        proxy.setWidth(width);
        proxy.layoutView()->ensureSectionLayout();
        EXPECT_EQ(proxy.layoutView()->bounds().width(), 0.0);
        EXPECT_TRUE(proxy.layoutView()->renderImage().isNull());
    }
}

TEST_F(LayoutRenderTest, TextKeepsItsInnerMarginOnEverySide)
{
    // Left-aligned and long enough to wrap: no letter in the margin along the edges.
    text->mutable_text()->set_style(PLRBlock_Text::PARAGRAPH);
    text->mutable_text()->mutable_position()->set_alignment(PLRPosition::LEFT);
    text->mutable_text()->set_value(std::string(40, 'W') + " " + std::string(60, 'M') + " Lisbon trams at dusk");
    manager->announceChange();
    PLRLayoutViewProxy proxy(manager.get(), &layout, 300);
    proxy.setLive(false);
    proxy.layoutView()->ensureSectionLayout();
    const QImage image = proxy.layoutView()->renderImage();
    const QRect frame = proxy.blockViewForBlock(text)->frameInLayoutView().toAlignedRect();
    const int margin = int(PLRBlockDrawHandler_Text::kTextInset) - 1;
    EXPECT_TRUE(hasDarkPixel(image, frame.intersected(image.rect())));
    EXPECT_FALSE(hasDarkPixel(image, QRect(frame.left(), frame.top(), margin, frame.height())));    // left
    EXPECT_FALSE(hasDarkPixel(image, QRect(frame.right() - margin + 1, frame.top(), margin, frame.height())));   // right
    EXPECT_FALSE(hasDarkPixel(image, QRect(frame.left(), frame.top(), frame.width(), margin)));     // top
    EXPECT_FALSE(hasDarkPixel(image, QRect(frame.left(), frame.bottom() - margin + 1, frame.width(), margin)));   // bottom
    // The editor and the drawing share the text's rectangle.
    const QRectF inBlock = PLRBlockDrawHandler_Text::textRectInBlock(QRectF(0, 0, 200, 100), text->text());
    EXPECT_EQ(inBlock, QRectF(6, 6, 188, 88));
}

TEST_F(LayoutRenderTest, AnEmptyTextBlockShowsAHintOnlyOnTheCanvas)
{
    text->mutable_text()->set_value("");
    manager->announceChange();
    PLRLayoutViewProxy proxy(manager.get(), &layout, 1500);   // the canvas's view
    proxy.layoutView()->ensureSectionLayout();
    const QRect area = proxy.blockViewForBlock(text)->frameInLayoutView().toAlignedRect().adjusted(1, 1, -1, -1);
    ASSERT_GT(area.height(), 10);   // one line tall, not collapsed
    auto hinted = [&] {
        const QImage image = proxy.layoutView()->renderImage();
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                if (qGray(image.pixel(x, y)) < 190)
                    return true;
        return false;
    };
    EXPECT_TRUE(hinted());
    // Not in an off-screen view (previews, collages), not while it is written in, and never in
    // an export.
    proxy.setLive(false);
    EXPECT_FALSE(hinted());
    proxy.setLive(true);
    manager->setLayoutIsBeingExported(true);
    EXPECT_FALSE(hinted());
    manager->setLayoutIsBeingExported(false);
    manager->setEditBlock(text);
    EXPECT_FALSE(hinted());
}

namespace {

// The columns where two renders of the same size differ by more than `threshold` in any channel.
QPair<int, int> differingColumns(const QImage& a, const QImage& b, int threshold = 40)
{
    int first = -1, last = -1;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > threshold || std::abs(qGreen(p) - qGreen(q)) > threshold
                || std::abs(qBlue(p) - qBlue(q)) > threshold || std::abs(qAlpha(p) - qAlpha(q)) > threshold) {
                first = first < 0 ? x : std::min(first, x);
                last = std::max(last, x);
            }
        }
    return {first, last};
}

} // namespace

// Outside editing the canvas draws a text block's formatting as the editor shows it: a bold word
// changes the drawing exactly where the word is, and a link takes the link colour.
TEST_F(LayoutRenderTest, TextBlocksDrawTheirFormattingOutsideEditing)
{
    PLRBlock_Text* body = text->mutable_text();
    body->set_style(PLRBlock_Text::PARAGRAPH);
    body->mutable_position()->set_alignment(PLRPosition::LEFT);
    PLRLayoutViewProxy proxy(manager.get(), &layout, 1000);   // the canvas's view
    proxy.layoutView()->ensureSectionLayout();
    auto drawn = [&](const std::string& value, const std::string& html) {
        body->set_value(value);
        body->set_html(html);
        manager->announceChange();
        proxy.layoutView()->layoutSubtreeIfNeeded();
        return proxy.blockViewForBlock(text)->renderImage(2000);   // twice the canvas's scale
    };
    const QImage plain = drawn("Sunset over the sea", "<p>Sunset over the sea</p>");
    const QImage bold = drawn("Sunset over the sea", "<p>Sunset over the <b>sea</b></p>");
    ASSERT_FALSE(plain.isNull());
    ASSERT_EQ(bold.size(), plain.size());
    const QFont font = PLRBlockDrawHandler_Text::fontForStyle(PLRBlock_Text::PARAGRAPH);
    const double left = PLRBlockDrawHandler_Text::textRectInBlock(proxy.blockViewForBlock(text)->bounds(), *body).left();
    const double start = (left + QFontMetricsF(font).horizontalAdvance("Sunset over the ")) * 2.0;
    QFont heavy = font;
    heavy.setBold(true);
    const double end = start + QFontMetricsF(heavy).horizontalAdvance("sea") * 2.0;
    const auto [first, last] = differingColumns(plain, bold);
    ASSERT_GE(first, 0) << "the bold word is drawn plain";
    EXPECT_GE(first, int(start) - 2);
    EXPECT_LE(last, int(std::ceil(end)) + 2);
    const auto [italicFirst, italicLast] = differingColumns(plain, drawn("Sunset over the sea", "<p>Sunset over the <i>sea</i></p>"));
    EXPECT_GE(italicFirst, int(start) - 4);
    EXPECT_GE(italicLast, italicFirst);

    // A link is drawn in the link colour.
    const QImage linked = drawn("Sunset over the sea", "<p>Sunset over the <a href=\"https://example.com\">sea</a></p>");
    int bluish = 0;
    for (int y = 0; y < linked.height(); ++y)
        for (int x = int(start); x < linked.width(); ++x) {
            const QRgb p = linked.pixel(x, y);
            bluish += qAlpha(p) > 128 && qBlue(p) > qRed(p) + 80;
        }
    EXPECT_GT(bluish, 10);

    // Formatting that makes the text wrap makes the block taller.
    const QString longText = QString("word ").repeated(60).trimmed();
    const double plainHeight = PLRBlockDrawHandler_Text::heightForWidth(*body, 300);
    body->set_value(longText.toStdString());
    body->set_html("<p>" + longText.toStdString() + "</p>");
    const double wrapped = PLRBlockDrawHandler_Text::heightForWidth(*body, 300);
    EXPECT_GT(wrapped, plainHeight);
    body->set_html("<p><b>" + longText.toStdString() + "</b></p>");
    EXPECT_GT(PLRBlockDrawHandler_Text::heightForWidth(*body, 300), wrapped);
}

TEST_F(LayoutRenderTest, BlocksDrawnFromTheirTreesOnOtherThreadsLookAsTheirViewsDrawThem)
{
    // A cropped photo in the row, a spacer, an empty text block and a hovered button.
    PLRPosition* crop = row->mutable_container()->mutable_sub_blocks(1)->mutable_image()->mutable_position();
    crop->set_width(1.6f);
    crop->set_x(-0.3f);
    crop->set_y(-0.1f);
    PLRSection* section = layout.mutable_sections(0);
    manager->addBlock(blankBlock(4.0f), nullptr, section);
    manager->addBlock(PLRLayoutManager::newBlock_Text(), nullptr, section);
    manager->setHoverBlock(button);

    for (const bool live : {false, true}) {
        PLRLayoutViewProxy proxy(manager.get(), &layout, 1500);
        proxy.setLive(live);
        proxy.layoutView()->ensureSectionLayout();
        QList<QImage> expected;
        QList<PLRBlockDrawTree> trees;
        QList<PLRBlockDrawContext> contexts;
        for (const PLRBlock& block : layout.sections(0).blocks()) {
            PLRBlockView* view = proxy.blockViewForBlock(&block);
            ASSERT_NE(view, nullptr);
            expected << view->renderImage(900);
            trees << PLRBlockDrawTree::ofView(*view);
            contexts << PLRBlockDrawHandler::contextForView(view);
        }
        EXPECT_EQ(contexts.first().canvasMarks, live);
        // Every block at once, each on a thread of its own, touching no view.
        QList<int> indices;
        for (int i = 0; i < trees.size(); ++i)
            indices << i;
        const QList<QImage> drawn = QtConcurrent::blockingMapped(indices, [&](int i) {
            const PLRBlockDrawTree& tree = trees[i];
            return PLRRenderViewArea(tree.bounds(), 900, QStringLiteral("block"),
                                     [&](QPainter* painter) { tree.draw(*painter, tree.bounds(), contexts[i]); });
        });
        for (int i = 0; i < trees.size(); ++i) {
            ASSERT_FALSE(drawn[i].isNull()) << i;
            EXPECT_EQ(drawn[i], expected[i]) << "block " << i << (live ? " on the canvas" : " off-screen");
        }
    }
}

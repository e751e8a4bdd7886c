// What reaches the website is what was composed: a composed post is published to the
// development service, its built page is photographed by a headless Chromium, and the blocks'
// rectangles are compared with those of the layout's own render at the same width.
#include "PublishingTestSupport.h"

#include "layout/text/PLRRichText.h"
#include "layout/views/PLRLayoutView.h"
#include "layout/views/PLRLayoutViewProxy.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <functional>

namespace {

constexpr int kWidth = 800;
const QColor kBackground(255, 0, 255);

PLRBlock imageBlock(const QString& ref, float ratio, const QString& id)
{
    PLRBlock block;
    block.set_id(id.toStdString());
    block.set_aspect_ratio(ratio);
    block.mutable_image()->set_img_ref(ref.toStdString());
    return block;
}

PLRBlock container(bool vertical, std::initializer_list<PLRBlock> children, const QString& id)
{
    PLRBlock block;
    block.set_id(id.toStdString());
    block.mutable_container()->set_vert(vertical);
    for (const PLRBlock& child : children)
        *block.mutable_container()->add_sub_blocks() = child;
    return block;
}

int distance(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// The bounding boxes of the connected regions of pixels that `inside` accepts, at least
// `minimum` pixels on each side, sorted top to bottom, left to right.
QList<QRect> regions(const QImage& picture, const std::function<bool(const QColor&)>& inside, int minimum)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    const int w = image.width(), h = image.height();
    auto isBackground = [&](int x, int y) { return !inside(QColor::fromRgb(image.pixel(x, y))); };
    std::vector<char> seen(size_t(w) * size_t(h), 0);
    QList<QRect> rects;
    std::vector<QPoint> stack;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (seen[size_t(y) * w + x] || isBackground(x, y))
                continue;
            QRect box(x, y, 1, 1);
            stack.push_back({x, y});
            seen[size_t(y) * w + x] = 1;
            while (!stack.empty()) {
                const QPoint p = stack.back();
                stack.pop_back();
                box = box.united(QRect(p, QSize(1, 1)));
                for (const QPoint d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                    const QPoint q = p + d;
                    if (q.x() < 0 || q.y() < 0 || q.x() >= w || q.y() >= h || seen[size_t(q.y()) * w + q.x()]
                        || isBackground(q.x(), q.y()))
                        continue;
                    seen[size_t(q.y()) * w + q.x()] = 1;
                    stack.push_back(q);
                }
            }
            if (box.width() >= minimum && box.height() >= minimum)
                rects << box;
        }
    std::sort(rects.begin(), rects.end(), [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    });
    return rects;
}

// The regions that are not the background (text glyphs and the like are smaller than `minimum`).
QList<QRect> blockRects(const QImage& picture, int minimum = 30)
{
    return regions(picture, [](const QColor& c) { return distance(c, kBackground) >= 60; }, minimum);
}

// The download button (fill black, at least 40 x 20) and how many pixels of its label, near
// white, it holds.
struct ButtonSeen {
    QRect box;
    int labelPixels = 0;
};
ButtonSeen blackButton(const QImage& picture)
{
    const QList<QRect> boxes = regions(picture, [](const QColor& c) { return distance(c, Qt::black) < 60; }, 20);
    ButtonSeen seen;
    for (const QRect& box : boxes)
        if (box.width() >= 40 && box.width() > seen.box.width())
            seen.box = box;
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = seen.box.top(); y <= seen.box.bottom() && !seen.box.isEmpty(); ++y)
        for (int x = seen.box.left(); x <= seen.box.right(); ++x)
            seen.labelPixels += distance(QColor::fromRgb(image.pixel(x, y)), Qt::white) < 120 ? 1 : 0;
    return seen;
}

// A headless Chromium run on the page with the given extra arguments; its output.
QByteArray runChromium(const QString& chromium, const QString& profile, const QStringList& arguments, bool* ok)
{
    QProcess browser;
    browser.setProcessChannelMode(QProcess::SeparateChannels);
    browser.start(chromium, QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                        QStringLiteral("--disable-gpu"), QStringLiteral("--disable-quic"),
                                        QStringLiteral("--no-first-run"), QStringLiteral("--disable-background-networking"),
                                        QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                                        QStringLiteral("--user-data-dir=") + profile, QStringLiteral("--hide-scrollbars"),
                                        QStringLiteral("--force-device-scale-factor=1"),
                                        QStringLiteral("--virtual-time-budget=5000")}
                                + arguments);
    // The browser runs beside this process's event loop, which serves nothing it needs: the
    // development service is a process of its own.
    *ok = browser.waitForStarted(10000) && browser.waitForFinished(60000);
    const QByteArray out = browser.readAllStandardOutput();
    if (!*ok)
        qWarning("chromium: %s", browser.readAllStandardError().constData());
    return out;
}

QString rectsText(const QList<QRect>& rects)
{
    QStringList parts;
    for (const QRect& r : rects)
        parts << QStringLiteral("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    return parts.join(QLatin1Char(' '));
}

} // namespace

TEST_F(PublishingTest, TheBuiltPageShowsTheLayoutAsComposed)
{
    const QString chromium = QStandardPaths::findExecutable(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/install-deps installs it): the built page is not compared";

    // Photos of different shapes, each of one flat colour far from the background.
    QList<testing_support::TestPhoto> photos{{"p1.jpg", 300, 200, QColor(40, 160, 60)},
                                             {"p2.jpg", 200, 300, QColor(30, 60, 200)},
                                             {"p3.jpg", 400, 200, QColor(240, 150, 20)},
                                             {"p4.jpg", 300, 300, QColor(20, 170, 170)},
                                             {"p5.jpg", 500, 200, QColor(70, 70, 70)}};
    testing_support::OpenPostOptions options;
    options.timeoutMs = 15000;
    const testing_support::OpenPost opened = testing_support::openPost(photos, options);
    ASSERT_TRUE(opened.ok);
    manager = opened.manager;
    ASSERT_TRUE(watch());
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    QStringList ids;
    for (const PLRSourceImagePtr& image : manager->images())
        ids << image->identifier();
    ASSERT_EQ(ids.size(), 5);

    // Rows and columns, the photo's own ratio and set ones, a crop, a header beside a photo, a
    // spacer, a formatted paragraph and a download button, padding and a background colour.
    PLRLayout composed;
    composed.set_padding(12);
    composed.mutable_background_colour()->set_r(255);
    composed.mutable_background_colour()->set_g(0);
    composed.mutable_background_colour()->set_b(255);
    composed.mutable_background_colour()->set_a(255);
    PLRSection* section = composed.add_sections();
    section->mutable_stacked();
    PLRBlock cropped = imageBlock(ids[2], 2.0f, "b3");
    cropped.mutable_image()->mutable_position()->set_x(-0.2f);
    cropped.mutable_image()->mutable_position()->set_y(0.0f);
    cropped.mutable_image()->mutable_position()->set_width(1.4f);
    *section->add_blocks() = container(false, {imageBlock(ids[0], 0.0f, "b1"),
                                               container(true, {imageBlock(ids[1], 1.0f, "b2"), cropped}, "c2")},
                                       "c1");
    PLRBlock header;
    header.set_id("t1");
    header.set_aspect_ratio(3.0f);
    header.mutable_text()->set_value("Hills");
    header.mutable_text()->set_style(PLR::Block::Text::HEADER2);
    *section->add_blocks() = container(false, {header, imageBlock(ids[3], 1.5f, "b4")}, "c3");
    PLRBlock spacer;
    spacer.set_id("s1");
    spacer.set_aspect_ratio(10.0f);
    spacer.mutable_blank();
    *section->add_blocks() = spacer;
    *section->add_blocks() = imageBlock(ids[4], 2.5f, "b5");
    PLRBlock paragraph;
    paragraph.set_id("t2");
    paragraph.mutable_text()->set_value("Three days in the hills");
    paragraph.mutable_text()->set_style(PLR::Block::Text::PARAGRAPH);
    paragraph.mutable_text()->set_html("<p>Three <b>days</b> in <i>the</i> <a href=\"https://example.com\">hills</a></p>");
    *section->add_blocks() = paragraph;
    PLRBlock download;
    download.set_id("d1");
    download.mutable_download_button()->set_title("Get the photos");
    download.mutable_download_button()->set_size(PLR::Block::Download_Button::LARGE);
    download.mutable_download_button()->set_fill_colour(PLR::Block::Download_Button::BLACK);
    download.mutable_download_button()->set_line_colour(PLR::Block::Download_Button::GREY);
    download.mutable_download_button()->set_hover_fill_colour(PLR::Block::Download_Button::WHITE);
    download.mutable_download_button()->set_hover_line_colour(PLR::Block::Download_Button::BLACK);
    *section->add_blocks() = download;
    *manager->layoutManager()->representedLayout() = composed;
    manager->refreshImagesInUse();
    // Keywords for every photo but the last; a meta description for the post.
    const QList<QStringList> keywords{{"meadow", "spring"}, {"lake"}, {"ridge", "dusk", "hills"}, {"fern"}, {}};
    for (int i = 0; i < 5; ++i)
        manager->imageForIdentifier(ids[i])->setFocusKeywords(keywords[i]);
    manager->representedPost()->setMetaDescription(QStringLiteral("Three days walking in the hills & <valleys>"));

    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    QVariant link;
    publisher->publishingPost()->getLinkDestination(
        [&](bool, const QVariant& result, const std::optional<PLRServiceError>&, const platform::Error&) { link = result; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return link.isValid(); }));
    const QString page = link.toString();
    ASSERT_FALSE(page.isEmpty());

    // The layout's own render at the same width.
    PLRLayoutViewProxy proxy(manager->layoutManager(), std::make_unique<PLRLayout>(composed), kWidth);
    proxy.setLive(false);
    PLRLayoutView* view = proxy.layoutView();
    ASSERT_TRUE(view);
    view->ensureSectionLayout();
    view->updateConstraints();
    view->layoutSubtreeIfNeeded();
    const QImage own = view->renderImage(kWidth);
    ASSERT_EQ(own.width(), kWidth);

    // The page in a headless Chromium, the window as wide as the render and taller.
    QTemporaryDir profile;
    const QString shot = profile.filePath(QStringLiteral("page.png"));
    bool ran = false;
    runChromium(chromium, profile.filePath("profile"),
                {QStringLiteral("--window-size=%1,%2").arg(kWidth).arg(own.height() + 80),
                 QStringLiteral("--screenshot=") + shot, page},
                &ran);
    ASSERT_TRUE(ran);
    const QImage screenshot(shot);
    ASSERT_FALSE(screenshot.isNull());
    ASSERT_EQ(screenshot.width(), kWidth);

    const QList<QRect> expected = blockRects(own);
    const QList<QRect> shown = blockRects(screenshot.copy(0, 0, kWidth, own.height()));
    // The five photos at least (text and the button add their own smaller regions).
    ASSERT_GE(expected.size(), 5) << rectsText(expected).toStdString();
    QList<QRect> photoRects;
    for (const QRect& rect : expected)
        if (rect.width() >= 60 && rect.height() >= 60)
            photoRects << rect;
    ASSERT_EQ(photoRects.size(), 5) << rectsText(expected).toStdString();
    for (const QRect& want : photoRects) {
        const auto match = std::find_if(shown.begin(), shown.end(), [&](const QRect& got) {
            return std::abs(got.left() - want.left()) <= 3 && std::abs(got.top() - want.top()) <= 3
                   && std::abs(got.right() - want.right()) <= 3 && std::abs(got.bottom() - want.bottom()) <= 3;
        });
        EXPECT_NE(match, shown.end()) << "missing " << rectsText({want}).toStdString() << " among "
                                      << rectsText(shown).toStdString();
    }
    // The page is as tall as the layout (its last block, the button, may differ in height by
    // the fonts of the two renderers).
    const QImage below = screenshot.copy(0, own.height() + 40, kWidth, 40);
    EXPECT_TRUE(blockRects(below, 1).isEmpty());

    // The download button: a black box with its label in white, on the canvas and on the page.
    const ButtonSeen drawn = blackButton(own);
    const ButtonSeen shownButton = blackButton(screenshot.copy(0, 0, kWidth, own.height()));
    ASSERT_FALSE(drawn.box.isEmpty());
    ASSERT_FALSE(shownButton.box.isEmpty()) << "no black button on the page";
    EXPECT_GT(drawn.labelPixels, 20);
    EXPECT_GT(shownButton.labelPixels, 20) << "the button's label cannot be seen";
    EXPECT_LE(std::abs(shownButton.box.center().x() - drawn.box.center().x()), 4);

    // What the browser read: the photos' keywords as their alternative texts (the file's name
    // for the photo without keywords), the post's meta description, the button's hover colours.
    const QString dom = QString::fromUtf8(runChromium(chromium, profile.filePath("profile"), {QStringLiteral("--dump-dom"), page}, &ran));
    ASSERT_TRUE(ran);
    ASSERT_TRUE(dom.contains(QLatin1String("id=\"layout\""))) << dom.left(400).toStdString();
    QStringList alts;
    static const QRegularExpression altPattern(QStringLiteral("<img [^>]*alt=\"([^\"]*)\""));
    for (auto it = altPattern.globalMatch(dom); it.hasNext();)
        alts << it.next().captured(1);
    EXPECT_EQ(alts, (QStringList{"meadow, spring", "lake", "ridge, dusk, hills", "fern", "p5"}));
    static const QRegularExpression metaPattern(QStringLiteral("<meta name=\"description\" content=\"([^\"]*)\">"));
    QString description = metaPattern.match(dom).captured(1);
    description.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", "\"").replace("&amp;", "&");
    EXPECT_EQ(description, "Three days walking in the hills & <valleys>") << dom.left(600).toStdString();
    static const QRegularExpression hoverRule(QStringLiteral("button:hover\\s*\\{[^}]*background:\\s*var\\(--hover-fill\\)"));
    EXPECT_TRUE(hoverRule.match(dom).hasMatch());
    EXPECT_TRUE(dom.contains(QLatin1String("--hover-fill:#ffffff;--hover-line:#000000;--hover-label:#000000")));
}

// A text block's formatting as the canvas stores it (its character references included: the
// no-break space that keeps a trailing space, the escaped ampersand, quote and angle brackets,
// a link whose address has a query) reaches the page as the same text and the same link.
TEST_F(PublishingTest, TheBuiltPageShowsATextBlocksTextAsTheCanvasDoes)
{
    publisher = openPost(1);
    ASSERT_TRUE(waitForState(PLRPP_STATE_NOT_PUBLISHED));
    PLRRichTextRun plain;
    plain.text = QStringLiteral("Tom & Jerry's \"<b>hut</b>\", ");
    PLRRichTextRun link;
    link.text = QStringLiteral("map");
    link.href = QStringLiteral("https://example.com/?a=1&b=2");
    PLRRichTextRun trailing;
    trailing.text = QStringLiteral(" ");
    const PLRRichText composed{PLRRichTextParagraph{{plain, link, trailing}}};
    PLRBlockPtr text = PLRLayoutManager::newBlock_Text();
    text->set_id("t1");
    PLRRichTextHTML::setRichTextOfBlock(text->mutable_text(), composed);
    const QString stored = QString::fromStdString(text->text().html());
    ASSERT_TRUE(stored.contains(QLatin1String("&nbsp;"))) << stored.toStdString();
    manager->layoutManager()->addBlock(std::move(text), nullptr,
                                       manager->layoutManager()->representedLayout()->mutable_sections(0));
    ASSERT_TRUE(publisher->createOrUpdatePublishedPost());
    ASSERT_TRUE(waitUntilPublished());
    QVariant destination;
    publisher->publishingPost()->getLinkDestination(
        [&](bool, const QVariant& result, const std::optional<PLRServiceError>&, const platform::Error&) { destination = result; });
    ASSERT_TRUE(testing_support::waitUntil([&] { return destination.isValid(); }));
    const auto [status, page] = fetch(QUrl(destination.toString()));
    ASSERT_EQ(status, 200);

    static const QRegularExpression block(
        QStringLiteral("<div class=\"block text\" data-id=\"t1\"[^>]*><div class=\"content\">(.*?)</div></div>"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = block.match(QString::fromUtf8(page));
    ASSERT_TRUE(match.hasMatch()) << page.left(2000).toStdString();
    // The page's text read as a browser reads HTML.
    QTextDocument shown;
    shown.setHtml(match.captured(1));
    QString shownText = shown.toPlainText();
    QString canvasText = PLRRichTextHTML::plainText(PLRRichTextHTML::parse(stored));
    shownText.replace(QChar(0x00A0), u' ');
    canvasText.replace(QChar(0x00A0), u' ');
    EXPECT_EQ(shownText, canvasText);
    EXPECT_EQ(shownText, "Tom & Jerry's \"<b>hut</b>\", map ");
    QStringList links;
    for (auto fragment = shown.begin().begin(); !fragment.atEnd(); ++fragment)
        if (fragment.fragment().charFormat().isAnchor())
            links << fragment.fragment().text() + " -> " + fragment.fragment().charFormat().anchorHref();
    EXPECT_EQ(links, QStringList{"map -> https://example.com/?a=1&b=2"});
}

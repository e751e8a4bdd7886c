// SEO advice of an open post: the five metrics, the overall level, the keyword store, and
// the panel that shows them.

#include "TestSupport.h"
#include "support/shell/ShellFixtures.h"

#include "layout/base/PLRLayoutManager.h"
#include "controls/OEXTokenField.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "publishing/seo/PLRSeoManager.h"
#include "publishing/seo/PLRSeoTextCounts.h"
#include "publishing/seo/PLRSeoUIHandler.h"
#include "platform-ui/Fonts.h"
#include "store/session/PLRCoreManager.h"
#include "store/session/PLRPostManager.h"
#include "store/session/PLRUserSession.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

namespace {

class SeoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Installed before each test (PublishingInstalls.cpp).
        const testing_support::OpenPost opened = testing_support::openPostWithLayout(
            {{"a.jpg", 90, 60, QColor(Qt::darkCyan)}, {"b.jpg", 90, 60, QColor(Qt::darkCyan)},
             {"c.jpg", 90, 60, QColor(Qt::darkCyan)}});
        ASSERT_TRUE(opened.ok);
        folder = opened.folder;
        postManager = opened.manager;
        post = postManager->representedPost();
        layout = postManager->layoutManager();
        seo = postManager->component<PLRSeoManager>();
        ASSERT_NE(seo, nullptr);
    }

    PLRBlock* addText(const QString& text, PLRBlock* inBlock = nullptr)
    {
        PLRSection* section = layout->representedLayout()->sections_size() ? layout->representedLayout()->mutable_sections(0)
                                                                            : layout->addNewSection();
        PLRBlockPtr block = PLRLayoutManager::newBlock_Text();
        block->mutable_text()->set_value(text.toStdString());
        return layout->addBlock(std::move(block), inBlock, inBlock ? nullptr : section);
    }

    static QString words(int count)
    {
        QStringList list;
        for (int i = 0; i < count; ++i)
            list << QStringLiteral("word");
        return list.join(' ');
    }

    QString folder;
    PLRPostManager* postManager = nullptr;
    PLRPersistantPost* post = nullptr;
    PLRLayoutManager* layout = nullptr;
    PLRSeoManager* seo = nullptr;
};

} // namespace

TEST_F(SeoTest, TitleAndMetaBandsFollowLengthAndKeywords)
{
    post->setFocusKeywords({"x"});
    // With every keyword present: the length bands alone decide.
    const QList<std::pair<int, qint64>> titles{{24, 2}, {25, 1}, {45, 1}, {46, 2}, {60, 2}, {61, 3}};
    for (const auto& [length, level] : titles) {
        post->setSeoTitle(QString(length, QChar('x')));
        EXPECT_EQ(seo->titleMetric()->summaryLevel(), level) << "title length " << length;
    }
    const QList<std::pair<int, qint64>> metas{{124, 2}, {125, 1}, {155, 1}, {156, 2}, {200, 2}, {201, 3}};
    for (const auto& [length, level] : metas) {
        post->setMetaDescription(QString(length, QChar('x')));
        EXPECT_EQ(seo->metaMetric()->summaryLevel(), level) << "meta length " << length;
    }
    // An empty title fails with nothing to say.
    post->setSeoTitle(QString());
    EXPECT_EQ(seo->titleMetric()->summaryLevel(), 3);
    EXPECT_EQ(seo->titleMetric()->primaryMetricReason(), QString());
    // Lengths count UTF-16 units: 13 characters outside the basic plane are 26 units.
    post->setSeoTitle(QString::fromUtf8("\xF0\x9F\x93\xB7").repeated(13));
    post->setFocusKeywords({QString::fromUtf8("\xF0\x9F\x93\xB7")});
    EXPECT_EQ(seo->titleMetric()->summaryLevel(), 1);
}

TEST_F(SeoTest, KeywordsAreFoundCaseInsensitivelyInsideWords)
{
    post->setFocusKeywords({"cat", "dog"});
    post->setSeoTitle("Category guide for pets");
    EXPECT_EQ(seo->titleMetric()->summaryLevel(), 2);
    EXPECT_EQ(seo->titleMetric()->primaryMetricReason(),
              "Your blog title only has 23 characters and 1 of your focus keywords. Try increasing the length to "
              "between 25-45 characters and adding the rest of your focus keywords. These focus keywords are missing: 'dog'");
    // Two keywords that differ in case are both found by one occurrence.
    EXPECT_TRUE(PLRSeoMetric::exceptionOccurances({"Paris", "paris"}, "In PARIS").isEmpty());
    EXPECT_EQ(PLRSeoMetric::keywordArrayToString({"a", "b", "c"}), "'a', 'b', 'c'");
    EXPECT_EQ(PLRSeoMetric::keywordArrayToString({}), "");
    // No keywords: a good length still fails for want of them.
    post->setFocusKeywords({});
    post->setSeoTitle(QString(30, QChar('t')));
    EXPECT_EQ(seo->titleMetric()->primaryMetricReason(),
              "Your blog title has a good amount of characters, but is missing your focus keywords. Try adding them in.");
    EXPECT_EQ(seo->titleMetric()->summaryLevel(), 3);
}

TEST_F(SeoTest, KeywordCountLevelsAndTexts)
{
    const QList<std::pair<int, qint64>> counts{{0, 3}, {1, 2}, {2, 2}, {3, 1}, {5, 1}, {6, 2}};
    for (const auto& [count, level] : counts) {
        QStringList keywords;
        for (int i = 0; i < count; ++i)
            keywords << QStringLiteral("k%1").arg(i);
        post->setFocusKeywords(keywords);
        EXPECT_EQ(seo->keywordsMetric()->summaryLevel(), level) << count << " keywords";
    }
    post->setFocusKeywords({"one"});
    EXPECT_EQ(seo->keywordsMetric()->primaryMetricReason(),
              QString::fromUtf8("1 focus keyword, keep going!\nTo get the best SEO advice we recommend 3\u20135."));
    post->setFocusKeywords({"one", "two"});
    EXPECT_TRUE(seo->keywordsMetric()->primaryMetricReason().startsWith("2 focus keywords, keep going!"));
    post->setFocusKeywords({"1", "2", "3", "4", "5", "6"});
    EXPECT_EQ(seo->keywordsMetric()->primaryMetricReason(),
              QString::fromUtf8("6 focus keywords, that\u2019s too many.\nTo get the best SEO advice we recommend 3\u20135."));
}

TEST_F(SeoTest, ImageKeywordsCountImageBlocksThroughContainers)
{
    EXPECT_EQ(seo->imageKeywordMetrics()->summaryLevel(), 3);
    EXPECT_EQ(seo->imageKeywordMetrics()->primaryMetricReason(),
              "No images have keywords. Select an image to start adding descriptions.");
    QStringList identifiers;
    for (const PLRSourceImagePtr& image : postManager->images())
        identifiers << image->identifier();
    const QList<PLRBlock*> blocks = layout->createAndAddBlocksForImages(identifiers.mid(0, 2));
    ASSERT_EQ(blocks.size(), 2);
    // The third image inside a column with the second.
    PLRBlockPtrList third;
    third.push_back(PLRLayoutManager::newBlock_Image());
    third.back()->mutable_image()->set_img_ref(identifiers[2].toStdString());
    ASSERT_NE(layout->wrapBlock(blocks[1], std::move(third), true, false), nullptr);
    postManager->imageForIdentifier(identifiers[0])->setFocusKeywords({"sea"});
    layout->announceChange();
    EXPECT_EQ(seo->imageKeywordMetrics()->summaryLevel(), 2);
    EXPECT_EQ(seo->imageKeywordMetrics()->primaryMetricReason(),
              "1 of your 3 images have descriptions. Add descriptions to the remaining 2 for better SEO.");
    postManager->imageForIdentifier(identifiers[1])->setFocusKeywords({"sand"});
    postManager->imageForIdentifier(identifiers[2])->setFocusKeywords({"sun"});
    layout->announceChange();
    EXPECT_EQ(seo->imageKeywordMetrics()->summaryLevel(), 1);
}

TEST_F(SeoTest, BodyTextFromTextBlocksWordCountsAndKeywords)
{
    // No text block: one sub-metric, failing, silent.
    ASSERT_EQ(seo->textMetric()->subMetrics().size(), 1);
    EXPECT_EQ(seo->textMetric()->summaryLevel(), 3);
    EXPECT_FALSE(seo->isTextRelevant());

    PLRBlock* blank = addText("   ");
    ASSERT_NE(blank, nullptr);
    ASSERT_EQ(seo->textMetric()->subMetrics().size(), 2);
    EXPECT_EQ(seo->textMetric()->primaryMetricReason(), "Add text to your text blocks to receive SEO feedback.");

    layout->removeBlock(blank, false);
    addText("word");
    EXPECT_EQ(seo->textMetric()->primaryMetricReason(),
              "1 word, keep going! Body text of at least 300 words will improve your SEO.");
    PLRBlock* first = layout->representedLayout()->mutable_sections(0)->mutable_blocks(0);
    first->mutable_text()->set_value(words(299).toStdString());
    layout->announceChange();
    EXPECT_EQ(seo->textMetric()->subMetrics().first().value(kPLRSEOMETRIC_KEY_LEVEL).toLongLong(), 2);
    first->mutable_text()->set_value(words(300).toStdString());
    layout->announceChange();
    EXPECT_EQ(seo->textMetric()->subMetrics().first().value(kPLRSEOMETRIC_KEY_LEVEL).toLongLong(), 1);

    // Keywords in the body.
    post->setFocusKeywords({"word", "tree"});
    layout->announceChange();
    EXPECT_EQ(seo->textMetric()->subMetrics().at(1).value(kPLRSEOMETRIC_KEY_REASON).toString(),
              "Focus keywords: 'tree'are missing from the body text. Add them for better SEO.");
    // Removing the missing keyword is enough: the advice follows the keywords, not only the layout.
    post->setFocusKeywords({"word"});
    EXPECT_EQ(seo->textMetric()->subMetrics().at(1).value(kPLRSEOMETRIC_KEY_LEVEL).toLongLong(), 1);
    post->setFocusKeywords({"word", "lake"});
    EXPECT_EQ(seo->textMetric()->subMetrics().at(1).value(kPLRSEOMETRIC_KEY_REASON).toString(),
              "Focus keywords: 'lake'are missing from the body text. Add them for better SEO.");
}

TEST_F(SeoTest, BodyTextJoinsContainersWithoutAndTopLevelBlocksWithABlank)
{
    PLRLayout document;
    PLRSection* section = document.add_sections();
    PLRBlock* container = section->add_blocks();
    container->mutable_container();
    container->mutable_container()->add_sub_blocks()->mutable_image()->set_img_ref("img");
    container->mutable_container()->add_sub_blocks()->mutable_text()->set_value("ab");
    container->mutable_container()->add_sub_blocks()->mutable_text()->set_value("cd");
    section->add_blocks()->mutable_text()->set_value("\tef\n");
    EXPECT_TRUE(PLRSeoManager::hasTextBlocksInLayout(document));
    EXPECT_EQ(PLRSeoManager::textCharactersInAllBlocks(document), "abcd \tef\n");
    EXPECT_EQ(PLRSeoManager::countWords(QStringLiteral("Hello, world! It\u2019s 2 o'clock.")), 5);
    EXPECT_EQ(PLRSeoManager::countWords(QStringLiteral("  ... ")), 0);
}

TEST_F(SeoTest, OverallLevelLeavesOutWhatDoesNotApply)
{
    post->setSeoTitle(QString(30, QChar('t')));   // good length, no keywords: 3
    EXPECT_EQ(seo->overallSummaryLevel(), 3);
    post->setFocusKeywords({"t", "u", "v"});
    post->setSeoTitle("t u v " + QString(24, QChar('x')));
    // Keywords relevant: the image metric (no images) fails.
    EXPECT_EQ(seo->overallSummaryLevel(), 3);
    // An empty meta description is left out: with images described the level drops.
    QStringList identifiers;
    for (const PLRSourceImagePtr& image : postManager->images()) {
        identifiers << image->identifier();
        image->setFocusKeywords({"k"});
    }
    layout->createAndAddBlocksForImages(identifiers);
    EXPECT_FALSE(seo->isMetaRelevant());
    EXPECT_EQ(seo->overallSummaryLevel(), 1) << seo->titleMetric()->summaryLevel() << seo->keywordsMetric()->summaryLevel()
                                             << seo->imageKeywordMetrics()->summaryLevel() << seo->textMetric()->summaryLevel();
    post->setMetaDescription("mmm");
    EXPECT_EQ(seo->overallSummaryLevel(), 3);
}

TEST_F(SeoTest, SummaryNotificationArrivesOnTheMainQueueAfterEveryEvaluation)
{
    testing_support::drainEvents();   // what the post's opening evaluated
    int received = 0;
    QObject context;
    platform::NotificationCenter::defaultCenter().addObserver(
        &context, kPLRSeoManagerOverallSummaryNotification, [&](const platform::Notification&) { ++received; });
    post->setSeoTitle("A title");
    EXPECT_EQ(received, 0);   // queued, not immediate
    testing_support::drainEvents();
    EXPECT_EQ(received, 1);
    post->setFocusKeywords({"a"});   // title, meta, keywords, image and body-text metrics
    testing_support::drainEvents();
    EXPECT_EQ(received, 6);
}

TEST(SeoKeywordStore, GrowsWithoutDuplicatesCompletesPrefixesAndSurvivesARestart)
{
    EXPECT_TRUE(PLRSeoManager::keywordsMatchingPrefix("tr").isEmpty());
    PLRSeoManager::addKeywordToStore("Travel");
    EXPECT_EQ(PLRSeoManager::keywordsMatchingPrefix("tr"), QStringList{"Travel"});
    EXPECT_TRUE(PLRSeoManager::keywordsMatchingPrefix("").isEmpty());
    PLRSeoManager::addKeywordToStore("Travel");
    platform::UserDefaults::standard().synchronize();
    platform::UserDefaults::standard().reload();
    EXPECT_EQ(PLRSeoManager::keywordsMatchingPrefix("TR"), QStringList{"Travel"});
    PLRSeoManager::addKeywordToStore("travel");
    PLRSeoManager::addKeywordToStore("trees");
    platform::UserDefaults::standard().synchronize();
    platform::UserDefaults::standard().reload();
    EXPECT_EQ(PLRSeoManager::keywordsMatchingPrefix("tr"), (QStringList{"Travel", "travel", "trees"}));
    EXPECT_EQ(PLRSeoManager::keywordsMatchingPrefix("tre"), QStringList{"trees"});
}

TEST_F(SeoTest, PanelShowsRowsAndStoresTypedAndPastedKeywords)
{
    PLRSeoUIHandler panel;
    panel.view()->resize(250, 600);
    panel.setPostManager(postManager);
    testing_support::drainEvents();
    EXPECT_EQ(panel.row(0).shownLevel, 3);
    EXPECT_EQ(panel.row(0).label->text(),
              QString::fromUtf8("Add 3\u20135 focus keywords which broadly describe this blog. This helps us give you feedback on the other SEO sections."));
    EXPECT_FALSE(panel.row(0).section->isHidden());
    EXPECT_FALSE(panel.row(3).section->isHidden());

    // Typing "travel photo " makes two tokens and two focus keywords.
    OEXTokenField* field = panel.focusKeywordTokenField();
    field->setFocus();
    QTest::keyClicks(field->focusProxy(), "travel photo ");
    testing_support::drainEvents();
    EXPECT_EQ(field->objectValue(), (QStringList{"travel", "photo"}));
    EXPECT_EQ(post->focusKeywords(), (QStringList{"travel", "photo"}));
    EXPECT_EQ(PLRSeoManager::keywordsMatchingPrefix("tr"), QStringList{"travel"});

    // A paste goes into the post too.
    field->pasteString("x y\nz");
    testing_support::drainEvents();
    EXPECT_EQ(post->focusKeywords(), (QStringList{"travel", "photo", "x", "y", "z"}));
    // With 3-5 keywords the keyword row has nothing to say and hides, 15 points below.
    EXPECT_TRUE(panel.row(0).section->isHidden());
    EXPECT_EQ(panel.row(0).bottomSpacing, 15.0);
    EXPECT_EQ(panel.row(0).shownLevel, 1);
}

TEST_F(SeoTest, PanelTitlesAreReadableAndLineUpWithThePageFields)
{
    PLRSeoUIHandler panel;
    panel.view()->resize(250, 600);
    panel.setPostManager(postManager);
    for (platform::ui::TextField* title : {panel.keywordsHeader(), panel.adviceHeader()}) {
        ASSERT_NE(title, nullptr);
        // Drawn on the page's white: the title must not be white itself.
        EXPECT_NE(title->textColor().toQColor().rgb(), QColor(Qt::white).rgb()) << title->stringValue().toStdString();
        EXPECT_FALSE(title->isHidden());
    }
    EXPECT_EQ(panel.keywordsHeader()->stringValue(), "Focus keywords");
    // The Document page's column gives the margins: the token field starts at the panel's edge.
    panel.view()->show();
    testing_support::drainEvents();
    EXPECT_EQ(panel.focusKeywordTokenField()->geometry().left(), 0);
    EXPECT_EQ(panel.focusKeywordTokenField()->geometry().right(), panel.view()->width() - 1);
}

namespace {

QVariantMap sub(qint64 level, const QString& reason)
{
    return {{QString::fromLatin1(kPLRSEOMETRIC_KEY_LEVEL), level}, {QString::fromLatin1(kPLRSEOMETRIC_KEY_REASON), reason}};
}

// The advice as the row's label shows it: each run of text with whether it is slanted.
QList<std::pair<QString, bool>> shownRuns(const QString& html)
{
    QTextDocument document;
    document.setDefaultFont(platform::ui::systemFont(11));
    document.setHtml(html);
    QList<std::pair<QString, bool>> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            runs.append({it.fragment().text().replace(QChar::LineSeparator, QLatin1Char('\n')), it.fragment().charFormat().fontItalic()});
    return runs;
}

} // namespace

TEST(SeoPanelText, CombinesGoodAdviceWithAndAndStopsAtTheFirstProblem)
{
    using Runs = QList<std::pair<QString, bool>>;
    const auto compose = [](const QList<QVariantMap>& subs) { return shownRuns(PLRSeoUIHandler::summaryTitleForSubMetrics(subs)); };
    // Good advice joined by a slanted " and ".
    EXPECT_EQ(compose({sub(1, "Short."), sub(1, "Has all keywords."), sub(1, "Fine.")}),
              (Runs{{"Short.", false}, {" and ", true}, {"Has all keywords.", false}, {" and ", true}, {"Fine.", false}}));
    // The first advice that is not good follows a slanted " but " and a line break, and ends it.
    EXPECT_EQ(compose({sub(1, "Long enough."), sub(2, "Missing 'tree'."), sub(1, "Never shown."), sub(3, "Nor this.")}),
              (Runs{{"Long enough.", false}, {" but \n", true}, {"Missing 'tree'.", false}}));
    EXPECT_EQ(compose({sub(3, "No text."), sub(1, "Never shown.")}), (Runs{{"No text.", false}}));
    // Good advice with nothing to say adds nothing, not even a joint.
    EXPECT_EQ(compose({sub(1, ""), sub(2, "12 words, keep going!")}), (Runs{{"12 words, keep going!", false}}));
    EXPECT_EQ(PLRSeoUIHandler::summaryTitleForSubMetrics({sub(1, ""), sub(1, "")}), QString());
    EXPECT_EQ(PLRSeoUIHandler::summaryTitleForSubMetrics({}), QString());
    // One sub-metric: its advice as it is, whatever its level, its markup shown as text.
    EXPECT_EQ(compose({sub(2, "Use <b> and & sparingly.")}), (Runs{{"Use <b> and & sparingly.", false}}));
    EXPECT_EQ(compose({sub(2, "2 focus keywords, keep going!\nWe recommend 3\u20135.")}),
              (Runs{{QString::fromUtf8("2 focus keywords, keep going!\nWe recommend 3\u20135."), false}}));
    EXPECT_EQ(PLRSeoUIHandler::summaryTitleForMetric(nullptr), QString());

    EXPECT_EQ(PLRSeoUIHandler::stringForSEOSummary(2), "Summary level Warning");
    EXPECT_EQ(PLRSeoUIHandler::stringForSEOSummary(7), "");
    EXPECT_TRUE(PLRSeoUIHandler::imageForSummaryLevel(0).isNull());
    EXPECT_FALSE(PLRSeoUIHandler::imageForSummaryLevel(1).isNull());
}

TEST_F(SeoTest, TheBodyTextRowShowsTheFirstAdviceThatIsNotGood)
{
    // A short body missing a keyword: only the word count is advised.
    post->setFocusKeywords({"tree"});
    addText(words(12));
    EXPECT_EQ(PLRSeoUIHandler::summaryTitleForMetric(seo->textMetric()),
              "12 words, keep going! Body text of at least 300 words will improve your SEO.");
    // Long enough: the missing keyword is the advice; with it in the body, nothing is said.
    PLRBlock* body = layout->representedLayout()->mutable_sections(0)->mutable_blocks(0);
    body->mutable_text()->set_value(words(300).toStdString());
    layout->announceChange();
    EXPECT_EQ(shownRuns(PLRSeoUIHandler::summaryTitleForMetric(seo->textMetric())),
              (QList<std::pair<QString, bool>>{{"None of your focus keywords are in the body, add them to boost your SEO.", false}}));
    body->mutable_text()->set_value((words(300) + " tree").toStdString());
    layout->announceChange();
    EXPECT_EQ(PLRSeoUIHandler::summaryTitleForMetric(seo->textMetric()), QString());
}

TEST(SeoTextCounts, MatchTheWholeBodyAndCountAgainOnlyTheBlocksThatChanged)
{
    PLRLayout document;
    PLRSection* section = document.add_sections();
    const auto addText = [&](const char* id, const char* text) {
        PLRBlock* block = section->add_blocks();
        block->set_id(id);
        block->mutable_text()->set_value(text);
        return block;
    };
    addText("a", "The lake at Sunrise");
    PLRBlock* box = section->add_blocks();
    box->set_id("b");
    box->mutable_container()->add_sub_blocks()->mutable_text()->set_value("moun");
    box->mutable_container()->add_sub_blocks()->mutable_image()->set_img_ref("photo");
    box->mutable_container()->add_sub_blocks()->mutable_text()->set_value("tain walk");
    section->add_blocks()->mutable_image()->set_img_ref("photo");
    addText("c", "   ");
    PLRBlock* last = addText("d", "Alps, twice: alps");

    PLRSeoTextCounts counts;
    QStringList keywords{"mountain", "ALPS", "sunrise moun", "river", "tain walk"};
    const auto expectBody = [&](const char* when) {
        const PLRSeoTextCounts::Result result = counts.count(document, keywords);
        const QString body = PLRSeoManager::textCharactersInAllBlocks(document);
        EXPECT_TRUE(result.hasTextBlocks) << when;
        EXPECT_EQ(result.hasText, !body.trimmed().isEmpty()) << when;
        EXPECT_EQ(result.words, PLRSeoManager::countWords(body)) << when;
        EXPECT_EQ(result.missingKeywords, PLRSeoMetric::exceptionOccurances(keywords, body)) << when;
    };

    expectBody("first count");
    EXPECT_EQ(counts.blocksCountedLastTime(), 4);
    expectBody("nothing changed");
    EXPECT_EQ(counts.blocksCountedLastTime(), 0);

    last->mutable_text()->set_value("A river and the alps");
    expectBody("one block edited");
    EXPECT_EQ(counts.blocksCountedLastTime(), 1);

    box->mutable_container()->mutable_sub_blocks(2)->mutable_text()->set_value("tain");
    expectBody("a block inside a container edited");
    EXPECT_EQ(counts.blocksCountedLastTime(), 1);

    keywords = {"lake", "Mountain", "rise moun"};   // the last runs across two blocks
    expectBody("other keywords");
    EXPECT_EQ(counts.blocksCountedLastTime(), 0);

    section->mutable_blocks()->DeleteSubrange(0, 1);   // "The lake at Sunrise" goes
    expectBody("a block removed");
    EXPECT_EQ(counts.blocksCountedLastTime(), 0);

    // Blanks only, and no text block at all.
    section->mutable_blocks()->DeleteSubrange(0, 1);
    section->mutable_blocks()->DeleteSubrange(section->blocks_size() - 1, 1);
    expectBody("blanks only");
    section->mutable_blocks()->DeleteSubrange(section->blocks_size() - 1, 1);
    const PLRSeoTextCounts::Result none = counts.count(document, keywords);
    EXPECT_FALSE(none.hasTextBlocks);
    EXPECT_EQ(none.words, 0);
}

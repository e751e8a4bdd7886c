#include "publishing/seo/PLRSeoManager.h"

#include "layout/base/PLRLayoutManager.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "store/session/PLRFocusKeywordStore.h"
#include "store/session/PLRPostManager.h"

#include <QTextBoundaryFinder>

#include <algorithm>

std::unique_ptr<PLRSeoManager> PLRSeoManager::managerWithPostManager(PLRPostManager* postManager)
{
    return std::make_unique<PLRSeoManager>(postManager);
}

PLRSeoManager::PLRSeoManager(PLRPostManager* postManager) : m_postManager(postManager)
{
    for (qint64 type = PLRSeoMetric::Title; type <= PLRSeoMetric::Text; ++type)
        m_metrics[type] = PLRSeoMetric::metricWithType(type, postManager);
}

PLRSeoManager::~PLRSeoManager() = default;

void PLRSeoManager::install()
{
    PLRPostManager::registerComponent<PLRSeoManager>(
        [](PLRPostManager& postManager) { return managerWithPostManager(&postManager); });
}

qint64 PLRSeoManager::overallSummaryLevel() const
{
    qint64 level = std::max<qint64>(titleMetric()->summaryLevel(), PLRSeoSummaryLevelGood);
    if (isMetaRelevant())
        level = std::max(level, metaMetric()->summaryLevel());
    if (isKeywordRelevant()) {
        level = std::max(level, keywordsMetric()->summaryLevel());
        level = std::max(level, imageKeywordMetrics()->summaryLevel());
    }
    if (isTextRelevant())
        level = std::max(level, textMetric()->summaryLevel());
    return level;
}

bool PLRSeoManager::isMetaRelevant() const
{
    PLRPersistantPost* post = m_postManager ? m_postManager->representedPost() : nullptr;
    return post && !post->metaDescription().isEmpty();
}

bool PLRSeoManager::isKeywordRelevant() const
{
    PLRPersistantPost* post = m_postManager ? m_postManager->representedPost() : nullptr;
    return post && !post->focusKeywords().isEmpty();
}

bool PLRSeoManager::isTextRelevant() const
{
    if (!m_postManager)
        return false;
    PLRLayoutManager* manager = m_postManager->layoutManager();
    return manager && manager->representedLayout() && hasTextBlocksInLayout(*manager->representedLayout());
}

bool PLRSeoManager::foundTextBlockFromBlock(const PLRBlock& block)
{
    if (plr::typeOneOfCase(block) == plr::kBlockKindText)
        return true;
    if (plr::typeOneOfCase(block) != plr::kBlockKindContainer)
        return false;
    const auto& children = block.container().sub_blocks();
    return std::any_of(children.begin(), children.end(), [](const PLRBlock& child) { return foundTextBlockFromBlock(child); });
}

bool PLRSeoManager::hasTextBlocksInLayout(const PLRLayout& layout)
{
    for (const PLRSection& section : layout.sections())
        for (const PLRBlock& block : section.blocks())
            if (foundTextBlockFromBlock(block))
                return true;
    return false;
}

QString PLRSeoManager::textCharactersInAllBlocksFrom(const PLRBlock& block)
{
    if (plr::typeOneOfCase(block) == plr::kBlockKindText)
        return QString::fromStdString(block.text().value());
    if (plr::typeOneOfCase(block) != plr::kBlockKindContainer)
        return QString();
    QString text;
    for (const PLRBlock& child : block.container().sub_blocks())
        text += textCharactersInAllBlocksFrom(child);
    return text;
}

QString PLRSeoManager::textCharactersInAllBlocks(const PLRLayout& layout)
{
    QString text;
    for (const PLRSection& section : layout.sections()) {
        for (const PLRBlock& block : section.blocks()) {
            text += QLatin1Char(' ');
            text += textCharactersInAllBlocksFrom(block);
        }
    }
    auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype start = 0;
    qsizetype end = text.size();
    while (start < end && blank(text.at(start)))
        ++start;
    while (end > start && blank(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

qint64 PLRSeoManager::countWords(const QString& text)
{
    // A word is a segment of the word boundaries that holds a letter or a digit (punctuation
    // and white space between words are segments of their own).
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, text);
    qint64 words = 0;
    qsizetype start = 0;
    finder.toStart();
    while (finder.toNextBoundary() >= 0) {
        const qsizetype end = finder.position();
        for (qsizetype i = start; i < end; ++i) {
            if (text.at(i).isLetterOrNumber()) {
                ++words;
                break;
            }
        }
        start = end;
    }
    return words;
}

QStringList PLRSeoManager::keywordsMatchingPrefix(const QString& prefix)
{
    return PLRFocusKeywordStore::keywordsMatchingPrefix(prefix);
}

void PLRSeoManager::addKeywordToStore(const QString& keyword)
{
    PLRFocusKeywordStore::addKeyword(keyword);
}

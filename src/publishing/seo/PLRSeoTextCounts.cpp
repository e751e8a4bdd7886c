#include "publishing/seo/PLRSeoTextCounts.h"

#include "publishing/seo/PLRSeoManager.h"
#include "store/session/PLRPostManager.h"

#include <algorithm>

namespace {

// A top-level block's part of the body: a text block's string, or a container's texts
// joined with nothing between them.
void appendText(const PLRBlock& block, std::string* text)
{
    if (plr::typeOneOfCase(block) == plr::kBlockKindText) {
        text->append(block.text().value());
        return;
    }
    if (plr::typeOneOfCase(block) != plr::kBlockKindContainer)
        return;
    for (const PLRBlock& child : block.container().sub_blocks())
        appendText(child, text);
}

bool holdsNonSpace(const QString& text)
{
    for (const QChar c : text)
        if (!c.isSpace())
            return true;
    return false;
}

} // namespace

void PLRSeoTextCounts::setKeywords(const QStringList& keywords)
{
    if (keywords == m_keywords && m_keywordsGeneration > 0)
        return;
    m_keywords = keywords;
    m_lowered.clear();
    m_spansBlocks.clear();
    for (const QString& keyword : keywords) {
        const QString lowered = keyword.toLower();
        m_lowered.append(lowered);
        // Blocks meet at a blank: only a keyword with a blank or tab (or none at all, which
        // every text holds) can be found in the body without being found in one block.
        m_spansBlocks.push_back(lowered.isEmpty() || lowered.contains(QLatin1Char(' ')) || lowered.contains(QLatin1Char('\t')));
    }
    ++m_keywordsGeneration;
}

PLRSeoTextCounts::Entry& PLRSeoTextCounts::entryFor(const PLRBlock& block, const std::string& text)
{
    Entry& entry = m_entries[block.id()];
    if (entry.seen != 0 && entry.text == text)
        return entry;
    const QString string = QString::fromStdString(text);
    entry.text = text;
    entry.hasText = holdsNonSpace(string);
    entry.words = PLRSeoManager::countWords(string);
    entry.lowered = string.toLower();
    entry.keywordsGeneration = 0;
    ++m_countedLastTime;
    return entry;
}

PLRSeoTextCounts::Result PLRSeoTextCounts::count(const PLRLayout& layout, const QStringList& keywords)
{
    setKeywords(keywords);
    ++m_pass;
    m_countedLastTime = 0;
    Result result;
    std::vector<char> found(size_t(m_keywords.size()), 0);
    size_t met = 0;
    std::string joined;
    for (const PLRSection& section : layout.sections()) {
        for (const PLRBlock& block : section.blocks()) {
            if (!PLRSeoManager::foundTextBlockFromBlock(block))
                continue;
            result.hasTextBlocks = true;
            Entry* entry;
            if (plr::typeOneOfCase(block) == plr::kBlockKindText) {
                entry = &entryFor(block, block.text().value());
            } else {
                joined.clear();
                appendText(block, &joined);
                entry = &entryFor(block, joined);
            }
            if (entry->seen != m_pass) {
                entry->seen = m_pass;
                ++met;
            }
            result.words += entry->words;
            result.hasText = result.hasText || entry->hasText;
            if (entry->keywordsGeneration != m_keywordsGeneration) {
                entry->found.assign(size_t(m_keywords.size()), 0);
                for (qsizetype k = 0; k < m_lowered.size(); ++k)
                    entry->found[size_t(k)] = !m_spansBlocks[size_t(k)] && entry->lowered.contains(m_lowered[k]);
                entry->keywordsGeneration = m_keywordsGeneration;
            }
            for (size_t k = 0; k < found.size(); ++k)
                found[k] = char(found[k] | entry->found[k]);
        }
    }
    // The few keywords that may run across blocks are looked for in the whole body.
    if (std::find(m_spansBlocks.begin(), m_spansBlocks.end(), 1) != m_spansBlocks.end()) {
        const QString body = PLRSeoManager::textCharactersInAllBlocks(layout).toLower();
        for (qsizetype k = 0; k < m_lowered.size(); ++k)
            if (m_spansBlocks[size_t(k)])
                found[size_t(k)] = body.contains(m_lowered[k]) ? 1 : 0;
    }
    for (qsizetype k = 0; k < m_keywords.size(); ++k)
        if (!found[size_t(k)])
            result.missingKeywords.append(m_keywords[k]);
    // Blocks no longer in the layout are forgotten.
    if (m_entries.size() > met) {
        for (auto it = m_entries.begin(); it != m_entries.end();)
            it = it->second.seen == m_pass ? std::next(it) : m_entries.erase(it);
    }
    return result;
}

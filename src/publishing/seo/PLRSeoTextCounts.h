#pragma once

#include "store/model/PLRLayoutDocument.h"

#include <QString>
#include <QStringList>

#include <string>
#include <unordered_map>
#include <vector>

// What the body-text advice needs of a layout: the word count, whether the body holds any
// text, and which focus keywords it lacks. Counted per top-level block and kept by the
// block's identifier and text, so after an edit only the blocks whose text changed are
// counted again. The body is the blocks' texts each after one blank (a blank always ends a
// word), so the sums over the blocks are the body's own counts.
class PLRSeoTextCounts {
public:
    struct Result {
        bool hasTextBlocks = false;   // the layout holds a text block at any depth
        bool hasText = false;         // the body holds something other than white space
        qint64 words = 0;
        QStringList missingKeywords;  // in the keywords' order
    };

    Result count(const PLRLayout& layout, const QStringList& keywords);

    // How many blocks the last count() had to count afresh.
    int blocksCountedLastTime() const { return m_countedLastTime; }

private:
    struct Entry {
        std::string text;             // the block's text as counted
        bool hasText = false;
        qint64 words = 0;
        QString lowered;
        quint64 keywordsGeneration = 0;
        std::vector<char> found;      // per searched keyword: it occurs in this block
        quint64 seen = 0;             // the count() that last met the block
    };

    void setKeywords(const QStringList& keywords);
    Entry& entryFor(const PLRBlock& block, const std::string& text);

    std::unordered_map<std::string, Entry> m_entries;
    QStringList m_keywords;
    QStringList m_lowered;            // the keywords, lower-cased
    std::vector<char> m_spansBlocks;  // a keyword holding a blank or tab may run across blocks
    quint64 m_keywordsGeneration = 1;
    quint64 m_pass = 0;
    int m_countedLastTime = 0;
};

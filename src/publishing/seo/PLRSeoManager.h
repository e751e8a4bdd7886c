#pragma once

#include "store/model/PLRLayoutDocument.h"
#include "publishing/seo/PLRSeoMetric.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class PLRPostManager;

// The SEO advice of one open post: five metrics kept current while the user edits, and their
// overall level. Made by the post manager on first use; lives as long as it.
class PLRSeoManager : public QObject {
    Q_OBJECT
public:
    static std::unique_ptr<PLRSeoManager> managerWithPostManager(PLRPostManager* postManager);
    explicit PLRSeoManager(PLRPostManager* postManager);
    ~PLRSeoManager() override;

    PLRPostManager* postManager() const { return m_postManager; }
    PLRSeoMetric* titleMetric() const { return m_metrics[0].get(); }
    PLRSeoMetric* metaMetric() const { return m_metrics[1].get(); }
    PLRSeoMetric* keywordsMetric() const { return m_metrics[2].get(); }
    PLRSeoMetric* imageKeywordMetrics() const { return m_metrics[3].get(); }
    PLRSeoMetric* textMetric() const { return m_metrics[4].get(); }

    // The worst level of the metrics that apply: the title always; the meta description when
    // there is one; the keyword and image-keyword metrics when there are focus keywords; the
    // body text when the layout holds a text block.
    qint64 overallSummaryLevel() const;
    bool isMetaRelevant() const;
    bool isKeywordRelevant() const;
    bool isTextRelevant() const;

    static bool foundTextBlockFromBlock(const PLRBlock& block);
    static bool hasTextBlocksInLayout(const PLRLayout& layout);
    static bool hasTextBlocksInAllBlocksFrom(const PLRBlock& block) { return foundTextBlockFromBlock(block); }
    // The body text: each top-level block's text after one blank, blanks and tabs trimmed.
    static QString textCharactersInAllBlocks(const PLRLayout& layout);
    static QString textCharactersInAllBlocksFrom(const PLRBlock& block);
    // Words of running text.
    static qint64 countWords(const QString& text);

    // The application-wide focus-keyword store (PLRFocusKeywordStore).
    static QStringList keywordsMatchingPrefix(const QString& prefix);
    static void addKeywordToStore(const QString& keyword);

    // Makes every post manager's SEO manager on first use (called once at start).
    static void install();

private:
    QPointer<PLRPostManager> m_postManager;
    std::unique_ptr<PLRSeoMetric> m_metrics[5];
};

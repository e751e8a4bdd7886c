#include "publishing/seo/PLRSeoMetric.h"

#include "layout/base/PLRLayoutManager.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "publishing/seo/PLRSeoManager.h"
#include "store/session/PLRPostManager.h"

#include <algorithm>

namespace {

QString plural(qint64 count, qint64 singularUpTo = 1)
{
    return count <= singularUpTo ? QString() : QStringLiteral("s");
}

// One table row of the title and meta-description advice: a level and a text per case.
struct LengthAdvice {
    qint64 level;
    QString text;
};

struct LengthBands {
    qint64 shortMax;   // 1 .. shortMax: too short
    qint64 goodMax;    // shortMax+1 .. goodMax: good
    qint64 longMax;    // goodMax+1 .. longMax: a bit long; beyond: far too long
};

enum class Presence { None, All, Some };

QString fill(QString text, const QList<QString>& values)
{
    for (const QString& value : values) {
        const qsizetype lu = text.indexOf(QLatin1String("%lu"));
        const qsizetype obj = text.indexOf(QLatin1String("%@"));
        const qsizetype d = text.indexOf(QLatin1String("%d"));
        qsizetype at = -1;
        int width = 0;
        for (auto [pos, w] : {std::pair{lu, 3}, std::pair{obj, 2}, std::pair{d, 2}}) {
            if (pos >= 0 && (at < 0 || pos < at)) {
                at = pos;
                width = w;
            }
        }
        if (at < 0)
            break;
        text.replace(at, width, value);
    }
    return text;
}

} // namespace

std::unique_ptr<PLRSeoMetric> PLRSeoMetric::metricWithType(qint64 type, PLRPostManager* postManager)
{
    return std::make_unique<PLRSeoMetric>(type, postManager);
}

PLRSeoMetric::PLRSeoMetric(qint64 type, PLRPostManager* postManager, QObject* parent)
    : QObject(parent), m_type(type)
{
    setPostManager(postManager);
}

PLRSeoMetric::~PLRSeoMetric()
{
    stopObserving();
}

void PLRSeoMetric::setPostManager(PLRPostManager* postManager)
{
    stopObserving();
    m_postManager = postManager;
    observe();
    ensureState();
}

QStringList PLRSeoMetric::keyPathsToObserve() const
{
    switch (m_type) {
    case Title:
        return {QString::fromLatin1(kPLRPostKeySeoTitle), QString::fromLatin1(kPLRPostKeyFocusKeywords)};
    case Meta:
        return {QString::fromLatin1(kPLRPostKeyMetaDescription), QString::fromLatin1(kPLRPostKeyFocusKeywords)};
    case Keywords:
    case ImageKeywords:
    // The body-text advice names the focus keywords missing from the body, so it follows
    // them as well as the layout.
    case Text:
        return {QString::fromLatin1(kPLRPostKeyFocusKeywords)};
    default:
        return {};
    }
}

bool PLRSeoMetric::shouldObserveLayoutChanges() const
{
    return m_type == ImageKeywords || m_type == Text;
}

void PLRSeoMetric::observe()
{
    PLRPersistantPost* post = m_postManager ? m_postManager->representedPost() : nullptr;
    if (post) {
        for (const QString& key : keyPathsToObserve()) {
            if (key == QLatin1String(kPLRPostKeySeoTitle))
                m_connections << connect(post, &PLRPersistantPost::seoTitleChanged, this, &PLRSeoMetric::ensureState);
            else if (key == QLatin1String(kPLRPostKeyMetaDescription))
                m_connections << connect(post, &PLRPersistantPost::metaDescriptionChanged, this, &PLRSeoMetric::ensureState);
            else if (key == QLatin1String(kPLRPostKeyFocusKeywords))
                m_connections << connect(post, &PLRPersistantPost::focusKeywordsChanged, this, &PLRSeoMetric::ensureState);
        }
    }
    if (shouldObserveLayoutChanges() && m_postManager) {
        if (PLRLayoutManager* layoutManager = m_postManager->layoutManager()) {
            m_layoutObserverContext = new QObject(this);
            platform::NotificationCenter::defaultCenter().addObserver(
                m_layoutObserverContext, QString::fromLatin1(kPLR_NOTIFICATION_LAYOUT_DID_CHANGE),
                [this](const platform::Notification&) { ensureState(); }, layoutManager);
        }
    }
}

void PLRSeoMetric::stopObserving()
{
    for (const QMetaObject::Connection& connection : std::as_const(m_connections))
        disconnect(connection);
    m_connections.clear();
    if (m_layoutObserverContext) {
        platform::NotificationCenter::defaultCenter().removeObserver(m_layoutObserverContext);
        delete m_layoutObserverContext;
        m_layoutObserverContext = nullptr;
    }
}

void PLRSeoMetric::ensureState()
{
    m_subMetrics.clear();
    switch (m_type) {
    case Title: ensureTitleState(); break;
    case Meta: ensureMetaState(); break;
    case Keywords: ensureKeywordState(); break;
    case ImageKeywords: ensureImageKeywordState(); break;
    case Text: ensureTextState(); break;
    default: break;
    }
    emit summaryLevelChanged();
    QPointer<PLRSeoMetric> self(this);
    platform::dispatchMain([self] {
        if (self)
            platform::NotificationCenter::defaultCenter().post(QString::fromLatin1(kPLRSeoManagerOverallSummaryNotification), self.data());
    });
}

qint64 PLRSeoMetric::summaryLevel() const
{
    qint64 level = PLRSeoSummaryLevelGood;
    for (const QVariantMap& sub : m_subMetrics)
        level = std::max(level, sub.value(QString::fromLatin1(kPLRSEOMETRIC_KEY_LEVEL)).toLongLong());
    return level;
}

QString PLRSeoMetric::primaryMetricReason() const
{
    if (m_subMetrics.isEmpty())
        return QString();
    return m_subMetrics.first().value(QString::fromLatin1(kPLRSEOMETRIC_KEY_REASON)).toString();
}

void PLRSeoMetric::setResult(qint64 level, const QString& reason)
{
    m_subMetrics.append(QVariantMap{{QString::fromLatin1(kPLRSEOMETRIC_KEY_LEVEL), level},
                                    {QString::fromLatin1(kPLRSEOMETRIC_KEY_REASON), reason}});
}

QStringList PLRSeoMetric::exceptionOccurances(const QStringList& keywords, const QString& text)
{
    QStringList missing = keywords;
    const QString lowered = text.toLower();
    for (const QString& keyword : keywords) {
        if (lowered.contains(keyword.toLower()) && missing.contains(keyword))
            missing.removeAll(keyword);
    }
    return missing;
}

QString PLRSeoMetric::keywordArrayToString(const QStringList& keywords)
{
    QString text;
    for (const QString& keyword : keywords)
        text += QStringLiteral("'%1', ").arg(keyword);
    qsizetype start = 0;
    qsizetype end = text.size();
    auto trimmable = [](QChar c) { return c == QLatin1Char(',') || c == QLatin1Char(' '); };
    while (start < end && trimmable(text.at(start)))
        ++start;
    while (end > start && trimmable(text.at(end - 1)))
        --end;
    return text.mid(start, end - start);
}

namespace {

// The title and meta-description tables share one shape: texts per band and presence.
struct LengthTable {
    LengthBands bands;
    // [band][presence]: band 0 short, 1 good, 2 a bit long, 3 far too long.
    LengthAdvice cells[4][3];
};

LengthAdvice lengthAdvice(const LengthTable& table, qint64 length, const QStringList& keywords, const QStringList& missing)
{
    if (length == 0)
        return {PLRSeoSummaryLevelFailure, QString()};
    const qint64 count = keywords.size();
    const qint64 missingCount = missing.size();
    const Presence presence = missingCount == count ? Presence::None : missingCount == 0 ? Presence::All : Presence::Some;
    int band;
    if (length > table.bands.longMax)
        band = 3;
    else if (length <= table.bands.shortMax)
        band = 0;
    else if (length > table.bands.goodMax)
        band = 2;
    else
        band = 1;
    const LengthAdvice& cell = table.cells[band][static_cast<int>(presence)];
    const QString l = QString::number(length);
    const QString p = QString::number(count - missingCount);
    const QString list = PLRSeoMetric::keywordArrayToString(missing);
    QList<QString> values;
    if (band == 1) {
        if (presence == Presence::Some)
            values = {p, list};
    } else if (presence == Presence::Some) {
        values = {l, p, list};
    } else {
        values = {l};
    }
    return {cell.level, fill(cell.text, values)};
}

const LengthTable& titleTable()
{
    static const LengthTable table{
        {24, 45, 60},
        {{{3, QStringLiteral("Your blog title only has %lu characters and none of your focus keywords. This is a bit less then the recomended range of 25-45 characters. You should also include your focus keywords.")},
          {2, QStringLiteral("Your blog title has all of your focus keywords, but it only has %lu characters. Try increasing the length to between 25-45 characters.")},
          {2, QStringLiteral("Your blog title only has %lu characters and %lu of your focus keywords. Try increasing the length to between 25-45 characters and adding the rest of your focus keywords. These focus keywords are missing: %@")}},
         {{3, QStringLiteral("Your blog title has a good amount of characters, but is missing your focus keywords. Try adding them in.")},
          {1, QString()},
          {2, QStringLiteral("Your blog title has a good amount of characters but only %lu of your focus keywords. Try adding the rest of your focus keywords. These focus keywords are missing: %@")}},
         {{3, QStringLiteral("Your blog title has %lu characters and none of your focus keywords. This is a bit more then the recomended range 25-45 characters. You should also include your focus keywords.")},
          {2, QStringLiteral("Your blog title has all your focus keywords, but it has %lu characters. Try decreasing the length to between 25-45 characters.")},
          {2, QStringLiteral("Your blog title has %lu characters and %lu of your focus keywords. Try decreasing the title to between 25-45 characters, and also add the rest of your focus keywords. These focus keywords are missing: %@")}},
         {{3, QStringLiteral("Your blog title has %lu characters and none of your focus keywords. We recommend between 25-45 characters, including your focus keywords.")},
          {3, QStringLiteral("Your blog title has all your focus keywords, but it has %lu characters. Try decreasing the length to between 25-45 characters.")},
          {3, QStringLiteral("Your blog title has %lu characters and %lu of your focus keywords. Try decreasing the title to between 25-45 characters, and adding the rest of your focus keywords. These focus keywords are missing: %@")}}}};
    return table;
}

const LengthTable& metaTable()
{
    static const LengthTable table{
        {124, 155, 200},
        {{{3, QStringLiteral("Your meta description only has %lu characters and none of your focus keywords. This is a bit less then the recomended range 125-155 characters. You should also include your focus keywords.")},
          {2, QStringLiteral("Your meta description has all your focus keywords, but it only has %lu characters. Try increasing the length to between 125-155 characters.")},
          {2, QStringLiteral("Your meta description only has %lu characters and %lu of your focus keywords. Try increasing the length to between 125-155 characters and adding the rest of your focus keywords. These focus keywords are missing: %@")}},
         {{3, QStringLiteral("Your meta description has a good amount of characters, but is missing your focus keywords. Try adding them in.")},
          {1, QString()},
          {2, QStringLiteral("Your meta description has a good amount of characters but only %lu of your focus keywords. Try adding the rest of your focus keywords. These focus keywords are missing: %@")}},
         {{3, QStringLiteral("Your meta description has %lu characters and none of your focus keywords. This is a bit more then the recomended range 125-155 characters. You should also include your focus keywords.")},
          {2, QStringLiteral("Your meta description has all your focus keywords, but it has %lu characters. Try decreasing the length to between 125-155 characters.")},
          {2, QStringLiteral("Your meta description has %lu characters and %lu of your focus keywords. Try decreasing the meta description to between 125-155 characters, and also add the rest of your focus keywords. These focus keywords are missing: %@")}},
         {{3, QStringLiteral("Your meta description has %lu characters and none of your focus keywords. We recommend between 125-155 characters, including your focus keywords.")},
          {3, QStringLiteral("Your meta description has all your focus keywords, but it has %lu characters. Try decreasing the length to between 125-155 characters.")},
          {3, QStringLiteral("Your meta description has %lu characters and %lu of your focus keywords. Try decreasing the title to between 125-155 characters, also add the rest of your focus keywords. These focus keywords are missing: %@")}}}};
    return table;
}

} // namespace

void PLRSeoMetric::ensureTitleState()
{
    PLRPersistantPost* post = m_postManager ? m_postManager->representedPost() : nullptr;
    const QString title = post ? post->seoTitle() : QString();
    const QStringList keywords = post ? post->focusKeywords() : QStringList();
    const LengthAdvice advice = lengthAdvice(titleTable(), title.size(), keywords, exceptionOccurances(keywords, title));
    setResult(advice.level, advice.text);
}

void PLRSeoMetric::ensureMetaState()
{
    PLRPersistantPost* post = m_postManager ? m_postManager->representedPost() : nullptr;
    const QString meta = post ? post->metaDescription() : QString();
    const QStringList keywords = post ? post->focusKeywords() : QStringList();
    const LengthAdvice advice = lengthAdvice(metaTable(), meta.size(), keywords, exceptionOccurances(keywords, meta));
    setResult(advice.level, advice.text);
}

void PLRSeoMetric::ensureKeywordState()
{
    PLRPersistantPost* post = m_postManager ? m_postManager->representedPost() : nullptr;
    const qint64 count = post ? post->focusKeywords().size() : 0;
    if (count == 0) {
        setResult(PLRSeoSummaryLevelFailure,
                  QStringLiteral("Add 3\u20135 focus keywords which broadly describe this blog. This helps us give you feedback on the other SEO sections."));
    } else if (count <= 2) {
        setResult(PLRSeoSummaryLevelWarning,
                  QStringLiteral("%1 focus keyword%2, keep going!\nTo get the best SEO advice we recommend 3\u20135.")
                      .arg(count)
                      .arg(count == 2 ? QStringLiteral("s") : QString()));
    } else if (count <= 5) {
        setResult(PLRSeoSummaryLevelGood, QString());
    } else {
        setResult(PLRSeoSummaryLevelWarning,
                  QStringLiteral("%1 focus keywords, that\u2019s too many.\nTo get the best SEO advice we recommend 3\u20135.").arg(count));
    }
}

namespace {

// One entry per image block, in order: whether its photo has keywords.
void collectImageKeywordEntries(const PLRBlock& block, PLRPostManager* postManager, QList<bool>* entries)
{
    switch (plr::typeOneOfCase(block)) {
    case plr::kBlockKindText:
    case plr::kBlockKindBlank:
        return;
    case plr::kBlockKindImage: {
        const QString ref = QString::fromStdString(block.image().img_ref());
        const PLRSourceImagePtr image = postManager ? postManager->imageForIdentifier(ref) : PLRSourceImagePtr();
        entries->append(image && !image->focusKeywords().isEmpty());
        return;
    }
    default:
        for (const PLRBlock& child : block.container().sub_blocks())
            collectImageKeywordEntries(child, postManager, entries);
    }
}

const PLRLayout* layoutOf(PLRPostManager* postManager)
{
    if (!postManager)
        return nullptr;
    if (PLRLayoutManager* manager = postManager->layoutManager())
        return manager->representedLayout();
    return nullptr;
}

} // namespace

void PLRSeoMetric::ensureImageKeywordState()
{
    QList<bool> entries;
    if (const PLRLayout* layout = layoutOf(m_postManager)) {
        for (const PLRSection& section : layout->sections())
            for (const PLRBlock& block : section.blocks())
                collectImageKeywordEntries(block, m_postManager, &entries);
    }
    const qint64 total = entries.size();
    const qint64 without = entries.count(false);
    if (without == total) {
        setResult(PLRSeoSummaryLevelFailure, QStringLiteral("No images have keywords. Select an image to start adding descriptions."));
    } else if (without == 0) {
        setResult(PLRSeoSummaryLevelGood, QStringLiteral("All your images have descriptions. Perfect!"));
    } else {
        setResult(PLRSeoSummaryLevelWarning,
                  QStringLiteral("%1 of your %2 images have descriptions. Add descriptions to the remaining %3 for better SEO.")
                      .arg(total - without)
                      .arg(total)
                      .arg(without));
    }
}

void PLRSeoMetric::ensureTextState()
{
    const PLRLayout* layout = layoutOf(m_postManager);
    PLRPersistantPost* post = m_postManager ? m_postManager->representedPost() : nullptr;
    const QStringList keywords = post ? post->focusKeywords() : QStringList();
    const PLRSeoTextCounts::Result counts = layout ? m_textCounts.count(*layout, keywords) : PLRSeoTextCounts::Result();
    if (!counts.hasTextBlocks) {
        setResult(PLRSeoSummaryLevelFailure, QString());
        return;
    }
    const qint64 words = counts.words;
    if (!counts.hasText) {
        setResult(PLRSeoSummaryLevelFailure, QStringLiteral("Add text to your text blocks to receive SEO feedback."));
    } else if (words <= 299) {
        setResult(PLRSeoSummaryLevelWarning,
                  QStringLiteral("%1 word%2, keep going! Body text of at least 300 words will improve your SEO.")
                      .arg(words)
                      .arg(plural(words)));
    } else {
        setResult(PLRSeoSummaryLevelGood, QString());
    }
    const QStringList& missing = counts.missingKeywords;
    if (missing.size() == keywords.size()) {
        setResult(PLRSeoSummaryLevelFailure, QStringLiteral("None of your focus keywords are in the body, add them to boost your SEO."));
    } else if (!missing.isEmpty()) {
        setResult(PLRSeoSummaryLevelWarning,
                  QStringLiteral("Focus keywords: %1are missing from the body text. Add them for better SEO.")
                      .arg(keywordArrayToString(missing)));
    } else {
        setResult(PLRSeoSummaryLevelGood, QString());
    }
}

#pragma once

#include "publishing/seo/PLRSeoTextCounts.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>

class PLRPostManager;

// Posted on the main queue after every evaluation of any metric (object: the metric).
inline constexpr char kPLRSeoManagerOverallSummaryNotification[] = "PLRSeoManagerOverallSummaryNotification";
// The two keys of a sub-metric.
inline constexpr char kPLRSEOMETRIC_KEY_LEVEL[] = "kPLRSEOMETRIC_KEY_LEVEL";
inline constexpr char kPLRSEOMETRIC_KEY_REASON[] = "kPLRSEOMETRIC_KEY_REASON";

// Summary levels: higher is worse; combining takes the maximum.
enum PLRSeoSummaryLevel : qint64 {
    PLRSeoSummaryLevelGood = 1,
    PLRSeoSummaryLevelWarning = 2,
    PLRSeoSummaryLevelFailure = 3,
};

// One piece of SEO advice about a post: what it checks is its type (0 title, 1 meta
// description, 2 focus-keyword count, 3 image keywords, 4 body text). It evaluates itself once
// when bound and again on every change of the post fields it watches and, for types 3 and 4,
// on every change of the post's layout.
class PLRSeoMetric : public QObject {
    Q_OBJECT
    Q_PROPERTY(qint64 summaryLevel READ summaryLevel NOTIFY summaryLevelChanged)
public:
    enum Type : qint64 { Title = 0, Meta = 1, Keywords = 2, ImageKeywords = 3, Text = 4 };

    static std::unique_ptr<PLRSeoMetric> metricWithType(qint64 type, PLRPostManager* postManager);
    PLRSeoMetric(qint64 type, PLRPostManager* postManager, QObject* parent = nullptr);
    ~PLRSeoMetric() override;

    qint64 metricType() const { return m_type; }
    PLRPostManager* postManager() const { return m_postManager; }
    // Binds to another post manager (stops watching the previous one) and evaluates once.
    void setPostManager(PLRPostManager* postManager);

    // Evaluates now and posts the summary notification on the main queue.
    void ensureState();

    const QList<QVariantMap>& subMetrics() const { return m_subMetrics; }
    // The worst level of the sub-metrics; good when there are none.
    qint64 summaryLevel() const;
    // The first sub-metric's advice ("" when there is none).
    QString primaryMetricReason() const;

    // The post keys the metric watches, and whether it follows the layout.
    QStringList keyPathsToObserve() const;
    bool shouldObserveLayoutChanges() const;

    // The keywords missing from `text` (case-insensitive substring test), in their order.
    static QStringList exceptionOccurances(const QStringList& keywords, const QString& text);
    // 'a', 'b', 'c'
    static QString keywordArrayToString(const QStringList& keywords);

signals:
    void summaryLevelChanged();

private:
    void observe();
    void stopObserving();
    void setResult(qint64 level, const QString& reason);
    void ensureTitleState();
    void ensureMetaState();
    void ensureKeywordState();
    void ensureImageKeywordState();
    void ensureTextState();

    qint64 m_type;
    QPointer<PLRPostManager> m_postManager;
    QList<QVariantMap> m_subMetrics;
    QList<QMetaObject::Connection> m_connections;
    QObject* m_layoutObserverContext = nullptr;
    // The body text's counts per block (text metric).
    PLRSeoTextCounts m_textCounts;
};

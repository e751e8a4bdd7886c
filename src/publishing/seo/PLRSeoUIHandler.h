#pragma once

#include "controls/OEXTokenField.h"
#include "platform-ui/Controls.h"
#include "shell/PLRGenericPostViewController.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QVariantMap>

class PLRSeoMetric;
class QLabel;
class QWidget;

// The SEO section of the inspector: one traffic light and one advice text per metric of the
// open post, and the focus keywords as tokens completed from the keyword store.
class PLRSeoUIHandler : public PLRGenericPostViewController, public PLRTokenFieldDelegate {
    Q_OBJECT
public:
    explicit PLRSeoUIHandler(QObject* parent = nullptr);
    ~PLRSeoUIHandler() override;

    // Registers the panel with the "Main" scenes (the inspector places it).
    static void registerScene();

    void setPostManager(PLRPostManager* manager) override;
    void viewWillAppear() override;

    // Reads every metric again into its row (the summary notification, binding, appearing).
    void summaryChanged();

    static QImage imageForSummaryLevel(qint64 level);
    // "Summary Level Good", "Summary level Warning", "Summary level Failure"; "" otherwise.
    static QString stringForSEOSummary(qint64 level);
    // The advice to show for a metric, as rich text (HTML) when it combines sub-metrics.
    static QString summaryTitleForMetric(const PLRSeoMetric* metric);
    // The same for a list of sub-metrics (level and advice each): one is shown as it is; of
    // several, the good ones are joined by an italic " and " up to the first that is not good,
    // which follows an italic " but " and a line break and ends the text.
    static QString summaryTitleForSubMetrics(const QList<QVariantMap>& subMetrics);

    // Stores the token field's keywords in the post and the keyword store.
    void setFocusKeywords();

    // Token-field delegate.
    QStringList tokenFieldShouldAddObjects(PLRTokenField* field, const QStringList& tokens, qsizetype index) override;
    QStringList tokenFieldCompletionsForSubstring(PLRTokenField* field, const QString& substring, qsizetype tokenIndex) override;
    void tokenFieldDidChange(PLRTokenField* field) override;

    // The rows, for tests: 0 keywords, 1 title, 2 meta description, 3 image keywords, 4 body text.
    struct Row {
        QWidget* section = nullptr;
        QLabel* icon = nullptr;
        QLabel* label = nullptr;
        qint64 shownLevel = 0;
        double bottomSpacing = 0;
    };
    const Row& row(int index) const { return m_rows[index]; }
    OEXTokenField* focusKeywordTokenField() const { return m_tokenField; }
    // The titles above the keywords and above the advice.
    platform::ui::TextField* keywordsHeader() const { return m_keywordsHeader; }
    platform::ui::TextField* adviceHeader() const { return m_adviceHeader; }

protected:
    platform::ui::View* loadView() override;

private:
    Row m_rows[5];
    QPointer<OEXTokenField> m_tokenField;
    platform::ui::TextField* m_keywordsHeader = nullptr;
    platform::ui::TextField* m_adviceHeader = nullptr;
    bool m_refreshing = false;
};

#include "publishing/seo/PLRSeoUIHandler.h"

#include "services/analytic/PLRAnalyticEvent.h"
#include "services/analytic/PLRAnalyticManager.h"
#include "controls/OEXTokenField.h"
#include "panels/inspector/PLRInspectorPanels.h"
#include "panels/inspector/PLRInspectorWidgets.h"
#include "store/persistance-store/PLRPersistantPost.h"
#include "platform/NotificationCenter.h"
#include "platform/Storyboard.h"
#include "platform-ui/Fonts.h"
#include "platform-ui/Images.h"
#include "publishing/seo/PLRSeoManager.h"
#include "store/session/PLRPostManager.h"
#include "shell/PLRShellNotifications.h"

#include <QHBoxLayout>
#include <QLabel>

#include <algorithm>
#include <QPixmap>
#include <QVBoxLayout>

namespace {

// Section spacing below a row: with and without advice text.
constexpr double kSpacingWhenEmpty = 15.0;
constexpr double kSpacingWhenEmptyBody = 13.0;
constexpr double kSpacingWithText = 10.0;

QString escaped(const QString& text)
{
    QString html = text.toHtmlEscaped();
    html.replace(QLatin1Char('\n'), QLatin1String("<br/>"));
    return html;
}

} // namespace

PLRSeoUIHandler::PLRSeoUIHandler(QObject* parent) : PLRGenericPostViewController(parent)
{
    platform::NotificationCenter::defaultCenter().addObserver(
        this, QString::fromLatin1(kPLRSeoManagerOverallSummaryNotification),
        [this](const platform::Notification&) { summaryChanged(); });
}

PLRSeoUIHandler::~PLRSeoUIHandler()
{
    platform::NotificationCenter::defaultCenter().removeObserver(this);
}

void PLRSeoUIHandler::registerScene()
{
    platform::Storyboard::registerScene(QString::fromLatin1(kPLRMainStoryboard),
                                        QString::fromLatin1(kPLRInspectorSeoPanelIdentifier),
                                        [] { return new PLRSeoUIHandler; });
}

platform::ui::View* PLRSeoUIHandler::loadView()
{
    auto* root = new platform::ui::View;
    root->setObjectName(QStringLiteral("PLRSeoPanel"));
    auto* layout = new QVBoxLayout(root);
    // The Document page's column sets the side margins: the panel lines up with its fields.
    layout->setContentsMargins(0, 8, 0, 8);
    layout->setSpacing(0);

    // Section titles in the page's own caption style.
    auto header = [&](const QString& title, const QString& name) {
        platform::ui::TextField* label = plr::insp::caption(title, root, true);
        label->setObjectName(name);
        layout->addWidget(label);
        layout->addSpacing(4);
        return label;
    };
    auto makeRow = [&](int index) {
        Row& row = m_rows[index];
        row.section = new QWidget(root);
        auto* rowLayout = new QHBoxLayout(row.section);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        rowLayout->setSpacing(6);
        row.icon = new QLabel(row.section);
        row.icon->setFixedSize(12, 12);
        row.icon->setScaledContents(true);
        row.label = new QLabel(row.section);
        row.label->setWordWrap(true);
        row.label->setFont(platform::ui::systemFont(11));
        row.label->setTextFormat(Qt::RichText);
        rowLayout->addWidget(row.icon, 0, Qt::AlignTop);
        rowLayout->addWidget(row.label, 1);
        layout->addWidget(row.section);
    };

    m_keywordsHeader = header(QStringLiteral("Focus keywords"), QStringLiteral("focusKeywordsHeader"));
    m_tokenField = new OEXTokenField(root);
    m_tokenField->setTokenizingCharacters(QStringLiteral(" \n"));
    m_tokenField->setDelegate(this);
    m_tokenField->setObjectName(QStringLiteral("focusKeywordTokenField"));
    layout->addWidget(m_tokenField);
    layout->addSpacing(6);
    makeRow(0);
    layout->addSpacing(static_cast<int>(kSpacingWithText));
    m_adviceHeader = header(QStringLiteral("SEO advice"), QStringLiteral("seoAdviceHeader"));
    const QStringList titles{QString(), QStringLiteral("Blog title"), QStringLiteral("Meta description"),
                             QStringLiteral("Image descriptions"), QStringLiteral("Body text")};
    for (int index = 1; index < 5; ++index) {
        makeRow(index);
        m_rows[index].label->setToolTip(titles.at(index));
    }
    layout->addStretch(1);
    return root;
}

void PLRSeoUIHandler::setPostManager(PLRPostManager* manager)
{
    PLRGenericPostViewController::setPostManager(manager);
    summaryChanged();
}

void PLRSeoUIHandler::viewWillAppear()
{
    summaryChanged();
}

QImage PLRSeoUIHandler::imageForSummaryLevel(qint64 level)
{
    switch (level) {
    case PLRSeoSummaryLevelGood: return platform::ui::namedImage(QStringLiteral("light-green"));
    case PLRSeoSummaryLevelWarning: return platform::ui::namedImage(QStringLiteral("light-yellow"));
    case PLRSeoSummaryLevelFailure: return platform::ui::namedImage(QStringLiteral("light-red"));
    default: return QImage();
    }
}

QString PLRSeoUIHandler::stringForSEOSummary(qint64 level)
{
    switch (level) {
    case PLRSeoSummaryLevelGood: return QStringLiteral("Summary Level Good");
    case PLRSeoSummaryLevelWarning: return QStringLiteral("Summary level Warning");
    case PLRSeoSummaryLevelFailure: return QStringLiteral("Summary level Failure");
    default: return QString();
    }
}

QString PLRSeoUIHandler::summaryTitleForMetric(const PLRSeoMetric* metric)
{
    return metric ? summaryTitleForSubMetrics(metric->subMetrics()) : QString();
}

QString PLRSeoUIHandler::summaryTitleForSubMetrics(const QList<QVariantMap>& subs)
{
    const QString levelKey = QString::fromLatin1(kPLRSEOMETRIC_KEY_LEVEL);
    const QString reasonKey = QString::fromLatin1(kPLRSEOMETRIC_KEY_REASON);
    if (subs.size() == 1)
        return escaped(subs.first().value(reasonKey).toString());
    // Good advice joined with "and"; the first advice that is not good ends the text.
    QString html;
    for (const QVariantMap& sub : subs) {
        const QString reason = sub.value(reasonKey).toString();
        if (sub.value(levelKey).toLongLong() == PLRSeoSummaryLevelGood) {
            if (!html.isEmpty())
                html += QStringLiteral("<i> and </i>");
            html += escaped(reason);
            continue;
        }
        if (!html.isEmpty())
            html += QStringLiteral("<i> but <br/></i>");
        html += escaped(reason);
        break;
    }
    return html;
}

void PLRSeoUIHandler::summaryChanged()
{
    PLRPostManager* manager = postManager();
    if (!manager || !isViewLoaded() || m_refreshing)
        return;
    PLRSeoManager* seo = manager->component<PLRSeoManager>();
    if (!seo)
        return;
    m_refreshing = true;
    const PLRSeoMetric* metrics[5] = {seo->keywordsMetric(), seo->titleMetric(), seo->metaMetric(),
                                      seo->imageKeywordMetrics(), seo->textMetric()};
    for (int index = 0; index < 5; ++index) {
        Row& row = m_rows[index];
        const QString text = summaryTitleForMetric(metrics[index]);
        row.label->setText(text);
        row.shownLevel = metrics[index]->summaryLevel();
        const QImage icon = imageForSummaryLevel(row.shownLevel);
        // (Drawn at the light's own size: a picture of twice the points is a 2x one.)
        QPixmap light = icon.isNull() ? QPixmap() : QPixmap::fromImage(icon);
        if (!light.isNull())
            light.setDevicePixelRatio(std::max(1.0, light.width() / double(row.icon->width())));
        row.icon->setPixmap(light);
        row.icon->setAccessibleName(stringForSEOSummary(row.shownLevel));
        if (index == 3)
            continue;
        const bool empty = text.isEmpty();
        row.section->setVisible(!empty);
        row.bottomSpacing = empty ? (index == 4 ? kSpacingWhenEmptyBody : kSpacingWhenEmpty) : kSpacingWithText;
        row.section->setContentsMargins(0, 0, 0, static_cast<int>(row.bottomSpacing));
    }
    m_rows[3].section->setContentsMargins(0, 0, 0, static_cast<int>(kSpacingWithText));
    if (PLRPersistantPost* post = manager->representedPost(); post && m_tokenField)
        m_tokenField->setObjectValue(post->focusKeywords());
    m_refreshing = false;
}

void PLRSeoUIHandler::setFocusKeywords()
{
    PLRPostManager* manager = postManager();
    PLRPersistantPost* post = manager ? manager->representedPost() : nullptr;
    if (!post || !m_tokenField)
        return;
    const QStringList keywords = m_tokenField->objectValue();
    post->setFocusKeywords(keywords);
    for (const QString& keyword : keywords)
        PLRSeoManager::addKeywordToStore(keyword);
    qint64 keywordLevel = 0;
    if (PLRSeoManager* seo = manager->component<PLRSeoManager>())
        keywordLevel = seo->keywordsMetric()->summaryLevel();
    PLRAnalyticManager& analytics = PLRAnalyticManager::coreAnalyticManager();
    analytics.fireAnalyticEvent(PLRAnalyticEvent::createEventWithTitle(QStringLiteral("set_focus_keywords")));
    analytics.fireAnalyticEvent(PLRAnalyticEvent::createEventWithTitle(
        QStringLiteral("seo_summary_changed"), {{QStringLiteral("seo_level"), stringForSEOSummary(keywordLevel)}}));
}

QStringList PLRSeoUIHandler::tokenFieldShouldAddObjects(PLRTokenField*, const QStringList& tokens, qsizetype)
{
    // The field takes the tokens in after this call: store them once they are in.
    QPointer<PLRSeoUIHandler> self(this);
    QMetaObject::invokeMethod(this, [self] {
        if (self)
            self->setFocusKeywords();
    }, Qt::QueuedConnection);
    return tokens;
}

QStringList PLRSeoUIHandler::tokenFieldCompletionsForSubstring(PLRTokenField*, const QString& substring, qsizetype)
{
    return PLRSeoManager::keywordsMatchingPrefix(substring);
}

void PLRSeoUIHandler::tokenFieldDidChange(PLRTokenField*)
{
    setFocusKeywords();
}

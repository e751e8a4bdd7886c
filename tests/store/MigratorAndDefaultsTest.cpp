#include "TestSupport.h"

#include "store/migrators/PLRMigrator.h"
#include "store/persistance-store/PLRPersistantStore.h"
#include "platform/Paths.h"
#include "platform/UserDefaults.h"
#include "store/session/PLRDefaults.h"
#include "platform/Resets.h"

#include <gtest/gtest.h>

#include <QFileInfo>

namespace {

class RecordingStep : public PLRMigratorVersion {
public:
    RecordingStep(QString version, QStringList* log, bool succeeds = true)
        : m_version(std::move(version)), m_log(log), m_succeeds(succeeds) {}
    QString version() const override { return m_version; }
    void perform(Completion done) override
    {
        m_log->append(m_version);
        setStageProgress(1.0);
        done(m_succeeds);
    }
private:
    QString m_version;
    QStringList* m_log;
    bool m_succeeds;
};

} // namespace

TEST(Migrator, FirstRunMakesTheStoreThenNothingIsDue)
{
    const QString root = platform::paths::applicationSupport();
    EXPECT_FALSE(QFileInfo::exists(root + "/ds"));
    bool completed = false;
    PLRMigrator::runMigratorIfNeeded([&](bool ok) { completed = ok; });
    EXPECT_FALSE(completed);   // a step is due: it runs later
    ASSERT_TRUE(testing_support::waitUntil([&] { return completed; }));
    EXPECT_TRUE(QFileInfo(root + "/ds").isDir());
    EXPECT_TRUE(QFileInfo(root + "/loc").isDir());
    EXPECT_TRUE(QFileInfo(root + "/gall_temp_assets").isDir());
    EXPECT_EQ(PLRMigrator::storedVersion(), "1.0.1");
    EXPECT_TRUE(PLRDefaults::isFirstRun());

    completed = false;
    PLRMigrator::runMigratorIfNeeded([&](bool ok) { completed = ok; });
    EXPECT_TRUE(completed);   // nothing due: before returning
}

TEST(Migrator, StepsRunInOrderAndAFailureStops)
{
    ASSERT_TRUE(PLRMigrator::setStoredVersion("1.0.1"));
    QStringList ran;
    QStringList shown;
    const platform::HookGuard<std::function<void(PLRMigratorVersion*)>> visuals(
        &PLRMigrator::setPresentVisualsHandler, [&](PLRMigratorVersion* step) { shown << step->version(); });
    PLRMigrator::Steps steps;
    steps.push_back(std::make_unique<RecordingStep>("1.0.10", &ran));
    steps.push_back(std::make_unique<RecordingStep>("1.0.1", &ran));   // already done
    steps.push_back(std::make_unique<RecordingStep>("1.0.2", &ran));
    bool done = false;
    bool result = false;
    PLRMigrator::runMigratorIfNeeded([&](bool ok) { done = true; result = ok; }, std::move(steps));
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }));
    EXPECT_TRUE(result);
    EXPECT_EQ(ran, QStringList({"1.0.2", "1.0.10"}));
    EXPECT_EQ(shown, ran);
    EXPECT_EQ(PLRMigrator::storedVersion(), "1.0.10");

    ran.clear();
    steps.clear();
    steps.push_back(std::make_unique<RecordingStep>("1.1.0", &ran, false));
    steps.push_back(std::make_unique<RecordingStep>("1.2.0", &ran));
    done = false;
    PLRMigrator::runMigratorIfNeeded([&](bool ok) { done = true; result = ok; }, std::move(steps));
    ASSERT_TRUE(testing_support::waitUntil([&] { return done; }));
    EXPECT_FALSE(result);
    EXPECT_EQ(ran, QStringList({"1.1.0"}));
    EXPECT_EQ(PLRMigrator::storedVersion(), "1.0.10");
}

TEST(Defaults, ValuesWhenNeverSet)
{
    EXPECT_FALSE(PLRDefaults::shouldSplitUsedImages());
    EXPECT_EQ(PLRDefaults::starFilterComparator(), 1);
    EXPECT_EQ(PLRDefaults::autoLayoutNumImagesToAdd(), 21);
    EXPECT_DOUBLE_EQ(PLRDefaults::defaultPadding(), 10.0);
    EXPECT_EQ(PLRDefaults::homeSortType(), 1);
    EXPECT_EQ(PLRDefaults::homeSortOrder(), 0);
    EXPECT_EQ(PLRDefaults::exportWidth(), 1500);
    EXPECT_EQ(PLRDefaults::exportQuality(), 75);
    EXPECT_TRUE(PLRDefaults::shouldPresentFirstPostModalView());
    EXPECT_FALSE(PLRDefaults::shouldSupressNotifyOfExport());
    EXPECT_EQ(PLRDefaults::defaultBackgroundColour(), QColor(Qt::white));
    EXPECT_TRUE(PLRDefaults::exportDatabasePath().isEmpty());
    EXPECT_EQ(PLRDefaults::ascendingTitleForType(1), "Oldest to Newest");
    EXPECT_EQ(PLRDefaults::descendingTitleForType(2), "Most Recent to Least Recent");
    EXPECT_TRUE(PLRDefaults::ascendingTitleForType(3).isEmpty());
}

TEST(Defaults, SettersKeysAndUrls)
{
    PLRDefaults::setExportWidth(0);
    EXPECT_EQ(PLRDefaults::exportWidth(), 1500);
    PLRDefaults::setExportWidth(800);
    EXPECT_EQ(platform::UserDefaults::standard().integerForKey("export_width"), 800);
    PLRDefaults::incrementExportLayoutCount();
    PLRDefaults::incrementExportLayoutCount();
    EXPECT_EQ(platform::UserDefaults::standard().integerForKey("export_layout_count"), 2);
    PLRDefaults::setShouldExportDatabase(false);
    EXPECT_TRUE(platform::UserDefaults::standard().boolForKey("export_database_supress_notify"));
    PLRDefaults::setSupressImageDataDelete(true);
    EXPECT_TRUE(PLRDefaults::shouldSupressImageItemDelete());

    const QColor colour = QColor::fromRgbF(0.2f, 0.4f, 0.6f, 1.0f);
    PLRDefaults::setDefaultColour(colour);
    EXPECT_EQ(PLRDefaults::defaultBackgroundColour(), colour);
    platform::UserDefaults::standard().setObject("def_bg_col", QByteArray("{broken"));
    EXPECT_EQ(PLRDefaults::defaultBackgroundColour(), QColor(Qt::white));

    EXPECT_EQ(PLRDefaults::supportURLForPath("/en/articles/3173491-chat-to-support"),
              PLRDefaults::supportURLForPath("en/articles/3173491-chat-to-support"));
    EXPECT_EQ(PLRDefaults::supportURLForPath("en/x").scheme(), "https");
    EXPECT_TRUE(PLRDefaults::supportURLForPath("en/x").path().endsWith("/en/x"));
    EXPECT_TRUE(PLRDefaults::sitemapURL().toString().startsWith("https://"));
    EXPECT_TRUE(PLRDefaults::sitemapURL().toString().endsWith("/support_sitemap.xml"));
}

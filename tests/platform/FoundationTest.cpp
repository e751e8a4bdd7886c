// Notification centre, settings, JSON, property lists, files and the small helpers.

#include "TestSupport.h"

#include "platform/Files.h"
#include "platform/FirstFrame.h"
#include "platform/FoundationAdditions.h"
#include "platform/Json.h"
#include "platform/NotificationCenter.h"
#include "platform/PLRJSONSerialization.h"
#include "platform/Paths.h"
#include "platform/Plist.h"
#include "platform/UserDefaults.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

using platform::NotificationCenter;

TEST(NotificationCenter, DeliversByNameAndSenderAndForgetsDeadContexts)
{
    auto& center = NotificationCenter::defaultCenter();
    QObject senderA, senderB;
    auto context = std::make_unique<QObject>();
    QStringList seen;
    center.addObserver(context.get(), "n", [&](const platform::Notification& n) {
        seen << "any:" + n.userInfo.value("k").toString();
    });
    center.addObserver(context.get(), "n", [&](const platform::Notification&) { seen << "fromA"; }, &senderA);
    center.post("n", &senderB, {{"k", "1"}});
    center.post("n", &senderA, {{"k", "2"}});
    center.post("other", &senderA);
    EXPECT_EQ(seen, QStringList({"any:1", "any:2", "fromA"}));

    context.reset();
    seen.clear();
    center.post("n", &senderA);
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_EQ(center.observerCount("n"), 0);
}

TEST(NotificationCenter, ObserversMayRemoveEachOtherAndPostAgainWhileBeingTold)
{
    auto& center = NotificationCenter::defaultCenter();
    QObject context;
    QStringList seen;
    platform::ObserverToken second = 0;
    center.addObserver(&context, "n", [&](const platform::Notification& n) {
        seen << "first";
        center.removeObserver(second);   // the second must not be told any more
        if (n.userInfo.isEmpty())
            center.post("n", nullptr, {{"nested", true}});
    });
    second = center.addObserver(&context, "n", [&](const platform::Notification&) { seen << "second"; });
    center.post("n");
    EXPECT_EQ(seen, QStringList({"first", "first"}));
}

TEST(UserDefaults, WritesWaitForTheFirstFrameWhileOneIsExpected)
{
    auto& defaults = platform::UserDefaults::standard();
    const QString path = defaults.filePath();
    const auto fileHas = [&path](const QByteArray& line) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(line);
    };

    // Before the first frame: the value reads back, the file is not written yet.
    platform::firstframe::expect();
    defaults.setString("before_frame", "kept");
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(defaults.stringForKey("before_frame"), "kept");
    EXPECT_FALSE(fileHas("before_frame=kept"));
    // Just after the frame it is.
    platform::firstframe::painted();
    EXPECT_TRUE(testing_support::waitUntil([&] { return fileHas("before_frame=kept"); }));

    // With no frame on its way a change is written as soon as the event loop runs.
    defaults.setString("after_frame", "written");
    EXPECT_TRUE(testing_support::waitUntil([&] { return fileHas("after_frame=written"); }));
}

TEST(UserDefaults, LivesInTheHomeAndReadsWrongTypesAsDefaults)
{
    auto& defaults = platform::UserDefaults::standard();
    EXPECT_EQ(defaults.filePath(), QDir(testing_support::testHome()).filePath("config/Pellora.conf"));

    defaults.registerDefaults({{"reg_int", 21}, {"reg_bool", true}});
    EXPECT_EQ(defaults.integerForKey("reg_int"), 21);
    EXPECT_TRUE(defaults.boolForKey("reg_bool"));
    EXPECT_EQ(defaults.integerForKey("missing"), 0);
    EXPECT_FALSE(defaults.boolForKey("missing"));
    EXPECT_TRUE(defaults.stringForKey("missing").isNull());

    defaults.setInteger("count", 7);
    defaults.setBool("flag", true);
    defaults.setString("name", "Trip");
    defaults.setObject("list", QVariantList{"a", "b"});
    ASSERT_TRUE(defaults.synchronize());
    defaults.reload();
    EXPECT_EQ(defaults.integerForKey("count"), 7);
    EXPECT_TRUE(defaults.boolForKey("flag"));
    EXPECT_EQ(defaults.stringForKey("name"), "Trip");
    EXPECT_EQ(defaults.arrayForKey("list"), (QVariantList{"a", "b"}));

    // A hand-edited file with values of the wrong type.
    QFile file(defaults.filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[General]\nreg_int=abc\ncount=12.7\nflag=maybe\nlist=notalist\n");
    file.close();
    defaults.reload();
    EXPECT_EQ(defaults.integerForKey("reg_int"), 21);   // unreadable: the registered default
    EXPECT_EQ(defaults.integerForKey("count"), 12);
    EXPECT_FALSE(defaults.boolForKey("flag"));
    EXPECT_TRUE(defaults.arrayForKey("list").isEmpty() || defaults.arrayForKey("list") == QVariantList{"notalist"});
}

// Each write rewrites and syncs the whole file: a launch that sets what is already there
// must not pay for it.
TEST(UserDefaults, UnchangedValuesAreNotWrittenAgain)
{
    auto& defaults = platform::UserDefaults::standard();
    defaults.setBool("flag", true);
    defaults.setInteger("count", 7);
    defaults.setString("name", "Trip");
    defaults.setObject("list", QVariantList{"a", "b"});
    defaults.setInteger("group/inner", 1);
    ASSERT_TRUE(defaults.synchronize());
    defaults.reload();   // values come back as the file's text
    const auto fileVersion = [&] {
        struct stat st {};
        ::stat(QFile::encodeName(defaults.filePath()).constData(), &st);
        return std::pair<qint64, qint64>(qint64(st.st_ino), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    };
    const auto before = fileVersion();

    defaults.setBool("flag", true);
    defaults.setInteger("count", 7);
    defaults.setString("name", "Trip");
    defaults.removeObject("never-set");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_EQ(fileVersion(), before);

    // A change is written; removing a group still removes the keys below it.
    defaults.setBool("flag", false);
    defaults.removeObject("group");
    ASSERT_TRUE(defaults.synchronize());
    EXPECT_NE(fileVersion(), before);
    defaults.reload();
    EXPECT_FALSE(defaults.boolForKey("flag"));
    EXPECT_FALSE(defaults.hasKey("group/inner"));
    EXPECT_EQ(defaults.integerForKey("count"), 7);
}

TEST(UserDefaults, UnwritableHomeReportsInsteadOfCrashing)
{
    // The settings folder's place is taken by a plain file: nothing can be written there,
    // whoever runs the test.
    const QString home = testing_support::testHome() + "/blocked";
    QDir().mkpath(home);
    QFile blocker(home + "/config");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("PELLORA_HOME", home.toUtf8());
    auto& defaults = platform::UserDefaults::standard();
    defaults.reload();
    defaults.setInteger("x", 1);
    EXPECT_FALSE(defaults.synchronize());
    EXPECT_EQ(defaults.integerForKey("x"), 1);   // still readable in this run
}

TEST(Json, ReadsFragmentsOnlyWhenAllowedAndNeverMoreThanOneValue)
{
    platform::Error error;
    EXPECT_EQ(platform::json::parse(R"({"a":1})", false).toMap().value("a").toInt(), 1);
    EXPECT_EQ(platform::json::parse("[1,2]", false).toList().size(), 2);
    EXPECT_FALSE(platform::json::parse("42", false, &error).isValid());
    EXPECT_EQ(error.code, 3840);
    EXPECT_EQ(platform::json::parse("42", true).toInt(), 42);
    EXPECT_EQ(platform::json::parse(R"("text")", true).toString(), "text");
    EXPECT_TRUE(platform::json::isNull(platform::json::parse("null", true)));
    EXPECT_TRUE(platform::json::parse("null", true).isValid());
    // The wrapping used for fragments must not turn two values into one answer.
    EXPECT_FALSE(platform::json::parse("1],[2", true).isValid());
    EXPECT_FALSE(platform::json::parse("1,2", true).isValid());
    EXPECT_FALSE(platform::json::parse("<html>Bad gateway</html>", true).isValid());
    EXPECT_FALSE(platform::json::parse("", true).isValid());

    const QVariantMap withNull = platform::json::parse(R"({"n":null,"s":"x"})", false).toMap();
    EXPECT_TRUE(withNull.contains("n"));
    EXPECT_TRUE(platform::json::isNull(withNull.value("n")));
    EXPECT_TRUE(platform::json::isNull(withNull.value("absent")));
    EXPECT_FALSE(platform::json::isNull(withNull.value("s")));
}

TEST(Json, SerializationHelpers)
{
    EXPECT_FALSE(PLRJSONSerialization::JSONObjectWithData(QByteArray()).isValid());
    platform::Error error;
    EXPECT_FALSE(PLRJSONSerialization::JSONObjectWithData("{", 0, &error).isValid());
    EXPECT_TRUE(error.isValid());
    EXPECT_EQ(PLRJSONSerialization::JSONObjectWithData("true", PLRJSONSerialization::FragmentsAllowed).toBool(), true);

    const QByteArray pretty = PLRJSONSerialization::dataWithJSONObject(QVariantMap{{"a", 1}}, PLRJSONSerialization::PrettyPrinted);
    EXPECT_TRUE(pretty.contains('\n'));
    EXPECT_EQ(platform::jsonText({{"a", 1}, {"b", "x"}}), R"({"a":1,"b":"x"})");
    EXPECT_EQ(platform::json::write(QString("x"), false), "\"x\"");
}

TEST(Helpers, ChunkAndGmtZoneDate)
{
    const QList<int> list{1, 2, 3, 4, 5};
    const auto chunks = platform::chunk(list, 2);
    ASSERT_EQ(chunks.size(), 3);
    EXPECT_EQ(chunks[0], (QList<int>{1, 2}));
    EXPECT_EQ(chunks[2], (QList<int>{5}));
    EXPECT_TRUE(platform::chunk(list, 0).isEmpty());
    EXPECT_EQ(platform::chunk(list, 9).size(), 1);
    EXPECT_TRUE(platform::chunk(QList<int>{}, 3).isEmpty());

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const int offset = QTimeZone::systemTimeZone().offsetFromUtc(now);
    EXPECT_EQ(now.secsTo(platform::gmtZoneDate(now)), -offset);
}

TEST(Plist, RoundTripsEveryKindAndReadsBinaryLists)
{
    const QDateTime date = QDateTime(QDate(2026, 12, 7), QTime(10, 30, 15), Qt::UTC);
    const QVariantMap value{
        {"string", "Trip to Bergen – ø"}, {"int", 42}, {"negative", -3}, {"real", 2.5}, {"yes", true},
        {"no", false}, {"date", date}, {"data", QByteArray("\x00\x01\xff", 3)},
        {"list", QVariantList{"a", 1, QVariantMap{{"nested", "x"}}}}, {"empty", QVariantMap()},
    };
    const QString path = testing_support::testHome() + "/info.plist";
    platform::Error error;
    ASSERT_TRUE(platform::plist::writeFile(path, value, &error)) << error.toString().toStdString();
    bool ok = false;
    const QVariantMap read = platform::plist::readDictionary(path, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(read.value("string").toString(), value.value("string").toString());
    EXPECT_EQ(read.value("int").toLongLong(), 42);
    EXPECT_EQ(read.value("negative").toLongLong(), -3);
    EXPECT_DOUBLE_EQ(read.value("real").toDouble(), 2.5);
    EXPECT_TRUE(read.value("yes").toBool());
    EXPECT_FALSE(read.value("no").toBool());
    EXPECT_EQ(read.value("date").toDateTime(), date);
    EXPECT_EQ(read.value("data").toByteArray(), QByteArray("\x00\x01\xff", 3));
    EXPECT_EQ(read.value("list").toList().at(2).toMap().value("nested").toString(), "x");
    EXPECT_TRUE(read.value("empty").toMap().isEmpty());
    // Text XML cannot hold is never written: the file would not be read back.
    EXPECT_FALSE(platform::plist::writeFile(path, QVariantMap{{"name", "a\x01b"}}, &error));
    EXPECT_TRUE(platform::plist::readDictionary(path, &ok).contains("string"));

    // A binary property list: bplist00 with a one-entry dictionary {"a": 1}.
    const QByteArray binary = QByteArray::fromHex(
        "62706c6973743030d1010251611001080b0d0000000000000101"
        "00000000000000030000000000000000000000000000000f");
    EXPECT_EQ(platform::plist::fromData(binary).toMap().value("a").toInt(), 1);
}

TEST(Plist, CorruptFilesGiveAnErrorAndStayUntouched)
{
    const QString path = testing_support::testHome() + "/bad.plist";
    const QByteArray garbage = "<?xml version=\"1.0\"?><plist><dict><key>a</key><string>unterminated";
    ASSERT_TRUE(platform::files::writeAtomically(path, garbage));
    platform::Error error;
    bool ok = true;
    EXPECT_TRUE(platform::plist::readDictionary(path, &ok, &error).isEmpty());
    EXPECT_FALSE(ok);
    EXPECT_TRUE(error.isValid());
    QByteArray after;
    ASSERT_TRUE(platform::files::readAll(path, &after));
    EXPECT_EQ(after, garbage);

    for (const QByteArray& bad : {QByteArray(), QByteArray("bplist00"), QByteArray("\xff\xfe\x00garbage", 10),
                                  QByteArray("[1, 2]")}) {
        EXPECT_FALSE(platform::plist::fromData(bad).toMap().contains("a"));
    }
    ok = true;
    platform::plist::readDictionary(testing_support::testHome() + "/missing.plist", &ok, &error);
    EXPECT_FALSE(ok);
}

TEST(Files, StagedWritesAppearOnlyWhenCommittedAndCanKeepTheOldCopyAside)
{
    const QString dir = testing_support::testHome() + "/staged";
    QDir().mkpath(dir);
    const QString path = dir + "/info.plist";
    ASSERT_TRUE(platform::files::writeAtomically(path, "old"));

    // The same bytes: nothing is staged.
    platform::files::StagedFile same;
    ASSERT_TRUE(platform::files::stageWrite(path, "old", &same, false));
    EXPECT_FALSE(same.isStaged());

    // New bytes: the target keeps the old ones until the commit.
    platform::files::StagedFile staged;
    ASSERT_TRUE(platform::files::stageWrite(path, "new bytes", &staged, false));
    ASSERT_TRUE(staged.isStaged());
    EXPECT_TRUE(platform::files::isLeftoverTemporary(QFileInfo(staged.temporary).fileName(), "info.plist"));
    QByteArray bytes;
    ASSERT_TRUE(platform::files::readAll(path, &bytes));
    EXPECT_EQ(bytes, "old");

    QString aside;
    ASSERT_TRUE(platform::files::commitStaged(staged, nullptr, &aside));
    ASSERT_TRUE(platform::files::readAll(path, &bytes));
    EXPECT_EQ(bytes, "new bytes");
    // The old copy under a name a later load removes.
    ASSERT_FALSE(aside.isEmpty());
    EXPECT_TRUE(platform::files::isLeftoverTemporary(QFileInfo(aside).fileName(), "info.plist"));
    ASSERT_TRUE(platform::files::readAll(aside, &bytes));
    EXPECT_EQ(bytes, "old");

    QFile::remove(aside);
    const QString moved = platform::files::renameAside(path);
    EXPECT_TRUE(platform::files::isLeftoverTemporary(QFileInfo(moved).fileName(), "info.plist"));
    EXPECT_EQ(platform::files::kindOf(path), platform::files::Kind::Missing);
    ASSERT_TRUE(QFile::rename(moved, path));

    // A discarded staging leaves nothing behind; a folder in the target's place is refused.
    platform::files::StagedFile dropped;
    ASSERT_TRUE(platform::files::stageWrite(path, "never", &dropped, true));
    platform::files::discardStaged(dropped);
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"info.plist"});
    QDir().mkpath(dir + "/folder");
    platform::Error error;
    EXPECT_FALSE(platform::files::stageWrite(dir + "/folder", "x", &dropped, false, &error));
    EXPECT_TRUE(error.isValid());
    EXPECT_TRUE(platform::files::syncFileSystemsOf({dir}));
    EXPECT_TRUE(platform::files::syncFolder(dir));
}

TEST(Files, AtomicWriteReplacesWholeOrNothing)
{
    const QString dir = testing_support::testHome() + "/atomic";
    QDir().mkpath(dir);
    const QString path = dir + "/layout";
    ASSERT_TRUE(platform::files::writeAtomically(path, "first"));
    ASSERT_TRUE(platform::files::writeAtomically(path, "second version"));
    QByteArray bytes;
    ASSERT_TRUE(platform::files::readAll(path, &bytes));
    EXPECT_EQ(bytes, "second version");
    EXPECT_EQ(QDir(dir).entryList(QDir::Files), QStringList{"layout"});   // no temporary left

    platform::Error error;
    EXPECT_FALSE(platform::files::writeAtomically(dir + "/no/such/folder/file", "x", &error));
    EXPECT_TRUE(error.isValid());
}

#include "HostilePlists.h"

#include "platform/Alert.h"
#include "platform/Files.h"
#include "platform/Plist.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <functional>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool makeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

} // namespace

TEST(HostileFiles, PlistsNestedTooDeeplyOrMultiplyingAreRefusedBeforeParsing)
{
    platform::Error error;
    // Deep enough to overflow the parser's stack if it ever saw them.
    EXPECT_FALSE(platform::plist::fromData(hostile::deepXmlPlist(200000), &error).isValid());
    EXPECT_TRUE(error.isValid());
    EXPECT_FALSE(platform::plist::fromData(hostile::binaryArrayChain(120000, 1), &error).isValid());
    // 16^9 values once every shared array is copied out.
    EXPECT_FALSE(platform::plist::fromData(hostile::binaryArrayChain(9, 16), &error).isValid());
    // A cycle: the one array holds itself.
    QByteArray cycle = hostile::binaryArrayChain(1, 1);
    cycle[9 + 3] = 0;   // the reference to object 1 now names object 0
    EXPECT_FALSE(platform::plist::fromData(cycle, &error).isValid());

    // Ordinary nesting still reads, binary and XML.
    const QVariant shallow = platform::plist::fromData(hostile::binaryArrayChain(16, 2));
    ASSERT_TRUE(shallow.isValid());
    EXPECT_EQ(shallow.toList().size(), 2);
    EXPECT_TRUE(platform::plist::fromData(hostile::deepXmlPlist(100)).isValid());
    const QByteArray xml = platform::plist::toXml(QVariantMap{{"a", QVariantList{QVariantMap{{"b", 1}}}}});
    EXPECT_EQ(platform::plist::fromData(xml).toMap().value("a").toList().value(0).toMap().value("b").toLongLong(), 1);
}

// The nesting limit at its edge: as deep as allowed reads, one level deeper is refused, for
// arrays and dictionaries, in XML and in binary.
TEST(HostileFiles, PlistNestingIsReadUpToTheLimitAndRefusedOneLevelPast)
{
    constexpr int limit = platform::plist::kMaxNestingDepth;
    auto deepDictionaries = [](int depth) {
        QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">";
        for (int i = 0; i < depth; ++i)
            bytes += i + 1 < depth ? "<dict><key>k</key>" : "<dict>";
        for (int i = 0; i < depth; ++i)
            bytes += "</dict>";
        return bytes + "</plist>\n";
    };
    // The depth of what was read (arrays or dictionaries, first member all the way down).
    auto depthOf = [](QVariant value) {
        int depth = 0;
        while (value.typeId() == QMetaType::QVariantList || value.typeId() == QMetaType::QVariantMap) {
            ++depth;
            value = value.typeId() == QMetaType::QVariantList ? value.toList().value(0) : value.toMap().value("k");
        }
        return depth;
    };
    for (const auto& [kind, make] : {std::pair<const char*, std::function<QByteArray(int)>>{"XML arrays", hostile::deepXmlPlist},
                                     {"XML dictionaries", deepDictionaries},
                                     // binaryArrayChain(n, 1) nests n + 1 arrays.
                                     {"binary arrays", [](int depth) { return hostile::binaryArrayChain(depth - 1, 1); }}}) {
        SCOPED_TRACE(kind);
        platform::Error error;
        const QVariant atLimit = platform::plist::fromData(make(limit), &error);
        ASSERT_TRUE(atLimit.isValid()) << error.localizedDescription().toStdString();
        EXPECT_EQ(depthOf(atLimit), limit);
        error = platform::Error();
        EXPECT_FALSE(platform::plist::fromData(make(limit + 1), &error).isValid());
        EXPECT_TRUE(error.isValid());
    }
}

TEST(HostileFiles, ReadsOnlyRegularFilesAndNeverThroughALink)
{
    QTemporaryDir dir;
    const QString outside = dir.filePath("outside.txt");
    ASSERT_TRUE(platform::files::writeAtomically(outside, "outside"));
    QByteArray bytes;
    platform::Error error;
    EXPECT_TRUE(platform::files::readAll(outside, &bytes, &error));
    EXPECT_EQ(bytes, "outside");

    const QString link = dir.filePath("link.plist");
    ASSERT_TRUE(makeLink(outside, link));
    EXPECT_FALSE(platform::files::readAll(link, &bytes, &error));
    EXPECT_EQ(platform::files::kindOf(link), platform::files::Kind::SymbolicLink);

    // A FIFO would block the open and the read; a device would never end.
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_FALSE(platform::files::readAll(fifo, &bytes, &error));
    EXPECT_EQ(platform::files::kindOf(fifo), platform::files::Kind::Other);
    const QString zero = dir.filePath("zero");
    ASSERT_TRUE(makeLink("/dev/zero", zero));
    EXPECT_FALSE(platform::files::readAll(zero, &bytes, &error));
    EXPECT_FALSE(platform::files::readAll("/dev/zero", &bytes, &error));
    EXPECT_FALSE(platform::files::readAll(dir.path(), &bytes, &error));
    EXPECT_FALSE(platform::plist::readFile(fifo, &error).isValid());

    // Larger than the limit.
    EXPECT_FALSE(platform::files::readAll(outside, &bytes, &error, 3));
}

TEST(HostileFiles, WritesReplaceALinkInsteadOfWritingThroughIt)
{
    QTemporaryDir dir;
    const QString outside = dir.filePath("outside.txt");
    ASSERT_TRUE(platform::files::writeAtomically(outside, "precious"));
    const QString link = dir.filePath("info.plist");
    ASSERT_TRUE(makeLink(outside, link));
    ASSERT_TRUE(platform::files::writeAtomically(link, "new"));
    EXPECT_EQ(fileBytes(outside), "precious");
    EXPECT_EQ(platform::files::kindOf(link), platform::files::Kind::Regular);
    EXPECT_EQ(fileBytes(link), "new");

    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    platform::Error error;
    EXPECT_FALSE(platform::files::writeAtomically(fifo, "x", &error));
    EXPECT_EQ(platform::files::kindOf(fifo), platform::files::Kind::Other);

    // A replaced file keeps its mode.
    ASSERT_TRUE(QFile::setPermissions(outside, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    ASSERT_TRUE(platform::files::writeAtomically(outside, "again"));
    const QFileDevice::Permissions mode = QFile::permissions(outside);
    EXPECT_TRUE(mode.testFlag(QFileDevice::WriteOwner));
    EXPECT_FALSE(mode.testFlag(QFileDevice::ReadGroup) || mode.testFlag(QFileDevice::ReadOther));
    // Nothing temporary is left behind.
    for (const QString& name : QDir(dir.path()).entryList(QDir::Files))
        EXPECT_FALSE(platform::files::isLeftoverTemporary(name, "outside.txt")) << name.toStdString();

    EXPECT_TRUE(platform::files::isLeftoverTemporary("layout.aB3dE9", "layout"));
    EXPECT_FALSE(platform::files::isLeftoverTemporary("layout.aB3dE", "layout"));
    EXPECT_FALSE(platform::files::isLeftoverTemporary("layout.a-3dE9", "layout"));
    EXPECT_FALSE(platform::files::isLeftoverTemporary("layouts.aB3dE9", "layout"));
}

TEST(HostileFiles, AnAlertClosedWithoutAClickAnswersCancel)
{
    platform::QtAlertPresenter presenter;
    const auto closeWith = [&](const QStringList& buttons, const std::function<void(QWidget*)>& close, bool destructive = false,
                               int escapeButton = -1) {
        QTimer::singleShot(0, [close] {
            QWidget* box = QApplication::activeModalWidget();
            for (QWidget* widget : QApplication::topLevelWidgets())
                if (auto* message = qobject_cast<QMessageBox*>(widget); message && message->isVisible())
                    box = message;
            if (box)
                close(box);
        });
        platform::Alert alert;
        alert.messageText = QStringLiteral("Delete Blog?");
        alert.buttons = buttons;
        alert.destructive = destructive;
        alert.escapeButton = escapeButton;
        return presenter.runModal(alert, nullptr).response;
    };
    const auto byClose = [](QWidget* box) { box->close(); };
    const auto byEscape = [](QWidget* box) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &press);
    };
    const auto byQuit = [](QWidget* box) { static_cast<QDialog*>(box)->reject(); };
    EXPECT_EQ(closeWith({"Delete", "Cancel"}, byClose), platform::kAlertSecondButtonReturn);
    EXPECT_EQ(closeWith({"Delete", "Cancel"}, byEscape), platform::kAlertSecondButtonReturn);
    EXPECT_EQ(closeWith({"Replace", "Keep", "Decide later"}, byQuit), platform::kAlertThirdButtonReturn);
    EXPECT_EQ(closeWith({"Cancel", "Delete"}, byClose), platform::kAlertFirstButtonReturn);
    EXPECT_EQ(closeWith({}, byClose), platform::kAlertFirstButtonReturn);
    EXPECT_EQ(platform::alertCancelButtonIndex({"Proceed", "cancel "}), 1);
    // A last button that opens a page is never answered for the user: the alert names the one
    // a close answers.
    for (const std::function<void(QWidget*)>& close : {std::function<void(QWidget*)>(byClose), std::function<void(QWidget*)>(byEscape), std::function<void(QWidget*)>(byQuit)}) {
        EXPECT_EQ(closeWith({"OK", "Why do I keep seeing this?"}, close, false, 0), platform::kAlertFirstButtonReturn);
        EXPECT_EQ(closeWith({"Yes", "No", "Learn More"}, close, false, 1), platform::kAlertSecondButtonReturn);
    }

    // Return takes the first button, except where it destroys something: there it answers No.
    const auto byReturn = [](QWidget* box) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QApplication::sendEvent(box->focusWidget() ? box->focusWidget() : box, &press);
    };
    EXPECT_EQ(closeWith({"Save", "Cancel"}, byReturn), platform::kAlertFirstButtonReturn);
    EXPECT_EQ(closeWith({"Yes", "No"}, byReturn, true), platform::kAlertSecondButtonReturn);
}

namespace {

// `depth` nested arrays, each opening written as `open` (which must still open an array for an
// XML reader) and closed by </array>, after a document type `doctype`.
QByteArray nestedXmlPlist(const QByteArray& doctype, const QByteArray& open, int depth)
{
    QByteArray bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + doctype + "<plist version=\"1.0\">";
    bytes.reserve(bytes.size() + depth * (open.size() + 8) + 16);
    for (int i = 0; i < depth; ++i)
        bytes += open;
    for (int i = 0; i < depth; ++i)
        bytes += "</array>";
    return bytes + "</plist>\n";
}

} // namespace

TEST(HostileFiles, XmlPlistNestingIsCountedAsTheReaderSeesItWhateverHidesIt)
{
    // Markup that a scan for "<" and ">" miscounts: "/>" inside an attribute value makes an
    // opening look self-closed; closing tags inside an entity value of the document type
    // count as levels closed before any was opened.
    const int deep = 300000;   // enough to overflow any parser that recursed per level
    QByteArray closers = "<!DOCTYPE plist [<!ENTITY e \"";
    for (int i = 0; i < deep; ++i)
        closers += "</x>";
    closers += "\">]>";
    const QList<std::pair<QByteArray, QByteArray>> hidden = {
        {"", "<array a=\"/>\">"},
        {"", "<array\n\tb='x' a=\"/>\">"},
        {closers, "<array>"},
    };
    for (const auto& [doctype, open] : hidden) {
        SCOPED_TRACE(open.toStdString());
        platform::Error error;
        EXPECT_FALSE(platform::plist::fromData(nestedXmlPlist(doctype, open, deep), &error).isValid());
        EXPECT_TRUE(error.localizedDescription().contains("nested deeper")) << error.localizedDescription().toStdString();
        // Within the bound the same markup reads, as nested lists.
        QVariant value = platform::plist::fromData(nestedXmlPlist(doctype, open, 200), &error);
        ASSERT_TRUE(value.isValid()) << error.localizedDescription().toStdString();
        int depth = 0;
        while (value.typeId() == QMetaType::QVariantList && !value.toList().isEmpty()) {
            value = value.toList().first();
            ++depth;
        }
        EXPECT_EQ(depth, 199);
    }
    // Dictionaries count the same way.
    QByteArray dicts = "<plist>";
    for (int i = 0; i < 100000; ++i)
        dicts += "<dict><key>k</key>";
    dicts += "<true/>";
    for (int i = 0; i < 100000; ++i)
        dicts += "</dict>";
    EXPECT_FALSE(platform::plist::fromData(dicts + "</plist>").isValid());
}

TEST(HostileFiles, XmlPlistsReadBackWhatTheWriterWroteAndRefuseWhatIsNotOne)
{
    const QVariantMap written{
        {"string", QString::fromUtf8("caf\xC3\xA9 <&> \"quoted\" \xF0\x9F\x93\xB7")},
        {"empty", QString()},
        {"negative", qint64(-42)},
        {"large", qint64(9007199254740993LL)},
        {"real", 2.5},
        {"yes", true},
        {"no", false},
        {"date", QDateTime(QDate(2024, 3, 1), QTime(12, 30, 5), Qt::UTC)},
        {"data", QByteArray("\x00\x01\xFFpicture", 10)},
        {"list", QVariantList{1, QVariantMap{{"inner", QVariantList{}}}, QVariantMap{}}},
    };
    platform::Error error;
    const QByteArray xml = platform::plist::toXml(written, &error);
    ASSERT_FALSE(xml.isEmpty());
    const QVariantMap read = platform::plist::fromData(xml, &error).toMap();
    ASSERT_FALSE(read.isEmpty()) << error.localizedDescription().toStdString();
    EXPECT_EQ(read.value("string").toString(), written.value("string").toString());
    EXPECT_EQ(read.value("empty").toString(), "");
    EXPECT_EQ(read.value("negative").toLongLong(), -42);
    EXPECT_EQ(read.value("large").toLongLong(), 9007199254740993LL);
    EXPECT_DOUBLE_EQ(read.value("real").toDouble(), 2.5);
    EXPECT_EQ(read.value("yes").typeId(), QMetaType::Bool);
    EXPECT_TRUE(read.value("yes").toBool());
    EXPECT_FALSE(read.value("no").toBool());
    EXPECT_EQ(read.value("date").toDateTime(), written.value("date").toDateTime());
    EXPECT_EQ(read.value("data").toByteArray(), written.value("data").toByteArray());
    const QVariantList list = read.value("list").toList();
    ASSERT_EQ(list.size(), 3);
    EXPECT_EQ(list.at(0).toLongLong(), 1);
    EXPECT_TRUE(list.at(1).toMap().value("inner").toList().isEmpty());

    // Not a property list, or a broken one: an error, never a value.
    const QList<QByteArray> broken = {
        "<plist><dict><key>a</key></dict></plist>",                 // a key without a value
        "<plist><dict><string>a</string></dict></plist>",           // a value without a key
        "<plist><array><key>a</key></array></plist>",               // a key in an array
        "<plist><integer>12x</integer></plist>",
        "<plist><date>yesterday</date></plist>",
        "<plist><data>*not base64*</data></plist>",
        "<plist><string>a<b/></string></plist>",                    // markup inside a string
        "<plist><script>x</script></plist>",
        "<plist><string>a</string><string>b</string></plist>",      // two values at the top
        "<plist>text</plist>",
        "<plist></plist>",
        "<plist><array></plist>",
    };
    for (const QByteArray& bytes : broken) {
        SCOPED_TRACE(bytes.toStdString());
        platform::Error failure;
        EXPECT_FALSE(platform::plist::fromData(bytes, &failure).isValid());
        EXPECT_TRUE(failure.isValid());
    }
}

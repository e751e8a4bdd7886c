// A post file opened with a later start of the application while one already runs, as a user
// double-clicking it has it: the later start hands the file over and ends, the running one
// imports it and says so in an alert, and the user closes that alert with the keyboard. The
// running application must live on: the later start's connection ends while the alert is up.

#include "DevService.h"
#include "LaunchedApplication.h"
#include "TestSupport.h"

#include "platform/Plist.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QUuid>

#include <zip.h>

using namespace testing_support;

namespace {

bool addEntry(zip_t* archive, const QString& name, const QByteArray& content)
{
    // The archive frees its copy of the bytes (there are none to copy for an empty entry).
    void* bytes = content.isEmpty() ? nullptr : malloc(size_t(content.size()));
    if (bytes)
        memcpy(bytes, content.constData(), size_t(content.size()));
    zip_source_t* source = zip_source_buffer(archive, bytes, zip_uint64_t(content.size()), bytes ? 1 : 0);
    if (!source) {
        free(bytes);
        return false;
    }
    if (zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
        zip_source_free(source);
        return false;
    }
    return true;
}

// A post file holding one post of that name with an empty layout.
bool writePostFile(const QString& path, const QString& postName)
{
    const QString identifier = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    const QString root = identifier + QStringLiteral(".plrpost/");
    const QByteArray info = platform::plist::toXml(
        QVariantMap{{QStringLiteral("name"), postName}, {QStringLiteral("identifier"), identifier}});
    int code = 0;
    zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!archive)
        return false;
    const bool ok = zip_dir_add(archive, root.toUtf8().constData(), ZIP_FL_ENC_UTF_8) >= 0 && !info.isEmpty()
                    && addEntry(archive, root + QStringLiteral("info.plist"), info)
                    && addEntry(archive, root + QStringLiteral("layout"), QByteArray());
    if (!ok) {
        zip_discard(archive);
        return false;
    }
    return zip_close(archive) == 0;
}

// The names of the posts in the store under the home.
QStringList postsIn(const QString& home)
{
    QStringList names;
    QDirIterator it(home + QStringLiteral("/data"), {QStringLiteral("info.plist")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString info = it.next();
        if (!QFileInfo(info).absolutePath().endsWith(QLatin1String(".plrpost")))
            continue;
        bool ok = false;
        names << platform::plist::readDictionary(info, &ok).value(QStringLiteral("name")).toString();
    }
    return names;
}

} // namespace

TEST(HandOverLaunch, APostFileOpenedWithALaterStartIsImportedAndClosingItsAlertLeavesTheApplicationRunning)
{
    DevService service;
    ASSERT_TRUE(service.start());
    VirtualScreen screen;
    ASSERT_TRUE(screen.start());
    LaunchedApplication app(screen, service.port());
    ASSERT_TRUE(app.start());
    ASSERT_TRUE(app.signIn(kLaunchTimeoutMs)) << app.output().toStdString();
    // Signed in (the account is there to import into), and the chat has taken its corner (the
    // window is built anew for it): from here on the windows stay.
    ASSERT_TRUE(pollUntil([&] { return app.hasLogged("'Web_Service_User_Session' moving from FETCHING_INFO to IDLE"); },
                          kLaunchTimeoutMs))
        << app.output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return app.hasLogged("The support chat is loaded and listens for messages"); }, kLaunchTimeoutMs))
        << app.output().toStdString();
    ASSERT_TRUE(pollUntil([&] { return !app.mainWindow().isEmpty(); }, kLaunchTimeoutMs));
    EXPECT_TRUE(postsIn(app.home()).isEmpty());

    const QString file = app.home() + QStringLiteral("/Lisbon.ppost");
    ASSERT_TRUE(writePostFile(file, QStringLiteral("Lisbon")));
    const QStringList before = app.windows();
    QString handing;
    ASSERT_EQ(app.runAnotherStart({file}, kLaunchTimeoutMs, &handing), 0) << handing.toStdString();
    EXPECT_TRUE(handing.contains(QLatin1String("Handed 1 item(s) to the running Pellora"))) << handing.toStdString();

    // The alert that tells of the import (a dialog of the application's name; the progress has
    // a name of its own), up after the later start has ended.
    QString alert;
    ASSERT_TRUE(pollUntil(
        [&] {
            for (const QString& window : app.windows())
                if (!before.contains(window) && app.isDialog(window) && app.windowName(window) == QLatin1String("Pellora"))
                    alert = window;
            return !alert.isEmpty() || !app.isRunning();
        },
        kLaunchTimeoutMs))
        << app.output().toStdString();
    ASSERT_TRUE(app.isRunning()) << app.output().toStdString();
    // Imported under a name of its own ("Lisbon import").
    const QStringList posts = postsIn(app.home());
    ASSERT_EQ(posts.size(), 1) << app.output().toStdString();
    EXPECT_TRUE(posts.first().startsWith(QLatin1String("Lisbon"))) << posts.first().toStdString();

    ASSERT_TRUE(app.keyTo(alert, QStringLiteral("Return")));
    ASSERT_TRUE(pollUntil([&] { return !app.windows().contains(alert) || !app.isRunning(); }, kLaunchTimeoutMs));
    // It lives on, its window there and answering.
    EXPECT_TRUE(testing_support::holdsFor([&] { return app.isRunning(); }, 3000)) << app.output().toStdString();
    EXPECT_FALSE(app.mainWindow().isEmpty());
    EXPECT_FALSE(app.screenshot().isNull());
    EXPECT_EQ(app.terminate(), 0) << app.output().toStdString();
}

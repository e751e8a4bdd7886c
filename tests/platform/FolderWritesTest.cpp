// Writing files in a folder opened once: a file written whole (or atomically) replaces what has
// its name keeping that file's mode, never writes through a link, and leaves nothing else behind;
// what a killed writer left is removed, and nothing of the user's that is merely named alike.

#include "platform/Files.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool write(const QString& path, const QByteArray& bytes, mode_t mode)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

mode_t modeOf(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : mode_t(-1);
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

TEST(FolderWrites, AFileReplacedKeepsItsModeAndALinkInItsPlaceIsReplacedNotFollowed)
{
    using Writer = bool (platform::files::Directory::*)(const QString&, const QByteArray&, platform::Error*) const;
    for (const auto& [name, writer] : {std::pair<const char*, Writer>{"whole", &platform::files::Directory::writeFileWhole},
                                       std::pair<const char*, Writer>{"atomically", &platform::files::Directory::writeFileAtomically}}) {
        SCOPED_TRACE(name);
        QTemporaryDir dir;
        QTemporaryDir outside;
        platform::files::Directory folder;
        ASSERT_TRUE(folder.open(dir.path()));
        const auto put = [&](const QString& file, const QByteArray& bytes, platform::Error* error = nullptr) {
            return (folder.*writer)(file, bytes, error);
        };
        if (writer == &platform::files::Directory::writeFileWhole) {
            // This file system has nameless files: the whole-file way is the one tested.
            const int probe = folder.createUnnamedFile();
            ASSERT_GE(probe, 0);
            ::close(probe);
        }

        // A new file is 0644, whatever the process's mask.
        const mode_t mask = ::umask(077);
        const bool made = put("new.jpg", "one");
        ::umask(mask);
        ASSERT_TRUE(made);
        EXPECT_EQ(modeOf(dir.filePath("new.jpg")), 0644);

        // One that is replaced keeps the mode it has.
        ASSERT_EQ(::chmod(QFile::encodeName(dir.filePath("new.jpg")).constData(), 0640), 0);
        ASSERT_TRUE(put("new.jpg", "two"));
        EXPECT_EQ(bytesOf(dir.filePath("new.jpg")), "two");
        EXPECT_EQ(modeOf(dir.filePath("new.jpg")), 0640);

        // A link in the file's place is replaced; what it points at is left as it is.
        const QString secret = outside.filePath("secret");
        ASSERT_TRUE(write(secret, "keep", 0600));
        ASSERT_EQ(::symlink(QFile::encodeName(secret).constData(), QFile::encodeName(dir.filePath("link.jpg")).constData()), 0);
        ASSERT_TRUE(put("link.jpg", "three"));
        EXPECT_EQ(platform::files::kindOf(dir.filePath("link.jpg")), platform::files::Kind::Regular);
        EXPECT_EQ(bytesOf(dir.filePath("link.jpg")), "three");
        EXPECT_EQ(bytesOf(secret), "keep");
        EXPECT_EQ(modeOf(secret), 0600);

        // A folder in its place is refused, and not a name can climb out of the folder.
        ASSERT_TRUE(QDir(dir.path()).mkdir("folder.jpg"));
        platform::Error error;
        EXPECT_FALSE(put("folder.jpg", "four", &error));
        EXPECT_TRUE(error.isValid());
        EXPECT_FALSE(put("../climb.jpg", "five"));
        EXPECT_FALSE(QFileInfo::exists(QFileInfo(dir.path()).dir().filePath("climb.jpg")));

        // Nothing else is left in the folder.
        EXPECT_EQ(entriesOf(dir.path()).join(' '), "folder.jpg link.jpg new.jpg");
    }
}

TEST(FolderWrites, OnlyTheTemporariesAKilledWriterLeavesAreRemoved)
{
    QTemporaryDir dir;
    QTemporaryDir outside;
    platform::files::Directory folder;
    ASSERT_TRUE(folder.open(dir.path()));
    const auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    ASSERT_TRUE(write(at("new.jpg"), "the file", 0644));
    // A writer's temporary: named after the file, regular, ours, 0600 while incomplete.
    ASSERT_TRUE(write(at("new.jpg.Ab12Cd"), "half", 0600));
    // Named alike but the user's: another mode, another name asked for, not the shape (three
    // letters), a link.
    ASSERT_TRUE(write(at("new.jpg.Xy34Zw"), "a photo of the user's", 0644));
    ASSERT_TRUE(write(at("other.jpg.Ab12Cd"), "half of another", 0600));
    ASSERT_TRUE(write(at("new.jpg.bak"), "a backup", 0600));
    ASSERT_TRUE(write(outside.filePath("target"), "outside", 0600));
    ASSERT_EQ(::symlink(QFile::encodeName(outside.filePath("target")).constData(), QFile::encodeName(at("new.jpg.Ln56Kk")).constData()), 0);
    QStringList kept = {"new.jpg", "new.jpg.Ln56Kk", "new.jpg.Xy34Zw", "new.jpg.bak", "other.jpg.Ab12Cd"};
    // Another user's file of that shape and mode (only root can make one here).
    if (::geteuid() == 0) {
        ASSERT_TRUE(write(at("new.jpg.Qq78Rr"), "someone else's", 0600));
        ASSERT_EQ(::chown(QFile::encodeName(at("new.jpg.Qq78Rr")).constData(), 4242, 4242), 0);
        kept.append("new.jpg.Qq78Rr");
    }

    EXPECT_EQ(folder.removeLeftoversOf({QStringLiteral("new.jpg")}), 1);
    kept.sort();
    EXPECT_EQ(entriesOf(dir.path()).join(' '), kept.join(' '));
    EXPECT_EQ(bytesOf(outside.filePath("target")), "outside");
    EXPECT_EQ(folder.removeLeftoversOf({QStringLiteral("new.jpg")}), 0);
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: items moved to a freedesktop.org Trash in a temporary home, and restored from it.
#include "platform/Trash.h"
#include "support/BindMount.h"
#include "support/SmallDisk.h"
#include "support/TrashCli.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Write(const QString &path, const QByteArray &data = "x")
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QMap<QString, QString> ReadInfo(const QString &infoPath)
{
    QMap<QString, QString> keys;
    QFile f(infoPath);
    if (!f.open(QIODevice::ReadOnly))
        return keys;
    const QList<QByteArray> lines = f.readAll().split('\n');
    keys["header"] = QString::fromLatin1(lines.value(0));
    for (const QByteArray &line : lines) {
        const int eq = line.indexOf('=');
        if (eq > 0)
            keys[QString::fromLatin1(line.left(eq))] = QString::fromLatin1(line.mid(eq + 1));
    }
    return keys;
}

// What a desktop's trash window does on "Restore": read Path= and move files/<name> back. A
// relative Path= is from the folder that holds the trash ($topdir, for $topdir/.Trash/$uid too).
bool Restore(const QString &trash, const QString &name)
{
    const QMap<QString, QString> info = ReadInfo(trash + "/info/" + name + ".trashinfo");
    QString original = QFile::decodeName(QByteArray::fromPercentEncoding(info.value("Path").toLatin1()));
    if (!original.isEmpty() && !original.startsWith('/')) {
        QDir top(trash);
        top.cdUp();
        if (top.dirName() == ".Trash")
            top.cdUp();
        original = top.filePath(original);
    }
    if (original.isEmpty() || !QFile::rename(trash + "/files/" + name, original))
        return false;
    return QFile::remove(trash + "/info/" + name + ".trashinfo");
}

class TrashTest : public ::testing::Test
{
protected:
    QTemporaryDir Temp;
    QString Home() const { return Temp.path() + "/data/Trash"; }
    QString Work() const { return Temp.path() + "/work"; }
};

TEST_F(TrashTest, FilesGetInfoAndCanBeRestored)
{
    const struct { const char *name, *relative; } cases[] = {
        {"plain file", "a.tmp"},
        {"dotfile", ".hidden"},
        {"no extension", "README"},
        {"blanks and percent", "my 100% file.bak"},
        {"non-ASCII", "päivä ö.txt"},
    };
    const TTrash trash(Home());
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = Work() + "/" + QString::fromUtf8(c.relative);
        Write(path, c.name);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
        QString error;
        ASSERT_TRUE(trash.MoveToTrash(path, &error)) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path));
        const QString name = QFileInfo(path).fileName();
        ASSERT_TRUE(QFileInfo::exists(Home() + "/files/" + name));
        const QMap<QString, QString> info = ReadInfo(Home() + "/info/" + name + ".trashinfo");
        EXPECT_EQ(info.value("header"), "[Trash Info]");
        EXPECT_FALSE(info.value("Path").contains(' '));
        const QDateTime when = QDateTime::fromString(info.value("DeletionDate"), "yyyy-MM-ddThh:mm:ss");
        ASSERT_TRUE(when.isValid());
        EXPECT_GE(when, before);
        ASSERT_TRUE(Restore(Home(), name));
        QFile back(path);
        ASSERT_TRUE(back.open(QIODevice::ReadOnly));
        EXPECT_EQ(back.readAll(), QByteArray(c.name));
    }
}

TEST_F(TrashTest, SameNameTwiceGetsTwoSlots)
{
    const TTrash trash(Home());
    Write(Work() + "/one/a.tmp", "1");
    Write(Work() + "/two/a.tmp", "2");
    ASSERT_TRUE(trash.MoveToTrash(Work() + "/one/a.tmp"));
    ASSERT_TRUE(trash.MoveToTrash(Work() + "/two/a.tmp"));
    EXPECT_TRUE(QFileInfo::exists(Home() + "/files/a.tmp"));
    EXPECT_TRUE(QFileInfo::exists(Home() + "/files/a.tmp.2"));
    ASSERT_TRUE(Restore(Home(), "a.tmp.2"));
    QFile back(Work() + "/two/a.tmp");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), "2");
}

// A batch goes in order and stops at the first item that cannot go: those before it are in the
// trash and restore, those after it stay where they were, and no info names an item that stayed.
TEST_F(TrashTest, ABatchStopsAtTheFirstItemThatCannotGo)
{
    const TTrash trash(Home());
    Write(Work() + "/a.tmp", "a");
    Write(Work() + "/one/a.tmp", "same name");
    Write(Work() + "/c.tmp", "c");
    int moved = -1;
    QString error;
    EXPECT_FALSE(trash.MoveToTrash({Work() + "/a.tmp", Work() + "/one/a.tmp", Work() + "/missing.tmp", Work() + "/c.tmp"},
                                   &moved, &error));
    EXPECT_EQ(moved, 2);
    EXPECT_EQ(error, Work() + "/missing.tmp: No such file or directory");
    EXPECT_TRUE(QFileInfo::exists(Work() + "/c.tmp"));
    EXPECT_EQ(QDir(Home() + "/info").entryList(QDir::Files | QDir::Hidden),
              (QStringList{"a.tmp.2.trashinfo", "a.tmp.trashinfo"}));
    ASSERT_TRUE(Restore(Home(), "a.tmp.2"));
    ASSERT_TRUE(Restore(Home(), "a.tmp"));
    QFile back(Work() + "/one/a.tmp");
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), "same name");
}

TEST_F(TrashTest, AnyNumberOfOneNameAndLongNamesFindAFreeSlot)
{
    // Ten thousand items named x already in the trash.
    const TTrash trash(Home());
    ASSERT_TRUE(QDir().mkpath(Home() + "/info"));
    ASSERT_TRUE(QDir().mkpath(Home() + "/files"));
    for (int n = 1; n <= 10000; ++n) {
        const QString name = n == 1 ? QStringLiteral("x") : QStringLiteral("x.%1").arg(n);
        QFile info(Home() + "/info/" + name + ".trashinfo");
        ASSERT_TRUE(info.open(QIODevice::WriteOnly));
    }
    // A name of 250 bytes: with ".trashinfo" it would be too long for a folder entry.
    const QString longName = QString(240, u'l') + QString::fromUtf8("äöü.txt");
    for (const QString &name : {QStringLiteral("x"), longName}) {
        SCOPED_TRACE(name.left(10).toStdString());
        const QString path = Work() + "/" + name;
        Write(path, "new");
        QString error;
        ASSERT_TRUE(trash.MoveToTrash(path, &error)) << error.toStdString();
        const QStringList infos = QDir(Home() + "/info").entryList(QDir::Files | QDir::NoDotAndDotDot);
        QString trashed;
        for (const QString &file : QDir(Home() + "/files").entryList(QDir::Files))
            trashed = file;
        ASSERT_FALSE(trashed.isEmpty());
        EXPECT_TRUE(infos.contains(trashed + ".trashinfo"));
        ASSERT_TRUE(Restore(Home(), trashed));
        EXPECT_TRUE(QFileInfo::exists(path));
    }
}

TEST_F(TrashTest, FolderAndLinkMoveWholeAndLinkTargetStays)
{
    const TTrash trash(Home());
    Write(Work() + "/dir/sub/b.txt");
    Write(Temp.path() + "/outside/keep.txt");
    ASSERT_TRUE(QFile::link(Temp.path() + "/outside", Work() + "/link"));
    ASSERT_TRUE(trash.MoveToTrash(Work() + "/dir"));
    ASSERT_TRUE(trash.MoveToTrash(Work() + "/link"));
    EXPECT_TRUE(QFileInfo::exists(Home() + "/files/dir/sub/b.txt"));
    EXPECT_TRUE(QFileInfo(Home() + "/files/link").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(Temp.path() + "/outside/keep.txt"));
    EXPECT_FALSE(QFileInfo::exists(Work() + "/dir"));
}

TEST_F(TrashTest, RefusesWhatCannotBeTrashed)
{
    const TTrash trash(Home());
    Write(Home() + "/files/x");
    const struct { const char *name; QString path; } cases[] = {
        {"empty", QString()},
        {"relative", "work/a.tmp"},
        {"root", "/"},
        {"missing", Work() + "/nothing"},
        {"inside the trash", Home() + "/files/x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString error;
        EXPECT_FALSE(trash.MoveToTrash(c.path, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_TRUE(QFileInfo::exists(Home() + "/files/x"));
    EXPECT_EQ(QDir(Home() + "/info").entryList(QDir::Files).size(), 0);
}

TEST(TrashOtherFileSystem, GoesToTheTrashAtTheTopOfItsMount)
{
    // A tmpfs of this case's own: a trash shared with other runs (/dev/shm's) would mix their items with ours.
    QTemporaryDir home;
    TestSupport::TSmallDisk other;
    VASKIMO_NEED_DISK(other);
    const QString topTrash = other.Path() + "/.Trash-" + QString::number(::getuid());
    const QString item = other.Path() + "/docs/far.tmp";
    Write(item, "far");
    const TTrash trash(home.path() + "/Trash");
    QString error;
    ASSERT_TRUE(trash.MoveToTrash(item, &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(item));
    EXPECT_FALSE(QFileInfo::exists(home.path() + "/Trash/files/far.tmp"));
    EXPECT_EQ(QDir(topTrash + "/info").entryList(QDir::Files), QStringList{"far.tmp.trashinfo"});
    // Relative to the top of the mount.
    EXPECT_EQ(ReadInfo(topTrash + "/info/far.tmp.trashinfo").value("Path"), "docs/far.tmp");
    EXPECT_TRUE(Restore(topTrash, "far.tmp"));
    EXPECT_TRUE(QFileInfo::exists(item));
}

// A bind mount of the home's own file system is another mount: a rename into the home trash
// would fail, so the item goes to the trash at the top of the bind mount, where trash-cli finds it.
// A shared .Trash there is used only when it is sticky and takes the user's folder; else the
// user's own .Trash-$uid, as trash-cli chooses.
TEST(TrashBindMount, GoesToTheTrashAtTheTopOfTheMountAsTrashCliSeesIt)
{
    VASKIMO_NEED_TRASH_CLI();
    const QString uid = QString::number(::getuid());
    const struct {
        const char *name;
        mode_t shared;       // the mode of a .Trash made at the top; 0: none
        bool uidIsAFile;     // .Trash/$uid is taken by a plain file
        const char *trash;   // where the item lands, below the top
    } cases[] = {
        {"no shared trash", 0, false, ".Trash-"},
        {"a sticky shared trash", 01777, false, ".Trash/"},
        {"a shared trash that is not sticky", 0777, false, ".Trash-"},
        {"a sticky shared trash that cannot take the user's folder", 01777, true, ".Trash-"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString root = QFileInfo(dir.path()).canonicalFilePath();
        TestSupport::TBindMount mount(root + "/data", root + "/mnt");
        VASKIMO_NEED_MOUNT(mount);
        if (c.shared) {
            ASSERT_TRUE(QDir().mkpath(root + "/mnt/.Trash"));
            ASSERT_EQ(::chmod(QFile::encodeName(root + "/mnt/.Trash").constData(), c.shared), 0);
        }
        if (c.uidIsAFile)
            Write(root + "/mnt/.Trash/" + uid, "not a folder");
        const QString item = root + "/mnt/docs/report.txt";
        Write(item, "report");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root + "/home");
        env.insert("XDG_DATA_HOME", root + "/home/.local/share");
        const TTrash trash(root + "/home/.local/share/Trash");
        QString error;
        ASSERT_TRUE(trash.MoveToTrash(item, &error)) << error.toStdString();
        EXPECT_FALSE(QFileInfo::exists(item));
        EXPECT_TRUE(QFileInfo::exists(root + "/mnt/" + c.trash + uid + "/files/report.txt"));
        const auto listed = [&] { return TestSupport::TrashList(env, {root}).values(); };
        EXPECT_EQ(listed(), QStringList{item});
        ASSERT_TRUE(TestSupport::TrashRestore(item, env));
        QFile back(item);
        ASSERT_TRUE(back.open(QIODevice::ReadOnly));
        EXPECT_EQ(back.readAll(), "report");
        EXPECT_TRUE(listed().isEmpty());
    }
}

// An item whose info file cannot be written stays where it was: a trash entry that cannot be
// restored would be a deletion.
TEST(TrashFullDisk, TheItemStaysAndNoInfoIsLeft)
{
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    const QString item = disk.Path() + "/work/keep.tmp";
    Write(item, "keep me");
    const TTrash trash(disk.Path() + "/Trash");
    QString error;
    ASSERT_TRUE(trash.MoveToTrash(disk.Path() + "/work", &error)) << "the trash folders are made: " << error.toStdString();
    ASSERT_TRUE(Restore(disk.Path() + "/Trash", "work"));
    ASSERT_TRUE(disk.Fill());
    EXPECT_FALSE(trash.MoveToTrash(item, &error));
    EXPECT_TRUE(error.endsWith(": No space left on device")) << error.toStdString();
    EXPECT_TRUE(QFileInfo::exists(item));
    EXPECT_EQ(QDir(disk.Path() + "/Trash/info").entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_EQ(QDir(disk.Path() + "/Trash/files").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
}

TEST(TrashHome, FollowsXdgDataHome)
{
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", "/somewhere/data");
    EXPECT_EQ(TTrash::DefaultHome(), "/somewhere/data/Trash");
    qputenv("XDG_DATA_HOME", "relative");
    EXPECT_EQ(TTrash::DefaultHome(), QDir::homePath() + "/.local/share/Trash");
    if (saved.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", saved);
}

} // namespace

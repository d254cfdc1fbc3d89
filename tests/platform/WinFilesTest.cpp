// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of wildcards, DOS date-time, attributes, folder listings and Windows file queries.
#include "platform/WinFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "FileFixtures.h"
#include "support/BindMount.h"
#include "support/PrefixBuilder.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace {

using FileFixtures::MakeFile;

// 0: set; 1: the file system keeps no user attributes; -1: failed.
int SetDosAttrib(const QString &path, const QByteArray &value)
{
    if (::setxattr(QFile::encodeName(path).constData(), "user.DOSATTRIB", value.constData(), value.size(), 0) == 0)
        return 0;
    return errno == ENOTSUP || errno == EOPNOTSUPP ? 1 : -1;
}

TEST(MatchesMask, WindowsWildcards)
{
    const struct { const char *mask, *name; bool match; } cases[] = {
        {"*", "anything.at.all", true},
        {"*", "noext", true},
        {"*.*", "noext", true},
        {"*.*", "a.b", true},
        {"*.*", ".bashrc", true},
        {"*.tmp", "a.tmp", true},
        {"*.tmp", "A.TMP", true},
        {"*.TMP", "x.y.tmp", true},
        {"*.tmp", "a.tmp.txt", false},
        {"*.tmp", "atmp", false},
        {"*.bk?", "x.bk", true},
        {"*.bk?", "x.bak", false},
        {"*.bk?", "x.bk1", true},
        {"*.bk?", "x.bk12", false},
        {"*.bak", "a.bak", true},
        {"?", "a", true},
        {"?", "ab", false},
        {"???.txt", "ab.txt", true},
        {"???.txt", "abcd.txt", false},
        {"a?c", "a.c", false},
        {"*.", "noext", true},
        {"*.", "has.ext", false},
        {"readme.", "README", true},
        {"~*", "~WRL0001.tmp", true},
        {"*~*", "file~", true},
        {"*.b.tmp", "a.b.tmp", true},
        {"*tmp*", "mytmpfile.doc", true},
        {"desktop.ini", "Desktop.INI", true},
        {"desktop.ini", "desktop.ini.bak", false},
        {"Ä*.txt", "äpfel.TXT", true},
        {"backup*.wbk", "Backup-old.WBK", true},
        {"backup*.wbk", "xbackup.wbk", false},
        {"backup*.wbk", "backup.wbkx", false},
        {"*.~*", "a.~b", true},
        {"*.~*", "a~.b", false},
        {"*.?~?", "x.a~b", true},
        {"*.?~?", "x.ab", false},
        {"", "a", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.mask) + " ~ " + c.name);
        EXPECT_EQ(MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.match);
    }
    // One mask read once gives the same answers for names of every length, in any order.
    std::map<QString, TFileMask> masks;
    for (const auto &c : cases)
        masks.try_emplace(QString::fromUtf8(c.mask), QString::fromUtf8(c.mask));
    for (int round = 0; round < 2; ++round)
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.mask) + " " + c.name);
            EXPECT_EQ(masks.at(QString::fromUtf8(c.mask)).Matches(QString::fromUtf8(c.name)), c.match);
        }
}

TEST(DosDateTime, MomentsGiveWhatQDateTimeGives)
{
    // The C library's clock and QDateTime's local time agree, in summer and winter, at the bounds
    // of the DOS years and before 1970.
    const QDateTime moments[] = {
        QDateTime(QDate(2004, 7, 15), QTime(13, 45, 31, 900)), QDateTime(QDate(2021, 1, 3), QTime(0, 0, 1)),
        QDateTime(QDate(2021, 3, 28), QTime(3, 30)),           QDateTime(QDate(1980, 1, 1), QTime(0, 0)),
        QDateTime(QDate(1969, 12, 31), QTime(23, 59, 59, 500)), QDateTime(QDate(2107, 12, 31), QTime(23, 59, 59)),
        QDateTime(QDate(2200, 3, 1), QTime(1, 0)),
    };
    for (const QDateTime &moment : moments) {
        SCOPED_TRACE(moment.toString(Qt::ISODateWithMs).toStdString());
        const qint64 msecs = moment.toMSecsSinceEpoch();
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(msecs);
        const TLocalTime t = LocalTimeOf(msecs);
        EXPECT_EQ(t.Date, local.date());
        EXPECT_EQ(t.Time, local.time());
        EXPECT_EQ(FileDateOf(msecs), DateTimeToFileDate(local));
    }
}

TEST(DosDateTime, RoundTripAndBounds)
{
    const struct { const char *name; QDateTime time; quint32 stamp; QDateTime back; } cases[] = {
        {"even second", QDateTime(QDate(2004, 7, 15), QTime(13, 45, 30)),
         (24u << 9 | 7u << 5 | 15u) << 16 | (13u << 11 | 45u << 5 | 15u),
         QDateTime(QDate(2004, 7, 15), QTime(13, 45, 30))},
        {"odd second drops", QDateTime(QDate(2004, 7, 15), QTime(13, 45, 31, 900)),
         (24u << 9 | 7u << 5 | 15u) << 16 | (13u << 11 | 45u << 5 | 15u),
         QDateTime(QDate(2004, 7, 15), QTime(13, 45, 30))},
        {"first DOS day", QDateTime(QDate(1980, 1, 1), QTime(0, 0)), 0x00210000u, QDateTime(QDate(1980, 1, 1), QTime(0, 0))},
        {"before 1980", QDateTime(QDate(1970, 1, 2), QTime(5, 0)), 0x00210000u, QDateTime(QDate(1980, 1, 1), QTime(0, 0))},
        {"last DOS second", QDateTime(QDate(2107, 12, 31), QTime(23, 59, 59)), 0xFF9FBF7Du,
         QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58))},
        {"after 2107", QDateTime(QDate(2200, 3, 1), QTime(1, 0)), 0xFF9FBF7Du,
         QDateTime(QDate(2107, 12, 31), QTime(23, 59, 58))},
        {"invalid", QDateTime(), 0u, QDateTime()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const quint32 stamp = DateTimeToFileDate(c.time);
        EXPECT_EQ(stamp, c.stamp);
        EXPECT_EQ(FileDateToDateTime(stamp), c.back);
    }
    // A time given in UTC is still stamped in local time.
    const QDateTime local(QDate(2010, 5, 6), QTime(7, 8, 10));
    EXPECT_EQ(DateTimeToFileDate(local.toUTC()), DateTimeToFileDate(local));
    // The stamp orders like the time.
    EXPECT_LT(DateTimeToFileDate(QDateTime(QDate(2010, 5, 6), QTime(23, 59, 58))),
              DateTimeToFileDate(QDateTime(QDate(2010, 5, 7), QTime(0, 0))));

    const struct { const char *name; quint32 stamp; } invalid[] = {
        {"zero", 0}, {"month 13", (30u << 9 | 13u << 5 | 1u) << 16}, {"day 0", (30u << 9 | 1u << 5) << 16},
        {"February 30", (30u << 9 | 2u << 5 | 30u) << 16}, {"hour 24", 0x00210000u | 24u << 11},
        {"minute 60", 0x00210000u | 60u << 5}, {"second 60", 0x00210000u | 30u},
    };
    for (const auto &c : invalid) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(FileDateToDateTime(c.stamp).isValid());
    }
}

// A file whose name is not valid UTF-8: Qt could not name it again (nor QTemporaryDir remove it).
struct TNotTextFile {
    explicit TNotTextFile(QByteArray path) : Path(std::move(path))
    {
        const int fd = ::open(Path.constData(), O_CREAT | O_WRONLY, 0600);
        Made = fd >= 0;
        if (Made)
            ::close(fd);
    }
    ~TNotTextFile() { ::unlink(Path.constData()); }
    QByteArray Path;
    bool Made = false;
};

class HostFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FTmp.isValid());
        FRoot = QDir(FTmp.path()).canonicalPath();
    }
    QString Path(const QString &name) const { return FRoot + u'/' + name; }

    QTemporaryDir FTmp;
    QString FRoot;
};

TEST_F(HostFilesTest, AttributeTable)
{
    ASSERT_TRUE(MakeFile(Path("plain.txt")));
    ASSERT_TRUE(MakeFile(Path("locked.txt")));
    ASSERT_TRUE(QFile::setPermissions(Path("locked.txt"), QFile::ReadOwner | QFile::ReadGroup | QFile::WriteGroup));
    ASSERT_TRUE(MakeFile(Path(".hidden")));
    ASSERT_TRUE(MakeFile(Path("dosattrib.sys")));
    ASSERT_TRUE(MakeFile(Path("samba-style")));
    ASSERT_TRUE(QDir().mkpath(Path("folder")));
    ASSERT_TRUE(QDir().mkpath(Path(".config")));
    ASSERT_TRUE(QFile::link(Path("plain.txt"), Path("link-to-file")));
    ASSERT_TRUE(QFile::link(Path("gone"), Path("dangling")));
    const int set1 = SetDosAttrib(Path("dosattrib.sys"), "0x26");  // hidden, system, archive
    const int set2 = SetDosAttrib(Path("samba-style"), QByteArray("0x2\0junk", 8));
    ASSERT_NE(set1, -1);
    ASSERT_NE(set2, -1);

    using namespace FileAttr;
    const struct { const char *name; QString path; quint32 attr; bool needsXattr; } cases[] = {
        {"regular file", Path("plain.txt"), Archive, false},
        {"owner cannot write", Path("locked.txt"), Archive | ReadOnly, false},
        {"dot name", Path(".hidden"), Archive | Hidden, false},
        {"DOSATTRIB hidden and system", Path("dosattrib.sys"), Archive | Hidden | System, true},
        {"DOSATTRIB with a tail", Path("samba-style"), Archive | Hidden, true},
        {"folder", Path("folder"), Directory, false},
        {"folder with trailing slash", Path("folder/"), Directory, false},
        {"dot folder", Path(".config"), Directory | Hidden, false},
        {"link to a file reads the file", Path("link-to-file"), Archive, false},
        {"dangling link", Path("dangling"), Invalid, false},
        {"missing", Path("missing"), Invalid, false},
        {"empty path", QString(), Invalid, false},
        {"NUL inside", Path("plain.txt") + QChar(0) + "x", Invalid, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.needsXattr && (set1 == 1 || set2 == 1))
            continue;
        EXPECT_EQ(HostFiles::Attributes(c.path), c.attr);
    }
}

TEST_F(HostFilesTest, ListFolderTakesOnlyWhatWindowsCouldHold)
{
    ASSERT_TRUE(MakeFile(Path("walk/b.txt"), QByteArray(3000, 'b')));
    ASSERT_TRUE(MakeFile(Path("walk/A.txt"), "a"));
    ASSERT_TRUE(MakeFile(Path("walk/.dot"), ""));
    ASSERT_TRUE(MakeFile(Path("walk/Sub/inner.txt")));
    ASSERT_TRUE(MakeFile(Path("walk/with blank.txt")));
    ASSERT_TRUE(MakeFile(Path(QString::fromUtf8("walk/Ünïcode.txt"))));
    ASSERT_TRUE(MakeFile(Path("walk/a:b.txt")));
    ASSERT_TRUE(MakeFile(Path("walk/star*.txt")));
    ASSERT_TRUE(MakeFile(Path("walk/back\\slash.txt")));
    ASSERT_TRUE(MakeFile(Path("walk/tab\there.txt")));
    ASSERT_TRUE(MakeFile(Path("walk/dot.")));
    ASSERT_TRUE(MakeFile(Path("walk/blank /x")));
    ASSERT_TRUE(QFile::link(Path("walk/Sub"), Path("walk/linked-folder")));
    ASSERT_TRUE(QFile::link(Path("walk/b.txt"), Path("walk/linked-file.txt")));
    ASSERT_TRUE(QFile::link(Path("walk/gone"), Path("walk/dangling")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("walk/fifo")).constData(), 0600), 0);
    const TNotTextFile badName(QFile::encodeName(Path("walk/")) + "bad\xff\xfename");
    ASSERT_TRUE(badName.Made);
    {
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(s, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        const QByteArray where = QFile::encodeName(Path("walk/sock"));
        if (size_t(where.size()) < sizeof addr.sun_path) {
            memcpy(addr.sun_path, where.constData(), where.size());
            EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        }
        ::close(s);
    }
    // A file of more than 4 GiB: the size must not be cut to 32 bits.
    {
        QFile big(Path("walk/big.bin"));
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(5LL * 1024 * 1024 * 1024 + 7));
    }
    const QDateTime when(QDate(2003, 4, 5), QTime(6, 7, 8));
    {
        QFile f(Path("walk/A.txt"));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(when, QFileDevice::FileModificationTime));
    }

    const QList<TSearchRec> list = HostFiles::ListFolder(Path("walk"));
    QStringList names;
    for (const TSearchRec &r : list)
        names << r.Name;
    // Ordinal order ignoring case, as NTFS lists a folder: "Ü" comes after "w".
    EXPECT_EQ(names, (QStringList{".dot", "A.txt", "b.txt", "big.bin", "Sub", "with blank.txt",
                                  QString::fromUtf8("Ünïcode.txt")}));
    ASSERT_EQ(list.size(), 7);
    EXPECT_EQ(list[0].Attr, FileAttr::Archive | FileAttr::Hidden);
    EXPECT_EQ(list[1].Time(), when);
    EXPECT_EQ(list[1].HostPath, Path("walk/A.txt"));
    EXPECT_EQ(list[2].Size, 3000);
    EXPECT_EQ(list[3].Size, 5LL * 1024 * 1024 * 1024 + 7);
    EXPECT_EQ(list[4].Attr, FileAttr::Directory);
    EXPECT_EQ(list[4].Size, 0);

    // What has no Windows path of its own is listed apart, shown so that every byte can be read.
    QList<TSearchRec> faulted;
    EXPECT_EQ(HostFiles::ListFolder(Path("walk"), &faulted).size(), 7);
    const struct {
        QString shown;
        TNameFault fault;
        bool folder;
    } expected[] = {
        {"a:b.txt", TNameFault::Character, false},
        {"back\\slash.txt", TNameFault::Character, false},
        {"bad%FF%FEname", TNameFault::NotText, false},
        {"blank ", TNameFault::TrailingDotOrBlank, true},
        {"dot.", TNameFault::TrailingDotOrBlank, false},
        {"star*.txt", TNameFault::Character, false},
        {"tab%09here.txt", TNameFault::Character, false},
    };
    ASSERT_EQ(faulted.size(), std::size(expected));
    for (qsizetype i = 0; i < faulted.size(); ++i) {
        SCOPED_TRACE(expected[i].shown.toStdString());
        EXPECT_EQ(faulted[i].Name, expected[i].shown);
        EXPECT_EQ(faulted[i].Fault, expected[i].fault);
        EXPECT_EQ(bool(faulted[i].Attr & FileAttr::Directory), expected[i].folder);
        // A name that is no text has no host path a QString could spell.
        EXPECT_EQ(faulted[i].HostPath.isEmpty(), expected[i].fault == TNameFault::NotText);
    }
    EXPECT_EQ(faulted[4].HostPath, Path("walk/dot."));

    // The folder itself may be reached through a link; its own entries are still filtered.
    EXPECT_EQ(HostFiles::ListFolder(Path("walk/linked-folder")).size(), 1);
    EXPECT_TRUE(HostFiles::ListFolder(Path("walk/missing")).isEmpty());
    EXPECT_TRUE(HostFiles::ListFolder(Path("walk") + QChar(0) + "x").isEmpty());
    EXPECT_TRUE(HostFiles::ListFolder(Path("walk/A.txt")).isEmpty());
}

TEST_F(HostFilesTest, AListingOfWhatAWalkNeedsHoldsWhatTheWholeListingHolds)
{
    for (const char *name : {"a.tmp", "B.TMP", "c.txt", "keep.TXT", "readme", ".dot.tmp", "dosattrib.tmp",
                             "\xc3\x9c" "ber.TXT", "\xc3\xbc" "ber.txt", "tab\there.tmp", "star*.tmp", "dot.", "Sub/x.tmp",
                             ".Hidden/y.tmp", "marked/z.tmp"})
        ASSERT_TRUE(MakeFile(Path("walk/") + QString::fromUtf8(name)));
    ASSERT_TRUE(QFile::link(Path("walk/a.tmp"), Path("walk/link.tmp")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("walk/fifo.tmp")).constData(), 0600), 0);
    const TNotTextFile badName(QFile::encodeName(Path("walk/")) + "bad\xff.tmp");
    ASSERT_TRUE(badName.Made);
    const bool xattrs = SetDosAttrib(Path("walk/dosattrib.tmp"), "0x6") == 0 && SetDosAttrib(Path("walk/marked"), "0x2") == 0;

    QList<TSearchRec> wholeFaulted;
    const QList<TSearchRec> whole = HostFiles::ListFolder(Path("walk"), &wholeFaulted);
    const struct { const char *name; QStringList masks; bool files, fileAttributes, folderAttributes; } cases[] = {
        {"every file", {}, true, true, true},
        {"*.tmp", {"*.tmp"}, true, true, true},
        {"*.txt and ü*, no attributes", {"*.txt", QString::fromUtf8("\xc3\xbc*")}, true, false, false},
        {"folders only", {}, false, true, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<TFileMask> masks;
        for (const QString &mask : c.masks)
            masks.emplace_back(mask);
        HostFiles::TListNeeds needs;
        if (!masks.empty())
            needs.KeepFile = [&masks](QStringView folded) {
                return std::any_of(masks.cbegin(), masks.cend(), [&](const TFileMask &m) { return m.MatchesFolded(folded); });
            };
        needs.Files = c.files;
        needs.FileAttributes = c.fileAttributes;
        needs.FolderAttributes = c.folderAttributes;
        qsizetype count = 0;
        needs.EntryCount = &count;
        QList<TSearchRec> faulted;
        const QList<TSearchRec> listed = HostFiles::ListFolder(Path("walk"), &faulted, needs);
        EXPECT_EQ(count, 18);  // every name: the link, the FIFO and the one that is no text too

        const auto expect = [&](const QList<TSearchRec> &all, const QList<TSearchRec> &got) {
            QList<TSearchRec> wanted;
            for (const TSearchRec &r : all)
                if ((r.Attr & FileAttr::Directory)
                    || (c.files && (masks.empty() || needs.KeepFile(r.Name.toCaseFolded()))))
                    wanted << r;
            ASSERT_EQ(got.size(), wanted.size());
            for (qsizetype i = 0; i < got.size(); ++i) {
                SCOPED_TRACE(wanted[i].Name.toStdString());
                EXPECT_EQ(got[i].Name, wanted[i].Name);
                EXPECT_EQ(got[i].HostPath, wanted[i].HostPath);
                EXPECT_EQ(got[i].Fault, wanted[i].Fault);
                EXPECT_EQ(got[i].Size, wanted[i].Size);
                EXPECT_EQ(got[i].MTime, wanted[i].MTime);
                EXPECT_EQ(got[i].Inode, wanted[i].Inode);
                const bool folder = wanted[i].Attr & FileAttr::Directory;
                const bool attributes = folder ? c.folderAttributes : c.fileAttributes;
                const quint32 fromName = wanted[i].Name.startsWith(u'.') ? FileAttr::Hidden : 0;
                EXPECT_EQ(got[i].Attr, attributes ? wanted[i].Attr
                                                  : (wanted[i].Attr & ~(FileAttr::Hidden | FileAttr::System)) | fromName);
            }
        };
        expect(whole, listed);
        expect(wholeFaulted, faulted);
    }
    if (xattrs) {
        EXPECT_EQ(whole[int(std::find_if(whole.cbegin(), whole.cend(), [](const TSearchRec &r) { return r.Name == "marked"; })
                            - whole.cbegin())].Attr,
                  FileAttr::Directory | FileAttr::Hidden);
    }

    qsizetype count = 0;
    HostFiles::TListNeeds needs;
    needs.EntryCount = &count;
    EXPECT_TRUE(HostFiles::ListFolder(Path("walk/missing"), nullptr, needs).isEmpty());
    EXPECT_EQ(count, -1);
}

TEST_F(HostFilesTest, ListFolderStaysOnOneFileSystem)
{
    struct stat root, proc;
    if (::stat("/", &root) != 0 || ::stat("/proc", &proc) != 0 || root.st_dev == proc.st_dev)
        VASKIMO_MISSING("no separate /proc mount here");
    bool sawProc = false, sawSomething = false;
    for (const TSearchRec &r : HostFiles::ListFolder("/")) {
        sawProc = sawProc || r.Name == u"proc";
        sawSomething = true;
    }
    EXPECT_TRUE(sawSomething);
    EXPECT_FALSE(sawProc);
}

// A bind mount keeps the device number of the file system it shows: a walk would leave the
// folder it was given for wherever the mount leads, without a link on the way.
TEST_F(HostFilesTest, ListFolderLeavesOutABindMountOfTheSameFileSystem)
{
    ASSERT_TRUE(MakeFile(Path("walk/inner/a.txt")));
    ASSERT_TRUE(MakeFile(Path("elsewhere/secret.txt")));
    TestSupport::TBindMount mount(Path("elsewhere"), Path("walk/bound"));
    VASKIMO_NEED_MOUNT(mount);
    QStringList names;
    for (const TSearchRec &r : HostFiles::ListFolder(Path("walk")))
        names << r.Name;
    EXPECT_EQ(names, QStringList{"inner"});
    // The mount named as the folder to list is what the caller chose: its entries are listed.
    EXPECT_EQ(HostFiles::ListFolder(Path("walk/bound")).size(), 1);
}

TEST_F(HostFilesTest, DiskFreeSpace)
{
    qint64 freeBytes = -1, total = -1, cluster = -1;
    ASSERT_TRUE(HostFiles::DiskFreeSpace(FRoot, &freeBytes, &total, &cluster));
    EXPECT_GT(total, 0);
    EXPECT_GE(freeBytes, 0);
    EXPECT_LE(freeBytes, total);
    EXPECT_GT(cluster, 0);
    EXPECT_FALSE(HostFiles::DiskFreeSpace(Path("missing/x"), &freeBytes, &total, &cluster));
}

// Windows paths over a prefix: c: -> ../drive_c, z: -> /.
class WinFilesTest : public HostFilesTest
{
protected:
    void SetUp() override
    {
        HostFilesTest::SetUp();
        ASSERT_TRUE(QDir().mkpath(Path("prefix/dosdevices")));
        ASSERT_TRUE(QFile::link("../drive_c", Path("prefix/dosdevices/c:")));
        ASSERT_TRUE(QFile::link("/", Path("prefix/dosdevices/z:")));
        ASSERT_TRUE(MakeFile(Path("prefix/drive_c/windows/system32/Kernel32.dll")));
        ASSERT_TRUE(MakeFile(Path("prefix/drive_c/users/demo/Temp/a.tmp")));
        ASSERT_TRUE(MakeFile(Path("prefix/drive_c/users/demo/Temp/b.bak")));
        ASSERT_TRUE(MakeFile(Path("prefix/drive_c/users/demo/Temp/c.bk")));
        ASSERT_TRUE(QDir().mkpath(Path("prefix/drive_c/users/demo/Temp/dir.tmp")));
        FDrives = TDriveMap::FromFolder(Path("prefix/dosdevices"), Path("prefix"));
    }
    TDriveMap FDrives;
};

TEST_F(WinFilesTest, ExistenceAndAttributes)
{
    const struct { const char *path; bool file, dir; quint32 attr; } cases[] = {
        {"C:\\WINDOWS\\system32\\kernel32.dll", true, false, FileAttr::Archive},
        {"c:\\windows\\System32", false, true, FileAttr::Directory},
        {"C:\\windows\\system32\\", false, true, FileAttr::Directory},
        {"C:\\", false, true, FileAttr::Directory},
        {"C:\\windows\\gone.dll", false, false, FileAttr::Invalid},
        {"C:\\gone\\", false, false, FileAttr::Invalid},
        {"C:\\PROGRA~1\\app.exe", true, true, FileAttr::Archive},  // cannot tell: counts as existing
        {"\\\\server\\share\\x.dll", false, false, FileAttr::Invalid},
        {"system32\\kernel32.dll", false, false, FileAttr::Invalid},
        {"D:\\x.dll", false, false, FileAttr::Invalid},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(WinFiles::FileExists(c.path, FDrives), c.file);
        EXPECT_EQ(WinFiles::DirectoryExists(c.path, FDrives), c.dir);
        EXPECT_EQ(WinFiles::FileGetAttr(c.path, FDrives), c.attr);
    }
}

TEST_F(WinFilesTest, FindFilesByMask)
{
    auto names = [this](const char *folder, const char *mask) {
        QStringList n;
        for (const TSearchRec &r : WinFiles::FindFiles(folder, mask, FDrives))
            n << r.Name;
        return n;
    };
    EXPECT_EQ(names("C:\\Users\\Demo\\TEMP", "*.*"), (QStringList{"a.tmp", "b.bak", "c.bk", "dir.tmp"}));
    EXPECT_EQ(names("C:\\Users\\Demo\\TEMP\\", "*.TMP"), (QStringList{"a.tmp", "dir.tmp"}));
    EXPECT_EQ(names("C:\\Users\\Demo\\TEMP", "*.bk?"), QStringList{"c.bk"});
    EXPECT_EQ(names("C:\\Users\\Demo\\TEMP", ""), QStringList());
    EXPECT_EQ(names("C:\\Users\\Demo\\Gone", "*.*"), QStringList());
    EXPECT_EQ(names("C:\\PROGRA~1", "*.*"), QStringList());
    const QList<TSearchRec> found = WinFiles::FindFiles("C:\\users\\demo\\temp", "a.TMP", FDrives);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].HostPath, Path("prefix/drive_c/users/demo/Temp/a.tmp"));
    EXPECT_EQ(found[0].Attr, FileAttr::Archive);
}

// The same queries through the current prefix, whose drive types come from its registry.
TEST(WinFilesPrefix, CurrentPrefixDrivesAndFiles)
{
    TestSupport::TPrefixBuilder builder;
    builder.AddFile("C:\\Program Files\\Demo\\demo.exe", "MZ");
    builder.AddString(TestSupport::THive::System, "Software\\Wine\\Drives", "d:", "cdrom");
    builder.AddFolder(builder.Folder() + "/cd");
    builder.Link('d', builder.Folder() + "/cd");
    builder.Link('e', builder.Folder() + "/no-such-folder");
    builder.MakeCurrent();

    const TDriveMap &drives = WinFiles::DrivesOf();
    EXPECT_EQ(drives.DriveType('C'), TDriveType::Fixed);
    EXPECT_EQ(drives.DriveType('D'), TDriveType::CdRom);
    EXPECT_EQ(drives.DriveType('E'), TDriveType::NoRootDir);
    EXPECT_EQ(drives.DriveType('Z'), TDriveType::Remote);
    EXPECT_TRUE(WinFiles::FileExists("c:\\PROGRAM FILES\\demo\\DEMO.EXE"));
    EXPECT_TRUE(WinFiles::DirectoryExists("C:\\Program Files\\Demo\\"));
    EXPECT_EQ(WinFiles::FileGetAttr("C:\\Program Files\\Demo\\demo.exe"), FileAttr::Archive);
    EXPECT_EQ(WinFiles::FindFiles("C:\\Program Files\\Demo", "*.exe").size(), 1);
    EXPECT_FALSE(WinFiles::FileExists("C:\\Program Files\\Demo\\gone.exe"));
}

// wineboot links the profile's Desktop into the home: wherever a folder is shown, such a link says where it leads.
TEST(WinFilesPrefix, FoldersLinkedOutOfTheirDriveShowWhereTheyLead)
{
    TestSupport::TPrefixBuilder builder;
    const QString home = builder.Folder() + "/home";
    ASSERT_TRUE(QDir().mkpath(home + "/Music"));
    const QString profile = builder.AddFolder("C:\\users\\me");
    ASSERT_TRUE(QFile::link(home, profile + "/Desktop"));
    ASSERT_TRUE(QFile::link(builder.AddFolder("C:\\inside"), profile + "/Alias"));
    builder.AddFolder("C:\\users\\me\\Contacts");
    builder.MakeCurrent();
    const QString real = QFileInfo(home).canonicalFilePath();
    const struct {
        const char *name;
        QString folder, shown;
    } cases[] = {
        {"the link itself", "C:\\users\\me\\Desktop", "C:\\users\\me\\Desktop \u2192 " + real},
        {"a folder below it", "c:\\USERS\\me\\desktop\\Music", "c:\\USERS\\me\\desktop\\Music \u2192 " + real + "/Music"},
        {"a link that stays on the drive", "C:\\users\\me\\Alias", "C:\\users\\me\\Alias"},
        {"a plain folder", "C:\\users\\me\\Contacts", "C:\\users\\me\\Contacts"},
        {"the whole host", "Z:" + QString(real).replace('/', '\\'), "Z:" + QString(real).replace('/', '\\')},
        {"missing", "C:\\users\\me\\Desktop\\gone", "C:\\users\\me\\Desktop\\gone"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WinFiles::ShownFolder(c.folder), c.shown);
    }
    EXPECT_EQ(HostFiles::FolderLinks(profile), (QStringList{"Alias", "Desktop"}));
}

}  // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the unnecessary-file scanner on small fixture prefixes: masks, filters, custom folders.
#include "files/UnnecessaryThds.h"

#include "platform/WinFiles.h"
#include "support/PrefixBuilder.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>
#include <sys/stat.h>

using TestSupport::TPrefixBuilder;

namespace {

struct TScan {
    QStringList Found;    // folder + name, in report order
    QStringList Attrs;    // attribute text of each
    QList<qint64> Sizes;
    QStringList Folders;  // folders entered
};

struct TScanInput {
    QStringList Skip;
    quint32 AttrMask = 0;
    QStringList Masks;
    QStringList Custom;
    QString Drives = "\"C:\"";
    bool Recurse = true;
    bool SkipEmpty = false;
};

TScan Scan(const std::shared_ptr<TWinePrefix> &prefix, const TScanInput &in, bool stopFirst = false)
{
    TScan scan;
    QObject owner;
    QEventLoop loop;
    auto *worker = new TEtsiTurhat(
        &owner, in.Skip, [&scan](const QString &folder) { scan.Folders.append(folder); },
        [&scan](const QString &name, const QString &folder, qint64 size, const QString &, const QString &attr) {
            scan.Found.append(folder + name);
            scan.Attrs.append(attr);
            scan.Sizes.append(size);
        },
        in.AttrMask, in.Masks, in.Custom, in.Drives, in.Recurse, in.SkipEmpty, prefix);
    worker->SetOnTerminate([&loop](TSharedThd *) { loop.quit(); });
    if (stopFirst)
        worker->Terminate();
    worker->Resume();
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    return scan;
}

QStringList Sorted(QStringList items)
{
    items.sort(Qt::CaseInsensitive);
    return items;
}

TEST(UnnecessaryScan, MasksNamesAndFolders)
{
    TPrefixBuilder b;
    b.AddFile("C:\\data\\a.bak", "1");
    b.AddFile("C:\\data\\b.bk", "1");
    b.AddFile("C:\\data\\keep.txt", "1");
    b.AddFolder("C:\\data\\x.tmp");
    b.AddFile("C:\\data\\x.tmp\\inner.tmp", "1");
    b.AddFile("C:\\RECYCLER\\r.tmp", "1");
    b.AddFile("C:\\Recycled\\r.tmp", "1");
    b.AddFile("C:\\$Recycle.Bin\\r.tmp", "1");
    auto prefix = b.MakeCurrent();
    TScanInput in;
    in.Masks = {"*.bak", "*.bk?", "*.tmp"};
    const TScan scan = Scan(prefix, in);
    EXPECT_EQ(Sorted(scan.Found), Sorted({"C:\\$Recycle.Bin\\r.tmp", "C:\\data\\a.bak", "C:\\data\\b.bk",
                                          "C:\\data\\x.tmp\\inner.tmp"}));
    EXPECT_EQ(scan.Folders.first(), "C:\\");
    EXPECT_FALSE(scan.Folders.contains("C:\\RECYCLER"));
    EXPECT_FALSE(scan.Folders.contains("C:\\Recycled"));
    EXPECT_TRUE(scan.Folders.contains("C:\\data\\x.tmp"));
}

TEST(UnnecessaryScan, AttributeMaskAndEmptyFiles)
{
    TPrefixBuilder b;
    b.AddFile("C:\\t\\.hidden.tmp", "1");
    const QString readOnly = b.AddFile("C:\\t\\ro.tmp", "1");
    ASSERT_EQ(::chmod(QFile::encodeName(readOnly).constData(), 0444), 0);
    b.AddFile("C:\\t\\plain.tmp", "1");
    b.AddFile("C:\\t\\empty.tmp", "");
    auto prefix = b.MakeCurrent();
    const struct {
        const char *name;
        quint32 mask;
        bool skipEmpty;
        QStringList found;
        QStringList attrs;
    } cases[] = {
        {"nothing skipped", 0, false,
         {"C:\\t\\.hidden.tmp", "C:\\t\\empty.tmp", "C:\\t\\plain.tmp", "C:\\t\\ro.tmp"}, {"H A", "A", "A", "R A"}},
        {"hidden skipped", FileAttr::Hidden, false, {"C:\\t\\empty.tmp", "C:\\t\\plain.tmp", "C:\\t\\ro.tmp"},
         {"A", "A", "R A"}},
        {"read-only skipped", FileAttr::ReadOnly, false,
         {"C:\\t\\.hidden.tmp", "C:\\t\\empty.tmp", "C:\\t\\plain.tmp"}, {"H A", "A", "A"}},
        {"read-only, hidden and empty skipped", FileAttr::ReadOnly | FileAttr::Hidden, true, {"C:\\t\\plain.tmp"},
         {"A"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TScanInput in;
        in.Masks = {"*.tmp"};
        in.AttrMask = c.mask;
        in.SkipEmpty = c.skipEmpty;
        const TScan scan = Scan(prefix, in);
        EXPECT_EQ(scan.Found, c.found);
        EXPECT_EQ(scan.Attrs, c.attrs);
    }
}

TEST(UnnecessaryScan, SkipList)
{
    TPrefixBuilder b;
    b.AddFile("C:\\Windows\\TEMP\\a.tmp", "1");
    b.AddFile("C:\\Windows\\Temp\\b.tmp", "1");
    b.AddFile("C:\\other\\c.tmp", "1");
    auto prefix = b.MakeCurrent();
    TScanInput in;
    in.Masks = {"*.tmp"};
    in.Skip = {"Temp", ""};  // "temp," gives an empty item: it must match nothing
    const TScan scan = Scan(prefix, in);
    EXPECT_EQ(scan.Found, QStringList({"C:\\other\\c.tmp"}));
    EXPECT_FALSE(scan.Folders.contains("C:\\Windows\\Temp"));
    EXPECT_FALSE(scan.Folders.contains("C:\\Windows\\TEMP"));
    EXPECT_TRUE(scan.Folders.contains("C:\\Windows"));
}

TEST(UnnecessaryScan, CustomFoldersWithAndWithoutRecursion)
{
    TPrefixBuilder b;
    b.AddFile("C:\\Temp\\a.txt", "1");
    b.AddFile("C:\\Temp\\c.tmp", "1");
    b.AddFile("C:\\Temp\\sub\\b.txt", "1");
    b.AddFile("C:\\Temp\\sub\\d.tmp", "1");
    b.AddFile("C:\\Temporary\\e.tmp", "1");
    auto prefix = b.MakeCurrent();
    const struct {
        const char *name;
        bool recurse;
        QStringList found;
    } cases[] = {
        {"recursion on: the custom walk takes the whole tree", true,
         {"C:\\Temp\\a.txt", "C:\\Temp\\c.tmp", "C:\\Temp\\sub\\b.txt", "C:\\Temp\\sub\\d.tmp", "C:\\Temporary\\e.tmp"}},
        {"recursion off: the drive walk takes the folders below", false,
         {"C:\\Temp\\a.txt", "C:\\Temp\\c.tmp", "C:\\Temp\\sub\\d.tmp", "C:\\Temporary\\e.tmp"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TScanInput in;
        in.Masks = {"*.tmp"};
        in.Custom = {"C:\\Temp:*.*"};
        in.Recurse = c.recurse;
        const TScan scan = Scan(prefix, in);
        EXPECT_EQ(Sorted(scan.Found), Sorted(c.found));
        EXPECT_EQ(QStringList(scan.Found).removeDuplicates(), 0);
    }
}

TEST(UnnecessaryScan, NestedCustomFoldersReportAFileOnce)
{
    TPrefixBuilder b;
    b.AddFile("C:\\users\\x\\Temp\\a.log", "1");
    b.AddFile("C:\\users\\x\\Temp\\Twin.log", "1");
    b.AddFile("C:\\users\\x\\Temp\\twin.log", "1");
    auto prefix = b.MakeCurrent();
    TScanInput in;
    in.Custom = {"C:\\users\\x:*.*", "C:\\users\\x\\Temp:*.*", "C:\\users\\x\\Temp:*.log"};
    in.Masks = {"*.log"};
    EXPECT_EQ(Sorted(Scan(prefix, in).Found),
              Sorted({"C:\\users\\x\\Temp\\a.log", "C:\\users\\x\\Temp\\Twin.log",
                      "C:\\users\\x\\Temp\\twin.log"}));
}

TEST(UnnecessaryScan, CustomOnlyWalkAndNothingToDo)
{
    TPrefixBuilder b;
    b.AddFile("C:\\users\\x\\Temp\\a.log", "1");
    b.AddFile("C:\\other.tmp", "1");
    auto prefix = b.MakeCurrent();
    TScanInput in;
    in.Custom = {"C:\\users\\x\\Temp:*.*"};
    EXPECT_EQ(Scan(prefix, in).Found, QStringList({"C:\\users\\x\\Temp\\a.log"}));

    TScanInput none;
    const TScan empty = Scan(prefix, none);
    EXPECT_TRUE(empty.Found.isEmpty());
    EXPECT_TRUE(empty.Folders.isEmpty());

    TScanInput stopped;
    stopped.Masks = {"*.tmp"};
    const TScan aborted = Scan(prefix, stopped, true);
    EXPECT_TRUE(aborted.Found.isEmpty());
    EXPECT_TRUE(aborted.Folders.isEmpty());
}

TEST(UnnecessaryScan, NeverFollowsLinksNorOpensSpecialFiles)
{
    TPrefixBuilder b;
    b.AddFile("C:\\real\\a.tmp", "1");
    QTemporaryDir outside;
    QFile f(outside.path() + "/out.tmp");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("1");
    f.close();
    ASSERT_TRUE(QFile::link(outside.path(), b.HostPath("C:\\linked")));
    ASSERT_TRUE(QFile::link(outside.path() + "/out.tmp", b.HostPath("C:\\real\\link.tmp")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(b.HostPath("C:\\real\\pipe.tmp")).constData(), 0600), 0);
    auto prefix = b.MakeCurrent();
    TScanInput in;
    in.Masks = {"*.tmp"};
    EXPECT_EQ(Scan(prefix, in).Found, QStringList({"C:\\real\\a.tmp"}));
}

TEST(UnnecessaryScan, TextForms)
{
    EXPECT_EQ(TEtsiTurhat::AttrText(FileAttr::Archive | FileAttr::Hidden), "H A");
    EXPECT_EQ(TEtsiTurhat::AttrText(FileAttr::ReadOnly | FileAttr::Hidden | FileAttr::Archive), "R H A");
    EXPECT_EQ(TEtsiTurhat::AttrText(0), "");
    const struct { const char *entry, *folder, *masks; } entries[] = {
        {"C:\\Temp:*.*", "C:\\Temp", "*.*"},
        {"C:\\a b:*.txt,*.log", "C:\\a b", "*.txt,*.log"},
        {"C:\\Temp", "C:\\Temp", ""},
    };
    for (const auto &e : entries) {
        SCOPED_TRACE(e.entry);
        EXPECT_EQ(TEtsiTurhat::CustomFolder(e.entry), e.folder);
        EXPECT_EQ(TEtsiTurhat::CustomMasks(e.entry), e.masks);
    }
    // In the user's (the prefix's) formats, as the directory entry holds the time: two-second
    // steps, 1980 to 2107, the date alone at midnight.
    const TUserLocale us;  // M/d/yyyy, h:mm:ss tt
    const struct { const char *name; TLocalTime time; const char *expected; } dates[] = {
        {"midnight", {QDate(2020, 5, 6), QTime(0, 0)}, "5/6/2020"},
        {"odd second", {QDate(2020, 5, 6), QTime(10, 11, 13, 900)}, "5/6/2020 10:11:12 AM"},
        {"afternoon", {QDate(1999, 12, 31), QTime(23, 59, 58)}, "12/31/1999 11:59:58 PM"},
        {"before 1980", {QDate(1970, 1, 2), QTime(5, 0)}, "1/1/1980"},
        {"after 2107", {QDate(2200, 3, 1), QTime(1, 0)}, "12/31/2107 11:59:58 PM"},
    };
    for (const auto &d : dates) {
        SCOPED_TRACE(d.name);
        EXPECT_EQ(TEtsiTurhat::DateText(d.time, us), d.expected);
    }
    TUserLocale finnish;
    finnish.ShortDate = "d.M.yyyy";
    finnish.LongTime = "H:mm:ss";
    EXPECT_EQ(TEtsiTurhat::DateText(TLocalTime{QDate(2020, 5, 6), QTime(9, 1, 2)}, finnish), "6.5.2020 9:01:02");
}

} // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the dosdevices drive map and of Windows <-> host path mapping.
#include "platform/DriveMap.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "FileFixtures.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

using FileFixtures::MakeFile;

bool MakeLink(const QString &target, const QString &link)
{
    QDir().mkpath(QFileInfo(link).absolutePath());
    return QFile::link(target, link);
}

// <tmp>/prefix with c: -> ../drive_c, d: -> <tmp>/data, e: -> a missing folder, z: -> /,
// y: -> <tmp> (holds the prefix), com1 and c:: device links.
class DriveMapTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FTmp.isValid());
        FRoot = QDir(FTmp.path()).canonicalPath();
        FPrefix = FRoot + "/prefix";
        const QString dev = FPrefix + "/dosdevices";
        ASSERT_TRUE(QDir().mkpath(FPrefix + "/drive_c"));
        ASSERT_TRUE(QDir().mkpath(FRoot + "/data"));
        ASSERT_TRUE(MakeLink("../drive_c", dev + "/c:"));
        ASSERT_TRUE(MakeLink(FRoot + "/data", dev + "/d:"));
        ASSERT_TRUE(MakeLink(FRoot + "/gone", dev + "/e:"));
        ASSERT_TRUE(MakeLink(FRoot, dev + "/y:"));
        ASSERT_TRUE(MakeLink("/", dev + "/z:"));
        ASSERT_TRUE(MakeLink("/dev/null", dev + "/c::"));
        ASSERT_TRUE(MakeLink("/dev/null", dev + "/com1"));

        const QString c = FPrefix + "/drive_c";
        ASSERT_TRUE(MakeFile(c + "/windows/system32/Kernel32.dll"));
        ASSERT_TRUE(MakeFile(c + "/Program Files/App/app.exe"));
        ASSERT_TRUE(MakeFile(c + QString::fromUtf8("/Über/Café.txt")));
        ASSERT_TRUE(MakeFile(c + "/Tools/tool.exe"));
        ASSERT_TRUE(MakeFile(c + "/tools/other.exe"));
        ASSERT_TRUE(MakeFile(c + "/plain"));
        ASSERT_TRUE(MakeFile(c + "/star*"));
        FMap = TDriveMap::FromFolder(dev, FPrefix);
    }

    QTemporaryDir FTmp;
    QString FRoot, FPrefix;
    TDriveMap FMap;
};

TEST_F(DriveMapTest, DrivesAndTypes)
{
    const QList<TDrive> drives = FMap.Drives();
    QString letters;
    for (const TDrive &d : drives)
        letters += d.Letter;
    EXPECT_EQ(letters, "CDEYZ");  // device links left out, sorted

    const struct { const char *name; QChar letter; TDriveType type; QString root; } cases[] = {
        {"inside the prefix", 'C', TDriveType::Fixed, FPrefix + "/drive_c"},
        {"other folder", 'd', TDriveType::Fixed, FRoot + "/data"},
        {"dangling link", 'E', TDriveType::NoRootDir, FRoot + "/gone"},
        {"holds the prefix", 'Y', TDriveType::Remote, FRoot},
        {"the root", 'Z', TDriveType::Remote, "/"},
        {"no such letter", 'Q', TDriveType::NoRootDir, QString()},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FMap.DriveType(c.letter), c.type);
        EXPECT_EQ(FMap.HostRoot(c.letter), c.root);
    }
}

TEST_F(DriveMapTest, WineTypesWin)
{
    const QHash<QChar, QString> types = {{'d', "cdrom"}, {'Z', "hd"}, {'y', "floppy"}, {'c', "network"},
                                         {'e', "hd"}};
    const TDriveMap map = TDriveMap::FromFolder(FPrefix + "/dosdevices", FPrefix, types);
    EXPECT_EQ(map.DriveType('D'), TDriveType::CdRom);
    EXPECT_EQ(map.DriveType('Z'), TDriveType::Remote);  // "/" is never fixed, whatever the registry says
    EXPECT_EQ(map.DriveType('Y'), TDriveType::Removable);
    EXPECT_EQ(map.DriveType('C'), TDriveType::Remote);
    EXPECT_EQ(map.DriveType('E'), TDriveType::NoRootDir);  // no root, whatever the registry says
}

TEST_F(DriveMapTest, NoDosdevicesGivesOnlyZ)
{
    const TDriveMap map = TDriveMap::FromFolder(FRoot + "/nothing/dosdevices", FRoot + "/nothing");
    ASSERT_EQ(map.Drives().size(), 1);
    EXPECT_EQ(map.Drives()[0].Letter, QChar('Z'));
    EXPECT_EQ(map.Drives()[0].HostRoot, "/");
    EXPECT_EQ(map.Drives()[0].Type, TDriveType::Remote);
    EXPECT_EQ(map.ToHost("Z:\\").HostPath, "/");
}

TEST_F(DriveMapTest, ToHostTable)
{
    const QString c = FPrefix + "/drive_c";
    const struct { const char *name; QString path; TPathState state; QString host; } cases[] = {
        {"exact", "C:\\windows\\system32\\Kernel32.dll", TPathState::Resolved, c + "/windows/system32/Kernel32.dll"},
        {"other case", "c:\\WINDOWS\\System32\\KERNEL32.DLL", TPathState::Resolved, c + "/windows/system32/Kernel32.dll"},
        {"folder with trailing separator", "C:\\Windows\\", TPathState::Resolved, c + "/windows"},
        {"repeated separators and slashes", "C:\\\\windows//system32\\", TPathState::Resolved, c + "/windows/system32"},
        {"dot and dot-dot", "C:\\windows\\.\\system32\\..\\..\\windows", TPathState::Resolved, c + "/windows"},
        {"dot-dot above the root", "C:\\..\\..\\windows", TPathState::Resolved, c + "/windows"},
        {"drive root", "C:\\", TPathState::Resolved, c},
        {"bare drive", "C:", TPathState::Resolved, c},
        {"blank in a name", "C:\\program files\\app\\APP.EXE", TPathState::Resolved, c + "/Program Files/App/app.exe"},
        {"non-ASCII name", "C:\\über\\CAFÉ.TXT", TPathState::Resolved, c + QString::fromUtf8("/Über/Café.txt")},
        {"first case match in name order", "C:\\TOOLS\\tool.exe", TPathState::Resolved, c + "/Tools/tool.exe"},
        {"only the first case match is tried", "C:\\TOOLS\\other.exe", TPathState::Missing, c + "/Tools/other.exe"},
        {"missing file", "C:\\windows\\gone.dll", TPathState::Missing, c + "/windows/gone.dll"},
        {"missing folder", "C:\\Gone\\x\\y.dll", TPathState::Missing, c + "/Gone/x/y.dll"},
        {"file used as a folder", "C:\\plain\\x", TPathState::Missing, c + "/plain/x"},
        {"file with a trailing separator", "C:\\Plain\\", TPathState::Missing, c + "/Plain"},
        {"file followed by a dot", "C:\\plain\\.", TPathState::Missing, c + "/plain"},
        {"trailing dot and blank of the last name", "C:\\plain. .", TPathState::Resolved, c + "/plain"},
        {"trailing dot of a folder name", "C:\\windows.\\system32", TPathState::Resolved, c + "/windows/system32"},
        {"three dots are a name", "C:\\windows\\...\\x", TPathState::Missing, c + "/windows/.../x"},
        {"folder followed by dot-dot", "C:\\windows\\system32\\..", TPathState::Resolved, c + "/windows"},
        {"wildcard is no name", "C:\\windows\\*.dll", TPathState::Missing, c + "/windows/*.dll"},
        {"host name with a wildcard", "C:\\star*", TPathState::Missing, c + "/star*"},
        {"NUL cuts nothing short", QString("C:\\windows") + QChar(0) + "x", TPathState::Missing,
         c + "/windows" + QChar(0) + "x"},
        {"short name", "C:\\PROGRA~1\\App\\app.exe", TPathState::CannotTell, c + "/PROGRA~1/App/app.exe"},
        {"short name with extension", "C:\\windows\\KERNEL~1.DLL", TPathState::CannotTell, c + "/windows/KERNEL~1.DLL"},
        {"tilde but not short", "C:\\windows\\longer~name1.dll", TPathState::Missing, c + "/windows/longer~name1.dll"},
        {"UNC", "\\\\server\\share\\x.exe", TPathState::NotLocal, QString()},
        {"relative", "windows\\x.exe", TPathState::NotLocal, QString()},
        {"drive-relative", "C:windows", TPathState::NotLocal, QString()},
        {"dangling drive", "E:\\x.txt", TPathState::NotLocal, QString()},
        {"unknown drive", "Q:\\x.txt", TPathState::NotLocal, QString()},
        {"empty", "", TPathState::NotLocal, QString()},
        {"Z: is the host root", "Z:\\", TPathState::Resolved, "/"},
        {"Z: reaches the prefix", "Z:" + QString(c).replace('/', '\\') + "\\PLAIN",
         TPathState::Resolved, c + "/plain"},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        const TPathMapping m = FMap.ToHost(row.path);
        EXPECT_EQ(m.State, row.state);
        if (row.state != TPathState::NotLocal) {
            EXPECT_EQ(m.HostPath, row.host);
        }
    }
}

TEST_F(DriveMapTest, CacheSeesChanges)
{
    const QString c = FPrefix + "/drive_c";
    EXPECT_EQ(FMap.ToHost("C:\\WINDOWS\\new.txt").State, TPathState::Missing);
    ASSERT_TRUE(MakeFile(c + "/windows/New.txt"));
    EXPECT_EQ(FMap.ToHost("C:\\WINDOWS\\new.txt").HostPath, c + "/windows/New.txt");
    ASSERT_TRUE(QFile::remove(c + "/windows/New.txt"));
    EXPECT_EQ(FMap.ToHost("C:\\WINDOWS\\new.txt").State, TPathState::Missing);
}

TEST_F(DriveMapTest, ToHostFromManyThreads)
{
    const QString c = FPrefix + "/drive_c";
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(MakeFile(c + QString("/many/File%1.txt").arg(i)));
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round)
                for (int i = 0; i < 50; ++i) {
                    const TPathMapping m = FMap.ToHost(QString("C:\\MANY\\file%1.TXT").arg((i + t) % 50));
                    if (m.State != TPathState::Resolved
                        || m.HostPath != c + QString("/many/File%1.txt").arg((i + t) % 50))
                        ++wrong;
                }
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(wrong, 0);
}

TEST_F(DriveMapTest, ToWindowsTable)
{
    const QString c = FPrefix + "/drive_c";
    const struct { const char *name; QString host; const char *windows; } cases[] = {
        {"drive root", c, "C:\\"},
        {"file in the prefix", c + "/windows/system32/Kernel32.dll", "C:\\windows\\system32\\Kernel32.dll"},
        {"longest target wins over Y: and Z:", c + "/windows/", "C:\\windows"},
        {"other drive", FRoot + "/data/x.txt", "D:\\x.txt"},
        {"below Y: only", FRoot + "/elsewhere", "Y:\\elsewhere"},
        {"Z: last", "/usr/share", "Z:\\usr\\share"},
        {"host root", "/", "Z:\\"},
        {"name Windows cannot hold", c + "/a:b", ""},
        {"folder Win32 would read without its dot", c + "/b./a.txt", ""},
        {"name Win32 would read without its blank", c + "/c ", ""},
        {"relative", "drive_c/x", ""},
    };
    for (const auto &row : cases) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FMap.ToWindows(row.host), QString::fromUtf8(row.windows));
    }
}

TEST_F(DriveMapTest, ToWindowsThroughALinkedPrefix)
{
    ASSERT_TRUE(QFile::link(FPrefix, FRoot + "/wine-link"));
    EXPECT_EQ(FMap.ToWindows(FRoot + "/wine-link/drive_c/windows/not-yet.txt"), "C:\\windows\\not-yet.txt");
    // A linked folder inside a drive keeps the path it was reached by.
    ASSERT_TRUE(QDir().mkpath(FRoot + "/data/docs"));
    ASSERT_TRUE(QFile::link(FRoot + "/data/docs", FPrefix + "/drive_c/Documents"));
    EXPECT_EQ(FMap.ToWindows(FPrefix + "/drive_c/Documents/a.txt"), "C:\\Documents\\a.txt");
}

TEST(DriveMapNames, ShortNamesAndWindowsNames)
{
    const struct { const char *name; bool shortName; } shortCases[] = {
        {"PROGRA~1", true}, {"MICROS~2.DLL", true}, {"A~12345", true}, {"~1", true},
        {"PROGRA~", false}, {"PROGRAM~1X", false}, {"LONGNAME~1", false}, {"X~1.HTML", false},
        {"plain.txt", false}, {"A.B~1.C", false},
    };
    for (const auto &c : shortCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TDriveMap::LooksLikeShortName(c.name), c.shortName);
    }
    const struct { const char *name; bool ok; } nameCases[] = {
        {"normal name.txt", true}, {"a\\b", false}, {"a:b", false}, {"a*", false}, {"a?", false},
        {"a\"b", false}, {"a<b", false}, {"a>b", false}, {"a|b", false}, {"a\tb", false}, {"", false},
    };
    for (const auto &c : nameCases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TDriveMap::IsWindowsName(c.name), c.ok);
    }
}

}  // namespace

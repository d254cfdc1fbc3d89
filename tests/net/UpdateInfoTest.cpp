// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the update information file, the version comparisons, download names and the safe blacklist install.
#include "net/UpdateInfo.h"

#include "UpdateTestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace UpdateInfo;
using namespace UpdateTestSupport;

namespace {

// A fetch that writes bytes and then succeeds or fails.
TFetch Serving(const QByteArray &bytes, bool succeed = true)
{
    return [bytes, succeed](QIODevice *stream, QString *error) {
        stream->write(bytes);
        if (!succeed)
            *error = QStringLiteral("connection reset");
        return succeed;
    };
}

const QByteArray OldBlacklist = "[General]\r\nVersion=Release 3\r\nRegistry=,old\r\n";
const QByteArray NewBlacklist = "[General]\r\nVersion=Release 4\r\nRegistry=,new\r\n";

} // namespace

TEST(UpdateInfoTest, UpdateFileTable)
{
    QTemporaryDir dir;
    const struct {
        const char *name;
        QByteArray file;
        QString current, currentBlacklist;
        int result;
        const char *version, *blacklist;
    } cases[] = {
        {"newer program", "[UpdateInfo]\r\nVersion=1.2.0.0\r\nBlacklist=Release 3\r\n", "1.1.9.9", "Release 3", 3,
         "1.2.0.0", "Release 3"},
        {"newer blacklist", "[UpdateInfo]\r\nVersion=1.1.0.0\r\nBlacklist=Release 12\r\n", "1.1.0.0", "Release 3", 4,
         "1.1.0.0", "Release 12"},
        {"both newer", "[updateinfo]\r\nversion=2.0.0.0\r\nblacklist=Release 4\r\n", "1.1.0.0", "Release 3", 5,
         "2.0.0.0", "Release 4"},
        {"neither", "[UpdateInfo]\r\nVersion=1.1.0.0\r\nBlacklist=Release 3\r\n", "1.1.0.0", "Release 3", 2, "1.1.0.0",
         "Release 3"},
        {"older program is no update", "[UpdateInfo]\r\nVersion=1.5.0.0\r\n", "2.1.0.0", "Release 3", 2, "1.5.0.0", "N/A"},
        {"missing blacklist file: Release 0", "[UpdateInfo]\r\nBlacklist=Release 1\r\n", "1.0.0.0", "Release 0", 4, "N/A",
         "Release 1"},
        {"garbage", "<html><body>Not found</body></html>", "1.0.0.0", "Release 3", 2, "N/A", "N/A"},
        {"unparsable versions offer nothing", "[UpdateInfo]\r\nVersion=9.x\r\nBlacklist=Release nine\r\n", "1.0.0.0",
         "Release 3", 2, "9.x", "Release nine"},
        {"a broken current blacklist is replaced", "[UpdateInfo]\r\nBlacklist=Release 1\r\n", "1.0.0.0", "Release ?", 4,
         "N/A", "Release 1"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString file = dir.filePath(QStringLiteral("Vaskimo.upd"));
        WriteFile(file, c.file);
        const TUpdateInfo info = ReadUpdateInfo(file);
        EXPECT_EQ(info.Version, QLatin1String(c.version));
        EXPECT_EQ(info.Blacklist, QLatin1String(c.blacklist));
        EXPECT_EQ(ResultFor(CompareVersions(c.current, info.Version, c.currentBlacklist, info.Blacklist)), c.result);
    }
}

TEST(UpdateInfoTest, AllKeysAndDefaults)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Vaskimo.upd"));
    WriteFile(file, "[UpdateInfo]\r\nVersion=1.2.3.4\r\nUpdateURL=http://h/VaskimoSetup.exe\r\n"
                    "ReadmeURL=http://h/readme.html\r\nDetails=Bug fixes\r\nBlacklist=Release 7\r\n"
                    "BlackDownloadURL=http://h/BlackLst.vkb\r\n");
    const TUpdateInfo info = ReadUpdateInfo(file);
    EXPECT_EQ(info.UpdateURL, QStringLiteral("http://h/VaskimoSetup.exe"));
    EXPECT_EQ(info.ReadmeURL, QStringLiteral("http://h/readme.html"));
    EXPECT_EQ(info.Details, QStringLiteral("Bug fixes"));
    EXPECT_EQ(info.BlackDownloadURL, QStringLiteral("http://h/BlackLst.vkb"));
    const TUpdateInfo none = ReadUpdateInfo(dir.filePath(QStringLiteral("missing.upd")));
    EXPECT_EQ(none.UpdateURL, NotAvailable);
    EXPECT_EQ(none.Details, NotAvailable);
}

TEST(UpdateInfoTest, VersionTexts)
{
    const struct { const char *text; bool ok; TVersion v; } versions[] = {
        {"1.2.3.4", true, {1, 2, 3, 4}},  {"2.0", true, {2, 0, 0, 0}},    {"10.0.0.11", true, {10, 0, 0, 11}},
        {"N/A", false, {}},              {"1.2.3.4.5", false, {}},        {"1..2", false, {}},
        {"1.2.3.x", false, {}},          {" 1.2", false, {}},             {"4294967296.0.0.0", false, {}},
        {"", false, {}},
    };
    for (const auto &c : versions) {
        SCOPED_TRACE(c.text);
        const std::optional<TVersion> v = ParseProgramVersion(QLatin1String(c.text));
        ASSERT_EQ(v.has_value(), c.ok);
        if (c.ok) {
            EXPECT_EQ(*v, c.v);
        }
    }
    const struct { const char *text; std::optional<quint32> release; } releases[] = {
        {"Release 0", 0u}, {"Release 17", 17u}, {"release 5", 5u}, {"Release  8 ", 8u},
        {"Release", std::nullopt}, {"Release -1", std::nullopt}, {"N/A", std::nullopt}, {"Rel 3", std::nullopt},
    };
    for (const auto &c : releases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseRelease(QLatin1String(c.text)), c.release);
    }
    // Compared number by number from the first: a later larger component never makes an older version newer.
    EXPECT_TRUE(CompareVersions("2.1.0.0", "2.2.0.0", "Release 1", "Release 1").NewProgram);
    EXPECT_FALSE(CompareVersions("2.1.0.0", "1.5.0.0", "Release 1", "Release 1").NewProgram);
    EXPECT_FALSE(CompareVersions("2.1.0.5", "2.0.9.9", "Release 1", "Release 1").NewProgram);
    EXPECT_TRUE(CompareVersions("2.1.0.5", "2.1.0.6", "Release 1", "Release 1").NewProgram);
    EXPECT_FALSE(CompareVersions("1.0.0.0", "1.0.0.0", "Release 2", "Release 1").NewBlacklist);
}

TEST(UpdateInfoTest, BlacklistVersionOfTheProgramFolder)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("BlackLst.vkb"));
    EXPECT_EQ(BlacklistVersion(file), QStringLiteral("Release 0"));
    WriteFile(file, "[General]\r\nRegistry=,a\r\n");
    EXPECT_EQ(BlacklistVersion(file), QStringLiteral("Release 0"));
    WriteFile(file, OldBlacklist);
    EXPECT_EQ(BlacklistVersion(file), QStringLiteral("Release 3"));
}

TEST(UpdateInfoTest, DownloadFileNames)
{
    const struct { const char *url, *name; } cases[] = {
        {"http://h/files/VaskimoSetup.exe", "VaskimoSetup.exe"},
        {"http://h:8080/a\\b.zip", "b.zip"},
        {"http://h/files/", ""},
        {"http://h/files/..", ""},
        {"http://h/.", ""},
        {"http://h/get?f=x.exe", ""},
        {"http://h/a\"b", ""},
        {"http://h/options.INI", ""},
        {"http://h/BlackLst.vkb", ""},
        {"http://h/Vaskimo.upd", ""},
        {"http://h/vaskimo", ""},
        {"http://h/Vaskimo-2.0.exe", "Vaskimo-2.0.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(DownloadFileName(QLatin1String(c.url)), QLatin1String(c.name));
    }
}

TEST(UpdateInfoTest, DownloadLeavesNoPartialFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("VaskimoSetup.exe"));
    WriteFile(target, "old installer");
    QString error;
    EXPECT_FALSE(DownloadToFile(target, Serving("half of it", false), &error));
    EXPECT_EQ(error, QStringLiteral("connection reset"));
    EXPECT_EQ(ReadFile(target), QByteArray("old installer"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"VaskimoSetup.exe"});
    // A check that finds the download wrong keeps the old file too.
    EXPECT_FALSE(DownloadToFile(target, Serving("new installer"), &error, [](QIODevice &f) {
        f.seek(0);
        return f.readAll() == "new installer" ? QStringLiteral("no good") : QString();
    }));
    EXPECT_EQ(error, QStringLiteral("no good"));
    EXPECT_EQ(ReadFile(target), QByteArray("old installer"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"VaskimoSetup.exe"});
    EXPECT_TRUE(DownloadToFile(target, Serving("new installer"), &error));
    EXPECT_EQ(ReadFile(target), QByteArray("new installer"));
    EXPECT_FALSE(DownloadToFile(dir.filePath(QStringLiteral("no/such/folder/x.exe")), Serving("x"), &error));
}

TEST(UpdateInfoTest, OnlyAWindowsProgramIsAProgramUpdate)
{
    const QByteArray pe = WindowsProgram(0x100, '\0');
    QByteArray farOff = pe;
    farOff[0x3D] = char(0x10);  // 0x1080: past the end
    QByteArray sixteenBit = pe;
    sixteenBit.replace(0x80, 2, "NE");
    const QString page = "The download is a web page, not a Windows program.";
    const QString notProgram = "The download is not a Windows program.";
    const QString noSignature = "The download is not a Windows program (no PE signature).";
    const struct { const char *name; QByteArray bytes; QString problem; } cases[] = {
        {"a Windows program", pe, {}},
        {"a captive portal's page", "<!DOCTYPE html>\n<html><body>Sign in to the hotel network</body></html>", page},
        {"an error page after blank lines", "\r\n\r\n<html><body>404</body></html>" + QByteArray(64, ' '), page},
        {"a zip archive", "PK\x03\x04" + QByteArray(100, 'z'), notProgram},
        {"only the two letters", "MZ", notProgram},
        {"a header pointing past the end", farOff, noSignature},
        {"a 16-bit program", sixteenBit, noSignature},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QBuffer file;
        file.setData(c.bytes);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(WindowsProgramProblem(file), c.problem);
    }
    // A program Wine built for Windows.
    QFile notepad(QStringLiteral("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe"));
    if (notepad.open(QIODevice::ReadOnly)) {
        EXPECT_EQ(WindowsProgramProblem(notepad), QString());
    }
}

TEST(UpdateInfoTest, BlacklistInstall)
{
    const struct {
        const char *name;
        TFetch fetch;
        bool renameWorks;
        TBlacklistInstall outcome;
        QByteArray after;
    } cases[] = {
        {"installed", Serving(NewBlacklist), true, TBlacklistInstall::Installed, NewBlacklist},
        {"failed download keeps the old one", Serving(NewBlacklist.left(20), false), true,
         TBlacklistInstall::DownloadFailed, OldBlacklist},
        {"an error page is no blacklist", Serving("<html>Proxy login</html>"), true, TBlacklistInstall::NotABlacklist,
         OldBlacklist},
        {"failed replace keeps the old one", Serving(NewBlacklist), false, TBlacklistInstall::ReplaceFailed, OldBlacklist},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.path() + u'/';
        WriteFile(folder + "BlackLst.vkb", OldBlacklist);
        WriteFile(folder + "BlackLst.tmp", "left over from an earlier run");
        if (!c.renameWorks)
            SetRenameForTests([](const QString &, const QString &) { return false; });
        QString error;
        EXPECT_EQ(InstallBlacklist(folder, c.fetch, &error), c.outcome);
        SetRenameForTests({});
        EXPECT_EQ(ReadFile(folder + "BlackLst.vkb"), c.after);
        EXPECT_FALSE(QFile::exists(folder + "BlackLst.tmp"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("BlackLst.vkb")});
    }
}

TEST(UpdateInfoTest, BlacklistInstallNeedsTheProgramFolder)
{
    QString error;
    bool fetched = false;
    const TFetch fetch = [&](QIODevice *, QString *) { return fetched = true; };
    EXPECT_EQ(InstallBlacklist(QString(), fetch, &error), TBlacklistInstall::DownloadFailed);
    EXPECT_EQ(InstallBlacklist(QStringLiteral("relative/"), fetch, &error), TBlacklistInstall::DownloadFailed);
    EXPECT_FALSE(fetched);
}

TEST(UpdateInfoTest, BlacklistInstallWithoutAnOldOne)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QString error;
    EXPECT_EQ(InstallBlacklist(folder, Serving(NewBlacklist), &error), TBlacklistInstall::Installed);
    EXPECT_EQ(BlacklistVersion(folder + "BlackLst.vkb"), QStringLiteral("Release 4"));
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the update information file, the version comparisons, download names and the safe blacklist install.
#include "net/UpdateInfo.h"

#include "UpdateTestFiles.h"
#include "support/Needs.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QTemporaryDir>
#include <QtEndian>

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
        {"http://h/files/VaskimoSetup.exe?from=update&v=2", "VaskimoSetup.exe"},
        {"http://h/files/VaskimoSetup.exe#top", "VaskimoSetup.exe"},
        {"http://h/files/Vaskimo%20Setup.exe", "Vaskimo Setup.exe"},
        {"http://h:8080/a\\b.zip", "b.zip"},
        {"http://h:8080", ""},
        {"http://h/files/", ""},
        {"http://h/files/..", ""},
        {"http://h/.", ""},
        {"http://h/get?f=x.exe", "get"},
        {"http://h/a%2Fb.exe", ""},
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
    const struct { const char *value, *name; } dispositions[] = {
        {"attachment; filename=\"VaskimoSetup.exe\"", "VaskimoSetup.exe"},
        {"attachment; filename=VaskimoSetup.exe", "VaskimoSetup.exe"},
        {"attachment; filename=\"a;b \\\"c\\\".exe\"", ""},
        {"attachment; filename=\"a;b.exe\"; size=3", "a;b.exe"},
        {"attachment; filename=\"plain.exe\"; filename*=UTF-8''Vaskimo%E2%82%AC.exe", "Vaskimo\u20ac.exe"},
        {"attachment; FILENAME*=iso-8859-1'en'%E4.exe", "\u00e4.exe"},
        {"attachment; filename=\"..\\\\..\\\\Windows\\\\evil.exe\"", "evil.exe"},
        {"attachment; filename=\"/etc/passwd\"", "passwd"},
        {"attachment; filename=\"Options.ini\"", ""},
        {"inline", ""},
        {"", ""},
    };
    for (const auto &c : dispositions) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(DispositionFileName(QString::fromUtf8(c.value)), QString::fromUtf8(c.name));
    }
    // A name that starts through Wine: the address's, else the reply's, else where it came from.
    const struct { const char *address, *disposition, *final, *name; } programs[] = {
        {"http://h/files/VaskimoSetup.exe?x=1", "", "http://h/files/VaskimoSetup.exe?x=1", "VaskimoSetup.exe"},
        {"http://h/download.php?id=7", "attachment; filename=\"Vaskimo-2.0.exe\"", "", "Vaskimo-2.0.exe"},
        {"http://h/exe302", "", "http://h/files/VaskimoSetup.exe", "VaskimoSetup.exe"},
        {"http://h/latest", "", "http://h/latest", "latest.exe"},
        {"http://h/", "", "http://h/", ""},
        {"http://h/", "attachment; filename=Setup.exe", "http://h/", "Setup.exe"},
    };
    for (const auto &c : programs) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(ProgramFileName(QLatin1String(c.address), QLatin1String(c.disposition), QLatin1String(c.final)),
                  QLatin1String(c.name));
    }
}

TEST(UpdateInfoTest, DownloadLeavesNoPartialFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("Vaskimo.upd"));
    WriteFile(target, "old file");
    QString error;
    EXPECT_FALSE(DownloadToFile(target, Serving("half of it", false), &error));
    EXPECT_EQ(error, QStringLiteral("connection reset"));
    EXPECT_EQ(ReadFile(target), QByteArray("old file"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Vaskimo.upd"});
    EXPECT_TRUE(DownloadToFile(target, Serving("new file"), &error));
    EXPECT_EQ(ReadFile(target), QByteArray("new file"));
    EXPECT_FALSE(DownloadToFile(dir.filePath(QStringLiteral("no/such/folder/x.upd")), Serving("x"), &error));
    EXPECT_TRUE(error.endsWith(QStringLiteral("x.upd\": No such file or directory"))) << error.toStdString();
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
        EXPECT_EQ(WindowsProgramProblem(c.bytes), c.problem);
    }
}

// Where only the close ended the download, a program is whole only when it is as long as its own
// headers say. Wine's notepad.exe: 17 sections end at 430080, its 2943 COFF symbols at 483054, and
// the string table after them, whose length its first four bytes give, at 490403, the file's size.
TEST(UpdateInfoTest, AProgramCutShortIsToldByItsHeaders)
{
    QFile notepad(QStringLiteral("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe"));
    if (!notepad.open(QIODevice::ReadOnly))
        VASKIMO_MISSING("Wine's notepad.exe is not installed (Debian package wine64)");
    const QByteArray whole = notepad.readAll();
    EXPECT_EQ(WindowsProgramProblem(whole, false), QString());
    for (const qsizetype cut : {qsizetype(4096), qsizetype(200000), qsizetype(430079), qsizetype(430080),
                                qsizetype(483057), qsizetype(483058), whole.size() - 1}) {
        SCOPED_TRACE(cut);
        // Until the string table's length arrived, its first four bytes are all the headers tell of it.
        EXPECT_EQ(WindowsProgramProblem(whole.left(cut), false),
                  QStringLiteral("The download is cut short: its Windows program headers call for at least %1 bytes, "
                                 "%2 arrived.")
                      .arg(cut < 483058 ? 483058 : whole.size())
                      .arg(cut));
        EXPECT_EQ(WindowsProgramProblem(whole.left(cut), true), QString()) << "a length the server gave is checked by the client";
    }
    // A signed program ends with its certificate table, which data directory 4 places by file offset.
    QByteArray signedProgram = whole;
    const qint64 optional = qFromLittleEndian<quint32>(whole.constData() + 0x3C) + 24;
    QByteArray directory(8, '\0');
    qToLittleEndian<quint32>(quint32(whole.size()), directory.data());
    qToLittleEndian<quint32>(quint32(2048), directory.data() + 4);
    signedProgram.replace(optional + 112 + 8 * 4, 8, directory);
    signedProgram += QByteArray(2048, 'c');
    EXPECT_EQ(WindowsProgramProblem(signedProgram, false), QString());
    EXPECT_FALSE(WindowsProgramProblem(signedProgram.left(signedProgram.size() - 1), false).isEmpty());
    // Headers that cannot be read are no proof of a whole file.
    EXPECT_EQ(WindowsProgramProblem(WindowsProgram(0x100, '\0'), false),
              QStringLiteral("The download ended with the connection, and its Windows program headers cannot be read to "
                             "tell whether it is whole."));
}

TEST(UpdateInfoTest, ProgramDownloadTakesItsNameFromTheReplyAndKeepsOldFiles)
{
    QFile notepad(QStringLiteral("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe"));
    const QByteArray program = notepad.open(QIODevice::ReadOnly) ? notepad.readAll() : WindowsProgram(5000);
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    const QByteArray earlier = WindowsProgram(3000, 'o');
    WriteFile(folder + "Vaskimo-2.0.exe", earlier);
    TReplyFacts reply;
    reply.ContentDisposition = QStringLiteral("attachment; filename=\"Vaskimo-2.0.exe\"");
    int asked = 0;
    const TFacts facts = [&] {
        ++asked;
        return reply;
    };
    const QString address = QStringLiteral("http://h/download.php?id=7");
    QString name, error;
    const struct { const char *name; TFetch fetch; bool lengthKnown; QString why; } failures[] = {
        {"the connection failed", Serving(program.left(1000), false), true, "connection reset"},
        {"a web page", Serving("<html>Sign in</html>"), true, "The download is a web page, not a Windows program."},
        {"cut short without a length", Serving(program.left(program.size() / 2)), false,
         QStringLiteral("The download is cut short: its Windows program headers call for at least %1 bytes, %2 arrived.")
             .arg(483058)
             .arg(program.size() / 2)},
    };
    for (const auto &c : failures) {
        SCOPED_TRACE(c.name);
        if (c.name == std::string("cut short without a length") && !notepad.isOpen())
            continue;
        reply.LengthKnown = c.lengthKnown;
        EXPECT_FALSE(DownloadProgram(folder, address, c.fetch, facts, &name, &error));
        EXPECT_EQ(error, c.why);
        EXPECT_EQ(ReadFile(folder + "Vaskimo-2.0.exe"), earlier);
        EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Vaskimo-2.0.exe"});
    }
    reply.LengthKnown = false;
    ASSERT_TRUE(DownloadProgram(folder, address, Serving(program), facts, &name, &error)) << error.toStdString();
    EXPECT_EQ(name, QStringLiteral("Vaskimo-2.0.exe"));
    EXPECT_EQ(ReadFile(folder + name), program);
    EXPECT_GE(asked, 1);
    // No name anywhere: nothing is written at all.
    reply = {};
    EXPECT_FALSE(DownloadProgram(folder, QStringLiteral("http://h/"), Serving(program), facts, &name, &error));
    EXPECT_EQ(error, QStringLiteral("The download address names no file that can be saved."));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{"Vaskimo-2.0.exe"});
}

TEST(UpdateInfoTest, BlacklistInstall)
{
    const TFacts framed = [] { return TReplyFacts(); };
    const TFacts closeEnded = [] {
        TReplyFacts facts;
        facts.LengthKnown = false;
        return facts;
    };
    const struct {
        const char *name;
        TFetch fetch;
        TFacts facts;
        TBlacklistInstall outcome;
        QByteArray after;
    } cases[] = {
        {"installed", Serving(NewBlacklist), framed, TBlacklistInstall::Installed, NewBlacklist},
        {"installed, whole, without a length", Serving(NewBlacklist), closeEnded, TBlacklistInstall::Installed, NewBlacklist},
        {"failed download keeps the old one", Serving(NewBlacklist.left(20), false), framed,
         TBlacklistInstall::DownloadFailed, OldBlacklist},
        {"an error page is no blacklist", Serving("<html>Proxy login</html>"), framed, TBlacklistInstall::NotABlacklist,
         OldBlacklist},
        {"cut short without a length", Serving(NewBlacklist.left(NewBlacklist.size() - 3)), closeEnded,
         TBlacklistInstall::NotABlacklist, OldBlacklist},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString folder = dir.path() + u'/';
        WriteFile(folder + "BlackLst.vkb", OldBlacklist);
        WriteFile(folder + "BlackLst.tmp", "left over from an earlier run");
        QString error;
        EXPECT_EQ(InstallBlacklist(folder, c.fetch, c.facts, &error), c.outcome);
        EXPECT_EQ(ReadFile(folder + "BlackLst.vkb"), c.after);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("BlackLst.vkb")});
    }
    // The rename itself fails for real: "BlackLst.vkb" is a folder.
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    ASSERT_TRUE(QDir().mkpath(folder + "BlackLst.vkb/inside"));
    QString error;
    EXPECT_EQ(InstallBlacklist(folder, Serving(NewBlacklist), framed, &error), TBlacklistInstall::ReplaceFailed);
    EXPECT_EQ(error, QStringLiteral("\"%1BlackLst.vkb\" could not be replaced: Is a directory").arg(folder));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList());
}

// Every cut that ends inside a line is told: the last line lost its end, a key lost its "=", an entry
// its closing quote. A cut right after a line end leaves whole lines, which only a length could tell.
TEST(UpdateInfoTest, ABlacklistCutInsideALineIsNoBlacklist)
{
    const QByteArray blacklist = "[General]\r\nVersion=Release 4\r\nRegistry=,new,\"program files\"\r\n"
                                 "; skipped by the finder\r\nUnnecessary=,\"c:\\my temp\",backup\r\n";
    EXPECT_EQ(BlacklistStructureProblem(blacklist), QString());
    for (qsizetype cut = 1; cut < blacklist.size(); ++cut) {
        if (blacklist.at(cut - 1) == '\n')
            continue;
        SCOPED_TRACE(blacklist.left(cut).toStdString());
        EXPECT_TRUE(BlacklistStructureProblem(blacklist.left(cut)).endsWith(QStringLiteral("the download was cut short.")));
    }
}

TEST(UpdateInfoTest, BlacklistInstallNeedsTheProgramFolder)
{
    QString error;
    bool fetched = false;
    const TFetch fetch = [&](QIODevice *, QString *) { return fetched = true; };
    EXPECT_EQ(InstallBlacklist(QString(), fetch, {}, &error), TBlacklistInstall::DownloadFailed);
    EXPECT_EQ(InstallBlacklist(QStringLiteral("relative/"), fetch, {}, &error), TBlacklistInstall::DownloadFailed);
    EXPECT_FALSE(fetched);
}

TEST(UpdateInfoTest, BlacklistInstallWithoutAnOldOne)
{
    QTemporaryDir dir;
    const QString folder = dir.path() + u'/';
    QString error;
    EXPECT_EQ(InstallBlacklist(folder, Serving(NewBlacklist), {}, &error), TBlacklistInstall::Installed);
    EXPECT_EQ(BlacklistVersion(folder + "BlackLst.vkb"), QStringLiteral("Release 4"));
}

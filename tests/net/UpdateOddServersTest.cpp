// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window, driven offscreen, against servers that misbehave on purpose, nginx, squid and a full disk: what lands is what the servers hold, byte for byte, or nothing, with the reason.
#include "net/Update.h"

#include "HttpPeers.h"
#include "NetNamespace.h"
#include "OddServers.h"
#include "PeerProcess.h"
#include "UpdateTestSupport.h"
#include "support/MessageBoxCatcher.h"
#include "support/PrefixBuilder.h"
#include "support/SmallDisk.h"

#include "platform/IniFile.h"
#include "net/AutoUpdate.h"
#include "shell/Main.h"
#include "shell/Settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using TestSupport::TBoxes;
using namespace OddServers;
using namespace UpdateTestSupport;

namespace {

const QByteArray OldBlacklist = "[General]\r\nVersion=Release 3\r\nRegistry=,old\r\n";
const QByteArray NewBlacklist = "[General]\r\nVersion=Release 4\r\nRegistry=,new,\"program files\"\r\n"
                                "Unnecessary=,\"c:\\my temp\",backup\r\n";
// A program Wine built for Windows, with sections and a COFF string table: a real Windows program.
const QString Notepad = QStringLiteral("/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/notepad.exe");
// Every case ends well inside this, or fails: a stall never waits for the minute of the real limits.
constexpr int CaseLimitMs = 30000;

QByteArray InfoFile(const QByteArray &base)
{
    return "[UpdateInfo]\r\nVersion=99.0.0.0\r\nUpdateURL=" + base + "/files/VaskimoSetup.exe\r\nReadmeURL=" + base +
           "/readme.html\r\nDetails=Faster scans\r\nBlacklist=Release 4\r\nBlackDownloadURL=" + base +
           "/files/BlackLst.vkb\r\n";
}

class UpdateOddServersTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Program = ReadFile(Notepad);
        if (Program.isEmpty())
            VASKIMO_MISSING("Wine's notepad.exe is not installed (Debian package wine64)");
        const QString root = Nginx.Dir();
        Base = "http://127.0.0.1:" + QByteArray::number(Nginx.Port());
        WriteFile(root + "/www/Vaskimo.upd", InfoFile(Base));
        WriteFile(root + "/www/files/VaskimoSetup.exe", Program);
        WriteFile(root + "/www/files/BlackLst.vkb", NewBlacklist);
        QDir().mkpath(root + "/tmp");
        const QString conf = QStringLiteral(
            "%1master_process off;\npid %2/nginx.pid;\nerror_log %2/error.log;\nevents {}\n"
            "http {\n access_log %2/access.log;\n client_body_temp_path %2/tmp;\n proxy_temp_path %2/tmp;\n"
            " fastcgi_temp_path %2/tmp;\n uwsgi_temp_path %2/tmp;\n scgi_temp_path %2/tmp;\n"
            " server {\n  listen 127.0.0.1:%3;\n  root %2/www;\n"
            "  location = /exe302 { return 302 /files/VaskimoSetup.exe; }\n"
            "  location = /download.php { default_type application/octet-stream;\n"
            "   add_header Content-Disposition 'attachment; filename=\"Vaskimo-2.0.exe\"';\n"
            "   try_files /files/VaskimoSetup.exe =404; }\n"
            " }\n}\n")
                                 .arg(TestPeers::RunningAsRoot() ? QStringLiteral("user root;\n") : QString(), root)
                                 .arg(Nginx.Port());
        WriteFile(root + "/nginx.conf", conf.toLatin1());
        if (!Nginx.Start(QStringLiteral("/usr/sbin/nginx"), {"-p", root, "-c", root + "/nginx.conf", "-g", "daemon off;"})) {
            if (Nginx.Missing())
                VASKIMO_MISSING(Nginx.Why());
            FAIL() << Nginx.Why().toStdString();
        }
        Folder = ProgramFolder.path() + u'/';
        Downloads = Folder + "Downloads/";
        WriteFile(Folder + "BlackLst.vkb", OldBlacklist);
        Settings.FUpdateDir = QStringLiteral("C:\\Vaskimo\\");
    }

    std::unique_ptr<TUpdateIkkuna> Window()
    {
        TUpdateHost host = Recorder.Host(Folder, &Settings, QStringLiteral("1.0.0.0"));
        host.HostFolder = [this](const QString &) { return Downloads; };
        host.Limits.Info.MaxMilliseconds = CaseLimitMs;
        host.Limits.Blacklist.MaxMilliseconds = CaseLimitMs;
        host.Limits.Program.MaxMilliseconds = CaseLimitMs;
        auto w = std::make_unique<TUpdateIkkuna>(nullptr, host);
        w->show();
        return w;
    }

    // What the downloads folder holds: no temporary file may stay beside the real ones.
    QStringList Downloaded() const { return QDir(Downloads).entryList(QDir::Files | QDir::Hidden); }

    TestPeers::TPeerProcess Nginx;
    QByteArray Base, Program;
    QTemporaryDir ProgramFolder;
    QString Folder, Downloads;
    TSettings Settings;
    TRecorder Recorder;
};

} // namespace

TEST_F(UpdateOddServersTest, WhatLandsIsWhatTheServerHolds)
{
    const QString webPage = "The reply is a web page, not an update information file.";
    const struct {
        const char *name;
        TOdd odd;
        const char *infoPath;     // asked of the odd server; null: of nginx, which points the downloads at it
        int result;
        QString checkReason;      // the second line of a failed check
        bool installs;            // else the blacklist and the program are refused, cut short
    } cases[] = {
        {"102 and 103 before each reply", TOdd::InterimReplies, "/Vaskimo.upd", 5, {}, true},
        {"a kept connection closed after each reply, relocated", TOdd::KeepAliveThenClose, "/moved.upd", 5, {}, true},
        {"a kept connection closed at the next request", TOdd::KeepAliveCloseOnNext, "/moved.upd", 5, {}, true},
        {"a network-path Location to nginx", TOdd::NetworkPathLocation, "/Vaskimo.upd", 5, {}, true},
        {"HTTP/1.0 without a length, whole", TOdd::Http10Whole, "/Vaskimo.upd", 5, {}, true},
        {"HTTP/1.0 without a length, cut short", TOdd::Http10CutShort, nullptr, 5, {}, false},
        {"a captive portal", TOdd::CaptivePortal, "/Vaskimo.upd", 1, webPage, false},
        {"a page without a header", TOdd::HeaderLess, "/Vaskimo.upd", 1,
         "The server sent a page without an HTTP reply header (no status line).", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFile(Folder + "BlackLst.vkb", OldBlacklist);
        QDir(Downloads).removeRecursively();
        QMap<QByteArray, QByteArray> files{{"/files/BlackLst.vkb", NewBlacklist}, {"/files/VaskimoSetup.exe", Program}};
        TOddServer odd(c.odd, files, {{"/moved.upd", "/Vaskimo.upd"}}, "127.0.0.1:" + QByteArray::number(Nginx.Port()));
        // Its own information file points at itself, once its port is known.
        odd.Put("/Vaskimo.upd", InfoFile("http://" + odd.HostPort()));
        WriteFile(Nginx.Dir() + "/www/odd.upd", InfoFile("http://" + odd.HostPort()));
        Settings.FUpdateAddress = c.infoPath ? odd.Url(QLatin1String(c.infoPath)) : QString::fromLatin1(Base + "/odd.upd");
        QElapsedTimer clock;
        clock.start();
        TBoxes boxes;
        boxes.Answer = false;
        auto w = Window();
        Click(*w, "btnCheck");
        EXPECT_EQ(w->FUpdateResult, c.result) << w->StatusText().toStdString();
        if (c.result != 5) {
            EXPECT_EQ(w->StatusText(), "Error occured!\n" + c.checkReason);
            EXPECT_EQ(Downloaded(), QStringList());
            continue;
        }
        Click(*w, "btnDownloadBlacklist");
        if (!c.installs) {
            EXPECT_TRUE(w->StatusText().endsWith("the download was cut short.")) << w->StatusText().toStdString();
            EXPECT_EQ(w->FUpdateResult, 1);
        }
        Click(*w, "btnDownload");
        EXPECT_LT(clock.elapsed(), CaseLimitMs);
        if (c.installs) {
            EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), NewBlacklist);
            EXPECT_EQ(ReadFile(Downloads + "VaskimoSetup.exe"), Program);
            EXPECT_EQ(Downloaded(), QStringList{"VaskimoSetup.exe"});
            EXPECT_EQ(w->StatusText(), QStringLiteral("Succesfully downloaded the program update!"));
        } else {
            EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), OldBlacklist);
            EXPECT_EQ(Downloaded(), QStringList());
            EXPECT_TRUE(w->StatusText().startsWith("Error occured!\nThe download is cut short: "));
            EXPECT_TRUE(w->StatusText().endsWith(QStringLiteral(", %1 arrived.").arg(Program.size() / 2)))
                << w->StatusText().toStdString();
            EXPECT_TRUE(boxes.Shown.isEmpty()) << "nothing cut short is offered to run";
        }
        EXPECT_FALSE(QFile::exists(Folder + "BlackLst.tmp"));
    }
    // The network path went to nginx: it served the information file and both downloads.
    const QByteArray log = ReadFile(Nginx.Path("access.log"));
    EXPECT_TRUE(log.contains("\"GET /Vaskimo.upd HTTP/1.0\" 200"));
}

// The Windows program sends its 8-bit strings: "€uro" is 80 75 72 6F in code page 1252 and
// 88 75 72 6F in 1251. squid's basic_ncsa_auth checks them against hashes openssl made of those bytes.
TEST_F(UpdateOddServersTest, SquidTakesAPasswordInThePrefixsCodePage)
{
    TestPeers::TPeerProcess squid;
    const QByteArray passwd = "euro1252:$apr1$vaskimo1$6TP0PXtNVonfh9MGjSyMZ/\neuro1251:$apr1$vaskimo1$mP6bGGYhXipVe1QWQwI2p.\n";
    if (!TestPeers::StartSquid(squid, {.Basic = true}, passwd)) {
        if (squid.Missing())
            VASKIMO_MISSING(squid.Why());
        FAIL() << squid.Why().toStdString();
    }
    const QString euro = QString::fromUtf8("\xe2\x82\xacuro");
    const struct { const char *name; int codePage; const char *user; QString password; int result; QString reason; } cases[] = {
        {"Western", 1252, "euro1252", euro, 5, {}},
        {"Cyrillic", 1251, "euro1251", euro, 5, {}},
        {"a character the code page lacks", 1252, "euro1252", QString::fromUtf8("\xce\xa9mega"), 1,
         "The proxy password holds a character that code page 1252 has no byte for"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TestSupport::TPrefixBuilder prefix;
        prefix.AddString(TestSupport::THive::System, QStringLiteral("System\\CurrentControlSet\\Control\\Nls\\CodePage"),
                         QStringLiteral("ACP"), QString::number(c.codePage));
        prefix.MakeCurrent();
        WriteFile(Folder + "BlackLst.vkb", OldBlacklist);
        QDir(Downloads).removeRecursively();
        Settings.FUpdateAddress = QString::fromLatin1(Base + "/Vaskimo.upd");
        Settings.FUseProxy = true;
        Settings.FProxyServer = QStringLiteral("127.0.0.1");
        Settings.FProxyPort = squid.Port();
        Settings.FProxyUsername = QLatin1String(c.user);
        Settings.FProxyPassword = c.password;
        TBoxes boxes;
        boxes.Answer = false;
        auto w = Window();
        Click(*w, "btnCheck");
        ASSERT_EQ(w->FUpdateResult, c.result) << w->StatusText().toStdString();
        if (c.result != 5) {
            EXPECT_EQ(w->StatusText(), "Error occured!\n" + c.reason);
            continue;
        }
        Click(*w, "btnDownloadBlacklist");
        Click(*w, "btnDownload");
        EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), ReadFile(Nginx.Path("www/files/BlackLst.vkb")));
        EXPECT_EQ(ReadFile(Downloads + "VaskimoSetup.exe"), ReadFile(Nginx.Path("www/files/VaskimoSetup.exe")));
        EXPECT_TRUE(ReadFile(squid.Path("access.log")).contains(QByteArray(" ") + c.user + " "));
    }
}

// The file is named after the address the information file gave, without its query, else after
// the reply's Content-Disposition, else after where a relocation led: always a name Wine starts.
TEST_F(UpdateOddServersTest, DownloadNamesComeFromTheAddressAndTheReply)
{
    const struct { const char *name, *address, *saved; } cases[] = {
        {"an address with a query", "/files/VaskimoSetup.exe?from=update&v=99", "VaskimoSetup.exe"},
        {"a relocated address without a name of its own", "/exe302", "VaskimoSetup.exe"},
        {"a script that names its file", "/download.php?id=7", "Vaskimo-2.0.exe"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QDir(Downloads).removeRecursively();
        TBoxes boxes;
        boxes.Answer = false;
        auto w = Window();
        w->ValueLabel("DownloadURL")->setText(QString::fromLatin1(Base + c.address));
        w->FNewProgram = true;
        w->Button("btnDownload")->setEnabled(true);
        Click(*w, "btnDownload");
        EXPECT_EQ(w->StatusText(), QStringLiteral("Succesfully downloaded the program update!"));
        EXPECT_EQ(ReadFile(Downloads + QLatin1String(c.saved)), Program);
        EXPECT_EQ(Downloaded(), QStringList{QLatin1String(c.saved)});
        ASSERT_EQ(boxes.Shown.size(), 1);
        EXPECT_TRUE(boxes.Shown[0].startsWith(QStringLiteral("File downloaded to \"C:\\Vaskimo\\%1\".").arg(QLatin1String(c.saved))));
    }
}

// A disk with no room left: the reason is the system's, and every file stays as it was.
TEST_F(UpdateOddServersTest, AFullDiskSaysSo)
{
    TestSupport::TSmallDisk disk(QStringLiteral("1m"));
    VASKIMO_NEED_DISK(disk);
    Folder = disk.Path() + u'/';
    Downloads = Folder + "Downloads/";
    WriteFile(Folder + "BlackLst.vkb", OldBlacklist);
    const QByteArray earlier = ReadFile(Notepad).left(1000);
    WriteFile(Downloads + "VaskimoSetup.exe", earlier);
    ASSERT_TRUE(disk.Fill());
    Settings.FUpdateAddress = QString::fromLatin1(Base + "/Vaskimo.upd");
    TBoxes boxes;
    auto w = Window();
    Click(*w, "btnCheck");
    EXPECT_EQ(w->FUpdateResult, 1);
    EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\nCan't save \"%1Vaskimo.upd\": No space left on device").arg(Downloads));
    // As a check that found both leaves the window.
    w->ValueLabel("DownloadURL")->setText(QString::fromLatin1(Base + "/files/VaskimoSetup.exe"));
    w->ValueLabel("BlacklistDownloadURL")->setText(QString::fromLatin1(Base + "/files/BlackLst.vkb"));
    w->FNewProgram = w->FNewBlacklist = true;
    w->Button("btnDownload")->setEnabled(true);
    w->Button("btnDownloadBlacklist")->setEnabled(true);
    Click(*w, "btnDownloadBlacklist");
    EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\nCan't save \"%1BlackLst.tmp\": No space left on device").arg(Folder));
    Click(*w, "btnDownload");
    EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\nCan't save \"%1VaskimoSetup.exe\": No space left on device").arg(Downloads));
    EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), OldBlacklist);
    EXPECT_EQ(ReadFile(Downloads + "VaskimoSetup.exe"), earlier);
    EXPECT_EQ(Downloaded(), QStringList{"VaskimoSetup.exe"});
    EXPECT_TRUE(boxes.Shown.isEmpty());
}

// A hotel's sign-in page is a failed check to the automatic check too: its count goes up.
TEST(UpdatePortalTest, TheAutomaticCheckCountsAPortalPageAsAFailure)
{
    TOddServer portal(TOdd::CaptivePortal);
    QTemporaryDir program;
    const QString folder = program.path() + u'/';
    WriteFile(folder + "BlackLst.vkb", OldBlacklist);
    {
        TIniFile ini(folder + "Options.ini");
        ini.WriteInteger("General", "Language index", 0);
        ini.WriteBool("Update", "Automatic update", true);
        ini.WriteBool("Update", "Always connected to the Internet", true);
        ini.WriteString("Update", "Update address", portal.Url("/Vaskimo.upd"));
        ini.WriteInteger("Update", "Error type 1 count", 3);
        ASSERT_TRUE(ini.UpdateFile());
    }
    TBoxes boxes;
    {
        TPaaIkkuna window(folder);
        auto *updater = new TAutoUpdate(TAutoUpdateHost::FromMainWindow(), &window);
        updater->CheckUpdateResult();
    }
    EXPECT_EQ(TIniFile(folder + "Options.ini").ReadInteger("Update", "Error type 1 count", -1), 4);
    EXPECT_EQ(ReadFile(folder + "BlackLst.vkb"), OldBlacklist);
    EXPECT_EQ(portal.Requests().size(), 1);
}

// "0 as default port": the client's default, 80, or the port the proxy text names. Port 80 is free
// only in a network of the test's own.
TEST(UpdateProxyPortTest, PortZeroIsTheDefault)
{
    if (!TestNetns::Inside()) {
        const TestNetns::TRun run = TestNetns::RunAgainInside("ip link set lo up", "UpdateProxyPortTest.*");
        if (run.Skipped)
            VASKIMO_MISSING(run.Why);
        EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
        return;
    }
    const QByteArray info = "[UpdateInfo]\r\nVersion=1.0.0.0\r\nBlacklist=Release 0\r\n";
    auto proxy = [&](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) {
        s.ReadAndRecord(conn);
        conn.Send("HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(info.size()) + "\r\n\r\n" + info);
    };
    HttpPeers::TScriptedServer onEighty(proxy, 80), elsewhere(proxy);
    ASSERT_EQ(onEighty.Port(), 80);
    const struct { const char *name; QString server; HttpPeers::TScriptedServer *reached; } cases[] = {
        {"the client's default", QStringLiteral("127.0.0.1"), &onEighty},
        {"the proxy text's own port", QStringLiteral("127.0.0.1:%1").arg(elsewhere.Port()), &elsewhere},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir program;
        TSettings settings;
        settings.FUpdateAddress = QStringLiteral("http://updates.vaskimo.invalid/Vaskimo.upd");
        settings.FUpdateDir = QStringLiteral("C:\\Vaskimo\\");
        settings.FUseProxy = true;
        settings.FProxyServer = c.server;
        settings.FProxyPort = 0;
        TRecorder recorder;
        TUpdateHost host = recorder.Host(program.path() + u'/', &settings, QStringLiteral("1.0.0.0"));
        host.HostFolder = [&](const QString &) { return program.path() + QStringLiteral("/Downloads/"); };
        host.Limits.Info.MaxMilliseconds = CaseLimitMs;
        TUpdateIkkuna w(nullptr, host);
        w.show();
        const qsizetype before = c.reached->Requests().size();
        Click(w, "btnCheck");
        EXPECT_EQ(w.FUpdateResult, 2) << w.StatusText().toStdString();
        ASSERT_EQ(c.reached->Requests().size(), before + 1);
        EXPECT_TRUE(c.reached->Requests().last().startsWith("GET http://updates.vaskimo.invalid/Vaskimo.upd HTTP/1.0\r\n"));
    }
}

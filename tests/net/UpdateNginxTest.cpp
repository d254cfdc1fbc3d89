// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window against a real nginx on 127.0.0.1: check, relocation, blacklist install, program download, and replies that must not count.
#include "net/Update.h"

#include "HttpPeers.h"
#include "NetNamespace.h"
#include "PeerProcess.h"
#include "UpdateTestSupport.h"
#include "support/MessageBoxCatcher.h"
#include "support/Needs.h"

#include "crypto/Encryption.h"
#include "platform/IniFile.h"
#include "net/AutoUpdate.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/Main.h"
#include "shell/Settings.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>

using TestSupport::TBoxes;
using namespace UpdateTestSupport;

namespace {

const QByteArray OldBlacklist = "[General]\r\nVersion=Release 3\r\nRegistry=,old\r\n";
const QByteArray CutShort = "[UpdateInfo]\r\nVersion=9.0.0.0\r\nDetails=lo";
const QByteArray NewBlacklist = "[General]\r\nVersion=Release 4\r\nRegistry=,new,\"program files\"\r\n";

class UpdateNginxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Port = Nginx.Port();
        // Behind nginx: a server that announces 200 bytes and sends 40.
        Upstream = std::make_unique<HttpPeers::TScriptedServer>([](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) {
            s.ReadAndRecord(conn);
            conn.Send("HTTP/1.0 200 OK\r\nContent-Length: 200\r\n\r\n" + CutShort);
        });
        const QString root = Nginx.Dir();
        const QString www = root + "/www";
        const QByteArray base = QStringLiteral("http://127.0.0.1:%1").arg(Port).toLatin1();
        WriteFile(www + "/Vaskimo.upd", "[UpdateInfo]\r\nVersion=99.0.0.0\r\nUpdateURL=" + base +
                                            "/files/VaskimoSetup.exe\r\nReadmeURL=" + base +
                                            "/readme.html\r\nDetails=Faster scans\r\nBlacklist=Release 4\r\n"
                                            "BlackDownloadURL=" + base + "/files/BlackLst.vkb\r\n");
        WriteFile(www + "/bad.upd", "[UpdateInfo]\r\nVersion=1.0.0.0\r\nBlacklist=Release 4\r\nBlackDownloadURL=" + base +
                                        "/secret/BlackLst.vkb\r\n");
        WriteFile(www + "/relocating.upd", "[UpdateInfo]\r\nVersion=2.0.0.0\r\nUpdateURL=" + base +
                                               "/moved/VaskimoSetup.exe\r\nBlacklist=Release 4\r\n"
                                               "BlackDownloadURL=" + base + "/moved/BlackLst.vkb\r\n");
        WriteFile(www + "/portal.upd", "[UpdateInfo]\r\nVersion=2.0.0.0\r\nUpdateURL=" + base +
                                           "/portal/VaskimoSetup.exe\r\nBlacklist=Release 3\r\n");
        WriteFile(www + "/portal/VaskimoSetup.exe", "<!DOCTYPE html>\n<html><head><title>Hotel Wi-Fi</title></head>"
                                                     "<body>Please sign in.</body></html>\n");
        WriteFile(www + "/files/BlackLst.vkb", NewBlacklist);
        WriteFile(www + "/secret/BlackLst.vkb", NewBlacklist);
        Setup = WindowsProgram(300002);
        WriteFile(www + "/files/VaskimoSetup.exe", Setup);
        WriteFile(root + "/htpasswd", "user:$apr1$9z2o7Jc1$gJ7cbvP5dZm9Ng9m5s0GQ.\n");
        QDir().mkpath(root + "/tmp");
        const QString conf = QStringLiteral(
            "%1master_process off;\npid %2/nginx.pid;\nerror_log %2/error.log;\nevents {}\n"
            "http {\n access_log off;\n client_body_temp_path %2/tmp;\n proxy_temp_path %2/tmp;\n"
            " fastcgi_temp_path %2/tmp;\n uwsgi_temp_path %2/tmp;\n scgi_temp_path %2/tmp;\n"
            " server {\n  listen 127.0.0.1:%3;\n  root %2/www;\n"
            "  location /secret/ { auth_basic \"Vaskimo\"; auth_basic_user_file %2/htpasswd; }\n"
            "  location = /moved.upd { return 302 /Vaskimo.upd; }\n"
            "  location = /moved/relocating.upd { return 302 /relocating.upd; }\n"
            "  location /moved/ { rewrite ^/moved/(.*)$ /files/$1 redirect; }\n"
            "  location /portal/ { default_type text/html; }\n"
            "  location /lying/ { add_header Content-Length 999; return 200 \"[UpdateInfo]\"; }\n"
            "  location /short/ { proxy_pass http://127.0.0.1:%4; proxy_buffering off; }\n"
            " }\n}\n")
                                 .arg(TestPeers::RunningAsRoot() ? QStringLiteral("user root;\n") : QString(), root)
                                 .arg(Port)
                                 .arg(Upstream->Port());
        WriteFile(root + "/nginx.conf", conf.toLatin1());
        if (!Nginx.Start(QStringLiteral("/usr/sbin/nginx"), {"-p", root, "-c", root + "/nginx.conf", "-g", "daemon off;"})) {
            if (Nginx.Missing())
                VASKIMO_MISSING(Nginx.Why());
            FAIL() << Nginx.Why().toStdString();
        }

        Folder = Program.path() + u'/';
        WriteFile(Folder + "BlackLst.vkb", OldBlacklist);
        Settings.FUpdateAddress = QString::fromLatin1(base + "/Vaskimo.upd");
        Settings.FUpdateDir = QStringLiteral("C:\\Vaskimo\\");
    }

    std::unique_ptr<TUpdateIkkuna> Window()
    {
        TUpdateHost host = Recorder.Host(Folder, &Settings, QStringLiteral("1.0.0.0"));
        host.HostFolder = [this](const QString &) { return Folder + "Downloads/"; };
        auto w = std::make_unique<TUpdateIkkuna>(nullptr, host);
        w->show();
        return w;
    }

    TestPeers::TPeerProcess Nginx;
    std::unique_ptr<HttpPeers::TScriptedServer> Upstream;
    QTemporaryDir Program;
    quint16 Port = 0;
    QString Folder;
    QByteArray Setup;
    TSettings Settings;
    TRecorder Recorder;
    QStringList &Opened = Recorder.Opened;
    int &Terminated = Recorder.Terminated;
};

} // namespace

TEST_F(UpdateNginxTest, FullCheckBlacklistInstallAndProgramDownload)
{
    TBoxes boxes;
    boxes.Answer = false;
    auto w = Window();
    Click(*w, "btnCheck");
    EXPECT_EQ(w->FUpdateResult, 5);
    EXPECT_EQ(w->StatusText(), QStringLiteral("Both, new program version and blacklist version, are available!"));
    EXPECT_EQ(w->ValueLabel("VersionDetails")->text(), QStringLiteral("Faster scans"));
    EXPECT_FALSE(QFile::exists(Folder + "Downloads/Vaskimo.upd"));

    Click(*w, "btnDownloadBlacklist");
    EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), NewBlacklist);
    EXPECT_EQ(w->StatusText(), QStringLiteral("Succesfully downloaded the blacklist update!"));
    EXPECT_FALSE(QFile::exists(Folder + "BlackLst.tmp"));

    Click(*w, "btnDownload");
    EXPECT_EQ(ReadFile(Folder + "Downloads/VaskimoSetup.exe"), Setup);
    EXPECT_EQ(w->StatusText(), QStringLiteral("Succesfully downloaded the program update!"));
    EXPECT_EQ(w->Edistys()->value(), Setup.size());
    ASSERT_EQ(boxes.Shown.size(), 2);
    EXPECT_TRUE(boxes.Shown[1].startsWith("File downloaded to \"C:\\Vaskimo\\VaskimoSetup.exe\"."));
    EXPECT_TRUE(Opened.isEmpty());
    EXPECT_EQ(Terminated, 0);

    // The window closes with its button.
    Click(*w, "btnOk");
    EXPECT_FALSE(w->isVisible());
}

// The update folder as the options store it, mapped by the prefix's own drives: a Windows
// folder, or a host folder (typed, or the picker's choice that no drive reaches, with the
// backslash it adds). A folder that cannot take the files is named in the status.
TEST_F(UpdateNginxTest, DownloadsGoToTheChosenFolderOrTheStatusSaysWhyNot)
{
    const QString prefix = Folder + "prefix";
    ASSERT_TRUE(QDir().mkpath(prefix + "/dosdevices") && QDir().mkpath(prefix + "/drive_c"));
    ASSERT_TRUE(QFile::link("../drive_c", prefix + "/dosdevices/c:"));
    ASSERT_TRUE(QFile::link("/", prefix + "/dosdevices/z:"));
    struct TCurrentPrefix {
        std::shared_ptr<TWinePrefix> Previous = TWinePrefix::Current();
        ~TCurrentPrefix() { TWinePrefix::SetCurrent(Previous); }
    } restore;
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(prefix));
    WriteFile(Folder + "plain", "a file, no folder");
    const QString z = "Z:" + QString(Folder).replace('/', '\\');
    const QString failed = "Error occured!\n";
    const struct {
        const char *name;
        QString chosen;
        QString saved;  // the host folder the update lands in; empty: refused
        QString shown;  // the file as the question names it, or the status of a refusal
    } cases[] = {
        {"C:", "C:\\Downloads\\", prefix + "/drive_c/Downloads/", "C:\\Downloads\\VaskimoSetup.exe"},
        {"Z:", z + "viaZ\\", Folder + "viaZ/", z + "viaZ\\VaskimoSetup.exe"},
        {"a host folder", Folder + "typed/", Folder + "typed/", Folder + "typed/VaskimoSetup.exe"},
        {"a host folder as the picker gives it", Folder + "picked\\", Folder + "picked/", Folder + "picked/VaskimoSetup.exe"},
        {"a network share", "\\\\server\\share\\", {},
         failed + "The update folder \"\\\\server\\share\\\" is on no drive of the prefix."},
        {"a host folder below a file", Folder + "plain/dl/", {}, failed + "The folder \"" + Folder + "plain/dl/\" cannot be made."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TBoxes boxes;
        boxes.Answer = false;
        auto w = std::make_unique<TUpdateIkkuna>(nullptr, Recorder.Host(Folder, &Settings, QStringLiteral("1.0.0.0")));
        w->show();
        if (!c.saved.isEmpty()) {
            Settings.FUpdateDir = c.chosen;
            Click(*w, "btnCheck");
            ASSERT_EQ(w->FUpdateResult, 5) << w->StatusText().toStdString();
            Click(*w, "btnDownload");
            EXPECT_EQ(w->StatusText(), QStringLiteral("Succesfully downloaded the program update!"));
            EXPECT_EQ(ReadFile(c.saved + "VaskimoSetup.exe"), Setup);
            ASSERT_EQ(boxes.Shown.size(), 1);
            EXPECT_TRUE(boxes.Shown[0].startsWith("File downloaded to \"" + c.shown + "\".")) << boxes.Shown[0].toStdString();
            continue;
        }
        // Both the check and a download meet the folder.
        Settings.FUpdateDir = c.chosen;
        Click(*w, "btnCheck");
        EXPECT_EQ(w->FUpdateResult, 1);
        EXPECT_EQ(w->StatusText(), c.shown);
        Settings.FUpdateDir = Folder + "checked/";
        Click(*w, "btnCheck");
        ASSERT_EQ(w->FUpdateResult, 5) << w->StatusText().toStdString();
        Settings.FUpdateDir = c.chosen;
        Click(*w, "btnDownload");
        EXPECT_EQ(w->StatusText(), c.shown);
        EXPECT_TRUE(w->Button("btnDownload")->isEnabled());
        EXPECT_TRUE(boxes.Shown.isEmpty()) << qPrintable(boxes.Shown.join('\n'));
    }
}

TEST_F(UpdateNginxTest, RelocatedInformationFile)
{
    Settings.FUpdateAddress.replace("/Vaskimo.upd", "/moved.upd");
    auto w = Window();
    Click(*w, "btnCheck");
    EXPECT_EQ(w->FUpdateResult, 5);
}

// The pages of 302 and 407 replies come before the document on the same request: none of their
// bytes may stay in the files the window writes.
TEST_F(UpdateNginxTest, WhatLandsIsWhatTheServerServed)
{
    TestPeers::TPeerProcess basicSquid, ntlmSquid;
    for (auto [squid, auth] : {std::pair{&basicSquid, TestPeers::TSquidAuth{.Basic = true}},
                               std::pair{&ntlmSquid, TestPeers::TSquidAuth{.Ntlm = true}}}) {
        if (!TestPeers::StartSquid(*squid, auth)) {
            if (squid->Missing())
                VASKIMO_MISSING(squid->Why());
            FAIL() << squid->Why().toStdString();
        }
    }
    const QByteArray servedBlacklist = ReadFile(Nginx.Dir() + "/www/files/BlackLst.vkb");
    const QByteArray servedSetup = ReadFile(Nginx.Dir() + "/www/files/VaskimoSetup.exe");
    const struct { const char *name, *info; TestPeers::TPeerProcess *proxy; } routes[] = {
        {"straight", "/Vaskimo.upd", nullptr},
        {"relocated by nginx", "/moved/relocating.upd", nullptr},
        {"squid asking for Basic", "/moved/relocating.upd", &basicSquid},
        {"squid asking for NTLM", "/moved/relocating.upd", &ntlmSquid},
    };
    for (const auto &route : routes) {
        SCOPED_TRACE(route.name);
        WriteFile(Folder + "BlackLst.vkb", OldBlacklist);
        QDir(Folder + "Downloads").removeRecursively();
        Settings.FUpdateAddress = QStringLiteral("http://127.0.0.1:%1%2").arg(Port).arg(QLatin1String(route.info));
        Settings.FUseProxy = route.proxy != nullptr;
        if (route.proxy) {
            Settings.FProxyServer = QStringLiteral("127.0.0.1");
            Settings.FProxyPort = route.proxy->Port();
            Settings.FProxyUsername = QStringLiteral("puser");
            Settings.FProxyPassword = QStringLiteral("ppass");
        }
        TBoxes boxes;
        boxes.Answer = false;
        auto w = Window();
        Click(*w, "btnCheck");
        ASSERT_EQ(w->FUpdateResult, 5) << w->StatusText().toStdString();
        Click(*w, "btnDownloadBlacklist");
        Click(*w, "btnDownload");
        EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), servedBlacklist);
        EXPECT_EQ(ReadFile(Folder + "Downloads/VaskimoSetup.exe"), servedSetup);
    }
    // squid knew who asked: the credentials went through its own checks.
    EXPECT_TRUE(ReadFile(basicSquid.Path("access.log")).contains(" puser "));
    EXPECT_TRUE(ReadFile(ntlmSquid.Path("access.log")).contains("puser"));
}

// A captive portal answers every address with its sign-in page, and with status 200.
TEST_F(UpdateNginxTest, AWebPageServedAsTheProgramUpdateIsRefused)
{
    const QByteArray earlier = WindowsProgram(5000, 'o');
    WriteFile(Folder + "Downloads/VaskimoSetup.exe", earlier);
    Settings.FUpdateAddress = QStringLiteral("http://127.0.0.1:%1/portal.upd").arg(Port);
    TBoxes boxes;
    auto w = Window();
    Click(*w, "btnCheck");
    ASSERT_EQ(w->FUpdateResult, 3);
    Click(*w, "btnDownload");
    EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\nThe download is a web page, not a Windows program."));
    EXPECT_EQ(ReadFile(Folder + "Downloads/VaskimoSetup.exe"), earlier);
    EXPECT_EQ(QDir(Folder + "Downloads").entryList(QDir::Files | QDir::Hidden), QStringList{"VaskimoSetup.exe"});
    EXPECT_TRUE(boxes.Shown.isEmpty()) << "nothing is offered to run";
    EXPECT_TRUE(Opened.isEmpty());
    EXPECT_TRUE(w->Button("btnDownload")->isEnabled());
}

TEST_F(UpdateNginxTest, RepliesThatAreNoDocument)
{
    TestPeers::TPeerProcess squid;
    if (!TestPeers::StartSquid(squid, {.Basic = true})) {
        if (squid.Missing())
            VASKIMO_MISSING(squid.Why());
        FAIL() << squid.Why().toStdString();
    }
    const QString nginx = QStringLiteral("127.0.0.1:%1").arg(Port);
    const QString nobody = QStringLiteral("127.0.0.1:%1").arg(TestPeers::FreePort());
    // The second line of the status is what the user can act on: the peer's own words where it
    // answered, the client's where nothing usable came.
    const struct { const char *name; QString url; bool proxy; QString reason; } cases[] = {
        {"not found", "http://" + nginx + "/missing.upd", false, "The server answered 404 Not Found"},
        {"authentication required", "http://" + nginx + "/secret/Vaskimo.upd", false,
         "The server answered 401 Unauthorized"},
        {"two lengths", "http://" + nginx + "/lying/Vaskimo.upd", false, "Conflicting Content-Length values"},
        {"cut short behind nginx", "http://" + nginx + "/short/Vaskimo.upd", false,
         QStringLiteral("Connection closed after %1 of 200 bytes of the document").arg(CutShort.size())},
        {"a secure address", "https://" + nginx + "/Vaskimo.upd", false, "Protocol \"https\" not implemented"},
        {"nobody listens", "http://" + nobody + "/Vaskimo.upd", false,
         "Connection refused (Error #10061)"},
        {"the proxy refuses the password", "http://" + nginx + "/Vaskimo.upd", true,
         "The proxy answered 407 Proxy Authentication Required"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Settings.FUpdateAddress = c.url;
        Settings.FUseProxy = c.proxy;
        Settings.FProxyServer = QStringLiteral("127.0.0.1");
        Settings.FProxyPort = squid.Port();
        Settings.FProxyUsername = QStringLiteral("puser");
        Settings.FProxyPassword = QStringLiteral("guess");
        auto w = Window();
        Click(*w, "btnCheck");
        EXPECT_EQ(w->FUpdateResult, 1);
        EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\n") + c.reason);
    }
    Settings.FUseProxy = false;
    // A blacklist behind a login is never installed from the login page.
    Settings.FUpdateAddress = QStringLiteral("http://127.0.0.1:%1/bad.upd").arg(Port);
    auto w = Window();
    Click(*w, "btnCheck");
    ASSERT_EQ(w->FUpdateResult, 4);
    Click(*w, "btnDownloadBlacklist");
    EXPECT_EQ(w->FUpdateResult, 1);
    EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), OldBlacklist);
}

TEST_F(UpdateNginxTest, AutomaticCheckInstallsTheBlacklistQuietly)
{
    {
        TIniFile ini(Folder + "Options.ini");
        ini.WriteInteger("General", "Language index", 0);
        ini.WriteBool("Update", "Automatic update", true);
        ini.WriteBool("Update", "Always connected to the Internet", true);
        ini.WriteString("Update", "Update address", QStringLiteral("http://127.0.0.1:%1/bad.upd").arg(Port));
        ASSERT_TRUE(ini.UpdateFile());
    }
    // bad.upd offers Release 4 behind a login: the automatic install fails and says so once.
    TBoxes boxes;
    {
        TPaaIkkuna window(Folder);
        auto *updater = new TAutoUpdate(TAutoUpdateHost::FromMainWindow(), &window);
        updater->CheckUpdateResult();
        ASSERT_EQ(boxes.Shown.size(), 1);
        EXPECT_TRUE(boxes.Shown[0].contains("Download attempt failed!"));
        EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), OldBlacklist);
    }
    EXPECT_EQ(TIniFile(Folder + "Options.ini").ReadInteger("Update", "Error type 1 count", -1), 0);
    // The next day, from the real address: installed, and nothing shown.
    {
        TIniFile ini(Folder + "Options.ini");
        ini.WriteString("Update", "Last checked", "2001-01-01");
        ini.WriteString("Update", "Update address", QStringLiteral("http://127.0.0.1:%1/Vaskimo.upd").arg(Port));
        ASSERT_TRUE(ini.UpdateFile());
    }
    WriteFile(Nginx.Dir() + "/www/Vaskimo.upd", "[UpdateInfo]\r\nVersion=1.0.0.0\r\nBlacklist=Release 4\r\n"
                                                  "BlackDownloadURL=" +
                                                      QStringLiteral("http://127.0.0.1:%1/files/BlackLst.vkb").arg(Port).toLatin1() +
                                                      "\r\n");
    {
        TPaaIkkuna window(Folder);
        auto *updater = new TAutoUpdate(TAutoUpdateHost::FromMainWindow(), &window);
        updater->CheckUpdateResult();
    }
    EXPECT_EQ(boxes.Shown.size(), 1);
    EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), NewBlacklist);
    EXPECT_FALSE(QFile::exists(Folder + "Vaskimo.upd"));
}

TEST_F(UpdateNginxTest, ThroughAProxyWithTheStoredPassword)
{
    TestPeers::TPeerProcess proxy;
    if (!TestPeers::StartTinyproxy(proxy, QStringLiteral("vaskimo"), QStringLiteral("s3cr3t"))) {
        if (proxy.Missing())
            VASKIMO_MISSING(proxy.Why());
        FAIL() << proxy.Why().toStdString();
    }
    const struct { const char *name, *password; int result; } cases[] = {
        {"right password", "s3cr3t", 5},
        {"wrong password", "guess", 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        {
            TIniFile ini(Folder + "Options.ini");
            ini.WriteInteger("General", "Language index", 0);
            ini.WriteBool("Update", "Use proxy", true);
            ini.WriteString("Update", "Proxy server", "127.0.0.1");
            ini.WriteInteger("Update", "Proxy port", proxy.Port());
            ini.WriteString("Update", "Proxy username", "vaskimo");
            ini.WriteString("Update", "Proxy password", ProxyPasswordToSetting(QLatin1String(c.password)));
            ini.WriteString("Update", "Update address", Settings.FUpdateAddress);
            ASSERT_TRUE(ini.UpdateFile());
        }
        ASSERT_FALSE(TIniFile(Folder + "Options.ini").ReadString("Update", "Proxy password", "").contains(c.password));
        TPaaIkkuna window(Folder);
        TUpdateIkkuna w(&window);
        w.show();
        Click(w, "btnCheck");
        EXPECT_EQ(w.FUpdateResult, c.result);
    }
    // The requests went through the proxy.
    EXPECT_TRUE(ReadFile(proxy.Path("tinyproxy.log")).contains("GET " + Settings.FUpdateAddress.toLatin1()));
}

TEST(UpdateCutShortTest, ABlacklistCutShortNeverReplacesTheOldOne)
{
    HttpPeers::TScriptedServer server([](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) {
        s.ReadAndRecord(conn);
        conn.Send("HTTP/1.0 200 OK\r\nContent-Length: 200\r\nContent-Type: application/octet-stream\r\n\r\n"
                  "[General]\r\nVersion=Release 9\r\n");
        conn.Close();
    });
    QTemporaryDir program;
    const QString folder = program.path() + u'/';
    WriteFile(folder + "BlackLst.vkb", OldBlacklist);
    TSettings settings;
    TRecorder recorder;
    TUpdateIkkuna w(nullptr, recorder.Host(folder, &settings, QStringLiteral("1.0.0.0")));
    w.show();
    // As a check that found Release 9 leaves the window.
    w.ValueLabel("BlacklistDownloadURL")->setText(server.Url("/BlackLst.vkb"));
    w.FNewBlacklist = true;
    w.Button("btnDownloadBlacklist")->setEnabled(true);
    TBoxes boxes;
    QTest::mouseClick(w.Button("btnDownloadBlacklist"), Qt::LeftButton);
    EXPECT_EQ(w.FUpdateResult, 1);
    EXPECT_EQ(w.StatusText(), QStringLiteral("Error occured!\nConnection closed after 30 of 200 bytes of the document"));
    EXPECT_EQ(ReadFile(folder + "BlackLst.vkb"), OldBlacklist);
    EXPECT_FALSE(QFile::exists(folder + "BlackLst.tmp"));
    EXPECT_EQ(server.Requests().size(), 1);
}

TEST(UpdateCutShortTest, AbortDuringARealDownload)
{
    // The counts with the locale's thousands separator; without a length, what arrived alone.
    const struct { const char *name; QByteArray head; const char *progress; int maximum; } cases[] = {
        {"a length", "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", "^Downloading 4\\D?000 of 100\\D?000!$", 100000},
        {"no length", "HTTP/1.0 200 OK\r\n\r\n", "^Downloading 4\\D?000 bytes, the server did not say how many!$", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        HttpPeers::TScriptedServer server([&](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) {
            s.ReadAndRecord(conn);
            conn.Send(c.head + QByteArray(4000, 'M'));
            EXPECT_TRUE(conn.WaitForClose(10000)) << "the rest never comes: the client must hang up";
        });
        QTemporaryDir program;
        const QString folder = program.path() + u'/';
        TSettings settings;
        settings.FUpdateDir = QStringLiteral("C:\\Vaskimo\\");
        TRecorder recorder;
        TUpdateHost host = recorder.Host(folder, &settings, QStringLiteral("1.0.0.0"));
        host.HostFolder = [&](const QString &) { return folder + "Downloads/"; };
        TUpdateIkkuna w(nullptr, host);
        w.show();
        w.ValueLabel("DownloadURL")->setText(server.Url("/files/VaskimoSetup.exe"));
        w.FNewProgram = true;
        w.Button("btnDownload")->setEnabled(true);
        // Abort once the window shows what arrived: the server sends nothing more until the client hangs up.
        const QRegularExpression progress(QLatin1String(c.progress));
        QString shown;
        int maximumShown = -1;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, &w, [&] {
            shown = w.StatusText();
            if (!progress.match(shown).hasMatch())
                return;
            watch.stop();
            maximumShown = w.Edistys()->maximum();
            Click(w, "btnAbort");
        });
        watch.start(10);
        TBoxes boxes;
        Click(w, "btnDownload");
        ASSERT_FALSE(watch.isActive()) << "the progress never showed; the last status: " << shown.toStdString();
        EXPECT_EQ(w.StatusText(), QStringLiteral("Error occured!\nConnection aborted on request"));
        EXPECT_EQ(maximumShown, c.maximum);
        // The aborted download leaves no bar that reads as done, or as still busy.
        EXPECT_LT(w.Edistys()->value(), w.Edistys()->minimum());
        EXPECT_GT(w.Edistys()->maximum(), w.Edistys()->minimum());
        EXPECT_EQ(QDir(folder + "Downloads").entryList(QDir::Files | QDir::Hidden), QStringList());
        EXPECT_TRUE(boxes.Shown.isEmpty());
        EXPECT_TRUE(w.Button("btnDownload")->isEnabled());
        EXPECT_FALSE(w.Button("btnAbort")->isEnabled());
    }
}

namespace {

// The process's peak resident size since the last reset, in bytes; -1 where the kernel keeps none
// that can be reset.
qint64 PeakRss()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    return -1;
}

bool ResetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

class UpdateSlowServerTest : public ::testing::Test
{
protected:
    std::unique_ptr<TUpdateIkkuna> Window(const QString &infoUrl)
    {
        Folder = Program.path() + u'/';
        Settings.FUpdateAddress = infoUrl;
        Settings.FUpdateDir = QStringLiteral("C:\\Vaskimo\\");
        TUpdateHost host = Recorder.Host(Folder, &Settings, QStringLiteral("1.0.0.0"));
        host.HostFolder = [this](const QString &) { return Folder + "Downloads/"; };
        host.Limits = Limits;
        auto w = std::make_unique<TUpdateIkkuna>(nullptr, host);
        w->show();
        return w;
    }

    QTemporaryDir Program;
    QString Folder;
    TSettings Settings;
    TRecorder Recorder;
    UpdateInfo::TUpdateLimits Limits;
};

// A byte now and then: never idle long enough for the idle limit, and never done.
HttpPeers::TScriptedServer::TScript Trickle()
{
    return [](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) {
        s.ReadAndRecord(conn);
        bool open = conn.Send("HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n");
        for (int i = 0; open && i < 300; ++i) {
            QThread::msleep(100);
            open = conn.Send("x");
        }
    };
}

} // namespace

TEST_F(UpdateSlowServerTest, ATricklingServerEndsAtTheWholeRequestLimit)
{
    HttpPeers::TScriptedServer server(Trickle());
    Limits.Info.MaxMilliseconds = 1500;
    auto w = Window(server.Url("/Vaskimo.upd"));
    QElapsedTimer clock;
    clock.start();
    Click(*w, "btnCheck");
    const qint64 took = clock.elapsed();
    EXPECT_EQ(w->FUpdateResult, 1);
    EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\nTimeout: the request did not end within 1.5 s"));
    EXPECT_GE(took, 1400);
    EXPECT_LT(took, 6000) << "the trickle went on past its limit";
    EXPECT_EQ(QDir(Folder + "Downloads").entryList(QDir::Files | QDir::Hidden), QStringList());
}

TEST_F(UpdateSlowServerTest, CloseEndsACheckAtOnce)
{
    HttpPeers::TScriptedServer server(Trickle());
    auto w = Window(server.Url("/Vaskimo.upd"));  // the real limit: a minute
    QElapsedTimer clock;
    qint64 closedAfter = -1;
    QTimer::singleShot(500, w.get(), [&] {
        clock.start();
        Click(*w, "btnOk");
    });
    Click(*w, "btnCheck");
    closedAfter = clock.elapsed();
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->FUpdateResult, 1);
    EXPECT_LT(closedAfter, 2000);
    EXPECT_EQ(QDir(Folder + "Downloads").entryList(QDir::Files | QDir::Hidden), QStringList());
}

// 200 MB of "Vaskimo.upd", announced or not: refused before it costs memory (or disk).
TEST_F(UpdateSlowServerTest, AnOversizedBodyIsRefusedWithMemoryBounded)
{
    const qint64 huge = 200 * 1024 * 1024;
    const QByteArray block(64 * 1024, ';');
    for (const bool announced : {true, false}) {
        SCOPED_TRACE(announced ? "announced" : "until the close");
        std::atomic<qint64> sent = 0;
        const bool peakKnown = ResetPeakRss();
        const qint64 before = PeakRss();
        {
            HttpPeers::TScriptedServer server([&](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) {
                s.ReadAndRecord(conn);
                bool open = conn.Send(announced ? "HTTP/1.0 200 OK\r\nContent-Length: " + QByteArray::number(huge) + "\r\n\r\n"
                                                : QByteArray("HTTP/1.0 200 OK\r\n\r\n"));
                while (open && sent < huge) {
                    open = conn.Send(block);
                    sent += block.size();
                }
            });
            auto w = Window(server.Url("/Vaskimo.upd"));
            Click(*w, "btnCheck");
            EXPECT_EQ(w->FUpdateResult, 1);
            EXPECT_TRUE(w->StatusText().startsWith(QStringLiteral("Error occured!\nThe document is too large: ")))
                << w->StatusText().toStdString();
            EXPECT_TRUE(w->StatusText().endsWith(QStringLiteral(", at most 65536 are taken")));
        }
        // The server could hand no more to the socket than the buffers took before the client hung up.
        EXPECT_LT(sent.load(), 32 * 1024 * 1024);
        if (peakKnown) {
            EXPECT_LT(PeakRss() - before, 32 * 1024 * 1024);
        }
        EXPECT_EQ(QDir(Folder + "Downloads").entryList(QDir::Files | QDir::Hidden), QStringList());
    }
}

// A machine that is offline: loopback is all it has.
TEST(UpdateOfflineTest, TheStatusSaysWhy)
{
    if (!TestNetns::Inside()) {
        const TestNetns::TRun run = TestNetns::RunAgainInside("ip link set lo up", "UpdateOfflineTest.*");
        if (run.Skipped)
            VASKIMO_MISSING(run.Why);
        EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
        return;
    }
    const struct { const char *name, *address, *reason; } cases[] = {
        {"an address", "http://192.0.2.10/Vaskimo.upd", "Network is unreachable (Error #10051)"},
        {"a name", "http://updates.vaskimo.invalid/Vaskimo.upd", "can't resolve hostname to IP address"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir program;
        TSettings settings;
        settings.FUpdateAddress = QLatin1String(c.address);
        settings.FUpdateDir = QStringLiteral("C:\\Vaskimo\\");
        TRecorder recorder;
        TUpdateHost host = recorder.Host(program.path() + u'/', &settings, QStringLiteral("1.0.0.0"));
        host.HostFolder = [&](const QString &) { return program.path() + QStringLiteral("/Downloads/"); };
        TUpdateIkkuna w(nullptr, host);
        w.show();
        Click(w, "btnCheck");
        EXPECT_EQ(w.FUpdateResult, 1);
        EXPECT_EQ(w.StatusText(), QStringLiteral("Error occured!\n") + QLatin1String(c.reason));
    }
}

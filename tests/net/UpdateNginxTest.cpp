// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window against a real nginx on 127.0.0.1: check, relocation, blacklist install, program download, and replies that must not count.
#include "net/Update.h"

#include "HttpPeers.h"
#include "PeerProcess.h"
#include "UpdateTestSupport.h"
#include "support/MessageBoxCatcher.h"

#include "crypto/Encryption.h"
#include "platform/IniFile.h"
#include "shell/AutoUpdate.h"
#include "shell/Buttons.h"
#include "shell/Main.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using TestSupport::TBoxes;
using namespace UpdateTestSupport;

namespace {

const QByteArray OldBlacklist = "[General]\r\nVersion=Release 3\r\nRegistry=,old\r\n";
const QByteArray NewBlacklist = "[General]\r\nVersion=Release 4\r\nRegistry=,new,\"program files\"\r\n";

class UpdateNginxTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Port = Nginx.Port();
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
        WriteFile(www + "/files/BlackLst.vkb", NewBlacklist);
        WriteFile(www + "/secret/BlackLst.vkb", NewBlacklist);
        Setup = QByteArray(300000, 'x');
        Setup.prepend("MZ");
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
            " }\n}\n")
                                 .arg(TestPeers::RunningAsRoot() ? QStringLiteral("user root;\n") : QString(), root)
                                 .arg(Port);
        WriteFile(root + "/nginx.conf", conf.toLatin1());
        if (!Nginx.Start(QStringLiteral("/usr/sbin/nginx"), {"-p", root, "-c", root + "/nginx.conf", "-g", "daemon off;"})) {
            if (Nginx.Missing())
                GTEST_SKIP() << Nginx.Why().toStdString();
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
                GTEST_SKIP() << squid->Why().toStdString();
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

TEST_F(UpdateNginxTest, RepliesThatAreNoDocument)
{
    const struct { const char *name, *path; } cases[] = {
        {"not found", "/missing.upd"},
        {"authentication required", "/secret/Vaskimo.upd"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Settings.FUpdateAddress = QStringLiteral("http://127.0.0.1:%1%2").arg(Port).arg(QLatin1String(c.path));
        auto w = Window();
        Click(*w, "btnCheck");
        EXPECT_EQ(w->FUpdateResult, 1);
        EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!"));
    }
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
            GTEST_SKIP() << proxy.Why().toStdString();
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
    EXPECT_EQ(w.StatusText(), QStringLiteral("Error occured!"));
    EXPECT_EQ(ReadFile(folder + "BlackLst.vkb"), OldBlacklist);
    EXPECT_FALSE(QFile::exists(folder + "BlackLst.tmp"));
    EXPECT_EQ(server.Requests().size(), 1);
}

TEST(UpdateCutShortTest, AbortDuringARealDownload)
{
    HttpPeers::TScriptedServer server([](HttpPeers::TConnection &conn, int, HttpPeers::TScriptedServer &s) {
        s.ReadAndRecord(conn);
        conn.Send("HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n" + QByteArray(4000, 'M'));
        conn.WaitForClose(10000);  // the rest never comes
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
    QStringList seen;
    QTimer::singleShot(300, &w, [&] {
        seen << w.StatusText();
        Click(w, "btnAbort");
    });
    TBoxes boxes;
    Click(w, "btnDownload");
    ASSERT_EQ(seen.size(), 1);
    // The counts with the locale's thousands separator.
    EXPECT_TRUE(QRegularExpression("^Downloading 4\\D?000 of 100\\D?000!$").match(seen[0]).hasMatch())
        << seen[0].toStdString();
    EXPECT_EQ(w.StatusText(), QStringLiteral("Error occured!"));
    EXPECT_EQ(w.Edistys()->maximum(), 100000);
    EXPECT_EQ(QDir(folder + "Downloads").entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_TRUE(boxes.Shown.isEmpty());
    EXPECT_TRUE(w.Button("btnDownload")->isEnabled());
    EXPECT_FALSE(w.Button("btnAbort")->isEnabled());
}

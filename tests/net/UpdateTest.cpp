// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: offscreen tests of the update window over a scripted HTTP client: check, downloads, abort, links, closing.
#include "net/Update.h"

#include "UpdateTestSupport.h"
#include "support/MessageBoxCatcher.h"

#include "shell/Buttons.h"
#include "shell/Settings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMap>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <gtest/gtest.h>

using TestSupport::TBoxes;
using namespace UpdateInfo;
using namespace UpdateTestSupport;

namespace {

// One scripted reply: its bytes, whether it ends well, and whether it waits for Abort.
struct TReply {
    QByteArray Body;
    bool Ok = true;
    bool WaitForAbort = false;
};

// A client that answers from a table; a waiting reply runs events until Abort, as the real one does.
class TScriptedHttp final : public TUpdateHttp
{
public:
    explicit TScriptedHttp(QMap<QString, TReply> *replies, QStringList *log) : FReplies(replies), FLog(log) {}

    void SetProxy(const QString &server, const QString &port, const QString &username, const QString &password) override
    {
        FLog->append(QStringLiteral("proxy %1:%2 %3/%4").arg(server, port, username, password));
    }
    bool Get(const QString &url, QIODevice *stream, const TGetLimits &, QString *error) override
    {
        FLog->append(QStringLiteral("GET ") + url);
        if (FBusy) {
            *error = QStringLiteral("busy");
            return false;
        }
        const TReply reply = FReplies->value(url, TReply{"", false, false});
        FBusy = true;
        FAborted = false;
        FLength = reply.Body.size() * (reply.WaitForAbort ? 2 : 1);
        FReceived = 0;
        stream->write(reply.Body);
        FReceived = reply.Body.size();
        if (OnDocData)
            OnDocData();
        if (reply.WaitForAbort) {
            QElapsedTimer timer;
            timer.start();
            while (!FAborted && timer.elapsed() < 10000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        FBusy = false;
        if (!reply.Ok || FAborted) {
            *error = QStringLiteral("failed");
            return false;
        }
        return true;
    }
    void Abort() override { FAborted = true; }
    bool Busy() const override { return FBusy; }
    qint64 ContentLength() const override { return FLength; }
    qint64 ReceivedBytes() const override { return FReceived; }

private:
    QMap<QString, TReply> *FReplies;
    QStringList *FLog;
    bool FBusy = false, FAborted = false;
    qint64 FLength = -1, FReceived = 0;
};

const QString InfoUrl = QStringLiteral("http://updates.example/Vaskimo.upd");
const QString SetupUrl = QStringLiteral("http://updates.example/files/VaskimoSetup.exe");
const QString ListUrl = QStringLiteral("http://updates.example/files/BlackLst.vkb");
const QByteArray OldBlacklist = "[General]\r\nVersion=Release 3\r\nRegistry=,old\r\n";
const QByteArray NewBlacklist = "[General]\r\nVersion=Release 4\r\nRegistry=,new\r\n";

QByteArray InfoFile(const char *version, const char *blacklist)
{
    return QByteArray("[UpdateInfo]\r\nVersion=") + version + "\r\nUpdateURL=" + SetupUrl.toLatin1() +
           "\r\nReadmeURL=http://updates.example/readme.html\r\nDetails=Faster scans\r\nBlacklist=" + blacklist +
           "\r\nBlackDownloadURL=" + ListUrl.toLatin1() + "\r\n";
}

class UpdateTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Folder = Program.path() + u'/';
        Downloads = Program.path() + QStringLiteral("/Downloads/");
        Settings.FUpdateAddress = InfoUrl;
        Settings.FUpdateDir = QStringLiteral("C:\\Vaskimo\\Downloads\\");
        WriteFile(Folder + "BlackLst.vkb", OldBlacklist);
    }

    std::unique_ptr<TUpdateIkkuna> Window()
    {
        TUpdateHost host = Recorder.Host(Folder, &Settings, QStringLiteral("1.1.0.0"));
        host.HostFolder = [this](const QString &windows) {
            return windows == u"C:\\Vaskimo\\Downloads\\" ? Downloads : QString();
        };
        host.CreateHttp = [this] { return std::make_unique<TScriptedHttp>(&Replies, &Log); };
        auto window = std::make_unique<TUpdateIkkuna>(nullptr, host);
        window->show();
        return window;
    }

    static bool Enabled(TUpdateIkkuna &w, const char *button) { return w.Button(QLatin1String(button))->isEnabled(); }
    static QString Value(TUpdateIkkuna &w, const char *label) { return w.ValueLabel(QLatin1String(label))->text(); }

    QTemporaryDir Program;
    QString Folder, Downloads;
    TSettings Settings;
    QMap<QString, TReply> Replies;
    QStringList Log;
    TRecorder Recorder;
    QStringList &Opened = Recorder.Opened;
    int &Terminated = Recorder.Terminated;
};

} // namespace

TEST_F(UpdateTest, CreatedWithOnlyCheckAndClose)
{
    auto w = Window();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Check for updates"));
    EXPECT_EQ(w->size(), QSize(505, 377));
    EXPECT_EQ(Value(*w, "CurrentVersion"), QStringLiteral("1.1.0.0"));
    EXPECT_EQ(Value(*w, "CurrentBlacklistVersion"), QStringLiteral("Release 3"));
    EXPECT_EQ(Value(*w, "RemoteAddress"), InfoUrl);
    EXPECT_EQ(w->StatusText(), QStringLiteral("Idle!"));
    for (const char *b : {"btnDownload", "btnDownloadBlacklist", "btnAbort"})
        EXPECT_FALSE(Enabled(*w, b)) << b;
    for (const char *b : {"btnCheck", "btnOk"})
        EXPECT_TRUE(Enabled(*w, b)) << b;
    // Each value label stands at twice its caption's left plus the caption's width.
    const QLabel *caption = w->ValueLabel(QStringLiteral("Label9"));
    EXPECT_EQ(w->ValueLabel(QStringLiteral("VersionAvailable"))->x(), 2 * caption->x() + caption->width());

    QFile::remove(Folder + "BlackLst.vkb");
    auto fresh = Window();
    EXPECT_EQ(Value(*fresh, "CurrentBlacklistVersion"), QStringLiteral("Release 0"));
}

TEST_F(UpdateTest, CheckTable)
{
    const struct {
        const char *name;
        TReply reply;
        int result;
        const char *status;
        bool download, blacklist;
    } cases[] = {
        {"newer program", {InfoFile("1.2.0.0", "Release 3")}, 3, "A newer program version is available!", true, false},
        {"newer blacklist", {InfoFile("1.1.0.0", "Release 4")}, 4, "A newer blacklist is available!", false, true},
        {"both", {InfoFile("2.0.0.0", "Release 9")}, 5, "Both, new program version and blacklist version, are available!",
         true, true},
        {"neither", {InfoFile("1.1.0.0", "Release 3")}, 2, "No updates found!", false, false},
        {"older program", {InfoFile("1.0.9.9", "Release 3")}, 2, "No updates found!", false, false},
        {"a web page in its place", {"<html>It works!</html>"}, 1,
         "Error occured!\nThe reply is a web page, not an update information file.", false, false},
        {"another INI file", {"[General]\r\nVersion=Release 9\r\n"}, 1,
         "Error occured!\nThe reply is no update information file: it has no [UpdateInfo] section.", false, false},
        {"an empty information file", {"[UpdateInfo]\r\n"}, 2, "No updates found!", false, false},
        {"unparsable blacklist release", {InfoFile("1.1.0.0", "Release soon")}, 2, "No updates found!", false, false},
        {"failed download", {InfoFile("2.0.0.0", "Release 9"), false}, 1, "Error occured!\nfailed", false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Replies[InfoUrl] = c.reply;
        auto w = Window();
        Click(*w, "btnCheck");
        EXPECT_EQ(w->FUpdateResult, c.result);
        EXPECT_EQ(w->StatusText(), QLatin1String(c.status));
        EXPECT_EQ(Enabled(*w, "btnDownload"), c.download);
        EXPECT_EQ(Enabled(*w, "btnDownloadBlacklist"), c.blacklist);
        EXPECT_FALSE(Enabled(*w, "btnAbort"));
        EXPECT_FALSE(QFile::exists(Downloads + "Vaskimo.upd"));
        EXPECT_EQ(QDir(Downloads).entryList(QDir::Files | QDir::Hidden), QStringList());
    }
    // The labels of the last good check.
    Replies[InfoUrl] = {InfoFile("2.0.0.0", "Release 9")};
    auto w = Window();
    Click(*w, "btnCheck");
    EXPECT_EQ(Value(*w, "VersionAvailable"), QStringLiteral("2.0.0.0"));
    EXPECT_EQ(Value(*w, "VersionDetails"), QStringLiteral("Faster scans"));
    EXPECT_EQ(Value(*w, "DownloadURL"), SetupUrl);
    EXPECT_EQ(Value(*w, "MoreInfo"), QStringLiteral("http://updates.example/readme.html"));
    EXPECT_EQ(Value(*w, "BlacklistVersionAvailable"), QStringLiteral("Release 9"));
    EXPECT_EQ(Value(*w, "BlacklistDownloadURL"), ListUrl);
    // A failed check empties what an earlier one showed.
    Replies[InfoUrl].Ok = false;
    Click(*w, "btnCheck");
    EXPECT_EQ(Value(*w, "VersionAvailable"), QString());
    EXPECT_EQ(w->FUpdateResult, 1);
}

// Details longer than the window is wide are cut with "…" inside the window, and whole in the tooltip.
TEST_F(UpdateTest, LongDetailsAreCutInsideTheWindowAndWholeInTheTooltip)
{
    const QByteArray details = "Faster scans, a new duplicate finder that compares in the background, the undo manager "
                               "that reads big files with a moving bar, and many small fixes";
    Replies[InfoUrl] = {InfoFile("2.0.0.0", "Release 9").replace("Faster scans", details)};
    auto w = Window();
    Click(*w, "btnCheck");
    const QLabel *label = w->ValueLabel(QStringLiteral("VersionDetails"));
    EXPECT_LE(label->geometry().right(), w->rect().right());
    EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    EXPECT_TRUE(label->text().endsWith(QChar(0x2026))) << label->text().toStdString();
    EXPECT_TRUE(QString::fromLatin1(details).startsWith(label->text().chopped(1)));
    EXPECT_EQ(label->toolTip(), QString::fromLatin1(details));
}

TEST_F(UpdateTest, ProxySettingsReachTheClient)
{
    Replies[InfoUrl] = {InfoFile("1.1.0.0", "Release 3")};
    Settings.FUseProxy = true;
    Settings.FProxyServer = QStringLiteral("proxy.lan");
    Settings.FProxyPort = 3128;
    Settings.FProxyUsername = QStringLiteral("me");
    Settings.FProxyPassword = QStringLiteral("secret");
    auto w = Window();
    Click(*w, "btnCheck");
    // "0 as default port" is the client's default.
    Settings.FProxyPort = 0;
    Click(*w, "btnCheck");
    Settings.FUseProxy = false;
    Click(*w, "btnCheck");
    EXPECT_EQ(Log, QStringList({"proxy proxy.lan:3128 me/secret", "GET " + InfoUrl, "proxy proxy.lan:80 me/secret",
                                "GET " + InfoUrl, "proxy :80 /", "GET " + InfoUrl}));
}

TEST_F(UpdateTest, BlacklistInstall)
{
    Replies[InfoUrl] = {InfoFile("1.1.0.0", "Release 4")};
    Replies[ListUrl] = {NewBlacklist};
    TBoxes boxes;
    boxes.Answer = false;
    auto w = Window();
    Click(*w, "btnCheck");
    EXPECT_EQ(Value(*w, "CurrentBlacklistVersion"), QStringLiteral("Release 3"));
    Click(*w, "btnDownloadBlacklist");
    EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), NewBlacklist);
    EXPECT_FALSE(QFile::exists(Folder + "BlackLst.tmp"));
    // The window shows what is now installed.
    EXPECT_EQ(Value(*w, "CurrentBlacklistVersion"), QStringLiteral("Release 4"));
    EXPECT_EQ(w->StatusText(), QStringLiteral("Succesfully downloaded the blacklist update!"));
    EXPECT_EQ(boxes.Shown, QStringList{"To finish installing the fix you need to restart Vaskimo. Close Vaskimo now?"});
    EXPECT_EQ(Terminated, 0);
    EXPECT_FALSE(w->FNewBlacklist);
    EXPECT_FALSE(Enabled(*w, "btnDownloadBlacklist"));
    EXPECT_TRUE(Enabled(*w, "btnCheck"));
    EXPECT_TRUE(Enabled(*w, "btnOk"));
    EXPECT_EQ(w->FUpdateResult, 4);
    // A second check offers nothing more.
    Click(*w, "btnCheck");
    EXPECT_EQ(w->FUpdateResult, 2);

    // Yes ends the program.
    boxes.Answer = true;
    auto again = Window();
    Replies[InfoUrl] = {InfoFile("1.1.0.0", "Release 5")};
    Click(*again, "btnCheck");
    Click(*again, "btnDownloadBlacklist");
    EXPECT_EQ(Terminated, 1);
}

TEST_F(UpdateTest, FailedBlacklistDownloadKeepsTheOldOne)
{
    const struct { const char *name; TReply reply; const char *status; } cases[] = {
        {"cut short", {NewBlacklist.left(25), false}, "Error occured!\nfailed"},
        {"an error page", {"<html><body>407 Proxy Authentication Required</body></html>"},
         "Error occured!\nThe downloaded file is no blacklist."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Replies[InfoUrl] = {InfoFile("1.1.0.0", "Release 4")};
        Replies[ListUrl] = c.reply;
        TBoxes boxes;
        auto w = Window();
        Click(*w, "btnCheck");
        Click(*w, "btnDownloadBlacklist");
        EXPECT_EQ(ReadFile(Folder + "BlackLst.vkb"), OldBlacklist);
        EXPECT_FALSE(QFile::exists(Folder + "BlackLst.tmp"));
        EXPECT_EQ(w->StatusText(), QLatin1String(c.status));
        EXPECT_EQ(w->FUpdateResult, 1);
        EXPECT_TRUE(Enabled(*w, "btnDownloadBlacklist"));
        EXPECT_FALSE(Enabled(*w, "btnAbort"));
        EXPECT_TRUE(boxes.Shown.isEmpty());
        EXPECT_LT(w->Edistys()->value(), w->Edistys()->minimum()) << "the bar shows what a failed download got";
    }
}

TEST_F(UpdateTest, FailedReplaceIsReportedAndKeepsTheOffer)
{
    Replies[InfoUrl] = {InfoFile("1.1.0.0", "Release 4")};
    Replies[ListUrl] = {NewBlacklist};
    // What stands in the blacklist's place cannot be renamed over: a folder of that name.
    ASSERT_TRUE(QFile::remove(Folder + "BlackLst.vkb"));
    ASSERT_TRUE(QDir().mkpath(Folder + "BlackLst.vkb/kept"));
    TBoxes boxes;
    auto w = Window();
    Click(*w, "btnCheck");
    Click(*w, "btnDownloadBlacklist");
    EXPECT_TRUE(QFileInfo::exists(Folder + "BlackLst.vkb/kept"));
    EXPECT_FALSE(QFile::exists(Folder + "BlackLst.tmp"));
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown[0].startsWith("Unknown error occured while setting up the blacklist."));
    EXPECT_EQ(boxes.Kinds[0], TMessageKind::Error);
    EXPECT_EQ(w->FUpdateResult, 1);
    EXPECT_TRUE(Enabled(*w, "btnDownloadBlacklist"));
}

TEST_F(UpdateTest, ProgramDownload)
{
    Replies[InfoUrl] = {InfoFile("1.2.0.0", "Release 3")};
    const QByteArray setup = WindowsProgram(1000);
    Replies[SetupUrl] = {setup};
    TBoxes boxes;
    auto w = Window();
    Click(*w, "btnCheck");
    Click(*w, "btnDownload");
    EXPECT_EQ(ReadFile(Downloads + "VaskimoSetup.exe"), setup);
    EXPECT_EQ(w->StatusText(), QStringLiteral("Succesfully downloaded the program update!"));
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_EQ(boxes.Shown[0], QStringLiteral("File downloaded to \"C:\\Vaskimo\\Downloads\\VaskimoSetup.exe\". To install "
                                             "the update you need first to close Vaskimo and execute the downloaded "
                                             "file! Close Vaskimo now and execute the update?"));
    EXPECT_EQ(Opened, QStringList{Downloads + "VaskimoSetup.exe"});
    EXPECT_EQ(Terminated, 1);
    EXPECT_FALSE(Enabled(*w, "btnDownload"));
    EXPECT_FALSE(w->FNewProgram);
    EXPECT_EQ(w->FUpdateResult, 3);

    // An update that cannot be started leaves the program running.
    Recorder.OpenWorks = false;
    auto again = Window();
    Click(*again, "btnCheck");
    Click(*again, "btnDownload");
    ASSERT_EQ(boxes.Shown.size(), 3);
    EXPECT_EQ(boxes.Kinds[2], TMessageKind::Error);
    EXPECT_EQ(Terminated, 1);
}

TEST_F(UpdateTest, ProgramDownloadFailures)
{
    const struct { const char *name, *url; TReply reply; const char *reason; } cases[] = {
        {"connection lost", "http://updates.example/files/VaskimoSetup.exe", {"MZ inst", false}, "failed"},
        {"address ending in a slash", "http://updates.example/files/", {"MZ installer"},
         "The download address names no file that can be saved."},
        {"a name that climbs out", "http://updates.example/files/..", {"MZ installer"},
         "The download address names no file that can be saved."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray info = InfoFile("1.2.0.0", "Release 3");
        info.replace(SetupUrl.toLatin1(), c.url);
        Replies[InfoUrl] = {info};
        Replies[QLatin1String(c.url)] = c.reply;
        TBoxes boxes;
        auto w = Window();
        Click(*w, "btnCheck");
        Click(*w, "btnDownload");
        EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\n") + QLatin1String(c.reason));
        EXPECT_TRUE(boxes.Shown.isEmpty());
        EXPECT_EQ(QDir(Downloads).entryList(QDir::Files | QDir::Hidden), QStringList());
        EXPECT_EQ(QDir(Program.path()).entryList(QDir::Files), QStringList{"BlackLst.vkb"});
        EXPECT_TRUE(Enabled(*w, "btnDownload"));
        EXPECT_TRUE(Enabled(*w, "btnCheck"));
        EXPECT_EQ(w->FUpdateResult, 3);  // the program download leaves it
        EXPECT_LT(w->Edistys()->value(), w->Edistys()->minimum()) << "the bar shows what a failed download got";
        EXPECT_GT(w->Edistys()->maximum(), w->Edistys()->minimum());
    }
}

TEST_F(UpdateTest, AbortDuringDownload)
{
    Replies[InfoUrl] = {InfoFile("1.2.0.0", "Release 3")};
    Replies[SetupUrl] = {"MZ first half", true, true};
    TBoxes boxes;
    auto w = Window();
    Click(*w, "btnCheck");
    QStringList seen;
    bool closedDuringDownload = false;
    QTimer::singleShot(50, w.get(), [&] {
        seen << w->StatusText();
        for (const char *b : {"btnDownload", "btnDownloadBlacklist", "btnCheck", "btnOk"})
            EXPECT_FALSE(Enabled(*w, b)) << b;
        EXPECT_EQ(w->Edistys()->maximum(), 26);
        EXPECT_EQ(w->Edistys()->value(), 13);
        w->close();  // refused while the download runs
        closedDuringDownload = !w->isVisible();
        Click(*w, "btnAbort");
        seen << w->StatusText();
    });
    Click(*w, "btnDownload");
    EXPECT_FALSE(closedDuringDownload);
    ASSERT_EQ(seen.size(), 2);
    EXPECT_TRUE(seen[0].startsWith("Downloading ")) << seen[0].toStdString();
    EXPECT_EQ(seen[1], QStringLiteral("Aborted!"));
    EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\nfailed"));
    EXPECT_EQ(QDir(Downloads).entryList(QDir::Files | QDir::Hidden), QStringList());
    EXPECT_TRUE(boxes.Shown.isEmpty());
    EXPECT_TRUE(Enabled(*w, "btnOk"));
    EXPECT_FALSE(Enabled(*w, "btnAbort"));
    EXPECT_LT(w->Edistys()->value(), w->Edistys()->minimum()) << "an aborted download leaves its half-full bar";
}

// A check can take long on a bad line: Abort, Close, Escape and the window's own close end it.
TEST_F(UpdateTest, DuringACheckAbortAndCloseEndIt)
{
    const struct { const char *name; std::function<void(TUpdateIkkuna &)> press; bool staysOpen; } ways[] = {
        {"Abort", [](TUpdateIkkuna &w) { Click(w, "btnAbort"); }, true},
        {"Close", [](TUpdateIkkuna &w) { Click(w, "btnOk"); }, false},
        {"Escape", [](TUpdateIkkuna &w) { QTest::keyClick(&w, Qt::Key_Escape); }, false},
        {"the window's close", [](TUpdateIkkuna &w) { w.close(); }, false},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.name);
        Log.clear();
        Replies[InfoUrl] = {InfoFile("1.2.0.0", "Release 3"), true, true};
        auto w = Window();
        bool pressed = false;
        QTimer::singleShot(50, w.get(), [&] {
            EXPECT_TRUE(w->Busy());
            EXPECT_TRUE(Enabled(*w, "btnAbort"));
            EXPECT_TRUE(Enabled(*w, "btnOk"));
            // A second check while one runs is ignored.
            QTest::mouseClick(w->Button(QStringLiteral("btnCheck")), Qt::LeftButton);
            way.press(*w);
            pressed = true;
        });
        Click(*w, "btnCheck");
        EXPECT_TRUE(pressed);
        EXPECT_EQ(Log.count("GET " + InfoUrl), 1);
        EXPECT_EQ(w->FUpdateResult, 1);
        EXPECT_EQ(w->StatusText(), QStringLiteral("Error occured!\nfailed"));
        EXPECT_EQ(w->isVisible(), way.staysOpen);
        EXPECT_FALSE(Enabled(*w, "btnAbort"));
        EXPECT_FALSE(QFile::exists(Downloads + "Vaskimo.upd"));
    }
}

TEST_F(UpdateTest, LinksOpenOnlyWebAddresses)
{
    QByteArray info = InfoFile("1.2.0.0", "Release 4");
    info.replace("http://updates.example/readme.html", "file:///etc/passwd");
    Replies[InfoUrl] = {info};
    auto w = Window();
    QTest::mouseClick(w->ValueLabel(QStringLiteral("MoreInfo")), Qt::LeftButton);  // empty before a check
    Click(*w, "btnCheck");
    QTest::mouseClick(w->ValueLabel(QStringLiteral("MoreInfo")), Qt::LeftButton);
    QTest::mouseClick(w->ValueLabel(QStringLiteral("DownloadURL")), Qt::LeftButton);
    QTest::mouseClick(w->ValueLabel(QStringLiteral("BlacklistDownloadURL")), Qt::LeftButton);
    EXPECT_EQ(Opened, QStringList({SetupUrl, ListUrl}));
}

// A reason longer than the status's two lines wraps, and the whole of it is in the tooltip.
TEST_F(UpdateTest, ALongReasonIsShownWhole)
{
    auto tooltipOf = [](QLabel *label) {
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(label, &help);
        return QToolTip::isVisible() ? QToolTip::text() : QString();
    };
    Replies[InfoUrl] = {InfoFile("1.1.0.0", "Release 3")};
    auto w = Window();
    Click(*w, "btnCheck");
    EXPECT_TRUE(w->StatusFits());
    EXPECT_EQ(tooltipOf(w->ValueLabel("Status")), QString());
    Settings.FUpdateDir = "C:\\" + QString(120, u'v') + "\\";
    Click(*w, "btnCheck");
    ASSERT_TRUE(w->StatusText().endsWith(QStringLiteral("is on no drive of the prefix.")));
    EXPECT_FALSE(w->StatusFits());
    EXPECT_EQ(tooltipOf(w->ValueLabel("Status")), w->StatusText());
    QLabel *status = w->ValueLabel("Status");
    EXPECT_TRUE(status->wordWrap());
    EXPECT_LE(status->geometry().right(), w->width());
}

TEST_F(UpdateTest, EscapeCloses)
{
    auto w = Window();
    QTest::keyClick(w.get(), Qt::Key_Escape);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->result(), QDialog::Accepted);
}

TEST_F(UpdateTest, TranslatedOnShowKeepingWhatACheckFound)
{
    WriteFile(Folder + "Languages/Suomi.txt",
              "[UpdateIkkuna]\r\nUpdateIkkuna.Caption=Tarkista p\xe4ivitykset\r\nUpdateIkkuna.btnCheck.Caption=Tarkista\r\n"
              "UpdateIkkuna.Label9.Caption=Saatavilla oleva ohjelmaversio on t\xe4m\xe4:\r\n"
              "UpdateIkkuna.Status.Caption=Vapaa!\r\n"
              "[Misc]\r\nM120PI=Uudempi ohjelmaversio on saatavilla!\r\n");
    Settings.FLanguageIndex = 2;
    Settings.FLanguage = QStringLiteral("Suomi");
    Replies[InfoUrl] = {InfoFile("1.2.0.0", "Release 3")};
    auto w = Window();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Tarkista p\u00e4ivitykset"));
    EXPECT_EQ(w->Button(QStringLiteral("btnCheck"))->text(), QStringLiteral("Tarkista"));
    EXPECT_EQ(w->StatusText(), QStringLiteral("Vapaa!"));
    // The value label follows its longer caption.
    const QLabel *caption = w->ValueLabel(QStringLiteral("Label9"));
    EXPECT_EQ(w->ValueLabel(QStringLiteral("VersionAvailable"))->x(), 2 * caption->x() + caption->width());
    Click(*w, "btnCheck");
    EXPECT_EQ(w->StatusText(), QStringLiteral("Uudempi ohjelmaversio on saatavilla!"));
    // Shown again (the automatic check's Yes): the translation does not undo the check.
    w->hide();
    w->show();
    EXPECT_EQ(w->StatusText(), QStringLiteral("Uudempi ohjelmaversio on saatavilla!"));
    EXPECT_EQ(Value(*w, "VersionAvailable"), QStringLiteral("1.2.0.0"));
}

TEST_F(UpdateTest, AnotherWindowsCheckWhileOneRunsFails)
{
    Replies[InfoUrl] = {InfoFile("1.2.0.0", "Release 3"), true, true};
    auto hidden = Window();  // the automatic check's window
    auto shown = Window();
    QTimer::singleShot(50, shown.get(), [&] {
        Replies[InfoUrl].WaitForAbort = false;
        Click(*shown, "btnCheck");
        EXPECT_EQ(shown->FUpdateResult, 1);
        EXPECT_EQ(shown->StatusText(), QStringLiteral("Error occured!\nAnother update window is downloading."));
        hidden->btnAbortClick();
    });
    Click(*hidden, "btnCheck");
    EXPECT_EQ(Log.count("GET " + InfoUrl), 1);
    // The running one was not disturbed by the other's attempt; it ended through the abort.
    EXPECT_EQ(hidden->FUpdateResult, 1);
    Click(*shown, "btnCheck");
    EXPECT_EQ(shown->FUpdateResult, 3);
}

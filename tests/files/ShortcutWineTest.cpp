// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-delsho" run by the built program on a prefix made by Wine's own wineboot, whose profile links into a home.
//
// wineboot links the profile's Desktop (and Documents and the rest) into the user's Linux home.
// The home here holds a git repository, settings folders and empty folders; shortcuts come both
// from Wine's own shell-link object (WScript.Shell run by cscript) and from hand-made bytes.
#include "LnkBuilder.h"
#include "support/RunProcess.h"
#include "support/WineTools.h"
#include "support/WinebootHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <ostream>

namespace {

const QString StartMenuBelow = QStringLiteral("AppData/Roaming/Microsoft/Windows/Start Menu/Programs");
const QString CommonPrograms = QStringLiteral("ProgramData/Microsoft/Windows/Start Menu/Programs");

using namespace TestSupport;

// A JScript string literal: the script's text stays ASCII whatever the locale.
QString JsString(const QString &text)
{
    QString s = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == u'\\' || c == u'"')
            s += u'\\' + QString(c);
        else if (c.unicode() < 0x20 || c.unicode() > 0x7E)
            s += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            s += c;
    }
    return s + u'"';
}

class ShortcutsOnAWinebootPrefix : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VASKIMO_NEED_WINE();
        QString why;
        ASSERT_TRUE(Dir.isValid());
        Home = Dir.filePath("home");
        Prefix = Dir.filePath("prefix");
        // The prefix's own wineboot, not the shared one: its profile links into this home.
        Env = WineEnvironment(Prefix, Home);
    }
    void TearDown() override
    {
        if (!Prefix.isEmpty() && QFileInfo::exists(Prefix)) {
            QByteArray out;
            RunToEnd(WineServerProgram(), {"-k"}, Env, 20000, &out);
            if (WaitForWineserver(Prefix))
                RemoveServerFolder(Prefix);
        }
    }
    void Wine(const QStringList &args)
    {
        QByteArray out;
        const int code = RunWine(args, Env, 120000, &out, Dir.path());
        ASSERT_EQ(code, 0) << "wine64 " << args.join(' ').toStdString() << ": " << out.toStdString();
        ASSERT_TRUE(WaitForWineserver(Prefix));
    }
    void Git(const QStringList &args, QByteArray *out = nullptr)
    {
        QByteArray ignored;
        QByteArray &text = out ? *out : ignored;
        ASSERT_TRUE(RunToEnd("git", QStringList{"-c", "user.name=Test", "-c", "user.email=test@example.com", "-C", Home + "/repo"} + args,
                        Env, 30000, &text))
            << args.join(' ').toStdString() << ": " << text.toStdString();
    }
    static void MakeFolder(const QString &path) { ASSERT_TRUE(QDir().mkpath(path)) << path.toStdString(); }
    static void Write(const QString &path, const QByteArray &bytes)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size()) << path.toStdString();
    }
    // "C:\x\y" as the host path in this prefix.
    QString Host(const QString &windowsPath) const
    {
        return Prefix + "/drive_c/" + windowsPath.mid(3).replace('\\', '/');
    }
    // The values of the "Shell Folders" keys of HKCU and HKLM as Wine's own reg reads them.
    QStringList ShellFolderValues()
    {
        const QString key = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
        QByteArray out;
        EXPECT_TRUE(Reg(Prefix, {{"query", "HKCU" + key}, {"query", "HKLM" + key}}, &out)) << out.toStdString();
        QStringList values;
        for (const QByteArray &line : out.split('\n')) {
            const qsizetype type = line.indexOf("REG_SZ");
            if (type > 0)
                values << QString::fromUtf8(line.mid(type + 6)).trimmed();
        }
        return values;
    }

    QTemporaryDir Dir;
    QString Home, Prefix;
    QProcessEnvironment Env;
};

TEST_F(ShortcutsOnAWinebootPrefix, DelshoTakesBrokenShortcutsAndEmptyPrefixFoldersOnly)
{
    // The home before Wine sees it: a repository, settings folders with empty subfolders, an empty folder.
    MakeFolder(Home + "/repo");
    Git({"init", "-q"});
    Write(Home + "/repo/README", "kept\n");
    Git({"add", "README"});
    Git({"commit", "-q", "-m", "first"});
    for (const char *folder : {".gnupg/private-keys-v1.d", ".config/x", "Projects/empty", "Old"})
        MakeFolder(Home + '/' + folder);

    Wine({"wineboot", "-i"});
    QStringList users = QDir(Prefix + "/drive_c/users").entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    users.removeAll("Public");
    ASSERT_EQ(users.size(), 1) << users.join(',').toStdString();
    const QString user = users.first();
    const QString profile = Prefix + "/drive_c/users/" + user;
    // What Debian's wineboot does with a home that has no Desktop folder: the profile's Desktop is the home.
    ASSERT_TRUE(QFileInfo(profile + "/Desktop").isSymLink());
    ASSERT_EQ(QFileInfo(profile + "/Desktop").canonicalFilePath(), QFileInfo(Home).canonicalFilePath());
    const QString programs = profile + '/' + StartMenuBelow, common = Prefix + "/drive_c/" + CommonPrograms;
    const QString windowsProfile = "C:\\users\\" + user, windowsPrograms = windowsProfile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";
    const QString snowman = QString::fromUtf8("C:\\Ünïcødé\\☃ gone.exe");

    for (const QString &folder : {programs + "/Games", programs + "/Tools", programs + "/EmptyInside", programs + "/Outer/Inner",
                                  common + "/Vendor", QFileInfo(Host(snowman)).path()})
        MakeFolder(folder);
    Write(Host(snowman), "MZ");

    // Shortcuts written by Wine's own shell-link object.
    const struct {
        QString link, target;
    } wineLinks[] = {
        {windowsProfile + "\\Desktop\\gone-wine.lnk", "C:\\Gone\\app.exe"},
        {windowsProfile + "\\Desktop\\Old\\gone-old.lnk", "C:\\Gone\\old.exe"},
        {windowsProfile + "\\Desktop\\snowman.lnk", snowman},
        {windowsPrograms + "\\Games\\gone-game.lnk", "C:\\Gone\\game.exe"},
        {windowsPrograms + "\\Tools\\notepad.lnk", "C:\\windows\\notepad.exe"},
        {"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Vendor\\gone-vendor.lnk", "C:\\Gone\\vendor.exe"},
    };
    QString script = "var shell = new ActiveXObject(\"WScript.Shell\");\n";
    for (const auto &l : wineLinks)
        script += "var l = shell.CreateShortcut(" + JsString(l.link) + "); l.TargetPath = " + JsString(l.target) + "; l.Save();\n";
    Write(Prefix + "/drive_c/links.js", script.toLatin1());
    Wine({"cscript", "//nologo", "C:\\links.js"});
    for (const auto &l : wineLinks)
        ASSERT_TRUE(QFileInfo::exists(Host(l.link))) << "Wine wrote no " << l.link.toStdString();
    QFile::remove(Prefix + "/drive_c/links.js");

    // Hand-made ones, after Microsoft's published format; a FIFO where a shortcut would be.
    LnkBuilder::TLink gone, fine, quotes;
    gone.Target = "C:\\Gone\\hand.exe";
    fine.Target = "C:\\windows\\notepad.exe";
    quotes.Target = "\"\"";
    Write(Home + "/hand-gone.lnk", LnkBuilder::WithLinkInfo(gone));
    Write(Home + "/hand-fine.lnk", LnkBuilder::WithLinkInfo(fine));
    Write(programs + "/quotes.lnk", LnkBuilder::WithLinkInfo(quotes));
    Write(programs + "/hand-idlist.lnk", LnkBuilder::WithIdList("C:\\", {"Gone", "idlist.exe"}));
    ASSERT_EQ(::mkfifo(QFile::encodeName(programs + "/fifo.lnk").constData(), 0600), 0);

    QStringList shellFolders = ShellFolderValues();
    ASSERT_GE(shellFolders.size(), 20);
    ASSERT_TRUE(shellFolders.contains(windowsPrograms + "\\Administrative Tools"));

    const QStringList walked = {Prefix + "/drive_c", Home};
    const QSet<QString> before = FindBelow(walked, {"-mindepth", "1"});

    TProgramCopy program(VASKIMO_EXE);
    QByteArray out;
    ASSERT_TRUE(program.Run({"-delsho", "-exit"}, Env, &out, 120000)) << out.toStdString();

    const QByteArray logText = program.Log();
    EXPECT_TRUE(logText.contains("Found 6 invalid shortcuts! Deleting...")) << logText.constData();
    EXPECT_FALSE(logText.contains("failed")) << logText.constData();

    QSet<QString> removed = before - FindBelow(walked, {"-mindepth", "1"});
    const QSet<QString> expected = {
        Home + "/gone-wine.lnk",       Home + "/Old/gone-old.lnk",   Home + "/hand-gone.lnk",
        programs + "/Games/gone-game.lnk", programs + "/Games",      programs + "/hand-idlist.lnk",
        common + "/Vendor/gone-vendor.lnk", common + "/Vendor",      programs + "/EmptyInside",
        programs + "/Outer/Inner",     programs + "/Outer",
    };
    QStringList unexpected = (removed - expected).values(), missed = (expected - removed).values();
    unexpected.sort();
    missed.sort();
    EXPECT_TRUE(unexpected.isEmpty()) << "removed as well: " << unexpected.join(", ").toStdString();
    EXPECT_TRUE(missed.isEmpty()) << "left in place: " << missed.join(", ").toStdString();
    // Each went to the user's trash, where it can be restored from.
    EXPECT_EQ(QDir(Home + "/.local/share/Trash/info").entryList(QDir::Files).size(), expected.size());

    QByteArray status;
    Git({"status", "--porcelain"}, &status);
    EXPECT_TRUE(status.isEmpty()) << status.constData();
    for (const QString &folder : shellFolders)
        EXPECT_TRUE(QFileInfo(Host(folder)).isDir()) << "shell folder gone: " << folder.toStdString();
}

}  // namespace

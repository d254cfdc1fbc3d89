// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: `cmake --install` into a temporary prefix, made read-only and run as a user would: the
// run's files land in the per-user folder, the shipped ones are read from share/vaskimo/.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "support/DemoPrefix.h"
#include "support/Needs.h"
#include "support/Pictures.h"
#include "support/RunProcess.h"

#include <algorithm>
#include <cstdlib>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct TResult {
    int Code = -1;
    QByteArray Out, Err;
};

TResult RunProcess(const QString &program, const QStringList &args, const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    TResult r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished(5000);
        r.Err = "timed out";
        return r;
    }
    r.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = p.readAllStandardOutput();
    r.Err = p.readAllStandardError();
    return r;
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QStringList Tree(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

int FoundEntries(const QByteArray &log)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("Found (\\d+) invalid entries!")).match(QString::fromLatin1(log));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// The largest difference of one colour channel between two pictures of the same size.
int LargestDifference(const QImage &a, const QImage &b)
{
    const QImage left = a.convertToFormat(QImage::Format_ARGB32), right = b.convertToFormat(QImage::Format_ARGB32);
    int largest = 0;
    for (int y = 0; y < left.height(); ++y) {
        for (int x = 0; x < left.width(); ++x) {
            const QRgb p = left.pixel(x, y), q = right.pixel(x, y);
            for (const int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q), qAlpha(p) - qAlpha(q)})
                largest = std::max(largest, std::abs(d));
        }
    }
    return largest;
}

// Gives path (and what is below it) to nobody, who runs the installed program.
void GiveToNobody(const QString &path)
{
    ASSERT_EQ(QProcess::execute("chown", {"-R", "nobody:nogroup", path}), 0);
}

} // namespace

TEST(Install, ReadOnlyInstallWritesToThePerUserFolder)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    chmod(QFile::encodeName(tmp.path()).constData(), 0755);
    const QString prefix = tmp.filePath("usr");
    const TResult install = RunProcess(VASKIMO_CMAKE, {"--install", VASKIMO_BUILD_DIR, "--prefix", prefix});
    ASSERT_EQ(install.Code, 0) << install.Out.constData() << install.Err.constData();

    for (const char *file : {"bin/vaskimo", "share/vaskimo/BlackLst.vkb", "share/vaskimo/Helps/VKEnglish.chm",
                             "share/applications/vaskimo.desktop", "share/icons/hicolor/scalable/apps/vaskimo.svg",
                             "share/icons/hicolor/48x48/apps/vaskimo.png", "share/icons/hicolor/32x32/apps/vaskimo.png"})
        EXPECT_TRUE(QFileInfo(prefix + '/' + file).isFile()) << file;
    const TResult validate = RunProcess("desktop-file-validate", {prefix + "/share/applications/vaskimo.desktop"});
    EXPECT_EQ(validate.Code, 0) << validate.Out.constData() << validate.Err.constData();
    EXPECT_EQ(validate.Out + validate.Err, QByteArray()) << "desktop-file-validate has hints";

    // A user and a prefix of the user's own; the install belongs to root and nobody may write it.
    const QString home = tmp.filePath("home"), run = tmp.filePath("run"), wine = tmp.filePath("prefix");
    QDir().mkpath(home);
    QDir().mkpath(run);
    chmod(QFile::encodeName(run).constData(), 0700);
    ASSERT_EQ(TestSupport::CopyDemoPrefix(wine), 0);
    QStringList asUser;
    if (getuid() == 0) {
        for (const QString &path : {home, run, wine})
            ASSERT_NO_FATAL_FAILURE(GiveToNobody(path));
        asUser = TestSupport::AsNobody() + QStringList{prefix + "/bin/vaskimo"};
    }
    ASSERT_EQ(QProcess::execute("chmod", {"-R", "a-w", prefix}), 0);
    const QStringList installed = Tree(prefix);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME"})
        env.remove(name);
    env.insert("HOME", home);
    env.insert("XDG_RUNTIME_DIR", run);
    env.insert("WINEPREFIX", wine);
    auto vaskimo = [&](const QStringList &args) {
        return asUser.isEmpty() ? RunProcess(prefix + "/bin/vaskimo", args, env) : RunProcess(asUser.first(), asUser.mid(1) + args, env);
    };
    const QString own = home + "/.config/vaskimo/";

    const TResult first = vaskimo({"-reg", "-unn", "-exit"});
    ASSERT_EQ(first.Code, 0) << first.Err.constData();
    EXPECT_EQ(first.Err, QByteArray());
    const QByteArray log = ReadAll(own + "Vaskimo.log");
    EXPECT_TRUE(log.endsWith("-exit\r\nAll done exiting!\r\n")) << log.constData();
    EXPECT_TRUE(QFileInfo(own + "Options.ini").isFile());
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(own).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    const int found = FoundEntries(log);
    ASSERT_GT(found, 0) << log.constData();

    // Two stale values: the shipped blacklist skips the one under Software\Wine, not the other.
    {
        QFile system(wine + "/system.reg");
        ASSERT_TRUE(system.open(QIODevice::Append));
        system.write("\n[Software\\\\VaskimoPlanted] 1765357200\n\"Path\"=\"C:\\\\gone\\\\planted.dll\"\n"
                     "\n[Software\\\\Wine\\\\VaskimoPlanted] 1765357200\n\"Path\"=\"C:\\\\gone\\\\planted.dll\"\n");
    }
    const TResult second = vaskimo({"-reg", "-exit", "-debug"});
    ASSERT_EQ(second.Code, 0) << second.Err.constData();
    EXPECT_EQ(FoundEntries(ReadAll(own + "Vaskimo.log")), found + 1) << "the shipped blacklist was not read";
    // The help log, in the per-user folder, names the help file the program found.
    const QByteArray debugLog = ReadAll(own + "HHDebug.txt");
    EXPECT_TRUE(debugLog.contains((prefix + "/share/vaskimo/Helps/VKEnglish.chm").toUtf8())) << debugLog.constData();

    // A downloaded blacklist in the per-user folder wins over the shipped one; the deletes' undo
    // file lands there too.
    {
        QFile downloaded(own + "BlackLst.vkb");
        ASSERT_TRUE(downloaded.open(QIODevice::WriteOnly));
        downloaded.write("[General]\r\nVersion=Release 2\r\n"
                            "Registry=,\"HKEY_LOCAL_MACHINE\\Software\\Wine\",\"HKEY_LOCAL_MACHINE\\Software\\VaskimoPlanted\"\r\n");
    }
    if (getuid() == 0) {
        ASSERT_NO_FATAL_FAILURE(GiveToNobody(own));
    }
    const TResult third = vaskimo({"-delreg", "-exit"});
    ASSERT_EQ(third.Code, 0) << third.Err.constData();
    EXPECT_EQ(FoundEntries(ReadAll(own + "Vaskimo.log")), found);
    const QByteArray undo = ReadAll(own + "Undo/VKUndo01.reg");
    EXPECT_TRUE(undo.startsWith("REGEDIT4")) << "no undo file in the per-user folder";
    EXPECT_TRUE(undo.contains("DemoApp")) << undo.constData();
    EXPECT_FALSE(undo.contains("VaskimoPlanted")) << undo.constData();
    EXPECT_TRUE(ReadAll(wine + "/system.reg").contains("VaskimoPlanted"));

    EXPECT_EQ(Tree(prefix), installed) << "the run wrote into the install";
    QProcess::execute("chmod", {"-R", "u+w", prefix});  // so the temporary folder can go
}

// The menu's icon is a drawing that a desktop renders at any size; the fixed sizes installed beside
// it are its renders, never an older picture left behind.
TEST(Install, TheIconIsADrawingWithItsRendersBeside)
{
    VASKIMO_NEED_PROGRAM("rsvg-convert", "librsvg2-bin");
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString prefix = tmp.filePath("usr");
    const TResult install = RunProcess(VASKIMO_CMAKE, {"--install", VASKIMO_BUILD_DIR, "--prefix", prefix});
    ASSERT_EQ(install.Code, 0) << install.Out.constData() << install.Err.constData();
    const QString icons = prefix + "/share/icons/hicolor/";
    EXPECT_TRUE(ReadAll(prefix + "/share/applications/vaskimo.desktop").contains("\nIcon=vaskimo\n"));
    for (const int side : {16, 32, 48, 256}) {
        SCOPED_TRACE(side);
        const QString rendered = tmp.filePath(QStringLiteral("render-%1.png").arg(side));
        const TResult render = RunProcess("rsvg-convert", {"-w", QString::number(side), "-h", QString::number(side),
                                                           icons + "scalable/apps/vaskimo.svg", "-o", rendered});
        ASSERT_EQ(render.Code, 0) << render.Err.constData();
        EXPECT_EQ(render.Err, QByteArray());
        const QImage drawn(rendered);
        ASSERT_NO_FATAL_FAILURE(TestSupport::ExpectDrawn(drawn, side));
        const QString installed = icons + QStringLiteral("%1x%1/apps/vaskimo.png").arg(side);
        if (side == 32 || side == 48) {
            const QImage picture(installed);
            ASSERT_EQ(picture.size(), QSize(side, side)) << qPrintable(installed);
            EXPECT_LE(LargestDifference(picture, drawn), 8) << "not the drawing's render: render it again";
        }
    }
}

TEST(Install, HelpAndVersionNeedNoDisplay)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(name);
    QTemporaryDir home;
    env.insert("HOME", home.path());
    env.remove("XDG_CONFIG_HOME");

    const TResult version = RunProcess(VASKIMO_EXE, {"--version"}, env);
    EXPECT_EQ(version.Code, 0);
    EXPECT_TRUE(QRegularExpression("^Vaskimo \\d+\\.\\d+\\.\\d+\\.\\d+\n$").match(QString::fromLatin1(version.Out)).hasMatch())
        << version.Out.constData();
    EXPECT_EQ(version.Err, QByteArray());

    const TResult help = RunProcess(VASKIMO_EXE, {"--help"}, env);
    EXPECT_EQ(help.Code, 0);
    EXPECT_EQ(help.Err, QByteArray());
    for (const char *sw : {"-reg", "-delreg", "-unn", "-delunn", "-dup", "-delsho", "-ccache", "-ccookies", "-chistory",
                           "-cmru", "-exit", "-s ", "--version"})
        EXPECT_TRUE(help.Out.contains(sw)) << sw;
    // The build folder holds the program's files: the program's own folder is the build's.
    EXPECT_TRUE(help.Out.contains(QFileInfo(VASKIMO_EXE).absolutePath().toUtf8())) << help.Out.constData();
    EXPECT_FALSE(QFileInfo::exists(home.filePath(".config"))) << "--help made a folder";
}

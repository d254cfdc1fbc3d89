// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-ccache" and "-cmru" run by the built program on a wineboot prefix: what they keep, they say why, and the run ends with 1.
#include "support/BindMount.h"
#include "support/WinebootHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using namespace TestSupport;

const QString RecentDocs = QStringLiteral("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs");

class BrowserClearingOnAWinebootPrefix : public TWinebootHomeTest
{
protected:
    QString Profile() const { return "C:\\users\\" + User; }
    QString Host(const QString &windowsPath) const { return Prefix + "/drive_c/" + windowsPath.mid(3).replace('\\', '/'); }
    bool RecentDocsInRegistry()
    {
        QByteArray out;
        return Reg(Prefix, {{"query", RecentDocs}}, &out);
    }
};

// The recent-documents list is files and a registry key together: while Wine runs in the prefix
// neither may go, and the run says so.
TEST_F(BrowserClearingOnAWinebootPrefix, CmruUnderARunningWineserverKeepsTheListAndSaysWhy)
{
    const QString recent = Host(Profile() + "\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\notes.txt.lnk");
    Write(recent, "L");
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", RecentDocs, "/v", "MRUListEx", "/t", "REG_BINARY", "/d", "00000000ffffffff", "/f"}}, &out))
        << out.toStdString();
    {
        TWineServer server;
        QString why;
        ASSERT_TRUE(server.Start(Prefix, &why)) << why.toStdString();
        const QByteArray reason = "The recent-documents list was kept: Wine programs are running in the prefix \""
                                + QFile::encodeName(Prefix) + "\". Close the Wine programs and try again.";
        TProgramCopy program(VASKIMO_EXE);
        ExpectRun(program, {"-cmru", "-exit"}, "", 1, reason, "Vaskimo: -cmru: " + reason + "\n");
        EXPECT_TRUE(QFileInfo::exists(recent));
        ASSERT_TRUE(server.Stop());
    }
    EXPECT_TRUE(RecentDocsInRegistry());

    TProgramCopy program(VASKIMO_EXE);
    ExpectRun(program, {"-cmru", "-exit"}, "", 0, "Clearing Most Recently Used list", "");
    EXPECT_FALSE(QFileInfo::exists(recent));
    EXPECT_FALSE(RecentDocsInRegistry());
}

// A cache on a read-only medium: each file that stays is named with the system's reason.
TEST_F(BrowserClearingOnAWinebootPrefix, CcacheNamesEachFileItKeptAndWhy)
{
    const QString cache = Profile() + "\\AppData\\Local\\Microsoft\\Windows\\INetCache";
    Write(Host(cache + "\\page.htm"));
    Write(Host(cache + "\\sub\\b.js"));
    TBindMount mount(Host(cache), Host(cache));
    VASKIMO_NEED_MOUNT(mount);
    ASSERT_TRUE(mount.SetReadOnly());
    const QByteArray kept1 = (cache + "\\page.htm: it cannot be opened for writing: Read-only file system").toUtf8();
    const QByteArray kept2 = (cache + "\\sub\\b.js: it cannot be opened for writing: Read-only file system").toUtf8();
    TProgramCopy program(VASKIMO_EXE);
    ExpectRun(program, {"-ccache", "-exit"}, "", 1, "Not all the files could be deleted!\r\n" + kept1 + "\r\n" + kept2,
              "Vaskimo: -ccache: " + kept1 + "\nVaskimo: -ccache: " + kept2 + "\n");
    EXPECT_TRUE(QFileInfo::exists(Host(cache + "\\page.htm")));
}

}  // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of browser-data and recent-documents clearing: the lists, the profile fence, the messages, the batch switches.
#include "shell/BrowserClear.h"

#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "shell/FileDelThds.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "support/DemoPrefix.h"
#include "support/DeletionLayers.h"
#include "shell/Tulosta.h"
#include "support/PrefixBuilder.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using TestSupport::THive;
using TestSupport::TPrefixBuilder;
using TestSupport::TScopedHandlers;

QStringList FilesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

class BrowserClearing : public ::testing::Test
{
protected:
    void SetUp() override
    {
        B.AddProfile();
        Profile = "C:\\users\\" + B.UserName();
        Cache = Profile + "\\AppData\\Local\\Microsoft\\Windows\\INetCache\\";
        Recent = Profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Recent\\";
    }
    BrowserClear::TBrowserClearHost Host(bool *batch)
    {
        BrowserClear::TBrowserClearHost host;
        host.BatchMode = [batch] { return *batch; };
        host.DeleteFiles = [this](const QStringList &files, bool permanent, std::function<void(bool)> onDone) {
            Handed = files;
            HandedPermanent = permanent;
            FileDeletion::DeleteFilesThreaded(nullptr, files, permanent, false, onDone);
        };
        return host;
    }
    TPrefixBuilder B;
    QString Profile, Cache, Recent;
    QStringList Handed;
    bool HandedPermanent = false;
};

TEST_F(BrowserClearing, ClearListHoldsFilesThenEachSubFolderAndLeavesOutTheTopIndex)
{
    B.AddFile(Cache + "page.htm", "x");
    B.AddFile(Cache + "INDEX.DAT", "i");
    B.AddFile(Cache + "Content.IE5\\index.dat", "i");
    B.AddFile(Cache + "Content.IE5\\AB12\\pic.gif", "g");
    B.AddFolder(Cache + "Empty");
    B.MakeCurrent();
    const QStringList list = BrowserClear::ClearList('"' + Cache + '"');
    const QStringList expected = {Cache + "page.htm",
                                  Cache + "Content.IE5\\",
                                  Cache + "Content.IE5\\index.dat",
                                  Cache + "Content.IE5\\AB12\\",
                                  Cache + "Content.IE5\\AB12\\pic.gif",
                                  Cache + "Empty\\"};
    EXPECT_EQ(list, expected);
}

TEST_F(BrowserClearing, OnlyFoldersInsideAProfileAreCleared)
{
    QTemporaryDir outside;
    QFile::link(outside.path(), B.HostPath(Profile + "\\AppData\\Local\\Linked"));
    B.AddFolder("C:\\users\\Public\\Cookies");
    B.AddFolder("C:\\windows\\temp");
    B.MakeCurrent();
    const QString outsideWindows = "Z:" + QDir::toNativeSeparators(outside.path()).replace('/', '\\');
    const struct {
        const char *name;
        QString folder;
        bool inside;
    } cases[] = {
        {"the cache folder", Cache, true},
        {"another profile's folder", "C:\\users\\Public\\Cookies", true},
        {"the profile itself", Profile + "\\", false},
        {"the users folder", "C:\\users\\", false},
        {"the Windows folder", "C:\\windows\\temp\\", false},
        {"a host folder through Z:", outsideWindows + "\\", false},
        {"a link out of the profile", Profile + "\\AppData\\Local\\Linked\\", false},
        {"a missing folder", Profile + "\\Gone\\", false},
        {"the host root", "Z:\\", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BrowserClear::InsideProfile(c.folder), c.inside);
    }
    // A refused folder is never listed, so nothing of it reaches the deletion.
    QFile(outside.filePath("precious.txt")).open(QIODevice::WriteOnly);
    QStringList refused;
    EXPECT_TRUE(BrowserClear::ClearList('"' + outsideWindows + "\\\"", &refused).isEmpty());
    EXPECT_EQ(refused.size(), 1);
    TScopedHandlers messages;
    bool batch = false;
    BrowserClear::ClearBrowserFolders('"' + outsideWindows + "\\\"", TClearKind::Cache, Host(&batch));
    EXPECT_EQ(messages.Shown, QStringList{"Not all the files could be deleted!\n\n" + outsideWindows
                                          + "\\: it lies outside the prefix's profiles and was left alone"});
    EXPECT_TRUE(QFileInfo::exists(outside.filePath("precious.txt")));
}

TEST_F(BrowserClearing, MessagesAfterTheClearing)
{
    QTemporaryDir trash;
    const struct {
        const char *name;
        QStringList files;       // below the cache folder
        QStringList refusedNames;  // the layer cannot delete these
        bool batch;
        TClearKind kind;
        QStringList messages;
        QStringList left;
    } cases[] = {
        {"cleared", {"a.htm", "sub\\b.js"}, {}, false, TClearKind::Cache, {"IE temporary internet files cleared!"}, {}},
        {"history", {"h.dat"}, {}, false, TClearKind::History, {"IE history cleared!"}, {}},
        {"cookies", {"c@x.txt"}, {}, false, TClearKind::Cookies, {"IE cookies cleared!"}, {}},
        {"only its own index.dat", {"index.dat"}, {}, false, TClearKind::Cache,
         {"IE temporary internet files cleared!"}, {"index.dat"}},
        {"a file held open", {"a.htm", "held.txt"}, {"held.txt"}, false, TClearKind::Cookies,
         {"Not all the files could be deleted!\n\n%1held.txt: a program holds it open"}, {"held.txt"}},
        {"batch mode shows nothing", {"a.htm", "held.txt"}, {"held.txt"}, true, TClearKind::Cache, {}, {"held.txt"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TPrefixBuilder b;
        b.AddProfile();
        const QString cache = "C:\\users\\" + b.UserName() + "\\AppData\\Local\\Microsoft\\Windows\\INetCache\\";
        for (const QString &f : c.files)
            b.AddFile(cache + f, "x");
        b.MakeCurrent();
        TScopedHandlers messages;
        FileDeletion::SetLayer(std::make_shared<TestSupport::TRefusingDeletionLayer>(trash.path(), c.refusedNames));
        bool batch = c.batch;
        BrowserClear::ClearBrowserFolders('"' + cache + '"', c.kind, Host(&batch));
        EXPECT_TRUE(HandedPermanent);
        QStringList expected;
        for (const QString &m : c.messages)
            expected << (m.contains("%1") ? m.arg(cache) : m);
        EXPECT_EQ(messages.Shown, expected);
        QStringList left;
        for (const QString &f : FilesUnder(b.HostPath(cache)))
            left << QDir::toNativeSeparators(f).replace('/', '\\');
        EXPECT_EQ(left, c.left);
        EXPECT_FALSE(QDir(trash.path() + "/files").exists()) << "browser data never goes to the recycle bin";
    }
}

TEST_F(BrowserClearing, AnAbortedClearingShowsNothing)
{
    B.AddFile(Cache + "a.htm", "x");
    B.MakeCurrent();
    TScopedHandlers messages;
    BrowserClear::TBrowserClearHost host;
    host.DeleteFiles = [](const QStringList &, bool, std::function<void(bool)> onDone) { onDone(true); };
    BrowserClear::ClearBrowserFolders('"' + Cache + '"', TClearKind::Cache, host);
    EXPECT_TRUE(messages.Shown.isEmpty());
}

TEST_F(BrowserClearing, RecentDocumentsGoWithTheirRegistryList)
{
    B.AddFile(Recent + "notes.txt.lnk", "l");
    B.AddFile(Recent + "report.doc.lnk", "l");
    B.AddFile(Recent + "desktop.ini", "[.ShellClassInfo]");
    B.AddFile(Recent + "AutomaticDestinations\\1.automaticDestinations-ms", "j");
    B.AddBinary(THive::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs", "MRUListEx",
                QByteArray("\0\0\0\0\xff\xff\xff\xff", 8));
    B.AddBinary(THive::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs\\.txt", "0",
                QByteArray("n\0", 2));
    B.AddString(THive::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Keep", "me");
    B.MakeCurrent();
    QTemporaryDir trash;
    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, trash.path()));
    TScopedHandlers messages;
    bool batch = false;
    BrowserClear::ClearRecentDocumentsClick(Host(&batch));
    EXPECT_EQ(messages.Shown, QStringList{"MRU list cleared!"});
    EXPECT_EQ(FilesUnder(B.HostPath(Recent)),
              (QStringList{"AutomaticDestinations/1.automaticDestinations-ms", "desktop.ini"}));
    EXPECT_FALSE(QDir(trash.path() + "/files").exists());
    TRegistry reg(TRootKey::CurrentUser, std::make_shared<TWinePrefix>(B.Folder()));
    EXPECT_FALSE(reg.KeyExists("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs"));
    ASSERT_TRUE(reg.OpenKeyReadOnly("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer"));
    EXPECT_EQ(reg.ReadString("Keep"), "me");
}

TEST_F(BrowserClearing, ARecentDocumentThatStaysIsAnError)
{
    B.AddFile(Recent + "held.lnk", "l");
    B.AddFile(Recent + "other.lnk", "l");
    B.MakeCurrent();
    QTemporaryDir trash;
    FileDeletion::SetLayer(std::make_shared<TestSupport::TRefusingDeletionLayer>(trash.path(), QStringList{"held.lnk"}));
    TScopedHandlers messages;
    bool batch = false;
    BrowserClear::ClearRecentDocumentsClick(Host(&batch));
    EXPECT_EQ(messages.Shown, QStringList{"Error occured!\n\n" + Recent + "held.lnk: a program holds it open"});
    EXPECT_EQ(FilesUnder(B.HostPath(Recent)), QStringList{"held.lnk"});
    batch = true;
    BrowserClear::ClearRecentDocumentsClick(Host(&batch));
    EXPECT_EQ(messages.Shown.size(), 1) << "no box in batch mode";
}

// The main window's buttons and batch switches on a copy of the demo prefix.
TEST(DemoPrefix, BrowserSwitchesClearExactlyTheBrowserFilesAndTheRecentList)
{
    QTemporaryDir temp;
    const QString copy = temp.path() + "/demo";
    ASSERT_EQ(TestSupport::CopyDemoPrefix(copy), 0);
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(copy));
    TScopedHandlers messages;
    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, temp.path() + "/Trash"));
    const QStringList before = FilesUnder(copy + "/drive_c");
    QTemporaryDir program;
    QStringList handed;
    {
        TStartHooks hooks;
        hooks.ClearBrowserData = [&handed](const QString &folders, int kind) {
            BrowserClear::TBrowserClearHost host = BrowserClear::TBrowserClearHost::FromMainWindow();
            const auto deleteFiles = host.DeleteFiles;
            host.DeleteFiles = [&handed, deleteFiles](const QStringList &files, bool permanent, std::function<void(bool)> onDone) {
                handed << files;
                deleteFiles(files, permanent, onDone);
            };
            BrowserClear::ClearBrowserFolders(folders, kind == 1 ? TClearKind::History : kind == 2 ? TClearKind::Cookies : TClearKind::Cache, host);
        };
        hooks.ClearRecentDocuments = [] { BrowserClear::ClearRecentDocumentsClick(); };
        TPaaIkkuna::SetStartHooks(hooks);
        TPaaIkkuna main(program.path());
        EXPECT_EQ(main.FCacheFolders, QStringList{"C:\\users\\demo\\AppData\\Local\\Microsoft\\Windows\\INetCache\\"});
        main.TsiikaaParamssit("-ccache, -ccookies, -chistory, -cmru");
        EXPECT_FALSE(main.FBatchAborted);
        TPaaIkkuna::SetStartHooks({});
    }
    TWinePrefix::SetCurrent(nullptr);
    EXPECT_TRUE(messages.Shown.isEmpty()) << messages.Shown.join('|').toStdString();
    EXPECT_EQ(handed.size(), 3);
    QStringList gone = before;
    for (const QString &f : FilesUnder(copy + "/drive_c"))
        gone.removeAll(f);
    EXPECT_EQ(gone, (QStringList{"users/demo/AppData/Local/Microsoft/Windows/History/history.txt",
                                 "users/demo/AppData/Local/Microsoft/Windows/INetCache/page.htm",
                                 "users/demo/AppData/Roaming/Microsoft/Windows/Cookies/demo@example.com.txt",
                                 "users/demo/AppData/Roaming/Microsoft/Windows/Recent/notes.txt.lnk"}));
    EXPECT_EQ(FilesUnder(copy + "/drive_c").size(), before.size() - 4);
    QFile log(program.path() + "/Vaskimo.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(log.readAll()).split("\r\n");
    for (const char *line : {"-ccache", "Clearing browser cache", "-ccookies", "Clearing browser cookies", "-chistory",
                             "Clearing browser history", "-cmru", "Clearing Most Recently Used list"})
        EXPECT_TRUE(lines.contains(QString::fromLatin1(line))) << line;
}

} // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the invalid-shortcut search: roots, candidates, the judgement of link kinds, the tree, marks and folder removal.
#include "files/ShortcutScan.h"

#include "LnkBuilder.h"
#include "platform/WinePrefix.h"
#include "shell/FileDelThds.h"
#include "support/PrefixBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

const QString kShellFolders = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");

class ShortcutSearch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        B.AddProfile();
        Profile = "C:\\users\\" + B.UserName();
        StartMenu = Profile + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\";
        Desktop = Profile + "\\Desktop\\";
        B.AddString(THive::System, kShellFolders, "Common Start Menu", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu");
        B.AddString(THive::System, kShellFolders, "Common Programs", "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
        B.AddFolder("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs");
        B.AddFolder("C:\\users\\Public\\Desktop");
        B.AddFile("C:\\Tools\\app.exe", "MZ");
        B.AddFile("C:\\windows\\system32\\kernel32.dll", "MZ");
    }
    QString Bytes(const QString &path, const QByteArray &bytes) { return B.AddFile(path, bytes); }
    QString Link(const QString &path, const QString &target)
    {
        LnkBuilder::TLink l;
        l.Target = target;
        return B.AddFile(path, LnkBuilder::WithLinkInfo(l));
    }
    TPrefixBuilder B;
    QString Profile, StartMenu, Desktop;
};

TEST_F(ShortcutSearch, RootsComeFromTheShellFoldersInOrder)
{
    // The same folder twice (case aside) is one root.
    B.AddString(THive::System, kShellFolders, "Common Desktop", Desktop.toUpper().chopped(1));
    B.MakeCurrent();
    const QStringList all = ShortcutScan::Roots(false);
    EXPECT_EQ(all, (QStringList{StartMenu, "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\", Desktop}));
    EXPECT_EQ(ShortcutScan::Roots(true), all.mid(0, 2));
    EXPECT_TRUE(ShortcutScan::ShellFolders().contains(StartMenu + "Programs\\"));
}

TEST_F(ShortcutSearch, JudgementOfEachKindOfLink)
{
    const QString folder = Desktop;
    LnkBuilder::TLink full;
    full.Target = "C:\\Gone\\app.exe";
    full.WorkingDir = "C:\\Gone";
    full.Arguments = "/fast";
    full.Description = "Gone app";
    full.IconLocation = "C:\\Gone\\app.ico";
    full.IconIndex = 3;
    Bytes(folder + "full.lnk", LnkBuilder::WithLinkInfo(full));
    Link(folder + "present.lnk", "C:\\Tools\\app.exe");
    Link(folder + "folder.lnk", "C:\\Tools");
    Bytes(folder + "idlist-present.lnk", LnkBuilder::WithIdList("C:\\", {"Tools", "app.exe"}));
    Bytes(folder + "idlist-missing.lnk", LnkBuilder::WithIdList("C:\\", {"Gone", "old.exe"}));
    Bytes(folder + "truncated.lnk", LnkBuilder::WithLinkInfo(full).left(0x60));
    Bytes(folder + "garbage.lnk", QByteArray("not a link at all"));
    Link(folder + "env-present.lnk", "%SystemRoot%\\system32\\kernel32.dll");
    Link(folder + "env-missing.lnk", "%SystemRoot%\\system32\\gone.dll");
    Link(folder + "unc.lnk", "\\\\server\\share\\app.exe");
    Link(folder + "short.lnk", "C:\\PROGRA~9\\app.exe");
    Link(folder + "noletter.lnk", "Q:\\app.exe");
    Link(folder + "cdrom.lnk", "D:\\setup.exe");
    Link(folder + "network.lnk", "N:\\app.exe");
    Link(folder + "host.lnk", "Z:\\no\\such\\file");
    B.AddFile(folder + "site.url", "[InternetShortcut]\r\nURL=http://example.com/\r\n");
    QTemporaryDir cd, share;
    B.Link('d', cd.path());
    B.Link('n', share.path());
    B.AddString(THive::System, "Software\\Wine\\Drives", "d:", "cdrom");
    B.AddString(THive::System, "Software\\Wine\\Drives", "n:", "network");
    B.MakeCurrent();

    const struct {
        const char *name;
        bool ignoreRemovable, ignoreNetwork;
        bool listed;
        TShortcutKind kind;
        const char *target;
    } cases[] = {
        {"full", true, true, true, TShortcutKind::ShellLink, "C:\\Gone\\app.exe"},
        {"present", true, true, false, TShortcutKind::ShellLink, nullptr},
        {"folder", true, true, false, TShortcutKind::ShellLink, nullptr},
        {"idlist-present", true, true, false, TShortcutKind::ShellLink, nullptr},
        {"idlist-missing", true, true, true, TShortcutKind::ShellLink, "C:\\Gone\\old.exe"},
        {"truncated", false, false, false, TShortcutKind::ShellLink, nullptr},
        {"garbage", false, false, false, TShortcutKind::ShellLink, nullptr},
        {"env-present", true, true, false, TShortcutKind::ShellLink, nullptr},
        {"env-missing", true, true, true, TShortcutKind::ShellLink, "C:\\windows\\system32\\gone.dll"},
        {"unc", false, false, false, TShortcutKind::ShellLink, nullptr},
        {"short", false, false, false, TShortcutKind::ShellLink, nullptr},
        {"noletter", false, false, false, TShortcutKind::ShellLink, nullptr},
        {"cdrom", true, false, false, TShortcutKind::ShellLink, nullptr},
        {"cdrom", false, true, true, TShortcutKind::ShellLink, "D:\\setup.exe"},
        {"network", false, true, false, TShortcutKind::ShellLink, nullptr},
        {"network", true, false, true, TShortcutKind::ShellLink, "N:\\app.exe"},
        {"host", true, true, false, TShortcutKind::ShellLink, nullptr},
    };
    const QStringList roots = ShortcutScan::Roots(false);
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.ignoreRemovable ? " ignore-removable" : "") + (c.ignoreNetwork ? " ignore-network" : ""));
        TShortcutOptions o;
        o.IgnoreRemovable = c.ignoreRemovable;
        o.IgnoreNetwork = c.ignoreNetwork;
        TShortcutRecord record;
        TShortcutKind kind = TShortcutKind::Folder;
        EXPECT_EQ(ShortcutScan::Judge(folder + c.name + ".lnk", roots, o, &record, &kind), c.listed);
        EXPECT_EQ(kind, c.kind);
        if (c.listed) {
            EXPECT_EQ(record.Path, folder + c.name + ".lnk");
            EXPECT_EQ(record.Target, QString::fromLatin1(c.target));
        }
    }
    TShortcutRecord record;
    TShortcutKind kind = TShortcutKind::Folder;
    ASSERT_TRUE(ShortcutScan::Judge(folder + "full.lnk", roots, {}, &record, &kind));
    EXPECT_EQ(record.StartIn, "C:\\Gone");
    EXPECT_EQ(record.Parameters, "/fast");
    EXPECT_EQ(record.Comments, "Gone app");
    EXPECT_EQ(record.IconPath, "C:\\Gone\\app.ico");
    EXPECT_EQ(record.IconIndex, "3");
    // An Internet shortcut is listed whatever its address; a folder only when it is no root.
    ASSERT_TRUE(ShortcutScan::Judge(folder + "site.url", roots, {}, &record, &kind, "N/A"));
    EXPECT_EQ(kind, TShortcutKind::Internet);
    EXPECT_EQ(record.Target, "N/A");
    EXPECT_FALSE(ShortcutScan::Judge(Desktop, roots, {}, &record, &kind));
    EXPECT_TRUE(ShortcutScan::Judge(Desktop + "Empty\\", roots, {}, &record, &kind));
    EXPECT_EQ(kind, TShortcutKind::Folder);
    TShortcutOptions ignoreEmpty;
    ignoreEmpty.IgnoreEmptyFolders = true;
    EXPECT_FALSE(ShortcutScan::Judge(Desktop + "Empty\\", roots, ignoreEmpty, &record, &kind));
}

TEST_F(ShortcutSearch, CandidatesFollowMasksSkipItemsAndEmptyFolders)
{
    Link(Desktop + "a.lnk", "C:\\x.exe");
    B.AddFile(Desktop + "b.url", "[InternetShortcut]");
    B.AddFile(Desktop + "readme.txt", "t");
    Link(Desktop + "My Games.lnk", "C:\\x.exe");
    Link(Desktop + "Tools\\t.lnk", "C:\\x.exe");
    Link(Desktop + "GAMES\\g.lnk", "C:\\x.exe");
    B.AddFolder(Desktop + "Empty");
    B.AddFolder(Desktop + "TextOnly");
    B.AddFile(Desktop + "TextOnly\\note.txt", "t");
    B.MakeCurrent();
    const struct {
        const char *name;
        bool ignoreInternet, ignoreEmpty;
        const char *skip;
        QStringList expected;
    } cases[] = {
        {"defaults", true, false, "", {Desktop + "a.lnk", Desktop + "My Games.lnk", Desktop + "Empty\\",
                                       Desktop + "GAMES\\g.lnk", Desktop + "Tools\\t.lnk"}},
        {"Internet addresses too", false, true, "",
         {Desktop + "a.lnk", Desktop + "My Games.lnk", Desktop + "b.url", Desktop + "GAMES\\g.lnk", Desktop + "Tools\\t.lnk"}},
        {"skip games in any case", true, true, "games", {Desktop + "a.lnk", Desktop + "Tools\\t.lnk"}},
        {"an empty skip item skips nothing", true, true, "games,,\"\"", {Desktop + "a.lnk", Desktop + "Tools\\t.lnk"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TShortcutOptions o;
        o.IgnoreInternet = c.ignoreInternet;
        o.IgnoreEmptyFolders = c.ignoreEmpty;
        o.SkipList = QString::fromLatin1(c.skip).split(',');
        if (QString::fromLatin1(c.skip).isEmpty())
            o.SkipList.clear();
        o.SkipList.replaceInStrings("\"", "");
        QStringList found = ShortcutScan::Collect(Desktop, o);
        found.removeDuplicates();
        EXPECT_EQ(found, c.expected);
    }
    int polls = 0;
    EXPECT_TRUE(ShortcutScan::Collect(Desktop, {}, [&polls] { return ++polls > 1; }).size() <= 1) << "a stop ends the walk";
}

// Places the candidates of one root and marks the tree over the real folders.
class ShortcutTree : public ShortcutSearch
{
protected:
    TShortcutNode *Find(const QString &displayPath) const
    {
        // "demo/Desktop/Games" by display texts below the top level.
        const QStringList names = displayPath.split('/');
        const std::vector<std::unique_ptr<TShortcutNode>> *level = &Tree.TopLevel();
        TShortcutNode *found = nullptr;
        for (const QString &name : names) {
            found = nullptr;
            for (const auto &n : *level)
                if (n->DisplayText() == name)
                    found = n.get();
            if (!found)
                return nullptr;
            level = &found->Children;
        }
        return found;
    }
    void Search(const TShortcutOptions &o = {})
    {
        const QStringList roots = ShortcutScan::Roots(false);
        for (const QString &root : roots) {
            for (const QString &c : ShortcutScan::Collect(root, o)) {
                TShortcutRecord record;
                TShortcutKind kind;
                if (ShortcutScan::Judge(c, roots + ShortcutScan::ShellFolders(), o, &record, &kind))
                    Tree.Place(c, root, kind, record);
            }
        }
        Tree.Mark(roots, ShortcutScan::ShellFolders());
    }
    TShortcutTree Tree;
};

TEST_F(ShortcutTree, FoldersAreMarkedOnlyWhenNothingValidLiesBelow)
{
    Link(Desktop + "gone.lnk", "C:\\Gone\\a.exe");
    Link(Desktop + "Dead\\gone.lnk", "C:\\Gone\\b.exe");
    Link(Desktop + "Dead\\Deeper\\gone.lnk", "C:\\Gone\\c.exe");
    Link(Desktop + "Mixed\\gone.lnk", "C:\\Gone\\d.exe");
    Link(Desktop + "Mixed\\fine.lnk", "C:\\Tools\\app.exe");
    Link(Desktop + "Outer\\Middle\\Inner\\gone.lnk", "C:\\Gone\\e.exe");
    Link(Desktop + "Outer\\Middle\\Inner\\fine.lnk", "C:\\Tools\\app.exe");
    B.AddFolder(Desktop + "Empty");
    Link(StartMenu + "Programs\\gone.lnk", "C:\\Gone\\f.exe");
    Link(Desktop + "Stuff.lnk files\\x.lnk", "C:\\Gone\\g.exe");
    B.MakeCurrent();
    Search();
    const QString user = B.UserName();
    const struct {
        const char *name;
        QString node;
        bool marked;
    } cases[] = {
        {"holds only invalid shortcuts, also below", user + "/Desktop/Dead *", true},
        {"the deeper folder", user + "/Desktop/Dead */Deeper *", true},
        {"an empty folder", user + "/Desktop/Empty *", true},
        {"invalid and valid together", user + "/Desktop/Mixed", false},
        {"valid three levels down", user + "/Desktop/Outer", false},
        {"valid two levels down", user + "/Desktop/Outer/Middle", false},
        {"the folder with both", user + "/Desktop/Outer/Middle/Inner", false},
        {"a root", user + "/Desktop", false},
        {"the profile above a root", user, false},
        {"the start menu's Programs", "Windows/Start Menu/Programs", false},
        {"a folder named like a link", user + "/Desktop/Stuff.lnk files *", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const TShortcutNode *n = Find(c.node);
        ASSERT_NE(n, nullptr) << c.node.toStdString();
        EXPECT_EQ(n->Marked, c.marked);
    }
    ASSERT_NE(Find(user + "/Desktop/gone"), nullptr);
    ASSERT_NE(Find(user + "/Desktop/Stuff.lnk files */x"), nullptr);
    EXPECT_EQ(Find(user + "/Desktop/gone")->Kind, TShortcutKind::ShellLink);
    EXPECT_EQ(Find(user + "/Desktop/Dead *")->Record.Path, Desktop + "Dead\\");
    EXPECT_EQ(Tree.ShortcutCount(), 7);

    // Delete all: every listed shortcut, and only the marked folders, children first.
    EXPECT_EQ(Tree.AllMarkedFolders(),
              (QStringList{Desktop + "Dead\\Deeper\\", Desktop + "Dead\\", Desktop + "Empty\\", Desktop + "Stuff.lnk files\\"}));
    EXPECT_EQ(TShortcutTree::ShortcutFiles(Find(user + "/Desktop/Outer")), QStringList{Desktop + "Outer\\Middle\\Inner\\gone.lnk"});
    EXPECT_TRUE(TShortcutTree::MarkedFolders(Find(user)).size() == 4) << "the profile and the root never go";
}

TEST_F(ShortcutTree, RootsAndShellFoldersAreNeverMarked)
{
    // Each holds nothing but invalid shortcuts: without the guard, Delete all would take the
    // desktop, Programs and Startup folders themselves.
    Link(Desktop + "gone.lnk", "C:\\Gone\\a.exe");
    Link(StartMenu + "Programs\\Startup\\gone.lnk", "C:\\Gone\\b.exe");
    Link(StartMenu + "Programs\\Old\\gone.lnk", "C:\\Gone\\c.exe");
    B.MakeCurrent();
    Search();
    EXPECT_EQ(Tree.AllMarkedFolders(), QStringList{StartMenu + "Programs\\Old\\"});
    ASSERT_NE(Find(B.UserName() + "/Desktop"), nullptr);
    EXPECT_TRUE(Find(B.UserName() + "/Desktop")->Protected);
    EXPECT_TRUE(Find("Windows/Start Menu/Programs/Startup")->Protected);
    EXPECT_EQ(Tree.AllShortcutFiles().size(), 3);
}

TEST_F(ShortcutTree, OnlyFoldersOfThePrefixMayGoAndHiddenOnesAreNotWalked)
{
    // As wineboot leaves it: the profile's Desktop is a link into the user's home.
    QTemporaryDir home;
    for (const char *folder : {"empty", ".gnupg/private-keys-v1.d", ".config/x", "repo/.git/refs/tags", "repo/.git/objects"})
        ASSERT_TRUE(QDir(home.path()).mkpath(folder));
    const QString desktopHost = QDir::cleanPath(B.HostPath(Desktop));
    ASSERT_TRUE(QDir(desktopHost).removeRecursively());
    ASSERT_TRUE(QFile::link(home.path(), desktopHost));
    Link(Desktop + "Dead\\gone.lnk", "C:\\Gone\\a.exe");
    Link(Desktop + ".hidden\\gone.lnk", "C:\\Gone\\b.exe");
    Link(Desktop + "gone.lnk", "C:\\Gone\\c.exe");
    // Shell folders named only by "User Shell Folders" (expanded) or by the machine's "Shell Folders".
    const QString tools = StartMenu + "Programs\\Administrative Tools";
    const QString commonTools = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools";
    B.AddExpandString(THive::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                      "Administrative Tools", "%USERPROFILE%\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Administrative Tools");
    B.AddString(THive::System, kShellFolders, "Common Administrative Tools", commonTools);
    B.AddFolder(tools);
    B.AddFolder(commonTools);
    B.AddFolder(StartMenu + "Programs\\Old");
    B.MakeCurrent();

    for (const QString &c : ShortcutScan::Collect(Desktop, {}))
        EXPECT_FALSE(c.endsWith('\\')) << "a folder of the home offered: " << c.toStdString();
    Search();
    EXPECT_EQ(Tree.AllMarkedFolders(), QStringList{StartMenu + "Programs\\Old\\"});
    QStringList links = Tree.AllShortcutFiles();
    links.sort();
    EXPECT_EQ(links, (QStringList{Desktop + "Dead\\gone.lnk", Desktop + "gone.lnk"})) << "invalid shortcuts go wherever they are";
    const TShortcutNode *dead = Find(B.UserName() + "/Desktop/Dead");
    ASSERT_NE(dead, nullptr);
    EXPECT_TRUE(dead->Protected) << "it holds only invalid shortcuts, but lies in the home";
    for (const auto &top : Tree.TopLevel())
        EXPECT_TRUE(top->Protected) << top->Text.toStdString();

    // Even handed such a folder, the removal refuses it.
    QTemporaryDir trash;
    const QStringList folders = {Desktop + "empty\\", tools + "\\"};
    EXPECT_EQ(ShortcutScan::RemoveEmptyFolders(folders, false, std::make_shared<THostDeletionLayer>(nullptr, trash.path())),
              folders.mid(0, 1));
    EXPECT_TRUE(QFileInfo::exists(home.path() + "/empty"));
    EXPECT_TRUE(ShortcutScan::ShellFolders().contains(tools + "\\"));
    EXPECT_TRUE(ShortcutScan::ShellFolders().contains(commonTools + "\\"));
}

TEST_F(ShortcutTree, TwoFoldersOfOneNameStayTwoNodes)
{
    // The user's and the common start menu both sit below a folder named "Windows".
    Link(StartMenu + "Programs\\a.lnk", "C:\\Gone\\a.exe");
    Link("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\b.lnk", "C:\\Gone\\b.exe");
    B.MakeCurrent();
    Search();
    int windows = 0;
    QStringList paths;
    for (const auto &n : Tree.TopLevel()) {
        if (n->Text == "Windows") {
            ++windows;
            paths << n->Record.Path;
        }
    }
    EXPECT_EQ(windows, 2);
    EXPECT_TRUE(paths.contains("C:\\ProgramData\\Microsoft\\Windows\\"));
}

TEST_F(ShortcutSearch, EmptyFoldersGoOneByOneAndOnlyWhenEmpty)
{
    B.AddFolder(Desktop + "A\\B");
    B.AddFile(Desktop + "Full\\keep.txt", "k");
    B.MakeCurrent();
    QTemporaryDir trash;
    auto layer = std::make_shared<THostDeletionLayer>(nullptr, trash.path());
    const QStringList stayed = ShortcutScan::RemoveEmptyFolders({Desktop + "A\\B\\", Desktop + "A\\", Desktop + "Full\\"},
                                                                false, layer);
    EXPECT_EQ(stayed, QStringList{Desktop + "Full\\"});
    EXPECT_FALSE(QFileInfo::exists(B.HostPath(Desktop + "A")));
    EXPECT_TRUE(QFileInfo::exists(B.HostPath(Desktop + "Full\\keep.txt")));
    EXPECT_TRUE(QFileInfo::exists(trash.path() + "/files/A")) << "the recycle bin takes them";
    EXPECT_EQ(ShortcutScan::EntryCount(Desktop + "Full\\"), 1);
}

} // namespace

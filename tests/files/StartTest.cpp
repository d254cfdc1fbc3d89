// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the invalid-shortcut cleaner window on the offscreen platform: find, details, delete, delete all, -delsho.
#include "files/Start.h"

#include "LnkBuilder.h"
#include "platform/IniFile.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/FileDelThds.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"
#include "shell/Tulosta.h"
#include "support/DemoPrefix.h"
#include "support/DeletionLayers.h"
#include "support/MessageBoxCatcher.h"
#include "support/PrefixBuilder.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using TestSupport::TPrefixBuilder;

class StartWindow : public ::testing::Test
{
protected:
    void SetUp() override
    {
        B.AddProfile();
        Desktop = "C:\\users\\" + B.UserName() + "\\Desktop\\";
        Link(Desktop + "gone.lnk", "C:\\Gone\\a.exe");
        Link(Desktop + "fine.lnk", "C:\\Tools\\app.exe");
        B.AddFile("C:\\Tools\\app.exe", "MZ");
        Link(Desktop + "Dead\\gone2.lnk", "C:\\Gone\\b.exe");
        Link(Desktop + "Mixed\\gone3.lnk", "C:\\Gone\\c.exe");
        Link(Desktop + "Mixed\\fine.lnk", "C:\\Tools\\app.exe");
        B.AddFolder(Desktop + "Empty");
        B.MakeCurrent();
        FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, Trash.path()));
    }
    void TearDown() override { FileDeletion::SetLayer(nullptr); }
    void Link(const QString &path, const QString &target)
    {
        LnkBuilder::TLink l;
        l.Target = target;
        l.Description = "About " + path.section('\\', -1);
        l.WorkingDir = "C:\\Gone";
        B.AddFile(path, LnkBuilder::WithLinkInfo(l));
    }
    TStartHost Host()
    {
        TStartHost host;
        host.ProgramFolder = Program.path();
        host.Settings = &Settings;
        host.Batch = &Batch;
        host.TimeStamp = [] { return QStringLiteral("stamp"); };
        host.DeleteFiles = [this](const QStringList &files, bool permanent, std::function<void(bool)> onDone) {
            Handed << files;
            FileDeletion::DeleteFilesThreaded(nullptr, files, permanent, false, onDone);
        };
        host.Closed = [this] { ++Closed; };
        return host;
    }
    bool Exists(const QString &windowsPath) const { return QFileInfo::exists(B.HostPath(windowsPath)); }
    static QTreeWidgetItem *Item(QTreeWidget *tree, const QStringList &texts)
    {
        QTreeWidgetItem *found = nullptr;
        for (const QString &t : texts) {
            QTreeWidgetItem *next = nullptr;
            const int n = found ? found->childCount() : tree->topLevelItemCount();
            for (int i = 0; i < n; ++i) {
                QTreeWidgetItem *c = found ? found->child(i) : tree->topLevelItem(i);
                if (c->text(0) == t)
                    next = c;
            }
            if (!next)
                return nullptr;
            found = next;
        }
        return found;
    }

    TPrefixBuilder B;
    QString Desktop;
    QTemporaryDir Program, Trash;
    TSettings Settings;
    TBatchState Batch;
    TestSupport::TBoxes Boxes;
    QStringList Handed;
    int Closed = 0;
};

TEST_F(StartWindow, FindShowsTheTreeAndTheDetails)
{
    TStartIkkuna w(nullptr, Host());
    w.show();
    EXPECT_EQ(w.Roots().size(), 2);  // the start menu and the desktop
    w.btnFind->click();
    const QString user = B.UserName();
    // Found: the folders that may go ("Dead", "Empty") and the three dead shortcuts; the profile,
    // the desktop and "Mixed" only hold the tree.
    EXPECT_EQ(w.lblStatus->text(), "Done! Total of 5 (2 folder(s), 3 shortcut(s)) items found.")
        << w.lblStatus->text().toStdString();
    for (QTreeWidgetItemIterator it(w.PuuNakyy); *it; ++it)
        EXPECT_TRUE((*it)->childCount() == 0 || (*it)->isExpanded()) << (*it)->text(0).toStdString();
    EXPECT_NE(Item(w.PuuNakyy, {user, "Desktop", "Dead *", "gone2"}), nullptr);
    EXPECT_NE(Item(w.PuuNakyy, {user, "Desktop", "Mixed", "gone3"}), nullptr);
    EXPECT_NE(Item(w.PuuNakyy, {user, "Desktop", "Empty *"}), nullptr);
    EXPECT_EQ(Item(w.PuuNakyy, {user, "Desktop", "fine"}), nullptr);
    EXPECT_TRUE(w.btnDeleteAll->isEnabled());
    EXPECT_FALSE(w.btnDelete->isEnabled());
    QTreeWidgetItem *gone = Item(w.PuuNakyy, {user, "Desktop", "gone"});
    ASSERT_NE(gone, nullptr);
    EXPECT_EQ(gone->toolTip(0), Desktop + "gone.lnk");
    w.PuuNakyy->setCurrentItem(gone);
    EXPECT_TRUE(w.btnDelete->isEnabled());
    EXPECT_EQ(w.Tiedosto->text(), Desktop + "gone.lnk");
    EXPECT_EQ(w.Path->text(), "C:\\Gone\\a.exe");
    EXPECT_EQ(w.WorkDir->text(), "C:\\Gone");
    EXPECT_EQ(w.Desc->text(), "About gone.lnk");
    EXPECT_EQ(w.IconPath->text(), "C:\\Gone\\a.exe");
    EXPECT_EQ(w.IconIndex->text(), "0");
    w.PuuNakyy->setCurrentItem(Item(w.PuuNakyy, {user, "Desktop"}));
    EXPECT_EQ(w.Path->text(), "N/A");
    w.PuuNakyy->clearSelection();
    EXPECT_TRUE(w.Tiedosto->text().isEmpty());
}

TEST_F(StartWindow, TheTwoStartMenusAreToldApartAndLongPathsStayReadable)
{
    // Today's layout: the user's and all users' start menus both below a folder "Windows".
    const QString common = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\";
    B.AddString(TestSupport::THive::System, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                "Common Start Menu", common);
    const QString mine = "C:\\users\\" + B.UserName() + "\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\";
    const QString deep = "Programs\\A rather long vendor name\\Its product with a long name\\";
    Link(mine + deep + "Uninstall the product.lnk", "C:\\Gone\\u.exe");
    Link(common + "Programs\\Gone tool.lnk", "C:\\Gone\\t.exe");
    B.MakeCurrent();
    TStartIkkuna w(nullptr, Host());
    w.show();
    w.btnFind->click();
    QStringList top;
    for (int i = 0; i < w.PuuNakyy->topLevelItemCount(); ++i)
        top << w.PuuNakyy->topLevelItem(i)->text(0);
    top.sort();
    EXPECT_EQ(top, QStringList({"C:\\ProgramData\\Microsoft\\Windows",
                                "C:\\users\\" + B.UserName() + "\\AppData\\Roaming\\Microsoft\\Windows", B.UserName()}));

    // The file's whole path is its text and tooltip; shown, it keeps both ends.
    QTreeWidgetItem *link = w.PuuNakyy->findItems("Uninstall the product", Qt::MatchExactly | Qt::MatchRecursive).value(0);
    ASSERT_NE(link, nullptr);
    const QSize size = w.size();
    w.PuuNakyy->setCurrentItem(link);
    QApplication::processEvents();
    EXPECT_EQ(w.size(), size) << "a long path does not widen the window";
    const QString file = mine + deep + "Uninstall the product.lnk";
    EXPECT_EQ(w.Tiedosto->text(), file);
    EXPECT_EQ(w.Tiedosto->toolTip(), file);
    const QString shown = w.Tiedosto->ShownText();
    EXPECT_LT(shown.size(), file.size()) << "the window is narrower than the path";
    EXPECT_TRUE(shown.startsWith("C:\\users\\")) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith("Uninstall the product.lnk")) << shown.toStdString();
}

TEST_F(StartWindow, DeleteTakesTheSelectedShortcutToTheRecycleBin)
{
    TStartIkkuna w(nullptr, Host());
    w.show();
    w.btnFind->click();
    w.PuuNakyy->setCurrentItem(Item(w.PuuNakyy, {B.UserName(), "Desktop", "gone"}));
    w.btnDelete->click();
    EXPECT_EQ(Boxes.Shown, QStringList{"Are you sure you want to delete gone?"});
    EXPECT_FALSE(Exists(Desktop + "gone.lnk"));
    EXPECT_TRUE(QFileInfo::exists(Trash.path() + "/files/gone.lnk"));
    EXPECT_EQ(Item(w.PuuNakyy, {B.UserName(), "Desktop", "gone"}), nullptr) << "searched again";
    EXPECT_TRUE(Exists(Desktop + "Dead\\gone2.lnk"));

    // No: nothing goes.
    Boxes.Answer = false;
    w.PuuNakyy->setCurrentItem(Item(w.PuuNakyy, {B.UserName(), "Desktop", "Dead *", "gone2"}));
    w.btnDelete->click();
    EXPECT_TRUE(Exists(Desktop + "Dead\\gone2.lnk"));
}

TEST_F(StartWindow, AFailedDeleteNamesTheFileAndKeepsTheNode)
{
    FileDeletion::SetLayer(std::make_shared<TestSupport::TRefusingDeletionLayer>(Trash.path(), QStringList{"gone.lnk"}));
    Settings.FShortcutConfirm = false;
    TStartIkkuna w(nullptr, Host());
    w.show();
    w.btnFind->click();
    w.PuuNakyy->setCurrentItem(Item(w.PuuNakyy, {B.UserName(), "Desktop", "gone"}));
    w.btnDelete->click();
    EXPECT_EQ(Boxes.Shown, QStringList{"Failed to delete file " + Desktop + "gone.lnk!"});
    EXPECT_NE(Item(w.PuuNakyy, {B.UserName(), "Desktop", "gone"}), nullptr);
}

TEST_F(StartWindow, InternetShortcutsAreListedWhenNotIgnored)
{
    B.AddFile(Desktop + "site.url", "[InternetShortcut]\r\nURL=http://example.com/\r\n");
    TStartIkkuna w(nullptr, Host());
    w.show();
    w.btnFind->click();
    EXPECT_EQ(Item(w.PuuNakyy, {B.UserName(), "Desktop", "site"}), nullptr) << "ignored by default";
    Settings.FShortcutInternet = false;
    w.btnFind->click();
    QTreeWidgetItem *site = Item(w.PuuNakyy, {B.UserName(), "Desktop", "site"});
    ASSERT_NE(site, nullptr);
    EXPECT_EQ(w.NodeOf(site)->Kind, TShortcutKind::Internet);
    w.PuuNakyy->setCurrentItem(site);
    EXPECT_EQ(w.Tiedosto->text(), Desktop + "site.url");
    EXPECT_EQ(w.Path->text(), "N/A");
}

TEST_F(StartWindow, DeletingAProfileNodeTakesOnlyWhatIsInvalidBelowIt)
{
    Settings.FShortcutConfirm = false;
    TStartIkkuna w(nullptr, Host());
    w.show();
    w.btnFind->click();
    w.PuuNakyy->setCurrentItem(Item(w.PuuNakyy, {B.UserName()}));
    w.btnDelete->click();
    EXPECT_TRUE(Boxes.Shown.isEmpty()) << Boxes.Shown.join('|').toStdString();
    for (const char *gone : {"gone.lnk", "Dead\\gone2.lnk", "Mixed\\gone3.lnk", "Dead", "Empty"})
        EXPECT_FALSE(Exists(Desktop + gone)) << gone;
    for (const char *kept : {"fine.lnk", "Mixed\\fine.lnk", "Mixed"})
        EXPECT_TRUE(Exists(Desktop + kept)) << kept;
    EXPECT_TRUE(Exists(Desktop)) << "a root never goes";
    EXPECT_TRUE(Exists("C:\\users\\" + B.UserName() + "\\Documents"));
}

TEST_F(StartWindow, DeleteAllRemovesInvalidShortcutsAndTheFoldersTheyLeaveEmpty)
{
    Settings.FShortcutRecycle = false;
    TStartIkkuna w(nullptr, Host());
    w.show();
    w.btnFind->click();
    w.btnDeleteAll->click();
    EXPECT_EQ(Boxes.Shown, QStringList{"Are you sure you want to delete ALL invalid shortcuts and empty folders?"});
    EXPECT_EQ(Handed.size(), 3) << "the shortcuts through the deletion service";
    for (const char *gone : {"gone.lnk", "Dead\\gone2.lnk", "Mixed\\gone3.lnk", "Dead", "Empty"})
        EXPECT_FALSE(Exists(Desktop + gone)) << gone;
    EXPECT_TRUE(Exists(Desktop + "Mixed\\fine.lnk"));
    EXPECT_FALSE(QFileInfo::exists(Trash.path() + "/files")) << "permanent";
    EXPECT_EQ(w.lblStatus->text(), "Done! Total of 0 (0 folder(s), 0 shortcut(s)) items found.");
    EXPECT_FALSE(w.btnDeleteAll->isEnabled());
}

TEST_F(StartWindow, DelshoSearchesDeletesLogsAndCloses)
{
    FileDeletion::SetLayer(std::make_shared<TestSupport::TRefusingDeletionLayer>(Trash.path(), QStringList{"gone3.lnk"}));
    Batch.FBatchMode = true;
    TStartIkkuna w(nullptr, Host());
    w.show();
    w.StartBatch("-delsho");
    EXPECT_TRUE(Boxes.Shown.isEmpty()) << Boxes.Shown.join('|').toStdString();
    EXPECT_EQ(Batch.FLog, (QStringList{"", "stamp", "-delsho", "Started searching invalid shortcuts", "stamp",
                                       "Found 3 invalid shortcuts! Deleting...", "stamp",
                                       "Vaskimo failed to delete some of the files/folders!"}));
    EXPECT_TRUE(Batch.FBatchFailed) << "the run must end with a failure";
    EXPECT_FALSE(Exists(Desktop + "gone.lnk"));
    EXPECT_TRUE(Exists(Desktop + "Mixed\\gone3.lnk"));
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Closed, 1);
    EXPECT_FALSE(Batch.FBatchAborted);
}

TEST_F(StartWindow, StopDuringABatchSearchAbortsTheRun)
{
    Batch.FBatchMode = true;
    TStartIkkuna w(nullptr, Host());
    w.show();
    QTimer::singleShot(0, w.btnStop, &QAbstractButton::click);
    w.StartBatch("-delsho");
    EXPECT_TRUE(w.lblStatus->text().startsWith("Aborted! Total of")) << w.lblStatus->text().toStdString();
    EXPECT_TRUE(Batch.FBatchAborted);
    EXPECT_FALSE(Batch.FBatchMode);
    EXPECT_EQ(Batch.FLog.last(), "Aborted by user!");
    EXPECT_TRUE(Exists(Desktop + "gone.lnk"));
}

TEST_F(StartWindow, SkipBoxAndSizeLiveInTheShortcutsSection)
{
    {
        TStartIkkuna w(nullptr, Host());
        w.edtSkipFolder->setText("games, \"my stuff\"");
        w.resize(500, 400);
    }
    TIniFile ini(Program.path() + "/Options.ini");
    EXPECT_EQ(ini.ReadString("Shortcuts", "Skip", ""), "games, \"my stuff\"");
    EXPECT_EQ(ini.ReadInteger("Shortcuts", "Width", 0), 500);
    TStartIkkuna again(nullptr, Host());
    EXPECT_EQ(again.edtSkipFolder->text(), "games, \"my stuff\"");
    again.edtSkipFolder->setText("dead");
    again.show();
    again.btnFind->click();
    EXPECT_EQ(Item(again.PuuNakyy, {B.UserName(), "Desktop", "Dead *"}), nullptr);
    EXPECT_NE(Item(again.PuuNakyy, {B.UserName(), "Desktop", "gone"}), nullptr);
}

TEST(DemoPrefix, DelshoThroughTheBatchRoutine)
{
    QTemporaryDir temp;
    const QString copy = temp.path() + "/demo";
    ASSERT_EQ(TestSupport::CopyDemoPrefix(copy), 0);
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(copy));
    TestSupport::TScopedHandlers handlers;
    FileDeletion::SetLayer(std::make_shared<THostDeletionLayer>(nullptr, temp.path() + "/Trash"));
    QTemporaryDir program;
    {
        TPaaIkkuna main(program.path());
        TPaaIkkuna::RegisterTool(TToolKind::Shortcuts, [](QWidget *parent) { return new TStartIkkuna(parent); });
        main.TsiikaaParamssit("-delsho");
        EXPECT_FALSE(main.FBatchAborted);
        EXPECT_FALSE(main.FShortcutsOpen);
    }
    TPaaIkkuna::RegisterTool(TToolKind::Shortcuts, {});
    TWinePrefix::SetCurrent(nullptr);
    EXPECT_FALSE(QFileInfo::exists(copy + "/drive_c/users/demo/Desktop/DemoApp.lnk"));
    EXPECT_TRUE(QFileInfo::exists(temp.path() + "/Trash/files/DemoApp.lnk"));
    EXPECT_TRUE(QFileInfo::exists(copy + "/drive_c/users/demo/Desktop"));
    QFile log(program.path() + "/Vaskimo.log");
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromLatin1(log.readAll()).split("\r\n");
    EXPECT_TRUE(lines.contains("Started searching invalid shortcuts"));
    EXPECT_TRUE(lines.contains("Found 1 invalid shortcuts! Deleting...")) << lines.join('|').toStdString();
}

} // namespace

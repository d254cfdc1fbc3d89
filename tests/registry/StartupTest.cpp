// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: offscreen tests of the startup manager window: find, categories, sort, delete of each kind with undo, stop, settings.
#include "registry/Startup.h"

#include "registry/UndoFiles.h"
#include "registry/UndoManager.h"
#include "support/BindMount.h"
#include "support/MessageBoxCatcher.h"
#include "support/PrefixBuilder.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinEnvironment.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPrinter>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "WaitFor.h"

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

const QString RunKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
const QString Winlogon = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");

using TestSupport::TBoxes;

class StartupTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        B.AddProfile();
        B.AddFile("C:\\windows\\notepad.exe", "MZ");
        B.AddString(THive::User, RunKey, "Good", "C:\\windows\\notepad.exe");
        B.AddString(THive::User, RunKey, "Gone", "C:\\Gone\\x.exe /s");
        B.AddString(THive::System, Winlogon, "Shell", "explorer.exe,zeta.exe,alpha.exe");
        Prefix = B.MakeCurrent();
        UserStartup = TWinEnvironment(Prefix).SpecialFolder("Startup");
        B.AddFile(UserStartup + "\\run.bat", "@echo");
        B.AddFile("C:\\windows\\win.ini", "[windows]\r\nrun=notepad;missing.exe\r\n");
        Settings.FStartupUndoDir = Program.filePath("Undo");
    }

    TStartupHost Host()
    {
        TStartupHost host;
        host.ProgramFolder = Program.path();
        host.Settings = &Settings;
        host.UndoHeader = [] { return QStringLiteral("REGEDIT4\r\n\r\n; Generated on 1/2/2026 @ 3:04:05 PM."); };
        host.UndoDateTime = [] { return qMakePair(QStringLiteral("1/2/2026"), QStringLiteral("3:04:05 PM")); };
        host.UniqueFileName = [](const QString &folder, const QString &name) { return folder + name; };
        host.DeleteFiles = [this](const QStringList &files, bool permanent, std::function<void(bool)> onDone) {
            Deleted.append(files);
            Permanent = permanent;
            for (const QString &f : files)
                QFile::remove(B.HostPath(f));
            onDone(false);
        };
        host.Closed = [this] { ++Closed; };
        host.Prefix = Prefix;
        return host;
    }

    std::unique_ptr<TStartupIkkuna> OpenAndFind()
    {
        auto w = std::make_unique<TStartupIkkuna>(nullptr, Host());
        w->show();
        // The first showing presses Find by itself.
        EXPECT_TRUE(WaitFor([&] { return w->Scanning(); }, 5000) || !w->Records().isEmpty());
        EXPECT_TRUE(WaitFor([&] { return !w->Scanning() && !w->Records().isEmpty(); }));
        return w;
    }

    static int RowOf(const TStartupIkkuna &w, const QString &description, const QString &data = {})
    {
        for (int row = 0; row < w.Records().size(); ++row)
            if (w.Records().at(row)->Description == description && (data.isEmpty() || w.Records().at(row)->Data == data))
                return row;
        return -1;
    }

    static void Select(TStartupIkkuna &w, int row)
    {
        ASSERT_GE(row, 0);
        w.FileList()->selectionModel()->select(w.Model()->index(row, 0),
                                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    static void Delete(TStartupIkkuna &w)
    {
        ASSERT_TRUE(w.Button("btnDelete")->isEnabled());
        QTest::mouseClick(w.Button("btnDelete"), Qt::LeftButton);
    }

    QStringList UndoFiles() const { return QDir(Program.filePath("Undo")).entryList(QDir::Files, QDir::Name); }

    TPrefixBuilder B;
    std::shared_ptr<TWinePrefix> Prefix;
    QString UserStartup;
    QTemporaryDir Program;
    TSettings Settings;
    QStringList Deleted;
    bool Permanent = true;
    int Closed = 0;
};

TEST_F(StartupTest, FindFillsCategoriesAndJudgesEachEntry)
{
    auto w = OpenAndFind();
    EXPECT_EQ(w->Categories()->currentItem()->text(0), "All programs");
    // 2 run values, 3 Shell items, 1 Startup-folder file, 2 win.ini items.
    EXPECT_EQ(w->Records().size(), 8);
    EXPECT_EQ(w->StatusText(), "Startup entries in this category: 8");
    EXPECT_TRUE(w->Button("btnFind")->isEnabled());
    EXPECT_FALSE(w->Button("btnStop")->isEnabled());
    EXPECT_FALSE(w->Button("btnDelete")->isEnabled());
    EXPECT_TRUE(w->Button("btnPrint")->isEnabled());
    EXPECT_FALSE(w->ProgressBar()->isVisible());
    EXPECT_EQ(w->ProgressBar()->maximum(), 35 + 1 + 2);

    const struct {
        const char *name;
        QString description, path;
        int state, kind;
    } cases[] = {
        {"existing value", "Good", "C:\\windows\\notepad.exe", 2, 0},
        {"missing on a drive", "Gone", "C:\\Gone\\x.exe", 4, 0},
        {"list item without drive", "zeta.exe", "zeta.exe", 3, 1},
        {"folder file", "run.bat", UserStartup + "\\run.bat", 2, 2},
        {"ini item found in the Windows folder", "notepad", "C:\\windows\\notepad.exe", 2, 3},
        {"ini item missing", "missing.exe", "missing.exe", 3, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const int row = RowOf(*w, c.description);
        ASSERT_GE(row, 0);
        const TStartupRecord &r = *w->Records().at(row);
        EXPECT_EQ(r.Path, c.path);
        EXPECT_EQ(r.State, c.state);
        EXPECT_EQ(r.Kind, c.kind);
        EXPECT_EQ(w->Model()->index(row, 1).data(Qt::UserRole).toInt(), c.state);
        if (c.state != 2)
            EXPECT_EQ(r.IconIndex, 13);
        else
            EXPECT_GE(r.IconIndex, 14);
    }

    // Categories: a node shows its own entries and those below it; empty ones are grey.
    const struct {
        int index, count;
        bool hasEntries;
    } nodes[] = {{1, 1, true}, {2, 1, true}, {3, 0, false}, {4, 5, true}, {6, 2, true}, {7, 0, false},
                 {9, 3, true}, {10, 0, false}, {11, 2, true}};
    const QColor grey = w->palette().color(QPalette::Disabled, QPalette::Text);
    for (const auto &n : nodes) {
        SCOPED_TRACE(n.index);
        QTreeWidgetItem *item = nullptr;
        for (QTreeWidgetItemIterator it(w->Categories()); *it; ++it)
            if ((*it)->data(0, Qt::UserRole).toInt() == n.index)
                item = *it;
        ASSERT_NE(item, nullptr);
        w->Categories()->setCurrentItem(item);
        EXPECT_EQ(w->Records().size(), n.count);
        EXPECT_EQ(w->StatusText(), "Startup entries in this category: " + QString::number(n.count));
        EXPECT_EQ(w->CategoryHasEntries(n.index), n.hasEntries);
        EXPECT_EQ(item->foreground(0).color() == grey, !n.hasEntries);
    }
}

TEST_F(StartupTest, SortByColumnAndSettings)
{
    {
        auto w = OpenAndFind();
        EXPECT_EQ(w->Model()->index(0, 0).data(Qt::BackgroundRole).value<QColor>(), QColor(0xF7, 0xF7, 0xF7));
        QStringList names;
        for (const TStartupRecord *r : w->Records())
            names.append(r->Description);
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end(), [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
        EXPECT_EQ(names, sorted);
        w->FileListColumnClick(0);
        EXPECT_FALSE(w->SortForward());
        EXPECT_EQ(w->Records().first()->Description, sorted.last());
        w->FileListColumnClick(3);
        EXPECT_EQ(w->SortColumn(), 3);
        EXPECT_TRUE(w->SortForward());
        EXPECT_FALSE(w->Model()->index(0, 0).data(Qt::BackgroundRole).isValid());
        EXPECT_TRUE(w->Model()->index(0, 3).data(Qt::BackgroundRole).isValid());
    }
    const TIniFile ini(SettingsFilePath(Program.path()));
    EXPECT_EQ(ini.ReadInteger("Startup", "Sort by column", -1), 3);
    EXPECT_TRUE(ini.ReadBool("Startup", "Sort forward", false));
    TStartupIkkuna again(nullptr, Host());
    EXPECT_EQ(again.SortColumn(), 3);
}

TEST_F(StartupTest, DeleteWholeValueAsksThenWritesUndoFirst)
{
    auto w = OpenAndFind();
    TBoxes boxes;
    boxes.Answer = false;
    Select(*w, RowOf(*w, "Good"));
    Delete(*w);
    EXPECT_EQ(boxes.Shown, QStringList{"Are you sure you want to delete Good?"});
    EXPECT_NE(RowOf(*w, "Good"), -1);
    EXPECT_TRUE(UndoFiles().isEmpty());

    boxes.Answer = true;
    Delete(*w);
    EXPECT_EQ(RowOf(*w, "Good"), -1);
    EXPECT_EQ(w->Records().size(), 7);
    EXPECT_EQ(w->StatusText(), "Startup entries in this category: 7");
    EXPECT_EQ(UndoFiles(), QStringList{"Good.reg"});
    TRegistry registry(TRootKey::CurrentUser, Prefix);
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + RunKey));
    EXPECT_FALSE(registry.ValueExists("Good"));
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(QDir(Program.filePath("Undo")).filePath("Good.reg"), &lines));
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.at(0).Root, "HKEY_CURRENT_USER");
    EXPECT_EQ(entries.at(0).ValueName, "Good");
    EXPECT_EQ(entries.at(0).Data, "C:\\windows\\notepad.exe");
    EXPECT_EQ(UndoManager::EntryState(entries.at(0)), 4);  // gone: the undo manager offers it back
}

TEST_F(StartupTest, DeleteListItemsOfRegistryAndIni)
{
    Settings.FStartupConfirm = false;
    auto w = OpenAndFind();
    TBoxes boxes;
    Select(*w, RowOf(*w, "zeta.exe"));
    Delete(*w);
    EXPECT_TRUE(boxes.Shown.isEmpty());
    TRegistry registry(TRootKey::LocalMachine, Prefix);
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\" + Winlogon));
    EXPECT_EQ(registry.ReadString("Shell"), "explorer.exe,alpha.exe");

    // The ini item is found by the text win.ini holds, not by the file it resolved to.
    Select(*w, RowOf(*w, "notepad"));
    Delete(*w);
    EXPECT_TRUE(boxes.Shown.isEmpty()) << boxes.Shown.join("|").toStdString();
    EXPECT_EQ(TIniFile(B.HostPath("C:\\windows\\win.ini")).ReadString("windows", "run", "x"), "missing.exe");
    EXPECT_EQ(RowOf(*w, "notepad"), -1);

    EXPECT_EQ(UndoFiles(), (QStringList{"notepad.vku", "zeta.exe.vku"}));
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(QDir(Program.filePath("Undo")).filePath("notepad.vku"), &lines));
    EXPECT_EQ(lines.value(1), "INI-data");
    const QList<TUndoEntry> ini = UndoFiles::ReadVkuLines(lines);
    ASSERT_EQ(ini.size(), 1);
    EXPECT_EQ(ini.at(0).Data, "notepad");
    EXPECT_EQ(ini.at(0).Root, "C:\\windows\\win.ini");
    ASSERT_TRUE(UndoFiles::ReadLines(QDir(Program.filePath("Undo")).filePath("zeta.exe.vku"), &lines));
    const QList<TUndoEntry> reg = UndoFiles::ReadVkuLines(lines);
    ASSERT_EQ(reg.size(), 1);
    EXPECT_EQ(reg.at(0).Kind, 2);
    EXPECT_EQ(reg.at(0).Data, "zeta.exe");
}

TEST_F(StartupTest, DeleteFolderFileGreysItsCategory)
{
    Settings.FStartupConfirm = false;
    Settings.FStartupRecycle = false;
    auto w = OpenAndFind();
    TBoxes boxes;
    ASSERT_TRUE(w->CategoryHasEntries(2));
    Select(*w, RowOf(*w, "run.bat"));
    Delete(*w);
    EXPECT_EQ(Deleted, QStringList{UserStartup + "\\run.bat"});
    EXPECT_TRUE(Permanent);
    EXPECT_EQ(RowOf(*w, "run.bat"), -1);
    EXPECT_FALSE(w->CategoryHasEntries(2));
    EXPECT_FALSE(w->CategoryHasEntries(1));
    EXPECT_TRUE(w->CategoryHasEntries(0));
    EXPECT_TRUE(UndoFiles().isEmpty());
    EXPECT_TRUE(boxes.Shown.isEmpty());
}

TEST_F(StartupTest, FolderFileStillThereIsReported)
{
    Settings.FStartupConfirm = false;
    TBoxes boxes;
    auto keep = std::make_unique<TStartupIkkuna>(nullptr, [&] {
        TStartupHost h = Host();
        h.DeleteFiles = [](const QStringList &, bool, std::function<void(bool)> onDone) { onDone(true); };
        return h;
    }());
    keep->show();
    ASSERT_TRUE(WaitFor([&] { return !keep->Scanning() && !keep->Records().isEmpty(); }));
    Select(*keep, RowOf(*keep, "run.bat"));
    Delete(*keep);
    EXPECT_EQ(boxes.Shown, QStringList{"Vaskimo failed to delete the selected file " + UserStartup +
                                       "\\run.bat! File maybe in use."});
    EXPECT_NE(RowOf(*keep, "run.bat"), -1);
}

TEST_F(StartupTest, UnwritableUndoDeletesNothing)
{
    Settings.FStartupConfirm = false;
    QFile blocker(Program.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Settings.FStartupUndoDir = Program.filePath("blocker/Undo");
    auto w = OpenAndFind();
    TBoxes boxes;
    for (const char *name : {"Good", "zeta.exe", "notepad"}) {
        SCOPED_TRACE(name);
        boxes.Shown.clear();
        Select(*w, RowOf(*w, name));
        Delete(*w);
        ASSERT_EQ(boxes.Shown.size(), 1);
        EXPECT_TRUE(boxes.Shown.at(0).startsWith("Failed to write the undo-file (")) << boxes.Shown.at(0).toStdString();
        EXPECT_NE(RowOf(*w, name), -1);
    }
    TRegistry user(TRootKey::CurrentUser, Prefix);
    ASSERT_TRUE(user.OpenKeyReadOnly("\\" + RunKey));
    EXPECT_TRUE(user.ValueExists("Good"));
    TRegistry machine(TRootKey::LocalMachine, Prefix);
    ASSERT_TRUE(machine.OpenKeyReadOnly("\\" + Winlogon));
    EXPECT_EQ(machine.ReadString("Shell"), "explorer.exe,zeta.exe,alpha.exe");
    EXPECT_EQ(TIniFile(B.HostPath("C:\\windows\\win.ini")).ReadString("windows", "run", "x"), "notepad;missing.exe");

    // With undo off the same delete goes ahead and writes nothing.
    Settings.FStartupUndo = false;
    boxes.Shown.clear();
    Select(*w, RowOf(*w, "Good"));
    Delete(*w);
    EXPECT_TRUE(boxes.Shown.isEmpty());
    EXPECT_EQ(RowOf(*w, "Good"), -1);
}

// The prefix's Windows folder on a real tmpfs that is full: deleting a win.ini item must leave
// win.ini whole (it once became 0 bytes), say why, and leave no undo file of a delete that did not happen.
TEST_F(StartupTest, AWinIniItemOnAFullDiskStaysAndTheReasonIsShown)
{
    Settings.FStartupConfirm = false;
    TestSupport::TSmallDisk disk(QStringLiteral("512k"));
    VASKIMO_NEED_DISK(disk);
    const QString windows = B.HostPath("C:\\windows");
    ASSERT_EQ(QProcess::execute("cp", {"-a", windows, disk.Path() + "/windows"}), 0);
    TestSupport::TBindMount mount(disk.Path() + "/windows", windows);
    VASKIMO_NEED_MOUNT(mount);
    const QString winIni = B.HostPath("C:\\windows\\win.ini");
    QFile file(winIni);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    auto w = OpenAndFind();
    ASSERT_TRUE(disk.Fill());
    TBoxes boxes;
    Select(*w, RowOf(*w, "notepad"));
    Delete(*w);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown.at(0).endsWith("\r\n\r\nCannot write " + winIni + ": No space left on device"))
        << boxes.Shown.at(0).toStdString();
    EXPECT_NE(RowOf(*w, "notepad"), -1);
    EXPECT_TRUE(UndoFiles().isEmpty()) << UndoFiles().join(" ").toStdString();
    w.reset();
}

TEST_F(StartupTest, RegistryFailuresAreReported)
{
    Settings.FStartupConfirm = false;
    auto w = OpenAndFind();
    TBoxes boxes;
    // Gone since the scan: the key, then a list item.
    TRegistry user(TRootKey::CurrentUser, Prefix);
    ASSERT_TRUE(user.OpenKey("\\" + RunKey, false));
    ASSERT_TRUE(user.DeleteValue("Gone"));
    Select(*w, RowOf(*w, "Gone"));
    Delete(*w);
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown.at(0).startsWith("Vaskimo failed to delete \"Gone\" from the registry!"));
    EXPECT_TRUE(UndoFiles().isEmpty());

    TRegistry machine(TRootKey::LocalMachine, Prefix);
    ASSERT_TRUE(machine.DeleteKey("\\" + Winlogon));
    boxes.Shown.clear();
    Select(*w, RowOf(*w, "alpha.exe"));
    Delete(*w);
    EXPECT_EQ(boxes.Shown, QStringList{"Failed to open the key!"});
    EXPECT_NE(RowOf(*w, "alpha.exe"), -1);
}

TEST_F(StartupTest, SaveAndPrintTheListing)
{
    auto w = OpenAndFind();
    TBoxes boxes;
    const QString saved = Program.filePath("list.htm");
    const QString printed = Program.filePath("list.pdf");
    w->SetSaveDialog([&](QWidget *) { return saved; });
    w->SetPrintDialog([&](QWidget *, QPrinter &printer) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printed);
        return true;
    });
    QTest::mouseClick(w->Button("btnSave"), Qt::LeftButton);
    QFile file(saved);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray html = file.readAll();
    EXPECT_TRUE(html.contains("Startup listing"));
    EXPECT_TRUE(html.contains("Physical location"));
    EXPECT_TRUE(html.contains("zeta.exe"));
    QTest::mouseClick(w->Button("btnPrint"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return QFileInfo(printed).size() > 0; }));
}

TEST_F(StartupTest, CloseDuringScanStopsInstead)
{
    TStartupIkkuna w(nullptr, Host());
    w.show();
    ASSERT_TRUE(WaitFor([&] { return !w.Scanning(); }));
    QTest::mouseClick(w.Button("btnFind"), Qt::LeftButton);
    ASSERT_TRUE(w.Scanning());
    EXPECT_TRUE(w.Button("btnStop")->isEnabled());
    EXPECT_FALSE(w.Button("btnDelete")->isEnabled());
    w.close();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(Closed, 0);
    ASSERT_TRUE(WaitFor([&] { return !w.Scanning(); }));
    QTest::mouseClick(w.Button("btnClose"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(Closed, 1);
}

}  // namespace

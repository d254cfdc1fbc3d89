// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: offscreen tests of the undo manager window: tree, entry states, restore, undo all, delete, sort.
#include "registry/Undo.h"

#include "support/MessageBoxCatcher.h"
#include "support/ListColumns.h"
#include "support/Needs.h"
#include "support/PrefixBuilder.h"
#include "support/WineTools.h"

#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"

#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

#include "WaitFor.h"

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

using TestSupport::TBoxes;

class UndoTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Builder.AddString(THive::System, "Software\\A", "Same", "C:\\same.exe");
        Builder.AddString(THive::System, "Software\\A", "Diff", "C:\\new.exe");
        Builder.AddFile("C:\\windows\\win.ini", "[windows]\r\nload=one.exe\r\n");
        Builder.MakeCurrent();
        // Windows paths through Z:, as the settings hold them.
        RegFolder = Windows(Folder.filePath("reg")) + "\\";
        Settings.FRegistryUndoDir = RegFolder;
        Settings.FAddRemoveUndoDir = RegFolder;
        Settings.FStartupUndoDir = Windows(Folder.filePath("st"));
        QDir().mkpath(Folder.filePath("reg"));
        QDir().mkpath(Folder.filePath("st"));
        Write(Folder.filePath("reg/VKUndo01.reg"),
              {"REGEDIT4", "", "; Generated on 1/2/2026 @ 3:04:05 PM.", "", "[HKEY_LOCAL_MACHINE\\Software\\A]",
               "\"Same\"=\"C:\\\\same.exe\"", "", "[HKEY_LOCAL_MACHINE\\Software\\A]", "\"Diff\"=\"C:\\\\old.exe\"", "",
               "[HKEY_LOCAL_MACHINE\\Software\\A]", "\"Gone\"=\"C:\\\\gone.exe\"", "", "[HKEY_CURRENT_CONFIG\\Software\\A]",
               "\"Odd\"=\"C:\\\\zzz.exe\""});
        Write(Folder.filePath("reg/VKUndo02.reg"), {"REGEDIT4", "", "[HKEY_CURRENT_USER\\Software\\B]", "\"b\"=dword:00000007"});
        Write(Folder.filePath("st/Load.vku"),
              {"This is Orvendal Vaskimo undo file.", "INI-data", "=\"C:\\windows\\win.ini\",\"windows\",\"load\",\"two.exe\",\" \""});
    }

    static QString Windows(const QString &host) { return "Z:" + QString(host).replace('/', '\\'); }

    static void Write(const QString &path, const QStringList &lines)
    {
        QString error;
        ASSERT_TRUE(UndoFiles::SaveUndoText(path, lines, &error)) << error.toStdString();
    }

    TUndoHost Host()
    {
        TUndoHost host;
        host.ProgramFolder = Program.path();
        host.Settings = &Settings;
        host.Closed = [this] { ++Closed; };
        host.DeleteFile = [this](const QString &path) { return FailDelete ? false : QFile::remove(path); };
        host.Prefix = Builder.Prefix();
        return host;
    }

    std::unique_ptr<TUndoIkkuna> Open()
    {
        auto w = std::make_unique<TUndoIkkuna>(nullptr, Host());
        w->show();
        QTest::mouseClick(w->Button("btnRefresh"), Qt::LeftButton);
        Loaded(*w);
        return w;
    }

    // The selected file is read in the background: waits until it is shown.
    static void Loaded(const TUndoIkkuna &w)
    {
        EXPECT_TRUE(WaitFor([&] { return !w.Loading(); }));
    }

    static void Choose(TUndoIkkuna &w, QTreeWidgetItem *node)
    {
        w.PuuNakyy()->setCurrentItem(node);
        Loaded(w);
    }

    static QTreeWidgetItem *Node(const TUndoIkkuna &w, const QString &text)
    {
        const QList<QTreeWidgetItem *> found = w.PuuNakyy()->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
        return found.isEmpty() ? nullptr : found.constFirst();
    }

    static QStringList Column(const TUndoIkkuna &w, int column)
    {
        QStringList texts;
        for (int row = 0; row < w.Model()->rowCount(); ++row)
            texts.append(w.Model()->index(row, column).data().toString());
        return texts;
    }

    static int Row(const TUndoIkkuna &w, const QString &name)
    {
        return int(Column(w, 2).indexOf(name));
    }

    static void Select(TUndoIkkuna &w, const QStringList &names)
    {
        w.EntryList()->selectionModel()->clearSelection();
        for (const QString &name : names)
            w.EntryList()->selectionModel()->select(w.Model()->index(Row(w, name), 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }

    // The list's captions are read whole, every column inside the list.
    static void ExpectCaptionsWhole(const TUndoIkkuna &w)
    {
        const QTreeView *list = w.EntryList();
        TestSupport::ExpectColumnsFitInside(list);
        const QHeaderView *header = list->header();
        for (int column = 0; column < header->count(); ++column)
            EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column))
                << "caption cut: " << list->model()->headerData(column, Qt::Horizontal).toString().toStdString();
    }

    // The node's text is read whole inside the tree.
    static bool NodeWhole(const TUndoIkkuna &w, const QTreeWidgetItem *node)
    {
        const QTreeWidget *tree = w.PuuNakyy();
        const QRect rect = tree->visualItemRect(node);
        const int needed = tree->sizeHintForIndex(tree->indexFromItem(node)).width();
        return rect.isValid() && rect.left() >= 0 && rect.left() + needed <= tree->viewport()->width();
    }

    static qint32 State(const TUndoIkkuna &w, const QString &name)
    {
        for (const TUndoEntry *e : w.Entries())
            if (e->ValueName == name)
                return e->State;
        return -1;
    }

    QString LiveString(TRootKey root, const QString &key, const QString &name)
    {
        TRegistry r(root, Builder.Prefix());
        if (!r.OpenKeyReadOnly(key) || !r.ValueExists(name))
            return "(none)";
        return r.ReadString(name);
    }

    TPrefixBuilder Builder;
    QTemporaryDir Folder, Program;
    QString RegFolder;
    TSettings Settings;
    int Closed = 0;
    bool FailDelete = false;
};

}  // namespace

TEST_F(UndoTest, TreeListsTheFoldersAndLoadsTheFirstFile)
{
    TBoxes boxes;
    auto w = Open();
    EXPECT_EQ(w->windowTitle(), "Undo");
    QTreeWidgetItem *first = Node(*w, "VKUndo01");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(Node(*w, "VKUndo02"), nullptr);
    QTreeWidgetItem *load = Node(*w, "Load");
    ASSERT_NE(load, nullptr);
    EXPECT_EQ(TUndoIkkuna::NodeKind(load), TUndoNodeKind::ListItemFile);
    EXPECT_EQ(TUndoIkkuna::NodePath(first), RegFolder + "VKUndo01.reg");
    // One node for each undo folder, named by its whole path, with its files right below.
    EXPECT_EQ(w->PuuNakyy()->topLevelItemCount(), 2);
    QTreeWidgetItem *reg = Node(*w, Windows(Folder.filePath("reg")));
    ASSERT_NE(reg, nullptr);
    EXPECT_EQ(reg->parent(), nullptr);
    EXPECT_EQ(first->parent(), reg);
    EXPECT_EQ(Node(*w, "VKUndo02")->parent(), reg);
    EXPECT_EQ(load->parent(), Node(*w, Settings.FStartupUndoDir));
    EXPECT_EQ(load->parent()->parent(), nullptr);

    EXPECT_TRUE(first->isSelected());
    EXPECT_EQ(w->StatusText(), "Contains 4 entries!");
    // Sorted by the data column; the state is the row's image.
    EXPECT_EQ(Column(*w, 3), QStringList({"C:\\gone.exe", "C:\\old.exe", "C:\\same.exe", "C:\\zzz.exe"}));
    EXPECT_EQ(State(*w, "Gone"), 4);
    EXPECT_EQ(State(*w, "Diff"), 3);
    EXPECT_EQ(State(*w, "Same"), 2);
    EXPECT_FALSE(w->Model()->index(0, 0).data(Qt::DecorationRole).isNull());
    EXPECT_EQ(w->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Root/Source file");
    EXPECT_FALSE(w->Button("btnUndo")->isEnabled());
    EXPECT_TRUE(w->Button("btnUndoAll")->isEnabled());
    EXPECT_TRUE(w->Button("btnDelete")->isEnabled());
    Select(*w, {"Same"});
    EXPECT_TRUE(w->Button("btnUndo")->isEnabled());

    // Viewing rebuilt the file: one key line for the three values.
    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(Folder.filePath("reg/VKUndo01.reg"), &lines));
    EXPECT_EQ(lines.count("[HKEY_LOCAL_MACHINE\\Software\\A]"), 1);

    // A folder node empties the list and the status text.
    Choose(*w, reg);
    EXPECT_TRUE(w->Entries().isEmpty());
    EXPECT_EQ(w->StatusText(), "");
    EXPECT_FALSE(w->Button("btnDelete")->isEnabled());
    EXPECT_FALSE(w->Button("btnUndoAll")->isEnabled());

    // A list-item file: its entry, and no Delete.
    Choose(*w, load);
    ASSERT_EQ(w->Entries().size(), 1);
    EXPECT_EQ(w->Entries()[0]->State, 4);
    EXPECT_EQ(w->StatusText(), "Contains 1 entries!");
    EXPECT_FALSE(w->Button("btnDelete")->isEnabled());

    // Refresh keeps the node at the same place selected.
    QTest::mouseClick(w->Button("btnRefresh"), Qt::LeftButton);
    Loaded(*w);
    EXPECT_EQ(TUndoIkkuna::NodePath(w->PuuNakyy()->currentItem()), Settings.FStartupUndoDir + "\\Load.vku");
    EXPECT_TRUE(boxes.Shown.isEmpty());
}

// Whatever the list holds (nothing yet, a folder's nothing, a file), its captions are whole; the
// tree beside it shows its nodes whole, and a folder too deep for its share of the window keeps
// its files in sight and its whole path in the tooltip.
TEST_F(UndoTest, CaptionsAndNodesAreReadWholeInsideTheWindow)
{
    auto w = std::make_unique<TUndoIkkuna>(nullptr, Host());
    w->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    {
        SCOPED_TRACE("nothing read yet");
        ExpectCaptionsWhole(*w);
    }
    QTest::mouseClick(w->Button("btnRefresh"), Qt::LeftButton);
    Loaded(*w);
    {
        SCOPED_TRACE("a file read");
        ASSERT_EQ(w->Entries().size(), 4);
        ExpectCaptionsWhole(*w);
        // The files are read whole; their folders whole or in their tooltips.
        int nodes = 0;
        for (QTreeWidgetItemIterator it(w->PuuNakyy()); *it; ++it, ++nodes) {
            SCOPED_TRACE((*it)->text(0).toStdString());
            if ((*it)->parent())
                EXPECT_TRUE(NodeWhole(*w, *it));
            else
                EXPECT_EQ((*it)->toolTip(0), (*it)->text(0));
        }
        EXPECT_EQ(nodes, 5);
    }
    {
        SCOPED_TRACE("a folder");
        Choose(*w, Node(*w, Windows(Folder.filePath("reg"))));
        ASSERT_TRUE(w->Entries().isEmpty());
        ExpectCaptionsWhole(*w);
    }

    // The divider stays where the user put it while the nodes ask for nothing new.
    QSplitter *splitter = w->findChild<QSplitter *>();
    ASSERT_TRUE(splitter);
    const QList<int> dragged = {splitter->sizes()[0] + 40, splitter->sizes()[1] - 40};
    splitter->setSizes(dragged);
    QTest::mouseClick(w->Button("btnRefresh"), Qt::LeftButton);
    Loaded(*w);
    EXPECT_EQ(splitter->sizes(), dragged);

    const QString deep = Folder.filePath("reg/undo files of the registry cleaner kept here/and those of an earlier run");
    QDir().mkpath(deep);
    Write(deep + "/VKUndo01.reg", {"REGEDIT4"});
    Settings.FRegistryUndoDir = Windows(deep) + "\\";
    QTest::mouseClick(w->Button("btnRefresh"), Qt::LeftButton);
    Loaded(*w);
    {
        SCOPED_TRACE("a deep folder");
        QTreeWidgetItem *folder = Node(*w, Windows(deep));
        ASSERT_NE(folder, nullptr);
        EXPECT_FALSE(NodeWhole(*w, folder));
        EXPECT_EQ(folder->toolTip(0), Windows(deep));
        ASSERT_GT(folder->childCount(), 0);
        EXPECT_TRUE(NodeWhole(*w, folder->child(0)));
        EXPECT_GE(w->EntryList()->width(), 3 * w->PuuNakyy()->width()) << "the list keeps most of the room";
        ExpectCaptionsWhole(*w);
    }
}

TEST_F(UndoTest, UndoAllWritesBackOnlyTheMissingEntries)
{
    TBoxes boxes;
    auto w = Open();
    ASSERT_EQ(w->Entries().size(), 4);
    // The unknown root is missing too, and fails: the count says so, and why.
    QTest::mouseClick(w->Button("btnUndoAll"), Qt::LeftButton);
    EXPECT_EQ(LiveString(TRootKey::LocalMachine, "\\Software\\A", "Gone"), "C:\\gone.exe");
    EXPECT_EQ(LiveString(TRootKey::LocalMachine, "\\Software\\A", "Diff"), "C:\\new.exe");
    EXPECT_EQ(State(*w, "Gone"), 2);
    EXPECT_EQ(State(*w, "Diff"), 3);
    EXPECT_EQ(State(*w, "Odd"), 4);
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown[0].startsWith("Vaskimo wasn't able to write all of the requested entries to the registry. "
                                          "1 entries couldn't be writen!\r\n\r\n"));
    EXPECT_TRUE(boxes.Shown[0].contains("HKEY_CURRENT_CONFIG"));
    EXPECT_FALSE(w->EntryList()->selectionModel()->hasSelection());
    EXPECT_FALSE(w->Button("btnUndo")->isEnabled());
}

TEST_F(UndoTest, UndoWritesTheSelectedEntriesAndTheListItem)
{
    TBoxes boxes;
    auto w = Open();
    Select(*w, {"Diff", "Same"});
    QTest::mouseClick(w->Button("btnUndo"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown.isEmpty());
    EXPECT_EQ(LiveString(TRootKey::LocalMachine, "\\Software\\A", "Diff"), "C:\\old.exe");
    EXPECT_EQ(State(*w, "Diff"), 2);
    EXPECT_EQ(State(*w, "Gone"), 4);
    EXPECT_EQ(LiveString(TRootKey::LocalMachine, "\\Software\\A", "Gone"), "(none)");

    // A running wineserver refuses the write: counted and reported, the state stays.
    VASKIMO_NEED_WINE();
    QString why;
    TestSupport::TWineServer server;
    ASSERT_TRUE(server.Start(Builder.Folder(), &why)) << why.toStdString();
    Select(*w, {"Gone"});
    QTest::mouseClick(w->Button("btnUndo"), Qt::LeftButton);
    ASSERT_TRUE(server.Stop());
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown[0].contains("1 entries couldn't be writen!"));
    EXPECT_TRUE(boxes.Shown[0].contains("Close the Wine programs"));
    EXPECT_EQ(State(*w, "Gone"), 4);

    Choose(*w, Node(*w, "Load"));
    QTest::mouseClick(w->Button("btnSelectAll"), Qt::LeftButton);
    QTest::mouseClick(w->Button("btnUndo"), Qt::LeftButton);
    EXPECT_EQ(w->Entries()[0]->State, 2);
    EXPECT_EQ(TIniFile(Builder.HostPath("C:\\windows\\win.ini")).ReadString("windows", "load", ""), "one.exe two.exe");
}

TEST_F(UndoTest, DeleteAsksThenRemovesTheFile)
{
    TBoxes boxes;
    auto w = Open();
    const QString file = Folder.filePath("reg/VKUndo01.reg");
    boxes.Answer = false;
    QTest::mouseClick(w->Button("btnDelete"), Qt::LeftButton);
    ASSERT_EQ(boxes.Shown, QStringList({"Are you sure you want to delete file " + RegFolder + "VKUndo01.reg?"}));
    EXPECT_TRUE(QFile::exists(file));

    // A file that cannot go is reported and stays listed.
    boxes.Answer = true;
    FailDelete = true;
    auto failing = std::make_unique<TUndoIkkuna>(nullptr, Host());
    failing->show();
    QTest::mouseClick(failing->Button("btnRefresh"), Qt::LeftButton);
    Loaded(*failing);
    boxes.Shown.clear();
    QTest::mouseClick(failing->Button("btnDelete"), Qt::LeftButton);
    ASSERT_EQ(boxes.Shown.size(), 2);
    EXPECT_EQ(boxes.Shown[1], "Vaskimo failed to delete the selected file " + RegFolder + "VKUndo01.reg! File maybe in use.");
    EXPECT_NE(Node(*failing, "VKUndo01"), nullptr);
    failing.reset();
    FailDelete = false;

    // Deleted for good; the node at its place (the next file) is selected and loaded.
    boxes.Shown.clear();
    QTest::mouseClick(w->Button("btnDelete"), Qt::LeftButton);
    Loaded(*w);
    EXPECT_EQ(boxes.Shown.size(), 1);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(Node(*w, "VKUndo01"), nullptr);
    EXPECT_EQ(w->PuuNakyy()->currentItem(), Node(*w, "VKUndo02"));
    EXPECT_EQ(w->StatusText(), "Contains 1 entries!");
}

TEST_F(UndoTest, ColumnClicksSortAndTheSectionKeepsThem)
{
    {
        auto w = Open();
        w->EntryList()->header()->sectionClicked(2);
        EXPECT_EQ(Column(*w, 2), QStringList({"Diff", "Gone", "Odd", "Same"}));
        EXPECT_EQ(w->Model()->index(0, 2).data(Qt::BackgroundRole).value<QColor>(), QColor(0xF7, 0xF7, 0xF7));
        EXPECT_FALSE(w->Model()->index(0, 3).data(Qt::BackgroundRole).isValid());
        w->EntryList()->header()->sectionClicked(2);
        EXPECT_EQ(Column(*w, 2), QStringList({"Same", "Odd", "Gone", "Diff"}));
        w->EntryList()->header()->sectionClicked(0);
        EXPECT_EQ(Column(*w, 0).first(), "HKEY_CURRENT_CONFIG");
        EXPECT_TRUE(w->SortForward());
        w->EntryList()->header()->sectionClicked(0);
        w->close();
        EXPECT_EQ(Closed, 1);
    }
    const TIniFile ini(SettingsFilePath(Program.path()));
    EXPECT_EQ(ini.ReadInteger("Undo", "Sort by column", -1), 0);
    EXPECT_FALSE(ini.ReadBool("Undo", "Sort forward", true));
    auto again = Open();
    EXPECT_EQ(again->SortColumn(), 0);
    EXPECT_EQ(Column(*again, 0).first(), "HKEY_LOCAL_MACHINE");
}

TEST_F(UndoTest, ActivationRefreshesTheTreeWhileRefreshIsEnabled)
{
    auto w = Open();
    Write(Folder.filePath("reg/VKUndo03.reg"), {"REGEDIT4"});
    w->Button("btnRefresh")->setEnabled(false);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(w.get(), &activate);
    EXPECT_EQ(Node(*w, "VKUndo03"), nullptr);
    w->Button("btnRefresh")->setEnabled(true);
    QCoreApplication::sendEvent(w.get(), &activate);
    EXPECT_NE(Node(*w, "VKUndo03"), nullptr);
    EXPECT_EQ(w->PuuNakyy()->currentItem(), Node(*w, "VKUndo01"));
    EXPECT_EQ(w->Entries().size(), 4);
}

TEST_F(UndoTest, ActivationReadsTheShownFileAgainOnlyWhenItChanged)
{
    auto w = Open();
    const TUndoEntry *shown = w->Entries().value(0);
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(w.get(), &activate);
    EXPECT_FALSE(w->Loading());
    EXPECT_EQ(w->Entries().value(0), shown);

    Write(Folder.filePath("reg/VKUndo01.reg"),
          {"REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\Software\\A]", "\"Same\"=\"C:\\\\same.exe\"", "\"New\"=\"C:\\\\new.exe\""});
    QCoreApplication::sendEvent(w.get(), &activate);
    Loaded(*w);
    EXPECT_EQ(w->StatusText(), "Contains 2 entries!");
}

// The registry cleaner's undo file after deleting 400,000 values (plus six), read in the background:
// the bar moves, Stop answers and leaves the file as it was, and a shown file is not read again.
TEST_F(UndoTest, BigFileLoadsInTheBackgroundWithProgressAndStop)
{
    constexpr int Entries = 400006;
    QByteArray text = "REGEDIT4\r\n";
    text.reserve(qsizetype(Entries) * 80);
    for (int v = 0; v < Entries; ++v) {
        if (v % 10 == 0)
            text += "\r\n[HKEY_LOCAL_MACHINE\\Software\\VkBig\\Key" + QByteArray::number(v / 10) + "]\r\n";
        text += "\"Value" + QByteArray::number(v) + "\"=\"C:\\\\VkGone\\\\Program" + QByteArray::number(v) + ".exe\"\r\n";
    }
    const QString file = Folder.filePath("reg/VKUndo01.reg");
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
    }
    TBoxes boxes;
    auto w = std::make_unique<TUndoIkkuna>(nullptr, Host());
    w->show();
    QTest::mouseClick(w->Button("btnRefresh"), Qt::LeftButton);
    ASSERT_TRUE(w->Loading());
    EXPECT_TRUE(w->Button("btnStop")->isEnabled());
    EXPECT_FALSE(w->Button("btnDelete")->isEnabled());
    EXPECT_TRUE(w->ProgressBar()->isVisible());
    {
        SCOPED_TRACE("while the file is read");
        ExpectCaptionsWhole(*w);
    }
    ASSERT_TRUE(WaitForProgress([&] { return w->ProgressBar()->maximum() > 0 ? w->ProgressBar()->value() : -1; },
                                [&] { return w->Loading(); }))
        << "the bar did not move, or the file was read before Stop could be pressed";
    QTest::mouseClick(w->Button("btnStop"), Qt::LeftButton);
    Loaded(*w);
    EXPECT_EQ(w->StatusText(), "Aborted! No entries loaded!");
    EXPECT_TRUE(w->Entries().isEmpty());
    {
        SCOPED_TRACE("stopped");
        ExpectCaptionsWhole(*w);
    }
    EXPECT_FALSE(w->ProgressBar()->isVisible());
    EXPECT_EQ(TestSupport::ReadFileBytes(file), text);
    // A stopped file is not read again by an activation, only by Refresh.
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(w.get(), &activate);
    EXPECT_FALSE(w->Loading());

    QTest::mouseClick(w->Button("btnRefresh"), Qt::LeftButton);
    ASSERT_TRUE(w->Loading());
    ASSERT_TRUE(WaitFor([&] { return !w->Loading(); }, 120000));
    EXPECT_EQ(w->Entries().size(), Entries);
    EXPECT_EQ(w->StatusText(), "Contains 400,006 entries!");
    EXPECT_EQ(State(*w, "Value123"), 4);
    EXPECT_TRUE(w->Button("btnUndoAll")->isEnabled());
    // Sorted by the data column.
    EXPECT_EQ(w->Model()->index(0, 3).data().toString(), "C:\\VkGone\\Program0.exe");
    QCoreApplication::sendEvent(w.get(), &activate);
    EXPECT_FALSE(w->Loading());
    EXPECT_TRUE(boxes.Shown.isEmpty());
}

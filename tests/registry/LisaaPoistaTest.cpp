// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: offscreen tests of the add/remove window: list, sort, select, delete with undo, uninstall through Wine, value editor.
#include "registry/LisaaPoista.h"

#include "registry/UndoFiles.h"
#include "support/MessageBoxCatcher.h"
#include "support/Needs.h"
#include "support/PrefixBuilder.h"
#include "support/WineTools.h"

#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <gtest/gtest.h>

#include "WaitFor.h"

using TestSupport::THive;
using TestSupport::TWinebootPrefix;
using TestSupport::TPrefixBuilder;

namespace {

const QString Uninstall = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
const QString Header = QStringLiteral("REGEDIT4\r\n\r\n; Generated on 1/2/2026 @ 3:04:05 PM.");

using TestSupport::TBoxes;

struct TStarted {
    QString Program;
    QStringList Arguments;
    QString Prefix;
};

class LisaaPoistaTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Settings.FAddRemoveUndoDir = Program.filePath("Undo");
        Builder.AddString(THive::System, Uninstall + "Alpha", "DisplayName", "Alpha Tool");
        Builder.AddString(THive::System, Uninstall + "Alpha", "UninstallString", "\"C:\\Program Files\\Alpha\\unins.exe\" /S");
        Builder.AddString(THive::System, Uninstall + "Alpha", "DisplayIcon", "unins.exe");
        Builder.AddString(THive::System, Uninstall + "Alpha", "InstallLocation", "C:\\Program Files\\Alpha");
        Builder.AddFile("C:\\Program Files\\Alpha\\unins.exe", "MZ");
        Builder.AddString(THive::System, Uninstall + "Beta", "DisplayName", "Beta Gone");
        Builder.AddString(THive::System, Uninstall + "Beta", "UninstallString", "C:\\Gone\\uninst.exe");
        Builder.AddDword(THive::System, Uninstall + "Beta", "size", 0xFFFFFFFE);
        QByteArray sixty;
        for (int i = 0; i < 60; ++i)
            sixty.append(char(i));
        Builder.AddBinary(THive::System, Uninstall + "Beta", "Blob", sixty);
        Builder.AddString(THive::System, Uninstall + "Beta\\Sub", "Inner", "x");
        Builder.AddString(THive::System, Uninstall + "Gamma", "DisplayName", "Gamma Installer");
        Builder.AddString(THive::System, Uninstall + "Gamma", "UninstallString", "MsiExec.exe /X{1234}");
        Builder.AddString(THive::System, Uninstall + "Gamma", "DisplayIcon", "C:\\Gone\\x.ico,abc");
        Builder.AddKey(THive::System, Uninstall + "Gamma", "\"List\"=str(7):\"a\\0b\\0\"\n");
        Builder.AddString(THive::System, Uninstall + "Delta", "DisplayName", "Delta Dll");
        Builder.AddString(THive::System, Uninstall + "Delta", "UninstallString",
                          "rundll32.exe advpack.dll,LaunchINFSection C:\\x.inf,Uninstall");
        Builder.AddString(THive::System, Uninstall + "Delta", "DisplayIcon", "C:\\Program Files\\Alpha\\unins.exe,notanumber");
    }

    TAddRemoveHost Host()
    {
        TAddRemoveHost host;
        host.ProgramFolder = Program.path();
        host.Settings = &Settings;
        host.UndoHeader = [] { return Header; };
        host.UniqueFileName = [](const QString &folder, const QString &name) {
            return QFileInfo::exists(folder + name) ? folder + "(1)" + name : folder + name;
        };
        host.Prefix = Builder.Prefix();
        host.FindWine = [this] { return Wine; };
        host.StartProcess = [this](const QString &program, const QStringList &arguments, const QProcessEnvironment &env) {
            Started.append({program, arguments, env.value("WINEPREFIX")});
            return StartResult;
        };
        return host;
    }

    // Shows the window; its first showing runs Find.
    std::unique_ptr<TLisaaPoistaIkkuna> Open()
    {
        if (!Builder.Prefix())
            Builder.MakeCurrent();
        auto window = std::make_unique<TLisaaPoistaIkkuna>(nullptr, Host());
        window->show();
        EXPECT_TRUE(WaitFor([&] { return !window->Scanning(); }));
        return window;
    }

    static QStringList Names(const TLisaaPoistaIkkuna &w)
    {
        QStringList names;
        for (int row = 0; row < w.Model()->rowCount(); ++row)
            names.append(w.Model()->index(row, 0).data().toString());
        return names;
    }

    static void Select(TLisaaPoistaIkkuna &w, const QString &name)
    {
        for (int row = 0; row < w.Model()->rowCount(); ++row)
            if (w.Model()->index(row, 0).data().toString() == name)
                w.FileList()->setCurrentIndex(w.Model()->index(row, 0));
    }

    static void SelectValue(TLisaaPoistaIkkuna &w, const QString &name)
    {
        const QList<QListWidgetItem *> items = w.Values()->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1);
        w.Values()->setCurrentItem(items.constFirst());
    }

    bool KeyExists(const QString &key)
    {
        TRegistry r(TRootKey::LocalMachine, Builder.Prefix());
        return r.KeyExists(u'\\' + key);
    }

    TPrefixBuilder Builder;
    QTemporaryDir Program;
    TSettings Settings;
    QString Wine = QStringLiteral("/usr/bin/wine");
    bool StartResult = true;
    QList<TStarted> Started;
};

TEST_F(LisaaPoistaTest, ListsJudgesAndSorts)
{
    auto w = Open();
    EXPECT_EQ(Names(*w), (QStringList{"Alpha Tool", "Beta Gone", "Delta Dll", "Gamma Installer"}));
    QList<int> status;
    for (int row = 0; row < 4; ++row)
        status.append(w->Model()->index(row, 1).data(TAddRemoveModel::StatusRole).toInt());
    EXPECT_EQ(status, (QList<int>{3, 5, 5, 4}));
    EXPECT_TRUE(w->Button("btnFind")->isEnabled());
    EXPECT_FALSE(w->Button("btnStop")->isEnabled());
    EXPECT_TRUE(w->Button("btnPrint")->isEnabled());
    EXPECT_FALSE(w->Button("btnDelete")->isEnabled());
    EXPECT_FALSE(w->Button("btnUninstall")->isEnabled());

    // Icons: a file relative to the install location; a file with a comma and no number; a gone file.
    const QList<TAddRemoveRecord *> &r = w->Records();
    EXPECT_EQ(r.at(0)->IconFile, "C:\\Program Files\\Alpha\\unins.exe");
    EXPECT_NE(r.at(0)->IconIndex, 2);
    EXPECT_EQ(r.at(2)->IconFile, "C:\\Program Files\\Alpha\\unins.exe");
    EXPECT_EQ(r.at(1)->IconIndex, 2);
    EXPECT_EQ(r.at(3)->IconIndex, 2);

    w->FileListColumnClick(1);  // by status, ascending
    EXPECT_EQ(Names(*w), (QStringList{"Alpha Tool", "Gamma Installer", "Beta Gone", "Delta Dll"}));
    EXPECT_EQ(w->Model()->index(0, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(0xF7, 0xF7, 0xF7));
    w->FileListColumnClick(1);  // backward
    EXPECT_EQ(Names(*w).constFirst(), "Beta Gone");
    EXPECT_FALSE(w->SortForward());
}

TEST_F(LisaaPoistaTest, DeleteWritesTheWholeKeyFirst)
{
    auto w = Open();
    TBoxes boxes;
    Select(*w, "Beta Gone");
    EXPECT_TRUE(w->Button("btnDelete")->isEnabled());
    QStringList values;
    for (int i = 0; i < w->Values()->count(); ++i)
        values.append(w->Values()->item(i)->text());
    EXPECT_EQ(values, (QStringList{"Blob", "DisplayName", "size", "UninstallString"}));  // sorted ignoring case

    boxes.Answer = false;
    QTest::mouseClick(w->Button("btnDelete"), Qt::LeftButton);
    EXPECT_EQ(boxes.Shown, (QStringList{"Are you sure you want to delete \"Beta Gone\"'s entries?"}));
    EXPECT_TRUE(KeyExists(Uninstall + "Beta"));
    EXPECT_FALSE(QDir(Program.filePath("Undo")).exists());

    boxes.Answer = true;
    QTest::mouseClick(w->Button("btnDelete"), Qt::LeftButton);
    EXPECT_EQ(boxes.Shown.size(), 2);
    EXPECT_FALSE(KeyExists(Uninstall + "Beta"));
    EXPECT_EQ(Names(*w), (QStringList{"Alpha Tool", "Delta Dll", "Gamma Installer"}));
    EXPECT_EQ(w->Records().at(1)->KeyPath, "Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall\\Delta\\");
    EXPECT_EQ(w->Records().at(1)->UninstallString, "rundll32.exe advpack.dll,LaunchINFSection C:\\x.inf,Uninstall");

    QStringList lines;
    ASSERT_TRUE(UndoFiles::ReadLines(Program.filePath("Undo/Beta Gone.reg"), &lines));
    EXPECT_EQ(lines.at(0), "REGEDIT4");
    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    QStringList read;
    for (const TUndoEntry &e : entries)
        read.append(e.Key.section(u'\\', 5) + u'|' + e.ValueName);
    EXPECT_EQ(read, (QStringList{"Beta|Blob", "Beta|DisplayName", "Beta|size", "Beta|UninstallString", "Beta\\Sub|Inner"}));
    EXPECT_EQ(entries.at(2).Number, 0xFFFFFFFEu);
}

TEST_F(LisaaPoistaTest, NothingIsDeletedWithoutTheUndoFile)
{
    Builder.AddString(THive::System, Uninstall + "Alpha", "Odd", QString::fromUtf8("\u03a9mega"));
    auto w = Open();
    TBoxes boxes;
    const struct {
        const char *Row, *Entry, *Key;
        bool Blocked;  // a file where the undo folder should be
    } cases[] = {
        {"undo folder cannot be made", "Beta Gone", "Beta", true},
        {"a value the code page cannot hold", "Alpha Tool", "Alpha", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        const QString undo = Program.filePath(c.Blocked ? "Blocked/Undo" : "Undo");
        if (c.Blocked) {
            QFile file(Program.filePath("Blocked"));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        Settings.FAddRemoveUndoDir = undo;
        boxes.Shown.clear();
        Select(*w, QString::fromUtf8(c.Entry));
        QTest::mouseClick(w->Button("btnDelete"), Qt::LeftButton);
        ASSERT_EQ(boxes.Shown.size(), 2);
        EXPECT_TRUE(boxes.Shown.at(1).startsWith("Failed to write the undo-file ("));
        EXPECT_TRUE(boxes.Shown.at(1).contains(".reg)! Nothing will be deleted!"));
        if (!c.Blocked) {
            EXPECT_TRUE(boxes.Shown.at(1).endsWith("holds characters that the undo file cannot store")) << boxes.Shown.at(1).toStdString();
        }
        EXPECT_TRUE(KeyExists(Uninstall + QString::fromUtf8(c.Key)));
        EXPECT_EQ(w->Records().size(), 4);
    }
    // With undo off the same entry goes.
    Settings.FAddRemoveUndo = false;
    Settings.FAddRemoveConfirm = false;
    boxes.Shown.clear();
    Select(*w, "Alpha Tool");
    QTest::mouseClick(w->Button("btnDelete"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown.isEmpty());
    EXPECT_FALSE(KeyExists(Uninstall + "Alpha"));
    EXPECT_EQ(w->Records().size(), 3);
}

TEST_F(LisaaPoistaTest, UninstallRunsWineInThePrefix)
{
    auto w = Open();
    TBoxes boxes;
    Select(*w, "Alpha Tool");
    boxes.Answer = false;
    QTest::mouseClick(w->Button("btnUninstall"), Qt::LeftButton);
    EXPECT_EQ(boxes.Shown, (QStringList{"Are you sure you want to uninstall \"Alpha Tool\"?"}));
    EXPECT_TRUE(Started.isEmpty());

    boxes.Answer = true;
    boxes.Shown.clear();
    QTest::mouseClick(w->Button("btnUninstall"), Qt::LeftButton);
    Select(*w, "Delta Dll");
    QTest::mouseClick(w->Button("btnUninstall"), Qt::LeftButton);
    ASSERT_EQ(Started.size(), 2);
    EXPECT_EQ(boxes.Shown.size(), 2);  // the two questions only
    EXPECT_EQ(Started.at(0).Program, "/usr/bin/wine");
    EXPECT_EQ(Started.at(0).Arguments, (QStringList{"C:\\Program Files\\Alpha\\unins.exe", "/S"}));
    EXPECT_EQ(Started.at(0).Prefix, Builder.Folder());
    EXPECT_EQ(Started.at(1).Arguments,
              (QStringList{"start", "rundll32.exe", "advpack.dll,LaunchINFSection", "C:\\x.inf,Uninstall"}));
    EXPECT_EQ(w->Records().size(), 4);  // the list is not refreshed

    StartResult = false;
    boxes.Shown.clear();
    QTest::mouseClick(w->Button("btnUninstall"), Qt::LeftButton);
    EXPECT_EQ(boxes.Shown.value(1), "Vaskimo failed to start the uninstaller of \"Delta Dll\"!");

    // An uninstaller that is gone is named, and Wine is not run for it.
    StartResult = true;
    boxes.Shown.clear();
    const qsizetype started = Started.size();
    Select(*w, "Beta Gone");
    QTest::mouseClick(w->Button("btnUninstall"), Qt::LeftButton);
    EXPECT_EQ(boxes.Shown.value(1), "The uninstaller of \"Beta Gone\" is missing: \"C:\\Gone\\uninst.exe\" is not there. "
                                    "The program may be gone already: delete its entry instead.");
    EXPECT_EQ(boxes.Kinds.constLast(), TMessageKind::Error);
    EXPECT_EQ(Started.size(), started);
}

TEST_F(LisaaPoistaTest, UninstallWithoutWineSaysSo)
{
    Wine.clear();
    auto w = Open();
    TBoxes boxes;
    Settings.FAddRemoveConfirm = false;
    Select(*w, "Gamma Installer");
    QTest::mouseClick(w->Button("btnUninstall"), Qt::LeftButton);
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown.at(0).startsWith("Wine is not installed!"));
    EXPECT_TRUE(boxes.Shown.at(0).contains("\"Gamma Installer\""));
    EXPECT_TRUE(Started.isEmpty());
}

// The window's own finder and starter on a wineboot prefix: without wine on PATH it says so and
// starts nothing; with it, wine runs the uninstaller in that prefix.
TEST_F(LisaaPoistaTest, RealFinderAndStarterOnAWinebootPrefix)
{
    VASKIMO_NEED_WINE();
    VASKIMO_NEED_PROGRAM("wine", "wine");
    QTemporaryDir dir;
    const QString prefix = dir.filePath("prefix");
    QString why;
    ASSERT_TRUE(TWinebootPrefix::Shared().CopyTo(prefix, &why)) << why.toStdString();
    const QString key = "HKLM\\" + Uninstall + "VkReal", gone = "HKLM\\" + Uninstall + "VkGone";
    QByteArray out;
    ASSERT_TRUE(TestSupport::Reg(prefix, {{"add", key, "/v", "DisplayName", "/d", "Vk Real", "/f"},
                                          {"add", key, "/v", "UninstallString", "/d", "C:\\windows\\system32\\cmd.exe /c mkdir C:\\VkUninstalled", "/f"},
                                          {"add", gone, "/v", "DisplayName", "/d", "Vk Gone", "/f"},
                                          {"add", gone, "/v", "UninstallString", "/d", "\"C:\\Program Files\\Vk Gone\\unins000.exe\" /SILENT", "/f"}},
                    &out))
        << out.toStdString();
    TAddRemoveHost host = Host();
    host.Prefix = std::make_shared<TWinePrefix>(prefix);
    host.FindWine = &TAddRemoveHost::DefaultFindWine;
    host.StartProcess = &TAddRemoveHost::DefaultStartProcess;
    Settings.FAddRemoveConfirm = false;
    TLisaaPoistaIkkuna w(nullptr, host);
    w.show();
    ASSERT_TRUE(WaitFor([&] { return !w.Scanning(); }));
    ASSERT_TRUE(Names(w).contains("Vk Real")) << Names(w).join(u',').toStdString();

    // The message a user reads in the window when the uninstaller is gone (Wine would tell only
    // standard error, with "wine: failed to open").
    Select(w, "Vk Gone");
    QString shown;
    QTimer::singleShot(0, &w, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            shown = box->text().remove(QChar(0x2060));  // the word joiner that holds "C:" to its path
            box->accept();
        }
    });
    QTest::mouseClick(w.Button("btnUninstall"), Qt::LeftButton);
    EXPECT_EQ(shown, "The uninstaller of \"Vk Gone\" is missing: \"C:\\Program Files\\Vk Gone\\unins000.exe\" is not there. "
                     "The program may be gone already: delete its entry instead.");

    Select(w, "Vk Real");
    const QString made = prefix + "/drive_c/VkUninstalled";
    TBoxes boxes;
    {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir.path()));
        QTest::mouseClick(w.Button("btnUninstall"), Qt::LeftButton);
        qputenv("PATH", path);
    }
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown.at(0).startsWith("Wine is not installed!"));

    boxes.Shown.clear();
    QTest::mouseClick(w.Button("btnUninstall"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown.isEmpty()) << boxes.Shown.join(u'\n').toStdString();
    EXPECT_TRUE(WaitFor([&] { return QFileInfo(made).isDir(); }, 120000)) << "wine did not run the uninstaller in the prefix";
    EXPECT_TRUE(TestSupport::WaitForWineserver(prefix));
    TestSupport::RemoveServerFolder(prefix);
}

TEST_F(LisaaPoistaTest, ValueEditorShowsAndWrites)
{
    auto w = Open();
    TBoxes boxes;
    Select(*w, "Beta Gone");
    EXPECT_FALSE(w->Properties()->isEnabled());
    EXPECT_EQ(w->RegType()->currentIndex(), -1);

    SelectValue(*w, "size");
    EXPECT_EQ(w->RegType()->currentText(), "DWORD value");
    EXPECT_EQ(w->Properties()->text(), "-2");
    EXPECT_FALSE(w->Button("btnUpdate")->isEnabled());

    SelectValue(*w, "Blob");
    EXPECT_EQ(w->RegType()->currentText(), "Binary value");
    const QString shown = w->Properties()->text();
    EXPECT_EQ(shown.count(u'\\'), 2);
    EXPECT_TRUE(shown.contains("19, \\1A, "));
    EXPECT_TRUE(shown.contains("32, \\33, "));

    TRegistry r(TRootKey::LocalMachine, Builder.Prefix());
    ASSERT_TRUE(r.OpenKeyReadOnly(u'\\' + Uninstall + "Beta"));
    const struct {
        const char *Row, *Value;
        int Type;
        const char *Text;
        bool Written;
        const char *Reason = "";
    } cases[] = {
        {"odd digits: whole pairs", "Blob", 3, "0A, 0b, \\C", true},
        {"dword not a number", "size", 2, "12x", false, "\"12x\" is no decimal number of 32 bits"},
        {"binary not hex", "Blob", 3, "zz, 01", false, "\"zz, 01\" is no list of hexadecimal bytes"},
        {"dword", "size", 2, "-5", true},
        {"string as expandable", "DisplayName", 1, "%ProgramFiles%\\B", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        boxes.Shown.clear();
        SelectValue(*w, QString::fromUtf8(c.Value));
        w->RegType()->setCurrentIndex(c.Type);
        QTest::keyClick(w->Properties(), Qt::Key_End);
        w->Properties()->selectAll();
        QTest::keyClicks(w->Properties(), QString::fromUtf8(c.Text));
        ASSERT_TRUE(w->Button("btnUpdate")->isEnabled());
        QTest::mouseClick(w->Button("btnUpdate"), Qt::LeftButton);
        if (c.Written) {
            EXPECT_TRUE(boxes.Shown.isEmpty());
            EXPECT_FALSE(w->Button("btnUpdate")->isEnabled());
        } else {
            EXPECT_EQ(boxes.Shown, (QStringList{QStringLiteral("Invalid data or write error!\r\n\r\n") + QString::fromUtf8(c.Reason)}));
            EXPECT_TRUE(w->Button("btnUpdate")->isEnabled());
        }
    }
    // A multi-string has no form in the editor: it is not offered for an Update.
    Select(*w, "Gamma Installer");
    SelectValue(*w, "List");
    EXPECT_FALSE(w->Properties()->isEnabled());
    EXPECT_TRUE(w->Properties()->text().isEmpty());
    EXPECT_EQ(w->RegType()->currentIndex(), -1);
    Select(*w, "Beta Gone");

    TRegistry after(TRootKey::LocalMachine, Builder.Prefix());
    ASSERT_TRUE(after.OpenKeyReadOnly(u'\\' + Uninstall + "Beta"));
    EXPECT_EQ(after.ReadBinaryData("Blob"), QByteArray("\x0A\x0B", 2));
    EXPECT_EQ(after.ReadInteger("Size"), quint32(-5));
    EXPECT_EQ(after.GetDataType("DisplayName"), TRegDataType::ExpandString);
    EXPECT_EQ(after.ReadString("DisplayName"), "%ProgramFiles%\\B");

    // A value gone since the list was filled.
    {
        TRegistry writer(TRootKey::LocalMachine, Builder.Prefix());
        ASSERT_TRUE(writer.OpenKey(u'\\' + Uninstall + "Beta", false));
        ASSERT_TRUE(writer.DeleteValue("UninstallString"));
    }
    boxes.Shown.clear();
    SelectValue(*w, "UninstallString");
    EXPECT_EQ(boxes.Shown, (QStringList{"Value doesn't exist!"}));
    EXPECT_FALSE(w->Properties()->isEnabled());
    EXPECT_TRUE(w->Properties()->text().isEmpty());
}

TEST_F(LisaaPoistaTest, SelectingAGoneEntryWritesNothing)
{
    auto w = Open();
    {
        TRegistry writer(TRootKey::LocalMachine, Builder.Prefix());
        ASSERT_TRUE(writer.DeleteKey(u'\\' + Uninstall + "Gamma"));
    }
    Select(*w, "Gamma Installer");
    EXPECT_EQ(w->Values()->count(), 0);
    EXPECT_FALSE(KeyExists(Uninstall + "Gamma"));
}

TEST_F(LisaaPoistaTest, ClosingDuringAScanStopsIt)
{
    for (int i = 0; i < 400; ++i)
        Builder.AddString(THive::System, Uninstall + QStringLiteral("Many%1").arg(i, 3, 10, QChar(u'0')), "DisplayName", "x");
    Builder.MakeCurrent();
    TLisaaPoistaIkkuna w(nullptr, Host());
    w.show();  // its first showing starts the scan; the worker waits for each report to be taken
    ASSERT_TRUE(w.Scanning());
    EXPECT_TRUE(w.Button("btnStop")->isEnabled());
    EXPECT_FALSE(w.Button("btnFind")->isEnabled());
    EXPECT_FALSE(w.FileList()->isEnabled());
    EXPECT_TRUE(w.ProgressBar()->isVisible());
    EXPECT_FALSE(w.close());
    EXPECT_TRUE(w.isVisible());
    ASSERT_TRUE(WaitFor([&] { return !w.Scanning(); }));
    EXPECT_LT(w.Records().size(), 4);
    EXPECT_FALSE(w.ProgressBar()->isVisible());
    EXPECT_TRUE(w.FileList()->isEnabled());
    EXPECT_TRUE(w.close());
}

TEST_F(LisaaPoistaTest, FirstShowingTranslates)
{
    ASSERT_TRUE(QDir(Program.path()).mkpath("Languages"));
    QFile language(Program.filePath("Languages/Suomi.txt"));
    ASSERT_TRUE(language.open(QIODevice::WriteOnly));
    language.write("[LisaaPoistaIkkuna]\r\nLisaaPoistaIkkuna.Caption=Lisaa/poista\r\n"
                   "LisaaPoistaIkkuna.btnFind.Caption=Etsi\r\n"
                   "LisaaPoistaIkkuna.FileList.columns.items[0].caption=Nimi\r\n"
                   "LisaaPoistaIkkuna.Properties.Text=vieras\r\n"
                   "[Misc]\r\nM058LI=Poistetaanko \"%s\"?\r\n");
    language.close();
    ASSERT_TRUE(OpenLanguageFile(Program.path(), "Suomi"));
    auto w = Open();
    CloseLanguageFile();
    EXPECT_EQ(w->windowTitle(), "Lisaa/poista");
    EXPECT_EQ(w->Button("btnFind")->text(), "Etsi");
    EXPECT_EQ(w->Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Nimi");
    EXPECT_TRUE(w->Properties()->text().isEmpty());
    ASSERT_TRUE(OpenLanguageFile(Program.path(), "Suomi"));
    TBoxes boxes;
    boxes.Answer = false;
    Select(*w, "Alpha Tool");
    QTest::mouseClick(w->Button("btnDelete"), Qt::LeftButton);
    CloseLanguageFile();
    EXPECT_EQ(boxes.Shown, (QStringList{"Poistetaanko \"Alpha Tool\"?"}));
}

TEST_F(LisaaPoistaTest, SettingsSectionRoundTrip)
{
    {
        auto w = Open();
        w->FileListColumnClick(1);
        w->FileListColumnClick(1);
    }
    auto again = Open();
    EXPECT_EQ(again->SortColumn(), 1);
    EXPECT_FALSE(again->SortForward());
    EXPECT_EQ(Names(*again).constFirst(), "Beta Gone");
}

}  // namespace

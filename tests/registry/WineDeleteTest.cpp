// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry tools' deletes on a prefix made by wineboot, read back with Wine's reg and regedit.
#include "registry/LisaaPoista.h"
#include "registry/Rekisteri.h"
#include "registry/Startup.h"
#include "registry/UndoManager.h"

#include "platform/HiveFile.h"
#include "platform/WinePrefix.h"
#include "shell/Batch.h"
#include "shell/Buttons.h"
#include "shell/Settings.h"
#include "support/HiveCompare.h"
#include "support/MessageBoxCatcher.h"
#include "support/WinePrefixTest.h"
#include "support/WineTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTest>
#include <QTreeView>

#include <functional>

#include <gtest/gtest.h>

#include "WaitFor.h"

namespace {

using namespace TestSupport;

const QString UserKey = QStringLiteral("HKCU\\Software\\VkDelete");
const QString MachineKey = QStringLiteral("HKLM\\Software\\VkDelete");

class WineDeleteTest : public TWinePrefixTest
{
protected:
    void SetUp() override
    {
        TWinePrefixTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        Pc = std::make_shared<TWinePrefix>(Prefix);
        Previous = TWinePrefix::Current();
        TWinePrefix::SetCurrent(Pc);
        Settings.FRegistryUndoDir = Dir.filePath(QStringLiteral("Undo"));
        Settings.FRegistryConfirm = false;
    }

    void TearDown() override
    {
        THiveFile::SetWriter({});
        if (Pc)
            TWinePrefix::SetCurrent(Previous);
        TWinePrefixTest::TearDown();
    }

    TRegistryHost Host()
    {
        TRegistryHost host;
        host.ProgramFolder = Dir.filePath(QStringLiteral("program"));
        QDir().mkpath(host.ProgramFolder);
        QFile::copy(QStringLiteral(VASKIMO_BLACKLIST), host.ProgramFolder + QStringLiteral("/BlackLst.vkb"));
        host.Settings = &Settings;
        host.Batch = &Batch;
        host.UndoHeader = [] { return QStringLiteral("REGEDIT4"); };
        host.TimeStamp = [] { return QStringLiteral("1/2/2026, 3:04:05 PM"); };
        host.UniqueFileName = [](const QString &folder, const QString &name) { return folder + name; };
        host.Prefix = Pc;
        return host;
    }

    TStartupHost StartupHost()
    {
        Settings.FStartupUndoDir = Dir.filePath(QStringLiteral("StartupUndo"));
        Settings.FStartupConfirm = false;
        TStartupHost host;
        host.ProgramFolder = Dir.filePath(QStringLiteral("program"));
        host.Settings = &Settings;
        host.UndoHeader = [] { return QStringLiteral("REGEDIT4"); };
        host.UndoDateTime = [] { return qMakePair(QStringLiteral("1/2/2026"), QStringLiteral("3:04:05 PM")); };
        host.UniqueFileName = [this](const QString &folder, const QString &name) { return folder + QString::number(++Made) + name; };
        host.Prefix = Pc;
        return host;
    }

    TAddRemoveHost AddRemoveHost()
    {
        Settings.FAddRemoveUndoDir = Dir.filePath(QStringLiteral("Undo"));
        Settings.FAddRemoveConfirm = false;
        TAddRemoveHost host;
        host.ProgramFolder = Dir.filePath(QStringLiteral("program"));
        host.Settings = &Settings;
        host.UndoHeader = [] { return QStringLiteral("REGEDIT4"); };
        host.UniqueFileName = [](const QString &folder, const QString &name) { return folder + name; };
        host.Prefix = Pc;
        return host;
    }

    static void Find(TRegistryIkkuna &cleaner)
    {
        cleaner.show();
        QTest::mouseClick(cleaner.Button("btnFind"), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !cleaner.Scanning(); }));
    }

    // Selects the startup manager's row that matches; false when none does.
    static bool SelectRow(TStartupIkkuna &window, const std::function<bool(const TStartupRecord &)> &matches)
    {
        for (int row = 0; row < window.Records().size(); ++row)
            if (matches(*window.Records().at(row))) {
                window.FileList()->selectionModel()->select(window.Model()->index(row, 0),
                                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
                return true;
            }
        return false;
    }

    std::shared_ptr<TWinePrefix> Pc, Previous;
    TSettings Settings;
    TBatchState Batch;
    int Made = 0;
};

TEST_F(WineDeleteTest, ARunThatFailsHalfWayWritesExactlyWhatItDeletedAfterItsUndoFile)
{
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", UserKey, "/v", "Tool", "/d", "C:\\VkGone\\tool.exe", "/f"},
                             {"add", UserKey, "/v", "C:\\VkGone\\named.dll", "/d", "1", "/f"},
                             {"add", UserKey, "/v", "Kept", "/d", "C:\\windows", "/f"},
                             {"add", MachineKey, "/v", "Library", "/d", "C:\\VkGone\\lib.dll", "/f"}},
                    &out))
        << out.toStdString();
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);
    // The undo lines of the three values, and the hive lines of the two that go, as Wine wrote them.
    const QString userLines = QStringLiteral("[HKEY_CURRENT_USER\\Software\\VkDelete]\r\n\"Tool\"=\"C:\\\\VkGone\\\\tool.exe\"");
    const QString namedLines = QStringLiteral("[HKEY_CURRENT_USER\\Software\\VkDelete]\r\n\"C:\\\\VkGone\\\\named.dll\"=\"1\"");
    const QString machineLines = QStringLiteral("[HKEY_LOCAL_MACHINE\\Software\\VkDelete]\r\n\"Library\"=\"C:\\\\VkGone\\\\lib.dll\"");
    const QString undoFile = Dir.filePath(QStringLiteral("Undo/VKUndo01.reg"));

    // The machine hive cannot be written (a full disk); each write notes what the undo file held then.
    struct TWrite {
        QString Hive;
        QString UndoText;
    };
    QList<TWrite> writes;
    THiveFile::SetWriter([&](const QString &path, const QByteArray &text, QString *error) {
        writes.append({QFileInfo(path).fileName(), QString::fromLatin1(ReadFileBytes(undoFile))});
        if (path.endsWith(QStringLiteral("/system.reg"))) {
            *error = QStringLiteral("No space left on device");
            return false;
        }
        return THiveFile::WriteFileAtomically(path, text, error);
    });

    TBoxes boxes;
    TRegistryIkkuna window(nullptr, Host());
    ASSERT_NO_FATAL_FAILURE(Find(window));
    ASSERT_EQ(window.Records().size(), 3);
    QTest::mouseClick(window.Button("btnDeleteAll"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !window.Deleting(); }));

    // Each hive was written once, with the undo file of all three values already in place.
    ASSERT_EQ(writes.size(), 2);
    QStringList written;
    for (const TWrite &w : std::as_const(writes)) {
        written.append(w.Hive);
        for (const QString &lines : {userLines, namedLines, machineLines})
            EXPECT_TRUE(w.UndoText.contains(lines)) << w.Hive.toStdString() << ": " << lines.toStdString();
    }
    written.sort();
    EXPECT_EQ(written, QStringList({"system.reg", "user.reg"}));
    THiveFile::SetWriter({});

    // The user's hive lost exactly its two values; the machine hive is as Wine left it.
    const QHash<QString, QByteArray> after = HiveTexts(Prefix);
    EXPECT_TRUE(after.value("system.reg") == before.value("system.reg"));
    EXPECT_TRUE(after.value("userdef.reg") == before.value("userdef.reg"));
    TTextChange change;
    std::string diff;
    ASSERT_TRUE(OnlyValuesChanged(before.value("user.reg"), after.value("user.reg"), &change, &diff)) << diff;
    EXPECT_TRUE(change.Added.isEmpty());
    ASSERT_EQ(change.Removed.size(), 1);
    QList<QByteArray> removed = change.Removed.begin().value();
    std::sort(removed.begin(), removed.end());
    EXPECT_EQ(removed, QList<QByteArray>({"\"C:\\\\VkGone\\\\named.dll\"=\"1\"", "\"Tool\"=\"C:\\\\VkGone\\\\tool.exe\""}));

    // The undo file names the two deleted values and no longer the one that stayed; the user is told why.
    const QString undo = QString::fromLatin1(ReadFileBytes(undoFile));
    EXPECT_TRUE(undo.contains(userLines)) << undo.toStdString();
    EXPECT_TRUE(undo.contains(namedLines)) << undo.toStdString();
    EXPECT_FALSE(undo.contains(QStringLiteral("Library"))) << undo.toStdString();
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown[0].startsWith("Vaskimo failed to delete 1 entries!\r\n\r\nCannot save \""))
        << boxes.Shown[0].toStdString();
    EXPECT_TRUE(boxes.Shown[0].endsWith("system.reg\": No space left on device")) << boxes.Shown[0].toStdString();
    ASSERT_EQ(window.Records().size(), 1);
    EXPECT_EQ(window.Records()[0]->ValueName, "Library");

    // Wine reads both hives as the run left them.
    ASSERT_TRUE(Reg(Prefix, {{"query", UserKey}, {"query", MachineKey}}, &out)) << out.toStdString();
    EXPECT_FALSE(out.contains("Tool")) << out.toStdString();
    EXPECT_FALSE(out.contains("named.dll")) << out.toStdString();
    EXPECT_TRUE(out.contains("    Kept    REG_SZ    C:\\windows")) << out.toStdString();
    EXPECT_TRUE(out.contains("    Library    REG_SZ    C:\\VkGone\\lib.dll")) << out.toStdString();
}

// A Wine program that starts as the run begins (here: as the undo text's header is asked for)
// keeps every value, and every earlier undo file stays where and as it was.
TEST_F(WineDeleteTest, AServerStartedAsTheDeleteBeginsKeepsEveryEarlierUndoFile)
{
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", UserKey, "/v", "Tool", "/d", "C:\\VkGone\\tool.exe", "/f"}}, &out)) << out.toStdString();
    Settings.FUndoLevels = 3;
    QDir().mkpath(Settings.FRegistryUndoDir);
    QMap<QString, QByteArray> earlier;
    for (int n = 1; n <= 3; ++n) {
        const QString name = QStringLiteral("VKUndo0%1.reg").arg(n);
        earlier.insert(name, "REGEDIT4\r\n\r\n; run " + QByteArray::number(n) + "\r\n");
        QFile f(QDir(Settings.FRegistryUndoDir).filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(earlier.value(name));
    }

    TWineServer server;
    QString why;
    bool started = false;
    TRegistryHost host = Host();
    host.UndoHeader = [&] {
        started = server.Start(Prefix, &why);
        return QStringLiteral("REGEDIT4");
    };
    TBoxes boxes;
    {
        TRegistryIkkuna window(nullptr, host);
        ASSERT_NO_FATAL_FAILURE(Find(window));
        ASSERT_EQ(window.Records().size(), 1);
        window.EntryList()->selectAll();
        QTest::mouseClick(window.Button("btnDelete"), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !window.Deleting(); }));
        ASSERT_TRUE(started) << why.toStdString();
        EXPECT_EQ(window.Records().size(), 1);
    }
    ASSERT_TRUE(server.Stop());
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown[0].contains("Close the Wine programs")) << boxes.Shown[0].toStdString();
    QMap<QString, QByteArray> after;
    for (const QFileInfo &info : QDir(Settings.FRegistryUndoDir).entryInfoList(QDir::Files | QDir::Hidden))
        after.insert(info.fileName(), ReadFileBytes(info.filePath()));
    EXPECT_EQ(after, earlier);
    ASSERT_TRUE(Reg(Prefix, {{"query", UserKey}}, &out)) << out.toStdString();
    EXPECT_TRUE(out.contains("    Tool    REG_SZ    C:\\VkGone\\tool.exe")) << out.toStdString();
}

// A value a Wine program fixed after the search stays with its new data and leaves the list; the
// undo file holds only what was deleted.
TEST_F(WineDeleteTest, AValueChangedSinceTheSearchIsKept)
{
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", UserKey, "/v", "Fixed", "/d", "C:\\VkGone\\fixed.exe", "/f"},
                             {"add", UserKey, "/v", "Stale", "/d", "C:\\VkGone\\stale.exe", "/f"}},
                    &out))
        << out.toStdString();
    TBoxes boxes;
    {
        TRegistryIkkuna window(nullptr, Host());
        ASSERT_NO_FATAL_FAILURE(Find(window));
        ASSERT_EQ(window.Records().size(), 2);
        ASSERT_TRUE(Reg(Prefix, {{"add", UserKey, "/v", "Fixed", "/d", "C:\\windows", "/f"}}, &out)) << out.toStdString();
        window.EntryList()->selectAll();
        QTest::mouseClick(window.Button("btnDelete"), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !window.Deleting(); }));
        EXPECT_TRUE(window.Records().isEmpty());
    }
    EXPECT_EQ(boxes.Shown, QStringList{"1 entries were kept: their data has changed since the search!"});
    ASSERT_TRUE(Reg(Prefix, {{"query", UserKey}}, &out)) << out.toStdString();
    EXPECT_TRUE(out.contains("    Fixed    REG_SZ    C:\\windows\r\n")) << out.toStdString();
    EXPECT_FALSE(out.contains("Stale")) << out.toStdString();
    const QByteArray undo = ReadFileBytes(Dir.filePath(QStringLiteral("Undo/VKUndo01.reg")));
    EXPECT_TRUE(undo.contains("\"Stale\"=\"C:\\\\VkGone\\\\stale.exe\"")) << undo.toStdString();
    EXPECT_FALSE(undo.contains("Fixed")) << undo.toStdString();
}

// Every type Wine's reg stores, in an uninstall key: the add/remove list deletes it with an undo
// file, Wine's regedit puts it back, and so does the undo manager.
TEST_F(WineDeleteTest, EveryValueTypeOfAnUninstallKeyComesBackThroughRegeditAndTheUndoManager)
{
    const QString keyPath = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VkTypes");
    const QString key = QStringLiteral("HKLM\\") + keyPath;
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", key, "/v", "DisplayName", "/d", "Vk Types", "/f"},
                             {"add", key, "/v", "UninstallString", "/d", "C:\\VkGone\\uninst.exe", "/f"},
                             {"add", key, "/v", "None", "/t", "REG_NONE", "/d", "0102", "/f"},
                             {"add", key, "/v", "Expand", "/t", "REG_EXPAND_SZ", "/d", "%windir%\\x.dll", "/f"},
                             {"add", key, "/v", "Binary", "/t", "REG_BINARY", "/d", "0a0b0c", "/f"},
                             {"add", key, "/v", "Dword", "/t", "REG_DWORD", "/d", "42", "/f"},
                             {"add", key, "/v", "BigEndian", "/t", "REG_DWORD_BIG_ENDIAN", "/d", "42", "/f"},
                             {"add", key, "/v", "Multi", "/t", "REG_MULTI_SZ", "/d", "first\\0second item", "/f"},
                             {"add", key, "/v", "Quad", "/t", "REG_QWORD", "/d", "1234567890123", "/f"},
                             {"add", key, "/v", "Lines", "/d", "first\nsecond\r\nthird", "/f"},
                             {"add", key + QStringLiteral("\\Sub"), "/v", "Inner", "/d", "x", "/f"}},
                    &out))
        << out.toStdString();
    // What reg cannot make, as a program can: a list with an empty item inside, a string of an odd
    // number of bytes.
    {
        QFile hive(QDir(Prefix).filePath(QStringLiteral("system.reg")));
        ASSERT_TRUE(hive.open(QIODevice::ReadOnly));
        QByteArray text = hive.readAll();
        hive.close();
        const qsizetype block = text.indexOf("[" + keyPath.toLatin1().replace("\\", "\\\\") + "]");
        ASSERT_GE(block, 0);
        const qsizetype line = text.indexOf("\n", text.indexOf("#time=", block)) + 1;
        text.insert(line, "\"Gaps\"=str(7):\"one\\0two words\\0\\0after empty\\0\"\n\"Odd\"=hex(1):41,00,42\n");
        ASSERT_TRUE(hive.open(QIODevice::WriteOnly | QIODevice::Truncate));
        hive.write(text);
    }
    QByteArray queried;
    ASSERT_TRUE(Reg(Prefix, {{"query", key, "/s"}}, &queried)) << queried.toStdString();
    ASSERT_TRUE(queried.contains("    Gaps    REG_MULTI_SZ    one\\0two words\\0\\0after empty")) << queried.toStdString();
    ASSERT_TRUE(queried.contains("    Odd    REG_SZ    AB")) << queried.toStdString();
    const TPrefixValues before = ValuesOf(Prefix);
    // What Wine stored is what the rows mean (type numbers and bytes as Windows has them).
    const QString id = ValueId("system.reg", keyPath, QString());
    ASSERT_EQ(before.value(id + "Quad").Type, 11u);
    EXPECT_EQ(before.value(id + "Quad").Bytes, QByteArray::fromHex("cb04fb711f010000"));
    ASSERT_EQ(before.value(id + "None").Type, 0u);
    ASSERT_EQ(before.value(id + "BigEndian").Type, 5u);
    ASSERT_EQ(before.value(id + "Multi").Type, 7u);

    TBoxes boxes;
    TLisaaPoistaIkkuna window(nullptr, AddRemoveHost());
    window.show();
    ASSERT_TRUE(WaitFor([&] { return !window.Scanning(); }));
    int row = -1;
    for (int r = 0; r < window.Model()->rowCount(); ++r)
        if (window.Model()->index(r, 0).data().toString() == QStringLiteral("Vk Types"))
            row = r;
    ASSERT_GE(row, 0);
    window.FileList()->setCurrentIndex(window.Model()->index(row, 0));
    QTest::mouseClick(window.Button("btnDelete"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown.isEmpty()) << boxes.Shown.join(u'|').toStdString();
    const QString undo = Dir.filePath(QStringLiteral("Undo/Vk Types.reg"));
    ASSERT_TRUE(QFileInfo::exists(undo));
    EXPECT_FALSE(Reg(Prefix, {{"query", key}}, &out)) << "the key is still there: " << out.toStdString();

    auto expectAllBack = [&](const char *how) {
        SCOPED_TRACE(how);
        const TPrefixValues after = ValuesOf(Prefix);
        // The odd string comes back as the text Wine shows, with its terminator.
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            if (it.key().startsWith(QStringLiteral("system.reg|") + FoldName(keyPath)) && !it.key().endsWith(QStringLiteral("Odd"))) {
                ASSERT_TRUE(after.contains(it.key())) << it.key().toStdString();
                EXPECT_EQ(after.value(it.key()).Type, it.value().Type) << it.key().toStdString();
                EXPECT_EQ(after.value(it.key()).Bytes.toHex().toStdString(), it.value().Bytes.toHex().toStdString()) << it.key().toStdString();
            }
        QByteArray query;
        ASSERT_TRUE(Reg(Prefix, {{"query", key, "/s"}}, &query)) << query.toStdString();
        EXPECT_EQ(query.toStdString(), queried.toStdString());
    };
    ASSERT_TRUE(RegeditImport(Prefix, undo, &out)) << out.toStdString();
    ASSERT_NO_FATAL_FAILURE(expectAllBack("regedit /s"));

    ASSERT_TRUE(Reg(Prefix, {{"delete", key, "/f"}}, &out)) << out.toStdString();
    const UndoManager::TLoadResult read = UndoManager::LoadFile(undo, TUndoNodeKind::RegFile, Pc);
    ASSERT_TRUE(read.Read);
    ASSERT_EQ(read.Entries.size(), 13);
    for (const TUndoEntry &entry : read.Entries) {
        SCOPED_TRACE(entry.ValueName.toStdString());
        EXPECT_EQ(entry.State, 4);
        QString error;
        EXPECT_TRUE(UndoManager::RestoreEntry(entry, Pc, {}, &error)) << error.toStdString();
        EXPECT_EQ(UndoManager::EntryState(entry, Pc), 2);
    }
    ASSERT_NO_FATAL_FAILURE(expectAllBack("the undo manager"));
}

// Programs as installers register them in a 64-bit prefix: natively, as 32-bit programs below
// Wow6432Node, and per user. The list is Wine's own; each entry goes with an undo file regedit
// takes back, and so does a 32-bit run value through the startup manager.
TEST_F(WineDeleteTest, ThirtyTwoBitAndPerUserProgramsAreListedAsWineListsThemAndComeBackThroughRegedit)
{
    const QString uninstall = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\");
    const QString native = "HKLM\\" + uninstall + "VkNative";
    const QString thirty = "HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VkThirty";
    const QString user = "HKCU\\" + uninstall + "VkUser";
    const QString run32 = QStringLiteral("HKLM\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, {{"add", native, "/v", "DisplayName", "/d", "Vk Native", "/f"},
                             {"add", native, "/v", "UninstallString", "/d", "C:\\VkGone\\native.exe", "/f"},
                             {"add", thirty, "/v", "DisplayName", "/d", "Vk Thirty", "/f"},
                             {"add", thirty, "/v", "UninstallString", "/d", "C:\\VkGone\\thirty.exe /S", "/f"},
                             {"add", thirty, "/v", "EstimatedSize", "/t", "REG_DWORD", "/d", "77", "/f"},
                             {"add", thirty + "\\Sub", "/v", "Inner", "/d", "x", "/f"},
                             {"add", user, "/v", "DisplayName", "/d", "Vk User", "/f"},
                             {"add", user, "/v", "UninstallString", "/d", "C:\\VkGone\\user.exe", "/f"},
                             {"add", "HKCU\\" + uninstall + "VkNameOnly", "/v", "DisplayName", "/d", "Vk Name Only", "/f"},
                             {"add", run32, "/v", "VkRun32", "/d", "C:\\VkGone\\run32.exe", "/f"}},
                    &out))
        << out.toStdString();
    QByteArray listed;
    ASSERT_TRUE(WinePrograms(Prefix, {{"uninstaller", "--list"}}, &listed)) << listed.toStdString();
    QStringList wine;
    for (const QByteArray &line : listed.split('\n'))
        if (const QString text = QString::fromUtf8(line).trimmed(); text.contains(QStringLiteral("|||")))
            wine.append(text);
    ASSERT_TRUE(wine.contains("VkThirty|||Vk Thirty") && wine.contains("VkUser|||Vk User")) << listed.toStdString();
    wine.sort();

    TBoxes boxes;
    TLisaaPoistaIkkuna window(nullptr, AddRemoveHost());
    window.show();
    ASSERT_TRUE(WaitFor([&] { return !window.Scanning(); }));
    QStringList shown;
    for (const TAddRemoveRecord *record : window.Records())
        shown.append(record->KeyPath.section(u'\\', -2, -2) + QStringLiteral("|||") + record->Name);
    shown.sort();
    EXPECT_EQ(shown, wine);

    const struct {
        QString Key, Name;
        TRootKey Root;
        QString KeyPath;
    } entries[] = {
        {thirty, "Vk Thirty", TRootKey::LocalMachine, thirty.mid(5) + u'\\'},
        {user, "Vk User", TRootKey::CurrentUser, user.mid(5) + u'\\'},
    };
    for (const auto &e : entries) {
        SCOPED_TRACE(e.Name.toStdString());
        QByteArray before;
        ASSERT_TRUE(Reg(Prefix, {{"query", e.Key, "/s"}}, &before)) << before.toStdString();
        int row = -1;
        for (int r = 0; r < window.Records().size(); ++r)
            if (window.Records().at(r)->Name == e.Name)
                row = r;
        ASSERT_GE(row, 0);
        EXPECT_EQ(window.Records().at(row)->Root, e.Root);
        EXPECT_EQ(window.Records().at(row)->KeyPath.compare(e.KeyPath, Qt::CaseInsensitive), 0)
            << window.Records().at(row)->KeyPath.toStdString();
        window.FileList()->setCurrentIndex(window.Model()->index(row, 0));
        QTest::mouseClick(window.Button("btnDelete"), Qt::LeftButton);
        EXPECT_TRUE(boxes.Shown.isEmpty()) << boxes.Shown.join(u'|').toStdString();
        EXPECT_FALSE(Reg(Prefix, {{"query", e.Key}}, &out)) << "the key is still there: " << out.toStdString();
        const QString undo = Dir.filePath(QStringLiteral("Undo/") + e.Name + QStringLiteral(".reg"));
        ASSERT_TRUE(RegeditImport(Prefix, undo, &out)) << out.toStdString();
        QByteArray after;
        ASSERT_TRUE(Reg(Prefix, {{"query", e.Key, "/s"}}, &after)) << after.toStdString();
        EXPECT_EQ(after.toStdString(), before.toStdString());
    }

    TStartupIkkuna startup(nullptr, StartupHost());
    startup.show();
    ASSERT_TRUE(WaitFor([&] { return !startup.Scanning() && !startup.Records().isEmpty(); }));
    ASSERT_TRUE(SelectRow(startup, [](const TStartupRecord &r) { return r.ValueName == "VkRun32"; }));
    const TStartupRecord *row = nullptr;
    for (const TStartupRecord *r : startup.Records())
        if (r->ValueName == "VkRun32")
            row = r;
    ASSERT_NE(row, nullptr);
    EXPECT_EQ(row->Location, "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run");
    EXPECT_EQ(row->Kind, 0);
    QTest::mouseClick(startup.Button("btnDelete"), Qt::LeftButton);
    EXPECT_TRUE(boxes.Shown.isEmpty()) << boxes.Shown.join(u'|').toStdString();
    EXPECT_FALSE(Reg(Prefix, {{"query", run32, "/v", "VkRun32"}}, &out)) << "the value is still there: " << out.toStdString();
    const QStringList undoFiles = QDir(Settings.FStartupUndoDir).entryList({QStringLiteral("*.reg")}, QDir::Files);
    ASSERT_EQ(undoFiles.size(), 1);
    ASSERT_TRUE(RegeditImport(Prefix, QDir(Settings.FStartupUndoDir).filePath(undoFiles.constFirst()), &out)) << out.toStdString();
    ASSERT_TRUE(Reg(Prefix, {{"query", run32, "/v", "VkRun32"}}, &out)) << out.toStdString();
    EXPECT_TRUE(out.contains("    VkRun32    REG_SZ    C:\\VkGone\\run32.exe")) << out.toStdString();
}

// One item out of a list value or a win.ini list through the startup manager, and back through the
// undo manager: every other item keeps its text, order and delimiters, and the restored text is
// the original to the byte.
TEST_F(WineDeleteTest, AListItemGoesAloneAndComesBackWhereItWas)
{
    const QString winlogon = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
    const QString windows = QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
    const struct {
        const char *Row;
        QString Key, Value;  // a registry value (HKLM\Winlogon or HKCU\Windows), or the win.ini key
        bool Ini;
        QString Text, Item, Rest;
    } cases[] = {
        {"last item; items with blanks", "HKLM\\" + winlogon, "Userinit", false,
         "C:\\windows\\system32\\userinit.exe,C:\\Program Files\\Internet Explorer\\iexplore.exe,C:\\gone\\evil.exe",
         "C:\\gone\\evil.exe", "C:\\windows\\system32\\userinit.exe,C:\\Program Files\\Internet Explorer\\iexplore.exe"},
        {"first item; blanks after the delimiters", "HKLM\\" + winlogon, "Shell", false,
         "C:\\gone\\first.exe, explorer.exe,  C:\\windows\\notepad.exe", "C:\\gone\\first.exe",
         "explorer.exe,  C:\\windows\\notepad.exe"},
        {"middle item in quotes, with the delimiter inside", "HKCU\\" + windows, "Load", false,
         "a.exe,\"C:\\Gone Tools\\x,y.exe\" /s,b.exe", "\"C:\\Gone Tools\\x,y.exe\" /s", "a.exe,b.exe"},
        {"an empty piece stays", "HKCU\\" + windows, "Run", false, "one.exe,,C:\\gone\\two.exe", "C:\\gone\\two.exe", "one.exe,"},
        {"the only item", "HKLM\\" + winlogon, "Taskman", false, "C:\\gone\\task.exe", "C:\\gone\\task.exe", ""},
        {"win.ini: middle item with blanks", "windows", "load", true, "one.exe;C:\\Program Files\\two.exe;three.exe",
         "C:\\Program Files\\two.exe", "one.exe;three.exe"},
        {"win.ini: first item", "windows", "run", true, "first.exe; second.exe", "first.exe", "second.exe"},
    };
    QList<QStringList> adds;
    QByteArray iniText = "[windows]\r\n";
    for (const auto &c : cases) {
        if (c.Ini)
            iniText += c.Value.toLatin1() + '=' + c.Text.toLatin1() + "\r\n";
        else
            adds.append({"add", c.Key, "/v", c.Value, "/d", c.Text, "/f"});
    }
    QByteArray out;
    ASSERT_TRUE(Reg(Prefix, adds, &out)) << out.toStdString();
    const QString winIni = Prefix + QStringLiteral("/drive_c/windows/win.ini");
    {
        QFile f(winIni);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(iniText);
    }
    auto query = [&] {
        QList<QStringList> queries;
        for (const auto &c : cases)
            if (!c.Ini)
                queries.append({"query", c.Key, "/v", c.Value});
        QByteArray text;
        EXPECT_TRUE(Reg(Prefix, queries, &text)) << text.toStdString();
        return text;
    };
    const QByteArray before = query();
    for (const auto &c : cases) {
        if (!c.Ini) {
            ASSERT_TRUE(before.contains(("    " + c.Value + "    REG_SZ    " + c.Text + "\r\n").toUtf8())) << c.Row;
        }
    }

    TBoxes boxes;
    TStartupIkkuna window(nullptr, StartupHost());
    window.show();
    ASSERT_TRUE(WaitFor([&] { return !window.Scanning() && !window.Records().isEmpty(); }));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        ASSERT_TRUE(SelectRow(window, [&](const TStartupRecord &r) { return r.Item == c.Item && r.Kind == (c.Ini ? 3 : 1); }))
            << "the item is not listed as one";
        QTest::mouseClick(window.Button("btnDelete"), Qt::LeftButton);
        EXPECT_TRUE(boxes.Shown.isEmpty()) << boxes.Shown.join(u'|').toStdString();
    }
    const QByteArray deleted = query();
    const QByteArray iniDeleted = ReadFileBytes(winIni);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        if (c.Ini)
            EXPECT_TRUE(iniDeleted.contains("\r\n" + c.Value.toLatin1() + '=' + c.Rest.toLatin1() + "\r\n")) << iniDeleted.toStdString();
        else if (!c.Rest.isEmpty())
            EXPECT_TRUE(deleted.contains(("    " + c.Value + "    REG_SZ    " + c.Rest + "\r\n").toUtf8())) << deleted.toStdString();
        else
            EXPECT_FALSE(deleted.contains(c.Item.toUtf8())) << deleted.toStdString();
    }

    // The undo manager puts each item back.
    QStringList files = QDir(Settings.FStartupUndoDir).entryList({QStringLiteral("*.vku")}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), std::size(cases));
    for (const QString &file : std::as_const(files)) {
        SCOPED_TRACE(file.toStdString());
        const UndoManager::TLoadResult read =
            UndoManager::LoadFile(QDir(Settings.FStartupUndoDir).filePath(file), TUndoNodeKind::ListItemFile, Pc);
        ASSERT_EQ(read.Entries.size(), 1);
        EXPECT_EQ(read.Entries[0].State, 4);
        QString error;
        EXPECT_TRUE(UndoManager::RestoreEntry(read.Entries[0], Pc, {}, &error)) << error.toStdString();
    }
    EXPECT_EQ(query(), before);
    EXPECT_EQ(ReadFileBytes(winIni), iniText);
}

// A run value whose name has no byte in the prefix's code page (1252): the startup manager keeps it
// and says why, in the words of the registry cleaner for the same value.
TEST_F(WineDeleteTest, AStartupValueTheUndoFileCannotHoldStaysWithTheCleanersWords)
{
    const QString runKey = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    const QString name = QString::fromUtf8("\u03a9mega");
    // A Unicode export, as regedit reads them.
    const QString file = Dir.filePath(QStringLiteral("omega.reg"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        const QString text = QStringLiteral("\uFEFFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\") + runKey
                             + QStringLiteral("]\r\n\"") + name + QStringLiteral("\"=\"C:\\\\VkGone\\\\omega.exe\"\r\n");
        f.write(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    }
    QByteArray out;
    ASSERT_TRUE(RegeditImport(Prefix, file, &out)) << out.toStdString();
    const QString id = ValueId("user.reg", runKey, name);
    ASSERT_TRUE(ValuesOf(Prefix).contains(id));
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);

    TBoxes boxes;
    QString cleanerSays;
    {
        TRegistryIkkuna cleaner(nullptr, Host());
        ASSERT_NO_FATAL_FAILURE(Find(cleaner));
        ASSERT_EQ(cleaner.Records().size(), 1);
        cleaner.EntryList()->selectAll();
        QTest::mouseClick(cleaner.Button("btnDelete"), Qt::LeftButton);
        ASSERT_TRUE(WaitFor([&] { return !cleaner.Deleting(); }));
        ASSERT_EQ(boxes.Shown.size(), 1);
        cleanerSays = boxes.Shown.takeFirst();
    }
    EXPECT_EQ(cleanerSays, "1 entries were not deleted: their undo data holds characters that the undo file cannot store!");

    TStartupIkkuna window(nullptr, StartupHost());
    window.show();
    ASSERT_TRUE(WaitFor([&] { return !window.Scanning() && !window.Records().isEmpty(); }));
    ASSERT_TRUE(SelectRow(window, [&](const TStartupRecord &r) { return r.ValueName == name; }));
    QTest::mouseClick(window.Button("btnDelete"), Qt::LeftButton);
    EXPECT_EQ(boxes.Shown, QStringList{cleanerSays});
    EXPECT_TRUE(HiveTexts(Prefix) == before) << "the value was touched";
    EXPECT_TRUE(QDir(Settings.FStartupUndoDir).entryList(QDir::Files).isEmpty());
}

}  // namespace

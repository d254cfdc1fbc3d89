// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry tools' deletes on a prefix made by wineboot, read back with Wine's reg and regedit.
#include "registry/Rekisteri.h"

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
#include <QTest>

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

    std::shared_ptr<TWinePrefix> Pc, Previous;
    TSettings Settings;
    TBatchState Batch;
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
    window.show();
    QTest::mouseClick(window.Button("btnFind"), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !window.Scanning(); }));
    ASSERT_EQ(window.Records().size(), 3);
    QTest::mouseClick(window.Button("btnDeleteAll"), Qt::LeftButton);

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

}  // namespace

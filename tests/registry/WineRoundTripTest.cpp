// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the hives, the cleaner and its undo file against Wine itself: a wineboot prefix, reg add, regedit /S.
#include "platform/HiveFile.h"
#include "platform/WinePrefix.h"
#include "registry/LisaaPoistaThds.h"
#include "registry/UndoManager.h"
#include "support/HiveCompare.h"
#include "support/WinePrefixTest.h"
#include "support/WineTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace TestSupport;

class WineRoundTripTest : public TWinePrefixTest
{
protected:
    void RegAdd(const QList<QStringList> &commands)
    {
        QByteArray out;
        ASSERT_TRUE(Reg(Prefix, commands, &out)) << out.toStdString();
    }

};

TEST_F(WineRoundTripTest, WinebootHivesLoadAndSaveByteForByte)
{
    for (const char *name : HiveNames) {
        SCOPED_TRACE(name);
        const QString path = QDir(TWinebootPrefix::Shared().Folder()).filePath(QString::fromLatin1(name));
        const QByteArray original = ReadFileBytes(path);
        ASSERT_FALSE(original.isEmpty());
        const QString copy = Dir.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(QFile::copy(path, copy));
        THiveFile hive(copy, QStringLiteral("\\Machine"));
        QString error;
        ASSERT_TRUE(hive.Load(&error)) << error.toStdString();
        EXPECT_TRUE(hive.IsWritable());
        EXPECT_FALSE(hive.Root()->Children.empty());
        EXPECT_EQ(hive.Arch(), "win64");
        ASSERT_TRUE(hive.Save(&error)) << error.toStdString();
        EXPECT_TRUE(ReadFileBytes(copy) == original) << "the saved file differs from what Wine wrote";
    }
    THiveFile system(QDir(Prefix).filePath(QStringLiteral("system.reg")), QStringLiteral("\\Machine"));
    ASSERT_TRUE(system.Load());
    const THiveKey *key = system.Root();
    for (const char *part : {"Software", "Microsoft", "Windows NT", "CurrentVersion"})
        ASSERT_NE(key = THiveFile::Child(key, QString::fromLatin1(part)), nullptr) << part;
    EXPECT_NE(THiveFile::FindValue(key, QStringLiteral("CurrentVersion")), nullptr);
}

TEST_F(WineRoundTripTest, CleanerDeletesOnlyStaleValuesAndRegeditPutsThemBack)
{
    const QString userKey = QStringLiteral("HKCU\\Software\\VaskimoRoundTrip");
    const QString machineKey = QStringLiteral("HKLM\\Software\\VaskimoRoundTrip");
    struct TStale {
        const char *Row;
        QString Key, Name, Type, Data;
    };
    const TStale stale[] = {
        {"plain string naming a missing file", userKey, "Plain", "REG_SZ", "C:\\VkGone\\plain.exe"},
        {"name with backslashes", userKey, "C:\\VkGone\\Back\\slash.dll", "REG_SZ", "x"},
        {"expandable string", userKey, "Expand", "REG_EXPAND_SZ", "C:\\VkGone\\%VkVar%.dll"},
        {"data with quotes", userKey, "Quoted", "REG_SZ", "C:\\VkGone\\say\"hi\".exe"},
        {"name with a quote, in the machine hive", machineKey, "C:\\VkGone\\it\"s.dll", "REG_SZ", "1"},
        {"value of the user hive's root key", "HKCU", "VkRootStale", "REG_SZ", "C:\\VkGone\\root.exe"},
    };
    QList<QStringList> adds;
    for (const TStale &s : stale)
        adds.append({"add", s.Key, "/v", s.Name, "/t", s.Type, "/d", s.Data, "/f"});
    adds.append({"add", userKey, "/v", "Kept", "/t", "REG_SZ", "/d", "C:\\windows", "/f"});
    ASSERT_NO_FATAL_FAILURE(RegAdd(adds));
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);
    const TPrefixValues valuesBefore = ValuesOf(Prefix);
    auto staleId = [](const TStale &s) {
        return QString::fromLatin1(s.Key.startsWith(QStringLiteral("HKCU")) ? "user.reg" : "system.reg") + u'|'
               + FoldName(s.Key.mid(5)) + u'|' + s.Name;
    };
    for (const TStale &s : stale) {
        SCOPED_TRACE(s.Row);
        // What reg add stored is what the row means.
        ASSERT_TRUE(valuesBefore.contains(staleId(s)));
        EXPECT_EQ(valuesBefore.value(staleId(s)).Type, s.Type == QStringLiteral("REG_SZ") ? 1u : 2u);
        EXPECT_EQ(valuesBefore.value(staleId(s)).Bytes, HiveText::Utf16(s.Data, true));
    }

    // The program itself, a copy beside which its Options.ini, log and Undo folder land.
    TProgramCopy program(QStringLiteral(VASKIMO_EXE), QStringLiteral(VASKIMO_BLACKLIST));
    QByteArray out;
    ASSERT_TRUE(program.Run({QStringLiteral("-delreg"), QStringLiteral("-exit")}, Prefix, &out)) << out.toStdString();
    const QByteArray log = program.Log();
    EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.toStdString();

    // Only removed value lines and the time lines of their keys differ.
    const QHash<QString, QByteArray> after = HiveTexts(Prefix);
    int removedLines = 0;
    for (const char *name : HiveNames) {
        SCOPED_TRACE(name);
        TTextChange change;
        std::string why;
        EXPECT_TRUE(OnlyValuesChanged(before.value(QString::fromLatin1(name)), after.value(QString::fromLatin1(name)), &change, &why))
            << why;
        EXPECT_TRUE(change.Added.isEmpty());
        const QList<QByteArray> removedKeys = change.Removed.keys();
        EXPECT_EQ(QSet<QByteArray>(removedKeys.begin(), removedKeys.end()), change.Timed);
        for (const QList<QByteArray> &lines : std::as_const(change.Removed))
            removedLines += int(lines.size());
    }
    const TPrefixValues valuesAfter = ValuesOf(Prefix);
    TPrefixValues deleted;
    for (auto it = valuesBefore.cbegin(); it != valuesBefore.cend(); ++it) {
        if (!valuesAfter.contains(it.key()))
            deleted.insert(it.key(), it.value());
        else
            EXPECT_TRUE(valuesAfter.value(it.key()) == it.value()) << it.key().toStdString();
    }
    EXPECT_EQ(valuesAfter.size() + deleted.size(), valuesBefore.size());
    EXPECT_EQ(removedLines, deleted.size());
    for (const TStale &s : stale)
        EXPECT_TRUE(deleted.contains(staleId(s))) << s.Row;
    EXPECT_TRUE(valuesAfter.contains(QStringLiteral("user.reg|") + FoldName(userKey.mid(5)) + QStringLiteral("|Kept")));

    // The undo manager reads every deleted value from the file, by its exact name, as missing; it then
    // saves the file in its rebuilt form, and that form is the one regedit gets.
    const QString undo = program.FilePath(QStringLiteral("Undo/VKUndo01.reg"));
    ASSERT_TRUE(QFileInfo::exists(undo)) << log.toStdString();
    const UndoManager::TLoadResult read =
        UndoManager::LoadFile(undo, TUndoNodeKind::RegFile, std::make_shared<TWinePrefix>(Prefix));
    ASSERT_TRUE(read.Read);
    QSet<QString> listed;
    for (const TUndoEntry &e : read.Entries) {
        SCOPED_TRACE((e.Root + u'\\' + e.Key + u'|' + e.ValueName).toStdString());
        QString hive = QStringLiteral("system.reg"), key = e.Key;
        if (e.Root == QStringLiteral("HKEY_CURRENT_USER")) {
            hive = QStringLiteral("user.reg");
        } else if (e.Root == QStringLiteral("HKEY_USERS")) {
            hive = key.startsWith(QStringLiteral(".Default\\"), Qt::CaseInsensitive) ? QStringLiteral("userdef.reg")
                                                                                      : QStringLiteral("user.reg");
            key = key.mid(key.indexOf(u'\\') + 1);
        }
        const QString id = hive + u'|' + FoldName(key) + u'|' + e.ValueName;
        ASSERT_TRUE(deleted.contains(id));
        EXPECT_EQ(e.State, 4);
        if (e.Type == TRegDataType::String || e.Type == TRegDataType::ExpandString) {
            EXPECT_EQ(HiveText::Utf16(e.Data, true), deleted.value(id).Bytes);
        }
        listed.insert(id);
    }
    const QList<QString> deletedIds = deleted.keys();
    EXPECT_EQ(listed, QSet<QString>(deletedIds.begin(), deletedIds.end()));

    // Wine's own registry editor reads the undo file back; every deleted value returns as it was.
    ASSERT_TRUE(RegeditImport(Prefix, undo, &out)) << out.toStdString();
    EXPECT_FALSE(out.contains("regedit:")) << out.toStdString();
    const TPrefixValues restored = ValuesOf(Prefix);
    for (auto it = deleted.cbegin(); it != deleted.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        ASSERT_TRUE(restored.contains(it.key()));
        EXPECT_EQ(restored.value(it.key()).Type, it.value().Type);
        EXPECT_EQ(restored.value(it.key()).Bytes, it.value().Bytes);
    }

    // And Wine itself knows the names as they were.
    ASSERT_TRUE(Reg(Prefix, {{QStringLiteral("query"), userKey}}, &out)) << out.toStdString();
    for (const char *line : {"    C:\\VkGone\\Back\\slash.dll    REG_SZ    x", "    Quoted    REG_SZ    C:\\VkGone\\say\"hi\".exe",
                             "    Expand    REG_EXPAND_SZ    C:\\VkGone\\%VkVar%.dll"})
        EXPECT_TRUE(out.contains(line)) << line << "\n" << out.toStdString();
}

TEST_F(WineRoundTripTest, ExportedKeyWithLongHexValuesComesBackThroughRegedit)
{
    const QString keyPath = QStringLiteral("Software\\VaskimoLongHex");
    const QString key = QStringLiteral("HKLM\\") + keyPath;
    QString sixty;
    for (int i = 0; i < 60; ++i)
        sixty += QStringLiteral("%1").arg((i * 37 + 5) & 0xFF, 2, 16, QChar(u'0'));
    struct TRow {
        const char *Row;
        QString Name, Type, Data;
    };
    const TRow rows[] = {
        {"60-byte binary: broken after the bytes 25 and 50", "Blob", "REG_BINARY", sixty},
        {"27-byte binary: one break", "Short", "REG_BINARY", sixty.left(54)},
        {"26-byte binary: no break", "Edge", "REG_BINARY", sixty.left(52)},
        {"long expandable string: one hex(2) line", "Expand", "REG_EXPAND_SZ", "%SystemRoot%\\A folder name well over 26 bytes\\x.dll"},
        {"long multi-string: one hex(7) line", "Multi", "REG_MULTI_SZ", "first item of the list\\0second item, also long"},
    };
    QList<QStringList> adds;
    for (const TRow &r : rows)
        adds.append({"add", key, "/v", r.Name, "/t", r.Type, "/d", r.Data, "/f"});
    ASSERT_NO_FATAL_FAILURE(RegAdd(adds));
    const QString id = QStringLiteral("system.reg|") + FoldName(keyPath) + u'|';
    const TPrefixValues before = ValuesOf(Prefix);
    for (const TRow &r : rows)
        ASSERT_TRUE(before.contains(id + r.Name)) << r.Row;
    EXPECT_EQ(before.value(id + QStringLiteral("Blob")).Bytes, QByteArray::fromHex(sixty.toLatin1()));

    QStringList lines{QStringLiteral("REGEDIT4"), QString()};
    QString error;
    ASSERT_TRUE(AddRemove::ExportKeyText(TRootKey::LocalMachine, keyPath, &lines, &error, std::make_shared<TWinePrefix>(Prefix))) << error.toStdString();
    const QString undo = Dir.filePath(QStringLiteral("LongHex.reg"));
    ASSERT_TRUE(UndoFiles::SaveUndoText(undo, lines, &error)) << error.toStdString();
    auto deleteKey = [&] {
        ASSERT_NO_FATAL_FAILURE(RegAdd({{"delete", key, "/f"}}));
        for (const TRow &r : rows)
            ASSERT_FALSE(ValuesOf(Prefix).contains(id + r.Name)) << r.Row;
    };
    // regedit imports the file; every value returns as it was.
    auto importBack = [&](const QString &file) {
        QByteArray out;
        ASSERT_TRUE(RegeditImport(Prefix, file, &out)) << out.toStdString();
        const TPrefixValues restored = ValuesOf(Prefix);
        for (const TRow &r : rows) {
            SCOPED_TRACE(r.Row);
            ASSERT_TRUE(restored.contains(id + r.Name)) << ReadFileBytes(file).toStdString();
            EXPECT_TRUE(restored.value(id + r.Name) == before.value(id + r.Name));
        }
    };
    ASSERT_NO_FATAL_FAILURE(deleteKey());
    ASSERT_NO_FATAL_FAILURE(importBack(undo));

    // The undo manager reads the same file as equal to what regedit put back.
    const UndoManager::TLoadResult read = UndoManager::LoadFile(undo, TUndoNodeKind::RegFile, std::make_shared<TWinePrefix>(Prefix));
    ASSERT_TRUE(read.Read);
    ASSERT_EQ(read.Entries.size(), std::size(rows));
    for (const TUndoEntry &e : read.Entries)
        EXPECT_EQ(e.State, 2) << e.ValueName.toStdString();

    // A file of an earlier version, its marks inside the lines: viewed in the undo manager, it is
    // rewritten in the form regedit takes.
    QStringList oneLine;
    for (const QString &line : std::as_const(lines))
        oneLine.append(QString(line).replace(QStringLiteral("\\\r\n  "), QStringLiteral("\\")));
    const QString earlier = Dir.filePath(QStringLiteral("Earlier.reg"));
    ASSERT_TRUE(UndoFiles::SaveUndoText(earlier, oneLine, &error)) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(deleteKey());
    const UndoManager::TLoadResult viewed = UndoManager::LoadFile(earlier, TUndoNodeKind::RegFile, std::make_shared<TWinePrefix>(Prefix));
    EXPECT_TRUE(viewed.Rewritten);
    ASSERT_EQ(viewed.Entries.size(), std::size(rows));
    for (const TUndoEntry &e : viewed.Entries)
        EXPECT_EQ(e.State, 4) << e.ValueName.toStdString();
    ASSERT_NO_FATAL_FAILURE(importBack(earlier));
}

// A number written in its long form (hex(4), as some exports give it) goes back through the undo
// manager as the number Wine reads, and the file then reads as restored, as after regedit's import.
TEST_F(WineRoundTripTest, NumberInHexFormRestoresAndReadsBackAsRestored)
{
    const QString key = QStringLiteral("HKLM\\Software\\VaskimoHex4");
    const QString undo = Dir.filePath(QStringLiteral("Hex4.reg"));
    QString error;
    ASSERT_TRUE(UndoFiles::SaveUndoText(undo,
                                        {QStringLiteral("REGEDIT4"), QString(),
                                         QStringLiteral("[HKEY_LOCAL_MACHINE\\Software\\VaskimoHex4]"),
                                         QStringLiteral("\"Long\"=hex(4):2a,00,00,00"), QString()},
                                        &error))
        << error.toStdString();
    const auto pc = std::make_shared<TWinePrefix>(Prefix);
    const auto stateOfTheFile = [&] {
        const UndoManager::TLoadResult read = UndoManager::LoadFile(undo, TUndoNodeKind::RegFile, pc);
        EXPECT_TRUE(read.Read);
        return read.Entries.size() == 1 ? read.Entries[0].State : -1;
    };
    const auto wineReads = [&] {
        QByteArray out;
        EXPECT_TRUE(Reg(Prefix, {{QStringLiteral("query"), key}}, &out)) << out.toStdString();
        return out.contains("    Long    REG_DWORD    0x2a\r\n");
    };
    EXPECT_EQ(stateOfTheFile(), 4);

    const UndoManager::TLoadResult read = UndoManager::LoadFile(undo, TUndoNodeKind::RegFile, pc);
    ASSERT_EQ(read.Entries.size(), 1);
    ASSERT_TRUE(UndoManager::RestoreEntry(read.Entries[0], pc, {}, &error)) << error.toStdString();
    EXPECT_EQ(stateOfTheFile(), 2);
    EXPECT_TRUE(wineReads());

    ASSERT_NO_FATAL_FAILURE(RegAdd({{"delete", key, "/f"}}));
    EXPECT_EQ(stateOfTheFile(), 4);
    QByteArray out;
    ASSERT_TRUE(RegeditImport(Prefix, undo, &out)) << out.toStdString();
    EXPECT_TRUE(wineReads());
    EXPECT_EQ(stateOfTheFile(), 2);
}

}  // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the hives, the cleaner and its undo file against Wine itself: a wineboot prefix, reg add, regedit /S.
#include "platform/HiveFile.h"
#include "platform/WinePrefix.h"
#include "registry/LisaaPoistaThds.h"
#include "registry/UndoManager.h"
#include "support/RunProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

namespace {

const QString WineDir = QStringLiteral("/usr/lib/wine");
// Debian's "wine" wrapper wants the 32-bit loader; the 64-bit one runs on its own.
const QString Wine64 = WineDir + QStringLiteral("/wine64");
const QString WineServer = WineDir + QStringLiteral("/wineserver");
const char *const HiveNames[] = {"system.reg", "user.reg", "userdef.reg"};

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One value as a hive holds it.
struct TStored {
    quint32 Type = 0;
    QByteArray Bytes;
    bool operator==(const TStored &o) const { return Type == o.Type && Bytes == o.Bytes; }
};
// "hive|KEY PATH (folded)|name" -> the value.
using TValues = QHash<QString, TStored>;

void Collect(const THiveFile &hive, const THiveKey *key, const QString &path, const QString &prefix, TValues *values)
{
    for (const THiveValue &v : key->Values)
        values->insert(prefix + u'|' + FoldName(path) + u'|' + v.Name, {v.Type, hive.ValueBytes(v)});
    for (const THiveKey *child : key->Children)
        Collect(hive, child, path.isEmpty() ? child->Name : path + u'\\' + child->Name, prefix, values);
}

TValues ValuesOf(const QString &folder)
{
    TValues values;
    for (const char *name : HiveNames) {
        THiveFile hive(QDir(folder).filePath(QString::fromLatin1(name)), QStringLiteral("\\Machine"));
        QString error;
        EXPECT_TRUE(hive.Load(&error)) << name << ": " << error.toStdString();
        Collect(hive, hive.Root(), QString(), QString::fromLatin1(name), &values);
    }
    return values;
}

// A hive's text in pieces: key lines, "#time=" lines, values (with their continuation lines), the rest.
struct TPiece {
    enum TKind { Key, Time, Value, Other } Kind = Other;
    QByteArray Text;
    QByteArray KeyName;  // the key the piece belongs to: its key line up to the closing "]"
};

QList<TPiece> Pieces(const QByteArray &text)
{
    QList<TPiece> pieces;
    QByteArray key;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        TPiece p;
        p.Text = lines.at(i);
        if (p.Text.startsWith('[')) {
            key = p.Text.left(p.Text.lastIndexOf(']') + 1);
            p.Kind = TPiece::Key;
        } else if (p.Text.startsWith("#time=")) {
            p.Kind = TPiece::Time;
        } else if (p.Text.startsWith('"') || p.Text.startsWith('@')) {
            p.Kind = TPiece::Value;
            while (p.Text.endsWith('\\') && i + 1 < lines.size() && lines.at(i + 1).startsWith("  "))
                p.Text += '\n' + lines.at(++i);
        }
        p.KeyName = key;
        pieces.append(p);
    }
    return pieces;
}

// What removing values changed in one hive's text: the removed value pieces per key and the keys whose
// time lines changed. False (with the reason) when anything else differs.
struct TTextChange {
    QHash<QByteArray, QList<QByteArray>> Removed;
    QSet<QByteArray> Timed;
};

bool OnlyValuesRemoved(const QByteArray &before, const QByteArray &after, TTextChange *change, std::string *why)
{
    const QList<TPiece> b = Pieces(before), a = Pieces(after);
    qsizetype i = 0, j = 0;
    while (i < b.size()) {
        if (j < a.size() && b[i].Text == a[j].Text) {
            ++i, ++j;
        } else if (j < a.size() && b[i].Kind == a[j].Kind && (b[i].Kind == TPiece::Key || b[i].Kind == TPiece::Time)
                   && b[i].KeyName == a[j].KeyName) {
            change->Timed.insert(b[i].KeyName);
            ++i, ++j;
        } else if (b[i].Kind == TPiece::Value) {
            change->Removed[b[i].KeyName].append(b[i].Text);
            ++i;
        } else {
            *why = "unexpected change near \"" + b[i].Text.toStdString() + "\" -> \""
                   + (j < a.size() ? a[j].Text.toStdString() : std::string("<end>")) + "\"";
            return false;
        }
    }
    if (j < a.size()) {
        *why = "lines added at the end: \"" + a[j].Text.toStdString() + "\"";
        return false;
    }
    return true;
}

class WineRoundTripTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (!QFileInfo(Wine64).isExecutable()) {
            Skip = QStringLiteral("Wine is not installed (no %1): nothing to run the real registry editor with").arg(Wine64);
            return;
        }
        Dir = std::make_unique<QTemporaryDir>();
        Prefix = Dir->filePath(QStringLiteral("prefix"));
        QByteArray out;
        if (!Run(Wine64, {QStringLiteral("wineboot"), QStringLiteral("-i")}, &out, 60000)
            || !Run(WineServer, {QStringLiteral("-w")}, &out, 60000)) {
            Broken = "wineboot did not make a prefix: " + out.toStdString();
            return;
        }
        QDir().mkpath(Dir->filePath(QStringLiteral("fresh")));
        for (const char *name : HiveNames)
            if (!QFile::copy(QDir(Prefix).filePath(QString::fromLatin1(name)), Dir->filePath(QStringLiteral("fresh/") + name)))
                Broken = std::string("wineboot wrote no ") + name;
    }

    static void TearDownTestSuite()
    {
        if (Dir) {
            QByteArray out;
            Run(WineServer, {QStringLiteral("-k")}, &out, 20000);
            Run(WineServer, {QStringLiteral("-w")}, &out, 20000);
        }
        Dir.reset();
    }

    void SetUp() override
    {
        if (!Skip.isEmpty())
            GTEST_SKIP() << Skip.toStdString();
        ASSERT_TRUE(Broken.empty()) << Broken;
    }

    static QProcessEnvironment Environment()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("WINEPREFIX"), Prefix);
        env.insert(QStringLiteral("WINEARCH"), QStringLiteral("win64"));
        env.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        return env;
    }

    // Runs a program to its end; false when it does not start, does not end in time or fails.
    static bool Run(const QString &program, const QStringList &args, QByteArray *out, int timeoutMs,
                    const QProcessEnvironment &env = Environment())
    {
        return TestSupport::RunToEnd(program, args, env, timeoutMs, out);
    }

    static void Reg(const QStringList &args)
    {
        QByteArray out;
        ASSERT_TRUE(Run(Wine64, QStringList{QStringLiteral("reg")} + args, &out, 30000)) << args.join(u' ').toStdString()
                                                                                          << ": " << out.toStdString();
    }

    static void WaitForWineserver()
    {
        QByteArray out;
        ASSERT_TRUE(Run(WineServer, {QStringLiteral("-w")}, &out, 30000)) << out.toStdString();
    }

    static QHash<QString, QByteArray> Hives()
    {
        QHash<QString, QByteArray> hives;
        for (const char *name : HiveNames)
            hives.insert(QString::fromLatin1(name), ReadAll(QDir(Prefix).filePath(QString::fromLatin1(name))));
        return hives;
    }

    static inline QString Skip;
    static inline std::string Broken;
    static inline std::unique_ptr<QTemporaryDir> Dir;
    static inline QString Prefix;
};

TEST_F(WineRoundTripTest, WinebootHivesLoadAndSaveByteForByte)
{
    for (const char *name : HiveNames) {
        SCOPED_TRACE(name);
        const QString path = Dir->filePath(QStringLiteral("fresh/") + name);
        const QByteArray original = ReadAll(path);
        ASSERT_FALSE(original.isEmpty());
        THiveFile hive(path, QStringLiteral("\\Machine"));
        QString error;
        ASSERT_TRUE(hive.Load(&error)) << error.toStdString();
        EXPECT_TRUE(hive.IsWritable());
        EXPECT_FALSE(hive.Root()->Children.empty());
        EXPECT_EQ(hive.Arch(), "win64");
        ASSERT_TRUE(hive.Save(&error)) << error.toStdString();
        EXPECT_TRUE(ReadAll(path) == original) << "the saved file differs from what Wine wrote";
    }
    THiveFile system(Dir->filePath(QStringLiteral("fresh/system.reg")), QStringLiteral("\\Machine"));
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
    };
    for (const TStale &s : stale)
        ASSERT_NO_FATAL_FAILURE(Reg({"add", s.Key, "/v", s.Name, "/t", s.Type, "/d", s.Data, "/f"})) << s.Row;
    ASSERT_NO_FATAL_FAILURE(Reg({"add", userKey, "/v", "Kept", "/t", "REG_SZ", "/d", "C:\\windows", "/f"}));
    ASSERT_NO_FATAL_FAILURE(WaitForWineserver());
    const QHash<QString, QByteArray> before = Hives();
    const TValues valuesBefore = ValuesOf(Prefix);
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
    const QString program = Dir->filePath(QStringLiteral("program"));
    QDir().mkpath(program + QStringLiteral("/run"));
    chmod(QFile::encodeName(program + QStringLiteral("/run")).constData(), 0700);
    const QString exe = program + QStringLiteral("/vaskimo");
    ASSERT_TRUE(QFile::copy(QStringLiteral(VASKIMO_EXE), exe));
    QFile::setPermissions(exe, QFile::permissions(exe) | QFileDevice::ExeOwner);
    QProcessEnvironment env = Environment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), program + QStringLiteral("/run"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QByteArray out;
    ASSERT_TRUE(Run(exe, {QStringLiteral("-delreg"), QStringLiteral("-exit")}, &out, 60000, env)) << out.toStdString();
    const QByteArray log = ReadAll(program + QStringLiteral("/Vaskimo.log"));
    EXPECT_TRUE(log.endsWith("All done exiting!\r\n")) << log.toStdString();

    // Only removed value lines and the time lines of their keys differ.
    const QHash<QString, QByteArray> after = Hives();
    int removedLines = 0;
    for (const char *name : HiveNames) {
        SCOPED_TRACE(name);
        TTextChange change;
        std::string why;
        EXPECT_TRUE(OnlyValuesRemoved(before.value(QString::fromLatin1(name)), after.value(QString::fromLatin1(name)), &change, &why))
            << why;
        const QList<QByteArray> removedKeys = change.Removed.keys();
        EXPECT_EQ(QSet<QByteArray>(removedKeys.begin(), removedKeys.end()), change.Timed);
        for (const QList<QByteArray> &lines : std::as_const(change.Removed))
            removedLines += int(lines.size());
    }
    const TValues valuesAfter = ValuesOf(Prefix);
    TValues deleted;
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
    const QString undo = program + QStringLiteral("/Undo/VKUndo01.reg");
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
    ASSERT_TRUE(Run(Wine64, {QStringLiteral("regedit"), QStringLiteral("/S"), QStringLiteral("Z:") + QString(undo).replace(u'/', u'\\')},
                    &out, 30000))
        << out.toStdString();
    EXPECT_FALSE(out.contains("regedit:")) << out.toStdString();
    ASSERT_NO_FATAL_FAILURE(WaitForWineserver());
    const TValues restored = ValuesOf(Prefix);
    for (auto it = deleted.cbegin(); it != deleted.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        ASSERT_TRUE(restored.contains(it.key()));
        EXPECT_EQ(restored.value(it.key()).Type, it.value().Type);
        EXPECT_EQ(restored.value(it.key()).Bytes, it.value().Bytes);
    }

    // And Wine itself knows the names as they were.
    ASSERT_TRUE(Run(Wine64, {QStringLiteral("reg"), QStringLiteral("query"), userKey}, &out, 30000)) << out.toStdString();
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
    for (const TRow &r : rows)
        ASSERT_NO_FATAL_FAILURE(Reg({"add", key, "/v", r.Name, "/t", r.Type, "/d", r.Data, "/f"})) << r.Row;
    ASSERT_NO_FATAL_FAILURE(WaitForWineserver());
    const QString id = QStringLiteral("system.reg|") + FoldName(keyPath) + u'|';
    const TValues before = ValuesOf(Prefix);
    for (const TRow &r : rows)
        ASSERT_TRUE(before.contains(id + r.Name)) << r.Row;
    EXPECT_EQ(before.value(id + QStringLiteral("Blob")).Bytes, QByteArray::fromHex(sixty.toLatin1()));

    QStringList lines{QStringLiteral("REGEDIT4"), QString()};
    QString error;
    ASSERT_TRUE(AddRemove::ExportKeyText(keyPath, &lines, &error, std::make_shared<TWinePrefix>(Prefix))) << error.toStdString();
    const QString undo = Dir->filePath(QStringLiteral("LongHex.reg"));
    ASSERT_TRUE(UndoFiles::SaveUndoText(undo, lines, &error)) << error.toStdString();
    auto deleteKey = [&] {
        ASSERT_NO_FATAL_FAILURE(Reg({"delete", key, "/f"}));
        ASSERT_NO_FATAL_FAILURE(WaitForWineserver());
        for (const TRow &r : rows)
            ASSERT_FALSE(ValuesOf(Prefix).contains(id + r.Name)) << r.Row;
    };
    // regedit imports the file; every value returns as it was.
    auto importBack = [&](const QString &file) {
        QByteArray out;
        ASSERT_TRUE(Run(Wine64, {QStringLiteral("regedit"), QStringLiteral("/S"), QStringLiteral("Z:") + QString(file).replace(u'/', u'\\')},
                        &out, 30000))
            << out.toStdString();
        ASSERT_NO_FATAL_FAILURE(WaitForWineserver());
        const TValues restored = ValuesOf(Prefix);
        for (const TRow &r : rows) {
            SCOPED_TRACE(r.Row);
            ASSERT_TRUE(restored.contains(id + r.Name)) << ReadAll(file).toStdString();
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
    const QString earlier = Dir->filePath(QStringLiteral("Earlier.reg"));
    ASSERT_TRUE(UndoFiles::SaveUndoText(earlier, oneLine, &error)) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(deleteKey());
    const UndoManager::TLoadResult viewed = UndoManager::LoadFile(earlier, TUndoNodeKind::RegFile, std::make_shared<TWinePrefix>(Prefix));
    EXPECT_TRUE(viewed.Rewritten);
    ASSERT_EQ(viewed.Entries.size(), std::size(rows));
    for (const TUndoEntry &e : viewed.Entries)
        EXPECT_EQ(e.State, 4) << e.ValueName.toStdString();
    ASSERT_NO_FATAL_FAILURE(importBack(earlier));
}

}  // namespace

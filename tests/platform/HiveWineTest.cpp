// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the hive reader against Wine's own loader: every hive of the fuzz corpus reads as
// `reg query` reads it, and a save of a damaged hive changes only what was changed.
#include "platform/HiveFile.h"
#include "support/WinePrefixTest.h"
#include "support/WineTools.h"

#include <QDir>
#include <QFile>
#include <QMap>

#include <algorithm>

#include <gtest/gtest.h>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using namespace TestSupport;

// Key path -> "name    TYPE    data" of each value, sorted; keys without values are left out.
using TListing = QMap<QString, QStringList>;

// The types reg names and prints; any other type is "(null)" there, and only its name is compared.
QString TypeName(quint32 type)
{
    switch (type) {
    case 0: return QStringLiteral("REG_NONE");
    case 1: return QStringLiteral("REG_SZ");
    case 2: return QStringLiteral("REG_EXPAND_SZ");
    case 3: return QStringLiteral("REG_BINARY");
    case 4: return QStringLiteral("REG_DWORD");
    }
    return {};
}

// A value as reg query prints it, from this program's reading of it.
QString RegLine(const THiveFile &hive, const THiveValue &v)
{
    const QString name = v.Name.isEmpty() ? QStringLiteral("(Default)") : v.Name;
    const QString type = TypeName(v.Type);
    if (type.isEmpty())
        return name;
    const QByteArray bytes = hive.ValueBytes(v);
    QString data;
    if (v.Type == 1 || v.Type == 2) {
        for (int i = 0; i + 1 < bytes.size(); i += 2) {
            const QChar c(ushort(uchar(bytes[i]) | uchar(bytes[i + 1]) << 8));
            if (c.isNull())
                break;
            data += c;
        }
    } else if (v.Type == 4 && bytes.size() == 4) {
        data = QStringLiteral("0x") + QString::number(uchar(bytes[0]) | uchar(bytes[1]) << 8 | uchar(bytes[2]) << 16
                                                          | quint32(uchar(bytes[3])) << 24, 16);
    } else {
        data = QString::fromLatin1(bytes.toHex().toUpper());
    }
    return (name + QStringLiteral("    ") + type + QStringLiteral("    ") + data).trimmed();
}

// reg prints text in the console's code page: what lies beyond ASCII is compared by its place only.
QString Comparable(const QString &line)
{
    const auto beyond = std::find_if(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() > 0x7E; });
    return beyond == line.cend() ? line : line.left(beyond - line.cbegin()) + QStringLiteral("...");
}

void Walk(const THiveFile &hive, const THiveKey *key, const QString &path, TListing &listing)
{
    QStringList lines;
    // reg reads a link key through its link: its own value is not listed.
    for (const THiveValue &v : key->Values)
        if (!key->IsLink)
            lines << Comparable(RegLine(hive, v));
    if (!lines.isEmpty()) {
        lines.sort();
        listing.insert(path.toUpper(), lines);
    }
    for (const THiveKey *child : key->Children)
        Walk(hive, child, path + u'\\' + child->Name, listing);
}

TListing OurReading(const QByteArray &text)
{
    THiveFile hive{QString(), QString()};
    EXPECT_TRUE(hive.LoadText(text));
    TListing listing;
    Walk(hive, hive.Root(), QStringLiteral("HKEY_CURRENT_USER"), listing);
    return listing;
}

// What `reg query HKCU /s` printed, with the names only of the values whose type it does not name.
TListing Parse(const QByteArray &output, const TListing &ours)
{
    TListing listing;
    QString key;
    for (const QString &raw : QString::fromUtf8(output).split(u'\n')) {
        const QString line = QString(raw).remove(u'\r');
        if (line.startsWith(QStringLiteral("HKEY_"))) {
            key = line.trimmed().toUpper();
        } else if (line.startsWith(QStringLiteral("    ")) && !key.isEmpty()) {
            const QStringList parts = line.mid(4).split(QStringLiteral("    "));
            const QString typed = Comparable(line.trimmed());
            // Ours names the value alone when reg has no name for its type.
            listing[key] << (ours.value(key).contains(parts.value(0)) ? parts.value(0) : typed);
        }
    }
    for (QStringList &lines : listing)
        lines.sort();
    return listing;
}

const QByteArray EmptyHive = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n";

class HiveWineTest : public TWinePrefixTest
{
protected:
    // Wine's reading of text as the user's hive (which Wine then rewrites in its own form), less
    // what Wine puts into a user's hive of its own when it starts (its console and volatile
    // environment keys) and the hive does not hold.
    TListing WineReads(const QByteArray &text, const TListing &ours)
    {
        if (FWineOwn.isEmpty() && text != EmptyHive)
            FWineOwn = WineReads(EmptyHive, {});
        WriteUserHive(text);
        QByteArray out;
        EXPECT_TRUE(Reg(Prefix, {{QStringLiteral("query"), QStringLiteral("HKCU"), QStringLiteral("/s")}}, &out))
            << out.toStdString();
        EXPECT_TRUE(WaitForWineserver(Prefix));
        TListing listing = Parse(out, ours);
        for (auto it = listing.begin(); it != listing.end();) {
            if (FWineOwn.contains(it.key()) && !ours.contains(it.key()))
                it->clear();
            it->removeIf([&](const QString &line) {
                return FWineOwn.value(it.key()).contains(line) && !ours.value(it.key()).contains(line);
            });
            it = it->isEmpty() ? listing.erase(it) : std::next(it);
        }
        return listing;
    }
    void WriteUserHive(const QByteArray &text)
    {
        QFile file(UserHive());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(file.write(text), text.size());
    }
    QString UserHive() const { return QDir(Prefix).filePath(QStringLiteral("user.reg")); }

    TListing FWineOwn;
};

// Each corpus input is control bytes for the fuzz harness, then the hive.
constexpr int HarnessBytes = 13;

TEST_F(HiveWineTest, EveryCorpusHiveReadsAsWineReadsIt)
{
    const QDir corpus(QStringLiteral(VASKIMO_FIXTURES "/../fuzz/corpus/hive"));
    const QStringList names = corpus.entryList(QDir::Files, QDir::Name);
    ASSERT_FALSE(names.isEmpty());
    for (const QString &name : names) {
        SCOPED_TRACE(name.toStdString());
        QFile file(corpus.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll().mid(HarnessBytes);
        const TListing ours = OurReading(text);
        EXPECT_EQ(WineReads(text, ours), ours);
    }
}

// The damage of a real hive: hex data that asks for the next line where a value, a key and the
// file's end stand, and a key written twice. A value deleted in each, one added where the file
// ends, then a new key after the last: Wine reads every other value as it read it before the save.
TEST_F(HiveWineTest, ASaveOfADamagedHiveChangesOnlyWhatWasChanged)
{
    const QByteArray damaged = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n"
                               "[Software\\\\Damaged\\\\A] 1700000000\n"
                               "\"Bad\"=hex:01,\\\n"
                               "\"Path\"=\"C:\\\\nope\\\\deadbeef.dll\"\n"
                               "\"Stale\"=\"C:\\\\nope\\\\gone.dll\"\n"
                               "\"Cut\"=hex:02,\\\n"
                               "\n"
                               "[Software\\\\Damaged\\\\B] 1700000000\n"
                               "\"Swallows\"=hex:03,\\\n"
                               "[Software\\\\Damaged\\\\C] 1700000000\n"
                               "\"w\"=dword:00000001\n"
                               "\n"
                               "[Software\\\\Damaged\\\\F] 1700000000\n"
                               "\"Keep\"=\"1\"\n"
                               "\"Twice\"=\"first\"\n"
                               "\n"
                               "[Software\\\\Damaged\\\\G] 1700000000\n"
                               "\"g\"=\"1\"\n"
                               "\n"
                               "[Software\\\\Damaged\\\\F] 1700000000\n"
                               "\"Twice\"=\"second\"\n"
                               "\n"
                               "[Software\\\\Damaged\\\\D] 1700000000\n"
                               "\"End\"=hex:04,\\\n";
    const TListing before = WineReads(damaged, OurReading(damaged));
    // As Wine read it: "Path" was part of "Bad", the key line of C part of "Swallows".
    const QString a = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\DAMAGED\\A");
    const QString b = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\DAMAGED\\B");
    const QString d = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\DAMAGED\\D");
    EXPECT_EQ(before.value(a), QStringList({"Bad    REG_NONE", "Cut    REG_BINARY    02", "Stale    REG_SZ    C:\\nope\\gone.dll"}));
    EXPECT_EQ(before.value(b), QStringList({"Swallows    REG_NONE", "w    REG_DWORD    0x1"}));
    EXPECT_EQ(before.value(d), QStringList({"End    REG_NONE"}));
    const QString f = QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\DAMAGED\\F");
    EXPECT_EQ(before.value(f), QStringList({"Keep    REG_SZ    1", "Twice    REG_SZ    second"}));
    EXPECT_EQ(OurReading(damaged), before);

    ASSERT_NO_FATAL_FAILURE(WriteUserHive(damaged));
    THiveFile hive(UserHive(), QString());
    ASSERT_TRUE(hive.Load());
    THiveKey *damagedKey = THiveFile::Child(THiveFile::Child(hive.Root(), QStringLiteral("Software")), QStringLiteral("Damaged"));
    ASSERT_NE(damagedKey, nullptr);
    THiveKey *keyA = THiveFile::Child(damagedKey, QStringLiteral("A"));
    THiveKey *keyD = THiveFile::Child(damagedKey, QStringLiteral("D"));
    ASSERT_NE(keyA, nullptr);
    ASSERT_NE(keyD, nullptr);
    EXPECT_EQ(THiveFile::Child(damagedKey, QStringLiteral("C")), nullptr);
    EXPECT_EQ(THiveFile::FindValue(keyA, QStringLiteral("Path")), nullptr);
    ASSERT_TRUE(hive.DeleteValue(keyA, QStringLiteral("Stale")));
    ASSERT_TRUE(hive.DeleteValue(THiveFile::Child(damagedKey, QStringLiteral("F")), QStringLiteral("Twice")));
    hive.SetValue(keyD, QStringLiteral("New"), 4, QByteArray("\x07\0\0\0", 4));
    hive.SetValue(hive.CreateChild(damagedKey, QStringLiteral("E")), QStringLiteral("Later"), 1, HiveText::Utf16(QStringLiteral("z"), true));
    QString error;
    ASSERT_TRUE(hive.Save(&error)) << error.toStdString();
    QFile saved(UserHive());
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QByteArray savedText = saved.readAll();
    saved.close();

    TListing expected = before;
    expected[a].removeAll(QStringLiteral("Stale    REG_SZ    C:\\nope\\gone.dll"));
    expected[f] = QStringList({"Keep    REG_SZ    1"});
    expected[d] = QStringList({"End    REG_NONE", "New    REG_DWORD    0x7"});
    expected[QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\DAMAGED\\E")] = QStringList({"Later    REG_SZ    z"});
    const TListing ours = OurReading(savedText);
    EXPECT_EQ(ours, expected) << savedText.constData();
    EXPECT_EQ(WineReads(savedText, ours), expected) << savedText.constData();
}

}  // namespace

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: tests of the registry scanner: which values are reported, the split and the progress steps.
#include "registry/RekisteriThds.h"

#include "support/PrefixBuilder.h"

#include "platform/WinePrefix.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSet>

#include <gtest/gtest.h>

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

struct TFound {
    QString Root, Key, Name, Data;
    QDateTime Modified;
};

struct TScanResult {
    QList<TFound> Found;
    QList<int> Totals;
    int Ended = 0;
    int Started = 0;
};

// Runs one scanner (and the parts it splits off) to its end on a private owner.
TScanResult Scan(TRootKey root, const QString &path, int parts, const QStringList &skips,
                 const std::shared_ptr<TWinePrefix> &prefix)
{
    QObject owner;
    TScanResult result;
    TSortedStringList skipList;
    skipList.AddStrings(skips);
    std::function<void(TEtsiRekisteri *)> start;
    auto found = [&](const QString &r, const QString &k, const QDateTime &m, const QString &n, const QString &d) {
        result.Found.append({r, k, n, d, m});
    };
    auto total = [&](int t) { result.Totals.append(t); };
    auto progress = [&](int, int) {};
    start = [&](TEtsiRekisteri *worker) {
        ++result.Started;
        worker->SetOnTerminate([&](TSharedThd *) { ++result.Ended; });
        worker->Resume();
    };
    auto *first = new TEtsiRekisteri(&owner, skipList, found, progress, total, root, path, parts, 1,
                                     [&](TEtsiRekisteri *child) { start(child); }, prefix);
    start(first);
    QElapsedTimer timer;
    timer.start();
    while (result.Ended < result.Started && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_EQ(result.Ended, result.Started);
    return result;
}

TEST(RekisteriThds, TableOfValuesDecidesWhatIsReported)
{
    const struct {
        const char *name;
        QString valueName;
        QString data;
        bool expandable;
        bool reported;
    } cases[] = {
        {"missing file", "v", "C:\\Missing\\x.dll", false, true},
        {"file in other case", "v", "c:\\WINDOWS\\System32\\KERNEL32.DLL", false, false},
        {"folder in other case", "v", "C:\\Windows\\SYSTEM32", false, false},
        {"blank", "v", "C:\\Program Files\\Gone\\x.exe", false, false},
        {"comma", "v", "C:\\Gone\\app.exe,0", false, false},
        {"expandable missing", "v", "C:\\Gone\\x.dll", true, true},
        {"expandable with variable", "v", "%SystemRoot%\\gone.dll", true, false},
        {"name is missing path", "C:\\Missing\\y.dll", "hello", false, true},
        {"name missing and trimmed data exists", "C:\\Old\\x.dll", "C:\\Tools\\app.exe,0", false, false},
        {"name missing and trimmed data missing", "C:\\Old\\x.dll", "C:\\Gone2\\app.exe,0", false, true},
        {"missing folder", "v", "C:\\NoSuchFolder", false, true},
        {"existing folder with backslash", "v", "C:\\windows\\", false, false},
        {"trimmed extension exists", "v", "C:\\windows\\notepad.exe0x", false, false},
        {"trimmed extension missing", "v", "C:\\windows\\gone.exe0x", false, true},
        {"non-ASCII existing", "v", QString::fromUtf8("C:\\Caf\xc3\xa9\\\xc3\xbc.txt"), false, false},
        {"non-ASCII missing", "v", QString::fromUtf8("C:\\Caf\xc3\xa9\\gone.txt"), false, true},
        {"remote drive Z", "v", "Z:\\nonexistent\\x.dll", false, false},
        {"fixed drive D missing", "v", "D:\\gone.dll", false, true},
        {"UNC path", "v", "\\\\server\\share\\x.dll", false, false},
        {"drive-relative", "v", "D:x.dll", false, false},
        {"unresolved 8.3 name", "v", "C:\\PROGRA~1\\gone.exe", false, false},
        {"drive A", "v", "A:\\x.dll", false, false},
        {"skip entry in data", "v", "C:\\NORTON\\x.dll", false, false},
        {"default value missing", "", "C:\\Missing\\z.dll", false, true},
        {"too short", "v", "C:", false, false},
        {"existing file without extension", "v", "C:\\Tools\\make", false, false},
        {"missing file without extension", "v", "C:\\Tools\\gone", false, true},
    };
    TPrefixBuilder b;
    b.Link(u'd', b.Folder() + "/ddrive");
    b.AddFolder(b.Folder() + "/ddrive");
    b.AddFile("C:\\windows\\system32\\kernel32.dll");
    b.AddFile("C:\\Tools\\app.exe");
    b.AddFile("C:\\Tools\\make");
    b.AddFile("C:\\windows\\notepad.exe");
    b.AddFile(QString::fromUtf8("C:\\Caf\xc3\xa9\\\xc3\xbc.txt"));
    for (const auto &c : cases) {
        const QString key = QStringLiteral("Software\\Cases\\") + c.name;
        if (c.expandable)
            b.AddExpandString(THive::User, key, c.valueName, c.data);
        else
            b.AddString(THive::User, key, c.valueName, c.data);
    }
    b.AddString(THive::User, "Software\\Skipme\\Sub", "v", "C:\\Missing\\skipped.dll");
    b.AddDword(THive::User, "Software\\Cases\\dword", "C:\\Missing\\n.dll", 1);
    const auto prefix = b.MakeCurrent();

    const TScanResult result = Scan(TRootKey::CurrentUser, "\\", 1, {"Norton", "HKEY_CURRENT_USER\\Software\\Skipme"}, prefix);
    QSet<QString> reportedKeys;
    for (const TFound &f : result.Found) {
        EXPECT_EQ(f.Root, "HKEY_CURRENT_USER");
        reportedKeys.insert(f.Key);
    }
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reportedKeys.contains(QStringLiteral("Software\\Cases\\") + c.name), c.reported);
    }
    EXPECT_FALSE(reportedKeys.contains("Software\\Skipme\\Sub"));
    EXPECT_FALSE(reportedKeys.contains("Software\\Cases\\dword"));
    int expected = 0;
    for (const auto &c : cases)
        expected += c.reported ? 1 : 0;
    EXPECT_EQ(result.Found.size(), expected);
    EXPECT_EQ(expected, 10);
}

TEST(RekisteriThds, AKeyPathSkipsWholeKeyNamesAndAWordSkipsAnywhere)
{
    const struct {
        const char *text, *skip;
        bool matches;
    } cases[] = {
        {"hkey_current_user\\software\\wine", "hkey_current_user\\software\\wine", true},
        {"hkey_current_user\\software\\wine\\dllredirects", "hkey_current_user\\software\\wine", true},
        {"hkey_current_user\\software\\winecellar", "hkey_current_user\\software\\wine", false},
        {"hkey_current_user\\software\\winedt 10", "hkey_current_user\\software\\wine", false},
        {"hkey_current_user\\software\\winetricks\\software\\wine", "hkey_current_user\\software\\wine", false},
        {"hkey_users\\s-1-5-21\\software\\wine\\x", "software\\wine", true},
        {"hkey_users\\s-1-5-21\\mysoftware\\wine", "software\\wine", false},
        {"hkey_local_machine\\software\\winecellar\\wine", "software\\wine", false},
        {"hkey_local_machine\\software\\winecellar\\software\\wine", "software\\wine", true},
        {"c:\\tools\\wine\\x.exe", "\\wine\\", true},
        {"hkey_current_user\\software\\nortonutilities", "norton", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.skip);
        EXPECT_EQ(TEtsiRekisteri::SkipMatches(QString::fromLatin1(c.text), QString::fromLatin1(c.skip)), c.matches);
    }
}

TEST(RekisteriThds, ReportCarriesNameDataAndStoredTime)
{
    TPrefixBuilder b;
    b.AddString(THive::User, "Software\\A", "C:\\Old\\x.dll", "C:\\Gone\\y.dll");
    const auto prefix = b.MakeCurrent();
    const TScanResult result = Scan(TRootKey::CurrentUser, "\\", 1, {}, prefix);
    ASSERT_EQ(result.Found.size(), 1);
    EXPECT_EQ(result.Found[0].Key, "Software\\A");
    EXPECT_EQ(result.Found[0].Name, "C:\\Old\\x.dll");
    EXPECT_EQ(result.Found[0].Data, "C:\\Gone\\y.dll");
    EXPECT_TRUE(result.Found[0].Modified.isValid());
}

TEST(RekisteriThds, PartsOfNames)
{
    const QStringList nine = {"0", "1", "2", "3", "4", "5", "6", "7", "8"};
    EXPECT_EQ(TEtsiRekisteri::PartOfNames(nine, 2, 1), QStringList({"0", "1", "2", "3"}));  // Round(4.5) = 4
    EXPECT_EQ(TEtsiRekisteri::PartOfNames(nine, 2, 2), QStringList({"4", "5", "6", "7", "8"}));
    EXPECT_EQ(TEtsiRekisteri::PartOfNames({"a"}, 2, 1), QStringList({"a"}));
    const QStringList three = {"a", "b", "c"};
    EXPECT_EQ(TEtsiRekisteri::PartOfNames(three, 2, 1), QStringList({"a", "b"}));  // Round(1.5) = 2
    EXPECT_EQ(TEtsiRekisteri::PartOfNames(three, 2, 2), QStringList({"c"}));
}

TEST(RekisteriThds, LocalMachineSplitsInTwoAndStepsAddUpToTheTotal)
{
    TPrefixBuilder b;
    for (int i = 0; i < 9; ++i) {
        const QString top = QStringLiteral("Software\\Top%1").arg(i);
        for (int j = 0; j < i % 3; ++j)
            b.AddString(THive::System, top + QStringLiteral("\\Sub%1\\Deep").arg(j), "v", QStringLiteral("C:\\Gone%1%2\\x.dll").arg(i).arg(j));
        b.AddString(THive::System, top, "v", QStringLiteral("C:\\Gone%1\\x.dll").arg(i));
    }
    const auto prefix = b.MakeCurrent();

    QObject owner;
    TSortedStringList none;
    int ended = 0, started = 0, steps = 0;
    QList<int> totals;
    QList<TFound> found;
    QList<int> partsSeen;
    std::function<void(TEtsiRekisteri *)> start = [&](TEtsiRekisteri *w) {
        ++started;
        partsSeen.append(w->PartIndex());
        w->SetOnTerminate([&](TSharedThd *) { ++ended; });
        w->Resume();
    };
    auto *first = new TEtsiRekisteri(
        &owner, none,
        [&](const QString &r, const QString &k, const QDateTime &m, const QString &n, const QString &d) { found.append({r, k, n, d, m}); },
        [&](int, int) { ++steps; }, [&](int t) { totals.append(t); }, TRootKey::LocalMachine, "\\Software", 2, 1,
        [&](TEtsiRekisteri *child) { start(child); }, prefix);
    start(first);
    QElapsedTimer timer;
    timer.start();
    while ((ended < started) && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(ended, started);
    EXPECT_EQ(partsSeen, QList<int>({1, 2}));
    ASSERT_EQ(totals.size(), 1);  // only part 1 reports a total, for both parts
    EXPECT_EQ(steps, totals.at(0));
    int tops = 0;
    for (const TFound &f : found)
        if (f.Key.count(u'\\') == 1)
            ++tops;
    EXPECT_EQ(tops, 9);  // every top-level key scanned once, by one part or the other
    EXPECT_EQ(found.size(), 9 + 9);
}

TEST(RekisteriThds, MissingStartKeyEndsSilently)
{
    TPrefixBuilder b;
    const auto prefix = b.MakeCurrent();
    const TScanResult result = Scan(TRootKey::LocalMachine, "\\NoSuchKey", 2, {}, prefix);
    EXPECT_TRUE(result.Found.isEmpty());
    EXPECT_TRUE(result.Totals.isEmpty());
    EXPECT_EQ(result.Started, 1);
}

}  // namespace

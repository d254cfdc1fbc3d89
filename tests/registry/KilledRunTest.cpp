// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-delreg" over a large wineboot prefix killed with SIGKILL at several moments: Wine still
// loads every hive, and every value gone from a hive is in an undo file.
#include "registry/UndoFiles.h"
#include "support/HiveCompare.h"
#include "support/WinePrefixTest.h"
#include "support/WineTools.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <future>
#include <memory>
#include <vector>
#include <sys/stat.h>

namespace {

using namespace TestSupport;

constexpr int Keys = 1000;         // per hive
constexpr int ValuesPerKey = 10;   // 2 x 10000 values

// Keys appended to a hive's text in Wine's own form, every value naming a file that is gone.
QByteArray PlantedKeys(const char *tag)
{
    QByteArray text;
    for (int k = 0; k < Keys; ++k) {
        text += "\n[Software\\\\VkKill\\\\K" + QByteArray::number(k).rightJustified(4, '0') + "] 1765357200\n#time=1dc69b35d522800\n";
        for (int v = 0; v < ValuesPerKey; ++v)
            text += "\"V" + QByteArray::number(v) + "\"=\"C:\\\\VkGone\\\\" + tag + QByteArray::number(k * ValuesPerKey + v) + ".exe\"\n";
    }
    return text;
}

// The values of the undo files the undo manager lists, as ValuesOf names them.
QSet<QString> InUndoFiles(const QString &folder)
{
    QSet<QString> values;
    for (const QString &name : QDir(folder).entryList({"VKUndo*.reg"}, QDir::Files)) {
        QStringList lines;
        if (!UndoFiles::ReadLines(folder + u'/' + name, &lines))
            continue;
        for (const TUndoEntry &e : UndoFiles::ReadRegLines(lines))
            values.insert(ValueId(e.Root == u"HKEY_LOCAL_MACHINE" ? "system.reg" : "user.reg", e.Key, e.ValueName));
    }
    return values;
}

// What tells from outside that a hive file was touched, however it is written: in place or replaced.
QList<qint64> HiveStamps(const QString &prefix)
{
    QList<qint64> stamps;
    for (const char *hive : {"/system.reg", "/user.reg"}) {
        struct stat st {};
        ::stat(QFile::encodeName(prefix + QLatin1String(hive)).constData(), &st);
        stamps << qint64(st.st_ino) << qint64(st.st_size) << qint64(st.st_mtim.tv_sec) << qint64(st.st_mtim.tv_nsec);
    }
    return stamps;
}

class KilledRun : public TWinePrefixTest
{
};

}  // namespace

TEST_F(KilledRun, EveryHiveLoadsAndEveryValueGoneIsInAnUndoFile)
{
    // The planted prefix, made once: the cases start from copies of its hives.
    for (const auto &[hive, tag] : {std::pair{"user.reg", "u"}, std::pair{"system.reg", "s"}}) {
        QFile f(QDir(Prefix).filePath(QLatin1String(hive)));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(PlantedKeys(tag));
    }
    const QHash<QString, QByteArray> before = HiveTexts(Prefix);
    const TPrefixValues values = ValuesOf(Prefix);
    ASSERT_GE(values.size(), 2 * Keys * ValuesPerKey);
    const QByteArray user = before.value("user.reg");
    const QByteArray system = before.value("system.reg");

    // Moments of the run, each seen from outside as it happens.
    const struct {
        const char *Name;
        std::function<bool(const QString &prefix, const QString &undo, qint64 ms)> Now;
    } moments[] = {
        {"while it searches", [](const QString &, const QString &, qint64 ms) { return ms >= 300; }},
        {"never: the run ends by itself", [](const QString &, const QString &, qint64) { return false; }},
        {"once the undo text is staged",
         [](const QString &, const QString &undo, qint64) { return QFileInfo::exists(undo + "/.VKUndo.staged"); }},
        {"once the undo file is in place",
         [](const QString &, const QString &undo, qint64) { return QFileInfo::exists(undo + "/VKUndo01.reg"); }},
        {"while a hive is written",
         [](const QString &prefix, const QString &, qint64) {
             return !QDir(prefix).entryList({".*.reg.vk-*"}, QDir::Files | QDir::Hidden).isEmpty();
         }},
        // Whatever a hive's writer does, the first sign of it on the hive itself.
        {"as soon as a hive changes", [stamps = std::make_shared<QList<qint64>>()](const QString &prefix, const QString &, qint64) {
             const QList<qint64> now = HiveStamps(prefix);
             if (stamps->isEmpty())
                 *stamps = now;
             return now != *stamps;
         }},
    };
    // The runs go side by side, each in a prefix and a program folder of its own, each killed at its moment.
    struct TCase {
        QTemporaryDir Work;
        QString Prefix = Work.filePath("prefix");
        TProgramCopy Program{QStringLiteral(VASKIMO_EXE), QStringLiteral(VASKIMO_BLACKLIST)};
        QString Undo = Program.FilePath("Undo");
        QProcess Run;
        QElapsedTimer Clock;
        bool Killed = false;
        QHash<QString, QByteArray> Left;
        TPrefixValues LeftValues;
    };
    std::vector<std::unique_ptr<TCase>> cases;
    for (std::size_t i = 0; i < std::size(moments); ++i) {
        auto c = std::make_unique<TCase>();
        QString why;
        ASSERT_TRUE(TWinebootPrefix::Shared().CopyTo(c->Prefix, &why)) << why.toStdString();
        for (const auto &[hive, bytes] : {std::pair{"user.reg", user}, std::pair{"system.reg", system}}) {
            QFile f(QDir(c->Prefix).filePath(QLatin1String(hive)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            ASSERT_EQ(f.write(bytes), bytes.size());
        }
        QProcessEnvironment env = WineEnvironment(c->Prefix);
        env.insert("XDG_RUNTIME_DIR", c->Program.FilePath("run"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        c->Run.setProcessEnvironment(env);
        c->Run.setProcessChannelMode(QProcess::MergedChannels);
        cases.push_back(std::move(c));
    }
    for (auto &c : cases) {
        c->Run.start(c->Program.FilePath("vaskimo"), {"-delreg", "-exit"});
        ASSERT_TRUE(c->Run.waitForStarted(10000));
        c->Clock.start();
    }
    const QDeadlineTimer deadline(180000);
    for (bool running = true; running && !deadline.hasExpired();) {
        running = false;
        for (std::size_t i = 0; i < cases.size(); ++i) {
            TCase &c = *cases[i];
            // Each process is asked itself: QProcess learns of an end only when it is waited on.
            if (c.Run.state() != QProcess::Running || c.Run.waitForFinished(1))
                continue;
            running = true;
            if (moments[i].Now(c.Prefix, c.Undo, c.Clock.elapsed())) {
                ::kill(pid_t(c.Run.processId()), SIGKILL);
                c.Killed = true;
                c.Run.waitForFinished(30000);
            }
        }
    }
    // What each run left is read before Wine saves the hives again in its own order; Wine then reads
    // the prefixes side by side, each query under a server of its own.
    std::vector<std::future<std::pair<bool, QByteArray>>> queries;
    for (const auto &c : cases) {
        EXPECT_TRUE(c->Run.state() == QProcess::NotRunning || c->Run.waitForFinished(30000));
        c->Left = HiveTexts(c->Prefix);
        c->LeftValues = ValuesOf(c->Prefix);
        queries.push_back(std::async(std::launch::async, [prefix = c->Prefix] {
            QByteArray out;
            const bool loaded = Reg(prefix, {{"query", "HKEY_CURRENT_USER\\Software\\VkKill", "/s"},
                                             {"query", "HKEY_LOCAL_MACHINE\\Software\\VkKill", "/s"}},
                                    &out);
            return std::pair{loaded, out};
        }));
    }
    int killed = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(moments[i].Name);
        TCase &c = *cases[i];
        killed += c.Killed ? 1 : 0;
        if (!c.Killed) {
            EXPECT_EQ(c.Run.exitCode(), 0) << c.Run.readAll().toStdString();
        }
        const auto [loaded, out] = queries[i].get();
        RemoveServerFolder(c.Prefix);
        ASSERT_TRUE(loaded) << "a hive Wine cannot load: " << out.left(2000).toStdString();
        // Each hive is the old one less some values: never cut short, never half of two texts.
        const QHash<QString, QByteArray> &after = c.Left;
        for (const char *hive : HiveNames) {
            TTextChange change;
            std::string why;
            EXPECT_TRUE(OnlyValuesChanged(before.value(hive), after.value(hive), &change, &why)) << hive << ": " << why;
            EXPECT_TRUE(change.Added.isEmpty()) << hive;
        }
        const TPrefixValues &now = c.LeftValues;
        const QSet<QString> undone = InUndoFiles(c.Undo);
        int gone = 0, lost = 0;
        QString example;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (now.contains(it.key()))
                continue;
            ++gone;
            if (!undone.contains(it.key())) {
                ++lost;
                example = it.key();
            }
        }
        EXPECT_EQ(lost, 0) << lost << " of " << gone << " values gone without undo data, e.g. " << example.toStdString();
    }
    // A run that always ended before its moment would prove nothing.
    EXPECT_GE(killed, 3) << "the runs ended before they could be killed";
}

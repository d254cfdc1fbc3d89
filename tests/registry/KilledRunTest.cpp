// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: "-delreg" over a large wineboot prefix killed with SIGKILL at several moments: Wine still
// loads every hive, and every value gone from a hive is in an undo file.
#include "registry/UndoFiles.h"
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
#include <memory>
#include <vector>
#include <sys/stat.h>

namespace {

using namespace TestSupport;

constexpr int Keys = 1000;         // per hive
constexpr int ValuesPerKey = 10;   // 2 x 10000 values, every one naming a file that is gone

// "HKEY_CURRENT_USER\Software\VkKill\K0001" / "V3", as reg query prints them.
using TValue = QPair<QString, QString>;

// Appends the planted keys to a hive's text, in Wine's own form.
QByteArray PlantedKeys(const char *root, QSet<TValue> *planted)
{
    QByteArray text;
    for (int k = 0; k < Keys; ++k) {
        const QByteArray key = "Software\\\\VkKill\\\\K" + QByteArray::number(k).rightJustified(4, '0');
        text += "\n[" + key + "] 1765357200\n#time=1dc69b35d522800\n";
        for (int v = 0; v < ValuesPerKey; ++v) {
            const QByteArray name = "V" + QByteArray::number(v);
            text += "\"" + name + "\"=\"C:\\\\VkGone\\\\" + root + QByteArray::number(k * ValuesPerKey + v) + ".exe\"\n";
            planted->insert({QString::fromLatin1(root) + "\\" + QString::fromLatin1(key).replace("\\\\", "\\"),
                             QString::fromLatin1(name)});
        }
    }
    return text;
}

// The planted values Wine itself still finds ("wine reg query /s", both roots under one server);
// false when a hive does not load.
bool PresentValues(const QString &prefix, QSet<TValue> *present, QByteArray *why)
{
    QByteArray out;
    if (!Reg(prefix, {{"query", "HKEY_CURRENT_USER\\Software\\VkKill", "/s"},
                      {"query", "HKEY_LOCAL_MACHINE\\Software\\VkKill", "/s"}},
             &out)) {
        *why = out.left(2000);
        return false;
    }
    QString key;
    for (const QByteArray &raw : out.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw).trimmed();
        if (line.startsWith(QLatin1String("HKEY_")))
            key = line;
        else if (line.contains(QLatin1String("REG_SZ")))
            present->insert({key, line.section(u' ', 0, 0)});
    }
    return true;
}

// Every value line of the undo files the undo manager lists.
QSet<TValue> InUndoFiles(const QString &folder)
{
    QSet<TValue> values;
    for (const QString &name : QDir(folder).entryList({"VKUndo*.reg"}, QDir::Files)) {
        QStringList lines;
        if (!UndoFiles::ReadLines(folder + u'/' + name, &lines))
            continue;
        for (const TUndoEntry &e : UndoFiles::ReadRegLines(lines))
            values.insert({e.Root + u'\\' + e.Key, e.ValueName});
    }
    return values;
}

ino_t Inode(const QString &path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

class KilledRun : public TWinePrefixTest
{
};

}  // namespace

TEST_F(KilledRun, EveryHiveLoadsAndEveryValueGoneIsInAnUndoFile)
{
    // The planted prefix, made once: the cases start from copies of its hives.
    QSet<TValue> planted;
    for (const auto &[hive, root] : {std::pair{"user.reg", "HKEY_CURRENT_USER"}, std::pair{"system.reg", "HKEY_LOCAL_MACHINE"}}) {
        QFile f(QDir(Prefix).filePath(QLatin1String(hive)));
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(PlantedKeys(root, &planted));
    }
    ASSERT_EQ(planted.size(), 2 * Keys * ValuesPerKey);
    const QByteArray user = ReadFileBytes(QDir(Prefix).filePath("user.reg"));
    const QByteArray system = ReadFileBytes(QDir(Prefix).filePath("system.reg"));

    // Moments of the run, each seen from outside as it happens.
    const struct {
        const char *Name;
        std::function<bool(const QString &prefix, const QString &undo, qint64 ms)> Now;
    } moments[] = {
        {"while it searches", [](const QString &, const QString &, qint64 ms) { return ms >= 300; }},
        {"once the undo text is staged",
         [](const QString &, const QString &undo, qint64) { return QFileInfo::exists(undo + "/.VKUndo.staged"); }},
        {"once the undo file is in place",
         [](const QString &, const QString &undo, qint64) { return QFileInfo::exists(undo + "/VKUndo01.reg"); }},
        {"while a hive is written",
         [](const QString &prefix, const QString &, qint64) {
             return !QDir(prefix).entryList({".*.reg.vk-*"}, QDir::Files | QDir::Hidden).isEmpty();
         }},
        {"after the first hive", [inodes = std::make_shared<QList<ino_t>>()](const QString &prefix, const QString &, qint64) {
             const QList<ino_t> now{Inode(prefix + "/system.reg"), Inode(prefix + "/user.reg")};
             if (inodes->isEmpty())
                 *inodes = now;
             return now != *inodes;
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
            if (c.Run.state() != QProcess::Running)
                continue;
            running = true;
            if (moments[i].Now(c.Prefix, c.Undo, c.Clock.elapsed())) {
                ::kill(pid_t(c.Run.processId()), SIGKILL);
                c.Killed = true;
                c.Run.waitForFinished(30000);
            }
        }
        cases.front()->Run.waitForFinished(1);
    }
    int killed = 0;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(moments[i].Name);
        TCase &c = *cases[i];
        ASSERT_TRUE(c.Run.state() == QProcess::NotRunning || c.Run.waitForFinished(30000));
        killed += c.Killed ? 1 : 0;
        QSet<TValue> present;
        QByteArray failure;
        ASSERT_TRUE(PresentValues(c.Prefix, &present, &failure)) << "a hive Wine cannot load: " << failure.toStdString();
        const QSet<TValue> gone = planted - present;
        const QSet<TValue> lost = gone - InUndoFiles(c.Undo);
        RemoveServerFolder(c.Prefix);
        EXPECT_TRUE(lost.isEmpty()) << lost.size() << " of " << gone.size() << " values gone without undo data, e.g. "
                                    << lost.begin()->first.toStdString() << " " << lost.begin()->second.toStdString();
    }
    // A run that always ended before its moment would prove nothing.
    EXPECT_GE(killed, 3) << "the runs ended before they could be killed";
}

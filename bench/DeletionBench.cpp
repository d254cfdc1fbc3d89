// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the deletion thread's batches (a progress report and an Abort check after each) against
// handing every entry to the file layer in one call, on files in memory and on a real tree.
//
// bench_deletion [entries [rounds]]   (defaults 20000 entries, 5 rounds)
//
// Calls the library directly (the batches are inside the deletion service; the program shows no
// figure of them). Alternating, on the same entries: the deletion thread as the program runs it,
// reporting progress to this thread's event loop; and the same work in one call: every entry
// resolved and checked (exists, folder, locked) as the thread does, then one delete of them all.
// First over a layer that keeps the files in memory (the cost of the batches themselves), then
// over the host layer deleting a real tree for good (a fresh copy for every run, not timed).
#include "BenchSupport.h"
#include "platform/DriveMap.h"
#include "shell/FileDelThds.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMutex>
#include <QSet>

namespace {

class TMemoryLayer : public TDeletionFileLayer
{
public:
    QSet<QString> Existing;
    int Calls = 0;
    QString Resolve(const QString &entry) override { return Existing.contains(entry) ? entry : QString(); }
    bool Exists(const QString &key) override { return Existing.contains(key); }
    bool IsFolder(const QString &) override { return false; }
    bool IsLocked(const QString &) override { return false; }
    bool Delete(const QStringList &keys, bool) override
    {
        ++Calls;
        for (const QString &key : keys)
            Existing.remove(key);
        return true;
    }
};

double RunThread(const QStringList &entries, std::shared_ptr<TDeletionFileLayer> layer, int *reports)
{
    QObject owner;
    QEventLoop loop;
    *reports = 0;
    QElapsedTimer timer;
    timer.start();
    auto *thread = new TFileDeletionThread(&owner, entries, [reports](int, int) { ++*reports; }, true, false,
                                           std::move(layer));
    thread->SetOnTerminate([&loop](TSharedThd *) { loop.quit(); });
    thread->Resume();
    loop.exec();
    return double(timer.nsecsElapsed()) / 1e9;
}

double RunOneCall(const QStringList &entries, TDeletionFileLayer &layer)
{
    QElapsedTimer timer;
    timer.start();
    QSet<QString> keys;
    for (const QString &entry : entries)
        if (const QString key = layer.Resolve(entry); !key.isEmpty())
            keys.insert(key);
    QStringList batch(keys.begin(), keys.end());
    std::sort(batch.begin(), batch.end(), std::greater<>());
    batch.removeIf([&layer](const QString &key) {
        return !layer.Exists(key) || (!layer.IsFolder(key) && layer.IsLocked(key));
    });
    layer.Delete(batch, true);
    return double(timer.nsecsElapsed()) / 1e9;
}

void Print(const char *what, const QList<double> &batched, const QList<double> &oneCall, int reports, int entries)
{
    Bench::PrintRounds("batches", batched, "one call", oneCall);
    const double b = Bench::Median(batched), o = Bench::Median(oneCall);
    std::printf("bench_deletion: %d entries %s; medians: in batches %.3f s (%d progress reports), in one call %.3f s; "
                "ratio %.2f\n",
                entries, what, b, reports, o, o > 0 ? b / o : 0.0);
}

}  // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 20000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;
    int reports = 0;

    QStringList memoryEntries;
    for (int i = 0; i < count; ++i)
        memoryEntries << QStringLiteral("C:\\d%1\\file%2.tmp").arg(i / 100).arg(i);
    QList<double> batched, oneCall;
    for (int round = 0; round < rounds; ++round) {
        auto layer = std::make_shared<TMemoryLayer>();
        layer->Existing = QSet<QString>(memoryEntries.begin(), memoryEntries.end());
        batched.append(RunThread(memoryEntries, layer, &reports));
        TMemoryLayer single;
        single.Existing = QSet<QString>(memoryEntries.begin(), memoryEntries.end());
        oneCall.append(RunOneCall(memoryEntries, single));
    }
    Print("in memory", batched, oneCall, reports, count);

    QTemporaryDir temp;
    const QString source = temp.filePath(QStringLiteral("tree")), tree = temp.filePath(QStringLiteral("work"));
    QStringList entries;
    for (int i = 0; i < count; ++i) {
        const QString folder = QStringLiteral("d%1").arg(i / 100);
        QDir().mkpath(source + u'/' + folder);
        Bench::WriteFile(source + u'/' + folder + QStringLiteral("/file%1.tmp").arg(i), 1024, quint32(i));
        entries << QStringLiteral("C:\\%1\\file%2.tmp").arg(folder).arg(i);
    }
    const QString prefix = temp.filePath(QStringLiteral("prefix"));
    QDir().mkpath(prefix + QStringLiteral("/dosdevices"));
    QDir().mkpath(tree);
    QFile::link(tree, prefix + QStringLiteral("/dosdevices/c:"));
    const TDriveMap drives = TDriveMap::FromFolder(prefix + QStringLiteral("/dosdevices"), prefix);
    const auto freshTree = [&] {
        QDir(tree).removeRecursively();
        QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), source, tree});
        QProcess::execute(QStringLiteral("sync"), {});
    };
    const auto left = [&] {
        int n = 0;
        for (const QString &folder : QDir(tree).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            n += int(QDir(tree + u'/' + folder).entryList(QDir::Files).size());
        return n;
    };
    batched.clear();
    oneCall.clear();
    for (int round = 0; round < rounds; ++round) {
        freshTree();
        batched.append(RunThread(entries, std::make_shared<THostDeletionLayer>(drives, QString()), &reports));
        if (const int n = left())
            std::fprintf(stderr, "round %d: the batches left %d files\n", round + 1, n);
        freshTree();
        THostDeletionLayer single(drives, QString());
        oneCall.append(RunOneCall(entries, single));
        if (const int n = left())
            std::fprintf(stderr, "round %d: the one call left %d files\n", round + 1, n);
    }
    Print("on disk, deleted for good", batched, oneCall, reports, count);
    return 0;
}

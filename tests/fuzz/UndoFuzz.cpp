// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the undo files: both readers take any file, the rebuilt REG text, saved
// and read again, gives back exactly what the file gave, and every entry restored into the hives
// reads back as restored.
#include "FuzzCheck.h"

#include "registry/UndoFiles.h"
#include "platform/WinePrefix.h"
#include "registry/UndoManager.h"

#include <QFile>

#include <algorithm>
#include <memory>
#include <tuple>
#include <vector>

namespace {

using TRestore = std::tuple<QString, QString, QString, QString, int, quint32, QByteArray, int, QChar>;

// What each entry writes back, with the names as the registry compares them.
std::vector<TRestore> Restores(const QList<TUndoEntry> &entries)
{
    std::vector<TRestore> out;
    for (const TUndoEntry &e : entries)
        out.emplace_back(e.Root.toCaseFolded(), e.Key.toCaseFolded(), e.ValueName.toCaseFolded(), e.Data, int(e.Type),
                         e.Number, e.Bytes, e.Kind, e.Delimiter);
    std::sort(out.begin(), out.end());
    return out;
}

QStringList ReadBack(const QString &path)
{
    QStringList lines;
    FUZZ_CHECK(UndoFiles::ReadLines(path, &lines));
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // No live registry is asked: the prefix is an empty folder.
    qputenv("WINEPREFIX", Fuzz::Folder().toLocal8Bit());
    return 0;
}

// Restores the first entries into hives made for this input: what the restore says it put back
// must read back from the saved hive files as present and the same.
void RestoreIntoHives(const QList<TUndoEntry> &entries)
{
    for (const char *hive : {"system.reg", "user.reg", "userdef.reg"})
        QFile::remove(Fuzz::Folder() + u'/' + QLatin1String(hive));
    Fuzz::WriteFile(QStringLiteral("system.reg"), "WINE REGISTRY Version 2\n");
    const auto prefix = std::make_shared<TWinePrefix>(Fuzz::Folder());
    for (qsizetype i = 0; i < entries.size() && i < 8; ++i) {
        QString error;
        // Read again from the saved hives, not from what the write holds in memory.
        if (UndoManager::RestoreEntry(entries.at(i), prefix, {}, &error))
            FUZZ_CHECK(UndoManager::EntryState(entries.at(i), std::make_shared<TWinePrefix>(Fuzz::Folder())) == 2);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines = ReadBack(Fuzz::WriteFile(QStringLiteral("undo.reg"), Fuzz::Bytes(data, size)));

    FUZZ_CHECK(UndoFiles::ReadVkuLines(lines).size() <= 1);

    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
    RestoreIntoHives(entries);
    const QStringList rebuilt = UndoManager::RebuildRegLines(lines);
    FUZZ_CHECK(UndoManager::RebuildRegLines(rebuilt) == rebuilt);
    if (rebuilt == lines)
        return 0;
    QString error;
    if (!UndoFiles::SaveUndoText(Fuzz::Folder() + QStringLiteral("/rebuilt.reg"), rebuilt, &error))
        return 0;  // a character outside the code page: nothing is written
    const QStringList saved = ReadBack(Fuzz::Folder() + QStringLiteral("/rebuilt.reg"));
    FUZZ_CHECK(saved == rebuilt);
    FUZZ_CHECK(Restores(UndoFiles::ReadRegLines(saved)) == Restores(entries));
    return 0;
}

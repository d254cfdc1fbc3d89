// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the undo files: both readers take any file, and the rebuilt REG text,
// saved and read again, gives back exactly what the file gave.
#include "FuzzCheck.h"

#include "registry/UndoFiles.h"
#include "registry/UndoManager.h"

#include <algorithm>
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines = ReadBack(Fuzz::WriteFile(QStringLiteral("undo.reg"), Fuzz::Bytes(data, size)));

    FUZZ_CHECK(UndoFiles::ReadVkuLines(lines).size() <= 1);

    const QList<TUndoEntry> entries = UndoFiles::ReadRegLines(lines);
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

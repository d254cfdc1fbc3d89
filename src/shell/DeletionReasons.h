// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: why a deletion left what it left: the reasons of the last deletion run and how the tools report them.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

struct TBatchState;

namespace FileDeletion {
// Why the last deletion run (DeleteFilesThreaded) left each entry it could not delete, by the
// entry as the caller gave it; set before the caller's completion handler runs, on the main thread.
void SetLastReasons(QHash<QString, QString> reasons);
// "C:\x\a.tmp: Permission denied" for each of entries (the ones still there), in their order,
// with the reasons of the last deletion run.
QStringList KeptLines(const QStringList &entries);
// A batch run's report of what a deletion kept: every line in the log, the first few also as the
// run's failure reasons (standard error), the rest counted there.
void ReportKept(TBatchState &batch, const QStringList &keptLines);
// The same for a window: the first few lines, the rest counted, for the end of its error message.
QString KeptText(const QStringList &keptLines);
}  // namespace FileDeletion

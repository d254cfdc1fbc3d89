// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the reasons of the last deletion run, as lines for the log, standard error and a message.
#include "shell/DeletionReasons.h"

#include "shell/Batch.h"

namespace {
QHash<QString, QString> &LastReasonsSlot()
{
    static QHash<QString, QString> reasons;
    return reasons;
}
// Lines a run of many failures shows in full; the rest are counted.
constexpr qsizetype KeptLinesShown = 5;
} // namespace

void FileDeletion::SetLastReasons(QHash<QString, QString> reasons) { LastReasonsSlot() = std::move(reasons); }

QStringList FileDeletion::KeptLines(const QStringList &entries)
{
    QStringList lines;
    for (const QString &entry : entries) {
        const QString reason = LastReasonsSlot().value(entry);
        lines << entry + QStringLiteral(": ") + (reason.isEmpty() ? QStringLiteral("it is still there after its deletion") : reason);
    }
    return lines;
}

void FileDeletion::ReportKept(TBatchState &batch, const QStringList &keptLines)
{
    batch.FLog << keptLines;
    for (qsizetype i = 0; i < keptLines.size() && i < KeptLinesShown; ++i)
        batch.KeepFailure(keptLines.at(i));
    if (keptLines.size() > KeptLinesShown)
        batch.KeepFailure(QStringLiteral("%1 more files were kept (Vaskimo.log names them)").arg(keptLines.size() - KeptLinesShown));
}

QString FileDeletion::KeptText(const QStringList &keptLines)
{
    QStringList shown = keptLines.mid(0, KeptLinesShown);
    if (keptLines.size() > KeptLinesShown)
        shown << QStringLiteral("... and %1 more").arg(keptLines.size() - KeptLinesShown);
    return shown.join(u'\n');
}


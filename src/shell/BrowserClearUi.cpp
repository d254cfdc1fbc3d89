// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's clearing buttons: deletion through the service, then the result message.
#include "shell/BrowserClear.h"

#include "shell/Batch.h"
#include "shell/DeletionReasons.h"
#include "shell/IniLang.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "shell/Tulosta.h"

#include <exception>

namespace BrowserClear {

TBrowserClearHost TBrowserClearHost::FromMainWindow()
{
    TBrowserClearHost host;
    TPaaIkkuna *main = PaaIkkuna;
    host.Parent = main;
    host.BatchMode = [main] { return main && main->FBatchMode; };
    host.Batch = main;
    host.DeleteFiles = [main](const QStringList &files, bool permanent, std::function<void(bool)> onDone) {
        if (main)
            main->DeleteFilesThreaded(files, permanent, std::move(onDone));
        else
            FileDeletion::DeleteFilesThreaded(nullptr, files, permanent, false, onDone);
    };
    return host;
}

void ClearBrowserFolders(const QString &folders, TClearKind kind, const TBrowserClearHost &host)
{
    QStringList refused;
    const QStringList clearList = ClearList(folders, &refused);
    const auto done = [&](bool aborted) {
        const bool batch = host.BatchMode && host.BatchMode();
        QStringList kept = FileDeletion::KeptLines(Remaining(clearList));
        // A folder outside the profiles was left alone: its files are still there.
        for (const QString &folder : std::as_const(refused))
            kept << folder + QStringLiteral(": it lies outside the prefix's profiles and was left alone");
        const QString notAll = LangMessage(QStringLiteral("M043MF"), QStringLiteral("Not all the files could be deleted!"));
        if (batch) {
            if (!kept.isEmpty() && host.Batch) {
                host.Batch->FLog << notAll;
                FileDeletion::ReportKept(*host.Batch, kept);
            }
            return;
        }
        if (aborted)
            return;
        if (!kept.isEmpty()) {
            MessageBoxes::Error(host.Parent, notAll + QStringLiteral("\n\n") + FileDeletion::KeptText(kept));
            return;
        }
        switch (kind) {
        case TClearKind::Cache:
            MessageBoxes::Information(host.Parent, LangMessage(QStringLiteral("M044MF"), QStringLiteral("IE temporary internet files cleared!")));
            break;
        case TClearKind::History:
            MessageBoxes::Information(host.Parent, LangMessage(QStringLiteral("M047MF"), QStringLiteral("IE history cleared!")));
            break;
        case TClearKind::Cookies:
            MessageBoxes::Information(host.Parent, LangMessage(QStringLiteral("M048MF"), QStringLiteral("IE cookies cleared!")));
            break;
        }
    };
    if (host.DeleteFiles)
        host.DeleteFiles(clearList, true, done);
    else
        FileDeletion::DeleteFilesThreaded(host.Parent, clearList, true, false, done);
}

void ClearBrowserFolders(const QString &folders, int kind)
{
    ClearBrowserFolders(folders, kind == 1 ? TClearKind::History : kind == 2 ? TClearKind::Cookies : TClearKind::Cache,
                        TBrowserClearHost::FromMainWindow());
}

void ClearRecentDocumentsClick(const TBrowserClearHost &host)
{
    const bool batch = host.BatchMode && host.BatchMode();
    QStringList kept;
    try {
        kept = ClearRecentDocuments();
    } catch (const std::exception &e) {
        kept << QStringLiteral("The recent-documents list was kept: ") + QString::fromLocal8Bit(e.what());
    }
    if (batch) {
        if (host.Batch)
            for (const QString &reason : std::as_const(kept))
                host.Batch->Fail(reason);
        return;
    }
    if (!kept.isEmpty())
        MessageBoxes::Error(host.Parent, LangMessage(QStringLiteral("M046MF"), QStringLiteral("Error occured!"))
                                             + QStringLiteral("\n\n") + FileDeletion::KeptText(kept));
    else
        MessageBoxes::Information(host.Parent, LangMessage(QStringLiteral("M045MF"), QStringLiteral("MRU list cleared!")));
}

void ClearRecentDocumentsClick() { ClearRecentDocumentsClick(TBrowserClearHost::FromMainWindow()); }

}  // namespace BrowserClear

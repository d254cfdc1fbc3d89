// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's clearing buttons: deletion through the service, then the result message.
#include "shell/BrowserClear.h"

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
        if (batch || aborted)
            return;
        // A folder outside the profiles was left alone: its files are still there.
        if (!Remaining(clearList).isEmpty() || !refused.isEmpty()) {
            MessageBoxes::Error(host.Parent, LangMessage(QStringLiteral("M043MF"), QStringLiteral("Not all the files could be deleted!")));
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
    try {
        ClearRecentDocuments();
    } catch (const std::exception &) {
        if (!batch)
            MessageBoxes::Error(host.Parent, LangMessage(QStringLiteral("M046MF"), QStringLiteral("Error occured!")));
        return;
    }
    if (!batch)
        MessageBoxes::Information(host.Parent, LangMessage(QStringLiteral("M045MF"), QStringLiteral("MRU list cleared!")));
}

void ClearRecentDocumentsClick() { ClearRecentDocumentsClick(TBrowserClearHost::FromMainWindow()); }

}  // namespace BrowserClear

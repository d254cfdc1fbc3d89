// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: one-click clearing of the browser's cache, history and cookies and of the recent-documents list.
//
// The browser folders are the prefix's own shell folders; a folder that does not lie inside a
// profile of the prefix (below C:\users\<name>\, or below %USERPROFILE%) is never touched, however
// the registry names it: a Cache value of "Z:\home" must not empty a home folder. The core
// functions need only QtCore; ClearBrowserFolders and ClearRecentDocumentsClick show the
// messages (BrowserClearUi.cpp).
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QWidget;
class TWinePrefix;
struct TBatchState;

enum class TClearKind { Cache = 0, History = 1, Cookies = 2 };

namespace BrowserClear {

// True when folder (a Windows path) exists and lies strictly inside a profile folder of the
// prefix, after links are resolved on the host; the profile folder itself and C:\users are not.
bool InsideProfile(const QString &folder, const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The paths handed to the deletion service for the comma text of folders: each folder's files,
// then each sub-folder ("\" at its end), its files and its own sub-folders; the "index.dat"
// directly in a folder is left out. *refused receives the folders that lie outside the profiles.
QStringList ClearList(const QString &folders, QStringList *refused = nullptr,
                      const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// The entries of list that are still existing files (folders never count as left over).
QStringList Remaining(const QStringList &list);

// The recent-documents list: every file directly in the profile's Recent folder except
// "desktop.ini" is deleted for good through the deletion service's file layer, and the shell's
// HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\RecentDocs key goes. Returns what
// was kept and why, one sentence each (a file that stays, with the system's reason; a registry
// list that could not be deleted); empty when all went. While the registry cannot be written (a
// running wineserver) nothing is deleted: the list is one thing, files and key together.
QStringList ClearRecentDocuments(const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// ---- with messages (shell_ui)

// What the clearing needs of the program around it: FromMainWindow() takes it from PaaIkkuna.
struct TBrowserClearHost {
    QWidget *Parent = nullptr;
    std::function<bool()> BatchMode;  // no box is shown in a batch run
    // The deletion service; runs onDone(aborted) before it returns.
    std::function<void(const QStringList &files, bool permanent, std::function<void(bool aborted)> onDone)> DeleteFiles;
    // Where a batch run's failures go (the main window's batch state): the log and standard error.
    TBatchState *Batch = nullptr;

    static TBrowserClearHost FromMainWindow();
};

// btnCacheClick, btnHistoryClick, btnCookiesClick: deletes the folders' contents for good and
// reports whether anything is left ("Not all the files could be deleted!" with each file kept and
// why), unless aborted; in batch mode the same goes to the batch log and standard error.
void ClearBrowserFolders(const QString &folders, TClearKind kind, const TBrowserClearHost &host);
void ClearBrowserFolders(const QString &folders, int kind);  // over the main window

// btnMRUClick: "MRU list cleared!" or "Error occured!" with what was kept and why; in batch mode
// no box, and what was kept goes to the batch log and standard error.
void ClearRecentDocumentsClick(const TBrowserClearHost &host);
void ClearRecentDocumentsClick();  // over the main window

}  // namespace BrowserClear

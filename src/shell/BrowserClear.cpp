// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the clear lists of the browser folders, what is left of them, and the recent-documents list.
#include "shell/BrowserClear.h"

#include "platform/CommaText.h"
#include "platform/Registry.h"
#include "platform/WinEnvironment.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"
#include "shell/FileDelThds.h"
#include "shell/Services.h"

#include <QDir>
#include <QFileInfo>


namespace {

const QString kRecentDocsKey = QStringLiteral("\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\RecentDocs");

// The real host folder a Windows path names (links resolved), or '' when it names no folder.
QString CanonicalFolder(const QString &windowsPath, const std::shared_ptr<TWinePrefix> &prefix)
{
    if (windowsPath.isEmpty())
        return {};
    const TPathMapping m = WinFiles::DrivesOf(prefix).ToHost(windowsPath);
    if (m.State != TPathState::Resolved)
        return {};
    const QFileInfo info(m.HostPath);
    return info.isDir() ? info.canonicalFilePath() : QString();
}

// Components of path below folder, or -1 when path is not below it.
int DepthBelow(const QString &path, const QString &folder)
{
    if (folder.isEmpty() || folder == u"/")
        return -1;
    if (!path.startsWith(folder + u'/'))
        return -1;
    return int(path.mid(folder.size() + 1).split(u'/', Qt::SkipEmptyParts).size());
}

QString WithBackslash(const QString &folder)
{
    return folder.endsWith(u'\\') ? folder : folder + u'\\';
}

} // namespace

namespace BrowserClear {

bool InsideProfile(const QString &folder, const std::shared_ptr<TWinePrefix> &prefix)
{
    const QString canonical = CanonicalFolder(folder, prefix);
    if (canonical.isEmpty())
        return false;
    // C:\users\<profile>\<something>: at least two names below the users folder.
    if (DepthBelow(canonical, CanonicalFolder(QStringLiteral("C:\\users"), prefix)) >= 2)
        return true;
    const TWinEnvironment environment(prefix ? prefix : TWinePrefix::Current());
    return DepthBelow(canonical, CanonicalFolder(environment.Value(QStringLiteral("USERPROFILE")), prefix)) >= 1;
}

QStringList ClearList(const QString &folders, QStringList *refused, const std::shared_ptr<TWinePrefix> &prefix)
{
    QStringList list;
    for (const QString &item : CommaTextToList(folders)) {
        if (item.isEmpty())
            continue;
        const QString folder = WithBackslash(item);
        if (!InsideProfile(folder, prefix)) {
            if (refused)
                refused->append(folder);
            continue;
        }
        const qsizetype first = list.size();
        list << CommaTextToList(Services::ListFiles(folder, QStringLiteral("*.*"), false, false))
             << CommaTextToList(Services::ListFolderTree(folder, false));
        const QString index = folder + QStringLiteral("index.dat");
        for (qsizetype i = first; i < list.size(); ++i) {
            if (list.at(i).compare(index, Qt::CaseInsensitive) == 0) {
                list.removeAt(i);
                break;
            }
        }
    }
    list.removeAll(QString());
    return list;
}

QStringList Remaining(const QStringList &list)
{
    QStringList left;
    for (const QString &entry : list)
        if (!entry.isEmpty() && !entry.endsWith(u'\\') && WinFiles::FileExists(entry) && !WinFiles::DirectoryExists(entry))
            left << entry;
    return left;
}

QStringList ClearRecentDocuments(const std::shared_ptr<TWinePrefix> &prefixIn)
{
    const std::shared_ptr<TWinePrefix> prefix = prefixIn ? prefixIn : TWinePrefix::Current();
    if (!prefix)
        return {QStringLiteral("The recent-documents list was kept: there is no Wine prefix")};
    const QString blocker = prefix->WriteBlocker();
    if (!blocker.isEmpty())
        return {QStringLiteral("The recent-documents list was kept: ") + blocker};
    const TWinEnvironment environment(prefix);
    const QString recent = environment.SpecialFolder(QStringLiteral("Recent"));
    QStringList kept;
    if (!recent.isEmpty() && InsideProfile(recent, prefix)) {
        const std::shared_ptr<TDeletionFileLayer> layer = FileDeletion::Layer();
        for (const TSearchRec &r : WinFiles::FindFiles(recent, QStringLiteral("*"), prefix)) {
            if (r.Attr & (FileAttr::Directory | FileAttr::VolumeId))
                continue;
            // The folder's own look, not a document.
            if (r.Name.compare(u"desktop.ini", Qt::CaseInsensitive) == 0)
                continue;
            const QString document = WithBackslash(recent) + r.Name;
            const QString key = layer->Resolve(document);
            if (key.isEmpty())
                kept << document + QStringLiteral(": its name names no file that may be deleted");
            else if (!layer->Delete({key}, true))
                kept << document + QStringLiteral(": ")
                            + (layer->LastError().isEmpty() ? QStringLiteral("it could not be deleted") : layer->LastError());
        }
    }
    TRegistry registry(TRootKey::CurrentUser, prefix);
    if (registry.KeyExists(kRecentDocsKey) && !registry.DeleteKey(kRecentDocsKey))
        kept << QStringLiteral("The recent-documents list in the registry was kept: ") + registry.LastError();
    return kept;
}

}  // namespace BrowserClear

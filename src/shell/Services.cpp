// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's stateless services over the host file system.
#include "shell/Services.h"

#include "platform/CodePage.h"
#include "platform/CommaText.h"
#include "platform/PeReader.h"
#include "platform/WinFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <sys/stat.h>

namespace {

Services::TPathMapper &Mapper()
{
    static Services::TPathMapper mapper;
    return mapper;
}

bool IsHostPath(const QString &path) { return path.startsWith(u'/'); }

QChar SeparatorOf(const QString &folder) { return IsHostPath(folder) ? u'/' : u'\\'; }

// Anything at the path (a link counts, and is not followed) other than a real folder.
bool FileTaken(const QString &path)
{
    const QString host = Services::HostPath(path);
    if (host.isEmpty()) return false;
    struct stat st {};
    if (lstat(QFile::encodeName(host).constData(), &st) != 0) return false;
    return !S_ISDIR(st.st_mode);
}

QString InsertBeforeExtension(const QString &fileName, const QString &insert)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot < 0 ? fileName + insert : fileName.left(dot) + insert + fileName.mid(dot);
}

QList<TSearchRec> Entries(const QString &folder, const QString &mask)
{
    const QString host = Services::HostPath(folder);
    if (host.isEmpty()) return {};
    QList<TSearchRec> entries = HostFiles::ListFolder(host);
    entries.removeIf([&](const TSearchRec &r) { return !MatchesMask(r.Name, mask); });
    return entries;
}

} // namespace

namespace Services {

void SetPathMapper(TPathMapper mapper) { Mapper() = std::move(mapper); }

QString HostPath(const QString &path)
{
    if (IsHostPath(path)) return path;
    if (Mapper()) return Mapper()(path);
    const TPathMapping m = WinFiles::DrivesOf().ToHost(path);
    return m.State == TPathState::Resolved ? m.HostPath : QString();
}

TRootKey RootKeyFromName(const QString &rootName)
{
    if (rootName.compare(u"HKEY_CURRENT_USER", Qt::CaseInsensitive) == 0) return TRootKey::CurrentUser;
    if (rootName.compare(u"HKEY_USERS", Qt::CaseInsensitive) == 0) return TRootKey::Users;
    if (rootName.compare(u"HKEY_CLASSES_ROOT", Qt::CaseInsensitive) == 0) return TRootKey::ClassesRoot;
    return TRootKey::LocalMachine;
}

QString LongPathName(const QString &path, const TFindName &findName)
{
    TFindName find = findName;
    if (!find) {
        find = [](const QString &p) {
            const QString host = HostPath(p);
            return !host.isEmpty() && QFileInfo::exists(host) ? QFileInfo(host).fileName() : QString();
        };
    }
    // A full path: drive and root, or a UNC path; a relative path has no full form here.
    QString rest = path;
    const bool drivePath = rest.size() >= 3 && rest.at(1) == u':' && rest.at(2) == u'\\';
    if (!drivePath && !rest.startsWith(u"\\\\"))
        return {};
    if (rest.size() > 3 && rest.endsWith(u'\\')) rest.chop(1);
    QString result;
    while (true) {
        if (rest.size() <= 10) {
            result.prepend(rest);
            return result;
        }
        const QString name = find(rest);
        if (name.isEmpty()) return {};
        result.prepend(u'\\' + name);
        const qsizetype slash = rest.lastIndexOf(u'\\');
        if (slash < 0) return {};
        rest = rest.left(slash);
    }
}

QString UniqueFileName(const QString &folderIn, const QString &fileNameIn)
{
    QString fileName = fileNameIn;
    QString folder = folderIn;
    if (!folder.isEmpty() && !folder.endsWith(u'\\') && !folder.endsWith(u'/')) folder += SeparatorOf(folder);
    QString path;
    // Each round is 100 names; a folder that holds all of them many times over is no folder to write in.
    for (int round = 0; round < 100; ++round) {
        for (QChar c : {u'/', u'\\', u':', u'*', u'?', u'"', u'<', u'>', u'|'})
            fileName.replace(c, u' ');
        path = folder + fileName;
        if (!FileTaken(path)) return path;
        for (int n = 1; n <= 99; ++n) {
            const QString candidate = folder + InsertBeforeExtension(fileName, QStringLiteral("(%1)").arg(n));
            if (!FileTaken(candidate)) return candidate;
        }
        fileName = InsertBeforeExtension(fileName, QStringLiteral("(1)"));
    }
    return path;
}

QString VersionInfoString(const QString &fileName, const QString &name)
{
    return VersionInfoStrings(fileName, {name}).constFirst();
}

QStringList VersionInfoStrings(const QString &fileName, const QStringList &names)
{
    const QString host = HostPath(fileName);
    TVersionInfo info;
    QStringList values;
    const bool found = !host.isEmpty() && PeReader::ReadVersionInfoFile(host, &info);
    for (const QString &name : names)
        values.append(found ? info.TranslatedValue(name) : QString());
    return values;
}

bool ReadShellLink(const QString &linkFile, TShellLinkInfo &info)
{
    const QString host = HostPath(linkFile);
    return !host.isEmpty() && LnkReader::ReadShellLinkInfo(host, info, AnsiCodePage());
}

bool IsFolderEmpty(const QString &folder)
{
    const QString host = HostPath(folder);
    if (host.isEmpty()) return false;
    DIR *dir = opendir(QFile::encodeName(host).constData());
    if (!dir) return false;
    bool empty = true;
    while (const dirent *e = readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
        empty = false;
        break;
    }
    closedir(dir);
    return empty;
}

QString ListFiles(const QString &folder, const QString &mask, bool bareNames, bool skipDesktopIni)
{
    QStringList items;
    for (const TSearchRec &r : Entries(folder, mask)) {
        if (r.Attr & (FileAttr::Directory | FileAttr::VolumeId)) continue;
        if (skipDesktopIni && r.Name.compare(u"desktop.ini", Qt::CaseInsensitive) == 0) continue;
        items << QuotedText(bareNames ? r.Name.left(r.Name.size() - 4) : folder + r.Name);
    }
    return items.join(u',');
}

QString ListFolderTree(const QString &folder, bool skipDesktopIniFolders)
{
    const QChar sep = SeparatorOf(folder);
    QStringList parts;
    for (const TSearchRec &r : Entries(folder, QStringLiteral("*.*"))) {
        const QString sub = folder + r.Name;
        const QString root = sub.mid(1, 10).toUpper();
        if (root == u":\\RECYCLED" || root == u":\\RECYCLER") continue;
        if (!(r.Attr & FileAttr::Directory)) continue;
        if (skipDesktopIniFolders && FileTaken(sub + sep + QStringLiteral("desktop.ini"))) continue;
        parts << QuotedText(sub + sep) << ListFiles(sub + sep, QStringLiteral("*.*"), false, false)
              << ListFolderTree(sub + sep, skipDesktopIniFolders);
    }
    return parts.join(u',');
}

} // namespace Services

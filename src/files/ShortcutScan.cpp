// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the invalid-shortcut search: roots from the shell folders, candidates, target judgement, tree and marks.
#include "files/ShortcutScan.h"

#include "platform/DriveMap.h"
#include "platform/LnkReader.h"
#include "platform/Registry.h"
#include "platform/WinEnvironment.h"
#include "platform/WinFiles.h"
#include "shell/FileDelThds.h"
#include "shell/Services.h"

#include <QFile>
#include <QHash>

#include <algorithm>

#include <dirent.h>

namespace {

const QString kShellFolders = QStringLiteral("\\Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
const QString kUserShellFolders =
    QStringLiteral("\\Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders");

QString WithBackslash(const QString &folder)
{
    return folder.endsWith(u'\\') ? folder : folder + u'\\';
}

QString ReadShellFolder(TRootKey root, const QString &name)
{
    try {
        TRegistry registry(root);
        if (registry.OpenKeyReadOnly(kShellFolders) && registry.ValueExists(name))
            return registry.ReadString(name);
    } catch (const std::exception &) {
    }
    return {};
}

// Every text value of the key, "User Shell Folders" ones expanded with the prefix's environment.
QStringList ReadShellFolderValues(TRootKey root, const QString &key, const TWinEnvironment &environment)
{
    QStringList values;
    try {
        TRegistry registry(root);
        if (!registry.OpenKeyReadOnly(key))
            return values;
        for (const QString &name : registry.GetValueNames()) {
            const TRegDataType type = registry.GetDataType(name);
            if (type == TRegDataType::String)
                values << registry.ReadString(name);
            else if (type == TRegDataType::ExpandString)
                values << environment.Expand(registry.ReadString(name));
        }
    } catch (const std::exception &) {
    }
    return values;
}

void AddUnique(QStringList &list, const QString &folder)
{
    if (!folder.isEmpty() && !list.contains(folder, Qt::CaseInsensitive))
        list << folder;
}

bool TargetExists(const QString &target)
{
    return !target.isEmpty() && (WinFiles::FileExists(target) || WinFiles::DirectoryExists(target));
}

struct TCollect {
    const TShortcutOptions &Options;
    QStringList Masks;
    std::vector<TFileMask> Compiled;
    const ShortcutScan::TPoll &Poll;
    QStringList Candidates;
    bool Stopped = false;

    bool Polled()
    {
        Stopped = Stopped || (Poll && Poll());
        return Stopped;
    }

    // GetFiles and then GetDirectories of one folder, over one listing of it that holds its
    // folders and the files a mask takes: no other file is looked at.
    void Visit(const QString &folder, const QString &host)
    {
        HostFiles::TListNeeds needs;
        needs.KeepFile = [this](QStringView folded) {
            return std::any_of(Compiled.cbegin(), Compiled.cend(), [&](const TFileMask &m) { return m.MatchesFolded(folded); });
        };
        qsizetype count = -1;
        needs.EntryCount = &count;
        const QList<TSearchRec> entries = host.isEmpty() ? QList<TSearchRec>() : HostFiles::ListFolder(host, nullptr, needs);
        for (const TFileMask &mask : Compiled) {
            // An empty folder is one no mask takes anything of. Only a folder of the prefix itself
            // may go: never one reached through a link out of it.
            if (!Options.IgnoreEmptyFolders && count == 0 && WinFiles::InsidePrefix(folder))
                Candidates << folder;
            for (const TSearchRec &e : entries) {
                if (!mask.Matches(e.Name))
                    continue;
                if (Polled())
                    return;
                if (ShortcutScan::Skipped(e.Name, Options.SkipList))
                    continue;
                if (e.Attr & (FileAttr::Directory | FileAttr::VolumeId))
                    continue;
                Candidates << folder + e.Name;
            }
        }
        for (const TSearchRec &e : entries) {
            if (Polled())
                return;
            if (!(e.Attr & FileAttr::Directory) || e.IsHiddenFolder() || ShortcutScan::Skipped(e.Name, Options.SkipList))
                continue;
            Visit(folder + e.Name + u'\\', e.HostPath);
            if (Stopped)
                return;
        }
    }
};

void FillNa(TShortcutRecord *record, const QString &na)
{
    record->Target = record->StartIn = record->Parameters = record->Comments = record->IconPath = record->IconIndex = na;
}

// Below: whether folder (ending in "\") holds path, case ignored.
bool IsBelowOrSame(const QString &path, const QString &folder)
{
    return WithBackslash(path).startsWith(WithBackslash(folder), Qt::CaseInsensitive);
}

void CollectNodes(TShortcutNode *node, QList<TShortcutNode *> &out)
{
    out << node;
    for (const auto &child : node->Children)
        CollectNodes(child.get(), out);
}

} // namespace

namespace ShortcutScan {

QStringList Roots(bool skipDesktop)
{
    QStringList values = {ReadShellFolder(TRootKey::CurrentUser, QStringLiteral("Start Menu")),
                          ReadShellFolder(TRootKey::LocalMachine, QStringLiteral("Common Start Menu"))};
    if (!skipDesktop) {
        values << ReadShellFolder(TRootKey::CurrentUser, QStringLiteral("Desktop"))
               << ReadShellFolder(TRootKey::LocalMachine, QStringLiteral("Common Desktop"));
    }
    // One folder named twice would list each of its shortcuts twice.
    QStringList roots;
    for (const QString &value : values)
        if (!value.isEmpty())
            AddUnique(roots, WithBackslash(value));
    return roots;
}

QStringList ShellFolders()
{
    QStringList folders;
    const TWinEnvironment environment;
    for (const TRootKey root : {TRootKey::CurrentUser, TRootKey::LocalMachine})
        for (const QString &key : {kShellFolders, kUserShellFolders})
            for (const QString &value : ReadShellFolderValues(root, key, environment))
                if (!value.isEmpty())
                    AddUnique(folders, WithBackslash(value));
    return folders;
}

QStringList Masks(const TShortcutOptions &options)
{
    QStringList masks = {QStringLiteral("*.lnk")};
    if (!options.IgnoreInternet)
        masks << QStringLiteral("*.url");
    return masks;
}

bool Skipped(const QString &name, const QStringList &skipList)
{
    const QString lower = name.toLower();
    for (const QString &item : skipList)
        if (!item.isEmpty() && lower.contains(item.toLower()))
            return true;
    return false;
}

QStringList Collect(const QString &root, const TShortcutOptions &options, const TPoll &poll)
{
    TCollect collect{options, Masks(options), {}, poll, {}, false};
    for (const QString &mask : collect.Masks)
        collect.Compiled.emplace_back(mask);
    // The root alone goes through the drives: every folder below is a host entry.
    const TPathMapping m = WinFiles::DrivesOf().ToHost(WithBackslash(root));
    collect.Visit(root, m.State == TPathState::Resolved ? m.HostPath : QString());
    return collect.Candidates;
}

bool Judge(const QString &candidate, const QStringList &roots, const TShortcutOptions &options,
           TShortcutRecord *record, TShortcutKind *kind, const QString &na)
{
    *record = TShortcutRecord();
    record->Path = candidate;
    if (candidate.endsWith(u'\\')) {
        *kind = TShortcutKind::Folder;
        if (options.IgnoreEmptyFolders || roots.contains(candidate, Qt::CaseInsensitive))
            return false;
        FillNa(record, na);
        return true;
    }
    const qsizetype dot = candidate.lastIndexOf(u'.');
    if (dot > candidate.lastIndexOf(u'\\') && candidate.mid(dot).toLower() == u".url") {
        *kind = TShortcutKind::Internet;
        FillNa(record, na);
        return true;
    }
    *kind = TShortcutKind::ShellLink;
    TShellLinkInfo info;
    if (!Services::ReadShellLink(candidate, info))
        return false;
    // A target that lost characters on its way into the link cannot be looked for.
    if (info.TargetUncertain)
        return false;
    QString target = info.Target;
    if (TargetExists(target))
        return false;
    if (target.contains(u'%')) {
        const QString expanded = WinEnvironment::Expand(target);
        if (expanded.size() <= 260) {
            target = expanded;
            if (TargetExists(target))
                return false;
        }
    }
    const TDriveMap &drives = WinFiles::DrivesOf();
    // Only a target known to be missing makes its shortcut invalid.
    if (drives.ToHost(target).State != TPathState::Missing)
        return false;
    switch (drives.DriveType(target.at(0).toUpper())) {
    case TDriveType::Removable:
    case TDriveType::CdRom:
        if (options.IgnoreRemovable)
            return false;
        break;
    case TDriveType::Remote:
        if (options.IgnoreNetwork)
            return false;
        break;
    case TDriveType::NoRootDir:
        return false;
    case TDriveType::Fixed:
        break;
    }
    record->Target = target;
    record->StartIn = info.WorkingDirectory;
    record->Parameters = info.Arguments;
    record->Comments = info.Description;
    record->IconPath = info.IconLocation;
    record->IconIndex = QString::number(info.IconIndex);
    return true;
}

int EntryCount(const QString &folder)
{
    const QString host = Services::HostPath(folder);
    if (host.isEmpty())
        return -1;
    DIR *dir = opendir(QFile::encodeName(host).constData());
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *e = readdir(dir)) {
        const char *n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        ++count;
    }
    closedir(dir);
    return count;
}

QStringList RemoveEmptyFolders(const QStringList &folders, bool permanent, std::shared_ptr<TDeletionFileLayer> layer)
{
    if (!layer)
        layer = FileDeletion::Layer();
    QStringList stayed;
    for (const QString &folder : folders) {
        // Checked right before its turn: a folder that got anything since the search keeps it.
        if (!Services::IsFolderEmpty(folder)) {
            if (WinFiles::DirectoryExists(folder))
                stayed << folder;
            continue;
        }
        const QString key = WinFiles::InsidePrefix(folder) ? layer->Resolve(folder) : QString();
        if (key.isEmpty() || !layer->Delete({key}, permanent))
            stayed << folder;
    }
    return stayed;
}

}  // namespace ShortcutScan

QList<TShortcutNode *> TShortcutTree::Place(const QString &candidate, const QString &root, TShortcutKind kind,
                                            const TShortcutRecord &record, const QString &na)
{
    // The base is the root less its last two names, so top-level nodes are profiles or the like.
    QStringList rootNames = WithBackslash(root).split(u'\\', Qt::SkipEmptyParts);
    rootNames = rootNames.mid(0, std::max<qsizetype>(0, rootNames.size() - 2));
    const QString base = rootNames.isEmpty() ? QString() : rootNames.join(u'\\') + u'\\';
    QString rest = candidate.startsWith(base, Qt::CaseInsensitive) ? candidate.mid(base.size()) : candidate;
    if (kind != TShortcutKind::Folder) {
        // Only the file's own extension: a folder named "x.lnk files" keeps its name.
        const qsizetype dot = rest.lastIndexOf(u'.');
        if (dot > rest.lastIndexOf(u'\\'))
            rest.truncate(dot);
    }
    QList<TShortcutNode *> made;
    const QStringList parts = rest.split(u'\\');
    std::vector<std::unique_ptr<TShortcutNode>> *level = &FTop;
    TShortcutNode *parent = nullptr;
    QString path = base;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        const QString &name = parts.at(i);
        if (name.isEmpty())
            continue;
        path += name + u'\\';
        // Matched by the folder it stands for, so two folders of one name stay two nodes.
        TShortcutNode *found = nullptr;
        for (const auto &node : *level) {
            if (node->Kind == TShortcutKind::Folder && node->Record.Path.compare(path, Qt::CaseInsensitive) == 0) {
                found = node.get();
                break;
            }
        }
        if (!found) {
            auto node = std::make_unique<TShortcutNode>();
            node->Text = name;
            node->Record.Path = path;
            FillNa(&node->Record, na);
            node->Parent = parent;
            found = node.get();
            level->push_back(std::move(node));
            made << found;
        }
        parent = found;
        level = &found->Children;
    }
    const QString name = parts.last();
    if (kind != TShortcutKind::Folder && !name.isEmpty()) {
        auto node = std::make_unique<TShortcutNode>();
        node->Text = name;
        node->Kind = kind;
        node->Record = record;
        node->Parent = parent;
        made << node.get();
        level->push_back(std::move(node));
    }
    return made;
}

void TShortcutTree::Mark(const QStringList &roots, const QStringList &shellFolders,
                         const std::function<int(const QString &)> &entryCountIn)
{
    const std::function<int(const QString &)> entryCount = entryCountIn ? entryCountIn : ShortcutScan::EntryCount;
    const QList<TShortcutNode *> nodes = Nodes();
    for (TShortcutNode *n : nodes) {
        if (n->Kind != TShortcutKind::Folder)
            continue;
        n->Protected = !n->Parent || shellFolders.contains(n->Record.Path, Qt::CaseInsensitive)
            || !WinFiles::InsidePrefix(n->Record.Path);
        for (const QString &root : roots)
            n->Protected = n->Protected || IsBelowOrSame(root, n->Record.Path);
    }
    // Every folder below must hold nothing but its nodes, all the way down.
    QHash<const TShortcutNode *, bool> known;
    std::function<bool(const TShortcutNode *)> clean = [&](const TShortcutNode *n) {
        const auto it = known.constFind(n);
        if (it != known.constEnd())
            return *it;
        bool result = !n->Protected && entryCount(n->Record.Path) == int(n->Children.size());
        for (const auto &child : n->Children)
            result = result && (child->Kind != TShortcutKind::Folder || clean(child.get()));
        known.insert(n, result);
        return result;
    };
    for (TShortcutNode *n : nodes)
        n->Marked = n->Kind == TShortcutKind::Folder && clean(n);
}

void TShortcutTree::Clear() { FTop.clear(); }

void TShortcutTree::Remove(TShortcutNode *node)
{
    std::vector<std::unique_ptr<TShortcutNode>> &siblings = node->Parent ? node->Parent->Children : FTop;
    for (auto it = siblings.begin(); it != siblings.end(); ++it) {
        if (it->get() == node) {
            siblings.erase(it);
            return;
        }
    }
}

QList<TShortcutNode *> TShortcutTree::Nodes() const
{
    QList<TShortcutNode *> out;
    for (const auto &node : FTop)
        CollectNodes(node.get(), out);
    return out;
}

int TShortcutTree::NodeCount() const { return int(Nodes().size()); }

int TShortcutTree::ShortcutCount() const
{
    int count = 0;
    for (const TShortcutNode *n : Nodes())
        count += n->Kind != TShortcutKind::Folder;
    return count;
}

QStringList TShortcutTree::ShortcutFiles(const TShortcutNode *node)
{
    QStringList files;
    if (node->Kind != TShortcutKind::Folder)
        files << node->Record.Path;
    for (const auto &child : node->Children)
        files << ShortcutFiles(child.get());
    return files;
}

QStringList TShortcutTree::MarkedFolders(const TShortcutNode *node)
{
    QStringList folders;
    for (const auto &child : node->Children)
        folders << MarkedFolders(child.get());
    if (node->Kind == TShortcutKind::Folder && node->Marked && !node->Protected)
        folders << node->Record.Path;
    return folders;
}

QStringList TShortcutTree::AllShortcutFiles() const
{
    QStringList files;
    for (const auto &node : FTop)
        files << ShortcutFiles(node.get());
    return files;
}

QStringList TShortcutTree::AllMarkedFolders() const
{
    QStringList folders;
    for (const auto &node : FTop)
        folders << MarkedFolders(node.get());
    return folders;
}

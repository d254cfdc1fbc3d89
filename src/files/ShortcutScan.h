// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the invalid-shortcut search without a window: roots, candidates, judgement, the folder tree, its marks and deletion.
//
// Paths are Windows paths of the current prefix; folders end in "\". A shortcut is invalid only
// when its target is known to be missing: a target that cannot be told (an unresolvable 8.3 name,
// a UNC path, a relative path, a drive letter with no root) keeps its shortcut.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class TDeletionFileLayer;

enum class TShortcutKind { Folder, ShellLink, Internet };

// The seven texts of a node.
struct TShortcutRecord {
    QString Path;  // the shortcut file, or the folder with a trailing "\"
    QString Target, StartIn, Parameters, Comments, IconPath, IconIndex;
};

struct TShortcutNode {
    QString Text;  // the folder name, or the shortcut's file name without its extension
    TShortcutKind Kind = TShortcutKind::Folder;
    TShortcutRecord Record;
    // " *": the folder is empty or holds only invalid shortcuts and folders that are marked too.
    bool Marked = false;
    // A root, a folder above one, a top-level (profile) node, a shell folder or a folder outside
    // the prefix: never marked, never deleted.
    bool Protected = false;
    TShortcutNode *Parent = nullptr;  // nullptr for a top-level node; the parent owns us
    std::vector<std::unique_ptr<TShortcutNode>> Children;

    QString DisplayText() const { return Marked ? Text + QStringLiteral(" *") : Text; }
};

struct TShortcutOptions {
    bool IgnoreRemovable = true;     // "Files on removable medias"
    bool IgnoreNetwork = true;       // "Files on network drives"
    bool IgnoreInternet = true;      // "Internet addresses"
    bool IgnoreEmptyFolders = false; // "Empty folders"
    QStringList SkipList;            // the Skip box's items; empty items are dropped
};

namespace ShortcutScan {

// Lets the user interface process pending events; true when a stop was asked.
using TPoll = std::function<bool()>;

// The start menus and desktops from HKCU and HKLM ...\Explorer\Shell Folders ("Start Menu",
// "Common Start Menu", then unless skipDesktop "Desktop", "Common Desktop"), each ending in "\";
// empty values and a folder already listed (case ignored) are left out.
QStringList Roots(bool skipDesktop);
// The shell's own folders: every value of "Shell Folders" and "User Shell Folders" (expanded)
// under HKCU and HKLM, each ending in "\": the cleaner never deletes them.
QStringList ShellFolders();

QStringList Masks(const TShortcutOptions &options);  // "*.lnk", plus "*.url" unless ignored

// True when a Skip item occurs in name, case ignored.
bool Skipped(const QString &name, const QStringList &skipList);

// GetFiles and GetDirectories over one root: shortcut files and (unless ignored) empty folders
// with a trailing "\". Hidden folders are not walked, and only folders inside the prefix itself
// are offered as empty. Duplicates may occur. Stops early when poll says so.
QStringList Collect(const QString &root, const TShortcutOptions &options, const TPoll &poll = {});

// Judges one candidate: true when it is listed. record is filled for a listed shell link or
// Internet shortcut (an Internet shortcut's link data is not read: na in the six texts); kind says
// what it is. A folder candidate is listed (it gets its folder nodes) unless empty folders are
// ignored or it is one of roots (the caller passes the roots and the shell folders: never listed).
bool Judge(const QString &candidate, const QStringList &roots, const TShortcutOptions &options,
           TShortcutRecord *record, TShortcutKind *kind, const QString &na = QStringLiteral("N/A"));

// Every entry of the folder other than "." and "..", whatever it is (links, hidden and odd names
// included); -1 when the folder cannot be listed.
int EntryCount(const QString &folder);

// Removes each folder in order, each only when it is empty and inside the prefix at its turn,
// through the deletion service's file layer (permanent, or to the recycle bin). Returns the
// folders that stayed.
QStringList RemoveEmptyFolders(const QStringList &folders, bool permanent,
                               std::shared_ptr<TDeletionFileLayer> layer = nullptr);

}  // namespace ShortcutScan

// The folder tree of one search.
class TShortcutTree
{
public:
    // Places a listed candidate found below root: the folder nodes from the base (root less its
    // last two names) down, then the shortcut node. Returns the nodes made, parents first.
    QList<TShortcutNode *> Place(const QString &candidate, const QString &root, TShortcutKind kind,
                                 const TShortcutRecord &record, const QString &na = QStringLiteral("N/A"));

    // Marks the folders that may go (see TShortcutNode::Marked) and protects the roots, the
    // folders above them and the shell folders. entryCount: ShortcutScan::EntryCount by default.
    void Mark(const QStringList &roots, const QStringList &shellFolders,
              const std::function<int(const QString &)> &entryCount = {});

    void Clear();
    // Removes node and everything below it.
    void Remove(TShortcutNode *node);

    const std::vector<std::unique_ptr<TShortcutNode>> &TopLevel() const { return FTop; }
    int NodeCount() const;
    int ShortcutCount() const;
    QList<TShortcutNode *> Nodes() const;  // in tree order (pre-order)

    // What deleting node removes: its shortcut files (the node itself or the shortcuts below it),
    // and the marked folders below it and itself, children before their folder.
    static QStringList ShortcutFiles(const TShortcutNode *node);
    static QStringList MarkedFolders(const TShortcutNode *node);
    // The same over the whole tree (Delete all).
    QStringList AllShortcutFiles() const;
    QStringList AllMarkedFolders() const;

private:
    std::vector<std::unique_ptr<TShortcutNode>> FTop;
};

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the undo manager's logic: which undo files there are, their entries and states, and putting entries back.
//
// Everything here works on a given prefix (nullptr: TWinePrefix::Current()) and needs no window.
#pragma once

#include "registry/UndoFiles.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;
struct TSettings;

// The kind of a node of the undo manager's tree (the numbers are the ones its records hold).
enum class TUndoNodeKind : quint8 { RegFile = 0, ListItemFile = 1, Folder = 2 };

namespace UndoManager {

// The three folders the tools write their undo files to (Windows or host paths, as the settings hold them).
struct TUndoFolders {
    QString Registry;   // the cleaner's "VKUndo*.reg"
    QString AddRemove;  // "*.reg"
    QString Startup;    // "*.reg" and "*.vku"

    // The settings' three folders; an empty one is the default the tools write to.
    static TUndoFolders FromSettings(const TSettings *settings, const QString &programFolder);
};
// The files of folder that match mask, as comma text of quoted full paths (the main window's file listing).
using TListFiles = std::function<QString(const QString &folder, const QString &mask)>;

// One sorted list of full paths without duplicates (locale order ignoring case), empty entries dropped.
// A folder without its closing separator gets one.
QStringList CollectFiles(const TUndoFolders &folders, const TListFiles &listFiles);

// ".vku" (any case) is a list-item file; any other name a REG file.
TUndoNodeKind FileKind(const QString &path);

// The rebuilt text of a REG undo file: each key line once (compared ignoring case), with an empty line
// before it unless one is already there; value lines under the first occurrence of their key line
// (those of a later occurrence directly below it, in their order); every other line in its order.
// A value line travels with the continuation lines ("\" at its end, the next line indented) that
// belong to it. A hex value line with its "\" marks inside the line (earlier versions) is broken after
// each mark. Rebuilding the result again changes nothing. Every entry gives back what it gave before
// (compared as the registry compares names): where the rebuilt text would read otherwise (a damaged
// file), the lines come back unchanged.
QStringList RebuildRegLines(const QStringList &lines);

// Physical lines -> value lines with their continuation lines joined ("hex:01,\" + "  02" -> "hex:01,02").
QStringList JoinContinuations(const QStringList &lines);

// What reading one undo file gave.
struct TLoadResult {
    QList<TUndoEntry> Entries;  // with their states against the live registry or INI file
    bool Read = false;          // the file could be read
    bool Rewritten = false;     // a REG file was saved back in its rebuilt form
    bool Stopped = false;       // the progress handler asked to stop: no entries, nothing rewritten
};
// How far a load has come, in steps of a whole that it says; false asks it to stop.
using TLoadProgress = std::function<bool(qint64 done, qint64 total)>;

// Maps a Windows path (or a host path, unchanged) to the host; empty when it names nothing there.
using THostPath = std::function<QString(const QString &path)>;
// The mapping through prefix's drives, used wherever a THostPath is left empty.
QString HostPathIn(const QString &path, const std::shared_ptr<TWinePrefix> &prefix);

// Reads the undo file hostPath of that kind; a REG file is then saved back rebuilt when that
// changes its text. A file that holds a NUL byte (a UTF-16 export, anything not ours) is read
// but never rewritten. Errors give an empty or partial list and no message.
// progress hears of each stage and of the entries' states as they are checked.
TLoadResult LoadFile(const QString &hostPath, TUndoNodeKind kind, const std::shared_ptr<TWinePrefix> &prefix = nullptr,
                     const THostPath &hostPathOf = {}, const TLoadProgress &progress = {});

// The list's order on one column (0 root, 1 key, 2 name, 3 data): the user's locale, case ignored;
// equal texts keep their order. Descending when not forward.
void SortEntries(QList<TUndoEntry *> &entries, int column, bool forward);

// State of an entry: REG values 2 present and equal (a restore would change nothing: same type and
// data; a quoted string also matches an expandable value, as the exports write those quoted),
// 3 present but different, 4 missing; list items 2 present, 4 missing.
qint32 EntryState(const TUndoEntry &entry, const std::shared_ptr<TWinePrefix> &prefix = nullptr,
                  const THostPath &hostPathOf = {});

// Writes the entry back: a REG value with the type its line gives (a quoted string into an existing
// expandable value stays expandable), a list item back where it was in its registry value or INI
// key (at the end for files of earlier versions; success without a change when it is already
// there). False with *error when nothing was written: an unknown root, a key that cannot be opened
// or created, a missing INI key, a line that gives no value back, a refused write (a running
// wineserver).
bool RestoreEntry(const TUndoEntry &entry, const std::shared_ptr<TWinePrefix> &prefix = nullptr,
                  const THostPath &hostPathOf = {}, QString *error = nullptr);
// The same for several entries, with their REG values in one write run: each hive is written once.
// True where entry i was written back; (*errors)[i] says why not.
QList<bool> RestoreEntries(const QList<TUndoEntry> &entries, const std::shared_ptr<TWinePrefix> &prefix,
                           const THostPath &hostPathOf, QStringList *errors);

// The undo manager's restore of the chosen entries of its list (RestoreEntries, in their order):
// each one written back reads as present and equal (State 2), the others keep their state.
struct TRestored {
    int Failures = 0;  // entries not written back
    QString Reason;    // the first failure's reason that is known
};
TRestored Restore(const QList<TUndoEntry *> &entries, const std::shared_ptr<TWinePrefix> &prefix = nullptr,
                  const THostPath &hostPathOf = {});

}  // namespace UndoManager

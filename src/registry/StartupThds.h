// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the startup locations of a prefix, their scanner thread, command resolution and the startup deletes.
//
// Locations are registry values and keys of the prefix's hives, the profile's Startup folders and
// the run lists of the prefix's win.ini. Paths the scanner reports are Windows paths.
#pragma once

#include "platform/Registry.h"
#include "registry/UndoFiles.h"
#include "shell/SharedThd.h"

#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;

struct TStartupRegEntry {
    QString KeyPath;    // below the root, no leading "\"
    TRootKey RootKey = TRootKey::CurrentUser;
    QString ValueName;  // empty: every string value of the key; else the one value holding a list
    bool RunOnce = false;
};

struct TStartupFolderEntry {
    QString Folder;  // ends in "\"
    bool Common = false;
};

struct TStartupIniEntry {
    QString FileName;  // Windows path of the INI file
    QString Section;
    QString Key;
    QChar Delimiter = u';';
};

struct TStartupLocations {
    QList<TStartupRegEntry> Registry;
    QList<TStartupFolderEntry> Folders;
    QList<TStartupIniEntry> Ini;
};

// The location table of prefix (nullptr: the current one). windowsFolder: where win.ini lies.
void BuildStartupLocations(TStartupLocations *locations, const QString &windowsFolder,
                           const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// A run list ("a.exe,\"C:\\Program Files\\b.exe\" /s") is cut at each delimiter outside double
// quotes into pieces; an item is a piece without the blanks and control characters around it, and
// an empty piece is no item. Blanks inside an item are its own.
struct TListPiece {
    qsizetype Start = 0;   // where the piece starts in the text
    qsizetype Length = 0;  // up to the next delimiter
    QString Item;          // the piece, trimmed
};
QList<TListPiece> StartupListPieces(const QString &text, QChar delimiter);
QStringList SplitStartupList(const QString &text, QChar delimiter);
// One item out of a list, every other character of the text as it was: the first item equal to
// item (as written, else ignoring case) goes with one delimiter next to it, the one before it (for
// the first piece the one after it, with the blanks up to the next item). *position is its piece's
// number, *removed the text that went. False when no item is equal.
bool RemoveStartupListItem(const QString &text, const QString &item, QChar delimiter, QString *result,
                           int *position, QString *removed);
// The reverse: the removed text back as piece number position (after the last piece when the list
// is now shorter), so that the list is again what it was. Into an empty text goes the item alone.
QString InsertStartupListItem(const QString &text, const QString &removed, int position, QChar delimiter);
// An item of an undo file without its removed text (files of earlier versions): at the end.
QString AppendStartupListItem(const QString &text, const QString &item, QChar delimiter);

class TStartupInspector final : public TSharedThd
{
public:
    using TFoundHandler = std::function<void(const QString &item, const QString &location, const QString &valueName,
                                             const QString &data, quint8 kind, int categoryIndex, QChar delimiter)>;
    using TProgressHandler = std::function<void(int position, int total)>;
    using TTotalHandler = std::function<void(int total)>;

    // mode 0 or 1: registry locations; 2: folders; 3: INI files; any other mode reads nothing.
    TStartupInspector(QObject *owner, quint8 mode, TFoundHandler onFound, TProgressHandler onProgress,
                      TTotalHandler onTotal, QList<TStartupFolderEntry> folders, QList<TStartupRegEntry> registryEntries,
                      QList<TStartupIniEntry> iniEntries, std::shared_ptr<TWinePrefix> prefix = nullptr);

    quint8 Mode() const { return FMode; }

protected:
    void DoWork() override;

private:
    bool Report(const QString &item, const QString &location, const QString &valueName, const QString &data,
                quint8 kind, int categoryIndex, QChar delimiter);
    bool Step();
    void ReadRegistry(const TStartupRegEntry &entry);
    void ReadFolder(const TStartupFolderEntry &entry);
    void ReadIni(const TStartupIniEntry &entry);

    const quint8 FMode;
    TFoundHandler FOnFound;
    TProgressHandler FOnProgress;
    TTotalHandler FOnTotal;
    const QList<TStartupFolderEntry> FFolders;
    const QList<TStartupRegEntry> FRegistryEntries;
    const QList<TStartupIniEntry> FIniEntries;
    std::shared_ptr<TWinePrefix> FPrefix;
    int FPosition = 0;
    int FTotal = 0;
};

// What a found item starts: the command file, its description and its state.
struct TStartupCommand {
    QString Path;         // the command file as resolved
    QString Description;  // "FileDescription" of the file, else the fallbacks by kind
    bool Exists = false;
    int State = 3;        // 2 exists, 3 suspicious (no drive), 4 missing on a drive
};

// Resolves found items against the prefix's files; windowsFolder and systemFolder as
// "C:\windows" and "C:\windows\system32".
class TStartupResolver
{
public:
    TStartupResolver(QString windowsFolder, QString systemFolder, std::shared_ptr<TWinePrefix> prefix = nullptr);
    TStartupCommand Resolve(const QString &item, const QString &valueName, quint8 kind) const;
    bool Exists(const QString &path) const;

private:
    QString Expanded(const QString &text) const;
    QString FWindowsFolder, FSystemFolder;
    std::shared_ptr<TWinePrefix> FPrefix;
};

// One found entry; the startup manager's category lists own them.
struct TStartupRecord {
    QString Description;  // "Program"
    QString Path;         // "File": the resolved command file
    QString Location;     // "Physical location"
    QString ValueName;    // "Value"
    QString Data;         // "Data"
    QString Item;         // the item as the location holds it (an INI item before resolution)
    int IconIndex = 13;
    int State = 3;        // 2 exists, 3 suspicious, 4 missing
    QChar Delimiter = u',';
    quint8 Kind = 0;      // 0 registry value, 1 registry list item, 2 Startup-folder file, 3 INI list item
};

// The deletes of the startup manager. Each writes its undo file first (when undoFile is not
// empty) and deletes nothing when that fails; a delete that fails after it removes that file again.
namespace StartupDelete {
enum class TResult {
    Deleted,
    KeyNotOpened,  // the registry key is gone
    UndoFailed,    // the undo file could not be written: nothing deleted
    UndoLossy,     // the undo data holds characters that the undo file cannot store: nothing deleted
    NotDeleted,    // value missing or empty, item not in the list, the write refused
    IniFailed,     // INI key missing, item not found, or the file could not be saved
    FileKept       // the Startup-folder file is still there after its delete
};

struct TOutcome {
    TResult Result = TResult::NotDeleted;
    QString Reason;  // why the registry, the INI file or the undo file could not be written, when known
};

// "HKEY_LOCAL_MACHINE\..." -> root and key: HKEY_LOCAL_MACHINE when the location names it, else
// HKEY_CURRENT_USER.
void SplitLocation(const QString &location, TRootKey *root, QString *keyPath);

// undoHeader: the whole REGEDIT4 header line; date and time fill the ".vku" first line.
// undoFile: host path of the undo file, empty for no undo file.
TOutcome DeleteRegValue(const QString &location, const QString &valueName, const QString &undoHeader,
                        const QString &undoFile, const std::shared_ptr<TWinePrefix> &prefix = nullptr);
TOutcome DeleteRegListItem(const QString &location, const QString &valueName, const QString &item, QChar delimiter,
                           const QString &date, const QString &time, const QString &undoFile,
                           const std::shared_ptr<TWinePrefix> &prefix = nullptr);
// iniHostFile: the INI file on the host; iniFile: its Windows path as the undo file names it.
TOutcome DeleteIniListItem(const QString &iniFile, const QString &iniHostFile, const QString &section,
                           const QString &key, const QString &item, QChar delimiter, const QString &date,
                           const QString &time, const QString &undoFile);

// Deletes files (Windows paths) on the program's deletion thread; onDone runs on the caller's thread.
using TFileDeleter = std::function<void(const QStringList &files, bool permanent, std::function<void(bool aborted)> onDone)>;

struct TRecordDelete {
    UndoFiles::TUndoPlan Undo;
    QString Date, Time;        // the first line of a list item's undo file
    bool Permanent = false;    // a Startup-folder file skips the recycle bin
    TFileDeleter DeleteFiles;  // empty: a Startup-folder file is not deleted, and onDone never runs
    std::shared_ptr<TWinePrefix> Prefix;
};

// The delete of one found entry of any kind. A registry entry whose key no longer opens gets no
// undo folder; the undo file is named after the entry's description (".reg" for a whole value,
// ".vku" for a list item) in the undo folder, made first, and nothing is deleted when either
// cannot be. onDone gets the outcome and the undo file as a message names it (empty when none was
// wanted) at once, except for a Startup-folder file: once the deletion thread is done with it,
// judged by whether the file is still there.
using TRecordDone = std::function<void(const TOutcome &outcome, const QString &undoFile)>;
void DeleteRecord(const TStartupRecord &record, const TRecordDelete &how, const TRecordDone &onDone);

// The three lines of a list-item undo file; fields: registry location, value name, item,
// delimiter (REG-data) or INI file, section, key, item, delimiter (INI-data), each followed by the
// item's piece number and the text that went (so that it goes back where it was).
QStringList VkuLines(bool ini, const QStringList &fields, const QString &date, const QString &time);
}

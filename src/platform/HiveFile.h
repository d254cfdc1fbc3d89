// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: one Wine text hive (system.reg, user.reg, userdef.reg): parsed for reading, saved byte-faithfully.
//
// The file text is kept in memory. Keys that were not changed are written back as the very bytes
// that were read; a changed key gets a new key-line time and "#time=", its untouched lines (options,
// unknown lines, unchanged values) stay as they were, changed values are rewritten in Wine's form
// and new values go after the key's last value. Keys that Wine leaves out of the file (those that
// have subkeys but no values) exist only as the paths of their subkeys.
//
// String escapes, as Wine reads them: \\ \" \a \b \e \f \n \r \t \v, octal \ooo (up to three
// digits), \xhhhh (up to four hex digits: Wine's reader is greedy, so its writer gives four digits
// whenever the next character is itself a hex digit, and one to four otherwise); any other
// escaped character stands for itself. Characters outside ASCII are written as \x escapes, as
// Wine writes them; bytes above 127 met unescaped in a file are read as UTF-8.
//
// Not thread-safe by itself: THiveSet guards every hive with one read-write lock.
#pragma once

#include "Registry.h"

#include <QByteArray>
#include <QReadWriteLock>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

struct THiveKey;

struct THiveValue {
    QString Name;           // "" is the default value ("@=")
    quint32 Type = 0;       // Wine's type number: 1 REG_SZ, 2 EXPAND_SZ, 3 BINARY, 4 DWORD, 7 MULTI_SZ ...
    int Off = -1;           // the value's lines in the hive text (with their line ends), when unchanged
    int Len = 0;
    int DataOff = 0;        // where the data ("...", str(2):, dword:, hex:) starts inside those lines
    int OrigIndex = -1;     // the value's position among its key's values in the file; -1 when new
    QByteArray Own;         // the value's regenerated lines, when changed or new
    // Wine's loader could not read the data: the value is REG_NONE with no data (Type 0), and
    // its lines are every line the loader read for it.
    bool Malformed = false;
    bool Dangling = false;  // malformed hex data that asked for a line after the end of the file
    // The later block of its key whose lines hold it (a key written twice); nullptr: the key's own.
    const THiveKey *Home = nullptr;
};

struct THiveKey {
    QString Name;                      // as stored, case kept
    QString Folded;                    // upper-cased for ordering and comparison
    THiveKey *Parent = nullptr;        // non-owning; the hive owns every key
    std::vector<THiveKey *> Children;  // sorted by Folded
    std::vector<THiveValue> Values;    // in stored order
    int BlockOff = -1;                 // the key's block in the hive text (from "[" to the next key)
    int BlockLen = 0;
    quint64 FileTime = 0;              // "#time=", 100 ns since 1601
    qint64 UnixTime = 0;               // the key line's time
    bool HasTime = false;
    bool IsLink = false;               // "#link": the value "SymbolicLinkValue" names the target
    bool Dirty = false;                // to be regenerated on save
    bool NewBlock = false;             // written on save though the file has no block for it yet
    bool Deleted = false;
    bool EndsDangling = false;         // its last value is hex data that asked for a line after the file's end
    // A key written twice has a block for each time: the later ones, made with no name, name the
    // key as Owner and are in its MoreBlocks.
    THiveKey *Owner = nullptr;
    std::vector<THiveKey *> MoreBlocks;
};

// Name comparison as Windows and wineserver do it: each UTF-16 unit upper-cased, then ordinal.
QString FoldName(const QString &name);

namespace HiveText {
// A string escaped as Wine writes it; extra: further characters to escape ("\"" for values, "[]" for key names).
QByteArray Escape(const QString &text, const char *extra);
// Decodes an escaped string starting after the opening quote at pos; stops at an unescaped
// terminator, leaving pos on it. False when the text ends first.
bool Unescape(const QByteArray &text, int &pos, char terminator, QString *out);
// The value's lines: `"name"=` or `@=`, then the data in Wine's form, ending with "\n".
QByteArray FormatValue(const QString &name, quint32 type, const QByteArray &data);
QByteArray FormatStringValue(const QString &name, quint32 type, const QString &text);
// UTF-16LE bytes of text, with a two-byte terminator when asked, as Windows stores strings.
QByteArray Utf16(const QString &text, bool terminator);
// FILETIME (100 ns since 1601, UTC) of a moment and back.
quint64 ToFileTime(const QDateTime &utc);
QDateTime FromFileTime(quint64 fileTime);
}

class THiveFile
{
public:
    // relativeTo: the header's ";; All keys relative to" path, unescaped, for a file made from
    // nothing: \Machine, \User\S-1-5-21-0-0-0-1000 or \User\.Default (one backslash each).
    THiveFile(const QString &path, const QString &relativeTo);
    ~THiveFile();

    QString Path() const { return FPath; }
    // Reads the file; a missing file gives an empty hive. False (with the reason) when the
    // file exists but cannot be read or is no Wine hive: the hive is then empty and read-only.
    bool Load(QString *error = nullptr);
    bool LoadText(const QByteArray &text, QString *error = nullptr);
    // Why the last load gave an empty hive although the file holds something; empty when it did not.
    QString LoadError() const { return FLoadError; }
    // Makes the text of the hive as it stands the loaded text and returns it (Save writes it).
    QByteArray SaveText();
    // Writes the file atomically (temporary file in the same folder, flush, rename).
    bool Save(QString *error);
    // What writes a hive's text to its file; tests put failures in here. Empty: the real writer.
    using TWriter = std::function<bool(const QString &path, const QByteArray &text, QString *error)>;
    static void SetWriter(TWriter writer);
    static bool WriteFileAtomically(const QString &path, const QByteArray &text, QString *error);
    bool ChangedOnDisk() const;  // another program wrote the file since it was loaded or saved
    // Whether Save can be expected to go through (a Wine hive, the file and its folder writable);
    // false with the reason.
    bool CanSave(QString *why) const;
    bool IsWritable() const { return FWritable; }
    QString HeaderRelativeTo() const;  // from ";; All keys relative to ...", unescaped
    QByteArray Arch() const;           // "#arch=" of the header, e.g. "win64"; empty when none
    // The "#arch=" a file made from nothing gets (the other hives' one).
    void SetNewFileArch(const QByteArray &arch) { FNewArch = arch; }

    THiveKey *Root() { return FRoot; }
    static THiveKey *Child(const THiveKey *key, const QString &name);
    THiveKey *CreateChild(THiveKey *parent, const QString &name);  // existing or new
    void DeleteKey(THiveKey *key);                                 // with all its subkeys
    static THiveValue *FindValue(THiveKey *key, const QString &name);
    static const THiveValue *FindValue(const THiveKey *key, const QString &name);
    void SetValue(THiveKey *key, const QString &name, quint32 type, const QByteArray &data);
    void SetStringValue(THiveKey *key, const QString &name, quint32 type, const QString &text);
    bool DeleteValue(THiveKey *key, const QString &name);
    // A change: new times, regenerated on save. A key the file holds only as a path gets a
    // block of its own only with materialize.
    void Touch(THiveKey *key, bool materialize = true);

    // The value's lines as they stand.
    QByteArray ValueText(const THiveValue &value) const;
    // Data of string forms ("...", str(N):); for hex forms of types 1, 2, 6 and 7 the UTF-16
    // text with trailing NULs cut. A multi-string keeps its "\0" separators.
    QString ValueString(const THiveValue &value) const;
    // The raw bytes (strings as UTF-16LE with their terminator, as Windows stores them).
    QByteArray ValueBytes(const THiveValue &value) const;
    QString LinkTarget(const THiveKey *key) const;  // "\Registry\Machine\..."; empty when none

private:
    THiveKey *NewKey(THiveKey *parent, const QString &name);
    void Clear();
    // Reads the block of the key line at off: its lines up to the next key line as Wine's loader
    // reads them (hex data takes the lines it asks for). Returns where the block ends; spans
    // gets every value's lines, also those of values a later one of the same name replaces.
    int ParseBlock(int off, std::vector<std::pair<int, int>> *spans);
    // followed: more text comes after the block.
    void AppendBlock(QByteArray &out, THiveKey *key, bool followed);
    QByteArray KeyLine(const THiveKey *key) const;
    void StatFile();

    QString FPath;
    QString FRelativeTo;
    QByteArray FNewArch;
    QByteArray FText;
    int FHeaderLen = 0;
    THiveKey *FRoot = nullptr;
    std::vector<std::unique_ptr<THiveKey>> FKeys;  // every key ever made since the last load
    std::vector<THiveKey *> FBlocks;               // keys with a block, in file order
    bool FWritable = true;
    QString FLoadError;
    qint64 FDiskSize = -1;
    qint64 FDiskMtimeNs = -1;
    quint64 FDiskInode = 0;
};

enum class THiveId { System, User, UserDefault };

// The three hives of one prefix, loaded on first use, guarded by one read-write lock: readers
// share it, writers hold it alone.
class THiveSet
{
public:
    explicit THiveSet(const QString &prefixFolder);
    ~THiveSet();

    void EnsureLoaded();  // call before taking the lock
    QReadWriteLock &Lock() { return FLock; }
    THiveFile &Hive(THiveId id);
    QString UserSid();    // from user.reg's header; Wine's usual S-1-5-21-0-0-0-1000 otherwise
    // Drops what was loaded; the next use reads the files again.
    void Unload();
    // Changes on every reload and every write: accessors keep resolved keys while it stays the same.
    quint64 Generation() const { return FGeneration.load(std::memory_order_acquire); }
    void Bump() { FGeneration.fetch_add(1, std::memory_order_acq_rel); }
    // Under the write lock: hives that another program changed since they were read are read again.
    void ReloadChanged();
    // The hives that could not be read (each one's LoadError), in the order system, user, default user.
    QStringList LoadErrors();
    // The same, taking the lock itself; a no-op before the first load.
    void RefreshIfChanged();

private:
    QString FFolder;
    QReadWriteLock FLock;
    std::atomic<bool> FLoaded{false};
    std::atomic<quint64> FGeneration{1};
    std::unique_ptr<THiveFile> FHives[3];
    QString FSid;
};

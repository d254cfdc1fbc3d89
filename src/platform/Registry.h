// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the Windows registry of a Wine prefix, read from and written to its text hive files.
//
// The roots map onto the prefix's hives: HKEY_LOCAL_MACHINE = system.reg, HKEY_CURRENT_USER =
// user.reg, HKEY_USERS holds ".Default" (userdef.reg) and the user's SID key (the same tree as
// HKEY_CURRENT_USER); HKEY_CLASSES_ROOT reads HKCU\Software\Classes over HKLM\Software\Classes and
// writes to HKLM\Software\Classes. Names compare ignoring case and keep their case.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>

class TWinePrefix;

enum class TRootKey { None, ClassesRoot, CurrentUser, LocalMachine, Users };

enum class TRegDataType {
    None,          // no such value
    String,        // REG_SZ
    ExpandString,  // REG_EXPAND_SZ, str(2)
    MultiString,   // REG_MULTI_SZ, str(7)
    Integer,       // REG_DWORD
    Binary,        // REG_BINARY, hex:
    Other          // any other hex(N) type; kept byte for byte, never edited
};

// Raised by reads of a missing or mistyped value and by every write that did not happen.
class ERegistryException : public std::runtime_error
{
public:
    explicit ERegistryException(const QString &message);
    QString Message() const;
};

// "HKEY_LOCAL_MACHINE" <-> TRootKey; empty text / TRootKey::None for anything else.
QString RootKeyName(TRootKey root);
TRootKey RootKeyFromText(const QString &name);

// The keys a fixed key stands for, each below root: the key itself and, for a key below
// HKLM\Software in a 64-bit prefix, its twin below Software\Wow6432Node, where 32-bit programs
// (most installers) write. prefix nullptr: TWinePrefix::Current().
QStringList FixedKeyPaths(TRootKey root, const QString &keyPath, std::shared_ptr<TWinePrefix> prefix = nullptr);

// One value of a delete run (TRegistry::DeleteValues), and what became of it.
struct TValueDeletion {
    enum class TResult { Deleted, Gone, Refused, Changed };
    TRootKey Root = TRootKey::None;
    QString KeyPath;    // below the root, without a leading "\"
    QString ValueName;
    // With CheckData, the value goes only while it still holds what the caller saw: this type
    // number and this text (a string's text, compared as stored); otherwise it stays, Changed.
    bool CheckData = false;
    quint32 ExpectedType = 1;
    QString ExpectedText;
    TResult Result = TResult::Refused;
    QString Error;      // why it was refused; empty when the run's own check said no
};

// One value of a write run (TRegistry::WriteValues), and whether it was written.
struct TValueWrite {
    TRootKey Root = TRootKey::None;
    QString KeyPath;    // below the root, without a leading "\"; made when missing
    QString ValueName;
    quint32 Type = 1;   // the type number (REG_SZ 1 ... REG_QWORD 11)
    QByteArray Data;    // the bytes as Windows stores them (TRegistry::StringData ...)
    bool Written = false;
    QString Error;      // why it was not written
};

// One accessor with a current key, in the manner of a registry wrapper object. Each scanner thread
// has its own accessors; the hives behind them are shared and safe for concurrent reads.
//
// Paths: a path that starts with "\" is absolute from the root; otherwise it is relative to the
// current key. Opening "\X" makes CurrentPath() "X"; opening "\" makes it empty; opening "N"
// relative to current path P makes it P + "\" + N.
class TRegistry
{
public:
    // prefix == nullptr means TWinePrefix::Current().
    explicit TRegistry(TRootKey root = TRootKey::CurrentUser, std::shared_ptr<TWinePrefix> prefix = nullptr);
    ~TRegistry();
    TRegistry(const TRegistry &) = delete;
    TRegistry &operator=(const TRegistry &) = delete;

    void SetRootKey(TRootKey root);  // closes the current key
    TRootKey RootKey() const;

    // False when the key does not exist (or, with canCreate, cannot be created).
    bool OpenKey(const QString &path, bool canCreate);
    bool OpenKeyReadOnly(const QString &path);
    void CloseKey();
    QString CurrentPath() const;
    bool HasCurrentKey() const;

    bool KeyExists(const QString &path) const;  // relative to the current key, or absolute
    bool HasSubKeys() const;
    QStringList GetKeyNames() const;    // sorted ignoring case, as Windows enumerates them
    QStringList GetValueNames() const;  // in stored order; "" is the default value
    bool ValueExists(const QString &name) const;
    TRegDataType GetDataType(const QString &name) const;  // None when missing
    // The type as the hive stores it (REG_NONE 0, REG_SZ 1 ... REG_QWORD 11); only for a value that exists.
    quint32 GetTypeNumber(const QString &name) const;
    QDateTime LastWriteTime() const;                      // UTC, as stored; invalid when unknown

    // Reads throw ERegistryException when the value is missing or of another kind.
    QString ReadString(const QString &name) const;        // String or ExpandString (not expanded)
    QStringList ReadMultiString(const QString &name) const;
    quint32 ReadInteger(const QString &name) const;
    QByteArray ReadBinaryData(const QString &name) const; // Binary or Other: the raw bytes

    // Writes and deletes act on the hive file at once (saved atomically). They throw
    // ERegistryException, or return false, when nothing was written; the text says why
    // (a running wineserver, no prefix, a read-only accessor, a file that cannot be saved).
    void WriteString(const QString &name, const QString &value);
    void WriteExpandString(const QString &name, const QString &value);
    void WriteInteger(const QString &name, quint32 value);
    void WriteBinaryData(const QString &name, const QByteArray &value);
    bool DeleteValue(const QString &name);
    bool DeleteKey(const QString &path);  // with all its subkeys
    QString LastError() const;            // why the last failed call failed

    // A delete run: the values go under one lock, on the current state of the files, and each hive
    // that lost a value is written once, atomically, after its last change. beforeWrite gets the
    // indexes of the values about to go and runs before anything is written, and only when at least
    // one is (it writes the undo text); false from it keeps every value. Then the write guard is
    // asked a last time, and commit runs (it puts the undo text in place) just before the first hive
    // changes; false from it keeps every value, Refused with its reason. A value whose key or value
    // is gone is Gone; a value of a hive that cannot be written, or while writes are refused, is
    // Refused with the reason and stays. A value checked for its data is looked at again just before
    // it goes, under the lock on the files as they are then.
    using TBeforeDeletion = std::function<bool(const QList<int> &indexes)>;
    using TCommitDeletion = std::function<bool(QString *why)>;
    static void DeleteValues(QList<TValueDeletion> &values, const TBeforeDeletion &beforeWrite,
                             std::shared_ptr<TWinePrefix> prefix = nullptr, const TCommitDeletion &commit = {});
    // A write run, the same way: the values are set under one lock, their keys made where missing,
    // and each hive that changed is written once. The values of a hive that cannot be written, or
    // all of them while writes are refused, are not Written and say why.
    static void WriteValues(QList<TValueWrite> &values, std::shared_ptr<TWinePrefix> prefix = nullptr);

    // The bytes Windows stores a value of each kind as: UTF-16LE text with its terminator; a
    // little-endian number; each item of a multi-string with its terminator, then one more.
    static QByteArray StringData(const QString &text);
    static QByteArray IntegerData(quint32 value);
    static QByteArray MultiStringData(const QStringList &items);

private:
    struct TImpl;
    std::unique_ptr<TImpl> d;
};

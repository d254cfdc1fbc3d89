// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry undo files: REGEDIT4 text (".reg"), list items (".vku"), the cleaner's rotation.
//
// Files are 8-bit text in the prefix's ANSI code page with CR LF line ends. A character that has no
// byte in that code page makes a write fail: an undo file that cannot give the data back is no undo.
#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class TWinePrefix;

// One line of the undo manager's list.
struct TUndoEntry {
    QString Root;       // root name / INI file path
    QString Key;        // key path / section
    QString ValueName;  // value name ("" = the default value) / INI key
    QString Data;       // the data text as in the file, unescaped / the item
    qint32 State = 4;   // 2 present and equal, 3 present but different, 4 missing
    quint8 Kind = 0;    // 0 REG value, 1 INI list item, 2 registry list item
    QChar Delimiter = u',';
    // REG values: the type the line gives back (quoted data String; unquoted "dword:" Integer,
    // "hex:" Binary, "hex(2):" ExpandString, "hex(7):" MultiString, any other "hex(N):" Other;
    // None for a line that gives no value back: broken data), with the value itself.
    TRegDataType Type = TRegDataType::String;
    quint32 Number = 0;
    QByteArray Bytes;   // Binary and Other: the bytes; ExpandString and MultiString: the ANSI bytes read
    quint32 TypeNumber = 1;  // the type the value gets back: 1 quoted, 3 "hex:", 4 "dword:", N "hex(N):"
    // List items: the item's piece number and the text that went with it (delimiter and blanks), so
    // that it goes back where it was; -1 and empty in files of earlier versions.
    int Position = -1;
    QString Removed;
};

namespace UndoFiles {
// The default-value marker and the quoted-name part of a value line (the name escaped as data is).
QString NamePart(const QString &valueName);
// A name or string data as Wine's regedit exports and reads them: "\" written "\\", '"' written
// '\"', a carriage return "\r" and a line feed "\n"; nothing else escaped.
QString EscapeData(const QString &data);
// The readers' reverse: "\\" and '\"' give one character, and with lineBreaks "\r" and "\n" too
// (string data only: names in files of earlier versions stand as they are, "C:\new.dll"); any other
// "\" stays with what follows it.
QString UnescapeText(const QString &text, bool lineBreaks = false);
// A value name that a value line gives back as it is: no line break (the readers take "\n" in a
// name as it stands), every character in the code page.
bool IsStorableName(const QString &name);
// "[" + root + "\" + key + "]"; key without a leading "\".
QString KeyLine(const QString &rootName, const QString &keyPath);

// The box's text when a registry entry named name stays: with the reason when one is known,
// else the words that there is none.
QString RegistryDeleteFailedText(const QString &name, const QString &reason);
// Value lines of each type (name part included).
QString StringLine(const QString &valueName, const QString &data);
QString DwordLine(const QString &valueName, quint32 number);
QString BinaryLine(const QString &valueName, const QByteArray &bytes);
// A value of any other type as regedit exports it: "hex(N):" with N the type number in hexadecimal
// ("hex(b):" a REG_QWORD, "hex(0):" a REG_NONE) and the bytes as stored, on one line.
QString TypedLine(const QString &valueName, quint32 type, const QByteArray &bytes);
// Bytes as "hex:" writes them: two upper-case digits each, ","-separated; after the comma that
// follows the byte with index 25, 50, 75 ... a "\", CR LF and two blanks (the value goes on in an
// indented line). A line that holds such a text is more than one line of the file.
QString HexText(const QByteArray &bytes);
// Hex data without its "\" marks, line breaks and blanks: files of earlier versions wrote the
// "\" in the same line, and both forms mean the same bytes.
QString UnbrokenHex(const QString &text);
// The file's lines with every value line joined to the indented lines that continue it (a "\" at
// the end of the line before); lines that themselves hold CR LF are split first.
QStringList JoinContinuations(const QStringList &lines);
// An expandable string keeps its type: "hex(2):" and the ANSI bytes of the text with its
// terminating zero (a plain quoted string would come back as REG_SZ and never expand again), on
// one line without the "\" marks of HexText.
// False when the text has a character outside the code page.
bool ExpandLine(const QString &valueName, const QString &data, QString *line);
// A multi-string the same way: "hex(7):", each item's ANSI bytes and a zero, then one more zero.
bool MultiStringLine(const QString &valueName, const QStringList &items, QString *line);
// The items of a multi-string's ANSI bytes (as hex(7) holds them), empty ones inside the list kept.
QStringList MultiStringItems(const QByteArray &ansi);
// The bytes regedit stores for the ANSI bytes of a hex(1), hex(2) or hex(7) line: a zero added when
// the last byte is none, then each character as UTF-16.
QByteArray RegeditStringBytes(const QByteArray &ansi);

// The line that gives a live value back with its type and data, whatever its type; false (line
// empty) when it cannot be written without loss or the value is missing.
bool LiveValueLine(const TRegistry &registry, const QString &valueName, QString *line);

// True when every character of text has a byte in the prefix's ANSI code page.
bool IsLossless(const QString &text);
// The ANSI bytes, CR LF after every line; false (and *error) when a character cannot be encoded.
bool EncodeLines(const QStringList &lines, QByteArray *bytes, QString *error);

// Writes lines to the host file hostPath whole and on disk, or not at all: a failed write leaves the
// old file as it was. False with *error: the reason alone ("No space left on device"), or the
// character the code page cannot hold.
bool SaveUndoText(const QString &hostPath, const QStringList &lines, QString *error);

// A file name made of an entry's name: the characters a Windows file name cannot hold (and the
// separators of both systems) become blanks; "Entry" when nothing is left.
QString BaseName(const QString &name);

// The folder an undo-folder setting names, as written (a Windows or host path); empty gives the
// default, programFolder's "Undo" (a host path), and stays empty without a program folder.
QString UndoFolder(const QString &setting, const QString &programFolder);
// The host folder an undo-folder setting names: a host path as it is; a Windows path ("C:\x" or
// "C:/x") through prefix's drives, each name matched ignoring case and a missing rest as written
// (the folder is made when a file goes there); empty the default, programFolder's "Undo". Empty
// when it names no place on the host: a relative or UNC path, an unknown drive, a short name.
QString UndoFolderHost(const QString &setting, const QString &programFolder,
                       const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// "VKUndo01.reg" .. "VKUndo99.reg" in folder (a host folder with or without its "/").
QString NumberedFileName(const QString &folder, int number);

// Where a delete run's undo text waits in folder until the run may delete: a hidden name that no
// lister of undo files ("*.reg", "*.vku") takes for one.
QString StagedFileName(const QString &folder);

// Rotation, once the cleaner's first undo text of a program run is whole on disk in staged (a file in
// hostFolder) and the run is about to delete: file Levels goes, n-1 becomes n from Levels down to 2,
// and staged becomes the new file 01 (made unique by uniqueName(folder, "VKUndo01.reg") when the
// name is still taken). Returns the new file's path. A rotation that cannot complete is undone: every
// old file keeps its name and bytes, staged stays for the caller to remove, and the result is empty
// with *error. Levels is clamped to 1..99.
using TUniqueName = std::function<QString(const QString &folder, const QString &fileName)>;
QString RotateNumberedFiles(const QString &hostFolder, int levels, const QString &staged, const TUniqueName &uniqueName,
                            QString *error);

// How a tool's delete of one entry writes its undo file.
struct TUndoPlan {
    bool Write = true;
    QString FolderHost;               // the undo folder on the host; empty when the setting names none
    TUniqueName UniqueName;           // a free name in the folder; empty: the name as it is
    std::function<QString()> Header;  // the REG form's first lines; empty: "REGEDIT4"
};

// The reader of the REG form; lines as in the file (already decoded), continued or not. Every value
// line gives an entry with State 4; the caller sets State from the live registry
// (UndoManager::EntryState). The Data of a "hex" line is its unbroken text.
QList<TUndoEntry> ReadRegLines(const QStringList &lines);
// The reader of the ".vku" form: no entry without a line beginning with "=".
QList<TUndoEntry> ReadVkuLines(const QStringList &lines);
// A file's lines, decoded from the ANSI code page; false when it cannot be read.
bool ReadLines(const QString &hostPath, QStringList *lines);
}

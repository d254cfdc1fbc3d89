// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: an in-memory INI file with the semantics of Windows profile files, saved atomically.
//
// The whole file is read when the object is made; reads and writes work on the copy; UpdateFile
// writes the whole file back at once. Section and key names compare ignoring case and keep their
// case. A write replaces a value in place, appends a new key after the last key of its section and
// a new section at the end of the file; comments (";"), blank lines, unknown keys and every line
// that no write touched keep their bytes and line ends. Names and values are trimmed of blanks and
// control characters, as the profile functions do; enclosing quotes are kept, because list values
// are comma text that starts and ends with a quote.
//
// Bytes: 8-bit text in the prefix's ANSI code page, new lines ending in CR LF; a file that starts
// with a UTF-8 or UTF-16LE byte-order mark is read and written in that form.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class TIniFile
{
public:
    // Loads fileName (a host path); a missing file is an empty INI file that the first UpdateFile
    // creates. An unreadable file is also empty, and ErrorString() says why. codePage 0 means the
    // current prefix's ANSI code page.
    explicit TIniFile(const QString &fileName, int codePage = 0);

    const QString &FileName() const { return FFileName; }
    // Files holding secrets are written readable by their owner only (0600), also when they were not.
    void SetOwnerOnly(bool ownerOnly) { FOwnerOnly = ownerOnly; }
    bool Modified() const { return FModified; }
    // The text of the last failure of the load or of UpdateFile; empty when none.
    const QString &ErrorString() const { return FError; }

    QString ReadString(const QString &section, const QString &key, const QString &defaultValue) const;
    // Decimal, "$" or "0x" hexadecimal, optionally signed; a missing or unreadable value gives the default.
    int ReadInteger(const QString &section, const QString &key, int defaultValue) const;
    // An integer other than 0 is true.
    bool ReadBool(const QString &section, const QString &key, bool defaultValue) const;

    // Line breaks in a value become blanks: a value is one line. An empty key name writes nothing.
    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, int value);
    void WriteBool(const QString &section, const QString &key, bool value);  // "1" or "0"

    QStringList ReadSection(const QString &section) const;  // key names in file order
    QStringList ReadSections() const;                       // section names in file order
    bool SectionExists(const QString &section) const;
    bool ValueExists(const QString &section, const QString &key) const;
    void DeleteKey(const QString &section, const QString &key);  // every line of that key
    void EraseSection(const QString &section);                   // with its keys and comments

    // Writes the whole file through the checked writer: all of it on disk, or the old file as it was.
    // False, with ErrorString() ("Cannot write <file>: <reason>"), when it cannot be written or a
    // character has no byte in the code page.
    bool UpdateFile();
    // Whether the file's encoding has a byte for every character of text.
    bool CanHold(const QString &text) const;
    // What UpdateFile writes; false (and error set) when a character cannot be encoded.
    bool ToBytes(QByteArray *bytes, QString *error = nullptr) const;

private:
    enum class TEncoding { Ansi, Utf8Bom, Utf16LeBom };

    struct TLine {
        QByteArray Raw;  // the bytes as read, without the line end; used while the line is unchanged
        QByteArray End;  // "\r\n", "\n", "\r", or empty on a last line without an end
        QString Text;    // the decoded line
        bool Changed = false;
        bool IsKey = false;
        QString Key;     // trimmed name before the first "="
        QString Value;   // trimmed text after it
    };
    struct TSection {
        bool HasHeader = false;  // only the lines before the first section have none
        TLine Header;
        QString Name;
        QList<TLine> Lines;
    };

    void Load();
    void Parse(const QList<TLine> &lines);
    static void ParseKey(TLine &line);
    const TLine *FindKey(const QString &section, const QString &key) const;
    TSection *FirstSection(const QString &section);

    QString FFileName;
    QString FError;
    int FCodePage;
    bool FOwnerOnly = false;
    bool OnDiskAlready(const QByteArray &bytes) const;
    bool FModified = false;
    TEncoding FEncoding = TEncoding::Ansi;
    QByteArray FOddLastByte;  // of a UTF-16 file
    QList<TSection> FSections;  // [0] holds the lines before the first section header
};

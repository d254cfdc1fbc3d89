// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: writers, readers and rotation of the registry undo files.
#include "UndoFiles.h"

#include "registry/AnsiText.h"

#include "platform/CommaText.h"
#include "platform/DriveMap.h"
#include "platform/DurableFile.h"
#include "platform/WinFiles.h"
#include "shell/IniLang.h"
#include "shell/SafeFormat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>

namespace UndoFiles {

namespace {
// regedit skips a whole value whose hex data has a "\" inside a line; after a "\" it wants the
// line to end, and the next one indented, as its own exports are.
const QString HexBreak = QStringLiteral("\\\r\n  ");
}

QString NamePart(const QString &valueName)
{
    if (valueName.isEmpty())
        return QStringLiteral("@=");
    return u'"' + EscapeData(valueName) + QStringLiteral("\"=");
}

QString EscapeData(const QString &data)
{
    QString out;
    out.reserve(data.size() + 8);
    for (const QChar c : data) {
        if (c == u'\r') {
            out += QStringLiteral("\\r");
        } else if (c == u'\n') {
            out += QStringLiteral("\\n");
        } else {
            if (c == u'\\' || c == u'"')
                out += u'\\';
            out += c;
        }
    }
    return out;
}

bool IsStorableName(const QString &name)
{
    return !name.contains(u'\r') && !name.contains(u'\n') && IsLossless(name);
}

namespace {
bool IsEscaped(const QString &text, qsizetype backslash)
{
    return backslash + 1 < text.size() && (text.at(backslash + 1) == u'\\' || text.at(backslash + 1) == u'"');
}
}

QString UnescapeText(const QString &text, bool lineBreaks)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'\\' && lineBreaks && i + 1 < text.size() && (text.at(i + 1) == u'n' || text.at(i + 1) == u'r')) {
            out += text.at(++i) == u'n' ? u'\n' : u'\r';
            continue;
        }
        if (text.at(i) == u'\\' && IsEscaped(text, i))
            ++i;
        out += text.at(i);
    }
    return out;
}

QString KeyLine(const QString &rootName, const QString &keyPath)
{
    QString key = keyPath;
    while (key.startsWith(u'\\'))
        key.remove(0, 1);
    // A value of the hive's root key: "[HKEY_CURRENT_USER]", as regedit writes and reads it.
    return key.isEmpty() ? u'[' + rootName + u']' : u'[' + rootName + u'\\' + key + u']';
}

QString StringLine(const QString &valueName, const QString &data)
{
    return NamePart(valueName) + u'"' + EscapeData(data) + u'"';
}

QString DwordLine(const QString &valueName, quint32 number)
{
    return NamePart(valueName) + QStringLiteral("dword:") + QStringLiteral("%1").arg(number, 8, 16, QChar(u'0')).toUpper();
}

QString HexText(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size() * 3 + bytes.size() / 5);
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += u',';
            if (i % 25 == 1 && i > 1)
                out += HexBreak;
        }
        out += QStringLiteral("%1").arg(quint8(bytes[i]), 2, 16, QChar(u'0')).toUpper();
    }
    return out;
}

QString UnbrokenHex(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text)
        if (c != u'\\' && c != u'\r' && c != u'\n' && c != u' ' && c != u'\t')
            out += c;
    return out;
}

QStringList JoinContinuations(const QStringList &lines)
{
    QStringList physical;
    physical.reserve(lines.size());
    for (const QString &line : lines) {
        if (!line.contains(u'\n')) {
            physical.append(line);
            continue;
        }
        for (QString part : line.split(u'\n')) {
            if (part.endsWith(u'\r'))
                part.chop(1);
            physical.append(part);
        }
    }
    auto isContinuation = [](const QString &line) { return line.startsWith(u' ') || line.startsWith(u'\t'); };
    QStringList out;
    out.reserve(physical.size());
    for (qsizetype i = 0; i < physical.size(); ++i) {
        QString line = physical.at(i);
        if (line.startsWith(u'"') || line.startsWith(u'@')) {
            while (line.endsWith(u'\\') && i + 1 < physical.size() && isContinuation(physical.at(i + 1))) {
                line.chop(1);
                const QString &next = physical.at(++i);
                qsizetype start = 0;
                while (start < next.size() && (next.at(start) == u' ' || next.at(start) == u'\t'))
                    ++start;
                line += next.mid(start);
            }
        }
        out.append(line);
    }
    return out;
}

QString BinaryLine(const QString &valueName, const QByteArray &bytes)
{
    return NamePart(valueName) + QStringLiteral("hex:") + HexText(bytes);
}

QString TypedLine(const QString &valueName, quint32 type, const QByteArray &bytes)
{
    // One line without the in-line "\" marks: regedit takes a "\" in hex data for a line break.
    QStringList hex;
    hex.reserve(bytes.size());
    for (const char b : bytes)
        hex.append(QStringLiteral("%1").arg(quint8(b), 2, 16, QChar(u'0')).toUpper());
    return NamePart(valueName) + QStringLiteral("hex(%1):").arg(type, 0, 16) + hex.join(u',');
}

bool ExpandLine(const QString &valueName, const QString &data, QString *line)
{
    QByteArray bytes;
    if (!AnsiText::Encode(data, &bytes)) {
        line->clear();
        return false;
    }
    bytes.append('\0');
    *line = TypedLine(valueName, 2, bytes);
    return true;
}

bool MultiStringLine(const QString &valueName, const QStringList &items, QString *line)
{
    QByteArray bytes;
    for (const QString &item : items) {
        QByteArray encoded;
        if (!AnsiText::Encode(item, &encoded)) {
            line->clear();
            return false;
        }
        bytes.append(encoded).append('\0');
    }
    bytes.append('\0');
    *line = TypedLine(valueName, 7, bytes);
    return true;
}

QStringList MultiStringItems(const QByteArray &ansi)
{
    QStringList items;
    for (const QByteArray &item : ansi.split('\0'))
        items.append(AnsiText::Decode(item));
    // Only the closing zeros end the list: Wine keeps an empty item inside it, and so does regedit.
    while (!items.isEmpty() && items.constLast().isEmpty())
        items.removeLast();
    return items;
}

QByteArray RegeditStringBytes(const QByteArray &ansi)
{
    QByteArray bytes = ansi;
    if (bytes.isEmpty() || !bytes.endsWith('\0'))
        bytes.append('\0');
    QByteArray wide = TRegistry::StringData(AnsiText::Decode(bytes));
    wide.chop(2);
    return wide;
}

bool IsLossless(const QString &text)
{
    QByteArray bytes;
    return AnsiText::Encode(text, &bytes);
}

bool EncodeLines(const QStringList &lines, QByteArray *bytes, QString *error)
{
    bytes->clear();
    for (const QString &line : lines) {
        QByteArray encoded;
        if (!AnsiText::Encode(line, &encoded)) {
            if (error)
                *error = QStringLiteral("A character of \"%1\" has no byte in the ANSI code page").arg(line);
            return false;
        }
        bytes->append(encoded);
        bytes->append("\r\n");
    }
    return true;
}

bool SaveUndoText(const QString &hostPath, const QStringList &lines, QString *error)
{
    QByteArray bytes;
    if (!EncodeLines(lines, &bytes, error))
        return false;
    return DurableFile::Write(hostPath, bytes, error);
}

QString BaseName(const QString &name)
{
    QString out = name;
    for (QChar &c : out)
        if (c.unicode() < 32 || QStringLiteral("\\/:*?\"<>|").contains(c))
            c = u' ';
    out = out.trimmed();
    return out.isEmpty() ? QStringLiteral("Entry") : out;
}

QString UndoFolder(const QString &setting, const QString &programFolder)
{
    if (!setting.isEmpty() || programFolder.isEmpty())
        return setting;
    return QDir(programFolder).filePath(QStringLiteral("Undo"));
}

QString UndoFolderHost(const QString &setting, const QString &programFolder, const std::shared_ptr<TWinePrefix> &prefix)
{
    const QString folder = UndoFolder(setting, programFolder);
    if (folder.isEmpty() || folder.startsWith(u'/'))
        return folder;
    const TPathMapping m = WinFiles::DrivesOf(prefix).ToHost(folder);
    return m.State == TPathState::Resolved || m.State == TPathState::Missing ? m.HostPath : QString();
}

QString NumberedFileName(const QString &folder, int number)
{
    QString dir = folder;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir + QStringLiteral("VKUndo%1.reg").arg(number, 2, 10, QChar(u'0'));
}

QString StagedFileName(const QString &folder)
{
    QString dir = folder;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir + QStringLiteral(".VKUndo.staged");
}

namespace {
bool RenameFile(const QString &from, const QString &to, QString *error)
{
    QString why;
    if (DurableFile::Rename(from, to, &why))
        return true;
    if (error)
        *error = QStringLiteral("Can't rename %1 to %2: %3").arg(from, to, why);
    return false;
}
}

QString RotateNumberedFiles(const QString &hostFolder, int levels, const QString &staged, const TUniqueName &uniqueName,
                            QString *error)
{
    levels = qBound(1, levels, 99);
    if (!QFileInfo(staged).isFile()) {
        if (error)
            *error = QStringLiteral("The undo text %1 is not there").arg(staged);
        return {};
    }
    // The oldest file goes last, once everything else is in place: until then it only steps aside,
    // so that a rename that fails half-way can be undone and every old file keeps its name.
    QList<QPair<QString, QString>> done;  // renames made, in order
    auto undo = [&done] {
        for (auto it = done.crbegin(); it != done.crend(); ++it)
            DurableFile::Rename(it->second, it->first);
        return QString();
    };
    QString dir = hostFolder;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    const QString oldest = NumberedFileName(hostFolder, levels);
    const QString aside = dir + QStringLiteral(".VKUndo.oldest");
    if (QFileInfo(oldest).isFile()) {
        if (!RenameFile(oldest, aside, error))
            return {};
        done.append({oldest, aside});
    }
    for (int n = levels; n >= 2; --n) {
        const QString older = NumberedFileName(hostFolder, n - 1);
        const QString newer = NumberedFileName(hostFolder, n);
        if (!QFileInfo(older).isFile())
            continue;
        if (QFileInfo::exists(newer)) {
            if (error)
                *error = QStringLiteral("Can't rename %1 to %2: %3").arg(older, newer, DurableFile::ReasonText(EEXIST));
            return undo();
        }
        if (!RenameFile(older, newer, error))
            return undo();
        done.append({older, newer});
    }
    QString first = NumberedFileName(hostFolder, 1);
    if (QFileInfo::exists(first) && uniqueName)
        first = uniqueName(dir, QStringLiteral("VKUndo01.reg"));
    if (QFileInfo::exists(first)) {
        if (error)
            *error = QStringLiteral("Can't rename %1 to %2: %3").arg(staged, first, DurableFile::ReasonText(EEXIST));
        return undo();
    }
    if (!RenameFile(staged, first, error))
        return undo();
    // A file that cannot be removed stays hidden under its aside name, which the next rotation reuses.
    if (!done.isEmpty() && done.constFirst().second == aside)
        QFile::remove(aside);
    return first;
}

namespace {
// The name of a value line that begins with a quote, and where its "=" is (-1: none). An escaped
// name ends at the first quote that is not escaped; that quote must be followed by "=". Files of
// earlier versions hold names as they are: a name in which a backslash escapes nothing, or that does
// not end that way, ends at the first '"=' and is taken as it stands (an "=" inside a name is no end).
qsizetype SplitName(const QString &line, QString *name)
{
    for (qsizetype i = 1; i < line.size(); ++i) {
        if (line.at(i) == u'\\') {
            if (!IsEscaped(line, i))
                break;
            ++i;
        } else if (line.at(i) == u'"') {
            if (i + 1 < line.size() && line.at(i + 1) == u'=') {
                *name = UnescapeText(line.mid(1, i - 1));
                return i + 1;
            }
            break;
        }
    }
    const qsizetype end = line.indexOf(QStringLiteral("\"="), 1);
    *name = end < 0 ? line.mid(1) : line.mid(1, end - 1);
    return end < 0 ? -1 : end + 1;
}

TUndoEntry ParseValueLine(const QString &line, const QString &root, const QString &key)
{
    TUndoEntry entry;
    entry.Root = root;
    entry.Key = key;
    QString raw;
    if (line.startsWith(u'@')) {
        raw = line.mid(2);
    } else {
        const qsizetype equals = SplitName(line, &entry.ValueName);
        if (equals >= 0)
            raw = line.mid(equals + 1);
    }
    QString data = raw;
    data.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    const bool quoted = raw.size() >= 2 && raw.startsWith(u'"') && raw.endsWith(u'"');
    if (quoted) {
        data = UnescapeText(raw.mid(1, raw.size() - 2), true);
        entry.Type = TRegDataType::String;
    } else if (raw.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive)) {
        bool ok = false;
        entry.Number = raw.mid(6).trimmed().toUInt(&ok, 16);
        entry.Type = ok ? TRegDataType::Integer : TRegDataType::None;
        entry.TypeNumber = 4;
    } else if (raw.startsWith(QStringLiteral("hex"), Qt::CaseInsensitive)) {
        const qsizetype colon = raw.indexOf(u':');
        const QString kind = colon > 0 ? raw.left(colon).toLower() : QString();
        QByteArray bytes;
        bool ok = colon > 0;
        const QStringList parts = raw.mid(colon + 1).split(u',', Qt::SkipEmptyParts);
        for (QString part : parts) {
            part.remove(u'\\');
            part = part.trimmed();
            if (part.isEmpty())
                continue;
            bool byteOk = false;
            const uint b = part.toUInt(&byteOk, 16);
            ok = ok && byteOk && b <= 0xFF;
            bytes.append(char(b));
        }
        entry.Bytes = bytes;
        // Broken and in-line "\" marks alike: the one-line files of earlier versions read as today's.
        data = UnbrokenHex(raw);
        bool numbered = false;
        if (kind.startsWith(QStringLiteral("hex(")) && kind.endsWith(u')'))
            entry.TypeNumber = kind.mid(4, kind.size() - 5).toUInt(&numbered, 16);
        else
            entry.TypeNumber = 3;
        ok = ok && (kind == QStringLiteral("hex") || numbered);
        // regedit reads the string types of hex lines as ANSI text, every other type as its bytes.
        QByteArray text = bytes;
        while (text.endsWith('\0') && entry.TypeNumber != 7)
            text.chop(1);
        if (!ok) {
            entry.Type = TRegDataType::None;
        } else if (entry.TypeNumber == 3) {
            entry.Type = TRegDataType::Binary;
        } else if (entry.TypeNumber == 4 && bytes.size() == 4) {
            // Wine's long form of a number: the value it restores is the number, and reads back so.
            entry.Type = TRegDataType::Integer;
            entry.Number = quint32(uchar(bytes[0])) | quint32(uchar(bytes[1])) << 8 | quint32(uchar(bytes[2])) << 16
                           | quint32(uchar(bytes[3])) << 24;
        } else if (entry.TypeNumber == 1 || entry.TypeNumber == 2) {
            entry.Type = entry.TypeNumber == 1 ? TRegDataType::String : TRegDataType::ExpandString;
            data = AnsiText::Decode(text);
        } else if (entry.TypeNumber == 7) {
            entry.Type = TRegDataType::MultiString;
            data = MultiStringItems(bytes).join(QStringLiteral("\\0"));
        } else {
            entry.Type = TRegDataType::Other;
        }
    } else {
        entry.Type = TRegDataType::None;
    }
    entry.Data = data;
    return entry;
}
}

QList<TUndoEntry> ReadRegLines(const QStringList &fileLines)
{
    QList<TUndoEntry> entries;
    QString root, key;
    for (const QString &line : JoinContinuations(fileLines)) {
        if (line.startsWith(u'[')) {
            const qsizetype slash = line.indexOf(u'\\');
            if (slash < 0) {
                root = line.mid(1, line.size() - 2);
                key.clear();
            } else {
                root = line.mid(1, slash - 1);
                key = line.mid(slash + 1);
                key.chop(1);
            }
            continue;
        }
        if (!line.startsWith(u'@') && !line.startsWith(u'"'))
            continue;
        entries.append(ParseValueLine(line, root, key));
    }
    return entries;
}

namespace {
// The item's place in its list; a file without it (or with a broken one) appends the item.
void ReadPlace(const QString &position, const QString &removed, TUndoEntry *entry)
{
    bool ok = false;
    const int n = position.toInt(&ok);
    if (ok && n >= 0 && !removed.isEmpty()) {
        entry->Position = n;
        entry->Removed = removed;
    }
}
}

QList<TUndoEntry> ReadVkuLines(const QStringList &lines)
{
    bool ini = false;
    for (const QString &line : lines) {
        if (!line.startsWith(u'=')) {
            if (line.compare(QStringLiteral("INI-data"), Qt::CaseInsensitive) == 0)
                ini = true;
            continue;
        }
        const QStringList fields = CommaTextToList(line.mid(1), u',', u'"');
        auto field = [&fields](int i) { return i < fields.size() ? fields.at(i) : QString(); };
        TUndoEntry entry;
        if (ini) {
            entry.Kind = 1;
            entry.Root = field(0);
            entry.Key = field(1);
            entry.ValueName = field(2);
            entry.Data = field(3);
            const QString delimiter = field(4);
            entry.Delimiter = delimiter.isEmpty() ? QChar(u',') : delimiter.at(0);
            ReadPlace(field(5), field(6), &entry);
        } else {
            entry.Kind = 2;
            const QString location = field(0);
            const qsizetype slash = location.indexOf(u'\\');
            entry.Root = slash < 0 ? location : location.left(slash);
            entry.Key = slash < 0 ? QString() : location.mid(slash + 1);
            entry.ValueName = field(1);
            entry.Data = field(2);
            const QString delimiter = field(3);
            entry.Delimiter = delimiter.isEmpty() ? QChar(u',') : delimiter.at(0);
            ReadPlace(field(4), field(5), &entry);
        }
        return {entry};
    }
    return {};
}

bool ReadLines(const QString &hostPath, QStringList *lines)
{
    QFile file(hostPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    // Decoded whole, then split: no ANSI code page has "\n" inside a character.
    const QString text = AnsiText::Decode(bytes);
    lines->clear();
    for (QStringView line : QStringView(text).split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        lines->append(line.toString());
    }
    if (!lines->isEmpty() && lines->last().isEmpty() && bytes.endsWith('\n'))
        lines->removeLast();
    return true;
}

QString RegistryDeleteFailedText(const QString &name, const QString &reason)
{
    if (reason.isEmpty())
        return SafeFormat(LangMessage(QStringLiteral("M060LI"),
                                      QStringLiteral("Vaskimo failed to delete \"%s\" from the registry! Unknown reason.")),
                          name);
    return SafeFormat(LangMessage(QStringLiteral("M067LI"), QStringLiteral("Vaskimo failed to delete \"%s\" from the registry!")), name)
           + QStringLiteral("\r\n\r\n") + reason;
}

}  // namespace UndoFiles

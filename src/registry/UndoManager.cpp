// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: undo file listing, reading with states, the rebuilt REG text, and writing entries back.
#include "UndoManager.h"

#include "platform/CommaText.h"
#include "platform/DriveMap.h"
#include "platform/IniFile.h"
#include "platform/Registry.h"
#include "platform/SortedStringList.h"
#include "platform/WinFiles.h"
#include "registry/StartupThds.h"
#include "shell/LocaleSort.h"
#include "shell/Services.h"
#include "shell/Settings.h"

#include <QHash>

#include <algorithm>
#include <tuple>
#include <vector>

namespace UndoManager {

namespace {

QString WithSeparator(const QString &folder)
{
    if (folder.endsWith(u'\\') || folder.endsWith(u'/'))
        return folder;
    return folder + (folder.startsWith(u'/') ? u'/' : u'\\');
}

QString HostPathOf(const QString &path, const std::shared_ptr<TWinePrefix> &prefix, const THostPath &hostPathOf)
{
    return hostPathOf ? hostPathOf(path) : HostPathIn(path, prefix);
}

bool IsValueLine(const QString &line)
{
    return line.startsWith(u'"') || line.startsWith(u'@');
}

bool IsContinuation(const QString &line)
{
    return line.startsWith(u' ') || line.startsWith(u'\t');
}

// Value lines with the indented lines that continue them ("\" at the end of the line before).
QList<QStringList> Groups(const QStringList &lines)
{
    QList<QStringList> groups;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QStringList group{lines.at(i)};
        if (IsValueLine(lines.at(i)))
            while (group.last().endsWith(u'\\') && i + 1 < lines.size() && IsContinuation(lines.at(i + 1)))
                group.append(lines.at(++i));
        groups.append(group);
    }
    return groups;
}

// A hex value line of an earlier version, with its "\" marks inside the line, broken after each mark
// as regedit wants it (it skips the whole value otherwise); any other line as it is.
QStringList BreakInLineMarks(const QString &line)
{
    qsizetype data = -1;
    if (line.startsWith(QStringLiteral("@=")))
        data = 2;
    else if (line.startsWith(u'"') && line.lastIndexOf(QStringLiteral("\"=")) > 0)
        data = line.lastIndexOf(QStringLiteral("\"=")) + 2;
    if (data < 0 || !line.mid(data, 3).startsWith(QStringLiteral("hex"), Qt::CaseInsensitive))
        return {line};
    const qsizetype colon = line.indexOf(u':', data);
    if (colon < 0 || colon - data > 8)
        return {line};
    const QString bytes = line.mid(colon + 1);
    for (const QChar c : bytes) {
        const char16_t u = c.toLower().unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || u == u',' || u == u'\\' || u == u' '))
            return {line};
    }
    const QStringList pieces = bytes.split(QStringLiteral(",\\"));
    if (pieces.size() < 2 || pieces.last().trimmed().isEmpty())
        return {line};
    QStringList out{line.left(colon + 1) + pieces.first() + QStringLiteral(",\\")};
    for (qsizetype i = 1; i < pieces.size(); ++i)
        out.append(QStringLiteral("  ") + pieces.at(i).trimmed() + (i + 1 < pieces.size() ? QStringLiteral(",\\") : QString()));
    return out;
}

// What the entries of a file give back, in an order of their own: roots, keys and value names as
// the registry compares them.
using TRestore = std::tuple<QString, QString, QString, QString, int, quint32, QByteArray>;
std::vector<TRestore> Restores(const QList<TUndoEntry> &entries)
{
    std::vector<TRestore> out;
    out.reserve(size_t(entries.size()));
    for (const TUndoEntry &e : entries)
        out.emplace_back(e.Root.toCaseFolded(), e.Key.toCaseFolded(), e.ValueName.toCaseFolded(), e.Data, int(e.Type),
                         e.Number, e.Bytes);
    std::sort(out.begin(), out.end());
    return out;
}

// The rebuilt lines of a file whose lines gave `entries`.
QStringList Rebuilt(const QStringList &lines, const QList<TUndoEntry> &entries);

// The item as the list held it, from the text its deletion removed (a delimiter and blanks around it).
QString RemovedItem(const TUndoEntry &entry)
{
    QString item = entry.Removed.trimmed();
    if (item.startsWith(entry.Delimiter))
        item.remove(0, 1);
    if (item.endsWith(entry.Delimiter))
        item.chop(1);
    return item.trimmed();
}

bool ListHolds(const QString &text, const QString &item, QChar delimiter)
{
    const QStringList items = SplitStartupList(text, delimiter);
    for (const QString &i : items) {
        // Files of earlier versions hold a quoted item without its quotes.
        const bool quoted = i.size() >= 2 && i.startsWith(u'"') && i.endsWith(u'"');
        if (i.compare(item, Qt::CaseInsensitive) == 0 || (quoted && i.mid(1, i.size() - 2).compare(item, Qt::CaseInsensitive) == 0))
            return true;
    }
    return false;
}

// Where the undo file says which item went, only that item counts, case and all: of two items that
// differ only in case, the one left must not stand for the one deleted.
bool ListHolds(const QString &text, const TUndoEntry &entry)
{
    const QString removed = RemovedItem(entry);
    if (removed.isEmpty())
        return ListHolds(text, entry.Data, entry.Delimiter);
    return SplitStartupList(text, entry.Delimiter).contains(removed);
}

// The list with the entry's item back where it was.
QString WithItem(const QString &text, const TUndoEntry &entry)
{
    if (entry.Position < 0)
        return AppendStartupListItem(text, entry.Data, entry.Delimiter);
    return InsertStartupListItem(text, entry.Removed, entry.Position, entry.Delimiter);
}

void SetError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

// NULs at the end of a string (hex(2):25,00,00, or "2\0\0" in a quoted line) are written back as
// they stand, but either side may hold them: they count for nothing.
bool StringHolds(const TRegistry &registry, const TUndoEntry &entry)
{
    const auto withoutNuls = [](QString text) {
        while (!text.isEmpty() && text.back() == QChar(0))
            text.chop(1);
        return text;
    };
    return withoutNuls(registry.ReadString(entry.ValueName)).compare(withoutNuls(entry.Data), Qt::CaseInsensitive) == 0;
}

// The live value as list text: strings only; missing gives "", other types are no list.
bool ListText(const TRegistry &registry, const QString &name, QString *text, TRegDataType *type)
{
    *type = registry.GetDataType(name);
    switch (*type) {
    case TRegDataType::None:
        text->clear();
        return true;
    case TRegDataType::String:
    case TRegDataType::ExpandString:
        *text = registry.ReadString(name);
        return true;
    default:
        return false;
    }
}

bool RestoreIniItem(const TUndoEntry &entry, const std::shared_ptr<TWinePrefix> &prefix, const THostPath &hostPathOf,
                    QString *error)
{
    const QString host = HostPathOf(entry.Root, prefix, hostPathOf);
    if (host.isEmpty()) {
        SetError(error, QStringLiteral("The file %1 can't be found").arg(entry.Root));
        return false;
    }
    TIniFile ini(host);
    if (!ini.ErrorString().isEmpty()) {
        SetError(error, ini.ErrorString());
        return false;
    }
    // Asked of the file itself: a key whose text happens to be the old "VKerror" marker still exists.
    if (!ini.ValueExists(entry.Key, entry.ValueName)) {
        SetError(error, QStringLiteral("The key %1 of [%2] is no longer in %3").arg(entry.ValueName, entry.Key, entry.Root));
        return false;
    }
    const QString text = ini.ReadString(entry.Key, entry.ValueName, QString());
    if (ListHolds(text, entry))
        return true;
    ini.WriteString(entry.Key, entry.ValueName, WithItem(text, entry));
    if (!ini.UpdateFile()) {
        SetError(error, ini.ErrorString());
        return false;
    }
    return true;
}

// A list item back into its registry value: the value is read and written whole.
bool RestoreListItem(const TUndoEntry &entry, const std::shared_ptr<TWinePrefix> &prefix, QString *error)
{
    TRegistry registry(RootKeyFromText(entry.Root), prefix);
    try {
        if (!registry.OpenKey(u'\\' + entry.Key, true)) {
            SetError(error, registry.LastError());
            return false;
        }
        QString text;
        TRegDataType type;
        if (!ListText(registry, entry.ValueName, &text, &type)) {
            SetError(error, QStringLiteral("The value \"%1\" holds no text list").arg(entry.ValueName));
            return false;
        }
        if (type != TRegDataType::None && ListHolds(text, entry))
            return true;
        const QString joined = WithItem(text, entry);
        // An expandable list stays expandable.
        if (type == TRegDataType::ExpandString)
            registry.WriteExpandString(entry.ValueName, joined);
        else
            registry.WriteString(entry.ValueName, joined);
        return true;
    } catch (const ERegistryException &e) {
        SetError(error, e.Message());
        return false;
    }
}

// What a REG value entry writes back: its key, and the type and bytes its line gives. False with
// *error when its line gives nothing back.
bool ValueWrite(const TUndoEntry &entry, const std::shared_ptr<TWinePrefix> &prefix, TValueWrite *write, QString *error)
{
    write->Root = RootKeyFromText(entry.Root);
    write->KeyPath = entry.Key;
    write->ValueName = entry.ValueName;
    switch (entry.Type) {
    case TRegDataType::String: {
        // A quoted line is how the exports write expandable strings too: an expandable value stays one.
        TRegistry registry(write->Root, prefix);
        const bool expandable = registry.OpenKeyReadOnly(u'\\' + entry.Key)
                                && registry.GetDataType(entry.ValueName) == TRegDataType::ExpandString;
        write->Type = expandable ? 2 : 1;
        write->Data = entry.Bytes.isEmpty() ? TRegistry::StringData(entry.Data) : UndoFiles::RegeditStringBytes(entry.Bytes);
        return true;
    }
    case TRegDataType::ExpandString:
        write->Type = 2;
        write->Data = entry.Bytes.isEmpty() ? TRegistry::StringData(entry.Data) : UndoFiles::RegeditStringBytes(entry.Bytes);
        return true;
    case TRegDataType::Integer:
        write->Type = 4;
        write->Data = TRegistry::IntegerData(entry.Number);
        return true;
    case TRegDataType::MultiString:
        write->Type = 7;
        write->Data = UndoFiles::RegeditStringBytes(entry.Bytes);
        return true;
    case TRegDataType::Binary:
        write->Type = 3;
        write->Data = entry.Bytes;
        return true;
    case TRegDataType::Other:
        write->Type = entry.TypeNumber;
        write->Data = entry.Bytes;
        return true;
    default:
        SetError(error, QStringLiteral("The line of \"%1\" holds no data that can be written back").arg(entry.ValueName));
        return false;
    }
}

}  // namespace

QString HostPathIn(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    if (path.startsWith(u'/'))
        return path;
    const TPathMapping m = WinFiles::DrivesOf(prefix).ToHost(path);
    return m.State == TPathState::Resolved ? m.HostPath : QString();
}

TUndoFolders TUndoFolders::FromSettings(const TSettings *settings, const QString &programFolder)
{
    TUndoFolders folders;
    if (settings) {
        folders.Registry = settings->FRegistryUndoDir;
        folders.AddRemove = settings->FAddRemoveUndoDir;
        folders.Startup = settings->FStartupUndoDir;
    }
    for (QString *folder : {&folders.Registry, &folders.AddRemove, &folders.Startup})
        *folder = UndoFiles::UndoFolder(*folder, programFolder);
    return folders;
}

QStringList CollectFiles(const TUndoFolders &folders, const TListFiles &listFiles)
{
    const TListFiles list = listFiles ? listFiles : [](const QString &folder, const QString &mask) {
        return Services::ListFiles(folder, mask, false, false);
    };
    const struct {
        const QString &Folder;
        const char *Mask;
    } sources[] = {{folders.Registry, "VKUndo*.reg"}, {folders.AddRemove, "*.reg"}, {folders.Startup, "*.reg"},
                   {folders.Startup, "*.vku"}};
    TSortedStringList files;
    for (const auto &s : sources) {
        if (s.Folder.isEmpty())
            continue;
        for (const QString &path : CommaTextToList(list(WithSeparator(s.Folder), QString::fromLatin1(s.Mask))))
            if (!path.isEmpty())
                files.Add(path);
    }
    return files.Items();
}

TUndoNodeKind FileKind(const QString &path)
{
    return path.endsWith(QStringLiteral(".vku"), Qt::CaseInsensitive) ? TUndoNodeKind::ListItemFile : TUndoNodeKind::RegFile;
}

QStringList JoinContinuations(const QStringList &lines)
{
    return UndoFiles::JoinContinuations(lines);
}

QStringList RebuildRegLines(const QStringList &lines)
{
    return Rebuilt(lines, UndoFiles::ReadRegLines(lines));
}

namespace {

QStringList Rebuilt(const QStringList &lines, const QList<TUndoEntry> &entries)
{
    struct TItem {
        QStringList Lines;
        bool IsKey = false;
        QList<QStringList> Values;
    };
    QList<TItem> items;
    QHash<QString, qsizetype> keys;  // case-folded key line -> its item
    qsizetype current = -1;          // the key item that takes the value lines
    qsizetype insertAt = -1;         // a later occurrence: where in its values; -1 appends
    for (QStringList group : Groups(lines)) {
        if (group.size() == 1 && IsValueLine(group.first()))
            group = BreakInLineMarks(group.first());
        const QString &head = group.first();
        if (head.startsWith(u'[')) {
            const QString folded = head.toCaseFolded();
            const auto known = keys.constFind(folded);
            if (known != keys.constEnd()) {
                current = known.value();
                insertAt = 0;
            } else {
                items.append(TItem{group, true, {}});
                current = items.size() - 1;
                keys.insert(folded, current);
                insertAt = -1;
            }
        } else if (IsValueLine(head) && current >= 0) {
            QList<QStringList> &values = items[current].Values;
            if (insertAt < 0)
                values.append(group);
            else
                values.insert(insertAt++, group);
        } else {
            items.append(TItem{group, false, {}});
        }
    }
    QStringList out;
    for (const TItem &item : std::as_const(items)) {
        if (item.IsKey && !out.isEmpty() && !out.last().isEmpty())
            out.append(QString());
        out += item.Lines;
        for (const QStringList &value : item.Values)
            out += value;
    }
    if (out == lines)
        return lines;
    // A damaged file can read otherwise once its lines move (a stray "\" takes a new neighbour
    // as its data): then it stays as it is.
    return Restores(UndoFiles::ReadRegLines(out)) == Restores(entries) ? out : lines;
}

}  // namespace

qint32 EntryState(const TUndoEntry &entry, const std::shared_ptr<TWinePrefix> &prefix, const THostPath &hostPathOf)
{
    if (entry.Kind == 1) {
        const QString host = HostPathOf(entry.Root, prefix, hostPathOf);
        if (host.isEmpty())
            return 4;
        const TIniFile ini(host);
        return ListHolds(ini.ReadString(entry.Key, entry.ValueName, QString()), entry) ? 2 : 4;
    }
    const TRootKey root = RootKeyFromText(entry.Root);
    if (root == TRootKey::None)
        return 4;
    TRegistry registry(root, prefix);
    if (!registry.OpenKeyReadOnly(u'\\' + entry.Key) || !registry.ValueExists(entry.ValueName))
        return 4;
    try {
        if (entry.Kind == 2) {
            QString text;
            TRegDataType type;
            return ListText(registry, entry.ValueName, &text, &type) && ListHolds(text, entry) ? 2 : 4;
        }
        const TRegDataType live = registry.GetDataType(entry.ValueName);
        bool equal = false;
        switch (entry.Type) {
        case TRegDataType::String:
            equal = (live == TRegDataType::String || live == TRegDataType::ExpandString)
                    && StringHolds(registry, entry);
            break;
        case TRegDataType::ExpandString:
            equal = live == TRegDataType::ExpandString && StringHolds(registry, entry);
            break;
        case TRegDataType::Integer:
            equal = live == TRegDataType::Integer && registry.ReadInteger(entry.ValueName) == entry.Number;
            break;
        case TRegDataType::Binary:
            equal = live == TRegDataType::Binary && registry.ReadBinaryData(entry.ValueName) == entry.Bytes;
            break;
        case TRegDataType::MultiString:
            equal = live == TRegDataType::MultiString
                    && registry.ReadMultiString(entry.ValueName).join(QChar(0))
                               .compare(UndoFiles::MultiStringItems(entry.Bytes).join(QChar(0)), Qt::CaseInsensitive) == 0;
            break;
        case TRegDataType::Other:
            equal = live == TRegDataType::Other && registry.GetTypeNumber(entry.ValueName) == entry.TypeNumber
                    && registry.ReadBinaryData(entry.ValueName) == entry.Bytes;
            break;
        default:
            // A line that gives nothing back matches nothing.
            break;
        }
        return equal ? 2 : 3;
    } catch (const ERegistryException &) {
        return 3;
    }
}

TLoadResult LoadFile(const QString &hostPath, TUndoNodeKind kind, const std::shared_ptr<TWinePrefix> &prefix,
                     const THostPath &hostPathOf, const TLoadProgress &progress)
{
    // Steps: reading, parsing and rebuilding the text count as much as checking every entry.
    constexpr qint64 Whole = 1000, Read = 150, Parsed = 250, RebuiltText = 500;
    TLoadResult result;
    auto stopped = [&](qint64 done) {
        if (!progress || progress(done, Whole))
            return false;
        result.Entries.clear();
        result.Stopped = true;
        return true;
    };
    QStringList lines;
    if (hostPath.isEmpty() || stopped(0) || !UndoFiles::ReadLines(hostPath, &lines))
        return result;
    result.Read = true;
    if (stopped(Read))
        return result;
    if (kind == TUndoNodeKind::ListItemFile) {
        result.Entries = UndoFiles::ReadVkuLines(lines);
    } else {
        result.Entries = UndoFiles::ReadRegLines(lines);
        if (stopped(Parsed))
            return result;
        const bool ours = std::none_of(lines.cbegin(), lines.cend(), [](const QString &l) { return l.contains(QChar(0)); });
        if (ours) {
            const QStringList rebuilt = Rebuilt(lines, result.Entries);
            QString error;
            // Saved atomically: a failed write leaves the file as it was.
            if (rebuilt != lines && !stopped(RebuiltText) && UndoFiles::SaveUndoText(hostPath, rebuilt, &error))
                result.Rewritten = true;
            if (result.Stopped)
                return result;
        }
    }
    const qint64 count = result.Entries.size();
    for (qint64 i = 0; i < count; ++i) {
        if (i % 256 == 0 && stopped(RebuiltText + (Whole - RebuiltText) * i / count))
            return result;
        TUndoEntry &entry = result.Entries[i];
        entry.State = EntryState(entry, prefix, hostPathOf);
    }
    if (progress)
        progress(Whole, Whole);
    return result;
}

void SortEntries(QList<TUndoEntry *> &entries, int column, bool forward)
{
    LocaleSort::ByText(entries, [column](const TUndoEntry *e) -> const QString & {
        switch (column) {
        case 0: return e->Root;
        case 1: return e->Key;
        case 2: return e->ValueName;
        default: return e->Data;
        }
    }, forward);
}

QList<bool> RestoreEntries(const QList<TUndoEntry> &entries, const std::shared_ptr<TWinePrefix> &prefix,
                           const THostPath &hostPathOf, QStringList *errors)
{
    QList<bool> restored(entries.size(), false);
    *errors = QStringList(entries.size(), QString());
    QList<TValueWrite> writes;
    QList<int> entryOf;
    for (int i = 0; i < entries.size(); ++i) {
        const TUndoEntry &entry = entries[i];
        QString &error = (*errors)[i];
        if (entry.Kind == 1) {
            restored[i] = RestoreIniItem(entry, prefix, hostPathOf, &error);
        } else if (RootKeyFromText(entry.Root) == TRootKey::None) {
            // Never another root in its place: the data would land where it never was.
            error = QStringLiteral("Unknown registry root \"%1\"").arg(entry.Root);
        } else if (entry.Kind == 2) {
            restored[i] = RestoreListItem(entry, prefix, &error);
        } else {
            TValueWrite write;
            if (ValueWrite(entry, prefix, &write, &error)) {
                writes.append(write);
                entryOf.append(i);
            }
        }
    }
    TRegistry::WriteValues(writes, prefix);
    for (int w = 0; w < writes.size(); ++w) {
        restored[entryOf[w]] = writes[w].Written;
        (*errors)[entryOf[w]] = writes[w].Error;
    }
    return restored;
}

bool RestoreEntry(const TUndoEntry &entry, const std::shared_ptr<TWinePrefix> &prefix, const THostPath &hostPathOf,
                  QString *error)
{
    QStringList errors;
    const bool restored = RestoreEntries({entry}, prefix, hostPathOf, &errors).constFirst();
    if (!restored)
        SetError(error, errors.constFirst());
    return restored;
}

TRestored Restore(const QList<TUndoEntry *> &entries, const std::shared_ptr<TWinePrefix> &prefix,
                  const THostPath &hostPathOf)
{
    QList<TUndoEntry> copies;
    copies.reserve(entries.size());
    for (const TUndoEntry *entry : entries)
        copies.append(*entry);
    QStringList errors;
    const QList<bool> restored = RestoreEntries(copies, prefix, hostPathOf, &errors);
    TRestored result;
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (restored[i]) {
            entries[i]->State = 2;
            continue;
        }
        ++result.Failures;
        if (result.Reason.isEmpty())
            result.Reason = errors[i];
    }
    return result;
}

}  // namespace UndoManager

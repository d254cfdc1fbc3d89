// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the startup location table, the scanner that reads it, command resolution and the startup deletes.
#include "registry/StartupThds.h"

#include "registry/UndoFiles.h"

#include "platform/CodePage.h"
#include "platform/CommaText.h"
#include "platform/DriveMap.h"
#include "platform/IniFile.h"
#include "platform/LnkReader.h"
#include "platform/PeReader.h"
#include "platform/WinEnvironment.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace {

QString RootName(TRootKey root)
{
    return root == TRootKey::CurrentUser ? QStringLiteral("HKEY_CURRENT_USER") : QStringLiteral("HKEY_LOCAL_MACHINE");
}

std::shared_ptr<TWinePrefix> PrefixOr(const std::shared_ptr<TWinePrefix> &prefix)
{
    return prefix ? prefix : TWinePrefix::Current();
}

// Host path of a Windows path that names an existing object; empty otherwise.
QString ExistingHostPath(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    const TPathMapping m = WinFiles::DrivesOf(prefix).ToHost(path);
    return m.State == TPathState::Resolved && QFileInfo::exists(m.HostPath) ? m.HostPath : QString();
}

QString Extension(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    const qsizetype slash = qMax(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return dot > slash ? path.mid(dot) : QString();
}

QString FileNamePart(const QString &path)
{
    const qsizetype slash = qMax(path.lastIndexOf(u'\\'), qMax(path.lastIndexOf(u'/'), path.lastIndexOf(u':')));
    return path.mid(slash + 1);
}

// What names an item whose command file tells nothing about itself.
QString FallbackDescription(const QString &item, const QString &valueName, quint8 kind)
{
    const QString name = (kind == 1 || kind == 3) ? item : valueName;
    return name.isEmpty() ? FileNamePart(item) : name;
}

// A shortcut whose target lost characters on its way into the link: what it names cannot be
// looked for, so it counts as existing and its shortcut is never shown as one to a missing file.
TStartupCommand UnreadableTarget(const QString &target, const QString &item, const QString &valueName, quint8 kind)
{
    TStartupCommand command;
    command.Path = target;
    command.Exists = true;
    command.State = 2;
    command.Description = FallbackDescription(item, valueName, kind);
    return command;
}

}  // namespace

void BuildStartupLocations(TStartupLocations *locations, const QString &windowsFolder,
                           const std::shared_ptr<TWinePrefix> &prefix)
{
    const TRootKey HKLM = TRootKey::LocalMachine, HKCU = TRootKey::CurrentUser;
    const QString winlogon = QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
    const QString tsInstall =
        QStringLiteral("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\TerminalServer\\Install\\Software\\Microsoft\\Windows\\CurrentVersion\\");
    const QString policiesSystem = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System");
    const QString ntWindows = QStringLiteral("Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows");
    const QString explorerRun = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run");
    locations->Registry = {
        {QStringLiteral("System\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd"), HKLM, QStringLiteral("StartupPrograms"), false},
        {winlogon, HKLM, QStringLiteral("AppSetup"), false},
        {winlogon, HKLM, QStringLiteral("Userinit"), false},
        {policiesSystem, HKCU, QStringLiteral("Shell"), false},
        {winlogon, HKCU, QStringLiteral("Shell"), false},
        {policiesSystem, HKLM, QStringLiteral("Shell"), false},
        {winlogon, HKLM, QStringLiteral("Shell"), false},
        {winlogon, HKLM, QStringLiteral("Taskman"), false},
        {tsInstall + QStringLiteral("Runonce"), HKLM, QString(), true},
        {tsInstall + QStringLiteral("RunonceEx"), HKLM, QString(), true},
        {tsInstall + QStringLiteral("Run"), HKLM, QString(), false},
        {QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"), HKLM, QString(), false},
        {QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"), HKLM, QString(), true},
        {QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"), HKLM, QString(), true},
        {ntWindows, HKCU, QStringLiteral("Load"), false},
        {ntWindows, HKCU, QStringLiteral("Run"), false},
        {QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"), HKLM, QString(), false},
        {explorerRun, HKCU, QString(), false},
        {QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Run"), HKCU, QString(), false},
        {QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce"), HKCU, QString(), true},
        {tsInstall + QStringLiteral("Runonce"), HKCU, QString(), true},
        {tsInstall + QStringLiteral("RunonceEx"), HKCU, QString(), true},
        {tsInstall + QStringLiteral("Run"), HKCU, QString(), false},
    };
    // 32-bit programs write their machine-wide entries into the twin keys of a 64-bit prefix.
    for (qsizetype i = 0; i < locations->Registry.size(); ++i) {
        const TStartupRegEntry entry = locations->Registry.at(i);
        const QStringList paths = FixedKeyPaths(entry.RootKey, entry.KeyPath, prefix);
        for (qsizetype n = 1; n < paths.size(); ++n) {
            TStartupRegEntry twin = entry;
            twin.KeyPath = paths.at(n);
            locations->Registry.insert(++i, twin);
        }
    }

    locations->Folders.clear();
    const TWinEnvironment environment(prefix);
    const struct {
        const char *Name;
        bool Common;
    } folders[] = {{"Startup", false}, {"Common Startup", true}};
    for (const auto &f : folders) {
        QString folder = environment.SpecialFolder(QString::fromLatin1(f.Name));
        if (folder.isEmpty() || !WinFiles::DirectoryExists(folder, prefix))
            continue;
        if (!folder.endsWith(u'\\'))
            folder += u'\\';
        locations->Folders.append({folder, f.Common});
    }

    const QString winIni = windowsFolder + QStringLiteral("\\win.ini");
    locations->Ini = {{winIni, QStringLiteral("Windows"), QStringLiteral("Run"), u';'},
                      {winIni, QStringLiteral("Windows"), QStringLiteral("Load"), u';'}};
}

QList<TListPiece> StartupListPieces(const QString &text, QChar delimiter)
{
    QList<TListPiece> pieces;
    qsizetype start = 0;
    bool quoted = false;
    auto add = [&](qsizetype end) {
        TListPiece piece;
        piece.Start = start;
        piece.Length = end - start;
        qsizetype first = start, last = end;
        while (first < last && text.at(first).unicode() <= u' ')
            ++first;
        while (last > first && text.at(last - 1).unicode() <= u' ')
            --last;
        piece.Item = text.mid(first, last - first);
        pieces.append(piece);
        start = end + 1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == u'"')
            quoted = !quoted;
        else if (text.at(i) == delimiter && !quoted)
            add(i);
    }
    add(text.size());
    return pieces;
}

QStringList SplitStartupList(const QString &text, QChar delimiter)
{
    QStringList items;
    for (const TListPiece &piece : StartupListPieces(text, delimiter))
        if (!piece.Item.isEmpty())
            items.append(piece.Item);
    return items;
}

bool RemoveStartupListItem(const QString &text, const QString &item, QChar delimiter, QString *result,
                           int *position, QString *removed)
{
    const QList<TListPiece> pieces = StartupListPieces(text, delimiter);
    qsizetype found = -1;
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (qsizetype i = 0; i < pieces.size() && found < 0; ++i)
            if (!pieces.at(i).Item.isEmpty() && pieces.at(i).Item.compare(item, cs) == 0)
                found = i;
    }
    if (found < 0)
        return false;
    const TListPiece &p = pieces.at(found);
    qsizetype from = p.Start - 1, to = p.Start + p.Length;
    if (pieces.size() == 1) {
        from = 0;
    } else if (found == 0) {
        // The next piece keeps its item where the text starts: INI values lose leading blanks.
        from = 0;
        to = pieces.at(1).Start;
        while (to < text.size() && text.at(to).unicode() <= u' ' && text.at(to) != delimiter)
            ++to;
    }
    *position = int(found);
    *removed = text.mid(from, to - from);
    *result = text.left(from) + text.mid(to);
    return true;
}

QString InsertStartupListItem(const QString &text, const QString &removed, int position, QChar delimiter)
{
    if (text.isEmpty()) {
        const QList<TListPiece> pieces = StartupListPieces(removed, delimiter);
        for (const TListPiece &piece : pieces)
            if (!piece.Item.isEmpty())
                return piece.Item;
        return removed;
    }
    if (position <= 0)
        return removed + text;
    const QList<TListPiece> pieces = StartupListPieces(text, delimiter);
    if (position >= pieces.size())
        return text + removed;
    const TListPiece &before = pieces.at(position - 1);
    const qsizetype end = before.Start + before.Length;
    return text.left(end) + removed + text.mid(end);
}

QString AppendStartupListItem(const QString &text, const QString &item, QChar delimiter)
{
    return text.isEmpty() ? item : text + delimiter + item;
}

// ---- scanner

TStartupInspector::TStartupInspector(QObject *owner, quint8 mode, TFoundHandler onFound, TProgressHandler onProgress,
                                     TTotalHandler onTotal, QList<TStartupFolderEntry> folders,
                                     QList<TStartupRegEntry> registryEntries, QList<TStartupIniEntry> iniEntries,
                                     std::shared_ptr<TWinePrefix> prefix)
    : TSharedThd(owner), FMode(mode), FOnFound(std::move(onFound)), FOnProgress(std::move(onProgress)),
      FOnTotal(std::move(onTotal)), FFolders(std::move(folders)), FRegistryEntries(std::move(registryEntries)),
      FIniEntries(std::move(iniEntries)), FPrefix(std::move(prefix))
{
}

bool TStartupInspector::Report(const QString &item, const QString &location, const QString &valueName,
                               const QString &data, quint8 kind, int categoryIndex, QChar delimiter)
{
    return Synchronize([&] {
        if (FOnFound)
            FOnFound(item, location, valueName, data, kind, categoryIndex, delimiter);
    });
}

bool TStartupInspector::Step()
{
    ++FPosition;
    return Synchronize([this] {
        if (FOnProgress)
            FOnProgress(FPosition, FTotal);
    });
}

void TStartupInspector::DoWork()
{
    if (FMode > 3)
        return;
    FTotal = int(FMode < 2 ? FRegistryEntries.size() : FMode == 2 ? FFolders.size() : FIniEntries.size());
    if (!Synchronize([this] {
            if (FOnTotal)
                FOnTotal(FTotal);
        }))
        return;
    for (int i = 0; i < FTotal && !Terminated(); ++i) {
        if (FMode < 2)
            ReadRegistry(FRegistryEntries.at(i));
        else if (FMode == 2)
            ReadFolder(FFolders.at(i));
        else
            ReadIni(FIniEntries.at(i));
        if (!Step())
            return;
    }
}

void TStartupInspector::ReadRegistry(const TStartupRegEntry &entry)
{
    TRegistry registry(entry.RootKey, FPrefix);
    if (!registry.OpenKeyReadOnly(u'\\' + entry.KeyPath))
        return;
    const int category = (entry.RootKey == TRootKey::CurrentUser ? 6 : 9) + (entry.RunOnce ? 1 : 0);
    const QString location = RootName(entry.RootKey) + u'\\' + entry.KeyPath;
    if (entry.ValueName.isEmpty()) {
        for (const QString &name : registry.GetValueNames()) {
            const TRegDataType type = registry.GetDataType(name);
            if (type != TRegDataType::String && type != TRegDataType::ExpandString)
                continue;
            const QString data = registry.ReadString(name);
            if (data.isEmpty())
                continue;
            if (!Report(data, location, name, data, 0, category, u','))
                return;
        }
        return;
    }
    // A list value of another type holds no commands; it must not end the scan of the locations
    // after it.
    const TRegDataType type = registry.GetDataType(entry.ValueName);
    if (type != TRegDataType::String && type != TRegDataType::ExpandString)
        return;
    for (const QString &item : SplitStartupList(registry.ReadString(entry.ValueName), u','))
        if (!Report(item, location, entry.ValueName, item, 1, category, u','))
            return;
}

void TStartupInspector::ReadFolder(const TStartupFolderEntry &entry)
{
    const int category = entry.Common ? 3 : 2;
    for (const TSearchRec &r : WinFiles::FindFiles(entry.Folder, QStringLiteral("*.*"), FPrefix)) {
        if (Terminated())
            return;
        if (r.Attr & (FileAttr::Directory | FileAttr::VolumeId))
            continue;
        if (r.Name.compare(u"desktop.ini", Qt::CaseInsensitive) == 0)
            continue;
        const QString path = entry.Folder + r.Name;
        if (!Report(path, path, QString(), QString(), 2, category, u','))
            return;
    }
}

void TStartupInspector::ReadIni(const TStartupIniEntry &entry)
{
    try {
        const TPathMapping m = WinFiles::DrivesOf(FPrefix).ToHost(entry.FileName);
        if (m.State != TPathState::Resolved || !QFileInfo(m.HostPath).isFile())
            return;
        const TIniFile ini(m.HostPath, AnsiCodePage(FPrefix));
        for (const QString &item : SplitStartupList(ini.ReadString(entry.Section, entry.Key, QString()), entry.Delimiter)) {
            if (Terminated())
                return;
            if (!Report(item, entry.FileName, entry.Section, entry.Key, 3, 11, entry.Delimiter))
                return;
        }
    } catch (const std::exception &) {
        // One unreadable INI file is no reason to end the scan.
    }
}

// ---- resolution

TStartupResolver::TStartupResolver(QString windowsFolder, QString systemFolder, std::shared_ptr<TWinePrefix> prefix)
    : FWindowsFolder(std::move(windowsFolder)), FSystemFolder(std::move(systemFolder)), FPrefix(std::move(prefix))
{
}

bool TStartupResolver::Exists(const QString &path) const
{
    if (path.isEmpty())
        return false;
    return WinFiles::FileExists(path, FPrefix) || WinFiles::DirectoryExists(path, FPrefix);
}

QString TStartupResolver::Expanded(const QString &text) const
{
    if (!text.contains(u'%'))
        return text;
    const QString expanded = TWinEnvironment(FPrefix).Expand(text);
    return expanded.size() < 260 ? expanded : text;  // a MAX_PATH buffer: too long, it stays
}

TStartupCommand TStartupResolver::Resolve(const QString &item, const QString &valueName, quint8 kind) const
{
    QString cmd = Expanded(item);
    if (Extension(item).toLower() == QStringLiteral(".lnk")) {
        const QString host = ExistingHostPath(item, FPrefix);
        TShellLinkInfo info;
        if (!host.isEmpty() && LnkReader::ReadShellLinkInfo(host, info, AnsiCodePage(FPrefix))) {
            cmd = Expanded(info.Target);
            if (info.TargetUncertain)
                return UnreadableTarget(cmd, item, valueName, kind);
        }
    }
    if (!Exists(cmd)) {
        const qsizetype colon = cmd.indexOf(QStringLiteral(":\\"));
        if (colon >= 2)
            cmd = cmd.mid(colon - 1);
    }
    if (!Exists(cmd)) {
        const qsizetype dot = cmd.lastIndexOf(u'.');
        if (dot >= 0 && cmd.size() - dot - 1 >= 3)
            cmd = cmd.left(dot + 4);
    }
    if (!Exists(cmd)) {
        cmd.remove(u'"');
        QString copy = cmd;
        for (const QString &runner : {QStringLiteral("rundll.exe"), QStringLiteral("rundll32.exe")}) {
            const qsizetype at = copy.indexOf(runner, 0, Qt::CaseInsensitive);
            if (at >= 0)
                copy.remove(at, runner.size());
        }
        copy = copy.trimmed();
        if (!copy.isEmpty()) {
            for (const QString &folder : {FWindowsFolder, FSystemFolder}) {
                const QString candidate = folder + u'\\' + copy;
                if (WinFiles::FileExists(candidate, FPrefix)) {
                    cmd = candidate;
                    break;
                }
            }
        }
    }
    if (!Exists(cmd) && !cmd.isEmpty() && !cmd.contains(u'\\')) {
        bool found = false;
        for (const QString &folder : {FWindowsFolder, FSystemFolder}) {
            for (const TSearchRec &r : WinFiles::FindFiles(folder + u'\\', cmd + QStringLiteral(".*"), FPrefix)) {
                if (r.Attr & (FileAttr::Directory | FileAttr::VolumeId))
                    continue;
                const QString ext = Extension(r.Name).toLower();
                if (ext == u".exe" || ext == u".bat" || ext == u".com" || ext == u".cmd") {
                    cmd = folder + u'\\' + r.Name;
                    found = true;
                    break;
                }
            }
            if (found)
                break;
        }
    }

    TStartupCommand command;
    command.Path = cmd;
    command.Exists = Exists(cmd);
    const QString host = command.Exists ? ExistingHostPath(cmd, FPrefix) : QString();
    TVersionInfo info;
    if (!host.isEmpty() && QFileInfo(host).isFile() && PeReader::ReadVersionInfoFile(host, &info))
        command.Description = info.TranslatedValue(QStringLiteral("FileDescription"));
    if (command.Description.isEmpty())
        command.Description = FallbackDescription(item, valueName, kind);
    const bool drivePart = (cmd.size() >= 2 && cmd.at(1) == u':' && cmd.at(0).isLetter()) || cmd.startsWith(QStringLiteral("\\\\"));
    command.State = command.Exists ? 2 : (drivePart ? 4 : 3);
    return command;
}

// ---- deletes

namespace StartupDelete {

void SplitLocation(const QString &location, TRootKey *root, QString *keyPath)
{
    *root = location.toUpper().contains(QStringLiteral("HKEY_LOCAL_MACHINE")) ? TRootKey::LocalMachine : TRootKey::CurrentUser;
    const qsizetype slash = location.indexOf(u'\\');
    *keyPath = slash < 0 ? QString() : location.mid(slash + 1);
}

QStringList VkuLines(bool ini, const QStringList &fields, const QString &date, const QString &time)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted.append(QuotedText(field));
    return {QStringLiteral("This is Orvendal Vaskimo undo file. This contains information about deleted items. "
                           "Generated on %1 @ %2.").arg(date, time),
            ini ? QStringLiteral("INI-data") : QStringLiteral("REG-data"), u'=' + quoted.join(u',')};
}

namespace {
// Deleted when the undo file is written (or none is wanted), else why not.
TOutcome WriteUndo(const QString &undoFile, const QStringList &lines)
{
    if (undoFile.isEmpty())
        return {TResult::Deleted, {}};
    if (!std::all_of(lines.cbegin(), lines.cend(), UndoFiles::IsLossless))
        return {TResult::UndoLossy, {}};
    QString error;
    if (UndoFiles::SaveUndoText(undoFile, lines, &error))
        return {TResult::Deleted, {}};
    return {TResult::UndoFailed, error};
}

// A delete that failed after its undo file was written leaves no undo file: restoring it would
// put back an item that never went.
TOutcome NotDone(const QString &undoFile, const TOutcome &failed)
{
    if (!undoFile.isEmpty())
        QFile::remove(undoFile);
    return failed;
}

// The registry at a location's key, open for changes; null when the key does not open.
std::unique_ptr<TRegistry> OpenLocation(const QString &location, const std::shared_ptr<TWinePrefix> &prefix)
{
    TRootKey root;
    QString keyPath;
    SplitLocation(location, &root, &keyPath);
    auto registry = std::make_unique<TRegistry>(root, PrefixOr(prefix));
    if (!registry->OpenKey(u'\\' + keyPath, false))
        return nullptr;
    return registry;
}
}

TOutcome DeleteRegValue(const QString &location, const QString &valueName, const QString &undoHeader,
                        const QString &undoFile, const std::shared_ptr<TWinePrefix> &prefix)
{
    const std::unique_ptr<TRegistry> registry = OpenLocation(location, prefix);
    if (!registry)
        return {TResult::KeyNotOpened, {}};
    if (!registry->ValueExists(valueName))
        return {TResult::NotDeleted, {}};
    if (!undoFile.isEmpty()) {
        // The live value by its type: an expandable string must come back expandable.
        QString valueLine;
        if (!UndoFiles::LiveValueLine(*registry, valueName, &valueLine))
            return {TResult::UndoLossy, {}};
        if (valueName.isEmpty() && valueLine.startsWith(QStringLiteral("@=")))
            valueLine = QStringLiteral("\"\"=") + valueLine.mid(2);
        if (const TOutcome undo = WriteUndo(undoFile, {undoHeader, u'[' + location + u']', valueLine});
            undo.Result != TResult::Deleted)
            return undo;
    }
    if (!registry->DeleteValue(valueName))
        return NotDone(undoFile, {TResult::NotDeleted, registry->LastError()});
    return {TResult::Deleted, {}};
}

TOutcome DeleteRegListItem(const QString &location, const QString &valueName, const QString &item, QChar delimiter,
                           const QString &date, const QString &time, const QString &undoFile,
                           const std::shared_ptr<TWinePrefix> &prefix)
{
    const std::unique_ptr<TRegistry> registry = OpenLocation(location, prefix);
    if (!registry)
        return {TResult::KeyNotOpened, {}};
    const TRegDataType type = registry->GetDataType(valueName);
    if (type != TRegDataType::String && type != TRegDataType::ExpandString)
        return {TResult::NotDeleted, {}};
    const QString text = registry->ReadString(valueName);
    if (text.isEmpty())
        return {TResult::NotDeleted, {}};
    QString joined, removed;
    int position = -1;
    if (!RemoveStartupListItem(text, item, delimiter, &joined, &position, &removed))
        return {TResult::NotDeleted, {}};
    // Found before anything is written: no undo file for a delete that cannot happen.
    if (const TOutcome undo = WriteUndo(undoFile, VkuLines(false, {location, valueName, item, QString(delimiter),
                                                                   QString::number(position), removed}, date, time));
        undo.Result != TResult::Deleted)
        return undo;
    try {
        if (type == TRegDataType::ExpandString)
            registry->WriteExpandString(valueName, joined);
        else
            registry->WriteString(valueName, joined);
    } catch (const ERegistryException &e) {
        return NotDone(undoFile, {TResult::NotDeleted, e.Message()});
    }
    return {TResult::Deleted, {}};
}

TOutcome DeleteIniListItem(const QString &iniFile, const QString &iniHostFile, const QString &section,
                           const QString &key, const QString &item, QChar delimiter, const QString &date,
                           const QString &time, const QString &undoFile)
{
    if (iniHostFile.isEmpty() || !QFileInfo(iniHostFile).isFile())
        return {TResult::IniFailed, {}};
    TIniFile ini(iniHostFile);
    const QString text = ini.ReadString(section, key, QStringLiteral("error"));
    if (text == QStringLiteral("error"))
        return {TResult::IniFailed, {}};
    QString rest, removed;
    int position = -1;
    if (!RemoveStartupListItem(text, item, delimiter, &rest, &position, &removed))
        return {TResult::IniFailed, {}};
    if (const TOutcome undo = WriteUndo(undoFile, VkuLines(true, {iniFile, section, key, item, QString(delimiter),
                                                                  QString::number(position), removed}, date, time));
        undo.Result != TResult::Deleted)
        return undo;
    ini.WriteString(section, key, rest);
    if (!ini.UpdateFile())
        return NotDone(undoFile, {TResult::IniFailed, ini.ErrorString()});
    return {TResult::Deleted, {}};
}

namespace {
// The host path of a Windows path whose drive is there, the file itself there or not.
QString HostOf(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    if (path.startsWith(u'/'))
        return path;
    const TPathMapping m = WinFiles::DrivesOf(prefix).ToHost(path);
    return m.State == TPathState::Resolved || m.State == TPathState::Missing ? m.HostPath : QString();
}

// A free name for the entry's undo file in the undo folder, which is made. False when the folder
// cannot be found or made; *file is then the name a message gives.
bool PlaceUndoFile(const UndoFiles::TUndoPlan &plan, const QString &description, const QString &extension, QString *file)
{
    QString dir = plan.FolderHost;
    if (!dir.isEmpty() && !dir.endsWith(u'/'))
        dir += u'/';
    const QString name = UndoFiles::BaseName(description) + extension;
    *file = dir.isEmpty() ? QString() : plan.UniqueName ? plan.UniqueName(dir, name) : dir + name;
    if (dir.isEmpty() || !QDir().mkpath(plan.FolderHost)) {
        if (file->isEmpty())
            *file = description + extension;
        return false;
    }
    return true;
}
}

void DeleteRecord(const TStartupRecord &record, const TRecordDelete &how, const TRecordDone &onDone)
{
    QString undoFile;
    switch (record.Kind) {
    case 0:
    case 1: {
        TRootKey root;
        QString keyPath;
        SplitLocation(record.Location, &root, &keyPath);
        TRegistry probe(root, how.Prefix);
        if (!probe.OpenKeyReadOnly(u'\\' + keyPath)) {
            onDone({TResult::KeyNotOpened, {}}, {});
            return;
        }
        const QString extension = record.Kind == 0 ? QStringLiteral(".reg") : QStringLiteral(".vku");
        if (how.Undo.Write && !PlaceUndoFile(how.Undo, record.Description, extension, &undoFile)) {
            onDone({TResult::UndoFailed, {}}, undoFile);
            return;
        }
        const TOutcome outcome =
            record.Kind == 0
                ? DeleteRegValue(record.Location, record.ValueName, how.Undo.Header ? how.Undo.Header() : QStringLiteral("REGEDIT4"),
                                 undoFile, how.Prefix)
                : DeleteRegListItem(record.Location, record.ValueName, record.Data, record.Delimiter, how.Date, how.Time,
                                    undoFile, how.Prefix);
        onDone(outcome, undoFile);
        return;
    }
    case 2: {
        if (!how.DeleteFiles)
            return;
        const QString location = record.Location;
        const std::shared_ptr<TWinePrefix> prefix = how.Prefix;
        how.DeleteFiles({location}, how.Permanent, [location, prefix, onDone](bool /*aborted*/) {
            const bool kept = TStartupResolver(QString(), QString(), prefix).Exists(location);
            onDone({kept ? TResult::FileKept : TResult::Deleted, {}}, {});
        });
        return;
    }
    case 3: {
        if (how.Undo.Write && !PlaceUndoFile(how.Undo, record.Description, QStringLiteral(".vku"), &undoFile)) {
            onDone({TResult::UndoFailed, {}}, undoFile);
            return;
        }
        const TOutcome outcome = DeleteIniListItem(record.Location, HostOf(record.Location, how.Prefix), record.ValueName,
                                                   record.Data, record.Item, record.Delimiter, how.Date, how.Time, undoFile);
        onDone(outcome, undoFile);
        return;
    }
    default:
        return;
    }
}

}  // namespace StartupDelete

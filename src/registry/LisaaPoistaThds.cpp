// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the installed-programs scanner, the judgement of uninstall commands and the whole-key undo export.
#include "LisaaPoistaThds.h"

#include "registry/UndoFiles.h"

#include "platform/Registry.h"
#include "platform/WinEnvironment.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

namespace AddRemove {

const QString UninstallKey = QStringLiteral("Software\\MicroSoft\\Windows\\CurrentVersion\\Uninstall");
const QString InstallerFolders = QStringLiteral("Software\\MicroSoft\\Windows\\CurrentVersion\\Installer\\Folders");

QStringList DrivePaths(const QString &text)
{
    QStringList paths;
    QString s = text;
    for (qsizetype at = s.indexOf(QStringLiteral(":\\")); at >= 0; at = s.indexOf(QStringLiteral(":\\"))) {
        if (at == 0) {
            // ":\" with no letter before it names no drive
            s.remove(0, 2);
            continue;
        }
        s.remove(0, at - 1);
        const qsizetype dot = s.indexOf(u'.', 3);
        const QString piece = dot < 0 ? s.left(3) : s.left(dot + 4);
        paths.append(piece);
        s.remove(0, piece.size());
    }
    return paths;
}

namespace {
QStringList SortedNames(QStringList names)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(names.begin(), names.end(),
                     [&collator](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    return names;
}

// A link key that leads back to its own parent would never end: no uninstall key is that deep.
constexpr int MaxDepth = 64;

bool ExportKey(TRegistry &registry, const QString &path, QStringList *lines, QString *error, int depth = 0)
{
    if (depth > MaxDepth) {
        *error = QStringLiteral("The key %1 is nested too deep").arg(path);
        return false;
    }
    if (!registry.OpenKeyReadOnly(u'\\' + path)) {
        *error = QStringLiteral("Can't open the key %1").arg(path);
        return false;
    }
    const QStringList values = SortedNames(registry.GetValueNames());
    const QStringList keys = SortedNames(registry.GetKeyNames());
    if (!values.isEmpty()) {
        lines->append(UndoFiles::KeyLine(RootKeyName(registry.RootKey()), path));
        for (const QString &name : values) {
            QString line;
            if (!UndoFiles::LiveValueLine(registry, name, &line)) {
                *error = QStringLiteral("The value \"%1\" of %2 holds characters that the undo file cannot store").arg(name, path);
                return false;
            }
            lines->append(line);
        }
    }
    for (const QString &key : keys)
        if (!ExportKey(registry, path + u'\\' + key, lines, error, depth + 1))
            return false;
    return true;
}
}

bool ExportKeyText(TRootKey root, const QString &keyPath, QStringList *lines, QString *error,
                   const std::shared_ptr<TWinePrefix> &prefix)
{
    QString path = keyPath;
    while (path.startsWith(u'\\'))
        path.remove(0, 1);
    while (path.endsWith(u'\\'))
        path.chop(1);
    TRegistry registry(root, prefix);
    QStringList out;
    QString why;
    if (path.isEmpty() || !ExportKey(registry, path, &out, &why)) {
        if (error)
            *error = why.isEmpty() ? QStringLiteral("No key to export") : why;
        return false;
    }
    lines->append(out);
    return true;
}

QStringList SplitCommandLine(const QString &command, const std::shared_ptr<TWinePrefix> &prefix)
{
    QStringList words;
    QList<bool> quoted;
    QString word;
    bool inQuotes = false, hasWord = false, wasQuoted = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command.at(i);
        if (c == u'\\' && i + 1 < command.size() && command.at(i + 1) == u'"') {
            word += u'"';
            hasWord = true;
            ++i;
        } else if (c == u'"') {
            inQuotes = !inQuotes;
            hasWord = wasQuoted = true;
        } else if ((c == u' ' || c == u'\t') && !inQuotes) {
            if (hasWord) {
                words.append(word);
                quoted.append(wasQuoted);
            }
            word.clear();
            hasWord = wasQuoted = false;
        } else {
            word += c;
            hasWord = true;
        }
    }
    if (hasWord) {
        words.append(word);
        quoted.append(wasQuoted);
    }
    if (words.size() < 2 || quoted.constFirst())
        return words;
    // C:\Program Files\App\uninst.exe /S: the program is the first run of words naming a file.
    QString program = words.constFirst();
    if (WinFiles::FileExists(program, prefix))
        return words;
    for (qsizetype n = 1; n < words.size() && !quoted.at(n); ++n) {
        program += u' ' + words.at(n);
        if (WinFiles::FileExists(program, prefix)) {
            QStringList joined{program};
            joined.append(words.mid(n + 1));
            return joined;
        }
    }
    return words;
}

QStringList WineArguments(const QString &uninstallString, const std::shared_ptr<TWinePrefix> &prefix)
{
    QStringList arguments = SplitCommandLine(uninstallString, prefix);
    if (uninstallString.contains(QStringLiteral("rundll32"))) {
        // start reads every word before the program that begins with "/" as its own switch
        // ("/unix" runs a host program): such a command opens nothing.
        if (!arguments.isEmpty() && arguments.constFirst().startsWith(u'/'))
            return {};
        arguments.prepend(QStringLiteral("start"));
    }
    return arguments;
}

QString MissingProgram(const QString &uninstallString, const std::shared_ptr<TWinePrefix> &prefix)
{
    const QStringList words = SplitCommandLine(uninstallString, prefix);
    if (words.isEmpty())
        return {};
    QString program = words.constFirst();
    if (program.size() < 3 || !program.at(0).isLetter() || program.mid(1, 2) != u":\\")
        return {};
    if (WinFiles::FileExists(program, prefix))
        return {};
    if (QFileInfo(program.section(u'\\', -1)).suffix().isEmpty() && WinFiles::FileExists(program + QStringLiteral(".exe"), prefix))
        return {};
    // An unquoted path with blanks split at its first blank: name the whole file a user would look for.
    if (!uninstallString.trimmed().startsWith(u'"')) {
        const QStringList paths = DrivePaths(uninstallString);
        if (!paths.isEmpty() && paths.constFirst().startsWith(program, Qt::CaseInsensitive))
            program = paths.constFirst();
    }
    return program;
}

QString OpenablePath(const QString &keyPath)
{
    QString key = keyPath;
    while (key.endsWith(u'\\'))
        key.chop(1);
    return u'\\' + key;
}

TDeleteOutcome DeleteEntry(const TAddRemoveRecord &record, const UndoFiles::TUndoPlan &undo,
                           const std::shared_ptr<TWinePrefix> &prefix)
{
    QString undoFile;
    if (undo.Write) {
        const QString &folder = undo.FolderHost;
        const QString name = UndoFiles::BaseName(record.Name) + QStringLiteral(".reg");
        bool saved = false;
        QString error;
        if (!folder.isEmpty() && QDir().mkpath(folder)) {
            const QString dir = folder.endsWith(u'/') ? folder : folder + u'/';
            undoFile = undo.UniqueName ? undo.UniqueName(dir, name) : dir + name;
            QStringList lines{undo.Header ? undo.Header() : QStringLiteral("REGEDIT4")};
            saved = ExportKeyText(record.Root, record.KeyPath, &lines, &error, prefix)
                    && UndoFiles::SaveUndoText(undoFile, lines, &error);
        } else {
            undoFile = folder.isEmpty() ? name : folder + u'/' + name;
        }
        if (!saved)
            return {TDeleteResult::UndoFailed, error, undoFile};
    }
    TRegistry registry(record.Root, prefix);
    if (!registry.DeleteKey(OpenablePath(record.KeyPath))) {
        if (!undoFile.isEmpty())
            QFile::remove(undoFile);
        return {TDeleteResult::NotDeleted, registry.LastError(), {}};
    }
    return {TDeleteResult::Deleted, {}, undoFile};
}

}  // namespace AddRemove

// ---- scanner

TFindAddRemoveThd::TFindAddRemoveThd(QObject *owner, bool listExtraItems, TAddRemoveFoundHandler onFound,
                                     TAddRemoveProgressHandler onProgress, std::shared_ptr<TWinePrefix> prefix)
    : TSharedThd(owner), FListExtraItems(listExtraItems), FOnFound(std::move(onFound)),
      FOnProgress(std::move(onProgress)), FPrefix(std::move(prefix))
{
}

TFindAddRemoveThd::~TFindAddRemoveThd() = default;

int TFindAddRemoveThd::JudgeUninstallEntry(const QString &uninstallString, const QString &installLocation,
                                           const std::shared_ptr<TWinePrefix> &prefix)
{
    if (uninstallString.isEmpty() && installLocation.isEmpty())
        return 1;
    auto fileExists = [&prefix](const QString &path) { return !path.isEmpty() && WinFiles::FileExists(path, prefix); };
    auto folderExists = [&prefix](const QString &path) { return !path.isEmpty() && WinFiles::DirectoryExists(path, prefix); };

    QString s = uninstallString;
    s.remove(u'"');
    if (!s.toLower().contains(QStringLiteral("msiexec.exe"))) {
        const qsizetype dot = s.lastIndexOf(u'.');
        if (dot >= 0 && s.size() - dot - 1 >= 3)
            s.truncate(dot + 4);
        if (fileExists(s) || fileExists(WinEnvironment::WindowsFolder(prefix) + u'\\' + s)
            || fileExists(WinEnvironment::SystemFolder(prefix) + u'\\' + s))
            return 0;
    }

    // Every drive path of the command must name something that is there; failing that, a
    // program that is there at least makes the entry worth a look.
    int judgement = 2;
    const QStringList paths = AddRemove::DrivePaths(s);
    if (!paths.isEmpty()) {
        const bool allThere = std::all_of(paths.begin(), paths.end(),
                                          [&](const QString &p) { return fileExists(p) || folderExists(p); });
        if (allThere)
            judgement = 0;
        else if (fileExists(paths.constLast()))
            judgement = 1;
    }

    if (uninstallString.toLower().contains(QStringLiteral("msiexec.exe"))) {
        judgement = 1;
        const qsizetype open = uninstallString.indexOf(u'{');
        const qsizetype close = open < 0 ? -1 : uninstallString.indexOf(u'}', open);
        // Without a product code every folder name would match.
        if (close > open) {
            const QString code = uninstallString.mid(open, close - open + 1).toLower();
            QStringList folders;
            for (const QString &path : FixedKeyPaths(TRootKey::LocalMachine, AddRemove::InstallerFolders, prefix)) {
                TRegistry registry(TRootKey::LocalMachine, prefix);
                if (registry.OpenKeyReadOnly(u'\\' + path))
                    folders.append(registry.GetValueNames());
            }
            for (const QString &folder : folders) {
                if (!folder.toLower().contains(code))
                    continue;
                if (folderExists(folder))
                    judgement = 0;
                break;
            }
        }
    }

    if (judgement == 2) {
        QString location = installLocation;
        location.remove(u'"');
        if (folderExists(location))
            judgement = 1;
    }
    return judgement;
}

QList<AddRemove::TUninstallKey> AddRemove::UninstallKeys(const std::shared_ptr<TWinePrefix> &prefix)
{
    QList<TUninstallKey> keys;
    for (const QString &path : FixedKeyPaths(TRootKey::LocalMachine, UninstallKey, prefix))
        keys.append({TRootKey::LocalMachine, path});
    keys.append({TRootKey::CurrentUser, UninstallKey});
    return keys;
}

void TFindAddRemoveThd::DoWork()
{
    struct TEntry {
        TRootKey Root;
        QString KeyPath;
        QString KeyName;
    };
    QList<TEntry> entries;
    for (const AddRemove::TUninstallKey &key : AddRemove::UninstallKeys(FPrefix)) {
        TRegistry registry(key.Root, FPrefix);
        if (!registry.OpenKeyReadOnly(u'\\' + key.KeyPath))
            continue;
        for (const QString &name : registry.GetKeyNames())
            entries.append({key.Root, key.KeyPath + u'\\' + name, name});
    }
    FTotal = int(entries.size());
    for (int i = 0; i < FTotal; ++i) {
        FPosition = i;
        if (!Synchronize([this] { if (FOnProgress) FOnProgress(FPosition, FTotal); }))
            return;
        const TEntry &entry = entries.at(i);
        TRegistry registry(entry.Root, FPrefix);
        auto readString = [&registry](const QString &name) {
            try {
                return registry.ValueExists(name) ? registry.ReadString(name) : QString();
            } catch (const ERegistryException &) {
                return QString();
            }
        };
        if (registry.OpenKeyReadOnly(u'\\' + entry.KeyPath)) {
            const bool hasName = registry.ValueExists(QStringLiteral("DisplayName"));
            const bool hasCommand = registry.ValueExists(QStringLiteral("UninstallString"));
            if (FListExtraItems ? (hasName || hasCommand) : (hasName && hasCommand)) {
                const bool extra = !hasName && hasCommand;
                QString name = readString(QStringLiteral("DisplayName"));
                if (name.isEmpty())
                    name = entry.KeyName;
                const QString icon = readString(QStringLiteral("DisplayIcon"));
                const QString command = readString(QStringLiteral("UninstallString"));
                const QString location = readString(QStringLiteral("InstallLocation"));
                registry.CloseKey();
                const int judgement = JudgeUninstallEntry(command, location, FPrefix);
                const QString reported = entry.KeyPath + u'\\';
                if (!Synchronize([&] { if (FOnFound) FOnFound(name, icon, entry.Root, reported, command, location, judgement, extra); }))
                    return;
            }
        }
        if (Terminated())
            return;
    }
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry cleaner's scanner threads and the path rules by which a value is invalid.
#include "RekisteriThds.h"

#include "platform/DriveMap.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"

#include <cmath>

namespace {

// The extension of the last path component, without its dot; empty when none.
bool HasFileExtension(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i) {
        const QChar c = path.at(i);
        if (c == u'.')
            return true;
        if (c == u'\\' || c == u':')
            return false;
    }
    return false;
}

// The folder part with its trailing "\" ("C:\A\b.dll" gives "C:\A\").
QString FolderPart(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i)
        if (path.at(i) == u'\\' || path.at(i) == u':')
            return path.left(i + 1);
    return {};
}

bool Exists(const QString &path, const std::shared_ptr<TWinePrefix> &prefix)
{
    return WinFiles::FileExists(path, prefix) || WinFiles::DirectoryExists(path, prefix);
}

// Cut three characters after the last ".", when more than three follow it ("C:\A\b.exe,0").
bool TrimmedExists(const QString &text, const std::shared_ptr<TWinePrefix> &prefix)
{
    const qsizetype dot = text.lastIndexOf(u'.');
    if (dot < 0 || text.size() - dot - 1 <= 3)
        return false;
    return Exists(text.left(dot + 4), prefix);
}

}  // namespace

TEtsiRekisteri::TEtsiRekisteri(QObject *owner, const TSortedStringList &exclusions, TFoundHandler onFound,
                               TProgressHandler onProgress, TTotalHandler onTotal, TRootKey rootKey,
                               const QString &keyPath, int partCount, int partIndex, TSplitHandler onSplit,
                               std::shared_ptr<TWinePrefix> prefix)
    : TSharedThd(owner),
      FExclusions(exclusions),
      FOnFound(std::move(onFound)),
      FOnProgress(std::move(onProgress)),
      FOnTotal(std::move(onTotal)),
      FOnSplit(std::move(onSplit)),
      FRootKey(rootKey),
      FKeyPath(keyPath),
      FPartCount(partCount),
      FPartIndex(partIndex),
      FPrefix(prefix ? std::move(prefix) : TWinePrefix::Current())
{
    for (const QString &entry : FExclusions)
        if (!entry.isEmpty())
            FLowerSkips.append(entry.toLower());
    // The drive map is built on first use: build it here, on the owner's thread, so the workers
    // only ever read it.
    if (FPrefix)
        FPrefix->Drives();
    FRegistry = std::make_unique<TRegistry>(rootKey, FPrefix);
}

TEtsiRekisteri::~TEtsiRekisteri() = default;

bool TEtsiRekisteri::PathIsFine(const QString &text, const std::shared_ptr<TWinePrefix> &prefix)
{
    if (text.size() < 3)
        return true;
    const QChar drive = text.at(0).toUpper();
    if (drive < u'C' || drive > u'Z')
        return true;
    if (text.contains(u';') || text.contains(u',') || text.contains(u' '))
        return true;
    if (text.at(1) != u':' || text.at(2) != u'\\')
        return true;
    const std::shared_ptr<TWinePrefix> pc = prefix ? prefix : TWinePrefix::Current();
    if (!pc || pc->Drives().DriveType(drive) != TDriveType::Fixed)
        return true;
    if (!HasFileExtension(text)) {
        QString folder = text;
        if (!folder.endsWith(u'\\'))
            folder += u'\\';
        // A file without an extension ("C:\tools\make") exists too: never report it as missing.
        return WinFiles::DirectoryExists(folder, pc) || WinFiles::FileGetAttr(text, pc) != FileAttr::Invalid;
    }
    return WinFiles::DirectoryExists(FolderPart(text), pc) && WinFiles::FileGetAttr(text, pc) != FileAttr::Invalid;
}

bool TEtsiRekisteri::SkipMatches(const QString &text, const QString &skip)
{
    if (!skip.contains(u'\\'))
        return text.contains(skip);
    // A path matches whole key names: Software\Wine is no part of Software\WineCellar.
    for (qsizetype at = text.indexOf(skip); at >= 0; at = text.indexOf(skip, at + 1)) {
        const qsizetype end = at + skip.size();
        const bool starts = at == 0 || skip.startsWith(u'\\') || text.at(at - 1) == u'\\';
        const bool ends = end == text.size() || skip.endsWith(u'\\') || text.at(end) == u'\\';
        if (starts && ends)
            return true;
    }
    return false;
}

bool TEtsiRekisteri::IsExcludedOrTrimmedPathExists(const QStringList &lowerSkips, const QString &fullKey,
                                                   const QString &valueName, const QString &data,
                                                   const std::shared_ptr<TWinePrefix> &prefix)
{
    if (!lowerSkips.isEmpty()) {
        const QString key = fullKey.toLower(), name = valueName.toLower(), text = data.toLower();
        for (const QString &skip : lowerSkips)
            if (!skip.isEmpty() && (SkipMatches(key, skip) || SkipMatches(name, skip) || SkipMatches(text, skip)))
                return true;
    }
    if (!data.isEmpty() && TrimmedExists(data, prefix))
        return true;
    if (!valueName.isEmpty() && TrimmedExists(valueName, prefix))
        return true;
    return false;
}

QStringList TEtsiRekisteri::PartOfNames(const QStringList &names, int partCount, int partIndex)
{
    if (partCount <= 1 || names.size() < partCount)
        return names;
    const double x = double(names.size()) / double(partCount);
    // std::nearbyint rounds halves to the even neighbour in the default rounding mode.
    const qsizetype first = qsizetype(std::nearbyint((partIndex - 1) * x));
    const qsizetype last = qsizetype(std::nearbyint(partIndex * x)) - 1;
    return names.mid(first, last - first + 1);
}

void TEtsiRekisteri::DoWork()
{
    FRegistry->SetRootKey(FRootKey);
    FRootName = RootKeyName(FRootKey);
    if (FRootKey == TRootKey::ClassesRoot)
        FRootName.clear();
    if (!FRegistry->OpenKeyReadOnly(FKeyPath))
        return;
    // A hive's root key holds values too (Wine's "[]" block); the first part of a scan takes them.
    if (FPartIndex == 1 && FRegistry->CurrentPath().isEmpty()) {
        CheckValues();
        if (Terminated())
            return;
    }
    QStringList names = FRegistry->GetKeyNames();
    // HKEY_USERS holds the user's own key, the very tree the HKEY_CURRENT_USER scan walks: its values
    // would be found twice, and its skip entries would not hold under the second name.
    if (FRootKey == TRootKey::Users && FRegistry->CurrentPath().isEmpty() && FPrefix)
        names.removeIf([sid = FPrefix->UserSid()](const QString &name) { return name.compare(sid, Qt::CaseInsensitive) == 0; });
    if (FPartIndex == 1) {
        FTotal = CountSecondLevelKeys(names) + int(names.size());
        if (Terminated() || !Synchronize([this] { if (FOnTotal) FOnTotal(FTotal); }))
            return;
    }
    if (FPartCount > 1 && names.size() >= FPartCount) {
        if (FPartIndex < FPartCount) {
            const bool delivered = Synchronize([this] {
                auto *child = new TEtsiRekisteri(Owner(), FExclusions, FOnFound, FOnProgress, FOnTotal, FRootKey,
                                                 FKeyPath, FPartCount, FPartIndex + 1, FOnSplit, FPrefix);
                if (FOnSplit)
                    FOnSplit(child);
                else
                    child->StopAndWait();
            });
            if (!delivered)
                return;
        }
        names = PartOfNames(names, FPartCount, FPartIndex);
    }
    ScanKey(names, true);
}

int TEtsiRekisteri::CountSecondLevelKeys(const QStringList &names) const
{
    TRegistry other(FRootKey, FPrefix);
    int count = 0;
    const QString base = FKeyPath == QStringLiteral("\\") ? QString() : FKeyPath;
    for (const QString &name : names) {
        if (Terminated())
            break;
        if (other.OpenKeyReadOnly(base + u'\\' + name))
            count += int(other.GetKeyNames().size());
    }
    return count;
}

bool TEtsiRekisteri::StepsCountedHere() const
{
    const QString path = FRegistry->CurrentPath();
    int depth = int(path.count(u'\\'));
    if (path.startsWith(u'\\'))
        --depth;
    return depth <= 0 || (depth == 1 && FRootKey == TRootKey::LocalMachine);
}

void TEtsiRekisteri::ScanKey(const QStringList &names, bool useNames)
{
    const bool counted = StepsCountedHere();
    QString remembered = FRegistry->CurrentPath();
    if (!remembered.startsWith(u'\\'))
        remembered.prepend(u'\\');
    const QStringList visit = useNames ? names : FRegistry->GetKeyNames();
    for (const QString &name : visit) {
        if (counted) {
            ++FPosition;
            if (!Synchronize([this] { if (FOnProgress) FOnProgress(FPosition, FTotal); }))
                return;
        }
        if (name.isEmpty())
            continue;
        if (FRegistry->OpenKeyReadOnly(name)) {
            CheckValues();
            if (Terminated())
                return;
            if (FRegistry->HasSubKeys())
                ScanKey({}, false);
        }
        if (Terminated())
            return;
        FRegistry->OpenKeyReadOnly(remembered);
    }
}

void TEtsiRekisteri::CheckValues()
{
    const QStringList valueNames = FRegistry->GetValueNames();
    for (const QString &valueName : valueNames) {
        const TRegDataType type = FRegistry->GetDataType(valueName);
        if (type != TRegDataType::String && type != TRegDataType::ExpandString)
            continue;
        if (Terminated())
            return;
        QString data;
        try {
            data = FRegistry->ReadString(valueName);
        } catch (const ERegistryException &) {
            continue;
        }
        if (PathIsFine(valueName, FPrefix) && PathIsFine(data, FPrefix))
            continue;
        QString keyPath = FRegistry->CurrentPath();
        while (keyPath.startsWith(u'\\'))
            keyPath.remove(0, 1);
        if (IsExcludedOrTrimmedPathExists(FLowerSkips, FRootName + u'\\' + keyPath, valueName, data, FPrefix))
            continue;
        const QDateTime modified = FRegistry->LastWriteTime();
        if (!Synchronize([&] { if (FOnFound) FOnFound(FRootName, keyPath, modified, valueName, data); }))
            return;
    }
}

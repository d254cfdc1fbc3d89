// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the registry accessor over a prefix's hive files, and the shared set of loaded hives.
#include "Registry.h"

#include "HiveFile.h"
#include "WinePrefix.h"

#include <QFileInfo>

#include <algorithm>

namespace {

const QString DefaultSid = QStringLiteral("S-1-5-21-0-0-0-1000");

QStringList SplitPath(const QString &path)
{
    return path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

struct TRef {
    THiveId Id = THiveId::System;
    THiveFile *Hive = nullptr;
    THiveKey *Key = nullptr;
};

// The hive and the path inside it that a link target ("\Registry\Machine\...") names.
bool MapLinkTarget(THiveSet &set, const QString &target, THiveId *id, QStringList *parts)
{
    QStringList p = SplitPath(target);
    if (p.size() < 2 || p[0].compare(QLatin1String("Registry"), Qt::CaseInsensitive) != 0)
        return false;
    if (p[1].compare(QLatin1String("Machine"), Qt::CaseInsensitive) == 0) {
        *id = THiveId::System;
        *parts = p.mid(2);
        return true;
    }
    if (p[1].compare(QLatin1String("User"), Qt::CaseInsensitive) == 0 && p.size() >= 3) {
        if (p[2].compare(QLatin1String(".Default"), Qt::CaseInsensitive) == 0)
            *id = THiveId::UserDefault;
        else if (p[2].compare(set.UserSid(), Qt::CaseInsensitive) == 0)
            *id = THiveId::User;
        else
            return false;
        *parts = p.mid(3);
        return true;
    }
    return false;
}

// Walks parts from the hive's root. Links are followed on every component but the last, and on the
// last one too with followLast. With create, missing keys are made (the deepest gets a block of its
// own, the first one's parent a new time).
TRef Walk(THiveSet &set, THiveId id, const QStringList &parts, bool followLast, bool create, int depth = 0)
{
    THiveFile *hive = &set.Hive(id);
    THiveKey *key = hive->Root();
    THiveKey *firstNew = nullptr;
    for (int i = 0; i < parts.size(); ++i) {
        THiveKey *child = THiveFile::Child(key, parts[i]);
        if (!child) {
            if (!create)
                return {};
            child = hive->CreateChild(key, parts[i]);
            if (!firstNew)
                firstNew = child;
        }
        const bool last = i == parts.size() - 1;
        if (child->IsLink && (!last || followLast) && depth < 8) {
            THiveId targetId;
            QStringList targetParts;
            if (MapLinkTarget(set, hive->LinkTarget(child), &targetId, &targetParts))
                return Walk(set, targetId, targetParts + parts.mid(i + 1), followLast, create, depth + 1);
        }
        key = child;
    }
    if (firstNew) {
        hive->Touch(firstNew->Parent, false);
        hive->Touch(key, true);
    }
    return {id, hive, key};
}

// HKEY_CLASSES_ROOT lies over two hives; the first reference is the one whose values show.
struct TResolved {
    TRef Refs[2];
    int Count = 0;
    bool UsersRoot = false;  // HKEY_USERS itself: ".Default" and the user's SID, no values
    bool Found() const { return UsersRoot || Count > 0; }
    const TRef *ValueRef() const { return Count ? &Refs[0] : nullptr; }
};

const QStringList ClassesPath = {QStringLiteral("Software"), QStringLiteral("Classes")};

TResolved Resolve(THiveSet &set, TRootKey root, const QStringList &parts, bool followLast)
{
    TResolved r;
    auto add = [&](TRef ref) {
        if (ref.Key)
            r.Refs[r.Count++] = ref;
    };
    switch (root) {
    case TRootKey::LocalMachine:
        add(Walk(set, THiveId::System, parts, followLast, false));
        break;
    case TRootKey::CurrentUser:
        add(Walk(set, THiveId::User, parts, followLast, false));
        break;
    case TRootKey::ClassesRoot:
        add(Walk(set, THiveId::User, ClassesPath + parts, followLast, false));
        add(Walk(set, THiveId::System, ClassesPath + parts, followLast, false));
        break;
    case TRootKey::Users:
        if (parts.isEmpty())
            r.UsersRoot = true;
        else if (parts[0].compare(QLatin1String(".Default"), Qt::CaseInsensitive) == 0)
            add(Walk(set, THiveId::UserDefault, parts.mid(1), followLast, false));
        else if (parts[0].compare(set.UserSid(), Qt::CaseInsensitive) == 0)
            add(Walk(set, THiveId::User, parts.mid(1), followLast, false));
        break;
    case TRootKey::None:
        break;
    }
    return r;
}

// Where writes under root go: HKEY_CLASSES_ROOT writes to HKLM\Software\Classes.
bool WriteTarget(THiveSet &set, TRootKey root, const QStringList &parts, THiveId *id, QStringList *inHive)
{
    switch (root) {
    case TRootKey::LocalMachine:
        *id = THiveId::System;
        *inHive = parts;
        return true;
    case TRootKey::CurrentUser:
        *id = THiveId::User;
        *inHive = parts;
        return true;
    case TRootKey::ClassesRoot:
        *id = THiveId::System;
        *inHive = ClassesPath + parts;
        return true;
    case TRootKey::Users:
        if (parts.isEmpty())
            return false;
        if (parts[0].compare(QLatin1String(".Default"), Qt::CaseInsensitive) == 0)
            *id = THiveId::UserDefault;
        else if (parts[0].compare(set.UserSid(), Qt::CaseInsensitive) == 0)
            *id = THiveId::User;
        else
            return false;
        *inHive = parts.mid(1);
        return true;
    case TRootKey::None:
        break;
    }
    return false;
}

// Where a value of a delete run lives now; no key when its key is gone.
TRef DeletionTarget(THiveSet &set, const TValueDeletion &value)
{
    THiveId id;
    QStringList inHive;
    if (!WriteTarget(set, value.Root, SplitPath(value.KeyPath), &id, &inHive))
        return {};
    return Walk(set, id, inHive, true, false);
}

// A value to delete that is no longer what the caller saw.
bool DataChanged(const TRef &ref, const THiveValue &value, const TValueDeletion &v)
{
    return v.CheckData && (value.Type != v.ExpectedType || ref.Hive->ValueString(value) != v.ExpectedText);
}

// The end of a run under the write lock: each hive that changed is written once. One that cannot be
// saved goes back to what its file holds, and the values that went to it are refused with the reason.
template <typename TRefuse>
void SaveRun(THiveSet &set, const QList<int> (&byHive)[3], TRefuse refuse)
{
    for (int id = 0; id < 3; ++id) {
        QString error;
        if (!byHive[id].isEmpty() && !set.Hive(THiveId(id)).Save(&error))
            refuse(byHive[id], error);
    }
    set.Bump();
}

TRegDataType DataTypeOf(const THiveFile &hive, const THiveValue &v)
{
    switch (v.Type) {
    case 1: return TRegDataType::String;
    case 2: return TRegDataType::ExpandString;
    case 7: return TRegDataType::MultiString;
    case 3: return TRegDataType::Binary;
    case 4: return hive.ValueBytes(v).size() == 4 ? TRegDataType::Integer : TRegDataType::Other;
    default: return TRegDataType::Other;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

ERegistryException::ERegistryException(const QString &message) : std::runtime_error(message.toStdString()) {}

QString ERegistryException::Message() const
{
    return QString::fromStdString(what());
}

QString RootKeyName(TRootKey root)
{
    switch (root) {
    case TRootKey::ClassesRoot: return QStringLiteral("HKEY_CLASSES_ROOT");
    case TRootKey::CurrentUser: return QStringLiteral("HKEY_CURRENT_USER");
    case TRootKey::LocalMachine: return QStringLiteral("HKEY_LOCAL_MACHINE");
    case TRootKey::Users: return QStringLiteral("HKEY_USERS");
    case TRootKey::None: break;
    }
    return QString();
}

QStringList FixedKeyPaths(TRootKey root, const QString &keyPath, std::shared_ptr<TWinePrefix> prefix)
{
    QString path = keyPath;
    while (path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    const QStringList parts = SplitPath(path);
    if (root != TRootKey::LocalMachine || parts.size() < 2 || parts[0].compare(QLatin1String("Software"), Qt::CaseInsensitive) != 0
        || parts[1].compare(QLatin1String("Wow6432Node"), Qt::CaseInsensitive) == 0
        || parts[1].compare(QLatin1String("Classes"), Qt::CaseInsensitive) == 0)
        return {path};
    if (!prefix)
        prefix = TWinePrefix::Current();
    if (!prefix || !prefix->IsWin64())
        return {path};
    return {path, parts[0] + QLatin1String("\\Wow6432Node\\") + parts.mid(1).join(QLatin1Char('\\'))};
}

TRootKey RootKeyFromText(const QString &name)
{
    for (TRootKey r : {TRootKey::ClassesRoot, TRootKey::CurrentUser, TRootKey::LocalMachine, TRootKey::Users})
        if (name.compare(RootKeyName(r), Qt::CaseInsensitive) == 0)
            return r;
    return TRootKey::None;
}

// ---------------------------------------------------------------------------------------------

THiveSet::THiveSet(const QString &prefixFolder) : FFolder(prefixFolder) {}

THiveSet::~THiveSet() = default;

void THiveSet::EnsureLoaded()
{
    if (FLoaded.load(std::memory_order_acquire))
        return;
    QWriteLocker lock(&FLock);
    if (FLoaded.load(std::memory_order_relaxed))
        return;
    FHives[int(THiveId::User)] = std::make_unique<THiveFile>(FFolder + QStringLiteral("/user.reg"),
                                                             QStringLiteral("\\User\\") + DefaultSid);
    FHives[int(THiveId::User)]->Load();
    // Wine names the user's key in the header: ";; All keys relative to \\User\\S-1-5-21-...".
    const QString relative = FHives[int(THiveId::User)]->HeaderRelativeTo();
    const QStringList parts = SplitPath(relative);
    FSid = parts.size() == 2 && parts[0].compare(QLatin1String("User"), Qt::CaseInsensitive) == 0
                   && parts[1].startsWith(QLatin1String("S-"), Qt::CaseInsensitive)
               ? parts[1]
               : DefaultSid;
    FHives[int(THiveId::System)] = std::make_unique<THiveFile>(FFolder + QStringLiteral("/system.reg"),
                                                               QStringLiteral("\\Machine"));
    FHives[int(THiveId::System)]->Load();
    FHives[int(THiveId::UserDefault)] = std::make_unique<THiveFile>(FFolder + QStringLiteral("/userdef.reg"),
                                                                    QStringLiteral("\\User\\.Default"));
    FHives[int(THiveId::UserDefault)]->Load();
    QByteArray arch;
    for (auto &h : FHives)
        if (arch.isEmpty())
            arch = h->Arch();
    for (auto &h : FHives)
        h->SetNewFileArch(arch);
    Bump();
    FLoaded.store(true, std::memory_order_release);
}

THiveFile &THiveSet::Hive(THiveId id)
{
    return *FHives[int(id)];
}

QString THiveSet::UserSid()
{
    return FSid.isEmpty() ? DefaultSid : FSid;
}

void THiveSet::Unload()
{
    QWriteLocker lock(&FLock);
    for (auto &h : FHives)
        h.reset();
    FLoaded.store(false, std::memory_order_release);
    Bump();
}

void THiveSet::ReloadChanged()
{
    for (auto &h : FHives)
        if (h && h->ChangedOnDisk()) {
            h->Load();
            Bump();
        }
}

QStringList THiveSet::LoadErrors()
{
    EnsureLoaded();
    QReadLocker lock(&FLock);
    QStringList errors;
    for (THiveId id : {THiveId::System, THiveId::User, THiveId::UserDefault})
        if (const QString error = FHives[int(id)]->LoadError(); !error.isEmpty())
            errors.append(error);
    return errors;
}

void THiveSet::RefreshIfChanged()
{
    if (!FLoaded.load(std::memory_order_acquire))
        return;
    bool changed = false;
    {
        QReadLocker lock(&FLock);
        for (auto &h : FHives)
            changed = changed || (h && h->ChangedOnDisk());
    }
    if (changed) {
        QWriteLocker lock(&FLock);
        ReloadChanged();
    }
}

// ---------------------------------------------------------------------------------------------

struct TRegistry::TImpl {
    std::shared_ptr<TWinePrefix> Prefix;
    TRootKey Root = TRootKey::CurrentUser;
    bool Open = false;
    bool ReadOnly = false;
    QString Path;            // as the caller sees it (CurrentPath)
    QStringList Parts;       // the same, split
    bool FollowLast = true;  // false: the key was opened as one name below the last one
    mutable QString LastError;
    // The resolved key, valid while the hive set's generation stays the same.
    mutable quint64 CachedGeneration = 0;
    mutable TResolved Cached;

    THiveSet &Set() const { return Prefix->Hives(); }

    // Call with the read or write lock held.
    const TResolved &Current() const
    {
        const quint64 g = Set().Generation();
        if (CachedGeneration != g) {
            Cached = Resolve(Set(), Root, Parts, FollowLast);
            CachedGeneration = g;
        }
        return Cached;
    }

    void Fail(const QString &message) const { LastError = message; }

    // The parts a path names, from the root when it starts with "\", else below the current key.
    QStringList Target(const QString &path, QString *shown, bool *followLast) const
    {
        QString p = path;
        while (p.size() > 1 && p.endsWith(QLatin1Char('\\')))
            p.chop(1);
        if (p.startsWith(QLatin1Char('\\'))) {
            *shown = p.mid(1);
            *followLast = true;
            return SplitPath(p);
        }
        *shown = (Open ? Path : QString()) + QLatin1Char('\\') + p;
        *followLast = p.contains(QLatin1Char('\\'));
        if (p.isEmpty())
            *shown = Open ? Path : QString();
        return (Open ? Parts : QStringList()) + SplitPath(p);
    }

    // Runs change under the write lock on the current state of the files, then saves the hive it
    // names. False (with LastError) when nothing was written.
    template <typename F>
    bool Mutate(F change)
    {
        if (ReadOnly) {
            Fail(QStringLiteral("The key \"%1\" was opened for reading only.").arg(Path));
            return false;
        }
        const QString blocker = Prefix->WriteBlocker();
        if (!blocker.isEmpty()) {
            Fail(blocker);
            return false;
        }
        Set().EnsureLoaded();
        QWriteLocker lock(&Set().Lock());
        Set().ReloadChanged();
        THiveId id = THiveId::System;
        QString error;
        const int result = change(&id, &error);  // 1 changed, 0 nothing to do, -1 failed
        if (result < 0) {
            Fail(error);
            Set().Bump();
            return false;
        }
        if (result == 0)
            return true;
        THiveFile &hive = Set().Hive(id);
        const bool saved = hive.Save(&error);
        Set().Bump();
        if (!saved) {
            Fail(error);
            return false;
        }
        return true;
    }

    bool SetValue(const QString &name, quint32 type, const QByteArray &data)
    {
        if (!Open) {
            Fail(QStringLiteral("No registry key is open."));
            return false;
        }
        return Mutate([&](THiveId *id, QString *error) {
            QStringList inHive;
            if (!WriteTarget(Set(), Root, Parts, id, &inHive)) {
                *error = QStringLiteral("Values cannot be written to \"%1\".").arg(RootKeyName(Root) + QLatin1Char('\\') + Path);
                return -1;
            }
            // HKEY_CLASSES_ROOT may show a key that only HKCU holds: its machine copy is made here.
            const TRef ref = Walk(Set(), *id, inHive, FollowLast, Root == TRootKey::ClassesRoot);
            if (!ref.Key) {
                *error = QStringLiteral("The key \"%1\" no longer exists.").arg(RootKeyName(Root) + QLatin1Char('\\') + Path);
                return -1;
            }
            *id = ref.Id;
            ref.Hive->SetValue(ref.Key, name, type, data);
            return 1;
        });
    }

    template <typename T>
    T ReadValue(const QString &name, std::initializer_list<TRegDataType> kinds,
                T (*get)(const THiveFile &, const THiveValue &)) const
    {
        Set().EnsureLoaded();
        QReadLocker lock(&Set().Lock());
        const TResolved &r = Current();
        const TRef *ref = Open ? r.ValueRef() : nullptr;
        const THiveValue *v = ref ? THiveFile::FindValue(ref->Key, name) : nullptr;
        if (!v)
            throw ERegistryException(QStringLiteral("The value \"%1\" does not exist.").arg(name));
        const TRegDataType type = DataTypeOf(*ref->Hive, *v);
        if (std::find(kinds.begin(), kinds.end(), type) == kinds.end())
            throw ERegistryException(QStringLiteral("Invalid data type for \"%1\".").arg(name));
        return get(*ref->Hive, *v);
    }
};

TRegistry::TRegistry(TRootKey root, std::shared_ptr<TWinePrefix> prefix) : d(std::make_unique<TImpl>())
{
    d->Prefix = prefix ? std::move(prefix) : TWinePrefix::Current();
    d->Root = root;
    // A tool that starts now reads what Wine wrote since the hives were loaded.
    d->Set().RefreshIfChanged();
}

TRegistry::~TRegistry() = default;

void TRegistry::SetRootKey(TRootKey root)
{
    CloseKey();
    d->Root = root;
}

TRootKey TRegistry::RootKey() const
{
    return d->Root;
}

bool TRegistry::OpenKey(const QString &path, bool canCreate)
{
    QString shown;
    bool followLast = true;
    const QStringList parts = d->Target(path, &shown, &followLast);
    d->Set().EnsureLoaded();
    bool found;
    {
        QReadLocker lock(&d->Set().Lock());
        found = Resolve(d->Set(), d->Root, parts, followLast).Found();
    }
    if (!found) {
        if (!canCreate) {
            d->Fail(QStringLiteral("The key \"%1\" does not exist.").arg(RootKeyName(d->Root) + QLatin1Char('\\') + shown));
            return false;
        }
        d->ReadOnly = false;
        const bool made = d->Mutate([&](THiveId *id, QString *error) {
            QStringList inHive;
            if (!WriteTarget(d->Set(), d->Root, parts, id, &inHive) || inHive.isEmpty()) {
                *error = QStringLiteral("The key \"%1\" cannot be created.").arg(RootKeyName(d->Root) + QLatin1Char('\\') + shown);
                return -1;
            }
            const TRef ref = Walk(d->Set(), *id, inHive, followLast, true);
            *id = ref.Id;
            return 1;
        });
        if (!made)
            return false;
    }
    d->Open = true;
    d->ReadOnly = false;
    d->Path = shown;
    d->Parts = parts;
    d->FollowLast = followLast;
    d->CachedGeneration = 0;
    return true;
}

bool TRegistry::OpenKeyReadOnly(const QString &path)
{
    if (!OpenKey(path, false))
        return false;
    d->ReadOnly = true;
    return true;
}

void TRegistry::CloseKey()
{
    d->Open = false;
    d->ReadOnly = false;
    d->Path.clear();
    d->Parts.clear();
    d->FollowLast = true;
    d->CachedGeneration = 0;
}

QString TRegistry::CurrentPath() const
{
    return d->Path;
}

bool TRegistry::HasCurrentKey() const
{
    return d->Open;
}

bool TRegistry::KeyExists(const QString &path) const
{
    QString shown;
    bool followLast = true;
    const QStringList parts = d->Target(path, &shown, &followLast);
    d->Set().EnsureLoaded();
    QReadLocker lock(&d->Set().Lock());
    return Resolve(d->Set(), d->Root, parts, followLast).Found();
}

bool TRegistry::HasSubKeys() const
{
    if (!d->Open)
        return false;
    d->Set().EnsureLoaded();
    QReadLocker lock(&d->Set().Lock());
    const TResolved &r = d->Current();
    if (r.UsersRoot)
        return true;
    for (int i = 0; i < r.Count; ++i)
        if (!r.Refs[i].Key->Children.empty())
            return true;
    return false;
}

QStringList TRegistry::GetKeyNames() const
{
    QStringList names;
    if (!d->Open)
        return names;
    d->Set().EnsureLoaded();
    QReadLocker lock(&d->Set().Lock());
    const TResolved &r = d->Current();
    if (r.UsersRoot)
        return {QStringLiteral(".Default"), d->Set().UserSid()};
    if (r.Count == 1) {
        names.reserve(int(r.Refs[0].Key->Children.size()));
        for (const THiveKey *c : r.Refs[0].Key->Children)
            names.append(c->Name);
        return names;
    }
    std::vector<const THiveKey *> all;
    for (int i = 0; i < r.Count; ++i)
        for (const THiveKey *c : r.Refs[i].Key->Children)
            all.push_back(c);
    std::stable_sort(all.begin(), all.end(), [](const THiveKey *a, const THiveKey *b) { return a->Folded < b->Folded; });
    for (size_t i = 0; i < all.size(); ++i)
        if (i == 0 || all[i]->Folded != all[i - 1]->Folded)
            names.append(all[i]->Name);
    return names;
}

QStringList TRegistry::GetValueNames() const
{
    QStringList names;
    if (!d->Open)
        return names;
    d->Set().EnsureLoaded();
    QReadLocker lock(&d->Set().Lock());
    if (const TRef *ref = d->Current().ValueRef()) {
        names.reserve(int(ref->Key->Values.size()));
        for (const THiveValue &v : ref->Key->Values)
            names.append(v.Name);
    }
    return names;
}

bool TRegistry::ValueExists(const QString &name) const
{
    return GetDataType(name) != TRegDataType::None;
}

TRegDataType TRegistry::GetDataType(const QString &name) const
{
    if (!d->Open)
        return TRegDataType::None;
    d->Set().EnsureLoaded();
    QReadLocker lock(&d->Set().Lock());
    const TRef *ref = d->Current().ValueRef();
    const THiveValue *v = ref ? THiveFile::FindValue(ref->Key, name) : nullptr;
    return v ? DataTypeOf(*ref->Hive, *v) : TRegDataType::None;
}

quint32 TRegistry::GetTypeNumber(const QString &name) const
{
    if (!d->Open)
        return 0;
    d->Set().EnsureLoaded();
    QReadLocker lock(&d->Set().Lock());
    const TRef *ref = d->Current().ValueRef();
    const THiveValue *v = ref ? THiveFile::FindValue(ref->Key, name) : nullptr;
    return v ? v->Type : 0;
}

QDateTime TRegistry::LastWriteTime() const
{
    if (!d->Open)
        return QDateTime();
    d->Set().EnsureLoaded();
    QReadLocker lock(&d->Set().Lock());
    const TRef *ref = d->Current().ValueRef();
    if (!ref || !ref->Key->HasTime)
        return QDateTime();
    return HiveText::FromFileTime(ref->Key->FileTime);
}

QString TRegistry::ReadString(const QString &name) const
{
    return d->ReadValue<QString>(name, {TRegDataType::String, TRegDataType::ExpandString},
                                 [](const THiveFile &h, const THiveValue &v) { return h.ValueString(v); });
}

QStringList TRegistry::ReadMultiString(const QString &name) const
{
    return d->ReadValue<QStringList>(name, {TRegDataType::MultiString}, [](const THiveFile &h, const THiveValue &v) {
        QStringList items = h.ValueString(v).split(QChar(0));
        while (!items.isEmpty() && items.back().isEmpty())
            items.removeLast();
        return items;
    });
}

quint32 TRegistry::ReadInteger(const QString &name) const
{
    return d->ReadValue<quint32>(name, {TRegDataType::Integer}, [](const THiveFile &h, const THiveValue &v) {
        const QByteArray b = h.ValueBytes(v);
        return quint32(uchar(b[0])) | quint32(uchar(b[1])) << 8 | quint32(uchar(b[2])) << 16 | quint32(uchar(b[3])) << 24;
    });
}

QByteArray TRegistry::ReadBinaryData(const QString &name) const
{
    return d->ReadValue<QByteArray>(name, {TRegDataType::Binary, TRegDataType::Other},
                                    [](const THiveFile &h, const THiveValue &v) { return h.ValueBytes(v); });
}

QByteArray TRegistry::StringData(const QString &text)
{
    return HiveText::Utf16(text, true);
}

QByteArray TRegistry::IntegerData(quint32 value)
{
    QByteArray data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = char((value >> (8 * i)) & 0xFF);
    return data;
}

QByteArray TRegistry::MultiStringData(const QStringList &items)
{
    QString text;
    for (const QString &item : items)
        text += item + QChar(0);
    text += QChar(0);
    return HiveText::Utf16(text, false);
}

void TRegistry::WriteString(const QString &name, const QString &value)
{
    if (!d->SetValue(name, 1, StringData(value)))
        throw ERegistryException(d->LastError);
}

void TRegistry::WriteExpandString(const QString &name, const QString &value)
{
    if (!d->SetValue(name, 2, StringData(value)))
        throw ERegistryException(d->LastError);
}

void TRegistry::WriteInteger(const QString &name, quint32 value)
{
    if (!d->SetValue(name, 4, IntegerData(value)))
        throw ERegistryException(d->LastError);
}

void TRegistry::WriteBinaryData(const QString &name, const QByteArray &value)
{
    if (!d->SetValue(name, 3, value))
        throw ERegistryException(d->LastError);
}

bool TRegistry::DeleteValue(const QString &name)
{
    if (!d->Open) {
        d->Fail(QStringLiteral("No registry key is open."));
        return false;
    }
    return d->Mutate([&](THiveId *id, QString *error) {
        QStringList inHive;
        const TRef ref = WriteTarget(d->Set(), d->Root, d->Parts, id, &inHive)
                             ? Walk(d->Set(), *id, inHive, d->FollowLast, false)
                             : TRef();
        if (!ref.Key || !ref.Hive->DeleteValue(ref.Key, name)) {
            *error = QStringLiteral("The value \"%1\" does not exist.").arg(name);
            return -1;
        }
        *id = ref.Id;
        return 1;
    });
}

bool TRegistry::DeleteKey(const QString &path)
{
    QString shown;
    bool followLast = true;
    const QStringList parts = d->Target(path, &shown, &followLast);
    const bool wasReadOnly = d->ReadOnly;
    d->ReadOnly = false;  // deleting names its own key; the open key's access does not apply
    const bool done = d->Mutate([&](THiveId *id, QString *error) {
        QStringList inHive;
        // A link key is deleted itself, never the key it points at.
        const TRef ref = WriteTarget(d->Set(), d->Root, parts, id, &inHive) && !inHive.isEmpty()
                             ? Walk(d->Set(), *id, inHive, false, false)
                             : TRef();
        if (!ref.Key || ref.Key == ref.Hive->Root()) {
            *error = QStringLiteral("The key \"%1\" does not exist.").arg(RootKeyName(d->Root) + QLatin1Char('\\') + shown);
            return -1;
        }
        *id = ref.Id;
        ref.Hive->DeleteKey(ref.Key);
        return 1;
    });
    d->ReadOnly = wasReadOnly;
    return done;
}

QString TRegistry::LastError() const
{
    return d->LastError;
}

void TRegistry::DeleteValues(QList<TValueDeletion> &values, const TBeforeDeletion &beforeWrite,
                             std::shared_ptr<TWinePrefix> prefix, const TCommitDeletion &commit)
{
    if (!prefix)
        prefix = TWinePrefix::Current();
    auto refuse = [&values](const QList<int> &indexes, const QString &why) {
        for (int i : indexes) {
            values[i].Result = TValueDeletion::TResult::Refused;
            values[i].Error = why;
        }
    };
    QList<int> all;
    for (int i = 0; i < values.size(); ++i)
        all.append(i);
    QString blocker = prefix->WriteBlocker();
    if (!blocker.isEmpty()) {
        refuse(all, blocker);
        return;
    }
    THiveSet &set = prefix->Hives();
    set.EnsureLoaded();
    QList<int> going;
    {
        QWriteLocker lock(&set.Lock());
        set.ReloadChanged();
        for (int i : std::as_const(all)) {
            TValueDeletion &v = values[i];
            const TRef ref = DeletionTarget(set, v);
            QString why;
            const THiveValue *value = ref.Key ? THiveFile::FindValue(ref.Key, v.ValueName) : nullptr;
            if (!value)
                v.Result = TValueDeletion::TResult::Gone;
            else if (DataChanged(ref, *value, v))
                v.Result = TValueDeletion::TResult::Changed;
            else if (!ref.Hive->CanSave(&why))
                refuse({i}, why);
            else
                going.append(i);
        }
        set.Bump();
    }
    if (going.isEmpty())
        return;
    // The lock is not held here: the undo file may take a dialog.
    if (beforeWrite && !beforeWrite(going)) {
        refuse(going, QString());
        return;
    }
    // A Wine program started meanwhile would write its own copy over ours.
    blocker = prefix->WriteBlocker();
    if (!blocker.isEmpty()) {
        refuse(going, blocker);
        return;
    }
    if (commit) {
        QString why;
        if (!commit(&why)) {
            refuse(going, why);
            return;
        }
    }
    QWriteLocker lock(&set.Lock());
    set.ReloadChanged();
    QList<int> byHive[3];
    for (int i : std::as_const(going)) {
        TValueDeletion &v = values[i];
        const TRef ref = DeletionTarget(set, v);
        const THiveValue *value = ref.Key ? THiveFile::FindValue(ref.Key, v.ValueName) : nullptr;
        if (value && DataChanged(ref, *value, v)) {
            v.Result = TValueDeletion::TResult::Changed;
            continue;
        }
        if (!value || !ref.Hive->DeleteValue(ref.Key, v.ValueName)) {
            v.Result = TValueDeletion::TResult::Gone;
            continue;
        }
        v.Result = TValueDeletion::TResult::Deleted;
        byHive[int(ref.Id)].append(i);
    }
    SaveRun(set, byHive, refuse);
}

void TRegistry::WriteValues(QList<TValueWrite> &values, std::shared_ptr<TWinePrefix> prefix)
{
    if (!prefix)
        prefix = TWinePrefix::Current();
    const QString blocker = prefix->WriteBlocker();
    if (!blocker.isEmpty()) {
        for (TValueWrite &v : values)
            v.Error = blocker;
        return;
    }
    THiveSet &set = prefix->Hives();
    set.EnsureLoaded();
    QWriteLocker lock(&set.Lock());
    set.ReloadChanged();
    QList<int> byHive[3];
    for (int i = 0; i < values.size(); ++i) {
        TValueWrite &v = values[i];
        THiveId id;
        QStringList inHive;
        if (!WriteTarget(set, v.Root, SplitPath(v.KeyPath), &id, &inHive)) {
            v.Error = QStringLiteral("Values cannot be written to \"%1\".").arg(RootKeyName(v.Root) + QLatin1Char('\\') + v.KeyPath);
            continue;
        }
        const TRef ref = Walk(set, id, inHive, true, true);
        ref.Hive->SetValue(ref.Key, v.ValueName, v.Type, v.Data);
        v.Written = true;
        byHive[int(ref.Id)].append(i);
    }
    SaveRun(set, byHive, [&values](const QList<int> &indexes, const QString &why) {
        for (int i : indexes) {
            values[i].Written = false;
            values[i].Error = why;
        }
    });
}

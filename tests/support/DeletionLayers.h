// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: deletion fakes for tests: files in memory, a layer that cannot delete chosen files, and the real layer back at the end.
#pragma once

#include "shell/FileDelThds.h"
#include "support/MessageBoxCatcher.h"

#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QStringList>

#include <functional>

namespace TestSupport {

// Files by key, in memory; what Delete gets is recorded in order, batch by batch. A key in
// FailDelete makes its batch fail there; one in Survives stays although its delete succeeded.
class TMemoryDeletionLayer : public TDeletionFileLayer
{
public:
    QSet<QString> Existing, Folders, Locked, FailDelete, Survives;
    QList<QStringList> Calls;
    std::function<void()> OnDelete;  // runs on the worker, before each call's work
    QMutex Mutex;

    QString Resolve(const QString &entry) override
    {
        QMutexLocker lock(&Mutex);
        return Existing.contains(entry) ? entry : QString();
    }
    bool Exists(const QString &key) override
    {
        QMutexLocker lock(&Mutex);
        return Existing.contains(key);
    }
    bool IsFolder(const QString &key) override
    {
        QMutexLocker lock(&Mutex);
        return Folders.contains(key);
    }
    bool IsLocked(const QString &key) override
    {
        QMutexLocker lock(&Mutex);
        return Locked.contains(key);
    }
    bool Delete(const QStringList &keys, bool) override
    {
        if (OnDelete)
            OnDelete();
        QMutexLocker lock(&Mutex);
        Calls.append(keys);
        for (const QString &key : keys) {
            if (FailDelete.contains(key))
                return false;
            if (!Survives.contains(key))
                Existing.remove(key);
        }
        return true;
    }
};

// Files named in `refused` fail in the delete itself (a program opened them meanwhile); files named
// in `locked` are also reported locked before it. Recycle-bin deletes go to the Trash at trashHome.
class TRefusingDeletionLayer : public THostDeletionLayer
{
public:
    TRefusingDeletionLayer(QString trashHome, QStringList refused, QStringList locked = {})
        : THostDeletionLayer(nullptr, std::move(trashHome)), FRefused(std::move(refused)), FLocked(std::move(locked))
    {
    }
    bool IsLocked(const QString &key) override
    {
        return FLocked.contains(QFileInfo(key).fileName()) || THostDeletionLayer::IsLocked(key);
    }
    bool Delete(const QStringList &keys, bool permanent) override
    {
        // As the shell does: in order, stopping at the first that fails.
        FWhy.clear();
        for (const QString &key : keys) {
            const QString name = QFileInfo(key).fileName();
            if (FRefused.contains(name) || FLocked.contains(name)) {
                FWhy = Refusal;
                return false;
            }
            if (!THostDeletionLayer::Delete({key}, permanent))
                return false;
        }
        return true;
    }
    QString LastError() const override { return FWhy.isEmpty() ? THostDeletionLayer::LastError() : FWhy; }
    static constexpr const char *Refusal = "a program holds it open";

private:
    QStringList FRefused, FLocked;
    QString FWhy;
};

// The message boxes caught while it lives; its end also gives the deletion service its real layer back.
struct TScopedHandlers : TBoxes {
    ~TScopedHandlers() { FileDeletion::SetLayer(nullptr); }
};

}  // namespace TestSupport

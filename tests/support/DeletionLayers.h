// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: deletion fakes for tests: a layer that cannot delete chosen files, and the real layer back at the end.
#pragma once

#include "shell/FileDelThds.h"
#include "support/MessageBoxCatcher.h"

#include <QFileInfo>
#include <QStringList>

namespace TestSupport {

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
        for (const QString &key : keys) {
            const QString name = QFileInfo(key).fileName();
            if (FRefused.contains(name) || FLocked.contains(name) || !THostDeletionLayer::Delete({key}, permanent))
                return false;
        }
        return true;
    }

private:
    QStringList FRefused, FLocked;
};

// The message boxes caught while it lives; its end also gives the deletion service its real layer back.
struct TScopedHandlers : TBoxes {
    ~TScopedHandlers() { FileDeletion::SetLayer(nullptr); }
};

}  // namespace TestSupport

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a deletion layer for tests over the real files that cannot delete the files of chosen names.
#pragma once

#include "shell/FileDelThds.h"

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

}  // namespace TestSupport

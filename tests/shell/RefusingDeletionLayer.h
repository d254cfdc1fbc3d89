// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a deletion layer for tests that cannot delete the files of chosen names (a program holds them open).
#pragma once

#include "shell/FileDelThds.h"

#include <QFileInfo>
#include <QStringList>

class TRefusingDeletionLayer : public THostDeletionLayer
{
public:
    TRefusingDeletionLayer(QString trashHome, QStringList names)
        : THostDeletionLayer(nullptr, std::move(trashHome)), FNames(std::move(names))
    {
    }
    bool Delete(const QStringList &keys, bool permanent) override
    {
        // As the shell does: in order, stopping at the first that fails.
        for (const QString &key : keys)
            if (FNames.contains(QFileInfo(key).fileName()) || !THostDeletionLayer::Delete({key}, permanent))
                return false;
        return true;
    }

private:
    QStringList FNames;
};

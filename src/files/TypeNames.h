// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the type name the file lists show for a file, as the shell of the prefix names it.
#pragma once

#include <QHash>
#include <QString>

namespace TypeNames {
// HKEY_CLASSES_ROOT\.ext names a class whose default value is the name; else the MIME type's
// comment; a type that neither knows is "EXT File", and a name without an extension "File", as
// the shell calls them. At most 80 characters. cache (by extension) spares the lookups.
QString Of(const QString &fileName, const QString &hostPath, QHash<QString, QString> *cache = nullptr);
}

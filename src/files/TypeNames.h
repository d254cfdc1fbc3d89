// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the type name the file lists show for a file, as the shell of the prefix names it.
#pragma once

#include <QHash>
#include <QString>

namespace TypeNames {
// HKEY_CLASSES_ROOT\.ext names a class whose default value is the name; else the comment of the
// MIME type the name's pattern gives (the file is not read); a type that neither knows is
// "EXT File", and a name without an extension "File", as the shell calls them. At most 80
// characters. fileName: a name or a Windows path. cache (by extension) spares the lookups.
QString Of(const QString &fileName, QHash<QString, QString> *cache = nullptr);
}

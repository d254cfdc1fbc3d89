// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: file type names from HKEY_CLASSES_ROOT, the MIME database, else the shell's "EXT File".
#include "files/TypeNames.h"

#include "platform/Registry.h"

#include <QMimeDatabase>

namespace TypeNames {

namespace {

QString ClassName(const QString &extension)
{
    TRegistry classes(TRootKey::ClassesRoot);
    if (!classes.OpenKeyReadOnly(extension))
        return {};
    const QString progId = classes.ReadString(QString());
    if (progId.isEmpty() || !classes.OpenKeyReadOnly(u'\\' + progId))
        return {};
    return classes.ReadString(QString());
}

QString MimeComment(const QString &fileName)
{
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    return type.isValid() && !type.isDefault() ? type.comment() : QString();
}

}  // namespace

QString Of(const QString &fileName, QHash<QString, QString> *cache)
{
    const QString name = fileName.section(u'\\', -1);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString extension = dot > 0 ? name.mid(dot).toLower() : QString();
    if (cache && !extension.isEmpty()) {
        const auto known = cache->constFind(extension);
        if (known != cache->constEnd())
            return *known;
    }
    QString type;
    if (!extension.isEmpty())
        type = ClassName(extension);
    if (type.isEmpty())
        type = MimeComment(name);
    if (type.isEmpty())
        type = extension.size() > 1 ? extension.mid(1).toUpper() + QStringLiteral(" File") : QStringLiteral("File");
    type = type.left(80);
    if (cache && !extension.isEmpty())
        cache->insert(extension, type);
    return type;
}

}  // namespace TypeNames

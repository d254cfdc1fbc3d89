// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: reading the blacklist file and joining it with the user's skip text.
#include "Blacklist.h"

#include "platform/IniFile.h"
#include "platform/ProgramInfo.h"

#include <QDir>

namespace Blacklist {

QString FilePath(const QString &programFolder)
{
    return ProgramInfo::ShippedFile(programFolder, QStringLiteral("BlackLst.vkb"));
}

QString Version(const QString &programFolder)
{
    const TIniFile ini(FilePath(programFolder));
    return ini.ReadString(QStringLiteral("General"), QStringLiteral("Version"), QStringLiteral("Release 0"));
}

QString KeyText(const QString &programFolder, const QString &key)
{
    const TIniFile ini(FilePath(programFolder));
    return ini.ReadString(QStringLiteral("General"), key, QString());
}

TSortedStringList SkipList(const QString &userText, const QString &keyText)
{
    TSortedStringList list;
    if (!userText.isEmpty())
        list.SetCommaText(userText + keyText);
    else
        list.SetCommaText(keyText.mid(1));
    return list;
}

}

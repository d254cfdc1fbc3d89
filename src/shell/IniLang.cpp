// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the current language file and the message lookup.
#include "shell/IniLang.h"

#include "platform/IniFile.h"
#include "platform/ProgramInfo.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {

std::unique_ptr<TIniFile> &Current()
{
    static std::unique_ptr<TIniFile> file;
    return file;
}

const QString NotExisting = QStringLiteral("_!#Not Existing#!_");
const QString LineBreak = QStringLiteral("*|*");

// The entry of folder named name, matched exactly, else ignoring case (as Windows names match).
QString FindEntry(const QString &folder, const QString &name, QDir::Filters kind)
{
    const QString exact = QDir(folder).filePath(name);
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = QDir(folder).entryList(kind | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString &entry : entries)
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return QDir(folder).filePath(entry);
    return exact;
}

}  // namespace

bool OpenLanguageFile(const QString &programFolder, const QString &language)
{
    Current().reset();
    // The name comes from "Options.ini": it names a file in Languages/, never a path elsewhere.
    if (language.isEmpty() || language.contains(u'/') || language.contains(u'\\') || language == QLatin1String(".."))
        return false;
    QString folder = FindEntry(programFolder, QStringLiteral("Languages"), QDir::Dirs);
    if (!QFileInfo(folder).isDir())
        folder = ProgramInfo::ShippedFile(programFolder, QStringLiteral("Languages"));
    const QString path = FindEntry(folder, language + QStringLiteral(".txt"), QDir::Files);
    if (!QFileInfo(path).isFile())
        return false;
    auto file = std::make_unique<TIniFile>(path);
    if (!file->ErrorString().isEmpty())
        return false;
    Current() = std::move(file);
    return true;
}

void CloseLanguageFile()
{
    Current().reset();
}

const TIniFile *LanguageFile()
{
    return Current().get();
}

QString LangMessage(const QString &id, const QString &english)
{
    const TIniFile *file = LanguageFile();
    if (!file)
        return english;
    const QString value = file->ReadString(QStringLiteral("Misc"), id, NotExisting);
    if (value == NotExisting)
        return english;
    if (!value.contains(LineBreak))
        return value;
    const QStringList pieces = value.split(LineBreak);
    QString text;
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        if (text.isEmpty())
            text = pieces[i];
        else
            text += QStringLiteral("\r\n") + pieces[i];
    }
    return text + QStringLiteral("\r\n") + pieces.last();
}

QString LangValue(const QString &section, const QString &key)
{
    const TIniFile *file = LanguageFile();
    return file ? file->ReadString(section, key, QString()) : QString();
}

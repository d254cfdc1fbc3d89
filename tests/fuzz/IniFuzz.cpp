// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the INI engine: any file saves back to its own bytes, and a write, saved
// and read again, changes its one value and keeps every other.
#include "FuzzCheck.h"

#include "platform/IniFile.h"

#include <QMap>

namespace {

// Every key's value, section by section; the first section and key of a name are the ones read.
QMap<QString, QString> Values(const TIniFile &ini)
{
    QMap<QString, QString> values;
    for (const QString &section : ini.ReadSections())
        for (const QString &key : ini.ReadSection(section))
            values.insert(section.toCaseFolded() + u'\n' + key.toCaseFolded(), ini.ReadString(section, key, QString()));
    return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    const uint8_t which = input.Byte();
    const QString path = Fuzz::WriteFile(QStringLiteral("fuzz.ini"), input.Rest());
    const QByteArray original = [&] {
        QFile f(path);
        FUZZ_CHECK(f.open(QIODevice::ReadOnly));
        return f.readAll();
    }();

    TIniFile ini(path, 1252);
    FUZZ_CHECK(ini.ErrorString().isEmpty());
    QByteArray saved;
    FUZZ_CHECK(ini.ToBytes(&saved));
    FUZZ_CHECK(saved == original);

    // One write: to a key the file has, or a new one in a section it has or not.
    const QStringList sections = ini.ReadSections();
    QString section = QStringLiteral("Fuzz"), key = QStringLiteral("New");
    if (!sections.isEmpty() && (which & 1)) {
        section = sections.at((which >> 1) % sections.size());
        const QStringList keys = ini.ReadSection(section);
        if (!keys.isEmpty() && (which & 2))
            key = keys.at((which >> 2) % keys.size());
    }
    QMap<QString, QString> expected = Values(ini);
    ini.WriteString(section, key, QStringLiteral("written value"));
    expected.insert(section.toCaseFolded() + u'\n' + key.toCaseFolded(), QStringLiteral("written value"));
    if (!ini.ToBytes(&saved))
        return 0;  // a character of the file's name for it that the code page cannot hold
    const QString again = Fuzz::WriteFile(QStringLiteral("again.ini"), saved);
    FUZZ_CHECK(Values(TIniFile(again, 1252)) == expected);
    return 0;
}

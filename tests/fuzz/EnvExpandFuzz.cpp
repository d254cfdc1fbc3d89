// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of %VAR% expansion over a prefix whose environment the input writes: each
// variable expands to its value in any case that upper-cases as its name does, text without "%"
// stays as it is, and expandable values that name each other end.
#include "FuzzCheck.h"

#include "platform/HiveFile.h"
#include "platform/WinEnvironment.h"
#include "platform/WinePrefix.h"

#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Lines of the input: "name=value" (a value starting with "+" is expandable), then the text.
    const QStringList lines = QString::fromUtf8(Fuzz::Bytes(data, size)).split(u'\n');
    const QString text = lines.constLast();
    THiveFile user(Fuzz::Folder() + QStringLiteral("/user.reg"), QStringLiteral("\\User\\S-1-5-21-0-0-0-1000"));
    THiveKey *environment = user.CreateChild(user.Root(), QStringLiteral("Environment"));
    QStringList names;
    for (qsizetype i = 0; i + 1 < lines.size() && i < 16; ++i) {
        const qsizetype equals = lines.at(i).indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString name = lines.at(i).left(equals), value = lines.at(i).mid(equals + 1);
        const bool expandable = value.startsWith(u'+');
        user.SetStringValue(environment, name, expandable ? 2 : 1, expandable ? value.mid(1) : value);
        names << name;
    }
    QString error;
    FUZZ_CHECK(user.Save(&error));
    const TWinEnvironment env(std::make_shared<TWinePrefix>(Fuzz::Folder()));

    for (const QString &name : names) {
        if (name.contains(u'%') || !env.Contains(name))
            continue;
        const QString value = env.Value(name);
        FUZZ_CHECK(env.Expand(u'%' + name + u'%') == value);
        FUZZ_CHECK(env.Expand(u'%' + name.toUpper() + u'%') == value);
        // Windows compares names upper-cased, so a lower case whose upper case is another
        // letter (U+03F4 lowers to U+03B8, which uppers to U+0398) names another variable.
        const QString lower = name.toLower();
        if (lower.toUpper() == name.toUpper())
            FUZZ_CHECK(env.Expand(u'%' + lower + u'%') == value);
    }
    const QString expanded = env.Expand(text);
    if (!text.contains(u'%'))
        FUZZ_CHECK(expanded == text);
    return 0;
}

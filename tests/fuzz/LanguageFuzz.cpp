// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of language files: any file opens or gives English, and its messages, which
// are formats, never break the formatter.
#include "FuzzCheck.h"

#include "shell/IniLang.h"
#include "shell/SafeFormat.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QDir().mkpath(Fuzz::Folder() + QStringLiteral("/Languages"));
    Fuzz::WriteFile(QStringLiteral("Languages/Suomi.txt"), Fuzz::Bytes(data, size));
    FUZZ_CHECK(OpenLanguageFile(Fuzz::Folder(), QStringLiteral("Suomi")));
    // Messages as the program formats them: numbers, texts, both, and none.
    const struct {
        const char *id, *english;
    } messages[] = {{"M049RI", "%d of %d"}, {"M079DI", "An existing list of duplicates found, created on %s."},
                    {"M065DI", ", Error - %s"}, {"M075DI", "N/A"}, {"M001", "x"}};
    for (const auto &m : messages) {
        const QString text = LangMessage(QString::fromLatin1(m.id), QString::fromLatin1(m.english));
        FUZZ_CHECK(text != u"_!#Not Existing#!_");
        SafeFormat(text, 3, 7);
        SafeFormat(text, QStringLiteral("10.12.2026"));
        SafeFormat(text, qint64(-1), 2.5, QStringLiteral("x"));
        SafeFormat(text);
    }
    LangValue(QStringLiteral("TPaaIkkuna"), QStringLiteral("TPaaIkkuna.Caption"));
    CloseLanguageFile();
    return 0;
}

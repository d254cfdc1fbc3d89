// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the command-line switch splitting: what runs and what is called unknown
// are the items the user gave, each once, and a switch never hides inside another parameter.
#include "FuzzCheck.h"

#include "platform/CommaText.h"
#include "shell/Batch.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The parameters as the process got them: the input cut at NULs.
    QStringList parameters;
    for (const QByteArray &p : Fuzz::Bytes(data, size).split('\0'))
        parameters << QString::fromUtf8(p);
    const QStringList items = Batch::SplitSwitches(Batch::JoinParameters(parameters));
    FUZZ_CHECK(std::is_sorted(items.begin(), items.end()));
    FUZZ_CHECK(std::adjacent_find(items.begin(), items.end()) == items.end());
    for (const QString &item : items)
        FUZZ_CHECK(!item.isEmpty() && item == item.toLower());

    // Each parameter's own items: those the routine runs or calls unknown.
    QSet<QString> given;
    for (const QString &p : parameters)
        for (const QString &item : CommaTextToList(p))
            if (!item.isEmpty())
                given.insert(item.toLower());
    FUZZ_CHECK(QSet<QString>(items.begin(), items.end()) == given);
    const QStringList unknown = Batch::UnknownSwitches(parameters);
    for (const QString &item : unknown)
        FUZZ_CHECK(given.contains(item.toLower()) && !Batch::IsToolSwitch(item.toLower()));
    bool work = false;
    for (const QString &item : given)
        work = work || Batch::IsToolSwitch(item) || Batch::IsBrowserSwitch(item);
    FUZZ_CHECK(Batch::HasBatchWork(parameters) == work);
    return 0;
}

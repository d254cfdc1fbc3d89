// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the startup list editing: an item taken out of a run list and put back
// gives the list's text back byte for byte (its items, when it was the only one), and only that
// item went.
#include "FuzzCheck.h"

#include "registry/StartupThds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    const QChar delimiter = input.Byte() & 1 ? u';' : u',';
    const uint8_t which = input.Byte();
    const QString text = QString::fromUtf8(input.Rest());
    const QStringList items = SplitStartupList(text, delimiter);
    if (items.isEmpty())
        return 0;
    const QString item = items.at(which % items.size());
    QString result, removed;
    int position = -1;
    FUZZ_CHECK(RemoveStartupListItem(text, item, delimiter, &result, &position, &removed));
    QStringList left = items;
    left.removeAt(left.indexOf(item));
    FUZZ_CHECK(SplitStartupList(result, delimiter) == left);
    // Into a list left empty goes the item alone, no delimiter hanging on it: the same items.
    const QString restored = InsertStartupListItem(result, removed, position, delimiter);
    if (result.isEmpty())
        FUZZ_CHECK(SplitStartupList(restored, delimiter) == items);
    else
        FUZZ_CHECK(restored == text);
    return 0;
}

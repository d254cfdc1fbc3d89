// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of comma text: any text splits, and a list joined splits back to itself.
#include "FuzzCheck.h"

#include "platform/CommaText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    // The delimiters the program's lists use; a blank one would be skipped as a blank.
    const QChar delimiter = input.Byte() & 1 ? u';' : u',';
    const QString text = QString::fromUtf8(input.Rest());

    const QStringList items = CommaTextToList(text, delimiter);
    FUZZ_CHECK(items.size() <= text.size() + 1);
    const QString joined = ListToCommaText(items, delimiter);
    FUZZ_CHECK(CommaTextToList(joined, delimiter) == items);
    FUZZ_CHECK(ListToCommaText(CommaTextToList(joined, delimiter), delimiter) == joined);
    return 0;
}

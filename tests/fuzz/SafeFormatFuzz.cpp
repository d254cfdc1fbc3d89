// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the checked formatter of translated texts: any format with any arguments
// gives its text or the fixed error text, never more than its widths allow.
#include "FuzzCheck.h"

#include "shell/SafeFormat.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Fuzz::TInput input(data, size);
    // Up to four arguments of the kinds the program passes, then the format.
    QList<TFormatArg> args;
    qsizetype longestText = 0;
    const int count = input.Byte() % 5;
    for (int i = 0; i < count; ++i) {
        const uint8_t kind = input.Byte();
        const qint64 number = qint64(int8_t(input.Byte())) * (kind & 0x10 ? 1000000007LL : 1);
        switch (kind % 4) {
        case 0: args.append(int(number)); break;
        case 1: args.append(number * 4096); break;
        case 2: args.append(double(number) / 7.0); break;
        default: {
            const QString text(int(kind) % 40, QChar(u'a' + i));
            longestText = qMax(longestText, text.size());
            args.append(text);
        }
        }
    }
    const QString format = QString::fromUtf8(input.Rest());

    QString out;
    const bool fits = TryFormat(format, args, &out);
    const QString safe = SafeFormat(format, args);
    if (fits) {
        FUZZ_CHECK(safe == out);
        // Each placeholder takes at least two characters and gives at most its width, its
        // precision's digits or its text.
        FUZZ_CHECK(out.size() <= format.size() + (format.size() / 2 + 1) * (2 * 4096 + longestText + 400));
    } else {
        FUZZ_CHECK(safe == SafeFormatErrorText + QStringLiteral("\r\r") + format);
    }
    return 0;
}

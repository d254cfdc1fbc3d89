// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the "Duplicat.log" reader: any log gives at most the files its counts and lines hold.
#include "FuzzCheck.h"

#include "files/DuplicateLog.h"

#include <QStringList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QStringList lines = QString::fromLatin1(Fuzz::Bytes(data, size)).split(QStringLiteral("\r\n"));
    const Duplicate::TLogContent log = Duplicate::ReadLog(lines, QStringLiteral("N/A"));
    FUZZ_CHECK(!log.Damaged || log.Files.isEmpty());
    if (log.Files.isEmpty())
        return 0;
    FUZZ_CHECK(log.Files.size() <= (lines.size() - 4) / 7);
    FUZZ_CHECK(log.Files.size() <= qint64(lines.at(3).toInt()) - lines.at(2).toInt());
    for (const Duplicate::TFoundFile &f : log.Files)
        FUZZ_CHECK(!f.Name.contains(u'\\') && f.CRCText != u"N/A" && f.MD5Text != u"N/A");
    return 0;
}

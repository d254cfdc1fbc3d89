// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fuzz harness of the shell-link reader: any bytes parse or are refused within bounds, and
// a link the tools take has a target that is more than quotes and blanks.
#include "FuzzCheck.h"

#include "platform/LnkReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = Fuzz::Bytes(data, size);
    for (const int codePage : {1252, 1251, 932}) {
        TShellLink link;
        if (LnkReader::Parse(bytes, &link, codePage))
            link.TargetPath();
    }

    TShellLinkInfo info;
    const bool taken = LnkReader::ReadShellLinkInfo(Fuzz::WriteFile(QStringLiteral("fuzz.lnk"), bytes), info);
    if (taken) {
        FUZZ_CHECK(!info.Target.trimmed().isEmpty());
        FUZZ_CHECK(!info.Target.contains(u'"'));
    }
    return 0;
}

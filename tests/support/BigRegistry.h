// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a prefix whose machine hive holds many string values that name files that are gone,
// for the tests and benchmarks of big lists.
#pragma once

#include "support/PrefixBuilder.h"

#include <QByteArray>

namespace TestSupport {

// `values` string values in keys of ten under HKLM\Software\VkBig, each naming a missing
// "C:\VkGone\...exe", written as system.reg's whole text.
inline void AddStaleValues(TPrefixBuilder &builder, int values)
{
    QByteArray text = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win32\n";
    text.reserve(qsizetype(values) * 48);
    for (int v = 0; v < values; ++v) {
        if (v % 10 == 0)
            text += "\n[Software\\\\VkBig\\\\Key" + QByteArray::number(v / 10) + "] 1700000000\n#time=1d9f1f2a3b4c5d6\n";
        const QByteArray n = QByteArray::number(v);
        text += "\"Value" + n + "\"=\"C:\\\\VkGone\\\\Program" + n + ".exe\"\n";
    }
    builder.SetHiveText(THive::System, text);
}

}  // namespace TestSupport

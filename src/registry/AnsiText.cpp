// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the ANSI code page conversion used by the undo files.
#include "AnsiText.h"

#include "platform/CodePage.h"

namespace AnsiText {

bool Encode(const QString &text, QByteArray *bytes)
{
    bool lossless = true;
    *bytes = EncodeAnsi(text, AnsiCodePage(), &lossless);
    return lossless;
}

QString Decode(const QByteArray &bytes)
{
    return DecodeAnsi(bytes, AnsiCodePage());
}

}

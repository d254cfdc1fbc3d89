// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the checked formatter for translated texts.
#include "shell/SafeFormat.h"

const QString SafeFormatErrorText = QStringLiteral(
    "Can't show the real text here! There might be an error in the translation. Please contact Orvendal!");

bool TryFormat(const QString &, const QList<TFormatArg> &, QString *) { return false; }

QString SafeFormat(const QString &format, const QList<TFormatArg> &args)
{
    QString out;
    if (TryFormat(format, args, &out))
        return out;
    return SafeFormatErrorText + QStringLiteral("\r\r") + format;
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Base64 text of byte strings (the standard alphabet, "=" padding).
#pragma once

#include <QByteArray>
#include <QString>

QString Base64Encode(const QByteArray &data);

// The text's length must be a multiple of 4, else ECryptoError "Base64: Incorrect string format".
// Lenient by design: "+" is 62 and every character outside "A-Z a-z 0-9 +" counts as 63; the last
// group gives 1 byte when its third character is "=", 2 when only its fourth is, else 3.
QByteArray Base64Decode(const QString &text);

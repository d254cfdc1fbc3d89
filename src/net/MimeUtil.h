// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: Base64 (RFC 2045 alphabet) of the NTLM messages: a strict encoder and a forgiving decoder.
#pragma once

#include <QByteArray>
#include <QString>

// Standard alphabet, "=" padding to a multiple of 4 characters, no line breaks.
QString EncodeBase64Text(const QByteArray &Data);

// Never fails. Groups of 4 characters; a group holding "=" ends the data; a character outside the
// alphabet counts as 0. A short last group of 2 or 3 characters is read as if it were padded, a
// lone last character gives nothing.
QByteArray DecodeBase64Text(const QString &Text);

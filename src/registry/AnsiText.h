// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: 8-bit text of the undo files in the prefix's ANSI code page, failing on a lossy character.
#pragma once

#include <QByteArray>
#include <QString>

namespace AnsiText {
// False (bytes undefined) when a character has no byte in the code page.
bool Encode(const QString &text, QByteArray *bytes);
QString Decode(const QByteArray &bytes);
}

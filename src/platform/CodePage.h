// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the prefix's ANSI code page and 8-bit text in it (glibc iconv underneath).
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class TWinePrefix;

// HKLM\System\CurrentControlSet\Control\Nls\CodePage "ACP" of the prefix (nullptr: the current
// one); 1252 when it is missing or no number.
int AnsiCodePage(const std::shared_ptr<TWinePrefix> &prefix = nullptr);

// text in the code page. A character the code page cannot hold makes *lossless false (it is
// written as "?" so the rest stays readable, but the caller must treat the text as damaged);
// *lossless is true otherwise. An unknown code page counts as 1252.
QByteArray EncodeAnsi(const QString &text, int codePage, bool *lossless = nullptr);
// bytes in the code page. A byte the code page does not define gives U+FFFD, except where
// Windows passes it through unchanged (0x81, 0x8D, 0x8F, 0x90, 0x9D of 1252).
QString DecodeAnsi(const QByteArray &bytes, int codePage);

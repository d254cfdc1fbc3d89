// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: comma text, the string-list text form of file lists, masks, skip lists and list values.
//
// Splitting: items are separated by the delimiter; blanks and control characters (every character
// up to U+0020) before and after an item are skipped; an unquoted item ends at the first blank,
// control character or delimiter, so "a b" gives two items; an item in quotes may hold any
// character, a doubled quote standing for one, and text right after the closing quote starts the
// next item. A delimiter at the very start gives an empty first item, one at the very end an empty
// last item, and two delimiters in a row an empty item between them. An unclosed quote takes the
// rest of the text.
//
// Joining: an item holding a blank, a control character, the quote or the delimiter is quoted; an
// empty item is written as nothing, except that a list of one empty item is written as two quotes
// so that it splits back to one item.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

QStringList CommaTextToList(const QString &text, QChar delimiter = u',', QChar quote = u'"');
QString ListToCommaText(const QStringList &items, QChar delimiter = u',', QChar quote = u'"');

// One item in quotes, inner quotes doubled.
QString QuotedText(const QString &item, QChar quote = u'"');

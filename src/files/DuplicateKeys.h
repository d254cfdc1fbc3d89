// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the duplicate finder's key lines: one line per file, ordered and grouped by the user's
// criteria, and the texts of a found file's date and attributes.
#pragma once

#include "shell/Batch.h"

#include <QString>
#include <QStringView>

namespace Duplicate {

constexpr int SizeDigits = 16;          // the size field holds any 64-bit size in fixed width
constexpr int DateDigits = 8;
constexpr int AttrDigits = 8;

struct TKeyFields {
    QString Name;
    QString Folder;  // Windows folder, no trailing backslash
    qint64 Size = 0;
    quint32 Date = 0;  // packed DOS date-time
    quint32 Attr = 0;
};

QString MakeKeyLine(const TKeyFields &fields, bool sameSize, bool sameDate);
// False when the line is not a key line of this layout.
bool ParseKeyLine(QStringView line, bool sameSize, bool sameDate, TKeyFields &fields);
// The one order of the pipeline: ordinal on case-folded text, then ordinal on the text itself,
// so lines that differ only in case keep a fixed order and stay neighbours.
int CompareKeyLines(QStringView a, QStringView b);
// Length of the group key at the head of line (through the "?" when sameName).
qsizetype GroupKeyLength(QStringView line, bool sameName, bool sameSize, bool sameDate);

QString AttrText(quint32 attr);       // "R H S A" letters for the set bits, blank-separated
// The user's short date and long time; the date alone at midnight.
QString DateText(quint32 dosDate, const TUserLocale &locale);

}  // namespace Duplicate

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: reading "Duplicat.log", the duplicate list a search leaves for the next run.
//
// Lines: the title, the date it was made, the number of sets, the number of list rows (sets and
// files), then seven lines a file: path, size, date, attributes, CRC, MD5, set number. Each line
// ends with CR LF. The text is 8-bit in the prefix's ANSI code page; a log that names a file the
// code page cannot spell is written whole in UTF-8 and begins with the byte-order mark EF BB BF,
// as a Windows text file says it is UTF-8, so every name reads back to its own file.
#pragma once

#include "files/DuplicateThds.h"

#include <QList>

#include <functional>
#include <QString>
#include <QStringList>

namespace Duplicate {

struct TLogContent {
    bool Damaged = false;     // counts that are no numbers, negative, or fewer rows than sets
    QList<TFoundFile> Files;  // Folder and Name split at the path's last "\"
};

// The bytes of the log of lines, and the lines of a log's bytes, by the rule above.
QByteArray LogBytes(const QStringList &lines, int codePage);
QStringList LogLines(const QByteArray &bytes, int codePage);

// The files the counts announce, up to the first file whose lines are damaged (a size or set
// number that is no number, a path without "\") or the end of the lines. A CRC or MD5 text equal
// to notAvailable (the language's "N/A") reads as none.
TLogContent ReadLog(const QStringList &lines, const QString &notAvailable);

// A log read again: the files that are still the files compared (hostPathOf maps a file's
// Windows path to its host file, empty for none; it must be a file of the logged size and date),
// and how many are not.
struct TOldLog {
    QString Created;
    QList<TFoundFile> Files;
    int Dropped = 0;
};
TOldLog ReadOldLog(const QByteArray &bytes, int codePage, const QString &notAvailable, const TUserLocale &locale,
                   const std::function<QString(const QString &windowsPath)> &hostPathOf);

}  // namespace Duplicate

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a compiled help file's layout, checked before libchm reads it: directory, listing chain, index tree, compressed section.
//
// libchm trusts the file: it allocates the sizes it reads, follows each listing or index chunk to
// the one named next without looking back, and decompresses with whatever window the file names.
// A help file comes from anywhere, so these checks come first, and a file that fails one is not
// opened at all: no help file can make the program loop for ever, run out of memory or crash.
#pragma once

#include <QByteArray>
#include <QString>

namespace Chm {

// Little-endian numbers at an offset; the caller keeps the offset inside data.
quint16 Word(const QByteArray &data, qsizetype at);
quint32 Dword(const QByteArray &data, qsizetype at);
quint64 Qword(const QByteArray &data, qsizetype at);

struct TLayout {
    qint64 DirectoryLength = 0;  // bytes; an entry takes at least 4 of them
};

// False for anything that is no help file libchm can read safely: no regular file, sizes past the
// end of the file, a listing chain or index tree that leads outside the directory or comes round
// again, a compressed section with a window, reset interval, windows per reset or block length
// outside what LZX and libchm allow (every value libchm divides or indexes by), or objects beyond
// their section's end.
bool CheckLayout(const QString &hostPath, TLayout *layout);

}  // namespace Chm

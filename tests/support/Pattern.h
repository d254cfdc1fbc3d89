// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: reproducible test bytes: a xorshift stream from a chosen state.
#pragma once

#include <QByteArray>

namespace TestSupport {

// `size` bytes of Marsaglia's 32-bit xorshift (13, 17, 5) from `state` (not 0): the same bytes on
// every run, with no long runs or repeats that would hide an offset fault.
inline QByteArray XorShiftBytes(qsizetype size, quint32 state)
{
    QByteArray data(size, Qt::Uninitialized);
    for (char &c : data) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        c = char(state);
    }
    return data;
}

}  // namespace TestSupport

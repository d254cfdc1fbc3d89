// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: whether a server listens on a Unix-domain socket (a wineserver, a Wayland compositor).
#pragma once

#include <QString>

namespace LocalSocket {
enum class TAnswer {
    Accepted,   // a server took the connection
    Nobody,     // no socket there, or one that nobody listens on any more
    CannotTell, // anything else: a full queue (the server may well be alive), no right to connect
};
TAnswer Connect(const QString &path);
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: whether a server listens on a Unix-domain socket (a wineserver, a Wayland compositor).
#pragma once

#include <QString>

namespace LocalSocket {
// True when the socket at path accepts a connection, and when that cannot be told (a full queue:
// the server may well be alive). False when there is no socket there, or nobody listens on it.
bool Accepts(const QString &path);
}

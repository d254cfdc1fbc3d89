// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: host, port and protocol resolvers, dotted addresses and the own host name.
#pragma once

#include <QString>

// Raise ESocketException with the texts of their failures.
quint32 WSocketResolveHost(const QString &Text);               // network order
quint16 WSocketResolvePort(const QString &Port, const QString &Proto);  // host order
int WSocketResolveProto(const QString &Text);
bool IsDottedAddress(const QString &Text);
// Network order; only for a text that IsDottedAddress accepted.
quint32 DottedToAddr(const QString &Text);
QString OwnHostName();

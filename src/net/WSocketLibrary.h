// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the process-wide socket library: loaded state, requested version, living sockets, the
// calling thread's last error and the texts of the error numbers; ESocketException.
#pragma once

#include <QString>

#include <stdexcept>

class ESocketException : public std::runtime_error
{
public:
    explicit ESocketException(const QString &message);
    QString Message() const;
};

// Living sockets: every TCustomWSocket counts itself from its creation to its destruction.
int WSocketLivingCount();
// True from the first socket call until the last socket is gone (the "loaded" library of the
// Windows original: while it is, the version bytes cannot change).
bool WSocketLibraryLoaded();
// Makes the binding "loaded" as the first call of the library would (WSAStartup with the version
// bytes); raises ESocketException "wsock32.dll: WSAStartup error #10092" for a major version 0.
void WSocketLoadLibrary();

// A new socket counts itself; the last one gone unloads the library.
void WSocketRegisterSocket();
void WSocketUnregisterSocket();

// Counts as a living socket while it lives, for a call made without one; its end unloads nothing.
class TWSocketLibraryUse
{
public:
    TWSocketLibraryUse();
    ~TWSocketLibraryUse();
    TWSocketLibraryUse(const TWSocketLibraryUse &) = delete;
    TWSocketLibraryUse &operator=(const TWSocketLibraryUse &) = delete;
};

// The requested version bytes (low: major, high: minor). A change is refused (false) once the
// library is loaded; setting the value it already has is never refused.
quint8 WSocketReqVerLow();
quint8 WSocketReqVerHigh();
bool WSocketSetReqVerLow(quint8 Value);
bool WSocketSetReqVerHigh(quint8 Value);

QString SocketErrorText(int Code);
// The Winsock number of the calling thread's last failed socket call.
int WSocketGetLastError();
void WSocketSetLastError(int Error);

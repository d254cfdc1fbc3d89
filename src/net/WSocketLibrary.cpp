// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the process-wide socket library: loaded state, requested version, living sockets, last
// error and error texts.
#include "net/WSocketLibrary.h"

#include "platform/PosixSocket.h"

#include <mutex>

using namespace PosixSocket;

ESocketException::ESocketException(const QString &message)
    : std::runtime_error(message.toStdString())
{
}

QString ESocketException::Message() const
{
    return QString::fromStdString(what());
}

namespace {

std::recursive_mutex LibLock;
int LivingCount = 0;
bool LibLoaded = false;
quint8 VerLow = 1;   // major version
quint8 VerHigh = 1;  // minor version

bool SetRequestedVersionByte(quint8 &version, quint8 value)
{
    std::lock_guard lock(LibLock);
    if (version == value)
        return true;
    if (LibLoaded)
        return false;
    version = value;
    return true;
}

} // namespace

int WSocketLivingCount()
{
    std::lock_guard lock(LibLock);
    return LivingCount;
}

bool WSocketLibraryLoaded()
{
    std::lock_guard lock(LibLock);
    return LibLoaded;
}

void WSocketLoadLibrary()
{
    std::lock_guard lock(LibLock);
    if (LibLoaded)
        return;
    // WSAStartup refuses any version below 1.0.
    if (VerLow == 0)
        throw ESocketException(QStringLiteral("%1: WSAStartup error #%2").arg(QStringLiteral("wsock32.dll")).arg(int(WSAVERNOTSUPPORTED)));
    LibLoaded = true;
}

void WSocketRegisterSocket()
{
    std::lock_guard lock(LibLock);
    ++LivingCount;
}

void WSocketUnregisterSocket()
{
    std::lock_guard lock(LibLock);
    --LivingCount;
    if (LivingCount == 0 && LibLoaded)
        LibLoaded = false;
}

TWSocketLibraryUse::TWSocketLibraryUse()
{
    std::lock_guard lock(LibLock);
    ++LivingCount;
}

TWSocketLibraryUse::~TWSocketLibraryUse()
{
    std::lock_guard lock(LibLock);
    --LivingCount;
}

quint8 WSocketReqVerLow()
{
    std::lock_guard lock(LibLock);
    return VerLow;
}

quint8 WSocketReqVerHigh()
{
    std::lock_guard lock(LibLock);
    return VerHigh;
}

bool WSocketSetReqVerLow(quint8 Value)
{
    return SetRequestedVersionByte(VerLow, Value);
}

bool WSocketSetReqVerHigh(quint8 Value)
{
    return SetRequestedVersionByte(VerHigh, Value);
}

int WSocketGetLastError()
{
    return PosixSocket::LastError();
}

void WSocketSetLastError(int Error)
{
    PosixSocket::SetLastError(Error);
}

QString SocketErrorText(int Code)
{
    switch (Code) {
    case 0: return QStringLiteral("No Error");
    case 10004: return QStringLiteral("Interrupted system call");
    case 10009: return QStringLiteral("Bad file number");
    case 10013: return QStringLiteral("Permission denied");
    case 10014: return QStringLiteral("Bad address");
    case 10022: return QStringLiteral("Invalid argument");
    case 10024: return QStringLiteral("Too many open files");
    case 10035: return QStringLiteral("Operation would block");
    case 10036: return QStringLiteral("Operation now in progress");
    case 10037: return QStringLiteral("Operation already in progress");
    case 10038: return QStringLiteral("Socket operation on non-socket");
    case 10039: return QStringLiteral("Destination address required");
    case 10040: return QStringLiteral("Message too long");
    case 10041: return QStringLiteral("Protocol wrong type for socket");
    case 10042: return QStringLiteral("Protocol not available");
    case 10043: return QStringLiteral("Protocol not supported");
    case 10044: return QStringLiteral("Socket type not supported");
    case 10045: return QStringLiteral("Operation not supported on socket");
    case 10046: return QStringLiteral("Protocol family not supported");
    case 10047: return QStringLiteral("Address family not supported by protocol family");
    case 10048: return QStringLiteral("Address already in use");
    case 10049: return QStringLiteral("Address not available");
    case 10050: return QStringLiteral("Network is down");
    case 10051: return QStringLiteral("Network is unreachable");
    case 10052: return QStringLiteral("Network dropped connection on reset");
    case 10053: return QStringLiteral("Connection aborted");
    case 10054: return QStringLiteral("Connection reset by peer");
    case 10055: return QStringLiteral("No buffer space available");
    case 10056: return QStringLiteral("Socket is already connected");
    case 10057: return QStringLiteral("Socket is not connected");
    case 10058: return QStringLiteral("Can't send after socket shutdown");
    case 10059: return QStringLiteral("Too many references: can't splice");
    case 10060: return QStringLiteral("Connection timed out");
    case 10061: return QStringLiteral("Connection refused");
    case 10062: return QStringLiteral("Too many levels of symbolic links");
    case 10063: return QStringLiteral("File name too long");
    case 10064: return QStringLiteral("Host is down");
    case 10065: return QStringLiteral("No route to host");
    case 10066: return QStringLiteral("Directory not empty");
    case 10067: return QStringLiteral("Too many processes");
    case 10068: return QStringLiteral("Too many users");
    case 10069: return QStringLiteral("Disc quota exceeded");
    case 10070: return QStringLiteral("Stale NFS file handle");
    case 10071: return QStringLiteral("Too many levels of remote in path");
    case 10091: return QStringLiteral("Network sub-system is unusable");
    case 10092: return QStringLiteral("WinSock DLL cannot support this application");
    case 10093: return QStringLiteral("WinSock not initialized");
    case 11001: return QStringLiteral("Host not found");
    case 11002: return QStringLiteral("Non-authoritative host not found");
    case 11003: return QStringLiteral("Non-recoverable error");
    case 11004: return QStringLiteral("No Data");
    default: return QStringLiteral("Not a WinSock error");
    }
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a non-blocking connect to a Unix-domain socket.
#include "LocalSocket.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace LocalSocket {

TAnswer Connect(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    if (name.size() >= qsizetype(sizeof(address.sun_path)))
        return TAnswer::Nobody;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    // Not blocking: a server that takes no connection now (stopped, its queue full) would hold us.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return TAnswer::CannotTell;
    int result;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address));
    } while (result != 0 && errno == EINTR);
    const int error = errno;
    ::close(fd);
    if (result == 0)
        return TAnswer::Accepted;
    return error == ENOENT || error == ECONNREFUSED || error == ENOTDIR ? TAnswer::Nobody : TAnswer::CannotTell;
}

} // namespace LocalSocket

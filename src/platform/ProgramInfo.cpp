// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/ProgramInfo.h"

#include <QStringList>

namespace ProgramInfo {
namespace {
QStringList VersionNumbers()
{
    QStringList parts = QStringLiteral(VASKIMO_VERSION).split(u'.');
    while (parts.size() < 4)
        parts << QStringLiteral("0");
    return parts.mid(0, 4);
}
}

QString Name() { return QStringLiteral("Vaskimo"); }
QString Version() { return VersionNumbers().join(u'.'); }
QString Title()
{
    return Name() + u' ' + VersionNumbers().mid(0, 2).join(u'.') + QStringLiteral(" by Orvendal");
}
}

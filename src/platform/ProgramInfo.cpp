// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/ProgramInfo.h"

namespace ProgramInfo {
QString Name() { return QStringLiteral("Vaskimo"); }
QString Version() { return QStringLiteral(VASKIMO_VERSION); }
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program's own name and version, fixed when it is built.
#pragma once

#include <QString>

namespace ProgramInfo {
QString Name();     // "Vaskimo": also the single-instance lock name and the product name
QString Version();  // the build's version, "1.0.0"
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program's own name and version, fixed when it is built.
#pragma once

#include <QString>

namespace ProgramInfo {
QString Name();     // "Vaskimo": also the single-instance lock name and the product name
// The one program version, from the build: four numbers as a version resource gives them
// ("2.1.0.0"). The title, About, the splash, the update check and the help log all show it.
QString Version();
QString Title();  // "Vaskimo 2.1 by Orvendal": the application and main-window title
}

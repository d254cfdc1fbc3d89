// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the help tests' CHM files: the program's CHM writer and a sample help file.
#pragma once

#include "help/ChmWriter.h"

namespace TestSupport {

class TChmBuilder : public TChmWriter
{
public:
    // A file with a help page, a second page with a stylesheet and a PNG picture, the default topic
    // "/index.htm" and contexts 13 -> "/tools/registry.htm", 17 -> "/undo.htm".
    static TChmBuilder Sample();
};

} // namespace TestSupport

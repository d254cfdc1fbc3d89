// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: program entry.
#include "platform/ProgramInfo.h"

#include <cstdio>

int main()
{
    std::printf("%s %s\n", qPrintable(ProgramInfo::Name()), qPrintable(ProgramInfo::Version()));
    return 0;
}

// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/ProgramInfo.h"

#include <gtest/gtest.h>

TEST(ProgramInfo, NameIsTheLockAndProductName)
{
    EXPECT_EQ(ProgramInfo::Name(), QStringLiteral("Vaskimo"));
    EXPECT_FALSE(ProgramInfo::Version().isEmpty());
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: GoogleTest entry for tests that need only QtCore (an event loop for queued calls).
#include "support/Needs.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return TestSupport::EndOfRun(RUN_ALL_TESTS());
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: GoogleTest entry for tests that need only QtCore (an event loop for queued calls).
#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

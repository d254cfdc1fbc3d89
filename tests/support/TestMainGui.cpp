// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: GoogleTest entry for window tests; they run on the offscreen platform.
#include "support/Needs.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return TestSupport::EndOfRun(RUN_ALL_TESTS());
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the update window tests share: a window host that records what the window opens, and clicking its buttons.
#pragma once

#include "UpdateTestFiles.h"

#include "net/Update.h"
#include "shell/Buttons.h"

#include <QStringList>
#include <QTest>

#include <gtest/gtest.h>

namespace UpdateTestSupport {

// The shell's "open" and the program's end, as the window asked for them.
struct TRecorder {
    QStringList Opened;
    int Terminated = 0;
    bool OpenWorks = true;

    TUpdateHost Host(const QString &programFolder, TSettings *settings, const QString &version)
    {
        TUpdateHost host;
        host.ProgramFolder = programFolder;
        host.Settings = settings;
        host.ProgramVersion = version;
        host.Open = [this](const QString &target) {
            Opened << target;
            return OpenWorks;
        };
        host.Terminate = [this] { ++Terminated; };
        return host;
    }
};

inline void Click(TUpdateIkkuna &w, const char *button)
{
    TOVBitBtn *b = w.Button(QLatin1String(button));
    ASSERT_NE(b, nullptr) << button;
    ASSERT_TRUE(b->isEnabled()) << button;
    QTest::mouseClick(b, Qt::LeftButton);
}

} // namespace UpdateTestSupport

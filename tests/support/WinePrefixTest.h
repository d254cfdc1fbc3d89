// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a test fixture whose every case gets its own copy of the binary's wineboot prefix.
#pragma once

#include "support/Needs.h"
#include "support/WineTools.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace TestSupport {

// Skips when Wine is not installed; Prefix is a fresh copy of TWinebootPrefix::Shared().
class TWinePrefixTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        VASKIMO_NEED_WINE();
        QString why;
        const TWinebootPrefix &fresh = TWinebootPrefix::Shared();
        ASSERT_TRUE(fresh.Error().isEmpty()) << fresh.Error().toStdString();
        Prefix = Dir.filePath(QStringLiteral("prefix"));
        ASSERT_TRUE(fresh.CopyTo(Prefix, &why)) << why.toStdString();
    }

    void TearDown() override
    {
        if (!Prefix.isEmpty() && WaitForWineserver(Prefix))
            RemoveServerFolder(Prefix);
    }

    QTemporaryDir Dir;
    QString Prefix;
};

}  // namespace TestSupport

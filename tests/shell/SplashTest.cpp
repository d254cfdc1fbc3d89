// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the splash window: its picture decodes, the version line, the window's size and flags.
#include "shell/Splash.h"

#include "platform/ProgramInfo.h"

#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(SplashTest, ShowsPictureVersionAndNotice)
{
    EXPECT_EQ(TOdota::GetVersion().count(u'.'), 3);
    EXPECT_TRUE(TOdota::GetVersion().startsWith(ProgramInfo::Version()));

    std::unique_ptr<TOdota> splash(TOdota::ShowSplash());
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible());
    ASSERT_FALSE(splash->Kuva->pixmap().isNull()) << "the built-in JPEG decodes";
    EXPECT_EQ(splash->size(), splash->Kuva->pixmap().size());
    EXPECT_EQ(splash->Version->text(), "Vaskimo " + TOdota::GetVersion() + ", 100% freeware!");
    EXPECT_TRUE(splash->Notice->text().contains("Orvendal"));
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_FALSE(splash->isModal());
}

} // namespace

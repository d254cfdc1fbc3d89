// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the splash window: its picture decodes, the version line, the window's size and flags.
#include "shell/Splash.h"

#include "platform/ProgramInfo.h"
#include "support/Needs.h"
#include "support/ProcessWait.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QWindow>

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

// The program's start runs without the event loop until the main window is ready: the splash must
// be on the screen, picture painted, by the time ShowSplash returns, or it is never seen at all. An
// X server shows a window only after it has answered, unlike the offscreen platform: the case runs
// again in a process of its own on Xvfb.
TEST(SplashTest, IsPaintedBeforeTheStartGoesOn)
{
    if (QGuiApplication::platformName() != u"xcb") {
        VASKIMO_NEED_PROGRAM("Xvfb", "xvfb");
        QProcess x;
        QByteArray why;
        const QString display = TestSupport::StartXvfb(x, &why);
        ASSERT_FALSE(display.isEmpty()) << why.toStdString();
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("DISPLAY"), display);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--gtest_filter=SplashTest.IsPaintedBeforeTheStartGoesOn")});
        const bool ended = child.waitForFinished(60000);
        const QByteArray output = child.readAll();
        x.kill();
        x.waitForFinished();
        ASSERT_TRUE(ended) << output.toStdString();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
        return;
    }
    struct TPaintCounter : QObject {
        int Pictures = 0;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && watched->objectName() == u"Kuva")
                ++Pictures;
            return false;
        }
    } counter;
    qApp->installEventFilter(&counter);
    std::unique_ptr<TOdota> splash(TOdota::ShowSplash());
    qApp->removeEventFilter(&counter);
    ASSERT_TRUE(splash && splash->windowHandle());
    EXPECT_TRUE(splash->windowHandle()->isExposed());
    EXPECT_GT(counter.Pictures, 0);
}

} // namespace

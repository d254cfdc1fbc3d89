// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: every window opens inside the screen's available area, on small screens and with sizes
// saved on a big one.
#include "WindowTour.h"

#include "help/HelpViewer.h"
#include "shell/LanguageChooser.h"
#include "shell/Main.h"
#include "shell/Splash.h"
#include "shell/Tulosta.h"

#include <QAbstractButton>
#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using TestSupport::TTourStop;
using TestSupport::TWindowTour;

namespace {

// Every window's size as a big screen saved it.
QByteArray SavedOnABigScreen()
{
    QByteArray text = "[General]\r\nWidth=1880\r\nHeight=1140\r\n";
    for (const char *section : {"Registry", "Duplicate files", "Unnecessary files", "Shortcuts", "Space usage",
                                "Add/remove", "Startup", "Undo"})
        text += QByteArray("[") + section + "]\r\nMaximized=0\r\nWidth=1900\r\nHeight=1150\r\n";
    return text;
}

void ExpectInside(const QList<TTourStop> &stops)
{
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    // From 1024 x 768 up, every window's own layout fits: nothing needs scrolling.
    const bool roomy = available.width() >= 1024 && available.height() >= 768;
    for (const TTourStop &stop : stops) {
        SCOPED_TRACE(stop.Name.toStdString());
        ASSERT_TRUE(stop.Window);
        QWidget *window = stop.Window;
        EXPECT_TRUE(available.contains(window->frameGeometry()))
            << "frame " << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
            << window->frameGeometry().width() << "x" << window->frameGeometry().height();
        const bool scrolled = window->findChild<QScrollArea *>(QStringLiteral("ScreenFitArea")) != nullptr;
        if (roomy) {
            EXPECT_FALSE(scrolled);
        }
        if (scrolled)
            continue;
        // What is there to press and read lies on the screen.
        QList<QWidget *> parts;
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
            parts.append(button);
        for (QStatusBar *bar : window->findChildren<QStatusBar *>())
            parts.append(bar);
        for (QWidget *part : std::as_const(parts)) {
            if (part->window() != window || !part->isVisibleTo(window) || part->objectName().startsWith(u"qt_"))
                continue;
            const QRect global(part->mapToGlobal(QPoint(0, 0)), part->size());
            EXPECT_TRUE(available.contains(global)) << part->objectName().toStdString();
        }
    }
}

}  // namespace

TEST(WindowFit, EveryWindowOpensInsideTheScreen)
{
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    ExpectInside(tour.OpenAll());
}

TEST(WindowFit, SizesSavedOnABigScreenOpenInsideASmallOne)
{
    TWindowTour tour(SavedOnABigScreen());
    ASSERT_TRUE(tour.Ready());
    ExpectInside(tour.OpenAll());
}

TEST(WindowFit, TheSmallWindowsOpenInsideToo)
{
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    const QString folder = QDir::tempPath();
    const struct {
        const char *Name;
        std::function<QWidget *()> Make;
    } windows[] = {
        {"language chooser", [&] { return new TKieliIkkuna(folder, tour.MainWindow()); }},
        {"progress", [&] { return new TTulostaIkkuna(tour.MainWindow()); }},
        {"help viewer", [] { return new THelpViewer; }},
        {"splash", [] { return new TOdota; }},
    };
    for (const auto &w : windows) {
        SCOPED_TRACE(w.Name);
        std::unique_ptr<QWidget> window(w.Make());
        window->resize(1900, 1150);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        EXPECT_TRUE(available.contains(window->frameGeometry()));
    }
}

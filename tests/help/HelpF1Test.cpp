// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: F1 in every window, and the main window's Help button, open that window's own topic of the shipped help file.
#include "HelpTopics.h"
#include "WindowTour.h"

#include "help/HelpViewer.h"
#include "shell/Main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTextBrowser>

#include <gtest/gtest.h>

using TestSupport::HelpTopics;
using TestSupport::TWindowTour;

namespace {

// The help as main() sets it up, on the help file the build compiled.
class HelpF1 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TStartHooks hooks;
        hooks.ShowHelp = [this](const QString &helpFile) { FSession->ShowHelp(helpFile); };
        TPaaIkkuna::SetStartHooks(hooks);
        FSession = std::make_unique<THelpSession>(QStringLiteral("/nonexistent/vaskimo"), QStringList{});
        FSession->InstallHook(QStringLiteral(VASKIMO_HELP_FILE));
        HHFuncs::SetMessageHandler([this](const QString &text) { FMessages << text; });
    }
    void TearDown() override
    {
        delete THelpViewer::Current();
        FSession.reset();
        TPaaIkkuna::SetStartHooks({});
    }

    // The page the viewer shows: its archive path and its title.
    static QString Shown()
    {
        const THelpViewer *viewer = THelpViewer::Current();
        if (!viewer || !viewer->isVisible())
            return QStringLiteral("<no help window>");
        return viewer->Browser()->CurrentTopic() + u' ' + viewer->Browser()->documentTitle();
    }

    std::unique_ptr<THelpSession> FSession;
    QStringList FMessages;
};

TEST_F(HelpF1, EveryWindowOpensItsOwnTopic)
{
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    for (const auto &topic : HelpTopics) {
        SCOPED_TRACE(topic.Window);
        QWidget *window = tour.Open(QLatin1String(topic.Window));
        ASSERT_NE(window, nullptr);
        const bool tool = window != tour.MainWindow();
        if (tool) {
            // As the main window shows them: modal.
            window->hide();
            window->setWindowModality(Qt::ApplicationModal);
            window->show();
        }
        QApplication::setActiveWindow(window);
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QWidget *focus = QApplication::focusWidget() ? QApplication::focusWidget() : window;
        QTest::keyClick(focus, Qt::Key_F1);
        EXPECT_EQ(Shown().toStdString(), ('/' + std::string(topic.Page) + ' ' + topic.Title));
        EXPECT_EQ(THelpViewer::Current()->windowTitle(), QStringLiteral("Vaskimo Help"));
        THelpViewer::Current()->close();
        if (tool) {
            window->hide();
            window->setWindowModality(Qt::NonModal);
        }
    }
    EXPECT_TRUE(FMessages.isEmpty()) << FMessages.join(u'\n').toStdString();

    // The Help button: the main window's topic.
    QApplication::setActiveWindow(tour.MainWindow());
    tour.MainWindow()->findChild<QAbstractButton *>(QStringLiteral("btnHelp"))->click();
    EXPECT_EQ(Shown().toStdString(), "/index.htm Vaskimo");
}

} // namespace

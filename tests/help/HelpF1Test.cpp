// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: F1 in every window, and the main window's Help button, open that window's own topic of the shipped help file.
#include "HelpTopics.h"
#include "WindowTour.h"

#include "help/HelpViewer.h"
#include "shell/Batch.h"
#include "shell/Main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QRegularExpression>
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

// A topic's source page as the help compiler reads it.
QString PageSource(const char *page)
{
    QFile file(QStringLiteral(HELP_SOURCE "/") + QLatin1String(page));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A control's text as a user reads it: no mnemonic mark, no closing colon.
QString Readable(QString text)
{
    text.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
    text = text.trimmed();
    if (text.endsWith(u':'))
        text.chop(1);
    return text.trimmed();
}

// Every text a window shows on its controls: buttons and boxes, labels, group titles, list and
// combo items.
QSet<QString> ControlTexts(QWidget *window)
{
    QSet<QString> texts;
    for (auto *b : window->findChildren<QAbstractButton *>())
        texts << Readable(b->text());
    for (auto *l : window->findChildren<QLabel *>())
        texts << Readable(l->text());
    for (auto *g : window->findChildren<QGroupBox *>())
        texts << Readable(g->title());
    for (auto *list : window->findChildren<QListWidget *>())
        for (int i = 0; i < list->count(); ++i)
            texts << Readable(list->item(i)->text());
    for (auto *combo : window->findChildren<QComboBox *>())
        for (int i = 0; i < combo->count(); ++i)
            texts << Readable(combo->itemText(i));
    return texts;
}

} // namespace

// A topic names the window's controls in bold: each such name is on a control of that window, so a
// renamed or removed control cannot leave its help behind.
TEST(HelpText, EveryControlATopicNamesIsInItsWindow)
{
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    const QRegularExpression bold(QStringLiteral("<b>(.*?)</b>"), QRegularExpression::DotMatchesEverythingOption);
    for (const auto &topic : HelpTopics) {
        SCOPED_TRACE(topic.Page);
        const QString source = PageSource(topic.Page);
        ASSERT_FALSE(source.isEmpty());
        QWidget *window = tour.Open(QLatin1String(topic.Window));
        ASSERT_NE(window, nullptr);
        const QSet<QString> texts = ControlTexts(window);
        int named = 0;
        for (const QRegularExpressionMatch &m : bold.globalMatch(source)) {
            const QString name = m.captured(1).simplified();
            EXPECT_TRUE(texts.contains(name)) << "\"" << name.toStdString() << "\" is on no control of the window";
            ++named;
        }
        EXPECT_GT(named, 0);
    }
}

// The help gives the order the switches run in, which is not the order they are typed in.
TEST(HelpText, TheSwitchesRunInTheOrderTheHelpGives)
{
    const QString source = PageSource("batch.htm");
    const qsizetype from = source.indexOf(QStringLiteral("whatever order you give them in:"));
    ASSERT_GE(from, 0);
    const QString sentence = source.mid(from, source.indexOf(QStringLiteral("</code>."), from) + 7 - from);
    QStringList helpOrder;
    for (const QRegularExpressionMatch &m : QRegularExpression(QStringLiteral("<code>(-[a-z]+)</code>")).globalMatch(sentence))
        helpOrder << m.captured(1);

    // Every switch that runs a tool or clears something, as --help lists them, typed backwards.
    QStringList typed;
    for (const QString &line : Batch::Usage(QString()).split(u'\n'))
        if (const QString word = line.simplified().section(u' ', 0, 0);
            line.startsWith(QStringLiteral("  -")) && (Batch::IsToolSwitch(word) || Batch::IsBrowserSwitch(word)))
            typed.prepend(word);
    ASSERT_TRUE(typed.contains(QStringLiteral("-delreg")) && typed.contains(QStringLiteral("-cmru")));
    EXPECT_EQ(helpOrder.join(u' ').toStdString(), Batch::SplitSwitches(typed.join(u',')).join(u' ').toStdString());
}

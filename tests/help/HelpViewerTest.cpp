// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the help viewer offscreen: topics by context with their pictures and stylesheets, links, and the main window's help-file choice.
#include "ChmBuilder.h"
#include "help/HelpViewer.h"

#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "support/MessageBoxCatcher.h"
#include "support/PrefixBuilder.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

using TestSupport::TChmBuilder;
using TestSupport::TBoxes;
using TestSupport::TPrefixBuilder;

namespace {

class HelpViewer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        FHelpFile = FDir.filePath(QStringLiteral("VKEnglish.chm"));
        ASSERT_TRUE(TChmBuilder::Sample().Save(FHelpFile));
    }
    void TearDown() override { delete THelpViewer::Current(); }

    // The help subsystem as main() sets it up, with the hook on the sample file.
    std::unique_ptr<THelpSession> Session()
    {
        const QString program = FDir.filePath(QStringLiteral("vaskimo"));
        auto session = std::make_unique<THelpSession>(program, QStringList{program});
        session->InstallHook(FHelpFile);
        return session;
    }
    // A tool window with a help context and the focus in its edit box.
    static QLineEdit *ShowTool(QDialog &tool, int helpContext, bool modal)
    {
        tool.setProperty("HelpContext", helpContext);
        auto *edit = new QLineEdit(&tool);
        tool.setModal(modal);
        tool.show();
        QApplication::setActiveWindow(&tool);
        EXPECT_TRUE(QTest::qWaitForWindowActive(&tool));
        edit->setFocus();
        return edit;
    }

    QTemporaryDir FDir;
    QString FHelpFile;
    TBoxes FBoxes;
};

QColor HeadingColour(const QTextDocument *document)
{
    for (QTextBlock b = document->begin(); b.isValid(); b = b.next())
        if (b.text().contains(QLatin1String("Registry cleaner")))
            return b.begin().fragment().charFormat().foreground().color();
    return {};
}

} // namespace

TEST_F(HelpViewer, ContextShowsItsTopicWithThePictureAndStylesheetFromTheFile)
{
    const auto session = Session();
    ASSERT_NE(session->Hook(), nullptr);
    EXPECT_TRUE(AppHelp::HelpContext(13));
    EXPECT_TRUE(FBoxes.Shown.isEmpty());

    THelpViewer *viewer = THelpViewer::Current();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Vaskimo Help"));
    TChmBrowser *browser = viewer->Browser();
    EXPECT_EQ(browser->CurrentTopic(), QStringLiteral("/tools/registry.htm"));
    EXPECT_TRUE(browser->toPlainText().contains(QLatin1String("Registry cleaner")));
    const QVariant picture =
        browser->document()->resource(QTextDocument::ImageResource, QUrl(QStringLiteral("../pictures/dot.png")));
    const QImage image = picture.value<QImage>();
    EXPECT_EQ(image.size(), QSize(4, 3));
    EXPECT_EQ(image.pixelColor(1, 1), QColor(0x20, 0x80, 0xE0));
    EXPECT_EQ(HeadingColour(browser->document()), QColor(0x12, 0x34, 0x56));

    // The same viewer takes the next request; an unmapped number shows the default topic.
    EXPECT_TRUE(AppHelp::HelpContext(0));
    EXPECT_EQ(THelpViewer::Current(), viewer);
    EXPECT_EQ(browser->CurrentTopic(), QStringLiteral("/index.htm"));
}

TEST_F(HelpViewer, LinksStayInTheFileAndNothingOutsideItLoads)
{
    THelpViewer viewer;
    ASSERT_TRUE(viewer.ShowContext(FHelpFile, 0));
    TChmBrowser *browser = viewer.Browser();
    emit browser->anchorClicked(QUrl(QStringLiteral("undo.htm")));
    EXPECT_EQ(browser->CurrentTopic(), QStringLiteral("/undo.htm"));
    EXPECT_TRUE(browser->toPlainText().contains(QLatin1String("Undo files")));

    EXPECT_FALSE(browser->ShowTopic(QStringLiteral("/nothing.htm")));
    EXPECT_EQ(browser->CurrentTopic(), QStringLiteral("/undo.htm"));
    QFile outside(FDir.filePath(QStringLiteral("secret.txt")));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.write("secret");
    outside.close();
    EXPECT_FALSE(browser->loadResource(QTextDocument::HtmlResource, QUrl::fromLocalFile(outside.fileName())).isValid());
    EXPECT_FALSE(browser->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("http://example.invalid/a.png")))
                     .isValid());
    EXPECT_FALSE(viewer.ShowContext(FDir.filePath(QStringLiteral("missing.chm")), 13));
}

TEST_F(HelpViewer, BackReturnsToThePageBeforeAndEscCloses)
{
    QPointer<THelpViewer> viewer = new THelpViewer;
    ASSERT_TRUE(viewer->ShowContext(FHelpFile, 0));
    viewer->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
    auto *back = viewer->findChild<QPushButton *>(QStringLiteral("btnBack"));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text(), "&Back");
    EXPECT_FALSE(back->isEnabled()) << "nothing to go back to";
    emit viewer->Browser()->anchorClicked(QUrl(QStringLiteral("undo.htm")));
    EXPECT_EQ(viewer->Browser()->CurrentTopic(), QStringLiteral("/undo.htm"));
    ASSERT_TRUE(back->isEnabled());
    QTest::mouseClick(back, Qt::LeftButton);
    EXPECT_EQ(viewer->Browser()->CurrentTopic(), QStringLiteral("/index.htm"));
    EXPECT_FALSE(back->isEnabled());
    viewer->activateWindow();
    QTest::keyClick(viewer->Browser(), Qt::Key_Escape);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.isNull() || !viewer->isVisible(); }, 5000));
    delete viewer.data();
}

TEST_F(HelpViewer, EndingTheHookClosesTheViewer)
{
    const auto session = Session();
    ASSERT_TRUE(AppHelp::HelpContext(17));
    QPointer<THelpViewer> viewer = THelpViewer::Current();
    ASSERT_FALSE(viewer.isNull());
    EXPECT_EQ(viewer->Browser()->CurrentTopic(), QStringLiteral("/undo.htm"));
    session->InstallHook(QString());
    EXPECT_EQ(session->Hook(), nullptr);
    EXPECT_TRUE(viewer.isNull());
    EXPECT_FALSE(AppHelp::HelpContext(17));  // no hook: nothing answers
}

TEST_F(HelpViewer, ViewerOpenedFromAModalToolWindowTakesInput)
{
    const auto session = Session();
    auto *tool = new QDialog;
    tool->setModal(true);
    tool->show();
    ASSERT_EQ(QApplication::activeModalWidget(), tool);
    ASSERT_TRUE(AppHelp::HelpContext(17));
    QPointer<THelpViewer> viewer = THelpViewer::Current();
    ASSERT_FALSE(viewer.isNull());
    EXPECT_EQ(viewer->parentWidget(), tool);
    EXPECT_TRUE(viewer->isWindow());
    EXPECT_TRUE(viewer->isVisible());
    // Closing the one-use window takes its viewer along; the next request makes a new one.
    delete tool;
    EXPECT_TRUE(viewer.isNull());
    ASSERT_TRUE(AppHelp::HelpContext(13));
    ASSERT_NE(THelpViewer::Current(), nullptr);
    EXPECT_EQ(THelpViewer::Current()->parentWidget(), nullptr);
    EXPECT_EQ(THelpViewer::Current()->Browser()->CurrentTopic(), QStringLiteral("/tools/registry.htm"));
}

TEST_F(HelpViewer, F1InAModalToolWindowReachesTheHook)
{
    const auto session = Session();
    QDialog tool;
    QLineEdit *edit = ShowTool(tool, 13, true);
    QTest::keyClick(edit, Qt::Key_F1);
    ASSERT_NE(THelpViewer::Current(), nullptr);
    EXPECT_EQ(THelpViewer::Current()->Browser()->CurrentTopic(), QStringLiteral("/tools/registry.htm"));
    EXPECT_TRUE(FBoxes.Shown.isEmpty());
    // Other keys and F1 with a modifier are the window's own.
    delete THelpViewer::Current();
    QTest::keyClick(edit, Qt::Key_F2);
    QTest::keyClick(edit, Qt::Key_F1, Qt::ShiftModifier);
    EXPECT_EQ(THelpViewer::Current(), nullptr);
}

TEST_F(HelpViewer, HelpButtonShowsTheChmOrSaysWhyNot)
{
    const auto session = Session();
    const QString hlp = FDir.filePath(QStringLiteral("VKEnglish.hlp"));
    session->InstallHook(hlp);
    session->ShowHelp(hlp);
    EXPECT_EQ(FBoxes.Shown, QStringList{"The help file \"" + hlp + "\" does not exist."});
    EXPECT_EQ(THelpViewer::Current(), nullptr);

    FBoxes.Shown.clear();
    QFile old(hlp);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.close();
    session->ShowHelp(hlp);
    EXPECT_EQ(FBoxes.Shown, QStringList{"The help file \"" + hlp +
                                        "\" cannot be shown: only compiled HTML Help (.chm) files have a viewer here."});

    FBoxes.Shown.clear();
    session->InstallHook(FHelpFile);
    session->ShowHelp(QString());  // the hooked file
    EXPECT_TRUE(FBoxes.Shown.isEmpty());
    ASSERT_NE(THelpViewer::Current(), nullptr);
    EXPECT_EQ(THelpViewer::Current()->Browser()->CurrentTopic(), QStringLiteral("/index.htm"));
}

TEST_F(HelpViewer, BrokenHelpFileIsReportedNotShown)
{
    // Cut short inside its directory: refused before it is read; whole but without a page: no topic.
    TChmBuilder withoutPages;
    withoutPages.Add(QStringLiteral("/help.css"), "h1 { color: red; }");
    const struct {
        const char *name;
        QByteArray bytes;
        const char *damage;
    } files[] = {
        {"cut short", TChmBuilder::Sample().Build().left(300), "it cannot be read as compiled HTML Help."},
        {"no page", withoutPages.Build(), "it holds no help page."},
    };
    for (const auto &f : files) {
        SCOPED_TRACE(f.name);
        FBoxes.Shown.clear();
        QFile broken(FDir.filePath(QStringLiteral("VKSuomi.chm")));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
        broken.write(f.bytes);
        broken.close();
        const auto session = Session();
        session->InstallHook(broken.fileName());
        EXPECT_TRUE(AppHelp::HelpContext(13));
        EXPECT_EQ(FBoxes.Shown, QStringList{"The help file \"" + broken.fileName() + "\" is damaged: " + f.damage});
        EXPECT_EQ(THelpViewer::Current(), nullptr);
    }
}

TEST_F(HelpViewer, PagesWithoutAnEncodingInTheWindowsCodePageReadRight)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    TChmBuilder b;
    b.Add(QStringLiteral("/ansi.htm"), QByteArray("<html><body><p>K\xE4ytt\xF6 \x80</p></body></html>"));
    b.Add(QStringLiteral("/utf8.htm"), QStringLiteral("<html><body><p>K\u00E4ytt\u00F6 \u20AC</p></body></html>").toUtf8());
    b.Add(QStringLiteral("/named.htm"), QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
                                                   "charset=windows-1252\"></head><body><p>K\xE4ytt\xF6 \x80</p></body></html>"));
    const QString file = FDir.filePath(QStringLiteral("enc.chm"));
    ASSERT_TRUE(b.Save(file));
    THelpViewer viewer;
    ASSERT_TRUE(viewer.ShowContext(file, 0));
    for (const char *page : {"/ansi.htm", "/utf8.htm", "/named.htm"}) {
        SCOPED_TRACE(page);
        ASSERT_TRUE(viewer.Browser()->ShowTopic(QString::fromLatin1(page)));
        EXPECT_EQ(viewer.Browser()->toPlainText(), QStringLiteral("K\u00E4ytt\u00F6 \u20AC"));
    }
}

TEST_F(HelpViewer, F1InAWindowWithAHelpContextOpensItsTopic)
{
    const auto session = Session();
    QDialog tool;
    QLineEdit *edit = ShowTool(tool, 17, false);
    EXPECT_EQ(THelpViewer::ActiveHelpContext(), 17);
    ASSERT_TRUE(AppHelp::HelpContext(THelpViewer::ActiveHelpContext()));
    ASSERT_NE(THelpViewer::Current(), nullptr);
    EXPECT_EQ(THelpViewer::Current()->Browser()->CurrentTopic(), QStringLiteral("/undo.htm"));
    tool.setProperty("HelpContext", QVariant());
    QApplication::setActiveWindow(&tool);
    edit->setFocus();
    EXPECT_EQ(THelpViewer::ActiveHelpContext(), 0);
}

TEST(HelpFileChoice, MainWindowPicksTheFileAndTheHookFollowsItsExtension)
{
    struct TRow { const char *name; QStringList files; const char *chosen; bool hook; };
    const TRow rows[] = {
        {"language chm", {"VKSuomi.chm", "VKSuomi.hlp", "VKEnglish.chm"}, "VKSuomi.chm", true},
        {"language hlp before English chm", {"VKSuomi.hlp", "VKEnglish.chm"}, "VKSuomi.hlp", false},
        {"English chm", {"VKEnglish.chm", "VKEnglish.hlp"}, "VKEnglish.chm", true},
        {"nothing: English hlp untested", {}, "VKEnglish.hlp", false},
    };
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    for (const TRow &row : rows) {
        SCOPED_TRACE(row.name);
        QTemporaryDir dir;
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("Helps")));
        for (const QString &f : row.files)
            ASSERT_TRUE(TChmBuilder::Sample().Save(dir.filePath(QStringLiteral("Helps/") + f)));
        QFile ini(dir.filePath(QStringLiteral("Options.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\r\nLanguage index=0\r\nLanguage=Suomi\r\n");
        ini.close();
        THelpSession session(dir.filePath(QStringLiteral("vaskimo")), {dir.filePath(QStringLiteral("vaskimo"))});
        TPaaIkkuna window(dir.path());
        EXPECT_EQ(QDir::cleanPath(window.FHelpFile), QDir::cleanPath(dir.filePath(QStringLiteral("Helps/")) + row.chosen));
        session.InstallHook(window.FHelpFile);
        EXPECT_EQ(session.Hook() != nullptr, row.hook);
    }
}

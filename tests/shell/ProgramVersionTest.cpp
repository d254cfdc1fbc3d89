// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: one program version, the build's, in the main window's title, About, the splash, the update window and the help log.
#include "help/hh_funcs.h"
#include "net/Update.h"
#include "shell/About.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/Splash.h"
#include "support/PrefixBuilder.h"

#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using TestSupport::TPrefixBuilder;

namespace {

// From the project's own version, as the build states it.
const QString Four = QStringLiteral(PROJECT_VERSION_FOUR);
const QString MajorMinor = QStringLiteral(PROJECT_VERSION_MAJOR_MINOR);

TEST(ProgramVersion, EveryPlaceShowsTheBuildsVersion)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna window(dir.path());
    TAboutBox about(&window, window.Settings(), dir.path() + u'/', window.ProgramVersion());
    std::unique_ptr<TOdota> splash(TOdota::ShowSplash());
    TUpdateIkkuna update(&window);
    const auto *current = update.findChild<QLabel *>(QStringLiteral("CurrentVersion"));
    ASSERT_NE(current, nullptr);

    const struct { const char *place; QString shown, expected; } rows[] = {
        {"main window title", window.windowTitle(), "Vaskimo " + MajorMinor + " by Orvendal"},
        {"program version", window.ProgramVersion(), Four},
        {"About product line", about.ProductName->text(), "Vaskimo " + Four},
        {"splash", splash->Version->text(), "Vaskimo " + Four + ", 100% freeware!"},
        {"update window, compared with the offered version", current->text(), Four},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.place);
        EXPECT_EQ(row.shown.toStdString(), row.expected.toStdString());
    }
}

TEST(ProgramVersion, HelpLogNamesIt)
{
    QTemporaryDir dir;
    const QString program = dir.filePath(QStringLiteral("vaskimo"));
    HHFuncs::Start({program, {program, QStringLiteral("-debug")}, dir.path(), {}});
    const QString log = HHFuncs::DLog() ? HHFuncs::DLog()->Path() : QString();
    HHFuncs::End();
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << log.toStdString();
    const QString text = QString::fromLatin1(f.readAll());
    EXPECT_TRUE(text.contains("EXE Version =       \t" + Four + "\r\n")) << text.toStdString();
}

} // namespace

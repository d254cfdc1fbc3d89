// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window offscreen: hint panel, tools, auto-start value, batch runs with fake tools, hiding to the tray.
#include "shell/Main.h"

#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"
#include "support/PrefixBuilder.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using TestSupport::THive;
using TestSupport::TPrefixBuilder;

namespace {

struct TBoxes {
    QStringList Shown;
    MessageBoxes::THandler Previous;
    TBoxes()
    {
        Previous = MessageBoxes::SetHandler([this](QWidget *, TMessageKind, const QString &text) {
            Shown << text;
            return true;
        });
    }
    ~TBoxes() { MessageBoxes::SetHandler(Previous); }
};

// A threaded tool in miniature: its "search" ends on a timer, then it logs and closes itself.
class TFakeTool : public QDialog, public TBatchTool
{
public:
    explicit TFakeTool(QWidget *parent) : QDialog(parent) {}
    void StartBatch(const QString &batchSwitch) override
    {
        PaaIkkuna->AddLogBlock({batchSwitch, "Started searching"});
        QTimer::singleShot(40, this, [this] {
            if (!isVisible()) {
                PaaIkkuna->FLog << "Aborted by user!";  // closed before its work ended
                return;
            }
            PaaIkkuna->FLog << PaaIkkuna->TimeStamp() << "Found 0 invalid entries";
            accept();
        });
    }
};

QStringList HiveLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {"<missing>"};
    QStringList lines;
    static const QRegularExpression keyTime(R"(^(\[.*\]) \d+$)");
    for (QString line : QString::fromUtf8(f.readAll()).split('\n')) {
        if (line.startsWith("#time=")) continue;
        line.replace(keyTime, "\\1");
        lines << line;
    }
    return lines;
}

} // namespace

TEST(MainWindow, HintPanelFollowsTheMouse)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna window(dir.path());
    EXPECT_EQ(PaaIkkuna, &window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.HintTitle()->text(), "Friendly tips");
    const struct { const char *button, *title; } steps[] = {
        {"btnRegistry", "Clean registry"}, {"btnAddRemove", "Add/remove cleaner"},
        {"btnCookies", "IE cookies"}, {"btnClose", "Close"},
    };
    for (const auto &s : steps) {
        SCOPED_TRACE(s.button);
        TOVBitBtn *button = window.Button(s.button);
        ASSERT_NE(button, nullptr);
        EXPECT_TRUE(button->isVisible());
        QTest::mouseMove(button);
        EXPECT_EQ(window.HintTitle()->text(), s.title);
    }
    QTest::mouseMove(window.findChild<QLabel *>("Label1"));
    EXPECT_EQ(window.HintTitle()->text(), "Friendly tips");
    EXPECT_TRUE(window.HintBody()->text().contains("\r\rAnd one last thing"));
    // No browser folders in an empty prefix: the one-click buttons are off.
    EXPECT_FALSE(window.Button("btnCache")->isEnabled());
}

TEST(MainWindow, ToolNotInThisBuildSaysSo)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna window(dir.path());
    TBoxes boxes;
    QTest::mouseClick(window.Button("btnSpaceUsage"), Qt::LeftButton);
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown.first().contains("not part of this build"));
    EXPECT_FALSE(window.FSpaceUsageOpen);
}

TEST(MainWindow, AutoStartWritesAndDeletesOnlyItsValue)
{
    TPrefixBuilder prefix;
    prefix.AddString(THive::System, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Other", "C:\\other.exe");
    prefix.AddString(THive::System, "Software\\Foo", "Bar", "baz");
    prefix.MakeCurrent();
    const QStringList before = HiveLines(prefix.HivePath(THive::System));
    QTemporaryDir dir;
    TPaaIkkuna::SetProgramFile("/opt/vaskimo/vaskimo");
    TPaaIkkuna window(dir.path());
    QAction *item = window.TrayPopup()->findChild<QAction *>("StartVaskimoonstartup1");
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isChecked());
    TBoxes boxes;

    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_TRUE(window.FRunAtStartup);
    QStringList after = HiveLines(prefix.HivePath(THive::System));
    QStringList added;
    for (const QString &line : after)
        if (!before.contains(line)) added << line;
    EXPECT_EQ(added, QStringList({R"("Orvendal Vaskimo"="\"Z:\\opt\\vaskimo\\vaskimo\" -s -startup")"}));
    EXPECT_EQ(after.size(), before.size() + 1);

    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_FALSE(window.FRunAtStartup);
    EXPECT_EQ(HiveLines(prefix.HivePath(THive::System)), before);
    EXPECT_TRUE(boxes.Shown.isEmpty());
    TPaaIkkuna::SetProgramFile({});
}

TEST(MainWindow, AutoStartFailureIsToldAndNotShownAsDone)
{
    QTemporaryDir dir;
    auto previous = TWinePrefix::Current();
    TWinePrefix::SetCurrent(std::make_shared<TWinePrefix>(dir.filePath("no-prefix")));
    {
        TPaaIkkuna window(dir.path());
        QAction *item = window.TrayPopup()->findChild<QAction *>("StartVaskimoonstartup1");
        TBoxes boxes;
        item->trigger();
        EXPECT_FALSE(item->isChecked()) << "the mark follows the registry";
        EXPECT_FALSE(window.FRunAtStartup);
        ASSERT_EQ(boxes.Shown.size(), 1);
        EXPECT_FALSE(boxes.Shown.first().isEmpty());
    }
    TWinePrefix::SetCurrent(previous);
}

TEST(MainWindow, BatchRunWaitsForAThreadedToolWithAutoClose)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna::RegisterTool(TToolKind::Registry, [](QWidget *parent) { return new TFakeTool(parent); });
    TPaaIkkuna window(dir.path());
    window.SetCommandLine({"/opt/vaskimo/vaskimo", "-s", "-reg"});
    window.TsiikaaParamssit("-s, -reg");
    EXPECT_TRUE(window.FAutoClose);
    EXPECT_TRUE(window.FRegistryOpen);
    EXPECT_FALSE(window.FBatchMode);
    EXPECT_FALSE(window.FBatchAborted);
    const QStringList log = window.FLog;
    ASSERT_GE(log.size(), 2);
    EXPECT_EQ(log.at(1), "/opt/vaskimo/vaskimo -s -reg");
    EXPECT_TRUE(log.contains("Found 0 invalid entries"));
    EXPECT_FALSE(log.contains("Aborted by user!"));
    QFile file(dir.filePath("Vaskimo.log"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().endsWith("Found 0 invalid entries\r\n"));
    TPaaIkkuna::RegisterTool(TToolKind::Registry, {});
}

TEST(MainWindow, HidingToTheTrayKeepsTheToolsModalRun)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna::AssumeTrayAvailable(true);
    QPointer<QDialog> tool;
    TPaaIkkuna::RegisterTool(TToolKind::Undo, [&](QWidget *parent) { return tool = new QDialog(parent); });
    TPaaIkkuna window(dir.path());
    window.Settings().FHideToTray = true;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QStringList seen;
    QTimer::singleShot(50, &window, [&] {
        ASSERT_TRUE(tool && tool->isVisible());
        window.HandleSysCommand(tool, SC_MINIMIZE);
        seen << QString("hidden %1 %2 %3").arg(tool->isVisible()).arg(window.isVisible()).arg(window.HiddenToTray());
        QTimer::singleShot(50, &window, [&] {
            window.TrayIconDblClick();
            QTimer::singleShot(50, &window, [&] {
                seen << QString("restored %1 %2").arg(tool->isVisible()).arg(window.isVisible());
                tool->accept();
            });
        });
    });
    const int result = window.OpenTool(TToolKind::Undo);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(seen, QStringList({"hidden 0 0 1", "restored 1 1"}));
    EXPECT_TRUE(window.FUndoOpen);

    // Without a tray, minimising never hides.
    TPaaIkkuna::AssumeTrayAvailable(false);
    window.HandleSysCommand(&window, SC_MINIMIZE);
    EXPECT_FALSE(window.HiddenToTray());
    TPaaIkkuna::RegisterTool(TToolKind::Undo, {});
}

TEST(MainWindow, UndoHeaderAndVersion)
{
    TPrefixBuilder prefix;
    prefix.AddString(THive::User, "Control Panel\\International", "sShortDate", "d.M.yyyy");
    prefix.AddString(THive::User, "Control Panel\\International", "sTimeFormat", "H:mm:ss");
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna window(dir.path());
    const QString header = window.UndoHeader();
    EXPECT_TRUE(header.startsWith("REGEDIT4\r\n\r\n; This REG-file is generated by Orvendal Vaskimo\r\n"));
    EXPECT_TRUE(QRegularExpression(R"(; Generated on \d{1,2}\.\d{1,2}\.\d{4} @ \d{1,2}:\d\d:\d\d\.$)").match(header).hasMatch())
        << qPrintable(header);
    EXPECT_TRUE(QRegularExpression(R"(^\d+\.\d+\.\d+\.\d+$)").match(window.ProgramVersion()).hasMatch());
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window offscreen: hint panel, tools, auto-start value, batch runs with fake tools, hiding to the tray.
#include "shell/Main.h"

#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/MessageBoxes.h"
#include "shell/Options.h"
#include "shell/Settings.h"
#include "support/MessageBoxCatcher.h"
#include "support/Pictures.h"
#include "support/PrefixBuilder.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using TestSupport::THive;
using TestSupport::TBoxes;
using TestSupport::TPrefixBuilder;

namespace {

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
    EXPECT_TRUE(window.HintBody()->text().contains("fix that.\n\nAnd one last thing"));
    // No browser folders in an empty prefix: the one-click buttons are off.
    EXPECT_FALSE(window.Button("btnCache")->isEnabled());
}

// The main window has no maximise box, yet a window manager maximises on a double click of the
// title or a key: the window keeps its size.
TEST(MainWindow, StaysUnmaximised)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna window(dir.path());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QSize size = window.size();
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    for (const Qt::WindowState state : {Qt::WindowMaximized, Qt::WindowFullScreen}) {
        SCOPED_TRACE(int(state));
        window.setWindowState(state);
        EXPECT_TRUE(QTest::qWaitFor([&] { return window.windowState() == Qt::WindowNoState && window.size() == size; }))
            << window.width() << 'x' << window.height() << " state " << int(window.windowState());
    }
    // Minimising stays what it was.
    window.setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isMinimized());
}

// Title bars, task bars and window switchers ask for different sizes: each finds a picture of its
// own there, not a small one blown up, on the main window and on every window it opens.
TEST(MainWindow, EveryWindowShowsTheProgramIcon)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna window(dir.path());
    QDialog tool(&window);
    for (const QWidget *shown : {static_cast<QWidget *>(&window), static_cast<QWidget *>(&tool)}) {
        SCOPED_TRACE(shown->metaObject()->className());
        const QIcon icon = shown->windowIcon();
        for (const int side : {32, 48}) {
            SCOPED_TRACE(side);
            EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side)));
            TestSupport::ExpectDrawn(icon.pixmap(QSize(side, side), 1.0).toImage(), side);
        }
    }
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

    // Without a tray, or with "Hide to tray" off, minimising never hides: the program minimises.
    const struct { const char *name; bool tray, hideToTray; } cases[] = {
        {"no tray", false, true},
        {"hide to tray off", true, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        window.showNormal();
        TPaaIkkuna::AssumeTrayAvailable(c.tray);
        window.Settings().FHideToTray = c.hideToTray;
        QDialog other(&window);
        other.show();
        EXPECT_TRUE(window.HandleSysCommand(&other, SC_MINIMIZE));
        EXPECT_FALSE(window.HiddenToTray());
        EXPECT_TRUE(window.isVisible());
        EXPECT_TRUE(window.isMinimized());
    }
    EXPECT_FALSE(window.HandleSysCommand(&window, 0xF030)) << "SC_MAXIMIZE: the caller's own handling";
    TPaaIkkuna::AssumeTrayAvailable(false);
    TPaaIkkuna::RegisterTool(TToolKind::Undo, {});
}

TEST(MainWindow, BrowserFoldersAndTrayOptionWrite)
{
    TPrefixBuilder prefix;
    prefix.AddFolder("C:\\Cook");
    prefix.AddString(THive::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", "Cookies",
                     "C:\\Cook\\");
    prefix.AddString(THive::User, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders",
                     "Cookies", "C:\\Cook");
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna window(dir.path());
    EXPECT_EQ(window.FCookieFolders, QStringList({"C:\\Cook\\"})) << "given twice, once without the backslash";
    EXPECT_TRUE(window.Button("btnCookies")->isEnabled());
    EXPECT_TRUE(window.FCacheFolders.isEmpty());
    EXPECT_FALSE(window.Button("btnCache")->isEnabled());

    QAction *hide = window.TrayPopup()->findChild<QAction *>("Hidetothetrayonclose1");
    ASSERT_NE(hide, nullptr);
    hide->trigger();
    EXPECT_TRUE(window.Settings().FHideToTray);
    QFile ini(dir.filePath("Options.ini"));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_TRUE(ini.readAll().contains("Hide to tray=1"));
}

TEST(MainWindow, PaintsTheBackgroundStyles)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    QImage tile(10, 10, QImage::Format_RGB32);
    tile.fill(Qt::red);
    tile.setPixelColor(0, 0, Qt::blue);
    ASSERT_TRUE(tile.save(dir.filePath("tile.png")));
    TPaaIkkuna window(dir.path());
    window.Settings().FNoBackground = false;
    window.Settings().FBackgroundIndex = 1;
    window.Settings().FBackgroundFile = dir.filePath("tile.png");
    window.ApplyBackground();
    QWidget form;
    form.resize(35, 25);
    const struct { const char *name; int style; QPoint bluePixel; QColor at00; } cases[] = {
        {"tile", 0, QPoint(30, 20), Qt::blue},
        {"centre", 1, QPoint(13, 8), Qt::white},
        {"stretch", 2, QPoint(1, 1), Qt::blue},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        window.Settings().FBackgroundStyle = c.style;
        QImage canvas(35, 25, QImage::Format_RGB32);
        canvas.fill(Qt::white);
        QPainter painter(&canvas);
        window.PaintBackground(&form, painter);
        painter.end();
        EXPECT_EQ(canvas.pixelColor(c.bluePixel), QColor(Qt::blue));
        EXPECT_EQ(canvas.pixelColor(0, 0), c.at00);
    }
    // Backgrounds off: nothing drawn, except the built-in picture asked for by the small windows.
    window.Settings().FNoBackground = true;
    QImage canvas(35, 25, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    window.PaintBackground(&form, painter);
    EXPECT_EQ(canvas.pixelColor(5, 5), QColor(Qt::white));
    window.PaintBackground(&form, painter, true);
    painter.end();
    EXPECT_NE(canvas.pixelColor(5, 5), QColor(Qt::white));
}

TEST(MainWindow, ABackgroundPictureTooLargeToShowIsRefusedAndSaid)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    const QString huge = QStringLiteral(VASKIMO_FIXTURES "/../fuzz/corpus/jpeg/header-claims-16384-by-16384.jpg");
    ASSERT_TRUE(QFile::exists(huge));
    TBoxes boxes;
    TPaaIkkuna window(dir.path());
    window.Settings().FNoBackground = false;
    window.Settings().FBackgroundIndex = 1;
    window.Settings().FBackgroundFile = huge;
    boxes.Shown.clear();
    window.ApplyBackground();
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_EQ(boxes.Shown.at(0), "The picture \"" + huge + "\" is not shown: it is 16384 x 16384 pixels; a picture may "
                                 "have at most 32 million pixels. The built-in picture is shown instead.");
}

TEST(MainWindow, OptionsExchange)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna::SetProgramFile("/opt/vaskimo/vaskimo");
    bool accept = false;
    TPaaIkkuna::RegisterTool(TToolKind::Options, [&](QWidget *parent) {
        auto *dialog = new QDialog(parent);
        auto *hide = new QCheckBox(dialog);
        hide->setObjectName("HideTray");
        auto *start = new QCheckBox(dialog);
        start->setObjectName("Start");
        auto *user = new QLineEdit(dialog);
        user->setObjectName("ProxyUsername");
        auto *password = new QLineEdit(dialog);
        password->setObjectName("ProxyPassword");
        QTimer::singleShot(20, dialog, [=, &accept] {
            hide->setChecked(true);
            start->setChecked(true);
            user->setText("proxy user");
            password->setText(QString::fromUtf8("p\u03a9ss"));  // no byte for it in the prefix's code page 1252
            accept ? dialog->accept() : dialog->reject();
        });
        return dialog;
    });
    TPaaIkkuna window(dir.path());
    const QString ini = dir.filePath("Options.ini");
    QAction *hideItem = window.TrayPopup()->findChild<QAction *>("Hidetothetrayonclose1");

    window.btnOptionsClick();  // cancelled: nothing written, the Run key untouched
    EXPECT_FALSE(QFile::exists(ini));
    EXPECT_FALSE(window.Settings().FHideToTray);
    EXPECT_FALSE(window.ReadRunAtStartup());

    accept = true;
    TBoxes boxes;
    window.btnOptionsClick();
    EXPECT_TRUE(window.Settings().FHideToTray);
    EXPECT_TRUE(hideItem->isChecked());
    EXPECT_TRUE(window.FRunAtStartup);
    EXPECT_TRUE(window.ReadRunAtStartup());
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_TRUE(text.contains("Hide to tray=1"));
    // The one field the code page cannot hold keeps its stored value (none) and is named; the rest is saved.
    EXPECT_TRUE(text.contains("\r\nProxy username=proxy user\r\n")) << text.toStdString();
    EXPECT_FALSE(text.contains("Proxy password=")) << text.toStdString();
    ASSERT_EQ(boxes.Shown.size(), 1);
    EXPECT_TRUE(boxes.Shown[0].contains("cannot store, and keep their saved values: \"Proxy password\".")) << boxes.Shown[0].toStdString();
    EXPECT_TRUE(window.Settings().FProxyPassword.isEmpty()) << "the session goes on with the stored value";
    EXPECT_EQ(window.Settings().FProxyUsername, QStringLiteral("proxy user"));
    window.SetRunAtStartup(false, nullptr);
    TPaaIkkuna::RegisterTool(TToolKind::Options, {});
    TPaaIkkuna::SetProgramFile({});
}

TEST(MainWindow, KeptToolsGoBeforeTheMainWindow)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    bool sawMainWindow = false;
    TPaaIkkuna::RegisterTool(TToolKind::Startup, [&](QWidget *parent) {
        auto *tool = new QDialog(parent);
        QObject::connect(tool, &QObject::destroyed, [&] { sawMainWindow = PaaIkkuna != nullptr; });
        QTimer::singleShot(0, tool, &QDialog::accept);
        return tool;
    });
    {
        TPaaIkkuna window(dir.path());
        window.OpenTool(TToolKind::Startup);
        EXPECT_TRUE(window.FStartupOpen);
        QTimer::singleShot(0, &window, [&] {
            EXPECT_EQ(QApplication::activeModalWidget(), window.findChild<QDialog *>()) << "kept: the same window again";
            if (auto *tool = qobject_cast<QDialog *>(QApplication::activeModalWidget())) tool->accept();
        });
        window.OpenTool(TToolKind::Startup);
        EXPECT_EQ(window.findChildren<QDialog *>().size(), 1);
    }
    EXPECT_TRUE(sawMainWindow);
    TPaaIkkuna::RegisterTool(TToolKind::Startup, {});
}

TEST(MainWindow, RealOptionsWindow)
{
    TPrefixBuilder prefix;
    prefix.MakeCurrent();
    QTemporaryDir dir;
    TPaaIkkuna::RegisterTool(TToolKind::Options, [](QWidget *parent) { return new TOptionsIkkuna(parent, true); });
    TPaaIkkuna window(dir.path());
    TBoxes boxes;
    QTimer::singleShot(30, &window, [] {
        auto *options = qobject_cast<TOptionsIkkuna *>(QApplication::activeModalWidget());
        ASSERT_NE(options, nullptr);
        auto *hide = options->Control<QAbstractButton>("HideTray");
        // The box says what the tray menu's item says, and what it does.
        EXPECT_EQ(hide->text().remove(u'&'), "Hide to the tray on minimize");
        hide->click();
        options->Ok->click();
    });
    window.btnOptionsClick();
    EXPECT_TRUE(window.Settings().FHideToTray);
    QAction *item = window.TrayPopup()->findChild<QAction *>("Hidetothetrayonclose1");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->text().remove(u'&'), "Hide to the tray on minimize");
    EXPECT_TRUE(item->isChecked());
    TPaaIkkuna::AssumeTrayAvailable(true);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.HiddenToTray() && !window.isVisible(); }, 10000));
    TPaaIkkuna::AssumeTrayAvailable(false);
    QFile file(dir.filePath("Options.ini"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray ini = file.readAll();
    EXPECT_TRUE(ini.contains("Hide to tray=1"));
    EXPECT_TRUE(ini.contains("[Startup]")) << "the whole set is written";
    TPaaIkkuna::RegisterTool(TToolKind::Options, {});
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

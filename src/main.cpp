// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: program entry: the one-instance rule, the platform choice for unattended runs, the main window and its tools.
#include "files/Charts.h"
#include "files/Duplicate.h"
#include "files/Start.h"
#include "files/Unnecessary.h"
#include "help/HelpViewer.h"
#include "net/HttpProt.h"
#include "net/Update.h"
#include "platform/LocalSocket.h"
#include "platform/ProgramInfo.h"
#include "platform/WinePrefix.h"
#include "registry/LisaaPoista.h"
#include "registry/Rekisteri.h"
#include "registry/Startup.h"
#include "registry/Undo.h"
#include "shell/About.h"
#include "net/AutoUpdate.h"
#include "shell/Batch.h"
#include "shell/BrowserClear.h"
#include "shell/LanguageChooser.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/MessageBoxes.h"
#include "shell/Options.h"
#include "shell/SingleInstance.h"
#include "shell/Splash.h"
#include "shell/StopSignals.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace {

void Complain(const QString &text) { std::fprintf(stderr, "Vaskimo: %s\n", qPrintable(text)); }

// A run from cron mails whatever reaches standard error to the user every night: Qt's notes about
// the offscreen platform or a missing runtime folder are nothing to act on. Its critical
// messages and our own errors still go through.
void QuietQtMessages()
{
    static const QtMessageHandler qtHandler = qInstallMessageHandler(nullptr);
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
        if ((type == QtCriticalMsg || type == QtFatalMsg) && qtHandler)
            qtHandler(type, context, text);
    });
}

// Reported, not refused: the batch log's start block still counts them, as it always has.
void ReportUnknownSwitches(const QStringList &parameters)
{
    for (const QString &item : Batch::UnknownSwitches(parameters))
        Complain(QStringLiteral("unknown switch \"%1\" (see vaskimo --help)").arg(item));
}

// A compositor that is gone would still be tried, and Qt's Wayland plugin says so on standard
// error: the socket is asked first ($XDG_RUNTIME_DIR/$WAYLAND_DISPLAY, or the path it names).
bool WaylandReachable()
{
    const QString display = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (display.isEmpty())
        return false;
    const QString socket = display.startsWith(u'/') ? display : qEnvironmentVariable("XDG_RUNTIME_DIR") + u'/' + display;
    return LocalSocket::Connect(socket) == LocalSocket::TAnswer::Accepted;
}

// The platforms of the displays that can be reached, in the order Qt itself would try them, each
// ended by ";".
QByteArray DisplayPlatforms()
{
    const QByteArray wayland = WaylandReachable() ? "wayland;" : QByteArray();
    const QByteArray x = qEnvironmentVariableIsEmpty("DISPLAY") ? QByteArray() : "xcb;";
    return qgetenv("XDG_SESSION_TYPE") == "wayland" ? wayland + x : x + wayland;
}

// Before QApplication exists: the kernel's own link to the running program, as Qt reads it later.
QString ExecutablePath() { return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath(); }

void RegisterTools(const QString &programFolder, bool unattended, THelpSession *help)
{
    TStartHooks hooks;
    if (!unattended) {
        hooks.ShowSplash = [] { return TOdota::ShowSplash(); };
        hooks.ChooseLanguage = [programFolder](QWidget *parent, int *index, QString *language) {
            return TKieliIkkuna::ChooseLanguage(parent, programFolder, index, language);
        };
    }
    hooks.ClearBrowserData = [](const QString &folders, int kind) { BrowserClear::ClearBrowserFolders(folders, kind); };
    hooks.ClearRecentDocuments = [] { BrowserClear::ClearRecentDocumentsClick(); };
    hooks.ShowHelp = [help](const QString &helpFile) { help->ShowHelp(helpFile); };
    hooks.AutoUpdateCheck = [] { TAutoUpdate::CheckFromMainWindow(); };
    hooks.OptionsApplied = [] { TAutoUpdate::ArmFromMainWindow(); };
    hooks.PrefixAbsence = [] { return TWinePrefix::Current()->Absence(); };
    hooks.Quitting = [] {
        TAutoUpdate::QuitFromMainWindow();
        THttpCli::AbortAll();
    };
    TPaaIkkuna::SetStartHooks(hooks);
    TPaaIkkuna::RegisterTool(TToolKind::About, [programFolder](QWidget *parent) {
        return new TAboutBox(parent, PaaIkkuna->Settings(), programFolder, PaaIkkuna->ProgramVersion());
    });
    TPaaIkkuna::RegisterTool(TToolKind::Options,
                             [](QWidget *parent) { return new TOptionsIkkuna(parent, PaaIkkuna ? PaaIkkuna->FWinNT : true); });
    TPaaIkkuna::RegisterTool(TToolKind::Registry, [](QWidget *parent) { return new TRegistryIkkuna(parent); });
    TPaaIkkuna::RegisterTool(TToolKind::Duplicates,
                             [programFolder](QWidget *parent) { return new TKaksoisIkkuna(parent, programFolder); });
    TPaaIkkuna::RegisterTool(TToolKind::Unnecessary,
                             [programFolder](QWidget *parent) { return new TTurhaIkkuna(parent, programFolder); });
    TPaaIkkuna::RegisterTool(TToolKind::Startup, [](QWidget *parent) { return new TStartupIkkuna(parent); });
    TPaaIkkuna::RegisterTool(TToolKind::AddRemove, [](QWidget *parent) { return new TLisaaPoistaIkkuna(parent); });
    TPaaIkkuna::RegisterTool(TToolKind::Undo, [](QWidget *parent) { return new TUndoIkkuna(parent); });
    TPaaIkkuna::RegisterTool(TToolKind::Shortcuts, [](QWidget *parent) { return new TStartIkkuna(parent); });
    TPaaIkkuna::RegisterTool(TToolKind::SpaceUsage, [](QWidget *parent) { return new TKaavioIkkuna(parent); });
    TPaaIkkuna::RegisterTool(TToolKind::Update, [](QWidget *parent) { return new TUpdateIkkuna(parent); });
}

} // namespace

int main(int argc, char **argv)
{
    // Taken before QApplication removes the options it knows.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QStringList parameters = arguments.mid(1);

    const TProgramFolders folders = ProgramInfo::DecideFolders(
        QFileInfo(ExecutablePath()).absolutePath(),
        qEnvironmentVariable("XDG_CONFIG_HOME"), QDir::homePath());
    // The conventions every command-line user tries first; neither needs a display or the lock.
    if (parameters.contains(u"--help")) {
        std::fputs(qPrintable(Batch::Usage(folders.Own)), stdout);
        return ExitCode::Done;
    }
    if (parameters.contains(u"--version")) {
        std::printf("%s %s\n", qPrintable(ProgramInfo::Name()), qPrintable(ProgramInfo::Version()));
        return ExitCode::Done;
    }

    // Tool and browser switches need nobody at the screen; everything else needs a display.
    const bool batchWork = Batch::HasBatchWork(parameters);
    const bool headless = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool platformNamed = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || parameters.contains(u"-platform");
    if (headless && !platformNamed && !batchWork) {
        ReportUnknownSwitches(parameters);
        Complain(QStringLiteral("there is no display (neither DISPLAY nor WAYLAND_DISPLAY is set). Without one "
                                "Vaskimo runs only unattended, with a tool or browser switch such as -reg "
                                "(see vaskimo --help)."));
        return ExitCode::NeedsDisplay;
    }

    TSingleInstance instance(ProgramInfo::Name());
    // Two instances would share the settings, the log and the undo files.
    if (!instance.Error().isEmpty()) {
        Complain(QStringLiteral("cannot take the one-instance lock: %1. Nothing ran.").arg(instance.Error()));
        return ExitCode::NotRun;
    }
    if (instance.AlreadyRunning()) {
        // Cron and scripts must see that their work was not done.
        if (batchWork) {
            Complain(QStringLiteral("another Vaskimo is running (it holds %1); this run did nothing.")
                         .arg(instance.LockPath()));
            return ExitCode::AlreadyRunning;
        }
        return ExitCode::Done;
    }

    QString folderError;
    if (!ProgramInfo::MakeOwnFolder(folders, &folderError)) {
        Complain(folderError);
        // Nothing an unattended run does could be recorded; a user at the window still gets one.
        if (batchWork)
            return ExitCode::LogNotWritten;
    }
    ProgramInfo::SetFolders(folders);

    TStopSignals::Install();
    if (batchWork)
        QuietQtMessages();
    if (headless && !platformNamed)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A DISPLAY or WAYLAND_DISPLAY that cannot be reached (left over in an ssh or screen session)
    // would make Qt abort an unattended run; with a list Qt goes on to the next platform instead.
    if (batchWork && !platformNamed && !headless)
        qputenv("QT_QPA_PLATFORM", DisplayPlatforms() + "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(ProgramInfo::Name());
    // Qt has taken its own options (-platform, -style...) out by now.
    ReportUnknownSwitches(QCoreApplication::arguments().mid(1));
    const bool offscreen = QGuiApplication::platformName() == u"offscreen";
    if (offscreen) {
        // Nobody can answer a box here: questions answer Yes, the rest goes to standard error.
        MessageBoxes::SetHandler([](QWidget *, TMessageKind kind, const QString &text) {
            if (kind != TMessageKind::Confirmation)
                Complain(text);
            return true;
        });
    }
    const QString programFolder = folders.Own;
    // Declared before the window, so the window goes first and the hook then closes the viewer.
    THelpSession help(QCoreApplication::applicationFilePath(), arguments, programFolder);
    // A batch run leaves the first run's language choice, and the splash, to the next start.
    RegisterTools(programFolder, batchWork || offscreen, &help);
    // The window asks the first run's language while it is being made: a stop then closes the
    // question, and the program ends once the window is made.
    TPaaIkkuna *made = nullptr;
    int stoppedEarly = 0;
    TStopSignals stopSignals([&made, &stoppedEarly](int signal) {
        if (made) {
            made->StopForSignal(signal);
            return;
        }
        stoppedEarly = signal;
        if (auto *question = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            question->reject();
    });
    TPaaIkkuna window(programFolder);
    if (stoppedEarly != 0)
        return ExitCode::Signal(stoppedEarly);
    made = &window;
    window.SetEndAfterBatch(offscreen);
    help.InstallHook(window.FHelpFile);
    new TAutoUpdate(TAutoUpdateHost::FromMainWindow(), &window);  // a child of the window, deleted with it
    window.SetCommandLine(arguments);
    window.show();
    // A batch run says it in its own way, before any switch runs.
    if (!batchWork)
        if (const QString absence = TWinePrefix::Current()->Absence(); !absence.isEmpty())
            QTimer::singleShot(0, &window, [&window, absence] { MessageBoxes::Error(&window, absence); });
    return app.exec();
}

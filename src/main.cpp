// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: program entry: the one-instance rule, the platform choice for unattended runs, the main window and its tools.
#include "files/Charts.h"
#include "files/Duplicate.h"
#include "files/Start.h"
#include "files/Unnecessary.h"
#include "help/HelpViewer.h"
#include "net/Update.h"
#include "platform/ProgramInfo.h"
#include "registry/LisaaPoista.h"
#include "registry/Rekisteri.h"
#include "registry/Startup.h"
#include "registry/Undo.h"
#include "shell/About.h"
#include "shell/AutoUpdate.h"
#include "shell/Batch.h"
#include "shell/BrowserClear.h"
#include "shell/LanguageChooser.h"
#include "shell/Main.h"
#include "shell/Settings.h"
#include "shell/MessageBoxes.h"
#include "shell/Options.h"
#include "shell/SingleInstance.h"
#include "shell/Splash.h"

#include <QApplication>

#include <cstdio>

namespace {

bool HasBatchSwitch(const QStringList &arguments)
{
    for (const QString &a : arguments.mid(1)) {
        const QString s = a.toLower();
        if (Batch::IsToolSwitch(s) || Batch::IsBrowserSwitch(s))
            return true;
    }
    return false;
}

void RegisterTools(const QString &programFolder, bool unattended, THelpSession *help)
{
    // Nobody can answer the first run's language chooser on the offscreen platform: an unattended
    // run leaves the first run to the next start with a display.
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

    TSingleInstance instance(ProgramInfo::Name());
    if (instance.AlreadyRunning())
        return 0;

    // From cron or ssh there is no display; a batch run needs none.
    const bool headless = qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    const bool offscreen = headless && HasBatchSwitch(arguments) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (offscreen)
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(ProgramInfo::Name());
    if (offscreen) {
        // Nobody can answer a box here: questions answer Yes, the rest goes to standard error.
        MessageBoxes::SetHandler([](QWidget *, TMessageKind kind, const QString &text) {
            if (kind != TMessageKind::Confirmation)
                std::fprintf(stderr, "Vaskimo: %s\n", qPrintable(text));
            return true;
        });
    }
    const QString programFolder = QCoreApplication::applicationDirPath() + u'/';
    // Declared before the window, so the window goes first and the hook then closes the viewer.
    THelpSession help(QCoreApplication::applicationFilePath(), arguments);
    RegisterTools(programFolder, QGuiApplication::platformName() == u"offscreen", &help);
    TPaaIkkuna window(programFolder);
    help.InstallHook(window.FHelpFile);
    new TAutoUpdate(TAutoUpdateHost::FromMainWindow(), &window);  // a child of the window, deleted with it
    window.SetCommandLine(arguments);
    window.show();
    return app.exec();
}

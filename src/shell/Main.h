// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window TPaaIkkuna: settings holder, tool launcher, batch runner and the services every tool window calls.
//
// There is one instance, PaaIkkuna, set by the constructor and cleared by the destructor. Tool
// windows read the settings and the batch fields from it and call its services.
#pragma once

#include "platform/LnkReader.h"
#include "platform/Registry.h"
#include "shell/Batch.h"

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QDialog;
class QLabel;
class QMenu;
class QAction;
class QPainter;
class QSystemTrayIcon;
class QTimer;
class QImage;
class TOVBitBtn;
struct TSettings;

// The windows the main window opens. Kept tools are created on first use and reused; Update,
// Options and About are created for one use and released.
enum class TToolKind { Registry, Duplicates, Unnecessary, Shortcuts, SpaceUsage, AddRemove, Undo, Startup,
                       Update, Options, About };

// Window commands as HandleSysCommand takes them.
constexpr quint32 SC_MINIMIZE = 0xF020;
constexpr quint32 SC_CLOSE = 0xF060;

// A tool window that can run a batch switch. The batch routine creates the window (through its
// factory), sets FBatchSwitch, shows it modally and calls StartBatch once it is shown. The window
// then works without questions (MessageBoxes are silent in batch mode), appends its log blocks to
// PaaIkkuna->FLog with AddLogLine/AddLogBlock, and closes itself (done/accept/reject) only after
// its work, deletion included, has ended; with FAutoClose it closes at once after that. When the
// user stops the work it sets FBatchAborted, clears FBatchMode and logs "Aborted by user!".
// A tool window that is not a TBatchTool may instead start its work from its showEvent when it
// sees FBatchMode (it must not do both).
class TBatchTool
{
public:
    virtual ~TBatchTool() = default;
    virtual void StartBatch(const QString &batchSwitch) = 0;
};

using TToolFactory = std::function<QDialog *(QWidget *parent)>;

// Startup hooks that main.cpp registers; tests usually register none, so a main window built in a
// test shows no splash and no language chooser and needs no real first run.
struct TStartHooks {
    // Shows the language chooser modally; fills index and language, false when nothing was chosen.
    std::function<bool(QWidget *parent, int *index, QString *language)> ChooseLanguage;
    // Creates and shows the splash window (modeless); the main window deletes it.
    std::function<QWidget *()> ShowSplash;
    // Browser-data clearing (kind 0 cache, 1 history, 2 cookies) and the recent-documents list.
    std::function<void(const QString &folders, int kind)> ClearBrowserData;
    std::function<void()> ClearRecentDocuments;
    // The automatic update check (the update timer's tick) and the help of a help file (context 0).
    std::function<void()> AutoUpdateCheck;
    // The options were confirmed with OK: the update schedule may have changed.
    std::function<void()> OptionsApplied;
    // The main window has closed: the program ends now.
    std::function<void()> Quitting;
    std::function<void(const QString &helpFile)> ShowHelp;
    // Why there is nothing to work on (the folder is no Wine prefix), empty when there is: a batch
    // run then runs no switch.
    std::function<QString()> PrefixAbsence;
};

class TPaaIkkuna : public QMainWindow, public TBatchState
{
    Q_OBJECT
public:
    // programFolder: the folder "beside the program" (Options.ini, Vaskimo.log, Languages/, Helps/),
    // a host path; a trailing "/" is added when missing.
    explicit TPaaIkkuna(const QString &programFolder, QWidget *parent = nullptr);
    ~TPaaIkkuna() override;

    static void RegisterTool(TToolKind kind, TToolFactory factory);
    static void SetStartHooks(TStartHooks hooks);
    // The program file the auto-start value names (default: this executable), as a host path.
    static void SetProgramFile(const QString &hostPath);
    // Tests on the offscreen platform, which has no notification area, pretend to have one.
    static void AssumeTrayAvailable(bool available);

    QString ProgramFolder() const;  // ends in "/"
    TSettings &Settings();
    const TSettings &Settings() const;

    // Fields that tool windows read or write (names as the program has always used).
    bool FWinNT = true;
    bool FRunAtStartup = false;
    bool FRegistryOpen = false, FDuplicatesOpen = false, FUnnecessaryOpen = false, FShortcutsOpen = false,
         FSpaceUsageOpen = false, FAddRemoveOpen = false, FUndoOpen = false, FStartupOpen = false;
    QString FUndoHeader;  // template with two "%s": date, time
    QStringList FCacheFolders, FCookieFolders, FHistoryFolders;  // Windows folders ending in "\"
    QString FHelpFile;  // host path of the help file chosen at start

    // Writes or deletes the auto-start value in HKLM\...\Run. FRunAtStartup then follows what the
    // registry really holds; false with *error when the change did not happen.
    bool SetRunAtStartup(bool on, QString *error);
    bool ReadRunAtStartup() const;
    // Loads the background picture and colour the settings name (after the options changed them).
    void ApplyBackground();

    // The REGEDIT4 header of a new undo file, generated now (user's short date and long time).
    QString UndoHeader() const;
    // "date, time" in the user's short date and long time formats.
    QString TimeStamp() const;
    // Appends "stamp" then each line to FLog (the tools' start and end blocks).
    void AddLogLine(const QString &line);
    void AddLogBlock(const QStringList &lines, bool leadingEmptyLine = true);

    // ---- services
    TRootKey RootKeyFromName(const QString &rootName) const;
    // Empties a list of owned records, last to first, between the view's reset calls.
    template <class T>
    static void FreeRecordList(QList<T *> *records, const std::function<void()> &beginReset = {},
                               const std::function<void()> &endReset = {})
    {
        if (beginReset) beginReset();
        if (records) {
            for (qsizetype i = records->size() - 1; i >= 0; --i)
                delete records->at(i);
            records->clear();
        }
        if (endReset) endReset();
    }
    // SC_CLOSE closes form, SC_MINIMIZE hides to the tray (when "Hide to tray" is set and a tray
    // exists) or minimises the application. Returns false for other commands (the caller's
    // default handling applies). A tool window calls it from its changeEvent when it is minimised.
    // Hiding a tool window that OpenTool runs does not end its modal run: it goes on when the
    // window is restored (a tool that finishes while hidden ends normally).
    bool HandleSysCommand(QWidget *form, quint32 command);
    void PaintBackground(QWidget *form, QPainter &painter, bool useBuiltIn = false);
    QString LongPathName(const QString &path) const;
    QString UniqueFileName(const QString &folder, const QString &fileName) const;
    QString VersionInfoString(const QString &fileName, const QString &name) const;
    QString ProgramVersion() const;
    bool ReadShellLink(const QString &linkFile, TShellLinkInfo &info) const;
    bool IsFolderEmpty(const QString &folder) const;
    QString ListFiles(const QString &folder, const QString &mask, bool bareNames, bool skipDesktopIni) const;
    QString ListFolderTree(const QString &folder, bool skipDesktopIniFolders) const;
    // Deletes files on the deletion thread with its progress window; onDone runs on the GUI thread.
    void DeleteFilesThreaded(const QStringList &files, bool permanent, std::function<void(bool aborted)> onDone);

    // Opens a tool window (modal); kept tools are created once.
    int OpenTool(TToolKind kind);
    bool HasTool(TToolKind kind) const;

    // The batch routine; switches as ParamiTimer joins them ("-reg, -unn").
    void TsiikaaParamssit(const QString &switches);
    // Nobody can see or close this window (no display): the program ends after its batch run
    // whatever the switches, with the run's exit code.
    void SetEndAfterBatch(bool always);
    bool BatchRunning() const;  // TsiikaaParamssit runs
    // SIGTERM or SIGINT: stops the work as Stop does (tool windows stop their searches, temporaries
    // go, the log is saved), then ends the program with 128 + signal.
    void StopForSignal(int signal);
    // The command line of the process as the log's start block gives it (set by main).
    void SetCommandLine(const QStringList &arguments);

    // Test access.
    QSystemTrayIcon *TrayIcon() const;
    QMenu *TrayPopup() const;
    QLabel *HintTitle() const;  // Label3
    QLabel *HintBody() const;   // Label4
    TOVBitBtn *Button(const QString &objectName) const;
    bool HiddenToTray() const;

public slots:
    void btnRegistryClick();
    void btnAddRemoveClick();
    void btnDuplicatesClick();
    void btnUnnecessaryClick();
    void btnStartClick();
    void btnSpaceUsageClick();
    void btnUndoClick();
    void btnUpdateClick();
    void btnOptionsClick();
    void btnAboutClick();
    void btnHelpClick();
    void btnCloseClick();
    void btnStartupClick();
    void btnCacheClick();
    void btnHistoryClick();
    void btnMRUClick();
    void btnCookiesClick();
    void btnRegistryMouseExit();
    void Label5Click();
    void ParamiTimer();
    void PaivitysTimer();
    void TrayIconDblClick();
    void StartVaskimoonstartup1Click();
    void Hidetothetrayonclose1Click();
    void Close1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void CreateTray();
    bool TrayAvailable() const;
    void HideToTray(QWidget *form);
    QString WindowsProgramFolder() const;
    QString HelpsFolder() const;  // "Helps/" beside the program, else the shipped one; ends in "/"
    void CollectBrowserFolders();
    void ApplyFont();
    void ApplyTimers();
    int OpenToolFor(TToolKind kind, const QString &batchSwitch);
    int RunModal(QDialog *dialog, const QString &batchSwitch);
    void ClearBrowser(const QString &folders, int kind);
    void FinishBatch(const TBatchOutcome &outcome);
    void StopNextWindow();
    static QString ListToCommaTextQuoted(const QStringList &folders);

    struct TImpl;
    std::unique_ptr<TImpl> d;
};

extern TPaaIkkuna *PaaIkkuna;

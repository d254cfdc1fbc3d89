// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TUpdateIkkuna, the update window: asks the server for newer versions, downloads the program update and installs the blacklist.
#pragma once

#include "net/UpdateInfo.h"
#include "shell/ToolWindow.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;
class QFrame;
class TOVBitBtn;
struct TSettings;
namespace Ui {
class TUpdateIkkuna;
}

// What the window needs of the program around it. FromMainWindow() takes it from PaaIkkuna; tests
// give their own.
struct TUpdateHost {
    QString ProgramFolder;           // host folder ending in "/": "BlackLst.vkb", "Languages/"
    TSettings *Settings = nullptr;   // proxy, update address and folder, language, font, colour
    QString ProgramVersion;          // four numbers, "1.0.0.0"
    // The host folder of the update folder (FUpdateDir: a Windows folder, or a host one as the
    // options allow), ending in "/"; empty when it has none.
    std::function<QString(const QString &windowsFolder)> HostFolder;
    std::function<std::unique_ptr<UpdateInfo::TUpdateHttp>()> CreateHttp;
    // The shell's "open" of an address or a downloaded file (a Windows program runs through Wine in
    // the prefix); false when nothing could be started.
    std::function<bool(const QString &target)> Open;
    // Asks the application to end (after Yes to running the update or restarting).
    std::function<void()> Terminate;
    UpdateInfo::TUpdateLimits Limits;

    static TUpdateHost FromMainWindow();
};

class TUpdateIkkuna final : public TToolWindow
{
    Q_OBJECT
public:
    explicit TUpdateIkkuna(QWidget *parent = nullptr, TUpdateHost host = TUpdateHost::FromMainWindow());
    ~TUpdateIkkuna() override;

    // 0 before anything ran; 1 a download failed; 2 nothing newer; 3 program; 4 blacklist; 5 both.
    int FUpdateResult = 0;
    bool FNewBlacklist = false;
    bool FNewProgram = false;

    // Test access.
    TOVBitBtn *Button(const QString &objectName) const;
    QLabel *ValueLabel(const QString &objectName) const;
    QProgressBar *Edistys() const;
    QString StatusText() const;
    // The status shows its whole text within its place (else it is in the status's tooltip).
    bool StatusFits() const;
    bool Busy() const { return FBusy; }

public slots:
    void btnCheckClick();
    void btnDownloadClick();
    void btnDownloadBlacklistClick();
    void btnAbortClick();
    void MoreInfoClick();
    void DownloadURLClick();
    void BlacklistDownloadURLClick();
    void HttpDocData();
    // Escape, Close and the window's own close end a running check first; during a download, whose
    // Close button is disabled, only Abort ends it.
    void reject() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;  // FormShow
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void CompareVersions(const QString &current, const QString &available, const QString &currentBlacklist,
                         const QString &availableBlacklist);
    void ApplyProxy();
    UpdateInfo::TFetch Fetch(const QString &url, const UpdateInfo::TGetLimits &limits);
    UpdateInfo::TFacts Facts() const;
    void ShowFailure(const QString &reason);
    // A download that failed leaves no bar that reads as done.
    void ShowDownloadFailure(const QString &reason);
    void SetDownloadButtons(bool running);
    // The details of the offered version, cut with "…" to the label's width and whole in its tooltip.
    void ShowDetails(const QString &details);
    void FitDetails();
    void ShowBlacklistVersion();
    void OpenLink(QLabel *link);
    QString UpdateFolder() const;
    // Why downloads cannot go to folder (made when missing); empty when they can.
    QString UpdateFolderProblem(const QString &folder) const;
    QList<QLabel *> ValueLabels() const;

    std::unique_ptr<Ui::TUpdateIkkuna> ui;
    TUpdateHost FHost;
    std::unique_ptr<UpdateInfo::TUpdateHttp> Http;
    bool FBusy = false;         // a request runs: the window starts no other one
    QString FDetails;
    bool FDownloading = false;  // the request is a download, whose progress the window shows
    std::optional<int> FPendingDone;  // closed during a check: ends once the check is over
};

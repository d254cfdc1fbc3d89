// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the update window: the check of "Vaskimo.upd", the program download and the blacklist install.
#include "net/Update.h"

#include "net/UpdateHttp.h"
#include "platform/ProgramInfo.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"
#include "shell/ToolWindow.h"

#include "ui_Update.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QProcessEnvironment>
#include <QProgressBar>
#include <QStandardPaths>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <limits>

using namespace UpdateInfo;

namespace {

QString Msg(const char *id, const char *english) { return LangMessage(QLatin1String(id), QString::fromUtf8(english)); }

QString WithSlash(const QString &folder)
{
    if (folder.isEmpty() || folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

// Only web addresses leave the program through a link label; the server writes their texts.
bool IsWebAddress(const QString &text)
{
    const QUrl url(text.trimmed(), QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == u"http" || scheme == u"https");
}

bool OpenTarget(const QString &target)
{
    if (IsWebAddress(target))
        return QDesktopServices::openUrl(QUrl(target));
    static const QStringList windowsPrograms = {".exe", ".msi", ".com", ".bat"};
    for (const QString &extension : windowsPrograms) {
        if (!target.endsWith(extension, Qt::CaseInsensitive))
            continue;
        const QString wine = QStandardPaths::findExecutable(QStringLiteral("wine"));
        if (wine.isEmpty())
            return false;
        QProcess process;
        process.setProgram(wine);
        process.setArguments({QStringLiteral("start"), QStringLiteral("/unix"), target});
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (const std::shared_ptr<TWinePrefix> prefix = TWinePrefix::Current())
            environment.insert(QStringLiteral("WINEPREFIX"), prefix->Folder());
        process.setProcessEnvironment(environment);
        return process.startDetached();
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(target));
}

// Requests of all update windows: the automatic check's hidden window and the one the user opens
// share the update folder and its "Vaskimo.upd".
int RunningRequests = 0;

} // namespace

TUpdateHost TUpdateHost::FromMainWindow()
{
    TUpdateHost host;
    host.ProgramVersion = ProgramInfo::Version();
    if (TPaaIkkuna *main = PaaIkkuna) {
        host.ProgramFolder = main->ProgramFolder();
        host.Settings = &main->Settings();
    }
    return host;
}

TUpdateIkkuna::TUpdateIkkuna(QWidget *parent, TUpdateHost host)
    : TToolWindow(parent, {.Look = host.Settings, .MinimizesWithMain = true}),
      ui(std::make_unique<Ui::TUpdateIkkuna>()), FHost(std::move(host))
{
    if (!FHost.HostFolder) {
        FHost.HostFolder = [](const QString &windowsFolder) {
            // The options take a host folder too: their picker's choice when no drive reaches it,
            // with the backslash the picker adds to every folder.
            if (windowsFolder.startsWith(u'/')) {
                QString host = windowsFolder;
                while (host.endsWith(u'\\'))
                    host.chop(1);
                return WithSlash(host);
            }
            const TPathMapping m = WinFiles::DrivesOf().ToHost(windowsFolder);
            if (m.State == TPathState::NotLocal || m.HostPath.isEmpty())
                return QString();
            return WithSlash(m.HostPath);
        };
    }
    if (!FHost.CreateHttp)
        FHost.CreateHttp = [] { return UpdateHttp::CreateClient(); };
    if (!FHost.Open)
        FHost.Open = &OpenTarget;
    if (!FHost.Terminate) {
        FHost.Terminate = [] {
            QTimer::singleShot(0, qApp, [] {
                if (PaaIkkuna)
                    PaaIkkuna->close();
                QCoreApplication::quit();
            });
        };
    }
    FormCreate();
}

TUpdateIkkuna::~TUpdateIkkuna()
{
    // The window goes only after its request: done() refuses while one runs.
    if (Http && FBusy)
        Http->Abort();
}

void TUpdateIkkuna::FormCreate()
{
    ui->setupUi(this);
    setObjectName(QStringLiteral("UpdateIkkuna"));
    setProperty("HelpContext", 19);
    setFixedSize(ui->Reunus->size());
    ui->Reunus->setGeometry(rect());
    FNewBlacklist = false;
    FNewProgram = false;
    ui->btnAbort->setEnabled(false);
    ui->btnDownloadBlacklist->setEnabled(false);
    ui->btnDownload->setEnabled(false);
    ui->btnOk->SetCancel(true);

    for (QLabel *value : ValueLabels()) {
        value->setStyleSheet(QStringLiteral("color: blue"));
    }
    for (QLabel *link : {ui->MoreInfo, ui->DownloadURL, ui->BlacklistDownloadURL}) {
        QFont f = link->font();
        f.setUnderline(true);
        link->setFont(f);
        link->setCursor(Qt::PointingHandCursor);
        link->installEventFilter(this);
    }
    // A failure's reason wraps inside the window; what still does not fit is in the tooltip.
    ui->Status->setWordWrap(true);
    ui->Status->installEventFilter(this);

    ui->CurrentVersion->setText(FHost.ProgramVersion);
    ApplyLook();
    if (const TSettings *s = FHost.Settings)
        ui->RemoteAddress->setText(s->FUpdateAddress);
    ShowBlacklistVersion();

    connect(ui->btnCheck, &QPushButton::clicked, this, &TUpdateIkkuna::btnCheckClick);
    connect(ui->btnDownload, &QPushButton::clicked, this, &TUpdateIkkuna::btnDownloadClick);
    connect(ui->btnDownloadBlacklist, &QPushButton::clicked, this, &TUpdateIkkuna::btnDownloadBlacklistClick);
    connect(ui->btnAbort, &QPushButton::clicked, this, &TUpdateIkkuna::btnAbortClick);
    connect(ui->btnOk, &QPushButton::clicked, this, &QDialog::accept);

    Http = FHost.CreateHttp ? FHost.CreateHttp() : nullptr;
    if (Http)
        Http->OnDocData = [this] { HttpDocData(); };
}

QList<QLabel *> TUpdateIkkuna::ValueLabels() const
{
    return {ui->CurrentVersion, ui->CurrentBlacklistVersion, ui->RemoteAddress, ui->VersionAvailable,
            ui->BlacklistVersionAvailable, ui->VersionDetails, ui->MoreInfo, ui->DownloadURL,
            ui->BlacklistDownloadURL, ui->Status};
}

TOVBitBtn *TUpdateIkkuna::Button(const QString &objectName) const { return findChild<TOVBitBtn *>(objectName); }
QLabel *TUpdateIkkuna::ValueLabel(const QString &objectName) const { return findChild<QLabel *>(objectName); }
QProgressBar *TUpdateIkkuna::Edistys() const { return ui->Edistys; }
QString TUpdateIkkuna::StatusText() const { return ui->Status->text(); }

void TUpdateIkkuna::showEvent(QShowEvent *event)
{
    if (const TSettings *s = FHost.Settings) {
        const QFont windowFont = font();
        for (QLabel *value : ValueLabels()) {
            QFont f = value->font();
            f.setFamily(windowFont.family());
            f.setPointSizeF(windowFont.pointSizeF());
            value->setFont(f);
        }
        if (s->FLanguageIndex != 0) {
            // A window shown after a check (the automatic check's Yes) keeps what the check found.
            QList<std::pair<QLabel *, QString>> found;
            for (QLabel *value : ValueLabels())
                if (!value->text().isEmpty() && !(value == ui->Status && value->text() == u"Idle!"))
                    found.append({value, value->text()});
            TranslateWindow(this, s->FLanguageIndex, s->FLanguage, FHost.ProgramFolder);
            for (const auto &[value, text] : found)
                value->setText(text);
        }
    }
    const struct { QLabel *caption, *value; } pairs[] = {
        {ui->Label8, ui->CurrentVersion},        {ui->Label5, ui->RemoteAddress},
        {ui->Label9, ui->VersionAvailable},      {ui->Label10, ui->VersionDetails},
        {ui->Label11, ui->MoreInfo},             {ui->Label12, ui->DownloadURL},
        {ui->Label6, ui->Status},                {ui->Label2, ui->CurrentBlacklistVersion},
        {ui->Label4, ui->BlacklistVersionAvailable}, {ui->Label18, ui->BlacklistDownloadURL},
    };
    for (const auto &p : pairs) {
        p.caption->adjustSize();
        const int left = 2 * p.caption->x() + p.caption->width();
        // The status has room for a failure's reason on its second line.
        const int lines = p.value == ui->Status ? 2 : 1;
        p.value->setGeometry(left, p.caption->y(), std::max(0, width() - left - p.caption->x()),
                             lines * p.caption->height());
    }
    FitDetails();
    TToolWindow::showEvent(event);
}

bool TUpdateIkkuna::StatusFits() const
{
    const QLabel *status = ui->Status;
    const QRect needed = status->fontMetrics().boundingRect(QRect(0, 0, status->width(), 1 << 20),
                                                            int(status->alignment()) | Qt::TextWordWrap, status->text());
    return needed.width() <= status->width() && needed.height() <= status->height();
}

bool TUpdateIkkuna::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->Status && event->type() == QEvent::ToolTip) {
        if (StatusFits())
            QToolTip::hideText();
        else
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), ui->Status->text(), ui->Status);
        return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        if (watched == ui->MoreInfo) {
            MoreInfoClick();
            return true;
        }
        if (watched == ui->DownloadURL) {
            DownloadURLClick();
            return true;
        }
        if (watched == ui->BlacklistDownloadURL) {
            BlacklistDownloadURLClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TUpdateIkkuna::closeEvent(QCloseEvent *event)
{
    if (FBusy) {
        event->ignore();
        reject();
        return;
    }
    TToolWindow::closeEvent(event);
}

void TUpdateIkkuna::reject()
{
    // Escape presses Close, which ends the window with OK.
    if (ui->btnOk->isEnabled())
        accept();
}

void TUpdateIkkuna::done(int result)
{
    if (!FBusy) {
        QDialog::done(result);
        return;
    }
    // Get waits inside a handler of this window: the window goes once that handler is over, and
    // only a check, whose Close stays enabled, is ended for it.
    if (!ui->btnOk->isEnabled())
        return;
    FPendingDone = result;
    if (Http)
        Http->Abort();
}

// The blacklist the cleaners read: a downloaded one in the program's own folder, else the shipped one.
void TUpdateIkkuna::ShowBlacklistVersion()
{
    ui->CurrentBlacklistVersion->setText(BlacklistVersion(ProgramInfo::ShippedFile(FHost.ProgramFolder, BlacklistFileName)));
}

void TUpdateIkkuna::OpenLink(QLabel *link)
{
    const QString address = link->text().trimmed();
    if (IsWebAddress(address) && FHost.Open)
        FHost.Open(address);
}

void TUpdateIkkuna::MoreInfoClick() { OpenLink(ui->MoreInfo); }
void TUpdateIkkuna::DownloadURLClick() { OpenLink(ui->DownloadURL); }
void TUpdateIkkuna::BlacklistDownloadURLClick() { OpenLink(ui->BlacklistDownloadURL); }

QString TUpdateIkkuna::UpdateFolder() const
{
    if (!FHost.Settings || !FHost.HostFolder)
        return QString();
    return WithSlash(FHost.HostFolder(FHost.Settings->FUpdateDir));
}

QString TUpdateIkkuna::UpdateFolderProblem(const QString &folder) const
{
    if (folder.isEmpty())
        return QStringLiteral("The update folder \"%1\" is on no drive of the prefix.")
            .arg(FHost.Settings ? FHost.Settings->FUpdateDir : QString());
    if (!QDir().mkpath(folder))
        return QStringLiteral("The folder \"%1\" cannot be made.").arg(folder);
    return {};
}

void TUpdateIkkuna::ApplyProxy()
{
    if (!Http || !FHost.Settings)
        return;
    const TSettings &s = *FHost.Settings;
    // "0 as default port": the client's default, unless the server text names a port of its own.
    const QString port = s.FProxyPort > 0 ? QString::number(s.FProxyPort) : QStringLiteral("80");
    if (s.FUseProxy)
        Http->SetProxy(s.FProxyServer, port, s.FProxyUsername, s.FProxyPassword);
    else
        Http->SetProxy(QString(), QStringLiteral("80"), QString(), QString());
}

TFetch TUpdateIkkuna::Fetch(const QString &url, const TGetLimits &limits)
{
    return [this, url, limits](QIODevice *stream, QString *error) {
        if (!Http || RunningRequests > 0) {
            if (error)
                *error = Http ? QStringLiteral("Another update window is downloading.") : QStringLiteral("No HTTP client.");
            return false;
        }
        ++RunningRequests;
        const bool ok = Http->Get(url, stream, limits, error);
        --RunningRequests;
        return ok;
    };
}

TFacts TUpdateIkkuna::Facts() const
{
    return [this] { return Http ? Http->Facts() : TReplyFacts(); };
}

void TUpdateIkkuna::ShowFailure(const QString &reason)
{
    // The first line is the one every translation has; the second says what the user can act on.
    QString text = Msg("M124PI", "Error occured!");
    if (!reason.isEmpty())
        text += u'\n' + reason;
    ui->Status->setText(text);
}

void TUpdateIkkuna::ShowDownloadFailure(const QString &reason)
{
    ShowFailure(reason);
    ui->Edistys->setRange(0, 1);
    ui->Edistys->reset();
}

void TUpdateIkkuna::ShowDetails(const QString &details)
{
    FDetails = details;
    FitDetails();
}

void TUpdateIkkuna::FitDetails()
{
    QLabel *label = ui->VersionDetails;
    const QString shown = label->fontMetrics().elidedText(FDetails, Qt::ElideRight, label->width());
    label->setText(shown);
    label->setToolTip(shown == FDetails ? QString() : FDetails);
}

void TUpdateIkkuna::SetDownloadButtons(bool running)
{
    ui->btnAbort->setEnabled(running);
    ui->btnDownloadBlacklist->setEnabled(!running && FNewBlacklist);
    ui->btnDownload->setEnabled(!running && FNewProgram);
    ui->btnCheck->setEnabled(!running);
    ui->btnOk->setEnabled(!running);
}

void TUpdateIkkuna::btnCheckClick()
{
    // A second press while a request runs would delete and recreate the file the first one writes.
    if (FBusy)
        return;
    const QString folder = UpdateFolder();
    const QString infoFile = folder.isEmpty() ? QString() : folder + InfoFileName;
    if (!infoFile.isEmpty())
        QFile::remove(infoFile);
    ApplyProxy();
    ui->Status->setText(Msg("M127PI", "Checking for update!"));
    for (QLabel *l : {ui->VersionAvailable, ui->MoreInfo, ui->DownloadURL, ui->BlacklistVersionAvailable,
                      ui->BlacklistDownloadURL})
        l->clear();
    ShowDetails(QString());

    QString error = UpdateFolderProblem(folder);
    // Abort and Close end a check at any time; the other buttons keep their state.
    ui->btnAbort->setEnabled(true);
    FBusy = true;
    bool ok = error.isEmpty() && DownloadToFile(infoFile, Fetch(FHost.Settings->FUpdateAddress, FHost.Limits.Info), &error);
    FBusy = false;
    // A page in the place of the file (a hotel's sign-in, a proxy's error) is no "nothing newer".
    if (ok)
        error = UpdateInfoProblem(infoFile);
    ok = ok && error.isEmpty();
    ui->btnAbort->setEnabled(false);
    if (!ok) {
        ShowFailure(error);
        if (!infoFile.isEmpty())
            QFile::remove(infoFile);
        FUpdateResult = urError;
        if (FPendingDone)
            QDialog::done(*std::exchange(FPendingDone, std::nullopt));
        return;
    }
    FUpdateResult = urNothingNew;
    const TUpdateInfo info = ReadUpdateInfo(infoFile);
    ui->VersionAvailable->setText(info.Version);
    ui->DownloadURL->setText(info.UpdateURL);
    ui->MoreInfo->setText(info.ReadmeURL);
    ShowDetails(info.Details);
    ui->BlacklistVersionAvailable->setText(info.Blacklist);
    ui->BlacklistDownloadURL->setText(info.BlackDownloadURL);
    CompareVersions(ui->CurrentVersion->text(), ui->VersionAvailable->text(), ui->CurrentBlacklistVersion->text(),
                    ui->BlacklistVersionAvailable->text());
    QFile::remove(infoFile);
    FUpdateResult = ResultFor({FNewProgram, FNewBlacklist});
    if (FPendingDone)  // Close came as the last bytes did
        QDialog::done(*std::exchange(FPendingDone, std::nullopt));
}

void TUpdateIkkuna::CompareVersions(const QString &current, const QString &available, const QString &currentBlacklist,
                                    const QString &availableBlacklist)
{
    const TComparison c = UpdateInfo::CompareVersions(current, available, currentBlacklist, availableBlacklist);
    FNewBlacklist = c.NewBlacklist;
    FNewProgram = c.NewProgram;
    if (FNewBlacklist) {
        ui->btnDownloadBlacklist->setEnabled(true);
        ui->Status->setText(Msg("M118PI", "A newer blacklist is available!"));
    }
    if (FNewProgram) {
        ui->btnDownload->setEnabled(true);
        ui->Status->setText(FNewBlacklist
                                ? Msg("M119PI", "Both, new program version and blacklist version, are available!")
                                : Msg("M120PI", "A newer program version is available!"));
    } else if (!FNewBlacklist) {
        ui->Status->setText(Msg("M121PI", "No updates found!"));
    }
}

void TUpdateIkkuna::btnDownloadClick()
{
    if (FBusy)
        return;
    const QString url = ui->DownloadURL->text();
    const QString folder = UpdateFolder();
    ui->Status->setText(Msg("M123PI", "Trying to download program update!"));
    SetDownloadButtons(true);
    QString error = UpdateFolderProblem(folder), name;
    FBusy = FDownloading = true;
    // An earlier download of that name stays until a good one takes its place.
    const bool ok = error.isEmpty() && DownloadProgram(folder, url, Fetch(url, FHost.Limits.Program), Facts(), &name, &error);
    FBusy = FDownloading = false;
    if (!ok) {
        ShowDownloadFailure(error);
        SetDownloadButtons(false);
        ui->btnDownload->setEnabled(true);
        return;
    }
    const QString target = folder + name;
    ui->Status->setText(Msg("M125PI", "Succesfully downloaded the program update!"));
    FNewProgram = false;
    SetDownloadButtons(false);
    const QString chosen = FHost.Settings ? FHost.Settings->FUpdateDir : QString();
    const QString shown = chosen.isEmpty() || chosen.startsWith(u'/') ? target : chosen + name;
    const QString question = SafeFormat(
        Msg("M126PI", "File downloaded to \"%s\". To install the update you need first to close Vaskimo and execute the "
                      "downloaded file! Close Vaskimo now and execute the update?"),
        shown);
    if (MessageBoxes::Confirm(this, question)) {
        // The program stays when the update cannot be started: the user would be left with neither.
        if (!FHost.Open || !FHost.Open(target)) {
            MessageBoxes::Error(this, SafeFormat(QStringLiteral("Vaskimo could not start \"%s\". Running a Windows "
                                                                "installer needs Wine."),
                                                 target));
            return;
        }
        if (FHost.Terminate)
            FHost.Terminate();
    }
}

void TUpdateIkkuna::btnDownloadBlacklistClick()
{
    if (FBusy)
        return;
    ui->Status->setText(Msg("M129PI", "Trying to download blacklist update!"));
    SetDownloadButtons(true);
    QString error;
    FBusy = FDownloading = true;
    const TBlacklistInstall outcome =
        InstallBlacklist(FHost.ProgramFolder, Fetch(ui->BlacklistDownloadURL->text(), FHost.Limits.Blacklist), Facts(), &error);
    FBusy = FDownloading = false;
    switch (outcome) {
    case TBlacklistInstall::DownloadFailed:
    case TBlacklistInstall::NotABlacklist:
        ShowDownloadFailure(error);
        SetDownloadButtons(false);
        ui->btnDownloadBlacklist->setEnabled(true);
        FUpdateResult = urError;
        return;
    case TBlacklistInstall::ReplaceFailed:
        // The old blacklist is still in place: the offer stays, and the failure is one.
        ui->Status->setText(Msg("M130PI", "Succesfully downloaded the blacklist update!"));
        SetDownloadButtons(false);
        FUpdateResult = urError;
        MessageBoxes::Error(this, Msg("M131PI", "Unknown error occured while setting up the blacklist. Try checking for "
                                                "updates again and check that Vaskimo files aren't in use by other "
                                                "programs!"));
        return;
    case TBlacklistInstall::Installed:
        break;
    }
    ShowBlacklistVersion();
    ui->Status->setText(Msg("M130PI", "Succesfully downloaded the blacklist update!"));
    FNewBlacklist = false;
    SetDownloadButtons(false);
    // The automatic check installs through a window it never shows, and says nothing on success.
    if (isVisible() &&
        MessageBoxes::Confirm(this, Msg("M132PI", "To finish installing the fix you need to restart Vaskimo. Close Vaskimo now?")) &&
        FHost.Terminate)
        FHost.Terminate();
}

void TUpdateIkkuna::HttpDocData()
{
    if (!FDownloading || !Http)
        return;
    const qint64 length = Http->ContentLength();
    const qint64 received = Http->ReceivedBytes();
    if (length < 0) {
        ui->Edistys->setRange(0, 0);
    } else {
        // The bar counts in int: large files go in kilobytes.
        const qint64 scale = length > std::numeric_limits<int>::max() ? 1024 : 1;
        ui->Edistys->setRange(0, int(length / scale));
        ui->Edistys->setValue(int(std::min(received, length) / scale));
    }
    if (length < 0)
        ui->Status->setText(SafeFormat(Msg("M133PI", "Downloading %1.n bytes, the server did not say how many!"),
                                       double(received)));
    else
        ui->Status->setText(SafeFormat(Msg("M128PI", "Downloading %1.n of %1.n!"), double(received), double(length)));
}

void TUpdateIkkuna::btnAbortClick()
{
    if (Http)
        Http->Abort();
    ui->Status->setText(Msg("M122PI", "Aborted!"));
}

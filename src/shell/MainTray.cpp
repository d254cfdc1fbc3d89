// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's tray icon and menu, the auto-start value, and the window-command policy.
#include "shell/Main.h"

#include "platform/ProgramInfo.h"
#include "platform/WinFiles.h"
#include "platform/WinePrefix.h"
#include "shell/MainImpl.h"
#include "shell/MessageBoxes.h"
#include "shell/Settings.h"
#include "shell/ToolWindow.h"
#include "shell/Tulosta.h"

#include "ui_Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include <exception>
#include <optional>

namespace {
const QString kRunKey = QStringLiteral("\\Software\\MicroSoft\\Windows\\CurrentVersion\\Run");
const QString kRunValue = QStringLiteral("Orvendal Vaskimo");

QString &ProgramFile()
{
    static QString file;
    return file;
}

std::optional<bool> &AssumedTray()
{
    static std::optional<bool> assumed;
    return assumed;
}
} // namespace

TPaaIkkuna::TImpl::TImpl() = default;
TPaaIkkuna::TImpl::~TImpl() = default;

void TPaaIkkuna::SetProgramFile(const QString &hostPath) { ProgramFile() = hostPath; }
void TPaaIkkuna::AssumeTrayAvailable(bool available) { AssumedTray() = available; }

bool TPaaIkkuna::TrayAvailable() const
{
    return AssumedTray().has_value() ? *AssumedTray() : QSystemTrayIcon::isSystemTrayAvailable();
}

void TPaaIkkuna::CreateTray()
{
    d->TrayMenu = new QMenu(this);
    d->TrayMenu->setObjectName(QStringLiteral("TrayPopup"));
    d->StartVaskimoonstartup1 = d->TrayMenu->addAction(QStringLiteral("Start Vaskimo on startup"));
    d->StartVaskimoonstartup1->setObjectName(QStringLiteral("StartVaskimoonstartup1"));
    d->StartVaskimoonstartup1->setCheckable(true);
    d->Hidetothetrayonclose1 = d->TrayMenu->addAction(QStringLiteral("Hide to the tray on minimize"));
    d->Hidetothetrayonclose1->setObjectName(QStringLiteral("Hidetothetrayonclose1"));
    d->Hidetothetrayonclose1->setCheckable(true);
    d->TrayMenu->addSeparator()->setObjectName(QStringLiteral("N1"));
    d->Palauta1 = d->TrayMenu->addAction(QStringLiteral("Restore"));
    d->Palauta1->setObjectName(QStringLiteral("Palauta1"));
    QFont bold = d->Palauta1->font();
    bold.setBold(true);
    d->Palauta1->setFont(bold);  // the default item
    d->Close1 = d->TrayMenu->addAction(QStringLiteral("Close"));
    d->Close1->setObjectName(QStringLiteral("Close1"));
    connect(d->StartVaskimoonstartup1, &QAction::triggered, this, &TPaaIkkuna::StartVaskimoonstartup1Click);
    connect(d->Hidetothetrayonclose1, &QAction::triggered, this, &TPaaIkkuna::Hidetothetrayonclose1Click);
    connect(d->Palauta1, &QAction::triggered, this, &TPaaIkkuna::TrayIconDblClick);
    connect(d->Close1, &QAction::triggered, this, &TPaaIkkuna::Close1Click);

    d->Tray = new QSystemTrayIcon(QApplication::windowIcon(), this);
    d->Tray->setToolTip(ProgramInfo::Title());
    d->Tray->setContextMenu(d->TrayMenu);
    connect(d->Tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
            TrayIconDblClick();
    });
}

bool TPaaIkkuna::ReadRunAtStartup() const
{
    try {
        TRegistry reg(TRootKey::LocalMachine);
        return reg.OpenKeyReadOnly(kRunKey) && reg.ValueExists(kRunValue);
    } catch (const std::exception &) {
        return false;
    }
}

bool TPaaIkkuna::SetRunAtStartup(bool on, QString *error)
{
    QString why;
    try {
        TRegistry reg(TRootKey::LocalMachine);
        if (!reg.OpenKey(kRunKey, on)) {
            // Nothing to delete when the key is not there.
            if (on)
                why = reg.LastError().isEmpty() ? QStringLiteral("The key HKEY_LOCAL_MACHINE%1 cannot be opened.").arg(kRunKey)
                                                : reg.LastError();
        } else if (on) {
            const QString host = ProgramFile().isEmpty() ? QCoreApplication::applicationFilePath() : ProgramFile();
            const QString windows = WinFiles::DrivesOf().ToWindows(host);
            if (windows.isEmpty())
                why = QStringLiteral("\"%1\" is on no drive of the Wine prefix, so Windows cannot start it.").arg(host);
            else
                reg.WriteString(kRunValue, u'"' + windows + QStringLiteral("\" -s -startup"));
        } else if (reg.ValueExists(kRunValue) && !reg.DeleteValue(kRunValue)) {
            why = reg.LastError();
        }
    } catch (const ERegistryException &e) {
        why = e.Message();
    } catch (const std::exception &e) {
        why = QString::fromLocal8Bit(e.what());
    }
    FRunAtStartup = ReadRunAtStartup();
    if (d->StartVaskimoonstartup1)
        d->StartVaskimoonstartup1->setChecked(FRunAtStartup);
    if (FRunAtStartup != on && why.isEmpty())
        why = QStringLiteral("The auto-start value could not be changed.");
    if (error)
        *error = why;
    return why.isEmpty();
}

void TPaaIkkuna::StartVaskimoonstartup1Click()
{
    QString error;
    if (!SetRunAtStartup(d->StartVaskimoonstartup1->isChecked(), &error))
        MessageBoxes::Error(this, error);
}

void TPaaIkkuna::Hidetothetrayonclose1Click()
{
    d->Settings.FHideToTray = d->Hidetothetrayonclose1->isChecked();
    QString error;
    if (!WriteHideToTray(d->Settings, SettingsFilePath(d->ProgramFolder), &error))
        ToolWindow::SettingsNotSaved(error);
}

void TPaaIkkuna::Close1Click() { close(); }

void TPaaIkkuna::TrayIconDblClick()
{
    d->Tray->hide();
    d->HiddenToTray = false;
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    QCoreApplication::processEvents();
    // The hidden tool windows take up their modal runs again.
    for (QEventLoop *loop : std::as_const(d->RestoreLoops))
        loop->quit();
}

void TPaaIkkuna::HideToTray(QWidget *form)
{
    d->HiddenToTray = true;
    d->Tray->show();
    for (qsizetype i = d->Modal.size() - 1; i >= 0; --i) {
        QDialog *dialog = d->Modal.at(i);
        if (dialog && dialog->isVisible()) {
            d->HiddenTools.insert(dialog);
            dialog->hide();
        }
    }
    if (form && form != this && !qobject_cast<QDialog *>(form))
        form->hide();
    hide();
}

bool TPaaIkkuna::HandleSysCommand(QWidget *form, quint32 command)
{
    if (command == SC_CLOSE) {
        form->close();
        return true;
    }
    if (command != SC_MINIMIZE)
        return false;
    if (d->Settings.FHideToTray && TrayAvailable()) {
        if (form)
            form->setWindowState(form->windowState() & ~Qt::WindowMinimized);
        setWindowState(windowState() & ~Qt::WindowMinimized);
        HideToTray(form);
    } else {
        // Without a tray (or with "Hide to tray" off) the whole program minimises.
        if (form && form != this)
            form->showMinimized();
        showMinimized();
    }
    return true;
}

void TPaaIkkuna::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    // No maximise box is no promise under X: a window manager maximises on a double click of the
    // title or a key, and the buttons and hints would spread over the screen.
    constexpr Qt::WindowStates spread = Qt::WindowMaximized | Qt::WindowFullScreen;
    if (event->type() == QEvent::WindowStateChange && (windowState() & spread))
        QTimer::singleShot(0, this, [this, spread] { setWindowState(windowState() & ~spread); });
    if (event->type() == QEvent::WindowStateChange && isMinimized() && d->Settings.FHideToTray && TrayAvailable())
        QTimer::singleShot(0, this, [this] { HandleSysCommand(this, SC_MINIMIZE); });
}

void TPaaIkkuna::DeleteFilesThreaded(const QStringList &files, bool permanent, std::function<void(bool aborted)> onDone)
{
    FileDeletion::DeleteFilesThreaded(this, files, permanent, d->Settings.FForceTryDelete, onDone);
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's creation, its buttons and hint panel, and the tool launcher.
#include "shell/Main.h"

#include "platform/ProgramInfo.h"
#include "shell/Buttons.h"
#include "shell/Settings.h"

#include <QCloseEvent>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

TPaaIkkuna *PaaIkkuna = nullptr;

namespace {
QHash<TToolKind, TToolFactory> &Factories()
{
    static QHash<TToolKind, TToolFactory> factories;
    return factories;
}
TStartHooks &Hooks()
{
    static TStartHooks hooks;
    return hooks;
}
} // namespace

struct TPaaIkkuna::TImpl {
    QString ProgramFolder;
    TSettings Settings;
    QStringList CommandLine;
    QHash<TToolKind, QDialog *> Kept;
    QSystemTrayIcon *Tray = nullptr;
    QMenu *TrayMenu = nullptr;
    QLabel *Label3 = nullptr;
    QLabel *Label4 = nullptr;
    bool HiddenToTray = false;
};

TPaaIkkuna::TPaaIkkuna(const QString &programFolder, QWidget *parent)
    : QMainWindow(parent), d(std::make_unique<TImpl>())
{
    PaaIkkuna = this;
    d->ProgramFolder = programFolder.endsWith(u'/') ? programFolder : programFolder + u'/';
    d->Label3 = new QLabel(this);
    d->Label4 = new QLabel(this);
    d->TrayMenu = new QMenu(this);
    d->Tray = new QSystemTrayIcon(this);
    d->Tray->setContextMenu(d->TrayMenu);
}

TPaaIkkuna::~TPaaIkkuna()
{
    if (PaaIkkuna == this)
        PaaIkkuna = nullptr;
}

void TPaaIkkuna::RegisterTool(TToolKind kind, TToolFactory factory) { Factories().insert(kind, std::move(factory)); }
void TPaaIkkuna::SetStartHooks(TStartHooks hooks) { Hooks() = std::move(hooks); }

QString TPaaIkkuna::ProgramFolder() const { return d->ProgramFolder; }
TSettings &TPaaIkkuna::Settings() { return d->Settings; }
const TSettings &TPaaIkkuna::Settings() const { return d->Settings; }

QString TPaaIkkuna::UndoHeader() const { return FUndoHeader; }
QString TPaaIkkuna::TimeStamp() const { return TUserLocale().Stamp(QDateTime::currentDateTime()); }
void TPaaIkkuna::AddLogLine(const QString &line) { FLog << TimeStamp() << line; }
void TPaaIkkuna::AddLogBlock(const QStringList &lines, bool leadingEmptyLine)
{
    if (leadingEmptyLine)
        FLog << QString();
    FLog << TimeStamp() << lines;
}

TRootKey TPaaIkkuna::RootKeyFromName(const QString &) const { return TRootKey::LocalMachine; }
bool TPaaIkkuna::HandleSysCommand(QWidget *form, quint32 command)
{
    if (command == SC_CLOSE) {
        form->close();
        return true;
    }
    return false;
}
void TPaaIkkuna::PaintBackground(QWidget *, QPainter &, bool) {}
QString TPaaIkkuna::LongPathName(const QString &) const { return {}; }
QString TPaaIkkuna::UniqueFileName(const QString &folder, const QString &fileName) const { return folder + fileName; }
QString TPaaIkkuna::VersionInfoString(const QString &, const QString &) const { return {}; }
QString TPaaIkkuna::ProgramVersion() const { return ProgramInfo::Version(); }
bool TPaaIkkuna::ReadShellLink(const QString &, TShellLinkInfo &) const { return false; }
bool TPaaIkkuna::IsFolderEmpty(const QString &) const { return false; }
QString TPaaIkkuna::ListFiles(const QString &, const QString &, bool, bool) const { return {}; }
QString TPaaIkkuna::ListFolderTree(const QString &, bool) const { return {}; }
void TPaaIkkuna::DeleteFilesThreaded(const QStringList &, bool, std::function<void(bool)> onDone)
{
    if (onDone)
        onDone(true);
}

int TPaaIkkuna::OpenTool(TToolKind) { return 0; }
bool TPaaIkkuna::HasTool(TToolKind kind) const { return Factories().contains(kind); }
void TPaaIkkuna::TsiikaaParamssit(const QString &) {}
void TPaaIkkuna::SetCommandLine(const QStringList &arguments) { d->CommandLine = arguments; }

QSystemTrayIcon *TPaaIkkuna::TrayIcon() const { return d->Tray; }
QMenu *TPaaIkkuna::TrayPopup() const { return d->TrayMenu; }
QLabel *TPaaIkkuna::HintTitle() const { return d->Label3; }
QLabel *TPaaIkkuna::HintBody() const { return d->Label4; }
TOVBitBtn *TPaaIkkuna::Button(const QString &objectName) const { return findChild<TOVBitBtn *>(objectName); }
bool TPaaIkkuna::HiddenToTray() const { return d->HiddenToTray; }

void TPaaIkkuna::ParamiTimer() {}
void TPaaIkkuna::TrayIconDblClick() {}
void TPaaIkkuna::StartVaskimoonstartup1Click() {}
void TPaaIkkuna::Hidetothetrayonclose1Click() {}
void TPaaIkkuna::Close1Click() { close(); }

void TPaaIkkuna::showEvent(QShowEvent *event) { QMainWindow::showEvent(event); }
void TPaaIkkuna::paintEvent(QPaintEvent *event) { QMainWindow::paintEvent(event); }
void TPaaIkkuna::changeEvent(QEvent *event) { QMainWindow::changeEvent(event); }
void TPaaIkkuna::closeEvent(QCloseEvent *event) { QMainWindow::closeEvent(event); }

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TLisaaPoistaIkkuna, the add/remove window: lists installed programs, uninstalls, deletes entries with undo, edits values.
#pragma once

#include "platform/Registry.h"
#include "registry/LisaaPoistaThds.h"
#include "shell/Main.h"
#include "shell/ReportModel.h"
#include "shell/ToolWindow.h"

#include <QCollator>
#include <QIcon>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QComboBox;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QTreeView;
class TFindAddRemoveThd;
class TOVBitBtn;
class TSharedThd;
class TWinePrefix;
struct TSettings;

namespace Ui {
class TLisaaPoistaIkkuna;
}

// Rows of the window's records: "Name" with the program's image, and the status image.
class TAddRemoveModel final : public TReportModel
{
    Q_OBJECT
public:
    static constexpr int StatusRole = Qt::UserRole + 1;  // column 1: the StatusImage number

    TAddRemoveModel(QList<TAddRemoveRecord *> *records, const QList<QIcon> *images, QObject *parent = nullptr);
    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

    void Append(TAddRemoveRecord *record);

private:
    QList<TAddRemoveRecord *> *FRecords;
    const QList<QIcon> *FImages;
};

// What the window needs of the program around it. FromMainWindow() takes it from PaaIkkuna; tests
// give their own.
struct TAddRemoveHost {
    QString ProgramFolder;          // host folder of Options.ini
    TSettings *Settings = nullptr;  // [Add/remove] undo, extra items, confirmation
    std::function<QString()> UndoHeader;
    std::function<QString(const QString &folder, const QString &fileName)> UniqueFileName;
    std::function<void()> Closed;   // clears the main window's FAddRemoveOpen
    std::shared_ptr<TWinePrefix> Prefix;  // nullptr: TWinePrefix::Current()
    // The wine program, empty when Wine is not installed.
    std::function<QString()> FindWine;
    // Starts program detached with these arguments and environment, never through a shell.
    std::function<bool(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment)>
        StartProcess;

    static TAddRemoveHost FromMainWindow();
    static QString DefaultFindWine();
    static bool DefaultStartProcess(const QString &program, const QStringList &arguments,
                                    const QProcessEnvironment &environment);
};

class TLisaaPoistaIkkuna final : public TToolWindow
{
    Q_OBJECT

public:
    explicit TLisaaPoistaIkkuna(QWidget *parent = nullptr, TAddRemoveHost host = TAddRemoveHost::FromMainWindow());
    ~TLisaaPoistaIkkuna() override;

    // Test access.
    bool Scanning() const { return FScanning; }
    const QList<TAddRemoveRecord *> &Records() const { return FRecords; }
    QTreeView *FileList() const;
    TAddRemoveModel *Model() const { return FModel; }
    QListWidget *Values() const;
    QComboBox *RegType() const;
    QLineEdit *Properties() const;
    TOVBitBtn *Button(const QString &objectName) const;
    QProgressBar *ProgressBar() const { return FBar; }
    // "00, 01, ..." with "\" after the separator that follows bytes 25, 50, 75 ...
    static QString BinaryText(const QByteArray &bytes);
    // The bytes of a "Binary value" text: ",", blanks and "\" dropped, whole pairs only; false when a
    // pair is no hexadecimal number.
    static bool ParseBinaryText(const QString &text, QByteArray *bytes);

public slots:
    void btnFindClick();
    void btnStopClick();
    void btnDeleteClick();
    void btnUninstallClick();
    void btnPrintClick();
    void btnSaveClick();
    void btnCloseClick();
    void btnUpdateClick();
    void FileListColumnClick(int column);

protected:
    void showEvent(QShowEvent *event) override;
    bool SearchRunning() const override;
    void StopSearch() override { btnStopClick(); }
    void Closing() override;

private:
    void AddEntry(const QString &name, const QString &icon, TRootKey root, const QString &keyPath, const QString &uninstallString,
                  const QString &installLocation, int judgement, bool extra);
    void ScanProgress(int position, int total);
    void ScanDone(TSharedThd *sender);
    void UpdateButtons();
    void SortRecords();
    TAddRemoveRecord *SelectedRecord() const;
    int SelectedRow() const;
    void FileListSelectItem();
    void ShowValue();
    void EnableEditor(bool enabled);
    void PropertiesChange();
    void RegTypeChange();
    bool AddIcon(TAddRemoveRecord *record, const QString &windowsFile);
    QString UndoFolderHost() const;
    QString HostPath(const QString &windowsPath) const;

    std::unique_ptr<Ui::TLisaaPoistaIkkuna> ui;
    TAddRemoveHost FHost;
    QList<TAddRemoveRecord *> FRecords;
    QList<QIcon> FImages;
    TAddRemoveModel *FModel = nullptr;
    QProgressBar *FBar = nullptr;
    TFindAddRemoveThd *FThread = nullptr;
    bool FScanning = false;
    bool FFirstShow = true;
    bool FFilling = false;  // the value list is being refilled: its signals are no user's choice
    QCollator FCollator;
};

// Registers the window with the main window's tool factory (TToolKind::AddRemove).
void RegisterAddRemove();

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the main window's private state, shared by its source files.
#pragma once

#include "shell/Main.h"
#include "shell/Settings.h"

#include <QAction>
#include <QDialog>
#include <QEventLoop>
#include <QImage>
#include <QPointer>
#include <QSet>

namespace Ui {
class TPaaIkkuna;
}

struct TPaaIkkuna::TImpl {
    TImpl();
    ~TImpl();

    std::unique_ptr<Ui::TPaaIkkuna> Ui;
    QString ProgramFolder;
    TSettings Settings;
    QStringList CommandLine;
    QHash<TToolKind, QPointer<QDialog>> Kept;
    QList<QPointer<QDialog>> Modal;        // tool windows in their modal runs, outermost first
    QSet<QDialog *> HiddenTools;           // hidden to the tray while their modal run goes on
    QList<QEventLoop *> RestoreLoops;      // runs waiting for "Restore"
    QImage BuiltIn;                        // FBackgroundImage: the design-time picture
    QImage Tausta;                         // the current background picture (null: none)
    QSystemTrayIcon *Tray = nullptr;
    QMenu *TrayMenu = nullptr;
    QAction *StartVaskimoonstartup1 = nullptr;
    QAction *Hidetothetrayonclose1 = nullptr;
    QAction *Palauta1 = nullptr;
    QAction *Close1 = nullptr;
    QTimer *Parami = nullptr;
    QTimer *Paivitys = nullptr;
    QTimer *Stopper = nullptr;             // after a stop signal: closes the modal windows one by one
    int StopSignal = 0;                    // the signal that stops the program, 0 none
    bool InBatch = false;                  // TsiikaaParamssit runs
    bool BatchRan = false;                 // TsiikaaParamssit has run (it reports its own stop)
    bool EndAfterBatch = false;
    bool Shown = false;
    bool HiddenToTray = false;
};

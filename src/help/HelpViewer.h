// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the help viewer: a text browser over a CHM file (pages, stylesheets and pictures from the archive) and the engine it registers.
#pragma once

#include "help/ChmFile.h"
#include "help/hh_funcs.h"

#include <QTextBrowser>
#include <QWidget>

#include <memory>

// Shows the pages of one CHM file; addresses are "chm:/path" inside it.
class TChmBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    explicit TChmBrowser(QWidget *parent = nullptr);

    bool OpenFile(const QString &hostPath);
    const TChmFile *Chm() const { return FChm.get(); }
    // "/a/b.htm" or "a\b.htm#part"; false when the archive has no such page.
    bool ShowTopic(const QString &topic);
    QString CurrentTopic() const;  // the archive path of the page shown

    QVariant loadResource(int type, const QUrl &name) override;

private:
    void LinkClicked(const QUrl &link);

    std::unique_ptr<TChmFile> FChm;
    int FCodePage;
};

class THelpViewer : public QWidget
{
    Q_OBJECT
public:
    explicit THelpViewer(QWidget *parent = nullptr);

    TChmBrowser *Browser() const { return FBrowser; }
    // The topic the context number maps to, else the default topic; false when neither shows.
    bool ShowContext(const QString &helpFile, quint32 context);

    // The one viewer window the engine shows (nullptr when none is open).
    static THelpViewer *Current();
    // The "HelpContext" property of the focused control or the nearest parent that has one
    // (the active window when nothing has the focus); 0 when none sets one.
    static int ActiveHelpContext();
    // Registers the engine of hh.h and routes the help module's messages to the message boxes.
    static void RegisterEngine();

private:
    TChmBrowser *FBrowser;
};

// The help subsystem for the program's lifetime: engine, loader and module start, and the hook
// for the chosen help file.
class THelpSession
{
public:
    // programFolder: the folder beside the program ("debug.debug", "HHDebug.txt"); empty: programFile's.
    THelpSession(const QString &programFile, const QStringList &arguments, const QString &programFolder = {});
    ~THelpSession();
    // Installs the help hook when helpFile is a ".chm" file (host type 0, no window definition).
    void InstallHook(const QString &helpFile);
    THookHelpSystem *Hook() const { return FHook.get(); }
    // The help button and F1: the application's help for the focused window's help context.
    // Without a hook (a ".hlp" file has no viewer here) the user is told so. An empty helpFile
    // means the one InstallHook was given.
    void ShowHelp(const QString &helpFile);

private:
    std::unique_ptr<THookHelpSystem> FHook;
    QString FHelpFile;
    std::unique_ptr<QObject> FF1Filter;  // F1 inside modal tool windows, which the main window's shortcut cannot reach
};

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: every window of the program as a new user first sees it: on a copy of the demo prefix,
// at its default size, after its search.
#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <functional>
#include <memory>

class TPaaIkkuna;

namespace TestSupport {

struct TTourStop {
    QString Name;  // file-name friendly: "registry-cleaner"
    QPointer<QWidget> Window;
};

// Copies the demo prefix into a fresh folder and makes it the current prefix, with a fresh program
// folder beside it (no Options.ini: every window has its designed size, unless `options` gives the
// file's text; `files` puts more there, such as "Languages/Deutsch.txt"; `prepare` runs on the copy,
// the current prefix, before the main window starts). Message boxes answer Yes.
class TWindowTour
{
public:
    explicit TWindowTour(const QByteArray &options = {}, const QMap<QString, QByteArray> &files = {},
                         const std::function<void()> &prepare = {});
    ~TWindowTour();
    bool Ready() const;  // the copy and the main window are there, the main window exposed

    TPaaIkkuna *MainWindow() const;
    QString ProgramFolder() const;
    // Opens every window in turn, modeless, and runs what a user runs first: Find where there is
    // one (the undo manager after the registry cleaner deleted its finds, so it has a file to show).
    QList<TTourStop> OpenAll();
    // One of them by its name; nullptr when it was never exposed or its search did not end.
    QWidget *Open(const QString &name);

    static QStringList Names();

private:
    struct TImpl;
    std::unique_ptr<TImpl> d;
};

// Waits, letting events through, until the window's search, deletion or loading has ended (its
// "Find" is enabled again, its "Stop" is not).
[[nodiscard]] bool WaitForSearch(QWidget *window, int ms = 30000);

}  // namespace TestSupport

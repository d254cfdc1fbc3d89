// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the progress window TTulostaIkkuna and the threaded file-deletion service.
#pragma once

#include "shell/Buttons.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QStringList>

#include <functional>

// A small borderless-icons dialog with a percent label, a bar and a large Abort button (Esc
// presses it). The user cannot close it otherwise; its owner closes it with CloseWindow. Shared by
// the deletion service (modal) and listing print (not modal).
class TTulostaIkkuna : public QDialog
{
    Q_OBJECT
public:
    explicit TTulostaIkkuna(QWidget *parent = nullptr);

    // Bar maximum total, position done, label the rounded percentage ("67%"); with total 0 the
    // label keeps its text.
    void SetProgress(int done, int total);
    // Closes the window for good (the only way it closes).
    void CloseWindow();

    QFrame *Reunus = nullptr;
    QLabel *Prosentti = nullptr;
    QProgressBar *ProgressBar = nullptr;
    TOVBitBtn *btnAbort = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    void reject() override;  // Esc: press Abort while it is enabled
    void paintEvent(QPaintEvent *event) override;

private:
    bool FMayClose = false;
};

namespace FileDeletion {
// Deletes files (Windows paths; folders with a trailing backslash) on a TFileDeletionThread while
// the progress window is shown modally over parent. Returns only after onDone(aborted) has run,
// aborted telling whether the user pressed Abort. permanent false moves to the recycle bin;
// forceRetry is "Force try delete". The caller judges the result by which of its paths still exist.
void DeleteFilesThreaded(QWidget *parent, const QStringList &files, bool permanent, bool forceRetry,
                         const std::function<void(bool aborted)> &onDone);
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the splash window TOdota: a frameless picture on top of all windows while the main window starts.
#pragma once

#include <QWidget>

class QLabel;

class TOdota : public QWidget
{
    Q_OBJECT
public:
    explicit TOdota(QWidget *parent = nullptr);

    // The program's version as four numbers joined by dots ("1.0.0.0"), as ProgramVersion gives it.
    static QString GetVersion();
    // Creates the window and shows it (not modal), painted before it returns: it waits up to
    // ExposeWaitMs for the window system to show the window. The caller deletes it.
    static TOdota *ShowSplash();
    static constexpr int ExposeWaitMs = 1000;

    QLabel *Kuva = nullptr;     // the picture; null pixmap when the built-in JPEG cannot be decoded
    QLabel *Notice = nullptr;
    QLabel *Version = nullptr;

protected:
    void showEvent(QShowEvent *event) override;  // FormShow
};

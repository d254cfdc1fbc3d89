// SPDX-License-Identifier: GPL-2.0-or-later
#include "shell/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QRegularExpression>

namespace MessageBoxes {
namespace {
THandler &CurrentHandler()
{
    static THandler handler;
    return handler;
}

// Word wrap may break between ":" and "\", which leaves "Z:" alone at a line's end: a word joiner,
// which shows as nothing, holds the drive to its path.
QString DrivesHeldToTheirPaths(const QString &text)
{
    static const QRegularExpression drive(QStringLiteral("\\b([A-Za-z]:)\\\\"));
    QString shown = text;
    shown.replace(drive, QStringLiteral("\\1\u2060\\"));
    return shown;
}

bool ShowReal(QWidget *parent, TMessageKind kind, const QString &message)
{
    const QString title = QApplication::applicationName();
    const QString text = DrivesHeldToTheirPaths(message);
    switch (kind) {
    case TMessageKind::Confirmation:
        return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               == QMessageBox::Yes;
    case TMessageKind::Error:
        QMessageBox::critical(parent, title, text);
        return true;
    case TMessageKind::Information:
        QMessageBox::information(parent, title, text);
        return true;
    }
    return false;
}

bool Show(QWidget *parent, TMessageKind kind, const QString &text)
{
    const THandler &handler = CurrentHandler();
    return handler ? handler(parent, kind, text) : ShowReal(parent, kind, text);
}
}

bool Confirm(QWidget *parent, const QString &text) { return Show(parent, TMessageKind::Confirmation, text); }
void Error(QWidget *parent, const QString &text) { Show(parent, TMessageKind::Error, text); }
void Information(QWidget *parent, const QString &text) { Show(parent, TMessageKind::Information, text); }

THandler SetHandler(THandler handler)
{
    THandler previous = CurrentHandler();
    CurrentHandler() = std::move(handler);
    return previous;
}
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: glyph buttons that report the mouse, and the password edit.
#include "shell/Buttons.h"

#include "shell/IniLangUi.h"

#include <QShortcut>

TOVBitBtn::TOVBitBtn(QWidget *parent) : QPushButton(parent) {}
TOVBitBtn::TOVBitBtn(const QString &caption, QWidget *parent) : QPushButton(caption, parent) {}
void TOVBitBtn::SetCancel(bool) {}
QSize TOVBitBtn::sizeHint() const { return QPushButton::sizeHint(); }
QSize TOVBitBtn::minimumSizeHint() const { return QPushButton::minimumSizeHint(); }
void TOVBitBtn::enterEvent(QEnterEvent *event) { QPushButton::enterEvent(event); emit OnMouseEnter(this); }
void TOVBitBtn::leaveEvent(QEvent *event) { QPushButton::leaveEvent(event); emit OnMouseExit(this); }
void TOVBitBtn::paintEvent(QPaintEvent *event) { QPushButton::paintEvent(event); }

TOVSpeedButton::TOVSpeedButton(QWidget *parent) : QToolButton(parent) { setAutoRaise(true); }
void TOVSpeedButton::enterEvent(QEnterEvent *event) { QToolButton::enterEvent(event); update(); emit OnMouseEnter(this); FMouseInside = true; }
void TOVSpeedButton::leaveEvent(QEvent *event) { QToolButton::leaveEvent(event); update(); emit OnMouseExit(this); FMouseInside = false; }

TOVPassEdit::TOVPassEdit(QWidget *parent) : QLineEdit(parent)
{
    setEchoMode(QLineEdit::Password);
    SetHoldsUserData(this);
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the program's own controls: glyph buttons that report the mouse, and the password edit.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

class QShortcut;

// The glyph button of every window: the glyph above a word-wrapped caption. OnMouseEnter and
// OnMouseExit are emitted after the inherited enter/leave handling; a button nobody listens to
// behaves as a plain push button. Default: Enter in its window presses it (QPushButton's default).
// Cancel: Esc in its window presses it. Glyph: unless one was set, the button takes the icon its
// name stands for in its window (ButtonIcons) when it is first polished, before it shows.
class TOVBitBtn : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(bool cancel READ Cancel WRITE SetCancel)

public:
    explicit TOVBitBtn(QWidget *parent = nullptr);
    explicit TOVBitBtn(const QString &caption, QWidget *parent = nullptr);

    bool Cancel() const { return FCancel != nullptr; }
    void SetCancel(bool cancel);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void OnMouseEnter(QWidget *sender);
    void OnMouseExit(QWidget *sender);

protected:
    bool event(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QShortcut *FCancel = nullptr;
};

// A glyph button of a tool window, named for its icon and its language key; Enter in the window
// presses no button of it.
TOVBitBtn *NewToolButton(QWidget *window, const char *objectName, const QString &caption);

namespace ButtonIcons {
// The freedesktop icon name a glyph button stands for: by the window's and the button's object
// names ("PaaIkkuna", "btnRegistry"), else by the button's name alone; "" for none.
QString IconName(const QString &windowName, const QString &buttonName);
// The desktop theme's icon of that name, else the shipped one (Tango, public domain); a null
// icon when neither has it.
QIcon Icon(const QString &name);
}

// A flat button (the "Browse for folder..." buttons) with the same two events; MouseInside says
// whether the mouse is over it, and is set after OnMouseEnter / cleared after OnMouseExit.
class TOVSpeedButton : public QToolButton
{
    Q_OBJECT

public:
    explicit TOVSpeedButton(QWidget *parent = nullptr);

    bool MouseInside() const { return FMouseInside; }

signals:
    void OnMouseEnter(QWidget *sender);
    void OnMouseExit(QWidget *sender);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    bool FMouseInside = false;
};

// A one-line edit that shows its text masked; text() gives the clear text. Its text is the user's
// own (SetHoldsUserData): a language file never replaces it.
class TOVPassEdit : public QLineEdit
{
    Q_OBJECT

public:
    explicit TOVPassEdit(QWidget *parent = nullptr);
};

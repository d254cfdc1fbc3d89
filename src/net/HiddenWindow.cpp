// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: hidden windows: messages posted to a QObject and handled on the thread that made it.
#include "net/HiddenWindow.h"

#include <QCoreApplication>

namespace {

class TMessageEvent : public QEvent
{
public:
    TMessageEvent(QEvent::Type type, const TMessage &message)
        : QEvent(type)
        , Message(message)
    {
    }
    TMessage Message;
};

// One event type per message number, so that the messages of one number can be dropped.
constexpr int MessageEventBase = QEvent::User + 0x100;
constexpr unsigned MessageNumbers = 0x2000;

QEvent::Type EventTypeOf(unsigned msg)
{
    return QEvent::Type(MessageEventBase + int(msg < MessageNumbers ? msg : MessageNumbers));
}

} // namespace

THiddenWindow::THiddenWindow(TWndProc WndProc)
    : FWndProc(std::move(WndProc))
{
}

THiddenWindow::~THiddenWindow() = default;

void THiddenWindow::PostMessage(unsigned Msg, quintptr WParam, qintptr LParam)
{
    TMessage m;
    m.Msg = Msg;
    m.WParam = WParam;
    m.LParam = LParam;
    QCoreApplication::postEvent(this, new TMessageEvent(EventTypeOf(Msg), m));
}

void THiddenWindow::RemovePostedMessages(unsigned Msg)
{
    QCoreApplication::removePostedEvents(this, EventTypeOf(Msg));
}

bool THiddenWindow::event(QEvent *e)
{
    if (e->type() >= MessageEventBase && e->type() <= MessageEventBase + int(MessageNumbers)) {
        if (FWndProc) {
            // A copy: the handler may clear FWndProc while it runs.
            TWndProc proc = FWndProc;
            proc(static_cast<TMessageEvent *>(e)->Message);
        }
        return true;
    }
    return QObject::event(e);
}

THiddenWindow *AllocateHWnd(THiddenWindow::TWndProc Handler)
{
    return new THiddenWindow(std::move(Handler));
}

void DeallocateHWnd(THiddenWindow *Window)
{
    if (!Window)
        return;
    Window->ClearWndProc();
    Window->deleteLater();
}

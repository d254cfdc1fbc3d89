// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: hidden windows: messages posted to a QObject and handled on the thread that made it.
#pragma once

#include <QEvent>
#include <QObject>

#include <functional>

constexpr unsigned WM_USER = 0x400;

struct TMessage {
    unsigned Msg = 0;
    quintptr WParam = 0;
    qintptr LParam = 0;
    qintptr Result = 0;
};

inline qintptr MakeLParam(int low, int high) { return qintptr((quint32(quint16(high)) << 16) | quint16(low)); }
inline int LoWord(qintptr v) { return int(quint32(v) & 0xFFFF); }
inline int HiWord(qintptr v) { return int((quint32(v) >> 16) & 0xFFFF); }

// A window that receives posted messages on the thread that made it. WndProc runs from that
// thread's event loop, never inside PostMessage. Messages posted to a destroyed window are dropped.
class THiddenWindow : public QObject
{
public:
    using TWndProc = std::function<void(TMessage &Message)>;
    explicit THiddenWindow(TWndProc WndProc);
    ~THiddenWindow() override;

    // Thread-safe.
    void PostMessage(unsigned Msg, quintptr WParam = 0, qintptr LParam = 0);
    // Drops the posted messages of that number that have not run yet.
    void RemovePostedMessages(unsigned Msg);
    // From now on messages are dropped (the owner is going away while one of them runs).
    void ClearWndProc() { FWndProc = nullptr; }

protected:
    bool event(QEvent *e) override;

private:
    TWndProc FWndProc;
};

// The window-procedure service: a hidden window whose messages go to Handler (the HTTP client's
// own window). DeallocateHWnd destroys it; nullptr is accepted.
THiddenWindow *AllocateHWnd(THiddenWindow::TWndProc Handler);
void DeallocateHWnd(THiddenWindow *Window);

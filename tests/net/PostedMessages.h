// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a barrier for the socket tests: what was posted on this thread has been handled.
#pragma once

#include "net/HiddenWindow.h"

#include <QTest>

// True once a message posted behind everything already queued on this thread has come back, twice
// in a row: the first pass runs what the sockets had posted, the second what the poll of their
// descriptors during the first posted. A check that something did not happen waits for this.
[[nodiscard]] inline bool AllPostedMessagesHandled(int timeoutMs = 10000)
{
    int handled = 0;
    THiddenWindow marker([&](TMessage &) { ++handled; });
    for (int pass = 1; pass <= 2; ++pass) {
        marker.PostMessage(WM_USER);
        if (!QTest::qWaitFor([&] { return handled == pass; }, timeoutMs))
            return false;
    }
    return true;
}

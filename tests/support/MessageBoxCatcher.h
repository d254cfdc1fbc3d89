// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: catches the program's message boxes in a test: what was shown, and the answer to give.
#pragma once

#include "shell/MessageBoxes.h"

#include <QList>
#include <QStringList>

namespace TestSupport {

// While it lives every box goes here instead of the screen: its text and kind are kept, and a
// confirmation gets Answer. Its end restores the handler that was there before it.
struct TBoxes {
    QStringList Shown;
    QList<TMessageKind> Kinds;
    bool Answer = true;
    MessageBoxes::THandler Previous;

    TBoxes()
    {
        Previous = MessageBoxes::SetHandler([this](QWidget *, TMessageKind kind, const QString &text) {
            Shown.append(text);
            Kinds.append(kind);
            return Answer;
        });
    }
    ~TBoxes() { MessageBoxes::SetHandler(Previous); }
    TBoxes(const TBoxes &) = delete;
    TBoxes &operator=(const TBoxes &) = delete;
};

}  // namespace TestSupport

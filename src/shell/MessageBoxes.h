// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the one seam every message box of the program goes through.
//
// Batch mode and tests replace the handler; a batch run shows no box (questions answer Yes,
// the caller logs instead of showing).
#pragma once

#include <QString>

#include <functional>

class QWidget;

enum class TMessageKind { Confirmation, Error, Information };

namespace MessageBoxes {
// Yes/No for a confirmation (No cancels), OK for the others; returns true for Yes or OK.
using THandler = std::function<bool(QWidget *parent, TMessageKind kind, const QString &text)>;

bool Confirm(QWidget *parent, const QString &text);
void Error(QWidget *parent, const QString &text);
void Information(QWidget *parent, const QString &text);

// Replaces the handler; an empty handler restores the real boxes. Returns the previous one.
THandler SetHandler(THandler handler);
}

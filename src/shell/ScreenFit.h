// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: where a window goes so that it lies inside the screen's available area.
#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

namespace ScreenFit {
// The room a window manager's frame takes when the window's own is not known yet (before it is
// first mapped): a title bar and thin borders.
inline QMargins AssumedFrame() { return QMargins(6, 32, 6, 6); }

// The geometry (client area) a window of frame margins `frame` takes so that its frame lies inside
// `available`: no larger than the area allows, then moved in by as little as needed. A window
// that cannot be made that small (its `minimum` is larger) keeps its minimum and its top-left
// corner inside, so that its title bar can be reached.
QRect Fitted(const QRect &available, const QMargins &frame, const QRect &geometry, const QSize &minimum = QSize());

// Whether a window with that minimum size fits inside the available area with its frame.
bool Fits(const QRect &available, const QMargins &frame, const QSize &minimum);
}

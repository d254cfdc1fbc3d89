// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: fitting a window's geometry inside the available area of its screen.
#include "ScreenFit.h"

#include <algorithm>

namespace ScreenFit {

QRect Fitted(const QRect &available, const QMargins &frame, const QRect &geometry, const QSize &minimum)
{
    const QRect inner = available.marginsRemoved(frame);
    QSize size = geometry.size().boundedTo(inner.size());
    if (minimum.isValid())
        size = size.expandedTo(minimum);
    QRect fitted(geometry.topLeft(), size);
    // Right and bottom first, so that a window too large keeps its top-left corner in sight.
    if (fitted.right() > inner.right())
        fitted.moveRight(inner.right());
    if (fitted.bottom() > inner.bottom())
        fitted.moveBottom(inner.bottom());
    if (fitted.left() < inner.left())
        fitted.moveLeft(inner.left());
    if (fitted.top() < inner.top())
        fitted.moveTop(inner.top());
    return fitted;
}

bool Fits(const QRect &available, const QMargins &frame, const QSize &minimum)
{
    const QSize inner = available.marginsRemoved(frame).size();
    return minimum.width() <= inner.width() && minimum.height() <= inner.height();
}

}  // namespace ScreenFit

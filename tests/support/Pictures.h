// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what a test reads of a picture: whether it shows something at the size asked.
#pragma once

#include <QImage>
#include <QSize>

#include <gtest/gtest.h>

namespace TestSupport {

// A picture of side x side pixels that shows something: a third of it or more opaque.
inline void ExpectDrawn(const QImage &picture, int side)
{
    ASSERT_EQ(picture.size(), QSize(side, side));
    int opaque = 0;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            opaque += qAlpha(picture.pixel(x, y)) == 255;
    EXPECT_GT(opaque, side * side / 3) << "an empty or faint picture";
}

}  // namespace TestSupport

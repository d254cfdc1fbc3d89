// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the background painter every window calls from its paint handler.
#include "shell/Main.h"

#include "shell/MainImpl.h"

#include <QPainter>

#include <cmath>

void TPaaIkkuna::PaintBackground(QWidget *form, QPainter &painter, bool useBuiltIn)
{
    const TSettings &s = d->Settings;
    if (!form || (s.FNoBackground && !useBuiltIn))
        return;
    const QImage &picture = useBuiltIn ? d->BuiltIn : d->Tausta;
    const int style = useBuiltIn ? 0 : s.FBackgroundStyle;
    if (picture.isNull())
        return;
    const int w = picture.width(), h = picture.height();
    const QSize client = form->size();
    switch (style) {
    case 0: {
        // Measured on the outer window size, both bounds included, column by column.
        const QSize outer = form->frameGeometry().size();
        const int columns = int(std::ceil(double(outer.width()) / w));
        const int rows = int(std::ceil(double(outer.height()) / h));
        for (int c = 0; c <= columns; ++c)
            for (int r = 0; r <= rows; ++r)
                painter.drawImage(QPoint(c * w, r * h), picture);
        break;
    }
    case 1:
        painter.drawImage(QPoint(int(std::lround((client.width() - w) / 2.0)), int(std::lround((client.height() - h) / 2.0))),
                          picture);
        break;
    case 2:
        painter.drawImage(QRect(QPoint(0, 0), client), picture);
        break;
    default:
        break;
    }
}

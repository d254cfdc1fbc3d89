// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a path label that cuts a long path in the middle and shows it whole in its tooltip.
#include "shell/PathLabel.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

TPathLabel::TPathLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

void TPathLabel::SetPath(const QString &path)
{
    setText(path);
    setToolTip(path);
}

QSize TPathLabel::sizeHint() const
{
    return {minimumSizeHint().width(), QLabel::sizeHint().height()};
}

QSize TPathLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 12, QLabel::minimumSizeHint().height()};
}

// The file name whole and the folders cut in the middle, while the name leaves room for a drive.
QString TPathLabel::ShownText() const
{
    const QFontMetrics metrics = fontMetrics();
    const int width = contentsRect().width();
    const QString path = text();
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const qsizetype cut = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    const QString name = path.mid(cut);
    const int left = width - metrics.horizontalAdvance(name);
    if (cut <= 0 || left < metrics.horizontalAdvance(QStringLiteral("C:\\\u2026")))
        return metrics.elidedText(path, Qt::ElideMiddle, width);
    return metrics.elidedText(path.left(cut), Qt::ElideMiddle, left) + name;
}

void TPathLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()), palette(), isEnabled(), ShownText(),
                          foregroundRole());
}

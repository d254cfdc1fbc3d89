// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a label for a path: the whole path stays its text and tooltip, and a path wider than the
// label is shown with its folders cut in the middle, so its drive and its file name stay in sight.
#pragma once

#include <QLabel>

class TPathLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TPathLabel(QWidget *parent = nullptr);

    // Sets the text and the tooltip.
    void SetPath(const QString &path);
    // What the label shows at its width now.
    QString ShownText() const;

    // A path never widens its window: the label takes the width the layout gives it.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
};

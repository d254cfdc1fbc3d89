// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the real message boxes as a user reads them: a Windows path is never broken after its drive.
#include "shell/MessageBoxes.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTextLayout>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// The lines the box's label shows its text on, as its own word wrap breaks them.
QStringList ShownLines(const QLabel *label)
{
    QTextLayout layout(label->text(), label->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QStringList lines;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(label->contentsRect().width());
        lines << label->text().mid(line.textStart(), line.textLength());
    }
    layout.endLayout();
    return lines;
}

// Shows text in a real box of kind, and gives the lines it is shown on.
QStringList LinesOfRealBox(TMessageKind kind, const QString &text)
{
    QStringList lines;
    QTimer::singleShot(0, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (const auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label")))
            lines = ShownLines(label);
        box->done(QMessageBox::No);
    });
    if (kind == TMessageKind::Confirmation)
        MessageBoxes::Confirm(nullptr, text);
    else
        MessageBoxes::Error(nullptr, text);
    return lines;
}

TEST(MessageBoxes, AWindowsPathIsNeverBrokenAfterItsDrive)
{
    const QString path = QStringLiteral("Z:\\tmp\\screenshots-wByqya\\program\\Undo\\VKUndo01.reg");
    const struct { const char *Row; TMessageKind Kind; QString Text; } cases[] = {
        {"the undo file's delete question", TMessageKind::Confirmation,
         QStringLiteral("Are you sure you want to delete file %1?").arg(path)},
        {"a failed deletion", TMessageKind::Error,
         QStringLiteral("Vaskimo failed to delete the selected file %1! File maybe in use.").arg(path)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Row);
        const QStringList lines = LinesOfRealBox(c.Kind, c.Text);
        ASSERT_FALSE(lines.isEmpty()) << "no box was shown";
        for (const QString &line : lines)
            EXPECT_FALSE(line.trimmed().endsWith(u':')) << lines.join(u'|').toStdString();
        QString read = lines.join(QString());
        read.remove(QChar(0x2060));
        EXPECT_EQ(read, c.Text) << "the box shows the text as given";
    }
}

}  // namespace

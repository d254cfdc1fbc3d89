// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the glyph buttons' enter and leave events, Esc on the cancel button, the password edit.
#include "shell/Buttons.h"
#include "shell/IniLangUi.h"

#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QIcon SolidIcon(const QColor &color)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

struct TWindow {
    QWidget Form;
    TOVBitBtn *First = new TOVBitBtn(QStringLiteral("Registry"), &Form);
    TOVBitBtn *Second = new TOVBitBtn(QStringLiteral("Close"), &Form);
    TOVSpeedButton *Speed = new TOVSpeedButton(&Form);

    TWindow()
    {
        auto *layout = new QHBoxLayout(&Form);
        layout->addWidget(First);
        layout->addWidget(Second);
        layout->addWidget(Speed);
        Form.resize(400, 120);
        Form.show();
        Form.activateWindow();
    }
};

TEST(ButtonsTest, MovingBetweenButtonsExitsTheFirstBeforeEnteringTheNext)
{
    TWindow w;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.Form));
    QStringList log;
    for (TOVBitBtn *b : {w.First, w.Second}) {
        QObject::connect(b, &TOVBitBtn::OnMouseEnter, [&](QWidget *s) {
            log << QStringLiteral("enter ") + static_cast<QPushButton *>(s)->text();
        });
        QObject::connect(b, &TOVBitBtn::OnMouseExit, [&](QWidget *s) {
            log << QStringLiteral("exit ") + static_cast<QPushButton *>(s)->text();
        });
    }
    QTest::mouseMove(w.First, w.First->rect().center());
    QTest::mouseMove(w.Second, w.Second->rect().center());
    QTest::mouseMove(&w.Form, QPoint(1, 1));
    EXPECT_EQ(log, (QStringList{"enter Registry", "exit Registry", "enter Close", "exit Close"}));
}

TEST(ButtonsTest, SpeedButtonKnowsWhetherTheMouseIsInside)
{
    TWindow w;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w.Form));
    bool insideWhenEntered = true;
    QObject::connect(w.Speed, &TOVSpeedButton::OnMouseEnter, [&] { insideWhenEntered = w.Speed->MouseInside(); });
    QSignalSpy exits(w.Speed, &TOVSpeedButton::OnMouseExit);
    EXPECT_FALSE(w.Speed->MouseInside());
    QTest::mouseMove(w.Speed, w.Speed->rect().center());
    EXPECT_TRUE(w.Speed->MouseInside());
    EXPECT_FALSE(insideWhenEntered) << "MouseInside is set after OnMouseEnter";
    QTest::mouseMove(&w.Form, QPoint(1, 1));
    EXPECT_FALSE(w.Speed->MouseInside());
    EXPECT_EQ(exits.count(), 1);
    EXPECT_EQ(exits.at(0).at(0).value<QWidget *>(), w.Speed);
}

TEST(ButtonsTest, ButtonWithoutListenersClicksLikeAPushButton)
{
    TWindow w;
    QSignalSpy clicks(w.First, &QPushButton::clicked);
    QTest::mouseClick(w.First, Qt::LeftButton);
    EXPECT_EQ(clicks.count(), 1);
}

TEST(ButtonsTest, EscPressesTheCancelButton)
{
    TWindow w;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w.Form));
    w.Second->SetCancel(true);
    EXPECT_TRUE(w.Second->Cancel());
    QSignalSpy cancels(w.Second, &QPushButton::clicked);
    QSignalSpy others(w.First, &QPushButton::clicked);
    w.First->setFocus();
    QTest::keyClick(&w.Form, Qt::Key_Escape);
    EXPECT_EQ(cancels.count(), 1);
    EXPECT_EQ(others.count(), 0);
    w.Second->setEnabled(false);
    QTest::keyClick(&w.Form, Qt::Key_Escape);
    EXPECT_EQ(cancels.count(), 1) << "a disabled button is not pressed";
    w.Second->setEnabled(true);
    w.Second->SetCancel(false);
    QTest::keyClick(&w.Form, Qt::Key_Escape);
    EXPECT_EQ(cancels.count(), 1);
}

// The glyph sits centred above the caption, which wraps onto more lines when the button is narrow.
TEST(ButtonsTest, GlyphAboveAWrappedCaption)
{
    TOVBitBtn button(QStringLiteral("Clear cookies and more"));
    button.setIcon(SolidIcon(Qt::red));
    button.setIconSize(QSize(16, 16));
    const QSize hint = button.sizeHint();
    EXPECT_GT(hint.height(), 16 + button.fontMetrics().height());
    button.resize(60, 90);
    QImage image(button.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    button.render(&image);
    int top = image.height(), bottom = -1, left = image.width(), right = -1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == QColor(Qt::red)) {
                top = qMin(top, y);
                bottom = qMax(bottom, y);
                left = qMin(left, x);
                right = qMax(right, x);
            }
        }
    }
    ASSERT_GE(bottom, 0) << "the glyph is painted";
    EXPECT_EQ(bottom - top, 15);
    EXPECT_LE(qAbs((left + right) / 2 - image.width() / 2), 2);
    EXPECT_LT(bottom, image.height() / 2);
}

TEST(ButtonsTest, PasswordEditMasksButKeepsTheClearText)
{
    TOVPassEdit edit;
    edit.setText(QStringLiteral("PaloKivi"));
    EXPECT_EQ(edit.text(), QStringLiteral("PaloKivi"));
    EXPECT_EQ(edit.echoMode(), QLineEdit::Password);
    EXPECT_NE(edit.displayText(), edit.text());
    EXPECT_TRUE(HoldsUserData(&edit));
}

}  // namespace

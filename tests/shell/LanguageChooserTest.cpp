// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the language chooser lists a temporary "Languages" folder and returns the user's pick.
#include "shell/LanguageChooser.h"

#include "shell/Buttons.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

void Write(const QString &path, const QByteArray &data)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList Items(const QComboBox *combo)
{
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

TEST(LanguageChooserTest, WithoutLanguageFilesOnlyEnglish)
{
    QTemporaryDir dir;
    TKieliIkkuna chooser(dir.path());
    EXPECT_EQ(chooser.windowTitle(), "Choose language");
    EXPECT_EQ(Items(chooser.Language), QStringList{"Default (English)"});
    EXPECT_EQ(chooser.ItemIndex(), 0);
    EXPECT_EQ(chooser.LangDir->text(), QDir(dir.path()).filePath("Languages") + "/");
    EXPECT_EQ(chooser.LangDir->toolTip(), chooser.LangDir->text());
}

TEST(LanguageChooserTest, ListsLanguageFilesWithFlags)
{
    QTemporaryDir dir;
    const QString languages = QDir(dir.path()).filePath("Languages");
    ASSERT_TRUE(QDir().mkpath(languages));
    Write(languages + "/Suomi.txt", "[Misc]\r\n");
    Write(languages + "/Deutsch.txt", "[Misc]\r\n");
    Write(languages + "/Svenska.txt", "[Misc]\r\n");
    Write(languages + "/readme.doc", "not a language");
    QImage red(20, 12, QImage::Format_RGB32);
    red.fill(Qt::red);
    ASSERT_TRUE(red.save(languages + "/Suomi.bmp", "BMP"));
    Write(languages + "/Deutsch.bmp", "BM damaged");

    TKieliIkkuna chooser(dir.path());
    QStringList items = Items(chooser.Language);
    ASSERT_EQ(items.size(), 4);
    EXPECT_EQ(items.takeFirst(), "Default (English)");
    items.sort();
    EXPECT_EQ(items, (QStringList{"Deutsch", "Suomi", "Svenska"}));

    const QImage unknown = LanguageFlags::UnknownFlag().pixmap(16, 16).toImage();
    const QImage english = LanguageFlags::DefaultFlag().pixmap(16, 16).toImage();
    auto flag = [&](const QString &name) {
        return chooser.Language->itemIcon(chooser.Language->findText(name)).pixmap(16, 16).toImage();
    };
    EXPECT_EQ(flag("Default (English)"), english);
    EXPECT_EQ(flag("Svenska"), unknown) << "no picture: the unknown flag";
    EXPECT_EQ(flag("Deutsch"), unknown) << "a damaged picture: still listed, with the unknown flag";
    EXPECT_EQ(flag("Suomi").pixelColor(8, 8), QColor(Qt::red));
}

TEST(LanguageChooserTest, ReturnsTheChoiceMadeWithOk)
{
    QTemporaryDir dir;
    const QString languages = QDir(dir.path()).filePath("Languages");
    ASSERT_TRUE(QDir().mkpath(languages));
    Write(languages + "/Suomi.txt", "[Misc]\r\n");

    int index = -1;
    QString language;
    QTimer::singleShot(0, [] {
        auto *chooser = qobject_cast<TKieliIkkuna *>(QApplication::activeModalWidget());
        ASSERT_NE(chooser, nullptr);
        chooser->Language->setCurrentIndex(chooser->Language->findText("Suomi"));
        QTest::mouseClick(chooser->Ok, Qt::LeftButton);
    });
    ASSERT_TRUE(TKieliIkkuna::ChooseLanguage(nullptr, dir.path(), &index, &language));
    EXPECT_EQ(index, 1);
    EXPECT_EQ(language, "Suomi");

    // Closed without OK: the preselected default stands.
    QTimer::singleShot(0, [] {
        if (QWidget *w = QApplication::activeModalWidget())
            w->close();
    });
    ASSERT_TRUE(TKieliIkkuna::ChooseLanguage(nullptr, dir.path(), &index, &language));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(language, "Default (English)");
}

} // namespace

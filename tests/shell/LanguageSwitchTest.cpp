// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: a language chosen while the program runs: each window takes the texts of its own section.
#include "WindowTour.h"

#include "shell/Buttons.h"
#include "shell/Main.h"
#include "shell/Options.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <ostream>

using TestSupport::TWindowTour;

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QString Text(QWidget *window, const char *name)
{
    if (auto *label = window->findChild<QLabel *>(QString::fromLatin1(name)))
        return label->text();
    if (auto *button = window->findChild<QAbstractButton *>(QString::fromLatin1(name)))
        return button->text();
    return QStringLiteral("(none)");
}

// Both files name Label1 of the main window and of the registry cleaner alike.
const QByteArray Suomi = "[PaaIkkuna]\r\nPaaIkkuna.Label1.Caption=Tervetuloa Vaskimoon!\r\n"
                         "[RegistryIkkuna]\r\nRegistryIkkuna.Label1.Caption=Ohita:\r\nRegistryIkkuna.btnFind.Caption=Etsi\r\n";
const QByteArray Deutsch = "[PaaIkkuna]\r\nPaaIkkuna.Label1.Caption=Willkommen bei Vaskimo!\r\n"
                           "PaaIkkuna.btnRegistry.Caption=Registrierung\r\n"
                           "[UndoIkkuna]\r\nUndoIkkuna.btnRefresh.Caption=Aktualisieren\r\n";

}  // namespace

TEST(LanguageSwitch, EachWindowTakesItsOwnSection)
{
    TWindowTour tour("[General]\r\nLanguage index=2\r\nLanguage=Suomi\r\n",
                     {{QStringLiteral("Languages/Suomi.txt"), Suomi}, {QStringLiteral("Languages/Deutsch.txt"), Deutsch}});
    ASSERT_TRUE(tour.Ready());
    TPaaIkkuna::RegisterTool(TToolKind::Options, [](QWidget *parent) { return new TOptionsIkkuna(parent, true); });
    TPaaIkkuna *main = tour.MainWindow();
    EXPECT_EQ(Text(main, "Label1"), "Tervetuloa Vaskimoon!");
    // A kept tool window, the main window's child, translated at its first showing.
    QWidget *cleaner = tour.Open(QStringLiteral("registry-cleaner"));
    ASSERT_TRUE(cleaner);
    EXPECT_EQ(Text(cleaner, "Label1"), "Ohita:");
    EXPECT_EQ(Text(cleaner, "btnFind"), "Etsi");

    // German through the options window, while the cleaner is kept.
    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto *options = qobject_cast<TOptionsIkkuna *>(QApplication::activeModalWidget());
        if (!options)
            return;
        auto *language = options->findChild<QComboBox *>(QStringLiteral("Language"));
        const int german = language ? language->findText(QStringLiteral("Deutsch")) : -1;
        if (german < 0)
            return;
        language->setCurrentIndex(german);
        chosen = true;
        options->accept();
    });
    main->findChild<TOVBitBtn *>(QStringLiteral("btnOptions"))->click();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(Text(main, "Label1"), "Willkommen bei Vaskimo!");
    EXPECT_EQ(Text(main, "btnRegistry"), "Registrierung");
    // The main window's texts stay in the main window.
    EXPECT_EQ(Text(cleaner, "Label1"), "Ohita:");
    EXPECT_EQ(Text(cleaner, "btnFind"), "Etsi");
    // A window shown first now reads the new file, its own section only.
    QWidget *undo = tour.Open(QStringLiteral("undo-manager"));
    ASSERT_TRUE(undo);
    EXPECT_EQ(Text(undo, "btnRefresh"), "Aktualisieren");
    for (const QLabel *label : undo->findChildren<QLabel *>())
        EXPECT_NE(label->text(), "Willkommen bei Vaskimo!") << label->objectName().toStdString();
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the Alt keys of every window: each button, box and label of an input has one of its own
// among the controls in sight with it, and pressing it does what the control does.
#include "WindowTour.h"

#include "help/HelpViewer.h"
#include "registry/WaitFor.h"
#include "shell/LanguageChooser.h"
#include "shell/Main.h"
#include "shell/Tulosta.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using TestSupport::TTourStop;
using TestSupport::TWindowTour;

namespace {

// The key a caption marks for Alt ("S&kip:" -> K, upper-cased); 0 for none ("&&" shows an "&").
int AltKey(const QString &caption)
{
    const QKeySequence key = QKeySequence::mnemonic(caption);
    return key.isEmpty() ? 0 : key[0].key();
}

QString Described(const QWidget *control, const QString &caption)
{
    return control->objectName() + QStringLiteral(" \"") + caption + u'"';
}

struct TControl {
    QWidget *Widget;
    QString Caption;
};

// What Alt can reach in the window as it shows now: its visible captioned buttons and boxes, and
// its visible labels of an input.
QList<TControl> InSight(QWidget *window)
{
    QList<TControl> controls;
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
        if (button->window() == window && button->isVisible() && !button->text().isEmpty())
            controls.append({button, button->text()});
    for (QLabel *label : window->findChildren<QLabel *>())
        if (label->window() == window && label->isVisible() && label->buddy())
            controls.append({label, label->text()});
    return controls;
}

// Presses Alt+key as a user does, with nothing focused first.
void PressAlt(QWidget *window, int key)
{
    if (QWidget *focus = QApplication::focusWidget())
        focus->clearFocus();
    QTest::keyClick(window, Qt::Key(key), Qt::AltModifier);
}

bool HasFocus(const QWidget *widget)
{
    const QWidget *focus = QApplication::focusWidget();
    return focus && (focus == widget || widget->isAncestorOf(focus));
}

// The tool windows share the main window as their transient parent, and Qt counts every window of
// such a family as active while one is: activateWindow() would do nothing.
bool Activate(QWidget *window)
{
    window->windowHandle()->requestActivate();
    return WaitFor([window] { return QApplication::activeWindow() == window; }, 5000);
}

// Every control in sight has an Alt key unless every letter of its caption is another's (a caption
// without a letter, such as "...", has none to mark); no two share one; a label's key focuses its
// input; and a label without an input marks nothing, or its "&" would show.
void ExpectOwnAltKeys(QWidget *window, const std::string &where)
{
    SCOPED_TRACE(where);
    const QList<TControl> controls = InSight(window);
    QMap<int, TControl> byKey;
    for (const TControl &c : controls) {
        const int key = AltKey(c.Caption);
        if (key == 0)
            continue;
        if (byKey.contains(key))
            ADD_FAILURE() << Described(c.Widget, c.Caption).toStdString() << " and "
                          << Described(byKey[key].Widget, byKey[key].Caption).toStdString() << " share Alt+"
                          << QKeySequence(key).toString().toStdString();
        else
            byKey.insert(key, c);
    }
    for (const TControl &c : controls) {
        if (AltKey(c.Caption) != 0)
            continue;
        QString free;
        for (const QChar ch : c.Caption)
            if (ch.isLetterOrNumber() && !free.contains(ch, Qt::CaseInsensitive)
                && !byKey.contains(AltKey(QStringLiteral("&") + ch)))
                free += ch;
        EXPECT_TRUE(free.isEmpty()) << Described(c.Widget, c.Caption).toStdString()
                                    << " has no Alt key, though it could take one of \"" << free.toStdString() << '"';
    }
    for (const QLabel *label : window->findChildren<QLabel *>()) {
        if (label->window() == window && !label->buddy() && label->textFormat() != Qt::RichText
            && !(label->textFormat() == Qt::AutoText && Qt::mightBeRichText(label->text()))) {
            EXPECT_EQ(AltKey(label->text()), 0)
                << Described(label, label->text()).toStdString() << " has no input to go to";
        }
    }

    ASSERT_TRUE(Activate(window));
    for (auto it = byKey.cbegin(); it != byKey.cend(); ++it) {
        auto *label = qobject_cast<QLabel *>(it.value().Widget);
        if (!label || !label->buddy()->isEnabled())
            continue;
        PressAlt(window, it.key());
        EXPECT_TRUE(HasFocus(label->buddy())) << Described(label, label->text()).toStdString() << ": Alt+"
                                              << QKeySequence(it.key()).toString().toStdString() << " goes elsewhere";
    }
}

// Each page of a tabbed window in turn, with the controls outside the pages.
void ExpectOwnAltKeysOnEveryPage(QWidget *window, const std::string &name)
{
    QTabWidget *pages = nullptr;
    for (QTabWidget *tabs : window->findChildren<QTabWidget *>())
        if (tabs->window() == window)
            pages = tabs;
    if (!pages) {
        ExpectOwnAltKeys(window, name);
        return;
    }
    const int shown = pages->currentIndex();
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentIndex(page);
        ExpectOwnAltKeys(window, name + ": " + pages->tabText(page).toStdString());
    }
    pages->setCurrentIndex(shown);
}

bool Clicked(QAbstractButton *button, QWidget *window, int key, int ms)
{
    QSignalSpy clicks(button, &QAbstractButton::clicked);
    PressAlt(window, key);
    return clicks.count() > 0 || clicks.wait(ms);
}

}  // namespace

TEST(Mnemonics, EveryControlOfEveryWindowHasAnAltKeyOfItsOwn)
{
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    for (const TTourStop &stop : tour.OpenAll()) {
        ASSERT_TRUE(stop.Window) << stop.Name.toStdString();
        ExpectOwnAltKeysOnEveryPage(stop.Window, stop.Name.toStdString());
    }
    const struct {
        const char *Name;
        std::function<QWidget *()> Make;
    } windows[] = {
        {"language chooser", [&] { return new TKieliIkkuna(QDir::tempPath(), tour.MainWindow()); }},
        {"progress", [&] { return new TTulostaIkkuna(tour.MainWindow()); }},
        {"help viewer", [] { return new THelpViewer; }},
    };
    for (const auto &w : windows) {
        std::unique_ptr<QWidget> window(w.Make());
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get())) << w.Name;
        ExpectOwnAltKeysOnEveryPage(window.get(), w.Name);
    }
}

TEST(Mnemonics, AButtonsAltKeyPressesItAndABoxsTicksIt)
{
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    QWidget *cleaner = tour.Open(QStringLiteral("registry-cleaner"));
    ASSERT_TRUE(cleaner);
    auto *list = cleaner->findChild<QTreeView *>(QStringLiteral("EntryList"));
    ASSERT_TRUE(list);
    ASSERT_GT(list->model()->rowCount(), 1) << "the demo prefix's invalid values";
    list->clearSelection();
    ASSERT_TRUE(Activate(cleaner));
    PressAlt(cleaner, Qt::Key_L);  // "Se&lect all"
    EXPECT_TRUE(WaitFor([&] { return list->selectionModel()->selectedRows().size() == list->model()->rowCount(); },
                        2000));

    QWidget *options = tour.Open(QStringLiteral("options"));
    ASSERT_TRUE(options);
    auto *splash = options->findChild<QCheckBox *>(QStringLiteral("ShowSplash"));
    ASSERT_TRUE(splash && splash->isVisible());
    const bool was = splash->isChecked();
    ASSERT_TRUE(Activate(options));
    PressAlt(options, Qt::Key_S);  // "&Show splashscreen"
    EXPECT_TRUE(WaitFor([&] { return splash->isChecked() != was; }, 2000));
    // The same letter on a page out of sight is not pressed: the page's own label takes it.
    auto *pages = options->findChild<QTabWidget *>(QStringLiteral("Asetukset"));
    auto *undoFolder = options->findChild<QLineEdit *>(QStringLiteral("UndoHakemisto"));
    ASSERT_TRUE(pages && undoFolder);
    pages->setCurrentWidget(undoFolder->parentWidget());
    PressAlt(options, Qt::Key_S);  // "&Save undo files to:"
    EXPECT_TRUE(WaitFor([&] { return HasFocus(undoFolder); }, 2000));
    EXPECT_EQ(splash->isChecked(), !was);
}

// A language file's caption brings its own Alt key, or none: the design's is neither kept nor added.
TEST(Mnemonics, ALanguageFileBringsItsOwnAltKeys)
{
    const struct {
        const char *Name;
        const char *Caption;  // as the file gives it
        int Key;              // the Alt key it answers to, 0 for none
        int DesignKey;        // the design's own, which it no longer answers to
    } cases[] = {
        {"btnSelectAll", "&Valitse kaikki", Qt::Key_V, Qt::Key_L},
        {"Label1", "O&hita && jatka:", Qt::Key_H, Qt::Key_K},
        {"btnFind", "Etsi", 0, Qt::Key_F},
    };
    QByteArray suomi = "[RegistryIkkuna]\r\n";
    for (const auto &c : cases)
        suomi += QByteArray("RegistryIkkuna.") + c.Name + ".Caption=" + c.Caption + "\r\n";
    TWindowTour tour("[General]\r\nLanguage index=2\r\nLanguage=Suomi\r\n",
                     {{QStringLiteral("Languages/Suomi.txt"), suomi}});
    ASSERT_TRUE(tour.Ready());
    QWidget *cleaner = tour.Open(QStringLiteral("registry-cleaner"));
    ASSERT_TRUE(cleaner);
    ASSERT_TRUE(Activate(cleaner));
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        auto *control = cleaner->findChild<QWidget *>(QLatin1String(c.Name));
        auto *button = qobject_cast<QAbstractButton *>(control);
        auto *label = qobject_cast<QLabel *>(control);
        ASSERT_TRUE(button || (label && label->buddy()));
        const QString caption = button ? button->text() : label->text();
        EXPECT_EQ(caption.toStdString(), c.Caption);
        EXPECT_EQ(AltKey(caption), c.Key);
        const auto answers = [&](int key, int ms) {
            if (button)
                return Clicked(button, cleaner, key, ms);
            PressAlt(cleaner, key);
            return HasFocus(label->buddy());
        };
        if (c.Key != 0) {
            EXPECT_TRUE(answers(c.Key, 2000));
        }
        EXPECT_FALSE(answers(c.DesignKey, 300));
    }
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what a user reads in every window at its default size, after a search on the demo prefix.
#include "WindowTour.h"

#include "platform/Registry.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

using TestSupport::TTourStop;
using TestSupport::TWindowTour;

namespace {

// One tour for the whole binary: copying the prefix and running every search once is enough.
class WindowLook : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The user's own formats, unlike any built-in one or the host's, so that every list and
        // status text must take them: read as the program starts.
        bool formats = false;
        Tour = new TWindowTour({}, {}, [&formats] {
            TRegistry international(TRootKey::CurrentUser);
            if (!international.OpenKey(QStringLiteral("\\Control Panel\\International"), true))
                return;
            international.WriteString(QStringLiteral("sShortDate"), QStringLiteral("dd.MM.yyyy"));
            international.WriteString(QStringLiteral("sTimeFormat"), QStringLiteral("HH:mm:ss"));
            international.WriteString(QStringLiteral("sThousand"), QStringLiteral("."));
            international.WriteString(QStringLiteral("sDecimal"), QStringLiteral(","));
            formats = true;
        });
        if (!Tour->Ready() || !formats)
            return;
        Stops = new QList<TTourStop>(Tour->OpenAll());
    }
    static void TearDownTestSuite()
    {
        delete Stops;
        Stops = nullptr;
        delete Tour;
        Tour = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(Stops) << "the demo prefix could not be copied"; }

    static QWidget *Window(const QString &name)
    {
        for (const TTourStop &stop : *Stops)
            if (stop.Name == name)
                return stop.Window;
        return nullptr;
    }

    static TWindowTour *Tour;
    static QList<TTourStop> *Stops;
};

TWindowTour *WindowLook::Tour = nullptr;
QList<TTourStop> *WindowLook::Stops = nullptr;

// A caption as the user reads it: "&&" is an "&", a single "&" marks the next letter.
QString Shown(QString caption)
{
    caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    caption.remove(u'&');
    return caption.replace(u'\x01', u'&');
}

bool Deletes(const QAbstractButton *button)
{
    static const QRegularExpression deleting(QStringLiteral("^(Delete|Uninstall|Clear)\\b"),
                                             QRegularExpression::CaseInsensitiveOption);
    return deleting.match(Shown(button->text())).hasMatch();
}

// Every column lies inside the list's view, under its caption, and is no narrower than the caption.
void ExpectEveryColumnInside(const QTreeView *list, const QStringList &captions)
{
    const QHeaderView *header = list->header();
    ASSERT_EQ(header->count(), captions.size());
    const QFontMetrics metrics(header->font());
    for (int column = 0; column < header->count(); ++column) {
        SCOPED_TRACE(captions[column].toStdString());
        EXPECT_EQ(list->model()->headerData(column, Qt::Horizontal).toString(), captions[column]);
        EXPECT_GE(header->sectionViewportPosition(column), 0);
        EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column), list->viewport()->width());
        EXPECT_GE(header->sectionSize(column), metrics.horizontalAdvance(captions[column]));
    }
}

// Every cell of the columns is read whole: as wide as the list's own delegate asks for it.
void ExpectColumnsUncut(const QTreeView *list, const QList<int> &columns)
{
    for (int column : columns) {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex cell = list->model()->index(row, column);
            const QString text = cell.data().toString();
            EXPECT_GE(list->header()->sectionSize(column), list->fontMetrics().horizontalAdvance(text)) << text.toStdString();
            EXPECT_GE(list->header()->sectionSize(column), list->sizeHintForIndex(cell).width()) << text.toStdString();
        }
    }
}

// Every node of the tree is read whole inside it, none below its bottom, or (those of `mayCut`)
// shows its whole text in its tooltip; gives their number.
int ExpectEveryNodeWhole(QTreeWidget *tree, const QList<QTreeWidgetItem *> &mayCut = {})
{
    int nodes = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it, ++nodes) {
        const QRect node = tree->visualItemRect(*it);
        SCOPED_TRACE((*it)->text(0).toStdString());
        EXPECT_GE(node.left(), 0);
        EXPECT_LE(node.bottom(), tree->viewport()->height());
        const int right = node.left() + tree->sizeHintForIndex(tree->indexFromItem(*it)).width();
        if (mayCut.contains(*it) && right > tree->viewport()->width())
            EXPECT_EQ((*it)->toolTip(0), (*it)->text(0));
        else
            EXPECT_LE(right, tree->viewport()->width());
    }
    return nodes;
}

}  // namespace

TEST_F(WindowLook, EnterNeverPressesAButtonThatDeletes)
{
    for (const TTourStop &stop : *Stops) {
        SCOPED_TRACE(stop.Name.toStdString());
        ASSERT_TRUE(stop.Window);
        QList<QPushButton *> buttons = stop.Window->findChildren<QPushButton *>();
        buttons.removeIf([&](const QPushButton *b) { return b->window() != stop.Window; });
        for (QPushButton *button : buttons)
            EXPECT_FALSE(button->isDefault() && Deletes(button)) << "default: " << button->text().toStdString();
        // A button with the focus becomes the default when it is an auto-default one.
        for (QPushButton *button : buttons) {
            if (!Deletes(button))
                continue;
            SCOPED_TRACE(button->text().toStdString());
            button->setFocus();
            EXPECT_FALSE(button->autoDefault());
            EXPECT_FALSE(button->isDefault());
        }
    }
}

TEST_F(WindowLook, RegistryCleanerShowsEveryColumnInsideTheList)
{
    auto *list = Window(QStringLiteral("registry-cleaner"))->findChild<QTreeView *>(QStringLiteral("EntryList"));
    ASSERT_TRUE(list);
    ASSERT_GE(list->model()->rowCount(), 6) << "the demo prefix's invalid values";
    ExpectEveryColumnInside(list, {"Root", "Registry key", "Modified", "String value", "File/path reference"});
    // Short columns are never cut: every root and every date is read whole.
    ExpectColumnsUncut(list, {0, 2});
}

TEST_F(WindowLook, StartupManagerShowsEveryColumnInsideTheListAndSaysWhatItCounts)
{
    QWidget *startup = Window(QStringLiteral("startup-manager"));
    auto *list = startup->findChild<QTreeView *>(QStringLiteral("FileList"));
    ASSERT_TRUE(list);
    // The demo prefix's two run values, "DemoUpdater" and "Viewer", under "All programs".
    ASSERT_EQ(list->model()->rowCount(), 2);
    ExpectEveryColumnInside(list, {"Program", "File", "Physical location", "Value", "Data"});
    // The program names and value names are read whole.
    ExpectColumnsUncut(list, {0, 3});
    // So is every caption of the category tree beside it.
    auto *tree = startup->findChild<QTreeWidget *>(QStringLiteral("trvCategories"));
    ASSERT_TRUE(tree);
    EXPECT_EQ(ExpectEveryNodeWhole(tree), 12);
    auto *status = startup->findChild<QLabel *>(QStringLiteral("StatusText"));
    ASSERT_TRUE(status);
    EXPECT_TRUE(status->isVisible());
    EXPECT_EQ(status->text(), "Startup entries in this category: 2");
}

TEST_F(WindowLook, UndoManagerShowsTheUndoFileAndFillsTheWindow)
{
    QWidget *undo = Window(QStringLiteral("undo-manager"));
    auto *tree = undo->findChild<QTreeWidget *>(QStringLiteral("PuuNakyy"));
    ASSERT_TRUE(tree);
    // The registry cleaner's first undo file of a program run, read whole below its folder, which
    // is whole too or shows its whole path in its tooltip; the captions of the list beside them
    // are read whole.
    const QList<QTreeWidgetItem *> found = tree->findItems(QStringLiteral("VKUndo01"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(found.size(), 1);
    ASSERT_TRUE(found[0]->parent());
    EXPECT_EQ(ExpectEveryNodeWhole(tree, {found[0]->parent()}), 2);
    auto *list = undo->findChild<QTreeView *>(QStringLiteral("EntryList"));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->model()->rowCount(), 6) << "the registry cleaner's finds";
    ExpectEveryColumnInside(list, {"Root/Source file", "Registry key/Section", "Name", "Data"});

    // The list and tree reach down to the buttons, the buttons sit on the status bar.
    auto *status = undo->findChild<QStatusBar *>();
    auto *close = undo->findChild<QAbstractButton *>(QStringLiteral("btnClose"));
    ASSERT_TRUE(status && close);
    EXPECT_EQ(status->geometry().bottom(), undo->height() - 1);
    EXPECT_LE(status->height(), 2 * status->sizeHint().height());
    EXPECT_LE(status->geometry().top() - close->geometry().bottom(), 12);
    EXPECT_LE(close->geometry().top() - tree->mapTo(undo, QPoint(0, tree->height())).y(), 12);
}

TEST_F(WindowLook, CaptionsShowAnAmpersandWhereOneIsMeant)
{
    // An "&" before a blank is no mnemonic: it would show as "_" under the blank.
    const QRegularExpression strayMnemonic(QStringLiteral("(^|[^&])(&&)*&(\\s|$)"));
    for (const TTourStop &stop : *Stops) {
        SCOPED_TRACE(stop.Name.toStdString());
        QStringList captions;
        for (const QAbstractButton *button : stop.Window->findChildren<QAbstractButton *>())
            captions << button->text();
        for (const QGroupBox *group : stop.Window->findChildren<QGroupBox *>())
            captions << group->title();
        for (const QLabel *label : stop.Window->findChildren<QLabel *>())
            if (label->buddy())
                captions << label->text();
        for (const QString &caption : captions)
            EXPECT_FALSE(strayMnemonic.match(caption).hasMatch()) << caption.toStdString();
    }
    auto *sameDate = Window(QStringLiteral("options"))->findChild<QAbstractButton *>(QStringLiteral("SameDate"));
    ASSERT_TRUE(sameDate);
    EXPECT_EQ(Shown(sameDate->text()), "Same date & time");
}

TEST_F(WindowLook, OptionsShowEveryPageAndWhatItsBoxesMean)
{
    QWidget *options = Window(QStringLiteral("options"));
    auto *pages = options->findChild<QTabWidget *>(QStringLiteral("Asetukset"));
    auto *list = options->findChild<QListWidget *>(QStringLiteral("PageList"));
    ASSERT_TRUE(pages && list);
    EXPECT_FALSE(pages->tabBar()->isVisible()) << "no tabs to scroll through";
    const QStringList captions = {"General",    "Appearance",      "Scheduling",        "Update",
                                  "Registry",   "Add/remove",      "Duplicate files",   "Unnecessary files",
                                  "Shortcuts",  "Space usage",     "Startup"};
    ASSERT_EQ(list->count(), captions.size());
    for (int page = 0; page < list->count(); ++page) {
        SCOPED_TRACE(captions[page].toStdString());
        EXPECT_EQ(list->item(page)->text(), captions[page]);
        const QRect row = list->visualItemRect(list->item(page));
        EXPECT_LE(row.left() + list->fontMetrics().horizontalAdvance(captions[page]), list->viewport()->width());
        EXPECT_LE(row.bottom(), list->viewport()->height());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row.center());
        EXPECT_EQ(pages->currentIndex(), page);
    }
    pages->setCurrentIndex(0);

    // A ticked shortcut box means "ignore": the group says so.
    for (const char *name : {"RemovableFile", "NetworkFile", "InternetAddress", "EmptyFolder"}) {
        auto *box = options->findChild<QAbstractButton *>(QString::fromLatin1(name));
        ASSERT_TRUE(box) << name;
        auto *group = qobject_cast<QGroupBox *>(box->parentWidget());
        ASSERT_TRUE(group) << name;
        EXPECT_EQ(group->title(), "Ignore");
    }
    // The custom folders' list says what it holds.
    auto *folders = options->findChild<QListWidget *>(QStringLiteral("CustomDir"));
    ASSERT_TRUE(folders);
    bool captioned = false;
    for (const QLabel *label : options->findChildren<QLabel *>())
        captioned = captioned || (label->buddy() == folders && Shown(label->text()) == "Custom directories:");
    EXPECT_TRUE(captioned);
    // Colours by the names a user knows, the program's own names kept out of sight.
    auto *colour = options->findChild<QComboBox *>(QStringLiteral("BGColor"));
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->currentText(), "Button face");
    for (int i = 0; i < colour->count(); ++i)
        EXPECT_FALSE(colour->itemText(i).startsWith("cl")) << colour->itemText(i).toStdString();
}

TEST_F(WindowLook, ListsShowDatesSizesAndTypesAlike)
{
    const QRegularExpression prefixDate(QStringLiteral("^\\d\\d\\.\\d\\d\\.\\d{4}( \\d\\d:\\d\\d:\\d\\d)?$"));
    const QRegularExpression fourDigits(QStringLiteral("\\d{4}"));
    const QRegularExpression prefixNumber(QStringLiteral("^\\d{1,3}(\\.\\d{3})*( K)?$"));
    int dates = 0, sizes = 0, types = 0;
    for (const TTourStop &stop : *Stops) {
        for (const QTreeView *list : stop.Window->findChildren<QTreeView *>()) {
            if (list->window() != stop.Window || !list->model())
                continue;
            const QAbstractItemModel *model = list->model();
            for (int column = 0; column < model->columnCount(); ++column) {
                const QString caption = model->headerData(column, Qt::Horizontal).toString();
                for (int row = 0; row < model->rowCount(); ++row) {
                    const QString cell = model->index(row, column).data().toString().trimmed();
                    SCOPED_TRACE(stop.Name.toStdString() + ": " + caption.toStdString() + ": " + cell.toStdString());
                    if (cell.isEmpty())
                        continue;
                    if (caption == u"Modified") {
                        ++dates;
                        EXPECT_TRUE(prefixDate.match(cell).hasMatch()) << "the prefix's date and time formats";
                    } else if (caption == u"Size") {
                        ++sizes;
                        EXPECT_FALSE(fourDigits.match(cell).hasMatch()) << "thousands are grouped";
                        EXPECT_TRUE(prefixNumber.match(cell).hasMatch()) << "the prefix's separators";
                    } else if (caption == u"Type") {
                        ++types;
                        EXPECT_NE(cell, "unknown");
                    }
                }
            }
        }
    }
    // The registry cleaner's keys, the unnecessary files and the duplicates.
    EXPECT_GE(dates, 6 + 5 + 2);
    EXPECT_GE(sizes, 5 + 2 + 4);
    EXPECT_GE(types, 5 + 2);

    // A ".tmp" file has no class in a Wine prefix: the shell calls its type after the extension.
    auto *unnecessary = Window(QStringLiteral("unnecessary-files"))->findChild<QTreeView *>(QStringLiteral("FileList"));
    ASSERT_TRUE(unnecessary);
    int tmp = 0;
    for (int row = 0; row < unnecessary->model()->rowCount(); ++row) {
        if (unnecessary->model()->index(row, 0).data().toString().endsWith(".tmp")) {
            ++tmp;
            EXPECT_EQ(unnecessary->model()->index(row, 2).data().toString(), "TMP File");
        }
    }
    EXPECT_EQ(tmp, 3);
}

TEST_F(WindowLook, EveryListKeepsItsColumnsInsideAndShowsACutTextWholeInItsTooltip)
{
    int lists = 0, cut = 0;
    for (const TTourStop &stop : *Stops) {
        for (QTreeView *list : stop.Window->findChildren<QTreeView *>()) {
            if (qobject_cast<QTreeWidget *>(list) || list->window() != stop.Window || !list->isVisible()
                || !list->model() || list->model()->rowCount() == 0)
                continue;
            SCOPED_TRACE(stop.Name.toStdString() + ": " + list->objectName().toStdString());
            ++lists;
            const QHeaderView *header = list->header();
            const int inside = list->viewport()->width();
            int used = 0;
            for (int column = 0; column < header->count(); ++column) {
                EXPECT_GE(header->sectionViewportPosition(column), 0);
                EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column), inside);
                used += header->sectionSize(column);
            }
            bool anyCut = false;
            for (int row = 0; row < list->model()->rowCount(); ++row) {
                for (int column = 0; column < header->count(); ++column) {
                    const QModelIndex cell = list->model()->index(row, column);
                    const QString text = cell.data().toString();
                    if (text.isEmpty() || list->sizeHintForIndex(cell).width() <= header->sectionSize(column))
                        continue;
                    anyCut = true;
                    ++cut;
                    QToolTip::hideText();
                    const QRect rect = list->visualRect(cell);
                    QHelpEvent help(QEvent::ToolTip, rect.center(), list->viewport()->mapToGlobal(rect.center()));
                    QCoreApplication::sendEvent(list->viewport(), &help);
                    EXPECT_TRUE(QToolTip::isVisible()) << text.toStdString();
                    EXPECT_EQ(QToolTip::text(), text);
                }
            }
            QToolTip::hideText();
            // A text is cut only when the columns fill the list.
            if (anyCut) {
                EXPECT_GE(used, inside - 1);
            }
        }
    }
    // The registry cleaner, startup manager, add/remove list, unnecessary files, duplicates, space
    // usage and undo manager; the demo prefix's long paths do not fit the default sizes.
    EXPECT_EQ(lists, 7);
    EXPECT_GT(cut, 0);
}

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: every tool window opens as the last one of its kind was closed: its size, maximized or
// not, and its list's sort, through its section of Options.ini.
#include "WindowTour.h"

#include "files/Charts.h"
#include "files/Duplicate.h"
#include "files/Start.h"
#include "files/Unnecessary.h"
#include "platform/IniFile.h"
#include "registry/LisaaPoista.h"
#include "registry/Rekisteri.h"
#include "registry/Startup.h"
#include "registry/Undo.h"
#include "registry/WaitFor.h"
#include "shell/Main.h"
#include "shell/ToolWindow.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QHeaderView>
#include <QTest>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using TestSupport::TWindowTour;

namespace {

struct TTool {
    const char *Name;
    std::function<TToolWindow *(QWidget *main)> Make;
    const char *Section;
    const char *List;  // the list whose header sorts; nullptr: the window keeps no sort
    int Column;        // a column other than the default one
};

template <class T>
std::function<TToolWindow *(QWidget *)> Maker()
{
    return [](QWidget *main) -> TToolWindow * {
        auto *window = new T(main);
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        return window;
    };
}

const TTool Tools[] = {
    {"registry cleaner", Maker<TRegistryIkkuna>(), "Registry", "EntryList", 1},
    {"startup manager", Maker<TStartupIkkuna>(), "Startup", "FileList", 2},
    {"add/remove", Maker<TLisaaPoistaIkkuna>(), "Add/remove", "FileList", 1},
    {"undo manager", Maker<TUndoIkkuna>(), "Undo", "EntryList", 1},
    {"unnecessary files", Maker<TTurhaIkkuna>(), "Unnecessary files", "FileList", 3},
    {"space usage", Maker<TKaavioIkkuna>(), "Space usage", "Lista", 1},
    {"duplicate files", Maker<TKaksoisIkkuna>(), "Duplicate files", nullptr, -1},
    {"invalid shortcuts", Maker<TStartIkkuna>(), "Shortcuts", nullptr, -1},
};

void ShowAndSettle(QWidget *window)
{
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    QCoreApplication::processEvents();
    const auto *stop = window->findChild<QAbstractButton *>(QStringLiteral("btnStop"));
    ASSERT_TRUE(WaitFor([stop] { return !stop || !stop->isEnabled(); })) << "a search the window starts by itself ends";
}

void ClickHeader(QWidget *window, const char *list, int column)
{
    auto *view = window->findChild<QTreeView *>(QString::fromLatin1(list));
    ASSERT_TRUE(view);
    QHeaderView *header = view->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
}

}  // namespace

TEST(WindowSession, EveryToolWindowOpensAsTheLastOneClosed)
{
    TWindowTour tour;
    ASSERT_TRUE(tour.Ready());
    const QString options = tour.ProgramFolder() + QStringLiteral("Options.ini");
    for (const TTool &tool : Tools) {
        SCOPED_TRACE(tool.Name);
        QSize size;
        {
            std::unique_ptr<TToolWindow> first(tool.Make(tour.MainWindow()));
            ShowAndSettle(first.get());
            if (tool.List) {
                // Once sorts forward by the column, again turns it backward.
                ClickHeader(first.get(), tool.List, tool.Column);
                ClickHeader(first.get(), tool.List, tool.Column);
                ASSERT_EQ(first->SortColumn(), tool.Column);
                ASSERT_FALSE(first->SortForward());
            }
            // Smaller than shown, unless the layout cannot be: then larger.
            const QSize least = first->minimumSize().expandedTo(first->minimumSizeHint());
            size = first->size() - QSize(16, 12);
            if (size.width() < least.width() || size.height() < least.height())
                size = first->size() + QSize(16, 12);
            first->resize(size);
            QCoreApplication::processEvents();
            ASSERT_EQ(first->size(), size);
            first->close();
        }
        {
            const TIniFile ini(options);
            EXPECT_EQ(ini.ReadString(tool.Section, "Maximized", ""), "0");
            EXPECT_EQ(ini.ReadInteger(tool.Section, "Width", 0), size.width());
            EXPECT_EQ(ini.ReadInteger(tool.Section, "Height", 0), size.height());
            if (tool.List) {
                EXPECT_EQ(ini.ReadString(tool.Section, "Sort forward", ""), "0");
                EXPECT_EQ(ini.ReadInteger(tool.Section, "Sort by column", -1), tool.Column);
            }
        }
        {
            std::unique_ptr<TToolWindow> next(tool.Make(tour.MainWindow()));
            EXPECT_EQ(next->size(), size);
            EXPECT_FALSE(next->isMaximized());
            if (tool.List) {
                EXPECT_EQ(next->SortColumn(), tool.Column);
                EXPECT_FALSE(next->SortForward());
            }
            ShowAndSettle(next.get());
            next->showMaximized();
            QCoreApplication::processEvents();
            next->close();
        }
        {
            const TIniFile ini(options);
            EXPECT_EQ(ini.ReadString(tool.Section, "Maximized", ""), "1");
        }
        std::unique_ptr<TToolWindow> last(tool.Make(tour.MainWindow()));
        EXPECT_TRUE(last->windowState() & Qt::WindowMaximized);
    }
}

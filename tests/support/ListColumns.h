// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what a user reads of a report list's columns: inside the list, and each cell whole.
#pragma once

#include <QHeaderView>
#include <QTreeView>

#include <gtest/gtest.h>

namespace TestSupport {

// Every column lies inside the list's view: no scrolling sideways to reach one.
inline void ExpectColumnsFitInside(const QTreeView *list)
{
    const QHeaderView *header = list->header();
    for (int column = 0; column < header->count(); ++column) {
        EXPECT_GE(header->sectionViewportPosition(column), 0) << "column " << column;
        EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column), list->viewport()->width())
            << "column " << column;
    }
}

// Every cell is as wide as the list's own delegate asks for it: none is cut.
inline void ExpectEveryCellWhole(const QTreeView *list)
{
    const QAbstractItemModel *model = list->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        for (int column = 0; column < model->columnCount(); ++column) {
            const QModelIndex cell = model->index(row, column);
            if (list->header()->sectionSize(column) < list->sizeHintForIndex(cell).width()) {
                ADD_FAILURE() << "row " << row << ", column " << column << " cut: " << cell.data().toString().toStdString();
                return;
            }
        }
    }
}

}  // namespace TestSupport

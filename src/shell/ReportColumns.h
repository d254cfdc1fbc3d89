// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: report-list columns that fit their view: every column inside the list, long texts cut in
// the middle and shown whole in their tooltip.
#pragma once

#include <QList>

class QTreeView;
class TLongestTexts;

namespace ReportColumns {
// The widths of columns that want `wanted` pixels inside `available`: as wanted when all fit;
// otherwise the narrow columns keep theirs and the wide ones share the rest evenly, none below
// its floor (or its wanted width, when that is smaller).
QList<int> Share(const QList<int> &wanted, const QList<int> &floors, int available);

// What a column asks for: its caption's width, its cells' widest, and whether any cell holds text.
struct TColumnNeed {
    int Caption = 0;
    int Content = 0;
    bool HasText = true;
};
// The widths of the columns inside `available`: all as wide as caption and content ask when they
// fit. Otherwise a column without text gives up its caption's room first, down to `least`, and
// the others share as Share() does, never below their captions; what is left over widens the
// columns without text again towards their captions.
QList<int> Widths(const QList<TColumnNeed> &needs, int least, int available);

// Sizes the view's columns to their captions and contents within its width, now and whenever the
// view is resized. Call it when the list's rows have changed (a search ended, a file was loaded).
// The view measures the rows about those in sight; a long list gives the texts that can be each
// column's widest anywhere in it as `longest`.
void Fit(QTreeView *view);
void Fit(QTreeView *view, const TLongestTexts &longest);

// The width a cell of column needs for the widest of texts, with the room the view's cells take
// around their text (an icon, margins) as its first row shows it.
int ContentWidth(const QTreeView *view, int column, const QStringList &texts);
}

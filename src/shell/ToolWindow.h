// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the tool windows share: no closing during a search, the main window's look, the
// list's sort, the listing's file name, and their settings section's size and sort keys.
#pragma once

#include <QList>
#include <QString>

#include <functional>

class QAbstractItemView;
class QCloseEvent;
class QEvent;
class QTreeView;
class QWidget;
class TIniFile;
class TReportModel;
struct TSettings;

namespace ToolWindow {
// A window does not close while it searches: it stops the search instead. True when the close was
// refused; `event` (when given) is ignored then.
bool StopInsteadOfClose(bool searching, const std::function<void()> &stop, QCloseEvent *event = nullptr);

// Paints the main window's background picture over `window` (nothing without a main window).
void PaintMainBackground(QWidget *window, bool useBuiltIn = false);

// The settings' window colour and, when one is named, their font.
void ApplyLook(QWidget *window, const TSettings *settings);

// Minimizing a tool window minimizes the program with it (call from changeEvent).
void MinimizeWithMain(QWidget *window, QEvent *event);

// A click on a column header: the sort column again turns the order, another column sorts forward.
void TurnSort(int clicked, int &column, bool &forward);
// Shows the sort on a list: the model's shaded column and the header's indicator.
void ShowSort(QTreeView *view, TReportModel *model, int column, bool forward);

// Keeps every window of the program inside its screen's available area: each time a window is
// shown it is made no larger than the area and moved inside, and one whose layout cannot become
// that small shows its contents in a scroll area. Once for the application; again does nothing.
void KeepWindowsOnScreen();
// The same for one window, now.
void FitOnScreen(QWidget *window);

// The rows selected in a list (whose selection takes whole rows), top to bottom.
QList<int> SelectedRows(const QAbstractItemView *view);

// Asks where to save a listing: XHTML or text. A name typed without an extension takes the chosen
// filter's (".txt" or ".htm"); the content is XHTML either way. Empty when cancelled.
QString ListingFileName(QWidget *parent);

// "Width", "Height" (defaults: the window's size) and "Maximized".
void ReadGeometry(QWidget *window, const TIniFile &ini, const QString &section);
// "Maximized"; the size only when the window is not maximized.
void WriteGeometry(const QWidget *window, TIniFile &ini, const QString &section);
// The other form of the same keys: maximized when "Maximized" is 1, else sized by "Width" and
// "Height" (defaults: the window's size)...
void ReadSizeOrMaximized(QWidget *window, const TIniFile &ini, const QString &section);
// ...and "Maximized" with the size written whether maximized or not.
void WriteSizeAndMaximized(const QWidget *window, TIniFile &ini, const QString &section);

// Writes a window's settings out. "Options.ini" that cannot be written keeps what it held, and the
// user is told why (a box; standard error where nobody can see one).
bool SaveSettings(TIniFile &ini);
// The same telling, for a writer that has only the reason ("Cannot write ...: No space left on device").
void SettingsNotSaved(const QString &error);

// "Sort forward" (default true) and "Sort by column" (kept within 0..lastColumn).
void ReadSort(const TIniFile &ini, const QString &section, int defaultColumn, int lastColumn, int &column,
              bool &forward);
void WriteSort(TIniFile &ini, const QString &section, int column, bool forward);
}

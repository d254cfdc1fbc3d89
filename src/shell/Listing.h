// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: printing a report list as a ruled landscape table, and saving it as an XHTML 1.0 page.
//
// Both read what the view shows: the header's captions and on-screen widths, and the model's
// top-level rows in the view's order (column 0 is the row's caption, column i its (i - 1)-th
// sub-item; a cell whose display data is invalid counts as a missing sub-item). Hidden columns are
// left out. The rows are copied first, so a model that changes while the job runs does not change it.
// The caller has already run its print or save dialog; both services then ask, when rows are
// selected, whether only those are wanted (Yes, No, Cancel).
#pragma once

#include <QString>

#include <functional>

class QPrinter;
class QTreeView;
class QWidget;

enum class TListingRows { Selected, All, Cancel };
enum class TListingResult { Done, Cancelled, Aborted, Failed };

namespace Listing {
// The question "only the selected items?" with Yes, No and Cancel. The default shows a real box,
// except while a MessageBoxes handler is installed (batch mode, tests): then it goes through that
// seam as a Yes/No question (Yes = selected). Returns the previous handler; empty restores the default.
using TRowsQuestion = std::function<TListingRows(QWidget *parent, const QString &text)>;
TRowsQuestion SetRowsQuestion(TRowsQuestion question);

// Called once per printed row with (done, total) after the progress window moved; tests press
// Abort from here. Empty: none.
using TPrintStep = std::function<void(int done, int total)>;
void SetPrintStepHook(TPrintStep hook);

// The main window's print dialog over printer (printing to a file allowed). False when cancelled.
bool RunPrintDialog(QWidget *parent, QPrinter &printer);
// The main window's save dialog: "HTML-files (*.htm *.html)" and "Text files (*.txt)", default
// extension "htm" (SaveDialogTypeChange makes it "txt" for any filter but the first; the content
// stays XHTML), asks before overwriting. The chosen host path, or empty when cancelled.
QString RunSaveDialog(QWidget *parent);
// SaveDialogTypeChange: the default extension for the filter of this index (0 = the first).
QString DefaultExtension(int filterIndex);

// The encoding name an XHTML file in this ANSI code page declares ("windows-1252").
QString CodePageCharset(int codePage);
}

// Prints the view on printer (its settings as the print dialog left them); the job's title is
// title, orientation landscape. Shows the progress window (not modal) with Abort over parent.
// Failed when the printer cannot start the job.
TListingResult PrintListView(QTreeView *view, const QString &title, QPrinter &printer, QWidget *parent = nullptr);

// Writes the XHTML document to fileName (a host path), replacing it only when the whole document
// was written. Every text is escaped; the bytes are in codePage (default: the prefix's ANSI code page)
// as the document declares, a character the code page lacks written as a character reference.
// A failure shows an error through MessageBoxes and returns Failed (an old file stays as it was).
TListingResult SaveListViewHtml(QTreeView *view, const QString &fileName, const QString &title, QWidget *parent = nullptr,
                                int codePage = 0);

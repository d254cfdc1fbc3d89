// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: what the tool windows share: TToolWindow, their one frame (the settings section's size and
// sort keys, no closing during a search, the main window's look, minimizing with it), and the rules
// it is made of: the list's sort, the listing's file name, the size keys' two forms.
#pragma once

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QAbstractItemView;
class QCloseEvent;
class QEvent;
class QTreeView;
class QWidget;
class TIniFile;
class TReportModel;
struct TBatchState;
struct TSettings;

// The frame of a tool window. Its section of "Options.ini" is read when the window is made and
// written when it goes, the window naming its own keys and where the size and sort keys stand among
// them; a close during a search stops the search; each showing takes the settings' look; the main
// window's background is painted behind it; and minimizing it can minimize the program.
class TToolWindow : public QDialog
{
    Q_OBJECT
public:
    // "Maximized", "Width" and "Height": the size kept only while not maximized and read under the
    // maximized state, so that restoring it gives the size back (WhenNormal), or written always and
    // read only when not maximized (Always).
    enum class TSizeKeys { WhenNormal, Always };
    // A close during a search: only stops it (Stops), or stops it and closes (StopsAndCloses).
    enum class TSearchClose { Stops, StopsAndCloses };
    struct TFrame {
        QString Section{};
        TSizeKeys Size = TSizeKeys::WhenNormal;
        // "Sort by column" default and last column; no sort keys while LastSortColumn < 0.
        int SortColumn = 0, LastSortColumn = -1;
        const TSettings *Look = nullptr;  // none: the window keeps its own colour and font
        bool LookFont = true;             // false: the colour only (the window sets fonts of its own)
        bool MinimizesWithMain = false;
        TSearchClose SearchClose = TSearchClose::Stops;
        TBatchState *Batch = nullptr;          // a batch run's state and log; none: the window's own
        std::function<QString()> TimeStamp{};  // a log block's stamp; none: the user's date and time now
    };

    ~TToolWindow() override;

    int SortColumn() const { return FSortColumn; }
    bool SortForward() const { return FSortForward; }
    TBatchState &BatchState();

protected:
    TToolWindow(QWidget *parent, TFrame frame);

    // Reads the section from "Options.ini" in the folder; with no folder (or no file, or no key)
    // each key takes its default.
    void ReadSection(const QString &programFolder);
    // Writes the section there and saves the file; a file that cannot be saved is told. No folder:
    // nothing is written.
    void WriteSection(const QString &programFolder);
    // The section's keys in their order. By default the size, then the sort: a window with keys of
    // its own places ReadSize and ReadSort (WriteSize, WriteSort) among them.
    virtual void ReadKeys(const TIniFile &ini);
    virtual void WriteKeys(TIniFile &ini);
    void ReadSize(const TIniFile &ini);
    void WriteSize(TIniFile &ini) const;
    void ReadSort(const TIniFile &ini);
    void WriteSort(TIniFile &ini) const;

    // A click on a column header (the sort column again turns the order); the sort as a list shows it.
    void TurnSort(int clickedColumn);
    void ShowSort(QTreeView *view, TReportModel *model) const;

    // The colour and font of the settings the frame names (each showing takes them).
    void ApplyLook();

    bool BatchRun() const;
    // A block of the batch log: an empty line first when asked, the time stamp, the lines.
    void LogLines(const QStringList &lines, bool leadingEmptyLine);

    // The search (or other work) that a close stops first.
    virtual bool SearchRunning() const { return false; }
    virtual void StopSearch() {}
    // The window closes: the host is told.
    virtual void Closing() {}

    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void reject() override;

    int FSortColumn = 0;
    bool FSortForward = true;

private:
    // True when the close waits for the search to stop.
    bool StopFirst(QCloseEvent *event);

    TFrame FFrame;
    std::unique_ptr<TBatchState> FOwnBatch;
};

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
// The other form of the same keys: maximized when "Maximized" is true, else sized by "Width" and
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

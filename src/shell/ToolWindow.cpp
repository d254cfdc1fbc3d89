// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the tool windows' frame and the closing, look, sort, listing-name and settings rules it is made of.
#include "ToolWindow.h"

#include "platform/IniFile.h"
#include "shell/Batch.h"
#include "shell/IniLang.h"
#include "shell/Main.h"
#include "shell/MessageBoxes.h"
#include "shell/ReportModel.h"
#include "shell/ScreenFit.h"
#include "shell/SafeFormat.h"
#include "shell/Settings.h"
#include "shell/SettingsUi.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QPainter>
#include <QMainWindow>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace ToolWindow {

bool StopInsteadOfClose(bool searching, const std::function<void()> &stop, QCloseEvent *event)
{
    if (!searching)
        return false;
    if (event)
        event->ignore();
    if (stop)
        stop();
    return true;
}

void PaintMainBackground(QWidget *window, bool useBuiltIn)
{
    if (!PaaIkkuna)
        return;
    QPainter painter(window);
    PaaIkkuna->PaintBackground(window, painter, useBuiltIn);
}

void ApplyLook(QWidget *window, const TSettings *settings)
{
    if (!settings)
        return;
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, ToQColor(settings->FBackgroundColor, palette));
    window->setPalette(palette);
    if (!settings->FUserFont.Name.isEmpty())
        window->setFont(ToQFont(settings->FUserFont));
}

void MinimizeWithMain(QWidget *window, QEvent *event)
{
    if (event->type() == QEvent::WindowStateChange && window->isMinimized() && PaaIkkuna)
        PaaIkkuna->HandleSysCommand(window, SC_MINIMIZE);
}

namespace {

// The frame the window manager gives the window, as far as it is known before it is mapped.
QMargins FrameOf(const QWidget *window)
{
    if (window->windowFlags() & Qt::FramelessWindowHint)
        return {};
    const QRect frame = window->frameGeometry(), inside = window->geometry();
    const QMargins known(inside.left() - frame.left(), inside.top() - frame.top(), frame.right() - inside.right(),
                         frame.bottom() - inside.bottom());
    return known.isNull() ? ScreenFit::AssumedFrame() : known;
}

// The window's contents move into a scroll area that may be as small as the screen wants.
void ScrollContents(QWidget *window)
{
    if (window->property("ScrolledToFit").toBool())
        return;
    auto *area = new QScrollArea;
    area->setObjectName(QStringLiteral("ScreenFitArea"));
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    // The window's own background (a picture, the chosen colour) shows through.
    area->viewport()->setAutoFillBackground(false);
    if (auto *main = qobject_cast<QMainWindow *>(window)) {
        QWidget *central = main->takeCentralWidget();
        if (!central) {
            delete area;
            return;
        }
        central->setAutoFillBackground(false);
        area->setWidget(central);
        main->setCentralWidget(area);
    } else {
        QLayout *layout = window->layout();
        if (!layout) {
            delete area;
            return;
        }
        auto *content = new QWidget;
        content->setObjectName(QStringLiteral("ScreenFitContent"));
        content->setAutoFillBackground(false);
        content->setLayout(layout);  // takes the layout and the widgets it manages from the window
        area->setWidget(content);
        auto *outer = new QVBoxLayout(window);
        outer->setContentsMargins(0, 0, 0, 0);
        outer->addWidget(area);
    }
    window->setMinimumSize(0, 0);
    window->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    window->setProperty("ScrolledToFit", true);
}

class TScreenKeeper final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            const Qt::WindowType type = widget->windowType();
            if (widget->isWindow() && type != Qt::Popup && type != Qt::ToolTip && type != Qt::Desktop)
                FitOnScreen(widget);
        }
        return QObject::eventFilter(watched, event);
    }
};

}  // namespace

void FitOnScreen(QWidget *window)
{
    const QScreen *screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen || window->isMaximized() || window->isFullScreen())
        return;
    const QRect available = screen->availableGeometry();
    const QMargins frame = FrameOf(window);
    if (!ScreenFit::Fits(available, frame, window->minimumSizeHint().expandedTo(window->minimumSize())))
        ScrollContents(window);
    const QRect fitted = ScreenFit::Fitted(available, frame, window->geometry(), window->minimumSize());
    if (fitted != window->geometry())
        window->setGeometry(fitted);
}

void KeepWindowsOnScreen()
{
    static QPointer<TScreenKeeper> keeper;
    if (!keeper && qApp)
        qApp->installEventFilter(keeper = new TScreenKeeper(qApp));
}

void TurnSort(int clicked, int &column, bool &forward)
{
    if (clicked == column) {
        forward = !forward;
    } else {
        column = clicked;
        forward = true;
    }
}

void ShowSort(QTreeView *view, TReportModel *model, int column, bool forward)
{
    model->SetSortColumn(column);
    view->header()->setSortIndicator(column, forward ? Qt::AscendingOrder : Qt::DescendingOrder);
}

QString ListingFileName(QWidget *parent)
{
    QString filter;
    QString fileName = QFileDialog::getSaveFileName(parent, QString(), QString(),
                                                    QStringLiteral("XHTML files (*.htm *.html);;Text files (*.txt)"),
                                                    &filter);
    if (fileName.isEmpty())
        return fileName;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += filter.startsWith(QStringLiteral("Text")) ? QStringLiteral(".txt") : QStringLiteral(".htm");
    return fileName;
}

void ReadGeometry(QWidget *window, const TIniFile &ini, const QString &section)
{
    window->resize(ini.ReadInteger(section, QStringLiteral("Width"), window->width()),
                   ini.ReadInteger(section, QStringLiteral("Height"), window->height()));
    if (ini.ReadBool(section, QStringLiteral("Maximized"), false))
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

void WriteGeometry(const QWidget *window, TIniFile &ini, const QString &section)
{
    const bool maximized = window->isMaximized();
    ini.WriteBool(section, QStringLiteral("Maximized"), maximized);
    if (!maximized) {
        ini.WriteInteger(section, QStringLiteral("Width"), window->width());
        ini.WriteInteger(section, QStringLiteral("Height"), window->height());
    }
}

QList<int> SelectedRows(const QAbstractItemView *view)
{
    // From the ranges: asking row by row costs as much as the ranges there are, for every row.
    // A range takes in rows that cannot be selected (a skipped file): they are not.
    const QAbstractItemModel *model = view->model();
    QList<int> rows;
    for (const QItemSelectionRange &range : view->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (model->flags(model->index(row, range.left(), range.parent())) & Qt::ItemIsSelectable)
                rows.append(row);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void ReadSizeOrMaximized(QWidget *window, const TIniFile &ini, const QString &section)
{
    if (ini.ReadBool(section, QStringLiteral("Maximized"), false))
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    else
        window->resize(ini.ReadInteger(section, QStringLiteral("Width"), window->width()),
                       ini.ReadInteger(section, QStringLiteral("Height"), window->height()));
}

void WriteSizeAndMaximized(const QWidget *window, TIniFile &ini, const QString &section)
{
    ini.WriteBool(section, QStringLiteral("Maximized"), window->isMaximized());
    ini.WriteInteger(section, QStringLiteral("Width"), window->width());
    ini.WriteInteger(section, QStringLiteral("Height"), window->height());
}

void ReadSort(const TIniFile &ini, const QString &section, int defaultColumn, int lastColumn, int &column,
              bool &forward)
{
    forward = ini.ReadBool(section, QStringLiteral("Sort forward"), true);
    column = qBound(0, ini.ReadInteger(section, QStringLiteral("Sort by column"), defaultColumn), lastColumn);
}

void WriteSort(TIniFile &ini, const QString &section, int column, bool forward)
{
    ini.WriteBool(section, QStringLiteral("Sort forward"), forward);
    ini.WriteInteger(section, QStringLiteral("Sort by column"), column);
}

bool SaveSettings(TIniFile &ini)
{
    if (ini.UpdateFile())
        return true;
    SettingsNotSaved(ini.ErrorString());
    return false;
}

void SettingsNotSaved(const QString &error)
{
    // No parent: the window that saves may be on its way out.
    MessageBoxes::Error(nullptr, SafeFormat(LangMessage(QStringLiteral("M141PI"),
                                                        QStringLiteral("The settings could not be saved: %s. Options.ini "
                                                                       "keeps the settings it held.")),
                                            error));
}

}  // namespace ToolWindow

TToolWindow::TToolWindow(QWidget *parent, TFrame frame)
    : QDialog(parent), FSortColumn(frame.SortColumn), FFrame(std::move(frame))
{
    if (!FFrame.Batch)
        FOwnBatch = std::make_unique<TBatchState>();
}

TToolWindow::~TToolWindow() = default;

TBatchState &TToolWindow::BatchState() { return FFrame.Batch ? *FFrame.Batch : *FOwnBatch; }

bool TToolWindow::BatchRun() const { return (FFrame.Batch ? *FFrame.Batch : *FOwnBatch).FBatchMode; }

void TToolWindow::LogLines(const QStringList &lines, bool leadingEmptyLine)
{
    QStringList &log = BatchState().FLog;
    if (leadingEmptyLine)
        log << QString();
    log << (FFrame.TimeStamp ? FFrame.TimeStamp() : TUserLocale::FromRegistry().Stamp(QDateTime::currentDateTime()))
        << lines;
}

void TToolWindow::ReadSection(const QString &programFolder)
{
    // No folder: every key its default, as from a file without the section.
    ReadKeys(TIniFile(programFolder.isEmpty() ? QString() : SettingsFilePath(programFolder)));
}

void TToolWindow::WriteSection(const QString &programFolder)
{
    if (programFolder.isEmpty())
        return;
    TIniFile ini(SettingsFilePath(programFolder));
    WriteKeys(ini);
    ToolWindow::SaveSettings(ini);
}

void TToolWindow::ReadKeys(const TIniFile &ini)
{
    ReadSize(ini);
    ReadSort(ini);
}

void TToolWindow::WriteKeys(TIniFile &ini)
{
    WriteSize(ini);
    WriteSort(ini);
}

void TToolWindow::ReadSize(const TIniFile &ini)
{
    if (FFrame.Size == TSizeKeys::WhenNormal)
        ToolWindow::ReadGeometry(this, ini, FFrame.Section);
    else
        ToolWindow::ReadSizeOrMaximized(this, ini, FFrame.Section);
}

void TToolWindow::WriteSize(TIniFile &ini) const
{
    if (FFrame.Size == TSizeKeys::WhenNormal)
        ToolWindow::WriteGeometry(this, ini, FFrame.Section);
    else
        ToolWindow::WriteSizeAndMaximized(this, ini, FFrame.Section);
}

void TToolWindow::ReadSort(const TIniFile &ini)
{
    if (FFrame.LastSortColumn >= 0)
        ToolWindow::ReadSort(ini, FFrame.Section, FFrame.SortColumn, FFrame.LastSortColumn, FSortColumn, FSortForward);
}

void TToolWindow::WriteSort(TIniFile &ini) const
{
    if (FFrame.LastSortColumn >= 0)
        ToolWindow::WriteSort(ini, FFrame.Section, FSortColumn, FSortForward);
}

void TToolWindow::TurnSort(int clickedColumn) { ToolWindow::TurnSort(clickedColumn, FSortColumn, FSortForward); }

void TToolWindow::ShowSort(QTreeView *view, TReportModel *model) const
{
    ToolWindow::ShowSort(view, model, FSortColumn, FSortForward);
}

void TToolWindow::ApplyLook()
{
    if (!FFrame.Look)
        return;
    if (FFrame.LookFont) {
        ToolWindow::ApplyLook(this, FFrame.Look);
        return;
    }
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, ToQColor(FFrame.Look->FBackgroundColor, palette));
    setPalette(palette);
}

void TToolWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    ApplyLook();
}

void TToolWindow::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    ToolWindow::PaintMainBackground(this);
}

void TToolWindow::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (FFrame.MinimizesWithMain)
        ToolWindow::MinimizeWithMain(this, event);
}

bool TToolWindow::StopFirst(QCloseEvent *event)
{
    if (FFrame.SearchClose == TSearchClose::Stops)
        return ToolWindow::StopInsteadOfClose(SearchRunning(), [this] { StopSearch(); }, event);
    if (SearchRunning())
        StopSearch();
    return false;
}

void TToolWindow::closeEvent(QCloseEvent *event)
{
    if (StopFirst(event))
        return;
    QDialog::closeEvent(event);  // runs reject()
}

void TToolWindow::reject()
{
    if (StopFirst(nullptr))
        return;
    Closing();
    QDialog::reject();
}

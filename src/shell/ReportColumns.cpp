// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: report-list columns that share their view's width; cut texts show whole as tooltips.
#include "shell/ReportColumns.h"

#include "shell/LongestTexts.h"

#include <QEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QPointer>
#include <QToolTip>
#include <QTreeView>

#include <algorithm>
#include <numeric>

namespace ReportColumns {

int ContentWidth(const QTreeView *view, int column, const QStringList &texts);

namespace {

int Sum(const QList<int> &widths) { return std::accumulate(widths.begin(), widths.end(), 0); }

// Each column at `level`, but never above what it wants nor below its floor.
QList<int> AtLevel(const QList<int> &wanted, const QList<int> &floors, int level)
{
    QList<int> widths;
    for (qsizetype i = 0; i < wanted.size(); ++i)
        widths.append(std::min(wanted[i], std::max(floors[i], level)));
    return widths;
}

// Remembers what the columns want and shares the view's width among them when it changes.
class TFitter final : public QObject
{
public:
    explicit TFitter(QTreeView *view) : QObject(view), FView(view)
    {
        setObjectName(QStringLiteral("ReportColumnsFitter"));
        view->viewport()->installEventFilter(this);
    }

    void Measure(const TLongestTexts *longest)
    {
        const QHeaderView *header = FView->header();
        FWanted.clear();
        FFloors.clear();
        for (int column = 0; column < header->count(); ++column) {
            const int caption = header->sectionSizeHint(column);
            FFloors.append(caption);
            int content = static_cast<const QAbstractItemView *>(FView)->sizeHintForColumn(column);
            if (longest)
                content = std::max(content, ContentWidth(FView, column, longest->Texts(column)));
            FWanted.append(std::max(caption, content));
        }
    }

    void Apply()
    {
        QHeaderView *header = FView->header();
        if (FWanted.size() != header->count())
            return;
        const QList<int> widths = Share(FWanted, FFloors, FView->viewport()->width());
        for (int column = 0; column < widths.size(); ++column)
            header->resizeSection(column, widths[column]);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Resize)
            Apply();
        else if (event->type() == QEvent::ToolTip)
            return ShowCutText(static_cast<QHelpEvent *>(event));
        return QObject::eventFilter(watched, event);
    }

private:
    // A cell whose text the column cuts shows it whole; other cells keep the list's own tooltip.
    bool ShowCutText(QHelpEvent *event)
    {
        const QModelIndex index = FView->indexAt(event->pos());
        if (!index.isValid() || index.data(Qt::ToolTipRole).isValid())
            return false;
        const QString text = index.data(Qt::DisplayRole).toString();
        const QRect cell = FView->visualRect(index);
        const int needed = FView->sizeHintForIndex(index).width();
        if (text.isEmpty() || needed <= cell.width())
            return false;
        QToolTip::showText(event->globalPos(), text, FView->viewport(), cell);
        return true;
    }

    QTreeView *FView;
    QList<int> FWanted, FFloors;
};

}  // namespace

QList<int> Share(const QList<int> &wanted, const QList<int> &floors, int available)
{
    if (Sum(wanted) <= available)
        return wanted;
    // The highest level at which the columns still fit; the pixels left over go one each to the
    // first columns that the level holds back.
    int low = 0, high = *std::max_element(wanted.begin(), wanted.end());
    while (low < high) {
        const int middle = (low + high + 1) / 2;
        if (Sum(AtLevel(wanted, floors, middle)) <= available)
            low = middle;
        else
            high = middle - 1;
    }
    QList<int> widths = AtLevel(wanted, floors, low);
    int left = available - Sum(widths);
    for (qsizetype i = 0; i < widths.size() && left > 0; ++i) {
        if (widths[i] == low && widths[i] < wanted[i]) {
            ++widths[i];
            --left;
        }
    }
    return widths;
}

namespace {
void FitWith(QTreeView *view, const TLongestTexts *longest)
{
    auto *fitter = view->findChild<TFitter *>(QStringLiteral("ReportColumnsFitter"), Qt::FindDirectChildrenOnly);
    if (!fitter) {
        fitter = new TFitter(view);
        view->setTextElideMode(Qt::ElideMiddle);
    }
    fitter->Measure(longest);
    fitter->Apply();
}
}  // namespace

void Fit(QTreeView *view)
{
    FitWith(view, nullptr);
}

void Fit(QTreeView *view, const TLongestTexts &longest)
{
    FitWith(view, &longest);
}

int ContentWidth(const QTreeView *view, int column, const QStringList &texts)
{
    const QAbstractItemModel *model = view->model();
    if (texts.isEmpty() || !model || model->rowCount() == 0)
        return 0;
    const QFontMetrics metrics(view->font());
    const QModelIndex first = model->index(0, column);
    const int room = std::max(0, view->sizeHintForIndex(first).width() - metrics.horizontalAdvance(first.data().toString()));
    int widest = 0;
    for (const QString &text : texts)
        widest = std::max(widest, metrics.horizontalAdvance(text));
    return widest + room;
}

}  // namespace ReportColumns

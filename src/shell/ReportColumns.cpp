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
        FNeeds.clear();
        for (int column = 0; column < header->count(); ++column) {
            TColumnNeed need;
            need.Caption = header->sectionSizeHint(column);
            need.Content = static_cast<const QAbstractItemView *>(FView)->sizeHintForColumn(column);
            if (longest)
                need.Content = std::max(need.Content, ContentWidth(FView, column, longest->Texts(column)));
            need.HasText = longest ? HasText(longest->Texts(column)) : HasText(column);
            FNeeds.append(need);
        }
    }

    void Apply()
    {
        QHeaderView *header = FView->header();
        if (FNeeds.size() != header->count())
            return;
        const QList<int> widths = Widths(FNeeds, header->minimumSectionSize(), FView->viewport()->width());
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

    static bool HasText(const QStringList &texts)
    {
        return std::any_of(texts.begin(), texts.end(), [](const QString &t) { return !t.isEmpty(); });
    }
    // A list fitted without its longest texts is short enough to be read whole.
    bool HasText(int column) const
    {
        const QAbstractItemModel *model = FView->model();
        for (int row = 0; model && row < model->rowCount(); ++row)
            if (!model->index(row, column).data().toString().isEmpty())
                return true;
        return false;
    }

    QTreeView *FView;
    QList<TColumnNeed> FNeeds;
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

QList<int> Widths(const QList<TColumnNeed> &needs, int least, int available)
{
    QList<int> wanted, floors;
    for (const TColumnNeed &need : needs) {
        wanted.append(std::max(need.Caption, need.Content));
        floors.append(need.Caption);
    }
    if (Sum(wanted) <= available)
        return wanted;
    QList<int> deficits;
    for (qsizetype i = 0; i < needs.size(); ++i) {
        const int bare = std::min(wanted[i], std::max(least, needs[i].Content));
        deficits.append(needs[i].HasText ? 0 : wanted[i] - bare);
        wanted[i] -= deficits[i];
        floors[i] = std::min(floors[i], wanted[i]);
    }
    QList<int> widths = Share(wanted, floors, available);
    const int left = available - Sum(widths);
    if (left > 0) {
        const QList<int> regained = Share(deficits, QList<int>(deficits.size(), 0), left);
        for (qsizetype i = 0; i < widths.size(); ++i)
            widths[i] += regained[i];
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

// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TReportModel, the base of the tool windows' report lists: column captions, sort-column shade, reset.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QStringList>

#include <functional>

// A flat table whose columns are its captions. The caption of a column can be replaced (the
// language file does); the sort column is drawn on ShadeColour() where data() asks for it.
class TReportModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    static QColor ShadeColour() { return QColor(0xF7, 0xF7, 0xF7); }

    TReportModel(QStringList headers, int sortColumn, QObject *parent = nullptr);

    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role) override;

    void SetSortColumn(int column) { FSortColumn = column; }
    int SortColumn() const { return FSortColumn; }
    // Wraps a change of the rows the model shows.
    void Reset(const std::function<void()> &change = {});
    // Wraps add(), which puts count rows at the end: the view hears of them once.
    void AppendRows(int count, const std::function<void()> &add);

protected:
    // The background of a cell in `column`: the shade on the sort column, nothing elsewhere.
    QVariant SortColumnBackground(int column) const;
    // Called inside Reset() after the change, before the view hears of it.
    virtual void Changed() {}

private:
    QStringList FHeaders;
    int FSortColumn;
};

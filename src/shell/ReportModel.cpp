// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: TReportModel: captions, the sort-column shade and the reset the report lists share.
#include "ReportModel.h"

TReportModel::TReportModel(QStringList headers, int sortColumn, QObject *parent)
    : QAbstractTableModel(parent), FHeaders(std::move(headers)), FSortColumn(sortColumn)
{
}

int TReportModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FHeaders.size());
}

QVariant TReportModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < FHeaders.size())
        return FHeaders.at(section);
    return {};
}

bool TReportModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role)
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= FHeaders.size())
        return false;
    FHeaders[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

void TReportModel::Reset(const std::function<void()> &change)
{
    beginResetModel();
    if (change)
        change();
    Changed();
    endResetModel();
}

void TReportModel::AppendRows(int count, const std::function<void()> &add)
{
    if (count <= 0)
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + count - 1);
    add();
    endInsertRows();
}

QVariant TReportModel::SortColumnBackground(int column) const
{
    return column == FSortColumn ? QVariant(ShadeColour()) : QVariant();
}

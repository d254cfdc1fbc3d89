// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the file columns the finders' lists share: captions, cell texts, the size's alignment,
// the texts their columns are fitted to, and found rows joining the list in groups.
#pragma once

#include "shell/LongestTexts.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <initializer_list>
#include <utility>

// Name, Size, Type, Modified, Attr, File version and Product version, in that order, over a row
// with the fields Path, SizeText, TypeName, DateText, AttrText, FileVersion and ProductVersion.
namespace FileColumns {

inline QStringList Captions()
{
    return {"Name", "Size", "Type", "Modified", "Attr", "File version", "Product version"};
}

template <class TRow>
QVariant Text(const TRow &r, int column)
{
    switch (column) {
    case 0: return r.Path;
    case 1: return r.SizeText;
    case 2: return r.TypeName;
    case 3: return r.DateText;
    case 4: return r.AttrText;
    case 5: return r.FileVersion;
    case 6: return r.ProductVersion;
    }
    return {};
}

// Sizes stand right-aligned.
inline QVariant Alignment(int column)
{
    return column == 1 ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter)) : QVariant();
}

// Gathers the rows' texts that can be each column's widest (textOf(row, column)), for fitting
// the list's columns to them.
template <class TRow, class TTextOf>
void AddLongest(TLongestTexts &longest, const QList<TRow *> &rows, std::initializer_list<int> columns, TTextOf textOf)
{
    for (const TRow *r : rows)
        for (const int column : columns)
            longest.Add(column, textOf(*r, column));
}

// Found rows join a list in groups. The first row of a group asks for one showing for when the
// window's event loop runs again, so a group costs one insertion into the model and one fitting of
// the columns however many rows it holds. Flush() shows what waits at once: before the rows are
// read, and when a search ends.
template <class TRow>
class TRowGroups
{
public:
    using TShow = std::function<void(const QList<TRow *> &rows)>;
    TRowGroups(QObject *window, TShow show) : FWindow(window), FShow(std::move(show)) {}
    ~TRowGroups() { qDeleteAll(FWaiting); }
    TRowGroups(const TRowGroups &) = delete;
    TRowGroups &operator=(const TRowGroups &) = delete;

    void Add(TRow *row)
    {
        FWaiting.append(row);
        if (FWaiting.size() == 1)
            QMetaObject::invokeMethod(FWindow, [this] { Flush(); }, Qt::QueuedConnection);
    }
    void Flush()
    {
        if (!FWaiting.isEmpty())
            FShow(std::exchange(FWaiting, {}));
    }
    bool IsEmpty() const { return FWaiting.isEmpty(); }

private:
    QObject *FWindow;
    TShow FShow;
    QList<TRow *> FWaiting;
};

}  // namespace FileColumns

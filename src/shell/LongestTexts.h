// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the few texts of each list column that can be its widest, gathered off the GUI thread.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>

// Drawing every text of a list of hundreds of thousands of rows costs seconds; only texts close to
// the longest one in characters can be the widest drawn. Keeps, per column, up to Keep texts whose
// length is at least three quarters of the longest seen.
class TLongestTexts
{
public:
    static constexpr int Keep = 24;

    explicit TLongestTexts(int columns = 0) : FColumns(columns) {}

    void Add(int column, const QString &text)
    {
        if (column < 0 || column >= FColumns.size())
            return;
        TColumn &c = FColumns[column];
        const qsizetype length = text.size();
        if (length * 4 < c.Longest * 3)
            return;
        if (length > c.Longest) {
            c.Longest = length;
            c.Texts.removeIf([&](const QString &t) { return t.size() * 4 < length * 3; });
        }
        if (c.Texts.size() < Keep) {
            c.Texts.append(text);
            return;
        }
        const auto shortest = std::min_element(c.Texts.begin(), c.Texts.end(),
                                               [](const QString &a, const QString &b) { return a.size() < b.size(); });
        if (shortest->size() < length)
            *shortest = text;
    }

    QStringList Texts(int column) const
    {
        return column >= 0 && column < FColumns.size() ? FColumns.at(column).Texts : QStringList();
    }
    int Columns() const { return int(FColumns.size()); }

private:
    struct TColumn {
        qsizetype Longest = 0;
        QStringList Texts;
    };
    QList<TColumn> FColumns;
};
